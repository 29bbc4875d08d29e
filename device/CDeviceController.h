#pragma once

#include "device/DeviceTask.h"
#include "device/GbkStreamDecoder.h"
#include "device/ReceivedEntry.h"
#include "device/IVisitRecorder.h"
#include "device/ReplyChannel.h"
#include "device/Timing.h"
#include "device/WorkerThread.h"
#include "params/ParameterSet.h"
#include "params/SavePlan.h"
#include "serial/CSerial.h"
#include "threads/HandOffQueue.h"

#include <QObject>
#include <QTimer>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

class CDeviceQueries;
class CModeSwitcher;
class IDeviceView;

// The device side of the program: the serial port, the worker thread with its
// task queue, the reply channel, and the operations through which every task
// talks to the terminal and reports. Lives on the UI thread; the worker
// reaches the view only through PostToUi/CallOnUi and PostLog, which hand
// their work over through one HandOffQueue.
class CDeviceController : public QObject, private ISerialListener {
    Q_OBJECT
public:
    explicit CDeviceController(IDeviceView& view, const Timing& timing = Timing{},
                               QObject* parent = nullptr);
    ~CDeviceController() override;

    // Starts the worker; logs "工作线程启动失败" when it cannot.
    bool Start();
    // Releases every wait, stops the worker and closes the port. Called by
    // the destructor; safe to call twice.
    void Shutdown();

    const Timing& timing() const { return m_timing; }
    CSerial& Serial() { return m_serial; }
    ReplyChannel& Reply() { return m_reply; }

    // ---- UI thread: port, modes and display switches ----
    // Opens the port; on failure logs the mode's "open the port first"
    // message and the port's own reason.
    bool OpenPort(int portNumber, int baudRate);
    void ClosePort();
    bool IsPortOpen() const;
    // After a successful open: the mode-specific step (log, then queue the
    // configuration entry or stop the 's' sender).
    void OnPortOpened();

    // Configuration mode reads received bytes at once; communication mode
    // lets them gather (Timing::commRxGatherMs) into fewer, larger reads.
    void SetConfigurationMode(bool on);
    bool IsConfigurationMode() const { return m_configMode; }
    void SetHexDisplay(bool on);
    bool IsHexDisplay() const { return m_hexDisplay; }
    // Communication mode's gathering of received bytes into one read:
    // `gatherMs` (0..1000, Timing::commRxGatherMs at first) after the first
    // byte, or, with `untilQuiet`, until the line was quiet that long (one
    // read per packet).
    void SetCommGathering(int gatherMs, bool untilQuiet);
    int CommGatherMs() const { return m_commGatherMs; }
    // Sees every read as it came off the port, in either mode, unfiltered
    // (capture, sequences). UI thread.
    using ReceivedBytesObserver = std::function<void(const QByteArray& bytes)>;
    void SetReceivedBytesObserver(ReceivedBytesObserver observer) { m_receivedObserver = std::move(observer); }

    // ---- any thread ----
    bool PostTask(std::int32_t code, const QByteArray& command = {});
    void PostLog(const QString& line);
    // Posts a communication-mode entry (in order with PostLog).
    void PostReceived(ReceivedEntry entry);
    // Logs terminal bytes (GBK) as one entry.
    void PostLogBytes(const QByteArray& bytes);
    // One line for every number of the report's lists that the number
    // pages do not get (too long, or after one that was).
    void PostRefusedListNumbers(const QByteArray& report);
    // Posts SetBusy to the view.
    void PostSetBusy(bool busy);
    // Runs `work` on the UI thread later / now and waits for it. Both keep
    // the posting order of PostLog. CallOnUi returns false without running
    // it once the controller is shutting down, also when it was already
    // waiting then; it holds no lock while it waits.
    void PostToUi(std::function<void()> work);
    bool CallOnUi(const std::function<void()>& work);
    bool IsShuttingDown() const { return m_shuttingDown; }

    // ---- worker thread: the command exchange ----
    bool WriteCommand(const QByteArray& command);
    bool ExchangeCommand(std::int8_t replyCode, const QByteArray& command, int timeoutMs);
    // `wentOut`, when given, tells whether the command was written at all
    // (not with the port already closed).
    bool SendCommandAndWait(std::int8_t replyCode, const QByteArray& command, bool* wentOut = nullptr);
    QByteArray ReceivedText() const { return m_reply.Text(); }
    // The report just received as it is kept in a file or the service
    // record: without line noise around it and without its zero bytes
    // (KeptReportText). The parser and the log take ReceivedText().
    QByteArray ReceivedReport() const;
    // Sleeps, but returns at once (false) when the program is closing.
    bool Pause(int ms);

    std::atomic<bool>& ConfigEntryPending() { return m_configEntryPending; }
    // The 's' sender of the configuration entry (timer on the UI thread).
    void StartPowerOnPolling();
    void StopPowerOnPolling();
    bool IsPowerOnPolling() const { return m_powerOnTimer.isActive(); }

    IDeviceView& View() { return m_view; }

    // The tool's picture of the terminal, guarded by ParamLock().
    ParameterSet& Params() { return m_params; }
    std::recursive_mutex& ParamLock() { return m_paramLock; }
    // Writes a set into the parameter table's value cells and, with number
    // pages, refills the three pages from it. Any thread; from the worker it
    // returns once the window shows the values.
    bool ShowParameterSet(const ParameterSet& set, bool withNumberPages);
    // What the value cells were last filled with, and the bytes behind each
    // text: a save sends those bytes for a cell the user did not retype.
    ShownCells ShownCellsSnapshot() const;

    // The service record of the terminals this controller talks to. Set on
    // the UI thread before Start(); nothing records without one.
    void SetRecorder(std::shared_ptr<IVisitRecorder> recorder) { m_recorder = std::move(recorder); }
    IVisitRecorder* Recorder() const { return m_recorder.get(); }
    // Worker thread: hands a step to the recorder, when there is one.
    void RecordReport(IVisitRecorder::ReportTrigger trigger, const QByteArray& report)
    {
        if (m_recorder)
            m_recorder->ReportRead(trigger, report);
    }
    void RecordChangeBegun(IVisitRecorder::ChangeKind kind, qint64 startedMs)
    {
        m_openChange = OpenChange{kind, startedMs, {}};
        if (m_recorder)
            m_recorder->ChangeBegun(kind, startedMs);
    }
    void RecordChangeItem(const IVisitRecorder::SentItem& item)
    {
        if (m_openChange)
            m_openChange->items.push_back(item);
        if (m_recorder)
            m_recorder->ChangeItemSent(item);
    }
    void RecordChange(const IVisitRecorder::Change& change)
    {
        m_openChange.reset();
        if (m_recorder)
            m_recorder->ChangeDone(change);
    }
    // The change begun and not yet done, with the items given so far
    // (worker thread). A file load begins one with its number lists; the
    // save it queues goes on with it and ends it.
    struct OpenChange {
        IVisitRecorder::ChangeKind kind = IVisitRecorder::ChangeKind::Parameters;
        qint64 startedMs = 0;
        std::vector<IVisitRecorder::SentItem> items;
    };
    const std::optional<OpenChange>& OpenedChange() const { return m_openChange; }

    CDeviceQueries& Queries() { return *m_queries; }
    CModeSwitcher& Modes() { return *m_modes; }

    // How a task ends with respect to the command buttons.
    enum class ButtonsAfterTask {
        Enable,       // the dispatcher enables them when the task returns
        LeftToTask,   // the task decides (saves, configuration entry)
    };
    using TaskHandler = std::function<void(DeviceTask&)>;
    // Procedures of other parts of the program (saves, number lists, files)
    // register the task codes they run. UI thread, before tasks are posted.
    void RegisterTask(std::int32_t code, TaskHandler handler, ButtonsAfterTask buttons = ButtonsAfterTask::Enable);

    // The task dispatcher (worker thread).
    void Dispatch(DeviceTask& task);

signals:
    // The port was closed because the device went away.
    void portLost();
    // A task has ended (UI thread; after every line the task logged).
    void taskFinished(int code);

private:
    // ISerialListener (UI thread)
    void OnSerialRxChar() override;
    void OnSerialLost() override;

    void HandleConfigurationBytes(const char* data, int length);
    void WatchForRebootBanner(const char* data, int length);
    void ShowCommunicationBytes(const char* data, int length);
    // Shows the part of a character held back from the last read.
    void FlushHeldText();
    void ApplyGathering();
    void SendPowerOnPoll();
    void RegisterBuiltInTasks();
    static bool IsKnownTaskCode(std::int32_t code);

    IDeviceView& m_view;
    Timing m_timing;
    // Everything the UI thread is handed, in posting order. Declared before
    // the port and the worker, so it outlives both.
    HandOffQueue m_ui{this};
    ParameterSet m_params;
    std::recursive_mutex m_paramLock;
    CSerial m_serial;
    ReplyChannel m_reply;
    std::unique_ptr<CDeviceQueries> m_queries;
    std::unique_ptr<CModeSwitcher> m_modes;
    struct RegisteredTask {
        TaskHandler handler;
        ButtonsAfterTask buttons = ButtonsAfterTask::Enable;
    };
    std::map<std::int32_t, RegisteredTask> m_tasks;
    mutable std::mutex m_shownLock;
    ShownCells m_shownCells;
    std::shared_ptr<IVisitRecorder> m_recorder;
    // Worker thread only.
    std::optional<OpenChange> m_openChange;
    std::unique_ptr<WorkerThread> m_worker;
    QTimer m_powerOnTimer;
    // Communication mode, text display (UI thread): characters split
    // between reads, and the quiet spell after which a held byte is shown.
    GbkStreamDecoder m_commText;
    QTimer m_heldTextTimer;
    // When the read that brought the held byte began.
    std::chrono::steady_clock::time_point m_heldSince;
    int m_commGatherMs = 0;  // set from m_timing in the constructor
    bool m_commGatherUntilQuiet = false;
    ReceivedBytesObserver m_receivedObserver;

    std::atomic<bool> m_configMode{true};
    std::atomic<bool> m_hexDisplay{false};
    std::atomic<bool> m_configEntryPending{false};
    std::atomic<bool> m_shuttingDown{false};

    // Releases pauses when shutting down.
    std::mutex m_shutdownLock;
    std::condition_variable m_shutdownSignal;
};

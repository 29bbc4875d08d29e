#pragma once

#include "signalmeter/SignalSession.h"

#include <QObject>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>

class CDeviceController;
struct DeviceTask;

// Asks the modem for its signal quality ("at+csq", as the status probe
// does, with its wait) again and again while the technician moves the
// antenna. Runs as one task on the worker, so the command buttons are busy
// as for any task; Stop ends it after the query under way has its answer or
// its time-out, so no command is left unanswered on the line. Readings are
// handed to the UI thread in order.
class CSignalMeter : public QObject {
    Q_OBJECT
public:
    static constexpr int kShortestIntervalMs = 500;
    static constexpr int kLongestIntervalMs = 10000;

    explicit CSignalMeter(CDeviceController& device, QObject* parent = nullptr);
    ~CSignalMeter() override;

    // ---- UI thread ----
    // Queues the polling task (buttons busy); false when the port is closed
    // or the task cannot be queued, with a line in the log.
    bool Start();
    // No further query; the run ends once the one under way is answered.
    void Stop();
    bool IsRunning() const { return m_running; }
    // Between two queries; kept within the shortest and longest interval.
    void SetIntervalMs(int ms);
    int IntervalMs() const { return m_intervalMs; }
    const SignalSession& Session() const { return m_session; }
    // The last run ended because the port went away (lost or closed), not
    // because it was stopped.
    bool EndedEarly() const { return m_endedEarly; }
    // "12.5 秒", "5 分 03 秒", "2 小时 05 分 00 秒"
    static QString DurationText(qint64 ms);

signals:
    void readingTaken(const SignalReading& reading);
    // The run is over (stopped, or the port went away); the session holds it.
    void finished();

private:
    void Run(const DeviceTask& task);  // worker
    // Waits for the next query's time; false when the run is to end.
    bool WaitForNextQuery(int waitMs);
    bool ShouldStop() const;
    // Keeps the run's figures in the terminal's service record (worker).
    void Record(const SignalSession& run, qint64 ranMs, bool endedEarly);

    CDeviceController& m_device;
    SignalSession m_session;  // UI thread
    std::atomic<bool> m_running{false};
    bool m_endedEarly = false;  // UI thread
    std::atomic<int> m_intervalMs{1000};
    std::mutex m_stopLock;
    std::condition_variable m_stopSignal;
    bool m_stopRequested = false;  // guarded by m_stopLock
};

#pragma once

#include "batch/CBatchConsole.h"
#include "batch/CommandLine.h"
#include "device/Timing.h"
#include "params/ConfigFilePlan.h"
#include "profiles/ConformPlan.h"
#include "records/RecordTiming.h"

#include <QDateTime>
#include <QObject>
#include <QTimer>

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>

class QTemporaryFile;
class CConfigFile;
class CRecorderTap;
class CVisitRecorder;
class CDeviceController;
class CParameterSaver;

// What became of one terminal.
struct UnitRecord {
    QString port;       // "COM33"
    QString device;     // "/dev/ttyUSB0"
    int row = 0;        // line of the units file, 0 without one
    QString deviceId;   // as the terminal reported it last
    QString simNumber;
    QDateTime start;
    QDateTime end;
    int status = 1;     // 0 done, 1 failed, 3 (--diff) differs
    QString result;     // "成功", "失败", "校验失败", "有差异", "无差异", "中断"
    int itemsSent = 0;          // parameter items that went out
    int itemsAcknowledged = 0;  // of those, the ones the terminal answered
    int changes = 0;    // --diff: lines that differ
    bool verified = false;
    int mismatches = 0;
    QStringList failures;  // the log lines that said what failed
    // The service record of the terminal's visit ("" when none was kept):
    // its last snapshot (id, and N of --export DEVICEID@N), or pending when
    // it waits in the outbox.
    QString visitUid;
    qint64 recordMark = 0;  // the steps of the visit handed over up to its end
    qint64 recordId = 0;
    int snapshot = 0;
    bool recordPending = false;
    // The terminal's last check against --profile (after its last read).
    std::optional<ProfileCheckResult> profileCheck;
};

// One port of a batch run: its own console, controller and worker. It waits
// for a terminal's power-on, enters configuration mode, runs the operation
// (read, apply, diff) and, with --repeat, waits for the next terminal.
class CPortRun : public QObject {
    Q_OBJECT
public:
    // Hands out the overrides of the next terminal (a row of the units
    // file), or nothing when no terminal is left. Called before each
    // terminal, on the UI thread.
    struct NextUnit {
        int row = 0;
        std::vector<CellOverride> overrides;
    };
    using UnitSource = std::function<std::optional<NextUnit>()>;

    CPortRun(const CommandLine& command, const QString& device, const Timing& timing, CBatchConsole* console,
             UnitSource units);
    ~CPortRun() override;

    // The project profile every read-back is checked against (--profile);
    // --conform puts the terminal right by it. Before Start().
    void SetProfile(std::shared_ptr<const ProjectProfile> profile) { m_profile = std::move(profile); }

    // Opens the port and waits for the first terminal. False when the port
    // cannot be opened (logged); the run is then finished.
    bool Start();
    // Closes the port at once (termination); a terminal in progress ends
    // as interrupted.
    void Interrupt();

    // The worker stops, and the record's writer gets until `deadline` to
    // write what it was handed (what it has not by then waits in the
    // outbox). Returns how many steps it left.
    int CloseRecord(std::chrono::steady_clock::time_point deadline);
    // A terminal's record as it stands now (a visit that waited in the
    // outbox may have been written since).
    void RefreshRecord(UnitRecord& record) const;
    QString DevicePath() const { return m_devicePath; }

    bool IsFinished() const { return m_finished; }
    // A terminal is between its power-on and its end.
    // (or the first terminal is awaited), as opposed to waiting for the
    // next one of a --repeat.
    bool IsBusyWithTerminal() const { return m_unitActive && (m_caught || m_unitsDone == 0); }
    CBatchConsole& Console() { return *m_console; }
    QString PortName() const { return m_portName; }

signals:
    void unitFinished(const UnitRecord& record);
    void finished();

private:
    void AttachRecorder();
    void BeginUnit();
    void OnTaskFinished(int code);
    void OnPowerOnTimeout();
    void OnPortLost();
    // Ends the terminal (with `result`, when `endUnit`) and the run once the
    // worker has stopped and everything it logged has been shown.
    void EndAfterWorker(bool endUnit, const QString& result);
    // The last save's counts into the terminal's record.
    void TakeSaveCounts();
    void RunDiff();
    // --changed-only: the file of what --diff found, written to --output.
    bool WriteChangedOnlyFile(const ParameterSet& current);
    void EndUnit(int status, const QString& result);
    // The end of a terminal once its record is written (or waits in the
    // outbox, or the wait for it is over).
    void OnRecordProgress();
    void CompleteUnit();
    void TakeRecordOutcome();
    void Finish();
    bool LoggedSince(int mark, const QString& line) const;
    // The terminal as the controller last read it, checked against the
    // profile; its lines are logged and the result kept in the record.
    ProfileCheckResult CheckProfile();
    TerminalFacts FactsOf(const ParameterSet& set) const;
    // --conform: sends what the check found deviating, through the load of
    // a file (the terminal's own report with the lists put right, the items
    // typed over it as --set types them) and its verification.
    void RunConform();
    bool QueueConformLoad(const ConformPlan& plan);
    // The end of a --conform terminal, from its last check.
    void EndConform(const ProfileCheckResult& check);
    QString TargetFile() const;

    CommandLine m_command;
    QString m_devicePath;
    QString m_portName;
    std::unique_ptr<CBatchConsole> m_ownConsole;
    CBatchConsole* m_console = nullptr;
    std::unique_ptr<CDeviceController> m_device;
    std::unique_ptr<CParameterSaver> m_saver;
    std::unique_ptr<CConfigFile> m_configFile;
    std::shared_ptr<CVisitRecorder> m_recorder;
    std::shared_ptr<CRecorderTap> m_tap;
    std::shared_ptr<const ProjectProfile> m_profile;
    // --conform: this terminal's per-unit values (a row of --units), the
    // file its load reads, and whether anything was sent.
    std::map<const SaveItem*, QString> m_unitValues;
    std::unique_ptr<QTemporaryFile> m_conformFile;
    bool m_conformSent = false;
    UnitSource m_units;
    QTimer m_powerOnTimer;
    RecordTiming m_recordTiming;
    // Waiting for the ended terminal's record to be written.
    QTimer m_settleTimer;
    bool m_settling = false;
    UnitRecord m_record;
    int m_unitMark = 0;
    int m_operationMark = 0;
    int m_unitsDone = 0;
    bool m_unitActive = false;
    bool m_caught = false;
    // No terminal follows the one that ends now.
    bool m_stopping = false;
    bool m_finished = false;
    // The port is gone or the run interrupted: the terminal ends once the
    // worker's last lines are shown.
    bool m_endingAfterWorker = false;
    // SIGINT or SIGTERM: the terminal ends without waiting for its record.
    bool m_interrupted = false;
};

#pragma once

#include "dailylog/CLogFile.h"
#include "batch/CPortRun.h"
#include "batch/CSignalWatcher.h"
#include "batch/CommandLine.h"
#include "batch/UnitsTable.h"
#include "device/Timing.h"

#include <QObject>

#include <memory>
#include <optional>
#include <vector>

// Runs --read, --apply or --diff without a window, on one port or on
// several at once: the same controller, tasks and log lines as the window,
// with a console for a view. With --units and --repeat it goes on terminal
// after terminal. Exit status 0 when every terminal ended well, 3 when
// --diff found differences (and nothing failed), 1 on any failure.
class CBatchRunner : public QObject {
    Q_OBJECT
public:
    explicit CBatchRunner(const CommandLine& command, const Timing& timing = Timing{});
    ~CBatchRunner() override;

    // Runs the event loop until every port is done; returns the exit status.
    int Run();

    const std::vector<UnitRecord>& Records() const { return m_records; }

private:
    // Before any port is opened: the file to apply is read and checked, the
    // file to write is tried, the log file opened, every --set and every
    // row of --units checked. False (with the reason logged) ends the run.
    bool CheckFileFirst();
    bool PrepareOverrides();
    bool CheckOverridesAgainstFile(const QByteArray& text);
    // --profile: read and checked before anything else; --conform: the
    // units file may name only the profile's per-unit items.
    bool LoadProfile();
    bool CheckUnitsAgainstProfile();
    std::optional<CPortRun::NextUnit> TakeNextUnit();
    void Log(const QString& line);

    void OnUnitFinished(const UnitRecord& record);
    // The end of the run's records: see CPortRun::CloseRecord.
    void CloseRecords();
    void OnTerminationRequested(int signalNumber);
    void PrintSummary();
    void WriteReport();
    int ExitStatus() const;

    CommandLine m_command;
    Timing m_timing;
    std::unique_ptr<CBatchConsole> m_mainConsole;
    std::vector<std::unique_ptr<CBatchConsole>> m_portConsoles;
    std::vector<std::unique_ptr<CPortRun>> m_runs;
    CLogFile m_logFile;
    CSignalWatcher m_signals;
    std::vector<CellOverride> m_settingOverrides;
    std::optional<UnitsTable> m_units;
    std::vector<std::vector<CellOverride>> m_rowOverrides;
    std::size_t m_nextRow = 0;
    std::vector<UnitRecord> m_records;
    std::shared_ptr<const ProjectProfile> m_profile;
    int m_signalStatus = 0;
};

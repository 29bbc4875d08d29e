#pragma once

#include "batch/CBatchConsole.h"
#include "batch/CSignalWatcher.h"
#include "batch/CommandLine.h"
#include "device/Timing.h"
#include "profiles/ProjectProfile.h"
#include "records/RecordTiming.h"
#include "reports/ReportInputs.h"
#include "reports/ReportTemplate.h"
#include "reports/ReportTiming.h"
#include "reports/ReportTypes.h"

#include <QDateTime>
#include <QObject>
#include <QTimer>

#include <cstdio>
#include <memory>
#include <optional>

class CDeviceController;
class CNumberCommands;
class CRecorderTap;
class CSignalMeter;
class CVisitRecorder;
struct SignalReading;

// `sirenset --port DEV --acceptance OUT.pdf` (or --inspection): catches the
// terminal at power-on as --read does, runs the automatic checks one after
// the other over the line (configuration read back and its conformity,
// the signal for --seconds, the clock, the power-on test, the number
// lists), each kept with its result or the reason it was skipped, then
// writes the report: the PDF and its fields as JSON beside it
// (OUT.pdf.json). The files the report is made of (template, site,
// checklist results, profile) are read and checked before the port opens.
// Exit status 0 when the verdict is 合格, 3 when 不合格, 1 on an error (a
// file refused, no terminal caught, the port lost, the PDF not written).
class CReportRun : public QObject {
    Q_OBJECT
public:
    CReportRun(const CommandLine& command, const Timing& timing = Timing{},
               const ReportTiming& reportTiming = ReportTiming{}, std::FILE* out = stdout, std::FILE* err = stderr);
    ~CReportRun() override;

    int Run();

    // The run in a process of its own: pages are painted with Qt Gui's
    // fonts, so a GUI application is made, on the offscreen platform (no
    // display is needed or used).
    static int RunCommand(const CommandLine& command, int argc, char** argv);

private:
    enum class Step { Catch, ReadBack, Signal, Clock, PowerOnTest, Record, Done };

    bool PrepareInputs();
    void AttachRecorder();
    bool Wanted(const QString& id) const { return m_template.automatic.contains(id); }
    // Runs the next step the template asks for, or ends the conversation.
    void Advance();
    void OnTaskFinished(int code);
    void OnReading(const SignalReading& reading);
    void OnSignalFinished();
    void OnRecordProgress();
    void OnTermination(int signalNumber);
    QStringList LogSince(int mark) const;
    bool LoggedSince(int mark, const QString& line) const;

    // Each check's result from what the step left.
    void TakeReadBack();
    void TakeSignal();
    void TakeClock(const QDateTime& answeredAt);
    void TakePowerOnTest();
    void TakeConformity();
    void TakeNumberLists();
    // Without a profile: the configuration against the last one the record
    // holds from before this run.
    AutomaticCheck CompareWithRecord(const AutomaticCheck& base);
    void LogCheck(const AutomaticCheck& check);
    void Keep(AutomaticCheck check);
    void Skip(const QString& id, const QString& reason);

    void Finish();
    void WriteReport();
    void End(int status);

    CommandLine m_command;
    ReportTiming m_reportTiming;
    RecordTiming m_recordTiming;
    CBatchConsole m_console;
    std::FILE* m_err;
    std::unique_ptr<CDeviceController> m_device;
    std::unique_ptr<CNumberCommands> m_numbers;
    std::unique_ptr<CSignalMeter> m_meter;
    std::shared_ptr<CVisitRecorder> m_recorder;
    std::shared_ptr<CRecorderTap> m_tap;
    CSignalWatcher m_signals;
    QTimer m_powerOnTimer;
    QTimer m_signalTimer;
    QTimer m_settleTimer;

    ReportTemplate m_template;
    ReportSite m_site;
    ChecklistResults m_results;
    std::optional<ProjectProfile> m_profile;
    ReportDocument m_report;
    QDateTime m_startedAt;
    QDateTime m_signalStartedAt;
    std::vector<AutomaticCheck> m_checks;  // as they were taken, put in order at the end
    Step m_step = Step::Catch;
    int m_mark = 0;
    QString m_visitUid;
    qint64 m_recordMark = 0;
    int m_status = 1;
    bool m_done = false;
};

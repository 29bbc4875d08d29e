#include "batch/CReportRun.h"

#include "device/CDeviceController.h"
#include "device/CDeviceQueries.h"
#include "device/CRecorderTap.h"
#include "numbers/CNumberCommands.h"
#include "numbers/NumberCommandText.h"
#include "params/GbkText.h"
#include "profiles/ProfileCheck.h"
#include "records/CRecordStore.h"
#include "records/CVisitRecorder.h"
#include "records/RecordCommands.h"
#include "records/RecordDiff.h"
#include "records/RecordLines.h"
#include "reports/ReportJson.h"
#include "reports/ReportPdf.h"
#include "serial/PortTable.h"
#include "signalmeter/CSignalMeter.h"
#include "signalmeter/SignalReading.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QFileInfo>
#include <QGuiApplication>
#include <QRegularExpression>

#include <cmath>

namespace {

// The terminal's clock in its reply to the clock query:
// +EXCCLK: "2026/12/11,13:10:37",5
std::optional<QDateTime> ClockOfReply(const QString& text)
{
    static const QRegularExpression form(QStringLiteral("\"(\\d{4})/(\\d{1,2})/(\\d{1,2}),(\\d{1,2}):(\\d{1,2}):(\\d{1,2})\""));
    const QRegularExpressionMatch match = form.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    const QDate date(match.captured(1).toInt(), match.captured(2).toInt(), match.captured(3).toInt());
    const QTime time(match.captured(4).toInt(), match.captured(5).toInt(), match.captured(6).toInt());
    if (!date.isValid() || !time.isValid())
        return std::nullopt;
    return QDateTime(date, time);
}

QString DbmText(double rssi, int decimals = 0)
{
    return QStringLiteral("%1 dBm").arg(-113 + 2 * rssi, 0, 'f', decimals);
}

const char* const kListNames[] = {"管理号码", "授权号码", "备份号码"};

}  // namespace

CReportRun::CReportRun(const CommandLine& command, const Timing& timing, const ReportTiming& reportTiming,
                       std::FILE* out, std::FILE* err)
    : m_command(command), m_reportTiming(reportTiming), m_console(out, err), m_err(err)
{
    m_device = std::make_unique<CDeviceController>(m_console, timing);
    m_numbers = std::make_unique<CNumberCommands>(*m_device);
    m_meter = std::make_unique<CSignalMeter>(*m_device);
    AttachRecorder();
    connect(m_device.get(), &CDeviceController::taskFinished, this, &CReportRun::OnTaskFinished);
    connect(m_device.get(), &CDeviceController::portLost, this, [this] {
        m_console.AppendLog(QStringLiteral("串口已断开，未生成报告"));
        m_meter->Stop();
        End(1);
    });
    connect(m_meter.get(), &CSignalMeter::readingTaken, this, &CReportRun::OnReading);
    connect(m_meter.get(), &CSignalMeter::finished, this, &CReportRun::OnSignalFinished);
    connect(&m_signals, &CSignalWatcher::terminationRequested, this, &CReportRun::OnTermination);
    m_powerOnTimer.setSingleShot(true);
    connect(&m_powerOnTimer, &QTimer::timeout, this, [this] {
        m_console.AppendLog(QStringLiteral("等待设备上电超时（%1 秒），请检查连接和电源后重试").arg(m_command.powerOnTimeoutSeconds));
        End(1);
    });
    m_signalTimer.setSingleShot(true);
    connect(&m_signalTimer, &QTimer::timeout, this, [this] { m_meter->Stop(); });
    m_settleTimer.setSingleShot(true);
    connect(&m_settleTimer, &QTimer::timeout, this, &CReportRun::Finish);
}

CReportRun::~CReportRun()
{
    // The worker stops before the procedures whose tasks it runs, the
    // record's writer before the controller its lines go to.
    m_device->Shutdown();
    if (m_recorder)
        m_recorder->Close(std::chrono::steady_clock::now() + std::chrono::milliseconds(m_recordTiming.shutdownWaitMs));
}

int CReportRun::RunCommand(const CommandLine& command, int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    CReportRun run(command);
    return run.Run();
}

void CReportRun::AttachRecorder()
{
    // The tap keeps the entry's module reply and the last report (the
    // snapshot the report names); with a record every step goes on to it.
    m_tap = std::make_shared<CRecorderTap>();
    if (m_command.record) {
        CDeviceController* device = m_device.get();
        m_recorder = std::make_shared<CVisitRecorder>(m_command.database, m_command.ports.value(0),
                                                      [device](const QString& line) { device->PostLog(line); });
        CBatchConsole* console = &m_console;
        m_recorder->SetFailureLog([device, console](const QString& line) {
            device->PostToUi([console, line] { console->ShowMessage(line); });
        });
        m_recorder->SetProgress([device, this] { device->PostToUi([this] { OnRecordProgress(); }); });
        const QString trigger =
            m_command.mode == CommandLine::Mode::Acceptance ? QStringLiteral("--acceptance") : QStringLiteral("--inspection");
        m_recorder->SetTriggerNames(trigger, QString::fromLatin1(RecordTrigger::ReadBack));
        m_tap = std::make_shared<CRecorderTap>(m_recorder);
    }
    m_device->SetRecorder(m_tap);
}

bool CReportRun::PrepareInputs()
{
    // A technician power-cycles the terminal only for a run that can end
    // with a report: every file is read and checked first.
    const ReportKind kind =
        m_command.mode == CommandLine::Mode::Acceptance ? ReportKind::Acceptance : ReportKind::Inspection;
    QString why;
    if (m_command.templateFile.isEmpty()) {
        m_template = DefaultReportTemplate(kind);
    } else if (std::optional<ReportTemplate> loaded = LoadReportTemplate(m_command.templateFile, &why)) {
        m_template = std::move(*loaded);
    } else {
        m_console.ShowMessage(why);
        return false;
    }
    if (!m_command.siteFile.isEmpty()) {
        std::optional<ReportSite> site = LoadSiteFile(m_command.siteFile, &why);
        if (!site) {
            m_console.ShowMessage(why);
            return false;
        }
        m_site = std::move(*site);
    }
    if (!m_command.checklistFile.isEmpty()) {
        std::optional<ChecklistResults> results = LoadChecklistResults(m_command.checklistFile, m_template, &why);
        if (!results) {
            m_console.ShowMessage(why);
            return false;
        }
        m_results = std::move(*results);
    }
    if (!m_command.profileFile.isEmpty()) {
        m_profile = LoadProjectProfile(m_command.profileFile, &why);
        if (!m_profile) {
            m_console.ShowMessage(why);
            return false;
        }
    }
    const QFileInfo target(m_command.reportPdf);
    if (!target.absoluteDir().exists()) {
        m_console.ShowMessage(QStringLiteral("无法写入“%1”：文件夹不存在").arg(m_command.reportPdf));
        return false;
    }
    m_report.kind = kind;
    m_report.title = m_template.title;
    m_report.templateName = m_template.name;
    m_report.signatures = m_template.signatures;
    return true;
}

int CReportRun::Run()
{
    if (!PrepareInputs())
        return 1;
    m_device->Start();
    const QString path = m_command.ports.value(0);
    const int portNumber = PortTable::Instance().Add(path);
    if (portNumber == 0 || !m_device->OpenPort(portNumber, m_command.baudRate)) {
        QCoreApplication::processEvents();
        return 1;
    }
    m_startedAt = QDateTime::currentDateTime();
    m_device->SetConfigurationMode(true);
    m_mark = static_cast<int>(m_console.LogLines().size());
    m_device->OnPortOpened();
    m_powerOnTimer.start(m_command.powerOnTimeoutSeconds * 1000);
    QCoreApplication::exec();
    return m_status;
}

QStringList CReportRun::LogSince(int mark) const
{
    return m_console.LogLines().mid(mark);
}

bool CReportRun::LoggedSince(int mark, const QString& line) const
{
    return LogSince(mark).contains(line);
}

void CReportRun::LogCheck(const AutomaticCheck& check)
{
    m_console.AppendLog(QStringLiteral("自动检查 %1：%2，%3").arg(check.title, OutcomeText(check.outcome), check.result));
    for (const QString& detail : check.details)
        m_console.AppendLog(QStringLiteral("    ") + detail);
}

void CReportRun::Keep(AutomaticCheck check)
{
    check.title = AutomaticCheckTitle(check.id);
    LogCheck(check);
    m_checks.push_back(std::move(check));
}

void CReportRun::Skip(const QString& id, const QString& reason)
{
    Keep({id, {}, AutomaticCheck::Outcome::Skipped, reason, {}});
}

void CReportRun::Advance()
{
    if (m_done)
        return;
    const auto next = [](Step step) { return static_cast<Step>(static_cast<int>(step) + 1); };
    m_step = next(m_step);
    m_mark = static_cast<int>(m_console.LogLines().size());
    const QString notAsked = QStringLiteral("检查表模板未要求此项");
    switch (m_step) {
    case Step::ReadBack:
        // Conformity and the lists are judged on what the read-back gives,
        // so without it there is nothing to read back for.
        if (Wanted(QStringLiteral("readback")) || Wanted(QStringLiteral("conformity"))
            || Wanted(QStringLiteral("numberLists"))) {
            m_device->Queries().RequestReadBack();
            return;
        }
        Skip(QStringLiteral("readback"), notAsked);
        Advance();
        return;
    case Step::Signal:
        if (!Wanted(QStringLiteral("signal"))) {
            Skip(QStringLiteral("signal"), notAsked);
            Advance();
            return;
        }
        m_report.signal = SignalTrace{};
        m_signalStartedAt = QDateTime::currentDateTime();
        if (!m_meter->Start()) {
            TakeSignal();
            Advance();
            return;
        }
        m_signalTimer.start(m_command.reportSignalSeconds * 1000);
        return;
    case Step::Clock:
        if (!Wanted(QStringLiteral("clock"))) {
            Skip(QStringLiteral("clock"), notAsked);
            Advance();
            return;
        }
        m_device->Queries().RequestReadClock();
        return;
    case Step::PowerOnTest:
        if (!Wanted(QStringLiteral("powerOnTest"))) {
            Skip(QStringLiteral("powerOnTest"), notAsked);
            Advance();
            return;
        }
        m_numbers->RequestPowerOnTest();
        return;
    case Step::Record:
        // The conversation is over: what is left waits for the record to
        // name the snapshot (or to say it waits in the outbox).
        if (!m_recorder) {
            Finish();
            return;
        }
        m_visitUid = m_recorder->CurrentVisit();
        m_recordMark = m_recorder->Mark();
        m_settleTimer.start(m_recordTiming.unitSettleMs);
        OnRecordProgress();
        return;
    case Step::Catch:
    case Step::Done:
        return;
    }
}

void CReportRun::OnTaskFinished(int code)
{
    if (m_done)
        return;
    switch (code) {
    case TaskCode::EnterConfiguration:
        if (m_step != Step::Catch)
            return;
        m_powerOnTimer.stop();
        if (!LoggedSince(m_mark, QStringLiteral("参数加载完成..."))) {
            m_console.AppendLog(QStringLiteral("设备未进入配置状态，未生成报告"));
            End(1);
            return;
        }
        Advance();
        return;
    case TaskCode::ReadBack:
        if (m_step == Step::ReadBack) {
            TakeReadBack();
            Advance();
        }
        return;
    case TaskCode::ReadClock:
        if (m_step == Step::Clock) {
            TakeClock(QDateTime::currentDateTime());
            Advance();
        }
        return;
    case TaskCode::PowerOnTest:
        if (m_step == Step::PowerOnTest) {
            TakePowerOnTest();
            Advance();
        }
        return;
    default:
        return;
    }
}

void CReportRun::TakeReadBack()
{
    const bool read = LoggedSince(m_mark, QStringLiteral("参数加载完成..."));
    if (Wanted(QStringLiteral("readback"))) {
        AutomaticCheck check{QStringLiteral("readback"), {}, AutomaticCheck::Outcome::Failed, {}, {}};
        if (read) {
            check.outcome = AutomaticCheck::Outcome::Passed;
            check.result = QStringLiteral("参数回读成功（AT+SHOW），%1 字节").arg(m_tap->LastReport().size());
        } else {
            check.result = LoggedSince(m_mark, QStringLiteral("参数加载存在错误的参数..."))
                ? QStringLiteral("参数加载存在错误的参数...")
                : QStringLiteral("参数加载失败");
        }
        Keep(check);
    } else {
        Skip(QStringLiteral("readback"), QStringLiteral("检查表模板未要求此项"));
    }
    const QString noReport = QStringLiteral("配置未能回读，无法检查");
    if (!Wanted(QStringLiteral("conformity")))
        Skip(QStringLiteral("conformity"), QStringLiteral("检查表模板未要求此项"));
    else if (!read)
        Keep({QStringLiteral("conformity"), {}, AutomaticCheck::Outcome::Failed, noReport, {}});
    else
        TakeConformity();
    if (!Wanted(QStringLiteral("numberLists")))
        Skip(QStringLiteral("numberLists"), QStringLiteral("检查表模板未要求此项"));
    else if (!read)
        Keep({QStringLiteral("numberLists"), {}, AutomaticCheck::Outcome::Failed, noReport, {}});
    else
        TakeNumberLists();
}

void CReportRun::TakeConformity()
{
    AutomaticCheck check{QStringLiteral("conformity"), {}, AutomaticCheck::Outcome::Skipped, {}, {}};
    if (!m_profile) {
        // Judged against the record once the conversation is over (the
        // record is read then, never while the terminal waits); kept
        // without a title until then.
        m_checks.push_back(check);
        return;
    }
    ParameterSet set;
    {
        std::lock_guard guard(m_device->ParamLock());
        set = m_device->Params();
    }
    const std::optional<QByteArray> module = m_tap->ModuleReply();
    const ProfileCheckResult result = CheckAgainstProfile(
        *m_profile, TerminalFacts{&set, module ? GbkToUnicode(*module) : QString(), {}}, QDate::currentDate());
    const QStringList lines = result.LogLines();
    check.outcome = result.Conforms() ? AutomaticCheck::Outcome::Passed : AutomaticCheck::Outcome::Failed;
    check.result = lines.value(0);
    check.details = lines.mid(1);
    Keep(check);
}

void CReportRun::TakeNumberLists()
{
    ParameterSet set;
    {
        std::lock_guard guard(m_device->ParamLock());
        set = m_device->Params();
    }
    AutomaticCheck check{QStringLiteral("numberLists"), {}, AutomaticCheck::Outcome::Passed, {}, {}};
    QStringList counts;
    for (int category = 0; category < 3; ++category) {
        const QStringList numbers = ListNumbers(set, category);
        const QString name = QString::fromUtf8(kListNames[category]);
        counts << QStringLiteral("%1 %2 个").arg(name).arg(numbers.size());
        check.details << QStringLiteral("%1：%2").arg(name, numbers.isEmpty() ? QStringLiteral("（空）")
                                                                              : numbers.join(QStringLiteral("，")));
    }
    check.result = counts.join(QStringLiteral("，"));
    if (m_profile) {
        // The profile's list rules say what the lists must hold.
        const std::optional<QByteArray> module = m_tap->ModuleReply();
        const ProfileCheckResult result = CheckAgainstProfile(
            *m_profile, TerminalFacts{&set, module ? GbkToUnicode(*module) : QString(), {}}, QDate::currentDate());
        for (const Deviation& deviation : result.deviations) {
            const bool isList = std::find_if(std::begin(kListNames), std::end(kListNames), [&](const char* name) {
                                    return deviation.subject == QString::fromUtf8(name);
                                }) != std::end(kListNames);
            if (isList && !deviation.pending) {
                check.outcome = AutomaticCheck::Outcome::Failed;
                check.details << deviation.Text();
            }
        }
    } else if (ListNumbers(set, 0).isEmpty()) {
        // Without an administrator number nobody can manage the terminal
        // by telephone.
        check.outcome = AutomaticCheck::Outcome::Failed;
        check.details << QStringLiteral("未设置管理号码");
    }
    Keep(check);
}

void CReportRun::OnReading(const SignalReading& reading)
{
    if (!m_report.signal)
        return;
    const double seconds = m_signalStartedAt.msecsTo(QDateTime::currentDateTime()) / 1000.0;
    SignalTrace::Point point{seconds, std::nullopt};
    if (reading.HasValue())
        point.rssi = reading.rssi;
    m_report.signal->points.push_back(point);
}

void CReportRun::OnSignalFinished()
{
    if (m_done || m_step != Step::Signal)
        return;
    m_signalTimer.stop();
    TakeSignal();
    Advance();
}

void CReportRun::TakeSignal()
{
    SignalTrace& trace = *m_report.signal;
    const SignalSession::Figures figures = m_meter->Session().FiguresOfRun();
    trace.seconds = m_signalStartedAt.msecsTo(QDateTime::currentDateTime()) / 1000.0;
    trace.readings = figures.samples;
    trace.values = figures.values;
    trace.minimumRssi = figures.minimum;
    trace.maximumRssi = figures.maximum;
    trace.averageRssi = figures.average;
    AutomaticCheck check{QStringLiteral("signal"), {}, AutomaticCheck::Outcome::Failed, {}, {}};
    check.details << QStringLiteral("%1 秒，%2").arg(trace.seconds, 0, 'f', 0).arg(FiguresText(figures));
    if (!figures.average || !figures.minimum || !figures.maximum) {
        check.result = QStringLiteral("未读到信号强度");
    } else {
        const bool passing = *figures.average >= m_reportTiming.lowestPassingRssi;
        check.outcome = passing ? AutomaticCheck::Outcome::Passed : AutomaticCheck::Outcome::Failed;
        check.result = QStringLiteral("最小 %1，平均 %2，最大 %3，%4")
                           .arg(DbmText(*figures.minimum), DbmText(*figures.average, 1), DbmText(*figures.maximum),
                                BandName(BandOf(static_cast<int>(std::floor(*figures.average)))));
        if (!passing)
            check.details << QStringLiteral("平均信号低于 %1（CSQ %2）").arg(DbmText(m_reportTiming.lowestPassingRssi))
                                 .arg(m_reportTiming.lowestPassingRssi);
    }
    Keep(check);
}

void CReportRun::TakeClock(const QDateTime& answeredAt)
{
    AutomaticCheck check{QStringLiteral("clock"), {}, AutomaticCheck::Outcome::Failed, {}, {}};
    if (!LoggedSince(m_mark, QStringLiteral("读取RTC时间成功"))) {
        check.result = QStringLiteral("读取RTC时间失败");
        Keep(check);
        return;
    }
    std::optional<QDateTime> clock;
    QString reply;
    for (const QString& line : LogSince(m_mark)) {
        if ((clock = ClockOfReply(line))) {
            reply = line.simplified();
            break;
        }
    }
    if (!clock) {
        check.result = QStringLiteral("无法识别设备的时钟回复");
        Keep(check);
        return;
    }
    // The terminal's clock counts whole seconds: the computer's is taken
    // to the second as well, so that two clocks that agree differ by 0.
    const QDateTime computer = answeredAt.addMSecs(-answeredAt.time().msec());
    const qint64 difference = computer.secsTo(*clock);
    check.outcome = std::llabs(difference) <= m_reportTiming.clockToleranceSeconds ? AutomaticCheck::Outcome::Passed
                                                                                   : AutomaticCheck::Outcome::Failed;
    check.result = QStringLiteral("设备时钟 %1，与电脑相差 %2%3 秒")
                       .arg(clock->toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
                            difference > 0 ? QStringLiteral("+") : QString())
                       .arg(difference);
    check.details << QStringLiteral("允许误差 ±%1 秒").arg(m_reportTiming.clockToleranceSeconds);
    Keep(check);
}

void CReportRun::TakePowerOnTest()
{
    const bool answered = LoggedSince(m_mark, QStringLiteral("车载台/FN发射机上电测试命令测试成功"));
    Keep({QStringLiteral("powerOnTest"), {},
          answered ? AutomaticCheck::Outcome::Passed : AutomaticCheck::Outcome::Failed,
          answered ? QStringLiteral("车载台/FN发射机上电测试命令测试成功") : QStringLiteral("车载台/FN发射机上电测试命令测试失败"),
          {}});
}

void CReportRun::OnRecordProgress()
{
    if (m_done || m_step != Step::Record)
        return;
    // A writer stuck on an earlier step will not be done in time: no wait.
    if (m_recorder->Outcome(m_visitUid, m_recordMark).settled || m_recorder->IsStalled())
        Finish();
}

AutomaticCheck CReportRun::CompareWithRecord(const AutomaticCheck& base)
{
    AutomaticCheck check = base;
    check.outcome = AutomaticCheck::Outcome::Skipped;
    if (!m_command.record) {
        check.result = QStringLiteral("未指定项目配置规范（--profile），且本次不使用设备档案（--no-record）");
        return check;
    }
    CRecordStore store(m_command.database);
    const QString key = m_report.identity.deviceKey;
    std::optional<DeviceHistory> history;
    if (store.OpenForReading())
        history = store.History(key);
    // The last snapshot from before this run: a read-back after a save is
    // what was last saved to the terminal; else the last one read.
    const HistoryEntry* earlier = nullptr;
    if (history) {
        for (const HistoryEntry& entry : history->entries) {
            if (entry.type != HistoryEntry::Type::Snapshot || entry.atMs >= m_startedAt.toMSecsSinceEpoch())
                continue;
            const bool afterSave = entry.trigger == QLatin1String(RecordTrigger::Verify)
                || entry.trigger == QLatin1String(RecordTrigger::AfterApply);
            const bool earlierAfterSave = earlier
                && (earlier->trigger == QLatin1String(RecordTrigger::Verify)
                    || earlier->trigger == QLatin1String(RecordTrigger::AfterApply));
            if (!earlier || afterSave || !earlierAfterSave)
                earlier = &entry;
        }
    }
    std::optional<QByteArray> older = earlier ? store.SnapshotReport(key, earlier->number) : std::nullopt;
    if (!older) {
        check.result = QStringLiteral("未指定项目配置规范（--profile），设备档案中也没有此设备以前的配置");
        return check;
    }
    const QStringList differences = ReportLineDifferences(*older, m_tap->LastReport());
    const QString name = QStringLiteral("%1@%2（%3，%4）")
                             .arg(key)
                             .arg(earlier->number)
                             .arg(TriggerText(earlier->trigger), RecordTimeText(earlier->atMs));
    check.outcome = differences.isEmpty() ? AutomaticCheck::Outcome::Passed : AutomaticCheck::Outcome::Failed;
    check.result = differences.isEmpty() ? QStringLiteral("与设备档案 %1 的配置一致").arg(name)
                                         : QStringLiteral("与设备档案 %1 的配置有 %2 项不同").arg(name).arg(differences.size());
    check.details = differences;
    return check;
}

void CReportRun::Finish()
{
    if (m_done || m_step == Step::Done)
        return;
    m_step = Step::Done;
    m_settleTimer.stop();
    ReportIdentity& identity = m_report.identity;
    {
        std::lock_guard guard(m_device->ParamLock());
        identity.deviceId = GbkToUnicode(m_device->Params().deviceId.View());
        identity.simNumber = GbkToUnicode(m_device->Params().simNumber.View());
    }
    const std::optional<QByteArray> module = m_tap->ModuleReply();
    identity.module = module ? ModuleVersionText(GbkToUnicode(*module)) : QString();
    identity.snapshotDigest =
        QString::fromLatin1(QCryptographicHash::hash(m_tap->LastReport(), QCryptographicHash::Sha256).toHex());
    DeviceKeyKind keyKind = DeviceKeyKind::None;
    identity.deviceKey = CRecordStore::DeviceKeyFor(identity.deviceId, identity.simNumber, &keyKind);
    if (m_recorder) {
        const CRecordWriter::Outcome outcome = m_recorder->Outcome(m_visitUid, m_recordMark);
        identity.recordPending = outcome.pending;
        identity.snapshotId = outcome.snapshotId;
        identity.snapshotNumber = outcome.snapshotNumber;
        if (!outcome.deviceKey.isEmpty())
            identity.deviceKey = outcome.deviceKey;
        if (outcome.pending)
            m_console.AppendLog(RecordLines::VisitPending(m_recorder->OutboxPath(), m_recorder->Target()));
        else if (outcome.snapshotId > 0)
            m_console.AppendLog(RecordLines::VisitWritten(outcome.deviceKey, outcome.snapshotNumber));
    }
    // The checks in the order they run; one judged against the record is
    // judged now that the conversation is over.
    for (const QString& id : AutomaticCheckIds()) {
        for (const AutomaticCheck& kept : m_checks) {
            if (kept.id != id)
                continue;
            AutomaticCheck check = kept;
            if (check.title.isEmpty()) {
                check = CompareWithRecord(check);
                check.title = AutomaticCheckTitle(id);
                LogCheck(check);
            }
            m_report.automatic.push_back(check);
        }
    }
    // An inspection is compared with the terminal's acceptance report here,
    // once reports are kept in the service record: configuration
    // differences, the signal then and now, checks that passed then and fail
    // now. Until then an inspection holds what was measured today.
    WriteReport();
}

void CReportRun::WriteReport()
{
    m_report.created = QDateTime::currentDateTime();
    m_report.number = ReportNumber(m_report.kind, m_report.identity.deviceId, m_report.created);
    m_report.site = m_site;
    if (!m_report.site.date.isValid())
        m_report.site.date = m_report.created.date();
    m_report.manual = MarkedChecklist(m_template, m_results);
    m_report.photos = m_results.photos;
    const bool passed = m_report.Passed();
    const QString label = m_report.kind == ReportKind::Acceptance ? QStringLiteral("验收结论") : QStringLiteral("巡检结论");
    m_console.AppendLog(QStringLiteral("%1：%2").arg(label, VerdictText(passed)));
    for (const QString& reason : m_report.VerdictReasons())
        m_console.AppendLog(QStringLiteral("    ") + reason);
    QString why;
    if (!WriteReportPdf(m_report, m_command.reportPdf, &why)) {
        m_console.ShowMessage(why);
        End(1);
        return;
    }
    const QString jsonPath = m_command.reportPdf + QStringLiteral(".json");
    if (!WriteReportJson(ReportToJson(m_report, FileDigest(m_command.reportPdf)), jsonPath, &why)) {
        m_console.ShowMessage(why);
        End(1);
        return;
    }
    m_console.AppendLog(QStringLiteral("%1已写入“%2”（报告编号 %3）")
                            .arg(ReportKindName(m_report.kind), m_command.reportPdf, m_report.number));
    End(passed ? 0 : 3);
}

void CReportRun::OnTermination(int signalNumber)
{
    m_meter->Stop();
    End(CSignalWatcher::ExitStatusFor(signalNumber));
}

void CReportRun::End(int status)
{
    if (m_done)
        return;
    m_done = true;
    m_status = status;
    m_powerOnTimer.stop();
    m_signalTimer.stop();
    m_settleTimer.stop();
    m_device->ClosePort();
    QCoreApplication::exit(status);
}

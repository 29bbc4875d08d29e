#include "batch/CBatchRunner.h"

#include "params/CConfigFile.h"
#include "params/TypedValueCheck.h"
#include "serial/PortTable.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

#include <algorithm>
#include <chrono>
#include <csignal>

CBatchRunner::CBatchRunner(const CommandLine& command, const Timing& timing)
    : m_command(command), m_timing(timing)
{
    m_mainConsole = std::make_unique<CBatchConsole>();
    connect(&m_signals, &CSignalWatcher::terminationRequested, this, &CBatchRunner::OnTerminationRequested);
}

CBatchRunner::~CBatchRunner()
{
    // Every worker stops before its console goes.
    m_runs.clear();
}

void CBatchRunner::Log(const QString& line)
{
    m_mainConsole->AppendLog(line);
}

bool CBatchRunner::CheckFileFirst()
{
    // A technician power-cycles the terminal only for a run that can end
    // well: the file is read and checked, or the target tried, first.
    if (!m_command.reportFile.isEmpty()) {
        QString why;
        if (!CConfigFile::CanWriteFile(m_command.reportFile, &why)) {
            Log(QStringLiteral("无法写入报告文件“%1”：%2").arg(m_command.reportFile, why));
            return false;
        }
    }
    if (m_command.mode == CommandLine::Mode::Conform)
        return PrepareOverrides() && CheckUnitsAgainstProfile();
    if (m_command.mode == CommandLine::Mode::Read) {
        QString why;
        if (CConfigFile::CanWriteFile(m_command.file, &why))
            return true;
        Log(QStringLiteral("无法写入配置文件“%1”：%2").arg(m_command.file, why));
        Log(QStringLiteral("保存到文件失败"));
        return false;
    }
    QFile file(m_command.file);
    if (!file.open(QIODevice::ReadOnly)) {
        Log(QStringLiteral("打开文件失败"));
        return false;
    }
    const QByteArray text = CConfigFile::FromFileText(file.read(CConfigFile::kMaxFileBytes));
    if (const std::optional<SaveRefusal> refusal = CheckConfigFileText(text)) {
        Log(refusal->text);
        // A file that does not parse says so in the load's own words.
        if (refusal->text != QStringLiteral("参数加载失败"))
            Log(QStringLiteral("从文件配置失败"));
        return false;
    }
    return PrepareOverrides() && CheckOverridesAgainstFile(text);
}

bool CBatchRunner::PrepareOverrides()
{
    QString why;
    const std::optional<std::vector<CellOverride>> settings = OverridesFromSettings(m_command.settings, &why);
    if (!settings) {
        Log(QStringLiteral("--set 参数有误：%1，未连接任何设备").arg(why));
        return false;
    }
    m_settingOverrides = *settings;
    if (m_command.unitsFile.isEmpty())
        return true;

    QFile file(m_command.unitsFile);
    if (!file.open(QIODevice::ReadOnly)) {
        Log(QStringLiteral("无法打开设备参数表“%1”：%2").arg(m_command.unitsFile, file.errorString()));
        return false;
    }
    m_units = ParseUnitsTable(file.readAll(), &why);
    if (!m_units) {
        Log(QStringLiteral("设备参数表“%1”有误：%2，未连接任何设备").arg(m_command.unitsFile, why));
        return false;
    }
    bool allRows = true;
    for (std::size_t i = 0; i < m_units->rows.size(); ++i) {
        const std::optional<std::vector<CellOverride>> row =
            OverridesFromRow(m_units->labels, m_units->rows[i], &why);
        if (!row) {
            Log(QStringLiteral("设备参数表第%1行：%2").arg(m_units->rowLines[i]).arg(why));
            allRows = false;
            continue;
        }
        m_rowOverrides.push_back(MergeOverrides(m_settingOverrides, *row));
    }
    if (!allRows) {
        Log(QStringLiteral("设备参数表有误，未连接任何设备"));
        return false;
    }
    if (m_rowOverrides.empty()) {
        Log(QStringLiteral("设备参数表“%1”中没有设备行").arg(m_command.unitsFile));
        return false;
    }
    return true;
}

bool CBatchRunner::CheckOverridesAgainstFile(const QByteArray& text)
{
    // The checks of a value can only be run on a whole table: the file
    // over empty values stands in for the terminal's. Where the file alone
    // does not pass that way (it leaves lines to the terminal), the check
    // waits for the terminal's own values, before anything is sent.
    const ParameterSet blank;
    if (PlanConfigFileLoad(text, blank).refusal)
        return true;
    std::vector<std::pair<int, std::vector<CellOverride>>> cases;
    if (m_units) {
        for (std::size_t i = 0; i < m_rowOverrides.size(); ++i)
            cases.emplace_back(m_units->rowLines[i], m_rowOverrides[i]);
    } else if (!m_settingOverrides.empty()) {
        cases.emplace_back(0, m_settingOverrides);
    }
    bool allPass = true;
    for (const auto& [line, overrides] : cases) {
        const ConfigFileLoad load = PlanConfigFileLoad(text, blank, overrides);
        if (!load.refusal)
            continue;
        allPass = false;
        if (line > 0)
            Log(QStringLiteral("设备参数表第%1行：%2").arg(line).arg(load.refusal->text));
        else
            Log(QStringLiteral("--set 的值被拒绝：%1").arg(load.refusal->text));
    }
    if (!allPass)
        Log(QStringLiteral("参数值有误，未连接任何设备"));
    return allPass;
}

bool CBatchRunner::LoadProfile()
{
    if (m_command.profileFile.isEmpty())
        return true;
    QString why;
    std::optional<ProjectProfile> profile = LoadProjectProfile(m_command.profileFile, &why);
    if (!profile) {
        Log(why);
        Log(QStringLiteral("规范有误，未连接任何设备"));
        return false;
    }
    m_profile = std::make_shared<const ProjectProfile>(std::move(*profile));
    return true;
}

bool CBatchRunner::CheckUnitsAgainstProfile()
{
    if (!m_units)
        return true;
    for (const QString& label : m_units->labels) {
        const SaveItem* item = FindSaveItemByLabel(label);
        const bool perUnit = std::any_of(m_profile->rules.begin(), m_profile->rules.end(), [&](const ProfileRule& rule) {
            return rule.kind == ProfileRule::Kind::PerUnit && rule.item == item;
        });
        if (!perUnit) {
            Log(QStringLiteral("设备参数表的“%1”在规范中没有 perUnit 规则：--conform 只发送规范要求的值，未连接任何设备")
                    .arg(label));
            return false;
        }
    }
    bool allPass = true;
    for (std::size_t row = 0; row < m_rowOverrides.size(); ++row) {
        for (const CellOverride& override : m_rowOverrides[row]) {
            if (const std::optional<QString> refusal = TypedValueRefusal(*override.item, override.value)) {
                Log(QStringLiteral("设备参数表第%1行：%2").arg(m_units->rowLines[row]).arg(*refusal));
                allPass = false;
            }
        }
    }
    if (!allPass)
        Log(QStringLiteral("参数值有误，未连接任何设备"));
    return allPass;
}

std::optional<CPortRun::NextUnit> CBatchRunner::TakeNextUnit()
{
    if (!m_units)
        return CPortRun::NextUnit{0, m_settingOverrides};
    if (m_nextRow >= m_rowOverrides.size())
        return std::nullopt;
    const std::size_t row = m_nextRow++;
    return CPortRun::NextUnit{m_units->rowLines[row], m_rowOverrides[row]};
}

int CBatchRunner::Run()
{
    if (!m_command.logFile.isEmpty()) {
        QString why;
        if (!m_logFile.Open(m_command.logFile, &why)) {
            Log(QStringLiteral("无法写入日志文件“%1”：%2").arg(m_command.logFile, why));
            return 1;
        }
        m_mainConsole->SetLogFile(&m_logFile);
    }
    if (!LoadProfile() || !CheckFileFirst())
        return 1;

    const bool several = m_command.ports.size() > 1;
    for (const QString& device : m_command.ports) {
        CBatchConsole* console = m_mainConsole.get();
        if (several) {
            m_portConsoles.push_back(std::make_unique<CBatchConsole>());
            console = m_portConsoles.back().get();
            const int number = PortTable::Instance().Add(device);
            console->SetPrefix(number > 0 ? QStringLiteral("[COM%1] ").arg(number) : QStringLiteral("[%1] ").arg(device));
            if (m_logFile.IsOpen())
                console->SetLogFile(&m_logFile);
        }
        auto run = std::make_unique<CPortRun>(m_command, device, m_timing, console, [this] { return TakeNextUnit(); });
        connect(run.get(), &CPortRun::unitFinished, this, &CBatchRunner::OnUnitFinished);
        run->SetProfile(m_profile);
        m_runs.push_back(std::move(run));
    }
    for (const auto& run : m_runs)
        run->Start();

    const auto allFinished = [this] {
        return std::all_of(m_runs.begin(), m_runs.end(), [](const auto& run) { return run->IsFinished(); });
    };
    while (!allFinished())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    CloseRecords();
    // Lines still queued for the console are printed before leaving.
    QCoreApplication::processEvents();
    if (several || m_command.repeat || m_units)
        PrintSummary();
    WriteReport();
    m_logFile.Flush();
    return ExitStatus();
}

void CBatchRunner::CloseRecords()
{
    // One deadline for every port: the run ends in bounded time whatever
    // the database does; what is not written by then waits in the outbox.
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(RecordTiming{}.shutdownWaitMs);
    for (const auto& run : m_runs)
        run->CloseRecord(deadline);
    // A visit that waited in the outbox may have been written since its
    // terminal ended.
    for (UnitRecord& record : m_records) {
        for (const auto& run : m_runs) {
            if (run->DevicePath() == record.device)
                run->RefreshRecord(record);
        }
    }
}

void CBatchRunner::OnUnitFinished(const UnitRecord& record)
{
    m_records.push_back(record);
    // Written after every terminal, so a run that is cut short keeps the
    // records of the terminals it finished.
    WriteReport();
}

void CBatchRunner::OnTerminationRequested(int signalNumber)
{
    const bool busy = std::any_of(m_runs.begin(), m_runs.end(), [](const auto& run) {
        return !run->IsFinished() && run->IsBusyWithTerminal();
    });
    for (const auto& run : m_runs)
        run->Interrupt();
    if (!busy) {
        // Between two terminals of a --repeat: the run simply ends here.
        Log(QStringLiteral("批量配置已结束，串口已关闭"));
        return;
    }
    const char* name = signalNumber == SIGINT ? "SIGINT" : signalNumber == SIGTERM ? "SIGTERM" : "";
    Log(QStringLiteral("操作已中断（收到%1信号），串口已关闭").arg(QString::fromLatin1(name)));
    m_signalStatus = CSignalWatcher::ExitStatusFor(signalNumber);
}

int CBatchRunner::ExitStatus() const
{
    if (m_signalStatus != 0)
        return m_signalStatus;
    if (m_records.empty())
        return 1;
    int status = 0;
    for (const UnitRecord& record : m_records) {
        if (record.status == 1)
            return 1;
        status = std::max(status, record.status);
    }
    return status;
}

namespace {

QString Seconds(const UnitRecord& record)
{
    return QStringLiteral("%1 s").arg(record.start.msecsTo(record.end) / 1000.0, 0, 'f', 1);
}

}  // namespace

void CBatchRunner::PrintSummary()
{
    const bool diff = m_command.mode == CommandLine::Mode::Diff;
    // Items sent and items acknowledged apart: a terminal that never
    // answered its last item has that item among the sent only.
    const QStringList counts = diff ? QStringList{QStringLiteral("不同项")}
                                    : QStringList{QStringLiteral("发送项数"), QStringLiteral("确认项数")};
    const QStringList header = QStringList{QStringLiteral("端口"), QStringLiteral("设备ID"), QStringLiteral("结果")}
                               + counts + QStringList{QStringLiteral("不一致"), QStringLiteral("用时")};
    std::vector<QStringList> rows{header};
    for (const UnitRecord& record : m_records) {
        QStringList row{record.port, record.deviceId.isEmpty() ? QStringLiteral("-") : record.deviceId, record.result};
        if (diff)
            row << QString::number(record.changes);
        else
            row << QString::number(record.itemsSent) << QString::number(record.itemsAcknowledged);
        row << (record.verified ? QString::number(record.mismatches) : QStringLiteral("-")) << Seconds(record);
        rows.push_back(row);
    }
    std::vector<int> widths(header.size(), 0);
    // CJK characters take two columns of a terminal.
    const auto width = [](const QString& text) {
        int columns = 0;
        for (const QChar c : text)
            columns += c.unicode() >= 0x1100 ? 2 : 1;
        return columns;
    };
    for (const QStringList& row : rows) {
        for (qsizetype i = 0; i < row.size(); ++i)
            widths[static_cast<std::size_t>(i)] = std::max(widths[static_cast<std::size_t>(i)], width(row[i]));
    }
    m_mainConsole->PrintLine(QStringLiteral("== 汇总"));
    for (const QStringList& row : rows) {
        QString line;
        for (qsizetype i = 0; i < row.size(); ++i) {
            line += row[i];
            if (i + 1 < row.size())
                line += QString(widths[static_cast<std::size_t>(i)] - width(row[i]) + 2, QLatin1Char(' '));
        }
        m_mainConsole->PrintLine(line);
        if (m_logFile.IsOpen())
            m_logFile.Append(line);
    }
}

void CBatchRunner::WriteReport()
{
    if (m_command.reportFile.isEmpty())
        return;
    const char* mode = m_command.mode == CommandLine::Mode::Read      ? "read"
                       : m_command.mode == CommandLine::Mode::Diff    ? "diff"
                       : m_command.mode == CommandLine::Mode::Conform ? "conform"
                                                                      : "apply";
    QJsonArray terminals;
    for (const UnitRecord& record : m_records) {
        QJsonObject verification{{QStringLiteral("checked"), record.verified},
                                 {QStringLiteral("mismatches"), record.mismatches}};
        QJsonObject entry{
            {QStringLiteral("port"), record.port},
            {QStringLiteral("device"), record.device},
            {QStringLiteral("mode"), QString::fromLatin1(mode)},
            {QStringLiteral("deviceId"), record.deviceId},
            {QStringLiteral("simNumber"), record.simNumber},
            {QStringLiteral("start"), record.start.toString(Qt::ISODateWithMs)},
            {QStringLiteral("end"), record.end.toString(Qt::ISODateWithMs)},
            {QStringLiteral("result"), record.result},
            {QStringLiteral("status"), record.status},
            {QStringLiteral("itemsSent"), record.itemsSent},
            {QStringLiteral("itemsAcknowledged"), record.itemsAcknowledged},
            {QStringLiteral("failures"), QJsonArray::fromStringList(record.failures)},
            {QStringLiteral("verification"), verification},
        };
        if (record.row > 0)
            entry.insert(QStringLiteral("unitsRow"), record.row);
        if (!record.visitUid.isEmpty()) {
            // The snapshot as --export DEVICEID@N takes it; both null while
            // the record waits in the outbox.
            const bool written = !record.recordPending && record.recordId > 0;
            entry.insert(QStringLiteral("recordId"), written ? QJsonValue(record.recordId) : QJsonValue());
            entry.insert(QStringLiteral("snapshot"), written ? QJsonValue(record.snapshot) : QJsonValue());
            entry.insert(QStringLiteral("recordPending"), record.recordPending);
        }
        if (m_command.mode == CommandLine::Mode::Diff)
            entry.insert(QStringLiteral("changes"), record.changes);
        if (record.profileCheck) {
            const ProfileCheckResult& check = *record.profileCheck;
            QJsonArray deviations;
            for (const Deviation& deviation : check.deviations) {
                deviations.append(QJsonObject{{QStringLiteral("rule"), deviation.rule + 1},
                                              {QStringLiteral("item"), deviation.subject},
                                              {QStringLiteral("value"), deviation.value},
                                              {QStringLiteral("wanted"), deviation.wanted},
                                              {QStringLiteral("pending"), deviation.pending}});
            }
            entry.insert(QStringLiteral("profile"),
                         QJsonObject{{QStringLiteral("name"), check.profileName},
                                     {QStringLiteral("version"), check.profileVersion},
                                     {QStringLiteral("digest"), check.profileDigest},
                                     {QStringLiteral("day"), check.day.toString(Qt::ISODate)},
                                     {QStringLiteral("conforms"), check.Conforms()},
                                     {QStringLiteral("deviations"), deviations}});
        }
        terminals.append(entry);
    }
    QSaveFile file(m_command.reportFile);
    const QByteArray json = QJsonDocument(QJsonObject{{QStringLiteral("terminals"), terminals}}).toJson();
    if (!file.open(QIODevice::WriteOnly) || file.write(json) != json.size() || !file.commit())
        m_mainConsole->ShowMessage(QStringLiteral("无法写入报告文件“%1”：%2").arg(m_command.reportFile, file.errorString()));
}

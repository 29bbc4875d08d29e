#include "batch/CComplianceRun.h"

#include "records/CRecordOutbox.h"
#include "records/CRecordStore.h"
#include "records/FleetJudgement.h"
#include "records/ConsoleColumns.h"
#include "records/RecordCommands.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>


namespace {

void WriteText(std::FILE* stream, const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stream);
}

QString DeviceIdOf(const DeviceRow& device)
{
    return device.kind == DeviceKeyKind::Id ? device.key : QString();
}

QString OrDash(const QString& text)
{
    return text.isEmpty() ? QStringLiteral("-") : text;
}

QString ModuleName(const QString& version)
{
    return version.isEmpty() ? QStringLiteral("（未知）") : version;
}

QString Columns(const QString& id, const QString& sim, const QString& seen, const QString& state,
                const QString& deviations)
{
    return PaddedRight(id, 10) + PaddedRight(sim, 13) + PaddedRight(seen, 21) + PaddedRight(state, 8) + deviations
        + QLatin1Char('\n');
}

QString TextOutput(const ProjectProfile& profile, const CRecordStore& store, int staleDays, const FleetJudgement& result,
                   const FleetTally& tally)
{
    QString text = QStringLiteral("项目配置规范 %1，设备档案“%2”，%3 台设备（%4 天未连接为过期）\n\n")
                       .arg(profile.Title(), store.Describe())
                       .arg(tally.terminals)
                       .arg(staleDays);
    text += Columns(QStringLiteral("设备ID"), QStringLiteral("SIM卡号"), QStringLiteral("最近连接"),
                    QStringLiteral("状态"), QStringLiteral("偏差"));
    for (const FleetRow& row : result.rows) {
        const std::vector<Deviation>& deviations = row.verdict.check.deviations;
        text += Columns(OrDash(DeviceIdOf(row.device)), OrDash(row.device.simNumber),
                        row.device.lastSeenMs ? RecordTimeText(row.device.lastSeenMs) : QStringLiteral("-"),
                        FleetStateText(row.verdict.state),
                        deviations.empty() ? QStringLiteral("-") : QStringLiteral("%1 项").arg(deviations.size()));
        for (const Deviation& deviation : deviations)
            text += QStringLiteral("    ") + deviation.Text() + QLatin1Char('\n');
    }
    text += QStringLiteral("\n按状态：") + FleetStatesText(tally) + QLatin1Char('\n');
    text += QStringLiteral("按规则：\n");
    for (const QString& line : FleetRuleLines(profile, tally))
        text += QStringLiteral("  ") + line + QLatin1Char('\n');
    text += QStringLiteral("模块版本：\n");
    for (const auto& [version, count] : tally.modules)
        text += QStringLiteral("  ") + PaddedRight(ModuleName(version), 22) + QStringLiteral("  %1 台\n").arg(count);
    return text;
}

QJsonObject DeviationJson(const Deviation& deviation)
{
    return QJsonObject{{QStringLiteral("rule"), deviation.rule + 1},
                       {QStringLiteral("subject"), deviation.subject},
                       {QStringLiteral("value"), deviation.value},
                       {QStringLiteral("wanted"), deviation.wanted},
                       {QStringLiteral("pending"), deviation.pending},
                       {QStringLiteral("text"), deviation.Text()}};
}

QString JsonOutput(const ProjectProfile& profile, const CRecordStore& store, int staleDays, qint64 nowMs,
                   const FleetJudgement& result, const FleetTally& tally)
{
    QJsonArray terminals;
    for (const FleetRow& row : result.rows) {
        QJsonArray deviations;
        for (const Deviation& deviation : row.verdict.check.deviations)
            deviations.append(DeviationJson(deviation));
        QJsonObject terminal = DeviceJson(row.device);
        terminal.insert(QStringLiteral("deviceId"), DeviceIdOf(row.device));
        terminal.insert(QStringLiteral("state"), FleetStateText(row.verdict.state));
        terminal.insert(QStringLiteral("module"),
                        row.module ? QJsonValue(ModuleVersionText(*row.module)) : QJsonValue(QJsonValue::Null));
        terminal.insert(QStringLiteral("deviations"), deviations);
        terminals.append(terminal);
    }
    QJsonObject states;
    for (FleetState state : kFleetStates)
        states.insert(FleetStateText(state), tally.Count(state));
    QJsonArray rules;
    for (const ProfileRule& rule : profile.rules)
        rules.append(QJsonObject{{QStringLiteral("rule"), rule.index + 1},
                                 {QStringLiteral("subject"), rule.subject},
                                 {QStringLiteral("breaking"), tally.breaking[size_t(rule.index)]},
                                 {QStringLiteral("pending"), tally.pending[size_t(rule.index)]}});
    QJsonArray modules;
    for (const auto& [version, count] : tally.modules)
        modules.append(QJsonObject{{QStringLiteral("module"), version}, {QStringLiteral("terminals"), count}});
    const QJsonObject object{
        {QStringLiteral("profile"), QJsonObject{{QStringLiteral("name"), profile.name},
                                                {QStringLiteral("version"), profile.version},
                                                {QStringLiteral("digest"), profile.digest}}},
        {QStringLiteral("record"), store.Describe()},
        {QStringLiteral("judgedAt"), QDateTime::fromMSecsSinceEpoch(nowMs).toString(Qt::ISODateWithMs)},
        {QStringLiteral("staleDays"), staleDays},
        {QStringLiteral("terminals"), terminals},
        {QStringLiteral("summary"), QJsonObject{{QStringLiteral("terminals"), tally.terminals},
                                                {QStringLiteral("states"), states},
                                                {QStringLiteral("rules"), rules},
                                                {QStringLiteral("modules"), modules}}},
        {QStringLiteral("conforms"), tally.AllConform()},
    };
    return QString::fromUtf8(QJsonDocument(object).toJson());
}

// A field of a CSV row (RFC 4180): quoted when it holds a separator, a
// quote or a line break.
QString CsvField(const QString& text)
{
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) && !text.contains(QLatin1Char('\n'))
        && !text.contains(QLatin1Char('\r')))
        return text;
    return QLatin1Char('"') + QString(text).replace(QLatin1Char('"'), QStringLiteral("\"\"")) + QLatin1Char('"');
}

QString CsvRow(const QStringList& fields)
{
    QStringList quoted;
    for (const QString& field : fields)
        quoted << CsvField(field);
    return quoted.join(QLatin1Char(',')) + QStringLiteral("\r\n");
}

// A spreadsheet's table of the terminals: UTF-8 with a byte-order mark,
// which spreadsheet programs need to read the Chinese columns right.
QString CsvOutput(const FleetJudgement& result)
{
    QString text = QStringLiteral("\uFEFF")
        + CsvRow({QStringLiteral("设备ID"), QStringLiteral("SIM卡号"), QStringLiteral("最近连接"),
                  QStringLiteral("状态"), QStringLiteral("模块版本"), QStringLiteral("偏差数"), QStringLiteral("偏差")});
    for (const FleetRow& row : result.rows) {
        QStringList deviations;
        for (const Deviation& deviation : row.verdict.check.deviations)
            deviations << deviation.Text();
        text += CsvRow({DeviceIdOf(row.device), row.device.simNumber,
                        row.device.lastSeenMs ? RecordTimeText(row.device.lastSeenMs) : QString(),
                        FleetStateText(row.verdict.state), row.module ? ModuleVersionText(*row.module) : QString(),
                        QString::number(row.verdict.check.deviations.size()), deviations.join(QStringLiteral("；"))});
    }
    return text;
}

}  // namespace

int CComplianceRun::Run(std::FILE* out, std::FILE* err, qint64 nowMs) const
{
    QString why;
    const std::optional<ProjectProfile> profile = LoadProjectProfile(m_command.profileFile, &why);
    if (!profile) {
        WriteText(err, why + QLatin1Char('\n'));
        return 1;
    }
    // Visits still waiting in the outbox are not in the record yet.
    WriteText(err, CRecordOutbox::WaitingNotice());
    CRecordStore store(m_command.database);
    FleetJudgement result(*profile);
    // A second connection reads the one report each distinct value set
    // is checked on, while the first streams the fleet.
    CRecordStore lookup(m_command.database);
    if (!store.OpenForReading() || !lookup.OpenForReading()
        || !JudgeFleet(store, *profile, nowMs, m_command.staleDays, result, {}, &lookup)) {
        const QString why = !result.error.isEmpty() ? result.error : store.LastError();
        WriteText(err, store.IsMissing() ? why + QLatin1Char('\n')
                                         : QStringLiteral("设备档案“%1”：%2\n").arg(store.Describe(), why));
        return 1;
    }
    const FleetTally& tally = result.tally;
    if (m_command.json)
        WriteText(out, JsonOutput(*profile, store, m_command.staleDays, nowMs, result, tally));
    else if (m_command.csv)
        WriteText(out, CsvOutput(result));
    else
        WriteText(out, TextOutput(*profile, store, m_command.staleDays, result, tally));
    return tally.AllConform() ? 0 : 3;
}

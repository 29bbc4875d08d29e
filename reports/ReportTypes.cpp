#include "reports/ReportTypes.h"

#include <QRegularExpression>

QString ReportKindName(ReportKind kind)
{
    return kind == ReportKind::Acceptance ? QStringLiteral("验收报告") : QStringLiteral("巡检报告");
}

QString OutcomeText(AutomaticCheck::Outcome outcome)
{
    switch (outcome) {
    case AutomaticCheck::Outcome::Passed:
        return QStringLiteral("合格");
    case AutomaticCheck::Outcome::Failed:
        return QStringLiteral("不合格");
    case AutomaticCheck::Outcome::Skipped:
        break;
    }
    return QStringLiteral("跳过");
}

QString ManualResultText(ManualCheck::Result result)
{
    switch (result) {
    case ManualCheck::Result::Passed:
        return QStringLiteral("合格");
    case ManualCheck::Result::Failed:
        return QStringLiteral("不合格");
    case ManualCheck::Result::NotChecked:
        break;
    }
    return QStringLiteral("未检");
}

std::optional<ManualCheck::Result> ManualResultFromText(const QString& text)
{
    for (const ManualCheck::Result result :
         {ManualCheck::Result::Passed, ManualCheck::Result::Failed, ManualCheck::Result::NotChecked}) {
        if (text == ManualResultText(result))
            return result;
    }
    return std::nullopt;
}

QStringList ReportDocument::VerdictReasons() const
{
    QStringList reasons;
    for (const AutomaticCheck& check : automatic) {
        if (check.outcome == AutomaticCheck::Outcome::Failed)
            reasons << QStringLiteral("自动检查“%1”不合格").arg(check.title);
    }
    for (const ManualCheck& check : manual) {
        if (check.result == ManualCheck::Result::Failed)
            reasons << QStringLiteral("检查项“%1”不合格").arg(check.text);
        else if (check.result == ManualCheck::Result::NotChecked && check.required)
            reasons << QStringLiteral("必检项“%1”未检").arg(check.text);
    }
    return reasons;
}

bool ReportDocument::Passed() const
{
    return VerdictReasons().isEmpty();
}

QString VerdictText(bool passed)
{
    return passed ? QStringLiteral("合格") : QStringLiteral("不合格");
}

QString ReportNumber(ReportKind kind, const QString& deviceId, const QDateTime& created)
{
    QString id = deviceId;
    id.remove(QRegularExpression(QStringLiteral("[^0-9A-Za-z]")));
    if (id.isEmpty())
        id = QStringLiteral("NOID");
    return QStringLiteral("%1-%2-%3-%4")
        .arg(kind == ReportKind::Acceptance ? QStringLiteral("YS") : QStringLiteral("XJ"),
             created.toString(QStringLiteral("yyyyMMdd")), id.toUpper(), created.toString(QStringLiteral("HHmmss")));
}

QString QrPayload(const ReportDocument& report)
{
    return QStringLiteral("SIRENSET-REPORT;NO=%1;ID=%2;SHA256=%3")
        .arg(report.number, report.identity.deviceId, report.identity.snapshotDigest);
}

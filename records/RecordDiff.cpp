#include "records/RecordDiff.h"

#include "params/ConfigFilePlan.h"
#include "params/GbkText.h"
#include "params/ParameterReport.h"
#include "params/ParameterSet.h"

#include <QString>

#include <map>
#include <memory>
#include <vector>

namespace {

struct Line {
    QString label;
    QString value;
};

const std::vector<std::string_view>& KnownLabels()
{
    static const std::vector<std::string_view> labels = [] {
        std::vector<std::string_view> out;
        for (const ReportLabelField& field : ReportLabelFields())
            out.push_back(field.label);
        return out;
    }();
    return labels;
}

// Each line's label with a counter, so a label that repeats still pairs up.
std::vector<Line> Lines(const QByteArray& report)
{
    std::vector<Line> lines;
    std::map<QString, int> seen;
    for (QByteArray raw : report.split('\n')) {
        while (raw.endsWith('\r'))
            raw.chop(1);
        if (raw.trimmed().isEmpty())
            continue;
        const QString text = GbkToUnicode(raw);
        // A known label, also one without a colon ("Modem's ID number ..."),
        // else the text before the first colon.
        qsizetype split = -1;
        for (const std::string_view& known : KnownLabels()) {
            if (raw.startsWith(QByteArray::fromRawData(known.data(), static_cast<qsizetype>(known.size())))
                && static_cast<qsizetype>(known.size()) > split)
                split = static_cast<qsizetype>(known.size());
        }
        QString label;
        QString value;
        if (split > 0) {
            label = GbkToUnicode(raw.left(split)).trimmed();
            value = GbkToUnicode(raw.mid(split)).trimmed();
        } else {
            const qsizetype colon = text.indexOf(QLatin1Char(':'));
            label = colon < 0 ? text.trimmed() : text.left(colon).trimmed();
            value = colon < 0 ? QString() : text.mid(colon + 1).trimmed();
        }
        if (label.endsWith(QLatin1Char(':')))
            label.chop(1);
        const int count = ++seen[label];
        if (count > 1)
            label += QStringLiteral(" #%1").arg(count);
        lines.push_back({label, value});
    }
    return lines;
}

}  // namespace

QStringList ReportLineDifferences(const QByteArray& older, const QByteArray& newer)
{
    const std::vector<Line> before = Lines(older);
    const std::vector<Line> after = Lines(newer);
    std::map<QString, QString> oldValues;
    for (const Line& line : before)
        oldValues[line.label] = line.value;
    QStringList out;
    std::map<QString, bool> present;
    for (const Line& line : after) {
        present[line.label] = true;
        const auto old = oldValues.find(line.label);
        if (old == oldValues.end())
            out << QStringLiteral("%1：+%2").arg(line.label, line.value);
        else if (old->second != line.value)
            out << QStringLiteral("%1：%2 → %3").arg(line.label, old->second, line.value);
    }
    for (const Line& line : before) {
        if (!present.count(line.label))
            out << QStringLiteral("%1：-%2").arg(line.label, line.value);
    }
    return out;
}

QStringList ReportPreviewDifferences(const QByteArray& current, const QByteArray& target)
{
    auto set = std::make_unique<ParameterSet>();
    ParseParameterReport(current.constData(), static_cast<std::size_t>(current.size()), *set);
    const ConfigFileLoad load = PlanConfigFileLoad(target, *set);
    if (load.refusal)
        return {load.refusal->text};
    return DescribeFileChanges(load, *set);
}

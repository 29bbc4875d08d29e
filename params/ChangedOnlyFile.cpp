#include "params/ChangedOnlyFile.h"

#include "params/CConfigDocument.h"
#include "params/ParameterReport.h"

#include <algorithm>
#include <set>
#include <variant>

namespace {

constexpr const char* kListLabels[3] = {"Alarm admin NO:  ", "Alarm authorize NO:  ", "Alarm backup NO:  "};

// The labels a report cannot do without: the parser refuses it otherwise.
std::set<QByteArray> RequiredLabels()
{
    std::set<QByteArray> labels(std::begin(kListLabels), std::end(kListLabels));
    for (const ReportLabelField& line : ReportLabelFields()) {
        const QByteArray label(line.label.data(), static_cast<qsizetype>(line.label.size()));
        const bool playCount = std::holds_alternative<std::int32_t ParameterSet::*>(line.field);
        const bool presetText = std::holds_alternative<PresetText ParameterSet::*>(line.field);
        const bool priority = std::holds_alternative<std::uint8_t ParameterSet::*>(line.field)
            && label.contains("priority");
        if (playCount || presetText || priority)
            labels.insert(label);
    }
    return labels;
}

// The longest known label a line starts with.
QByteArray LabelOfLine(const QByteArray& line)
{
    QByteArray best;
    const auto consider = [&](const QByteArray& label) {
        if (line.startsWith(label) && label.size() > best.size())
            best = label;
    };
    for (const char* label : kListLabels)
        consider(label);
    for (const ReportLabelField& field : ReportLabelFields())
        consider(QByteArray(field.label.data(), static_cast<qsizetype>(field.label.size())));
    return best;
}

QByteArray KeepLines(const QByteArray& bytes, const std::set<QByteArray>& keep)
{
    QByteArray kept;
    qsizetype start = 0;
    while (start < bytes.size()) {
        qsizetype end = bytes.indexOf('\n', start);
        end = end < 0 ? bytes.size() : end + 1;
        const QByteArray line = bytes.mid(start, end - start);
        const QByteArray label = LabelOfLine(line);
        if (!label.isEmpty() && keep.contains(label))
            kept += line;
        start = end;
    }
    return kept;
}

QStringList ChangesOf(const QByteArray& fileBytes, const ParameterSet& current, std::vector<FileChange>* listed = nullptr)
{
    const ConfigFileLoad load = PlanConfigFileLoad(ReportFromConfigFile(fileBytes), current);
    if (load.refusal)
        return {load.refusal->text};
    std::vector<FileChange> changes = ListFileChanges(load, current);
    if (listed)
        *listed = changes;
    return FileChangeTexts(changes);
}

}  // namespace

ChangedOnlyFile BuildChangedOnlyFile(const QByteArray& fileBytes, const ParameterSet& current,
                                     const std::vector<CellOverride>& overrides, const ChangeFilter& filter)
{
    ChangedOnlyFile result;
    CConfigDocument document;
    if (std::optional<QString> refusal = document.Open(fileBytes, QString())) {
        result.refusal = refusal;
        return result;
    }
    for (const CellOverride& override : overrides) {
        if (std::optional<QString> refusal = document.SetValue(*override.item, override.value)) {
            result.refusal = refusal;
            return result;
        }
    }

    // The changes left out take the terminal's values.
    std::vector<FileChange> changes;
    ChangesOf(document.FileBytes(), current, &changes);
    const std::vector<bool> ticks = InitialTicks(changes, filter);
    std::set<QByteArray> keep = RequiredLabels();
    for (std::size_t i = 0; i < changes.size(); ++i) {
        const FileChange& change = changes[i];
        std::optional<QString> refusal;
        if (change.item && ticks[i])
            keep.insert(CConfigDocument::ReportLabelOf(*change.item).value_or(QByteArray()));
        else if (change.item)
            refusal = document.SetValue(*change.item, ShownValueText(current, *change.item));
        else if (!ticks[i])
            refusal = document.SetNumbers(change.category, [&] {
                QStringList numbers;
                const NumberList* lists[3] = {&current.adminNumbers, &current.authorisedNumbers,
                                              &current.backupNumbers};
                for (const std::string& number : lists[change.category]->NonEmptyNumbers())
                    numbers << QString::fromStdString(number);
                return numbers;
            }());
        if (refusal) {
            result.refusal = refusal;
            return result;
        }
    }

    QStringList wanted;
    for (std::size_t i = 0; i < changes.size(); ++i) {
        if (ticks[i])
            wanted << changes[i].text;
    }
    // A dropped line can uncover a label inside a kept one ("Server's Ip"
    // in "Secondary Server's Ip"): such a line is kept after all.
    for (int round = 0; round < 8; ++round) {
        result.bytes = KeepLines(document.FileBytes(), keep);
        std::vector<FileChange> found;
        result.changes = ChangesOf(result.bytes, current, &found);
        if (result.changes == wanted)
            return result;
        bool added = false;
        for (const FileChange& change : found) {
            if (!change.item || wanted.contains(change.text))
                continue;
            added |= keep.insert(CConfigDocument::ReportLabelOf(*change.item).value_or(QByteArray())).second;
        }
        if (!added)
            break;
    }
    result.refusal = QStringLiteral("无法生成只含不同项的配置文件");
    return result;
}

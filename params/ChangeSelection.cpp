#include "params/ChangeSelection.h"

#include "params/GbkText.h"

#include <algorithm>
#include <variant>

namespace {

const QString& ListName(int category)
{
    static const QString names[3] = {QStringLiteral("管理号码"), QStringLiteral("授权号码"), QStringLiteral("备份号码")};
    return names[category];
}

constexpr const char* kReportListLabels[3] = {"Alarm admin NO:", "Alarm authorize NO:", "Alarm backup NO:"};

const NumberList& ListOf(const ParameterSet& set, int category)
{
    const NumberList* lists[3] = {&set.adminNumbers, &set.authorisedNumbers, &set.backupNumbers};
    return *lists[category];
}

QStringList NumbersOf(const NumberList& list)
{
    QStringList numbers;
    for (const std::string& number : list.NonEmptyNumbers())
        numbers << GbkToUnicode(number);
    return numbers;
}

bool Names(const FileChange& change, const QString& label)
{
    if (change.item)
        return FindSaveItemByLabel(label) == change.item;
    return NumberListCategoryOf(label) == change.category;
}

bool NamedByAny(const FileChange& change, const QStringList& labels)
{
    return std::any_of(labels.begin(), labels.end(), [&](const QString& label) { return Names(change, label); });
}

}  // namespace

std::vector<FileChange> ListFileChanges(const ConfigFileLoad& load, const ParameterSet& current)
{
    std::vector<FileChange> changes;
    const std::vector<SaveItem>& items = AllSaveItems();
    for (const PlannedWrite& write : PlanSave(current, load.saveInputs)) {
        const auto index = static_cast<std::size_t>(write.item - items.data());
        changes.push_back({write.item, -1,
                           QStringLiteral("%1：设备“%2”，文件“%3”")
                               .arg(SaveItemLabel(*write.item), ShownValueText(current, *write.item),
                                    load.saveInputs[index].cell)});
    }
    for (int category = 0; category < 3; ++category) {
        const QString before = NumbersOf(ListOf(current, category)).join(QLatin1Char(','));
        const QString after = load.listNumbers[static_cast<std::size_t>(category)].join(QLatin1Char(','));
        if (before != after)
            changes.push_back(
                {nullptr, category, QStringLiteral("%1：设备“%2”，文件“%3”").arg(ListName(category), before, after)});
    }
    return changes;
}

QStringList FileChangeTexts(const std::vector<FileChange>& changes)
{
    QStringList texts;
    for (const FileChange& change : changes)
        texts << change.text;
    return texts;
}

std::optional<int> NumberListCategoryOf(const QString& name)
{
    QString key = name.trimmed();
    if (key.endsWith(QLatin1Char(':')) || key.endsWith(QChar(0xFF1A)))
        key.chop(1);
    for (int category = 0; category < 3; ++category) {
        const QString reportLabel = QString::fromLatin1(kReportListLabels[category]).chopped(1);
        if (key == ListName(category) || key.compare(reportLabel, Qt::CaseInsensitive) == 0)
            return category;
    }
    return std::nullopt;
}

std::optional<QString> UnknownFilterLabel(const ChangeFilter& filter)
{
    for (const QString& label : filter.only + filter.skip) {
        if (!FindSaveItemByLabel(label) && !NumberListCategoryOf(label))
            return label;
    }
    return std::nullopt;
}

std::vector<bool> InitialTicks(const std::vector<FileChange>& changes, const ChangeFilter& filter)
{
    std::vector<bool> ticks;
    for (const FileChange& change : changes)
        ticks.push_back((filter.only.isEmpty() || NamedByAny(change, filter.only)) && !NamedByAny(change, filter.skip));
    return ticks;
}

void KeepTickedChanges(ConfigFileLoad& load, const ParameterSet& current, const std::vector<FileChange>& changes,
                       const std::vector<bool>& ticked, bool changesOnly)
{
    const bool all = std::all_of(ticked.begin(), ticked.end(), [](bool tick) { return tick; });
    if ((all && !changesOnly) || !load.set)
        return;
    bool sendList[3] = {false, false, false};
    for (std::size_t i = 0; i < changes.size(); ++i) {
        const FileChange& change = changes[i];
        const bool tick = i < ticked.size() && ticked[i];
        if (!change.item) {
            sendList[change.category] = tick;
            continue;
        }
        if (tick)
            continue;
        std::visit([&](auto member) { (*load.set).*member = current.*member; }, change.item->field);
        std::erase_if(load.overrides, [&](const CellOverride& override) { return override.item == change.item; });
    }
    // The cells as the table shows them now, with the values still typed
    // over the file's.
    load.saveInputs = InputsAfterShowing(*load.set);
    const std::vector<SaveItem>& items = AllSaveItems();
    for (const CellOverride& override : load.overrides) {
        const auto index = static_cast<std::size_t>(override.item - items.data());
        load.saveInputs[index] = CellInput{override.value, false, UnicodeToGbk(override.value)};
    }
    for (int category = 0; category < 3; ++category) {
        if (sendList[category])
            continue;
        const auto index = static_cast<std::size_t>(category);
        load.listCommands[index].clear();
        load.listNumbers[index] = NumbersOf(ListOf(current, category));
    }
}

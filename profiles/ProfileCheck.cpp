#include "profiles/ProfileCheck.h"

#include "params/GbkText.h"
#include "params/ParameterTableLayout.h"

#include <algorithm>

namespace {

QString Quoted(const QString& text)
{
    return QStringLiteral("“%1”").arg(text);
}

QString QuotedList(const QStringList& texts, const QString& separator)
{
    QStringList quoted;
    for (const QString& text : texts)
        quoted << Quoted(text);
    return quoted.join(separator);
}

QString Number(double value)
{
    return QString::number(value, 'g', 15);
}

// Whether the item holds what a save of `value` typed into its cell would
// leave there: "88.5" is the 88.50 the table shows, "是" the stored 1.
bool Holds(const ParameterSet& set, const SaveItem& item, const QString& value)
{
    const std::optional<ItemValue> converted = ConvertCell(item, CellInput{value, false, UnicodeToGbk(value)});
    return converted && MatchesStored(set, item, *converted);
}

const NumberList& ListOf(const ParameterSet& set, int category)
{
    const NumberList* lists[3] = {&set.adminNumbers, &set.authorisedNumbers, &set.backupNumbers};
    return *lists[category];
}

QString ListWanted(const ProfileRule& rule)
{
    QStringList parts;
    if (rule.listEquals)
        parts << Quoted(rule.listEquals->join(QLatin1Char(',')));
    if (!rule.contains.isEmpty())
        parts << QStringLiteral("含有") + QuotedList(rule.contains, QStringLiteral("、"));
    if (!rule.excludes.isEmpty())
        parts << QStringLiteral("不含") + QuotedList(rule.excludes, QStringLiteral("、"));
    if (rule.maxCount)
        parts << QStringLiteral("最多%1个号码").arg(*rule.maxCount);
    return parts.join(QStringLiteral("，"));
}

bool ListMeets(const ProfileRule& rule, const QStringList& numbers)
{
    if (rule.listEquals && numbers != *rule.listEquals)
        return false;
    if (!std::all_of(rule.contains.begin(), rule.contains.end(), [&](const QString& n) { return numbers.contains(n); }))
        return false;
    if (std::any_of(rule.excludes.begin(), rule.excludes.end(), [&](const QString& n) { return numbers.contains(n); }))
        return false;
    return !rule.maxCount || numbers.size() <= *rule.maxCount;
}

QString ModuleWanted(const ProfileRule& rule)
{
    QStringList parts;
    if (!rule.moduleTexts.isEmpty())
        parts << (rule.moduleTexts.size() == 1 ? Quoted(rule.moduleTexts.first())
                                               : QuotedList(rule.moduleTexts, QStringLiteral("、")) + QStringLiteral("之一"));
    for (const QRegularExpression& pattern : rule.modulePatterns)
        parts << QStringLiteral("符合") + Quoted(pattern.pattern());
    return parts.join(QStringLiteral("或"));
}

bool ModuleMeets(const ProfileRule& rule, const QString& text)
{
    return rule.moduleTexts.contains(text)
        || std::any_of(rule.modulePatterns.begin(), rule.modulePatterns.end(),
                       [&](const QRegularExpression& pattern) { return pattern.match(text).hasMatch(); });
}

// What the table shows for each item, worked out once per check: a fleet
// is checked terminal after terminal, rule after rule.
class ShownValues {
public:
    explicit ShownValues(const ParameterSet& set) : m_cells(ParameterSetCells(set)) {}
    QString Of(const SaveItem& item) const
    {
        for (const ParameterCellValue& cell : m_cells) {
            if (cell.row == item.row && cell.column == item.column)
                return cell.text.value_or(QString());
        }
        return {};
    }

private:
    std::vector<ParameterCellValue> m_cells;
};

// The deviation of an item rule, when the item's value breaks it.
std::optional<Deviation> CheckItem(const ProfileRule& rule, const TerminalFacts& facts, const ShownValues& shown)
{
    const ParameterSet& set = *facts.set;
    const SaveItem& item = *rule.item;
    Deviation deviation;
    deviation.value = shown.Of(item);
    bool meets = false;
    switch (rule.kind) {
    case ProfileRule::Kind::Equals:
        meets = Holds(set, item, rule.values.first());
        deviation.wanted = Quoted(rule.values.first());
        break;
    case ProfileRule::Kind::OneOf:
        meets = std::any_of(rule.values.begin(), rule.values.end(),
                            [&](const QString& value) { return Holds(set, item, value); });
        deviation.wanted = rule.values.size() == 1 ? Quoted(rule.values.first())
                                                   : QuotedList(rule.values, QStringLiteral("、")) + QStringLiteral("之一");
        break;
    case ProfileRule::Kind::Range: {
        bool number = false;
        const double value = deviation.value.trimmed().toDouble(&number);
        meets = number && value >= rule.min && value <= rule.max;
        deviation.wanted = QStringLiteral("%1 到 %2 之间").arg(Number(rule.min), Number(rule.max));
        break;
    }
    case ProfileRule::Kind::Pattern:
        meets = rule.pattern.match(deviation.value).hasMatch();
        deviation.wanted = QStringLiteral("符合") + Quoted(rule.patternText);
        break;
    case ProfileRule::Kind::PerUnit:
        if (const auto own = facts.unitValues.find(&item); own != facts.unitValues.end()) {
            meets = Holds(set, item, own->second);
            deviation.wanted = Quoted(own->second) + QStringLiteral("（本机的值）");
        } else {
            meets = !deviation.value.trimmed().isEmpty();
            deviation.wanted = QStringLiteral("每台设备各有其值（不能为空）");
        }
        break;
    default:
        break;
    }
    if (meets)
        return std::nullopt;
    return deviation;
}

}  // namespace

QString Deviation::Text() const
{
    QString text = QStringLiteral("%1：设备“%2”，规范要求%3").arg(subject, value, wanted);
    if (pending && since)
        text += QStringLiteral("（待整改，%1起计入）").arg(since->toString(Qt::ISODate));
    return text;
}

int ProfileCheckResult::CountingDeviations() const
{
    return static_cast<int>(
        std::count_if(deviations.begin(), deviations.end(), [](const Deviation& d) { return !d.pending; }));
}

QStringList ProfileCheckResult::LogLines() const
{
    const QString title = QStringLiteral("«%1 v%2»").arg(profileName, profileVersion);
    QStringList lines;
    if (Conforms())
        lines << QStringLiteral("符合规范 %1").arg(title);
    else
        lines << QStringLiteral("不符合规范 %1: %2 项").arg(title).arg(CountingDeviations());
    for (const Deviation& deviation : deviations)
        lines << deviation.Text();
    return lines;
}

QString ModuleVersionText(const QString& reply)
{
    QStringList lines;
    for (const QString& line : QString(reply).replace(QLatin1Char('\r'), QLatin1Char('\n')).split(QLatin1Char('\n'))) {
        const QString trimmed = line.trimmed();
        if (!trimmed.isEmpty())
            lines << trimmed;
    }
    if (!lines.isEmpty() && lines.last() == QStringLiteral("OK"))
        lines.removeLast();
    return lines.join(QLatin1Char(' '));
}

ProfileCheckResult CheckAgainstProfile(const ProjectProfile& profile, const TerminalFacts& facts, const QDate& today)
{
    ProfileCheckResult result;
    result.profileName = profile.name;
    result.profileVersion = profile.version;
    result.profileDigest = profile.digest;
    result.day = today;
    const ShownValues shown(*facts.set);
    for (const ProfileRule& rule : profile.rules) {
        std::optional<Deviation> deviation;
        switch (rule.kind) {
        case ProfileRule::Kind::List: {
            const QStringList numbers = ListNumbers(*facts.set, rule.listCategory);
            if (!ListMeets(rule, numbers))
                deviation = Deviation{0, {}, numbers.join(QLatin1Char(',')), ListWanted(rule), false, {}};
            break;
        }
        case ProfileRule::Kind::Module: {
            if (!facts.module) {
                result.uncheckedRules.push_back(rule.index);
                break;
            }
            const QString text = ModuleVersionText(*facts.module);
            if (!ModuleMeets(rule, text))
                deviation = Deviation{0, {}, text, ModuleWanted(rule), false, {}};
            break;
        }
        default:
            deviation = CheckItem(rule, facts, shown);
            break;
        }
        if (!deviation)
            continue;
        deviation->rule = rule.index;
        deviation->subject = rule.subject;
        deviation->since = rule.since;
        deviation->pending = rule.since && today < *rule.since;
        result.deviations.push_back(*deviation);
    }
    return result;
}

std::vector<DuplicateValue> FindDuplicateValues(const ProfileRule& rule, const std::vector<UnitValue>& values)
{
    std::map<QString, QStringList> holders;
    std::vector<QString> order;
    for (const UnitValue& unit : values) {
        const QString value = unit.value.trimmed();
        if (value.isEmpty())
            continue;
        QStringList& terminals = holders[value];
        if (terminals.isEmpty())
            order.push_back(value);
        terminals << unit.terminal;
    }
    std::vector<DuplicateValue> duplicates;
    for (const QString& value : order) {
        if (holders[value].size() > 1)
            duplicates.push_back({rule.index, rule.subject, value, holders[value]});
    }
    return duplicates;
}

QStringList PerUnitValues(const ProjectProfile& profile, const ParameterSet& set)
{
    const ShownValues shown(set);
    QStringList values;
    for (const ProfileRule& rule : profile.rules) {
        if (rule.kind == ProfileRule::Kind::PerUnit)
            values << shown.Of(*rule.item);
    }
    return values;
}

std::vector<DuplicateValue> FindPerUnitDuplicates(const ProjectProfile& profile,
                                                  const std::vector<std::pair<QString, const ParameterSet*>>& terminals)
{
    std::vector<const ProfileRule*> perUnit;
    for (const ProfileRule& rule : profile.rules) {
        if (rule.kind == ProfileRule::Kind::PerUnit)
            perUnit.push_back(&rule);
    }
    std::vector<std::vector<UnitValue>> values(perUnit.size());
    for (const auto& [name, set] : terminals) {
        const QStringList shown = PerUnitValues(profile, *set);
        for (std::size_t i = 0; i < perUnit.size(); ++i)
            values[i].push_back({name, shown.at(qsizetype(i))});
    }
    std::vector<DuplicateValue> duplicates;
    for (std::size_t i = 0; i < perUnit.size(); ++i) {
        const std::vector<DuplicateValue> found = FindDuplicateValues(*perUnit[i], values[i]);
        duplicates.insert(duplicates.end(), found.begin(), found.end());
    }
    return duplicates;
}

QString DuplicateValueText(const DuplicateValue& duplicate)
{
    return QStringLiteral("%1：“%2”在 %3 台设备上重复：%4")
        .arg(duplicate.subject, duplicate.value)
        .arg(duplicate.terminals.size())
        .arg(duplicate.terminals.join(QStringLiteral("、")));
}

QStringList ListNumbers(const ParameterSet& set, int category)
{
    QStringList numbers;
    for (const std::string& number : ListOf(set, category).NonEmptyNumbers())
        numbers << GbkToUnicode(number);
    return numbers;
}

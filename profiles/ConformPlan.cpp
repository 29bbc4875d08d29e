#include "profiles/ConformPlan.h"

#include "params/CConfigDocument.h"
#include "params/GbkText.h"

namespace {

const ProfileRule* RuleAt(const ProjectProfile& profile, int index)
{
    for (const ProfileRule& rule : profile.rules) {
        if (rule.index == index)
            return &rule;
    }
    return nullptr;
}

// The value that puts an item rule right, when there is one.
std::optional<QString> FixOf(const ProfileRule& rule, const TerminalFacts& facts)
{
    switch (rule.kind) {
    case ProfileRule::Kind::Equals:
        return rule.values.first();
    case ProfileRule::Kind::OneOf:
        return rule.prefer;
    case ProfileRule::Kind::PerUnit:
        if (const auto own = facts.unitValues.find(rule.item); own != facts.unitValues.end())
            return own->second;
        return std::nullopt;
    default:
        return std::nullopt;
    }
}

}  // namespace

QStringList ListMeetingRule(const ProfileRule& rule, const QStringList& numbers)
{
    if (rule.listEquals)
        return *rule.listEquals;
    QStringList list;
    for (const QString& number : numbers) {
        if (!rule.excludes.contains(number))
            list << number;
    }
    for (const QString& number : rule.contains) {
        if (!list.contains(number))
            list << number;
    }
    if (rule.maxCount) {
        for (qsizetype i = list.size() - 1; i >= 0 && list.size() > *rule.maxCount; --i) {
            if (!rule.contains.contains(list[i]))
                list.removeAt(i);
        }
    }
    return list;
}

ConformPlan PlanConformance(const ProjectProfile& profile, const ProfileCheckResult& check, const TerminalFacts& facts)
{
    ConformPlan plan;
    for (const Deviation& deviation : check.deviations) {
        const ProfileRule* rule = RuleAt(profile, deviation.rule);
        if (!rule)
            continue;
        if (rule->kind == ProfileRule::Kind::List) {
            plan.lists.emplace_back(rule->listCategory, ListMeetingRule(*rule, ListNumbers(*facts.set, rule->listCategory)));
            continue;
        }
        if (rule->kind != ProfileRule::Kind::Module) {
            if (const std::optional<QString> value = FixOf(*rule, facts)) {
                plan.items.push_back({rule->item, *value});
                continue;
            }
        }
        plan.needsPerson.push_back(deviation);
    }
    return plan;
}

std::optional<QByteArray> ConformFileBytes(const QByteArray& report, const QString& name, const ConformPlan& plan,
                                           QString* why)
{
    CConfigDocument document;
    std::optional<QString> refusal = document.Open(report, name);
    for (auto list = plan.lists.begin(); !refusal && list != plan.lists.end(); ++list)
        refusal = document.SetNumbers(list->first, list->second);
    if (refusal) {
        if (why)
            *why = *refusal;
        return std::nullopt;
    }
    return document.FileBytes();
}

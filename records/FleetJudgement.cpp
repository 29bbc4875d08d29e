#include "records/FleetJudgement.h"

#include "params/GbkText.h"
#include "params/ParameterReport.h"
#include "records/CRecordStore.h"
#include "records/RecordValues.h"

#include <QDateTime>

#include <algorithm>
#include <map>
#include <unordered_map>
#include <utility>
#include <variant>

namespace {

using PerUnitValueLists = std::vector<std::vector<UnitValue>>;

PerUnitValueLists EmptyPerUnitLists(const ProjectProfile& profile)
{
    PerUnitValueLists lists;
    for (const ProfileRule& rule : profile.rules) {
        if (rule.kind == ProfileRule::Kind::PerUnit)
            lists.emplace_back();
    }
    return lists;
}

// A per-unit value that two terminals share is a deviation of both; then
// the totals.
void EndFleet(const ProjectProfile& profile, const PerUnitValueLists& perUnit, FleetJudgement& result)
{
    std::vector<DuplicateValue> duplicates;
    size_t next = 0;
    for (const ProfileRule& rule : profile.rules) {
        if (rule.kind != ProfileRule::Kind::PerUnit)
            continue;
        const std::vector<DuplicateValue> found = FindDuplicateValues(rule, perUnit[next++]);
        duplicates.insert(duplicates.end(), found.begin(), found.end());
    }
    std::unordered_map<QString, std::vector<DuplicateValue>> byTerminal;
    for (const DuplicateValue& duplicate : duplicates) {
        for (const QString& terminal : duplicate.terminals)
            byTerminal[terminal].push_back(duplicate);
    }
    for (FleetRow& row : result.rows) {
        const auto found = byTerminal.find(row.device.key);
        if (found != byTerminal.end())
            AddDuplicateDeviations(row.verdict, row.device.key, found->second, profile);
        result.tally.Add(row.verdict, row.module);
    }
}

bool JudgeFromReports(CRecordStore& store, const ProjectProfile& profile, qint64 nowMs, int staleDays,
                      FleetJudgement& result, const std::function<bool()>& stop)
{
    PerUnitValueLists perUnit = EmptyPerUnitLists(profile);

    const bool passed = store.ForEachLatestSnapshot([&](const LatestSnapshot& latest) {
        if (stop && stop())
            return false;
        FleetRow row;
        row.device = latest.device;
        ParameterSet set;
        const bool parsed = latest.snapshotId != 0
            && ParseParameterReport(latest.report.constData(), std::size_t(latest.report.size()), set);
        if (parsed) {
            // A visit whose entry gave no reply keeps "": the module is
            // known to be unknown, which a module rule does not accept.
            row.module = latest.module;
            row.verdict = JudgeTerminal(profile, FleetSnapshot{&set, row.module, latest.device.lastSeenMs}, nowMs,
                                        staleDays);
            const QStringList values = PerUnitValues(profile, set);
            for (qsizetype i = 0; i < values.size(); ++i)
                perUnit[size_t(i)].push_back({latest.device.key, values.at(i)});
        }
        result.rows.push_back(std::move(row));
        return true;
    });
    if (!passed)
        return false;

    EndFleet(profile, perUnit, result);
    return true;
}

// Whether a rule looks at the terminal's own ID or SIM number, which its
// value set leaves out.
bool IsUnitRule(const ProfileRule& rule)
{
    if (!rule.item)
        return false;
    const auto* text = std::get_if<ShortText ParameterSet::*>(&rule.item->field);
    return text && (*text == &ParameterSet::deviceId || *text == &ParameterSet::simNumber);
}

bool IsSimRule(const ProfileRule& rule)
{
    const auto* text = std::get_if<ShortText ParameterSet::*>(&rule.item->field);
    return text && *text == &ParameterSet::simNumber;
}

// The profile in two: the rules on what terminals share, and those on a
// terminal's own ID and SIM number. Each rule keeps its index.
struct SplitProfile {
    ProjectProfile shared;
    ProjectProfile unit;
    // Every unit rule is perUnit: whether it deviates depends only on
    // whether the value is there.
    bool unitOnlyPresence = true;
};

SplitProfile Split(const ProjectProfile& profile)
{
    SplitProfile split{profile, profile, true};
    split.shared.rules.clear();
    split.unit.rules.clear();
    for (const ProfileRule& rule : profile.rules) {
        if (IsUnitRule(rule)) {
            split.unit.rules.push_back(rule);
            split.unitOnlyPresence = split.unitOnlyPresence && rule.kind == ProfileRule::Kind::PerUnit;
        } else {
            split.shared.rules.push_back(rule);
        }
    }
    return split;
}

ProfileCheckResult Merged(ProfileCheckResult shared, const ProfileCheckResult& unit)
{
    shared.deviations.insert(shared.deviations.end(), unit.deviations.begin(), unit.deviations.end());
    std::stable_sort(shared.deviations.begin(), shared.deviations.end(),
                     [](const Deviation& a, const Deviation& b) { return a.rule < b.rule; });
    return shared;
}

QString ValueOf(const std::vector<RecordedItem>& values, const QString& label)
{
    for (const RecordedItem& item : values) {
        if (item.item == label)
            return item.value;
    }
    return {};
}

bool JudgeFromValues(CRecordStore& store, CRecordStore& lookup, const ProjectProfile& profile, qint64 nowMs,
                     int staleDays, FleetJudgement& result, const std::function<bool()>& stop)
{
    const SplitProfile split = Split(profile);
    const QDate today = QDateTime::fromMSecsSinceEpoch(nowMs).date();
    // Where each per-unit rule's value comes from: the ID, the SIM number,
    // or an item of the value set (by its recorded label).
    struct PerUnitSource {
        bool unit = false;
        bool sim = false;
        QString label;
    };
    std::vector<PerUnitSource> sources;
    for (const ProfileRule& rule : profile.rules) {
        if (rule.kind == ProfileRule::Kind::PerUnit)
            sources.push_back({IsUnitRule(rule), IsUnitRule(rule) && IsSimRule(rule), RecordedItemLabel(rule.subject)});
    }
    // What the shared rules look at, by recorded label: terminals that hold
    // the same there (and the same module, when a rule looks at it) get
    // the same check, whatever else their values say.
    QStringList looked;
    bool looksAtModule = false;
    for (const ProfileRule& rule : split.shared.rules) {
        if (rule.kind == ProfileRule::Kind::Module)
            looksAtModule = true;
        else if (rule.kind == ProfileRule::Kind::List)
            looked << RecordedListName(rule.listCategory);
        else
            looked << RecordedItemLabel(rule.subject);
    }
    std::unordered_map<qint64, QString> lookedAtInSet;
    PerUnitValueLists perUnit = EmptyPerUnitLists(profile);
    std::map<QString, ProfileCheckResult> sharedChecks;
    std::map<std::pair<bool, bool>, ProfileCheckResult> presenceChecks;
    const auto unitCheck = [&](const QString& id, const QString& sim) {
        ParameterSet set;
        set.deviceId.Assign(UnicodeToGbk(id).value_or(std::string()));
        set.simNumber.Assign(UnicodeToGbk(sim).value_or(std::string()));
        return CheckAgainstProfile(split.unit, TerminalFacts{&set, std::nullopt, {}}, today);
    };
    QString failure;
    const bool passed = store.ForEachLatestValues([&](const LatestValues& latest) {
        if (stop && stop())
            return false;
        FleetRow row;
        row.device = latest.device;
        if (latest.snapshotId == 0) {
            result.rows.push_back(std::move(row));
            return true;
        }
        row.module = latest.module;
        auto inSet = lookedAtInSet.find(latest.valueSetId);
        if (inSet == lookedAtInSet.end()) {
            QStringList values;
            for (const QString& label : looked)
                values << ValueOf(*latest.values, label);
            inSet = lookedAtInSet.emplace(latest.valueSetId, values.join(QChar(0x1f))).first;
        }
        const QString key = looksAtModule ? inSet->second + QChar(0x1e) + latest.module : inSet->second;
        auto shared = sharedChecks.find(key);
        if (shared == sharedChecks.end()) {
            // The first terminal of this value set: its report stands for
            // every terminal that shares it.
            const std::optional<QByteArray> report = lookup.ReportOfSnapshot(latest.snapshotId);
            ParameterSet set;
            if (!report || !ParseParameterReport(report->constData(), std::size_t(report->size()), set)) {
                failure = report ? QStringLiteral("快照 %1 无法解析").arg(latest.snapshotId) : lookup.LastError();
                return false;
            }
            shared = sharedChecks.emplace(key, CheckAgainstProfile(split.shared, TerminalFacts{&set, row.module, {}}, today))
                         .first;
        }
        ProfileCheckResult check = shared->second;
        if (!split.unit.rules.empty()) {
            if (split.unitOnlyPresence) {
                const std::pair<bool, bool> presence{latest.unitId.trimmed().isEmpty(), latest.unitSim.trimmed().isEmpty()};
                auto found = presenceChecks.find(presence);
                if (found == presenceChecks.end())
                    found = presenceChecks.emplace(presence, unitCheck(latest.unitId, latest.unitSim)).first;
                check = Merged(std::move(check), found->second);
            } else {
                check = Merged(std::move(check), unitCheck(latest.unitId, latest.unitSim));
            }
        }
        row.verdict = VerdictOf(std::move(check), latest.device.lastSeenMs, nowMs, staleDays);
        for (size_t i = 0; i < sources.size(); ++i) {
            const PerUnitSource& source = sources[i];
            const QString value = !source.unit ? ValueOf(*latest.values, source.label)
                                  : source.sim ? latest.unitSim
                                               : latest.unitId;
            perUnit[i].push_back({latest.device.key, value});
        }
        result.rows.push_back(std::move(row));
        return true;
    });
    if (!passed) {
        result.error = failure;
        return false;
    }
    EndFleet(profile, perUnit, result);
    return true;
}

}  // namespace

bool JudgeFleet(CRecordStore& store, const ProjectProfile& profile, qint64 nowMs, int staleDays,
                FleetJudgement& result, const std::function<bool()>& stop, CRecordStore* lookup)
{
    if (lookup && store.HasParsedValues() && lookup->IsOpen())
        return JudgeFromValues(store, *lookup, profile, nowMs, staleDays, result, stop);
    return JudgeFromReports(store, profile, nowMs, staleDays, result, stop);
}

#include "records/FleetJudgement.h"

#include "params/ParameterReport.h"
#include "records/CRecordStore.h"

#include <unordered_map>

bool JudgeFleet(CRecordStore& store, const ProjectProfile& profile, qint64 nowMs, int staleDays,
                FleetJudgement& result, const std::function<bool()>& stop)
{
    std::vector<std::vector<UnitValue>> perUnit;
    for (const ProfileRule& rule : profile.rules) {
        if (rule.kind == ProfileRule::Kind::PerUnit)
            perUnit.emplace_back();
    }
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
    return true;
}


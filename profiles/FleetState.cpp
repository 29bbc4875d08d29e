#include "profiles/FleetState.h"

#include <QDateTime>

namespace {

constexpr qint64 kMsPerDay = 24LL * 60 * 60 * 1000;

FleetState StateOfCheck(const ProfileCheckResult& check)
{
    if (check.CountingDeviations() > 0)
        return FleetState::Deviates;
    return check.deviations.empty() ? FleetState::Conforms : FleetState::Pending;
}

}  // namespace

QString FleetStateText(FleetState state)
{
    switch (state) {
    case FleetState::Conforms:
        return QStringLiteral("符合");
    case FleetState::Deviates:
        return QStringLiteral("不符合");
    case FleetState::Pending:
        return QStringLiteral("待整改");
    case FleetState::Stale:
        return QStringLiteral("过期");
    case FleetState::NoSnapshot:
        break;
    }
    return QStringLiteral("无快照");
}

std::optional<FleetState> FleetStateFromText(const QString& text)
{
    for (FleetState state : kFleetStates)
        if (FleetStateText(state) == text)
            return state;
    return std::nullopt;
}

FleetVerdict JudgeTerminal(const ProjectProfile& profile, const FleetSnapshot& snapshot, qint64 nowMs, int staleDays)
{
    if (!snapshot.set)
        return FleetVerdict{};
    // The rules' `since` dates are days of the computer that judges, as for
    // a terminal on the cable.
    const QDate today = QDateTime::fromMSecsSinceEpoch(nowMs).date();
    TerminalFacts facts;
    facts.set = snapshot.set;
    facts.module = snapshot.module;
    return VerdictOf(CheckAgainstProfile(profile, facts, today), snapshot.lastSeenMs, nowMs, staleDays);
}

FleetVerdict VerdictOf(ProfileCheckResult check, qint64 lastSeenMs, qint64 nowMs, int staleDays)
{
    FleetVerdict verdict;
    verdict.check = std::move(check);
    const bool stale = nowMs - lastSeenMs > qint64(staleDays) * kMsPerDay;
    verdict.state = stale ? FleetState::Stale : StateOfCheck(verdict.check);
    return verdict;
}

void AddDuplicateDeviations(FleetVerdict& verdict, const QString& terminal,
                            const std::vector<DuplicateValue>& duplicates, const ProjectProfile& profile)
{
    for (const DuplicateValue& duplicate : duplicates) {
        if (!duplicate.terminals.contains(terminal))
            continue;
        Deviation deviation;
        deviation.rule = duplicate.rule;
        deviation.subject = duplicate.subject;
        deviation.value = duplicate.value;
        deviation.wanted = QStringLiteral("每台设备不同（另有%1台相同）").arg(duplicate.terminals.size() - 1);
        const ProfileRule& rule = profile.rules.at(size_t(duplicate.rule));
        deviation.since = rule.since;
        deviation.pending = rule.since && verdict.check.day.isValid() && verdict.check.day < *rule.since;
        verdict.check.deviations.push_back(deviation);
    }
    if (verdict.state != FleetState::Stale && verdict.state != FleetState::NoSnapshot)
        verdict.state = StateOfCheck(verdict.check);
}

FleetTally::FleetTally(const ProjectProfile& profile)
    : breaking(profile.rules.size(), 0), pending(profile.rules.size(), 0)
{
}

void FleetTally::Add(const FleetVerdict& verdict, const std::optional<QString>& module)
{
    ++terminals;
    ++states[verdict.state];
    if (verdict.state == FleetState::NoSnapshot)
        return;
    modules[module ? ModuleVersionText(*module) : QString()] += 1;
    // A rule counts once per terminal, however many deviations it gave.
    std::vector<bool> broke(breaking.size(), false), waits(pending.size(), false);
    for (const Deviation& deviation : verdict.check.deviations) {
        if (deviation.rule < 0 || size_t(deviation.rule) >= breaking.size())
            continue;
        (deviation.pending ? waits : broke)[size_t(deviation.rule)] = true;
    }
    for (size_t i = 0; i < broke.size(); ++i) {
        breaking[i] += broke[i] ? 1 : 0;
        pending[i] += waits[i] && !broke[i] ? 1 : 0;
    }
}

int FleetTally::Count(FleetState state) const
{
    const auto found = states.find(state);
    return found == states.end() ? 0 : found->second;
}

QString FleetStatesText(const FleetTally& tally)
{
    QStringList states;
    for (FleetState state : kFleetStates)
        states << QStringLiteral("%1 %2 台").arg(FleetStateText(state)).arg(tally.Count(state));
    return states.join(QStringLiteral("，"));
}

QStringList FleetRuleLines(const ProjectProfile& profile, const FleetTally& tally)
{
    QStringList lines;
    for (const ProfileRule& rule : profile.rules) {
        QString line = QStringLiteral("第%1条 %2：不符合 %3 台")
                           .arg(rule.index + 1)
                           .arg(rule.subject)
                           .arg(tally.breaking[size_t(rule.index)]);
        if (rule.since)
            line += QStringLiteral("，待整改 %1 台（%2起计入）")
                        .arg(tally.pending[size_t(rule.index)])
                        .arg(rule.since->toString(Qt::ISODate));
        lines << line;
    }
    return lines;
}

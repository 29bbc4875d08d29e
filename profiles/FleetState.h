#pragma once

#include "profiles/FleetLimits.h"
#include "profiles/ProfileCheck.h"

#include <QString>

#include <array>
#include <map>
#include <optional>
#include <vector>

// Where a recorded terminal stands against a profile: what --compliance
// and 设备档案 show for each terminal of the fleet.
enum class FleetState {
    Conforms,    // 符合: every rule met
    Deviates,    // 不符合: a deviation that counts
    Pending,     // 待整改: only deviations before their rule's `since`
    Stale,       // 过期: its latest snapshot is older than the stale limit
    NoSnapshot,  // 无快照: the record holds no report of it
};
inline constexpr std::array<FleetState, 5> kFleetStates = {FleetState::Conforms, FleetState::Deviates,
                                                          FleetState::Pending, FleetState::Stale,
                                                          FleetState::NoSnapshot};

// "符合", "不符合", "待整改", "过期", "无快照".
QString FleetStateText(FleetState state);
// The state named by its text; nothing for another text.
std::optional<FleetState> FleetStateFromText(const QString& text);

// One recorded terminal's latest snapshot, as the record gives it.
struct FleetSnapshot {
    const ParameterSet* set = nullptr;  // nothing: no snapshot
    std::optional<QString> module;      // the entry's reply kept with it
    qint64 lastSeenMs = 0;              // when the terminal was last seen
};

struct FleetVerdict {
    FleetState state = FleetState::NoSnapshot;
    // The check of the latest snapshot; empty without one. A stale
    // terminal keeps its deviations: they are what it held when last seen.
    ProfileCheckResult check;
};

// The verdict on one terminal at `nowMs`. A terminal not seen for
// `staleDays` is 过期 whatever it held: what it holds today is not known.
// Per-unit duplicates are a question of the whole fleet: add them to
// `check` (AddDuplicateDeviations) before the verdict is tallied.
FleetVerdict JudgeTerminal(const ProjectProfile& profile, const FleetSnapshot& snapshot, qint64 nowMs,
                           int staleDays = kDefaultStaleDays);

// The verdict on a check already made of a terminal last seen at
// `lastSeenMs`, as JudgeTerminal gives it.
FleetVerdict VerdictOf(ProfileCheckResult check, qint64 lastSeenMs, qint64 nowMs, int staleDays = kDefaultStaleDays);

// Adds a deviation for every per-unit value this terminal shares with
// another one, and judges it again (a terminal that conformed no longer
// does). `terminal` is the name the duplicates list it under.
void AddDuplicateDeviations(FleetVerdict& verdict, const QString& terminal,
                            const std::vector<DuplicateValue>& duplicates, const ProjectProfile& profile);

// The fleet's totals: terminals per state, per rule (how many terminals
// break it, and how many only before its `since`) and per module version.
struct FleetTally {
    std::map<FleetState, int> states;
    std::vector<int> breaking;  // by rule index: terminals whose deviation counts
    std::vector<int> pending;   // by rule index: terminals with a 待整改 one
    std::map<QString, int> modules;  // module version text ("" unknown) → terminals
    int terminals = 0;

    explicit FleetTally(const ProjectProfile& profile);
    void Add(const FleetVerdict& verdict, const std::optional<QString>& module);
    int Count(FleetState state) const;
    // Every terminal conforms (an empty fleet does).
    bool AllConform() const { return Count(FleetState::Conforms) == terminals; }
};

// "符合 1 台，不符合 2 台，待整改 0 台，过期 0 台，无快照 0 台"
QString FleetStatesText(const FleetTally& tally);
// One line per rule: "第1条 GPRS主中心地址：不符合 1 台", with "，待整改 N 台
// （DATE起计入）" after a rule with a `since`.
QStringList FleetRuleLines(const ProjectProfile& profile, const FleetTally& tally);


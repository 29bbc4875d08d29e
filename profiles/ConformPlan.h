#pragma once

#include "profiles/ProfileCheck.h"

#include "params/ConfigFilePlan.h"

#include <QByteArray>
#include <QStringList>

#include <optional>

#include <vector>

// What putting a terminal right sends: for each deviation a value can put
// right, that value (a rule's `equals`, its preferred `oneOf`, the
// terminal's own per-unit value, the list that meets a list rule); the
// others need a person (a range, a pattern, a oneOf without a preferred
// value, a module version, a per-unit value nobody gave).
struct ConformPlan {
    // Typed into the items' cells, as --set does, and saved.
    std::vector<CellOverride> items;
    // Whole lists to send: category (0 to 2) and numbers in order.
    std::vector<std::pair<int, QStringList>> lists;
    // The deviations no value can put right.
    std::vector<Deviation> needsPerson;

    bool SendsNothing() const { return items.empty() && lists.empty(); }
};

// The plan for one terminal's deviations (`check` of `facts` against
// `profile`). Pending deviations (待整改) are put right too.
ConformPlan PlanConformance(const ProjectProfile& profile, const ProfileCheckResult& check, const TerminalFacts& facts);

// The list that meets a list rule, closest to `numbers`: the rule's own
// list for `equals`; else the excluded numbers taken out, the missing ones
// added at the end, and with `maxCount` the numbers the rule does not ask
// for dropped from the end until it fits.
QStringList ListMeetingRule(const ProfileRule& rule, const QStringList& numbers);

// The file whose load puts the terminal right with `plan`: the terminal's
// own report (as last read) with the plan's lists in it. A load of it alone
// sends nothing; the plan's items are typed over it (CConfigFile's
// overrides), and a load that sends only what changes then sends just the
// deviations. Nothing, with the reason in `why`, when the report or a list
// is refused.
// `name` is how a refusal names the report (the port).
std::optional<QByteArray> ConformFileBytes(const QByteArray& report, const QString& name, const ConformPlan& plan,
                                           QString* why);

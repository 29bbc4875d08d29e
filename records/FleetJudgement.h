#pragma once

#include "profiles/FleetState.h"
#include "records/RecordTypes.h"

#include <functional>
#include <optional>
#include <vector>

class CRecordStore;

// One recorded terminal judged against a profile.
struct FleetRow {
    DeviceRow device;
    FleetVerdict verdict;
    std::optional<QString> module;  // the entry's reply kept with its latest snapshot
};

// The whole recorded fleet against a profile: every terminal in key order,
// and the totals.
struct FleetJudgement {
    explicit FleetJudgement(const ProjectProfile& profile) : tally(profile) {}
    std::vector<FleetRow> rows;
    FleetTally tally;
    // Why the pass failed when the store has nothing to say (a snapshot
    // that cannot be read back); "" otherwise.
    QString error;
};

// Judges every terminal from its latest snapshot in one pass over `store`
// (open for reading) at `nowMs`; per-unit values are compared across the
// fleet afterwards. False, with the store's LastError(), when the pass
// fails. `stop`, when given, is asked before each terminal: true ends the
// pass early (its judgement then incomplete).
//
// With `lookup` (a second connection to the same record) and a record
// that keeps parsed values, the pass reads those: the rules on what
// terminals share are checked once per distinct set of the values they
// look at (and module, when a rule looks at it), on the report of one
// snapshot that holds them, read through `lookup`; the rules on a
// terminal's own ID and SIM number once per terminal. The outcome is that
// of checking every report.
bool JudgeFleet(CRecordStore& store, const ProjectProfile& profile, qint64 nowMs, int staleDays,
                FleetJudgement& judgement, const std::function<bool()>& stop = {}, CRecordStore* lookup = nullptr);

#pragma once

#include "batch/CommandLine.h"

#include <cstdio>

// `--profile PROFILE --compliance [--db LOCATION] [--stale-days N]
// [--json|--csv]`: where the whole recorded fleet stands against a project
// profile, from every terminal's latest snapshot, without a terminal on
// the cable. One row per terminal (device ID, SIM, last seen, state,
// deviations), then the totals per state, per rule and per module version.
// Reads the record only. Exit 0 when every terminal conforms, 3 when some
// do not, 1 when the profile or the record cannot be read.
class CComplianceRun {
public:
    explicit CComplianceRun(const CommandLine& command) : m_command(command) {}

    // The result goes to `out`, why it could not be made to `err`. `nowMs`
    // is the moment the states are judged at (staleness, `since`).
    int Run(std::FILE* out, std::FILE* err, qint64 nowMs) const;

private:
    CommandLine m_command;
};

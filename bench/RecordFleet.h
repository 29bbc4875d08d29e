#pragma once

#include "records/RecordTypes.h"

#include <QByteArray>
#include <QString>

// A made-up fleet, as the record generator writes it and the fleet bench
// reads it: one county's project. Every terminal holds the project's
// configuration, as the simulated terminal reports it; each visit changed
// something (the heartbeat, then the server moved from 10.0.0.5 to
// 10.0.0.6 halfway); a few terminals kept the old server, a few run another
// module, a few carry a preset text of their own.
namespace recordfleet {

inline constexpr const char* kOldServer = "10.0.0.5";
inline constexpr const char* kNewServer = "10.0.0.6";
inline constexpr const char* kModule = "SIRENSET-SIM LRM-200 REV 1.4";
inline constexpr const char* kOtherModule = "SIRENSET-SIM LRM-100 REV 0.9";

// Terminal `terminal`'s snapshot `snapshot` (0 = the first) of `snapshots`.
QByteArray FleetReport(int terminal, int snapshot, int snapshots);
// The device ID it reports.
QString FleetDeviceId(int terminal);
// Whether it kept the old server / runs the other module.
bool KeepsOldServer(int terminal);
bool RunsOtherModule(int terminal);
// The visit that read it: one a day, the last one today.
ReportEvent FleetVisit(int terminal, int snapshot, int snapshots, qint64 nowMs);

}  // namespace recordfleet

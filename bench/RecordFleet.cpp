#include "RecordFleet.h"

#include "sim/ParameterReport.h"
#include "sim/TerminalParameters.h"

#include <cstdio>
#include <string>

namespace recordfleet {

namespace {

// Spreads terminal numbers over [0, 100): which few are the odd ones.
int Hundredth(int terminal, int salt)
{
    const unsigned mixed = static_cast<unsigned>(terminal) * 2654435761u + static_cast<unsigned>(salt) * 40503u;
    return static_cast<int>((mixed >> 8) % 100u);
}

}  // namespace

QString FleetDeviceId(int terminal)
{
    char id[16];
    std::snprintf(id, sizeof id, "%08X", 0x10000000 + terminal);
    return QString::fromLatin1(id);
}

bool KeepsOldServer(int terminal)
{
    return Hundredth(terminal, 1) < 3;
}

bool RunsOtherModule(int terminal)
{
    return Hundredth(terminal, 2) < 2;
}

QByteArray FleetReport(int terminal, int snapshot, int snapshots)
{
    TerminalParameters parameters = TerminalParameters::Defaults();
    parameters.deviceId = FleetDeviceId(terminal).toStdString();
    parameters.simNumber = "139" + std::to_string(10000000 + terminal);
    parameters.apn = "CMIOT";
    parameters.adminNumbers = {"13800000001"};
    // Each visit changed the heartbeat; the second half of the visits found
    // the server moved, except on the few that kept the old one.
    static const char* const heartbeats[] = {"60", "120", "180", "240", "300"};
    parameters.heartbeatSeconds = heartbeats[(terminal + snapshot) % 5];
    const bool moved = snapshot >= snapshots / 2 && !KeepsOldServer(terminal);
    parameters.serverIp = moved ? kNewServer : kOldServer;
    if (Hundredth(terminal, 3) < 2)
        parameters.presetText1 = "第" + std::to_string(terminal) + "号广播点";
    return QByteArray::fromStdString(ParameterReport::Build(parameters));
}

ReportEvent FleetVisit(int terminal, int snapshot, int snapshots, qint64 nowMs)
{
    constexpr qint64 kDayMs = 24LL * 3600 * 1000;
    ReportEvent event;
    event.trigger = QString::fromLatin1(RecordTrigger::Entry);
    event.report = FleetReport(terminal, snapshot, snapshots);
    // Terminals visited in turn, one a minute apart within the day.
    event.atMs = nowMs - (snapshots - 1 - snapshot) * kDayMs - static_cast<qint64>(terminal % 1440) * 60000;
    event.module = QString::fromLatin1(RunsOtherModule(terminal) ? kOtherModule : kModule);
    event.context = {QStringLiteral("/dev/ttyUSB0"), QStringLiteral("fleet-bench"), QStringLiteral("tech")};
    return event;
}

}  // namespace recordfleet

#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <vector>

// What the service record holds, as plain values: what a visit stores and
// what the history reads back. No SQL here.

// Where a terminal's report came from.
namespace RecordTrigger {
inline constexpr const char* Entry = "entry";             // configuration entry
inline constexpr const char* ReadBack = "readback";       // 参数回读
inline constexpr const char* Verify = "verify";           // read-back after a save
inline constexpr const char* ReadRun = "--read";
inline constexpr const char* DiffRun = "--diff";
inline constexpr const char* BeforeApply = "apply-before";
inline constexpr const char* AfterApply = "apply-after";
}  // namespace RecordTrigger

// The computer side of a visit.
struct VisitContext {
    QString port;
    QString computer;
    QString userName;
};

// One report as read from a terminal.
struct ReportEvent {
    QString trigger;
    QByteArray report;
    qint64 atMs = 0;
    QString module;  // the entry's ati / AT+CGMR reply, when known
    VisitContext context;
};

// One item a change sent.
struct ChangeItem {
    QString item;
    QString oldValue;
    QString newValue;
    bool acknowledged = false;
};

// A save, a number-list change, a factory reset or a clock setting.
namespace ChangeKind {
inline constexpr const char* Parameters = "parameters";
inline constexpr const char* Numbers = "numbers";
inline constexpr const char* FactoryReset = "factory-reset";
inline constexpr const char* Clock = "clock";
inline constexpr const char* Signal = "signal";
// A verification showed another device ID than the save began on: kept in
// the history of both IDs, the old and the new one.
inline constexpr const char* Rename = "rename";
}  // namespace ChangeKind

namespace ChangeResult {
inline constexpr const char* Succeeded = "成功";
inline constexpr const char* Failed = "失败";
// Begun and not (yet) ended: the items so far are those sent.
inline constexpr const char* Unfinished = "未完成";
}  // namespace ChangeResult

struct ChangeEvent {
    QString kind;
    std::vector<ChangeItem> items;
    QString result;  // "成功", "失败", "未完成"
    QString verify;  // "一致", "3 项不一致", "读回失败", "" when not verified
    qint64 atMs = 0;
    VisitContext context;
};

// How a device is keyed: its 8-hex-digit ID, else its SIM number.
enum class DeviceKeyKind { Id, Sim, None };

// How a device's key is written in the record and in --history --json.
inline QString DeviceKeyKindText(DeviceKeyKind kind)
{
    switch (kind) {
    case DeviceKeyKind::Id:
        return QStringLiteral("id");
    case DeviceKeyKind::Sim:
        return QStringLiteral("sim");
    case DeviceKeyKind::None:
        break;
    }
    return QStringLiteral("none");
}

struct DeviceRow {
    qint64 rowId = 0;  // the record's own number (paging)
    QString key;
    DeviceKeyKind kind = DeviceKeyKind::Id;
    QString simNumber;
    qint64 firstSeenMs = 0;
    qint64 lastSeenMs = 0;
    int visits = 0;
    QString lastResult;
    QString lastVerify;
};

// A device with its latest snapshot, as a pass over the fleet reads it.
struct LatestSnapshot {
    DeviceRow device;
    qint64 snapshotId = 0;  // 0: the device has no snapshot
    qint64 takenMs = 0;
    QByteArray report;      // as the terminal sent it; empty without a snapshot
    QString module;         // the entry's ati / AT+CGMR reply of that visit
};

// One entry of a device's history: a snapshot or a change, in time order.
struct HistoryEntry {
    enum class Type { Snapshot, Change } type = Type::Snapshot;
    qint64 id = 0;
    qint64 atMs = 0;
    QString port;
    QString computer;
    QString userName;
    // Snapshot
    int number = 0;  // 1 = the device's first snapshot
    qint64 lastSeenMs = 0;
    int seen = 1;
    QString trigger;
    int size = 0;
    QString module;
    QStringList differences;  // from the snapshot before
    // Change
    QString kind;
    std::vector<ChangeItem> items;
    QString result;
    QString verify;
};

struct DeviceHistory {
    DeviceRow device;
    std::vector<HistoryEntry> entries;
};

// One parsed value of a snapshot: an item by the table's label (without its
// colon), or a number list (管理号码, 授权号码, 备份号码, the numbers joined
// by ","), and the value as the table shows it.
struct RecordedItem {
    QString item;
    QString value;
};

// A device's latest snapshot as its parsed values, as the fast pass over
// the fleet hands it out. `values` is shared by every snapshot of the same
// value set and lives only during the call; it leaves out the device ID
// and SIM number, which are `unitId` and `unitSim`.
struct LatestValues {
    DeviceRow device;
    qint64 snapshotId = 0;  // 0: the device has no snapshot
    qint64 takenMs = 0;
    QString module;
    QString unitId;
    QString unitSim;
    qint64 valueSetId = 0;  // equal ids: equal values
    const std::vector<RecordedItem>* values = nullptr;  // never null during the call
};

// Where the device list goes on from: the last row of the page before
// (newest visit first, then the highest row id). The default starts at the
// top.
struct DevicePageKey {
    qint64 lastSeenMs = 0;
    qint64 rowId = 0;
    bool IsStart() const { return rowId == 0; }
    static DevicePageKey After(const DeviceRow& row) { return {row.lastSeenMs, row.rowId}; }
};

// The result of a profile check, as the record keeps it: which profile
// (name, version, SHA-256 of its text in hex), on which day, whether the
// terminal conformed, how many deviations counted, and one line per
// deviation as the log shows it.
struct RecordedProfileCheck {
    QString profileName;
    QString profileVersion;
    QString profileDigest;
    QString day;  // yyyy-MM-dd
    bool conformed = false;
    int countingDeviations = 0;
    QStringList deviationLines;
};

// A stored check with the device and when it was made.
struct StoredProfileCheck {
    QString deviceKey;
    qint64 atMs = 0;
    RecordedProfileCheck check;
};

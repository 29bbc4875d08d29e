#include "records/RecordSchema.h"

namespace RecordSchema {
namespace {

// Never edit a migration once released: add the next one.
const char* const kVersion1[] = {
    "CREATE TABLE devices ("
    " id {ID},"
    " device_key TEXT NOT NULL UNIQUE,"
    " key_kind TEXT NOT NULL,"
    " sim_number TEXT NOT NULL,"
    " first_seen BIGINT NOT NULL,"
    " last_seen BIGINT NOT NULL,"
    " visits INTEGER NOT NULL,"
    " last_result TEXT NOT NULL,"
    " last_verify TEXT NOT NULL,"
    " search_text TEXT NOT NULL)",
    // Report bodies, compressed, once per distinct content.
    "CREATE TABLE reports ("
    " id {ID},"
    " digest TEXT NOT NULL UNIQUE,"
    " size INTEGER NOT NULL,"
    " body {BLOB} NOT NULL)",
    "CREATE TABLE visits ("
    " id {ID},"
    " device_id BIGINT NOT NULL REFERENCES devices(id),"
    " started BIGINT NOT NULL,"
    " port TEXT NOT NULL,"
    " computer TEXT NOT NULL,"
    " user_name TEXT NOT NULL,"
    " sim_number TEXT NOT NULL,"
    " module TEXT NOT NULL)",
    "CREATE TABLE snapshots ("
    " id {ID},"
    " device_id BIGINT NOT NULL REFERENCES devices(id),"
    " visit_id BIGINT NOT NULL REFERENCES visits(id),"
    " taken BIGINT NOT NULL,"
    " last_seen BIGINT NOT NULL,"
    " seen INTEGER NOT NULL,"
    " trigger_name TEXT NOT NULL,"
    " report_id BIGINT NOT NULL REFERENCES reports(id))",
    "CREATE TABLE changes ("
    " id {ID},"
    " device_id BIGINT NOT NULL REFERENCES devices(id),"
    " visit_id BIGINT NOT NULL REFERENCES visits(id),"
    " at BIGINT NOT NULL,"
    " kind TEXT NOT NULL,"
    " result TEXT NOT NULL,"
    " verify TEXT NOT NULL)",
    "CREATE TABLE change_items ("
    " change_id BIGINT NOT NULL REFERENCES changes(id),"
    " seq INTEGER NOT NULL,"
    " item TEXT NOT NULL,"
    " old_value TEXT NOT NULL,"
    " new_value TEXT NOT NULL,"
    " acknowledged INTEGER NOT NULL)",
    "CREATE INDEX snapshots_by_device ON snapshots(device_id, id)",
    "CREATE INDEX changes_by_device ON changes(device_id, id)",
};

// Version 2: the device list sorts by last visit, and a visit's snapshots
// and changes are found by visit.
const char* const kVersion2[] = {
    "CREATE INDEX devices_by_last_seen ON devices(last_seen)",
    "CREATE INDEX visits_by_device ON visits(device_id, id)",
    "CREATE INDEX change_items_by_change ON change_items(change_id, seq)",
};

// Version 3: every step of a visit carries an id, so that one replayed
// from the outbox is stored once; visits and changes are found by theirs;
// a terminal whose ID a save changed is linked to its old ID; and "last
// seen" that ran back before "first seen" is mended.
const char* const kVersion3[] = {
    "CREATE TABLE recorded_steps ("
    " uid TEXT PRIMARY KEY,"
    " row_id BIGINT NOT NULL)",
    "ALTER TABLE visits ADD COLUMN uid TEXT",
    "CREATE UNIQUE INDEX visits_by_uid ON visits(uid, device_id)",
    "ALTER TABLE changes ADD COLUMN uid TEXT",
    "CREATE UNIQUE INDEX changes_by_uid ON changes(uid)",
    "CREATE TABLE device_links ("
    " id {ID},"
    " old_device_id BIGINT NOT NULL REFERENCES devices(id),"
    " new_device_id BIGINT NOT NULL REFERENCES devices(id),"
    " at BIGINT NOT NULL,"
    " visit_id BIGINT NOT NULL REFERENCES visits(id))",
    "CREATE INDEX device_links_by_old ON device_links(old_device_id)",
    "CREATE INDEX device_links_by_new ON device_links(new_device_id)",
    "UPDATE devices SET last_seen = (SELECT MAX(s.last_seen) FROM snapshots s WHERE s.device_id = devices.id)"
    " WHERE last_seen < (SELECT MAX(s.last_seen) FROM snapshots s WHERE s.device_id = devices.id)",
    "UPDATE devices SET last_seen = first_seen WHERE last_seen < first_seen",
};

// Version 4: a fleet of 100,000 terminals and more.
// - The parsed values of a snapshot are kept as a value set: the items the
//   table shows (and the three number lists), each as the table shows it,
//   without the device ID and SIM number (those are the snapshot's own
//   columns and the device's). A project's terminals hold the same
//   configuration, so a few sets serve thousands of snapshots: the record
//   grows by the fleet's variety, not by snapshots times items, and a value
//   is found through a plain B-tree index in either database.
// - A device's latest snapshot (and its value set) stand in its row.
// - The device list pages by (last_seen, id).
// - The text column the filter used to scan is no longer kept.
// - A profile check's result is kept per device and visit.
// The value sets of the snapshots already recorded are filled in by the
// store (it parses their reports) right after these statements.
const char* const kVersion4[] = {
    "CREATE TABLE value_sets ("
    " id {ID},"
    " digest TEXT NOT NULL UNIQUE)",
    "CREATE TABLE value_set_items ("
    " set_id BIGINT NOT NULL REFERENCES value_sets(id),"
    " seq INTEGER NOT NULL,"
    " item TEXT NOT NULL,"
    " value TEXT NOT NULL,"
    " folded TEXT NOT NULL)",
    "CREATE INDEX value_set_items_by_set ON value_set_items(set_id, seq)",
    "CREATE INDEX value_set_items_by_value ON value_set_items(item, value, set_id)",
    "CREATE INDEX value_set_items_by_folded ON value_set_items(folded, set_id)",
    "ALTER TABLE snapshots ADD COLUMN value_set_id BIGINT REFERENCES value_sets(id)",
    "ALTER TABLE snapshots ADD COLUMN unit_id TEXT",
    "ALTER TABLE snapshots ADD COLUMN unit_sim TEXT",
    "ALTER TABLE devices ADD COLUMN latest_snapshot_id BIGINT REFERENCES snapshots(id)",
    "ALTER TABLE devices ADD COLUMN latest_value_set_id BIGINT REFERENCES value_sets(id)",
    "UPDATE devices SET latest_snapshot_id = (SELECT MAX(s.id) FROM snapshots s WHERE s.device_id = devices.id)",
    "UPDATE devices SET search_text = ''",
    "DROP INDEX devices_by_last_seen",
    "CREATE INDEX devices_by_last_seen ON devices(last_seen, id)",
    "CREATE INDEX devices_by_value_set ON devices(latest_value_set_id, last_seen, id)",
    "CREATE INDEX devices_by_sim ON devices(sim_number)",
    "CREATE TABLE profile_checks ("
    " id {ID},"
    " uid TEXT NOT NULL UNIQUE,"
    " device_id BIGINT NOT NULL REFERENCES devices(id),"
    " visit_id BIGINT NOT NULL REFERENCES visits(id),"
    " at BIGINT NOT NULL,"
    " profile_name TEXT NOT NULL,"
    " profile_version TEXT NOT NULL,"
    " profile_digest TEXT NOT NULL,"
    " day TEXT NOT NULL,"
    " conformed INTEGER NOT NULL,"
    " deviations INTEGER NOT NULL,"
    " lines TEXT NOT NULL)",
    "CREATE INDEX profile_checks_by_device ON profile_checks(device_id, id)",
};

template <std::size_t N>
QStringList Statements(const char* const (&texts)[N], Dialect dialect)
{
    const QString id = dialect == Dialect::Sqlite ? QStringLiteral("INTEGER PRIMARY KEY")
                                                  : QStringLiteral("BIGSERIAL PRIMARY KEY");
    const QString blob = dialect == Dialect::Sqlite ? QStringLiteral("BLOB") : QStringLiteral("BYTEA");
    QStringList out;
    for (const char* text : texts)
        out << QString::fromLatin1(text).replace(QLatin1String("{ID}"), id).replace(QLatin1String("{BLOB}"), blob);
    return out;
}

}  // namespace

int LatestVersion()
{
    return 4;
}

QStringList Migration(int version, Dialect dialect)
{
    switch (version) {
    case 1:
        return Statements(kVersion1, dialect);
    case 2:
        return Statements(kVersion2, dialect);
    case 3:
        return Statements(kVersion3, dialect);
    case 4:
        return Statements(kVersion4, dialect);
    default:
        return {};
    }
}

bool IsKnownVersion(int version)
{
    return version >= 1 && version <= LatestVersion();
}

QString NewerVersionText(int version)
{
    return QStringLiteral("设备档案的版本为 %1，比本程序认识的版本 %2 新，请用更新的 Sirenset 打开")
        .arg(version)
        .arg(LatestVersion());
}

}  // namespace RecordSchema

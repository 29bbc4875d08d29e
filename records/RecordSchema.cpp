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
    return 3;
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

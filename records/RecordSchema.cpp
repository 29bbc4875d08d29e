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
    return 2;
}

QStringList Migration(int version, Dialect dialect)
{
    switch (version) {
    case 1:
        return Statements(kVersion1, dialect);
    case 2:
        return Statements(kVersion2, dialect);
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

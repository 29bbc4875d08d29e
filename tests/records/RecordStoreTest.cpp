#include "records/CRecordStore.h"
#include "records/RecordDiff.h"
#include "records/RecordSchema.h"
#include "support/QtPrinters.h"

#include "RecordReports.h"

#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/fsuid.h>
#include <unistd.h>

using recordreports::Report;

namespace {

ReportEvent Read(const QByteArray& report, const char* trigger, qint64 atMs)
{
    ReportEvent event;
    event.trigger = QString::fromLatin1(trigger);
    event.report = report;
    event.atMs = atMs;
    event.module = QStringLiteral("SIM7600");
    event.context = {QStringLiteral("COM3"), QStringLiteral("bench-pc"), QStringLiteral("tech")};
    return event;
}

// Rows of one table, read through a connection of the test's own.
int CountRows(const QString& path, const QString& table)
{
    int count = -1;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("count"));
        db.setDatabaseName(path);
        if (db.open()) {
            QSqlQuery query(db);
            // The table names come from the tests themselves.
            if (query.exec(QStringLiteral("SELECT COUNT(*) FROM ") + table) && query.next())
                count = query.value(0).toInt();
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("count"));
    return count;
}

class RecordStoreTest : public ::testing::Test {
protected:
    QString Path() const { return m_dir.filePath(QStringLiteral("records.sqlite")); }
    QTemporaryDir m_dir;
};

}  // namespace

// Which key a report files under.
TEST_F(RecordStoreTest, KeysByDeviceIdElseSimNumber)
{
    struct Case {
        const char* id;
        const char* sim;
        const char* key;
        DeviceKeyKind kind;
    } const cases[] = {
        {"1A2B3C4D", "13912345678", "1A2B3C4D", DeviceKeyKind::Id},
        {"1a2b3c4d", "13912345678", "1A2B3C4D", DeviceKeyKind::Id},
        {"", "13912345678", "SIM:13912345678", DeviceKeyKind::Sim},
        {"1A2B3C4", "13912345678", "SIM:13912345678", DeviceKeyKind::Sim},
        {"1A2B3C4DE", "13912345678", "SIM:13912345678", DeviceKeyKind::Sim},
        {"1A2B3C4G", "13912345678", "SIM:13912345678", DeviceKeyKind::Sim},
        {"", "", "UNKNOWN", DeviceKeyKind::None},
    };
    CRecordStore store(Path());
    ASSERT_TRUE(store.Open()) << store.LastError().toStdString();
    qint64 at = 1000;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        DeviceKeyKind kind{};
        EXPECT_EQ(CRecordStore::DeviceKeyOf(Report(c.id, c.sim), &kind, nullptr), QString::fromLatin1(c.key));
        EXPECT_EQ(kind, c.kind);
        ASSERT_TRUE(store.RecordReport(Read(Report(c.id, c.sim), RecordTrigger::Entry, ++at))) << store.LastError().toStdString();
        EXPECT_EQ(store.CurrentDeviceKey(), QString::fromLatin1(c.key));
    }
    const auto devices = store.ListDevices();
    ASSERT_TRUE(devices);
    ASSERT_EQ(devices->size(), 3u);
    EXPECT_EQ(devices->at(0).key, QStringLiteral("UNKNOWN"));
    EXPECT_EQ(devices->at(1).key, QStringLiteral("SIM:13912345678"));
    EXPECT_EQ(devices->at(1).kind, DeviceKeyKind::Sim);
    EXPECT_EQ(devices->at(1).visits, 4);
    EXPECT_EQ(devices->at(2).visits, 2);
}

// A report equal to the device's last snapshot adds no copy; any other is
// kept, body stored once per content; the record only grows.
TEST_F(RecordStoreTest, StoresEachDistinctSnapshotOnce)
{
    const QByteArray a = Report("1A2B3C4D");
    const QByteArray b = Report("1A2B3C4D", "13912345678", "10.0.0.5");
    struct Step {
        QByteArray report;
        const char* trigger;
        bool newSnapshot;
    } const steps[] = {
        {a, RecordTrigger::Entry, true},     {a, RecordTrigger::ReadBack, false}, {a, RecordTrigger::Entry, false},
        {b, RecordTrigger::Verify, true},    {b, RecordTrigger::Entry, false},    {a, RecordTrigger::ReadBack, true},
    };
    CRecordStore store(Path());
    ASSERT_TRUE(store.Open()) << store.LastError().toStdString();
    qint64 at = 1000;
    qint64 last = 0;
    for (const Step& step : steps) {
        const std::optional<qint64> id = store.RecordReport(Read(step.report, step.trigger, at += 1000));
        ASSERT_TRUE(id) << store.LastError().toStdString();
        EXPECT_EQ(*id != last, step.newSnapshot) << step.trigger;
        last = *id;
    }
    EXPECT_EQ(CountRows(Path(), QStringLiteral("snapshots")), 3);
    EXPECT_EQ(CountRows(Path(), QStringLiteral("reports")), 2);
    EXPECT_EQ(CountRows(Path(), QStringLiteral("visits")), 3);

    const auto history = store.History(QStringLiteral("1A2B3C4D"));
    ASSERT_TRUE(history) << store.LastError().toStdString();
    EXPECT_EQ(history->device.visits, 3);
    EXPECT_EQ(history->device.firstSeenMs, 2000);
    EXPECT_EQ(history->device.lastSeenMs, 7000);
    ASSERT_EQ(history->entries.size(), 3u);
    EXPECT_EQ(history->entries[0].seen, 3);
    EXPECT_EQ(history->entries[0].lastSeenMs, 4000);
    EXPECT_EQ(history->entries[1].trigger, QStringLiteral("verify"));
    EXPECT_EQ(history->entries[1].differences, QStringList{QStringLiteral("Server's Ip：116.62.10.20 → 10.0.0.5")});
    EXPECT_EQ(history->entries[2].differences, QStringList{QStringLiteral("Server's Ip：10.0.0.5 → 116.62.10.20")});

    // Every snapshot comes back byte for byte; 0 is the latest.
    EXPECT_EQ(store.SnapshotReport(QStringLiteral("1A2B3C4D"), 1), a);
    EXPECT_EQ(store.SnapshotReport(QStringLiteral("1A2B3C4D"), 2), b);
    EXPECT_EQ(store.SnapshotReport(QStringLiteral("1A2B3C4D"), 0), a);
    EXPECT_FALSE(store.SnapshotReport(QStringLiteral("1A2B3C4D"), 4));
    EXPECT_FALSE(store.SnapshotReport(QStringLiteral("0000000F"), 0));
}

// A save between two reads: in the history between its snapshots, with what
// was sent and what the terminal acknowledged.
TEST_F(RecordStoreTest, KeepsChangesBetweenSnapshots)
{
    CRecordStore store(Path());
    ASSERT_TRUE(store.Open()) << store.LastError().toStdString();
    ChangeEvent early;
    early.kind = QString::fromLatin1(ChangeKind::Clock);
    EXPECT_FALSE(store.RecordChange(early)) << "no terminal read yet";

    ASSERT_TRUE(store.RecordReport(Read(Report("1A2B3C4D"), RecordTrigger::Entry, 1000)));
    ChangeEvent save;
    save.kind = QString::fromLatin1(ChangeKind::Parameters);
    save.items = {{QStringLiteral("服务器IP"), QStringLiteral("116.62.10.20"), QStringLiteral("10.0.0.5"), true},
                  {QStringLiteral("服务器端口"), QStringLiteral("5001"), QStringLiteral("6001"), false}};
    save.result = QStringLiteral("失败");
    save.verify = QStringLiteral("");
    save.atMs = 2000;
    ASSERT_TRUE(store.RecordChange(save)) << store.LastError().toStdString();
    ASSERT_TRUE(store.RecordReport(
        Read(Report("1A2B3C4D", "13912345678", "10.0.0.5"), RecordTrigger::Verify, 3000)));

    const auto history = store.History(QStringLiteral("1A2B3C4D"));
    ASSERT_TRUE(history);
    ASSERT_EQ(history->entries.size(), 3u);
    EXPECT_EQ(history->entries[0].type, HistoryEntry::Type::Snapshot);
    EXPECT_EQ(history->entries[0].module, QStringLiteral("SIM7600"));
    EXPECT_EQ(history->entries[0].port, QStringLiteral("COM3"));
    EXPECT_EQ(history->entries[1].type, HistoryEntry::Type::Change);
    ASSERT_EQ(history->entries[1].items.size(), 2u);
    EXPECT_EQ(history->entries[1].items[0].newValue, QStringLiteral("10.0.0.5"));
    EXPECT_TRUE(history->entries[1].items[0].acknowledged);
    EXPECT_FALSE(history->entries[1].items[1].acknowledged);
    EXPECT_EQ(history->entries[2].type, HistoryEntry::Type::Snapshot);
    EXPECT_EQ(history->device.lastResult, QStringLiteral("失败"));
}

// The filter matches the ID or its beginning, the SIM number, any value of
// the latest report, or one item's value, literally and whatever the case.
TEST_F(RecordStoreTest, FiltersByIdSimOrAnyValue)
{
    CRecordStore store(Path());
    ASSERT_TRUE(store.Open());
    qint64 at = 0;
    ASSERT_TRUE(store.RecordReport(Read(Report("0000000A", "13800000001", "10.0.0.5"), RecordTrigger::Entry, ++at)));
    ASSERT_TRUE(store.RecordReport(Read(Report("0000000B", "13800000002", "10.0.0.6"), RecordTrigger::Entry, ++at)));
    ASSERT_TRUE(store.RecordReport(Read(Report("0000000C", "13800000003", "10.0.0.5"), RecordTrigger::Entry, ++at)));
    // C's server moved on: only its latest report counts.
    ASSERT_TRUE(store.RecordReport(Read(Report("0000000C", "13800000003", "10.0.0.7"), RecordTrigger::Verify, ++at)));
    struct Case {
        const char* filter;
        QStringList keys;
    } const cases[] = {
        {"", {"0000000C", "0000000B", "0000000A"}},
        {"10.0.0.5", {"0000000A"}},
        {"0000000b", {"0000000B"}},
        {"13800000003", {"0000000C"}},
        {"000000", {"0000000C", "0000000B", "0000000A"}},
        {"Server's Ip=10.0.0.6", {"0000000B"}},
        {"GPRS主中心地址：=10.0.0.5", {"0000000A"}},
        {"GPRS主中心地址=10.0.0.7", {"0000000C"}},
        {"设备ID号码(固定8位)=0000000a", {"0000000A"}},
        {"server's ip 10.0.0.6", {}},
        {"0.0.5", {}},
        {"%", {}},
        {"10_0", {}},
        {"'; DROP TABLE devices; --", {}},
    };
    for (const Case& c : cases) {
        const auto devices = store.ListDevices(QString::fromUtf8(c.filter));
        ASSERT_TRUE(devices) << store.LastError().toStdString();
        QStringList keys;
        for (const DeviceRow& row : *devices)
            keys << row.key;
        EXPECT_EQ(keys, c.keys) << c.filter;
    }
}

// A database of every earlier schema version, with records in it, is
// brought up to date when opened, its records kept; a "last seen" that an
// older version let run back before "first seen" is mended.
TEST_F(RecordStoreTest, MigratesFromEveryEarlierVersion)
{
    for (int from = 1; from < RecordSchema::LatestVersion(); ++from) {
        SCOPED_TRACE(from);
        const QString path = m_dir.filePath(QStringLiteral("v%1.sqlite").arg(from));
        {
            CRecordStore old(path);
            ASSERT_TRUE(old.Open(from)) << old.LastError().toStdString();
            EXPECT_EQ(old.SchemaVersion(), from);
            ASSERT_TRUE(old.RecordReport(Read(Report("1A2B3C4D"), RecordTrigger::Entry, 1000)));
        }
        // The version that mended it is the third.
        const qint64 lastSeen = from < 3 ? 1000 : 500;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("backwards"));
            db.setDatabaseName(path);
            ASSERT_TRUE(db.open());
            ASSERT_TRUE(QSqlQuery(db).exec(QStringLiteral("UPDATE devices SET last_seen = 500")));
        }
        QSqlDatabase::removeDatabase(QStringLiteral("backwards"));
        // Read as it is, values parsed from the reports on the way.
        {
            CRecordStore reader(path);
            ASSERT_TRUE(reader.OpenForReading()) << reader.LastError().toStdString();
            const auto found = reader.DevicesWithValue(QStringLiteral("GPRS主中心地址"), QStringLiteral("116.62.10.20"));
            ASSERT_TRUE(found) << reader.LastError().toStdString();
            ASSERT_EQ(found->size(), 1u);
            EXPECT_EQ(reader.SchemaVersion(), from);
        }
        CRecordStore store(path);
        ASSERT_TRUE(store.Open()) << store.LastError().toStdString();
        EXPECT_EQ(store.SchemaVersion(), RecordSchema::LatestVersion());
        EXPECT_EQ(CountRows(path, QStringLiteral("schema_version")), RecordSchema::LatestVersion());
        EXPECT_EQ(store.SnapshotReport(QStringLiteral("1A2B3C4D")), Report("1A2B3C4D"));
        EXPECT_EQ(store.History(QStringLiteral("1A2B3C4D"))->device.lastSeenMs, lastSeen);
        // The stored report's values were filled in.
        EXPECT_EQ(CountRows(path, QStringLiteral("snapshots WHERE value_set_id IS NULL")), 0);
        const auto found = store.DevicesWithValue(QStringLiteral("Server's Ip"), QStringLiteral("116.62.10.20"));
        ASSERT_TRUE(found);
        ASSERT_EQ(found->size(), 1u);
        EXPECT_EQ(found->front().key, QStringLiteral("1A2B3C4D"));
        ASSERT_TRUE(store.RecordReport(Read(Report("1A2B3C4D", "1"), RecordTrigger::Entry, 2000)));
        EXPECT_EQ(store.History(QStringLiteral("1A2B3C4D"))->entries.size(), 2u);
    }
}

// Databases that cannot be written: the store says why, and never throws.
TEST_F(RecordStoreTest, FailsWithAReason)
{
    const QByteArray report = Report("1A2B3C4D");
    // Corrupt: not a database at all.
    {
        QFile file(Path());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(8192, 'x'));
    }
    {
        CRecordStore store(Path());
        EXPECT_FALSE(store.Open());
        EXPECT_TRUE(store.LastError().contains(QStringLiteral("not a database"))) << store.LastError().toStdString();
        EXPECT_FALSE(store.RecordReport(Read(report, RecordTrigger::Entry, 1)));
    }
    QFile::remove(Path());

    // Locked: another program holds the write lock longer than the store
    // waits.
    {
        CRecordStore store(Path(), 50);
        ASSERT_TRUE(store.Open()) << store.LastError().toStdString();
        QSqlDatabase other = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("locker"));
        other.setDatabaseName(Path());
        ASSERT_TRUE(other.open());
        QSqlQuery lock(other);
        ASSERT_TRUE(lock.exec(QStringLiteral("BEGIN EXCLUSIVE")));
        EXPECT_FALSE(store.RecordReport(Read(report, RecordTrigger::Entry, 1)));
        EXPECT_TRUE(store.LastError().contains(QStringLiteral("locked"))) << store.LastError().toStdString();
        lock.exec(QStringLiteral("ROLLBACK"));
        lock = QSqlQuery();
        other.close();
        other = QSqlDatabase();
        QSqlDatabase::removeDatabase(QStringLiteral("locker"));
    }

    // Read-only: the file and its folder may not be written (root is made
    // an ordinary user for the file system meanwhile).
    {
        QTemporaryDir readOnly;
        const QString path = readOnly.filePath(QStringLiteral("records.sqlite"));
        {
            CRecordStore seed(path);
            ASSERT_TRUE(seed.Open());
        }
        QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
        QFile::setPermissions(readOnly.path(), QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther);
        const uid_t before = static_cast<uid_t>(setfsuid(geteuid() == 0 ? 65534 : geteuid()));
        {
            CRecordStore store(path);
            const bool written = store.Open() && store.RecordReport(Read(report, RecordTrigger::Entry, 1));
            EXPECT_FALSE(written);
            EXPECT_TRUE(store.LastError().contains(QStringLiteral("readonly"))
                        || store.LastError().contains(QStringLiteral("unable to open")))
                << store.LastError().toStdString();
        }
        setfsuid(before);
        QFile::setPermissions(readOnly.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    // A full disk: every write of the file fails with "no space".
    {
        const QString path = m_dir.filePath(QStringLiteral("full.sqlite"));
        ASSERT_TRUE(QFile::link(QStringLiteral("/dev/full"), path));
        CRecordStore store(path);
        const bool written = store.Open() && store.RecordReport(Read(report, RecordTrigger::Entry, 1));
        EXPECT_FALSE(written);
        EXPECT_TRUE(store.LastError().contains(QStringLiteral("full"))) << store.LastError().toStdString();
    }

    // A folder that cannot be made.
    {
        CRecordStore store(QStringLiteral("/proc/sirenset/records.sqlite"));
        EXPECT_FALSE(store.Open());
        EXPECT_TRUE(store.LastError().contains(QStringLiteral("/proc/sirenset"))) << store.LastError().toStdString();
    }
}

// The preview's words for what restoring one snapshot over another changes.
TEST(RecordDiffTest, ListsChangesAsThePreviewDoes)
{
    const QByteArray now = Report("1A2B3C4D", "13912345678", "10.0.0.5");
    const QByteArray then = Report("1A2B3C4D");
    const QStringList lines = ReportPreviewDifferences(now, then);
    ASSERT_EQ(lines.size(), 1) << lines.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(lines[0].contains(QStringLiteral("10.0.0.5")) && lines[0].contains(QStringLiteral("116.62.10.20")))
        << lines[0].toStdString();
    EXPECT_TRUE(ReportPreviewDifferences(then, then).isEmpty());
    EXPECT_TRUE(ReportLineDifferences(then, then).isEmpty());
}

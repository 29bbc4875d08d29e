#pragma once

#include "records/RecordEvent.h"
#include "records/RecordLocation.h"
#include "records/RecordSchema.h"
#include "records/RecordTypes.h"

#include <QSqlDatabase>
#include <QString>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

class QSqlQuery;
struct ParsedValues;

// The service record in one database: an SQLite file, or a PostgreSQL
// server named by a "postgresql://user@host[:port]/dbname" address (read as
// libpq reads it, see RecordLocation). Both run the same statements; every
// value is bound, never spliced into SQL.
//
// A store belongs to the thread that opens it (a Qt SQL connection does).
// Nothing is ever deleted or rewritten except the running summaries: a
// device's "last seen" and counters, and a repeated snapshot's "last seen".
class CRecordStore {
public:
    // A location: a file path, or a postgresql:// address ("" for the
    // default file). The password may stand in the address, but libpq also
    // finds it in PGPASSWORD and ~/.pgpass; it is never shown by Describe().
    // Only the default location makes its own folders: a path someone
    // typed names a folder that exists.
    // How long a writer waits for another (ports, processes) before it
    // fails. Each write takes milliseconds; a lock held longer is another
    // program's, and the visit must not wait for it. Tests shorten it.
    static constexpr int kBusyTimeoutMs = 2000;

    explicit CRecordStore(QString location, int busyTimeoutMs = kBusyTimeoutMs);
    ~CRecordStore();
    CRecordStore(const CRecordStore&) = delete;
    CRecordStore& operator=(const CRecordStore&) = delete;

    // The file the window and batch runs use without --db.
    static QString DefaultLocation();
    // The location for messages, without a password.
    QString Describe() const;
    RecordSchema::Dialect Dialect() const { return m_dialect; }

    // Opens the database and brings its schema to `version` (the latest by
    // default; tests stop earlier to check migrations). False with the
    // reason in LastError().
    bool Open(int version = RecordSchema::LatestVersion());
    // Opens the database to read it only: never creates, migrates or writes
    // anything, so a file that may not be written is read all the same. A
    // database of any older schema version is read; a newer one refused.
    // False with the reason ("no record at …" where there is none).
    bool OpenForReading();
    // The server's time limits (tests shorten them). Before Open.
    void SetServerLimits(const RecordLocation::ServerLimits& limits) { m_serverLimits = limits; }
    bool IsOpen() const { return m_open; }
    // Whether the last open failed because there is no record at all.
    bool IsMissing() const { return m_missing; }
    int SchemaVersion();
    // The record keeps each snapshot's parsed values (ForEachLatestValues
    // reads them rather than parsing every report).
    bool HasParsedValues() const { return m_version >= RecordSchema::kParsedValuesVersion; }
    QString LastError() const { return m_lastError; }

    // ---- writes ----
    // Stores a report as a snapshot of the device it names (its 8-hex-digit
    // ID, else its SIM number). A report equal to the device's last snapshot
    // only updates that snapshot's "last seen". A configuration entry, or a
    // report of another device than the current visit's, begins a visit.
    // Returns the snapshot's id.
    std::optional<qint64> RecordReport(const ReportEvent& event);
    // Stores a change on the device of the current visit. Returns its id.
    std::optional<qint64> RecordChange(const ChangeEvent& event);
    // The device of the current visit ("" before any report).
    QString CurrentDeviceKey() const { return m_current.key; }

    // One step of a visit (a report, or a change begun, one of its items,
    // its end), placed by the ids it carries rather than by what this store
    // wrote before, so that another process can replay it. A step already
    // stored is not stored again: the first storing's result is returned.
    // A change begun is stored as "未完成" until its end comes.
    struct StoredStep {
        qint64 rowId = 0;        // a report: its snapshot; a change step: the change
        int snapshotNumber = 0;  // a report: N of the device's snapshots (--export ID@N)
        QString deviceKey;
    };
    std::optional<StoredStep> StoreStep(const RecordEvent& event);

    // Many writes in one transaction (generating a large record): every
    // write between the two is committed by EndBulkWrite(), or none. SQLite
    // does not wait for the disk until then.
    bool BeginBulkWrite();
    bool EndBulkWrite();

    // ---- reads ----
    // The devices `filter` finds, newest visit first (last seen, then row
    // id, both descending). The filter is
    //   ""             every device;
    //   "LABEL=VALUE"  those whose latest snapshot holds VALUE for the item
    //                  (see DevicesWithValue), when LABEL names one;
    //   anything else  those whose ID is or begins with it, whose SIM number
    //                  is it, or whose latest snapshot holds it as any
    //                  value, whatever the case.
    // Every match is looked up in an index (a record of an older schema is
    // read by its text column, as it was then).
    std::optional<std::vector<DeviceRow>> ListDevices(const QString& filter = {});
    // One page of the same: the `limit` devices after `after`.
    std::optional<std::vector<DeviceRow>> DevicePage(const QString& filter, const DevicePageKey& after, int limit);
    // The terminals whose latest snapshot holds `value` for `item` (named as
    // --set names items: the table's label, with or without its colon, or
    // the report's; or 管理号码 / 授权号码 / 备份号码 for the list as the
    // numbers joined by ","), a page at a time in the device list's order.
    // An unknown item fails.
    std::optional<std::vector<DeviceRow>> DevicesWithValue(const QString& item, const QString& value,
                                                           const DevicePageKey& after = {}, int limit = 1000);
    std::optional<DeviceHistory> History(const QString& deviceKey);
    // Snapshot `number` (1 = first) of a device, 0 for the latest: the
    // report's bytes exactly as read.
    std::optional<QByteArray> SnapshotReport(const QString& deviceKey, int number = 0);
    // A snapshot's report by its id.
    std::optional<QByteArray> ReportOfSnapshot(qint64 snapshotId);
    // Every recorded device in key order with its latest snapshot (an
    // empty report when it has none), streamed: `each` returns false to
    // stop. False, with LastError(), when the database fails. `each` must
    // not use the store (a PostgreSQL connection streams one result).
    bool ForEachLatestSnapshot(const std::function<bool(const LatestSnapshot&)>& each);
    // The same pass with the parsed values instead of the report: nothing
    // to decompress or parse, the values shared by equal snapshots. A record
    // of an older schema is parsed on the way.
    bool ForEachLatestValues(const std::function<bool(const LatestValues&)>& each);
    // Every device's latest profile check, in key order, streamed (devices
    // without one are left out); with `profileName`, the latest check
    // against that profile.
    bool ForEachLatestProfileCheck(const std::function<bool(const StoredProfileCheck&)>& each,
                                   const QString& profileName = {});

    // The device key a report gives, and how it was found.
    static QString DeviceKeyOf(const QByteArray& report, DeviceKeyKind* kind, QString* simNumber);
    // The same from the two values: an 8-hex-digit ID in capitals, else
    // "SIM:" + the SIM number, else "UNKNOWN".
    static QString DeviceKeyFor(const QString& deviceId, const QString& simNumber, DeviceKeyKind* kind);

private:
    // Open() once: the connection, its settings and the schema.
    bool OpenConnection(int version);
    // The driver and where it connects, before the first open.
    bool PrepareConnection(bool readOnly);
    // OpenForReading() once: the connection and the schema's version.
    bool OpenToRead();
    bool ReadSchemaVersion(bool missingIsEmpty);
    bool MayReadImmutable() const;
    // "no record at …", and the store knows it is missing.
    QString NoRecordText();
    struct CurrentVisit {
        QString key;
        qint64 deviceId = 0;
        qint64 visitId = 0;
    };

    bool Fail(const QSqlQuery& query);
    bool Fail(const QString& why);
    bool Exec(QSqlQuery& query);
    // A statement a visit runs, prepared once per connection and reset when
    // the handle goes: on PostgreSQL each prepare and its release is a round
    // trip of its own, three times a visit's statements.
    class PreparedQuery {
    public:
        explicit PreparedQuery(QSqlQuery& query) : m_query(&query) {}
        PreparedQuery(const PreparedQuery&) = delete;
        PreparedQuery& operator=(const PreparedQuery&) = delete;
        // Reset at once: an SQLite statement left stepping would keep its
        // read open and hold the connection to an old snapshot.
        ~PreparedQuery();
        QSqlQuery* operator->() const { return m_query; }
        QSqlQuery& operator*() const { return *m_query; }

    private:
        QSqlQuery* m_query;
    };
    PreparedQuery Prepared(const QString& sql);
    void CloseDatabase();
    bool Migrate(int version);
    bool ApplyMigrations(int version);
    std::optional<qint64> InsertReturningId(QSqlQuery& query);
    std::optional<qint64> DeviceRowId(const QString& key, DeviceKeyKind kind, const QString& sim, qint64 atMs);
    std::optional<qint64> ReportRowId(const QByteArray& report);
    std::optional<qint64> BeginVisit(qint64 deviceId, const ReportEvent& event, const QString& sim,
                                     const QString& visitUid = {});
    // The snapshot of a report on a device and visit: a repeat of the last
    // one only counts as seen again.
    std::optional<qint64> AddSnapshot(qint64 deviceId, qint64 visitId, const ReportEvent& event,
                                      const ParsedValues& values);
    // "Last seen" only ever moves on, "first seen" (reports) only back.
    bool TouchDevice(qint64 deviceId, qint64 atMs, bool report);
    // Steps: claimed once by their id.
    std::optional<bool> ClaimStep(const QString& uid);
    std::optional<qint64> StepRow(const QString& uid);
    bool SetStepRow(const QString& uid, qint64 rowId);
    std::optional<StoredStep> StoreReportStep(const RecordEvent& event);
    std::optional<StoredStep> StoreChangeStep(const RecordEvent& event);
    std::optional<StoredStep> StoredStepOf(const RecordEvent& event);
    std::optional<qint64> VisitOf(const QString& visitUid, qint64 deviceId, const RecordEvent& event,
                                  const QString& sim);
    std::optional<int> SnapshotNumber(qint64 deviceId, qint64 snapshotId);
    bool RecordRename(qint64 oldDeviceId, qint64 newDeviceId, const RecordEvent& event, const QString& newKey,
                      qint64 newVisitId);
    std::optional<qint64> InsertChange(qint64 deviceId, qint64 visitId, qint64 atMs, const QString& kind,
                                       const QString& result, const QString& uid);
    bool InsertChangeItem(qint64 changeId, int seq, const ChangeItem& item);
    bool Transaction();
    bool Commit();
    void Rollback();
    // The value set of a report's values, made when new.
    std::optional<qint64> ValueSetId(const ParsedValues& values);
    bool FillParsedValues();
    std::optional<StoredStep> StoreProfileCheckStep(const RecordEvent& event);
    // ListDevices' query: the condition after WHERE and its values.
    struct Condition {
        QString sql;
        QVariantList values;
    };
    std::optional<Condition> FilterCondition(const QString& filter);
    std::optional<Condition> ValueCondition(const QString& item, const QString& value);
    std::optional<std::vector<DeviceRow>> PageWhere(const Condition& condition, const DevicePageKey& after, int limit);
    // Older schemas: the latest reports parsed one by one.
    std::optional<std::vector<DeviceRow>> ScanForValue(const QString& item, const QString& value,
                                                       const DevicePageKey& after, int limit);
    // Runs `select` (devices d, ...) slice by slice in key order.
    bool PassInKeyOrder(QSqlQuery& query, const QString& select, const std::function<bool(const QSqlQuery&)>& each);
    bool LoadLatestValueSets(std::map<qint64, std::vector<RecordedItem>>& sets);

    QString m_location;
    std::optional<RecordLocation> m_parsed;  // std::nullopt: the location does not parse
    QString m_locationError;
    bool m_mayMakeFolders = false;
    RecordLocation::ServerLimits m_serverLimits;
    QString m_connectionName;
    int m_busyTimeoutMs = kBusyTimeoutMs;
    RecordSchema::Dialect m_dialect = RecordSchema::Dialect::Sqlite;
    QSqlDatabase m_db;
    bool m_open = false;
    bool m_missing = false;
    QString m_lastError;
    CurrentVisit m_current;
    int m_version = 0;  // the schema's, once open
    int m_bulkDepth = 0;
    // Value sets by digest: those committed, and those of the open
    // transaction (forgotten if it is rolled back).
    std::map<QString, qint64> m_valueSets;
    std::map<QString, qint64> m_newValueSets;
    std::unordered_map<QString, std::unique_ptr<QSqlQuery>> m_prepared;
    std::unique_ptr<QSqlQuery> m_unprepared;  // the last statement that failed to prepare
};

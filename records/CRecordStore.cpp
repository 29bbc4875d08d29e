#include "records/CRecordStore.h"

#include "params/GbkText.h"
#include "params/ParameterReport.h"
#include "params/ParameterSet.h"
#include "records/RecordDiff.h"
#include "records/RecordValues.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <memory>

namespace {

// Each store has a connection of its own: several ports record at once.
QString NextConnectionName()
{
    static std::atomic<int> counter{0};
    return QStringLiteral("sirenset-records-%1").arg(++counter);
}

// A database's reasons, in the technician's words, each followed by the
// engine's own text (to be looked up).
struct KnownReason {
    const char* engine;
    const char* words;
};
const KnownReason kKnownReasons[] = {
    {"database is locked", "档案正被其他程序占用"},
    {"database table is locked", "档案正被其他程序占用"},
    {"readonly database", "档案是只读的，不能写入"},
    {"read-only transaction", "只读打开的档案不能写入"},
    {"database or disk is full", "磁盘已满"},
    {"file is not a database", "这个文件不是数据库"},
    {"unable to open database file", "无法打开数据库文件"},
    {"disk I/O error", "读写磁盘出错"},
    {"statement timeout", "数据库服务器未在规定时间内完成"},
    {"timeout expired", "连接数据库服务器超时"},
    {"SSL was required", "服务器不支持 SSL，而地址要求 SSL"},
    {"Connection refused", "数据库服务器拒绝连接"},
    {"could not translate host name", "找不到数据库服务器"},
    {"No such file or directory", "数据库服务器没有运行"},
    {"server closed the connection", "数据库服务器断开了连接"},
    {"password authentication failed", "数据库密码不对"},
    {"no password supplied", "数据库要求密码（可放在 PGPASSWORD 或 ~/.pgpass）"},
    {"does not exist", "数据库服务器上没有它"},
    {"invalid connection option", "libpq 不认识地址中的参数"},
};

// Qt's own text ("Unable to fetch row", "Error opening database") says
// only where the failure was met: the database's reason is what counts.
QString ReasonText(const QSqlError& error)
{
    QString reason = error.databaseText().simplified();
    if (reason.isEmpty())
        reason = error.driverText().simplified();
    if (reason.isEmpty())
        return QStringLiteral("数据库出错");
    for (const KnownReason& known : kKnownReasons) {
        if (reason.contains(QLatin1String(known.engine), Qt::CaseInsensitive))
            return QStringLiteral("%1（%2）").arg(QString::fromUtf8(known.words), reason);
    }
    return QStringLiteral("数据库出错（%1）").arg(reason);
}

// SQLite's "URI" file name of a path: the characters a URI gives a meaning
// percent-encoded; a drive letter after a '/' ("file:/C:/...").
QString FileUri(const QString& path)
{
    QString absolute = QDir::fromNativeSeparators(QFileInfo(path).absoluteFilePath());
    if (!absolute.startsWith(QLatin1Char('/')))
        absolute.prepend(QLatin1Char('/'));
    QString encoded;
    for (const char c : absolute.toUtf8()) {
        if (c == '%' || c == '?' || c == '#' || c == ' ' || static_cast<unsigned char>(c) >= 0x80)
            encoded += QStringLiteral("%%1").arg(static_cast<unsigned char>(c), 2, 16, QLatin1Char('0'));
        else
            encoded += QLatin1Char(c);
    }
    return QStringLiteral("file:") + encoded;
}

// Schema set-up races with other programs opening a fresh database.
constexpr int kMigrationAttempts = 10;

// How a key the recorder made is kept: "SIM:…" under the SIM number,
// "UNKNOWN" without either, else the device ID.
DeviceKeyKind KeyKindOfKey(const QString& key)
{
    if (key.startsWith(QLatin1String("SIM:")))
        return DeviceKeyKind::Sim;
    return key == QLatin1String("UNKNOWN") ? DeviceKeyKind::None : DeviceKeyKind::Id;
}

DeviceKeyKind KeyKindFromText(const QString& text)
{
    if (text == QLatin1String("id"))
        return DeviceKeyKind::Id;
    if (text == QLatin1String("sim"))
        return DeviceKeyKind::Sim;
    return DeviceKeyKind::None;
}

// A QString without text binds as SQL NULL; the columns want "".
QString NotNull(const QString& text)
{
    return text.isNull() ? QStringLiteral("") : text;
}

// LIKE with '!' as its escape character: the filter is matched literally.
QString LikePattern(const QString& filter)
{
    QString escaped = filter.toLower();
    escaped.replace(QLatin1Char('!'), QLatin1String("!!"));
    escaped.replace(QLatin1Char('%'), QLatin1String("!%"));
    escaped.replace(QLatin1Char('_'), QLatin1String("!_"));
    return QLatin1Char('%') + escaped + QLatin1Char('%');
}

// The device columns first, its row id at `idColumn`.
DeviceRow DeviceFromQuery(const QSqlQuery& query, int idColumn = 8)
{
    DeviceRow row;
    row.rowId = query.value(idColumn).toLongLong();
    row.key = query.value(0).toString();
    row.kind = KeyKindFromText(query.value(1).toString());
    row.simNumber = query.value(2).toString();
    row.firstSeenMs = query.value(3).toLongLong();
    row.lastSeenMs = query.value(4).toLongLong();
    row.visits = query.value(5).toInt();
    row.lastResult = query.value(6).toString();
    row.lastVerify = query.value(7).toString();
    return row;
}

const char* const kDeviceColumns =
    "SELECT device_key, key_kind, sim_number, first_seen, last_seen, visits, last_result, last_verify, id FROM devices ";

// How many rows ListDevices() reads at a time, and a pass over the fleet
// in one statement.
constexpr int kListPage = 1000;
constexpr int kPassSlice = 5000;

// The device list's order, and where a page goes on from: every row that
// comes after (last_seen, id), written so that both databases start the
// index range at last_seen.
const char* const kListOrder = " ORDER BY last_seen DESC, id DESC LIMIT ?";
const char* const kAfterKey = "last_seen <= ? AND (last_seen < ? OR id < ?)";

// A text typed into the filter that may begin a device ID.
bool MayBeginDeviceId(const QString& text)
{
    static const QRegularExpression hex(QStringLiteral("^[0-9A-Fa-f]{1,8}$"));
    return hex.match(text).hasMatch();
}

// Triggers that mean a terminal has just been caught: a new visit.
bool StartsVisit(const QString& trigger)
{
    return trigger == QLatin1String(RecordTrigger::Entry) || trigger == QLatin1String(RecordTrigger::ReadRun)
           || trigger == QLatin1String(RecordTrigger::DiffRun) || trigger == QLatin1String(RecordTrigger::BeforeApply);
}

// Failures another program's simultaneous set-up of a fresh PostgreSQL
// database causes; the next attempt finds its work done. (SQLite has
// waited out its busy timeout already: a lock that outlasts it is a
// failure, not to be waited for again while a terminal waits.)
bool IsLockedNow(const QString& error)
{
    return error.contains(QLatin1String("database is locked"), Qt::CaseInsensitive)
           || error.contains(QLatin1String("database table is locked"), Qt::CaseInsensitive)
           || error.contains(QLatin1String("database is busy"), Qt::CaseInsensitive);
}

bool MayPassByItself(const QString& error)
{
    for (const char* word : {"duplicate", "already exists", "deadlock"}) {
        if (error.contains(QLatin1String(word), Qt::CaseInsensitive))
            return true;
    }
    return false;
}

}  // namespace

CRecordStore::CRecordStore(QString location, int busyTimeoutMs)
    : m_location(std::move(location)), m_connectionName(NextConnectionName()), m_busyTimeoutMs(busyTimeoutMs)
{
    if (m_location.isEmpty())
        m_location = DefaultLocation();
    m_mayMakeFolders = m_location == DefaultLocation();
    m_parsed = RecordLocation::Parse(m_location, &m_locationError);
    m_dialect = RecordLocation::IsServerAddress(m_location) ? RecordSchema::Dialect::Postgres
                                                            : RecordSchema::Dialect::Sqlite;
}

CRecordStore::~CRecordStore()
{
    if (m_db.isValid())
        CloseDatabase();
    m_db = QSqlDatabase();
    QSqlDatabase::removeDatabase(m_connectionName);
}

QString CRecordStore::DefaultLocation()
{
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return QDir(base).filePath(QStringLiteral("sirenset/records.sqlite"));
}

QString CRecordStore::Describe() const
{
    return RecordLocation::Redacted(m_location);
}

QString CRecordStore::NoRecordText()
{
    m_missing = true;
    return QStringLiteral("no record at %1（没有设备档案，未新建）").arg(Describe());
}

bool CRecordStore::Fail(const QString& why)
{
    m_lastError = why;
    return false;
}

bool CRecordStore::Fail(const QSqlQuery& query)
{
    return Fail(ReasonText(query.lastError()));
}

bool CRecordStore::Exec(QSqlQuery& query)
{
    return query.exec() || Fail(query);
}

CRecordStore::PreparedQuery::~PreparedQuery()
{
    m_query->finish();
}

CRecordStore::PreparedQuery CRecordStore::Prepared(const QString& sql)
{
    const auto found = m_prepared.find(sql);
    if (found != m_prepared.end())
        return PreparedQuery(*found->second);
    auto query = std::make_unique<QSqlQuery>(m_db);
    if (!query->prepare(sql)) {
        // Not kept: its exec fails with the reason, and the next use
        // prepares it again.
        m_unprepared = std::move(query);
        return PreparedQuery(*m_unprepared);
    }
    return PreparedQuery(*m_prepared.emplace(sql, std::move(query)).first->second);
}

void CRecordStore::CloseDatabase()
{
    // The statements belong to the connection: released before it closes.
    m_prepared.clear();
    m_unprepared.reset();
    m_db.close();
}

bool CRecordStore::PrepareConnection(bool readOnly)
{
    if (!m_parsed)
        return Fail(m_locationError);
    if (m_dialect == RecordSchema::Dialect::Postgres) {
        m_db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), m_connectionName);
        if (!m_db.isValid())
            return Fail(QStringLiteral("没有 PostgreSQL 驱动（QPSQL）"));
        QString why;
        return m_parsed->Configure(m_db, m_serverLimits, readOnly, &why) || Fail(why);
    }
    m_db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connectionName);
    if (!m_db.isValid())
        return Fail(QStringLiteral("没有 SQLite 驱动（QSQLITE）"));
    const QFileInfo file(m_location);
    if (readOnly) {
        if (!file.exists())
            return Fail(NoRecordText());
    } else if (!file.absoluteDir().exists()) {
        // A mistyped folder would otherwise be made, and the record kept
        // where nobody looks for it.
        if (!m_mayMakeFolders)
            return Fail(QStringLiteral("文件夹“%1”不存在，设备档案只在已有的文件夹中新建")
                            .arg(QDir::toNativeSeparators(file.absolutePath())));
        if (!QDir().mkpath(file.absolutePath()))
            return Fail(QStringLiteral("无法新建文件夹“%1”").arg(QDir::toNativeSeparators(file.absolutePath())));
    }
    m_db.setDatabaseName(m_location);
    m_db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(m_busyTimeoutMs)
                           + (readOnly ? QStringLiteral(";QSQLITE_OPEN_READONLY") : QString()));
    return true;
}

bool CRecordStore::Open(int version)
{
    if (m_open)
        return true;
    if (!PrepareConnection(false))
        return false;
    // SQLite answers some collisions of programs opening one fresh file at
    // once (the switch to WAL, a first read of the schema) with "locked"
    // without waiting its busy time-out: tried again until that time is up.
    QElapsedTimer since;
    since.start();
    while (!OpenConnection(version)) {
        if (m_dialect != RecordSchema::Dialect::Sqlite || !IsLockedNow(m_lastError)
            || since.elapsed() >= m_busyTimeoutMs)
            return false;
        QThread::msleep(25);
    }
    m_open = true;
    return true;
}

bool CRecordStore::OpenConnection(int version)
{
    if (!m_db.open())
        return Fail(ReasonText(m_db.lastError()));
    if (m_dialect == RecordSchema::Dialect::Sqlite) {
        QSqlQuery query(m_db);
        // The pragma takes no bound value; the number is our own constant.
        // FULL: a visit committed is on the disk, power lost or not.
        const QStringList pragmas{QStringLiteral("PRAGMA busy_timeout = %1").arg(m_busyTimeoutMs),
                                  QStringLiteral("PRAGMA journal_mode = WAL"),
                                  QStringLiteral("PRAGMA synchronous = FULL"),
                                  QStringLiteral("PRAGMA foreign_keys = ON")};
        for (const QString& pragma : pragmas) {
            if (!query.exec(pragma)) {
                Fail(query);
                CloseDatabase();
                return false;
            }
        }
    }
    if (m_dialect == RecordSchema::Dialect::Postgres) {
        // The server's notices ("already exists, skipping") are not for
        // the technician's console.
        QSqlQuery query(m_db);
        query.exec(QStringLiteral("SET client_min_messages = warning"));
    }
    // A newer program's record is left as it is.
    if (!ReadSchemaVersion(true) || !Migrate(version)) {
        CloseDatabase();
        return false;
    }
    m_version = SchemaVersion();
    return true;
}

bool CRecordStore::OpenForReading()
{
    if (m_open)
        return true;
    if (!PrepareConnection(true))
        return false;
    if (OpenToRead()) {
        m_open = true;
        return true;
    }
    if (m_dialect != RecordSchema::Dialect::Sqlite || !MayReadImmutable())
        return false;
    // SQLite reads a WAL database through a shared-memory file beside it,
    // which it cannot make in a folder this user may not write. With no
    // write-ahead log left to fold in, the file alone is the whole record,
    // and nobody can start one there: read as it is.
    const QString firstError = m_lastError;
    CloseDatabase();
    m_db.setDatabaseName(FileUri(m_location) + QStringLiteral("?immutable=1"));
    m_db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1;QSQLITE_OPEN_READONLY;QSQLITE_OPEN_URI")
                               .arg(m_busyTimeoutMs));
    if (OpenToRead()) {
        m_open = true;
        return true;
    }
    return Fail(firstError);
}

bool CRecordStore::MayReadImmutable() const
{
    const QFileInfo log(m_location + QStringLiteral("-wal"));
    const bool cannotShare = m_lastError.contains(QLatin1String("readonly"), Qt::CaseInsensitive)
                             || m_lastError.contains(QLatin1String("unable to open"), Qt::CaseInsensitive);
    return cannotShare && (!log.exists() || log.size() == 0);
}

bool CRecordStore::OpenToRead()
{
    if (!m_db.open())
        return Fail(ReasonText(m_db.lastError()));
    QSqlQuery query(m_db);
    if (m_dialect == RecordSchema::Dialect::Sqlite) {
        // query_only: this connection cannot write, whatever runs on it.
        for (const QString& pragma : {QStringLiteral("PRAGMA busy_timeout = %1").arg(m_busyTimeoutMs),
                                      QStringLiteral("PRAGMA query_only = 1")}) {
            if (!query.exec(pragma)) {
                Fail(query);
                CloseDatabase();
                return false;
            }
        }
    }
    if (!ReadSchemaVersion(false)) {
        CloseDatabase();
        return false;
    }
    m_version = SchemaVersion();
    return true;
}

// The schema's version: none (a fresh database, for a writer), one this
// program knows, or a newer one, refused.
bool CRecordStore::ReadSchemaVersion(bool missingIsEmpty)
{
    QSqlQuery query(m_db);
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral("SELECT MAX(version) FROM schema_version"))) {
        const QString reason = query.lastError().databaseText();
        const bool missing = reason.contains(QLatin1String("no such table"), Qt::CaseInsensitive)
                             || reason.contains(QLatin1String("does not exist"), Qt::CaseInsensitive);
        if (!missing)
            return Fail(query);
        // PostgreSQL: the failed statement leaves nothing behind outside a
        // transaction.
        return missingIsEmpty || Fail(NoRecordText());
    }
    const int version = query.next() ? query.value(0).toInt() : 0;
    if (version > RecordSchema::LatestVersion())
        return Fail(RecordSchema::NewerVersionText(version));
    if (!missingIsEmpty && !RecordSchema::IsKnownVersion(version))
        return Fail(NoRecordText());
    return true;
}

bool CRecordStore::Transaction()
{
    if (m_bulkDepth > 0)
        return true;
    QSqlQuery query(m_db);
    // SQLite: take the write lock at once, so a reader never has to upgrade
    // (which another writer could make fail without waiting).
    const QString begin = m_dialect == RecordSchema::Dialect::Sqlite ? QStringLiteral("BEGIN IMMEDIATE")
                                                                     : QStringLiteral("BEGIN");
    return query.exec(begin) || Fail(query);
}

bool CRecordStore::Commit()
{
    if (m_bulkDepth > 0)
        return true;
    QSqlQuery query(m_db);
    if (query.exec(QStringLiteral("COMMIT"))) {
        m_valueSets.merge(m_newValueSets);
        m_newValueSets.clear();
        return true;
    }
    Fail(query);
    Rollback();
    return false;
}

void CRecordStore::Rollback()
{
    // Inside a bulk write a failed step leaves its rows; the bulk write's
    // end commits them with the rest (a generated record, not a visit).
    if (m_bulkDepth > 0)
        return;
    m_newValueSets.clear();
    QSqlQuery query(m_db);
    query.exec(QStringLiteral("ROLLBACK"));
}

bool CRecordStore::BeginBulkWrite()
{
    if (!m_open)
        return Fail(QStringLiteral("the database is not open"));
    if (m_dialect == RecordSchema::Dialect::Sqlite) {
        QSqlQuery query(m_db);
        query.exec(QStringLiteral("PRAGMA synchronous = OFF"));
    }
    if (!Transaction())
        return false;
    ++m_bulkDepth;
    return true;
}

bool CRecordStore::EndBulkWrite()
{
    if (m_bulkDepth == 0)
        return true;
    --m_bulkDepth;
    const bool committed = Commit();
    if (m_dialect == RecordSchema::Dialect::Sqlite) {
        QSqlQuery query(m_db);
        query.exec(QStringLiteral("PRAGMA synchronous = FULL"));
    }
    return committed;
}

bool CRecordStore::Migrate(int version)
{
    for (int attempt = 0; attempt < kMigrationAttempts; ++attempt) {
        if (!Transaction()) {
            if (!MayPassByItself(m_lastError))
                return false;
            QThread::msleep(50);
            continue;
        }
        if (ApplyMigrations(version) && Commit())
            return true;
        Rollback();
        if (!MayPassByItself(m_lastError))
            return false;
        QThread::msleep(50 * (attempt + 1));
    }
    return false;
}

bool CRecordStore::ApplyMigrations(int version)
{
    QSqlQuery query(m_db);
    if (!query.exec(QStringLiteral(
            "CREATE TABLE IF NOT EXISTS schema_version (version INTEGER NOT NULL, applied BIGINT NOT NULL)")))
        return Fail(query);
    if (!query.exec(QStringLiteral("SELECT MAX(version) FROM schema_version")))
        return Fail(query);
    const int current = query.next() ? query.value(0).toInt() : 0;
    if (current > RecordSchema::LatestVersion())
        return Fail(QStringLiteral("the database has schema version %1; this program knows up to %2")
                        .arg(current)
                        .arg(RecordSchema::LatestVersion()));
    for (int next = current + 1; next <= version; ++next) {
        for (const QString& statement : RecordSchema::Migration(next, m_dialect)) {
            if (!query.exec(statement))
                return Fail(query);
        }
        if (next == RecordSchema::kParsedValuesVersion && !FillParsedValues())
            return false;
        query.prepare(QStringLiteral("INSERT INTO schema_version (version, applied) VALUES (?, ?)"));
        query.addBindValue(next);
        query.addBindValue(QDateTime::currentMSecsSinceEpoch());
        if (!Exec(query))
            return false;
    }
    return true;
}

int CRecordStore::SchemaVersion()
{
    QSqlQuery query(m_db);
    if (!query.exec(QStringLiteral("SELECT MAX(version) FROM schema_version")) || !query.next())
        return 0;
    return query.value(0).toInt();
}

std::optional<qint64> CRecordStore::InsertReturningId(QSqlQuery& query)
{
    if (!Exec(query))
        return std::nullopt;
    if (!query.next()) {
        Fail(QStringLiteral("no id returned"));
        return std::nullopt;
    }
    return query.value(0).toLongLong();
}

QString CRecordStore::DeviceKeyOf(const QByteArray& report, DeviceKeyKind* kind, QString* simNumber)
{
    auto set = std::make_unique<ParameterSet>();
    ParseParameterReport(report.constData(), static_cast<std::size_t>(report.size()), *set);
    const QString id = GbkToUnicode(set->deviceId.View()).trimmed();
    const QString sim = GbkToUnicode(set->simNumber.View()).trimmed();
    if (simNumber)
        *simNumber = sim;
    return DeviceKeyFor(id, sim, kind);
}

QString CRecordStore::DeviceKeyFor(const QString& deviceId, const QString& simNumber, DeviceKeyKind* kind)
{
    const QString id = deviceId.trimmed();
    const QString sim = simNumber.trimmed();
    static const QRegularExpression hexId(QStringLiteral("^[0-9A-Fa-f]{8}$"));
    if (hexId.match(id).hasMatch()) {
        *kind = DeviceKeyKind::Id;
        return id.toUpper();
    }
    if (!sim.isEmpty()) {
        *kind = DeviceKeyKind::Sim;
        return QStringLiteral("SIM:") + sim;
    }
    *kind = DeviceKeyKind::None;
    return QStringLiteral("UNKNOWN");
}

std::optional<qint64> CRecordStore::DeviceRowId(const QString& key, DeviceKeyKind kind, const QString& sim, qint64 atMs)
{
    PreparedQuery insert = Prepared(QStringLiteral(
        "INSERT INTO devices (device_key, key_kind, sim_number, first_seen, last_seen, visits, last_result,"
        " last_verify, search_text) VALUES (?, ?, ?, ?, ?, 0, '', '', ?) ON CONFLICT (device_key) DO NOTHING"));
    insert->addBindValue(key);
    insert->addBindValue(DeviceKeyKindText(kind));
    insert->addBindValue(NotNull(sim));
    insert->addBindValue(atMs);
    insert->addBindValue(atMs);
    insert->addBindValue(key.toLower());
    if (!Exec(*insert))
        return std::nullopt;
    PreparedQuery query = Prepared(QStringLiteral("SELECT id FROM devices WHERE device_key = ?"));
    query->addBindValue(key);
    if (!Exec(*query))
        return std::nullopt;
    if (!query->next()) {
        Fail(QStringLiteral("device row missing"));
        return std::nullopt;
    }
    return query->value(0).toLongLong();
}

std::optional<qint64> CRecordStore::ReportRowId(const QByteArray& report)
{
    const QString digest =
        QString::fromLatin1(QCryptographicHash::hash(report, QCryptographicHash::Sha256).toHex());
    PreparedQuery insert = Prepared(QStringLiteral(
        "INSERT INTO reports (digest, size, body) VALUES (?, ?, ?) ON CONFLICT (digest) DO NOTHING"));
    insert->addBindValue(digest);
    insert->addBindValue(static_cast<int>(report.size()));
    insert->addBindValue(qCompress(report, 9));
    if (!Exec(*insert))
        return std::nullopt;
    PreparedQuery query = Prepared(QStringLiteral("SELECT id FROM reports WHERE digest = ?"));
    query->addBindValue(digest);
    if (!Exec(*query))
        return std::nullopt;
    if (!query->next()) {
        Fail(QStringLiteral("report row missing"));
        return std::nullopt;
    }
    return query->value(0).toLongLong();
}

std::optional<qint64> CRecordStore::BeginVisit(qint64 deviceId, const ReportEvent& event, const QString& sim,
                                               const QString& visitUid)
{
    // A visit without an id (tests, older callers) is written as before
    // visits had ids, also into a database of an older schema.
    PreparedQuery query = Prepared(visitUid.isEmpty()
                      ? QStringLiteral("INSERT INTO visits (device_id, started, port, computer, user_name, sim_number,"
                                       " module) VALUES (?, ?, ?, ?, ?, ?, ?) RETURNING id")
                      : QStringLiteral("INSERT INTO visits (device_id, started, port, computer, user_name, sim_number,"
                                       " module, uid) VALUES (?, ?, ?, ?, ?, ?, ?, ?) RETURNING id"));
    query->addBindValue(deviceId);
    query->addBindValue(event.atMs);
    query->addBindValue(NotNull(event.context.port));
    query->addBindValue(NotNull(event.context.computer));
    query->addBindValue(NotNull(event.context.userName));
    query->addBindValue(NotNull(sim));
    query->addBindValue(NotNull(event.module));
    if (!visitUid.isEmpty())
        query->addBindValue(visitUid);
    const std::optional<qint64> visitId = InsertReturningId(*query);
    if (!visitId)
        return std::nullopt;
    PreparedQuery count = Prepared(QStringLiteral("UPDATE devices SET visits = visits + 1 WHERE id = ?"));
    count->addBindValue(deviceId);
    if (!Exec(*count))
        return std::nullopt;
    return visitId;
}

std::optional<qint64> CRecordStore::AddSnapshot(qint64 deviceId, qint64 visitId, const ReportEvent& event,
                                                const ParsedValues& values)
{
    DeviceKeyKind kind = DeviceKeyKind::None;
    const QString& sim = values.unitSim;
    const QString key = DeviceKeyFor(values.unitId, values.unitSim, &kind);
    const QString digest =
        QString::fromLatin1(QCryptographicHash::hash(event.report, QCryptographicHash::Sha256).toHex());
    std::optional<qint64> snapshotId;
    bool same = false;
    {
        PreparedQuery latest = Prepared(QStringLiteral(
            "SELECT s.id, r.digest FROM snapshots s JOIN reports r ON r.id = s.report_id"
            " WHERE s.device_id = ? ORDER BY s.id DESC LIMIT 1"));
        latest->addBindValue(deviceId);
        if (!Exec(*latest))
            return std::nullopt;
        if (latest->next() && latest->value(1).toString() == digest) {
            same = true;
            snapshotId = latest->value(0).toLongLong();
        }
    }
    if (same) {
        PreparedQuery seen = Prepared(QStringLiteral(
            "UPDATE snapshots SET last_seen = CASE WHEN last_seen < ? THEN ? ELSE last_seen END, seen = seen + 1"
            " WHERE id = ?"));
        seen->addBindValue(event.atMs);
        seen->addBindValue(event.atMs);
        seen->addBindValue(*snapshotId);
        if (!Exec(*seen) || !TouchDevice(deviceId, event.atMs, true))
            return std::nullopt;
    } else {
        const std::optional<qint64> reportId = ReportRowId(event.report);
        if (!reportId)
            return std::nullopt;
        PreparedQuery query = Prepared(!HasParsedValues()
            ? QStringLiteral("INSERT INTO snapshots (device_id, visit_id, taken, last_seen, seen, trigger_name, report_id)"
                             " VALUES (?, ?, ?, ?, 1, ?, ?) RETURNING id")
            : QStringLiteral("INSERT INTO snapshots (device_id, visit_id, taken, last_seen, seen, trigger_name, report_id,"
                             " value_set_id, unit_id, unit_sim) VALUES (?, ?, ?, ?, 1, ?, ?, ?, ?, ?) RETURNING id"));
        // The value set before the snapshot's own binding: making a new set
        // runs statements of its own.
        std::optional<qint64> valueSetId;
        if (HasParsedValues()) {
            valueSetId = ValueSetId(values);
            if (!valueSetId)
                return std::nullopt;
        }
        query->addBindValue(deviceId);
        query->addBindValue(visitId);
        query->addBindValue(event.atMs);
        query->addBindValue(event.atMs);
        query->addBindValue(NotNull(event.trigger));
        query->addBindValue(*reportId);
        if (valueSetId) {
            query->addBindValue(*valueSetId);
            query->addBindValue(NotNull(values.unitId));
            query->addBindValue(NotNull(values.unitSim));
        }
        snapshotId = InsertReturningId(*query);
        if (!snapshotId)
            return std::nullopt;
        // The newest snapshot is the latest: a step replayed late is stored
        // after the ones that came before it. (The filter of an older schema
        // looks through the latest report's text.)
        PreparedQuery device = Prepared(!HasParsedValues()
            ? QStringLiteral("UPDATE devices SET sim_number = ?, search_text = ? WHERE id = ?")
            : QStringLiteral("UPDATE devices SET sim_number = ?, latest_snapshot_id = ?, latest_value_set_id = ? WHERE id = ?"));
        device->addBindValue(NotNull(sim));
        if (!HasParsedValues()) {
            device->addBindValue((key + QLatin1Char('\n') + sim + QLatin1Char('\n') + GbkToUnicode(event.report)).toLower());
        } else {
            device->addBindValue(*snapshotId);
            device->addBindValue(*valueSetId);
        }
        device->addBindValue(deviceId);
        if (!Exec(*device) || !TouchDevice(deviceId, event.atMs, true))
            return std::nullopt;
    }
    return snapshotId;
}

bool CRecordStore::TouchDevice(qint64 deviceId, qint64 atMs, bool report)
{
    // A step replayed late, or a change dated from its start, never makes
    // the device look seen later or earlier than it was: "last seen" only
    // moves on, and a report (only a report) may move "first seen" back.
    PreparedQuery query = Prepared(report ? QStringLiteral("UPDATE devices SET last_seen = CASE WHEN last_seen < ? THEN ? ELSE last_seen END,"
                                          " first_seen = CASE WHEN first_seen > ? THEN ? ELSE first_seen END WHERE id = ?")
                         : QStringLiteral("UPDATE devices SET last_seen = CASE WHEN last_seen < ? THEN ? ELSE last_seen END"
                                          " WHERE id = ?"));
    query->addBindValue(atMs);
    query->addBindValue(atMs);
    if (report) {
        query->addBindValue(atMs);
        query->addBindValue(atMs);
    }
    query->addBindValue(deviceId);
    return Exec(*query);
}

std::optional<qint64> CRecordStore::RecordReport(const ReportEvent& event)
{
    if (!m_open && !Fail(QStringLiteral("the database is not open")))
        return std::nullopt;
    // Parsed once: the key, and the values the record keeps.
    const ParsedValues values = ParseRecordValues(event.report);
    DeviceKeyKind kind = DeviceKeyKind::None;
    const QString sim = values.unitSim;
    const QString key = DeviceKeyFor(values.unitId, values.unitSim, &kind);
    if (!Transaction())
        return std::nullopt;
    const auto fail = [this]() -> std::optional<qint64> {
        Rollback();
        return std::nullopt;
    };
    const std::optional<qint64> deviceId = DeviceRowId(key, kind, sim, event.atMs);
    if (!deviceId)
        return fail();
    qint64 visitId = m_current.visitId;
    if (StartsVisit(event.trigger) || m_current.deviceId != *deviceId) {
        const std::optional<qint64> begun = BeginVisit(*deviceId, event, sim);
        if (!begun)
            return fail();
        visitId = *begun;
    }

    const std::optional<qint64> snapshotId = AddSnapshot(*deviceId, visitId, event, values);
    if (!snapshotId)
        return fail();
    if (!Commit())
        return std::nullopt;
    m_current = {key, *deviceId, visitId};
    return *snapshotId;
}

std::optional<qint64> CRecordStore::RecordChange(const ChangeEvent& event)
{
    if (!m_open && !Fail(QStringLiteral("the database is not open")))
        return std::nullopt;
    if (m_current.deviceId == 0) {
        Fail(QStringLiteral("no report of the terminal has been read"));
        return std::nullopt;
    }
    if (!Transaction())
        return std::nullopt;
    const auto fail = [this]() -> std::optional<qint64> {
        Rollback();
        return std::nullopt;
    };
    QSqlQuery query(m_db);
    query.prepare(QStringLiteral(
        "INSERT INTO changes (device_id, visit_id, at, kind, result, verify) VALUES (?, ?, ?, ?, ?, ?) RETURNING id"));
    query.addBindValue(m_current.deviceId);
    query.addBindValue(m_current.visitId);
    query.addBindValue(event.atMs);
    query.addBindValue(NotNull(event.kind));
    query.addBindValue(NotNull(event.result));
    query.addBindValue(NotNull(event.verify));
    const std::optional<qint64> changeId = InsertReturningId(query);
    if (!changeId)
        return fail();
    int seq = 0;
    for (const ChangeItem& item : event.items) {
        query.prepare(QStringLiteral(
            "INSERT INTO change_items (change_id, seq, item, old_value, new_value, acknowledged)"
            " VALUES (?, ?, ?, ?, ?, ?)"));
        query.addBindValue(*changeId);
        query.addBindValue(++seq);
        query.addBindValue(NotNull(item.item));
        query.addBindValue(NotNull(item.oldValue));
        query.addBindValue(NotNull(item.newValue));
        query.addBindValue(item.acknowledged ? 1 : 0);
        if (!Exec(query))
            return fail();
    }
    // Signal readings change nothing on the terminal: the device keeps the
    // result and verification of its last change.
    const bool changedTerminal = event.kind != QLatin1String(ChangeKind::Signal);
    if (changedTerminal) {
        query.prepare(QStringLiteral("UPDATE devices SET last_result = ?, last_verify = ? WHERE id = ?"));
        query.addBindValue(NotNull(event.result));
        query.addBindValue(NotNull(event.verify));
        query.addBindValue(m_current.deviceId);
        if (!Exec(query))
            return fail();
    }
    if (!TouchDevice(m_current.deviceId, event.atMs, false))
        return fail();
    if (!Commit())
        return std::nullopt;
    return changeId;
}

// ---- steps of visits ----

std::optional<bool> CRecordStore::ClaimStep(const QString& uid)
{
    // Claimed first, inside the step's transaction: a second storing of the
    // step (this process or another, at the same time) finds it taken.
    PreparedQuery query = Prepared(QStringLiteral("INSERT INTO recorded_steps (uid, row_id) VALUES (?, 0) ON CONFLICT (uid) DO NOTHING"));
    query->addBindValue(uid);
    if (!Exec(*query))
        return std::nullopt;
    return query->numRowsAffected() > 0;
}

std::optional<qint64> CRecordStore::StepRow(const QString& uid)
{
    PreparedQuery query = Prepared(QStringLiteral("SELECT row_id FROM recorded_steps WHERE uid = ?"));
    query->addBindValue(uid);
    if (!Exec(*query))
        return std::nullopt;
    if (!query->next()) {
        Fail(QStringLiteral("step %1 missing").arg(uid));
        return std::nullopt;
    }
    return query->value(0).toLongLong();
}

bool CRecordStore::SetStepRow(const QString& uid, qint64 rowId)
{
    PreparedQuery query = Prepared(QStringLiteral("UPDATE recorded_steps SET row_id = ? WHERE uid = ?"));
    query->addBindValue(rowId);
    query->addBindValue(uid);
    return Exec(*query);
}

std::optional<int> CRecordStore::SnapshotNumber(qint64 deviceId, qint64 snapshotId)
{
    PreparedQuery query = Prepared(QStringLiteral("SELECT COUNT(*) FROM snapshots WHERE device_id = ? AND id <= ?"));
    query->addBindValue(deviceId);
    query->addBindValue(snapshotId);
    if (!Exec(*query) || !query->next())
        return std::nullopt;
    return query->value(0).toInt();
}

std::optional<qint64> CRecordStore::VisitOf(const QString& visitUid, qint64 deviceId, const RecordEvent& event,
                                            const QString& sim)
{
    // One visit row per device the visit saw: a terminal renamed (or reset
    // to its factory ID) during the visit is another device from then on.
    PreparedQuery query = Prepared(QStringLiteral("SELECT id FROM visits WHERE uid = ? AND device_id = ?"));
    query->addBindValue(visitUid);
    query->addBindValue(deviceId);
    if (!Exec(*query))
        return std::nullopt;
    if (query->next())
        return query->value(0).toLongLong();
    ReportEvent begun;
    begun.atMs = event.atMs;
    begun.module = event.module;
    begun.context = event.context;
    return BeginVisit(deviceId, begun, sim, visitUid);
}

std::optional<qint64> CRecordStore::InsertChange(qint64 deviceId, qint64 visitId, qint64 atMs, const QString& kind,
                                                 const QString& result, const QString& uid)
{
    QSqlQuery query(m_db);
    query.prepare(QStringLiteral(
        "INSERT INTO changes (device_id, visit_id, at, kind, result, verify, uid) VALUES (?, ?, ?, ?, ?, '', ?)"
        " RETURNING id"));
    query.addBindValue(deviceId);
    query.addBindValue(visitId);
    query.addBindValue(atMs);
    query.addBindValue(NotNull(kind));
    query.addBindValue(NotNull(result));
    query.addBindValue(uid.isEmpty() ? QVariant(QMetaType(QMetaType::QString)) : QVariant(uid));
    return InsertReturningId(query);
}

bool CRecordStore::InsertChangeItem(qint64 changeId, int seq, const ChangeItem& item)
{
    QSqlQuery query(m_db);
    query.prepare(QStringLiteral(
        "INSERT INTO change_items (change_id, seq, item, old_value, new_value, acknowledged) VALUES (?, ?, ?, ?, ?, ?)"));
    query.addBindValue(changeId);
    query.addBindValue(seq);
    query.addBindValue(NotNull(item.item));
    query.addBindValue(NotNull(item.oldValue));
    query.addBindValue(NotNull(item.newValue));
    query.addBindValue(item.acknowledged ? 1 : 0);
    return Exec(query);
}

bool CRecordStore::RecordRename(qint64 oldDeviceId, qint64 newDeviceId, const RecordEvent& event,
                                const QString& newKey, qint64 newVisitId)
{
    QSqlQuery query(m_db);
    query.prepare(QStringLiteral(
        "INSERT INTO device_links (old_device_id, new_device_id, at, visit_id) VALUES (?, ?, ?, ?)"));
    query.addBindValue(oldDeviceId);
    query.addBindValue(newDeviceId);
    query.addBindValue(event.atMs);
    query.addBindValue(newVisitId);
    if (!Exec(query))
        return false;
    // Both histories say so: the old ID's on the visit the save began on,
    // the new ID's on the visit's row of the new ID.
    const std::optional<qint64> oldVisitId = VisitOf(event.visitUid, oldDeviceId, event, QString());
    if (!oldVisitId)
        return false;
    const ChangeItem item{QStringLiteral("设备ID"), event.renamedFrom, newKey, true};
    for (const auto& [deviceId, visitId] : {std::pair{oldDeviceId, *oldVisitId}, std::pair{newDeviceId, newVisitId}}) {
        const std::optional<qint64> changeId = InsertChange(deviceId, visitId, event.atMs,
                                                            QString::fromLatin1(ChangeKind::Rename),
                                                            QStringLiteral("成功"), QString());
        if (!changeId || !InsertChangeItem(*changeId, 1, item))
            return false;
    }
    return true;
}

std::optional<CRecordStore::StoredStep> CRecordStore::StoredStepOf(const RecordEvent& event)
{
    const std::optional<qint64> rowId = StepRow(event.uid);
    if (!rowId)
        return std::nullopt;
    StoredStep step{*rowId, 0, {}};
    if (event.type != RecordEvent::Type::Report)
        return step;
    QSqlQuery query(m_db);
    query.prepare(QStringLiteral(
        "SELECT d.id, d.device_key FROM snapshots s JOIN devices d ON d.id = s.device_id WHERE s.id = ?"));
    query.addBindValue(*rowId);
    if (!Exec(query) || !query.next()) {
        Fail(QStringLiteral("snapshot %1 missing").arg(*rowId));
        return std::nullopt;
    }
    step.deviceKey = query.value(1).toString();
    const std::optional<int> number = SnapshotNumber(query.value(0).toLongLong(), *rowId);
    if (!number)
        return std::nullopt;
    step.snapshotNumber = *number;
    return step;
}

std::optional<CRecordStore::StoredStep> CRecordStore::StoreReportStep(const RecordEvent& event)
{
    const ParsedValues values = ParseRecordValues(event.report);
    DeviceKeyKind kind = DeviceKeyKind::None;
    const QString sim = values.unitSim;
    const QString key = DeviceKeyFor(values.unitId, values.unitSim, &kind);
    const std::optional<qint64> deviceId = DeviceRowId(key, kind, sim, event.atMs);
    if (!deviceId)
        return std::nullopt;
    const std::optional<qint64> visitId = VisitOf(event.visitUid, *deviceId, event, sim);
    if (!visitId)
        return std::nullopt;
    ReportEvent report;
    report.trigger = event.trigger;
    report.report = event.report;
    report.atMs = event.atMs;
    const std::optional<qint64> snapshotId = AddSnapshot(*deviceId, *visitId, report, values);
    if (!snapshotId)
        return std::nullopt;
    if (!event.renamedFrom.isEmpty() && event.renamedFrom != key) {
        QSqlQuery query(m_db);
        query.prepare(QStringLiteral("SELECT id FROM devices WHERE device_key = ?"));
        query.addBindValue(event.renamedFrom);
        if (!Exec(query))
            return std::nullopt;
        if (query.next() && !RecordRename(query.value(0).toLongLong(), *deviceId, event, key, *visitId))
            return std::nullopt;
    }
    const std::optional<int> number = SnapshotNumber(*deviceId, *snapshotId);
    if (!number)
        return std::nullopt;
    return StoredStep{*snapshotId, *number, key};
}

std::optional<CRecordStore::StoredStep> CRecordStore::StoreChangeStep(const RecordEvent& event)
{
    QSqlQuery query(m_db);
    if (event.type == RecordEvent::Type::ChangeBegun) {
        // Filed under the terminal as it was when the change began, also
        // when the change gives it another ID.
        // The device exists once its report is stored; a report that was
        // lost leaves its key to make it from.
        const std::optional<qint64> deviceId =
            DeviceRowId(event.deviceKey, KeyKindOfKey(event.deviceKey), QString(), event.atMs);
        if (!deviceId)
            return std::nullopt;
        const std::optional<qint64> visitId = VisitOf(event.visitUid, *deviceId, event, QString());
        if (!visitId)
            return std::nullopt;
        const std::optional<qint64> changeId = InsertChange(*deviceId, *visitId, event.atMs, event.kind,
                                                            QString::fromUtf8(ChangeResult::Unfinished), event.changeUid);
        if (!changeId || !TouchDevice(*deviceId, event.atMs, false))
            return std::nullopt;
        if (event.kind != QLatin1String(ChangeKind::Signal)) {
            // Until its end comes, the device's last change is an unfinished one.
            query.prepare(QStringLiteral("UPDATE devices SET last_result = ?, last_verify = '' WHERE id = ?"));
            query.addBindValue(QString::fromUtf8(ChangeResult::Unfinished));
            query.addBindValue(*deviceId);
            if (!Exec(query))
                return std::nullopt;
        }
        return StoredStep{*changeId, 0, event.deviceKey};
    }
    query.prepare(QStringLiteral("SELECT c.id, c.device_id, c.kind FROM changes c WHERE c.uid = ?"));
    query.addBindValue(event.changeUid);
    if (!Exec(query))
        return std::nullopt;
    // A change whose beginning was lost cannot be placed: its steps are
    // taken as stored, so that they do not hold up the ones after them.
    if (!query.next())
        return StoredStep{0, 0, {}};
    const qint64 changeId = query.value(0).toLongLong();
    const qint64 deviceId = query.value(1).toLongLong();
    const QString kind = query.value(2).toString();
    if (event.type == RecordEvent::Type::ChangeItem) {
        if (!InsertChangeItem(changeId, event.seq, event.item))
            return std::nullopt;
        return StoredStep{changeId, 0, {}};
    }
    query.prepare(QStringLiteral("UPDATE changes SET result = ?, verify = ? WHERE id = ?"));
    query.addBindValue(NotNull(event.result));
    query.addBindValue(NotNull(event.verify));
    query.addBindValue(changeId);
    if (!Exec(query) || !TouchDevice(deviceId, event.atMs, false))
        return std::nullopt;
    // Signal readings change nothing on the terminal: the device keeps the
    // result and verification of its last change.
    if (kind != QLatin1String(ChangeKind::Signal)) {
        query.prepare(QStringLiteral("UPDATE devices SET last_result = ?, last_verify = ? WHERE id = ?"));
        query.addBindValue(NotNull(event.result));
        query.addBindValue(NotNull(event.verify));
        query.addBindValue(deviceId);
        if (!Exec(query))
            return std::nullopt;
    }
    return StoredStep{changeId, 0, {}};
}

std::optional<CRecordStore::StoredStep> CRecordStore::StoreStep(const RecordEvent& event)
{
    if (!m_open && !Fail(QStringLiteral("the database is not open")))
        return std::nullopt;
    if (event.uid.isEmpty() || event.visitUid.isEmpty()) {
        Fail(QStringLiteral("a step without its ids"));
        return std::nullopt;
    }
    if (!Transaction())
        return std::nullopt;
    const auto fail = [this]() -> std::optional<StoredStep> {
        Rollback();
        return std::nullopt;
    };
    const std::optional<bool> claimed = ClaimStep(event.uid);
    if (!claimed)
        return fail();
    std::optional<StoredStep> stored;
    if (!*claimed) {
        stored = StoredStepOf(event);
        if (!stored)
            return fail();
        Rollback();
        return stored;
    }
    switch (event.type) {
    case RecordEvent::Type::Report:
        stored = StoreReportStep(event);
        break;
    case RecordEvent::Type::ProfileCheck:
        stored = StoreProfileCheckStep(event);
        break;
    default:
        stored = StoreChangeStep(event);
        break;
    }
    if (!stored || !SetStepRow(event.uid, stored->rowId))
        return fail();
    if (!Commit())
        return std::nullopt;
    return stored;
}

std::optional<std::vector<DeviceRow>> CRecordStore::ListDevices(const QString& filter)
{
    std::vector<DeviceRow> rows;
    DevicePageKey after;
    for (;;) {
        std::optional<std::vector<DeviceRow>> page = DevicePage(filter, after, kListPage);
        if (!page)
            return std::nullopt;
        rows.insert(rows.end(), page->begin(), page->end());
        if (static_cast<int>(page->size()) < kListPage)
            return rows;
        after = DevicePageKey::After(page->back());
    }
}

std::optional<std::vector<DeviceRow>> CRecordStore::DevicePage(const QString& filter, const DevicePageKey& after,
                                                               int limit)
{
    const QString text = filter.trimmed();
    const qsizetype equals = text.indexOf(QLatin1Char('='));
    if (equals > 0 && !RecordedItemLabel(text.left(equals)).isEmpty())
        return DevicesWithValue(text.left(equals), text.mid(equals + 1).trimmed(), after, limit);
    const std::optional<Condition> condition = FilterCondition(text);
    if (!condition)
        return std::nullopt;
    return PageWhere(*condition, after, limit);
}

std::optional<CRecordStore::Condition> CRecordStore::FilterCondition(const QString& text)
{
    if (text.isEmpty())
        return Condition{};
    if (!HasParsedValues())
        return Condition{QStringLiteral("search_text LIKE ? ESCAPE '!'"), {LikePattern(text)}};
    // Each part is an index's: the key (a prefix of an ID is a range of
    // the unique key), the SIM number, and the value sets that hold the
    // text as any value.
    Condition condition{QStringLiteral("(device_key = ? OR sim_number = ? OR latest_value_set_id IN"
                                       " (SELECT set_id FROM value_set_items WHERE folded = ?)"),
                        {text, text, text.toLower()}};
    if (MayBeginDeviceId(text)) {
        const QString prefix = text.toUpper();
        condition.sql += QStringLiteral(" OR (device_key >= ? AND device_key < ?)");
        // Keys are capitals and digits: every key that begins with the
        // prefix sorts below prefix + "G", in any collation.
        condition.values << prefix << prefix + QStringLiteral("G");
    }
    condition.sql += QLatin1Char(')');
    return condition;
}

std::optional<CRecordStore::Condition> CRecordStore::ValueCondition(const QString& item, const QString& value)
{
    const QString label = RecordedItemLabel(item);
    if (label.isEmpty()) {
        Fail(QStringLiteral("没有名为“%1”的参数").arg(item.trimmed()));
        return std::nullopt;
    }
    // The device ID and SIM number are the device's own columns.
    if (IsDeviceIdLabel(label))
        return Condition{QStringLiteral("device_key = ?"), {value.trimmed().toUpper()}};
    if (IsSimNumberLabel(label))
        return Condition{QStringLiteral("sim_number = ?"), {value.trimmed()}};
    return Condition{QStringLiteral("latest_value_set_id IN (SELECT set_id FROM value_set_items WHERE item = ? AND"
                                    " value = ?)"),
                     {label, value}};
}

std::optional<std::vector<DeviceRow>> CRecordStore::DevicesWithValue(const QString& item, const QString& value,
                                                                     const DevicePageKey& after, int limit)
{
    const std::optional<Condition> condition = ValueCondition(item, value);
    if (!condition)
        return std::nullopt;
    if (!HasParsedValues() && condition->sql.startsWith(QLatin1String("latest_value_set_id")))
        return ScanForValue(condition->values[0].toString(), value, after, limit);
    return PageWhere(*condition, after, limit);
}

std::optional<std::vector<DeviceRow>> CRecordStore::PageWhere(const Condition& condition, const DevicePageKey& after,
                                                              int limit)
{
    QStringList where;
    if (!condition.sql.isEmpty())
        where << condition.sql;
    if (!after.IsStart())
        where << QString::fromLatin1(kAfterKey);
    QSqlQuery query(m_db);
    query.setForwardOnly(true);
    query.prepare(QLatin1String(kDeviceColumns)
                  + (where.isEmpty() ? QString() : QStringLiteral("WHERE ") + where.join(QStringLiteral(" AND ")))
                  + QLatin1String(kListOrder));
    for (const QVariant& value : condition.values)
        query.addBindValue(value);
    if (!after.IsStart()) {
        query.addBindValue(after.lastSeenMs);
        query.addBindValue(after.lastSeenMs);
        query.addBindValue(after.rowId);
    }
    query.addBindValue(std::max(limit, 1));
    if (!Exec(query))
        return std::nullopt;
    std::vector<DeviceRow> rows;
    while (query.next())
        rows.push_back(DeviceFromQuery(query));
    return rows;
}

std::optional<std::vector<DeviceRow>> CRecordStore::ScanForValue(const QString& item, const QString& value,
                                                                 const DevicePageKey& after, int limit)
{
    std::vector<DeviceRow> rows;
    const bool passed = ForEachLatestValues([&](const LatestValues& latest) {
        const bool later = after.IsStart() || latest.device.lastSeenMs < after.lastSeenMs
                           || (latest.device.lastSeenMs == after.lastSeenMs && latest.device.rowId < after.rowId);
        if (!later)
            return true;
        for (const RecordedItem& recorded : *latest.values) {
            if (recorded.item == item && recorded.value == value) {
                rows.push_back(latest.device);
                break;
            }
        }
        return true;
    });
    if (!passed)
        return std::nullopt;
    std::sort(rows.begin(), rows.end(), [](const DeviceRow& a, const DeviceRow& b) {
        return a.lastSeenMs != b.lastSeenMs ? a.lastSeenMs > b.lastSeenMs : a.rowId > b.rowId;
    });
    if (static_cast<int>(rows.size()) > limit)
        rows.resize(static_cast<std::size_t>(std::max(limit, 1)));
    return rows;
}

std::optional<DeviceHistory> CRecordStore::History(const QString& deviceKey)
{
    QSqlQuery query(m_db);
    query.setForwardOnly(true);
    query.prepare(QLatin1String(kDeviceColumns) + QStringLiteral("WHERE device_key = ?"));
    query.addBindValue(deviceKey);
    if (!Exec(query))
        return std::nullopt;
    if (!query.next()) {
        Fail(QStringLiteral("设备档案中没有“%1”").arg(deviceKey));
        return std::nullopt;
    }
    DeviceHistory history;
    history.device = DeviceFromQuery(query);

    query.prepare(QStringLiteral(
        "SELECT s.id, s.taken, s.last_seen, s.seen, s.trigger_name, r.size, v.port, v.computer, v.user_name,"
        " v.module, r.body FROM snapshots s JOIN reports r ON r.id = s.report_id JOIN visits v ON v.id = s.visit_id"
        " JOIN devices d ON d.id = s.device_id WHERE d.device_key = ? ORDER BY s.id"));
    query.addBindValue(deviceKey);
    if (!Exec(query))
        return std::nullopt;
    std::vector<HistoryEntry> entries;
    QByteArray previous;
    while (query.next()) {
        HistoryEntry entry;
        entry.type = HistoryEntry::Type::Snapshot;
        entry.id = query.value(0).toLongLong();
        entry.atMs = query.value(1).toLongLong();
        entry.lastSeenMs = query.value(2).toLongLong();
        entry.seen = query.value(3).toInt();
        entry.trigger = query.value(4).toString();
        entry.size = query.value(5).toInt();
        entry.port = query.value(6).toString();
        entry.computer = query.value(7).toString();
        entry.userName = query.value(8).toString();
        entry.module = query.value(9).toString();
        const QByteArray report = qUncompress(query.value(10).toByteArray());
        entry.number = static_cast<int>(entries.size()) + 1;
        if (entry.number > 1)
            entry.differences = ReportLineDifferences(previous, report);
        previous = report;
        entries.push_back(std::move(entry));
    }

    query.prepare(QStringLiteral(
        "SELECT c.id, c.at, c.kind, c.result, c.verify, v.port, v.computer, v.user_name FROM changes c"
        " JOIN visits v ON v.id = c.visit_id JOIN devices d ON d.id = c.device_id WHERE d.device_key = ?"
        " ORDER BY c.id"));
    query.addBindValue(deviceKey);
    if (!Exec(query))
        return std::nullopt;
    std::vector<HistoryEntry> changes;
    while (query.next()) {
        HistoryEntry entry;
        entry.type = HistoryEntry::Type::Change;
        entry.id = query.value(0).toLongLong();
        entry.atMs = query.value(1).toLongLong();
        entry.kind = query.value(2).toString();
        entry.result = query.value(3).toString();
        entry.verify = query.value(4).toString();
        entry.port = query.value(5).toString();
        entry.computer = query.value(6).toString();
        entry.userName = query.value(7).toString();
        changes.push_back(std::move(entry));
    }
    query.prepare(QStringLiteral(
        "SELECT i.change_id, i.item, i.old_value, i.new_value, i.acknowledged FROM change_items i"
        " JOIN changes c ON c.id = i.change_id JOIN devices d ON d.id = c.device_id WHERE d.device_key = ?"
        " ORDER BY i.change_id, i.seq"));
    query.addBindValue(deviceKey);
    if (!Exec(query))
        return std::nullopt;
    while (query.next()) {
        const qint64 changeId = query.value(0).toLongLong();
        const auto owner = std::find_if(changes.begin(), changes.end(),
                                        [changeId](const HistoryEntry& entry) { return entry.id == changeId; });
        if (owner != changes.end())
            owner->items.push_back({query.value(1).toString(), query.value(2).toString(), query.value(3).toString(),
                                    query.value(4).toInt() != 0});
    }
    entries.insert(entries.end(), changes.begin(), changes.end());
    std::stable_sort(entries.begin(), entries.end(),
                     [](const HistoryEntry& a, const HistoryEntry& b) { return a.atMs < b.atMs; });
    history.entries = std::move(entries);
    return history;
}

std::optional<QByteArray> CRecordStore::SnapshotReport(const QString& deviceKey, int number)
{
    QSqlQuery query(m_db);
    query.setForwardOnly(true);
    if (number <= 0) {
        query.prepare(QStringLiteral(
            "SELECT r.body FROM snapshots s JOIN reports r ON r.id = s.report_id JOIN devices d ON d.id = s.device_id"
            " WHERE d.device_key = ? ORDER BY s.id DESC LIMIT 1"));
        query.addBindValue(deviceKey);
    } else {
        query.prepare(QStringLiteral(
            "SELECT r.body FROM snapshots s JOIN reports r ON r.id = s.report_id JOIN devices d ON d.id = s.device_id"
            " WHERE d.device_key = ? ORDER BY s.id LIMIT 1 OFFSET ?"));
        query.addBindValue(deviceKey);
        query.addBindValue(number - 1);
    }
    if (!Exec(query))
        return std::nullopt;
    if (!query.next()) {
        Fail(number <= 0 ? QStringLiteral("设备档案中没有“%1”的快照").arg(deviceKey)
                         : QStringLiteral("设备档案中没有“%1”的快照 %2").arg(deviceKey).arg(number));
        return std::nullopt;
    }
    return qUncompress(query.value(0).toByteArray());
}

std::optional<QByteArray> CRecordStore::ReportOfSnapshot(qint64 snapshotId)
{
    QSqlQuery query(m_db);
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT r.body FROM snapshots s JOIN reports r ON r.id = s.report_id WHERE s.id = ?"));
    query.addBindValue(snapshotId);
    if (!Exec(query))
        return std::nullopt;
    if (!query.next()) {
        Fail(QStringLiteral("设备档案中没有编号为 %1 的快照").arg(snapshotId));
        return std::nullopt;
    }
    return qUncompress(query.value(0).toByteArray());
}

bool CRecordStore::ForEachLatestSnapshot(const std::function<bool(const LatestSnapshot&)>& each)
{
    QSqlQuery query(m_db);
    query.setForwardOnly(true);
    // One pass in key order: the device's own row names its latest
    // snapshot (older schemas: the highest snapshot id, looked up per device).
    const QString latest = HasParsedValues()
                               ? QStringLiteral("s.id = d.latest_snapshot_id")
                               : QStringLiteral("s.id = (SELECT MAX(x.id) FROM snapshots x WHERE x.device_id = d.id)");
    const QString sql = QStringLiteral(
        "SELECT d.device_key, d.key_kind, d.sim_number, d.first_seen, d.last_seen, d.visits, d.last_result,"
        " d.last_verify, d.id, s.id, s.taken, v.module, r.body FROM devices d"
        " LEFT JOIN snapshots s ON %1"
        " LEFT JOIN visits v ON v.id = s.visit_id LEFT JOIN reports r ON r.id = s.report_id").arg(latest);
    return PassInKeyOrder(query, sql, [&](const QSqlQuery& row) {
        LatestSnapshot latest;
        latest.device = DeviceFromQuery(row);
        latest.snapshotId = row.value(9).toLongLong();
        latest.takenMs = row.value(10).toLongLong();
        latest.module = row.value(11).toString();
        if (latest.snapshotId != 0)
            latest.report = qUncompress(row.value(12).toByteArray());
        return each(latest);
    });
}

bool CRecordStore::PassInKeyOrder(QSqlQuery& query, const QString& select,
                                  const std::function<bool(const QSqlQuery&)>& each)
{
    // A statement per slice of the fleet, each well within the server's
    // statement time limit however large the fleet.
    QString after;
    for (bool first = true;; first = false) {
        query.prepare(select + (first ? QString() : QStringLiteral(" WHERE d.device_key > ?"))
                      + QStringLiteral(" ORDER BY d.device_key LIMIT %1").arg(kPassSlice));
        if (!first)
            query.addBindValue(after);
        if (!Exec(query))
            return false;
        int rows = 0;
        while (query.next()) {
            ++rows;
            after = query.value(0).toString();
            if (!each(query))
                return true;
        }
        // A stream cut short (a connection lost, or used for another
        // statement during the pass) is a failure, not the end of the fleet.
        if (query.lastError().isValid())
            return Fail(query);
        if (rows < kPassSlice)
            return true;
    }
}

bool CRecordStore::LoadLatestValueSets(std::map<qint64, std::vector<RecordedItem>>& sets)
{
    // Read before the pass: a PostgreSQL connection streams one result at
    // a time. Only the sets some device's latest snapshot has.
    QSqlQuery query(m_db);
    query.setForwardOnly(true);
    query.prepare(QStringLiteral(
        "SELECT i.set_id, i.item, i.value FROM value_set_items i WHERE i.set_id IN"
        " (SELECT DISTINCT latest_value_set_id FROM devices) ORDER BY i.set_id, i.seq"));
    if (!Exec(query))
        return false;
    while (query.next())
        sets[query.value(0).toLongLong()].push_back({query.value(1).toString(), query.value(2).toString()});
    return true;
}

bool CRecordStore::ForEachLatestValues(const std::function<bool(const LatestValues&)>& each)
{
    static const std::vector<RecordedItem> kNoValues;
    if (!HasParsedValues()) {
        // An older record: its reports parsed as they come.
        return ForEachLatestSnapshot([&](const LatestSnapshot& snapshot) {
            LatestValues latest;
            latest.device = snapshot.device;
            latest.snapshotId = snapshot.snapshotId;
            latest.takenMs = snapshot.takenMs;
            latest.module = snapshot.module;
            ParsedValues values;
            if (snapshot.snapshotId != 0)
                values = ParseRecordValues(snapshot.report);
            latest.unitId = values.unitId;
            latest.unitSim = values.unitSim;
            latest.values = &values.items;
            return each(latest);
        });
    }
    std::map<qint64, std::vector<RecordedItem>> sets;
    if (!LoadLatestValueSets(sets))
        return false;
    QSqlQuery query(m_db);
    query.setForwardOnly(true);
    const QString sql = QStringLiteral(
        "SELECT d.device_key, d.key_kind, d.sim_number, d.first_seen, d.last_seen, d.visits, d.last_result,"
        " d.last_verify, d.id, s.id, s.taken, v.module, s.unit_id, s.unit_sim, s.value_set_id FROM devices d"
        " LEFT JOIN snapshots s ON s.id = d.latest_snapshot_id LEFT JOIN visits v ON v.id = s.visit_id");
    return PassInKeyOrder(query, sql, [&](const QSqlQuery& row) {
        LatestValues latest;
        latest.device = DeviceFromQuery(row);
        latest.snapshotId = row.value(9).toLongLong();
        latest.takenMs = row.value(10).toLongLong();
        latest.module = row.value(11).toString();
        latest.unitId = row.value(12).toString();
        latest.unitSim = row.value(13).toString();
        latest.valueSetId = row.value(14).toLongLong();
        const auto found = sets.find(latest.valueSetId);
        latest.values = found == sets.end() ? &kNoValues : &found->second;
        return each(latest);
    });
}

bool CRecordStore::ForEachLatestProfileCheck(const std::function<bool(const StoredProfileCheck&)>& each,
                                             const QString& profileName)
{
    if (!HasParsedValues())
        return true;  // an older record keeps no checks
    QSqlQuery query(m_db);
    query.setForwardOnly(true);
    const QString named = profileName.isEmpty() ? QString() : QStringLiteral(" WHERE profile_name = ?");
    query.prepare(QStringLiteral(
        "SELECT d.device_key, p.at, p.profile_name, p.profile_version, p.profile_digest, p.day, p.conformed,"
        " p.deviations, p.lines FROM profile_checks p JOIN devices d ON d.id = p.device_id"
        " WHERE p.id IN (SELECT MAX(id) FROM profile_checks%1 GROUP BY device_id) ORDER BY d.device_key")
                      .arg(named));
    if (!profileName.isEmpty())
        query.addBindValue(profileName);
    if (!Exec(query))
        return false;
    while (query.next()) {
        StoredProfileCheck stored;
        stored.deviceKey = query.value(0).toString();
        stored.atMs = query.value(1).toLongLong();
        stored.check.profileName = query.value(2).toString();
        stored.check.profileVersion = query.value(3).toString();
        stored.check.profileDigest = query.value(4).toString();
        stored.check.day = query.value(5).toString();
        stored.check.conformed = query.value(6).toInt() != 0;
        stored.check.countingDeviations = query.value(7).toInt();
        const QString lines = query.value(8).toString();
        if (!lines.isEmpty())
            stored.check.deviationLines = lines.split(QLatin1Char('\n'));
        if (!each(stored))
            return true;
    }
    return !query.lastError().isValid() || Fail(query);
}

// ---- parsed values ----

std::optional<qint64> CRecordStore::ValueSetId(const ParsedValues& values)
{
    const QString digest = values.Digest();
    for (const std::map<QString, qint64>* known : {&m_valueSets, &m_newValueSets}) {
        const auto found = known->find(digest);
        if (found != known->end())
            return found->second;
    }
    bool made = false;
    {
        PreparedQuery insert = Prepared(QStringLiteral("INSERT INTO value_sets (digest) VALUES (?) ON CONFLICT (digest) DO NOTHING"));
        insert->addBindValue(digest);
        if (!Exec(*insert))
            return std::nullopt;
        made = insert->numRowsAffected() > 0;
    }
    qint64 setId = 0;
    {
        PreparedQuery query = Prepared(QStringLiteral("SELECT id FROM value_sets WHERE digest = ?"));
        query->addBindValue(digest);
        if (!Exec(*query))
            return std::nullopt;
        if (!query->next()) {
            Fail(QStringLiteral("value set missing"));
            return std::nullopt;
        }
        setId = query->value(0).toLongLong();
    }
    if (made) {
        PreparedQuery item = Prepared(QStringLiteral(
            "INSERT INTO value_set_items (set_id, seq, item, value, folded) VALUES (?, ?, ?, ?, ?)"));
        int seq = 0;
        for (const RecordedItem& value : values.items) {
            item->addBindValue(setId);
            item->addBindValue(++seq);
            item->addBindValue(NotNull(value.item));
            item->addBindValue(NotNull(value.value));
            item->addBindValue(NotNull(value.value.toLower()));
            if (!Exec(*item))
                return std::nullopt;
        }
    }
    m_newValueSets[digest] = setId;
    return setId;
}

bool CRecordStore::FillParsedValues()
{
    // The snapshots recorded before values were kept: each distinct report
    // parsed once.
    std::vector<std::pair<qint64, qint64>> snapshots;  // snapshot, report
    {
        QSqlQuery query(m_db);
        query.setForwardOnly(true);
        if (!query.exec(QStringLiteral("SELECT id, report_id FROM snapshots WHERE value_set_id IS NULL ORDER BY report_id")))
            return Fail(query);
        while (query.next())
            snapshots.emplace_back(query.value(0).toLongLong(), query.value(1).toLongLong());
    }
    QSqlQuery query(m_db);
    qint64 reportId = 0;
    ParsedValues values;
    std::optional<qint64> setId;
    for (const auto& [snapshotId, report] : snapshots) {
        if (report != reportId) {
            reportId = report;
            query.prepare(QStringLiteral("SELECT body FROM reports WHERE id = ?"));
            query.addBindValue(report);
            if (!Exec(query) || !query.next())
                return Fail(QStringLiteral("report %1 missing").arg(report));
            values = ParseRecordValues(qUncompress(query.value(0).toByteArray()));
            setId = ValueSetId(values);
            if (!setId)
                return false;
        }
        query.prepare(QStringLiteral("UPDATE snapshots SET value_set_id = ?, unit_id = ?, unit_sim = ? WHERE id = ?"));
        query.addBindValue(*setId);
        query.addBindValue(NotNull(values.unitId));
        query.addBindValue(NotNull(values.unitSim));
        query.addBindValue(snapshotId);
        if (!Exec(query))
            return false;
    }
    return query.exec(QStringLiteral(
               "UPDATE devices SET latest_value_set_id = (SELECT s.value_set_id FROM snapshots s"
               " WHERE s.id = devices.latest_snapshot_id)"))
           || Fail(query);
}

std::optional<CRecordStore::StoredStep> CRecordStore::StoreProfileCheckStep(const RecordEvent& event)
{
    if (!HasParsedValues()) {
        Fail(QStringLiteral("the record's schema keeps no profile checks"));
        return std::nullopt;
    }
    const std::optional<qint64> deviceId =
        DeviceRowId(event.deviceKey, KeyKindOfKey(event.deviceKey), QString(), event.atMs);
    if (!deviceId)
        return std::nullopt;
    const std::optional<qint64> visitId = VisitOf(event.visitUid, *deviceId, event, QString());
    if (!visitId)
        return std::nullopt;
    QSqlQuery query(m_db);
    query.prepare(QStringLiteral(
        "INSERT INTO profile_checks (uid, device_id, visit_id, at, profile_name, profile_version, profile_digest,"
        " day, conformed, deviations, lines) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?) RETURNING id"));
    query.addBindValue(event.uid);
    query.addBindValue(*deviceId);
    query.addBindValue(*visitId);
    query.addBindValue(event.atMs);
    query.addBindValue(NotNull(event.check.profileName));
    query.addBindValue(NotNull(event.check.profileVersion));
    query.addBindValue(NotNull(event.check.profileDigest));
    query.addBindValue(NotNull(event.check.day));
    query.addBindValue(event.check.conformed ? 1 : 0);
    query.addBindValue(event.check.countingDeviations);
    query.addBindValue(NotNull(event.check.deviationLines.join(QLatin1Char('\n'))));
    const std::optional<qint64> checkId = InsertReturningId(query);
    if (!checkId)
        return std::nullopt;
    return StoredStep{*checkId, 0, event.deviceKey};
}

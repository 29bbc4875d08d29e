#include "records/CRecordOutbox.h"

#include "records/CRecordStore.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>

#include <atomic>

namespace {

QString NextConnectionName()
{
    static std::atomic<int> counter{0};
    return QStringLiteral("sirenset-outbox-%1").arg(++counter);
}

QString ErrorOf(const QSqlQuery& query)
{
    const QSqlError error = query.lastError();
    const QString text = error.databaseText().trimmed();
    return text.isEmpty() ? error.text().trimmed() : text;
}

const char* const kSchema[] = {
    "CREATE TABLE IF NOT EXISTS pending ("
    " seq INTEGER PRIMARY KEY AUTOINCREMENT,"
    " uid TEXT NOT NULL UNIQUE,"
    " visit TEXT NOT NULL,"
    " target TEXT NOT NULL,"
    " queued INTEGER NOT NULL,"
    " event TEXT NOT NULL)",
    "CREATE INDEX IF NOT EXISTS pending_by_target ON pending(target, seq)",
    "PRAGMA user_version = 1",
};

}  // namespace

QString CRecordOutbox::DefaultPath()
{
    return QFileInfo(CRecordStore::DefaultLocation()).dir().filePath(QString::fromLatin1(kFileName));
}

QString CRecordOutbox::TargetOf(const QString& location)
{
    const CRecordStore store(location);
    if (store.Dialect() == RecordSchema::Dialect::Postgres)
        return store.Describe();
    return QFileInfo(location.isEmpty() ? CRecordStore::DefaultLocation() : location).absoluteFilePath();
}

CRecordOutbox::CRecordOutbox(QString path, int busyMs)
    : m_path(std::move(path)), m_busyMs(busyMs), m_connectionName(NextConnectionName())
{
}

CRecordOutbox::~CRecordOutbox()
{
    if (m_db.isValid())
        m_db.close();
    m_db = QSqlDatabase();
    QSqlDatabase::removeDatabase(m_connectionName);
}

bool CRecordOutbox::Fail(const QString& why)
{
    m_lastError = why.isEmpty() ? QStringLiteral("database error") : why;
    return false;
}

bool CRecordOutbox::Open(bool create)
{
    if (m_open)
        return true;
    const QFileInfo file(m_path);
    if (!file.exists()) {
        if (!create) {
            m_lastError.clear();
            return false;
        }
        if (!QDir().mkpath(file.absolutePath()))
            return Fail(QStringLiteral("cannot create the folder %1").arg(QDir::toNativeSeparators(file.absolutePath())));
    }
    m_db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connectionName);
    m_db.setDatabaseName(m_path);
    m_db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(m_busyMs));
    if (!m_db.open())
        return Fail(m_db.lastError().text().trimmed());
    QSqlQuery query(m_db);
    // The outbox is the last copy of what it holds: every write reaches
    // the disk before the step is counted as kept.
    for (const QString& pragma : {QStringLiteral("PRAGMA journal_mode = WAL"), QStringLiteral("PRAGMA synchronous = FULL")}) {
        if (!query.exec(pragma))
            return Fail(ErrorOf(query));
    }
    for (const char* statement : kSchema) {
        if (!query.exec(QString::fromLatin1(statement)))
            return Fail(ErrorOf(query));
    }
    m_open = true;
    return true;
}

bool CRecordOutbox::Append(const QString& target, const RecordEvent& event)
{
    if (!m_open && !Open(true))
        return false;
    QSqlQuery query(m_db);
    query.prepare(QStringLiteral(
        "INSERT INTO pending (uid, visit, target, queued, event) VALUES (?, ?, ?, ?, ?) ON CONFLICT (uid) DO NOTHING"));
    query.addBindValue(event.uid);
    query.addBindValue(event.visitUid.isNull() ? QStringLiteral("") : event.visitUid);
    query.addBindValue(target);
    query.addBindValue(QDateTime::currentMSecsSinceEpoch());
    query.addBindValue(QString::fromUtf8(RecordEventToJson(event)));
    return query.exec() || Fail(ErrorOf(query));
}

std::optional<std::vector<CRecordOutbox::Entry>> CRecordOutbox::Pending(const QString& target, qint64 afterSeq, int limit)
{
    if (!m_open) {
        Fail(QStringLiteral("the outbox is not open"));
        return std::nullopt;
    }
    QSqlQuery query(m_db);
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT seq, event FROM pending WHERE target = ? AND seq > ? ORDER BY seq LIMIT ?"));
    query.addBindValue(target);
    query.addBindValue(afterSeq);
    query.addBindValue(limit);
    if (!query.exec()) {
        Fail(ErrorOf(query));
        return std::nullopt;
    }
    std::vector<Entry> entries;
    while (query.next())
        entries.push_back({query.value(0).toLongLong(), RecordEventFromJson(query.value(1).toString().toUtf8())});
    return entries;
}

bool CRecordOutbox::Remove(qint64 seq)
{
    QSqlQuery query(m_db);
    query.prepare(QStringLiteral("DELETE FROM pending WHERE seq = ?"));
    query.addBindValue(seq);
    return query.exec() || Fail(ErrorOf(query));
}

std::optional<std::vector<CRecordOutbox::Waiting>> CRecordOutbox::WaitingTargets()
{
    QSqlQuery query(m_db);
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral(
            "SELECT target, COUNT(DISTINCT visit) FROM pending GROUP BY target ORDER BY MIN(seq)"))) {
        Fail(ErrorOf(query));
        return std::nullopt;
    }
    std::vector<Waiting> waiting;
    while (query.next())
        waiting.push_back({query.value(0).toString(), query.value(1).toInt()});
    return waiting;
}

QString CRecordOutbox::WaitingNotice(const QString& path)
{
    CRecordOutbox outbox(path);
    if (!outbox.Open(false))
        return {};
    const std::optional<std::vector<Waiting>> waiting = outbox.WaitingTargets();
    if (!waiting)
        return QStringLiteral("待写队列（%1）无法读取：%2\n").arg(QDir::toNativeSeparators(path), outbox.LastError());
    QString text;
    for (const Waiting& target : *waiting)
        text += QStringLiteral("待写队列（%1）中有 %2 次访问等待写入 %3\n")
                    .arg(QDir::toNativeSeparators(path))
                    .arg(target.visits)
                    .arg(target.target);
    return text;
}

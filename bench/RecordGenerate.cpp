// Fills a service record with a made-up fleet (see RecordFleet.h): N
// terminals with M snapshots each, written through the store as visits
// would write them, many to a transaction.
//
//   record_generate (--db LOCATION | --pg NAME) --terminals N --snapshots M
//   record_generate --copy FILE --pg NAME
//
// The second copies a generated SQLite record into PostgreSQL row by row,
// many rows to a statement: the store's own writes, one statement at a
// time over the socket, take an hour for a million terminals there.
//
// LOCATION is an SQLite file or a postgresql:// address; --pg NAME is
// database NAME on the fleet benchmarks' own server (see FleetPostgres),
// started for the run. The record must be new or empty. Prints the time
// taken and the rate.

#include "FleetPostgres.h"
#include "RecordFleet.h"

#include "records/CRecordStore.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringList>
#include <QUrl>
#include <QUrlQuery>

#include <cstdio>
#include <vector>

namespace {

// Terminals written per transaction.
constexpr int kTerminalsPerTransaction = 500;

int Usage()
{
    std::fprintf(stderr, "usage: record_generate (--db LOCATION | --pg NAME) --terminals N --snapshots M\n");
    return 2;
}

// The tables in an order their references allow (the server checks none
// while copying, see below).
const char* const kTables[] = {"value_sets", "value_set_items", "devices", "reports", "visits", "snapshots",
                               "changes", "change_items", "recorded_steps", "device_links", "profile_checks"};
constexpr int kRowsPerInsert = 200;

bool Fail(const QSqlQuery& query)
{
    std::fprintf(stderr, "%s\n", qPrintable(query.lastError().text()));
    return false;
}

bool CopyTable(QSqlDatabase& from, QSqlDatabase& to, const QString& table)
{
    QSqlQuery read(from);
    read.setForwardOnly(true);
    if (!read.exec(QStringLiteral("SELECT * FROM ") + table))
        return Fail(read);
    const QSqlRecord record = read.record();
    QStringList columns;
    for (int i = 0; i < record.count(); ++i)
        columns << record.fieldName(i);
    const QString row = QStringLiteral("(") + QStringList(columns.size(), QStringLiteral("?")).join(QLatin1Char(',')) + QLatin1Char(')');
    const QString head = QStringLiteral("INSERT INTO %1 (%2) VALUES ").arg(table, columns.join(QLatin1Char(',')));
    QSqlQuery write(to);
    QString prepared;
    std::vector<QVariant> values;
    const auto flush = [&](int rows) {
        if (rows == 0)
            return true;
        const QString sql = head + QStringList(rows, row).join(QLatin1Char(','));
        if (sql != prepared) {
            if (!write.prepare(sql))
                return Fail(write);
            prepared = sql;
        }
        for (const QVariant& value : values)
            write.addBindValue(value);
        values.clear();
        return write.exec() || Fail(write);
    };
    int rows = 0;
    qint64 total = 0;
    while (read.next()) {
        for (int i = 0; i < columns.size(); ++i)
            values.push_back(read.value(i));
        ++total;
        if (++rows == kRowsPerInsert) {
            if (!flush(rows))
                return false;
            rows = 0;
        }
    }
    if (!flush(rows))
        return false;
    std::fprintf(stderr, "%s: %lld rows\n", qPrintable(table), static_cast<long long>(total));
    if (columns.contains(QLatin1String("id"))) {
        QSqlQuery sequence(to);
        if (!sequence.exec(QStringLiteral("SELECT setval(pg_get_serial_sequence('%1', 'id'), COALESCE(MAX(id), 0) + 1, false)"
                                          " FROM %1").arg(table)))
            return Fail(sequence);
    }
    return true;
}

// Copies the SQLite record `file` into the (new, empty) record `location`.
int CopyRecord(const QString& file, const QString& location)
{
    {
        CRecordStore schema(location);
        if (!schema.Open()) {
            std::fprintf(stderr, "%s\n", qPrintable(schema.LastError()));
            return 1;
        }
    }
    QSqlDatabase from = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("copy-from"));
    from.setDatabaseName(file);
    from.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
    QSqlDatabase to = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("copy-to"));
    const QUrl url(location);
    to.setHostName(QUrlQuery(url).queryItemValue(QStringLiteral("host")));
    to.setUserName(url.userName());
    to.setDatabaseName(url.path().mid(1));
    if (!from.open() || !to.open()) {
        std::fprintf(stderr, "%s %s\n", qPrintable(from.lastError().text()), qPrintable(to.lastError().text()));
        return 1;
    }
    QSqlQuery query(to);
    // Devices and snapshots name each other: the references are checked
    // by no trigger while the rows go in (the bench's own superuser).
    for (const char* statement : {"SET session_replication_role = replica", "SET synchronous_commit = off", "BEGIN"}) {
        if (!query.exec(QString::fromLatin1(statement)))
            return Fail(query) ? 0 : 1;
    }
    for (const char* table : kTables) {
        if (!CopyTable(from, to, QString::fromLatin1(table)))
            return 1;
    }
    if (!query.exec(QStringLiteral("COMMIT")) || !query.exec(QStringLiteral("ANALYZE")))
        return Fail(query) ? 0 : 1;
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    QString location;
    QString server;
    QString copy;
    int terminals = 0;
    int snapshots = 0;
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == QLatin1String("--db"))
            location = args[i + 1];
        else if (args[i] == QLatin1String("--copy"))
            copy = args[i + 1];
        else if (args[i] == QLatin1String("--pg"))
            server = args[i + 1];
        else if (args[i] == QLatin1String("--terminals"))
            terminals = args[i + 1].toInt();
        else if (args[i] == QLatin1String("--snapshots"))
            snapshots = args[i + 1].toInt();
        else
            return Usage();
    }
    FleetPostgres postgres(QStringLiteral(SIRENSET_FLEET_DATA "/pg"));
    if (!server.isEmpty()) {
        QString why;
        if (!postgres.Start(&why) || (location = postgres.Database(server, &why)).isEmpty()) {
            std::fprintf(stderr, "%s\n", qPrintable(why));
            return 1;
        }
    }
    if (!copy.isEmpty()) {
        if (server.isEmpty())
            return Usage();
        QElapsedTimer timer;
        timer.start();
        const int status = CopyRecord(copy, location);
        std::printf("copied %s in %.1f s\n", qPrintable(copy), timer.elapsed() / 1000.0);
        return status;
    }
    if (location.isEmpty() || terminals <= 0 || snapshots <= 0)
        return Usage();
    CRecordStore store(location);
    if (!store.Open()) {
        std::fprintf(stderr, "%s\n", qPrintable(store.LastError()));
        return 1;
    }
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    QElapsedTimer timer;
    timer.start();
    for (int first = 0; first < terminals; first += kTerminalsPerTransaction) {
        const int last = std::min(terminals, first + kTerminalsPerTransaction);
        if (!store.BeginBulkWrite()) {
            std::fprintf(stderr, "%s\n", qPrintable(store.LastError()));
            return 1;
        }
        // Visits in the order they happened: every terminal's first, then
        // every terminal's second, ... within the batch.
        for (int snapshot = 0; snapshot < snapshots; ++snapshot) {
            for (int terminal = first; terminal < last; ++terminal) {
                if (!store.RecordReport(recordfleet::FleetVisit(terminal, snapshot, snapshots, now))) {
                    std::fprintf(stderr, "%s\n", qPrintable(store.LastError()));
                    return 1;
                }
            }
        }
        if (!store.EndBulkWrite()) {
            std::fprintf(stderr, "%s\n", qPrintable(store.LastError()));
            return 1;
        }
        if ((last / kTerminalsPerTransaction) % 20 == 0)
            std::fprintf(stderr, "%d terminals, %.0f s\n", last, timer.elapsed() / 1000.0);
    }
    const double seconds = timer.elapsed() / 1000.0;
    std::printf("%d terminals x %d snapshots in %.1f s (%.0f snapshots/s)\n", terminals, snapshots, seconds,
                terminals * static_cast<double>(snapshots) / seconds);
    return 0;
}

// Fills a service record with a made-up fleet (see RecordFleet.h): N
// terminals with M snapshots each, written through the store as visits
// would write them, many to a transaction.
//
//   record_generate (--db LOCATION | --pg NAME) --terminals N --snapshots M
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
#include <QStringList>

#include <cstdio>

namespace {

// Terminals written per transaction.
constexpr int kTerminalsPerTransaction = 500;

int Usage()
{
    std::fprintf(stderr, "usage: record_generate (--db LOCATION | --pg NAME) --terminals N --snapshots M\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    QString location;
    QString server;
    int terminals = 0;
    int snapshots = 0;
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == QLatin1String("--db"))
            location = args[i + 1];
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

// The service record at workshop scale: 10,000 devices with 10 snapshots
// each (reports of about 3 KB, as the simulated terminal sends them), in an
// SQLite file. Prints:
//   record_visit_ms        a visit's new snapshot (entry), store already full
//   record_revisit_ms      an unchanged revisit (no copy, "last seen" only)
//   list_devices_ms        the whole device list
//   filter_value_ms        devices whose latest report holds a value
//   filter_id_ms           devices whose ID begins with a text
//   load_history_ms        one device's snapshots and changes
//   bytes_per_snapshot     database size / snapshots
//   bytes_per_revisit      growth per unchanged revisit
// Goals: a visit under 5 ms, list and filter under 100 ms, under 1 KB per
// unchanged revisit.
//
// The store commits with synchronous=FULL in WAL mode: every record_* figure
// includes one flush of the write-ahead log to the disk (a visit survives a
// power cut), so on a disk with slow flushes those two figures are mostly
// the disk's. Run it in a folder on the disk the record lives on (FOLDER),
// not on a RAM file system.
//
//   record_bench [DEVICES] [SNAPSHOTS] [FOLDER]

#include "records/CRecordStore.h"
#include "sim/ParameterReport.h"
#include "sim/TerminalParameters.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

QByteArray ReportOf(int device, int snapshot)
{
    TerminalParameters parameters = TerminalParameters::Defaults();
    char id[16];
    std::snprintf(id, sizeof id, "%08X", 0x10000000 + device);
    parameters.deviceId = id;
    parameters.simNumber = "139" + std::to_string(10000000 + device);
    parameters.serverIp = "10.0." + std::to_string(snapshot) + "." + std::to_string(device % 250);
    parameters.apn = "APN" + std::to_string(snapshot);
    return QByteArray::fromStdString(ParameterReport::Build(parameters));
}

ReportEvent Entry(const QByteArray& report, qint64 atMs)
{
    ReportEvent event;
    event.trigger = QString::fromLatin1(RecordTrigger::Entry);
    event.report = report;
    event.atMs = atMs;
    event.module = QStringLiteral("SIRENSET-SIM LRM-200 GSM/GPRS");
    event.context = {QStringLiteral("COM3"), QStringLiteral("bench"), QStringLiteral("tech")};
    return event;
}

// The file's size with its write-ahead log folded in.
qint64 DatabaseBytes(const QString& path)
{
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("size"));
        db.setDatabaseName(path);
        if (db.open())
            QSqlQuery(db).exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("size"));
    return QFileInfo(path).size() + QFileInfo(path + QStringLiteral("-wal")).size();
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

template <typename Work>
double MedianMs(int runs, Work work)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        work(i);
        times.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
    }
    return Median(times);
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int devices = argc > 1 ? std::atoi(argv[1]) : 10000;
    const int snapshots = argc > 2 ? std::atoi(argv[2]) : 10;
    QTemporaryDir temporary;
    const QString folder = argc > 3 ? QString::fromLocal8Bit(argv[3]) : temporary.path();
    const QString path = QDir(folder).filePath(QStringLiteral("bench-records.sqlite"));
    QFile::remove(path);

    CRecordStore store(path);
    if (!store.Open()) {
        std::fprintf(stderr, "cannot open %s: %s\n", qPrintable(path), qPrintable(store.LastError()));
        return 1;
    }
    QElapsedTimer fill;
    fill.start();
    qint64 at = 0;
    qint64 reportBytes = 0;
    for (int snapshot = 0; snapshot < snapshots; ++snapshot) {
        for (int device = 0; device < devices; ++device) {
            const QByteArray report = ReportOf(device, snapshot);
            reportBytes += report.size();
            if (!store.RecordReport(Entry(report, ++at))) {
                std::fprintf(stderr, "record failed: %s\n", qPrintable(store.LastError()));
                return 1;
            }
        }
    }
    const double fillSeconds = static_cast<double>(fill.elapsed()) / 1000.0;
    const qint64 filled = DatabaseBytes(path);

    // Visits to the full store: a new snapshot, then the same report again.
    std::vector<QByteArray> fresh;
    for (int i = 0; i < 200; ++i)
        fresh.push_back(ReportOf(i * (devices / 200 + 1) % devices, snapshots + 1));
    const double visitMs = MedianMs(200, [&](int i) { store.RecordReport(Entry(fresh[i], ++at)); });
    const qint64 beforeRevisits = DatabaseBytes(path);
    constexpr int kRevisits = 1000;
    const double revisitMs =
        MedianMs(kRevisits, [&](int i) { store.RecordReport(Entry(fresh[i % fresh.size()], ++at)); });
    const qint64 afterRevisits = DatabaseBytes(path);

    std::size_t listed = 0;
    const double listMs = MedianMs(20, [&](int) { listed = store.ListDevices()->size(); });
    std::size_t matched = 0;
    const double filterValueMs =
        MedianMs(20, [&](int) { matched = store.ListDevices(QStringLiteral("10.0.9.17"))->size(); });
    std::size_t idMatched = 0;
    const double filterIdMs = MedianMs(20, [&](int) { idMatched = store.ListDevices(QStringLiteral("10000ab"))->size(); });
    std::size_t entries = 0;
    const double historyMs = MedianMs(20, [&](int i) {
        char id[16];
        std::snprintf(id, sizeof id, "%08X", 0x10000000 + (i * 397) % devices);
        entries = store.History(QString::fromLatin1(id))->entries.size();
    });

    const qint64 totalSnapshots = static_cast<qint64>(devices) * snapshots;
    std::printf("devices               %d\n", devices);
    std::printf("snapshots             %lld (report %.0f bytes on average)\n", static_cast<long long>(totalSnapshots),
                static_cast<double>(reportBytes) / static_cast<double>(totalSnapshots));
    std::printf("fill_s                %.1f\n", fillSeconds);
    std::printf("record_visit_ms       %.3f\n", visitMs);
    std::printf("record_revisit_ms     %.3f\n", revisitMs);
    std::printf("list_devices_ms       %.1f (%zu devices)\n", listMs, listed);
    std::printf("filter_value_ms       %.1f (%zu devices)\n", filterValueMs, matched);
    std::printf("filter_id_ms          %.1f (%zu devices)\n", filterIdMs, idMatched);
    std::printf("load_history_ms       %.2f (%zu entries)\n", historyMs, entries);
    std::printf("bytes_per_snapshot    %.0f\n", static_cast<double>(filled) / static_cast<double>(totalSnapshots));
    std::printf("bytes_per_revisit     %.0f\n",
                static_cast<double>(afterRevisits - beforeRevisits) / static_cast<double>(kRevisits));
    return 0;
}

// The service record at a province's scale, on SQLite and on PostgreSQL:
// the queries 设备档案, --history and --compliance make, on records that
// record_generate filled (see RecordFleet.h), in the build folder:
//   fleetdata/fleet100k.sqlite  100,000 terminals x 10 snapshots
//   fleet100k, fleet1m          the same, and 1,000,000 x 1, on the
//                               bench's own PostgreSQL server (FleetPostgres)
// Records that are missing are left out. Measures
//   FirstPage        the device list's first page (200 rows)
//   AnyValue         the filter "10.0.0.5" (any value), first page
//   ItemFirstPage    "which terminals have GPRS主中心地址 10.0.0.5", first 200
//   ItemAll          the same, every one of them (a page of 1000 at a time)
//   History          one terminal's snapshots and changes
//   Visit            a new snapshot of a terminal caught (committed to disk)
//   PassReports      ForEachLatestSnapshot over the fleet (reports)
//   PassParsed       the same, each report parsed as a profile check needs
//   PassValues       ForEachLatestValues over the fleet (parsed values)
// Goals at 100,000 x 10: first page 50 ms, item query 100 ms, history
// 20 ms, a visit 5 ms, a pass that leaves a 20-rule compliance within 2 s;
// at 1,000,000 x 1 on PostgreSQL at most three times those figures.
//
//   record_fleet_bench [--benchmark_filter=...]

#include "FleetPostgres.h"
#include "RecordFleet.h"

#include "params/ParameterReport.h"
#include "params/ParameterSet.h"
#include "records/CRecordStore.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

struct Fleet {
    std::string name;
    int terminals = 0;
    std::unique_ptr<CRecordStore> store;
    int visits = 0;  // terminals caught by the Visit bench so far
};

std::vector<std::unique_ptr<Fleet>>& Fleets()
{
    static std::vector<std::unique_ptr<Fleet>> fleets;
    return fleets;
}

void FirstPage(benchmark::State& state, Fleet* fleet)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(fleet->store->DevicePage(QString(), {}, 200)->size());
}

void AnyValue(benchmark::State& state, Fleet* fleet)
{
    std::size_t rows = 0;
    for (auto _ : state)
        rows = fleet->store->DevicePage(QString::fromLatin1(recordfleet::kOldServer), {}, 200)->size();
    state.counters["rows"] = static_cast<double>(rows);
}

void ItemFirstPage(benchmark::State& state, Fleet* fleet)
{
    std::size_t rows = 0;
    for (auto _ : state)
        rows = fleet->store->DevicesWithValue(QStringLiteral("GPRS主中心地址"), QString::fromLatin1(recordfleet::kOldServer), {}, 200)->size();
    state.counters["rows"] = static_cast<double>(rows);
}

void ItemAll(benchmark::State& state, Fleet* fleet)
{
    std::size_t rows = 0;
    for (auto _ : state) {
        rows = 0;
        DevicePageKey after;
        for (;;) {
            const auto page = fleet->store->DevicesWithValue(QStringLiteral("GPRS主中心地址"),
                                                             QString::fromLatin1(recordfleet::kOldServer), after, 1000);
            rows += page->size();
            if (page->size() < 1000)
                break;
            after = DevicePageKey::After(page->back());
        }
    }
    state.counters["terminals"] = static_cast<double>(rows);
}

void History(benchmark::State& state, Fleet* fleet)
{
    const QString key = recordfleet::FleetDeviceId(fleet->terminals / 2 + 17);
    std::size_t entries = 0;
    for (auto _ : state)
        entries = fleet->store->History(key)->entries.size();
    state.counters["entries"] = static_cast<double>(entries);
}

void Visit(benchmark::State& state, Fleet* fleet)
{
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    for (auto _ : state) {
        // Another terminal each time, with a report it has not sent before.
        const int terminal = (fleet->visits++ * 7919) % fleet->terminals;
        ReportEvent event = recordfleet::FleetVisit(terminal, 20 + fleet->visits, 40, now);
        if (!fleet->store->RecordReport(event))
            state.SkipWithError(qPrintable(fleet->store->LastError()));
    }
}

void PassReports(benchmark::State& state, Fleet* fleet)
{
    int devices = 0;
    for (auto _ : state) {
        devices = 0;
        fleet->store->ForEachLatestSnapshot([&](const LatestSnapshot& latest) {
            devices += latest.report.isEmpty() ? 0 : 1;
            return true;
        });
    }
    state.counters["devices"] = devices;
}

void PassParsed(benchmark::State& state, Fleet* fleet)
{
    auto set = std::make_unique<ParameterSet>();
    int devices = 0;
    for (auto _ : state) {
        devices = 0;
        fleet->store->ForEachLatestSnapshot([&](const LatestSnapshot& latest) {
            *set = ParameterSet{};
            ParseParameterReport(latest.report.constData(), static_cast<std::size_t>(latest.report.size()), *set);
            ++devices;
            return true;
        });
    }
    state.counters["devices"] = devices;
}

void PassValues(benchmark::State& state, Fleet* fleet)
{
    int devices = 0;
    for (auto _ : state) {
        devices = 0;
        fleet->store->ForEachLatestValues([&](const LatestValues& latest) {
            devices += latest.values->empty() ? 0 : 1;
            return true;
        });
    }
    state.counters["devices"] = devices;
}

void Add(std::unique_ptr<Fleet> fleet)
{
    if (!fleet->store->Open()) {
        std::fprintf(stderr, "%s: %s\n", fleet->name.c_str(), qPrintable(fleet->store->LastError()));
        return;
    }
    Fleet* f = fleet.get();
    const auto add = [f](const char* what, void (*bench)(benchmark::State&, Fleet*), int iterations) {
        auto* registered = benchmark::RegisterBenchmark((f->name + "/" + what).c_str(), bench, f)
                               ->Unit(benchmark::kMillisecond);
        if (iterations > 0)
            registered->Iterations(iterations);
    };
    add("FirstPage", FirstPage, 0);
    add("AnyValue", AnyValue, 0);
    add("ItemFirstPage", ItemFirstPage, 0);
    add("ItemAll", ItemAll, 0);
    add("History", History, 0);
    add("Visit", Visit, 50);
    add("PassReports", PassReports, 2);
    add("PassParsed", PassParsed, 1);
    add("PassValues", PassValues, 2);
    Fleets().push_back(std::move(fleet));
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QString data = QStringLiteral(SIRENSET_FLEET_DATA);
    struct Record {
        const char* name;
        const char* file;  // SQLite, else PostgreSQL database `name`
        int terminals;
    } const records[] = {
        {"sqlite-100k", "fleet100k.sqlite", 100000},
        {"sqlite-1m", "fleet1m.sqlite", 1000000},
        {"postgres-100k", nullptr, 100000},
        {"postgres-1m", nullptr, 1000000},
    };
    FleetPostgres postgres(data + QStringLiteral("/pg"));
    QString why;
    const bool serverUp = QFileInfo::exists(data + QStringLiteral("/pg/data")) && postgres.Start(&why);
    if (!serverUp && !why.isEmpty())
        std::fprintf(stderr, "PostgreSQL: %s\n", qPrintable(why));
    for (const Record& record : records) {
        auto fleet = std::make_unique<Fleet>();
        fleet->name = record.name;
        fleet->terminals = record.terminals;
        QString location;
        if (record.file) {
            location = data + QLatin1Char('/') + QString::fromLatin1(record.file);
            if (!QFileInfo::exists(location))
                continue;
            const qint64 bytes = QFileInfo(location).size() + QFileInfo(location + QStringLiteral("-wal")).size();
            std::printf("%s: %.0f MB\n", record.name, bytes / 1e6);
        } else {
            const QString name = QString::fromLatin1(record.name).section(QLatin1Char('-'), 1).prepend(QStringLiteral("fleet"));
            const qint64 bytes = serverUp ? postgres.DatabaseBytes(name) : -1;
            if (bytes <= 8 * 1000 * 1000)  // missing or empty
                continue;
            location = postgres.Database(name, &why);
            std::printf("%s: %.0f MB\n", record.name, bytes / 1e6);
        }
        fleet->store = std::make_unique<CRecordStore>(location);
        Add(std::move(fleet));
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    Fleets().clear();
    return 0;
}

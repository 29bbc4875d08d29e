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
//   Compliance       --compliance's judgement of the fleet against a
//                    20-rule profile (a check per distinct value set)
// Goals at 100,000 x 10: first page 50 ms, item query 100 ms, history
// 20 ms, a visit 5 ms, a pass that leaves a 20-rule compliance within 2 s;
// at 1,000,000 x 1 on PostgreSQL at most three times those figures.
//
//   record_fleet_bench [--benchmark_filter=...]

#include "FleetPostgres.h"
#include "RecordFleet.h"

#include "params/ParameterReport.h"
#include "params/ParameterSet.h"
#include "profiles/ProjectProfile.h"
#include "records/CRecordStore.h"
#include "records/FleetJudgement.h"

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
    std::unique_ptr<CRecordStore> lookup;  // the compliance's second connection
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

// A county project's profile of twenty rules, of every kind.
const ProjectProfile& TwentyRules()
{
    static const ProjectProfile profile = [] {
        QString why;
        const std::optional<ProjectProfile> parsed = ParseProjectProfile(QStringLiteral(R"j({
            "name": "县应急广播二期", "version": 3, "rules": [
            {"item": "GPRS主中心地址", "equals": "10.0.0.6"},
            {"item": "GPRS主中心端口", "range": [1, 65535]},
            {"item": "GPRS备份中心地址", "pattern": "[0-9.]+"},
            {"item": "GPRS备份中心端口", "range": [1, 65535]},
            {"item": "主中心DNS服务器IP", "pattern": "[0-9.]+"},
            {"item": "备份中心DNS服务器IP", "pattern": "[0-9.]+"},
            {"item": "数据中心数目", "range": [0, 1]},
            {"item": "无线网络APN", "oneOf": ["CMNET", "CMIOT"], "prefer": "CMIOT"},
            {"item": "心跳包时间(31到65535)", "range": [31, 600]},
            {"item": "调试等级", "range": [0, 2]},
            {"item": "电话预警", "range": [1, 10]},
            {"item": "短信预警", "range": [1, 10]},
            {"item": "FM调频预警", "range": [1, 10]},
            {"item": "对讲机预警", "range": [1, 10]},
            {"item": "设备ID号码(固定8位)", "perUnit": true},
            {"item": "设备SIM号码(固定11位)", "perUnit": true},
            {"list": "管理号码", "maxCount": 5},
            {"list": "授权号码", "maxCount": 100},
            {"list": "备份号码", "maxCount": 10},
            {"module": {"pattern": "LRM-200"}, "since": "2027-03-01"}]})j")
                                                                             .toUtf8(),
                                                                         &why);
        if (!parsed)
            std::fprintf(stderr, "the benchmark's profile: %s\n", qPrintable(why));
        return parsed.value_or(ProjectProfile{});
    }();
    return profile;
}

void Compliance(benchmark::State& state, Fleet* fleet)
{
    int deviating = 0;
    for (auto _ : state) {
        FleetJudgement judgement(TwentyRules());
        if (!JudgeFleet(*fleet->store, TwentyRules(), QDateTime::currentMSecsSinceEpoch(), kDefaultStaleDays, judgement,
                        {}, fleet->lookup.get())) {
            state.SkipWithError(qPrintable(judgement.error.isEmpty() ? fleet->store->LastError() : judgement.error));
            return;
        }
        deviating = judgement.tally.Count(FleetState::Deviates);
    }
    state.counters["deviating"] = deviating;
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
    add("Compliance", Compliance, 2);
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
        fleet->lookup = std::make_unique<CRecordStore>(location);
        if (!fleet->lookup->OpenForReading())
            fleet->lookup.reset();
        Add(std::move(fleet));
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    Fleets().clear();
    return 0;
}

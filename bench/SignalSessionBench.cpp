// The signal meter's work per reading over a long run: a session that has
// already taken N hours of readings at the shortest interval (0.5 s) takes
// one more and works out the figures the meter window shows for it (the
// run's and the chart's). Prints the time per reading and the readings the
// session holds; both must stay flat as the run grows.
//
//   signal_session_bench [--benchmark_filter=...]

#include "signalmeter/SignalSession.h"

#include <benchmark/benchmark.h>

namespace {

constexpr int kIntervalMs = 500;

SignalReading ReadingAt(long long index)
{
    SignalReading reading;
    switch (index % 10) {
    case 7: reading.kind = SignalReading::Kind::Missed; break;
    case 8: reading = ParseSignalReply("+CSQ: 99,99\r\n\r\nOK\r\n"); break;
    default: reading = ParseSignalReply(QByteArray("+CSQ: ") + QByteArray::number(10 + index % 13) + ",0\r\n\r\nOK\r\n");
    }
    return reading;
}

void BM_ReadingAfterHours(benchmark::State& state)
{
    const long long hours = state.range(0);
    const QDateTime start = QDateTime::fromSecsSinceEpoch(1'700'000'000, Qt::UTC);
    SignalSession session;
    session.Start(start);
    long long index = 0;
    for (; index < hours * 3600 * 1000 / kIntervalMs; ++index)
        session.Add(start.addMSecs(index * kIntervalMs), ReadingAt(index));
    for (auto _ : state) {
        const QDateTime at = start.addMSecs(index * kIntervalMs);
        session.Add(at, ReadingAt(index++));
        benchmark::DoNotOptimize(session.FiguresOfRun());
        benchmark::DoNotOptimize(session.FiguresOfChart(at));
    }
    state.counters["chart_samples_kept"] = static_cast<double>(session.ChartSamples().size());
    state.counters["readings_in_run"] = session.FiguresOfRun().samples;
}
// A fixed number of readings after the first N hours, so the run is as long
// as named.
BENCHMARK(BM_ReadingAfterHours)->Arg(0)->Arg(1)->Arg(24)->Iterations(2000)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();

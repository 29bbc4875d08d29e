// Several terminals provisioned at once: `sirenset --apply FILE --port …`
// with one, then eight simulated terminals, each needing the same ten
// items written, with the shipped timing (settle and item pauses, the
// read-back that verifies). Each port has its own worker and reader, so
// eight terminals should take about as long as one, while the CPU time of
// the process grows with the number of terminals.
//
//   BM_ProvisionTerminals/N   real time: from the start of the process to
//                             its exit (wall_s); cpu_s is the process's
//                             user + system time (wait4), cpu_s_per_terminal
//                             that over N.
// Target: wall time of 8 within 10 % of the wall time of 1; cpu_s_per_terminal
// about constant.

#include "sim/ParameterReport.h"
#include "sim/TerminalSimulator.h"

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <fstream>
#include <memory>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include <chrono>
#include <cstdio>
#include <cstdlib>

extern char** environ;

namespace {

constexpr int kChangedItems = 10;

// The terminal's values with ten items changed, all in range.
TerminalParameters Wanted(TerminalParameters p)
{
    p.apn = "FIELDAPN";
    p.ttsSpeed = "7";
    p.ttsVolume = "6";
    p.ttsTone = "4";
    p.mp3Volume = "12";
    p.fmVolume = "21";
    p.debugLevel = "1";
    p.redialInterval = "90";
    p.linkRetryTimes = "9";
    p.phonePriority = 9;
    return p;
}

std::string WriteFile(const TerminalParameters& parameters)
{
    char path[] = "/tmp/sirenset-bench-XXXXXX";
    const int fd = ::mkstemp(path);
    if (fd < 0)
        return {};
    ::close(fd);
    std::string text;
    for (const char c : ParameterReport::Build(parameters)) {
        if (c == '\n')
            text += '\r';
        text += c;
    }
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

struct ChildRun {
    bool ok = false;
    double wallSeconds = 0;
    double cpuSeconds = 0;
    int status = -1;
};

ChildRun RunSirenset(const std::vector<std::string>& arguments)
{
    std::vector<char*> argv;
    std::string program = SIRENSET_BINARY;
    argv.push_back(program.data());
    std::vector<std::string> copies = arguments;
    for (std::string& argument : copies)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    ChildRun run;
    if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ) != 0) {
        posix_spawn_file_actions_destroy(&actions);
        return run;
    }
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    rusage usage{};
    if (::wait4(pid, &status, 0, &usage) != pid)
        return run;
    run.wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    run.cpuSeconds = seconds(usage.ru_utime) + seconds(usage.ru_stime);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.ok = run.status == 0;
    return run;
}

void BM_ProvisionTerminals(benchmark::State& state)
{
    const int terminals = static_cast<int>(state.range(0));
    double cpu = 0;
    double wall = 0;
    for (auto _ : state) {
        SimulatorOptions options;
        options.powerOnDelayMs = 30;
        std::vector<std::unique_ptr<TerminalSimulator>> sims;
        std::vector<std::string> arguments;
        for (int i = 0; i < terminals; ++i) {
            sims.push_back(std::make_unique<TerminalSimulator>(options));
            if (!sims.back()->Start()) {
                state.SkipWithError("the simulator did not start");
                return;
            }
            arguments.insert(arguments.end(), {"--port", sims.back()->DevicePath()});
        }
        const std::string file = WriteFile(Wanted(sims.front()->Parameters()));
        arguments.insert(arguments.end(), {"--apply", file});
        const ChildRun run = RunSirenset(arguments);
        std::remove(file.c_str());
        for (auto& sim : sims)
            sim->Stop();
        if (!run.ok) {
            state.SkipWithError(("sirenset ended with status " + std::to_string(run.status)).c_str());
            return;
        }
        state.SetIterationTime(run.wallSeconds);
        cpu += run.cpuSeconds;
        wall += run.wallSeconds;
    }
    const double iterations = static_cast<double>(state.iterations());
    state.counters["wall_s"] = wall / iterations;
    state.counters["cpu_s"] = cpu / iterations;
    state.counters["cpu_s_per_terminal"] = cpu / iterations / terminals;
    state.counters["items_per_terminal"] = kChangedItems;
}

BENCHMARK(BM_ProvisionTerminals)->Arg(1)->Arg(4)->Arg(8)->Iterations(3)->UseManualTime()->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();

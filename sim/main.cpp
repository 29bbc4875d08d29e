// sirenset-sim: the terminal simulator as a program, for trying the tool by
// hand or from scripts without a terminal on the desk.

#include "sim/SimProgramOptions.h"
#include "sim/TerminalSimulator.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

int g_signalPipe[2] = {-1, -1};

void OnSignal(int signal)
{
    const int saved = errno;
    const char byte = static_cast<char>(signal);
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &byte, 1);
    errno = saved;
}

bool InstallSignals()
{
    if (pipe2(g_signalPipe, O_NONBLOCK | O_CLOEXEC) != 0)
        return false;
    struct sigaction action{};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGUSR1, SIGINT, SIGTERM, SIGHUP}) {
        if (sigaction(signal, &action, nullptr) != 0)
            return false;
    }
    return true;
}

// Reports what changed since the last call (--verbose).
class Reporter {
public:
    explicit Reporter(const TerminalSimulator& sim) : m_sim(sim) {}
    void Report()
    {
        const TerminalMode mode = m_sim.Mode();
        if (mode != m_mode) {
            m_mode = mode;
            std::fprintf(stderr, "[sim] mode: %s\n", TerminalModeName(mode));
        }
        const auto commands = m_sim.ReceivedCommands();
        for (std::size_t i = m_seen; i < commands.size(); ++i)
            std::fprintf(stderr, "[sim] command: %s\n", commands[i].c_str());
        m_seen = commands.size();
    }

private:
    const TerminalSimulator& m_sim;
    TerminalMode m_mode = TerminalMode::Off;
    std::size_t m_seen = 0;
};

// Returns false when the program should end.
bool HandleInputLine(const std::string& line, TerminalSimulator& sim)
{
    if (line == "power") {
        sim.PowerOn();
    } else if (line == "vanish") {
        sim.Vanish();
    } else if (line == "mode") {
        std::printf("%s\n", TerminalModeName(sim.Mode()));
        std::fflush(stdout);
    } else if (line.rfind("signal ", 0) == 0) {
        TerminalIdentity identity = sim.Identity();
        if (ApplySignalSetting(line.substr(7), identity))
            sim.SetIdentity(identity);
        else
            std::fprintf(stderr, "bad signal \"%s\" (LEVEL, LEVEL,BER, silent, garbled, normal)\n", line.c_str() + 7);
    } else if (line == "quit" || line == "exit") {
        return false;
    } else if (!line.empty()) {
        std::fprintf(stderr, "unknown input \"%s\" (power, vanish, mode, signal, quit)\n", line.c_str());
    }
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    const SimProgramOptions options =
        SimProgramOptions::Parse(std::vector<std::string>(argv + 1, argv + argc));
    if (!options.error.empty()) {
        std::fprintf(stderr, "sirenset-sim: %s\n%s", options.error.c_str(),
                     "Try 'sirenset-sim --help'.\n");
        return 2;
    }
    if (options.showHelp) {
        std::fputs(SimProgramOptions::HelpText().c_str(), stdout);
        return 0;
    }
    if (!InstallSignals()) {
        std::perror("sirenset-sim: signals");
        return 1;
    }

    TerminalSimulator sim(options.simulator);
    sim.SetFaults(options.faults);
    if (!options.signal.empty()) {
        TerminalIdentity identity = sim.Identity();
        ApplySignalSetting(options.signal, identity);
        sim.SetIdentity(identity);
    }
    if (options.streamRate > 0)
        sim.StartStreaming(options.streamRate);
    if (!sim.Start()) {
        std::fprintf(stderr, "sirenset-sim: %s\n", sim.LastError().c_str());
        return 1;
    }
    std::printf("%s\n", sim.DevicePath().c_str());
    std::fflush(stdout);

    Reporter reporter(sim);
    bool stdinOpen = true;
    std::string pending;
    bool running = true;
    while (running) {
        pollfd fds[2] = {{g_signalPipe[0], POLLIN, 0}, {stdinOpen ? 0 : -1, POLLIN, 0}};
        const int ready = ::poll(fds, 2, options.verbose ? 100 : -1);
        if (options.verbose)
            reporter.Report();
        if (ready <= 0)
            continue;
        if (fds[0].revents & POLLIN) {
            char signal = 0;
            while (::read(g_signalPipe[0], &signal, 1) == 1) {
                if (signal == SIGUSR1)
                    sim.PowerOn();
                else
                    running = false;
            }
        }
        if (fds[1].revents & (POLLIN | POLLHUP)) {
            char buffer[256];
            const ssize_t n = ::read(0, buffer, sizeof buffer);
            if (n <= 0) {
                stdinOpen = false;  // keep running without a console
                continue;
            }
            pending.append(buffer, static_cast<std::size_t>(n));
            std::size_t end;
            while (running && (end = pending.find('\n')) != std::string::npos) {
                std::string line = pending.substr(0, end);
                pending.erase(0, end + 1);
                if (!line.empty() && line.back() == '\r')
                    line.pop_back();
                running = HandleInputLine(line, sim);
            }
        }
    }
    sim.Stop();
    return 0;
}

// How well the communication-mode display keeps up with a busy line.
//
// A simulated terminal streams data at 92160 bytes/s (a 921600 bit/s line
// running flat out) into the tool's receive path: CSerial's reader thread,
// CDeviceController's communication-mode display (one log entry per read),
// and a real CLogPane on an offscreen QApplication. For the length of a run
// (30 s, or SIRENSET_BENCH_SECONDS) it measures, in text and in hex display:
//   max_stall_ms   the longest a 10 ms timer on the UI thread fired late
//   cpu_pct        CPU of the tool's process as % of one core (getrusage;
//                  the simulator runs in a child process and is not counted)
//   ui_cpu_pct     the UI thread's share of that
//   streamed/shown bytes the simulator wrote and the display showed
//   lost_bytes     what the rate called for but the display did not get:
//                  bytes the simulator held back because the reader fell
//                  behind, plus streamed bytes that never reached the pane
// Each stream runs plain and with a time stamp before every entry.
// Streams: the digits 0-9 with no line end, text lines (CR LF), and binary
// bytes (every value, zeros included) shown as hex and as text. As text, a
// read shows only up to its first zero byte, so that stream's shown bytes
// are fewer than its streamed ones by design; the other three must lose
// nothing.
// Targets: no stall over 50 ms, under 25% of one core.

#include "logpane/CLogPane.h"
#include "device/CDeviceController.h"
#include "device/IDeviceView.h"
#include "serial/PortTable.h"
#include "sim/TerminalSimulator.h"

#include <QApplication>
#include <QEvent>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTime>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <thread>

namespace {

constexpr int kStreamRate = 92160;
constexpr int kProbeIntervalMs = 10;

// ------------------------------------------------------------ simulator

// The simulator lives in a child process, so the CPU measured here is the
// tool's alone. Commands go down one pipe as text lines, answers come back
// up the other.
class SimulatorProcess {
public:
    // Forks the child; call before any thread or QApplication exists.
    bool Start()
    {
        int down[2];
        int up[2];
        if (::pipe(down) != 0 || ::pipe(up) != 0)
            return false;
        m_child = ::fork();
        if (m_child < 0)
            return false;
        if (m_child == 0) {
            ::close(down[1]);
            ::close(up[0]);
            ::_exit(Serve(::fdopen(down[0], "r"), ::fdopen(up[1], "w")));
        }
        ::close(down[0]);
        ::close(up[1]);
        m_commands = ::fdopen(down[1], "w");
        m_answers = ::fdopen(up[0], "r");
        m_devicePath = ReadLine();
        return !m_devicePath.empty() && m_devicePath != "-";
    }

    void Stop()
    {
        if (m_child <= 0)
            return;
        Ask("quit");
        std::fclose(m_commands);
        std::fclose(m_answers);
        ::waitpid(m_child, nullptr, 0);
        m_child = 0;
    }

    const std::string& DevicePath() const { return m_devicePath; }
    std::string Ask(const std::string& command)
    {
        std::fprintf(m_commands, "%s\n", command.c_str());
        std::fflush(m_commands);
        return ReadLine();
    }
    std::uint64_t StreamedBytes() { return std::strtoull(Ask("streamed").c_str(), nullptr, 10); }
    std::uint64_t HeldBackBytes() { return std::strtoull(Ask("heldback").c_str(), nullptr, 10); }

    // What a stream repeats: "digits", "lines" (text lines with CR LF) or
    // "binary" (every byte value once, in a scrambled order, zero included).
    static std::string StreamPattern(const std::string& kind)
    {
        if (kind == "lines") {
            std::string lines;
            for (int line = 0; line < 40; ++line) {
                char buffer[96];
                std::snprintf(buffer, sizeof buffer, "%06d STA=%02d VBAT=12.%02dV RSSI=-%02ddBm MODE=%s\r\n", line,
                              line % 32, (line * 37) % 100, 50 + (line * 13) % 50, line % 3 ? "IDLE" : "ALARM");
                lines += buffer;
            }
            return lines;
        }
        if (kind == "binary") {
            std::string bytes;
            for (int value = 0; value < 256; ++value)
                bytes.push_back(static_cast<char>((value * 167 + 13) & 0xff));  // 167 is odd: a permutation
            return bytes;
        }
        return "0123456789";
    }

private:
    static int Serve(FILE* in, FILE* out)
    {
        SimulatorOptions options;
        options.bootWindowMs = 50;      // no 's' comes: straight to communication mode
        options.powerOnDelayMs = 30;
        options.commEcho = false;
        TerminalSimulator sim(options);
        const bool started = sim.Start();
        std::fprintf(out, "%s\n", started ? sim.DevicePath().c_str() : "-");
        std::fflush(out);
        char line[128];
        while (started && std::fgets(line, sizeof line, in)) {
            const std::string command(line, std::strcspn(line, "\n"));
            std::string answer = "ok";
            if (command == "mode")
                answer = TerminalModeName(sim.Mode());
            else if (command.rfind("stream ", 0) == 0) {
                const std::string kind = command.substr(command.find_last_of(' ') + 1);
                sim.StartStreaming(std::atoi(command.c_str() + 7), StreamPattern(kind));
            }
            else if (command == "heldback")
                answer = std::to_string(sim.StreamHeldBackBytes());
            else if (command == "stop")
                sim.StopStreaming();
            else if (command == "streamed")
                answer = std::to_string(sim.StreamedBytes());
            std::fprintf(out, "%s\n", answer.c_str());
            std::fflush(out);
            if (command == "quit")
                break;
        }
        sim.Stop();
        return 0;
    }

    std::string ReadLine()
    {
        char line[512];
        if (!std::fgets(line, sizeof line, m_answers))
            return {};
        return std::string(line, std::strcspn(line, "\n"));
    }

    pid_t m_child = 0;
    FILE* m_commands = nullptr;
    FILE* m_answers = nullptr;
    std::string m_devicePath;
};

SimulatorProcess* g_simulator = nullptr;

// ------------------------------------------------------------ the tool's side

// Counts the paint events of a widget.
class PaintCounter : public QObject {
public:
    qint64 paints = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return QObject::eventFilter(watched, event);
    }
};

// The window's view as far as the display goes: every entry into a real
// log pane, counted.
class PaneView : public IDeviceView {
public:
    PaneView(bool hex, bool stamped) : m_hex(hex), m_stamped(stamped)
    {
        m_pane.setGeometry(685, 5, 287, 330);  // the communication layout
        m_pane.SetTerminalInput(true);
        m_pane.viewport()->installEventFilter(&m_paints);
        m_pane.show();
    }

    void AppendLog(const QString& line) override
    {
        m_lastLine = line;
        const int before = m_pane.CharacterCount();
        QElapsedTimer took;
        took.start();
        // With time stamps each entry starts with the time it arrived, as
        // the window's 时间戳 switch shows them.
        const QString stamp =
            m_stamped ? QTime::currentTime().toString(QStringLiteral("[hh:mm:ss.zzz] ")) : QString();
        if (m_hex)
            m_pane.AppendHexEntry(stamp, line);
        else
            m_pane.AppendLog(stamp + line);
        m_longestAppendNs = std::max(m_longestAppendNs, took.nsecsElapsed());
        if (m_pane.CharacterCount() < before)
            ++m_paneRestarts;
        ++m_entries;
        // Text: one character per byte for the ASCII streams (binary as
        // text decodes to fewer characters; counted, not compared); hex:
        // "xx" per byte with one blank between bytes.
        m_shownBytes += m_hex ? (line.size() + 1) / 3 : line.size();
    }
    void SetBusy(bool) override {}
    void SetRestartEnabled(bool) override {}
    void SetCommunicationRadioEnabled(bool) override {}
    void ShowPortClosed() override { m_portLost = true; }
    void ShowMessage(const QString&) override {}
    QString CellText(int, int) override { return {}; }
    void SetCellText(int, int, const QString&) override {}
    void LockCell(int, int) override {}
    void ClearNumberPage(int) override {}
    void AppendNumberRow(int, const QString&) override {}
    QStringList NumberRows(int) override { return {}; }
    QStringList TickedNumbers(int) override { return {}; }

    void ResetCounts()
    {
        m_shownBytes = 0;
        m_entries = 0;
        m_longestAppendNs = 0;
        m_paneRestarts = 0;
        m_paints.paints = 0;
    }

    bool m_hex = false;
    bool m_stamped = false;
    PaintCounter m_paints;
    CLogPane m_pane;
    QString m_lastLine;
    qint64 m_shownBytes = 0;
    qint64 m_entries = 0;
    qint64 m_longestAppendNs = 0;
    int m_paneRestarts = 0;
    bool m_portLost = false;
};

bool SpinUntil(const std::function<bool()>& done, int limitMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > limitMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

double CpuSeconds(int who)
{
    rusage usage{};
    ::getrusage(who, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
         + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

int RunSeconds()
{
    const QByteArray text = qgetenv("SIRENSET_BENCH_SECONDS");
    const int seconds = text.isEmpty() ? 30 : text.toInt();
    return seconds > 0 ? seconds : 30;
}

const char* const kStreamKinds[] = {"digits", "lines", "binary", "binary"};

void BM_CommDisplay(benchmark::State& state)
{
    // 0 digits as text, 1 text lines as text, 2 binary as hex, 3 binary as text
    const int stream = static_cast<int>(state.range(0));
    const bool hex = stream == 2;
    const bool everyByteShown = stream != 3;
    const bool stamped = state.range(1) != 0;
    SimulatorProcess& sim = *g_simulator;
    const int port = PortTable::Instance().Add(QString::fromStdString(sim.DevicePath()), QStringLiteral("simulator"));

    PaneView view(hex, stamped);
    CDeviceController device(view);
    device.SetConfigurationMode(false);
    device.SetHexDisplay(hex);
    if (!device.OpenPort(port, 115200)) {
        state.SkipWithError("cannot open the simulator's device");
        return;
    }
    // Power-on: the boot text is shown, then the terminal is a data line.
    if (!SpinUntil([&] { return sim.Ask("mode") == "communication"; }, 5000)) {
        state.SkipWithError("the terminal did not reach communication mode");
        return;
    }
    SpinUntil([] { return false; }, 200);  // the boot text's last reads
    view.ResetCounts();

    qint64 maxLatenessMs = 0;
    qint64 latenessOver50 = 0;
    QElapsedTimer sinceTick;
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        const qint64 lateness = sinceTick.restart() - kProbeIntervalMs;
        maxLatenessMs = std::max(maxLatenessMs, lateness);
        if (lateness > 50)
            ++latenessOver50;
    });

    const std::uint64_t streamedBefore = sim.StreamedBytes();
    const std::uint64_t heldBackBefore = sim.HeldBackBytes();
    const double cpuBefore = CpuSeconds(RUSAGE_SELF);
    const double uiCpuBefore = CpuSeconds(RUSAGE_THREAD);
    QElapsedTimer wall;
    for (auto _ : state) {
        sim.Ask("stream " + std::to_string(kStreamRate) + " " + kStreamKinds[stream]);
        wall.start();
        sinceTick.start();
        probe.start(kProbeIntervalMs);
        QEventLoop loop;
        QTimer::singleShot(RunSeconds() * 1000, &loop, &QEventLoop::quit);
        loop.exec();
        probe.stop();
        sim.Ask("stop");
    }
    const double seconds = wall.elapsed() / 1000.0;
    const double cpu = CpuSeconds(RUSAGE_SELF) - cpuBefore;
    const double uiCpu = CpuSeconds(RUSAGE_THREAD) - uiCpuBefore;

    // Everything written to the line must come through the display.
    const auto streamed = static_cast<qint64>(sim.StreamedBytes() - streamedBefore);
    const auto heldBack = static_cast<qint64>(sim.HeldBackBytes() - heldBackBefore);
    if (everyByteShown)
        SpinUntil([&] { return view.m_shownBytes >= streamed; }, 10000);
    else
        SpinUntil([] { return false; }, 500);
    device.ClosePort();

    state.counters["max_stall_ms"] = double(maxLatenessMs);
    state.counters["stalls_over_50ms"] = double(latenessOver50);
    state.counters["cpu_pct"] = 100.0 * cpu / seconds;
    state.counters["ui_cpu_pct"] = 100.0 * uiCpu / seconds;
    state.counters["streamed_bytes"] = double(streamed);
    state.counters["shown_bytes"] = double(view.m_shownBytes);
    state.counters["held_back_bytes"] = double(heldBack);
    state.counters["lost_bytes"] = double(heldBack + (everyByteShown ? streamed - view.m_shownBytes : 0));
    state.counters["rate_Bps"] = double(streamed) / seconds;
    state.counters["entries"] = double(view.m_entries);
    state.counters["max_append_ms"] = view.m_longestAppendNs / 1e6;
    state.counters["pane_restarts"] = double(view.m_paneRestarts);
    state.counters["paints_per_s"] = double(view.m_paints.paints) / seconds;
    if (view.m_portLost)
        state.SkipWithError("the port was lost");
    else if (heldBack > 0)
        state.SkipWithError("the reader fell behind: the line would have lost bytes");
    else if (everyByteShown && view.m_shownBytes != streamed)
        state.SkipWithError("not every streamed byte reached the display");
}

BENCHMARK(BM_CommDisplay)->ArgNames({"stream", "stamped"})->ArgsProduct({{0, 1, 2, 3}, {0, 1}})->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv)
{
    // The simulator's process first, while this one has no threads yet.
    SimulatorProcess sim;
    if (!sim.Start()) {
        std::fprintf(stderr, "cannot start the terminal simulator\n");
        return 1;
    }
    g_simulator = &sim;

    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    sim.Stop();
    return 0;
}

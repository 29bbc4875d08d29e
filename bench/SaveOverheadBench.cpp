// What a save costs per written item beyond its fixed pauses.
//
// The tool (CDeviceController with its worker, CSerial's reader thread and
// CParameterSaver) saves against a simulated terminal on a pseudo-terminal
// that answers at once. Each iteration changes N items of the parameter
// table (toggling between two valid values, so every iteration writes all
// N) and presses 保存设置; the time runs from the press until the save has
// given the buttons back.
//
//   BM_SaveWithoutPauses/N   settle and item pauses set to 0: the time per
//                            item is the overhead (exchange over the line,
//                            cell reads, comparison, logging).
//   BM_SaveWithDefaultPauses/N  the shipped timing (400 ms settle + 300 ms
//                            pause per item); overhead_ms_per_item is the
//                            time per item minus those 700 ms.
// Target: under 5 ms per item beyond the 700 ms.

#include "device/CDeviceController.h"
#include "device/IDeviceView.h"
#include "params/CParameterSaver.h"
#include "serial/PortTable.h"
#include "sim/TerminalSimulator.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QMap>
#include <QPair>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

namespace {

// The window as far as a save goes: the table's cells, the log and the
// busy state.
class TableView : public IDeviceView {
public:
    void AppendLog(const QString& line) override
    {
        lastLog = line;
        loaded = loaded || line == QStringLiteral("参数加载完成...");
    }
    void SetBusy(bool isBusy) override { busy = isBusy; }
    void SetRestartEnabled(bool) override {}
    void SetCommunicationRadioEnabled(bool) override {}
    void ShowPortClosed() override {}
    void ShowMessage(const QString& text) override { lastMessage = text; }
    QString CellText(int row, int column) override { return cells.value({row, column}); }
    void SetCellText(int row, int column, const QString& text) override { cells[{row, column}] = text; }
    void LockCell(int, int) override {}
    void ClearNumberPage(int) override {}
    void AppendNumberRow(int, const QString&) override {}
    QStringList NumberRows(int) override { return {}; }
    QStringList TickedNumbers(int) override { return {}; }

    QMap<QPair<int, int>, QString> cells;
    QString lastLog;
    QString lastMessage;
    bool loaded = false;
    bool busy = true;
};

// A cell and two values the terminal accepts, neither of them its default.
struct Toggle {
    int row;
    int column;
    QString first;
    QString second;
};

// Items of every procedure, in the order the save sends them.
const std::vector<Toggle>& Toggles()
{
    static const std::vector<Toggle> toggles{
        {1, 1, QStringLiteral("预置内容A"), QStringLiteral("预置内容B")},
        {5, 1, "4", "5"},
        {6, 1, "4", "5"},
        {7, 1, "4", "5"},
        {8, 1, "2", "3"},
        {10, 1, "2", "3"},
        {9, 1, "2", "3"},
        {13, 1, "2", "3"},
        {11, 1, "2", "3"},
        {12, 1, "2", "3"},
        {15, 1, "10", "11"},
        {16, 1, "10", "11"},
        {17, 1, "10", "11"},
        {2, 3, "192.0.2.1", "192.0.2.2"},
        {3, 3, "6001", "6002"},
        {4, 3, "192.0.2.3", "192.0.2.4"},
        {5, 3, "6003", "6004"},
        {6, 3, "223.5.5.5", "223.6.6.6"},
        {7, 3, "1.1.1.1", "1.0.0.1"},
        {9, 3, "1", "2"},
        {11, 3, "0000AAAA", "0000BBBB"},
        {12, 3, "13800000001", "13800000002"},
        {13, 3, "10", "11"},
        {14, 3, "100", "101"},
        {16, 3, "APN1", "APN2"},
        {17, 3, "user1", "user2"},
        {18, 3, "pass1", "pass2"},
        {19, 3, "*99#", "*98#"},
        {20, 3, "+8613800000001", "+8613800000002"},
        {21, 3, "100", "101"},
        {21, 1, "60", "61"},
        {22, 1, "90.00", "91.00"},
        {23, 1, "10", "11"},
        {24, 1, "10", "11"},
        {27, 1, "10", "11"},
        {29, 1, "2", "3"},
        {30, 1, "2", "3"},
        {31, 1, "2", "3"},
    };
    return toggles;
}

Timing WithoutPauses()
{
    Timing timing;
    timing.saveSettleMs = 0;
    timing.itemPauseMs = 0;
    return timing;
}

// The tool in configuration mode on a terminal that answers at once.
class SaveSession {
public:
    explicit SaveSession(const Timing& timing)
        : m_device(m_view, timing), m_saver(m_device)
    {
        SimulatorOptions options;
        options.bootWindowMs = 2000;
        options.powerOnDelayMs = 30;
        options.peerPollMs = 5;
        m_sim = std::make_unique<TerminalSimulator>(options);
        if (!m_sim->Start() || !m_device.Start())
            return;
        const int port = PortTable::Instance().Add(QString::fromStdString(m_sim->DevicePath()),
                                                   QStringLiteral("terminal simulator"));
        if (!m_device.OpenPort(port, 115200))
            return;
        m_device.OnPortOpened();
        m_ready = RunUntilIdle(20000) && m_view.loaded;
    }

    ~SaveSession()
    {
        m_device.Shutdown();
        m_sim->Stop();
    }

    bool Ready() const { return m_ready; }

    // Changes the first `count` items and saves them; true when the save
    // wrote them all.
    bool SaveChanged(int count)
    {
        m_flip = !m_flip;
        for (int i = 0; i < count; ++i) {
            const Toggle& toggle = Toggles()[static_cast<std::size_t>(i)];
            m_view.SetCellText(toggle.row, toggle.column, m_flip ? toggle.first : toggle.second);
        }
        const std::size_t before = m_sim->ReceivedCommands().size();
        m_saver.OnSaveSettings();
        return RunUntilIdle(60000) && m_view.lastLog == QStringLiteral("参数设置完成")
            && m_sim->ReceivedCommands().size() == before + static_cast<std::size_t>(count);
    }

    void ClearSimulatorLogs() { m_sim->ClearLogs(); }

private:
    // Runs the UI thread's event loop, as the window would, until the
    // buttons are given back.
    bool RunUntilIdle(int limitMs)
    {
        QElapsedTimer elapsed;
        elapsed.start();
        QTimer heartbeat;
        heartbeat.start(50);
        while (m_view.busy) {
            if (elapsed.elapsed() > limitMs)
                return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        }
        return true;
    }

    TableView m_view;
    std::unique_ptr<TerminalSimulator> m_sim;
    CDeviceController m_device;
    CParameterSaver m_saver;
    bool m_ready = false;
    bool m_flip = false;
};

std::unique_ptr<SaveSession> g_withoutPauses;
std::unique_ptr<SaveSession> g_defaultPauses;

void RunSaves(benchmark::State& state, SaveSession& session, double fixedMsPerItem)
{
    if (!session.Ready()) {
        state.SkipWithError("the simulated terminal did not enter configuration mode");
        return;
    }
    const int count = static_cast<int>(state.range(0));
    QElapsedTimer elapsed;
    qint64 nanoseconds = 0;
    for (auto _ : state) {
        elapsed.start();
        const bool saved = session.SaveChanged(count);
        nanoseconds += elapsed.nsecsElapsed();
        if (!saved) {
            state.SkipWithError("the save did not write every changed item");
            return;
        }
        session.ClearSimulatorLogs();
    }
    const double items = static_cast<double>(count) * static_cast<double>(state.iterations());
    const double msPerItem = static_cast<double>(nanoseconds) / 1e6 / items;
    state.SetItemsProcessed(static_cast<std::int64_t>(items));
    state.counters["ms_per_item"] = msPerItem;
    state.counters["overhead_ms_per_item"] = msPerItem - fixedMsPerItem;
}

void BM_SaveWithoutPauses(benchmark::State& state)
{
    if (!g_withoutPauses)
        g_withoutPauses = std::make_unique<SaveSession>(WithoutPauses());
    RunSaves(state, *g_withoutPauses, 0.0);
}
BENCHMARK(BM_SaveWithoutPauses)->Arg(1)->Arg(10)->Arg(static_cast<int>(Toggles().size()))->UseRealTime()
    ->Unit(benchmark::kMillisecond);

void BM_SaveWithDefaultPauses(benchmark::State& state)
{
    if (!g_defaultPauses)
        g_defaultPauses = std::make_unique<SaveSession>(Timing{});
    const Timing timing;
    RunSaves(state, *g_defaultPauses, timing.saveSettleMs + timing.itemPauseMs);
}
BENCHMARK(BM_SaveWithDefaultPauses)->Arg(5)->Iterations(2)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    g_withoutPauses.reset();
    g_defaultPauses.reset();
    return 0;
}

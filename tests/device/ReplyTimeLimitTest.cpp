// Which reply time limit each exchange waits with, measured on the wire: the
// terminal stays silent to one command, and the time from that command to
// the tool's next one (its retry, its next query, or a marker queued behind
// the task) is the tool's wait. The limits of the test timing differ from
// one another, so a wait taken from the wrong limit lands nearer to that
// limit than to the right one. The table is typed from the terminal's
// documentation, with each exchange's duration in the shipped program.
#include "DeviceSessionFixture.h"

#include "device/CDeviceQueries.h"
#include "device/CModeSwitcher.h"
#include "numbers/CNumberCommands.h"
#include "params/CParameterSaver.h"

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace {

using Limit = int Timing::*;

// A task of this test only: writes a marker line and waits for nothing, so
// the end of a tested task's wait shows as the next line received. The
// terminal is kept silent to it: a late answer would end the next wait.
constexpr std::int32_t kMarkerTask = 90;
constexpr const char* kMarker = "MARK";

class ReplyTimeLimitTest : public DeviceSessionTest {
protected:
    void SetUp() override
    {
        DeviceSessionTest::SetUp();
        // Long enough to show in a measured wait (a save that skipped it
        // would wait only its reply limit); the short timing keeps it brief
        // because every written item pays it.
        m_timing.saveSettleMs = 100;
        CDeviceController& device = Device();
        m_saver = std::make_unique<CParameterSaver>(device);
        m_saver->SetVerifyAfterSave(false);
        m_numbers = std::make_unique<CNumberCommands>(device);
        device.RegisterTask(kMarkerTask, [&device](DeviceTask&) { device.WriteCommand(QByteArray(kMarker) + '\r'); });
        QObject::connect(&device, &CDeviceController::taskFinished, [this](int code) {
            if (code == kMarkerTask)
                ++m_markersDone;
        });
    }

    void TearDown() override
    {
        // The worker must be gone before the procedures it runs.
        if (m_device)
            m_device->Shutdown();
    }

    // Runs `action` with the terminal silent to `silent`, and returns how
    // long after the line starting with `measured` the next command
    // line arrived; -1 when it did not come.
    long long MeasureWait(const std::vector<std::string>& silent, const std::string& measured,
                          const std::function<void()>& action)
    {
        Sim().ClearLogs();
        SimulatorFaults faults;
        faults.silentPrefixes = silent;
        faults.silentPrefixes.push_back(kMarker);
        Sim().SetFaults(faults);
        const int markersBefore = m_markersDone;
        m_view.SetBusy(true);
        action();
        // Queued behind the task now, so it goes out as soon as the task ends.
        EXPECT_TRUE(Device().PostTask(kMarkerTask));

        std::size_t index = 0;
        const bool arrived = testsupport::WaitUntil([&] {
            const auto commands = Sim().ReceivedCommands();
            const auto found = std::find_if(commands.begin(), commands.end(),
                                            [&](const std::string& c) { return c.starts_with(measured); });
            index = static_cast<std::size_t>(found - commands.begin());
            return found != commands.end();
        });
        EXPECT_TRUE(arrived) << Diagnosis();
        // A retry, or the next command of the entry, is answered again.
        faults.silentPrefixes = {kMarker};
        Sim().SetFaults(faults);
        const bool followed = arrived && testsupport::WaitUntil([&] { return Sim().ReceivedCommands().size() > index + 1; });
        EXPECT_TRUE(testsupport::WaitUntil([&] { return m_markersDone > markersBefore && !m_view.busy; }))
            << Log().toStdString();
        if (!followed) {
            ADD_FAILURE() << "nothing followed it" << Diagnosis();
            return -1;
        }
        const auto times = Sim().ReceivedCommandTimes();
        return std::chrono::duration_cast<std::chrono::milliseconds>(times[index + 1] - times[index]).count();
    }

    std::string Diagnosis()
    {
        std::string text = "\nterminal " + std::string(TerminalModeName(Sim().Mode())) + " received:";
        const auto commands = Sim().ReceivedCommands();
        const auto times = Sim().ReceivedCommandTimes();
        for (std::size_t i = 0; i < commands.size(); ++i) {
            const auto at = std::chrono::duration_cast<std::chrono::milliseconds>(times[i] - times[0]).count();
            text += " [" + commands[i] + "] +" + std::to_string(at) + " ms";
        }
        return text + "\nlog:\n" + Log().toStdString();
    }

    void EnterAgain()
    {
        Device().Modes().OnConfigurationModeChosen(115200);
        Sim().PowerOn();
    }

    std::unique_ptr<CParameterSaver> m_saver;
    std::unique_ptr<CNumberCommands> m_numbers;
    int m_markersDone = 0;
};

struct LimitRow {
    const char* command;               // as the terminal receives it, up to its value
    std::vector<std::string> silentToo;  // commands that must go unanswered before it
    std::vector<Limit> limits;         // what the wait after it is made of
    int shippedMs;                     // that wait in the shipped program
    std::function<void()> action;
};

// The sum of the given durations of a timing.
int Sum(const Timing& timing, const std::vector<Limit>& limits)
{
    int sum = 0;
    for (Limit limit : limits)
        sum += timing.*limit;
    return sum;
}

TEST_F(ReplyTimeLimitTest, EachExchangeWaitsWithItsOwnLimit)
{
    using T = Timing;
    const auto entry = [this] { EnterAgain(); };
    // The task itself: the button queues it only after a pause of its own.
    const auto statusProbe = [this] { Device().PostTask(TaskCode::StatusProbe); };
    const std::vector<LimitRow> rows = {
        // Configuration entry: probe, echo off, module type, read-back.
        {"AT+LRMMCUFUN?", {}, {&T::probeReplyMs}, 2000, entry},
        {"at+noecho", {}, {&T::echoOffReplyMs}, 2000, entry},
        {"ati", {}, {&T::moduleTypeReplyMs}, 2000, entry},
        {"AT+CGMR", {"ati"}, {&T::moduleTypeReplyMs}, 2000, entry},
        {"at+show", {}, {&T::queryReplyMs}, 5000, entry},
        // The dispatcher's queries and maintenance commands.
        {"AT+SHOW", {}, {&T::queryReplyMs}, 5000, [this] { Device().Queries().RequestReadBack(); }},
        {"AT+VER", {}, {&T::queryReplyMs}, 5000, [this] { Device().Queries().RequestVersion(); }},
        {"AT+EXCCLK?", {}, {&T::queryReplyMs}, 5000, [this] { Device().Queries().RequestReadClock(); }},
        {"AT+EXCCLK=", {}, {&T::queryReplyMs}, 5000,
         [this] {
             Device().Queries().RequestSetClock(
                 CDeviceQueries::ManualClockCommand(QStringLiteral("2013/06/09"), QStringLiteral("14:05:00")));
         }},
        {"AT+CPIN?", {}, {&T::queryReplyMs}, 5000, statusProbe},
        {"at+csq", {}, {&T::queryReplyMs}, 5000, statusProbe},
        {"at+ipr?", {}, {&T::queryReplyMs}, 5000, statusProbe},
        {"AT+FACTORY", {}, {&T::queryReplyMs}, 5000, [this] { Device().Queries().RequestFactoryReset(); }},
        // Save items: a pause of 400 ms after the write, then up to 6000 ms.
        {"AT+LRMSETTXT1=", {}, {&T::saveSettleMs, &T::saveReplyMs}, 6400,
         [this] {
             m_view.cells[{1, 1}] = QStringLiteral("timed text");
             m_saver->OnSaveSettings();
         }},
        {"at+apn=", {}, {&T::saveSettleMs, &T::saveReplyMs}, 6400,
         [this] {
             m_view.cells[{16, 3}] = QStringLiteral("TIMEDAPN");
             m_saver->OnSaveSettings();
         }},
        // Number commands and the power-on test: 5000 ms, no pause.
        {"AT+LRMADDADMINNO=", {}, {&T::queryReplyMs}, 5000,
         [this] { m_numbers->RequestAdd(0, QStringLiteral("13900000009")); }},
        {"AT+LRMDELADMINNO=", {}, {&T::queryReplyMs}, 5000,
         [this] {
             m_view.ticked[0] = m_view.pages[0].mid(0, 1);
             m_numbers->RequestDelete();
         }},
        {"AT+LRMSETADMINNO=", {}, {&T::queryReplyMs}, 5000, [this] { m_numbers->RequestReset(0); }},
        {"AT+LRMSNDPOWER", {}, {&T::queryReplyMs}, 5000, [this] { m_numbers->RequestPowerOnTest(); }},
        // Restart into communication mode (last: the tool leaves configuration mode).
        {"at+reset", {}, {&T::restartReplyMs}, 5000, [this] { Device().Modes().OnRestartChosen(); }},
    };

    // Every wait an exchange can have; they must differ for the test to
    // tell them apart.
    const std::vector<std::vector<Limit>> kinds = {
        {&T::probeReplyMs}, {&T::echoOffReplyMs}, {&T::moduleTypeReplyMs}, {&T::queryReplyMs},
        {&T::restartReplyMs}, {&T::saveReplyMs}, {&T::saveSettleMs, &T::saveReplyMs},
    };
    std::vector<int> waits;
    for (const auto& kind : kinds)
        waits.push_back(Sum(m_timing, kind));
    std::vector<int> sorted = waits;
    std::sort(sorted.begin(), sorted.end());
    ASSERT_EQ(std::adjacent_find(sorted.begin(), sorted.end()), sorted.end()) << "test timings must differ";

    ASSERT_TRUE(EnterConfiguration()) << Log().toStdString();
    for (const LimitRow& row : rows) {
        SCOPED_TRACE(row.command);
        EXPECT_EQ(Sum(Timing{}, row.limits), row.shippedMs);
        std::vector<std::string> silent = row.silentToo;
        silent.push_back(row.command);
        const long long waited = MeasureWait(silent, row.command, row.action);
        const int expected = Sum(m_timing, row.limits);
        const int nearest = *std::min_element(waits.begin(), waits.end(), [&](int a, int b) {
            return std::llabs(waited - a) < std::llabs(waited - b);
        });
        EXPECT_EQ(nearest, expected) << "waited " << waited << " ms";
    }
}

}  // namespace

#include "DeviceSessionFixture.h"

#include "device/CDeviceQueries.h"
#include "device/CModeSwitcher.h"
#include "params/ParameterTableLayout.h"

#include <QRegularExpression>

namespace {

using testsupport::SpinFor;
using namespace std::chrono_literals;

SimulatorOptions WaitingForPowerOn()
{
    SimulatorOptions options = testsupport::SimulatorSession::FastOptions();
    options.powerOnWhenOpened = false;
    return options;
}

TEST_F(DeviceSessionTest, TheWholeEntryCatchesProbesAndLoadsTheTerminal)
{
    ASSERT_TRUE(EnterConfiguration()) << Log().toStdString();
    ASSERT_TRUE(WaitUntilIdle());

    // What the terminal heard: 's' until it answered, then the probe, echo
    // off, the module type and the read-back, in this order and nothing else.
    const QByteArray received = QByteArray::fromStdString(Sim().ReceivedBytes());
    static const QRegularExpression expected(
        QStringLiteral("^s+AT\\+LRMMCUFUN\\?\\rat\\+noecho\\rati\\rat\\+show\\r$"));
    EXPECT_TRUE(expected.match(QString::fromLatin1(received)).hasMatch()) << received.toStdString();

    const QStringList log = m_view.logLines;
    ASSERT_EQ(log.size(), 9) << Log().toStdString();
    EXPECT_EQ(log[0], QStringLiteral("工作线程启动..."));
    EXPECT_EQ(log[1], QStringLiteral(">>> 串口已打开，请重新上电设备\r\n正在等待设备上电后进入配置状态..."));
    EXPECT_EQ(log[2], QStringLiteral("设备正在进入配置状态,请等待...."));
    EXPECT_EQ(log[3], QStringLiteral("测试模块"));
    EXPECT_EQ(log[4], QStringLiteral("          测试模块类型"));
    EXPECT_TRUE(log[5].contains(QStringLiteral("OK\r\n")));
    EXPECT_EQ(log[6], QStringLiteral("正在装载设备的配置参数 ...\r\n"));
    EXPECT_TRUE(log[7].contains(QStringLiteral("Alarm admin NO:  13800000001,13800000002,\r\n")));
    EXPECT_TRUE(log[7].endsWith(QStringLiteral("OK\r\n")));
    EXPECT_EQ(log[8], QStringLiteral("参数加载完成..."));

    EXPECT_FALSE(m_view.busy);
    EXPECT_TRUE(m_view.restartEnabled);
    EXPECT_FALSE(Device().ConfigEntryPending());
    EXPECT_FALSE(Device().IsPowerOnPolling());
    EXPECT_EQ(m_view.cells.value({5, 1}), QStringLiteral("1"));
    EXPECT_EQ(m_view.cells.value({21, 3}), QStringLiteral("60"));
    EXPECT_EQ(m_view.pages[0], (QStringList{QStringLiteral("13800000001"), QStringLiteral("13800000002")}));
    EXPECT_EQ(m_view.pages[1].size(), 3);
    EXPECT_EQ(m_view.pages[2].size(), 1);
}

TEST_F(DeviceSessionTest, SlowChunkedRepliesWithZeroBytesStillComplete)
{
    SimulatorFaults faults;
    faults.chunkSize = 16;
    faults.chunkPauseMs = 1;
    faults.zeroBytes = true;
    Sim().SetFaults(faults);
    ASSERT_TRUE(EnterConfiguration()) << Log().toStdString();
    EXPECT_EQ(m_view.cells.value({11, 3}), QStringLiteral("1A2B3C4D"));
    // Every echo-off character reached the terminal, however busy it was.
    EXPECT_FALSE(Sim().EchoOn());
}

class WaitingEntryTest : public DeviceSessionTest {
protected:
    WaitingEntryTest() : DeviceSessionTest(WaitingForPowerOn()) {}

    bool WaitUntilPolling()
    {
        return testsupport::WaitUntil([&] { return Sim().ReceivedBytes().find("ss") != std::string::npos; });
    }
};

TEST_F(WaitingEntryTest, ListAnnouncementEndsTheWaitWithoutABanner)
{
    m_timing.probeAttempts = 1;
    ASSERT_TRUE(OpenPort());
    ASSERT_TRUE(WaitUntilPolling());
    Sim().SendRaw("\r\nAT+LIST\r\n");
    ASSERT_TRUE(WaitForLog(QStringLiteral("测试模块")));
    EXPECT_FALSE(Device().IsPowerOnPolling());
}

TEST_F(WaitingEntryTest, CommunicationModeEndsAWaitingEntryWithoutAnyProbe)
{
    ASSERT_TRUE(OpenPort());
    ASSERT_TRUE(WaitUntilPolling());
    Device().Modes().OnCommunicationModeChosen();
    ASSERT_TRUE(WaitForLog(QStringLiteral(">>> 重启(或重新上电)设备后将进入通信状态！")));
    SpinFor(200ms);
    EXPECT_EQ(Sim().ReceivedBytes().find_first_not_of('s'), std::string::npos);
    EXPECT_FALSE(m_view.logLines.contains(QStringLiteral("测试模块")));
    EXPECT_FALSE(Device().IsPowerOnPolling());
    EXPECT_FALSE(Device().ConfigEntryPending());

    // Back to configuration mode: a fresh entry, once however often clicked.
    Device().Modes().OnConfigurationModeChosen(115200);
    Device().Modes().OnConfigurationModeChosen(115200);
    ASSERT_TRUE(testsupport::WaitUntil(
        [&] { return CountLog(QStringLiteral("设备正在进入配置状态,请等待....")) == 2; }));
    SpinFor(200ms);
    EXPECT_EQ(CountLog(QStringLiteral("设备正在进入配置状态,请等待....")), 2);
    EXPECT_EQ(CountLog(QStringLiteral(">>>要进入配置状态，请先以正确参数打开串口，然后将设备重新上电！")), 2);

    Sim().PowerOn();
    EXPECT_TRUE(WaitForLog(QStringLiteral("参数加载完成...")));
}

const QString kPortLost = QStringLiteral(">>> 串口连接已断开，请检查设备和连接线后重新打开串口...");

TEST_F(WaitingEntryTest, APortThatVanishesEndsAWaitingEntryQuietly)
{
    ASSERT_TRUE(OpenPort());
    ASSERT_TRUE(WaitUntilPolling());
    Sim().Vanish();
    ASSERT_TRUE(WaitForLog(kPortLost));
    ASSERT_TRUE(WaitUntilIdle());
    SpinFor(200ms);
    // Nothing after the port-loss line: the entry ended without a word.
    EXPECT_EQ(m_view.logLines.last(), kPortLost) << Log().toStdString();
    EXPECT_EQ(m_view.portClosedCount, 1);
    EXPECT_FALSE(Device().IsPortOpen());
    EXPECT_FALSE(Device().ConfigEntryPending());
    EXPECT_FALSE(Device().IsPowerOnPolling());
}

// The terminal goes away at each step of the entry; whatever step it was,
// the port-loss line is the last one and the buttons come back.
struct VanishCase {
    const char* name;
    const char* vanishOn;  // the command that unplugs the terminal
};

class EntryVanishTest : public DeviceSessionTest, public ::testing::WithParamInterface<VanishCase> {};

TEST_P(EntryVanishTest, NothingIsLoggedAfterThePortLossLine)
{
    SimulatorFaults faults;
    faults.vanishPrefix = GetParam().vanishOn;
    Sim().SetFaults(faults);
    ASSERT_TRUE(OpenPort());
    ASSERT_TRUE(WaitForLog(kPortLost));
    ASSERT_TRUE(WaitUntilIdle());
    SpinFor(300ms);
    EXPECT_EQ(m_view.logLines.last(), kPortLost) << Log().toStdString();
    for (const char* failure : {"测试模块是否存在失败", "模块类型失败", "参数加载失败...", "设备进入配置失败"})
        EXPECT_FALSE(m_view.logLines.contains(QString::fromUtf8(failure))) << failure;
    EXPECT_FALSE(Device().ConfigEntryPending());
}

INSTANTIATE_TEST_SUITE_P(Steps, EntryVanishTest,
                         ::testing::Values(VanishCase{"Probe", "AT+LRMMCUFUN?"}, VanishCase{"EchoOff", "at+noecho"},
                                           VanishCase{"ModuleType", "ati"}, VanishCase{"ReadBack", "at+show"}),
                         [](const ::testing::TestParamInfo<VanishCase>& info) { return std::string(info.param.name); });

TEST_F(DeviceSessionTest, AnEntryQueuedBeforeCommunicationModeEndsQuietlyWhenItStarts)
{
    ASSERT_TRUE(EnterConfiguration());
    // A slow task in front: the version query waits for its whole time-out.
    SimulatorFaults faults;
    faults.silentPrefixes = {"AT+VER"};
    Sim().SetFaults(faults);
    Sim().ClearLogs();
    const int from = m_view.logLines.size();
    Device().Queries().RequestVersion();
    ASSERT_TRUE(testsupport::WaitUntil([&] { return !Sim().ReceivedCommands().empty(); }));
    Device().Modes().OnConfigurationModeChosen(115200);
    Device().Modes().OnCommunicationModeChosen();
    const std::size_t sentBeforeSwitch = Sim().ReceivedBytes().size();

    ASSERT_TRUE(WaitForLog(QStringLiteral("读取版本失败")));
    SpinFor(std::chrono::milliseconds(m_timing.powerOnPollMs * 10));
    // No 's' into a line that now carries data, and no entry started.
    EXPECT_EQ(Sim().ReceivedBytes().substr(sentBeforeSwitch), "");
    EXPECT_FALSE(LogFrom(from).contains(QStringLiteral("设备正在进入配置状态,请等待....")));
    EXPECT_FALSE(Device().IsPowerOnPolling());
    EXPECT_FALSE(Device().ConfigEntryPending());

    // Back to configuration mode, the entry is queued and runs again.
    Device().Modes().OnConfigurationModeChosen(115200);
    EXPECT_TRUE(WaitForLog(QStringLiteral("设备正在进入配置状态,请等待....")));
}

TEST_F(DeviceSessionTest, TheBannerWhileIdleStartsOneEntryHoweverOftenItRepeats)
{
    ASSERT_TRUE(EnterConfiguration());
    ASSERT_TRUE(WaitUntilIdle());
    Sim().SendRaw("Press 's' key\r\nPress 's' key\r\n");
    Sim().SendRaw("Press 's' key\r\n");
    ASSERT_TRUE(testsupport::WaitUntil(
        [&] { return CountLog(QStringLiteral("设备正在进入配置状态,请等待....")) == 2; }));
    SpinFor(200ms);
    EXPECT_EQ(CountLog(QStringLiteral("设备正在进入配置状态,请等待....")), 2);
}

TEST_F(DeviceSessionTest, ASilentModuleIsGivenUpAfterThirtyProbes)
{
    m_timing.probeReplyMs = 30;
    SimulatorFaults faults;
    faults.silentPrefixes = {"AT+LRMMCUFUN?"};
    Sim().SetFaults(faults);
    ASSERT_TRUE(OpenPort());
    ASSERT_TRUE(WaitForLog(QStringLiteral("测试模块是否存在失败")));
    ASSERT_TRUE(WaitUntilIdle());
    int probes = 0;
    for (const std::string& command : Sim().ReceivedCommands())
        probes += command == "AT+LRMMCUFUN?";
    EXPECT_EQ(probes, 30);
    EXPECT_FALSE(Device().ConfigEntryPending());
    EXPECT_FALSE(m_view.logLines.contains(QStringLiteral("          测试模块类型")));
}

TEST_F(DeviceSessionTest, AReportThatDoesNotParseLeavesTheTableAsItWas)
{
    Sim().ModifyParameters([](TerminalParameters& params) { params.phonePriority = 11; });
    ASSERT_TRUE(OpenPort());
    ASSERT_TRUE(WaitForLog(QStringLiteral("参数加载失败...")));
    ASSERT_TRUE(WaitUntilIdle());
    const int wrong = m_view.logLines.indexOf(QStringLiteral("参数加载存在错误的参数..."));
    ASSERT_GT(wrong, 0);
    const QString report = m_view.logLines[wrong - 1];
    EXPECT_TRUE(report.contains(QStringLiteral("Access Point Name:")));
    EXPECT_EQ(m_view.logLines[wrong + 1], QStringLiteral("参数加载失败..."));
    EXPECT_EQ(m_view.logLines[wrong + 2], report);
    EXPECT_TRUE(m_view.cells.isEmpty());
    EXPECT_FALSE(Device().ConfigEntryPending());
}

TEST_F(DeviceSessionTest, NoReportLeavesTheTableAsItWas)
{
    SimulatorFaults faults;
    faults.silentPrefixes = {"at+show"};
    Sim().SetFaults(faults);
    ASSERT_TRUE(OpenPort());
    ASSERT_TRUE(WaitForLog(QStringLiteral("参数加载失败...")));
    ASSERT_TRUE(WaitUntilIdle());
    EXPECT_TRUE(m_view.cells.isEmpty());
    EXPECT_FALSE(m_view.logLines.contains(QStringLiteral("参数加载完成...")));
}

TEST_F(DeviceSessionTest, RestartSwitchesThePortToTheTerminalsOwnSpeed)
{
    Sim().ModifyParameters([](TerminalParameters& params) { params.serialBaudrate = "38400"; });
    ASSERT_TRUE(EnterConfiguration());
    ASSERT_TRUE(WaitUntilIdle());
    m_view.SetBusy(true);
    ASSERT_TRUE(Device().Modes().OnRestartChosen());
    ASSERT_TRUE(WaitForLog(QStringLiteral(">>> 串口已切换为设备的通讯参数：38400,8,N,1"))) << Log().toStdString();
    ASSERT_TRUE(WaitUntilIdle());
    int rate = 0;
    int bits = 0;
    Parity parity = Parity::Odd;
    ASSERT_TRUE(Device().Serial().QueryLineSettings(&rate, &bits, &parity));
    EXPECT_EQ(rate, 38400);
    EXPECT_EQ(bits, 8);
    EXPECT_EQ(parity, Parity::None);
    EXPECT_TRUE(m_view.logLines.contains(QStringLiteral(">>> 等待设备进入通讯模式")));
    EXPECT_TRUE(std::any_of(m_view.logLines.begin(), m_view.logLines.end(),
                            [](const QString& line) { return line.contains(QStringLiteral("configure program.")); }));
}

TEST_F(DeviceSessionTest, ConfigurationChosenDuringTheRestartKeepsTheConfigurationSpeed)
{
    Sim().ModifyParameters([](TerminalParameters& params) { params.serialBaudrate = "9600"; });
    SimulatorOptions options = Sim().Options();
    options.restartDelayMs = 400;  // the banner comes after the technician's click
    Sim().SetOptions(options);
    ASSERT_TRUE(EnterConfiguration());
    m_view.SetBusy(true);
    ASSERT_TRUE(Device().Modes().OnRestartChosen());
    SpinFor(50ms);
    Device().Modes().OnConfigurationModeChosen(115200);
    // The reboot banner arrives and completes the restart's wait; the port
    // stays at the speed of configuration mode, and the next power-on is
    // caught there.
    ASSERT_TRUE(testsupport::WaitUntil(
        [&] { return CountLog(QStringLiteral("设备正在进入配置状态,请等待....")) == 2; }));
    int rate = 0;
    ASSERT_TRUE(Device().Serial().QueryLineSettings(&rate, nullptr, nullptr));
    EXPECT_EQ(rate, 115200);
    EXPECT_FALSE(std::any_of(m_view.logLines.begin(), m_view.logLines.end(), [](const QString& line) {
        return line.startsWith(QStringLiteral(">>> 串口已切换为设备的通讯参数"));
    })) << Log().toStdString();
    // Caught in its boot window, or at the next power-on.
    if (!testsupport::WaitUntil([&] { return CountLog(QStringLiteral("参数加载完成...")) == 2; }, 3s))
        Sim().PowerOn();
    EXPECT_TRUE(testsupport::WaitUntil([&] { return CountLog(QStringLiteral("参数加载完成...")) == 2; }));
}

TEST_F(DeviceSessionTest, RestartWithARateThePortDoesNotKnowKeepsTheSpeed)
{
    Sim().ModifyParameters([](TerminalParameters& params) { params.serialBaudrate = "12345"; });
    ASSERT_TRUE(EnterConfiguration());
    ASSERT_TRUE(Device().Modes().OnRestartChosen());
    ASSERT_TRUE(WaitForLog(QStringLiteral(">>> 串口已切换为设备的通讯参数：115200,8,N,1"))) << Log().toStdString();
}

TEST_F(DeviceSessionTest, RestartWithoutABannerOnlyGivesTheButtonsBack)
{
    ASSERT_TRUE(EnterConfiguration());
    ASSERT_TRUE(WaitUntilIdle());
    SimulatorFaults faults;
    faults.silentPrefixes = {"at+reset"};
    Sim().SetFaults(faults);
    const int before = m_view.logLines.size();
    m_view.SetBusy(true);
    ASSERT_TRUE(Device().Modes().OnRestartChosen());
    ASSERT_TRUE(WaitUntilIdle());
    EXPECT_EQ(LogFrom(before), QStringList{QStringLiteral(">>> 等待设备进入通讯模式")});
    int rate = 0;
    ASSERT_TRUE(Device().Serial().QueryLineSettings(&rate, nullptr, nullptr));
    EXPECT_EQ(rate, 115200);
}

TEST_F(DeviceSessionTest, RestartWithThePortClosedQueuesNothing)
{
    Device();
    EXPECT_FALSE(Device().Modes().OnRestartChosen());
    EXPECT_TRUE(WaitForLog(QStringLiteral(">>> 请先打开串口.......")));
}

TEST_F(DeviceSessionTest, ConfigurationModeWithThePortClosedAsksToOpenIt)
{
    Device();
    Device().Modes().OnConfigurationModeChosen(115200);
    EXPECT_TRUE(WaitForLog(QStringLiteral(
        ">>> 要进入配置状态，请先以正确参数打开串口，然后将设备重新上电！\r\n正在等待设备上电后进入配置状态...")));
    EXPECT_FALSE(Device().ConfigEntryPending());
}

}  // namespace

#include "DeviceSessionFixture.h"

#include "device/CModeSwitcher.h"

#include <thread>

namespace {

using testsupport::SpinFor;
using testsupport::WaitUntil;
using namespace std::chrono_literals;

class CommunicationDisplayTest : public DeviceSessionTest {
protected:
    void SetUp() override
    {
        DeviceSessionTest::SetUp();
        SimulatorOptions options = Sim().Options();
        options.commEcho = false;
        Sim().SetOptions(options);
        ASSERT_TRUE(EnterConfiguration());
        ASSERT_TRUE(WaitUntilIdle());
        Device().Modes().OnCommunicationModeChosen();
        ASSERT_TRUE(WaitForLog(QStringLiteral(">>> 重启(或重新上电)设备后将进入通信状态！")));
        m_mark = m_view.logLines.size();
    }
    int m_mark = 0;
};

TEST_F(CommunicationDisplayTest, TextIsShownUpToTheFirstZeroByte)
{
    Sim().SendRaw(std::string("OK\r\n\0hidden", 11));
    ASSERT_TRUE(WaitUntil([&] { return m_view.logLines.size() > m_mark; }));
    EXPECT_EQ(m_view.logLines[m_mark], QStringLiteral("OK\r\n"));
}

TEST_F(CommunicationDisplayTest, RepliesAreOnlyShownNeverRecognised)
{
    Device().Reply().Arm(ReplyChannel::AnyOk);
    Sim().SendRaw("OK\r\n");
    ASSERT_TRUE(WaitUntil([&] { return m_view.logLines.size() > m_mark; }));
    EXPECT_FALSE(Device().Reply().Wait(0));
    EXPECT_EQ(Device().Reply().Expected(), ReplyChannel::AnyOk);
}

TEST_F(CommunicationDisplayTest, HexShowsEveryByteInLowerCase)
{
    Device().SetHexDisplay(true);
    Sim().SendRaw(std::string("AB\r\0\xff", 5));
    ASSERT_TRUE(WaitUntil([&] { return m_view.logLines.size() > m_mark; }));
    EXPECT_EQ(m_view.logLines[m_mark], QStringLiteral("41 42 0d 00 ff"));
}

TEST_F(CommunicationDisplayTest, GbkTextIsShownAsChinese)
{
    Sim().SendRaw("\xd4\xa4\xbe\xaf");
    ASSERT_TRUE(WaitUntil([&] { return m_view.logLines.size() > m_mark; }));
    EXPECT_EQ(m_view.logLines[m_mark], QStringLiteral("预警"));
}

TEST_F(DeviceSessionTest, LinesPostedFromSeveralThreadsKeepTheirPostingOrder)
{
    Device();
    ASSERT_TRUE(WaitForLog(QStringLiteral("工作线程启动...")));
    m_view.logLines.clear();
    std::atomic<int> next{0};
    std::mutex order;
    QStringList posted;
    auto poster = [&] {
        for (int i = 0; i < 200; ++i) {
            std::lock_guard guard(order);
            const QString line = QString::number(next++);
            posted << line;
            Device().PostLog(line);
        }
    };
    std::thread a(poster);
    std::thread b(poster);
    poster();
    a.join();
    b.join();
    ASSERT_TRUE(WaitUntil([&] { return m_view.logLines.size() == 600; }));
    EXPECT_EQ(m_view.logLines, posted);
}

TEST_F(DeviceSessionTest, UnknownTaskCodesDoNothingAndUnbuiltOnesGiveTheButtonsBack)
{
    Device();
    m_view.SetBusy(true);
    m_view.busyChanges.clear();
    ASSERT_TRUE(Device().PostTask(18));
    ASSERT_TRUE(Device().PostTask(25));
    ASSERT_TRUE(Device().PostTask(99));
    SpinFor(100ms);
    EXPECT_TRUE(m_view.busyChanges.isEmpty());
    ASSERT_TRUE(Device().PostTask(TaskCode::SaveConfigFile));
    EXPECT_TRUE(WaitUntilIdle());
}

TEST_F(DeviceSessionTest, ClosingDuringAnEntryWaitingForPowerOnDoesNotHang)
{
    SimulatorOptions options = Sim().Options();
    options.powerOnWhenOpened = false;
    Sim().SetOptions(options);
    ASSERT_TRUE(OpenPort());
    ASSERT_TRUE(WaitUntil([&] { return Device().IsPowerOnPolling(); }));
    const auto start = std::chrono::steady_clock::now();
    m_device.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
}

TEST_F(DeviceSessionTest, ClosingDuringACallIntoTheUiThreadDoesNotHang)
{
    Device();
    std::atomic<bool> called{false};
    std::atomic<bool> result{true};
    std::thread worker([&] { result = Device().CallOnUi([&] { called = true; }); });
    // The UI thread never runs the call: it shuts down instead.
    std::this_thread::sleep_for(50ms);
    Device().Shutdown();
    worker.join();
    EXPECT_FALSE(result);
    SpinFor(50ms);
    EXPECT_FALSE(called);
}

TEST_F(DeviceSessionTest, OpeningAPortThatDoesNotExistExplainsWhy)
{
    Device();
    EXPECT_FALSE(Device().OpenPort(1000, 115200));
    ASSERT_TRUE(WaitForLog(QStringLiteral(
        ">>> 要进入配置状态，请先以正确参数打开串口，然后将设备重新上电！\r\n正在等待设备上电后进入配置状态...")));
    EXPECT_TRUE(WaitUntil([&] {
        return std::any_of(m_view.logLines.begin(), m_view.logLines.end(),
                           [](const QString& line) { return line.startsWith(QStringLiteral("串口打开失败：")); });
    }));
}

}  // namespace

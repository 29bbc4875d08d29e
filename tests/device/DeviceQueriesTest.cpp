#include "DeviceSessionFixture.h"

#include "device/CDeviceQueries.h"

namespace {

using testsupport::SpinFor;
using namespace std::chrono_literals;

class DeviceQueriesTest : public DeviceSessionTest {
protected:
    void SetUp() override
    {
        DeviceSessionTest::SetUp();
        ASSERT_TRUE(EnterConfiguration()) << Log().toStdString();
        ASSERT_TRUE(WaitUntilIdle());
        Sim().ClearLogs();
        m_mark = m_view.logLines.size();
    }

    QStringList NewLog() const { return LogFrom(m_mark); }
    std::vector<std::string> Commands() { return Sim().ReceivedCommands(); }

    int m_mark = 0;
};

TEST_F(DeviceQueriesTest, ReadBackFillsTheTableWithTheTerminalsValues)
{
    Sim().ModifyParameters([](TerminalParameters& params) {
        params.apn = "INTERNET";
        params.fmFrequency = "10150";
        params.backupNumbers = {"110", "120"};
    });
    Device().Queries().RequestReadBack();
    EXPECT_TRUE(m_view.busy);
    ASSERT_TRUE(WaitForLog(QStringLiteral("参数加载完成...")));
    ASSERT_TRUE(WaitUntilIdle());
    const QStringList log = NewLog();
    ASSERT_EQ(log.size(), 3) << log.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(log[0], QStringLiteral("参数回读中，请等待..."));
    EXPECT_TRUE(log[1].contains(QStringLiteral("Access Point Name:")));
    EXPECT_EQ(log[2], QStringLiteral("参数加载完成..."));
    EXPECT_EQ(Commands(), std::vector<std::string>{"AT+SHOW"});
    EXPECT_EQ(m_view.cells.value({16, 3}), QStringLiteral("INTERNET"));
    EXPECT_EQ(m_view.cells.value({22, 1}), QStringLiteral("101.50"));
    EXPECT_EQ(m_view.pages[2], (QStringList{QStringLiteral("110"), QStringLiteral("120")}));
}

TEST_F(DeviceQueriesTest, ReadBackWithoutAnswerKeepsTheTable)
{
    SimulatorFaults faults;
    faults.silentPrefixes = {"AT+SHOW"};
    Sim().SetFaults(faults);
    const auto cellsBefore = m_view.cells;
    Device().Queries().RequestReadBack();
    ASSERT_TRUE(WaitForLog(QStringLiteral("参数加载失败")));
    ASSERT_TRUE(WaitUntilIdle());
    EXPECT_EQ(m_view.cells, cellsBefore);
}

TEST_F(DeviceQueriesTest, FactoryResetIsFollowedByAReadBack)
{
    Sim().ModifyParameters([](TerminalParameters& params) { params.apn = "CHANGED"; });
    Device().Queries().RequestFactoryReset();
    ASSERT_TRUE(testsupport::WaitUntil([&] { return NewLog().contains(QStringLiteral("参数加载完成...")); }));
    ASSERT_TRUE(WaitUntilIdle());
    const QStringList log = NewLog();
    ASSERT_GE(log.size(), 5);
    EXPECT_EQ(log[0], QStringLiteral("AT+FACTORY"));
    EXPECT_EQ(log[1], QStringLiteral("恢复出厂设置成功"));
    EXPECT_EQ(log[2], QStringLiteral("参数重新加载中，请等待..."));
    EXPECT_TRUE(log[3].contains(QStringLiteral("Access Point Name:")));
    EXPECT_EQ(log[4], QStringLiteral("参数加载完成..."));
    EXPECT_EQ(Commands(), (std::vector<std::string>{"AT+FACTORY", "AT+SHOW"}));
    EXPECT_EQ(m_view.cells.value({16, 3}), QStringLiteral("CMNET"));
}

TEST_F(DeviceQueriesTest, UnansweredFactoryResetReadsNothingBack)
{
    SimulatorFaults faults;
    faults.silentPrefixes = {"AT+FACTORY"};
    Sim().SetFaults(faults);
    Device().Queries().RequestFactoryReset();
    ASSERT_TRUE(WaitForLog(QStringLiteral("恢复出厂设置失败")));
    ASSERT_TRUE(WaitUntilIdle());
    EXPECT_EQ(NewLog(), (QStringList{QStringLiteral("AT+FACTORY"), QStringLiteral("恢复出厂设置失败")}));
    EXPECT_EQ(Commands(), std::vector<std::string>{"AT+FACTORY"});
}

TEST_F(DeviceQueriesTest, VersionQueryLogsTheReply)
{
    Device().Queries().RequestVersion();
    ASSERT_TRUE(WaitForLog(QStringLiteral("读取版本成功")));
    const QStringList log = NewLog();
    ASSERT_EQ(log.size(), 2);
    EXPECT_TRUE(log[0].contains(QStringLiteral("OK")));
    EXPECT_EQ(Commands(), std::vector<std::string>{"AT+VER"});
}

TEST_F(DeviceQueriesTest, StatusProbeGoesOnAfterAnUnansweredSimQuery)
{
    SimulatorFaults faults;
    faults.silentPrefixes = {"AT+CPIN?"};
    Sim().SetFaults(faults);
    Device().Queries().RequestStatusProbe();
    EXPECT_TRUE(m_view.busy);
    ASSERT_TRUE(WaitForLog(QStringLiteral("读取波特率成功")));
    ASSERT_TRUE(WaitUntilIdle());
    const QStringList log = NewLog();
    ASSERT_EQ(log.size(), 5) << log.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(log[0], QStringLiteral("读取卡状态失败"));
    EXPECT_TRUE(log[1].contains(QStringLiteral("+CSQ")));
    EXPECT_EQ(log[2], QStringLiteral("读取信号成功"));
    EXPECT_TRUE(log[3].contains(QStringLiteral("OK")));
    EXPECT_EQ(log[4], QStringLiteral("读取波特率成功"));
    EXPECT_EQ(Commands(), (std::vector<std::string>{"AT+CPIN?", "at+csq", "at+ipr?"}));
}

TEST_F(DeviceQueriesTest, ClockQuerySendsTwoCarriageReturns)
{
    Device().Queries().RequestReadClock();
    ASSERT_TRUE(WaitForLog(QStringLiteral("读取RTC时间成功")));
    EXPECT_EQ(Sim().ReceivedBytes(), "AT+EXCCLK?\r\r");
}

TEST_F(DeviceQueriesTest, SettingTheClockLogsTheCommandAndTheResult)
{
    const QByteArray command = CDeviceQueries::ManualClockCommand(QStringLiteral("2013/06/09"), QStringLiteral("14:05:00"));
    Device().Queries().RequestSetClock(command);
    ASSERT_TRUE(WaitForLog(QStringLiteral("设置RTC时间成功")));
    EXPECT_EQ(NewLog(), (QStringList{QString::fromLatin1(command), QStringLiteral("设置RTC时间成功")}));
    EXPECT_EQ(Sim().ReceivedBytes(), command.toStdString());
}

TEST_F(DeviceQueriesTest, AVanishingTerminalEndsAQueryWithItsFailureLine)
{
    SimulatorFaults faults;
    faults.vanishPrefix = "AT+VER";
    Sim().SetFaults(faults);
    Device().Queries().RequestVersion();
    ASSERT_TRUE(WaitForLog(QStringLiteral("读取版本失败")));
    EXPECT_FALSE(Device().IsPortOpen());
    EXPECT_EQ(m_view.portClosedCount, 1);
}

TEST(ClockCommand, ManualAndSystemTimeGiveTheSameText)
{
    const QByteArray expected = "AT+EXCCLK=\"2013/06/09,14:05:00\",0\r";
    EXPECT_EQ(CDeviceQueries::ManualClockCommand(QStringLiteral("2013/06/09"), QStringLiteral("14:05:00")), expected);
    EXPECT_EQ(CDeviceQueries::SystemClockCommand(QDateTime(QDate(2013, 6, 9), QTime(14, 5, 0))), expected);
}

TEST(ClockCommand, DayOfWeekRunsFromSundayAsZero)
{
    struct Case {
        QDate date;
        int day;
    };
    const Case cases[] = {
        {QDate(2013, 6, 9), 0}, {QDate(2013, 6, 10), 1}, {QDate(2013, 6, 15), 6},
        {QDate(2024, 2, 29), 4}, {QDate(2000, 1, 1), 6},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CDeviceQueries::DayOfWeek(c.date), c.day) << c.date.toString().toStdString();
}

TEST(ClockCommand, SystemTimePadsEveryField)
{
    EXPECT_EQ(CDeviceQueries::SystemClockCommand(QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5))),
              QByteArray("AT+EXCCLK=\"2026/01/02,03:04:05\",5\r"));
}

}  // namespace

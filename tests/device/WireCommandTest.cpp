// Every command the program sends and every default duration, pinned by
// tables typed from the terminal's documentation rather than taken from the
// code: a constant mistyped in the program fails here even when the
// simulator was written with the same mistake.
#include "DeviceSessionFixture.h"

#include "device/CDeviceQueries.h"
#include "device/CModeSwitcher.h"
#include "numbers/NumberCommandText.h"
#include "params/SavePlan.h"

#include <QDateTime>

#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;

// ---------------------------------------------------------------- durations

TEST(WireTiming, DefaultsAreTheTerminalsOwnDurations)
{
    const Timing timing;
    EXPECT_EQ(timing.powerOnPollMs, 200);        // 's' every 200 ms
    EXPECT_EQ(timing.probeAttempts, 30);         // module probe: 30 attempts
    EXPECT_EQ(timing.probeReplyMs, 2000);        //   of 2000 ms each
    EXPECT_EQ(timing.echoOffAttempts, 3);        // echo off: 3 attempts
    EXPECT_EQ(timing.echoOffReplyMs, 2000);      //   of 2000 ms each
    EXPECT_EQ(timing.moduleTypeReplyMs, 2000);   // "ati" / "AT+CGMR"
    EXPECT_EQ(timing.queryReplyMs, 5000);        // queries, read-back, files, numbers
    EXPECT_EQ(timing.restartReplyMs, 5000);      // "at+reset"
    EXPECT_EQ(timing.saveSettleMs, 400);         // save: 400 ms after the write
    EXPECT_EQ(timing.saveReplyMs, 6000);         //   then up to 6000 ms
    EXPECT_EQ(timing.itemPauseMs, 300);          // 300 ms after a written item
    EXPECT_EQ(timing.statusQueryPauseMs, 300);   // between the status queries
    EXPECT_EQ(timing.statusButtonDelayMs, 300);  // 自动检测 waits 300 ms
    EXPECT_EQ(timing.serialReadWaitMs, 60);      // a read waits at most 60 ms
    EXPECT_EQ(timing.serialWriteConstantMs, 1000);
    EXPECT_EQ(timing.serialWritePerByteMs, 1);
    EXPECT_EQ(timing.clockTickMs, 1000);         // clock text every second
}

// ---------------------------------------------------------------- save items

struct SaveItemRow {
    int row;
    int column;
    const char* prefix;
    int replyCode;
};

// The five procedures in the order the save runs them, each item in its
// sending order.
const std::vector<SaveItemRow> kSaveItems = {
    // Preset texts.
    {1, 1, "AT+LRMSETTXT1=", 4}, {2, 1, "AT+LRMSETTXT2=", 5}, {3, 1, "AT+LRMSETTXT3=", 6},
    // Priorities: intercom before FM, MP3 before preset content and line in.
    {5, 1, "AT+LRMPHNPRIO=", 7}, {6, 1, "AT+LRMSMSPRIO=", 8}, {7, 1, "AT+LRMGPRSPRIO=", 9},
    {8, 1, "AT+LRMMICPRIO=", 10}, {10, 1, "AT+LRMINPHNPRIO=", 11}, {9, 1, "AT+LRMFMPRIO=", 12},
    {13, 1, "AT+LRMMP3PRIO=", 13}, {11, 1, "AT+LRMLCLLRMPRIO=", 14}, {12, 1, "AT+LRMLINEPRIO=", 25},
    // Play counts.
    {15, 1, "AT+LRMSMSPLYNUM=", 15}, {16, 1, "AT+LRMGPRSPLYNUM=", 16}, {17, 1, "AT+LRMLCLLRMPLYNUM=", 17},
    // Data centres, work and network parameters.
    {1, 3, "at+svrcnt=", 25}, {2, 3, "at+ipad=", 25}, {3, 3, "at+port=", 25}, {4, 3, "at+ipsec=", 25},
    {5, 3, "at+ptsec=", 25}, {6, 3, "at+dnssvr=", 25}, {7, 3, "at+dnssv2=", 25}, {9, 3, "at+debug=", 25},
    {10, 3, "at+retmain=", 25}, {11, 3, "at+idnt=", 25}, {12, 3, "at+phon=", 25}, {13, 3, "AT+RETRY=", 25},
    {14, 3, "AT+RDLWT=", 25}, {16, 3, "at+apn=", 25}, {17, 3, "at+username=", 25}, {18, 3, "at+password=", 25},
    {19, 3, "at+cent=", 25}, {20, 3, "at+smsc=", 25}, {21, 3, "at+polltime=", 25},
    // Other settings.
    {19, 1, "AT+LRMSMSRSP=", 25}, {20, 1, "AT+LRMSMSBK=", 25}, {21, 1, "AT+LRMSTATESMSTIME=", 25},
    {22, 1, "AT+LRMFMFREQ=", 25}, {23, 1, "AT+LRMFMSNR=", 25}, {24, 1, "AT+LRMFMVOICE=", 25},
    {25, 1, "AT+LRMFMRECEN=", 25}, {26, 1, "AT+LRMMP3PLYMODE=", 25}, {27, 1, "AT+LRMMP3LVL=", 25},
    {28, 1, "AT+LRMTTSVOICE=", 25}, {29, 1, "AT+LRMTTSLVL=", 25}, {30, 1, "AT+LRMTTSSPEED=", 25},
    {31, 1, "AT+LRMTTSTONE=", 25}, {32, 1, "AT+LRMMCUFUN=", 25}, {33, 1, "AT+LRMSETINPHNOPEN=", 25},
    {34, 1, "AT+LRMAUDIOFUNOPEN=", 25},
};

TEST(WireCommands, EverySaveItemInSendingOrder)
{
    const std::vector<SaveItem>& items = AllSaveItems();
    ASSERT_EQ(items.size(), kSaveItems.size());
    for (std::size_t i = 0; i < items.size(); ++i) {
        SCOPED_TRACE(kSaveItems[i].prefix);
        EXPECT_EQ(items[i].row, kSaveItems[i].row);
        EXPECT_EQ(items[i].column, kSaveItems[i].column);
        EXPECT_STREQ(items[i].commandPrefix, kSaveItems[i].prefix);
        EXPECT_EQ(items[i].replyCode, kSaveItems[i].replyCode);
    }
}

// ---------------------------------------------------------------- numbers and clock

TEST(WireCommands, NumberListAndPowerOnTestCommands)
{
    const char* add[3] = {"AT+LRMADDADMINNO=", "AT+LRMADDLRMNO=", "AT+LRMADDBKNO="};
    const char* del[3] = {"AT+LRMDELADMINNO=", "AT+LRMDELLRMNO=", "AT+LRMDELBKNO="};
    const char* reset[3] = {"AT+LRMSETADMINNO=\r", "AT+LRMSETLRMNO=\r", "AT+LRMSETBKNO=\r"};
    for (int category = 0; category < 3; ++category) {
        EXPECT_EQ(NumberCommandText::AddCommand(category, "123,456"), QByteArray(add[category]) + "123,456\r");
        EXPECT_EQ(NumberCommandText::DeleteCommand(category, {"1", "2"}), QByteArray(del[category]) + "1,2\r");
        EXPECT_EQ(NumberCommandText::ResetCommand(category), QByteArray(reset[category]));
    }
    EXPECT_EQ(NumberCommandText::PowerOnTestCommand(), QByteArray("AT+LRMSNDPOWER\r"));
}

TEST(WireCommands, ClockCommandForASundayAfternoon)
{
    // 9 June 2013, 14:05:00, a Sunday.
    const QByteArray expected = QByteArray("AT+EXCCLK=") + '"' + "2013/06/09,14:05:00" + '"' + ",0\r";
    EXPECT_EQ(CDeviceQueries::ManualClockCommand(QStringLiteral("2013/06/09"), QStringLiteral("14:05:00")), expected);
    EXPECT_EQ(CDeviceQueries::SystemClockCommand(QDateTime(QDate(2013, 6, 9), QTime(14, 5, 0))), expected);
}

// ---------------------------------------------------------------- on the wire

class WireSessionTest : public DeviceSessionTest {
protected:
    // What the terminal received while `action` ran and the task it queued
    // ended.
    std::string ReceivedBy(const std::function<void()>& action)
    {
        const std::size_t before = Sim().ReceivedBytes().size();
        m_view.SetBusy(true);
        action();
        EXPECT_TRUE(WaitUntilIdle());
        return Sim().ReceivedBytes().substr(before);
    }
};

TEST_F(WireSessionTest, TheEntryProbesTurnsEchoOffAsksTheModuleTypeAndReadsBack)
{
    SimulatorFaults faults;
    faults.silentPrefixes = {"ati"};  // so that the second module-type query goes out too
    Sim().SetFaults(faults);
    ASSERT_TRUE(EnterConfiguration()) << Log().toStdString();
    std::string received = Sim().ReceivedBytes();
    const std::size_t polls = received.find_first_not_of('s');
    ASSERT_GT(polls, 0u);
    EXPECT_EQ(received.substr(polls), std::string("AT+LRMMCUFUN?\r"
                                                  "at+noecho\r"
                                                  "ati\r"
                                                  "AT+CGMR\r"
                                                  "at+show\r"));
    EXPECT_FALSE(Sim().EchoOn());
}

TEST_F(WireSessionTest, QueriesAndMaintenanceCommands)
{
    ASSERT_TRUE(EnterConfiguration()) << Log().toStdString();
    CDeviceQueries& queries = Device().Queries();
    EXPECT_EQ(ReceivedBy([&] { queries.RequestReadBack(); }), "AT+SHOW\r");
    EXPECT_EQ(ReceivedBy([&] { queries.RequestVersion(); }), "AT+VER\r");
    EXPECT_EQ(ReceivedBy([&] { queries.RequestReadClock(); }), "AT+EXCCLK?\r\r");
    EXPECT_EQ(ReceivedBy([&] { queries.RequestStatusProbe(); }), "AT+CPIN?\rat+csq\rat+ipr?\r");
    // An acknowledged factory reset reads the parameters back. The buttons
    // come back between the two tasks, so the read-back's own last line is
    // what says the terminal is free again.
    const int loaded = CountLog(QStringLiteral("参数加载完成..."));
    const std::string reset = ReceivedBy([&] { queries.RequestFactoryReset(); });
    ASSERT_TRUE(WaitForLog(QStringLiteral("参数重新加载中，请等待...")));
    ASSERT_TRUE(testsupport::WaitUntil([&] { return CountLog(QStringLiteral("参数加载完成...")) > loaded; }));
    ASSERT_TRUE(WaitUntilIdle());
    EXPECT_EQ(reset.substr(0, 11), "AT+FACTORY\r");
    EXPECT_EQ(ReceivedBy([&] { Device().Modes().OnRestartChosen(); }), "at+reset\r");
}

}  // namespace

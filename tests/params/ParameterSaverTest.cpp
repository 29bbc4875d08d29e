#include "device/CDeviceController.h"
#include "device/CModeSwitcher.h"
#include "params/CParameterSaver.h"
#include "params/GbkText.h"
#include "support/EventLoopWait.h"
#include "support/RecordingRecorder.h"
#include "support/RecordingView.h"
#include "support/ShortTiming.h"
#include "support/SimulatorSession.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <ostream>

namespace {

using namespace std::chrono_literals;
using testsupport::SimulatorSession;
using testsupport::WaitUntil;

constexpr int L = 1;  // value column of the left half
constexpr int R = 3;  // value column of the right half

const QString kSaving = QStringLiteral("参数保存中，请等待...");
const QString kDone = QStringLiteral("参数设置完成");

// The terminal's bytes of a text (GBK).
std::string Gbk(const QString& text)
{
    return UnicodeToGbk(text).value_or("<not GBK>");
}

std::vector<std::string> Wire(const QStringList& commands)
{
    std::vector<std::string> bytes;
    for (const QString& command : commands)
        bytes.push_back(Gbk(command));
    return bytes;
}

// A view that also notes whether the parameter lock is held while the
// worker waits for the UI thread (cell reads, message boxes): it must not be.
class LockProbingView : public RecordingView {
public:
    QString CellText(int row, int column) override
    {
        Probe();
        return RecordingView::CellText(row, column);
    }
    void ShowMessage(const QString& text) override
    {
        Probe();
        RecordingView::ShowMessage(text);
    }

    std::recursive_mutex* paramLock = nullptr;
    int callsUnderLock = 0;

private:
    void Probe()
    {
        if (!paramLock)
            return;
        if (paramLock->try_lock())
            paramLock->unlock();
        else
            ++callsUnderLock;
    }
};

struct CellEdit {
    int row = 0;
    int column = 0;
    QString text;
};

// The tool on a simulated terminal in configuration mode, its table filled
// by the configuration entry's read-back.
class ParameterSaverTest : public ::testing::Test {
protected:
    virtual Timing TestTiming() const { return testsupport::ShortTiming(); }

    void SetUp() override
    {
        ASSERT_TRUE(m_session.Started());
        m_device = std::make_unique<CDeviceController>(m_view, TestTiming());
        m_saver = std::make_unique<CParameterSaver>(*m_device);
        // The save itself; VerifyAfterSaveTest turns the read-back on.
        m_saver->SetVerifyAfterSave(false);
        m_view.paramLock = &m_device->ParamLock();
        m_device->SetRecorder(m_recorder);
        ASSERT_TRUE(m_device->Start());
        ASSERT_TRUE(m_device->OpenPort(m_session.PortNumber(), 115200));
        m_device->OnPortOpened();
        ASSERT_TRUE(WaitUntil(
            [&] { return m_view.logLines.contains(QStringLiteral("参数加载完成...")) && !m_view.busy; }, 20s));
        sim().ClearLogs();
        m_recorder->Clear();
        // Each call to the record notes how many commands had gone out.
        m_recorder->SetProbe([this] { return QString::number(sim().ReceivedCommands().size()); });
    }

    void TearDown() override
    {
        if (m_device)
            m_device->Shutdown();
        m_saver.reset();
        m_device.reset();
        EXPECT_EQ(m_view.callsUnderLock, 0) << "parameter lock held while waiting for the UI thread";
    }

    TerminalSimulator& sim() { return m_session.sim(); }

    // Reads the terminal's parameters back into the table (task 0).
    bool ReadBack()
    {
        m_view.logLines.clear();
        m_view.SetBusy(true);
        if (!m_device->PostTask(TaskCode::ReadBack, "AT+SHOW\r"))
            return false;
        const bool ended = WaitUntil([&] { return !m_view.busy; }, 20s);
        sim().ClearLogs();
        return ended && m_view.logLines.contains(QStringLiteral("参数加载完成..."));
    }

    // Presses 保存设置 and waits until the save gave the buttons back.
    bool Save()
    {
        m_view.logLines.clear();
        m_view.messages.clear();
        m_view.busyChanges.clear();
        m_saver->OnSaveSettings();
        return WaitUntil([&] { return !m_view.busy; }, 60s);
    }

    void Edit(int row, int column, const QString& text) { m_view.cells[{row, column}] = text; }
    void Apply(const std::vector<CellEdit>& edits)
    {
        for (const CellEdit& edit : edits)
            Edit(edit.row, edit.column, edit.text);
    }
    QString Cell(int row, int column) const { return m_view.cells.value({row, column}); }
    std::vector<std::string> Commands() { return m_session.sim().ReceivedCommands(); }
    bool Completed() const { return m_view.logLines.contains(kDone); }

    SimulatorSession m_session;
    LockProbingView m_view;
    std::shared_ptr<RecordingRecorder> m_recorder = std::make_shared<RecordingRecorder>();
    std::unique_ptr<CDeviceController> m_device;
    std::unique_ptr<CParameterSaver> m_saver;
};

// ------------------------------------------------------------ round trip

struct RoundTripItem {
    CellEdit edit;
    QString command;  // without its CR
    QString message;
    bool commandFirst = false;
};

RoundTripItem Alarm(int row, const QString& text, const QString& command, const QString& message)
{
    return {{row, L, text}, command, message, false};
}

RoundTripItem Network(int row, const QString& text, const QString& command, const QString& message)
{
    return {{row, R, text}, command, message, true};
}

// Every editable value changed from the simulator's defaults, in the order
// the save sends them.
std::vector<RoundTripItem> EveryItemChanged()
{
    return {
        Alarm(1, QStringLiteral("请注意：一号预置内容"), QStringLiteral("AT+LRMSETTXT1=请注意：一号预置内容"),
              QStringLiteral("设置内容一成功")),
        Alarm(2, QStringLiteral("Test two 二号"), QStringLiteral("AT+LRMSETTXT2=Test two 二号"),
              QStringLiteral("设置内容二成功")),
        Alarm(3, QStringLiteral("三号预置内容，请撤离。"), QStringLiteral("AT+LRMSETTXT3=三号预置内容，请撤离。"),
              QStringLiteral("设置内容三成功")),
        Alarm(5, QStringLiteral("10"), QStringLiteral("AT+LRMPHNPRIO=10"), QStringLiteral("设置电话等级成功")),
        Alarm(6, QStringLiteral("9"), QStringLiteral("AT+LRMSMSPRIO=9"), QStringLiteral("设置短信等级成功")),
        Alarm(7, QStringLiteral("8"), QStringLiteral("AT+LRMGPRSPRIO=8"), QStringLiteral("设置GPRS等级成功")),
        Alarm(8, QStringLiteral("7"), QStringLiteral("AT+LRMMICPRIO=7"), QStringLiteral("设置麦克风等级成功")),
        Alarm(10, QStringLiteral("6"), QStringLiteral("AT+LRMINPHNPRIO=6"), QStringLiteral("设置对讲机等级成功")),
        Alarm(9, QStringLiteral("4"), QStringLiteral("AT+LRMFMPRIO=4"), QStringLiteral("设置调频等级成功")),
        Alarm(13, QStringLiteral("1"), QStringLiteral("AT+LRMMP3PRIO=1"), QStringLiteral("设置MP3等级成功")),
        Alarm(11, QStringLiteral("3"), QStringLiteral("AT+LRMLCLLRMPRIO=3"), QStringLiteral("设置本地预警等级成功")),
        Alarm(12, QStringLiteral("2"), QStringLiteral("AT+LRMLINEPRIO=2"), QStringLiteral("设置线输入预警的优先级成功")),
        Alarm(15, QStringLiteral("10"), QStringLiteral("AT+LRMSMSPLYNUM=10"), QStringLiteral("设置短信播放次数成功")),
        Alarm(16, QStringLiteral("0"), QStringLiteral("AT+LRMGPRSPLYNUM=0"), QStringLiteral("设置GPRS播放次数成功")),
        Alarm(17, QStringLiteral("65535"), QStringLiteral("AT+LRMLCLLRMPLYNUM=65535"),
              QStringLiteral("设置本地预警播放次数成功")),
        Network(1, QStringLiteral("0"), QStringLiteral("at+svrcnt=0"), QStringLiteral("设置主中心数目成功")),
        Network(2, QStringLiteral("192.0.2.1"), QStringLiteral("at+ipad=192.0.2.1"), QStringLiteral("设置主中心IP成功")),
        Network(3, QStringLiteral("6001"), QStringLiteral("at+port=6001"), QStringLiteral("设置主中心端口成功")),
        Network(4, QStringLiteral("192.0.2.2"), QStringLiteral("at+ipsec=192.0.2.2"), QStringLiteral("设置备份中心IP成功")),
        Network(5, QStringLiteral("6002"), QStringLiteral("at+ptsec=6002"), QStringLiteral("设置备份中心端口成功")),
        Network(6, QStringLiteral("223.5.5.5"), QStringLiteral("at+dnssvr=223.5.5.5"), QStringLiteral("设置主中心DNS成功")),
        Network(7, QStringLiteral("1.1.1.1"), QStringLiteral("at+dnssv2=1.1.1.1"), QStringLiteral("设置备份中心DNS成功")),
        Network(9, QStringLiteral("2"), QStringLiteral("at+debug=2"), QStringLiteral("设置调试等级成功")),
        Network(10, QStringLiteral("否"), QStringLiteral("at+retmain=0"), QStringLiteral("设置返回主中心参数成功")),
        Network(11, QStringLiteral("00FF00aa"), QStringLiteral("at+idnt=00FF00aa"), QStringLiteral("设置设备ID成功")),
        Network(12, QStringLiteral("13800138000"), QStringLiteral("at+phon=13800138000"), QStringLiteral("设置SIM ID成功")),
        Network(13, QStringLiteral("10"), QStringLiteral("AT+RETRY=10"), QStringLiteral("设置断线重连次数成功")),
        Network(14, QStringLiteral("120"), QStringLiteral("AT+RDLWT=120"), QStringLiteral("设置重连间隔时间成功")),
        Network(16, QStringLiteral("CMIOT"), QStringLiteral("at+apn=CMIOT"), QStringLiteral("设置APN成功")),
        Network(17, QStringLiteral("user"), QStringLiteral("at+username=user"), QStringLiteral("设置APN 用户名成功")),
        Network(18, QStringLiteral("pass"), QStringLiteral("at+password=pass"), QStringLiteral("设置APN 密码成功")),
        Network(19, QStringLiteral("*99#"), QStringLiteral("at+cent=*99#"), QStringLiteral("设置拨号中心号码成功")),
        Network(20, QStringLiteral("+8613800138500"), QStringLiteral("at+smsc=+8613800138500"),
                QStringLiteral("设置短信中心号码成功")),
        Network(21, QStringLiteral("300"), QStringLiteral("at+polltime=300"), QStringLiteral("设置心跳时间间隔成功")),
        Alarm(19, QStringLiteral("否"), QStringLiteral("AT+LRMSMSRSP=0"), QStringLiteral("设置短信回执成功")),
        Alarm(20, QStringLiteral("是"), QStringLiteral("AT+LRMSMSBK=1"), QStringLiteral("设置短信备份成功")),
        Alarm(21, QStringLiteral("60"), QStringLiteral("AT+LRMSTATESMSTIME=60"), QStringLiteral("设置状态短信发送时间成功")),
        Alarm(22, QStringLiteral("101.70"), QStringLiteral("AT+LRMFMFREQ=10170"), QStringLiteral("设置FM接收频率成功")),
        Alarm(23, QStringLiteral("12"), QStringLiteral("AT+LRMFMSNR=12"), QStringLiteral("设置FM接收信噪比成功")),
        Alarm(24, QStringLiteral("47"), QStringLiteral("AT+LRMFMVOICE=47"), QStringLiteral("设置FM音量成功")),
        Alarm(25, QStringLiteral("否"), QStringLiteral("AT+LRMFMRECEN=0"), QStringLiteral("设置FM接收使能成功")),
        Alarm(26, QStringLiteral("全部循环"), QStringLiteral("AT+LRMMP3PLYMODE=2"), QStringLiteral("设置mp3播放模式成功")),
        Alarm(27, QStringLiteral("26"), QStringLiteral("AT+LRMMP3LVL=26"), QStringLiteral("设置MP3播放音量成功")),
        Alarm(28, QStringLiteral("男声"), QStringLiteral("AT+LRMTTSVOICE=1"), QStringLiteral("设置TTS语音成功")),
        Alarm(29, QStringLiteral("10"), QStringLiteral("AT+LRMTTSLVL=10"), QStringLiteral("设置TTS播放音量成功")),
        Alarm(30, QStringLiteral("1"), QStringLiteral("AT+LRMTTSSPEED=1"), QStringLiteral("设置TTS播放速度成功")),
        Alarm(31, QStringLiteral("9"), QStringLiteral("AT+LRMTTSTONE=9"), QStringLiteral("设置TTS播放音调成功")),
        Alarm(32, QStringLiteral("否"), QStringLiteral("AT+LRMMCUFUN=2"), QStringLiteral("设置是否附带通讯模块成功")),
        Alarm(33, QStringLiteral("否"), QStringLiteral("AT+LRMSETINPHNOPEN=0"), QStringLiteral("设置是否开启对讲机模块成功")),
        Alarm(34, QStringLiteral("是"), QStringLiteral("AT+LRMAUDIOFUNOPEN=1"), QStringLiteral("设置是否开启拾音器功能成功")),
    };
}

TEST_F(ParameterSaverTest, EveryChangedItemIsWrittenOnceInOrderAndReadsBackAsTyped)
{
    const std::vector<RoundTripItem> items = EveryItemChanged();
    QStringList commands;
    QStringList expectedLog{kSaving};
    for (const RoundTripItem& item : items) {
        ASSERT_NE(Cell(item.edit.row, item.edit.column), item.edit.text) << "not a change: row " << item.edit.row;
        Edit(item.edit.row, item.edit.column, item.edit.text);
        commands << item.command;
        const QString sent = item.command + QLatin1Char('\r');
        expectedLog << (item.commandFirst ? sent : item.message) << (item.commandFirst ? item.message : sent);
    }
    expectedLog << kDone;

    ASSERT_TRUE(Save());
    EXPECT_EQ(Commands(), Wire(commands));
    EXPECT_EQ(m_view.logLines, expectedLog);
    EXPECT_TRUE(m_view.messages.isEmpty());
    EXPECT_EQ(m_view.busyChanges, QList<bool>({true, false}));

    // The terminal keeps what was sent: a read-back shows what was typed.
    for (const RoundTripItem& item : items)
        Edit(item.edit.row, item.edit.column, QStringLiteral("<overwritten>"));
    ASSERT_TRUE(ReadBack());
    for (const RoundTripItem& item : items)
        EXPECT_EQ(Cell(item.edit.row, item.edit.column), item.edit.text) << "row " << item.edit.row;
    EXPECT_EQ(sim().Parameters().presetText1, Gbk(QStringLiteral("请注意：一号预置内容")));

    // Nothing differs any more.
    ASSERT_TRUE(Save());
    EXPECT_TRUE(Commands().empty());
    EXPECT_EQ(m_view.logLines, QStringList({kSaving, kDone}));
}

TEST_F(ParameterSaverTest, SavingWithoutEditsSendsNothing)
{
    ASSERT_TRUE(Save());
    EXPECT_TRUE(Commands().empty());
    EXPECT_EQ(m_view.logLines, QStringList({kSaving, kDone}));
    EXPECT_EQ(m_view.busyChanges, QList<bool>({true, false}));
}

TEST_F(ParameterSaverTest, OneChangedItemLogsItsCommandAndMessageInItsProceduresOrder)
{
    Edit(16, R, QStringLiteral("CMWAP"));
    ASSERT_TRUE(Save());
    EXPECT_EQ(m_view.logLines, QStringList({kSaving, QStringLiteral("at+apn=CMWAP\r"), QStringLiteral("设置APN成功"), kDone}));

    Edit(5, L, QStringLiteral("4"));
    ASSERT_TRUE(Save());
    EXPECT_EQ(m_view.logLines,
              QStringList({kSaving, QStringLiteral("设置电话等级成功"), QStringLiteral("AT+LRMPHNPRIO=4\r"), kDone}));
}

TEST_F(ParameterSaverTest, AButtonPressThatCannotQueueGivesTheButtonsBack)
{
    m_device->Shutdown();
    m_view.busyChanges.clear();
    m_view.logLines.clear();
    m_saver->OnSaveSettings();
    EXPECT_EQ(m_view.busyChanges, QList<bool>({true, false}));
    EXPECT_TRUE(WaitUntil([&] { return m_view.logLines == QStringList{QStringLiteral("参数保存失败")}; }, 2s));
}

// ------------------------------------------------------------ checks and conversions

struct SaveCase {
    const char* name;
    std::vector<CellEdit> edits;
    QStringList commands;  // what the terminal receives, in order, without CR
    QString messageBox;    // the one message box shown, if any
    QString logLine;       // a refusal line in the log, if any
    bool completes = true; // "参数设置完成" logged
};

const QString kIdLength = QStringLiteral("设备ID号必须是8位长度");
const QString kIdHex = QStringLiteral("设备ID号必须是十六进制字符串");
const QString kSimLength = QStringLiteral("SIM 卡号必须是11位长度");
const QString kSmsCentre = QStringLiteral("短信中心号码必须是+，或者数字");
const QString kHeartbeat = QStringLiteral("心跳包大小超出范围,应该介于31到65535之间");
const QString kPlayCounts = QStringLiteral("播放次数参数范围应该是0到65535之间....");
const QString kPresetTooLong = QStringLiteral("设置内容失败,数据长度太长....");
const QString kFmDigits = QStringLiteral("FM接收频率只能是数字格式");

void PrintTo(const SaveCase& c, std::ostream* out)
{
    *out << c.name;
}

SaveCase Passes(const char* name, std::vector<CellEdit> edits, QStringList commands)
{
    return {name, std::move(edits), std::move(commands), {}, {}, true};
}

SaveCase Refused(const char* name, std::vector<CellEdit> edits, QStringList commands, QString messageBox)
{
    return {name, std::move(edits), std::move(commands), std::move(messageBox), {}, false};
}

SaveCase Logged(const char* name, std::vector<CellEdit> edits, QStringList commands, QString logLine)
{
    return {name, std::move(edits), std::move(commands), {}, std::move(logLine), false};
}

QString Repeat(const QString& text, int times)
{
    return text.repeated(times);
}

const QString kEmoji = QString::fromUtf8("\xF0\x9F\x98\x80");

std::vector<SaveCase> SaveCases()
{
    const QString ascii400 = Repeat(QStringLiteral("a"), 400);
    const QString chinese400Bytes = Repeat(QStringLiteral("警"), 200);
    const QString address99 = Repeat(QStringLiteral("h"), 95) + QStringLiteral(".org");
    const QString address100 = Repeat(QStringLiteral("h"), 96) + QStringLiteral(".org");
    return {
        // Device ID: 8 bytes, hexadecimal.
        Passes("IdUpperCase", {{11, R, "1234ABCD"}}, {"at+idnt=1234ABCD"}),
        Passes("IdLowerCase", {{11, R, "1234abcd"}}, {"at+idnt=1234abcd"}),
        Refused("IdSevenCharacters", {{11, R, "1234567"}}, {}, kIdLength),
        Refused("IdNotHex", {{11, R, "1234567G"}}, {}, kIdHex),
        Refused("IdCountedInGbkBytes", {{11, R, QStringLiteral("123456警")}}, {}, kIdHex),
        Refused("IdTenGbkBytes", {{11, R, QStringLiteral("1234567警")}}, {}, kIdLength),
        Refused("IdWinsOverSim", {{11, R, "1234567"}, {12, R, "1391234567"}}, {}, kIdLength),
        // SIM number: 11 bytes, any characters.
        Refused("SimTenCharacters", {{12, R, "1391234567"}}, {}, kSimLength),
        Refused("SimTwelveCharacters", {{12, R, "139123456789"}}, {}, kSimLength),
        Passes("SimElevenLetters", {{12, R, "abcdefghijk"}}, {"at+phon=abcdefghijk"}),
        // SMS centre: "默认", or digits and "+".
        Passes("SmsCentreDefaultUntouched", {{20, R, QStringLiteral("默认")}}, {}),
        Passes("SmsCentreDigits", {{20, R, "+8613800"}}, {"at+smsc=+8613800"}),
        Refused("SmsCentreWithBlank", {{20, R, "+86 13800"}}, {}, kSmsCentre),
        Refused("SmsCentreWinsOverHeartbeat", {{20, R, "+86 1"}, {21, R, "30"}}, {}, kSmsCentre),
        // Heartbeat: 31 to 65535, at most 5 characters.
        Refused("Heartbeat30", {{21, R, "30"}}, {}, kHeartbeat),
        Passes("Heartbeat31", {{21, R, "31"}}, {"at+polltime=31"}),
        Passes("Heartbeat65535", {{21, R, "65535"}}, {"at+polltime=65535"}),
        Refused("Heartbeat65536", {{21, R, "65536"}}, {}, kHeartbeat),
        Refused("HeartbeatSixCharacters", {{21, R, "000031"}}, {}, kHeartbeat),
        Refused("HeartbeatNoDigits", {{21, R, "abc"}}, {}, kHeartbeat),
        // The network checks run after the alarm items were written.
        Refused("PriorityWrittenBeforeNetworkCheck", {{5, L, "4"}, {11, R, "1234567"}}, {"AT+LRMPHNPRIO=4"}, kIdLength),
        // Play counts: 0 to 65535.
        Passes("PlayCount65535", {{15, L, "65535"}}, {"AT+LRMSMSPLYNUM=65535"}),
        Logged("PlayCount65536", {{15, L, "65536"}}, {}, kPlayCounts),
        Logged("PlayCountNegative", {{17, L, "-1"}}, {}, kPlayCounts),
        Passes("PlayCountNoDigitsReadsZero", {{16, L, "abc"}}, {"AT+LRMGPRSPLYNUM=0"}),
        Logged("PlayCountStopsBeforeNetworkCheck", {{6, L, "5"}, {16, L, "70000"}, {11, R, "x"}}, {"AT+LRMSMSPRIO=5"},
               kPlayCounts),
        // Preset texts: at most 400 GBK bytes.
        Passes("Preset400Bytes", {{1, L, ascii400}}, {"AT+LRMSETTXT1=" + ascii400}),
        Logged("Preset401Bytes", {{1, L, ascii400 + "a"}, {5, L, "4"}}, {}, kPresetTooLong),
        Passes("PresetChinese400Bytes", {{2, L, chinese400Bytes}}, {"AT+LRMSETTXT2=" + chinese400Bytes}),
        Logged("PresetChinese401Bytes", {{3, L, chinese400Bytes + "a"}}, {}, kPresetTooLong),
        Logged("PresetCheckWinsOverNetworkCheck", {{1, L, ascii400 + "a"}, {11, R, "1"}}, {}, kPresetTooLong),
        // FM frequency: MHz to units of 10 kHz.
        Passes("Fm87Point5", {{22, L, "87.5"}}, {"AT+LRMFMFREQ=8750"}),
        Passes("Fm76Point20", {{22, L, "76.20"}}, {"AT+LRMFMFREQ=7620"}),
        Passes("Fm108", {{22, L, "108"}}, {"AT+LRMFMFREQ=10800"}),
        Passes("FmRoundsHalfUp", {{22, L, "99.995"}}, {"AT+LRMFMFREQ=10000"}),
        Passes("FmSameValueOtherText", {{22, L, "88.0"}}, {}),
        Passes("FmRoundsToStoredValue", {{22, L, "88.004"}}, {}),
        Refused("FmComma", {{22, L, "87,5"}}, {}, kFmDigits),
        Refused("FmCheckAfterEverythingElse", {{5, L, "4"}, {16, R, "CMWAP"}, {22, L, "87,5"}, {23, L, "9"}},
                {"AT+LRMPHNPRIO=4", "at+apn=CMWAP"}, kFmDigits),
        {"FmEmptyRefusedByTerminal", {{22, L, ""}, {23, L, "9"}}, {"AT+LRMFMFREQ=0"}, {}, {}, false},
        // Numbers and switches.
        Passes("PrioritySameValue", {{5, L, "01"}}, {}),
        Passes("PriorityNewValue", {{5, L, "4"}}, {"AT+LRMPHNPRIO=4"}),
        Passes("ReturnToMainUnchanged", {{10, R, QStringLiteral("是")}}, {}),
        Passes("ReturnToMainOff", {{10, R, QStringLiteral("否")}}, {"at+retmain=0"}),
        Passes("SmsReceiptOff", {{19, L, QStringLiteral("否")}}, {"AT+LRMSMSRSP=0"}),
        Passes("CommModuleOff", {{32, L, QStringLiteral("否")}}, {"AT+LRMMCUFUN=2"}),
        Passes("IntercomEmptyIsSkipped", {{33, L, ""}}, {}),
        Passes("IntercomOff", {{33, L, QStringLiteral("否")}}, {"AT+LRMSETINPHNOPEN=0"}),
        Passes("PickupOn", {{34, L, QStringLiteral("是")}}, {"AT+LRMAUDIOFUNOPEN=1"}),
        Passes("Mp3RepeatOne", {{26, L, QStringLiteral("单曲循环")}}, {"AT+LRMMP3PLYMODE=1"}),
        Passes("Mp3OtherTextIsSingleAsStored", {{26, L, QStringLiteral("随机")}}, {}),
        Passes("TtsMale", {{28, L, QStringLiteral("男声")}}, {"AT+LRMTTSVOICE=1"}),
        // Cells that cannot be saved at all stop the save before anything is sent.
        Refused("EmojiInPresetText", {{1, L, QStringLiteral("警报") + kEmoji}, {5, L, "4"}}, {},
                QStringLiteral("“预置内容一”含有GBK编码无法表示的字符，请修改后再保存")),
        Refused("EmojiInApnStopsEarlierItems", {{2, L, QStringLiteral("新内容")}, {16, R, kEmoji}}, {},
                QStringLiteral("“无线网络APN”含有GBK编码无法表示的字符，请修改后再保存")),
        Refused("EmojiWinsOverNetworkCheck", {{11, R, "1"}, {16, R, "CM" + kEmoji}}, {},
                QStringLiteral("“无线网络APN”含有GBK编码无法表示的字符，请修改后再保存")),
        Refused("CarriageReturnInApn", {{5, L, "4"}, {16, R, "CMNET\rAT+FACTORY"}}, {},
                QStringLiteral("“无线网络APN”含有控制字符，请修改后再保存")),
        Passes("MainCentre99Bytes", {{2, R, address99}}, {"at+ipad=" + address99}),
        Refused("MainCentre100Bytes", {{5, L, "4"}, {2, R, address100}}, {},
                QStringLiteral("“GPRS主中心地址”超过99字节，请修改后再保存")),
        Refused("ApnOf100GbkBytes", {{16, R, Repeat(QStringLiteral("网"), 50)}}, {},
                QStringLiteral("“无线网络APN”超过99字节，请修改后再保存")),
    };
}

class SaveCaseTest : public ParameterSaverTest, public ::testing::WithParamInterface<SaveCase> {};

TEST_P(SaveCaseTest, SendsExactlyTheExpectedCommands)
{
    const SaveCase& c = GetParam();
    Apply(c.edits);
    ASSERT_TRUE(Save());
    EXPECT_EQ(Commands(), Wire(c.commands));
    const QStringList messages = c.messageBox.isEmpty() ? QStringList() : QStringList{c.messageBox};
    EXPECT_EQ(m_view.messages, messages);
    if (!c.logLine.isEmpty()) {
        ASSERT_FALSE(m_view.logLines.isEmpty());
        EXPECT_EQ(m_view.logLines.last(), c.logLine);
    }
    EXPECT_EQ(Completed(), c.completes) << m_view.logLines.join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(m_view.busyChanges, QList<bool>({true, false}));
}

INSTANTIATE_TEST_SUITE_P(Cells, SaveCaseTest, ::testing::ValuesIn(SaveCases()),
                         [](const ::testing::TestParamInfo<SaveCase>& info) { return std::string(info.param.name); });

// ------------------------------------------------------------ stored values

TEST_F(ParameterSaverTest, AConvertedValueEqualToTheStoredOneIsNotSentAgain)
{
    Edit(22, L, QStringLiteral("87.5"));
    ASSERT_TRUE(Save());
    EXPECT_EQ(Commands(), Wire({"AT+LRMFMFREQ=8750"}));
    sim().ClearLogs();
    // The cell still says 87.5, the table would show 87.50: converted, it
    // is the stored 8750.
    ASSERT_TRUE(Save());
    EXPECT_TRUE(Commands().empty());
    EXPECT_TRUE(Completed());
}

TEST_F(ParameterSaverTest, DefaultSmsCentreSendsAnEmptyCentreUntilReadBack)
{
    sim().ModifyParameters([](TerminalParameters& p) { p.smsCentre = "+8613800138500"; });
    ASSERT_TRUE(ReadBack());
    ASSERT_EQ(Cell(20, R), QStringLiteral("+8613800138500"));
    Edit(20, R, QStringLiteral("默认"));
    ASSERT_TRUE(Save());
    EXPECT_EQ(Commands(), Wire({"at+smsc="}));
    EXPECT_EQ(m_view.logLines, QStringList({kSaving, QStringLiteral("at+smsc=\r"), QStringLiteral("设置短信中心号码成功"), kDone}));
    EXPECT_EQ(sim().Parameters().smsCentre, "");

    // The picture holds the empty centre as sent; the cell still says 默认,
    // so a second save sends it again.
    sim().ClearLogs();
    ASSERT_TRUE(Save());
    EXPECT_EQ(Commands(), Wire({"at+smsc="}));
    ASSERT_TRUE(ReadBack());
    EXPECT_EQ(Cell(20, R), QStringLiteral("默认"));
    sim().ClearLogs();
    ASSERT_TRUE(Save());
    EXPECT_TRUE(Commands().empty());
}

TEST_F(ParameterSaverTest, EveryCellIsConvertedBeforeItIsCompared)
{
    // A terminal that reports 0 shows "否", which stands for 2: the untouched
    // cell is sent, and from then on it matches.
    sim().ModifyParameters([](TerminalParameters& p) { p.commModule = "0"; });
    ASSERT_TRUE(ReadBack());
    ASSERT_EQ(Cell(32, L), QStringLiteral("否"));
    ASSERT_TRUE(Save());
    EXPECT_EQ(Commands(), Wire({"AT+LRMMCUFUN=2"}));
    EXPECT_TRUE(Completed());
    sim().ClearLogs();
    ASSERT_TRUE(Save());
    EXPECT_TRUE(Commands().empty());

    Edit(32, L, QStringLiteral("是"));
    ASSERT_TRUE(Save());
    Edit(32, L, QStringLiteral("否"));
    ASSERT_TRUE(Save());
    EXPECT_EQ(Commands(), Wire({"AT+LRMMCUFUN=1", "AT+LRMMCUFUN=2"}));
    EXPECT_EQ(sim().Parameters().commModule, "2");
}

TEST_F(ParameterSaverTest, ModuleSwitchesStoredAsTwoFollowTheirCells)
{
    sim().ModifyParameters([](TerminalParameters& p) {
        p.intercomEnabled = "2";
        p.pickupEnabled = "2";
    });
    ASSERT_TRUE(ReadBack());
    EXPECT_TRUE(m_view.lockedCells.contains({33, L}));
    EXPECT_TRUE(m_view.lockedCells.contains({34, L}));
    // A locked cell that shows neither 是 nor 否 sends nothing.
    m_view.cells.remove({33, L});
    m_view.cells.remove({34, L});
    ASSERT_TRUE(Save());
    EXPECT_TRUE(Commands().empty());
    EXPECT_TRUE(Completed());
    // One that still shows 否 stands for 0, which differs from the stored 2.
    Edit(33, L, QStringLiteral("否"));
    ASSERT_TRUE(Save());
    EXPECT_EQ(Commands(), Wire({"AT+LRMSETINPHNOPEN=0"}));
}

TEST_F(ParameterSaverTest, UntouchedCellsWithBytesThatAreNotGbkAreNotSent)
{
    sim().ModifyParameters([](TerminalParameters& p) {
        p.apn = "CM\xFFNET";
        p.presetText2 = "\xD4\xA4\xBE\xAF\xFF";  // 预警 and a stray byte
    });
    ASSERT_TRUE(ReadBack());
    ASSERT_TRUE(Cell(16, R).contains(QChar::ReplacementCharacter));
    ASSERT_TRUE(Cell(2, L).contains(QChar::ReplacementCharacter));
    ASSERT_TRUE(Save());
    EXPECT_TRUE(Commands().empty());
    EXPECT_TRUE(m_view.messages.isEmpty());
    EXPECT_TRUE(Completed());

    // Another change goes through; the damaged values stay as they are.
    Edit(9, R, QStringLiteral("1"));
    ASSERT_TRUE(Save());
    EXPECT_EQ(Commands(), Wire({"at+debug=1"}));
    EXPECT_EQ(sim().Parameters().apn, "CM\xFFNET");
}

// ------------------------------------------------------------ failures

TEST_F(ParameterSaverTest, TheEchoOfACommandHoldingOkIsNoAcknowledgement)
{
    // A terminal that keeps its echo on and never answers the APN: the echo
    // "at+apn=BOOKNET" holds "OK" but is not the terminal's answer.
    SimulatorFaults faults;
    faults.silentPrefixes = {"at+noecho", "at+apn="};
    sim().SetFaults(faults);
    m_view.logLines.clear();
    m_view.SetBusy(true);
    m_device->Modes().OnConfigurationModeChosen(115200);
    sim().PowerOn();
    ASSERT_TRUE(WaitUntil(
        [&] { return m_view.logLines.contains(QStringLiteral("参数加载完成...")) && !m_view.busy; }, 20s));
    ASSERT_TRUE(sim().EchoOn());
    sim().ClearLogs();

    Edit(16, R, QStringLiteral("BOOKNET"));
    ASSERT_TRUE(Save());
    EXPECT_EQ(Commands(), Wire({"at+apn=BOOKNET"}));
    EXPECT_TRUE(m_view.logLines.contains(QStringLiteral("设置APN失败"))) << m_view.logLines.join(QLatin1Char('|')).toStdString();
    EXPECT_FALSE(m_view.logLines.contains(QStringLiteral("设置APN成功")));
    EXPECT_FALSE(Completed());
}

TEST_F(ParameterSaverTest, AnUnacknowledgedNetworkItemStopsTheSaveAndIsRetriedNextTime)
{
    SimulatorFaults faults;
    faults.silentPrefixes = {"at+ipad="};
    sim().SetFaults(faults);
    Edit(1, R, QStringLiteral("0"));
    Edit(2, R, QStringLiteral("192.0.2.9"));
    Edit(3, R, QStringLiteral("6001"));
    Edit(16, R, QStringLiteral("CMWAP"));
    Edit(23, L, QStringLiteral("9"));

    ASSERT_TRUE(Save());
    EXPECT_EQ(Commands(), Wire({"at+svrcnt=0", "at+ipad=192.0.2.9"}));
    ASSERT_GE(m_view.logLines.size(), 2);
    EXPECT_EQ(m_view.logLines.mid(m_view.logLines.size() - 2),
              QStringList({QStringLiteral("at+ipad=192.0.2.9\r"), QStringLiteral("设置主中心IP失败")}));
    EXPECT_FALSE(Completed());
    EXPECT_EQ(m_view.busyChanges, QList<bool>({true, false}));
    {
        std::lock_guard guard(m_device->ParamLock());
        EXPECT_EQ(m_device->Params().serverCount.View(), "0");
        EXPECT_EQ(m_device->Params().serverIp.View(), "203.0.113.10");
    }

    sim().SetFaults({});
    sim().ClearLogs();
    ASSERT_TRUE(Save());
    EXPECT_EQ(Commands(), Wire({"at+ipad=192.0.2.9", "at+port=6001", "at+apn=CMWAP", "AT+LRMFMSNR=9"}));
    EXPECT_TRUE(Completed());
}

TEST_F(ParameterSaverTest, AnUnacknowledgedPriorityStopsEveryLaterItem)
{
    SimulatorFaults faults;
    faults.silentPrefixes = {"AT+LRMSMSPRIO="};
    sim().SetFaults(faults);
    Edit(5, L, QStringLiteral("4"));
    Edit(6, L, QStringLiteral("5"));
    Edit(7, L, QStringLiteral("6"));
    Edit(12, L, QStringLiteral("1"));
    Edit(15, L, QStringLiteral("7"));
    Edit(16, R, QStringLiteral("CMWAP"));
    Edit(24, L, QStringLiteral("10"));

    ASSERT_TRUE(Save());
    EXPECT_EQ(Commands(), Wire({"AT+LRMPHNPRIO=4", "AT+LRMSMSPRIO=5"}));
    ASSERT_GE(m_view.logLines.size(), 2);
    EXPECT_EQ(m_view.logLines.mid(m_view.logLines.size() - 2),
              QStringList({QStringLiteral("设置短信等级失败"), QStringLiteral("AT+LRMSMSPRIO=5\r")}));
    EXPECT_FALSE(Completed());

    sim().SetFaults({});
    sim().ClearLogs();
    ASSERT_TRUE(Save());
    EXPECT_EQ(Commands(), Wire({"AT+LRMSMSPRIO=5", "AT+LRMGPRSPRIO=6", "AT+LRMLINEPRIO=1", "AT+LRMSMSPLYNUM=7",
                                "at+apn=CMWAP", "AT+LRMFMVOICE=10"}));
    EXPECT_TRUE(Completed());
}

TEST_F(ParameterSaverTest, AValueTheTerminalRefusesStaysUnstored)
{
    Edit(29, L, QStringLiteral("11"));  // TTS volume is 1 to 10
    ASSERT_TRUE(Save());
    EXPECT_EQ(Commands(), Wire({"AT+LRMTTSLVL=11"}));
    EXPECT_EQ(m_view.logLines.mid(1),
              QStringList({QStringLiteral("设置TTS播放音量失败"), QStringLiteral("AT+LRMTTSLVL=11\r")}));
    std::lock_guard guard(m_device->ParamLock());
    EXPECT_EQ(m_device->Params().ttsVolume.View(), "8");
}

// A save that waits for a silent terminal, or pauses after an item, ends
// when the program closes instead of keeping the worker.
class ParameterSaverShutdownTest : public ParameterSaverTest {
protected:
    Timing TestTiming() const override
    {
        Timing timing = testsupport::ShortTiming();
        timing.saveReplyMs = 600000;
        timing.itemPauseMs = 600000;
        return timing;
    }

    void ExpectShutdownReleasesTheSave()
    {
        const auto start = std::chrono::steady_clock::now();
        m_device->Shutdown();
        EXPECT_LT(std::chrono::steady_clock::now() - start, 60s);
    }
};

TEST_F(ParameterSaverShutdownTest, ClosingReleasesAReplyWait)
{
    SimulatorFaults faults;
    faults.silentPrefixes = {"at+apn="};
    sim().SetFaults(faults);
    Edit(16, R, QStringLiteral("CMWAP"));
    m_saver->OnSaveSettings();
    ASSERT_TRUE(WaitUntil([&] { return Commands() == Wire({"at+apn=CMWAP"}); }));
    ExpectShutdownReleasesTheSave();
    // Closing while the item waits: it was sent and never answered.
    EXPECT_EQ(m_recorder->Calls(), QStringList({QStringLiteral("begun parameters @0"),
                                                QStringLiteral("item 无线网络APN=CMWAP no @1"),
                                                QStringLiteral("done parameters 失败 - 1 @1")}));
}

TEST_F(ParameterSaverShutdownTest, ClosingReleasesTheItemPause)
{
    Edit(16, R, QStringLiteral("CMWAP"));
    m_saver->OnSaveSettings();
    ASSERT_TRUE(WaitUntil([&] { return m_view.logLines.contains(QStringLiteral("设置APN成功")); }));
    ExpectShutdownReleasesTheSave();
}

// ------------------------------------------------------------ verification

// Saves that read the terminal back afterwards and compare what they wrote.
class VerifyAfterSaveTest : public ParameterSaverTest {
protected:
    void SetUp() override
    {
        ParameterSaverTest::SetUp();
        m_saver->SetVerifyAfterSave(true);
    }
};

TEST_F(VerifyAfterSaveTest, ATerminalThatKeptEveryItemIsReportedInOneLine)
{
    Edit(16, R, QStringLiteral("CMWAP"));
    Edit(5, L, QStringLiteral("4"));
    ASSERT_TRUE(Save());
    EXPECT_EQ(Commands(), Wire({"AT+LRMPHNPRIO=4", "at+apn=CMWAP", "AT+SHOW"}));
    EXPECT_EQ(m_view.logLines.mid(m_view.logLines.indexOf(kDone)),
              QStringList({kDone, QStringLiteral("正在校验：读回设备参数..."), QStringLiteral("校验完成：2 项全部一致")}));
    EXPECT_EQ(m_view.verifySummaries, QStringList{QStringLiteral("校验完成：2 项全部一致")});
    EXPECT_EQ(m_view.verifyMismatches, QList<QStringList>{QStringList{}});
    const CParameterSaver::Outcome outcome = m_saver->LastOutcome();
    EXPECT_TRUE(outcome.finished);
    EXPECT_TRUE(outcome.verified);
    EXPECT_EQ(outcome.written, 2);
    EXPECT_EQ(outcome.mismatches, 0);
}

TEST_F(VerifyAfterSaveTest, AnItemAcknowledgedButNotKeptIsNamedWithBothValues)
{
    SimulatorFaults faults;
    faults.ignoredPrefixes = {"at+apn="};
    sim().SetFaults(faults);
    Edit(16, R, QStringLiteral("CMWAP"));
    Edit(5, L, QStringLiteral("4"));
    ASSERT_TRUE(Save());
    const QString mismatch = QStringLiteral("校验不一致：无线网络APN：发送“CMWAP”，读回“CMNET”");
    EXPECT_EQ(m_view.logLines.mid(m_view.logLines.indexOf(kDone)),
              QStringList({kDone, QStringLiteral("正在校验：读回设备参数..."), mismatch,
                           QStringLiteral("校验失败：1 项不一致")}));
    EXPECT_EQ(m_view.verifyMismatches, QList<QStringList>{QStringList{mismatch}});
    EXPECT_EQ(m_saver->LastOutcome().mismatches, 1);

    // The tool now knows the terminal still holds the old APN: the next
    // save sends it again, and only it.
    sim().SetFaults({});
    sim().ClearLogs();
    ASSERT_TRUE(Save());
    EXPECT_EQ(Commands(), Wire({"at+apn=CMWAP", "AT+SHOW"}));
    EXPECT_TRUE(m_view.logLines.contains(QStringLiteral("校验完成：1 项全部一致")));
}

TEST_F(VerifyAfterSaveTest, AReadBackThatIsNotAnsweredFailsTheVerification)
{
    SimulatorFaults faults;
    faults.silentPrefixes = {"AT+SHOW"};
    sim().SetFaults(faults);
    Edit(16, R, QStringLiteral("CMWAP"));
    ASSERT_TRUE(Save());
    EXPECT_EQ(m_view.logLines.constLast(), QStringLiteral("校验失败：无法读回设备参数"));
    EXPECT_TRUE(m_saver->LastOutcome().readBackFailed);
    EXPECT_FALSE(m_saver->LastOutcome().verified);
    EXPECT_EQ(m_view.verifyMismatches, QList<QStringList>{QStringList{QStringLiteral("校验失败：无法读回设备参数")}});
}

TEST_F(VerifyAfterSaveTest, ASaveThatWroteNothingReadsNothingBack)
{
    ASSERT_TRUE(Save());
    EXPECT_EQ(Commands(), Wire({}));
    EXPECT_EQ(m_view.logLines, QStringList({kSaving, kDone}));
    EXPECT_TRUE(m_view.verifySummaries.isEmpty());
    EXPECT_TRUE(m_view.progress.isEmpty());
}

TEST_F(VerifyAfterSaveTest, ProgressCountsTheItemsAsTheyAreAcknowledged)
{
    Edit(16, R, QStringLiteral("CMWAP"));
    Edit(5, L, QStringLiteral("4"));
    Edit(9, R, QStringLiteral("2"));
    ASSERT_TRUE(Save());
    EXPECT_EQ(m_view.progress, (QList<QPair<int, int>>{{0, 3}, {1, 3}, {2, 3}, {3, 3}}));
}

// The service record follows a save as it goes: the change is begun before
// the first command, each item is added once its reply was recognised (or
// given up) and before the next command goes out, and the end brings the
// result and verification the log shows.
TEST_F(VerifyAfterSaveTest, TheRecordIsToldOfEachItemAsTheSaveGoes)
{
    const struct Row {
        const char* name;
        void (*fault)(SimulatorFaults&);
        CellEdit second;  // after the first preset text
        std::vector<const char*> calls;
    } rows[] = {
        {"done", nullptr, {16, R, QStringLiteral("APN1")},
         {"begun parameters @0", "item 预置内容一=撤离1 ok @1", "item 无线网络APN=APN1 ok @2",
          "done parameters 成功 一致 2 @3"}},
        {"refused (ERROR)", nullptr, {29, L, QStringLiteral("11")},
         {"begun parameters @0", "item 预置内容一=撤离2 ok @1", "item TTS播放音量=11 no @2",
          "done parameters 失败 - 2 @2"}},
        {"unanswered", [](SimulatorFaults& f) { f.silentPrefixes = {"at+apn="}; }, {16, R, QStringLiteral("APN3")},
         {"begun parameters @0", "item 预置内容一=撤离3 ok @1", "item 无线网络APN=APN3 no @2",
          "done parameters 失败 - 2 @2"}},
        {"acknowledged, not kept", [](SimulatorFaults& f) { f.ignoredPrefixes = {"at+apn="}; }, {16, R, QStringLiteral("APN4")},
         {"begun parameters @0", "item 预置内容一=撤离4 ok @1", "item 无线网络APN=APN4 ok @2",
          "done parameters 成功 1 项不一致 2 @3"}},
        // The heartbeat's check comes after the preset texts went out.
        {"refused by a check", nullptr, {21, R, QStringLiteral("30")},
         {"begun parameters @0", "item 预置内容一=撤离5 ok @1", "done parameters 失败 - 1 @1"}},
        // Last: the terminal is gone afterwards.
        {"port lost", [](SimulatorFaults& f) { f.vanishPrefix = "at+apn="; }, {16, R, QStringLiteral("APN6")},
         {"begun parameters @0", "item 预置内容一=撤离6 ok @1", "item 无线网络APN=APN6 no @2",
          "done parameters 失败 - 2 @2"}},
    };
    int n = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ++n;
        SimulatorFaults faults;
        if (row.fault)
            row.fault(faults);
        sim().SetFaults(faults);
        sim().ClearLogs();
        m_recorder->Clear();
        Edit(1, L, QStringLiteral("撤离%1").arg(n));
        Edit(row.second.row, row.second.column, row.second.text);
        ASSERT_TRUE(Save());
        QStringList expected;
        for (const char* call : row.calls)
            expected << QString::fromUtf8(call);
        EXPECT_EQ(m_recorder->Calls(), expected);
        // The next row starts from what the terminal holds.
        sim().SetFaults({});
        if (n < 6) {
            ASSERT_TRUE(ReadBack());
        }
    }
}

TEST_F(VerifyAfterSaveTest, ASaveThatStopsHalfwayIsNotVerified)
{
    SimulatorFaults faults;
    faults.silentPrefixes = {"at+apn="};
    sim().SetFaults(faults);
    Edit(5, L, QStringLiteral("4"));
    Edit(16, R, QStringLiteral("CMWAP"));
    ASSERT_TRUE(Save());
    EXPECT_EQ(Commands(), Wire({"AT+LRMPHNPRIO=4", "at+apn=CMWAP"}));
    EXPECT_FALSE(m_saver->LastOutcome().finished);
    EXPECT_EQ(m_saver->LastOutcome().written, 1);
    EXPECT_EQ(m_saver->LastOutcome().planned, 2);
    EXPECT_TRUE(m_view.verifySummaries.isEmpty());
}

}  // namespace

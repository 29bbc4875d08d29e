#include "ReportFixture.h"

#include "params/ParameterReport.h"
#include "params/ParameterSet.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using namespace reportfixture;

namespace {

constexpr std::string_view kText1Gbk =
    "\xD7\xA2\xD2\xE2\xA3\xBA\xC9\xBD\xBA\xE9\xD4\xA4\xBE\xAF\xA3\xAC\xC7\xEB\xC1\xA2"
    "\xBC\xB4\xCF\xF2\xB8\xDF\xB4\xA6\xD7\xAA\xD2\xC6\xA3\xA1";  // 注意：山洪预警，请立即向高处转移！
constexpr std::string_view kText2Gbk =
    "\xCC\xA8\xB7\xE7\xB3\xC8\xC9\xAB\xD4\xA4\xBE\xAF\xA3\xA8\x81\x5C\xA3\xA9\xA3\xAC"
    "\xC7\xEB\xB9\xD8\xBA\xC3\xC3\xC5\xB4\xB0\xA3\xAC\xBC\xF5\xC9\xD9\xCD\xE2\xB3\xF6\xA1\xA3";

// A ParameterSet is about 40 kB; keep it off the test's stack.
std::unique_ptr<ParameterSet> NewSet()
{
    return std::make_unique<ParameterSet>();
}

bool Parse(const std::string& report, ParameterSet& set)
{
    return ParseParameterReport(report.c_str(), set);
}

std::vector<std::string> Numbers(const NumberList& list)
{
    return list.NonEmptyNumbers();
}

// Fills every text field with a marker, so a test can tell which fields the
// parser wrote.
void MarkAllTexts(ParameterSet& set, std::string_view marker)
{
    for (ShortText* text : {&set.serverIp, &set.serverPort, &set.backupServerIp, &set.backupServerPort,
                            &set.dnsServer, &set.backupDnsServer, &set.workMode, &set.activateMethod,
                            &set.debugLevel, &set.serialMode, &set.serialBaudrate, &set.returnToMainServer,
                            &set.deviceId, &set.simNumber, &set.bytesFinishInterval, &set.linkRetryTimes,
                            &set.redialInterval, &set.deliverTcpDataDirectly, &set.apn, &set.apnUser,
                            &set.apnPassword, &set.dialNumber, &set.smsCentre, &set.heartbeatSeconds,
                            &set.controlPhone, &set.smsDaemonPassword, &set.commModule, &set.intercomEnabled,
                            &set.pickupEnabled, &set.fmFrequency, &set.fmSnr, &set.fmVolume,
                            &set.fmReceiveEnabled, &set.mp3PlayMode, &set.mp3Volume, &set.ttsVoice,
                            &set.ttsVolume, &set.ttsSpeed, &set.ttsTone, &set.statusSmsInterval, &set.smsBackup,
                            &set.serverCount})
        text->Assign(marker);
    for (LongText* text : {&set.keepOnlineInfo, &set.registerInfo, &set.pppOnPassword, &set.pppOffPassword})
        text->Assign(marker);
    for (PresetText* text : {&set.presetText1, &set.presetText2, &set.presetText3})
        text->Assign(marker);
}

}  // namespace

TEST(ParameterReport, CompleteReportFillsEveryField)
{
    auto set = NewSet();
    MarkAllTexts(*set, "stale");
    ASSERT_TRUE(Parse(FullReport(), *set));

    EXPECT_EQ(Numbers(set->adminNumbers), (std::vector<std::string>{"13800138000", "13900139000"}));
    EXPECT_EQ(Numbers(set->authorisedNumbers),
              (std::vector<std::string>{"13700137000", "13600136000", "13500135000"}));
    EXPECT_EQ(Numbers(set->backupNumbers), (std::vector<std::string>{"075512345678"}));

    EXPECT_EQ(set->presetText1, kText1Gbk);
    EXPECT_EQ(set->presetText2, kText2Gbk);
    EXPECT_EQ(set->presetText3, "Test broadcast, please ignore.");

    EXPECT_EQ(set->phonePriority, 1);
    EXPECT_EQ(set->smsPriority, 2);
    EXPECT_EQ(set->gprsPriority, 3);
    EXPECT_EQ(set->micPriority, 4);
    EXPECT_EQ(set->intercomPriority, 5);
    EXPECT_EQ(set->fmPriority, 6);
    EXPECT_EQ(set->mp3Priority, 7);
    EXPECT_EQ(set->localAlarmPriority, 8);
    EXPECT_EQ(set->lineInPriority, 9);
    EXPECT_EQ(set->smsPlayCount, 3);
    EXPECT_EQ(set->gprsPlayCount, 2);
    EXPECT_EQ(set->localPlayCount, 5);
    EXPECT_EQ(set->smsReceipt, 1);

    EXPECT_EQ(set->commModule, "1");
    EXPECT_EQ(set->intercomEnabled, "0");
    EXPECT_EQ(set->pickupEnabled, "1");
    EXPECT_EQ(set->fmFrequency, "10150");
    EXPECT_EQ(set->fmSnr, "12");
    EXPECT_EQ(set->fmVolume, "30");
    EXPECT_EQ(set->fmReceiveEnabled, "1");
    EXPECT_EQ(set->mp3PlayMode, "2");
    EXPECT_EQ(set->mp3Volume, "20");
    EXPECT_EQ(set->ttsVoice, "1");
    EXPECT_EQ(set->ttsVolume, "8");
    EXPECT_EQ(set->ttsSpeed, "5");
    EXPECT_EQ(set->ttsTone, "6");
    EXPECT_EQ(set->smsBackup, "1");
    EXPECT_EQ(set->statusSmsInterval, "720");

    EXPECT_EQ(set->deviceId, "1A2B3C4D");
    EXPECT_EQ(set->simNumber, "13912345678");
    EXPECT_EQ(set->workMode, "PROT");
    EXPECT_EQ(set->activateMethod, "AUTO");
    EXPECT_EQ(set->debugLevel, "1");
    EXPECT_EQ(set->serialMode, "8N1");
    EXPECT_EQ(set->serialBaudrate, "115200");
    EXPECT_EQ(set->serverCount, "1");
    EXPECT_EQ(set->serverIp, "116.62.10.20");
    EXPECT_EQ(set->serverPort, "5001");
    EXPECT_EQ(set->backupServerIp, "116.62.10.21");
    EXPECT_EQ(set->backupServerPort, "5002");
    EXPECT_EQ(set->returnToMainServer, "1");
    EXPECT_EQ(set->deliverTcpDataDirectly, "0");
    EXPECT_EQ(set->heartbeatSeconds, "60");
    EXPECT_EQ(set->dnsServer, "114.114.114.114");
    EXPECT_EQ(set->backupDnsServer, "8.8.8.8");
    EXPECT_EQ(set->smsCentre, "+8613800755500");
    EXPECT_EQ(set->controlPhone, "13800000001");
    EXPECT_EQ(set->smsDaemonPassword, "1234");
    EXPECT_EQ(set->pppOnPassword, "PPPON");
    EXPECT_EQ(set->pppOffPassword, "PPPOFF");
    EXPECT_EQ(set->registerInfo, "REG1A2B3C4D");
    EXPECT_EQ(set->keepOnlineInfo, "KEEP");
    EXPECT_EQ(set->bytesFinishInterval, "100");
    EXPECT_EQ(set->linkRetryTimes, "5");
    EXPECT_EQ(set->redialInterval, "60");
    EXPECT_EQ(set->dialNumber, "*99***1#");
    EXPECT_EQ(set->apnUser, "card");
    EXPECT_EQ(set->apnPassword, "card");
    EXPECT_EQ(set->apn, "CMNET");
}

TEST(ParameterReport, LinesInAnyOrderAndUnknownLinesIgnored)
{
    // Reverse the lines (keeping the one pair whose order decides which
    // label is found first) and mix in lines the tool does not know.
    const std::string report = FullReport();
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < report.size();) {
        const std::size_t end = report.find("\r\n", at);
        lines.push_back(report.substr(at, end + 2 - at));
        at = end + 2;
    }
    std::string reordered = "AT+SHOW\r\nFirmware build 2.07\r\n";
    for (auto line = lines.rbegin(); line != lines.rend(); ++line) {
        if (line->starts_with("Server's Ip") || line->starts_with("Server's Port")
            || line->starts_with("Dns Server's Ip:"))
            reordered.insert(0, *line);
        else
            reordered += *line + "Unknown option: 7\r\n";
    }
    auto inOrder = NewSet();
    auto shuffled = NewSet();
    ASSERT_TRUE(Parse(report, *inOrder));
    ASSERT_TRUE(Parse(reordered, *shuffled));
    EXPECT_EQ(shuffled->serverIp, inOrder->serverIp);
    EXPECT_EQ(shuffled->dnsServer, inOrder->dnsServer);
    EXPECT_EQ(shuffled->presetText2, inOrder->presetText2);
    EXPECT_EQ(shuffled->apn, inOrder->apn);
    EXPECT_EQ(Numbers(shuffled->authorisedNumbers), Numbers(inOrder->authorisedNumbers));
}

// Every required label, and what the parse leaves behind when it is missing.
TEST(ParameterReport, EachRequiredLabelMissingFailsTheParse)
{
    const char* required[] = {
        "Alarm admin NO:  ",       "Alarm authorize NO:  ",          "Alarm backup NO:  ",
        "Alarm fm priority:  ",    "Alarm gprs priority:  ",         "Alarm inter phone priority:  ",
        "Alarm local alarm priority:  ", "Alarm mic priority:  ",    "Alarm line in priority:  ",
        "Alarm mp3 priority:  ",   "Alarm phone priority:  ",        "Alarm sms priority:  ",
        "Alarm sms play number:  ", "Alarm gprs play number:  ",     "Alarm local alarm play number:  ",
        "Alarm text1:  ",          "Alarm text2:  ",                 "Alarm text3:  ",
    };
    for (const char* label : required) {
        SCOPED_TRACE(label);
        auto set = NewSet();
        EXPECT_FALSE(Parse(WithoutLine(FullReport(), label), *set));
        // The modem part is never reached.
        EXPECT_TRUE(set->apn.IsEmpty());
    }
}

TEST(ParameterReport, MissingAuthorisedListFailsAfterAdminListIsRebuilt)
{
    auto set = NewSet();
    set->adminNumbers.Insert("111");
    set->authorisedNumbers.Insert("222");
    EXPECT_FALSE(Parse(WithoutLine(FullReport(), "Alarm authorize NO:  "), *set));
    EXPECT_EQ(Numbers(set->adminNumbers), (std::vector<std::string>{"13800138000", "13900139000"}));
    EXPECT_EQ(Numbers(set->authorisedNumbers), (std::vector<std::string>{"222"}));
}

TEST(ParameterReport, AdminListIsEmptiedEvenWhenItsLabelIsMissing)
{
    auto set = NewSet();
    set->adminNumbers.Insert("111");
    EXPECT_FALSE(Parse(WithoutLine(FullReport(), "Alarm admin NO:  "), *set));
    EXPECT_TRUE(Numbers(set->adminNumbers).empty());
}

TEST(ParameterReport, RequiredValueWithoutLineEndFails)
{
    auto set = NewSet();
    const std::string report = "Alarm admin NO:  1,2,\r\nAlarm authorize NO:  3";
    EXPECT_FALSE(Parse(report, *set));
    EXPECT_EQ(Numbers(set->adminNumbers), (std::vector<std::string>{"1", "2"}));
    EXPECT_TRUE(Numbers(set->authorisedNumbers).empty());
}

struct PriorityCase {
    const char* value;
    bool accepted;
    std::uint8_t stored;
};

TEST(ParameterReport, PrioritiesAboveTenAreRefusedAndLowEightBitsStored)
{
    const PriorityCase cases[] = {
        {"10", true, 10},   {"11", false, 0},  {"-1", true, 255}, {"0", true, 0},
        {"", true, 0},      {"abc", true, 0},  {" 7", true, 7},   {"7abc", true, 7},
        {"+3", true, 3},    {"-256", true, 0}, {"00000000000000000000000000000000000000005", true, 5},
        {"99999999999999999999", false, 0},   {"-99999999999999999999", true, 0},
    };
    for (const PriorityCase& test : cases) {
        SCOPED_TRACE(test.value);
        auto set = NewSet();
        set->phonePriority = 42;
        const bool parsed = Parse(WithValue(FullReport(), "Alarm phone priority:  ", test.value), *set);
        EXPECT_EQ(parsed, test.accepted);
        EXPECT_EQ(set->phonePriority, test.accepted ? test.stored : 42);
        // The sms priority comes after the phone priority: not reached on refusal.
        EXPECT_EQ(set->smsPriority, test.accepted ? 2 : 0);
    }
}

TEST(ParameterReport, PlayCountsTakeAnyValueAsThirtyTwoBits)
{
    const struct {
        const char* value;
        std::int32_t stored;
    } cases[] = {
        {"0", 0},
        {"65535", 65535},
        {"-5", -5},
        {"2147483647", 2147483647},
        {"2147483648", 2147483647},
        {"123456789012345678901234567890", 2147483647},
        {"-2147483648", -2147483647 - 1},
        {"-99999999999", -2147483647 - 1},
        {"x9", 0},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.value);
        auto set = NewSet();
        ASSERT_TRUE(Parse(WithValue(FullReport(), "Alarm local alarm play number:  ", test.value), *set));
        EXPECT_EQ(set->localPlayCount, test.stored);
    }
}

TEST(ParameterReport, PresetTextsUpToFourHundredBytesAreCopiedUntrimmed)
{
    auto set = NewSet();
    const std::string untrimmed = "  leading and trailing blanks  ";
    ASSERT_TRUE(Parse(WithValue(FullReport(), "Alarm text3:  ", untrimmed), *set));
    EXPECT_EQ(set->presetText3, untrimmed);

    const std::string longest(400, 'a');
    ASSERT_TRUE(Parse(WithValue(FullReport(), "Alarm text1:  ", longest), *set));
    EXPECT_EQ(set->presetText1, longest);

    set->presetText1.Assign("before");
    set->presetText2.Assign("before");
    EXPECT_FALSE(Parse(WithValue(FullReport(), "Alarm text1:  ", std::string(401, 'b')), *set));
    EXPECT_EQ(set->presetText1, "before");
    EXPECT_EQ(set->presetText2, "before");
}

TEST(ParameterReport, GbkPresetTextsRoundTripByteForByte)
{
    // Every double-byte range of GBK, including trail bytes that look like
    // ASCII ("\x81\x5C" has a backslash, "\x81\x40" an at sign).
    std::string gbk = "\x81\x40\x81\x5C\x81\x7E\x81\x80\xFE\xFE\xA1\xA1\xB0\xA1\xF7\xFE";
    gbk += kText1Gbk;
    auto set = NewSet();
    ASSERT_TRUE(Parse(WithValue(FullReport(), "Alarm text2:  ", gbk), *set));
    EXPECT_EQ(set->presetText2, gbk);
}

TEST(ParameterReport, AbsentModuleSwitchesReadTwo)
{
    auto set = NewSet();
    set->commModule.Assign("1");
    std::string report = WithoutLine(FullReport(), "Alarm inter phone open: ");
    report = WithoutLine(report, "Alarm audio is open:    ");
    report = WithoutLine(report, "Alarm mcu work function:  ");
    ASSERT_TRUE(Parse(report, *set));
    EXPECT_EQ(set->intercomEnabled, "2");
    EXPECT_EQ(set->pickupEnabled, "2");
    EXPECT_EQ(set->commModule, "1");  // other options keep their value
}

TEST(ParameterReport, AbsentOptionsKeepTheirValues)
{
    const char* optional[] = {"Alarm fm freq:  ", "Alarm mp3 play mode:  ", "Sms Center :", "Work Mode:",
                              "Modem's ID number", "Custom Keep Online Info:"};
    for (const char* label : optional) {
        SCOPED_TRACE(label);
        auto set = NewSet();
        MarkAllTexts(*set, "kept");
        ASSERT_TRUE(Parse(WithoutLine(FullReport(), label), *set));
        int kept = 0;
        for (const ShortText* text : {&set->fmFrequency, &set->mp3PlayMode, &set->smsCentre, &set->workMode,
                                      &set->deviceId})
            kept += *text == "kept";
        kept += set->keepOnlineInfo == "kept";
        EXPECT_EQ(kept, 1);
    }
}

TEST(ParameterReport, OptionTextsOfHundredBytesOrMoreAreRefused)
{
    auto set = NewSet();
    ASSERT_TRUE(Parse(WithValue(FullReport(), "Alarm fm snr:  ", std::string(99, '7')), *set));
    EXPECT_EQ(set->fmSnr, std::string(99, '7'));

    set = NewSet();
    set->fmSnr.Assign("12");
    EXPECT_FALSE(Parse(WithValue(FullReport(), "Alarm fm snr:  ", std::string(100, '7')), *set));
    EXPECT_EQ(set->fmSnr, "12");
    EXPECT_TRUE(set->apn.IsEmpty());

    // The SMS receipt flag is a number: any length reads.
    ASSERT_TRUE(Parse(WithValue(FullReport(), "Alarm is sms response:  ", std::string(150, '0') + "257"), *set));
    EXPECT_EQ(set->smsReceipt, 1);
}

TEST(ParameterReport, OptionWithoutLineEndFails)
{
    auto set = NewSet();
    std::string report = WithoutLine(FullReport(), "Alarm tts play tone:  ");
    report += "Alarm tts play tone:  5";
    EXPECT_FALSE(Parse(report, *set));
    EXPECT_EQ(set->ttsSpeed, "5");
    EXPECT_TRUE(set->ttsTone.IsEmpty());
}

struct CodeCase {
    const char* value;
    bool accepted;
    const char* stored;
};

TEST(ParameterReport, WorkModeWordsBecomeCodes)
{
    const CodeCase cases[] = {
        {"TCP SERVER", true, "TCPSVR"},   {"TRANSPARENT", true, "TRNS"}, {"TCP TRANSPARENT", true, "TRNS"},
        {"PROTOCOL", true, "PROT"},       {"TCP CLIENT", true, "TLNT"},  {"LONG CONNECT", true, "LONG"},
        {"LNGT", true, "LNGT"},           {"UDP", true, "TUDP"},         {"TCP CUSTOM", true, "TCST"},
        {"TCP TRANS", true, "TTRN"},      {"TCST", false, "TCST"},       {"tcp server", false, "tcp server"},
        {"", false, ""},
    };
    for (const CodeCase& test : cases) {
        SCOPED_TRACE(test.value);
        auto set = NewSet();
        EXPECT_EQ(Parse(WithValue(FullReport(), "Work Mode:", std::string(" ") + test.value), *set), test.accepted);
        // The reported value is stored before it is replaced by its code.
        EXPECT_EQ(set->workMode, test.stored);
        EXPECT_EQ(set->activateMethod.IsEmpty(), !test.accepted);
    }
}

TEST(ParameterReport, ActivationWordsBecomeCodes)
{
    const CodeCase cases[] = {
        {"SMS", true, "SMSD"},         {"AUTO", true, "AUTO"},        {"CONTROLABLE", true, "CTRL"},
        {"DATA", true, "DATA"},        {"MIXD", true, "MIXD"},        {"SMS DATA", true, "SMSD"},
        {"AUTO SMS", true, "AUTO"},    {"MANUAL", false, "MANUAL"},
    };
    for (const CodeCase& test : cases) {
        SCOPED_TRACE(test.value);
        auto set = NewSet();
        EXPECT_EQ(Parse(WithValue(FullReport(), "Activate Method:", std::string(" ") + test.value), *set),
                  test.accepted);
        EXPECT_EQ(set->activateMethod, test.stored);
    }
}

struct ModemCase {
    const char* label;
    const char* value;  // everything after the label, up to CR LF
    ShortText ParameterSet::*field;
    const char* stored;
};

TEST(ParameterReport, ModemValuesAreCutAsTheirLabelsSay)
{
    const std::string longValue(120, '9');
    const ModemCase cases[] = {
        {"Heartbeat poll time seconds:", " 60abc", &ParameterSet::heartbeatSeconds, "60"},
        {"Heartbeat poll time seconds:", "60", &ParameterSet::heartbeatSeconds, ""},
        {"Heartbeat poll time seconds:", "abc", &ParameterSet::heartbeatSeconds, ""},
        {"Heartbeat poll time seconds:", "   ", &ParameterSet::heartbeatSeconds, ""},
        {"Heartbeat poll time seconds:", "", &ParameterSet::heartbeatSeconds, ""},
        {"Dns Server's Ip:", "  1.2.3.4 ;;", &ParameterSet::dnsServer, "1.2.3.4"},
        {"Link Fail Retry Times:", "\t5 ;;", &ParameterSet::linkRetryTimes, "\t5"},
        {"Sms Center :", "", &ParameterSet::smsCentre, "\xC4\xAC\xC8\xCF"},
        {"Sms Center :", "  ", &ParameterSet::smsCentre, "\xC4\xAC\xC8\xCF"},
        {"Sms Center :", " ;", &ParameterSet::smsCentre, "\xC4\xAC\xC8\xCF"},
        {"Sms Center :", " 13800755500xy", &ParameterSet::smsCentre, "13800755500"},
        {"Sms Center :", "a", &ParameterSet::smsCentre, "\xC4\xAC\xC8\xCF"},
        {"Serial port commu mode", " 8,E,1", &ParameterSet::serialMode, "8E1"},
        {"Serial port commu mode", ": 8,E,1", &ParameterSet::serialMode, ":81"},
        {"Serial port commu mode", " 7,O,1", &ParameterSet::serialMode, "7O1"},
        {"Serial port commu mode", " 8N1", &ParameterSet::serialMode, "811"},
        {"Serial port commu mode", " 8N", &ParameterSet::serialMode, "8N"},
        {"Serial port commu mode", "", &ParameterSet::serialMode, ""},
        {"Access Point Name:", "   cmnet  ", &ParameterSet::apn, "cmnet  "},
        {"Access Point Name:", "", &ParameterSet::apn, ""},
    };
    for (const ModemCase& test : cases) {
        SCOPED_TRACE(std::string(test.label) + "|" + test.value);
        auto set = NewSet();
        ASSERT_TRUE(Parse(WithValue(FullReport(), test.label, test.value), *set));
        EXPECT_EQ((*set).*test.field, test.stored);
    }
}

TEST(ParameterReport, ModemValuesAreCutToNinetyNineBytesBeforeTheirEnding)
{
    auto set = NewSet();
    ASSERT_TRUE(Parse(WithValue(FullReport(), "Center call number", " " + std::string(150, '5')), *set));
    EXPECT_EQ(set->dialNumber, std::string(99, '5'));

    // A 256-byte field still gets at most 99 bytes, less its three-byte ending.
    ASSERT_TRUE(Parse(WithValue(FullReport(), "Custom Register Info:", " " + std::string(300, 'R')), *set));
    EXPECT_EQ(set->registerInfo, std::string(96, 'R'));
}

TEST(ParameterReport, ModemLineWithoutLineEndFails)
{
    auto set = NewSet();
    std::string report = WithoutLine(FullReport(), "Access Point Name:");
    report += "Access Point Name: CMNET";
    EXPECT_FALSE(Parse(report, *set));
    EXPECT_TRUE(set->apn.IsEmpty());
    // The alarm part was done before.
    EXPECT_EQ(set->ttsTone, "6");
}

TEST(ParameterReport, FirstOccurrenceWinsEvenInsideALongerLabel)
{
    auto set = NewSet();
    // The secondary line before the main one: "Server's Ip" is found inside it.
    std::string report = WithoutLine(FullReport(), "Secondary Server's Ip");
    report = WithLineFirst(report, "Secondary Server's Ip 10.0.0.2");
    ASSERT_TRUE(Parse(report, *set));
    EXPECT_EQ(set->serverIp, "10.0.0.2");
    EXPECT_EQ(set->backupServerIp, "10.0.0.2");

    // "Dns Server's Ip:" inside "Second Dns Server's Ip:".
    report = WithoutLine(FullReport(), "Second Dns Server's Ip:");
    report = WithLineFirst(report, "Second Dns Server's Ip: 9.9.9.9 ;;");
    ASSERT_TRUE(Parse(report, *set));
    EXPECT_EQ(set->dnsServer, "9.9.9.9");
    EXPECT_EQ(set->backupDnsServer, "9.9.9.9");

    // A label that occurs twice: the first line counts.
    report = WithLineFirst(FullReport(), "Alarm fm freq:  8800");
    ASSERT_TRUE(Parse(report, *set));
    EXPECT_EQ(set->fmFrequency, "8800");
}

TEST(ParameterReport, ThirdServerAddressLongerThanThirtyTwoCharactersFails)
{
    auto set = NewSet();
    EXPECT_TRUE(Parse(WithValue(FullReport(), "Server3's Ip", " " + std::string(32, '1')), *set));

    set = NewSet();
    EXPECT_FALSE(Parse(WithValue(FullReport(), "Server3's Ip", " " + std::string(33, '1')), *set));
    // Labels before it are stored, labels after it are not reached.
    EXPECT_EQ(set->serverIp, "116.62.10.20");
    EXPECT_TRUE(set->serverPort.IsEmpty());
}

TEST(ParameterReport, FailureKeepsTheFieldsWrittenSoFar)
{
    auto set = NewSet();
    MarkAllTexts(*set, "old");
    set->smsPriority = 9;
    std::string report = WithValue(FullReport(), "Alarm phone priority:  ", "12");
    EXPECT_FALSE(Parse(report, *set));
    // Steps 1 to 4 up to the refused priority are done...
    EXPECT_EQ(Numbers(set->backupNumbers), (std::vector<std::string>{"075512345678"}));
    EXPECT_EQ(set->mp3Priority, 7);
    // ...and nothing after it.
    EXPECT_EQ(set->smsPriority, 9);
    EXPECT_EQ(set->presetText1, "old");
    EXPECT_EQ(set->apn, "old");

    // A failure in the modem part: everything before the failing label is new.
    set = NewSet();
    MarkAllTexts(*set, "old");
    report = WithValue(FullReport(), "Work Mode:", " TCST");
    EXPECT_FALSE(Parse(report, *set));
    EXPECT_EQ(set->presetText3, "Test broadcast, please ignore.");
    EXPECT_EQ(set->backupServerPort, "5002");
    EXPECT_EQ(set->activateMethod, "old");
    EXPECT_EQ(set->smsCentre, "old");
}

// --- Number lists --------------------------------------------------------

struct ListCase {
    const char* name;
    std::string value;
    std::vector<std::string> numbers;  // non-empty slots in order
};

std::string CommaList(int count, const std::string& suffix = "")
{
    std::string text;
    for (int number = 1; number <= count; ++number)
        text += std::to_string(1000 + number) + ",";
    return text + suffix;
}

std::vector<std::string> Sequence(int count)
{
    std::vector<std::string> numbers;
    for (int number = 1; number <= count; ++number)
        numbers.push_back(std::to_string(1000 + number));
    return numbers;
}

TEST(ParameterReport, NumberListsAreSplitIntoSlots)
{
    const std::string fits(32, '8');
    const std::string tooLongForSlot(33, '8');
    const std::string tooLong(100, '8');
    const ListCase cases[] = {
        {"two with trailing commas", "111,222,", {"111", "222"}},
        {"no trailing comma", "111,222", {"111", "222"}},
        {"one number", "111", {"111"}},
        {"empty", "", {}},
        {"only a comma", ",", {}},
        {"two trailing commas", "111,222,,", {"111", "222"}},
        {"empty between commas", "111,,222,", {"111", "222"}},
        {"32 characters fit", fits + ",", {fits}},
        {"255 numbers", CommaList(255), Sequence(255)},
        {"more than 255 numbers", CommaList(300), Sequence(255)},
        {"255 and an unterminated one", CommaList(255, "9999"), Sequence(255)},
        {"254 and an unterminated one", CommaList(254, "9999"),
         [] { auto n = Sequence(254); n.push_back("9999"); return n; }()},
        // A number that does not fit a slot ends the list where it stands.
        {"33 characters refused", "111," + tooLongForSlot + ",222,", {"111"}},
        {"99 characters refused", "111," + std::string(99, '8') + ",222,", {"111"}},
        {"100 characters refused", "111," + tooLong + ",222,", {"111"}},
        {"overlong last number refused", "111,222," + tooLongForSlot, {"111", "222"}},
    };
    for (const ListCase& test : cases) {
        SCOPED_TRACE(test.name);
        auto set = NewSet();
        set->backupNumbers.Insert("stale");
        ASSERT_TRUE(Parse(WithValue(FullReport(), "Alarm backup NO:  ", test.value), *set));
        EXPECT_EQ(Numbers(set->backupNumbers), test.numbers);
    }
}

TEST(ParameterReport, EmptyNumberBetweenCommasKeepsItsSlot)
{
    NumberList list;
    EXPECT_TRUE(SplitNumberList("111,,222,", list));
    EXPECT_EQ(list[0], "111");
    EXPECT_TRUE(list[1].IsEmpty());
    EXPECT_EQ(list[2], "222");
}

TEST(ParameterReport, SplitterReportsWhatItCouldNotTake)
{
    NumberList list;
    EXPECT_TRUE(SplitNumberList("1,2,", list));
    EXPECT_FALSE(SplitNumberList("", list));
    EXPECT_FALSE(SplitNumberList("1,2,,", list));  // empty after the last comma
    EXPECT_FALSE(SplitNumberList("1," + std::string(33, '5') + ",2", list));
    EXPECT_EQ(list.NonEmptyNumbers(), (std::vector<std::string>{"1"}));
    EXPECT_TRUE(SplitNumberList(CommaList(256), list));
    EXPECT_EQ(list[254], "1255");
}

// --- Damaged input -------------------------------------------------------

TEST(ParameterReport, DamagedReportsNeverCrash)
{
    const std::string full = FullReport();
    std::vector<std::string> reports;
    for (std::size_t length = 0; length < full.size(); length += 37)
        reports.push_back(full.substr(0, length));
    std::string lfOnly;
    for (char c : full) {
        if (c != '\r')
            lfOnly += c;
    }
    reports.push_back(lfOnly);
    std::string binary;
    for (int i = 0; i < 4096; ++i)
        binary += static_cast<char>((i * 131 + 7) % 255 + 1);
    reports.push_back(binary);
    reports.push_back(binary + full);
    std::string highBytes = full;
    for (std::size_t at = 5; at < highBytes.size(); at += 11) {
        if (highBytes[at] != '\r' && highBytes[at] != '\n')
            highBytes[at] = static_cast<char>(0x80 | (at & 0x7F));
    }
    reports.push_back(highBytes);
    reports.push_back("\r\n\r\n\r\n");
    reports.push_back("Alarm admin NO:  ");
    reports.push_back("Sms Center :");

    for (const std::string& report : reports) {
        auto set = NewSet();
        Parse(report, *set);
        for (const NumberList::Slot& slot : set->adminNumbers)
            EXPECT_LE(slot.Length(), NumberList::kMaxNumberLength);
        EXPECT_LE(set->presetText1.Length(), PresetText::kCapacity);
    }
    auto set = NewSet();
    EXPECT_FALSE(Parse(lfOnly, *set));
    EXPECT_FALSE(Parse(binary, *set));
    EXPECT_TRUE(Parse(binary + full, *set));
}

TEST(ParameterReport, InvalidGbkBytesAreStoredUnchanged)
{
    const std::string bytes = "\xFF\x80\x81\x20\xC4\xFE\xFE";  // not GBK
    auto set = NewSet();
    std::string report = WithValue(FullReport(), "Alarm text1:  ", bytes);
    report = WithValue(report, "Modem's ID number", " " + bytes);
    ASSERT_TRUE(Parse(report, *set));
    EXPECT_EQ(set->presetText1, bytes);
    EXPECT_EQ(set->deviceId, bytes);
}

TEST(ParameterReport, SizedReportEndsAtItsSizeOrFirstZeroByte)
{
    const std::string full = FullReport();
    auto set = NewSet();
    ASSERT_TRUE(ParseParameterReport(full.data(), full.size(), *set));
    EXPECT_EQ(set->apn, "CMNET");

    // The bytes behind the size are not part of the report: the closing CR LF
    // of the last value is cut off, so its line fails.
    set = NewSet();
    const std::size_t apnLineEnd = full.find("\r\n", full.find("Access Point Name:"));
    EXPECT_FALSE(ParseParameterReport(full.data(), apnLineEnd + 1, *set));
    EXPECT_TRUE(set->apn.IsEmpty());

    // A zero byte ends the report even when the size says more.
    std::string withZero = full;
    withZero[full.find("Alarm backup NO:  ")] = '\0';
    set = NewSet();
    EXPECT_FALSE(ParseParameterReport(withZero.data(), withZero.size(), *set));
    EXPECT_FALSE(ParseParameterReport(withZero.c_str(), *set));
    EXPECT_EQ(Numbers(set->authorisedNumbers).size(), 3u);

    // An exactly sized buffer without any terminator is read safely.
    std::vector<char> unterminated(full.begin(), full.end());
    set = NewSet();
    EXPECT_TRUE(ParseParameterReport(unterminated.data(), unterminated.size(), *set));

    EXPECT_FALSE(ParseParameterReport(nullptr, *set));
    EXPECT_FALSE(ParseParameterReport(nullptr, 10, *set));
    EXPECT_EQ(set->apn, "CMNET");
}

TEST(ParameterReport, SecondReadBackOverwritesTheFirst)
{
    auto set = NewSet();
    ASSERT_TRUE(Parse(FullReport(), *set));
    std::string report = WithValue(FullReport(), "Alarm admin NO:  ", "555,");
    report = WithValue(report, "Alarm fm freq:  ", "8800");
    ASSERT_TRUE(Parse(report, *set));
    EXPECT_EQ(Numbers(set->adminNumbers), (std::vector<std::string>{"555"}));
    EXPECT_EQ(set->fmFrequency, "8800");
}

// What is kept of a received report: from its first known label to the end
// of the "OK" line after its last one, without zero bytes; never a line the
// parser reads less.
TEST(ParameterReport, KeptTextIsTheReportWithoutTheNoiseAroundIt)
{
    const std::string full = FullReport();
    const std::string noise(40, '\xB5');
    const auto zeroBeforeEveryLine = [](const std::string& text) {
        std::string out(1, '\0');
        for (std::size_t i = 0; i < text.size(); ++i) {
            out.push_back(text[i]);
            if (text[i] == '\n' && i + 1 < text.size())
                out.push_back('\0');
        }
        return out;
    };
    const std::string withoutFm = WithoutLine(full, "Alarm fm freq:  ");
    const struct {
        const char* name;
        std::string received;
        std::string kept;
    } rows[] = {
        {"clean", full, full},
        {"noise and a line end before it", noise + "\r\n" + full, full},
        {"noise on the first label's line", noise + full, full},
        {"a heading before the first label", "\r\n[Alarm parameters]\r\n" + full, full},
        {"a zero byte before every line", zeroBeforeEveryLine(full), full},
        {"noise after the OK", full + noise, full},
        // The parser would find a label after the "OK": kept to the end.
        {"a label after the OK", withoutFm + "Alarm fm freq:  8800\r\n", withoutFm + "Alarm fm freq:  8800\r\n"},
        {"no label at all", "ERROR\r\n", "ERROR\r\n"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(KeptReportText(row.received), row.kept);
    }
}

#include "ReportReader.h"
#include "sim/ParameterReport.h"

#include <gtest/gtest.h>

#include <functional>
#include <ostream>

// gtest shows a mismatching parameter set as its report, which reads far
// better than a byte dump.
void PrintTo(const TerminalParameters& params, std::ostream* os)
{
    *os << "\n" << ParameterReport::Build(params);
}

namespace {

// Every label the tool's parser looks for, as it spells them.
const std::vector<std::string> kAllLabels = {
    "Alarm admin NO:  ", "Alarm authorize NO:  ", "Alarm backup NO:  ",
    "Alarm fm priority:  ", "Alarm gprs priority:  ", "Alarm inter phone priority:  ",
    "Alarm local alarm priority:  ", "Alarm mic priority:  ", "Alarm line in priority:  ",
    "Alarm mp3 priority:  ", "Alarm phone priority:  ", "Alarm sms priority:  ",
    "Alarm sms play number:  ", "Alarm gprs play number:  ", "Alarm local alarm play number:  ",
    "Alarm text1:  ", "Alarm text2:  ", "Alarm text3:  ",
    "Alarm mcu work function:  ", "Alarm inter phone open: ", "Alarm audio is open:    ",
    "Alarm is sms response:  ", "Alarm fm freq:  ", "Alarm fm snr:  ", "Alarm mp3 play mode:  ",
    "Alarm is sms backup:  ", "Alarm is sms state time:  ", "Alarm tts play mode:  ",
    "Alarm fm voice:  ", "Alarm fm receive enable:  ", "Alarm mp3 play voice:  ",
    "Alarm tts play level:  ", "Alarm tts play speed:  ", "Alarm tts play tone:  ",
    "Access Point Name:", "Center call number", "PPP Authentication User Id",
    "PPP Authentication Password", "Total Servers", "Server's Ip", "Server1's Ip",
    "Server2's Ip", "Server3's Ip", "Server4's Ip", "Server's Port", "Server1's Port",
    "Server2's Port", "Server3's Port", "Server4's Port", "Secondary Server's Ip",
    "Secondary Server's Port", "Work Mode:", "Activate Method:", "Serial port commu mode",
    "Modem's ID number", "Modem's Phone Number", "Serial Baudrate", "Debug Level",
    "Deliver Recved Tcp Data Directly", "Should Return To Main Server",
    "Heartbeat poll time seconds:", "Dns Server's Ip:", "Second Dns Server's Ip:",
    "Dns Server1's Ip:", "Dns Server2's Ip:", "Dns Server3's Ip:", "Dns Server4's Ip:",
    "Sms Center :", "Tcp act poll time seconds:", "Control Phone No.:", "Sms Daemon Password:",
    "Custom Register Info:", "Custom Keep Online Info:", "Bytes Finish Interval(ms):",
    "Data Daemon PPP On Password:", "Data Daemon PPP Off Password:", "Link Fail Retry Times:",
    "Wait Time Between Dial Failures:", "Max Tcp Frame Len:", "Multi Server Reconnect Interval:",
};

std::size_t CountLineStarts(const std::string& report, const std::string& label)
{
    std::size_t count = 0;
    for (auto at = report.find(label); at != std::string::npos; at = report.find(label, at + 1)) {
        if (at == 0 || report[at - 1] == '\n')
            ++count;
    }
    return count;
}

TEST(ParameterReport, HoldsEveryLabelOnceAndTheFirstOccurrenceIsItsOwnLine)
{
    const std::string report = ParameterReport::Build(TerminalParameters::Defaults());
    ASSERT_EQ(kAllLabels.size(), 34u + 46u);
    for (const auto& label : kAllLabels) {
        SCOPED_TRACE(label);
        EXPECT_EQ(CountLineStarts(report, label), 1u);
        // The parser takes the first occurrence anywhere, even inside a
        // longer label, so that one must be the label's own line.
        const auto first = report.find(label);
        ASSERT_NE(first, std::string::npos);
        EXPECT_TRUE(first == 0 || report[first - 1] == '\n');
    }
}

TEST(ParameterReport, HasCrLfLinesEndsInOkAndFitsTheReceiveBuffer)
{
    const std::string report = ParameterReport::Build(TerminalParameters::Defaults());
    EXPECT_LT(report.size(), 8192u);
    ASSERT_GE(report.size(), 4u);
    EXPECT_EQ(report.substr(report.size() - 4), "OK\r\n");
    for (std::size_t i = 0; i < report.size(); ++i) {
        if (report[i] == '\n') {
            EXPECT_TRUE(i > 0 && report[i - 1] == '\r') << "bare LF at " << i;
        }
        if (report[i] == '\r') {
            EXPECT_TRUE(i + 1 < report.size() && report[i + 1] == '\n') << "bare CR at " << i;
        }
    }
    // Nothing but the last line may complete the tool's wait for the
    // report, and the APN line is the last one before it.
    EXPECT_EQ(report.find("OK\r\n"), report.size() - 4);
    const auto apn = report.find("Access Point Name:");
    EXPECT_EQ(report.find("\r\n", apn) + 2, report.size() - 4);
}

TEST(ParameterReport, PrintsTheFormatTheParserIsBuiltFor)
{
    TerminalParameters p = TerminalParameters::Defaults();
    p.smsCentre = "+8613800100500";
    const std::string report = ParameterReport::Build(p);
    for (const char* line : {
             "\r\nAlarm admin NO:  13800000001,13800000002,\r\n",
             "\r\nAlarm inter phone open: 1\r\n",
             "\r\nAlarm audio is open:    0\r\n",
             "\r\nAlarm fm freq:  8800\r\n",
             "\r\nWork Mode:                       TCP SERVER\r\n",
             "\r\nActivate Method:                 AUTO\r\n",
             "\r\nSerial port commu mode           8,N,1\r\n",
             "\r\nHeartbeat poll time seconds:     60 ;;\r\n",
             "\r\nSms Center :                     +8613800100500 ;\r\n",
             "\r\nAccess Point Name:               CMNET\r\n",
         }) {
        EXPECT_NE(report.find(line), std::string::npos) << line;
    }
    p.smsCentre.clear();
    EXPECT_NE(ParameterReport::Build(p).find("\r\nSms Center :\r\n"), std::string::npos);
}

TEST(ParameterReport, DefaultsAreValuesTheToolCanShow)
{
    const TerminalParameters p = TerminalParameters::Defaults();
    for (int priority : {p.phonePriority, p.smsPriority, p.gprsPriority, p.micPriority,
                         p.intercomPriority, p.fmPriority, p.mp3Priority, p.localAlarmPriority,
                         p.lineInPriority}) {
        EXPECT_GE(priority, 1);
        EXPECT_LE(priority, 10);
    }
    EXPECT_EQ(p.deviceId.size(), 8u);
    EXPECT_EQ(p.simNumber.size(), 11u);
    EXPECT_EQ(p.heartbeatSeconds, "60");
    EXPECT_EQ(p.fmFrequency, "8800");
    EXPECT_LE(std::stoi(p.fmVolume), 47);
    EXPECT_LE(std::stoi(p.mp3Volume), 26);
    for (const std::string* tts : {&p.ttsVolume, &p.ttsSpeed, &p.ttsTone}) {
        EXPECT_GE(std::stoi(*tts), 1);
        EXPECT_LE(std::stoi(*tts), 10);
    }
    // The preset texts carry Chinese (GBK) bytes.
    EXPECT_TRUE(static_cast<unsigned char>(p.presetText1[0]) >= 0x81);
}

struct RoundTripCase {
    const char* name;
    std::function<void(TerminalParameters&)> change;
};

std::string Repeat(std::string_view piece, std::size_t count)
{
    std::string out;
    for (std::size_t i = 0; i < count; ++i)
        out.append(piece);
    return out;
}

std::vector<RoundTripCase> RoundTripCases()
{
    std::vector<RoundTripCase> cases = {
        {"Defaults", [](TerminalParameters&) {}},
        {"EmptyListsAndTexts",
         [](TerminalParameters& p) {
             p.adminNumbers.clear();
             p.authorisedNumbers.clear();
             p.backupNumbers.clear();
             p.presetText1 = p.presetText2 = p.presetText3 = "";
             for (std::string* s : {&p.apn, &p.apnUser, &p.apnPassword, &p.dialNumber,
                                    &p.dnsServer, &p.backupDnsServer, &p.controlPhone,
                                    &p.smsDaemonPassword, &p.registerInfo, &p.keepOnlineInfo,
                                    &p.pppOnPassword, &p.pppOffPassword, &p.fmSnr})
                 s->clear();
         }},
        {"FullListsOfLongestNumbers",
         [](TerminalParameters& p) {
             for (auto* list : {&p.adminNumbers, &p.authorisedNumbers, &p.backupNumbers}) {
                 list->clear();
                 for (int i = 0; i < 255; ++i) {
                     std::string number = std::to_string(i);
                     list->push_back(std::string(32 - number.size(), '1') + number);
                 }
             }
         }},
        {"LongestValuesThatSurvive",
         [](TerminalParameters& p) {
             p.apn = std::string(99, 'a');
             p.dialNumber = std::string(99, '9');
             p.serverIp = std::string(99, 'i');
             p.dnsServer = std::string(96, 'd');
             p.keepOnlineInfo = std::string(96, 'k');
             p.pppOffPassword = std::string(96, 'p');
             p.smsCentre = std::string(97, '8');
             p.fmSnr = std::string(99, '7');
             // 400 bytes of GBK: 200 times 警.
             p.presetText1 = Repeat("\xBE\xAF", 200);
         }},
        {"TrailingBlanksAreKept",
         [](TerminalParameters& p) {
             p.apnUser = "user  ";
             p.pppOnPassword = "on  ";
             p.smsCentre = "123 ";
             p.presetText2 = "text  ";
             p.ttsTone = "5 ";
         }},
        {"NumbersAtTheirLimits",
         [](TerminalParameters& p) {
             p.phonePriority = 10;
             p.smsPriority = 0;
             p.lineInPriority = 10;
             p.smsPlayCount = 65535;
             p.gprsPlayCount = 0;
             p.smsReceipt = 0;
         }},
        {"SmsCentreSet", [](TerminalParameters& p) { p.smsCentre = "+8613800100500"; }},
        {"ModulesAbsent",
         [](TerminalParameters& p) {
             p.intercomEnabled = "2";
             p.pickupEnabled = "2";
             p.commModule = "2";
         }},
    };
    for (const char* code : {"PROT", "TRNS", "TTRN", "TLNT", "LONG", "LNGT", "TUDP", "TCST", "TCPSVR"})
        cases.push_back({code, [code](TerminalParameters& p) { p.workMode = code; }});
    for (const char* code : {"AUTO", "SMSD", "CTRL", "DATA", "MIXD"})
        cases.push_back({code, [code](TerminalParameters& p) { p.activateMethod = code; }});
    for (const char* mode : {"8N1", "8E1", "8O1", "7O1", "7E1", "7N1"})
        cases.push_back({mode, [mode](TerminalParameters& p) { p.serialMode = mode; }});
    return cases;
}

TEST(ParameterReport, ReadsBackExactlyTheStateForEveryFieldTheToolKeeps)
{
    for (const auto& c : RoundTripCases()) {
        SCOPED_TRACE(c.name);
        TerminalParameters params = TerminalParameters::Defaults();
        c.change(params);
        const auto read = ReadReport(ParameterReport::Build(params));
        ASSERT_TRUE(read.has_value());
        EXPECT_EQ(*read, ToolView(params));
    }
}

TEST(ParameterReport, ABusyTerminalStillFitsTheReceiveBuffer)
{
    TerminalParameters p = TerminalParameters::Defaults();
    for (auto* list : {&p.adminNumbers, &p.authorisedNumbers, &p.backupNumbers}) {
        list->clear();
        for (int i = 0; i < 100; ++i)
            list->push_back(std::to_string(13800000000LL + i));
    }
    EXPECT_LT(ParameterReport::Build(p).size(), 8192u);
}

TEST(ParameterReport, UnknownCodesArePrintedAsTheyStand)
{
    EXPECT_EQ(ParameterReport::WorkModeWord("TCPSVR"), "TCP SERVER");
    EXPECT_EQ(ParameterReport::WorkModeWord("TTRN"), "TCP TRANS");
    EXPECT_EQ(ParameterReport::WorkModeWord("ODD"), "ODD");
    EXPECT_EQ(ParameterReport::ActivateMethodWord("SMSD"), "SMS");
    EXPECT_EQ(ParameterReport::SerialModeText("7E1"), "7,E,1");
    EXPECT_EQ(ParameterReport::SerialModeText("8N"), "8N");
}

}  // namespace

#include "ReportReader.h"
#include "sim/ParameterReport.h"
#include "sim/TerminalCommandInterpreter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <functional>

namespace {

using P = TerminalParameters;
constexpr std::time_t kNow = 1700000000;

template <typename T>
std::function<std::string(const P&)> Field(T P::*member)
{
    return [member](const P& p) {
        if constexpr (std::is_same_v<T, int>)
            return std::to_string(p.*member);
        else
            return p.*member;
    };
}

struct SetterCase {
    const char* command;  // without the value
    std::function<std::string(const P&)> field;
    std::string value;
};

// Every setter the tool's save procedures send, each with a value other
// than the default.
const std::vector<SetterCase>& SetterCases()
{
    static const std::vector<SetterCase> cases = {
        {"at+svrcnt=", Field(&P::serverCount), "0"},
        {"at+ipad=", Field(&P::serverIp), "198.51.100.7"},
        {"at+port=", Field(&P::serverPort), "6001"},
        {"at+ipsec=", Field(&P::backupServerIp), "198.51.100.8"},
        {"at+ptsec=", Field(&P::backupServerPort), "6002"},
        {"at+dnssvr=", Field(&P::dnsServer), "1.1.1.1"},
        {"at+dnssv2=", Field(&P::backupDnsServer), "1.0.0.1"},
        {"at+debug=", Field(&P::debugLevel), "2"},
        {"at+retmain=", Field(&P::returnToMainServer), "0"},
        {"at+idnt=", Field(&P::deviceId), "1234abcd"},
        {"at+phon=", Field(&P::simNumber), "13700001111"},
        {"AT+RETRY=", Field(&P::linkRetryTimes), "10"},
        {"AT+RDLWT=", Field(&P::redialInterval), "120"},
        {"at+apn=", Field(&P::apn), "UNINET"},
        {"at+username=", Field(&P::apnUser), "guest"},
        {"at+password=", Field(&P::apnPassword), "secret"},
        {"at+cent=", Field(&P::dialNumber), "#777"},
        {"at+smsc=", Field(&P::smsCentre), "+8613800100500"},
        {"at+polltime=", Field(&P::heartbeatSeconds), "300"},
        {"AT+LRMSETTXT1=", Field(&P::presetText1), "\xB2\xE2\xCA\xD4"},  // 测试
        {"AT+LRMSETTXT2=", Field(&P::presetText2), "Second text, with a comma"},
        {"AT+LRMSETTXT3=", Field(&P::presetText3), "Third"},
        {"AT+LRMPHNPRIO=", Field(&P::phonePriority), "10"},
        {"AT+LRMSMSPRIO=", Field(&P::smsPriority), "9"},
        {"AT+LRMGPRSPRIO=", Field(&P::gprsPriority), "8"},
        {"AT+LRMMICPRIO=", Field(&P::micPriority), "7"},
        {"AT+LRMINPHNPRIO=", Field(&P::intercomPriority), "6"},
        {"AT+LRMFMPRIO=", Field(&P::fmPriority), "5"},
        {"AT+LRMMP3PRIO=", Field(&P::mp3Priority), "4"},
        {"AT+LRMLCLLRMPRIO=", Field(&P::localAlarmPriority), "3"},
        {"AT+LRMLINEPRIO=", Field(&P::lineInPriority), "2"},
        {"AT+LRMSMSPLYNUM=", Field(&P::smsPlayCount), "65535"},
        {"AT+LRMGPRSPLYNUM=", Field(&P::gprsPlayCount), "0"},
        {"AT+LRMLCLLRMPLYNUM=", Field(&P::localPlayCount), "7"},
        {"AT+LRMSMSRSP=", Field(&P::smsReceipt), "0"},
        {"AT+LRMSMSBK=", Field(&P::smsBackup), "1"},
        {"AT+LRMSTATESMSTIME=", Field(&P::statusSmsInterval), "30"},
        {"AT+LRMFMFREQ=", Field(&P::fmFrequency), "8750"},
        {"AT+LRMFMSNR=", Field(&P::fmSnr), "12"},
        {"AT+LRMFMVOICE=", Field(&P::fmVolume), "47"},
        {"AT+LRMFMRECEN=", Field(&P::fmReceiveEnabled), "0"},
        {"AT+LRMMP3PLYMODE=", Field(&P::mp3PlayMode), "2"},
        {"AT+LRMMP3LVL=", Field(&P::mp3Volume), "26"},
        {"AT+LRMTTSVOICE=", Field(&P::ttsVoice), "1"},
        {"AT+LRMTTSLVL=", Field(&P::ttsVolume), "10"},
        {"AT+LRMTTSSPEED=", Field(&P::ttsSpeed), "1"},
        {"AT+LRMTTSTONE=", Field(&P::ttsTone), "9"},
        {"AT+LRMMCUFUN=", Field(&P::commModule), "2"},
        {"AT+LRMSETINPHNOPEN=", Field(&P::intercomEnabled), "0"},
        {"AT+LRMAUDIOFUNOPEN=", Field(&P::pickupEnabled), "1"},
    };
    return cases;
}

TEST(CommandInterpreter, EverySetterStoresItsValueAndTheNextReportShowsIt)
{
    for (const auto& c : SetterCases()) {
        SCOPED_TRACE(c.command);
        TerminalCommandInterpreter firmware;
        ASSERT_NE(c.field(firmware.Parameters()), c.value) << "case must change the value";
        EXPECT_EQ(firmware.Execute(c.command + c.value, kNow).reply, "OK\r\n");
        EXPECT_EQ(c.field(firmware.Parameters()), c.value);
        const auto read = ReadReport(firmware.Execute("at+show", kNow).reply);
        ASSERT_TRUE(read.has_value());
        EXPECT_EQ(c.field(*read), c.value);
    }
}

// Every command line the tool sends (without its CR), in the tool's own
// case, as the sending procedures write them, each with a value the
// terminal takes.
const std::vector<std::string> kToolCommands = {
    // Configuration entry and restart.
    "AT+LRMMCUFUN?", "at+noecho", "ati", "AT+CGMR", "at+show", "at+reset",
    // Read-back, queries and maintenance ("AT+EXCCLK?" goes out with two CRs).
    "AT+SHOW", "AT+FACTORY", "AT+VER", "AT+EXCCLK?", "AT+EXCCLK=\"2013/06/09,14:05:00\",0", "AT+CPIN?",
    "at+csq", "at+ipr?",
    // Data centres, work and network parameters.
    "at+svrcnt=1", "at+ipad=192.0.2.1", "at+port=5000", "at+ipsec=192.0.2.2", "at+ptsec=5001",
    "at+dnssvr=192.0.2.53", "at+dnssv2=192.0.2.54", "at+debug=1", "at+retmain=1", "at+idnt=0123abCD",
    "at+phon=13800000000", "AT+RETRY=3", "AT+RDLWT=60", "at+apn=CMNET", "at+username=user",
    "at+password=pass", "at+cent=*99#", "at+smsc=+8613800000000", "at+polltime=60",
    // Preset texts, priorities, play counts.
    "AT+LRMSETTXT1=one", "AT+LRMSETTXT2=two", "AT+LRMSETTXT3=three", "AT+LRMPHNPRIO=1", "AT+LRMSMSPRIO=2",
    "AT+LRMGPRSPRIO=3", "AT+LRMMICPRIO=4", "AT+LRMINPHNPRIO=5", "AT+LRMFMPRIO=6", "AT+LRMMP3PRIO=7",
    "AT+LRMLCLLRMPRIO=8", "AT+LRMLINEPRIO=9", "AT+LRMSMSPLYNUM=1", "AT+LRMGPRSPLYNUM=2", "AT+LRMLCLLRMPLYNUM=3",
    // Other settings.
    "AT+LRMSMSRSP=1", "AT+LRMSMSBK=0", "AT+LRMSTATESMSTIME=30", "AT+LRMFMFREQ=8750", "AT+LRMFMSNR=10",
    "AT+LRMFMVOICE=20", "AT+LRMFMRECEN=1", "AT+LRMMP3PLYMODE=1", "AT+LRMMP3LVL=10", "AT+LRMTTSVOICE=0",
    "AT+LRMTTSLVL=5", "AT+LRMTTSSPEED=5", "AT+LRMTTSTONE=5", "AT+LRMMCUFUN=2", "AT+LRMSETINPHNOPEN=0",
    "AT+LRMAUDIOFUNOPEN=1",
    // Number lists: add, delete, reset, whole list; the power-on test.
    "AT+LRMADDADMINNO=13800000001,13800000002", "AT+LRMADDLRMNO=13800000003", "AT+LRMADDBKNO=13800000004",
    "AT+LRMDELADMINNO=13800000001", "AT+LRMDELLRMNO=13800000003", "AT+LRMDELBKNO=13800000004",
    "AT+LRMSETADMINNO=", "AT+LRMSETLRMNO=", "AT+LRMSETBKNO=", "AT+LRMSETADMINNO=1,2", "AT+LRMSETLRMNO=3",
    "AT+LRMSETBKNO=4,5", "AT+LRMSNDPOWER",
};

// The command with every letter of its name (the text before "=") in the
// other case.
std::string OtherCase(const std::string& command)
{
    std::string out = command;
    const std::size_t end = std::min(out.find('='), out.size());
    for (std::size_t i = 0; i < end; ++i) {
        const auto c = static_cast<unsigned char>(out[i]);
        out[i] = static_cast<char>(std::islower(c) ? std::toupper(c) : std::tolower(c));
    }
    return out;
}

TEST(CommandInterpreter, TakesEveryCommandOfTheToolInItsOwnCaseOnly)
{
    for (const std::string& command : kToolCommands) {
        SCOPED_TRACE(command);
        TerminalCommandInterpreter firmware;
        const std::string reply = firmware.Execute(command, kNow).reply;
        EXPECT_TRUE(reply.ends_with("OK\r\n")) << reply;
        const std::string other = OtherCase(command);
        const bool otherIsSentToo =  // "AT+SHOW" and "at+show"
            std::find(kToolCommands.begin(), kToolCommands.end(), other) != kToolCommands.end();
        if (!otherIsSentToo) {
            EXPECT_EQ(firmware.Execute(other, kNow).reply, "ERROR\r\n") << other;
        }
    }
}

struct RefusedCase {
    std::string command;
    std::function<std::string(const P&)> field;
};

TEST(CommandInterpreter, RefusesValuesTheTerminalCannotTakeAndKeepsTheOldOne)
{
    const std::vector<RefusedCase> cases = {
        {"AT+LRMPHNPRIO=11", Field(&P::phonePriority)},
        {"AT+LRMPHNPRIO=-1", Field(&P::phonePriority)},
        {"AT+LRMSMSPRIO=", Field(&P::smsPriority)},
        {"AT+LRMGPRSPRIO=3x", Field(&P::gprsPriority)},
        {"AT+LRMSMSPLYNUM=65536", Field(&P::smsPlayCount)},
        {"at+idnt=1234567", Field(&P::deviceId)},
        {"at+idnt=1234567G", Field(&P::deviceId)},
        {"at+polltime=30", Field(&P::heartbeatSeconds)},
        {"at+polltime=65536", Field(&P::heartbeatSeconds)},
        {"AT+LRMFMFREQ=87.5", Field(&P::fmFrequency)},
        {"AT+LRMFMFREQ=0", Field(&P::fmFrequency)},
        {"AT+LRMFMVOICE=48", Field(&P::fmVolume)},
        {"AT+LRMMP3LVL=27", Field(&P::mp3Volume)},
        {"AT+LRMTTSLVL=0", Field(&P::ttsVolume)},
        {"AT+LRMMCUFUN=0", Field(&P::commModule)},
        {"at+debug=3", Field(&P::debugLevel)},
        {"at+retmain=2", Field(&P::returnToMainServer)},
        {"AT+RETRY=1", Field(&P::linkRetryTimes)},
        {"at+dnssvr=" + std::string(97, 'd'), Field(&P::dnsServer)},
        {"at+apn=" + std::string(100, 'a'), Field(&P::apn)},
        {"at+smsc=" + std::string(98, '1'), Field(&P::smsCentre)},
        {"AT+LRMSETTXT1=" + std::string(401, 't'), Field(&P::presetText1)},
        {"AT+LRMFMSNR=" + std::string(100, '1'), Field(&P::fmSnr)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command);
        TerminalCommandInterpreter firmware;
        const std::string before = c.field(firmware.Parameters());
        EXPECT_EQ(firmware.Execute(c.command, kNow).reply, "ERROR\r\n");
        EXPECT_EQ(c.field(firmware.Parameters()), before);
    }
}

TEST(CommandInterpreter, LongestValuesThatFitTheReportAreAccepted)
{
    TerminalCommandInterpreter firmware;
    for (const std::string& command : {"at+dnssvr=" + std::string(96, 'd'),
                                      "at+apn=" + std::string(99, 'a'),
                                      "at+smsc=" + std::string(97, '1'),
                                      "AT+LRMSETTXT1=" + std::string(400, 't')})
        EXPECT_EQ(firmware.Execute(command, kNow).reply, "OK\r\n") << command;
}

TEST(CommandInterpreter, AbsentModulesCannotBeSwitched)
{
    TerminalCommandInterpreter firmware;
    firmware.Parameters().intercomEnabled = "2";
    firmware.Parameters().pickupEnabled = "2";
    EXPECT_EQ(firmware.Execute("AT+LRMSETINPHNOPEN=1", kNow).reply, "ERROR\r\n");
    EXPECT_EQ(firmware.Execute("AT+LRMAUDIOFUNOPEN=0", kNow).reply, "ERROR\r\n");
    EXPECT_EQ(firmware.Parameters().intercomEnabled, "2");
}

TEST(CommandInterpreter, WithoutValidationEveryValueIsStored)
{
    TerminalCommandInterpreter firmware;
    firmware.SetValidateValues(false);
    EXPECT_EQ(firmware.Execute("AT+LRMPHNPRIO=11", kNow).reply, "OK\r\n");
    EXPECT_EQ(firmware.Parameters().phonePriority, 11);
    EXPECT_EQ(firmware.Execute("at+idnt=xyz", kNow).reply, "OK\r\n");
    EXPECT_EQ(firmware.Parameters().deviceId, "xyz");
}

TEST(CommandInterpreter, NamesAreTakenInTheToolsCaseOnlyAndValuesKeptAsSent)
{
    TerminalCommandInterpreter firmware;
    EXPECT_EQ(firmware.Execute("at+apn=MixedCase", kNow).reply, "OK\r\n");
    EXPECT_EQ(firmware.Parameters().apn, "MixedCase");
    EXPECT_EQ(firmware.Execute("AT+APN=Other", kNow).reply, "ERROR\r\n");
    EXPECT_EQ(firmware.Parameters().apn, "MixedCase");
    EXPECT_EQ(firmware.Execute("AT+SHOW", kNow).reply, firmware.Execute("at+show", kNow).reply);
}

struct ListCase {
    const char* name;
    std::vector<std::string> before;
    std::string command;
    const char* reply;
    std::vector<std::string> after;
};

TEST(CommandInterpreter, NumberListCommands)
{
    using V = std::vector<std::string>;
    const std::vector<ListCase> cases = {
        {"add two", {"1"}, "AT+LRMADDADMINNO=138,139", "OK\r\n", {"1", "138", "139"}},
        {"add with trailing comma", {}, "AT+LRMADDADMINNO=138,", "OK\r\n", {"138"}},
        {"add plus sign", {}, "AT+LRMADDADMINNO=+86138", "OK\r\n", {"+86138"}},
        {"add nothing", {"1"}, "AT+LRMADDADMINNO=", "ERROR\r\n", {"1"}},
        {"add empty between commas", {}, "AT+LRMADDADMINNO=1,,2", "ERROR\r\n", {}},
        {"add letters", {}, "AT+LRMADDADMINNO=12a", "ERROR\r\n", {}},
        {"add 33 digits", {}, "AT+LRMADDADMINNO=" + std::string(33, '1'), "ERROR\r\n", {}},
        {"add 32 digits", {}, "AT+LRMADDADMINNO=" + std::string(32, '1'), "OK\r\n", V{std::string(32, '1')}},
        {"add past 255", V(255, "5"), "AT+LRMADDADMINNO=6", "ERROR\r\n", V(255, "5")},
        {"delete every copy", {"1", "2", "1", "3"}, "AT+LRMDELADMINNO=1", "OK\r\n", {"2", "3"}},
        {"delete two", {"1", "2", "3"}, "AT+LRMDELADMINNO=1,3", "OK\r\n", {"2"}},
        {"delete unknown", {"1"}, "AT+LRMDELADMINNO=9", "OK\r\n", {"1"}},
        {"delete nothing", {"1"}, "AT+LRMDELADMINNO=", "ERROR\r\n", {"1"}},
        {"set replaces", {"1", "2"}, "AT+LRMSETADMINNO=7,8,9", "OK\r\n", {"7", "8", "9"}},
        {"set empty empties", {"1", "2"}, "AT+LRMSETADMINNO=", "OK\r\n", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TerminalCommandInterpreter firmware;
        firmware.Parameters().adminNumbers = c.before;
        EXPECT_EQ(firmware.Execute(c.command, kNow).reply, c.reply);
        EXPECT_EQ(firmware.Parameters().adminNumbers, c.after);
    }
}

TEST(CommandInterpreter, EachListHasItsOwnCommands)
{
    TerminalCommandInterpreter firmware;
    P& p = firmware.Parameters();
    p.adminNumbers = p.authorisedNumbers = p.backupNumbers = {};
    for (const char* command : {"AT+LRMADDADMINNO=1", "AT+LRMADDLRMNO=2,3", "AT+LRMADDBKNO=4"})
        ASSERT_EQ(firmware.Execute(command, kNow).reply, "OK\r\n");
    EXPECT_EQ(p.adminNumbers, std::vector<std::string>{"1"});
    EXPECT_EQ(p.authorisedNumbers, (std::vector<std::string>{"2", "3"}));
    EXPECT_EQ(p.backupNumbers, std::vector<std::string>{"4"});
    for (const char* command : {"AT+LRMDELLRMNO=2", "AT+LRMSETBKNO=", "AT+LRMSETADMINNO=5,6"})
        ASSERT_EQ(firmware.Execute(command, kNow).reply, "OK\r\n");
    EXPECT_EQ(p.adminNumbers, (std::vector<std::string>{"5", "6"}));
    EXPECT_EQ(p.authorisedNumbers, std::vector<std::string>{"3"});
    EXPECT_TRUE(p.backupNumbers.empty());
    const auto read = ReadReport(firmware.Execute("AT+SHOW", kNow).reply);
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(read->adminNumbers, p.adminNumbers);
    EXPECT_EQ(read->authorisedNumbers, p.authorisedNumbers);
    EXPECT_TRUE(read->backupNumbers.empty());
}

TEST(CommandInterpreter, QueriesAnswerWithTheirLineAndOk)
{
    TerminalCommandInterpreter firmware;
    const TerminalIdentity& id = firmware.Identity();
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"AT+LRMMCUFUN?", "+LRMMCUFUN: 1\r\nOK\r\n"},
        {"ati", id.moduleType + "\r\nOK\r\n"},
        {"AT+CGMR", "+CGMR: " + id.moduleRevision + "\r\nOK\r\n"},
        {"AT+VER", "+VER: " + id.firmwareVersion + "\r\nOK\r\n"},
        {"AT+CPIN?", "+CPIN: READY\r\nOK\r\n"},
        {"at+csq", "+CSQ: 23,99\r\nOK\r\n"},
        {"at+ipr?", "+IPR: 115200\r\nOK\r\n"},
        {"AT+LRMSNDPOWER", "+LRMSNDPOWER: power-on test signal sent\r\nOK\r\n"},
        {"at+show", ParameterReport::Build(firmware.Parameters())},
        {"AT+NOSUCH", "ERROR\r\n"},
        {"AT+NOSUCH=1", "ERROR\r\n"},
        {"hello", "ERROR\r\n"},
        {"AT", "ERROR\r\n"},  // the tool never sends it
    };
    for (const auto& [command, reply] : cases)
        EXPECT_EQ(firmware.Execute(command, kNow).reply, reply) << command;

    firmware.Identity().simReady = false;
    EXPECT_EQ(firmware.Execute("AT+CPIN?", kNow).reply, "+CPIN: NOT INSERTED\r\nERROR\r\n");
}

TEST(CommandInterpreter, ClockSetIsShownByTheNextQueryAndKeepsRunning)
{
    TerminalCommandInterpreter firmware;
    ASSERT_EQ(firmware.Execute("AT+EXCCLK=\"2013/06/09,14:05:00\",0", kNow).reply, "OK\r\n");
    EXPECT_EQ(firmware.Execute("AT+EXCCLK?", kNow).reply,
              "+EXCCLK: \"2013/06/09,14:05:00\",0\r\nOK\r\n");
    EXPECT_EQ(firmware.Execute("AT+EXCCLK?", kNow + 65).reply,
              "+EXCCLK: \"2013/06/09,14:06:05\",0\r\nOK\r\n");
    // 10 June 2013 was a Monday.
    ASSERT_EQ(firmware.Execute("AT+EXCCLK=\"2013/06/10,00:00:00\",1", kNow).reply, "OK\r\n");
    EXPECT_EQ(firmware.Execute("AT+EXCCLK?", kNow).reply,
              "+EXCCLK: \"2013/06/10,00:00:00\",1\r\nOK\r\n");

    for (const char* bad : {"AT+EXCCLK=2013/06/09,14:05:00,0", "AT+EXCCLK=\"2013/13/09,14:05:00\",0",
                            "AT+EXCCLK=\"2013/02/29,14:05:00\",5", "AT+EXCCLK=\"2013/06/09,24:00:00\",0",
                            "AT+EXCCLK=\"2013/06/09,14:05:00\",7", "AT+EXCCLK=\"2013/06/09,14:05:00\""})
        EXPECT_EQ(firmware.Execute(bad, kNow).reply, "ERROR\r\n") << bad;
}

TEST(CommandInterpreter, FactoryRestoresTheFactoryParameters)
{
    TerminalCommandInterpreter firmware;
    firmware.Execute("at+apn=OTHER", kNow);
    firmware.Execute("AT+LRMSETADMINNO=", kNow);
    EXPECT_EQ(firmware.Execute("AT+FACTORY", kNow).reply, "OK\r\n");
    EXPECT_EQ(firmware.Parameters(), TerminalParameters::Defaults());

    P factory = TerminalParameters::Defaults();
    factory.apn = "FACTORYAPN";
    firmware.SetFactoryParameters(factory);
    firmware.Execute("AT+FACTORY", kNow);
    EXPECT_EQ(firmware.Parameters().apn, "FACTORYAPN");
}

TEST(CommandInterpreter, EchoOffAndRestart)
{
    TerminalCommandInterpreter firmware;
    EXPECT_TRUE(firmware.EchoOn());
    // Without the plus sign the terminal does not know the command.
    EXPECT_EQ(firmware.Execute("atnoecho", kNow).reply, "ERROR\r\n");
    EXPECT_TRUE(firmware.EchoOn());
    const CommandOutcome echoOff = firmware.Execute("at+noecho", kNow);
    EXPECT_EQ(echoOff.reply, "OK\r\n");
    EXPECT_FALSE(echoOff.restart);
    EXPECT_FALSE(firmware.EchoOn());
    const CommandOutcome reset = firmware.Execute("at+reset", kNow);
    EXPECT_EQ(reset.reply, "OK\r\n");
    EXPECT_TRUE(reset.restart);
}

}  // namespace

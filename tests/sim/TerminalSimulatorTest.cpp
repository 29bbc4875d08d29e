#include "PtyClient.h"
#include "ReportReader.h"
#include "sim/ParameterReport.h"
#include "sim/TerminalSimulator.h"
#include "support/EventLoopWait.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
using testsupport::WaitUntil;

SimulatorOptions FastOptions()
{
    SimulatorOptions o;
    o.bootWindowMs = 400;
    o.powerOnDelayMs = 20;
    o.restartDelayMs = 50;
    o.peerPollMs = 5;
    return o;
}

bool AllNoise(std::string_view bytes)
{
    for (char c : bytes) {
        if (static_cast<unsigned char>(c) < 0x80)
            return false;
    }
    return !bytes.empty();
}

class TerminalSimulatorTest : public ::testing::Test {
protected:
    explicit TerminalSimulatorTest(SimulatorOptions options = FastOptions())
        : m_sim(std::move(options))
    {
    }

    void SetUp() override { ASSERT_TRUE(m_sim.Start()) << m_sim.LastError(); }

    bool WaitForMode(TerminalMode mode, std::chrono::milliseconds limit = 5s)
    {
        return WaitUntil([&] { return m_sim.Mode() == mode; }, limit);
    }

    // Opens the device and catches the terminal during its boot, as the
    // tool does; echo is turned off unless asked otherwise.
    std::unique_ptr<PtyClient> OpenConfigured(bool echoOff = true)
    {
        auto client = std::make_unique<PtyClient>(m_sim.DevicePath());
        EXPECT_TRUE(client->IsOpen());
        EXPECT_TRUE(client->ReadUntil("configure program.\r\n"));
        client->Write("s");
        EXPECT_TRUE(client->ReadUntil("AT+LIST\r\n"));
        if (echoOff) {
            client->Write("at+noecho\r");
            EXPECT_TRUE(client->ReadUntil("OK\r\n"));
        }
        m_sim.ClearLogs();
        return client;
    }

    // One reply: lines up to the one that says OK or ERROR.
    static std::string ReadReply(PtyClient& client)
    {
        std::string reply;
        while (const auto line = client.ReadUntil("\r\n", 2s)) {
            reply += *line;
            if (*line == "OK\r\n" || line->ends_with("ERROR\r\n"))
                break;
        }
        return reply;
    }

    // The reply to "at+show", read the way the tool recognises it.
    static std::string ReadReportReply(PtyClient& client)
    {
        const auto head = client.ReadUntil("Access Point Name:");
        const auto tail = client.ReadUntil("OK\r\n");
        return head && tail ? *head + *tail : std::string();
    }

    TerminalSimulator m_sim;
};

// ---------------------------------------------------------------- power-on

TEST_F(TerminalSimulatorTest, StaysOffUntilAProgramOpensTheDevice)
{
    testsupport::SpinFor(60ms);
    EXPECT_EQ(m_sim.Mode(), TerminalMode::Off);
    EXPECT_EQ(m_sim.BootCount(), 0);
    EXPECT_FALSE(m_sim.PeerConnected());
}

TEST_F(TerminalSimulatorTest, PrintsTheBootTextWhenTheDeviceIsOpened)
{
    PtyClient client(m_sim.DevicePath());
    const auto boot = client.ReadUntil("configure program.\r\n");
    ASSERT_TRUE(boot);
    EXPECT_EQ(*boot, TerminalSimulator::BootText());
    EXPECT_NE(boot->find("Press 's' key"), std::string::npos);
    EXPECT_EQ(m_sim.Mode(), TerminalMode::Booting);
    EXPECT_EQ(m_sim.BootCount(), 1);
    EXPECT_TRUE(m_sim.PeerConnected());
}

TEST_F(TerminalSimulatorTest, AnSDuringBootEntersConfigurationMode)
{
    PtyClient client(m_sim.DevicePath());
    ASSERT_TRUE(client.ReadUntil("configure program.\r\n"));
    client.Write("s");
    EXPECT_EQ(client.ReadUntil("AT+LIST\r\n"), "\r\nAT+LIST\r\n");
    EXPECT_TRUE(WaitForMode(TerminalMode::Configuration));
    EXPECT_TRUE(m_sim.EchoOn());
}

TEST_F(TerminalSimulatorTest, WithoutAnSItBootsIntoCommunicationModeAndEchoes)
{
    PtyClient client(m_sim.DevicePath());
    ASSERT_TRUE(client.ReadUntil("configure program.\r\n"));
    ASSERT_TRUE(WaitForMode(TerminalMode::Communication));
    client.Write("hello\r\nAT+SHOW\r");
    EXPECT_EQ(client.ReadUntil("AT+SHOW\r"), "hello\r\nAT+SHOW\r");
    EXPECT_TRUE(m_sim.ReceivedCommands().empty());
}

TEST_F(TerminalSimulatorTest, ClosingAndReopeningTheDevicePowersOnAgain)
{
    {
        PtyClient client(m_sim.DevicePath());
        ASSERT_TRUE(client.ReadUntil("configure program.\r\n"));
    }
    ASSERT_TRUE(WaitForMode(TerminalMode::Off));
    EXPECT_FALSE(m_sim.PeerConnected());
    PtyClient again(m_sim.DevicePath());
    EXPECT_TRUE(again.ReadUntil("configure program.\r\n"));
    EXPECT_EQ(m_sim.BootCount(), 2);
}

TEST_F(TerminalSimulatorTest, PowerOnOnDemandRebootsWithEchoOn)
{
    auto client = OpenConfigured();
    EXPECT_FALSE(m_sim.EchoOn());
    m_sim.PowerOn();
    EXPECT_EQ(client->ReadUntil("configure program.\r\n"), TerminalSimulator::BootText());
    EXPECT_EQ(m_sim.Mode(), TerminalMode::Booting);
    EXPECT_TRUE(m_sim.EchoOn());
    client->Write("s");
    EXPECT_TRUE(client->ReadUntil("AT+LIST\r\n"));
}

// -------------------------------------------------- configuration commands

TEST_F(TerminalSimulatorTest, AnswersTheToolsEntryHandshake)
{
    PtyClient client(m_sim.DevicePath());
    // The tool sends 's' every few hundred milliseconds from the moment the
    // port is open; late ones reach the terminal in configuration mode.
    std::optional<std::string> list;
    for (int i = 0; i < 100 && !list; ++i) {
        client.Write("s");
        list = client.ReadUntil("AT+LIST\r\n", 20ms);
    }
    ASSERT_TRUE(list);
    client.Write("s");

    client.Write("AT+LRMMCUFUN?\r");
    // Echo is still on: the late 's' and the command come back before the
    // answer.
    const std::string probeReply = client.ReadUntil("OK\r\n").value_or("");
    const std::string answer = "AT+LRMMCUFUN?\r+LRMMCUFUN: 1\r\nOK\r\n";
    ASSERT_TRUE(probeReply.ends_with(answer)) << probeReply;
    EXPECT_EQ(probeReply.substr(0, probeReply.size() - answer.size()).find_first_not_of('s'),
              std::string::npos);
    EXPECT_GE(probeReply.size(), answer.size() + 1);

    for (char c : std::string("at+noecho\r"))
        client.Write(std::string(1, c));
    EXPECT_EQ(client.ReadUntil("OK\r\n"), "at+noecho\rOK\r\n");
    EXPECT_FALSE(m_sim.EchoOn());

    client.Write("ati\r");
    EXPECT_EQ(client.ReadUntil("OK\r\n"), m_sim.Identity().moduleType + "\r\nOK\r\n");
    client.Write("AT+CGMR\r");
    EXPECT_EQ(client.ReadUntil("OK\r\n"), "+CGMR: " + m_sim.Identity().moduleRevision + "\r\nOK\r\n");
    client.Write("at+show\r");
    EXPECT_EQ(ReadReportReply(client), ParameterReport::Build(m_sim.Parameters()));

    const std::vector<std::string> expected = {"AT+LRMMCUFUN?", "at+noecho", "ati", "AT+CGMR", "at+show"};
    EXPECT_EQ(m_sim.ReceivedCommands(), expected);
}

TEST_F(TerminalSimulatorTest, AnswersEveryQuery)
{
    auto client = OpenConfigured();
    struct Query {
        const char* sent;
        std::string reply;
    };
    const TerminalIdentity id = m_sim.Identity();
    const std::vector<Query> queries = {
        {"AT+VER\r", "+VER: " + id.firmwareVersion + "\r\nOK\r\n"},
        {"AT+CPIN?\r", "+CPIN: READY\r\nOK\r\n"},
        {"at+csq\r", "+CSQ: 23,99\r\nOK\r\n"},
        {"at+ipr?\r", "+IPR: 115200\r\nOK\r\n"},
        {"AT+LRMSNDPOWER\r", "+LRMSNDPOWER: power-on test signal sent\r\nOK\r\n"},
        {"AT+NOSUCH\r", "ERROR\r\n"},
    };
    for (const auto& q : queries) {
        client->Write(q.sent);
        EXPECT_EQ(ReadReply(*client), q.reply) << q.sent;
    }
}

TEST_F(TerminalSimulatorTest, TakesCommandsOnlyAsTheToolSendsThem)
{
    const std::string report = ParameterReport::Build(m_sim.Parameters());
    const std::string version = "+VER: " + m_sim.Identity().firmwareVersion + "\r\nOK\r\n";
    const std::string ok = "OK\r\n";
    const std::string error = "ERROR\r\n";
    const std::string none;  // no line end yet: the terminal waits, the tool times out
    struct Row {
        const char* name;
        std::string sent;
        std::string reply;
        // Sent as the first bytes after "AT+LIST", before echo is off (so
        // the reply starts with the echo).
        bool first = false;
    };
    const std::vector<Row> rows = {
        {"read-back, upper case", "AT+SHOW\r", report},
        {"read-back, lower case", "at+show\r", report},
        {"mixed case", "at+SHOW\r", error},
        {"mixed case 2", "At+Show\r", error},
        {"query in the other case", "at+ver\r", error},
        {"setter in its case", "at+apn=UNINET\r", ok},
        {"setter in the other case", "AT+APN=UNINET\r", error},
        {"a bare AT is no command of the tool", "AT\r", error},
        {"LF alone ends no line", "AT+SHOW\n", none},
        {"CR LF: the LF starts the next line", "AT+VER\r\nAT+VER\r", version + error},
        {"an empty line is no command", "AT+VER\r\r", version},
        {"stray byte before the command", "xAT+SHOW\r", error},
        {"late boot keys before the first command", "ssAT+VER\r", "ssAT+VER\r" + version, true},
        {"no boot keys after the first command", "AT+VER\rsAT+VER\r", version + error},
        {"leading blank", " AT+VER\r", error},
        {"trailing blank", "AT+VER \r", error},
        {"trailing tab", "AT+VER\t\r", error},
        {"blank before the equals sign", "at+apn =UNINET\r", error},
        {"clock, system path format", "AT+EXCCLK=\"2013/06/09,14:05:00\",0\r", ok},
        {"clock, leap day, Thursday", "AT+EXCCLK=\"2024/02/29,23:59:59\",4\r", ok},
        {"clock, weekday not the date's", "AT+EXCCLK=\"2013/06/09,14:05:00\",1\r", error},
        {"clock, weekday 7", "AT+EXCCLK=\"2013/06/09,14:05:00\",7\r", error},
        {"clock, weekday padded", "AT+EXCCLK=\"2013/06/09,14:05:00\",00\r", error},
        {"clock, two-digit year", "AT+EXCCLK=\"13/06/09,14:05:00\",0\r", error},
        {"clock, unpadded month", "AT+EXCCLK=\"2013/6/09,14:05:00\",0\r", error},
        {"clock, unpadded day", "AT+EXCCLK=\"2013/06/9,14:05:00\",0\r", error},
        {"clock, unpadded hour", "AT+EXCCLK=\"2013/06/09,4:05:00\",0\r", error},
        {"clock, unpadded minute", "AT+EXCCLK=\"2013/06/09,14:5:00\",0\r", error},
        {"clock, unpadded second", "AT+EXCCLK=\"2013/06/09,14:05:0\",0\r", error},
        {"clock, blank after the comma", "AT+EXCCLK=\"2013/06/09,14:05:00\", 0\r", error},
    };
    auto client = OpenConfigured();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        // Each row on a freshly booted terminal, nothing pending.
        m_sim.PowerOn();
        ASSERT_TRUE(client->ReadUntil("configure program.\r\n"));
        client->Write("s");
        ASSERT_TRUE(client->ReadUntil("AT+LIST\r\n"));
        if (!row.first) {
            client->Write("at+noecho\r");
            ASSERT_TRUE(client->ReadUntil("at+noecho\rOK\r\n"));
        }

        client->Write(row.sent);
        if (!row.reply.empty()) {
            EXPECT_EQ(client->ReadUntil(row.reply, 2s), row.reply);
        }
        EXPECT_EQ(client->ReadFor(row.reply.empty() ? 200ms : 30ms), "");
    }
}

TEST_F(TerminalSimulatorTest, ClockQueryWithTwoCarriageReturnsGetsOneAnswer)
{
    auto client = OpenConfigured();
    client->Write("AT+EXCCLK=\"2013/06/09,14:05:00\",0\r");
    EXPECT_EQ(client->ReadUntil("OK\r\n"), "OK\r\n");
    client->Write("AT+EXCCLK?\r\r");
    const auto reply = client->ReadUntil("OK\r\n");
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->rfind("+EXCCLK: \"2013/06/09,14:0", 0), 0u) << *reply;
    EXPECT_EQ(client->ReadFor(150ms), "");  // the empty line is no command
    EXPECT_EQ(m_sim.ReceivedBytes(), "AT+EXCCLK=\"2013/06/09,14:05:00\",0\rAT+EXCCLK?\r\r");
    EXPECT_EQ(m_sim.ReceivedCommands(),
              (std::vector<std::string>{"AT+EXCCLK=\"2013/06/09,14:05:00\",0", "AT+EXCCLK?"}));
}

TEST_F(TerminalSimulatorTest, ASetterChangesTheNextReport)
{
    auto client = OpenConfigured();
    client->Write("at+apn=UNINET\r");
    EXPECT_EQ(client->ReadUntil("\r\n"), "OK\r\n");
    client->Write("AT+LRMFMFREQ=10150\r");
    EXPECT_EQ(client->ReadUntil("\r\n"), "OK\r\n");
    EXPECT_EQ(m_sim.Parameters().apn, "UNINET");

    client->Write("AT+SHOW\r");
    const auto read = ReadReport(ReadReportReply(*client));
    ASSERT_TRUE(read);
    EXPECT_EQ(read->apn, "UNINET");
    EXPECT_EQ(read->fmFrequency, "10150");
}

TEST_F(TerminalSimulatorTest, NumberListCommandsOverTheLine)
{
    auto client = OpenConfigured();
    for (const char* command : {"AT+LRMSETADMINNO=\r", "AT+LRMADDADMINNO=111,222\r",
                                "AT+LRMADDLRMNO=333\r", "AT+LRMDELADMINNO=111\r",
                                "AT+LRMSETBKNO=444,555\r"}) {
        client->Write(command);
        EXPECT_EQ(client->ReadUntil("\r\n"), "OK\r\n") << command;
    }
    const TerminalParameters p = m_sim.Parameters();
    EXPECT_EQ(p.adminNumbers, std::vector<std::string>{"222"});
    EXPECT_EQ(p.authorisedNumbers.back(), "333");
    EXPECT_EQ(p.backupNumbers, (std::vector<std::string>{"444", "555"}));
}

TEST_F(TerminalSimulatorTest, FactoryResetRestoresTheDefaults)
{
    m_sim.ModifyParameters([](TerminalParameters& p) {
        p.apn = "CHANGED";
        p.adminNumbers.clear();
    });
    auto client = OpenConfigured();
    client->Write("AT+FACTORY\r");
    EXPECT_EQ(client->ReadUntil("\r\n"), "OK\r\n");
    EXPECT_EQ(m_sim.Parameters(), TerminalParameters::Defaults());
}

TEST_F(TerminalSimulatorTest, ResetRebootsIntoCommunicationModeWithItsOwnLineSettings)
{
    m_sim.ModifyParameters([](TerminalParameters& p) {
        p.serialBaudrate = "9600";
        p.serialMode = "7E1";
    });
    auto client = OpenConfigured();
    client->Write("at+reset\r");
    const auto reply = client->ReadUntil("configure program.\r\n");
    ASSERT_TRUE(reply);
    EXPECT_EQ(*reply, "OK\r\n" + TerminalSimulator::BootText());
    ASSERT_TRUE(WaitForMode(TerminalMode::Communication));
    EXPECT_EQ(m_sim.BootCount(), 2);
    EXPECT_EQ(m_sim.CommSettings(), (CommLineSettings{9600, 7, 'E'}));
    client->Write("data");
    EXPECT_EQ(client->ReadUntil("data"), "data");
}

TEST_F(TerminalSimulatorTest, OverlongLinesAreRefused)
{
    auto client = OpenConfigured();
    client->Write("at+apn=" + std::string(20000, 'x') + "\r");
    EXPECT_EQ(client->ReadUntil("\r\n"), "ERROR\r\n");
    client->Write("at+noecho\r");
    EXPECT_EQ(client->ReadUntil("\r\n"), "OK\r\n");
}

TEST_F(TerminalSimulatorTest, LogsKeepTheExactBytesUntilCleared)
{
    auto client = OpenConfigured(false);
    client->Write("ss");  // late boot keys: taken, echoed, no command
    client->Write("AT+VER\r");
    ASSERT_TRUE(client->ReadUntil("OK\r\n"));
    EXPECT_EQ(m_sim.ReceivedBytes(), "ssAT+VER\r");
    EXPECT_EQ(m_sim.ReceivedCommands(), std::vector<std::string>{"AT+VER"});
    // Echo first, then the answer.
    EXPECT_EQ(m_sim.SentBytes().rfind("ssAT+VER\r+VER: ", 0), 0u);
    m_sim.ClearLogs();
    EXPECT_EQ(m_sim.ReceivedBytes(), "");
    EXPECT_EQ(m_sim.SentBytes(), "");
    EXPECT_TRUE(m_sim.ReceivedCommands().empty());
}

TEST_F(TerminalSimulatorTest, LastSentTimeIsThatOfTheReplysLastPiece)
{
    auto client = OpenConfigured();
    EXPECT_FALSE(m_sim.LastSentTime().has_value());

    // A reply in pieces: the time is that of the last piece, not the first.
    SimulatorFaults faults;
    faults.chunkSize = 4;
    faults.chunkPauseMs = 20;
    m_sim.SetFaults(faults);
    const std::size_t replySize = m_sim.Identity().moduleType.size() + std::string("\r\nOK\r\n").size();
    const auto pieces = static_cast<int>((replySize + 3) / 4);
    const auto asked = std::chrono::steady_clock::now();
    client->Write("ati\r");
    ASSERT_TRUE(client->ReadUntil("OK\r\n"));
    const auto received = std::chrono::steady_clock::now();
    const auto sent = m_sim.LastSentTime();
    ASSERT_TRUE(sent.has_value());
    EXPECT_GE(*sent, asked + (pieces - 1) * 20ms);
    EXPECT_LE(*sent, received);

    m_sim.ClearLogs();
    EXPECT_FALSE(m_sim.LastSentTime().has_value());
}

TEST_F(TerminalSimulatorTest, ParametersMayBeReadAndChangedWhileItTalks)
{
    auto client = OpenConfigured();
    std::atomic<bool> done{false};
    std::thread changer([&] {
        for (int i = 0; !done; ++i) {
            m_sim.ModifyParameters([i](TerminalParameters& p) { p.fmSnr = std::to_string(i % 50); });
            [[maybe_unused]] const auto copy = m_sim.Parameters();
        }
    });
    for (int i = 0; i < 5; ++i) {
        client->Write("at+show\r");
        EXPECT_TRUE(ReadReport(ReadReportReply(*client)).has_value());
    }
    done = true;
    changer.join();
}

// ------------------------------------------------------------------ faults

TEST_F(TerminalSimulatorTest, SilentCommandsGetNoAnswerAndNoEffect)
{
    auto client = OpenConfigured();
    SimulatorFaults faults;
    faults.silentPrefixes = {"at+ipad="};
    m_sim.SetFaults(faults);
    const std::string before = m_sim.Parameters().serverIp;
    client->Write("at+ipad=192.0.2.1\r");
    EXPECT_EQ(client->ReadFor(250ms), "");
    EXPECT_EQ(m_sim.Parameters().serverIp, before);
    EXPECT_EQ(m_sim.ReceivedCommands(), std::vector<std::string>{"at+ipad=192.0.2.1"});
    client->Write("at+port=7000\r");
    EXPECT_EQ(client->ReadUntil("\r\n"), "OK\r\n");
}

TEST_F(TerminalSimulatorTest, RepliesCanComeInPiecesWithZeroBytesAndNoise)
{
    auto client = OpenConfigured();
    const std::string plain = m_sim.Identity().moduleType + "\r\nOK\r\n";

    SimulatorFaults faults;
    faults.chunkSize = 4;
    faults.chunkPauseMs = 15;
    m_sim.SetFaults(faults);
    client->Write("ati\r");
    const auto pieces = client->ReadPiecesUntil("OK\r\n");
    EXPECT_GE(pieces.size(), 3u);
    EXPECT_EQ(client->ReadFor(0ms), plain);

    faults = {};
    faults.zeroBytes = true;
    m_sim.SetFaults(faults);
    client->Write("ati\r");
    EXPECT_EQ(client->ReadUntil("OK\r\n"), std::string(1, '\0') + m_sim.Identity().moduleType
                                               + "\r\n" + std::string(1, '\0') + "OK\r\n");

    faults = {};
    faults.garbageBytes = 6;
    m_sim.SetFaults(faults);
    client->Write("ati\r");
    const auto noisy = client->ReadUntil("OK\r\n");
    ASSERT_TRUE(noisy);
    ASSERT_EQ(noisy->size(), 6 + plain.size());
    EXPECT_TRUE(AllNoise(noisy->substr(0, 6)));
    EXPECT_EQ(noisy->substr(6), plain);
}

TEST_F(TerminalSimulatorTest, RepliesCanBeDelayed)
{
    auto client = OpenConfigured();
    SimulatorFaults faults;
    faults.replyDelayMs = 300;
    m_sim.SetFaults(faults);
    client->Write("at+noecho\r");
    EXPECT_EQ(client->ReadFor(100ms), "");
    EXPECT_EQ(client->ReadUntil("\r\n"), "OK\r\n");
}

TEST_F(TerminalSimulatorTest, VanishesWhenTheChosenCommandArrives)
{
    auto client = OpenConfigured();
    const std::string path = m_sim.DevicePath();
    SimulatorFaults faults;
    faults.vanishPrefix = "at+ipad=";
    m_sim.SetFaults(faults);
    client->Write("at+ipad=1.2.3.4\r");
    EXPECT_TRUE(client->WaitForHangUp());
    EXPECT_EQ(m_sim.Mode(), TerminalMode::Vanished);
    EXPECT_NE(access(path.c_str(), F_OK), 0);
    EXPECT_EQ(m_sim.ReceivedCommands(), std::vector<std::string>{"at+ipad=1.2.3.4"});
    m_sim.PowerOn();  // nothing left to power
    testsupport::SpinFor(30ms);
    EXPECT_EQ(m_sim.Mode(), TerminalMode::Vanished);
}

TEST_F(TerminalSimulatorTest, VanishesOnDemand)
{
    auto client = OpenConfigured();
    m_sim.Vanish();
    EXPECT_TRUE(client->WaitForHangUp());
    EXPECT_TRUE(WaitForMode(TerminalMode::Vanished));
}

TEST_F(TerminalSimulatorTest, SendsRawBytesAndGarbageOnDemand)
{
    auto client = OpenConfigured();
    m_sim.SendRaw("Press 's' key");
    EXPECT_EQ(client->ReadUntil("key"), "Press 's' key");
    m_sim.SendGarbage(10);
    const std::string garbage = client->ReadFor(150ms);
    EXPECT_EQ(garbage.size(), 10u);
    EXPECT_TRUE(AllNoise(garbage));
}

// ------------------------------------------------------ communication mode

TEST_F(TerminalSimulatorTest, SendsItsPeriodicMessageInCommunicationMode)
{
    m_sim.SetCommMessage("PING\r\n", 40);
    PtyClient client(m_sim.DevicePath());
    ASSERT_TRUE(client.ReadUntil("configure program.\r\n"));
    EXPECT_EQ(client.ReadUntil("PING\r\n"), "PING\r\n");
    EXPECT_EQ(client.ReadUntil("PING\r\n"), "PING\r\n");
    EXPECT_EQ(m_sim.Mode(), TerminalMode::Communication);
}

TEST_F(TerminalSimulatorTest, StreamsThePatternInCommunicationMode)
{
    m_sim.StartStreaming(50000, "abc");
    PtyClient client(m_sim.DevicePath());
    ASSERT_TRUE(client.ReadUntil("configure program.\r\n"));
    ASSERT_TRUE(WaitForMode(TerminalMode::Communication));
    std::string data;
    for (int i = 0; i < 200 && data.size() < 3000; ++i)
        data += client.ReadFor(10ms);
    ASSERT_GE(data.size(), 3000u);
    const auto start = data.find("abc");
    ASSERT_LT(start, 3u);
    for (std::size_t i = start; i < data.size(); ++i)
        ASSERT_EQ(data[i], "abc"[(i - start) % 3]) << i;
    m_sim.StopStreaming();
    EXPECT_GE(m_sim.StreamedBytes(), data.size());
}

class BaudCheckTest : public TerminalSimulatorTest {
protected:
    static SimulatorOptions Options()
    {
        SimulatorOptions o = FastOptions();
        o.checkCommBaudRate = true;
        return o;
    }
    BaudCheckTest() : TerminalSimulatorTest(Options()) {}
};

TEST_F(BaudCheckTest, AWrongBaudRateTurnsCommunicationIntoNoise)
{
    for (int baud : {9600, 115200}) {
        SCOPED_TRACE(baud);
        PtyClient client(m_sim.DevicePath(), baud);
        ASSERT_TRUE(client.ReadUntil("configure program.\r\n"));
        ASSERT_TRUE(WaitForMode(TerminalMode::Communication));
        EXPECT_EQ(m_sim.PeerBaudRate(), baud);
        client.Write("hello");
        const std::string echo = client.ReadFor(200ms);
        ASSERT_EQ(echo.size(), 5u);
        if (baud == 115200)
            EXPECT_EQ(echo, "hello");
        else
            EXPECT_TRUE(AllNoise(echo));
        client.Close();
        ASSERT_TRUE(WaitForMode(TerminalMode::Off));
    }
}

TEST(TerminalSimulatorLink, LinksTheDeviceAndRemovesTheLinkAtStop)
{
    char dir[] = "/tmp/sirenset-sim-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string link = std::string(dir) + "/ttyTerminal";
    {
        SimulatorOptions o = FastOptions();
        o.linkPath = link;
        TerminalSimulator sim(o);
        ASSERT_TRUE(sim.Start()) << sim.LastError();
        char target[256] = {};
        ASSERT_GT(readlink(link.c_str(), target, sizeof target - 1), 0);
        EXPECT_EQ(sim.DevicePath(), target);
        PtyClient client(link);
        EXPECT_TRUE(client.ReadUntil("configure program.\r\n"));
        sim.Stop();
        struct stat info{};
        EXPECT_NE(lstat(link.c_str(), &info), 0);
    }
    rmdir(dir);
}

}  // namespace

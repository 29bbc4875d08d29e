#include "LibraryCases.h"

#include "device/CLineWriter.h"
#include "serial/CSerial.h"
#include "support/EventLoopWait.h"
#include "support/SimulatorSession.h"
#include "terminal/CSequenceRunner.h"

#include <gtest/gtest.h>

#include <QSignalSpy>

#include <optional>

namespace {

using namespace librarycases;
using namespace std::chrono_literals;
using testsupport::SpinFor;
using testsupport::WaitUntil;

// Hands what the port reads to the runner, as the window does.
class FeedingListener : public ISerialListener {
public:
    CSerial* serial = nullptr;
    CSequenceRunner* runner = nullptr;

    void OnSerialRxChar() override
    {
        char buffer[CSerial::kMaxRead];
        const int n = serial->Read(buffer, CSerial::kMaxRead);
        if (runner && n > 0)
            runner->OnReceived(QByteArray(buffer, n));
    }
};

// A terminal that booted into communication mode (no 's' came) and echoes
// what arrives; the runner writes through the window's line writer on a
// real port and logs into m_log. Its clock moves 7 ms at every reading,
// so each step that waits for a reply takes 7 ms.
class SequenceWireTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SimulatorOptions options = testsupport::SimulatorSession::FastOptions();
        options.bootWindowMs = 50;
        options.commEcho = true;
        m_session.emplace(options);
        ASSERT_TRUE(m_session->Started());
        m_listener.serial = &m_serial;
        m_listener.runner = &m_runner;
        m_serial.SetOwner(&m_context, &m_listener);
        ASSERT_TRUE(m_serial.Open(m_session->PortNumber(), 115200)) << m_serial.LastError().toStdString();
        ASSERT_TRUE(WaitUntil([&] { return Sim().Mode() == TerminalMode::Communication; }));
        SpinFor(50ms);  // the boot text is read and dropped (no run yet)
        Sim().ClearLogs();
        m_runner.SetClock([this] { return m_now += 7; });
        ASSERT_TRUE(m_library.Assign({TextCommand(QStringLiteral("问候"), QStringLiteral("HELLO")),
                                      TextCommand(QStringLiteral("版本"), QStringLiteral("AT+VER"))},
                                     {}));
    }
    void TearDown() override
    {
        m_serial.Close();
        m_session.reset();
    }

    TerminalSimulator& Sim() { return m_session->sim(); }
    // Runs `sequence` until it finishes; its result.
    std::optional<bool> Run(const CommandSequence& sequence)
    {
        QSignalSpy finished(&m_runner, &CSequenceRunner::finished);
        EXPECT_TRUE(m_runner.Start(sequence, m_library));
        if (!WaitUntil([&] { return !finished.isEmpty(); }))
            return std::nullopt;
        return finished.front().front().toBool();
    }

    std::optional<testsupport::SimulatorSession> m_session;
    QObject m_context;
    FeedingListener m_listener;
    CSerial m_serial;
    CLineWriter m_lineWriter{m_serial};
    QStringList m_log;
    qint64 m_now = 0;
    CSequenceRunner m_runner{[this](const QByteArray& bytes) { return m_lineWriter.Send(bytes); },
                             [this](const QString& line) { m_log << line; }};
    CCommandLibrary m_library;
};

TEST_F(SequenceWireTest, RepliesFoundRunEveryRound)
{
    const CommandSequence sequence{QStringLiteral("读版本"),
                                   {SendStep(QStringLiteral("问候")), WaitStep(QStringLiteral("HELLO"), 3000),
                                    PauseStep(5), SendStep(QStringLiteral("版本")), WaitStep(QStringLiteral("VER\r"), 3000)},
                                   2};
    EXPECT_EQ(Run(sequence), true);
    const QStringList expected = {
        QStringLiteral("序列 读版本 开始：2 轮，每轮 5 步"),
        QStringLiteral("序列 读版本 第1/2轮 第1步 发送 \"问候\"：已发出 6 字节"),
        QStringLiteral("序列 读版本 第1/2轮 第2步 等待 \"HELLO\"：收到，7 ms"),
        QStringLiteral("序列 读版本 第1/2轮 第3步 暂停 5 ms：完成"),
        QStringLiteral("序列 读版本 第1/2轮 第4步 发送 \"版本\"：已发出 7 字节"),
        QStringLiteral("序列 读版本 第1/2轮 第5步 等待 \"VER\r\"：收到，7 ms"),
        QStringLiteral("序列 读版本 第2/2轮 第1步 发送 \"问候\"：已发出 6 字节"),
        QStringLiteral("序列 读版本 第2/2轮 第2步 等待 \"HELLO\"：收到，7 ms"),
        QStringLiteral("序列 读版本 第2/2轮 第3步 暂停 5 ms：完成"),
        QStringLiteral("序列 读版本 第2/2轮 第4步 发送 \"版本\"：已发出 7 字节"),
        QStringLiteral("序列 读版本 第2/2轮 第5步 等待 \"VER\r\"：收到，7 ms"),
        QStringLiteral("序列 读版本 完成"),
    };
    EXPECT_EQ(m_log, expected);
    EXPECT_EQ(Sim().ReceivedBytes(), "HELLO\rAT+VER\rHELLO\rAT+VER\r");
}

TEST_F(SequenceWireTest, MissingReplyStopsTheSequenceBeforeItsNextSend)
{
    const CommandSequence sequence{QStringLiteral("等不到"),
                                   {SendStep(QStringLiteral("问候")), WaitStep(QStringLiteral("WORLD"), 150),
                                    SendStep(QStringLiteral("版本"))},
                                   3};
    EXPECT_EQ(Run(sequence), false);
    SpinFor(100ms);
    EXPECT_EQ(m_log, (QStringList{
                         QStringLiteral("序列 等不到 开始：3 轮，每轮 3 步"),
                         QStringLiteral("序列 等不到 第1/3轮 第1步 发送 \"问候\"：已发出 6 字节"),
                         QStringLiteral("序列 等不到 第1/3轮 第2步 等待 \"WORLD\"：超时（150 ms），序列停止"),
                     }));
    EXPECT_EQ(Sim().ReceivedBytes(), "HELLO\r");

    // A command the library no longer has stops the run as well.
    m_log.clear();
    EXPECT_EQ(Run({QStringLiteral("缺命令"), {SendStep(QStringLiteral("没有")), SendStep(QStringLiteral("问候"))}, 1}),
              false);
    EXPECT_EQ(m_log.last(), QStringLiteral("序列 缺命令 第1/1轮 第1步 发送 \"没有\"：命令库中没有这条命令，序列停止"));
    SpinFor(50ms);
    EXPECT_EQ(Sim().ReceivedBytes(), "HELLO\r");
}

TEST_F(SequenceWireTest, ClosedPortEndsTheRunAtOnce)
{
    QSignalSpy finished(&m_runner, &CSequenceRunner::finished);
    ASSERT_TRUE(m_runner.Start({QStringLiteral("关端口"),
                                {SendStep(QStringLiteral("问候")), WaitStep(QStringLiteral("HELLO"), 3000),
                                 PauseStep(5000), SendStep(QStringLiteral("版本"))},
                                1},
                               m_library));
    ASSERT_TRUE(WaitUntil([&] { return m_log.size() == 3; }));
    // The window closes the port and tells the runner.
    m_serial.Close();
    m_lineWriter.Cancel();
    m_runner.OnPortClosed();
    ASSERT_EQ(finished.size(), 1);
    EXPECT_FALSE(finished.front().front().toBool());
    EXPECT_FALSE(m_runner.IsRunning());
    EXPECT_EQ(m_log.last(), QStringLiteral("序列 关端口 第1/1轮 第3步 暂停 5000 ms：端口已关闭，序列停止"));
    SpinFor(100ms);
    EXPECT_EQ(m_log.size(), 4);
    EXPECT_EQ(Sim().ReceivedBytes(), "HELLO\r");

    // Started on the closed port, its first send goes nowhere and stops it.
    m_log.clear();
    EXPECT_EQ(Run({QStringLiteral("关端口"), {SendStep(QStringLiteral("问候"))}, 1}), false);
    EXPECT_EQ(m_log.last(), QStringLiteral("序列 关端口 第1/1轮 第1步 发送 \"问候\"：端口未打开，没有发出，序列停止"));
}

// Which bytes a wait looks at, with replies handed in by the writer at the
// moment of the send (no line needed for this rule).
TEST(SequenceRunnerTest, WaitLooksSinceTheStepBeforeItAndPastEarlierMatches)
{
    CCommandLibrary library;
    ASSERT_TRUE(library.Assign({TextCommand(QStringLiteral("a"), QStringLiteral("A"))}, {}));
    QStringList log;
    CSequenceRunner* self = nullptr;
    CSequenceRunner runner([&](const QByteArray& bytes) { self->OnReceived("OK"); return int(bytes.size()); },
                           [&](const QString& line) { log << line; });
    self = &runner;
    runner.SetClock([] { return 0; });
    QSignalSpy finished(&runner, &CSequenceRunner::finished);
    struct Case {
        CommandSequence sequence;
        QString last;
    };
    const Case cases[] = {
        {{QStringLiteral("s"), {SendStep("a"), WaitStep("OK", 100)}, 1}, QStringLiteral("序列 s 完成")},
        // The reply came during the send; the pause began after it.
        {{QStringLiteral("s"), {SendStep("a"), PauseStep(1), WaitStep("OK", 50)}, 1},
         QStringLiteral("序列 s 第1/1轮 第3步 等待 \"OK\"：超时（50 ms），序列停止")},
        // One reply does not answer two waits.
        {{QStringLiteral("s"), {SendStep("a"), WaitStep("OK", 100), WaitStep("OK", 50)}, 1},
         QStringLiteral("序列 s 第1/1轮 第3步 等待 \"OK\"：超时（50 ms），序列停止")},
    };
    for (const Case& c : cases) {
        finished.clear();
        ASSERT_TRUE(runner.Start(c.sequence, library));
        EXPECT_FALSE(runner.Start(c.sequence, library));  // one run at a time
        ASSERT_TRUE(WaitUntil([&] { return !finished.isEmpty(); }));
        EXPECT_EQ(log.last(), c.last);
    }
    // The user's stop.
    ASSERT_TRUE(runner.Start({QStringLiteral("s"), {PauseStep(5000)}, 1}, library));
    ASSERT_TRUE(WaitUntil([&] { return runner.IsRunning() && log.size() >= 2 && log.last().contains("开始"); }));
    SpinFor(20ms);
    runner.Stop();
    EXPECT_EQ(log.last(), QStringLiteral("序列 s 第1/1轮 第1步 暂停 5000 ms：已由用户停止"));
    EXPECT_FALSE(runner.IsRunning());
}

}  // namespace

#include "SerialFixture.h"

#include "support/EventLoopWait.h"

#include <atomic>
#include <future>
#include <memory>
#include <random>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
using testsupport::SpinFor;
using testsupport::WaitUntil;

QByteArray AllByteValues()
{
    QByteArray bytes;
    for (int value = 0; value < 256; ++value)
        bytes.append(static_cast<char>(value));
    return bytes;
}

QByteArray RandomBytes(qsizetype count, unsigned seed)
{
    std::mt19937 generator(seed);
    QByteArray bytes(count, Qt::Uninitialized);
    for (char& byte : bytes)
        byte = static_cast<char>(generator() & 0xff);
    return bytes;
}

// Waits on the calling thread without running its event loop, so that a
// notification for it stays pending.
bool WaitWithoutEvents(const std::function<bool()>& done, std::chrono::milliseconds limit = 10s)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

// ------------------------------------------------------------ bytes

TEST_F(SerialPortTest, EveryByteValuePassesUnchangedBothWays)
{
    OpenWithListener();
    const QByteArray bytes = AllByteValues();
    ASSERT_TRUE(m_pty.Send(bytes));
    ASSERT_TRUE(WaitUntil([&] { return m_listener.received.size() >= bytes.size(); }));
    EXPECT_EQ(m_listener.received, bytes);
    EXPECT_EQ(m_serial.Write(bytes.constData(), int(bytes.size())), bytes.size());
    EXPECT_EQ(m_pty.Receive(bytes.size()), bytes);
    EXPECT_TRUE(m_pty.Receive(1, 100ms).isEmpty());  // no echo, no added bytes
    EXPECT_FALSE(m_listener.offThread);
}

TEST_F(SerialPortTest, LargeTransfersArriveByteExactBothWays)
{
    OpenWithListener();
    const QByteArray inbound = RandomBytes(3 * CSerial::kMaxRead + 1234, 7);
    std::thread sender([&] { m_pty.Send(inbound); });
    const bool all = WaitUntil([&] { return m_listener.received.size() >= inbound.size(); });
    sender.join();
    ASSERT_TRUE(all) << m_listener.received.size();
    EXPECT_EQ(m_listener.received, inbound);
    EXPECT_LE(m_listener.largestRead, CSerial::kMaxRead);
    EXPECT_EQ(m_listener.emptyReads, 0);

    const QByteArray outbound = RandomBytes(3 * CSerial::kMaxRead + 777, 11);
    auto received = std::async(std::launch::async, [&] { return m_pty.Receive(outbound.size()); });
    EXPECT_EQ(m_serial.Write(outbound.constData(), int(outbound.size())), outbound.size());
    EXPECT_EQ(received.get(), outbound);
}

TEST_F(SerialPortTest, WorkerWritesWhileTheOwnerReads)
{
    OpenWithListener();
    // The far end echoes everything, so reads and writes overlap.
    std::atomic<bool> echoing{true};
    std::thread echo([&] {
        while (echoing) {
            const QByteArray chunk = m_pty.Receive(1, 20ms);
            if (!chunk.isEmpty())
                m_pty.Send(chunk + m_pty.Receive(4096, 1ms));
        }
    });
    QByteArray sent;
    for (int i = 0; i < 64; ++i)
        sent += RandomBytes(97 + i, unsigned(i));
    std::atomic<int> writtenTotal{0};
    std::thread worker([&] {
        qsizetype at = 0;
        while (at < sent.size()) {
            const int length = int(std::min<qsizetype>(300, sent.size() - at));
            writtenTotal += m_serial.Write(sent.constData() + at, length);
            m_serial.Purge();  // purges run alongside reads too
            at += length;
        }
    });
    worker.join();
    // Purges may have thrown echoed bytes away; what arrived is in order and
    // intact as long as nothing was purged, so compare after a clean run.
    EXPECT_EQ(writtenTotal, sent.size());
    SpinFor(100ms);
    m_listener.received.clear();
    const QByteArray last = RandomBytes(5000, 99);
    std::thread lastWriter([&] { m_serial.Write(last.constData(), int(last.size())); });
    EXPECT_TRUE(WaitUntil([&] { return m_listener.received.size() >= last.size(); }));
    lastWriter.join();
    echoing = false;
    echo.join();
    EXPECT_EQ(m_listener.received, last);
    EXPECT_FALSE(m_listener.offThread);
}

TEST_F(SerialPortTest, ReadTakesNoMoreThanAskedAndNothingWhenEmpty)
{
    m_listener.readOnRx = false;
    OpenWithListener();
    char buffer[16] = {};
    EXPECT_EQ(m_serial.Read(buffer, 16), 0);
    ASSERT_TRUE(m_pty.Send("abcdefgh"));
    ASSERT_TRUE(WaitUntil([&] { return m_listener.rxCalls == 1; }));
    EXPECT_EQ(m_serial.Read(buffer, 3), 3);
    EXPECT_EQ(QByteArray(buffer, 3), "abc");
    EXPECT_EQ(m_serial.Read(buffer, 0), 0);
    EXPECT_EQ(m_serial.Read(nullptr, 16), 0);
    EXPECT_EQ(m_serial.Read(buffer, 16), 5);
    EXPECT_EQ(QByteArray(buffer, 5), "defgh");
    EXPECT_EQ(m_serial.Read(buffer, 16), 0);
}

TEST_F(SerialPortTest, PurgeThrowsAwayUnreadInput)
{
    m_listener.readOnRx = false;
    OpenWithListener();
    ASSERT_TRUE(m_pty.Send("stale bytes"));
    ASSERT_TRUE(WaitUntil([&] { return m_listener.rxCalls == 1; }));
    EXPECT_TRUE(m_serial.Purge());
    char buffer[64];
    EXPECT_EQ(m_serial.Read(buffer, 64), 0);
    m_listener.readOnRx = true;
    ASSERT_TRUE(m_pty.Send("fresh"));
    ASSERT_TRUE(WaitUntil([&] { return !m_listener.received.isEmpty(); }));
    EXPECT_EQ(m_listener.received, "fresh");
}

TEST_F(SerialPortTest, ClosedPortReadsWritesAndPurgesNothing)
{
    char buffer[8];
    EXPECT_EQ(m_serial.Read(buffer, 8), 0);
    EXPECT_EQ(m_serial.Write("abc", 3), 0);
    EXPECT_FALSE(m_serial.Purge());
    OpenWithListener();
    EXPECT_EQ(m_serial.Write("abc", 0), 0);
    EXPECT_EQ(m_serial.Write(nullptr, 3), 0);
    m_serial.Close();
    EXPECT_EQ(m_serial.Write("abc", 3), 0);
    EXPECT_EQ(m_serial.Read(buffer, 8), 0);
}

TEST_F(SerialPortTest, WriteGivesUpAfterItsTimeOut)
{
    OpenWithListener();
    m_serial.SetWriteTimeouts(100, 0);
    // Nobody reads the far end: the pty's buffers fill and stay full.
    const QByteArray big(1 << 20, 'w');
    const int written = m_serial.Write(big.constData(), int(big.size()));
    EXPECT_GT(written, 0);
    EXPECT_LT(written, big.size());
    EXPECT_EQ(m_pty.Receive(written, 10s).size(), written);
}

TEST_F(SerialPortTest, CloseCutsShortAWriteOnAnotherThread)
{
    OpenWithListener();
    m_serial.SetWriteTimeouts(60000, 0);
    const QByteArray big(1 << 20, 'w');
    auto writing = std::async(std::launch::async, [&] { return m_serial.Write(big.constData(), int(big.size())); });
    std::this_thread::sleep_for(200ms);
    m_serial.Close();
    ASSERT_EQ(writing.wait_for(10s), std::future_status::ready);
    EXPECT_LT(writing.get(), big.size());
    EXPECT_FALSE(m_serial.IsOpen());
}

// ------------------------------------------------------------ notifications

TEST_F(SerialPortTest, RxCharRunsOnTheOwnerThreadWhileTheReaderWaits)
{
    ProbeSerial serial(m_table);
    m_listener.serial = &serial;
    std::vector<int> readerInside;
    m_listener.onRx = [&] {
        readerInside.push_back(serial.entered - serial.left);
        // Give a reader that did not wait every chance to announce again.
        std::this_thread::sleep_for(30ms);
        m_listener.ReadAll();
    };
    serial.SetOwner(&m_context, &m_listener);
    ASSERT_TRUE(serial.Open(m_number, 115200)) << serial.LastError().toStdString();
    QByteArray sent;
    for (int burst = 0; burst < 5; ++burst) {
        const QByteArray bytes = "burst " + QByteArray::number(burst) + ";";
        sent += bytes;
        ASSERT_TRUE(m_pty.Send(bytes));
        ASSERT_TRUE(WaitUntil([&] { return m_listener.received.size() >= sent.size(); }));
    }
    SpinFor(100ms);
    EXPECT_EQ(m_listener.received, sent);
    EXPECT_FALSE(m_listener.offThread);
    // Each announcement brought new bytes, and the reader was inside OnRxChar
    // for every one of them.
    EXPECT_EQ(m_listener.emptyReads, 0);
    ASSERT_FALSE(readerInside.empty());
    for (int inside : readerInside)
        EXPECT_EQ(inside, 1);
    EXPECT_EQ(serial.entered, m_listener.rxCalls);
}

TEST_F(SerialPortTest, UnreadInputIsNotAnnouncedAgainUntilMoreArrives)
{
    m_listener.readOnRx = false;
    OpenWithListener();
    ASSERT_TRUE(m_pty.Send("abc"));
    ASSERT_TRUE(WaitUntil([&] { return m_listener.rxCalls == 1; }));
    SpinFor(300ms);
    EXPECT_EQ(m_listener.rxCalls, 1);
    m_listener.readOnRx = true;
    ASSERT_TRUE(m_pty.Send("d"));
    ASSERT_TRUE(WaitUntil([&] { return m_listener.received.size() >= 4; }));
    EXPECT_EQ(m_listener.received, "abcd");
    EXPECT_EQ(m_listener.rxCalls, 2);
}

TEST_F(SerialPortTest, InputWaitsForAnOwnerAndIsAnnouncedWhenOneIsSet)
{
    ASSERT_TRUE(m_serial.Open(m_number, 115200)) << m_serial.LastError().toStdString();
    ASSERT_TRUE(m_pty.Send("early"));
    SpinFor(150ms);
    EXPECT_EQ(m_listener.rxCalls, 0);
    m_serial.SetOwner(&m_context, &m_listener);
    ASSERT_TRUE(WaitUntil([&] { return m_listener.received.size() >= 5; }));
    EXPECT_EQ(m_listener.received, "early");
}

TEST_F(SerialPortTest, CloseEndsTheReaderWhileANotificationIsPending)
{
    ProbeSerial serial(m_table);
    m_listener.serial = &serial;
    serial.SetOwner(&m_context, &m_listener);
    ASSERT_TRUE(serial.Open(m_number, 115200)) << serial.LastError().toStdString();
    ASSERT_TRUE(m_pty.Send("pending"));
    // The reader has posted to this thread, which is not looking at events.
    ASSERT_TRUE(WaitWithoutEvents([&] { return serial.entered == 1; }));
    serial.Close();
    EXPECT_EQ(serial.left, 1);
    EXPECT_FALSE(serial.IsReaderRunning());
    EXPECT_FALSE(serial.IsOpen());
    SpinFor(100ms);  // the stale notification runs now and does nothing
    EXPECT_EQ(m_listener.rxCalls, 0);
    // The same object opens again and the bytes are still there for it.
    ASSERT_TRUE(serial.Open(m_number, 115200));
    ASSERT_TRUE(m_pty.Send("next"));
    ASSERT_TRUE(WaitUntil([&] { return m_listener.received.contains("next"); }));
}

TEST_F(SerialPortTest, DestroyingThePortWithANotificationPendingIsSafe)
{
    auto serial = std::make_unique<ProbeSerial>(m_table);
    m_listener.serial = serial.get();
    serial->SetOwner(&m_context, &m_listener);
    ASSERT_TRUE(serial->Open(m_number, 115200));
    ASSERT_TRUE(m_pty.Send("pending"));
    ASSERT_TRUE(WaitWithoutEvents([&] { return serial->entered == 1; }));
    serial.reset();
    SpinFor(100ms);
    EXPECT_EQ(m_listener.rxCalls, 0);
}

TEST_F(SerialPortTest, ListenerMayCloseThePortInsideRxChar)
{
    m_listener.onRx = [&] {
        m_listener.ReadAll();
        m_serial.Close();
    };
    OpenWithListener();
    ASSERT_TRUE(m_pty.Send("bye"));
    ASSERT_TRUE(WaitUntil([&] { return m_listener.rxCalls == 1; }));
    EXPECT_FALSE(m_serial.IsOpen());
    EXPECT_FALSE(m_serial.IsReaderRunning());
    EXPECT_EQ(m_listener.received, "bye");
    ASSERT_TRUE(m_pty.Send("unheard"));
    SpinFor(100ms);
    EXPECT_EQ(m_listener.rxCalls, 1);
    m_listener.onRx = nullptr;
    ASSERT_TRUE(m_serial.Open(m_number, 115200));
    ASSERT_TRUE(m_pty.Send("back"));
    ASSERT_TRUE(WaitUntil([&] { return m_listener.received.endsWith("back"); }));
}

TEST_F(SerialPortTest, ListenerMayDeleteThePortInsideRxChar)
{
    auto serial = std::make_unique<CSerial>(m_table);
    m_listener.serial = serial.get();
    m_listener.onRx = [&] { serial.reset(); };
    serial->SetOwner(&m_context, &m_listener);
    ASSERT_TRUE(serial->Open(m_number, 115200));
    ASSERT_TRUE(m_pty.Send("x"));
    ASSERT_TRUE(WaitUntil([&] { return m_listener.rxCalls == 1; }));
    EXPECT_EQ(serial, nullptr);
    SpinFor(100ms);
    EXPECT_EQ(m_listener.rxCalls, 1);
}

TEST_F(SerialPortTest, DestroyedContextReleasesAWaitingReader)
{
    ProbeSerial serial(m_table);
    m_listener.serial = &serial;
    auto context = std::make_unique<QObject>();
    serial.SetOwner(context.get(), &m_listener);
    ASSERT_TRUE(serial.Open(m_number, 115200));
    ASSERT_TRUE(m_pty.Send("orphan"));
    ASSERT_TRUE(WaitWithoutEvents([&] { return serial.entered == 1; }));
    context.reset();
    EXPECT_TRUE(WaitWithoutEvents([&] { return serial.left == 1; }));
    SpinFor(100ms);
    EXPECT_EQ(m_listener.rxCalls, 0);
    // Without an owner the reader stays quiet; a new owner hears the bytes.
    serial.SetOwner(&m_context, &m_listener);
    ASSERT_TRUE(WaitUntil([&] { return m_listener.received == "orphan"; }));
}

// ------------------------------------------------------------ lost device

TEST_F(SerialPortTest, VanishedDeviceIsReportedOnceAndThePortOpensAgainLater)
{
    bool lostOpen = false;
    m_listener.onLost = [&] { lostOpen = m_serial.IsOpen(); };
    OpenWithListener();
    ASSERT_TRUE(m_pty.Send("last words"));
    ASSERT_TRUE(WaitUntil([&] { return m_listener.received == "last words"; }));

    m_pty.CloseMaster();
    ASSERT_TRUE(WaitUntil([&] { return m_listener.lostCalls == 1; }));
    EXPECT_TRUE(lostOpen);  // the owner decides when to close
    EXPECT_FALSE(m_listener.offThread);
    EXPECT_TRUE(WaitUntil([&] { return !m_serial.IsReaderRunning(); }));
    char buffer[8];
    EXPECT_EQ(m_serial.Read(buffer, 8), 0);
    EXPECT_EQ(m_serial.Write("abc", 3), 0);
    SpinFor(200ms);
    EXPECT_EQ(m_listener.lostCalls, 1);
    m_serial.Close();
    EXPECT_FALSE(m_serial.IsOpen());

    // The adapter comes back (as a new device).
    PseudoTerminal replugged;
    const int number = m_table.Add(replugged.SlavePath());
    m_listener.received.clear();
    ASSERT_TRUE(m_serial.Open(number, 115200)) << m_serial.LastError().toStdString();
    ASSERT_TRUE(replugged.Send("hello again"));
    ASSERT_TRUE(WaitUntil([&] { return m_listener.received == "hello again"; }));
    EXPECT_EQ(m_serial.Write("ok", 2), 2);
    EXPECT_EQ(replugged.Receive(2), "ok");
    EXPECT_EQ(m_listener.lostCalls, 1);
}

TEST_F(SerialPortTest, OwnerMayCloseFromOnSerialLost)
{
    m_listener.onLost = [&] { m_serial.Close(); };
    OpenWithListener();
    m_pty.CloseMaster();
    ASSERT_TRUE(WaitUntil([&] { return m_listener.lostCalls == 1; }));
    EXPECT_FALSE(m_serial.IsOpen());
    EXPECT_FALSE(m_serial.IsReaderRunning());
    SpinFor(100ms);
    EXPECT_EQ(m_listener.lostCalls, 1);
}

TEST_F(SerialPortTest, LossAfterCloseIsNotReported)
{
    OpenWithListener();
    m_serial.Close();
    m_pty.CloseMaster();
    SpinFor(150ms);
    EXPECT_EQ(m_listener.lostCalls, 0);
}

// ------------------------------------------------------------ gathering

TEST_F(SerialPortTest, GatheringHandsOverABurstAsOneReadWithNothingLostOrRepeated)
{
    m_serial.SetRxGatherMs(400);
    OpenWithListener();
    QByteArray sent;
    for (int piece = 0; piece < 5; ++piece) {
        const QByteArray bytes = "piece " + QByteArray::number(piece) + "\r\n";
        sent += bytes;
        ASSERT_TRUE(m_pty.Send(bytes));
        std::this_thread::sleep_for(10ms);
    }
    ASSERT_TRUE(WaitUntil([&] { return m_listener.received.size() >= sent.size(); }));
    SpinFor(500ms);
    EXPECT_EQ(m_listener.received, sent);
    EXPECT_EQ(m_listener.rxCalls, 1);
    EXPECT_EQ(m_listener.emptyReads, 0);
}

TEST_F(SerialPortTest, WithoutGatheringPiecesApartAreReadApart)
{
    OpenWithListener();
    ASSERT_EQ(m_serial.RxGatherMs(), 0);
    ASSERT_TRUE(m_pty.Send("first"));
    ASSERT_TRUE(WaitUntil([&] { return m_listener.received.size() >= 5; }));
    ASSERT_TRUE(m_pty.Send("second"));
    ASSERT_TRUE(WaitUntil([&] { return m_listener.received.size() >= 11; }));
    EXPECT_EQ(m_listener.received, "firstsecond");
    EXPECT_EQ(m_listener.rxCalls, 2);
}

TEST_F(SerialPortTest, CloseCutsAGatheringShort)
{
    m_serial.SetRxGatherMs(60000);
    OpenWithListener();
    ASSERT_TRUE(m_pty.Send("waiting"));
    SpinFor(100ms);  // the reader is gathering now
    auto closed = std::async(std::launch::async, [&] { m_serial.Close(); });
    // A close that waited for the minute-long gathering would not be back.
    EXPECT_EQ(closed.wait_for(10s), std::future_status::ready);
    closed.wait();
    EXPECT_FALSE(m_serial.IsOpen());
    EXPECT_EQ(m_listener.rxCalls, 0);
}

// Packets: with gathering until quiet, a reply that trickles in is one
// read however long it takes, and a pause longer than the gap splits it.
struct PacketCase {
    const char* name;
    bool untilQuiet;
    int gapMs;
    std::vector<int> pausesMs;  // before each piece after the first
    int reads;
};

class PacketGatheringTest : public SerialPortTest, public ::testing::WithParamInterface<PacketCase> {};

TEST_P(PacketGatheringTest, ReadsEndWhereTheLineWentQuiet)
{
    const PacketCase& c = GetParam();
    m_serial.SetRxGatherMs(c.gapMs);
    m_serial.SetRxGatherUntilQuiet(c.untilQuiet);
    std::vector<std::chrono::steady_clock::time_point> firstBytes;
    m_listener.onRx = [&] {
        firstBytes.push_back(m_serial.RxFirstByteTime());
        m_listener.ReadAll();
    };
    OpenWithListener();
    // Sent from another thread: the reads are made on this one, which
    // must keep its event loop going meanwhile.
    QByteArray sent;
    std::chrono::steady_clock::time_point beforeFirst;
    std::chrono::steady_clock::time_point afterLast;
    std::atomic<bool> sending{true};
    std::thread sender([&] {
        beforeFirst = std::chrono::steady_clock::now();
        for (std::size_t i = 0; i <= c.pausesMs.size(); ++i) {
            if (i > 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(c.pausesMs[i - 1]));
            const QByteArray piece = "piece " + QByteArray::number(int(i)) + ";";
            sent += piece;
            m_pty.Send(piece);
        }
        afterLast = std::chrono::steady_clock::now();
        sending = false;
    });
    ASSERT_TRUE(WaitUntil([&] { return !sending; }));
    sender.join();
    ASSERT_TRUE(WaitUntil([&] { return m_listener.received.size() >= sent.size(); }));
    SpinFor(std::chrono::milliseconds(c.gapMs + 100));
    EXPECT_EQ(m_listener.received, sent);
    EXPECT_EQ(m_listener.rxCalls, c.reads);
    ASSERT_FALSE(firstBytes.empty());
    // The first read's time is its first byte's, not the end of gathering.
    EXPECT_GE(firstBytes.front(), beforeFirst);
    EXPECT_LT(firstBytes.front(), afterLast);
}

INSTANTIATE_TEST_SUITE_P(
    Table, PacketGatheringTest,
    ::testing::Values(PacketCase{"TricklingPacketIsOneRead", true, 150, {40, 40, 40, 40, 40, 40}, 1},
                      PacketCase{"FixedGatheringCutsTheSamePacket", false, 150, {40, 40, 40, 40, 40, 40}, 2},
                      PacketCase{"PauseLongerThanTheGapSplits", true, 60, {20, 400, 20}, 2}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace

#include "SerialFixture.h"

#include "serial/LineEvents.h"
#include "support/EventLoopWait.h"

namespace {

using namespace std::chrono_literals;
using testsupport::SpinFor;
using testsupport::WaitUntil;

// Counts the line notifications next to the received bytes.
class LineListener : public RecordingListener {
public:
    int breaks = 0;
    QList<unsigned> errors;

    void OnSerialBreak() override { ++breaks; }
    void OnSerialError(unsigned bits) override { errors.append(bits); }
};

class SerialLineErrorTest : public SerialPortTest {
protected:
    void OpenWithLineListener()
    {
        m_lines.serial = &m_serial;
        m_serial.SetOwner(&m_context, &m_lines);
        ASSERT_TRUE(m_serial.Open(m_number, 115200)) << m_serial.LastError().toStdString();
    }

    // Sends `text` from the terminal's side and waits until the owner was
    // told and has read (or read nothing).
    void SendAndWaitForRead(const QByteArray& text)
    {
        const int callsBefore = m_lines.rxCalls;
        ASSERT_TRUE(m_pty.Send(text));
        ASSERT_TRUE(WaitUntil([&] { return m_lines.rxCalls > callsBefore; }));
    }

    LineListener m_lines;
};

struct LineErrorRow {
    const char* name;
    LineCounters delta;
    int breaks;                   // OnSerialBreak calls
    QList<unsigned> errors;       // OnSerialError calls
    bool firstOperationLost;      // errors left pending for Read/Write
};

LineCounters Delta(int breaks, int frames)
{
    LineCounters delta;
    delta.breaks = breaks;
    delta.frame = frames;
    return delta;
}

// A break alone raises only the break event and leaves its error pending; a
// frame error alone raises the error event, which takes it; a break with its
// frame error is one combined report, which is not dispatched at all.
const LineErrorRow kLineErrorRows[] = {
    {"break alone", Delta(1, 0), 1, {}, true},
    {"frame error alone", Delta(0, 1), 0, {CSerial::ErrorFrame}, false},
    {"break and frame error", Delta(1, 1), 0, {}, true},
    {"two breaks between samples", Delta(2, 0), 1, {}, true},
};

void WaitForNotifications(const LineListener& lines, const LineErrorRow& row)
{
    if (row.breaks == 0 && row.errors.isEmpty()) {
        SpinFor(150ms);  // nothing is to arrive; give it the chance
        return;
    }
    WaitUntil([&] { return lines.breaks >= row.breaks && lines.errors.size() >= row.errors.size(); });
    SpinFor(50ms);  // and nothing more
}

TEST_F(SerialLineErrorTest, AfterALineErrorTheNextReadMayLoseBytesButTheFollowingArrive)
{
    for (const LineErrorRow& row : kLineErrorRows) {
        SCOPED_TRACE(row.name);
        OpenWithLineListener();
        m_lines = LineListener{};
        m_lines.serial = &m_serial;
        ASSERT_TRUE(m_serial.InjectLineCounterChanges(row.delta, 5000));
        WaitForNotifications(m_lines, row);
        EXPECT_EQ(m_lines.breaks, row.breaks);
        EXPECT_EQ(m_lines.errors, row.errors);

        SendAndWaitForRead("noise\r\n");
        if (row.firstOperationLost) {
            EXPECT_TRUE(m_lines.received.isEmpty()) << m_lines.received.toStdString();
            EXPECT_EQ(m_lines.emptyReads, 1);
        } else {
            EXPECT_EQ(m_lines.received, "noise\r\n");
        }
        m_lines.received.clear();
        // The terminal's power-on text right after is caught.
        SendAndWaitForRead("configure program.\r\n");
        EXPECT_TRUE(WaitUntil([&] { return m_lines.received == "configure program.\r\n"; }))
            << m_lines.received.toStdString();
        EXPECT_EQ(m_serial.Write("s", 1), 1);
        EXPECT_EQ(m_pty.Receive(1), "s");
        m_serial.Close();
    }
}

TEST_F(SerialLineErrorTest, AfterALineErrorAtMostOneWriteIsRefused)
{
    for (const LineErrorRow& row : kLineErrorRows) {
        SCOPED_TRACE(row.name);
        OpenWithLineListener();
        m_lines = LineListener{};
        m_lines.serial = &m_serial;
        ASSERT_TRUE(m_serial.InjectLineCounterChanges(row.delta, 5000));
        WaitForNotifications(m_lines, row);

        // Input that came with the error is left unread, and thrown away by
        // a refused write.
        m_lines.readOnRx = false;
        ASSERT_TRUE(m_pty.Send("garbage"));
        ASSERT_TRUE(WaitUntil([&] { return m_lines.rxCalls > 0; }));

        const QByteArray probe = "AT\r";
        const int first = m_serial.Write(probe.constData(), int(probe.size()));
        if (row.firstOperationLost) {
            EXPECT_EQ(first, 0);
            EXPECT_TRUE(m_pty.Receive(1, 100ms).isEmpty());
        } else {
            EXPECT_EQ(first, probe.size());
            EXPECT_EQ(m_pty.Receive(probe.size()), probe);
        }
        for (int again = 0; again < 3; ++again) {
            EXPECT_EQ(m_serial.Write(probe.constData(), int(probe.size())), probe.size());
            EXPECT_EQ(m_pty.Receive(probe.size()), probe);
        }
        m_lines.readOnRx = true;
        SendAndWaitForRead("OK\r\n");
        const QByteArray expected = row.firstOperationLost ? "OK\r\n" : "garbageOK\r\n";
        EXPECT_TRUE(WaitUntil([&] { return m_lines.received == expected; })) << m_lines.received.toStdString();
        m_serial.Close();
    }
}

TEST_F(SerialLineErrorTest, ErrorsInjectedBeforeAReopenAreForgotten)
{
    OpenWithLineListener();
    ASSERT_TRUE(m_serial.InjectLineCounterChanges(Delta(1, 0), 5000));
    m_serial.Close();
    EXPECT_FALSE(m_serial.InjectLineCounterChanges(Delta(1, 0), 100));
    ASSERT_TRUE(m_serial.Open(m_number, 115200));
    EXPECT_EQ(m_serial.Write("AT\r", 3), 3);
    EXPECT_EQ(m_pty.Receive(3), "AT\r");
}

}  // namespace

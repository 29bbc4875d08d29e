#include "terminal/CTerminalPanel.h"
#include "controls/MessageBoxes.h"
#include "device/CDeviceController.h"
#include "serial/CSerial.h"
#include "support/EventLoopWait.h"
#include "support/RecordingView.h"
#include "support/SimulatorSession.h"

#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

namespace {

using testsupport::SimulatorSession;
using testsupport::SpinFor;
using testsupport::WaitUntil;
using namespace std::chrono_literals;

const QString kHexMessage = QStringLiteral("发送数据不是标准的十六进制格式数据");
const QString kEmptyIntervalMessage = QStringLiteral("发送时间间隔不能为空");

// The terminal boots straight into communication mode: no 's' comes.
SimulatorOptions CommunicationOptions()
{
    SimulatorOptions options = SimulatorSession::FastOptions();
    options.bootWindowMs = 40;
    return options;
}

std::string Hex(const std::string& bytes)
{
    return QByteArray::fromStdString(bytes).toHex(' ').toStdString();
}

QStringList MessageTexts()
{
    QStringList texts;
    for (const MessageBoxes::Request& request : MessageBoxes::TakeRequests())
        texts << request.text;
    return texts;
}

// The panel on a simulated terminal in communication mode, writing through
// a CSerial as the window does; every write is also counted here.
class TerminalPanelTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_session.Started());
        MessageBoxes::SetHandler([](const MessageBoxes::Request&) { return MessageBoxes::Reply{}; });
        ASSERT_TRUE(m_serial.Open(m_session.PortNumber(), 115200)) << m_serial.LastError().toStdString();
        ASSERT_TRUE(WaitUntil([&] { return Sim().Mode() == TerminalMode::Communication; }));
        Sim().ClearLogs();
        const CTerminalPanel::Writer toPort = CTerminalPanel::SerialWriter(m_serial);
        m_panel = std::make_unique<CTerminalPanel>([this, toPort](const QByteArray& bytes) {
            m_written += bytes;
            return toPort(bytes);
        });
        m_panel->show();
    }
    void TearDown() override
    {
        m_panel.reset();
        m_serial.Close();
        MessageBoxes::SetHandler({});
    }

    TerminalSimulator& Sim() { return m_session.sim(); }

    template <typename T>
    T* Find(const char* name)
    {
        T* child = m_panel->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(child, nullptr) << name;
        return child;
    }
    QLineEdit* SendEdit() { return Find<QLineEdit>("sendEdit"); }
    QLineEdit* IntervalEdit() { return Find<QLineEdit>("intervalEdit"); }
    QCheckBox* TimedSend() { return Find<QCheckBox>("timedSendCheck"); }

    void TypeInto(QLineEdit* edit, const QString& text)
    {
        edit->clear();
        // QTest types ASCII keys only; other text is put in as an input
        // method would commit it.
        bool ascii = true;
        for (const QChar ch : text)
            ascii = ascii && ch.unicode() < 0x80;
        if (ascii)
            QTest::keyClicks(edit, text);
        else
            edit->insert(text);
        ASSERT_EQ(edit->text(), text);
    }
    void SetChecked(const char* name, bool on)
    {
        QCheckBox* box = Find<QCheckBox>(name);
        if (box->isChecked() != on)
            QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
        ASSERT_EQ(box->isChecked(), on) << name;
    }
    void ClickSend() { QTest::mouseClick(Find<QPushButton>("sendButton"), Qt::LeftButton); }
    void ClickTimedSend() { QTest::mouseClick(TimedSend(), Qt::LeftButton, {}, QPoint(6, TimedSend()->height() / 2)); }

    // Waits until the terminal has read exactly what the panel wrote.
    bool TerminalGotAllWritten()
    {
        return WaitUntil([&] { return Sim().ReceivedBytes() == m_written.toStdString(); }, 5s);
    }

    SimulatorSession m_session{CommunicationOptions()};
    CSerial m_serial;
    std::unique_ptr<CTerminalPanel> m_panel;
    QByteArray m_written;
};

TEST_F(TerminalPanelTest, HasTheControlsAndTextsOfTheTerminalPanel)
{
    EXPECT_EQ(m_panel->objectName(), QStringLiteral("terminalPanel"));
    // As wide as the log pane above it; as high as its controls need.
    EXPECT_EQ(m_panel->width(), 287);
    EXPECT_GE(m_panel->height(), m_panel->minimumSizeHint().height());
    EXPECT_EQ(Find<QPushButton>("sendButton")->text(), QStringLiteral("发送"));
    EXPECT_EQ(Find<QCheckBox>("appendCrCheck")->text(), QStringLiteral("结尾添加回车符"));
    EXPECT_EQ(Find<QCheckBox>("hexSendCheck")->text(), QStringLiteral("十六进制发送"));
    EXPECT_EQ(Find<QCheckBox>("hexDisplayCheck")->text(), QStringLiteral("十六进制显示"));
    EXPECT_EQ(TimedSend()->text(), QStringLiteral("定时发送"));
    EXPECT_EQ(IntervalEdit()->text(), QStringLiteral("1000"));
    QStringList labels;
    for (QLabel* label : m_panel->findChildren<QLabel*>())
        labels << label->text();
    EXPECT_TRUE(labels.contains(QStringLiteral("发送数据：")));
    EXPECT_TRUE(labels.contains(QStringLiteral("毫秒/次")));
    for (QWidget* child : m_panel->findChildren<QWidget*>()) {
        if (child->window() != m_panel->window())
            continue;  // pop-ups (a menu, a combo box's list) open elsewhere
        EXPECT_TRUE(m_panel->rect().contains(child->geometry())) << child->objectName().toStdString();
    }

    const QByteArray dir = qgetenv("SIRENSET_SCREENSHOT_DIR");
    if (!dir.isEmpty()) {
        QDir().mkpath(QString::fromLocal8Bit(dir));
        m_panel->grab().save(QString::fromLocal8Bit(dir) + QStringLiteral("/terminal_panel.png"));
    }
}

struct SendCase {
    const char* name;
    const char* text;
    bool carriageReturn;
    bool hexSend;
    const char* wire;  // hex of the bytes on the line
};

std::ostream& operator<<(std::ostream& out, const SendCase& c)
{
    return out << c.name;
}

class TerminalPanelSendTest : public TerminalPanelTest, public ::testing::WithParamInterface<SendCase> {};

TEST_P(TerminalPanelSendTest, SendButtonPutsTheBytesOnTheLine)
{
    const SendCase& c = GetParam();
    TypeInto(SendEdit(), QString::fromUtf8(c.text));
    SetChecked("appendCrCheck", c.carriageReturn);
    SetChecked("hexSendCheck", c.hexSend);
    ClickSend();

    const std::string wire = QByteArray::fromHex(c.wire).toStdString();
    EXPECT_TRUE(WaitUntil([&] { return Sim().ReceivedBytes().size() >= wire.size(); }, 5s));
    SpinFor(50ms);  // nothing more follows
    EXPECT_EQ(Hex(Sim().ReceivedBytes()), Hex(wire));
    EXPECT_TRUE(MessageTexts().isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Table, TerminalPanelSendTest, ::testing::Values(
    SendCase{"HexWithoutCr", "41 42 43", false, true, "4142430d"},
    SendCase{"HexWithCr", "01 0A ff", true, true, "010aff0d"},
    SendCase{"HexOneNumber", "414243", false, true, "430d"},
    SendCase{"HexBlanksOnly", "    ", false, true, "0d"},
    SendCase{"TextWithCr", "at", true, false, "61740d"},
    SendCase{"TextWithoutCr", "at", false, false, "6174"},
    SendCase{"TextChinese", "中文", true, false, "d6d0cec40d"},
    SendCase{"EmptyTextWithCr", "", true, false, "0d"}),
    [](const ::testing::TestParamInfo<SendCase>& info) { return std::string(info.param.name); });

TEST_F(TerminalPanelTest, InvalidHexShowsTheMessageOnTheButtonOnly)
{
    TypeInto(SendEdit(), QStringLiteral("4G"));
    SetChecked("hexSendCheck", true);
    ClickSend();
    EXPECT_EQ(MessageTexts(), QStringList{kHexMessage});

    // The timer skips it without a word, and keeps going.
    TypeInto(IntervalEdit(), QStringLiteral("15"));
    ClickTimedSend();
    ASSERT_TRUE(m_panel->IsTimedSendRunning());
    SpinFor(150ms);
    EXPECT_TRUE(MessageTexts().isEmpty());
    EXPECT_TRUE(m_written.isEmpty());

    // The text is read again at each tick.
    TypeInto(SendEdit(), QStringLiteral("4F"));
    ASSERT_TRUE(WaitUntil([&] { return m_written.size() >= 4; }));
    m_panel->StopTimedSend();
    EXPECT_TRUE(m_written.startsWith(QByteArray("\x4f\r\x4f\r", 4)));
    EXPECT_TRUE(TerminalGotAllWritten());
    EXPECT_TRUE(MessageTexts().isEmpty());
}

TEST_F(TerminalPanelTest, EmptySendBoxSendsCarriageReturnByButtonAndNothingByTimer)
{
    SetChecked("appendCrCheck", true);
    ClickSend();
    ASSERT_TRUE(TerminalGotAllWritten());
    EXPECT_EQ(Hex(Sim().ReceivedBytes()), "0d");

    TypeInto(IntervalEdit(), QStringLiteral("15"));
    ClickTimedSend();
    ASSERT_TRUE(m_panel->IsTimedSendRunning());
    SpinFor(150ms);
    EXPECT_EQ(m_written, QByteArray("\r"));

    // In hex mode too, and silently.
    SetChecked("hexSendCheck", true);
    SpinFor(100ms);
    EXPECT_EQ(m_written, QByteArray("\r"));
    EXPECT_TRUE(MessageTexts().isEmpty());
    m_panel->StopTimedSend();
}

TEST_F(TerminalPanelTest, TimedSendRepeatsAndStopsAtOnceWhenUnchecked)
{
    TypeInto(SendEdit(), QStringLiteral("ab"));
    SetChecked("appendCrCheck", true);
    TypeInto(IntervalEdit(), QStringLiteral("20"));
    ClickTimedSend();
    ASSERT_TRUE(TimedSend()->isChecked());
    ASSERT_TRUE(m_panel->IsTimedSendRunning());
    EXPECT_EQ(m_panel->TimedSendIntervalMs(), 20);
    EXPECT_TRUE(m_written.isEmpty());  // the first send comes with the first tick

    ASSERT_TRUE(WaitUntil([&] { return m_written.size() >= 4 * 3; }));
    ClickTimedSend();
    EXPECT_FALSE(TimedSend()->isChecked());
    EXPECT_FALSE(m_panel->IsTimedSendRunning());
    const QByteArray atStop = m_written;
    SpinFor(150ms);
    EXPECT_EQ(m_written, atStop);
    EXPECT_EQ(m_written, QByteArray("ab\r").repeated(m_written.size() / 3));
    EXPECT_TRUE(TerminalGotAllWritten());
}

TEST_F(TerminalPanelTest, EditsTakeEffectAtTheNextTick)
{
    TypeInto(SendEdit(), QStringLiteral("x"));
    TypeInto(IntervalEdit(), QStringLiteral("20"));
    ClickTimedSend();
    ASSERT_TRUE(WaitUntil([&] { return m_written.contains('x'); }));
    SetChecked("hexSendCheck", true);
    TypeInto(SendEdit(), QStringLiteral("7e"));
    ASSERT_TRUE(WaitUntil([&] { return m_written.endsWith("~\r"); }));
    m_panel->StopTimedSend();
    // Only whole sends, each of the settings of its own tick.
    QByteArray rest = m_written;
    while (rest.startsWith('x'))
        rest.remove(0, 1);
    EXPECT_FALSE(rest.contains('x'));
    EXPECT_EQ(rest, QByteArray("~\r").repeated(rest.size() / 2));
    EXPECT_TRUE(TerminalGotAllWritten());
}

TEST_F(TerminalPanelTest, StopTimedSendStopsTheTimerAndUnchecksTheBox)
{
    TypeInto(SendEdit(), QStringLiteral("ping"));
    TypeInto(IntervalEdit(), QStringLiteral("15"));
    ClickTimedSend();
    ASSERT_TRUE(WaitUntil([&] { return !m_written.isEmpty(); }));

    m_panel->StopTimedSend();
    EXPECT_FALSE(m_panel->IsTimedSendRunning());
    EXPECT_FALSE(TimedSend()->isChecked());
    const QByteArray atStop = m_written;
    SpinFor(100ms);
    EXPECT_EQ(m_written, atStop);

    // A later click starts it afresh.
    ClickTimedSend();
    EXPECT_TRUE(m_panel->IsTimedSendRunning());
    ASSERT_TRUE(WaitUntil([&] { return m_written.size() > atStop.size(); }));
    m_panel->StopTimedSend();
}

TEST_F(TerminalPanelTest, EmptyIntervalShowsTheMessageAndLeavesTimedSendOff)
{
    TypeInto(SendEdit(), QStringLiteral("at"));
    IntervalEdit()->clear();
    ClickTimedSend();
    EXPECT_EQ(MessageTexts(), QStringList{kEmptyIntervalMessage});
    EXPECT_FALSE(TimedSend()->isChecked());
    EXPECT_FALSE(m_panel->IsTimedSendRunning());
    SpinFor(50ms);
    EXPECT_TRUE(m_written.isEmpty());
}

TEST_F(TerminalPanelTest, ClearingTheIntervalOfARunningTimedSendCannotKeepItRunning)
{
    TypeInto(SendEdit(), QStringLiteral("at"));
    TypeInto(IntervalEdit(), QStringLiteral("15"));
    ClickTimedSend();
    ASSERT_TRUE(m_panel->IsTimedSendRunning());
    IntervalEdit()->clear();
    ClickTimedSend();  // the user switches it off
    EXPECT_EQ(MessageTexts(), QStringList{kEmptyIntervalMessage});
    EXPECT_FALSE(TimedSend()->isChecked());
    EXPECT_FALSE(m_panel->IsTimedSendRunning());
}

TEST_F(TerminalPanelTest, IntervalThatIsNoNumberRunsAtTheShortestPeriod)
{
    TypeInto(SendEdit(), QStringLiteral("z"));
    TypeInto(IntervalEdit(), QStringLiteral("fast"));
    ClickTimedSend();
    ASSERT_TRUE(m_panel->IsTimedSendRunning());
    EXPECT_EQ(m_panel->TimedSendIntervalMs(), TerminalSend::kShortestIntervalMs);
    EXPECT_TRUE(MessageTexts().isEmpty());
    ASSERT_TRUE(WaitUntil([&] { return m_written.size() >= 3; }));
    m_panel->StopTimedSend();
    EXPECT_TRUE(TerminalGotAllWritten());
}

TEST_F(TerminalPanelTest, ClosedPortSendsNothingAndSaysNothing)
{
    m_serial.Close();
    TypeInto(SendEdit(), QStringLiteral("at"));
    SetChecked("appendCrCheck", true);
    ClickSend();
    EXPECT_EQ(m_written, QByteArray("at\r"));  // asked for, but the port took nothing
    EXPECT_TRUE(MessageTexts().isEmpty());
    SpinFor(50ms);
    EXPECT_TRUE(Sim().ReceivedBytes().empty());
}

TEST_F(TerminalPanelTest, HexDisplaySwitchIsSignalled)
{
    QSignalSpy spy(m_panel.get(), &CTerminalPanel::hexDisplayChanged);
    SetChecked("hexDisplayCheck", true);
    EXPECT_TRUE(m_panel->IsHexDisplay());
    SetChecked("hexDisplayCheck", false);
    ASSERT_EQ(spy.size(), 2);
    EXPECT_EQ(spy[0][0].toBool(), true);
    EXPECT_EQ(spy[1][0].toBool(), false);
    EXPECT_TRUE(m_written.isEmpty());  // switching the display sends nothing
}

// The panel wired to the device side as the window wires it: writes through
// the controller's port, the hex switch drives the received-data display.
class TerminalPanelDeviceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_session.Started());
        MessageBoxes::SetHandler([](const MessageBoxes::Request&) { return MessageBoxes::Reply{}; });
        m_device.SetConfigurationMode(false);
        ASSERT_TRUE(m_device.OpenPort(m_session.PortNumber(), 115200));
        ASSERT_TRUE(WaitUntil([&] { return m_session.sim().Mode() == TerminalMode::Communication; }));
        // The boot text is shown too; start from an empty log.
        ASSERT_TRUE(WaitUntil([&] { return m_view.logLines.join(QString()).contains(QStringLiteral("configure program.")); }));
        SpinFor(50ms);
        m_view.logLines.clear();
        QObject::connect(&m_panel, &CTerminalPanel::hexDisplayChanged, &m_device, &CDeviceController::SetHexDisplay);
        m_panel.show();
    }
    void TearDown() override { MessageBoxes::SetHandler({}); }

    void SendText(const char* text)
    {
        auto* edit = m_panel.findChild<QLineEdit*>(QStringLiteral("sendEdit"));
        edit->setText(QString::fromUtf8(text));
        QTest::mouseClick(m_panel.findChild<QPushButton*>(QStringLiteral("sendButton")), Qt::LeftButton);
    }
    void Click(const char* name)
    {
        auto* box = m_panel.findChild<QCheckBox*>(QString::fromLatin1(name));
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
    }

    SimulatorSession m_session{CommunicationOptions()};
    RecordingView m_view;
    CDeviceController m_device{m_view};
    CTerminalPanel m_panel{CTerminalPanel::SerialWriter(m_device.Serial())};
};

TEST_F(TerminalPanelDeviceTest, EchoIsShownAsTextThenAsHex)
{
    Click("appendCrCheck");
    SendText("at");
    // The terminal echoes; the echo may come in more than one read.
    ASSERT_TRUE(WaitUntil([&] { return m_view.logLines.join(QString()) == QStringLiteral("at\r"); }))
        << m_view.logLines.join(QLatin1Char('|')).toStdString();

    m_view.logLines.clear();
    Click("hexDisplayCheck");
    ASSERT_TRUE(m_device.IsHexDisplay());
    SendText("OK");
    ASSERT_TRUE(WaitUntil([&] { return m_view.logLines.join(QLatin1Char(' ')) == QStringLiteral("4f 4b 0d"); }))
        << m_view.logLines.join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(m_session.sim().ReceivedBytes(), "at\rOK\r");
}

}  // namespace

#include "MainWindowFixture.h"

#include "logpane/CLogPane.h"
#include "device/CLineWriter.h"
#include "support/SimulatorSession.h"
#include "terminal/CCommandLibrary.h"
#include "terminal/CSendHistory.h"

#include <QCheckBox>
#include <QClipboard>
#include <QGuiApplication>
#include <QFile>
#include <QLineEdit>
#include <QRegularExpression>
#include <QComboBox>
#include <QMenu>
#include <QRadioButton>
#include <QSpinBox>
#include <QTest>
#include <QToolButton>

namespace {

using namespace std::chrono_literals;
using testsupport::SimulatorSession;
using testsupport::SpinFor;
using testsupport::WaitUntil;

SimulatorOptions CommunicationOptions()
{
    SimulatorOptions options = SimulatorSession::FastOptions();
    options.bootWindowMs = 40;  // no 's' comes: it boots into communication mode
    return options;
}

// The window as a technician's terminal on a simulated terminal that echoes
// what it gets.
class CommTerminalTest : public testsupport::MainWindowFixture {
protected:
    void SetUp() override
    {
        MainWindowFixture::SetUp();
        ASSERT_TRUE(m_session.Started());
        // The library and the history live in the user's data folder,
        // which this test program has to itself.
        QFile::remove(CCommandLibrary::DefaultFilePath());
        QFile::remove(CSendHistory::DefaultFilePath());
        PrepareLibrary();
        OpenTerminal();
    }
    void TearDown() override
    {
        MainWindowFixture::TearDown();
        QFile::remove(CCommandLibrary::DefaultFilePath());
        QFile::remove(CSendHistory::DefaultFilePath());
    }
    virtual void PrepareLibrary() {}
    void OpenTerminal()
    {
        MainWindowOptions options = Options({m_session.DevicePath()});
        options.communicationMode = true;
        Open(options);
        ASSERT_TRUE(WaitForLog(QStringLiteral(">>> 串口已打开，请重新上电设备\r\n正在等待设备上电后进入通讯状态...")));
        ASSERT_TRUE(WaitUntil([&] { return m_session.sim().Mode() == TerminalMode::Communication; }));
        m_session.sim().ClearLogs();
        ClearLogWhenQuiet();
    }
    // The power-on banner can still be on its way (and in a read gathered
    // under the settings of before) when the terminal's mode has changed:
    // a test starts from a quiet line and an empty log.
    void ClearLogWhenQuiet()
    {
        qsizetype entries = -1;
        while (entries != m_log.size()) {
            entries = m_log.size();
            SpinFor(250ms);
        }
        m_log.clear();
    }
    void Reopen()
    {
        m_window.reset();
        OpenTerminal();
    }

    void SendFromPanel(const QString& text)
    {
        Find<QCheckBox>("appendCrCheck")->setChecked(true);
        auto* edit = Find<QLineEdit>("sendEdit");
        edit->setText(text);
        QTest::mouseClick(Find<QPushButton>("sendButton"), Qt::LeftButton);
    }
    // Entries that match `pattern`, with their closing return dropped.
    QStringList Entries(const QString& pattern) const
    {
        const QRegularExpression re(QLatin1Char('^') + pattern + QLatin1Char('$'));
        QStringList found;
        for (const QString& line : m_log)
            if (re.match(CLogPane::DisplayText(line)).hasMatch())
                found << line;
        return found;
    }

    SimulatorSession m_session{CommunicationOptions()};
};

const QString kTime = QStringLiteral(R"(\[\d\d:\d\d:\d\d\.\d{3}\] )");

TEST_F(CommTerminalTest, TimeStampsMarkSendsAndShowHowLongTheReplyTook)
{
    // Off: the entry is the bytes alone, as always.
    SendFromPanel(QStringLiteral("PING"));
    ASSERT_TRUE(WaitUntil([&] { return LogText().contains(QStringLiteral("PING")); })) << LogText().toStdString();
    EXPECT_TRUE(Entries(kTime + QStringLiteral(".*")).isEmpty()) << LogText().toStdString();

    Find<QCheckBox>("timeStampCheck")->setChecked(true);
    m_log.clear();
    SendFromPanel(QStringLiteral("STATUS"));
    ASSERT_TRUE(WaitUntil([&] { return Entries(kTime + QStringLiteral(R"(\+\d+ ms STATUS)")).size() == 1; }))
        << LogText().toStdString();
    EXPECT_EQ(Entries(kTime + QStringLiteral("发送: STATUS")).size(), 1) << LogText().toStdString();
    EXPECT_TRUE(m_log.first().contains(QStringLiteral("发送: STATUS"))) << "the send is shown before its reply";

    // In hex display, sends and replies are shown as hex too.
    Find<QCheckBox>("hexDisplayCheck")->setChecked(true);
    m_log.clear();
    SendFromPanel(QStringLiteral("AB"));
    ASSERT_TRUE(WaitUntil([&] { return Entries(kTime + QStringLiteral(R"(\+\d+ ms 41 42 0d)")).size() == 1; }))
        << LogText().toStdString();
    EXPECT_EQ(Entries(kTime + QStringLiteral("发送: 41 42 0d")).size(), 1) << LogText().toStdString();
}

TEST_F(CommTerminalTest, WithTimeStampsAPacketThatTricklesInIsOneEntry)
{
    Find<QCheckBox>("timeStampCheck")->setChecked(true);
    // The longest gap there is, so a slow machine cannot stretch the
    // pauses between pieces past it.
    Find<QSpinBox>("packetGapSpin")->setValue(1000);
    ClearLogWhenQuiet();
    for (const char* piece : {"$GP", "RMC,", "0931", "12\r\n"}) {
        m_session.sim().SendRaw(piece);
        SpinFor(80ms);  // a gathering shorter than this would cut the packet
    }
    ASSERT_TRUE(WaitUntil([&] { return !Entries(kTime + QStringLiteral(".*12")).isEmpty(); }));
    SpinFor(300ms);
    EXPECT_EQ(Entries(kTime + QStringLiteral(R"(\$GPRMC,093112\n)")).size(), 1) << LogText().toStdString();
}

TEST_F(CommTerminalTest, CaptureKeepsEveryByteWhateverTheDisplayShowsOrPauses)
{
    const QString path = m_folder.filePath(QStringLiteral("capture.bin"));
    m_answer = [&](const MessageBoxes::Request&) { return MessageBoxes::Reply{MessageBoxes::Answer::Ok, path, {}}; };
    auto* capture = Find<QPushButton>("captureButton");
    QTest::mouseClick(capture, Qt::LeftButton);
    ASSERT_TRUE(WaitForLog(QStringLiteral("开始保存接收数据到 %1").arg(path)));
    EXPECT_EQ(capture->text(), QStringLiteral("停止保存"));

    // A zero byte ends what the text display shows; GBK and binary follow;
    // then more text than the pane holds, so it starts afresh; part of it
    // while the display is paused.
    std::string expected = std::string("A\0B\xb2\xe2\xca\xd4\r\n", 9);
    for (int value = 0; value < 256; ++value)
        expected += static_cast<char>(value);
    m_session.sim().SendRaw(expected);
    ASSERT_TRUE(WaitForLog(QStringLiteral("A")));
    auto* pause = Find<QPushButton>("pauseDisplayButton");
    for (int block = 0; block < 8; ++block) {
        if (block == 4)
            QTest::mouseClick(pause, Qt::LeftButton);
        const std::string text = std::string(5000, static_cast<char>('a' + block)) + "\r\n";
        expected += text;
        m_session.sim().SendRaw(text);
        SpinFor(60ms);
    }
    EXPECT_TRUE(m_window->LogPane()->IsDisplayPaused());
    ASSERT_TRUE(WaitUntil([&] { return m_session.sim().SentBytes().size() == expected.size(); }));
    // The daily log's observer still saw every entry while paused.
    const auto shownH = [&] {
        qsizetype count = 0;
        for (const QString& entry : m_log)
            if (!entry.contains(path))  // the capture's own lines name a random folder
                count += entry.count(QLatin1Char('h'));
        return count;
    };
    ASSERT_TRUE(WaitUntil([&] { return shownH() == 5000; })) << shownH();
    QTest::mouseClick(pause, Qt::LeftButton);
    SpinFor(100ms);
    QTest::mouseClick(capture, Qt::LeftButton);
    ASSERT_TRUE(WaitForLog(QStringLiteral("停止保存接收数据：%1，共 %2 字节").arg(path).arg(expected.size())))
        << LogText().right(300).toStdString();
    EXPECT_EQ(capture->text(), QStringLiteral("保存接收数据…"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll().toStdString(), expected);
}

// A busy line's entries are written to the daily log together a few times
// a second: the last of a burst still reaches the disk soon after it came.
TEST_F(CommTerminalTest, ABurstReachesTheDailyLogWithoutTheWindowClosing)
{
    for (int line = 0; line < 40; ++line) {
        m_session.sim().SendRaw("burst line " + std::to_string(line) + "\r\n");
        SpinFor(5ms);
    }
    ASSERT_TRUE(WaitUntil([&] { return LogText().contains(QStringLiteral("burst line 39")); }));
    QFile file(m_window->LogFilePath());
    EXPECT_TRUE(WaitUntil([&] {
        if (!file.open(QIODevice::ReadOnly))
            return false;
        const QByteArray text = file.readAll();
        file.close();
        return text.contains("burst line 39");
    }));
}

// A file that cannot be made, and a disk that fills up: said once in the
// log, and the button offers a new capture.
TEST_F(CommTerminalTest, ACaptureThatCannotBeWrittenIsSaidAndStops)
{
    for (const QString& path : {m_folder.filePath(QStringLiteral("no-such-folder/capture.bin")),
                                QStringLiteral("/dev/full")}) {
        m_log.clear();
        m_answer = [&](const MessageBoxes::Request&) { return MessageBoxes::Reply{MessageBoxes::Answer::Ok, path, {}}; };
        QTest::mouseClick(Find<QPushButton>("captureButton"), Qt::LeftButton);
        m_session.sim().SendRaw(std::string(40000, 'x'));
        ASSERT_TRUE(WaitUntil([&] { return LogText().contains(QStringLiteral("保存接收数据失败：%1（").arg(path)); }))
            << LogText().right(200).toStdString();
        EXPECT_EQ(Find<QPushButton>("captureButton")->text(), QStringLiteral("保存接收数据…"));
        SpinFor(100ms);
        EXPECT_EQ(LogText().count(QStringLiteral("保存接收数据失败")), 1) << path.toStdString();
    }
}

TEST_F(CommTerminalTest, SendsComeBackByUpDownAndTheDropDownAfterARestart)
{
    auto* hex = Find<QCheckBox>("hexSendCheck");
    SendFromPanel(QStringLiteral("AT+VER"));
    hex->setChecked(true);
    SendFromPanel(QStringLiteral("01 03 00 00"));
    hex->setChecked(false);
    SendFromPanel(QStringLiteral("AT+VER"));  // again: moves to the front, once
    ASSERT_TRUE(WaitUntil([&] { return m_session.sim().ReceivedBytes().size() == 7 + 5 + 7; }));
    Reopen();

    auto* edit = Find<QLineEdit>("sendEdit");
    hex = Find<QCheckBox>("hexSendCheck");
    const struct {
        Qt::Key key;
        const char* text;
        bool hex;
    } steps[] = {{Qt::Key_Up, "AT+VER", false},   {Qt::Key_Up, "01 03 00 00", true},
                 {Qt::Key_Up, "01 03 00 00", true}, {Qt::Key_Down, "AT+VER", false},
                 {Qt::Key_Down, "", false}};
    for (const auto& step : steps) {
        QTest::keyClick(edit, step.key);
        EXPECT_EQ(edit->text(), QString::fromUtf8(step.text));
        EXPECT_EQ(hex->isChecked(), step.hex) << step.text;
    }
    auto* history = Find<QToolButton>("historyButton");
    emit history->menu()->aboutToShow();
    const QList<QAction*> entries = history->menu()->actions();
    ASSERT_EQ(entries.size(), 2);
    EXPECT_EQ(entries[1]->text(), QStringLiteral("[HEX] 01 03 00 00"));
    entries[1]->trigger();
    EXPECT_EQ(edit->text(), QStringLiteral("01 03 00 00"));
    EXPECT_TRUE(hex->isChecked());
}

// 定时发送 of a 64-byte line every 10 ms at 9600 bit/s (the line carries one
// in about 67 ms): ticks the line has no time for are skipped, said once, so
// a typed key waits behind one line at most and comes between two lines.
TEST_F(CommTerminalTest, ATimedSendTooFastForTheLineSkipsTicksAndTypedKeysKeepTheirPlace)
{
    ASSERT_TRUE(m_window->Device().Serial().SetLineSettings(9600, 8, Parity::None));
    const std::string line = std::string(63, 'x') + "\r";
    Find<QCheckBox>("appendCrCheck")->setChecked(true);
    Find<QLineEdit>("sendEdit")->setText(QString::fromStdString(line).chopped(1));
    Find<QLineEdit>("intervalEdit")->setText(QStringLiteral("10"));
    auto* timed = Find<QCheckBox>("timedSendCheck");
    QTest::mouseClick(timed, Qt::LeftButton, {}, QPoint(6, timed->height() / 2));
    ASSERT_TRUE(timed->isChecked());
    const auto received = [&] { return m_session.sim().ReceivedBytes(); };
    ASSERT_TRUE(WaitUntil([&] { return received().size() >= 8 * line.size(); }));

    const std::size_t beforeKey = received().size();
    QTest::keyClicks(m_window->LogPane(), QStringLiteral("Z"));
    ASSERT_TRUE(WaitUntil([&] { return received().find('Z') != std::string::npos; })) << received().size();
    const std::size_t key = received().find('Z');
    EXPECT_LE(key - beforeKey, 3 * line.size());
    EXPECT_EQ(key % line.size(), 0u) << "the key comes between two timed sends";
    ASSERT_TRUE(WaitUntil([&] { return received().size() >= key + 3 * line.size(); }));
    QTest::mouseClick(timed, Qt::LeftButton, {}, QPoint(6, timed->height() / 2));
    ASSERT_FALSE(timed->isChecked());

    ASSERT_TRUE(WaitUntil([&] { return (received().size() - 1) % line.size() == 0; }));
    std::string lines = received();
    lines.erase(key, 1);
    std::string whole;
    while (whole.size() < lines.size())
        whole += line;
    EXPECT_EQ(lines, whole);
    EXPECT_EQ(m_log.count(QStringLiteral("定时发送：串口太慢，10 ms 内发不完一次的数据，上一次没发完时跳过本次发送")), 1)
        << LogText().right(300).toStdString();
}

// What the line's queue cannot hold is refused whole and said once; what
// was typed after it still goes out, in order.
TEST_F(CommTerminalTest, APasteBeyondTheQueuesBoundIsRefusedWholeAndSaid)
{
    const QString tooMuch(CLineWriter::kMaxPendingBytes + 1, QLatin1Char('p'));
    QGuiApplication::clipboard()->setText(tooMuch);
    m_window->LogPane()->paste();
    m_window->LogPane()->paste();
    QTest::keyClicks(m_window->LogPane(), QStringLiteral("K"));
    ASSERT_TRUE(WaitUntil([&] { return !m_session.sim().ReceivedBytes().empty(); }));
    EXPECT_EQ(m_session.sim().ReceivedBytes(), "K");
    const QString refused = QStringLiteral("发送队列放不下：已有 0 字节等待发送，上限 4 MB，这次的 4194305 字节没有发送");
    EXPECT_EQ(m_log.count(refused), 1) << LogText().right(300).toStdString();

    // Behind a paste that still waits for a slow line, a second one that
    // does not fit beside it is refused; a key typed then still fits.
    ASSERT_TRUE(m_window->Device().Serial().SetLineSettings(9600, 8, Parity::None));
    QGuiApplication::clipboard()->setText(QString(3 * 1024 * 1024, QLatin1Char('a')));
    m_window->LogPane()->paste();
    QGuiApplication::clipboard()->setText(QString(2 * 1024 * 1024, QLatin1Char('b')));
    m_window->LogPane()->paste();
    const QRegularExpression second(
        QStringLiteral(R"(^发送队列放不下：已有 \d+ 字节等待发送，上限 4 MB，这次的 2097152 字节没有发送$)"));
    EXPECT_EQ(m_log.filter(second).size(), 1) << LogText().right(300).toStdString();
    QTest::keyClicks(m_window->LogPane(), QStringLiteral("L"));
    EXPECT_EQ(m_log.filter(second).size(), 1);
    QTest::mouseClick(Find<QPushButton>("openButton"), Qt::LeftButton);  // the rest is dropped
}

// The 清空 button stays under the terminal panel; the pane's menu has it.
TEST_F(CommTerminalTest, ThePanesMenuEmptiesThePane)
{
    SendFromPanel(QStringLiteral("PING"));
    ASSERT_TRUE(WaitUntil([&] { return LogText().contains(QStringLiteral("PING")); }));
    m_window->LogPane()->ShowPendingEntries();
    EXPECT_FALSE(Find<QPushButton>("clearButton")->isVisible());
    std::unique_ptr<QMenu> menu(m_window->LogPane()->CreateContextMenu());
    QAction* clear = menu->findChild<QAction*>(QStringLiteral("clearLogAction"));
    ASSERT_NE(clear, nullptr);
    EXPECT_EQ(clear->text(), QStringLiteral("清空"));
    ASSERT_TRUE(clear->isEnabled());
    if (const QByteArray dir = qgetenv("SIRENSET_SCREENSHOT_DIR"); !dir.isEmpty()) {
        menu->popup(m_window->LogPane()->mapToGlobal(QPoint(40, 40)));
        menu->grab().save(QString::fromLocal8Bit(dir) + QStringLiteral("/log_pane_menu.png"));
        m_window->grab().save(QString::fromLocal8Bit(dir) + QStringLiteral("/communication_mode.png"));
        menu->hide();
    }
    clear->trigger();
    EXPECT_TRUE(m_window->LogPane()->toPlainText().isEmpty());
    std::unique_ptr<QMenu> emptied(m_window->LogPane()->CreateContextMenu());
    EXPECT_FALSE(emptied->findChild<QAction*>(QStringLiteral("clearLogAction"))->isEnabled());
}

// A library with a Modbus read (Ctrl+1) and a sequence around it.
class CommLibraryTest : public CommTerminalTest {
protected:
    void PrepareLibrary() override
    {
        CCommandLibrary library;
        TerminalCommand read;
        read.name = QStringLiteral("读寄存器");
        read.content = QStringLiteral("01 03 00 00 00 0A");
        read.contentKind = TerminalCommand::Content::Hex;
        read.check = CheckValue::Kind::Crc16Modbus;
        read.shortcut = 1;
        TerminalCommand ping;
        ping.name = QStringLiteral("PING");
        ping.content = QStringLiteral("PING");
        ping.lineEnd = TerminalCommand::LineEnd::Cr;
        CommandSequence check;
        check.name = QStringLiteral("连通检查");
        check.repeat = 2;
        check.steps = {{SequenceStep::Kind::Send, QStringLiteral("PING"), 0},
                       {SequenceStep::Kind::Wait, m_awaited, 1000}};
        QString error;
        ASSERT_TRUE(library.Assign({read, ping}, {check}, &error)) << error.toStdString();
        ASSERT_TRUE(library.Store(&error)) << error.toStdString();
    }
    void RunFromPanel(const QString& label)
    {
        auto* combo = Find<QComboBox>("libraryCombo");
        combo->setCurrentIndex(combo->findText(label));
        ASSERT_GE(combo->currentIndex(), 0) << label.toStdString();
        QTest::mouseClick(Find<QPushButton>("runLibraryButton"), Qt::LeftButton);
    }
    QString m_awaited = QStringLiteral("PING");
};

TEST_F(CommLibraryTest, ShortcutSendsTheFramedCommandAndTheRowOffersTheLibrary)
{
    auto* combo = Find<QComboBox>("libraryCombo");
    QStringList offered;
    for (int i = 0; i < combo->count(); ++i)
        offered << combo->itemText(i);
    EXPECT_EQ(offered, (QStringList{QStringLiteral("读寄存器  (Ctrl+1)"), QStringLiteral("PING"),
                                    QStringLiteral("序列：连通检查")}));
    EXPECT_EQ(combo->currentIndex(), 0);  // 执行 sends the first at once
    m_window->LogPane()->setFocus();
    QTest::keyClick(m_window->LogPane(), Qt::Key_1, Qt::ControlModifier);
    // Modbus RTU: read 10 registers from 0 of unit 1, CRC C5 CD low byte first.
    ASSERT_TRUE(WaitUntil([&] { return m_session.sim().ReceivedBytes().size() >= 8; }));
    EXPECT_EQ(QByteArray::fromStdString(m_session.sim().ReceivedBytes()).toHex(' '), "01 03 00 00 00 0a c5 cd");
    // Ctrl+2 names no command: nothing goes out, and a plain 1 is typed.
    QTest::keyClick(m_window->LogPane(), Qt::Key_2, Qt::ControlModifier);
    QTest::keyClick(m_window->LogPane(), Qt::Key_1);
    ASSERT_TRUE(WaitUntil([&] { return m_session.sim().ReceivedBytes().size() >= 9; }));
    SpinFor(100ms);
    EXPECT_EQ(QByteArray::fromStdString(m_session.sim().ReceivedBytes()).toHex(' '), "01 03 00 00 00 0a c5 cd 31");
}

TEST_F(CommLibraryTest, ASequenceRunsFromThePanelAndLogsEachStep)
{
    RunFromPanel(QStringLiteral("序列：连通检查"));
    ASSERT_TRUE(WaitForLog(QStringLiteral("序列 连通检查 完成"))) << LogText().toStdString();
    EXPECT_EQ(m_session.sim().ReceivedBytes(), "PING\rPING\r");
    EXPECT_EQ(Entries(QStringLiteral("序列 连通检查 第[12]/2轮 第2步 等待 \"PING\"：收到，\\d+ ms")).size(), 2)
        << LogText().toStdString();
    EXPECT_EQ(Find<QPushButton>("runLibraryButton")->text(), QStringLiteral("执行"));
}

class CommLibraryNoReplyTest : public CommLibraryTest {
protected:
    void PrepareLibrary() override
    {
        m_awaited = QStringLiteral("NEVER");
        CommLibraryTest::PrepareLibrary();
    }
};

TEST_F(CommLibraryNoReplyTest, LeavingCommunicationModeStopsASequenceMidWait)
{
    RunFromPanel(QStringLiteral("序列：连通检查"));
    auto* run = Find<QPushButton>("runLibraryButton");
    ASSERT_TRUE(WaitUntil([&] { return m_session.sim().ReceivedBytes() == "PING\r"; }));
    EXPECT_EQ(run->text(), QStringLiteral("停止"));
    QTest::mouseClick(Find<QRadioButton>("configModeRadio"), Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([&] { return run->text() == QStringLiteral("执行"); }));
    SpinFor(1200ms);  // past the wait's time limit: nothing more is sent
    EXPECT_EQ(Entries(QStringLiteral("序列 连通检查 第1/2轮 第2步 等待 \"NEVER\"：.*")).size(), 1)
        << LogText().toStdString();
    EXPECT_TRUE(m_session.sim().ReceivedBytes().rfind("PING\r", 0) == 0);
    const std::string received = m_session.sim().ReceivedBytes();
    EXPECT_EQ(std::count(received.begin(), received.end(), 'P'), 1) << received;
}

}  // namespace

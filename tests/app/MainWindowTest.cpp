#include "logpane/CLogPane.h"
#include "app/CSirensetDlg.h"
#include "controls/MessageBoxes.h"
#include "params/CParameterTable.h"
#include "support/EventLoopWait.h"
#include "support/ShortTiming.h"
#include "support/SimulatorSession.h"

#include <QCheckBox>
#include <QClipboard>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QGroupBox>
#include <QLabel>
#include <QTimer>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <gtest/gtest.h>

#include <iostream>

namespace {

using testsupport::SimulatorSession;
using testsupport::WaitUntil;
using namespace std::chrono_literals;

void SaveScreenshot(QWidget& widget, const char* name)
{
    const QByteArray dir = qgetenv("SIRENSET_SCREENSHOT_DIR");
    if (dir.isEmpty())
        return;
    QDir().mkpath(QString::fromLocal8Bit(dir));
    if (auto* window = qobject_cast<CSirensetDlg*>(&widget))
        window->LogPane()->ShowPendingEntries();
    widget.grab().save(QString::fromLocal8Bit(dir) + QLatin1Char('/') + QLatin1String(name));
}

// The main window on a simulated terminal, with every log entry recorded.
class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_session.Started());
        MessageBoxes::SetHandler([](const MessageBoxes::Request&) { return MessageBoxes::Reply{}; });
    }
    void TearDown() override { MessageBoxes::SetHandler({}); }

    std::unique_ptr<CSirensetDlg> OpenWindow()
    {
        MainWindowOptions options;
        options.extraPorts = {m_session.DevicePath()};
        options.timing = testsupport::ShortTiming();
        options.logObserver = [this](const QString& line) { m_log << line; };
        auto window = std::make_unique<CSirensetDlg>(options);
        window->show();
        return window;
    }

    bool WaitForLog(const QString& line, std::chrono::milliseconds limit = 10s)
    {
        return WaitUntil([&] { return m_log.contains(line); }, limit);
    }

    template <typename T>
    static T* Find(CSirensetDlg& window, const char* name)
    {
        return window.findChild<T*>(QString::fromLatin1(name));
    }

    SimulatorSession m_session;
    QStringList m_log;
};

TEST_F(MainWindowTest, StartUpOpensTheFirstPortAndCatchesTheTerminal)
{
    auto window = OpenWindow();
    ASSERT_TRUE(WaitForLog(QStringLiteral("参数加载完成..."))) << m_log.join(QLatin1Char('\n')).toStdString();

    ASSERT_GE(m_log.size(), 9);
    EXPECT_EQ(m_log[0], QStringLiteral("工作线程启动..."));
    EXPECT_EQ(m_log[1], QStringLiteral(">>> 串口已打开，请重新上电设备\r\n正在等待设备上电后进入配置状态..."));
    EXPECT_EQ(m_log[2], QStringLiteral("设备正在进入配置状态,请等待...."));
    EXPECT_EQ(m_log[3], QStringLiteral("测试模块"));
    EXPECT_EQ(m_log[4], QStringLiteral("          测试模块类型"));
    EXPECT_TRUE(m_log[5].contains(QStringLiteral("OK")));
    EXPECT_EQ(m_log[6], QStringLiteral("正在装载设备的配置参数 ...\r\n"));
    EXPECT_TRUE(m_log[7].contains(QStringLiteral("Access Point Name:")));
    EXPECT_EQ(m_log[8], QStringLiteral("参数加载完成..."));

    auto* open = Find<QPushButton>(*window, "openButton");
    EXPECT_EQ(open->text(), QStringLiteral("关闭"));
    EXPECT_FALSE(Find<QComboBox>(*window, "portCombo")->isEnabled());
    EXPECT_TRUE(WaitUntil([&] { return window->CommandButtons().first()->isEnabled(); }));
    for (QPushButton* button : window->CommandButtons())
        EXPECT_TRUE(button->isEnabled()) << button->objectName().toStdString();
    EXPECT_TRUE(Find<QPushButton>(*window, "restartButton")->isEnabled());

    // The simulator's defaults, converted for the table.
    CParameterTable* table = window->ParameterTable();
    EXPECT_EQ(table->CellText(5, 1), QStringLiteral("1"));
    EXPECT_EQ(table->CellText(22, 1), QStringLiteral("88.00"));
    EXPECT_EQ(table->CellText(2, 3), QStringLiteral("203.0.113.10"));
    EXPECT_EQ(table->CellText(20, 3), QStringLiteral("默认"));

    SaveScreenshot(*window, "main_window_configuration.png");
}

TEST_F(MainWindowTest, ClosingAndReopeningThePortLogsBothSteps)
{
    auto window = OpenWindow();
    ASSERT_TRUE(WaitForLog(QStringLiteral("参数加载完成...")));
    // The entry gives the buttons back when it ends; close after that.
    ASSERT_TRUE(WaitUntil([&] { return window->CommandButtons().first()->isEnabled(); }));
    auto* open = Find<QPushButton>(*window, "openButton");
    m_log.clear();

    QTest::mouseClick(open, Qt::LeftButton);
    ASSERT_TRUE(WaitForLog(QStringLiteral(">>> 串口已经关闭...")));
    EXPECT_EQ(open->text(), QStringLiteral("打开"));
    EXPECT_TRUE(Find<QComboBox>(*window, "portCombo")->isEnabled());
    EXPECT_TRUE(Find<QComboBox>(*window, "baudCombo")->isEnabled());
    for (QPushButton* button : window->CommandButtons())
        EXPECT_FALSE(button->isEnabled());
    // The simulated terminal powers on when it sees the port opened again,
    // which it can only after it has seen it closed (it looks now and then).
    ASSERT_TRUE(WaitUntil([&] { return !m_session.sim().PeerConnected(); }));

    QTest::mouseClick(open, Qt::LeftButton);
    ASSERT_TRUE(WaitForLog(QStringLiteral("参数加载完成...")));
    EXPECT_EQ(m_log[0], QStringLiteral(">>> 串口已经关闭..."));
    EXPECT_EQ(m_log[1], QStringLiteral(">>> 串口已打开，请重新上电设备\r\n正在等待设备上电后进入配置状态..."));
    EXPECT_EQ(open->text(), QStringLiteral("关闭"));
}

TEST_F(MainWindowTest, CommunicationModeShowsTheTerminalPanelAndReceivedData)
{
    auto window = OpenWindow();
    ASSERT_TRUE(WaitForLog(QStringLiteral("参数加载完成...")));
    const int configurationHeight = window->LogPane()->height();
    auto* comm = Find<QRadioButton>(*window, "commModeRadio");
    QTest::mouseClick(comm, Qt::LeftButton, {}, QPoint(5, comm->height() / 2));
    ASSERT_TRUE(comm->isChecked());
    EXPECT_TRUE(WaitForLog(QStringLiteral(">>> 重启(或重新上电)设备后将进入通信状态！")));
    QApplication::processEvents();

    auto* panel = Find<QGroupBox>(*window, "terminalPanel");
    EXPECT_TRUE(panel->isVisible());
    EXPECT_FALSE(Find<QPushButton>(*window, "clearButton")->isVisible());
    EXPECT_LT(window->LogPane()->height(), configurationHeight);
    EXPECT_FALSE(window->LogPane()->isReadOnly());

    m_session.sim().SendRaw("hello from the line");
    EXPECT_TRUE(WaitForLog(QStringLiteral("hello from the line")));
    SaveScreenshot(*window, "main_window_communication.png");

    auto* config = Find<QRadioButton>(*window, "configModeRadio");
    QTest::mouseClick(config, Qt::LeftButton, {}, QPoint(5, config->height() / 2));
    EXPECT_FALSE(panel->isVisible());
    EXPECT_TRUE(Find<QPushButton>(*window, "clearButton")->isVisible());
    QApplication::processEvents();
    EXPECT_EQ(window->LogPane()->height(), configurationHeight);
    EXPECT_TRUE(window->LogPane()->isReadOnly());
}

TEST_F(MainWindowTest, KeysTypedIntoTheLogPaneGoToTheTerminalInCommunicationMode)
{
    auto window = OpenWindow();
    ASSERT_TRUE(WaitForLog(QStringLiteral("参数加载完成...")));
    const QString before = window->LogPane()->toPlainText();
    // In configuration mode the pane is read-only and sends nothing.
    m_session.sim().ClearLogs();
    QTest::keyClicks(window->LogPane(), QStringLiteral("x"));
    testsupport::SpinFor(100ms);
    EXPECT_EQ(m_session.sim().ReceivedBytes(), "");

    auto* comm = Find<QRadioButton>(*window, "commModeRadio");
    QTest::mouseClick(comm, Qt::LeftButton, {}, QPoint(5, comm->height() / 2));
    ASSERT_TRUE(comm->isChecked());
    QTest::keyClicks(window->LogPane(), QStringLiteral("at"));
    QTest::keyClick(window->LogPane(), Qt::Key_Return);
    EXPECT_TRUE(WaitUntil([&] { return m_session.sim().ReceivedBytes() == "at\r"; }))
        << m_session.sim().ReceivedBytes();
    // Typed characters are not inserted into the pane.
    window->LogPane()->ShowPendingEntries();
    EXPECT_FALSE(window->LogPane()->toPlainText().endsWith(QStringLiteral("at")));
}

TEST_F(MainWindowTest, ALargePasteGoesOutInPiecesInOrderAndLeavesTheWindowAnswering)
{
    auto window = OpenWindow();
    ASSERT_TRUE(WaitForLog(QStringLiteral("参数加载完成...")));
    auto* comm = Find<QRadioButton>(*window, "commModeRadio");
    QTest::mouseClick(comm, Qt::LeftButton, {}, QPoint(5, comm->height() / 2));
    ASSERT_TRUE(comm->isChecked());
    m_session.sim().ClearLogs();

    // At 115200 bit/s a small paste and a key typed during it arrive whole
    // and in order.
    QByteArray small;
    for (int i = 0; i < 2000; ++i)
        small.append(static_cast<char>('a' + i % 26));
    QGuiApplication::clipboard()->setText(QString::fromLatin1(small));
    window->LogPane()->paste();
    QTest::keyClicks(window->LogPane(), QStringLiteral("Z"));
    const std::string expected = small.toStdString() + "Z";
    ASSERT_TRUE(WaitUntil([&] { return m_session.sim().ReceivedBytes().size() >= expected.size(); }));
    EXPECT_EQ(m_session.sim().ReceivedBytes(), expected);

    // A megabyte at 9600 bit/s: the window keeps answering while it goes
    // out, and closing the port drops the rest.
    ASSERT_TRUE(window->Device().Serial().SetLineSettings(9600, 8, Parity::None));
    m_session.sim().ClearLogs();
    const QByteArray large(1 << 20, 'x');
    QGuiApplication::clipboard()->setText(QString::fromLatin1(large));
    QElapsedTimer sinceTick;
    qint64 longestGapMs = 0;
    int ticks = 0;
    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout, [&] {
        if (ticks++ > 0)
            longestGapMs = std::max(longestGapMs, sinceTick.elapsed());
        sinceTick.start();
    });
    probe.start(10);
    window->LogPane()->paste();
    testsupport::SpinFor(1s);
    probe.stop();
    std::cout << "window probe during the paste: " << ticks << " ticks, longest gap " << longestGapMs << " ms\n";
    ::testing::Test::RecordProperty("longestGapMs", static_cast<int>(longestGapMs));
    EXPECT_GT(ticks, 1);

    QTest::mouseClick(Find<QPushButton>(*window, "openButton"), Qt::LeftButton);
    ASSERT_FALSE(window->Device().IsPortOpen());
    testsupport::SpinFor(100ms);
    const std::string received = m_session.sim().ReceivedBytes();
    EXPECT_GT(received.size(), 0u);
    EXPECT_LT(received.size(), static_cast<std::size_t>(large.size()));
    EXPECT_EQ(received.find_first_not_of('x'), std::string::npos);
    testsupport::SpinFor(200ms);
    EXPECT_EQ(m_session.sim().ReceivedBytes().size(), received.size());
}

TEST_F(MainWindowTest, AnEditedValueIsSavedAndReadBack)
{
    auto window = OpenWindow();
    ASSERT_TRUE(WaitForLog(QStringLiteral("参数加载完成...")));
    ASSERT_TRUE(WaitUntil([&] { return window->CommandButtons().first()->isEnabled(); }));
    CParameterTable* table = window->ParameterTable();
    table->scrollToItem(table->item(16, 3));
    QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, table->visualItemRect(table->item(16, 3)).center());
    QWidget* editor = table->ActiveEditor();
    ASSERT_NE(editor, nullptr);
    QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(editor, QStringLiteral("FIELDNET"));
    QTest::keyClick(editor, Qt::Key_Return);
    ASSERT_TRUE(WaitUntil([&] { return !table->IsEditing(); }));
    EXPECT_EQ(table->CellText(16, 3), QStringLiteral("FIELDNET"));

    m_log.clear();
    m_session.sim().ClearLogs();
    QTest::mouseClick(Find<QPushButton>(*window, "saveButton"), Qt::LeftButton);
    // The save reads the terminal back and checks the item it wrote.
    ASSERT_TRUE(WaitForLog(QStringLiteral("校验完成：1 项全部一致")));
    EXPECT_EQ(m_log, (QStringList{QStringLiteral("参数保存中，请等待..."), QStringLiteral("at+apn=FIELDNET\r"),
                                  QStringLiteral("设置APN成功"), QStringLiteral("参数设置完成"),
                                  QStringLiteral("正在校验：读回设备参数..."), QStringLiteral("校验完成：1 项全部一致")}));
    EXPECT_EQ(m_session.sim().Parameters().apn, "FIELDNET");

    ASSERT_TRUE(WaitUntil([&] { return window->CommandButtons().first()->isEnabled(); }));
    m_log.clear();
    QTest::mouseClick(Find<QPushButton>(*window, "readBackButton"), Qt::LeftButton);
    ASSERT_TRUE(WaitForLog(QStringLiteral("参数加载完成...")));
    EXPECT_EQ(table->CellText(16, 3), QStringLiteral("FIELDNET"));
}

TEST_F(MainWindowTest, TheFileButtonsAskForAFileAndUseIt)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Kestrel-Alarm.cfg"));
    QList<MessageBoxes::Request> asked;
    MessageBoxes::SetHandler([&](const MessageBoxes::Request& request) {
        // The preview of what the file changes is answered 确定 (its own
        // tests are in WindowSaveFeedbackTest.cpp); the file dialogs are
        // what this test is about.
        if (request.kind != MessageBoxes::Kind::Confirm)
            asked << request;
        return MessageBoxes::Reply{MessageBoxes::Answer::Ok, path};
    });
    auto window = OpenWindow();
    ASSERT_TRUE(WaitForLog(QStringLiteral("参数加载完成...")));
    ASSERT_TRUE(WaitUntil([&] { return window->CommandButtons().first()->isEnabled(); }));

    QTest::mouseClick(Find<QPushButton>(*window, "saveFileButton"), Qt::LeftButton);
    for (QPushButton* button : window->CommandButtons())
        EXPECT_FALSE(button->isEnabled());
    ASSERT_TRUE(WaitForLog(QStringLiteral("参数保存到文件成功...")));
    ASSERT_EQ(asked.size(), 1);
    EXPECT_EQ(asked[0].kind, MessageBoxes::Kind::SaveFile);
    EXPECT_EQ(asked[0].text, QStringLiteral("Kestrel-Alarm.cfg"));
    EXPECT_EQ(asked[0].filter, QStringLiteral("*.cfg"));
    EXPECT_TRUE(QFile::exists(path));

    ASSERT_TRUE(WaitUntil([&] { return window->CommandButtons().first()->isEnabled(); }));
    QTest::mouseClick(Find<QPushButton>(*window, "loadFileButton"), Qt::LeftButton);
    ASSERT_TRUE(WaitForLog(QStringLiteral("参数设置完成")));
    ASSERT_EQ(asked.size(), 2);
    EXPECT_EQ(asked[1].kind, MessageBoxes::Kind::OpenFile);
    EXPECT_TRUE(m_log.contains(QStringLiteral("重置备份号码成功")));
}

TEST_F(MainWindowTest, ADeviceThatVanishesLeavesTheWindowClosedAndUsable)
{
    auto window = OpenWindow();
    ASSERT_TRUE(WaitForLog(QStringLiteral("参数加载完成...")));
    m_session.sim().Vanish();
    ASSERT_TRUE(WaitForLog(QStringLiteral(">>> 串口连接已断开，请检查设备和连接线后重新打开串口...")));
    auto* open = Find<QPushButton>(*window, "openButton");
    EXPECT_EQ(open->text(), QStringLiteral("打开"));
    EXPECT_TRUE(Find<QComboBox>(*window, "portCombo")->isEnabled());
    EXPECT_FALSE(window->Device().IsPortOpen());
}

TEST_F(MainWindowTest, WithoutAnyPortTheWindowSaysSoOnceAndStillComesUp)
{
    QList<MessageBoxes::Request> asked;
    MessageBoxes::SetHandler([&](const MessageBoxes::Request& request) {
        asked << request;
        return MessageBoxes::Reply{};
    });
    MainWindowOptions options;
    options.listSystemPorts = false;
    options.timing = testsupport::ShortTiming();
    options.logObserver = [this](const QString& line) { m_log << line; };
    CSirensetDlg window(options);
    window.show();
    ASSERT_EQ(asked.size(), 1);
    EXPECT_EQ(asked[0].text, QStringLiteral("没发现串口，程序不能正常执行，请检查串口，退出！"));
    EXPECT_TRUE(WaitForLog(QStringLiteral(
        ">>> 要进入配置状态，请先以正确参数打开串口，然后将设备重新上电！\r\n正在等待设备上电后进入配置状态...")));
    EXPECT_EQ(Find<QPushButton>(window, "openButton")->text(), QStringLiteral("打开"));
    // Opening the empty list again does not ask a second time.
    QTest::mouseClick(Find<QPushButton>(window, "openButton"), Qt::LeftButton);
    EXPECT_EQ(asked.size(), 1);
    EXPECT_EQ(Find<QComboBox>(window, "baudCombo")->currentText(), QStringLiteral("115200"));
}

TEST_F(MainWindowTest, AboutBoxShowsItsTexts)
{
    auto window = OpenWindow();
    auto* about = Find<QAbstractButton>(*window, "aboutButton");
    QTimer::singleShot(0, [] {
        QWidget* box = QApplication::activeModalWidget();
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->windowTitle(), QStringLiteral("关于 Sirenset"));
        QStringList texts;
        for (QLabel* label : box->findChildren<QLabel*>())
            texts << label->text();
        EXPECT_TRUE(texts.contains(QStringLiteral("无线预警终端配置软件，1.2 版")));
        EXPECT_TRUE(texts.contains(QStringLiteral("更新日期：2012-4-17")));
        EXPECT_EQ(box->findChild<QGroupBox*>()->title(), QStringLiteral("说明"));
        QTest::mouseClick(box->findChild<QPushButton*>(QStringLiteral("aboutOkButton")), Qt::LeftButton);
    });
    QTest::mouseClick(about, Qt::LeftButton);
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Kestrel预警广播设备配置软件V1.2.1"));
}

}  // namespace

namespace {

class CommunicationStartTest : public MainWindowTest {
protected:
    std::unique_ptr<CSirensetDlg> OpenAsTerminal(bool hex)
    {
        MainWindowOptions options;
        options.extraPorts = {m_session.DevicePath()};
        options.timing = testsupport::ShortTiming();
        options.logObserver = [this](const QString& line) { m_log << line; };
        options.communicationMode = true;
        options.hexDisplay = hex;
        auto window = std::make_unique<CSirensetDlg>(options);
        window->show();
        return window;
    }
};

TEST_F(CommunicationStartTest, OpensThePortWithoutWritingAndShowsWhatArrives)
{
    auto window = OpenAsTerminal(false);
    ASSERT_TRUE(WaitForLog(QStringLiteral(">>> 串口已打开，请重新上电设备\r\n正在等待设备上电后进入通讯状态...")))
        << m_log.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(Find<QRadioButton>(*window, "commModeRadio")->isChecked());
    EXPECT_TRUE(Find<QWidget>(*window, "terminalPanel")->isVisible());
    testsupport::SpinFor(600ms);  // three periods of the power-on catch
    // No 's' and no command: the line may carry a terminal's data.
    EXPECT_EQ(m_session.sim().ReceivedBytes(), "");
    m_session.sim().SendRaw("OK\r\n");
    EXPECT_TRUE(WaitForLog(QStringLiteral("OK\r\n"))) << m_log.join(QLatin1Char('|')).toStdString();
}

TEST_F(CommunicationStartTest, HexDisplayShowsBytesInLowerCaseHex)
{
    auto window = OpenAsTerminal(true);
    ASSERT_TRUE(WaitForLog(QStringLiteral(">>> 串口已打开，请重新上电设备\r\n正在等待设备上电后进入通讯状态...")));
    EXPECT_TRUE(Find<QCheckBox>(*window, "hexDisplayCheck")->isChecked());
    testsupport::SpinFor(300ms);
    m_session.sim().SendRaw("AB\r");
    EXPECT_TRUE(WaitForLog(QStringLiteral("41 42 0d"))) << m_log.join(QLatin1Char('|')).toStdString();
}

}  // namespace

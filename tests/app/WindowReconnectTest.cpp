// 自动重连: a lost port is watched for and reopened when it comes back. The
// port is a symbolic link, as a technician's --port /dev/serial/by-id/...
// would be: a terminal simulator that is stopped cannot come back on the
// same pseudo-terminal, so a second simulator takes its place behind the
// link.
#include "MainWindowFixture.h"

#include "serial/CSerial.h"
#include "support/SimulatorSession.h"
#include "support/TestFiles.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QPushButton>
#include <QTest>

#include <algorithm>

namespace {

using testsupport::SimulatorSession;
using testsupport::SpinFor;
using testsupport::WaitUntil;
using namespace std::chrono_literals;

const QString kLost = QStringLiteral(">>> 串口连接已断开，请检查设备和连接线后重新打开串口...");
const QString kOpened = QStringLiteral(">>> 串口已打开，请重新上电设备\r\n正在等待设备上电后进入配置状态...");
const QString kEntering = QStringLiteral("设备正在进入配置状态,请等待....");
const QString kLoaded = QStringLiteral("参数加载完成...");
// Several looks of the watch at the tests' period.
constexpr auto kSeveralPolls = 400ms;

class WindowReconnectTest : public testsupport::MainWindowFixture {
protected:
    void SetUp() override
    {
        MainWindowFixture::SetUp();
        m_link = m_folder.filePath(QStringLiteral("ttyTERMINAL"));
        m_first = std::make_unique<SimulatorSession>();
        ASSERT_TRUE(m_first->Started());
        ASSERT_TRUE(PointLinkAt(m_first->DevicePath()));
    }
    void TearDown() override
    {
        MainWindowFixture::TearDown();
        m_second.reset();
        m_first.reset();
    }

    bool PointLinkAt(const QString& device)
    {
        QFile::remove(m_link);
        return QFile::link(device, m_link);
    }

    MainWindowOptions ReconnectOptions(const QStringList& morePorts = {})
    {
        MainWindowOptions options = Options(QStringList{m_link} + morePorts);
        options.windowTiming.reconnectPollMs = 50;
        return options;
    }

    void OpenOnTheLink(const QStringList& morePorts = {})
    {
        Open(ReconnectOptions(morePorts));
        ASSERT_TRUE(WaitForLog(kLoaded)) << LogText().toStdString();
        ASSERT_TRUE(WaitForButtons());
        ASSERT_EQ(m_window->Device().Serial().DevicePath(), m_link);
    }

    // The first terminal is unplugged; the window sees the port go. The
    // link is left dangling at a name no device will take: the vanished
    // pseudo-terminal's own name is soon given to another test's terminal
    // (the suites run side by side), which the watch would rightly open.
    void LoseTheFirstTerminal()
    {
        m_log.clear();
        m_first->sim().Vanish();
        ASSERT_TRUE(PointLinkAt(m_folder.filePath(QStringLiteral("unplugged"))));
        ASSERT_TRUE(WaitForLog(kLost));
        ASSERT_FALSE(m_window->Device().IsPortOpen());
    }

    // A second terminal is plugged in where the first one was.
    void PlugInTheSecondTerminal()
    {
        m_second = std::make_unique<SimulatorSession>();
        ASSERT_TRUE(m_second->Started());
        ASSERT_TRUE(PointLinkAt(m_second->DevicePath()));
    }

    QString Waiting() const { return QStringLiteral(">>> 自动重连：正在等待串口 %1 重新接入...").arg(m_link); }
    QString Reopened() const { return QStringLiteral(">>> 串口已重新打开：%1").arg(m_link); }

    void Click(QAbstractButton* button)
    {
        QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(5, button->height() / 2));
    }

    QString m_link;
    std::unique_ptr<SimulatorSession> m_first;
    std::unique_ptr<SimulatorSession> m_second;
};

TEST_F(WindowReconnectTest, AutoReconnectIsOnAtFirstBesideThePortControls)
{
    Open(ReconnectOptions());
    auto* check = Find<QCheckBox>("autoReconnectCheck");
    EXPECT_EQ(check->text(), QStringLiteral("自动重连"));
    EXPECT_TRUE(check->isChecked());
    EXPECT_EQ(check->parentWidget(), Find<QPushButton>("openButton")->parentWidget());
    EXPECT_FALSE(m_window->IsWatchingForPort());
}

TEST_F(WindowReconnectTest, ALostPortThatComesBackIsReopenedAtItsSpeedAndTheTerminalCaught)
{
    OpenOnTheLink();
    // The technician works at 38400.
    auto* open = Find<QPushButton>("openButton");
    auto* baud = Find<QComboBox>("baudCombo");
    Click(open);
    // The terminal powers on again at the next open once it saw this close.
    ASSERT_TRUE(WaitUntil([&] { return !m_first->sim().PeerConnected(); }));
    baud->setCurrentIndex(baud->findText(QStringLiteral("38400")));
    m_log.clear();
    Click(open);
    ASSERT_TRUE(WaitForLog(kLoaded)) << LogText().toStdString();
    ASSERT_TRUE(WaitForButtons());

    LoseTheFirstTerminal();
    ASSERT_TRUE(WaitForLog(Waiting()));
    EXPECT_TRUE(m_window->IsWatchingForPort());
    EXPECT_EQ(open->text(), QStringLiteral("打开"));
    // The link is still there, but leads nowhere: nothing to open yet.
    SpinFor(kSeveralPolls);
    EXPECT_EQ(m_log.mid(0, 2), (QStringList{kLost, Waiting()}));
    EXPECT_FALSE(m_log.contains(Reopened()));
    EXPECT_FALSE(m_window->Device().IsPortOpen());
    EXPECT_TRUE(m_window->IsWatchingForPort());

    PlugInTheSecondTerminal();
    ASSERT_TRUE(WaitForLog(kLoaded)) << LogText().toStdString();
    const qsizetype reopened = m_log.indexOf(Reopened());
    ASSERT_GE(reopened, 0);
    // Then exactly as after 打开 in 配置模式.
    ASSERT_GT(m_log.size(), reopened + 2);
    EXPECT_EQ(m_log[reopened + 1], kOpened);
    EXPECT_EQ(m_log[reopened + 2], kEntering);
    EXPECT_GT(m_log.indexOf(kLoaded), reopened + 2);

    EXPECT_FALSE(m_window->IsWatchingForPort());
    EXPECT_TRUE(m_window->Device().IsPortOpen());
    EXPECT_EQ(m_window->Device().Serial().DevicePath(), m_link);
    EXPECT_EQ(m_second->sim().PeerBaudRate(), 38400);
    EXPECT_EQ(m_second->sim().Mode(), TerminalMode::Configuration);
    EXPECT_EQ(open->text(), QStringLiteral("关闭"));
    EXPECT_FALSE(Find<QComboBox>("portCombo")->isEnabled());
    EXPECT_TRUE(Find<QComboBox>("portCombo")->currentText().contains(m_link));
    EXPECT_EQ(baud->currentText(), QStringLiteral("38400"));
    EXPECT_TRUE(WaitForButtons());
}

TEST_F(WindowReconnectTest, WithAutoReconnectOffALostPortStaysClosed)
{
    OpenOnTheLink();
    Click(Find<QCheckBox>("autoReconnectCheck"));
    LoseTheFirstTerminal();
    PlugInTheSecondTerminal();
    SpinFor(kSeveralPolls);
    EXPECT_FALSE(m_window->IsWatchingForPort());
    EXPECT_FALSE(m_log.contains(Waiting()));
    EXPECT_FALSE(m_log.contains(Reopened()));
    EXPECT_FALSE(m_window->Device().IsPortOpen());
    EXPECT_FALSE(m_second->sim().PeerConnected());
}

TEST_F(WindowReconnectTest, TurningAutoReconnectOffStopsTheWatchAndOnStartsItAgain)
{
    OpenOnTheLink();
    LoseTheFirstTerminal();
    ASSERT_TRUE(WaitForLog(Waiting()));
    auto* check = Find<QCheckBox>("autoReconnectCheck");
    Click(check);
    EXPECT_FALSE(check->isChecked());
    EXPECT_FALSE(m_window->IsWatchingForPort());

    PlugInTheSecondTerminal();
    SpinFor(kSeveralPolls);
    EXPECT_FALSE(m_log.contains(Reopened()));
    EXPECT_FALSE(m_second->sim().PeerConnected());

    // On again, with the port still lost: the watch finds it back.
    Click(check);
    EXPECT_TRUE(check->isChecked());
    ASSERT_TRUE(WaitForLog(kLoaded)) << LogText().toStdString();
    EXPECT_EQ(m_log.count(Waiting()), 2);
    EXPECT_EQ(m_log.count(Reopened()), 1);
    EXPECT_TRUE(m_second->sim().PeerConnected());
}

TEST_F(WindowReconnectTest, OpeningAnotherPortStopsTheWatch)
{
    SimulatorSession other;
    ASSERT_TRUE(other.Started());
    OpenOnTheLink({other.DevicePath()});
    LoseTheFirstTerminal();
    ASSERT_TRUE(WaitForLog(Waiting()));

    auto* ports = Find<QComboBox>("portCombo");
    const int otherIndex = ports->findText(other.DevicePath(), Qt::MatchContains);
    ASSERT_GE(otherIndex, 0);
    ports->setCurrentIndex(otherIndex);
    m_log.clear();
    Click(Find<QPushButton>("openButton"));
    EXPECT_FALSE(m_window->IsWatchingForPort());
    ASSERT_TRUE(WaitForLog(kLoaded));

    PlugInTheSecondTerminal();
    SpinFor(kSeveralPolls);
    EXPECT_FALSE(m_log.contains(Reopened()));
    EXPECT_EQ(m_window->Device().Serial().DevicePath(), other.DevicePath());
    EXPECT_FALSE(m_second->sim().PeerConnected());
}

TEST_F(WindowReconnectTest, ClosingTheWindowStopsTheWatch)
{
    OpenOnTheLink();
    LoseTheFirstTerminal();
    ASSERT_TRUE(WaitForLog(Waiting()));
    m_window->close();
    EXPECT_FALSE(m_window->IsWatchingForPort());
    PlugInTheSecondTerminal();
    SpinFor(kSeveralPolls);
    EXPECT_FALSE(m_log.contains(Reopened()));
    EXPECT_FALSE(m_second->sim().PeerConnected());
}

TEST_F(WindowReconnectTest, APortThatComesBackUnusableIsReportedOnceAndStillWatched)
{
    OpenOnTheLink();
    LoseTheFirstTerminal();
    ASSERT_TRUE(WaitForLog(Waiting()));
    // Something that is not a serial device appears under the name.
    const QString plainFile = m_folder.filePath(QStringLiteral("plain"));
    ASSERT_TRUE(testsupport::WriteFileBytes(plainFile, QByteArray()));
    ASSERT_TRUE(PointLinkAt(plainFile));
    const QString prefix = QStringLiteral(">>> 串口 %1 已重新接入，但无法打开：").arg(m_link);
    const auto failures = [&] {
        return std::count_if(m_log.cbegin(), m_log.cend(), [&](const QString& line) {
            return line.startsWith(prefix) && line.endsWith(QStringLiteral("，继续等待..."));
        });
    };
    ASSERT_TRUE(WaitUntil([&] { return failures() == 1; })) << LogText().toStdString();
    SpinFor(kSeveralPolls);
    EXPECT_EQ(failures(), 1);
    EXPECT_TRUE(m_window->IsWatchingForPort());
    EXPECT_FALSE(m_window->Device().IsPortOpen());

    PlugInTheSecondTerminal();
    ASSERT_TRUE(WaitForLog(kLoaded)) << LogText().toStdString();
    EXPECT_EQ(m_log.count(Reopened()), 1);
    EXPECT_EQ(failures(), 1);
}

}  // namespace

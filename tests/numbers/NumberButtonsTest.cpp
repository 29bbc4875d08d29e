#include "NumberButtonsHost.h"

#include "controls/CReportCtrl.h"
#include "controls/CTabSheet.h"
#include "controls/MessageBoxes.h"
#include "numbers/CNumberPage.h"
#include "numbers/CPhoneClearDlg.h"
#include "numbers/CResetPhone.h"
#include "numbers/NumberCategory.h"
#include "support/EventLoopWait.h"
#include "support/ShortTiming.h"
#include "support/SimulatorSession.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

namespace {

using namespace std::chrono_literals;
using Strings = std::vector<std::string>;

// The number buttons in a small window on a simulated terminal. Message
// boxes are answered with m_answer and recorded.
class NumberButtonsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_session.Started());
        MessageBoxes::SetHandler([this](const MessageBoxes::Request&) {
            MessageBoxes::Reply reply;
            reply.answer = m_answer;
            return reply;
        });
        m_host.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&m_host));
    }
    void TearDown() override
    {
        MessageBoxes::SetHandler({});
        NumberCategory::SetDefault(NumberCategory::kAdministrator);
    }

    bool EnterConfiguration(const Strings& admin, const Strings& authorised, const Strings& backup)
    {
        m_session.sim().ModifyParameters([&](TerminalParameters& params) {
            params.adminNumbers = admin;
            params.authorisedNumbers = authorised;
            params.backupNumbers = backup;
        });
        if (!m_host.Device().OpenPort(m_session.PortNumber(), 115200))
            return false;
        m_host.SetBusy(true);
        m_host.Device().OnPortOpened();
        if (!testsupport::WaitUntil([&] { return m_host.logLines.contains(QStringLiteral("参数加载完成...")); }, 15s))
            return false;
        if (!WaitUntilIdle())
            return false;
        m_session.sim().ClearLogs();
        m_host.logLines.clear();
        m_host.busyChanges.clear();
        MessageBoxes::TakeRequests();
        return true;
    }
    bool WaitUntilIdle() { return testsupport::WaitUntil([&] { return !m_host.busy; }, 15s); }

    // Clicks a button whose handler runs a modal dialog; `drive` gets the
    // dialog once it is shown.
    template <typename Dialog>
    void ClickWithDialog(QPushButton* button, const std::function<void(Dialog&)>& drive)
    {
        bool driven = false;
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            driven = true;
            drive(*dialog);
        });
        QTest::mouseClick(button, Qt::LeftButton);
        EXPECT_TRUE(driven);
    }
    static void ClickOk(QDialog& dialog)
    {
        QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("okButton")), Qt::LeftButton);
    }
    static int ShownCategory(QDialog& dialog)
    {
        return dialog.findChild<QComboBox*>(QStringLiteral("categoryChoice"))->currentIndex();
    }
    void Tick(int category, int row) { m_host.Page(category)->List()->SetCheck(row, true); }
    QString Log() const { return m_host.logLines.join(QLatin1Char('\n')); }

    testsupport::SimulatorSession m_session;
    NumberButtonsHost m_host{testsupport::ShortTiming()};
    MessageBoxes::Answer m_answer = MessageBoxes::Answer::Ok;
};

TEST_F(NumberButtonsTest, AddOpensTheEntryDialogOnTheListShown)
{
    ASSERT_TRUE(EnterConfiguration({"111"}, {}, {"1"})) << Log().toStdString();
    m_host.Tabs()->setCurrentIndex(2);

    int shown = -1;
    ClickWithDialog<CResetPhone>(m_host.AddButton(), [&](CResetPhone& dialog) {
        shown = ShownCategory(dialog);
        QTest::keyClicks(dialog.findChild<QLineEdit*>(QStringLiteral("numberEdit")), QStringLiteral("66,77,"));
        ClickOk(dialog);
    });
    EXPECT_EQ(shown, NumberCategory::kBackup);
    EXPECT_FALSE(m_host.AddButton()->isEnabled());
    ASSERT_TRUE(WaitUntilIdle());
    EXPECT_TRUE(m_host.AddButton()->isEnabled());
    EXPECT_EQ(m_session.sim().ReceivedCommands(), Strings{"AT+LRMADDBKNO=66,77"});
    EXPECT_EQ(m_host.logLines, (QStringList{QStringLiteral("AT+LRMADDBKNO=66,77\r"), QStringLiteral("备份号码添加成功")}));
    EXPECT_EQ(m_host.Page(2)->Numbers(), (QStringList{"1", "66", "77"}));
    EXPECT_EQ(m_host.Page(0)->Numbers(), QStringList{"111"});
}

TEST_F(NumberButtonsTest, AddCancelledOrTooLongSendsNothing)
{
    ASSERT_TRUE(EnterConfiguration({}, {}, {})) << Log().toStdString();
    m_host.Tabs()->setCurrentIndex(1);
    ClickWithDialog<CResetPhone>(m_host.AddButton(), [](CResetPhone& dialog) {
        QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("cancelButton")), Qt::LeftButton);
    });
    // A last number that does not fit a slot of the stored list is refused
    // by the dialog itself, which keeps the typed text for correcting.
    const QString typed = QStringLiteral("12,") + QString(33, QLatin1Char('5'));
    ClickWithDialog<CResetPhone>(m_host.AddButton(), [&](CResetPhone& dialog) {
        auto* edit = dialog.findChild<QLineEdit*>(QStringLiteral("numberEdit"));
        QTest::keyClicks(edit, typed);
        ClickOk(dialog);
        EXPECT_TRUE(dialog.isVisible());
        EXPECT_EQ(edit->text(), typed);
        QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("cancelButton")), Qt::LeftButton);
    });
    testsupport::SpinFor(100ms);
    const QList<MessageBoxes::Request> requests = MessageBoxes::TakeRequests();
    ASSERT_EQ(requests.size(), 1);
    EXPECT_EQ(requests[0].text, QStringLiteral("电话号码长度太长"));
    EXPECT_TRUE(m_session.sim().ReceivedCommands().empty());
    EXPECT_TRUE(m_host.busyChanges.isEmpty());
    EXPECT_TRUE(m_host.logLines.isEmpty());
}

TEST_F(NumberButtonsTest, ResetAsksAboutTheListShownAndEmptiesIt)
{
    ASSERT_TRUE(EnterConfiguration({"111"}, {"3", "4"}, {})) << Log().toStdString();
    m_host.Tabs()->setCurrentIndex(1);
    m_answer = MessageBoxes::Answer::Yes;
    int shown = -1;
    ClickWithDialog<CPhoneClearDlg>(m_host.ResetButton(), [&](CPhoneClearDlg& dialog) {
        shown = ShownCategory(dialog);
        ClickOk(dialog);
    });
    EXPECT_EQ(shown, NumberCategory::kAuthorised);
    const QList<MessageBoxes::Request> requests = MessageBoxes::TakeRequests();
    ASSERT_EQ(requests.size(), 1);
    EXPECT_EQ(requests[0].text, QStringLiteral("重置将清空所有的授权号码，确认清空吗？"));
    ASSERT_TRUE(WaitUntilIdle());
    EXPECT_EQ(m_session.sim().ReceivedCommands(), Strings{"AT+LRMSETLRMNO="});
    EXPECT_EQ(m_host.logLines, (QStringList{QStringLiteral("AT+LRMSETLRMNO=\r"), QStringLiteral("重置授权号码成功")}));
    EXPECT_TRUE(m_host.Page(1)->Numbers().isEmpty());
    EXPECT_EQ(m_host.Page(0)->Numbers(), QStringList{"111"});
}

TEST_F(NumberButtonsTest, DeleteConfirmsTheTickedNumbersOfEveryList)
{
    ASSERT_TRUE(EnterConfiguration({"111", "222", "333"}, {"444"}, {"777", "888"})) << Log().toStdString();
    Tick(0, 0);
    Tick(0, 2);
    Tick(2, 1);

    m_answer = MessageBoxes::Answer::No;
    QTest::mouseClick(m_host.DeleteButton(), Qt::LeftButton);
    QList<MessageBoxes::Request> requests = MessageBoxes::TakeRequests();
    ASSERT_EQ(requests.size(), 1);
    EXPECT_EQ(requests[0].text, QStringLiteral("你将删除管理号:111,333你将删除备份号:888"));
    EXPECT_EQ(requests[0].caption, QStringLiteral("YES"));
    EXPECT_EQ(requests[0].buttons, MessageBoxes::Buttons::YesNo);
    EXPECT_EQ(requests[0].icon, MessageBoxes::Icon::Information);
    testsupport::SpinFor(100ms);
    EXPECT_TRUE(m_host.busyChanges.isEmpty());
    EXPECT_TRUE(m_session.sim().ReceivedCommands().empty());

    m_answer = MessageBoxes::Answer::Yes;
    QTest::mouseClick(m_host.DeleteButton(), Qt::LeftButton);
    ASSERT_TRUE(WaitUntilIdle());
    EXPECT_EQ(m_session.sim().ReceivedCommands(), (Strings{"AT+LRMDELADMINNO=111,333", "AT+LRMDELBKNO=888"}));
    EXPECT_EQ(m_host.Page(0)->Numbers(), QStringList{"222"});
    EXPECT_EQ(m_host.Page(1)->Numbers(), QStringList{"444"});
    EXPECT_EQ(m_host.Page(2)->Numbers(), QStringList{"777"});
    for (int category = 0; category < 3; ++category)
        EXPECT_TRUE(m_host.Page(category)->CheckedNumbers().isEmpty());
}

TEST_F(NumberButtonsTest, DeleteWithNothingTickedAsksToChooseAndPostsNothing)
{
    ASSERT_TRUE(EnterConfiguration({"111"}, {}, {})) << Log().toStdString();
    QTest::mouseClick(m_host.DeleteButton(), Qt::LeftButton);
    const QList<MessageBoxes::Request> requests = MessageBoxes::TakeRequests();
    ASSERT_EQ(requests.size(), 1);
    EXPECT_EQ(requests[0].text, QStringLiteral("请选择要删除的号码"));
    EXPECT_EQ(requests[0].caption, QApplication::applicationName());
    EXPECT_EQ(requests[0].buttons, MessageBoxes::Buttons::Ok);
    testsupport::SpinFor(100ms);
    EXPECT_TRUE(m_host.busyChanges.isEmpty());
    EXPECT_TRUE(m_host.logLines.isEmpty());
    EXPECT_TRUE(m_session.sim().ReceivedCommands().empty());
}

TEST_F(NumberButtonsTest, PowerTestButtonSendsTheTestCommand)
{
    ASSERT_TRUE(EnterConfiguration({}, {}, {})) << Log().toStdString();
    QTest::mouseClick(m_host.PowerTestButton(), Qt::LeftButton);
    EXPECT_FALSE(m_host.PowerTestButton()->isEnabled());
    ASSERT_TRUE(WaitUntilIdle());
    EXPECT_EQ(m_session.sim().ReceivedCommands(), Strings{"AT+LRMSNDPOWER"});
    ASSERT_EQ(m_host.logLines.size(), 2);
    EXPECT_EQ(m_host.logLines[1], QStringLiteral("车载台/FN发射机上电测试命令测试成功"));
}

}  // namespace

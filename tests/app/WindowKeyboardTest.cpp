// The main window from the keyboard, its start-up clock display and the
// titles of every window the program opens.
#include "app/CAboutDlg.h"
#include "app/CSirensetApp.h"
#include "app/CSirensetDlg.h"
#include "controls/MessageBoxes.h"
#include "numbers/CPhoneClearDlg.h"
#include "numbers/CResetPhone.h"
#include "params/CParameterTable.h"
#include "support/EventLoopWait.h"
#include "support/ShortTiming.h"
#include "support/SimulatorSession.h"

#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTimeEdit>

#include <gtest/gtest.h>

namespace {

using testsupport::SimulatorSession;
using testsupport::WaitUntil;
using namespace std::chrono_literals;

class WindowKeyboardTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_session.Started());
        MessageBoxes::SetHandler([](const MessageBoxes::Request&) { return MessageBoxes::Reply{}; });
        MainWindowOptions options;
        options.extraPorts = {m_session.DevicePath()};
        options.listSystemPorts = false;
        options.timing = testsupport::ShortTiming();
        options.logObserver = [this](const QString& line) { m_log << line; };
        m_window = std::make_unique<CSirensetDlg>(options);
        m_window->resize(1024, 728);
        m_window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_window.get()));
    }
    void TearDown() override
    {
        m_window.reset();
        MessageBoxes::SetHandler({});
    }

    template <typename T>
    T* Find(const char* name) const
    {
        return m_window->findChild<T*>(QString::fromLatin1(name));
    }

    QRect InWindow(const QWidget* widget) const
    {
        return QRect(widget->mapTo(m_window.get(), QPoint(0, 0)), widget->size());
    }

    bool WaitForReadBack()
    {
        return WaitUntil([&] { return m_log.contains(QStringLiteral("参数加载完成...")); }, 10s)
            && WaitUntil([&] { return m_window->CommandButtons().first()->isEnabled(); }, 10s);
    }

    // The widgets Tab visits, in order, starting at the parameter table.
    QList<QWidget*> TabChain() const
    {
        QList<QWidget*> chain;
        // The cycle starts at the top: the row that opens a configuration
        // file, above the table.
        QWidget* start = m_window->findChild<QWidget*>(QStringLiteral("openFileButton"));
        QWidget* widget = start;
        do {
            if ((widget->focusPolicy() & Qt::TabFocus) && widget->isVisibleTo(m_window.get())
                && widget->focusProxy() == nullptr)
                chain << widget;
            widget = widget->nextInFocusChain();
        } while (widget && widget != start && chain.size() < 200);
        return chain;
    }

    SimulatorSession m_session;
    QStringList m_log;
    std::unique_ptr<CSirensetDlg> m_window;
};

TEST_F(WindowKeyboardTest, NoButtonOfTheWindowIsADefaultButton)
{
    const QList<QPushButton*> buttons = m_window->findChildren<QPushButton*>();
    ASSERT_GE(buttons.size(), 17);
    for (QPushButton* button : buttons) {
        EXPECT_FALSE(button->isDefault()) << button->text().toStdString();
        EXPECT_FALSE(button->autoDefault()) << button->text().toStdString();
    }
    // Enter on the restart button's neighbour does not restart the terminal.
    ASSERT_TRUE(WaitForReadBack());
    auto* restart = Find<QPushButton>("restartButton");
    ASSERT_TRUE(restart->isEnabled());
    Find<QComboBox>("rtcCombo")->setFocus();
    m_session.sim().ClearLogs();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    testsupport::SpinFor(100ms);
    EXPECT_EQ(m_session.sim().ReceivedBytes(), "");
}

TEST_F(WindowKeyboardTest, TabFollowsTheScreenFromTopToBottomAndLeftToRight)
{
    for (const char* mode : {"configModeRadio", "commModeRadio"}) {
        SCOPED_TRACE(mode);
        auto* radio = Find<QAbstractButton>(mode);
        QTest::mouseClick(radio, Qt::LeftButton, {}, QPoint(5, radio->height() / 2));
        QApplication::processEvents();
        const QList<QWidget*> chain = TabChain();
        for (QWidget* control : {static_cast<QWidget*>(m_window->ParameterTable()),
                                 static_cast<QWidget*>(Find<QComboBox>("portCombo")),
                                 static_cast<QWidget*>(Find<QPushButton>("openButton")),
                                 static_cast<QWidget*>(Find<QComboBox>("rtcCombo"))}) {
            EXPECT_EQ(chain.count(control), 1) << control->objectName().toStdString();
        }
        for (QPushButton* button : m_window->CommandButtons())
            EXPECT_EQ(chain.count(button), 1) << button->objectName().toStdString();
        // Never back up within a column, never back left within a row.
        for (qsizetype i = 1; i < chain.size(); ++i) {
            const QRect from = InWindow(chain[i - 1]);
            const QRect to = InWindow(chain[i]);
            const bool sameColumn = to.left() < from.right() && from.left() < to.right();
            const bool sameRow = to.top() < from.bottom() && from.top() < to.bottom();
            EXPECT_FALSE(sameColumn && to.bottom() < from.top())
                << chain[i - 1]->objectName().toStdString() << " -> " << chain[i]->objectName().toStdString();
            EXPECT_FALSE(sameRow && to.right() < from.left())
                << chain[i - 1]->objectName().toStdString() << " -> " << chain[i]->objectName().toStdString();
        }
    }
}

TEST_F(WindowKeyboardTest, StartUpShowsTheSystemClockAndHidesThePickers)
{
    auto* rtc = Find<QComboBox>("rtcCombo");
    EXPECT_EQ(rtc->currentText(), QStringLiteral("系统时间"));
    auto* clock = Find<QLabel>("clockText");
    EXPECT_TRUE(clock->isVisible());
    EXPECT_FALSE(Find<QDateEdit>("datePicker")->isVisible());
    EXPECT_FALSE(Find<QTimeEdit>("timePicker")->isVisible());
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d{4}/\\d{2}/\\d{2} \\d{2}:\\d{2}:\\d{2}$"))
                    .match(clock->text())
                    .hasMatch())
        << clock->text().toStdString();

    rtc->setCurrentIndex(1);
    EXPECT_FALSE(clock->isVisible());
    EXPECT_TRUE(Find<QDateEdit>("datePicker")->isVisible());
    EXPECT_TRUE(Find<QTimeEdit>("timePicker")->isVisible());
    rtc->setCurrentIndex(0);
    EXPECT_TRUE(clock->isVisible());
    EXPECT_FALSE(Find<QDateEdit>("datePicker")->isVisible());
}

TEST_F(WindowKeyboardTest, ValueEditedFromTheKeyboardIsSaved)
{
    ASSERT_TRUE(WaitForReadBack());
    CParameterTable* table = m_window->ParameterTable();
    table->setFocus();
    table->scrollToItem(table->item(16, 3));
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, table->visualItemRect(table->item(16, 3)).center());
    QTest::keyClick(table, Qt::Key_F2);
    QWidget* editor = table->ActiveEditor();
    ASSERT_NE(editor, nullptr);
    QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(editor, QStringLiteral("KEYNET"));
    QTest::keyClick(editor, Qt::Key_Return);
    ASSERT_TRUE(WaitUntil([&] { return !table->IsEditing(); }));
    EXPECT_EQ(table->CellText(16, 3), QStringLiteral("KEYNET"));

    m_log.clear();
    QTest::mouseClick(Find<QPushButton>("saveButton"), Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([&] { return m_log.contains(QStringLiteral("校验完成：1 项全部一致")); }, 10s));
    EXPECT_EQ(m_log, (QStringList{QStringLiteral("参数保存中，请等待..."), QStringLiteral("at+apn=KEYNET\r"),
                                  QStringLiteral("设置APN成功"), QStringLiteral("参数设置完成"),
                                  QStringLiteral("正在校验：读回设备参数..."), QStringLiteral("校验完成：1 项全部一致")}));
}

TEST(WindowTitles, EveryWindowHasExactlyItsOwnTitle)
{
    CSirensetApp::Configure(*qApp);
    // A display name would be appended to every title by the platform.
    EXPECT_EQ(QGuiApplication::applicationDisplayName(), QCoreApplication::applicationName());
    EXPECT_EQ(MessageBoxes::DefaultCaption(), QStringLiteral("Kestrel预警广播设备配置软件V1.2.1"));

    CResetPhone entry;
    EXPECT_EQ(entry.windowTitle(), QStringLiteral("号码设置"));
    CPhoneClearDlg reset;
    EXPECT_EQ(reset.windowTitle(), QStringLiteral("号码重置"));
    CAboutDlg about;
    EXPECT_EQ(about.windowTitle(), QStringLiteral("关于 Sirenset"));

    MessageBoxes::SetHandler([](const MessageBoxes::Request&) { return MessageBoxes::Reply{}; });
    MainWindowOptions options;
    options.listSystemPorts = false;
    options.timing = testsupport::ShortTiming();
    CSirensetDlg window(options);
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Kestrel预警广播设备配置软件V1.2.1"));
    // The box about the missing port names no caption of its own.
    const QList<MessageBoxes::Request> asked = MessageBoxes::TakeRequests();
    ASSERT_EQ(asked.size(), 1);
    EXPECT_EQ(asked[0].caption, QStringLiteral("Kestrel预警广播设备配置软件V1.2.1"));
    MessageBoxes::SetHandler({});
}

}  // namespace

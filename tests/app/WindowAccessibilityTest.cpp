// The main window and the number dialogs as screen readers and outside test
// drivers see them: every control a person can use carries the name that a
// person reads beside it.
#include "MainWindowFixture.h"

#include "numbers/CPhoneClearDlg.h"
#include "numbers/CResetPhone.h"
#include "support/SimulatorSession.h"

#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QTabWidget>
#include <QTest>

#include <set>

namespace {

using testsupport::SimulatorSession;

// Roles of the controls a person operates or reads a value from.
bool IsInteractive(QAccessible::Role role)
{
    static const std::set<QAccessible::Role> kRoles = {
        QAccessible::PushButton, QAccessible::CheckBox,    QAccessible::RadioButton, QAccessible::ComboBox,
        QAccessible::EditableText, QAccessible::SpinBox,   QAccessible::Slider,      QAccessible::Dial,
        QAccessible::Table,      QAccessible::List,        QAccessible::Tree,        QAccessible::ProgressBar,
        QAccessible::PageTabList, QAccessible::PageTab,    QAccessible::ButtonMenu,  QAccessible::ButtonDropDown,
        QAccessible::Document,   QAccessible::Link,
    };
    return kRoles.count(role) > 0;
}

struct Shown {
    QAccessible::Role role;
    QString name;
    QString objectName;  // of the widget, or of the nearest one above an item
};

// Every interface below `root` that is not hidden, in tree order.
void Walk(QAccessibleInterface* root, QList<Shown>& found, const QString& owner = {})
{
    if (!root || root->state().invisible)
        return;
    QString name = owner;
    if (QObject* object = root->object(); object && !object->objectName().isEmpty())
        name = object->objectName();
    found << Shown{root->role(), root->text(QAccessible::Name), name};
    // The rows of a list or a table are its content, not controls of their own.
    if (root->role() == QAccessible::Table || root->role() == QAccessible::List)
        return;
    for (int i = 0; i < root->childCount(); ++i)
        Walk(root->child(i), found, name);
}

QList<Shown> AccessibleTree(QWidget* window)
{
    QList<Shown> found;
    Walk(QAccessible::queryAccessibleInterface(window), found);
    return found;
}

std::string Describe(const Shown& shown)
{
    return (shown.objectName + QStringLiteral(" role 0x") + QString::number(shown.role, 16) + QStringLiteral(" \"")
            + shown.name + QLatin1Char('"'))
        .toStdString();
}

// Returns how many controls it looked at.
int ExpectEveryControlNamed(QWidget* window)
{
    int controls = 0;
    for (const Shown& shown : AccessibleTree(window)) {
        if (!IsInteractive(shown.role))
            continue;
        ++controls;
        EXPECT_FALSE(shown.name.trimmed().isEmpty()) << Describe(shown);
    }
    return controls;
}

// The name of the control called `objectName`, as the accessibility tree of
// `window` gives it.
QString NameOf(QWidget* window, const QString& objectName)
{
    auto* widget = window->findChild<QWidget*>(objectName);
    if (!widget)
        return QStringLiteral("(no %1)").arg(objectName);
    QAccessibleInterface* control = QAccessible::queryAccessibleInterface(widget);
    return control ? control->text(QAccessible::Name) : QString();
}

class WindowAccessibilityTest : public testsupport::MainWindowFixture {
protected:
    void SetUp() override
    {
        MainWindowFixture::SetUp();
        ASSERT_TRUE(m_session.Started());
        Open(Options({m_session.DevicePath()}));
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_window.get()));
    }

    SimulatorSession m_session;
};

TEST_F(WindowAccessibilityTest, NoControlIsWithoutANameInEitherLayoutOrClockMode)
{
    ASSERT_TRUE(WaitForLog(QStringLiteral("参数加载完成...")));
    // Configuration layout with the system clock shown, then the terminal
    // panel and the date and time pickers.
    EXPECT_GT(ExpectEveryControlNamed(m_window.get()), 30);
    Find<QComboBox>("rtcCombo")->setCurrentIndex(1);
    QTest::mouseClick(Find<QWidget>("commModeRadio"), Qt::LeftButton, {}, QPoint(5, 5));
    QApplication::processEvents();
    ASSERT_TRUE(Find<QWidget>("terminalPanel")->isVisible());
    // As during a save (without spinning the event loop, in which the end
    // of the mode switch would hide it again).
    m_window->View().ShowSaveProgress(1, 12);
    ASSERT_TRUE(Find<QWidget>("saveProgress")->isVisible());
    EXPECT_GT(ExpectEveryControlNamed(m_window.get()), 35);
    // Buttons are named by their text, and keep it.
    for (QPushButton* button : m_window->CommandButtons())
        EXPECT_EQ(NameOf(m_window.get(), button->objectName()), button->text());
}

TEST_F(WindowAccessibilityTest, EachControlIsNamedAfterWhatAPersonReadsBesideIt)
{
    Find<QComboBox>("rtcCombo")->setCurrentIndex(1);
    QTest::mouseClick(Find<QWidget>("commModeRadio"), Qt::LeftButton, {}, QPoint(5, 5));
    QApplication::processEvents();
    const struct {
        const char* control;
        const char* name;
    } kExpected[] = {
        {"paramList", "配置参数"},
        {"portCombo", "串口号"},
        {"baudCombo", "波特率"},
        {"rtcCombo", "RTC时间设置"},
        {"datePicker", "日期"},
        {"timePicker", "时间"},
        {"saveProgress", "保存进度"},
        {"logPane", "日志"},
        {"sendEdit", "发送数据："},
        {"intervalEdit", "毫秒/次"},
        {"aboutButton", "关于 Sirenset"},
    };
    for (const auto& expected : kExpected)
        EXPECT_EQ(NameOf(m_window.get(), QString::fromLatin1(expected.control)), QString::fromUtf8(expected.name))
            << expected.control;
    // A combo box's value is still its current entry.
    QAccessibleInterface* baud = QAccessible::queryAccessibleInterface(Find<QComboBox>("baudCombo"));
    ASSERT_NE(baud, nullptr);
    EXPECT_EQ(baud->role(), QAccessible::ComboBox);
    EXPECT_EQ(baud->text(QAccessible::Value), QStringLiteral("115200"));
    // The three number lists are named after their tab pages.
    const QStringList pages = {QStringLiteral("管理号码"), QStringLiteral("授权号码"), QStringLiteral("备份号码")};
    for (int page = 0; page < pages.size(); ++page) {
        m_window->findChild<QTabWidget*>(QStringLiteral("tabSheet"))->setCurrentIndex(page);
        QApplication::processEvents();
        bool named = false;
        for (const Shown& shown : AccessibleTree(m_window.get()))
            named = named || (shown.role == QAccessible::Table && shown.name == pages[page]);
        EXPECT_TRUE(named) << pages[page].toStdString();
    }
}

TEST_F(WindowAccessibilityTest, TheNumberDialogsNameTheirBoxesAfterTheirLabels)
{
    CResetPhone entry(m_window.get());
    CPhoneClearDlg reset(m_window.get());
    for (QDialog* dialog : {static_cast<QDialog*>(&entry), static_cast<QDialog*>(&reset)}) {
        SCOPED_TRACE(dialog->windowTitle().toStdString());
        dialog->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog));
        ExpectEveryControlNamed(dialog);
        EXPECT_EQ(NameOf(dialog, QStringLiteral("categoryChoice")), QStringLiteral("类别："));
        dialog->hide();
    }
    EXPECT_EQ(NameOf(&entry, QStringLiteral("numberEdit")), QStringLiteral("号码："));
}

}  // namespace

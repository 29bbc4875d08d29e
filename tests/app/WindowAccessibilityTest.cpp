// The main window and its dialogs as screen readers and outside test
// drivers see them: every control a person can use carries the name that a
// person reads beside it, and every combo box tells which entry it shows,
// read over AT-SPI as assistive tools read it.
#include "MainWindowFixture.h"

#include "numbers/CPhoneClearDlg.h"
#include "numbers/CResetPhone.h"
#include "support/AtSpiReader.h"
#include "support/SimulatorSession.h"
#include "terminal/CCommandLibrary.h"
#include "terminal/CCommandLibraryDlg.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QMap>
#include <QTabWidget>
#include <QTest>

#include <memory>
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

// ---------------------------------------------------------------- over AT-SPI

using testsupport::AtSpiObject;
using testsupport::AtSpiReader;
using testsupport::WaitUntil;

// The windows read, and the combo boxes each shows, by the names a person
// reads beside them.
enum class Scene { ConfigurationLayout, CommunicationLayout, NumberEntry, NumberReset, CommandLibrary, EditableBox };

const struct {
    Scene window;
    const char* title;  // for the trace
    QStringList boxes;
} kWindows[] = {
    {Scene::ConfigurationLayout,
     "配置模式",
     {QStringLiteral("串口号"), QStringLiteral("波特率"), QStringLiteral("RTC时间设置")}},
    {Scene::CommunicationLayout,
     "通讯模式",
     {QStringLiteral("串口号"), QStringLiteral("波特率"), QStringLiteral("RTC时间设置"),
      QStringLiteral("命令库中的命令和序列")}},
    {Scene::NumberEntry, "号码录入", {QStringLiteral("类别：")}},
    {Scene::NumberReset, "号码重置", {QStringLiteral("类别：")}},
    {Scene::CommandLibrary,
     "命令库",
     {QStringLiteral("内容格式"), QStringLiteral("行尾"), QStringLiteral("校验"), QStringLiteral("校验字节顺序"),
      QStringLiteral("快捷键")}},
    {Scene::EditableBox, "可编辑", {QStringLiteral("间隔：")}},
};

class WindowOverAtSpiTest : public testsupport::MainWindowFixture {
protected:
    void SetUp() override
    {
        MainWindowFixture::SetUp();
        ASSERT_TRUE(m_session.Started());
        // Two commands, so that the panel's library box has entries; the
        // first, which the editor shows, with a check value, so that the
        // editor's byte-order box is in use.
        CCommandLibrary library;
        TerminalCommand ping;
        ping.name = QStringLiteral("PING");
        ping.content = QStringLiteral("PING");
        ping.check = CheckValue::Kind::Crc16Modbus;
        TerminalCommand version;
        version.name = QStringLiteral("读版本");
        version.content = QStringLiteral("AT+VER");
        QString error;
        ASSERT_TRUE(library.Assign({ping, version}, {}, &error)) << error.toStdString();
        ASSERT_TRUE(library.Store(&error)) << error.toStdString();
    }
    void TearDown() override
    {
        m_dialog.reset();
        MainWindowFixture::TearDown();
    }

    QWidget* Show(Scene window);
    void OpenMainWindow(bool communicationMode);
    void ShowDialog(std::unique_ptr<QDialog> dialog);
    // The top-level window's object on the accessibility bus.
    std::optional<AtSpiObject> OnTheBus(const QWidget* window);
    // The combo boxes on screen below `object`, by name.
    void CollectBoxes(const AtSpiObject& object, QMap<QString, AtSpiObject>& boxes);
    void ChooseEveryEntry(const AtSpiObject& box, QComboBox* combo);
    void ExpectEntryShown(const AtSpiObject& box, QComboBox* combo, const std::string& how);
    void StartListening(const AtSpiObject& box, QComboBox* combo);
    // The items that the tool keeping states believes selected.
    QStringList BelievedSelected(const QList<AtSpiObject>& items, QComboBox* combo);

    SimulatorSession m_session;
    AtSpiReader m_reader;
    std::unique_ptr<QDialog> m_dialog;
    // A tool that keeps the states it was told of, as libatspi's cache does:
    // whether each item (by path) is selected.
    QMap<QString, bool> m_told;
    bool m_listening = false;
};

QWidget* WindowOverAtSpiTest::Show(Scene window)
{
    switch (window) {
    case Scene::ConfigurationLayout:
        OpenMainWindow(false);
        return m_window.get();
    case Scene::CommunicationLayout:
        OpenMainWindow(true);
        return m_window.get();
    case Scene::NumberEntry:
        ShowDialog(std::make_unique<CResetPhone>(m_window.get()));
        return m_dialog.get();
    case Scene::NumberReset:
        ShowDialog(std::make_unique<CPhoneClearDlg>(m_window.get()));
        return m_dialog.get();
    case Scene::CommandLibrary: {
        m_dialog.reset();
        QTest::mouseClick(Find<QPushButton>("libraryButton"), Qt::LeftButton);
        auto* editor = m_window->findChild<CCommandLibraryDlg*>();
        return editor && QTest::qWaitForWindowExposed(editor) ? editor : nullptr;
    }
    case Scene::EditableBox: {
        // No box of the window is editable where a tool can reach it (the
        // sequence steps' boxes sit in table cells): one of the test's own.
        auto dialog = std::make_unique<QDialog>();
        dialog->setWindowTitle(QStringLiteral("可编辑"));
        auto* box = new QComboBox;
        box->setEditable(true);
        box->addItems({QStringLiteral("100"), QStringLiteral("200"), QStringLiteral("500")});
        (new QFormLayout(dialog.get()))->addRow(QStringLiteral("间隔："), box);
        ShowDialog(std::move(dialog));
        return m_dialog.get();
    }
    }
    return nullptr;
}

void WindowOverAtSpiTest::OpenMainWindow(bool communicationMode)
{
    m_window.reset();
    MainWindowOptions options = Options({m_session.DevicePath(), m_folder.filePath(QStringLiteral("ttyNone"))});
    options.communicationMode = communicationMode;
    Open(options);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(m_window.get()));
    if (!communicationMode) {
        ASSERT_TRUE(WaitForLog(QStringLiteral("参数加载完成...")));
    }
    // Port and speed are chosen with the port closed.
    QTest::mouseClick(Find<QPushButton>("openButton"), Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([&] { return Find<QComboBox>("portCombo")->isEnabled(); }));
}

void WindowOverAtSpiTest::ShowDialog(std::unique_ptr<QDialog> dialog)
{
    m_dialog = std::move(dialog);
    m_dialog->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(m_dialog.get()));
}

std::optional<AtSpiObject> WindowOverAtSpiTest::OnTheBus(const QWidget* window)
{
    // The application registers with the registry once its bridge is up,
    // and lists a window once it is shown.
    std::optional<AtSpiObject> found;
    WaitUntil(
        [&] {
            for (const AtSpiObject& application : m_reader.Applications().value_or(QList<AtSpiObject>{})) {
                for (const AtSpiObject& top : m_reader.Children(application).value_or(QList<AtSpiObject>{})) {
                    if (m_reader.NameOf(top) == window->windowTitle()
                        && AtSpiReader::Has(m_reader.StatesOf(top).value_or(0), AtSpiReader::StateShowing))
                        found = top;
                }
            }
            return found.has_value();
        },
        std::chrono::seconds(60));
    return found;
}

void WindowOverAtSpiTest::CollectBoxes(const AtSpiObject& object, QMap<QString, AtSpiObject>& boxes)
{
    for (const AtSpiObject& child : m_reader.Children(object).value_or(QList<AtSpiObject>{})) {
        const unsigned role = m_reader.RoleOf(child).value_or(0);
        if (role == AtSpiReader::RoleComboBox) {
            if (AtSpiReader::Has(m_reader.StatesOf(child).value_or(0), AtSpiReader::StateShowing))
                boxes.insert(m_reader.NameOf(child).value_or(QString()), child);
        } else if (role != AtSpiReader::RoleTable && role != AtSpiReader::RoleTree && role != AtSpiReader::RoleList) {
            // Rows of lists and tables are content, not controls.
            CollectBoxes(child, boxes);
        }
    }
}

// What a tool reads of `box`: the one selected item of its list, the item
// the open list highlights, and the box's text, against what `combo` shows.
void WindowOverAtSpiTest::ExpectEntryShown(const AtSpiObject& box, QComboBox* combo, const std::string& how)
{
    SCOPED_TRACE(how);
    const QString shown = combo->isEditable() ? combo->lineEdit()->text() : combo->currentText();
    const QList<AtSpiObject> parts = m_reader.Children(box).value_or(QList<AtSpiObject>{});
    ASSERT_EQ(parts.size(), combo->isEditable() ? 2 : 1) << m_reader.LastError().toStdString();
    ASSERT_EQ(m_reader.RoleOf(parts[0]), AtSpiReader::RoleList);
    const QList<AtSpiObject> items = m_reader.Children(parts[0]).value_or(QList<AtSpiObject>{});
    ASSERT_EQ(items.size(), combo->count()) << m_reader.LastError().toStdString();
    QStringList selected;
    QStringList highlighted;
    for (int row = 0; row < items.size(); ++row) {
        const QString name = m_reader.NameOf(items[row]).value_or(QStringLiteral("(no name)"));
        EXPECT_EQ(name, combo->itemText(row));
        EXPECT_EQ(m_reader.RoleOf(items[row]), AtSpiReader::RoleListItem);
        const quint64 states = m_reader.StatesOf(items[row]).value_or(0);
        if (AtSpiReader::Has(states, AtSpiReader::StateSelected))
            selected << name;
        if (AtSpiReader::Has(states, AtSpiReader::StateFocused))
            highlighted << name;
    }
    EXPECT_EQ(selected, QStringList{combo->currentText()});
    // Told of every change, a tool that keeps the states believes the same.
    for (const AtSpiObject& item : items) {
        if (!m_told.contains(item.path))
            m_told.insert(item.path, selected.contains(m_reader.NameOf(item).value_or(QString())));
    }
    EXPECT_TRUE(WaitUntil([&] { return BelievedSelected(items, combo) == selected; }))
        << BelievedSelected(items, combo).join(QStringLiteral(", ")).toStdString();
    const bool open = combo->view()->isVisible();
    EXPECT_EQ(highlighted, open ? QStringList{combo->view()->currentIndex().data().toString()} : QStringList{});
    EXPECT_EQ(m_reader.TextOf(box), shown) << m_reader.LastError().toStdString();
    if (combo->isEditable()) {
        EXPECT_EQ(m_reader.RoleOf(parts[1]), AtSpiReader::RoleText);
        EXPECT_EQ(m_reader.TextOf(parts[1]), shown);
    }
}

QStringList WindowOverAtSpiTest::BelievedSelected(const QList<AtSpiObject>& items, QComboBox* combo)
{
    for (const auto& change : m_reader.TakeStateChanges()) {
        if (change.state == QLatin1String("selected"))
            m_told[change.path] = change.set;
    }
    QStringList believed;
    for (int row = 0; row < items.size(); ++row) {
        if (m_told.value(items[row].path))
            believed << combo->itemText(row);
    }
    return believed;
}

// Applications learn of a new listener by themselves: changes before that
// are told to nobody, so the first change heard is waited for.
void WindowOverAtSpiTest::StartListening(const AtSpiObject& box, QComboBox* combo)
{
    m_listening = true;
    ASSERT_TRUE(m_reader.Listen(QStringLiteral("object:state-changed:selected"))) << m_reader.LastError().toStdString();
    // Items tell of their changes once a tool has looked at them.
    const auto parts = m_reader.Children(box);
    ASSERT_TRUE(parts && !parts->isEmpty()) << m_reader.LastError().toStdString();
    ASSERT_TRUE(m_reader.Children(parts->first())) << m_reader.LastError().toStdString();
    const int found = combo->currentIndex();
    ASSERT_TRUE(WaitUntil(
        [&] {
            combo->setCurrentIndex((combo->currentIndex() + 1) % combo->count());
            return !m_reader.TakeStateChanges().isEmpty();
        },
        std::chrono::seconds(60)));
    combo->setCurrentIndex(found);
    ExpectEntryShown(box, combo, "entry as found");
}

// Every entry by code, then by keyboard: Home, each next one from the open
// list (read while it is open, too), and Up on the closed box; then every
// other entry by a click in the open list.
// While a tool listens, Qt's bridge offers every key to the registry first
// and hands it on when the registry answers: what a key does is waited for.
void WindowOverAtSpiTest::ChooseEveryEntry(const AtSpiObject& box, QComboBox* combo)
{
    const int count = combo->count();
    ASSERT_GT(count, 1);
    // Boxes of a window depend on each other (no byte order without a check
    // value): each is left as it was found.
    const int found = combo->currentIndex();
    for (int entry = 0; entry < count; ++entry) {
        combo->setCurrentIndex(entry);
        ExpectEntryShown(box, combo, "set to entry " + std::to_string(entry));
    }
    combo->setFocus();
    if (combo->isEditable())
        combo->setCurrentIndex(0);
    else
        QTest::keyClick(combo, Qt::Key_Home);
    ASSERT_TRUE(WaitUntil([&] { return combo->currentIndex() == 0; }));
    ExpectEntryShown(box, combo, "first entry");
    for (int entry = 1; entry < count; ++entry) {
        QTest::keyClick(combo, Qt::Key_Down, Qt::AltModifier);
        ASSERT_TRUE(WaitUntil([&] { return combo->view()->isVisible(); }));
        ExpectEntryShown(box, combo, "list opened at entry " + std::to_string(entry - 1));
        QTest::keyClick(combo->view(), Qt::Key_Down);
        ASSERT_TRUE(WaitUntil([&] { return combo->view()->currentIndex().row() == entry; }));
        ExpectEntryShown(box, combo, "list open, entry " + std::to_string(entry) + " highlighted");
        QTest::keyClick(combo->view(), Qt::Key_Return);
        ASSERT_TRUE(WaitUntil([&] { return !combo->view()->isVisible() && combo->currentIndex() == entry; }));
        ExpectEntryShown(box, combo, "entry " + std::to_string(entry) + " chosen from the list");
    }
    QTest::keyClick(combo, Qt::Key_Up);
    ASSERT_TRUE(WaitUntil([&] { return combo->currentIndex() == count - 2; }));
    ExpectEntryShown(box, combo, "Up on the closed box");
    // By mouse: a click on an entry of the open list.
    for (int entry = count - 1; entry >= 0; entry -= 2) {
        QTest::keyClick(combo, Qt::Key_Down, Qt::AltModifier);
        ASSERT_TRUE(WaitUntil([&] { return combo->view()->isVisible(); }));
        const QModelIndex item = combo->view()->model()->index(entry, combo->modelColumn(), combo->rootModelIndex());
        QTest::mouseClick(combo->view()->viewport(), Qt::LeftButton, {}, combo->view()->visualRect(item).center());
        ASSERT_TRUE(WaitUntil([&] { return !combo->view()->isVisible() && combo->currentIndex() == entry; }));
        ExpectEntryShown(box, combo, "entry " + std::to_string(entry) + " clicked");
    }
    combo->setCurrentIndex(found);
    ExpectEntryShown(box, combo, "entry as found");
}

// The visible combo box of `window` that carries the accessible name `name`.
QComboBox* BoxNamed(QWidget* window, const QString& name)
{
    for (QComboBox* combo : window->findChildren<QComboBox*>()) {
        QAccessibleInterface* box = QAccessible::queryAccessibleInterface(combo);
        if (combo->isVisible() && box && box->text(QAccessible::Name) == name)
            return combo;
    }
    return nullptr;
}

TEST_F(WindowOverAtSpiTest, EveryComboBoxTellsWhichEntryItShowsInBothLayoutsAndTheDialogs)
{
    for (const auto& row : kWindows) {
        SCOPED_TRACE(row.title);
        // Objects of windows gone may lend their paths to new ones.
        m_reader.TakeStateChanges();
        m_told.clear();
        QWidget* window = Show(row.window);
        ASSERT_NE(window, nullptr);
        const std::optional<AtSpiObject> top = OnTheBus(window);
        ASSERT_TRUE(top) << m_reader.LastError().toStdString();
        QMap<QString, AtSpiObject> boxes;
        CollectBoxes(*top, boxes);
        QStringList expected = row.boxes;
        expected.sort();
        ASSERT_EQ(boxes.keys(), expected);
        for (const QString& name : row.boxes) {
            SCOPED_TRACE(name.toStdString());
            QComboBox* combo = BoxNamed(window, name);
            ASSERT_NE(combo, nullptr);
            if (!m_listening)
                StartListening(boxes.value(name), combo);
            ChooseEveryEntry(boxes.value(name), combo);
            if (combo->isEditable()) {
                // Typed text is the box's text before it becomes an entry.
                combo->lineEdit()->clear();
                QTest::keyClicks(combo->lineEdit(), QStringLiteral("250"));
                ASSERT_TRUE(WaitUntil([&] { return combo->lineEdit()->text() == QStringLiteral("250"); }));
                EXPECT_EQ(m_reader.TextOf(boxes.value(name)), QStringLiteral("250"));
            }
        }
    }
}

}  // namespace

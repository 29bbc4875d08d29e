#include "GridTestWindow.h"

#include "controls/CMsgHook.h"
#include "support/EventLoopWait.h"

#include <QApplication>
#include <QCalendarWidget>
#include <QClipboard>
#include <QScrollBar>
#include <QTest>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

using namespace std::chrono_literals;
using testsupport::WaitUntil;

namespace {

class GridEditTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_window.BuildParameterTable();
        ASSERT_TRUE(m_window.ShowAndActivate());
    }

    CListCtrlEx& Grid() { return *m_window.m_grid; }
    QWidget* Focus() const { return QApplication::focusWidget(); }
    static bool HasFocusIn(const QWidget* widget)
    {
        const QWidget* focus = QApplication::focusWidget();
        return focus && (focus == widget || widget->isAncestorOf(focus));
    }
    bool WaitEditAt(int row, int column)
    {
        return WaitUntil([&] { return Grid().IsEditing() && Grid().EditRow() == row && Grid().EditColumn() == column; },
                         2s);
    }

    GridTestWindow m_window;
};

enum class Editor { Text, Choice, Digits, Date };

QWidget* EditorOf(const GridTestWindow& window, Editor which)
{
    switch (which) {
    case Editor::Text: return window.m_textBox;
    case Editor::Choice: return window.m_choiceList;
    case Editor::Digits: return window.m_digitsBox;
    case Editor::Date: return window.m_dateEdit;
    }
    return nullptr;
}

}  // namespace

TEST_F(GridEditTest, DoubleClickShowsTheCellsEditorExactlyOverTheCell)
{
    struct Case {
        int row;
        int column;
        Editor editor;
    };
    const Case cases[] = {
        {1, 1, Editor::Text},    {2, 3, Editor::Text},
        {4, 1, Editor::Choice},  {1, 3, Editor::Choice},
        {7, 1, Editor::Digits},  {3, 3, Editor::Digits},
        {10, 3, Editor::Digits},  // no descriptor: the grid's default
        {11, 1, Editor::Date},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "cell " << c.row << "," << c.column);
        QWidget* expected = EditorOf(m_window, c.editor);
        m_window.DoubleClickCell(c.row, c.column);
        ASSERT_EQ(Grid().ActiveEditor(), expected);
        EXPECT_EQ(Grid().EditRow(), c.row);
        EXPECT_EQ(Grid().EditColumn(), c.column);
        EXPECT_TRUE(expected->isVisible());
        EXPECT_EQ(expected->parentWidget(), Grid().viewport());
        EXPECT_EQ(expected->geometry(), Grid().visualRect(Grid().model()->index(c.row, c.column)));
        EXPECT_TRUE(HasFocusIn(expected));
        EXPECT_NE(CMsgHook::RecordOf(expected), nullptr);
        EXPECT_TRUE(Grid().selectedItems().isEmpty()) << "an edit starts with no row selected";

        QTest::keyClick(expected, Qt::Key_Escape);
        ASSERT_TRUE(m_window.WaitEditEnded());
        EXPECT_FALSE(expected->isVisible());
        EXPECT_EQ(expected->parentWidget(), &m_window) << "the editor goes back to its window";
        EXPECT_TRUE(Grid().hasFocus());
    }
}

TEST_F(GridEditTest, EditorsStartFromTheCell)
{
    m_window.DoubleClickCell(2, 1);
    EXPECT_EQ(m_window.m_textBox->text(), Grid().GetItemText(2, 1));
    m_window.DoubleClickCell(7, 1);
    EXPECT_EQ(m_window.m_digitsBox->text(), Grid().GetItemText(7, 1));
    m_window.DoubleClickCell(4, 1);
    EXPECT_EQ(m_window.m_choiceList->count(), 10);
    EXPECT_EQ(m_window.m_choiceList->itemText(0), QStringLiteral("1"));
    EXPECT_EQ(m_window.m_choiceList->itemText(9), QStringLiteral("10"));
    EXPECT_EQ(m_window.m_choiceList->currentIndex(), -1) << "no entry is preselected";
    m_window.DoubleClickCell(11, 1);
    EXPECT_EQ(m_window.m_dateEdit->dateTime(), QDateTime(QDate(2024, 5, 6), QTime(7, 8, 9)));
}

TEST_F(GridEditTest, WhatEndsAnEditAndWithWhichFlag)
{
    struct Case {
        const char* what;
        std::function<void(GridTestWindow&)> end;
        int accept;
    };
    const Case cases[] = {
        {"Enter", [](GridTestWindow& w) { QTest::keyClick(w.m_textBox, Qt::Key_Return); }, 1},
        {"keypad Enter", [](GridTestWindow& w) { QTest::keyClick(w.m_textBox, Qt::Key_Enter); }, 1},
        {"Escape", [](GridTestWindow& w) { QTest::keyClick(w.m_textBox, Qt::Key_Escape); }, 0},
        {"click on a button", [](GridTestWindow& w) { QTest::mouseClick(w.m_after, Qt::LeftButton); }, 1},
        {"focus to another control", [](GridTestWindow& w) { w.m_before->setFocus(); }, 1},
        {"click on another cell", [](GridTestWindow& w) { w.ClickCell(8, 3); }, 1},
        {"click on a read-only cell", [](GridTestWindow& w) { w.ClickCell(5, 0); }, 1},
        {"wheel over the grid",
         [](GridTestWindow& w) {
             const QPointF at = w.CellCenter(9, 2);
             QWheelEvent wheel(at, w.m_grid->viewport()->mapToGlobal(at), {}, QPoint(0, -120), Qt::NoButton,
                               Qt::NoModifier, Qt::NoScrollPhase, false);
             QApplication::sendEvent(w.m_grid->viewport(), &wheel);
         },
         1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        m_window.m_commitFlags.clear();
        m_window.DoubleClickCell(1, 1);
        ASSERT_EQ(Grid().ActiveEditor(), m_window.m_textBox);
        m_window.m_textBox->setText(QStringLiteral("新的预置内容"));

        c.end(m_window);
        ASSERT_TRUE(m_window.WaitEditEnded());
        EXPECT_EQ(m_window.m_commitFlags, std::vector<int>{c.accept});
        // This table's commit always keeps the text box's text, even on Escape.
        EXPECT_EQ(Grid().GetItemText(1, 1), QStringLiteral("新的预置内容"));
        Grid().SetItemText(1, 1, QStringLiteral("旧"));
    }
}

TEST_F(GridEditTest, WithoutCommitCallbackEscapeLeavesTheCellAndEnterWritesIt)
{
    struct Case {
        Qt::Key key;
        const char* expected;
    };
    const Case cases[] = {{Qt::Key_Escape, "71"}, {Qt::Key_Return, "4321"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        Grid().SetItemText(7, 1, QStringLiteral("71"));
        m_window.DoubleClickCell(7, 1);
        ASSERT_EQ(Grid().ActiveEditor(), m_window.m_digitsBox);
        m_window.m_digitsBox->selectAll();
        QTest::keyClicks(m_window.m_digitsBox, QStringLiteral("4321"));
        QTest::keyClick(m_window.m_digitsBox, c.key);
        ASSERT_TRUE(m_window.WaitEditEnded());
        EXPECT_EQ(Grid().GetItemText(7, 1), QString::fromLatin1(c.expected));
    }
}

TEST_F(GridEditTest, CommitResultDecidesWhatIsWritten)
{
    struct Case {
        int result;
        Qt::Key key;
        const char* expected;
        int expectedFlag;
    };
    const Case cases[] = {
        {1, Qt::Key_Escape, "changed", 0},
        {0, Qt::Key_Return, "7", 1},
        {1, Qt::Key_Return, "changed", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "result " << c.result << " key " << c.key);
        int seenFlag = -1;
        SubItemData* cell = Grid().GetSubItemDataForChange(8, 3);
        cell->m_editor = m_window.m_textBox;
        cell->m_commit = [&](QWidget* editor, int row, int column, QString& text, qintptr, CListCtrlEx* grid, int flag) {
            seenFlag = flag;
            EXPECT_EQ(editor, m_window.m_textBox);
            EXPECT_EQ(grid, &Grid());
            EXPECT_EQ(text, Grid().GetItemText(row, column)) << "the callback starts from the cell's text";
            text = QStringLiteral("changed");
            return c.result;
        };
        Grid().SetItemText(8, 3, QStringLiteral("7"));
        ASSERT_TRUE(Grid().BeginCellEdit(8, 3));
        QTest::keyClick(m_window.m_textBox, c.key);
        ASSERT_TRUE(m_window.WaitEditEnded());
        EXPECT_EQ(seenFlag, c.expectedFlag);
        EXPECT_EQ(Grid().GetItemText(8, 3), QString::fromLatin1(c.expected));
    }
}

TEST_F(GridEditTest, DoubleClickingAnotherCellFirstWritesTheRunningEdit)
{
    m_window.DoubleClickCell(1, 1);
    m_window.m_textBox->setText(QStringLiteral("第一"));
    m_window.DoubleClickCell(2, 1);
    EXPECT_EQ(Grid().GetItemText(1, 1), QStringLiteral("第一"));
    EXPECT_EQ(Grid().EditRow(), 2);
    EXPECT_EQ(m_window.m_textBox->text(), Grid().GetItemText(2, 1));

    // Late notifications of the first edit must not end the second one.
    WaitUntil([] { return false; }, 100ms);
    EXPECT_TRUE(Grid().IsEditing());
    EXPECT_EQ(Grid().EditRow(), 2);
}

TEST_F(GridEditTest, OpeningTheChoiceListKeepsTheEditAndAClickElsewhereCommitsTheChoice)
{
    QComboBox* combo = m_window.m_choiceList;
    m_window.DoubleClickCell(4, 1);
    ASSERT_EQ(Grid().ActiveEditor(), combo);

    combo->showPopup();
    ASSERT_TRUE(WaitUntil([&] { return combo->view()->isVisible(); }));
    EXPECT_TRUE(CMsgHook::RecordOf(combo)->IsDropDownOpen());
    testsupport::SpinFor(50ms);
    EXPECT_TRUE(Grid().IsEditing());

    const QRect item = combo->view()->visualRect(combo->model()->index(6, 0));
    QTest::mouseClick(combo->view()->viewport(), Qt::LeftButton, {}, item.center());
    if (combo->view()->isVisible())  // a release right after opening is ignored: choose by key then
        QTest::keyClick(combo->view(), Qt::Key_Return);
    ASSERT_TRUE(WaitUntil([&] { return !combo->view()->isVisible(); }));
    testsupport::SpinFor(50ms);
    ASSERT_TRUE(Grid().IsEditing());
    EXPECT_EQ(combo->currentText(), QStringLiteral("7"));
    EXPECT_EQ(Grid().GetItemText(4, 1), QStringLiteral("2")) << "not written before the edit ends";

    QTest::mouseClick(m_window.m_after, Qt::LeftButton);
    ASSERT_TRUE(m_window.WaitEditEnded());
    EXPECT_EQ(Grid().GetItemText(4, 1), QStringLiteral("7"));
    EXPECT_EQ(m_window.m_commitFlags, std::vector<int>{1});
}

TEST_F(GridEditTest, ClosingTheChoiceListWithoutAChoiceLeavesTheCell)
{
    QComboBox* combo = m_window.m_choiceList;
    m_window.DoubleClickCell(5, 1);
    combo->showPopup();
    ASSERT_TRUE(WaitUntil([&] { return combo->view()->isVisible(); }));
    QTest::keyClick(combo->view(), Qt::Key_Escape);
    ASSERT_TRUE(WaitUntil([&] { return !combo->view()->isVisible(); }));
    testsupport::SpinFor(50ms);
    ASSERT_TRUE(Grid().IsEditing()) << "Escape in the open list only closes the list";

    m_window.ClickCell(8, 3);
    ASSERT_TRUE(m_window.WaitEditEnded());
    EXPECT_EQ(Grid().GetItemText(5, 1), QStringLiteral("2"));
}

TEST_F(GridEditTest, OpeningTheCalendarKeepsTheEditUntilFocusLeaves)
{
    QDateTimeEdit* dateEdit = m_window.m_dateEdit;
    m_window.DoubleClickCell(11, 1);
    ASSERT_EQ(Grid().ActiveEditor(), dateEdit);

    // The calendar opens from the arrow at the right end.
    const QPoint arrow(dateEdit->width() - 6, dateEdit->height() / 2);
    QTest::mousePress(dateEdit, Qt::LeftButton, {}, arrow);
    QWidget* calendar = dateEdit->calendarWidget()->window();
    ASSERT_TRUE(WaitUntil([&] { return calendar->isVisible(); }));
    QTest::mouseRelease(dateEdit, Qt::LeftButton, {}, arrow);
    EXPECT_TRUE(CMsgHook::RecordOf(dateEdit)->IsDropDownOpen());
    const QPointF at(5, 5);
    QWheelEvent wheel(at, m_window.m_after->mapToGlobal(at), {}, QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(m_window.m_after, &wheel);
    testsupport::SpinFor(50ms);
    EXPECT_TRUE(Grid().IsEditing()) << "wheel elsewhere while the calendar is open";

    dateEdit->calendarWidget()->setSelectedDate(QDate(2025, 1, 2));
    QWidget* calendarKeys = dateEdit->calendarWidget()->focusProxy();
    QTest::keyClick(calendarKeys ? calendarKeys : dateEdit->calendarWidget(), Qt::Key_Return);
    ASSERT_TRUE(WaitUntil([&] { return !calendar->isVisible(); }));
    testsupport::SpinFor(50ms);
    ASSERT_TRUE(Grid().IsEditing()) << "closing the calendar";
    EXPECT_FALSE(CMsgHook::RecordOf(dateEdit)->IsDropDownOpen());

    m_window.m_before->setFocus();
    ASSERT_TRUE(m_window.WaitEditEnded());
    EXPECT_EQ(Grid().GetItemText(11, 1), QStringLiteral("2025-01-02 07:08:09"));
}

TEST_F(GridEditTest, DigitsBoxRefusesEverythingButDigits)
{
    struct Case {
        const char* what;
        QString input;
        bool paste;
        const char* expected;
    };
    const Case cases[] = {
        {"typed digits", QStringLiteral("0123456789"), false, "0123456789"},
        {"typed letters among digits", QStringLiteral("12ab3"), false, "123"},
        {"typed signs and blanks", QStringLiteral("-1 .5+"), false, "15"},
        {"typed full-width digits", QStringLiteral("１２"), false, ""},
        {"pasted digits", QStringLiteral("678"), true, "678"},
        {"pasted mix", QStringLiteral("45x"), true, ""},
        {"pasted with a line end", QStringLiteral("45\n"), true, ""},
        {"pasted negative", QStringLiteral("-45"), true, ""},
    };
    CDigitsEdit* box = m_window.m_digitsBox;
    box->show();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        box->clear();
        box->setFocus();
        if (c.paste) {
            QApplication::clipboard()->setText(c.input);
            QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
        } else {
            for (QChar ch : c.input)
                QTest::sendKeyEvent(QTest::Click, box, Qt::Key_unknown, QString(ch), Qt::NoModifier);
        }
        EXPECT_EQ(box->text(), QString::fromUtf8(c.expected));
    }
    box->setText(QStringLiteral("12"));
    box->insert(QStringLiteral("3z"));
    EXPECT_EQ(box->text(), QStringLiteral("12"));
    box->hide();
}

TEST_F(GridEditTest, DigitsCellTakesOnlyDigits)
{
    m_window.DoubleClickCell(3, 3);
    ASSERT_EQ(Grid().ActiveEditor(), m_window.m_digitsBox);
    m_window.m_digitsBox->selectAll();
    QTest::keyClicks(m_window.m_digitsBox, QStringLiteral("80a8x0"));
    QTest::keyClick(m_window.m_digitsBox, Qt::Key_Return);
    ASSERT_TRUE(m_window.WaitEditEnded());
    EXPECT_EQ(Grid().GetItemText(3, 3), QStringLiteral("8080"));
}

TEST_F(GridEditTest, ReadOnlyColumnsRowsAndCellsRefuseEditing)
{
    struct Case {
        const char* what;
        int row;
        int column;
        std::function<void(CListCtrlEx&)> setUp;
    };
    const Case cases[] = {
        {"label column", 1, 0, [](CListCtrlEx&) {}},
        {"right label column", 2, 2, [](CListCtrlEx&) {}},
        {"heading value cell", 0, 1, [](CListCtrlEx&) {}},
        {"heading value cell right", 4, 3, [](CListCtrlEx&) {}},
        {"read-only row", 2, 1, [](CListCtrlEx& g) { g.GetItemData(2)->m_readOnly = true; }},
        {"read-only cell with an editor", 5, 1, [](CListCtrlEx& g) { g.GetSubItemDataForChange(5, 1)->m_readOnly = true; }},
        {"read-only value column", 8, 3, [](CListCtrlEx& g) { g.GetColumnInfoForChange(3)->m_readOnly = true; }},
        {"read-only default", 7, 1, [](CListCtrlEx& g) { g.DefaultEditInfo().m_readOnly = true; }},
        {"outside the grid", 40, 1, [](CListCtrlEx&) {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        GridTestWindow window;
        window.BuildParameterTable();
        ASSERT_TRUE(window.ShowAndActivate());
        c.setUp(*window.m_grid);
        const QString before = window.m_grid->GetItemText(c.row, c.column);

        EXPECT_FALSE(window.m_grid->BeginCellEdit(c.row, c.column));
        if (c.row < window.m_grid->rowCount())
            window.DoubleClickCell(c.row, c.column);
        EXPECT_FALSE(window.m_grid->IsEditing());
        EXPECT_EQ(window.m_grid->ActiveEditor(), nullptr);
        for (QWidget* editor : {static_cast<QWidget*>(window.m_textBox), static_cast<QWidget*>(window.m_choiceList),
                                static_cast<QWidget*>(window.m_digitsBox)})
            EXPECT_FALSE(editor->isVisible());
        EXPECT_EQ(window.m_grid->GetItemText(c.row, c.column), before);
    }
}

TEST_F(GridEditTest, TabMovesToTheNextEditableCellAndShiftTabBack)
{
    struct Step {
        bool backward;
        int row;
        int column;
    };
    // Read-only label columns and heading cells are skipped.
    const Step steps[] = {
        {false, 1, 3}, {false, 2, 1}, {false, 2, 3}, {false, 3, 3}, {false, 4, 1},
        {true, 3, 3},  {true, 2, 3},  {true, 2, 1},  {true, 1, 3},  {true, 1, 1},
    };
    m_window.DoubleClickCell(1, 1);
    ASSERT_TRUE(Grid().IsEditing());
    int n = 0;
    for (const Step& s : steps) {
        SCOPED_TRACE(testing::Message() << "step " << n << " to " << s.row << "," << s.column);
        QWidget* editor = Grid().ActiveEditor();
        ASSERT_NE(editor, nullptr);
        const QString typed = QStringLiteral("t%1").arg(n++);
        if (auto* box = qobject_cast<QLineEdit*>(editor))
            box->setText(typed);
        const int fromRow = Grid().EditRow();
        const int fromColumn = Grid().EditColumn();
        if (s.backward)
            QTest::keyClick(editor, Qt::Key_Tab, Qt::ShiftModifier);
        else
            QTest::keyClick(editor, Qt::Key_Tab);
        ASSERT_TRUE(WaitEditAt(s.row, s.column));
        if (qobject_cast<QLineEdit*>(editor) && !qobject_cast<CDigitsEdit*>(editor)) {
            EXPECT_EQ(Grid().GetItemText(fromRow, fromColumn), typed) << "Tab keeps the value";
        }
        EXPECT_TRUE(HasFocusIn(Grid().ActiveEditor()));
    }
}

TEST_F(GridEditTest, TabPastTheLastEditableCellMovesToTheNextControl)
{
    m_window.DoubleClickCell(11, 3);
    ASSERT_TRUE(Grid().IsEditing());
    m_window.m_digitsBox->setText(QStringLiteral("99"));
    QTest::keyClick(m_window.m_digitsBox, Qt::Key_Tab);
    ASSERT_TRUE(WaitUntil([&] { return Focus() == m_window.m_after; }));
    EXPECT_FALSE(Grid().IsEditing());
    EXPECT_EQ(Grid().GetItemText(11, 3), QStringLiteral("99"));

    m_window.DoubleClickCell(1, 1);
    QTest::keyClick(m_window.m_textBox, Qt::Key_Tab, Qt::ShiftModifier);
    ASSERT_TRUE(WaitUntil([&] { return Focus() == m_window.m_before; }));
    EXPECT_FALSE(Grid().IsEditing());
}

TEST_F(GridEditTest, TabInTheGridStartsAtTheFirstEditableCell)
{
    Grid().setFocus();
    QTest::keyClick(&Grid(), Qt::Key_Tab);
    ASSERT_TRUE(WaitEditAt(1, 1));
    QTest::keyClick(m_window.m_textBox, Qt::Key_Escape);
    ASSERT_TRUE(m_window.WaitEditEnded());

    Grid().SetCurrentCell(-1, -1);
    QTest::keyClick(&Grid(), Qt::Key_Backtab, Qt::ShiftModifier);
    ASSERT_TRUE(WaitEditAt(11, 3)) << "backwards from the last cell";
}

namespace {

// A grid that adds a row when Tab runs past its end, as a subclass may.
class AppendingGrid : public CListCtrlEx {
public:
    int calls = 0;
    int seenRows = -1;
    int seenColumns = -1;
    bool allow = true;

protected:
    bool AppendRow(int rows, int columns) override
    {
        ++calls;
        seenRows = rows;
        seenColumns = columns;
        if (!allow)
            return false;
        InsertItem(rows, QStringLiteral("new"));
        return true;
    }
};

}  // namespace

TEST(GridAppendTest, TabPastTheEndAsksForANewRow)
{
    auto* grid = new AppendingGrid;
    GridTestWindow window(grid);
    grid->InsertColumn(0, QStringLiteral("名称"), 100);
    grid->InsertColumn(1, QStringLiteral("号码"), 100);
    grid->InsertItem(0, QStringLiteral("a"));
    grid->DefaultEditInfo().m_editor = window.m_textBox;
    grid->SetAppendOnTab(true);
    ASSERT_TRUE(window.ShowAndActivate());

    ASSERT_TRUE(grid->BeginCellEdit(0, 1));
    window.m_textBox->setText(QStringLiteral("13800000000"));
    QTest::keyClick(window.m_textBox, Qt::Key_Tab);
    ASSERT_TRUE(WaitUntil([&] { return grid->IsEditing() && grid->EditRow() == 1; }));
    EXPECT_EQ(grid->EditColumn(), 0);
    EXPECT_EQ(grid->calls, 1);
    EXPECT_EQ(grid->seenRows, 1);
    EXPECT_EQ(grid->seenColumns, 2);
    EXPECT_EQ(grid->GetItemText(0, 1), QStringLiteral("13800000000"));

    // A refused row swallows the Tab: the focus stays in the grid.
    grid->allow = false;
    ASSERT_TRUE(grid->BeginCellEdit(1, 1));
    QTest::keyClick(window.m_textBox, Qt::Key_Tab);
    ASSERT_TRUE(WaitUntil([&] { return grid->calls == 2; }));
    testsupport::SpinFor(50ms);
    EXPECT_FALSE(grid->IsEditing());
    EXPECT_EQ(grid->rowCount(), 2);
    EXPECT_TRUE(grid->hasFocus());
}

TEST(GridAppendTest, TabInAnEmptyGridAsksForARow)
{
    auto* grid = new AppendingGrid;
    GridTestWindow window(grid);
    grid->InsertColumn(0, QStringLiteral("名称"), 100);
    grid->DefaultEditInfo().m_editor = window.m_textBox;
    ASSERT_TRUE(window.ShowAndActivate());
    grid->setFocus();
    QTest::keyClick(grid, Qt::Key_Tab);
    ASSERT_TRUE(WaitUntil([&] { return grid->IsEditing(); }));
    EXPECT_EQ(grid->calls, 1);
    EXPECT_EQ(grid->EditRow(), 0);

    // Refused in an empty grid: the Tab moves the focus on.
    AppendingGrid* refusing = new AppendingGrid;
    refusing->allow = false;
    GridTestWindow other(refusing);
    refusing->InsertColumn(0, QStringLiteral("名称"), 100);
    ASSERT_TRUE(other.ShowAndActivate());
    refusing->setFocus();
    QTest::keyClick(refusing, Qt::Key_Tab);
    ASSERT_TRUE(WaitUntil([&] { return QApplication::focusWidget() == other.m_after; }));
    EXPECT_EQ(refusing->calls, 1);
}

TEST(GridScrollTest, ScrollingTheGridEndsTheEditWithAccept)
{
    struct Case {
        const char* what;
        std::function<void(CListCtrlEx&)> scroll;
    };
    const Case cases[] = {
        {"click in the scroll bar",
         [](CListCtrlEx& g) {
             QScrollBar* bar = g.verticalScrollBar();
             QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(bar->width() / 2, bar->height() - 30));
         }},
        {"scroll bar action", [](CListCtrlEx& g) { g.verticalScrollBar()->triggerAction(QAbstractSlider::SliderPageStepAdd); }},
        {"wheel",
         [](CListCtrlEx& g) {
             const QPointF at(20, 20);
             QWheelEvent wheel(at, g.viewport()->mapToGlobal(at), {}, QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                               Qt::NoScrollPhase, false);
             QApplication::sendEvent(g.viewport(), &wheel);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        GridTestWindow window;
        CListCtrlEx& grid = *window.m_grid;
        grid.InsertColumn(0, QStringLiteral("序号"), 120);
        for (int row = 0; row < 60; ++row)
            grid.InsertItem(row, QString::number(row));
        grid.DefaultEditInfo().m_editor = window.m_digitsBox;
        ASSERT_TRUE(window.ShowAndActivate());
        ASSERT_TRUE(grid.verticalScrollBar()->isVisible());

        ASSERT_TRUE(grid.BeginCellEdit(1, 0));
        window.m_digitsBox->setText(QStringLiteral("555"));
        c.scroll(grid);
        ASSERT_TRUE(window.WaitEditEnded());
        EXPECT_EQ(grid.GetItemText(1, 0), QStringLiteral("555"));
    }
}

TEST_F(GridEditTest, RowsRemovedDuringAnEditAreFollowed)
{
    // A row above goes: the edit still lands on its own row.
    m_window.DoubleClickCell(2, 1);
    m_window.m_textBox->setText(QStringLiteral("跟随"));
    Grid().DeleteItem(0);
    QTest::keyClick(m_window.m_textBox, Qt::Key_Return);
    ASSERT_TRUE(m_window.WaitEditEnded());
    EXPECT_EQ(Grid().GetItemText(1, 1), QStringLiteral("跟随"));

    // The edited row itself goes: the commit is told to cancel, nothing is written.
    m_window.m_commitFlags.clear();
    m_window.DoubleClickCell(1, 1);
    const int rows = Grid().rowCount();
    Grid().DeleteItem(1);
    QTest::keyClick(m_window.m_textBox, Qt::Key_Return);
    ASSERT_TRUE(m_window.WaitEditEnded());
    EXPECT_EQ(m_window.m_commitFlags, std::vector<int>{0});
    EXPECT_EQ(Grid().rowCount(), rows - 1);
}

TEST_F(GridEditTest, DestroyingTheActiveEditorEndsNothingButLeavesTheGridUsable)
{
    m_window.DoubleClickCell(1, 1);
    ASSERT_TRUE(Grid().IsEditing());
    delete m_window.m_textBox;
    m_window.m_textBox = nullptr;
    EXPECT_FALSE(Grid().IsEditing());
    EXPECT_EQ(CMsgHook::RegisteredEditors(), 0);
    Grid().EndCellEdit(1);
    EXPECT_FALSE(Grid().BeginCellEdit(2, 1)) << "its editor is gone";
    EXPECT_TRUE(Grid().BeginCellEdit(4, 1));
}

TEST(GridLifetimeTest, DestroyingTheGridHandsTheEditorBackToItsWindow)
{
    GridTestWindow window;
    window.BuildParameterTable();
    ASSERT_TRUE(window.ShowAndActivate());
    window.DoubleClickCell(1, 1);
    ASSERT_EQ(window.m_textBox->parentWidget(), window.m_grid->viewport());
    delete window.m_grid;
    window.m_grid = nullptr;
    EXPECT_EQ(window.m_textBox->parentWidget(), &window);
    EXPECT_FALSE(window.m_textBox->isVisible());
    EXPECT_EQ(CMsgHook::RegisteredEditors(), 0);
}

TEST(GridLifetimeTest, ClosingTheWindowDuringAnEditDestroysEverythingOnce)
{
    auto window = std::make_unique<GridTestWindow>();
    window->BuildParameterTable();
    ASSERT_TRUE(window->ShowAndActivate());
    window->DoubleClickCell(4, 1);
    ASSERT_TRUE(window->m_grid->IsEditing());
    window.reset();  // ASan reports a double delete or a leak here
    EXPECT_EQ(CMsgHook::RegisteredEditors(), 0);
    EXPECT_EQ(CMsgHook::LiveRecords(), 0);
}

TEST_F(GridEditTest, DeleteKeyRemovesSelectedRowsOnlyWhenAllowed)
{
    for (bool allowed : {false, true}) {
        SCOPED_TRACE(allowed);
        GridTestWindow window;
        CListCtrlEx& grid = *window.m_grid;
        grid.InsertColumn(0, QStringLiteral("号码"), 120);
        std::vector<ItemData*> records;
        for (int row = 0; row < 5; ++row) {
            grid.InsertItem(row, QString::number(row));
            records.push_back(grid.AttachItemData(row));
            records.back()->m_value = row;
        }
        grid.SetDeleteRows(allowed);
        ASSERT_TRUE(window.ShowAndActivate());
        grid.setFocus();
        grid.selectRow(1);
        grid.selectionModel()->select(grid.model()->index(3, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        QTest::keyClick(&grid, Qt::Key_Delete);
        if (!allowed) {
            EXPECT_EQ(grid.rowCount(), 5);
            continue;
        }
        ASSERT_EQ(grid.rowCount(), 3);
        const int kept[] = {0, 2, 4};
        for (int row = 0; row < 3; ++row) {
            EXPECT_EQ(grid.GetItemText(row, 0), QString::number(kept[row]));
            EXPECT_EQ(grid.GetItemData(row), records[static_cast<std::size_t>(kept[row])]);
        }
    }
}

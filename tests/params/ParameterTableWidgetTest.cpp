#include "controls/CDigitsEdit.h"
#include "params/CParameterTable.h"
#include "params/ParameterTableLayout.h"
#include "support/EventLoopWait.h"

#include <QApplication>
#include <QComboBox>
#include <QHelpEvent>
#include <QLineEdit>
#include <QTest>
#include <QScrollBar>
#include <QToolTip>

#include <gtest/gtest.h>

namespace {

// The parameter table as the main window builds it, edited with the mouse
// and keyboard as a technician does.
class ParameterTableWidgetTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_table.resize(675, 433);
        m_table.BuildParameterTable();
        m_table.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&m_table));
    }

    // Scrolls the cell into view and double-clicks it; returns the editor
    // shown, or null.
    QWidget* Edit(int row, int column)
    {
        m_table.scrollToItem(m_table.item(row, column));
        const QRect cell = m_table.visualItemRect(m_table.item(row, column));
        QTest::mouseDClick(m_table.viewport(), Qt::LeftButton, {}, cell.center());
        return m_table.ActiveEditor();
    }

    void EndWithEnter(QWidget* editor)
    {
        QTest::keyClick(editor, Qt::Key_Return);
        EXPECT_TRUE(testsupport::WaitUntil([&] { return !m_table.IsEditing(); }, std::chrono::seconds(2)));
    }

    CParameterTable m_table;
};

TEST_F(ParameterTableWidgetTest, HasTheColumnsAndLabelsOfBothHalves)
{
    // Room for exactly the four columns: each has its own width.
    m_table.resize(m_table.width() - m_table.viewport()->width() + 650, 433);
    QApplication::processEvents();
    ASSERT_EQ(m_table.viewport()->width(), 650);
    ASSERT_EQ(m_table.columnCount(), 4);
    ASSERT_EQ(m_table.rowCount(), 35);
    const int widths[] = {170, 180, 170, 130};
    for (int column = 0; column < 4; ++column) {
        EXPECT_EQ(m_table.horizontalHeaderItem(column)->text(),
                  column % 2 == 0 ? QStringLiteral("配置项") : QStringLiteral("配置值"));
        EXPECT_EQ(m_table.columnWidth(column), widths[column]);
    }
    EXPECT_EQ(m_table.CellText(0, 0), QStringLiteral("预置内容设置"));
    EXPECT_EQ(m_table.CellText(12, 0), QStringLiteral("Line in 输入预警:"));
    EXPECT_EQ(m_table.CellText(34, 0), QStringLiteral("是否开启拾音器功能:"));
    EXPECT_EQ(m_table.CellText(0, 2), QStringLiteral("GPRS中心设置"));
    EXPECT_EQ(m_table.CellText(21, 2), QStringLiteral("心跳包时间(31到65535):"));
    EXPECT_EQ(m_table.CellText(22, 2), QString());
    EXPECT_EQ(m_table.rowHeight(5), 20);
}

TEST_F(ParameterTableWidgetTest, AWiderTableSharesItsWidthAndANarrowerOneScrolls)
{
    const int frame = m_table.width() - m_table.viewport()->width();
    m_table.resize(frame + 1300, 433);
    QApplication::processEvents();
    const int doubled[] = {340, 360, 340, 260};
    for (int column = 0; column < 4; ++column)
        EXPECT_EQ(m_table.columnWidth(column), doubled[column]) << column;

    m_table.resize(frame + 400, 433);
    QApplication::processEvents();
    const int own[] = {170, 180, 170, 130};
    for (int column = 0; column < 4; ++column)
        EXPECT_EQ(m_table.columnWidth(column), own[column]) << column;
    EXPECT_TRUE(m_table.horizontalScrollBar()->isVisible());
}

struct KeyCase {
    const char* name;
    int row;
    int column;
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
    ParameterEditor expected;  // Heading: no editor opens
};

class ParameterTableKeyTest : public ParameterTableWidgetTest, public ::testing::WithParamInterface<KeyCase> {};

TEST_P(ParameterTableKeyTest, AKeyOnTheSelectedCellOpensItsEditor)
{
    const KeyCase& c = GetParam();
    m_table.setFocus();
    m_table.scrollToItem(m_table.item(c.row, c.column));
    QTest::mouseClick(m_table.viewport(), Qt::LeftButton, {},
                      m_table.visualItemRect(m_table.item(c.row, c.column)).center());
    ASSERT_EQ(m_table.currentRow(), c.row);
    ASSERT_EQ(m_table.currentColumn(), c.column);
    ASSERT_FALSE(m_table.IsEditing());

    QTest::keyClick(&m_table, c.key, c.modifiers);
    QWidget* expected = nullptr;
    switch (c.expected) {
    case ParameterEditor::Text: expected = m_table.TextEditor(); break;
    case ParameterEditor::Choice: expected = m_table.ChoiceEditor(); break;
    case ParameterEditor::Digits: expected = m_table.DigitsEditor(); break;
    case ParameterEditor::Heading: break;
    }
    EXPECT_EQ(m_table.ActiveEditor(), expected);
    if (!expected)
        return;
    EXPECT_EQ(m_table.EditRow(), c.row);
    EXPECT_EQ(m_table.EditColumn(), c.column);
    EXPECT_TRUE(expected->isVisible());
    EXPECT_TRUE(expected->hasFocus());
    // Enter in the editor ends the edit without opening it again, and the
    // keyboard stays on the cell.
    EndWithEnter(expected);
    testsupport::SpinFor(std::chrono::milliseconds(50));
    EXPECT_FALSE(m_table.IsEditing());
    EXPECT_TRUE(m_table.hasFocus());
    EXPECT_EQ(m_table.currentRow(), c.row);
    EXPECT_EQ(m_table.currentColumn(), c.column);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, ParameterTableKeyTest,
    ::testing::Values(KeyCase{"F2OnText", 1, 1, Qt::Key_F2, {}, ParameterEditor::Text},
                      KeyCase{"EnterOnChoice", 5, 1, Qt::Key_Return, {}, ParameterEditor::Choice},
                      KeyCase{"KeypadEnterOnDigits", 21, 3, Qt::Key_Enter, Qt::KeypadModifier,
                              ParameterEditor::Digits},
                      KeyCase{"F2OnRightText", 16, 3, Qt::Key_F2, {}, ParameterEditor::Text},
                      KeyCase{"F2OnLabel", 5, 0, Qt::Key_F2, {}, ParameterEditor::Heading},
                      KeyCase{"EnterOnHeadingValue", 4, 1, Qt::Key_Return, {}, ParameterEditor::Heading},
                      KeyCase{"CtrlF2DoesNothing", 1, 1, Qt::Key_F2, Qt::ControlModifier,
                              ParameterEditor::Heading}),
    [](const ::testing::TestParamInfo<KeyCase>& info) { return info.param.name; });

TEST_F(ParameterTableWidgetTest, ALabelCutShortShowsItsWholeTextAsTooltip)
{
    m_table.resize(m_table.width() - m_table.viewport()->width() + 650, 433);
    QApplication::processEvents();
    const auto tooltipAt = [&](int row, int column) {
        // A tooltip fades out: wait until the last one is gone.
        QToolTip::hideText();
        EXPECT_TRUE(testsupport::WaitUntil([] { return !QToolTip::isVisible(); }, std::chrono::seconds(2)));
        m_table.scrollToItem(m_table.item(row, column));
        const QPoint at = m_table.visualItemRect(m_table.item(row, column)).center();
        QHelpEvent help(QEvent::ToolTip, at, m_table.viewport()->mapToGlobal(at));
        QApplication::sendEvent(m_table.viewport(), &help);
        return QToolTip::isVisible() ? QToolTip::text() : QString();
    };
    EXPECT_TRUE(m_table.IsTextCutShort(14, 2));
    EXPECT_EQ(tooltipAt(14, 2), QStringLiteral("重连任务之间的间隔(30-65535秒):"));
    EXPECT_FALSE(m_table.IsTextCutShort(18, 2));
    EXPECT_EQ(tooltipAt(18, 2), QString()) << "APN密码: fits";
    m_table.SetCellText(2, 1, QString(60, u'9'));
    EXPECT_EQ(tooltipAt(2, 1), QString(60, u'9')) << "values too";

    // Wide enough, the label fits and shows no tooltip.
    m_table.resize(m_table.width() - m_table.viewport()->width() + 1300, 433);
    QApplication::processEvents();
    EXPECT_FALSE(m_table.IsTextCutShort(14, 2));
    EXPECT_EQ(tooltipAt(14, 2), QString());
}

TEST_F(ParameterTableWidgetTest, HeadingsAreBlackAndWhiteAndLabelsGrey)
{
    for (int row : {0, 4, 14, 18}) {
        EXPECT_EQ(m_table.GetCellColors(row, 0).background, QColor(0, 0, 0)) << row;
        EXPECT_EQ(m_table.GetCellColors(row, 0).text, QColor(255, 255, 255)) << row;
        EXPECT_EQ(m_table.GetCellColors(row, 1).background, QColor(255, 255, 255)) << row;
    }
    EXPECT_EQ(m_table.GetCellColors(5, 0).background, QColor(240, 240, 240));
    EXPECT_EQ(m_table.GetCellColors(8, 2).background, QColor(0, 0, 0));
    EXPECT_EQ(m_table.GetCellColors(16, 2).background, QColor(240, 240, 240));
}

TEST_F(ParameterTableWidgetTest, EveryValueCellOpensItsOwnEditor)
{
    for (const ParameterTableRow& entry : ParameterTableRows()) {
        QWidget* editor = Edit(entry.row, entry.valueColumn);
        switch (entry.editor) {
        case ParameterEditor::Heading:
            EXPECT_EQ(editor, nullptr) << entry.label.toStdString();
            break;
        case ParameterEditor::Text:
            EXPECT_EQ(editor, m_table.TextEditor()) << entry.label.toStdString();
            break;
        case ParameterEditor::Choice:
            ASSERT_EQ(editor, m_table.ChoiceEditor()) << entry.label.toStdString();
            EXPECT_EQ(m_table.ChoiceEditor()->count(), entry.choices.size());
            EXPECT_EQ(m_table.ChoiceEditor()->currentIndex(), -1);
            break;
        case ParameterEditor::Digits:
            EXPECT_EQ(editor, m_table.DigitsEditor()) << entry.label.toStdString();
            break;
        }
        if (m_table.IsEditing())
            m_table.EndCellEdit(0);
    }
}

TEST_F(ParameterTableWidgetTest, LabelColumnsCannotBeEdited)
{
    EXPECT_EQ(Edit(5, 0), nullptr);
    EXPECT_EQ(Edit(16, 2), nullptr);
}

TEST_F(ParameterTableWidgetTest, RightCellsBelowTheLastLabelTakeDigits)
{
    EXPECT_EQ(Edit(30, 3), m_table.DigitsEditor());
}

TEST_F(ParameterTableWidgetTest, APriorityIsChosenFromOneToTen)
{
    m_table.SetCellText(5, 1, QStringLiteral("3"));
    QWidget* editor = Edit(5, 1);
    ASSERT_EQ(editor, m_table.ChoiceEditor());
    QStringList items;
    for (int i = 0; i < m_table.ChoiceEditor()->count(); ++i)
        items << m_table.ChoiceEditor()->itemText(i);
    EXPECT_EQ(items, (QStringList{"1", "2", "3", "4", "5", "6", "7", "8", "9", "10"}));
    // Closing without a choice keeps the cell.
    EndWithEnter(editor);
    EXPECT_EQ(m_table.CellText(5, 1), QStringLiteral("3"));
    editor = Edit(5, 1);
    m_table.ChoiceEditor()->setCurrentIndex(6);
    EndWithEnter(editor);
    EXPECT_EQ(m_table.CellText(5, 1), QStringLiteral("7"));
}

TEST_F(ParameterTableWidgetTest, EscapeInATextCellStillKeepsTheTypedText)
{
    m_table.SetCellText(1, 1, QStringLiteral("旧内容"));
    QWidget* editor = Edit(1, 1);
    ASSERT_EQ(editor, m_table.TextEditor());
    EXPECT_EQ(m_table.TextEditor()->text(), QStringLiteral("旧内容"));
    m_table.TextEditor()->setText(QStringLiteral("新的预警内容"));
    QTest::keyClick(editor, Qt::Key_Escape);
    ASSERT_TRUE(testsupport::WaitUntil([&] { return !m_table.IsEditing(); }, std::chrono::seconds(2)));
    EXPECT_EQ(m_table.CellText(1, 1), QStringLiteral("新的预警内容"));
}

TEST_F(ParameterTableWidgetTest, TheHeartbeatCellTakesOnlyDigits)
{
    QWidget* editor = Edit(21, 3);
    ASSERT_EQ(editor, m_table.DigitsEditor());
    m_table.DigitsEditor()->clear();
    QTest::keyClicks(editor, QStringLiteral("6a0b"));
    EXPECT_EQ(m_table.DigitsEditor()->text(), QStringLiteral("60"));
    EndWithEnter(editor);
    EXPECT_EQ(m_table.CellText(21, 3), QStringLiteral("60"));
}

TEST_F(ParameterTableWidgetTest, LockedSwitchesStayLocked)
{
    m_table.SetCellText(33, 1, QStringLiteral("是"));
    m_table.LockCell(33, 1);
    EXPECT_EQ(Edit(33, 1), nullptr);
    m_table.SetCellText(33, 1, QStringLiteral("否"));
    EXPECT_EQ(Edit(33, 1), nullptr);
    EXPECT_EQ(Edit(34, 1), m_table.ChoiceEditor());
}

TEST_F(ParameterTableWidgetTest, ShownValuesOfASetLandInTheirCells)
{
    ParameterSet set;
    ClearParameterSet(set);
    set.fmFrequency.Assign("8850");
    set.intercomEnabled.Assign("2");
    for (const ParameterCellValue& cell : ParameterSetCells(set)) {
        if (cell.text)
            m_table.SetCellText(cell.row, cell.column, *cell.text);
        if (cell.lockReadOnly)
            m_table.LockCell(cell.row, cell.column);
    }
    EXPECT_EQ(m_table.CellText(22, 1), QStringLiteral("88.50"));
    EXPECT_EQ(m_table.CellText(5, 1), QStringLiteral("0"));
    EXPECT_EQ(m_table.CellText(19, 1), QStringLiteral("否"));
    EXPECT_EQ(m_table.CellText(26, 1), QStringLiteral("单曲"));
    EXPECT_EQ(m_table.CellText(28, 1), QStringLiteral("女声"));
    EXPECT_EQ(Edit(33, 1), nullptr);
}

}  // namespace

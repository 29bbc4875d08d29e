#include "GridTestWindow.h"

#include "controls/CellTextCompare.h"
#include "controls/CListCtrlEx.h"
#include "support/EventLoopWait.h"

#include <QHeaderView>
#include <QRandomGenerator>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>

namespace {

int Sign(int value)
{
    return value < 0 ? -1 : (value > 0 ? 1 : 0);
}

struct CompareCase {
    const char* a;
    const char* b;
    int type;
    int expected;  // sign of the result
};

const CompareCase kCompareCases[] = {
    // 0: no order
    {"b", "a", kSortUnordered, 0},
    // 1: leading integers
    {"10", "9", kSortInteger, 1},
    {"-5", "3", kSortInteger, -1},
    {"12abc", "12", kSortInteger, 0},
    {"abc", "0", kSortInteger, 0},
    {" +7", "7", kSortInteger, 0},
    {"99999999999999999999", "1", kSortInteger, 1},   // saturates, no overflow
    {"-2147483648", "1", kSortInteger, -1},            // a 32-bit difference would wrap
    // 2: floating values, less than 1 apart are equal
    {"1.2", "1.7", kSortFloat, 0},
    {"1.2", "2.3", kSortFloat, -1},
    {"2.3", "1.2", kSortFloat, 1},
    {"1.9", "1", kSortFloat, 0},
    {"abc", "1", kSortFloat, -1},
    {"1e3", "999.5", kSortFloat, 0},
    {"-0.5", "0.4", kSortFloat, 0},
    {".5x", "1.6", kSortFloat, -1},
    // 3: GBK bytes, case-sensitive
    {"a", "B", kSortText, 1},
    {"abc", "abd", kSortText, -1},
    {"ab", "abc", kSortText, -1},
    {"abc", "abc", kSortText, 0},
    {"啊", "吧", kSortText, -1},  // GBK order (pinyin), not Unicode order
    {"9", "10", kSortText, 1},
    // 4: integers when both are, else as 3
    {"9", "10", kSortIntegerOrText, -1},
    {"-3", "2", kSortIntegerOrText, -1},
    {"10", "9a", kSortIntegerOrText, -1},   // "9a" is text
    {"007", "10", kSortIntegerOrText, -1},  // "007" is text
    {"0", "-1", kSortIntegerOrText, 1},     // 0 is never an integer
    {"5", "5", kSortIntegerOrText, 0},
    {"B", "a", kSortIntegerOrText, -1},
    // 5: letter case ignored
    {"abc", "ABD", kSortTextNoCase, -1},
    {"ABC", "abc", kSortTextNoCase, 0},
    {"b", "A", kSortTextNoCase, 1},
    {"吧", "啊", kSortTextNoCase, 1},
    // 6: integers when both are, else as 5
    {"9", "10", kSortIntegerOrTextNoCase, -1},
    {"B", "a", kSortIntegerOrTextNoCase, 1},
    {"x1", "X1", kSortIntegerOrTextNoCase, 0},
    // 7: dates, never equal
    {"2024-01-02 10:00:00", "2024-01-02 09:59:59", kSortDateTime, 1},
    {"2023-12-31", "2024-01-01", kSortDateTime, -1},
    {"2024-01-01", "2024-01-01", kSortDateTime, 1},
    {"2024/1/5", "2024-01-04 23:00", kSortDateTime, 1},
    {"2024年3月1日", "2024-02-29", kSortDateTime, 1},
    {"garbage", "2024-01-01", kSortDateTime, -1},
    {"2024-01-01", "garbage", kSortDateTime, 1},
    // anything else: as 3
    {"a", "B", 99, 1},
    {"a", "B", -1, 1},
};

TEST(GridCompareTest, SortTypesCompareTextsByTheirRules)
{
    for (const CompareCase& c : kCompareCases) {
        SCOPED_TRACE(testing::Message() << "type " << c.type << ": '" << c.a << "' vs '" << c.b << "'");
        EXPECT_EQ(Sign(CompareCellTexts(QString::fromUtf8(c.a), QString::fromUtf8(c.b), c.type)), c.expected);
    }
}

TEST(GridCompareTest, LeadingNumbers)
{
    bool overflow = false;
    EXPECT_EQ(LeadingInteger(QStringLiteral("  -42abc"), &overflow), -42);
    EXPECT_FALSE(overflow);
    EXPECT_EQ(LeadingInteger(QStringLiteral("x1")), 0);
    LeadingInteger(QStringLiteral("123456789012345678901"), &overflow);
    EXPECT_TRUE(overflow);
    EXPECT_DOUBLE_EQ(LeadingFloat(QStringLiteral(" 88.50MHz")), 88.5);
    EXPECT_DOUBLE_EQ(LeadingFloat(QStringLiteral("-1.5e2")), -150.0);
    EXPECT_DOUBLE_EQ(LeadingFloat(QStringLiteral("e5")), 0.0);
}

// A one-column grid of the given texts, each row's record holding its
// original position.
class SortTest : public ::testing::Test {
protected:
    void Fill(const QStringList& texts, int sortType, int sortFlags)
    {
        CListCtrlEx& grid = *m_window.m_grid;
        grid.InsertColumn(0, QStringLiteral("值"), 120);
        grid.InsertColumn(1, QStringLiteral("备注"), 120);
        for (int row = 0; row < texts.size(); ++row) {
            grid.InsertItem(row, texts[row]);
            grid.SetItemText(row, 1, QStringLiteral("r%1").arg(row));
            grid.AttachItemData(row)->m_value = row;
        }
        CellInfo* info = grid.GetColumnInfoForChange(0);
        info->m_sortType = sortType;
        info->m_sortFlags = sortFlags;
    }
    QStringList Column(int column) const
    {
        QStringList texts;
        for (int row = 0; row < m_window.m_grid->rowCount(); ++row)
            texts << m_window.m_grid->GetItemText(row, column);
        return texts;
    }
    void ClickHeader(int column)
    {
        QHeaderView* header = m_window.m_grid->horizontalHeader();
        const QPoint at(header->sectionViewportPosition(column) + header->sectionSize(column) / 2, header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
    }
    CListCtrlEx& Grid() { return *m_window.m_grid; }

    GridTestWindow m_window;
};

}  // namespace

TEST_F(SortTest, HeaderClicksToggleTheDirectionAndTheArrow)
{
    Fill({"10", "9", "100", "-1"}, kSortInteger, kSortToggles);
    ASSERT_TRUE(m_window.ShowAndActivate());
    QHeaderView* header = Grid().horizontalHeader();

    ClickHeader(0);
    EXPECT_EQ(Column(0), QStringList({"-1", "9", "10", "100"}));
    EXPECT_EQ(Grid().GetSortColumn(), 0);
    EXPECT_TRUE(Grid().IsSortAscending());
    EXPECT_TRUE(header->isSortIndicatorShown());
    EXPECT_EQ(header->sortIndicatorSection(), 0);
    EXPECT_EQ(GridTestWindow::SortArrowDirection(header, 0), 1) << "up when ascending";
    EXPECT_EQ(GridTestWindow::SortArrowDirection(header, 1), 0);
    // Rows move whole: other cells and records go with them.
    EXPECT_EQ(Column(1), QStringList({"r3", "r1", "r0", "r2"}));
    EXPECT_EQ(Grid().GetItemData(0)->m_value, 3);

    ClickHeader(0);
    EXPECT_EQ(Column(0), QStringList({"100", "10", "9", "-1"}));
    EXPECT_FALSE(Grid().IsSortAscending());
    EXPECT_EQ(GridTestWindow::SortArrowDirection(header, 0), -1) << "down when descending";

    ClickHeader(0);
    EXPECT_EQ(Column(0), QStringList({"-1", "9", "10", "100"}));

    // A column that does not sort leaves rows and arrow alone.
    ClickHeader(1);
    EXPECT_EQ(Column(0), QStringList({"-1", "9", "10", "100"}));
    EXPECT_EQ(Grid().GetSortColumn(), 0);
    EXPECT_EQ(header->sortIndicatorSection(), 0);
    EXPECT_EQ(GridTestWindow::SortArrowDirection(header, 0), 1);
    EXPECT_EQ(GridTestWindow::SortArrowDirection(header, 1), 0) << "the header's own click arrow is undone";
}

TEST_F(SortTest, ColumnsWithoutSortFlagsIgnoreHeaderClicks)
{
    Fill({"b", "a", "c"}, kSortText, 0);
    ASSERT_TRUE(m_window.ShowAndActivate());
    ClickHeader(0);
    EXPECT_EQ(Column(0), QStringList({"b", "a", "c"}));
    EXPECT_EQ(Grid().GetSortColumn(), -1);
    EXPECT_FALSE(Grid().horizontalHeader()->isSortIndicatorShown());
    EXPECT_EQ(GridTestWindow::SortArrowDirection(Grid().horizontalHeader(), 0), 0);
}

TEST_F(SortTest, FixedDirectionDoesNotToggle)
{
    struct Case {
        int flags;
        QStringList expected;
    };
    const Case cases[] = {
        {kSortAscending, {"a", "b", "c"}},
        {kSortDescending, {"c", "b", "a"}},
        {kSortAscending | kSortToggles, {"c", "b", "a"}},  // toggled on the first click
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.flags);
        GridTestWindow window;
        CListCtrlEx& grid = *window.m_grid;
        grid.InsertColumn(0, QStringLiteral("值"), 100);
        const QStringList texts = {"b", "c", "a"};
        for (int row = 0; row < texts.size(); ++row)
            grid.InsertItem(row, texts[row]);
        CellInfo* info = grid.GetColumnInfoForChange(0);
        info->m_sortType = kSortText;
        info->m_sortFlags = c.flags;
        grid.SortByColumn(0, true);
        grid.SortByColumn(0, false);
        QStringList result;
        for (int row = 0; row < grid.rowCount(); ++row)
            result << grid.GetItemText(row, 0);
        EXPECT_EQ(result, c.expected);
    }
}

TEST_F(SortTest, DatesAndNumbersSortByValue)
{
    Fill({"2024-03-01 08:00:00", "2023-12-31 23:59:59", "2024-03-01 07:59:59"}, kSortDateTime, kSortAscending);
    Grid().SortByColumn(0, false);
    EXPECT_EQ(Column(0), QStringList({"2023-12-31 23:59:59", "2024-03-01 07:59:59", "2024-03-01 08:00:00"}));
}

TEST_F(SortTest, InconsistentRulesStillSortEveryRowOnce)
{
    // Type 2 is not a consistent order (1.2 = 1.7 = 2.3 but 1.2 < 2.3) and
    // type 7 is never equal; sorting must neither run off the rows nor lose
    // any.
    for (int type : {kSortFloat, kSortDateTime}) {
        SCOPED_TRACE(type);
        GridTestWindow window;
        CListCtrlEx& grid = *window.m_grid;
        grid.InsertColumn(0, QStringLiteral("值"), 100);
        QRandomGenerator random(7);
        QStringList texts;
        for (int row = 0; row < 300; ++row) {
            texts << (type == kSortFloat ? QString::number(random.bounded(400) / 100.0)
                                         : QStringLiteral("2024-01-0%1").arg(random.bounded(1, 4)));
            grid.InsertItem(row, texts.back());
        }
        CellInfo* info = grid.GetColumnInfoForChange(0);
        info->m_sortType = type;
        info->m_sortFlags = kSortToggles;
        grid.SortByColumn(0, true);
        grid.SortByColumn(0, true);
        QStringList result;
        for (int row = 0; row < grid.rowCount(); ++row)
            result << grid.GetItemText(row, 0);
        texts.sort();
        result.sort();
        EXPECT_EQ(result, texts);
    }
}

TEST_F(SortTest, ListWideCompareCallbackSeesRowValues)
{
    Fill({"x", "y", "z"}, kSortText, kSortAscending);
    qintptr seenArgument = -1;
    Grid().SetCompareCallback(
        [&](qintptr a, qintptr b, qintptr argument) {
            seenArgument = argument;
            return static_cast<int>(b - a);  // by value, largest first
        },
        0);
    Grid().SortByColumn(0, false);
    EXPECT_EQ(Column(0), QStringList({"z", "y", "x"}));
    EXPECT_EQ(seenArgument, 0) << "the sort column stands in for argument 0";

    // With an argument of its own the result is taken as it is.
    Grid().SetCompareCallback(
        [&](qintptr a, qintptr b, qintptr argument) {
            seenArgument = argument;
            return static_cast<int>(a - b);
        },
        42);
    CellInfo* info = Grid().GetColumnInfo(0);
    info->m_sortFlags = kSortDescending;
    Grid().SortByColumn(0, false);
    EXPECT_EQ(Column(0), QStringList({"x", "y", "z"}));
    EXPECT_EQ(seenArgument, 42);
}

TEST_F(SortTest, AColumnsCompareCallbackServesOnlyThatColumn)
{
    Fill({"b", "a", "c"}, kSortText, kSortAscending);
    CellInfo* first = Grid().GetColumnInfo(0);
    first->m_compare = [](qintptr a, qintptr b, qintptr) { return static_cast<int>(b - a); };
    Grid().SortByColumn(0, false);
    EXPECT_EQ(Column(0), QStringList({"c", "a", "b"}));

    CellInfo* second = Grid().GetColumnInfoForChange(1);
    second->m_sortType = kSortText;
    second->m_sortFlags = kSortAscending;
    Grid().SortByColumn(1, false);
    EXPECT_EQ(Column(1), QStringList({"r0", "r1", "r2"})) << "sorted by its texts, not by column 0's callback";
}

TEST_F(SortTest, CommitResultMinusOneResortsByTheEditedColumn)
{
    Fill({"3", "5", "7"}, kSortInteger, kSortAscending);
    ASSERT_TRUE(m_window.ShowAndActivate());
    CellInfo* info = Grid().GetColumnInfo(0);
    info->m_editor = m_window.m_digitsBox;
    info->m_commit = [this](QWidget*, int, int, QString& text, qintptr, CListCtrlEx*, int) {
        text = m_window.m_digitsBox->text();
        return -1;
    };
    ASSERT_TRUE(Grid().BeginCellEdit(0, 0));
    m_window.m_digitsBox->setText(QStringLiteral("9"));
    Grid().EndCellEdit(1);
    EXPECT_EQ(Column(0), QStringList({"5", "7", "9"}));
    EXPECT_TRUE(Grid().IsSortAscending()) << "re-sorted without toggling";

    // The next edit finds its row again through the record.
    ASSERT_TRUE(Grid().BeginCellEdit(2, 0));
    m_window.m_digitsBox->setText(QStringLiteral("1"));
    ASSERT_TRUE(Grid().BeginCellEdit(0, 0)) << "ends the first edit, which re-sorts";
    EXPECT_EQ(Column(0), QStringList({"1", "5", "7"}));
    EXPECT_EQ(Grid().EditRow(), 1) << "row \"5\" moved from 0 to 1";
    EXPECT_EQ(m_window.m_digitsBox->text(), QStringLiteral("5"));
}

TEST(GridColourTest, CellThenRowThenColumnDecide)
{
    const QColor red(Qt::red), green(Qt::green), blue(Qt::blue), yellow(Qt::yellow), none;
    struct Case {
        const char* what;
        QColor cellBk, cellText, rowBk, rowText, columnBk, columnText;
        bool expectDefaultBk;
        QColor bk;
        bool expectDefaultText;
        QColor text;
    };
    const Case cases[] = {
        {"nothing set", none, none, none, none, none, none, true, {}, true, {}},
        {"column only", none, none, none, none, red, green, false, red, false, green},
        {"column background only", none, none, none, none, red, none, false, red, true, {}},
        {"row over column", none, none, blue, none, red, green, false, blue, true, {}},
        {"cell over row and column", none, yellow, blue, blue, red, green, true, {}, false, yellow},
        {"cell with no colours falls through", none, none, blue, yellow, red, green, false, blue, false, yellow},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CListCtrlEx grid;
        grid.SetDefaultColors(Qt::white, Qt::black);
        grid.InsertColumn(0, QStringLiteral("a"), 50);
        grid.InsertItem(0, QStringLiteral("x"));
        SubItemData* cell = grid.GetSubItemDataForChange(0, 0);
        cell->m_bkColor = c.cellBk;
        cell->m_textColor = c.cellText;
        ItemData* row = grid.GetItemData(0);
        row->m_bkColor = c.rowBk;
        row->m_textColor = c.rowText;
        CellInfo* column = grid.GetColumnInfoForChange(0);
        column->m_bkColor = c.columnBk;
        column->m_textColor = c.columnText;

        const CellColors colors = grid.GetCellColors(0, 0);
        EXPECT_EQ(colors.background, c.expectDefaultBk ? QColor(Qt::white) : c.bk);
        EXPECT_EQ(colors.text, c.expectDefaultText ? QColor(Qt::black) : c.text);
    }
}

TEST(GridDescriptorTest, GetOrCreateKeepsOneDescriptorAndClearsEditingOfColumns)
{
    CListCtrlEx grid;
    grid.InsertColumn(0, QStringLiteral("a"), 50);
    grid.InsertColumn(1, QStringLiteral("b"), 50);
    grid.InsertItem(0, QStringLiteral("x"));
    QLineEdit editor;

    EXPECT_EQ(grid.GetColumnInfo(1), nullptr);
    CellInfo* info = grid.GetColumnInfoForChange(1);
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->m_column, 1);
    EXPECT_FALSE(info->m_bkColor.isValid());
    info->m_editor = &editor;
    info->m_prepare = [](QWidget*, int, int, QString&, qintptr, CListCtrlEx*, int) { return 1; };
    info->m_bkColor = Qt::red;
    EXPECT_EQ(grid.GetColumnInfoForChange(1), info);
    EXPECT_EQ(info->m_editor, nullptr);
    EXPECT_FALSE(info->m_prepare);
    EXPECT_EQ(info->m_bkColor, QColor(Qt::red)) << "only the editing part is cleared";

    EXPECT_EQ(grid.GetSubItemDataForChange(0, 5), nullptr) << "no such column";
    EXPECT_EQ(grid.GetSubItemDataForChange(3, 0), nullptr) << "no such row";
    EXPECT_EQ(grid.GetItemData(0), nullptr);
    SubItemData* cell = grid.GetSubItemDataForChange(0, 1);
    ASSERT_NE(cell, nullptr);
    EXPECT_NE(grid.GetItemData(0), nullptr) << "the row got a record";
    EXPECT_EQ(grid.GetSubItemDataForChange(0, 1), cell);
    EXPECT_EQ(grid.GetSubItemData(0, 1), cell);

    ItemData* record = grid.GetItemData(0);
    record->m_value = 77;
    EXPECT_EQ(grid.AttachItemData(0), record);
    EXPECT_EQ(record->m_value, 0) << "attaching again resets the value";
    EXPECT_TRUE(grid.DeleteItemData(0));
    EXPECT_EQ(grid.GetItemData(0), nullptr);
    EXPECT_FALSE(grid.DeleteItemData(0));

    // Records live on the row, whatever happens to the columns.
    grid.AttachItemData(0)->m_value = 5;
    EXPECT_TRUE(grid.DeleteAllColumns());
    EXPECT_EQ(grid.GetColumnCount(), 0);
    grid.InsertColumn(0, QStringLiteral("c"), 50);
    ASSERT_NE(grid.GetItemData(0), nullptr);
    EXPECT_EQ(grid.GetItemData(0)->m_value, 5);
}

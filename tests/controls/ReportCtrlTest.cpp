#include "controls/CReportCtrl.h"
#include "controls/CReportHeaderCtrl.h"

#include <QApplication>
#include <QImage>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>

namespace {

QStringList ColumnTexts(const CReportCtrl& list, int column = 0)
{
    QStringList texts;
    for (int row = 0; row < list.rowCount(); ++row)
        texts.append(list.ItemText(row, column));
    return texts;
}

class ReportCtrlTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_list = std::make_unique<CReportCtrl>();
        m_list->resize(400, 300);
        m_list->InsertColumn(0, QStringLiteral("管理号码"), Qt::AlignLeft, 180);
        m_list->SetGridLines(true);
        m_list->SetCheckBoxes(true);
    }

    void Fill(const QStringList& texts)
    {
        for (const QString& text : texts)
            m_list->InsertRow(CReportCtrl::kAppendIndex, {text});
    }

    void ShowAndClickHeader(int column)
    {
        if (!m_list->isVisible()) {
            m_list->show();
            ASSERT_TRUE(QTest::qWaitForWindowExposed(m_list.get()));
        }
        CReportHeaderCtrl* header = m_list->HeaderCtrl();
        const QPoint centre(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                            header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, centre);
    }

    std::unique_ptr<CReportCtrl> m_list;
};

TEST_F(ReportCtrlTest, HeaderClickSortsNumbersByValueThenDescending)
{
    Fill({"10", "9", "100", "2"});
    m_list->SetCheck(1, true);  // "9"
    m_list->SetRowValue(1, 99);
    EXPECT_EQ(m_list->SortColumn(), -1);
    EXPECT_FALSE(m_list->HeaderCtrl()->IsOwnerDrawn(0));

    ShowAndClickHeader(0);
    EXPECT_EQ(ColumnTexts(*m_list), QStringList({"2", "9", "10", "100"}));
    EXPECT_EQ(m_list->SortColumn(), 0);
    EXPECT_TRUE(m_list->IsSortAscending());
    EXPECT_TRUE(m_list->HeaderCtrl()->IsOwnerDrawn(0));
    // The tick and the application value travel with their row.
    EXPECT_TRUE(m_list->GetCheck(1));
    EXPECT_EQ(m_list->RowValue(1), 99u);
    EXPECT_FALSE(m_list->GetCheck(0));

    ShowAndClickHeader(0);
    EXPECT_EQ(ColumnTexts(*m_list), QStringList({"100", "10", "9", "2"}));
    EXPECT_FALSE(m_list->IsSortAscending());
    EXPECT_TRUE(m_list->GetCheck(2));
    EXPECT_EQ(m_list->RowValue(2), 99u);

    ShowAndClickHeader(0);
    EXPECT_EQ(ColumnTexts(*m_list), QStringList({"2", "9", "10", "100"}));
    EXPECT_TRUE(m_list->IsSortAscending());
}

TEST_F(ReportCtrlTest, TriangleSitsRightOfTheTitleAndTurnsOver)
{
    Fill({"3", "1"});
    ShowAndClickHeader(0);
    CReportHeaderCtrl* header = m_list->HeaderCtrl();
    const int unit = header->height() / 4;
    ASSERT_GE(unit, 2);

    const CReportHeaderCtrl::SectionLayout up = header->LayoutOf(0);
    ASSERT_EQ(up.triangle.size(), 3);
    EXPECT_TRUE(up.ascending);
    EXPECT_EQ(up.text, QStringLiteral("管理号码"));
    const QRect upBox = up.triangle.boundingRect();
    EXPECT_EQ(upBox.width(), 2 * unit + 1);
    EXPECT_EQ(upBox.height(), 2 * unit + 1);
    EXPECT_GT(upBox.left(), up.textRect.right());
    EXPECT_EQ(up.triangle[0].y(), upBox.top());      // apex up
    EXPECT_EQ(up.triangle[1].y(), upBox.bottom());

    // The pixels agree: the base of an upward triangle is drawn in the highlight colour.
    const QColor highlight = header->palette().light().color();
    const QColor shadow = header->palette().dark().color();
    ASSERT_NE(highlight, header->palette().button().color());
    QImage image = header->grab().toImage();
    for (int x = upBox.left() + 1; x < upBox.right(); ++x)
        EXPECT_EQ(image.pixel(x, upBox.bottom()), highlight.rgb()) << "x=" << x;

    ShowAndClickHeader(0);
    const CReportHeaderCtrl::SectionLayout down = header->LayoutOf(0);
    ASSERT_EQ(down.triangle.size(), 3);
    EXPECT_FALSE(down.ascending);
    const QRect downBox = down.triangle.boundingRect();
    EXPECT_EQ(down.triangle[2].y(), downBox.bottom());  // apex down
    EXPECT_EQ(down.triangle[0].y(), downBox.top());
    image = header->grab().toImage();
    for (int x = downBox.left() + 1; x < downBox.right(); ++x)
        EXPECT_EQ(image.pixel(x, downBox.top()), shadow.rgb()) << "x=" << x;
}

TEST_F(ReportCtrlTest, OnlyTheSortColumnGetsATriangle)
{
    m_list->InsertColumn(1, QStringLiteral("Name"), Qt::AlignRight, 120);
    m_list->InsertRow(CReportCtrl::kAppendIndex, {"2", "b"});
    m_list->InsertRow(CReportCtrl::kAppendIndex, {"1", "a"});
    ShowAndClickHeader(0);
    ShowAndClickHeader(1);
    CReportHeaderCtrl* header = m_list->HeaderCtrl();
    EXPECT_EQ(m_list->SortColumn(), 1);
    EXPECT_TRUE(m_list->IsSortAscending());  // a new column starts ascending
    EXPECT_EQ(ColumnTexts(*m_list, 1), QStringList({"a", "b"}));
    EXPECT_TRUE(header->IsOwnerDrawn(0));  // stays owner-drawn
    EXPECT_TRUE(header->LayoutOf(0).triangle.isEmpty());
    const CReportHeaderCtrl::SectionLayout right = header->LayoutOf(1);
    EXPECT_FALSE(right.triangle.isEmpty());
    // Right-aligned title: text and triangle end at the right of the section.
    const int sectionRight = header->sectionViewportPosition(1) + header->sectionSize(1);
    EXPECT_GT(right.textRect.left(), header->sectionViewportPosition(1) + header->sectionSize(1) / 2);
    EXPECT_LE(right.triangle.boundingRect().right(), sectionRight);
}

TEST_F(ReportCtrlTest, PressedSectionIsDrawnOffsetAndLongTitlesAreElided)
{
    m_list->setColumnWidth(0, 40);
    m_list->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(m_list.get()));
    CReportHeaderCtrl* header = m_list->HeaderCtrl();
    header->SetOwnerDrawn(0);
    const CReportHeaderCtrl::SectionLayout released = header->LayoutOf(0);
    EXPECT_TRUE(released.text.endsWith(QChar(0x2026))) << released.text.toStdString();

    QTest::mousePress(header->viewport(), Qt::LeftButton, {}, QPoint(20, header->height() / 2));
    EXPECT_EQ(header->PressedSection(), 0);
    const CReportHeaderCtrl::SectionLayout pressed = header->LayoutOf(0);
    EXPECT_EQ(pressed.textRect.topLeft(), released.textRect.topLeft() + QPoint(1, 1));
    QTest::mouseRelease(header->viewport(), Qt::LeftButton, {}, QPoint(20, header->height() / 2));
    EXPECT_EQ(header->PressedSection(), -1);
}

struct CompareCase {
    const char* first;
    const char* second;
    bool ascending;
    int expected;
};

class CompareTextsTest : public ::testing::TestWithParam<CompareCase> {};

TEST_P(CompareTextsTest, ComparesLikeAHeaderClick)
{
    const CompareCase& c = GetParam();
    EXPECT_EQ(CReportCtrl::CompareTexts(QString::fromUtf8(c.first), QString::fromUtf8(c.second), c.ascending),
              c.expected)
        << c.first << " vs " << c.second;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CompareTextsTest,
    ::testing::Values(CompareCase{"9", "10", true, -1},          // by value, not by text
                      CompareCase{"9", "10", false, 1},
                      CompareCase{"13800000000", "13800000000", true, 0},
                      CompareCase{"-5", "3", true, -1},
                      CompareCase{"+7", "7", true, 0},
                      CompareCase{" 12 ", "9", true, 1},         // trimmed before anything else
                      CompareCase{"1.5", "10", true, -1},        // '.' makes it text: '.' < '0'
                      CompareCase{"B", "a", true, -1},           // case-sensitive character order
                      CompareCase{"abc", "abd", true, -1},
                      CompareCase{"", "5", true, -1},            // empty: plain text order
                      CompareCase{"   ", "5", true, -1},
                      CompareCase{"5", "", true, 1},
                      CompareCase{"5", "   ", false, -1},
                      CompareCase{"", "", true, 0},
                      CompareCase{"2024-01-05", "2024-10-01", true, -1},
                      CompareCase{"2024-10-01", "2024-01-05", false, -1}));

struct KindCase {
    const char* text;
    CReportCtrl::SortKind kind;
};

class ClassifyTextTest : public ::testing::TestWithParam<KindCase> {};

TEST_P(ClassifyTextTest, DecidesTheKindOfAComparison)
{
    EXPECT_EQ(CReportCtrl::ClassifyText(QString::fromUtf8(GetParam().text)), GetParam().kind) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ClassifyTextTest,
    ::testing::Values(KindCase{"13800000000", CReportCtrl::SortKind::Number},
                      KindCase{"+8613800000000", CReportCtrl::SortKind::Number},
                      KindCase{"-5", CReportCtrl::SortKind::Number},
                      KindCase{"-", CReportCtrl::SortKind::Text},        // a lone minus is no number
                      KindCase{"5-", CReportCtrl::SortKind::Text},
                      KindCase{"1.5", CReportCtrl::SortKind::Text},
                      KindCase{"2024-01-05", CReportCtrl::SortKind::Date},
                      KindCase{"2024-01-05 10:20:30", CReportCtrl::SortKind::Date},
                      KindCase{"2024/1/5", CReportCtrl::SortKind::Date},
                      KindCase{"10:20", CReportCtrl::SortKind::Date},
                      KindCase{"2024-13-45", CReportCtrl::SortKind::Text},
                      KindCase{"管理号码", CReportCtrl::SortKind::Text},
                      KindCase{"abc", CReportCtrl::SortKind::Text}));

TEST_F(ReportCtrlTest, DatesAndTextsSortAsText)
{
    Fill({"2024-03-01", "2023-12-31", "2024-01-15 08:00:00"});
    ShowAndClickHeader(0);
    EXPECT_EQ(ColumnTexts(*m_list), QStringList({"2023-12-31", "2024-01-15 08:00:00", "2024-03-01"}));

    ShowAndClickHeader(0);  // same column again: descending
    EXPECT_EQ(ColumnTexts(*m_list), QStringList({"2024-03-01", "2024-01-15 08:00:00", "2023-12-31"}));

    m_list->RemoveAllRows();
    Fill({"banana", "Apple", "cherry"});
    ShowAndClickHeader(0);  // byte-wise: capitals first
    EXPECT_EQ(ColumnTexts(*m_list), QStringList({"Apple", "banana", "cherry"}));
    ShowAndClickHeader(0);
    EXPECT_EQ(ColumnTexts(*m_list), QStringList({"cherry", "banana", "Apple"}));
}

TEST_F(ReportCtrlTest, RefilledRowsShowNoSortTriangleUntilTheNextClick)
{
    Fill({"30", "4", "200"});
    ShowAndClickHeader(0);
    ShowAndClickHeader(0);
    ASSERT_FALSE(m_list->HeaderCtrl()->LayoutOf(0).triangle.isEmpty());
    ASSERT_FALSE(m_list->IsSortAscending());

    // Refilled in the order the numbers were entered: no order to show.
    m_list->RemoveAllRows();
    Fill({"30", "4", "200"});
    EXPECT_EQ(m_list->SortColumn(), -1);
    EXPECT_TRUE(m_list->HeaderCtrl()->LayoutOf(0).triangle.isEmpty());
    EXPECT_EQ(ColumnTexts(*m_list), QStringList({"30", "4", "200"}));

    // The next click starts over, ascending.
    ShowAndClickHeader(0);
    EXPECT_TRUE(m_list->IsSortAscending());
    EXPECT_EQ(ColumnTexts(*m_list), QStringList({"4", "30", "200"}));
    EXPECT_FALSE(m_list->HeaderCtrl()->LayoutOf(0).triangle.isEmpty());
}

TEST_F(ReportCtrlTest, EmptyTextSortsAsPlainTextAgainstItsNeighbour)
{
    Fill({"20", " ", "3"});
    ShowAndClickHeader(0);
    EXPECT_EQ(ColumnTexts(*m_list), QStringList({" ", "3", "20"}));
    ShowAndClickHeader(0);
    EXPECT_EQ(ColumnTexts(*m_list), QStringList({"20", "3", " "}));
}

TEST_F(ReportCtrlTest, MixedKindsSortWithoutLosingRows)
{
    const QStringList texts = {"b", "10", "", "2024-01-01", "9", "+", "-3", "a", " ", "100", "x9", "1.5"};
    Fill(texts);
    for (int click = 0; click < 4; ++click) {
        ShowAndClickHeader(0);
        QStringList shown = ColumnTexts(*m_list);
        shown.sort();
        QStringList expected = texts;
        expected.sort();
        EXPECT_EQ(shown, expected);
    }
}

TEST_F(ReportCtrlTest, SortingUsesTheRowRecordsUntilRefreshed)
{
    Fill({"1", "2", "3"});
    ASSERT_TRUE(m_list->SetItemText(0, 0, QStringLiteral("50")));  // cell changed, record not
    ShowAndClickHeader(0);
    EXPECT_EQ(ColumnTexts(*m_list), QStringList({"50", "2", "3"}));

    ASSERT_TRUE(m_list->RefreshRowRecord(0));
    CReportCtrl::RowRecord record;
    ASSERT_TRUE(m_list->GetRowRecord(0, record));
    EXPECT_EQ(record.texts, QStringList({"50"}));
    ShowAndClickHeader(0);  // descending
    EXPECT_EQ(ColumnTexts(*m_list), QStringList({"50", "3", "2"}));

    EXPECT_FALSE(m_list->RefreshRowRecord(3));
    EXPECT_FALSE(m_list->RefreshRowRecord(-1));
}

TEST_F(ReportCtrlTest, RemoveAllRowsReturnsTheCount)
{
    EXPECT_EQ(m_list->RemoveAllRows(), 0);
    Fill({"1", "2", "3"});
    EXPECT_EQ(m_list->RemoveAllRows(), 3);
    EXPECT_EQ(m_list->rowCount(), 0);
    EXPECT_EQ(m_list->RemoveAllRows(), 0);
}

TEST_F(ReportCtrlTest, InsertPlacesRowsAndCopiesTheirTexts)
{
    EXPECT_EQ(m_list->InsertRow(CReportCtrl::kAppendIndex, {"a"}), 0);
    EXPECT_EQ(m_list->InsertRow(2147483647, {"c"}), 1);
    EXPECT_EQ(m_list->InsertRow(1, {"b"}), 1);
    EXPECT_EQ(m_list->InsertRow(0, {"top"}), 0);
    EXPECT_EQ(m_list->InsertRow(99, {"end"}), 4);
    EXPECT_EQ(m_list->InsertRow(-1, {"never"}), -1);
    EXPECT_EQ(ColumnTexts(*m_list), QStringList({"top", "a", "b", "c", "end"}));
    for (int row = 0; row < m_list->rowCount(); ++row) {
        CReportCtrl::RowRecord record;
        ASSERT_TRUE(m_list->GetRowRecord(row, record));
        EXPECT_EQ(record.texts, QStringList({m_list->ItemText(row, 0)}));
        EXPECT_EQ(record.value, 0u);
        EXPECT_FALSE(m_list->GetCheck(row));  // rows start unticked
    }

    CReportCtrl noColumns;
    EXPECT_EQ(noColumns.InsertRow(CReportCtrl::kAppendIndex, {"x"}), -1);
    EXPECT_EQ(noColumns.rowCount(), 0);
}

TEST_F(ReportCtrlTest, MissingTextsAreEmptyAndExtraOnesIgnored)
{
    m_list->InsertColumn(CReportCtrl::kAppendIndex, QStringLiteral("B"), Qt::AlignLeft, 60);
    m_list->InsertRow(CReportCtrl::kAppendIndex, {"only"});
    m_list->InsertRow(CReportCtrl::kAppendIndex, {"one", "two", "three"});
    CReportCtrl::RowRecord record;
    ASSERT_TRUE(m_list->GetRowRecord(0, record));
    EXPECT_EQ(record.texts, QStringList({"only", ""}));
    ASSERT_TRUE(m_list->GetRowRecord(1, record));
    EXPECT_EQ(record.texts, QStringList({"one", "two"}));
    EXPECT_EQ(m_list->ItemText(1, 1), QStringLiteral("two"));
}

TEST_F(ReportCtrlTest, CheckBoxesToggleWithSpaceAndRowsSelectWhole)
{
    m_list->InsertColumn(1, QStringLiteral("B"), Qt::AlignLeft, 60);
    m_list->InsertRow(CReportCtrl::kAppendIndex, {"1", "x"});
    m_list->InsertRow(CReportCtrl::kAppendIndex, {"2", "y"});
    m_list->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(m_list.get()));
    EXPECT_TRUE(m_list->HasGridLines());

    const QRect cell = m_list->visualItemRect(m_list->item(1, 1));
    QTest::mouseClick(m_list->viewport(), Qt::LeftButton, {}, cell.center());
    EXPECT_EQ(m_list->currentRow(), 1);
    EXPECT_TRUE(m_list->item(1, 0)->isSelected());  // full-row selection
    EXPECT_TRUE(m_list->item(1, 1)->isSelected());
    EXPECT_FALSE(m_list->item(0, 0)->isSelected());

    m_list->setCurrentCell(1, 0);
    QTest::keyClick(m_list.get(), Qt::Key_Space);
    EXPECT_TRUE(m_list->GetCheck(1));
    EXPECT_FALSE(m_list->GetCheck(0));
    EXPECT_TRUE(m_list->SetCheck(1, false));
    EXPECT_FALSE(m_list->GetCheck(1));
    EXPECT_FALSE(m_list->SetCheck(5, true));

    m_list->SetCheckBoxes(false);
    EXPECT_FALSE(m_list->SetCheck(0, true));
    EXPECT_FALSE(m_list->item(0, 0)->data(Qt::CheckStateRole).isValid());
}

TEST_F(ReportCtrlTest, HeaderClicksOutsideTheColumnsAreIgnored)
{
    Fill({"2", "1"});
    m_list->SortByColumn(1);
    m_list->SortByColumn(-1);
    EXPECT_EQ(m_list->SortColumn(), -1);
    EXPECT_EQ(ColumnTexts(*m_list), QStringList({"2", "1"}));
}

}  // namespace

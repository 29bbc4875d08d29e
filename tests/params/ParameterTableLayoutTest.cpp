#include "ReportFixture.h"

#include "params/ParameterReport.h"
#include "params/ParameterTableLayout.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <set>
#include <utility>

namespace {

using CellKey = std::pair<int, int>;  // row, column

std::map<CellKey, ParameterCellValue> CellsByPosition(const ParameterSet& set)
{
    std::map<CellKey, ParameterCellValue> cells;
    for (const ParameterCellValue& cell : ParameterSetCells(set))
        cells.emplace(CellKey{cell.row, cell.column}, cell);
    return cells;
}

QString Text(const std::map<CellKey, ParameterCellValue>& cells, int row, int column)
{
    const auto cell = cells.find({row, column});
    if (cell == cells.end() || !cell->second.text)
        return QStringLiteral("<unchanged>");
    return *cell->second.text;
}

}  // namespace

TEST(ParameterTableLayout, TwoHalvesWithHeadingsAndEditors)
{
    const auto& columns = ParameterTableColumns();
    EXPECT_EQ(columns[0].header, QStringLiteral("配置项"));
    EXPECT_EQ(columns[1].header, QStringLiteral("配置值"));
    EXPECT_EQ(columns[0].width + columns[1].width + columns[2].width + columns[3].width, 170 + 180 + 170 + 130);
    EXPECT_TRUE(columns[0].isLabel && columns[2].isLabel && !columns[1].isLabel && !columns[3].isLabel);

    std::set<int> leftRows, rightRows, leftHeadings, rightHeadings;
    std::set<ParameterField> fields;
    for (const ParameterTableRow& row : ParameterTableRows()) {
        const bool left = row.labelColumn == kLeftLabelColumn;
        EXPECT_EQ(row.valueColumn, row.labelColumn + 1);
        (left ? leftRows : rightRows).insert(row.row);
        if (row.editor == ParameterEditor::Heading) {
            (left ? leftHeadings : rightHeadings).insert(row.row);
            EXPECT_EQ(row.field, ParameterField::None);
        } else {
            EXPECT_TRUE(fields.insert(row.field).second) << "field shown twice, row " << row.row;
        }
        EXPECT_EQ(row.choices.isEmpty(), row.editor != ParameterEditor::Choice) << row.label.toStdString();
    }
    EXPECT_EQ(leftRows.size(), 35u);
    EXPECT_EQ(*leftRows.rbegin(), 34);
    EXPECT_EQ(rightRows.size(), 22u);
    EXPECT_EQ(*rightRows.rbegin(), 21);
    EXPECT_EQ(leftHeadings, (std::set<int>{0, 4, 14, 18}));
    EXPECT_EQ(rightHeadings, (std::set<int>{0, 8, 15}));
    EXPECT_EQ(fields.size(), 31u + 19u);
}

TEST(ParameterTableLayout, ChoiceItemsInTheOrderOffered)
{
    const struct {
        int row;
        int column;
        QStringList items;
    } cases[] = {
        {5, 1, {"1", "2", "3", "4", "5", "6", "7", "8", "9", "10"}},
        {19, 1, {QStringLiteral("否"), QStringLiteral("是")}},
        {20, 1, {QStringLiteral("是"), QStringLiteral("否")}},
        {26, 1, {QStringLiteral("单曲"), QStringLiteral("单曲循环"), QStringLiteral("全部循环")}},
        {28, 1, {QStringLiteral("女声"), QStringLiteral("男声")}},
        {32, 1, {QStringLiteral("是"), QStringLiteral("否")}},
        {1, 3, {"0", "1"}},
        {9, 3, {"0", "1", "2"}},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.row);
        const ParameterTableRow* row = FindParameterTableRow(test.row, test.column);
        ASSERT_NE(row, nullptr);
        EXPECT_EQ(row->choices, test.items);
    }
    const ParameterTableRow* fmVolume = FindParameterTableRow(24, 1);
    ASSERT_NE(fmVolume, nullptr);
    EXPECT_EQ(fmVolume->choices.size(), 48);
    EXPECT_EQ(fmVolume->choices.last(), QStringLiteral("47"));
    EXPECT_EQ(FindParameterTableRow(27, 1)->choices.size(), 27);

    // Column 3 below row 21 has no label: the grid's default editor applies.
    EXPECT_EQ(FindParameterTableRow(22, 3), nullptr);
    EXPECT_EQ(FindParameterTableRow(21, 3)->editor, ParameterEditor::Digits);
    EXPECT_EQ(FindParameterTableRow(21, 2)->label, QStringLiteral("心跳包时间(31到65535):"));
}

TEST(ParameterTableLayout, ClearedSetShowsZerosNoAndDefaults)
{
    auto set = std::make_unique<ParameterSet>();
    const auto cells = CellsByPosition(*set);
    EXPECT_EQ(cells.size(), 50u);
    for (int row = 5; row <= 13; ++row)
        EXPECT_EQ(Text(cells, row, 1), QStringLiteral("0"));
    for (int row = 15; row <= 17; ++row)
        EXPECT_EQ(Text(cells, row, 1), QStringLiteral("0"));
    for (auto [row, column] : {CellKey{19, 1}, CellKey{20, 1}, CellKey{25, 1}, CellKey{32, 1}, CellKey{33, 1},
                               CellKey{34, 1}, CellKey{10, 3}})
        EXPECT_EQ(Text(cells, row, column), QStringLiteral("否")) << row;
    EXPECT_EQ(Text(cells, 26, 1), QStringLiteral("单曲"));
    EXPECT_EQ(Text(cells, 28, 1), QStringLiteral("女声"));
    EXPECT_EQ(Text(cells, 22, 1), QStringLiteral("0.00"));
    for (auto [row, column] : {CellKey{1, 1}, CellKey{21, 1}, CellKey{24, 1}, CellKey{31, 1}, CellKey{1, 3},
                               CellKey{2, 3}, CellKey{20, 3}, CellKey{21, 3}})
        EXPECT_EQ(Text(cells, row, column), QString()) << row;
    for (const auto& [key, cell] : cells)
        EXPECT_FALSE(cell.lockReadOnly);
}

TEST(ParameterTableLayout, CellsComeInTableOrder)
{
    auto set = std::make_unique<ParameterSet>();
    const std::vector<ParameterCellValue> cells = ParameterSetCells(*set);
    ASSERT_EQ(cells.size(), 50u);
    EXPECT_EQ(std::make_pair(cells.front().row, cells.front().column), std::make_pair(1, 1));
    EXPECT_EQ(std::make_pair(cells[30].row, cells[30].column), std::make_pair(34, 1));
    EXPECT_EQ(std::make_pair(cells[31].row, cells[31].column), std::make_pair(1, 3));
    EXPECT_EQ(std::make_pair(cells.back().row, cells.back().column), std::make_pair(21, 3));
    for (std::size_t i = 1; i < cells.size(); ++i) {
        if (cells[i].column == cells[i - 1].column) {
            EXPECT_GT(cells[i].row, cells[i - 1].row);
        }
    }
}

TEST(ParameterTableLayout, ReportedSetShownWithItsConversions)
{
    auto set = std::make_unique<ParameterSet>();
    ASSERT_TRUE(ParseParameterReport(reportfixture::FullReport().c_str(), *set));
    const auto cells = CellsByPosition(*set);
    EXPECT_EQ(Text(cells, 1, 1), QStringLiteral("注意：山洪预警，请立即向高处转移！"));
    EXPECT_EQ(Text(cells, 2, 1), QStringLiteral("台风橙色预警（乗），请关好门窗，减少外出。"));
    EXPECT_EQ(Text(cells, 5, 1), QStringLiteral("1"));   // phone
    EXPECT_EQ(Text(cells, 8, 1), QStringLiteral("4"));   // microphone
    EXPECT_EQ(Text(cells, 9, 1), QStringLiteral("6"));   // FM
    EXPECT_EQ(Text(cells, 12, 1), QStringLiteral("9"));  // line in
    EXPECT_EQ(Text(cells, 16, 1), QStringLiteral("2"));
    EXPECT_EQ(Text(cells, 19, 1), QStringLiteral("是"));
    EXPECT_EQ(Text(cells, 20, 1), QStringLiteral("是"));
    EXPECT_EQ(Text(cells, 21, 1), QStringLiteral("720"));
    EXPECT_EQ(Text(cells, 22, 1), QStringLiteral("101.50"));
    EXPECT_EQ(Text(cells, 24, 1), QStringLiteral("30"));
    EXPECT_EQ(Text(cells, 25, 1), QStringLiteral("是"));
    EXPECT_EQ(Text(cells, 26, 1), QStringLiteral("全部循环"));
    EXPECT_EQ(Text(cells, 28, 1), QStringLiteral("男声"));
    EXPECT_EQ(Text(cells, 31, 1), QStringLiteral("6"));
    EXPECT_EQ(Text(cells, 32, 1), QStringLiteral("是"));
    EXPECT_EQ(Text(cells, 33, 1), QStringLiteral("否"));
    EXPECT_EQ(Text(cells, 34, 1), QStringLiteral("是"));
    EXPECT_EQ(Text(cells, 1, 3), QStringLiteral("1"));
    EXPECT_EQ(Text(cells, 2, 3), QStringLiteral("116.62.10.20"));
    EXPECT_EQ(Text(cells, 7, 3), QStringLiteral("8.8.8.8"));
    EXPECT_EQ(Text(cells, 10, 3), QStringLiteral("是"));
    EXPECT_EQ(Text(cells, 11, 3), QStringLiteral("1A2B3C4D"));
    EXPECT_EQ(Text(cells, 14, 3), QStringLiteral("60"));
    EXPECT_EQ(Text(cells, 19, 3), QStringLiteral("*99***1#"));
    EXPECT_EQ(Text(cells, 20, 3), QStringLiteral("+8613800755500"));
    EXPECT_EQ(Text(cells, 21, 3), QStringLiteral("60"));

    set->smsCentre.Assign(kDefaultSmsCentreGbk);
    EXPECT_EQ(Text(CellsByPosition(*set), 20, 3), QStringLiteral("默认"));
}

struct ConversionCase {
    const char* name;
    ShortText ParameterSet::*field;
    const char* stored;
    int row;
    int column;
    const char* shown;  // nullptr: the cell keeps its text
};

TEST(ParameterTableLayout, ValueConversions)
{
    const ConversionCase cases[] = {
        {"fm 8850", &ParameterSet::fmFrequency, "8850", 22, 1, "88.50"},
        {"fm 10150", &ParameterSet::fmFrequency, "10150", 22, 1, "101.50"},
        {"fm abc", &ParameterSet::fmFrequency, "abc", 22, 1, "0.00"},
        {"fm 7", &ParameterSet::fmFrequency, "7", 22, 1, "0.07"},
        {"fm -50", &ParameterSet::fmFrequency, "-50", 22, 1, "-0.50"},
        {"fm 8800 MHz", &ParameterSet::fmFrequency, " 8800MHz", 22, 1, "88.00"},
        {"fm huge", &ParameterSet::fmFrequency, "99999999999999", 22, 1, "21474836.47"},
        {"fm huge negative", &ParameterSet::fmFrequency, "-99999999999999", 22, 1, "-21474836.48"},
        {"mp3 0", &ParameterSet::mp3PlayMode, "0", 26, 1, "单曲"},
        {"mp3 1", &ParameterSet::mp3PlayMode, "1", 26, 1, "单曲循环"},
        {"mp3 5", &ParameterSet::mp3PlayMode, "5", 26, 1, nullptr},
        {"mp3 -1", &ParameterSet::mp3PlayMode, "-1", 26, 1, nullptr},
        {"voice 0", &ParameterSet::ttsVoice, "0", 28, 1, "女声"},
        {"voice 2", &ParameterSet::ttsVoice, "2", 28, 1, "男声"},
        {"voice x", &ParameterSet::ttsVoice, "x", 28, 1, "女声"},
        {"fm receive 1", &ParameterSet::fmReceiveEnabled, "1", 25, 1, "是"},
        {"fm receive 01", &ParameterSet::fmReceiveEnabled, "01", 25, 1, "否"},
        {"fm receive 2", &ParameterSet::fmReceiveEnabled, "2", 25, 1, "否"},
        {"module 1 ", &ParameterSet::commModule, "1 ", 32, 1, "否"},
        {"backup 2", &ParameterSet::smsBackup, "2", 20, 1, "是"},
        {"backup -1", &ParameterSet::smsBackup, "-1", 20, 1, "是"},
        {"backup 0x1", &ParameterSet::smsBackup, "0x1", 20, 1, "否"},
        {"return 7", &ParameterSet::returnToMainServer, "7", 10, 3, "是"},
        {"intercom 1", &ParameterSet::intercomEnabled, "1", 33, 1, "是"},
        {"intercom 0", &ParameterSet::intercomEnabled, "0", 33, 1, "否"},
        {"intercom 2", &ParameterSet::intercomEnabled, "2", 33, 1, nullptr},
        {"pickup 2", &ParameterSet::pickupEnabled, "2", 34, 1, nullptr},
        {"pickup 3", &ParameterSet::pickupEnabled, "3", 34, 1, "否"},
        {"invalid gbk", &ParameterSet::apn, "ab\xFF", 16, 3, "ab\xEF\xBF\xBD"},
    };
    for (const ConversionCase& test : cases) {
        SCOPED_TRACE(test.name);
        auto set = std::make_unique<ParameterSet>();
        ASSERT_TRUE((set.get()->*test.field).Assign(test.stored));
        const auto cells = CellsByPosition(*set);
        const ParameterCellValue& cell = cells.at({test.row, test.column});
        if (test.shown)
            EXPECT_EQ(cell.text, QString::fromUtf8(test.shown));
        else
            EXPECT_FALSE(cell.text);
    }
}

TEST(ParameterTableLayout, AbsentModuleLocksItsCell)
{
    auto set = std::make_unique<ParameterSet>();
    set->intercomEnabled.Assign("2");
    set->pickupEnabled.Assign("1");
    auto cells = CellsByPosition(*set);
    EXPECT_TRUE(cells.at({33, 1}).lockReadOnly);
    EXPECT_FALSE(cells.at({33, 1}).text);
    EXPECT_FALSE(cells.at({34, 1}).lockReadOnly);

    // A report without the intercom line reads "2" and locks the row.
    set = std::make_unique<ParameterSet>();
    const std::string report = reportfixture::WithoutLine(reportfixture::FullReport(), "Alarm inter phone open: ");
    ASSERT_TRUE(ParseParameterReport(report.c_str(), *set));
    cells = CellsByPosition(*set);
    EXPECT_TRUE(cells.at({33, 1}).lockReadOnly);
    EXPECT_EQ(cells.at({34, 1}).text, QStringLiteral("是"));

    // Only the module switches ever lock a cell.
    int locked = 0;
    for (const auto& [key, cell] : cells)
        locked += cell.lockReadOnly;
    EXPECT_EQ(locked, 1);
}

TEST(ParameterTableLayout, PriorityAndPlayCountPrintedAsNumbers)
{
    auto set = std::make_unique<ParameterSet>();
    set->phonePriority = 255;  // a reported -1
    set->smsReceipt = 2;
    set->smsPlayCount = -3;
    set->localPlayCount = 2147483647;
    const auto cells = CellsByPosition(*set);
    EXPECT_EQ(Text(cells, 5, 1), QStringLiteral("255"));
    EXPECT_EQ(Text(cells, 19, 1), QStringLiteral("否"));
    EXPECT_EQ(Text(cells, 15, 1), QStringLiteral("-3"));
    EXPECT_EQ(Text(cells, 17, 1), QStringLiteral("2147483647"));
}

#pragma once

#include <QColor>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>
#include <memory>
#include <vector>

class CListCtrlEx;

// Called when an edit of (row, column) begins (flag 1) and when it ends
// (flag = the accept flag: 1 keep, 0 cancel). `text` is the cell's text in
// and, for the commit call, the text to store out; `rowValue` is the row
// record's application value (0 without a record). The prepare call's
// result is ignored; the commit call's result decides: 0 leaves the cell,
// any other value writes `text`, -1 also re-sorts the rows by the column.
using EditCallback = std::function<int(QWidget* editor, int row, int column, QString& text,
                                       qintptr rowValue, CListCtrlEx* grid, int flag)>;

// List-wide row comparison: (value of row 1, value of row 2, argument).
using CompareCallback = std::function<int(qintptr value1, qintptr value2, qintptr argument)>;

// How a cell, row, column or the whole grid is edited.
struct EditInfo {
    EditCallback m_prepare;
    EditCallback m_commit;
    QPointer<QWidget> m_editor;  // owned by the window; null when it was destroyed
    bool m_readOnly = false;

    // Something can be done with it: a prepare callback or an editor.
    bool IsUsable() const { return m_prepare || m_editor; }
};

// Sort flags of a column.
enum SortFlag : int {
    kSortAscending = 1,
    kSortDescending = 2,
    kSortToggles = 4,  // a header click swaps the direction
};

// How the texts of a column compare when the rows are sorted.
enum SortType : int {
    kSortUnordered = 0,           // always equal
    kSortInteger = 1,             // leading integer values
    kSortFloat = 2,               // leading floating values; less than 1 apart = equal
    kSortText = 3,                // GBK bytes, case-sensitive
    kSortIntegerOrText = 4,       // integers when both are, else as kSortText
    kSortTextNoCase = 5,          // GBK bytes, ASCII letters folded
    kSortIntegerOrTextNoCase = 6, // integers when both are, else as kSortTextNoCase
    kSortDateTime = 7,            // date and time in the user's locale; never equal
};

// Column descriptor: one per column that has one, owned by the grid.
struct CellInfo : EditInfo {
    int m_column = -1;
    QColor m_bkColor;    // invalid = not set
    QColor m_textColor;  // invalid = not set
    int m_sortFlags = 0; // SortFlag bits; 0 = the column does not sort
    int m_sortType = kSortUnordered;
    CompareCallback m_compare;
};

// Cell descriptor: one per cell that has one, owned by its row record.
struct SubItemData : EditInfo {
    int m_column = -1;
    QColor m_bkColor;
    QColor m_textColor;
};

// Row record: one per row that has one, owned by the grid. Its edit part
// applies to the whole row (m_readOnly makes the whole row read-only).
struct ItemData : EditInfo {
    std::vector<std::unique_ptr<SubItemData>> m_cells;
    QColor m_bkColor;
    QColor m_textColor;
    qintptr m_value = 0;  // the application's value for the row

    SubItemData* FindCell(int column) const
    {
        for (const auto& cell : m_cells) {
            if (cell->m_column == column)
                return cell.get();
        }
        return nullptr;
    }
};

// The colours a cell is drawn with.
struct CellColors {
    QColor background;
    QColor text;
};

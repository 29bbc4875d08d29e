#pragma once

#include "controls/CMsgHook.h"
#include "controls/GridDescriptors.h"

#include <QPersistentModelIndex>
#include <QTableWidget>

#include <memory>
#include <optional>
#include <vector>

class QKeyEvent;
class QMouseEvent;

// A report-style grid whose cells are edited in place by widgets that the
// window owns (a QLineEdit, a QComboBox, a QDateTimeEdit, ...). The window
// registers an editor for a column, a row, a single cell or as the grid's
// default; on a double-click, F2 or Enter (or Tab) the grid moves that editor over the
// cell, shows and focuses it, and writes its text back when the edit ends:
// Enter, a click elsewhere or a focus change keep the value, Escape cancels
// (the hook, CMsgHook, notices these). The table's own item editing is off.
//
// Columns, rows and cells can be read-only and carry their own background
// and text colours; rows sort by a column with one of eight rules; Tab and
// Shift+Tab move the edit from cell to cell.
//
// Every cell has a QTableWidgetItem. A row record (ItemData) is attached to
// the item of column 0 and travels with the row when the rows are sorted.
// Descriptor fields may be changed directly; call viewport()->update()
// after changing colours of a grid on screen.
//
// UI thread only.
class CListCtrlEx : public QTableWidget {
    Q_OBJECT
public:
    static constexpr int kRowHeight = 20;

    explicit CListCtrlEx(QWidget* parent = nullptr);
    ~CListCtrlEx() override;

    // Columns and rows. InsertColumn and InsertItem return the new index,
    // or -1 when it is out of range.
    int InsertColumn(int column, const QString& heading, int width);
    int GetColumnCount() const { return columnCount(); }
    bool DeleteAllColumns();
    int InsertItem(int row, const QString& textOfColumn0);
    int GetItemCount() const { return rowCount(); }
    bool DeleteItem(int row);  // the row and its record
    void DeleteAllItems();     // every row and every record
    QString GetItemText(int row, int column) const;
    bool SetItemText(int row, int column, const QString& text);

    // Row records. AttachItemData creates the row's record, or resets the
    // application value of the one it has; null when the row does not exist.
    ItemData* AttachItemData(int row);
    ItemData* GetItemData(int row) const;
    int FindItemData(const ItemData* record) const;  // row index or -1
    bool DeleteItemData(int row);
    void DeleteAllItemData();

    // Descriptors. The "ForChange" versions create what is missing; an
    // existing column descriptor has its callbacks and editor cleared.
    // GetSubItemDataForChange gives the row a record if it has none; null
    // when the row or column does not exist.
    CellInfo* GetColumnInfo(int column) const;
    CellInfo* GetColumnInfoForChange(int column);
    SubItemData* GetSubItemData(int row, int column) const;
    SubItemData* GetSubItemDataForChange(int row, int column);
    EditInfo& DefaultEditInfo() { return m_defaultEdit; }

    // Editing. BeginCellEdit ends a running edit (accepting it) first; true
    // when an editor is now shown over the cell.
    bool BeginCellEdit(int row, int column);
    void EndCellEdit(int accept);
    bool IsEditing() const { return m_hook.IsRegistered(); }
    int EditRow() const { return m_editRow; }
    int EditColumn() const { return m_editColumn; }
    QWidget* ActiveEditor() const { return IsEditing() ? m_hook.Editor() : nullptr; }
    // The cell Tab navigation starts from (-1, -1 = none).
    int CurrentCellRow() const { return m_currentRow; }
    int CurrentCellColumn() const { return m_currentColumn; }
    void SetCurrentCell(int row, int column);

    // Options.
    void SetDeleteRows(bool on) { m_deleteRows = on; }  // Delete removes the selected rows
    bool DeleteRows() const { return m_deleteRows; }
    void SetAppendOnTab(bool on) { m_appendOnTab = on; }  // Tab past the end asks AppendRow
    bool AppendOnTab() const { return m_appendOnTab; }
    void SetCompareCallback(CompareCallback compare, qintptr argument);

    // Sorting. A header click calls SortByColumn(column, true).
    void SortByColumn(int column, bool toggle);
    int GetSortColumn() const { return m_sortColumn; }
    bool IsSortAscending() const { return m_sortAscending; }

    // True when the cell's text does not fit its column as drawn now.
    bool IsTextCutShort(int row, int column) const;

    // Colours: the first of cell, row and column that sets a colour decides;
    // what it leaves unset is the grid's default.
    CellColors GetCellColors(int row, int column) const;
    QColor DefaultBkColor() const { return m_defaultBkColor; }
    QColor DefaultTextColor() const { return m_defaultTextColor; }
    void SetDefaultColors(const QColor& background, const QColor& text);

protected:
    // Asked for a new row when Tab runs past the end (with AppendOnTab) or
    // is pressed in an empty grid; true when a row was added.
    virtual bool AppendRow(int rowCount, int columnCount);

    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    // A cell whose text its column cuts short shows the whole text as tooltip.
    bool viewportEvent(QEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    struct BorrowedEditor {
        QPointer<QWidget> editor;
        QPointer<QWidget> owner;  // the parent it had before the grid took it
        bool hadOwner = false;
    };

    void OnHeaderClicked(int column);
    void OnScrollBarAction();

    QTableWidgetItem* NewItem(const QString& text) const;
    QTableWidgetItem* EnsureItem(int row, int column);
    bool IsCellInside(int row, int column) const;
    bool IsReadOnly(int row, int column) const;
    const EditInfo& ChooseEditInfo(int row, int column) const;
    QRect EditorRect(int row, int column);
    void ShowEditor(QWidget* editor, const QRect& rect);
    void HideEditor(QWidget* editor);
    void ReturnEditor(QWidget* editor);
    void WatchEditorKeys(QWidget* editor, bool watch);
    void ClearEditState();

    bool HandleTabKey(bool backward);
    void StepCell(int& row, int& column, bool backward) const;
    void DeleteSelectedRows();

    int CompareRows(int rowA, int rowB, const CellInfo& sortInfo) const;
    void ReorderRows(const std::vector<int>& order);
    void ApplySortIndicator();

    std::vector<std::unique_ptr<ItemData>> m_rowTable;
    std::vector<std::unique_ptr<CellInfo>> m_columnTable;
    std::optional<EditInfo> m_active;  // copy of the descriptor whose editor is shown
    EditInfo m_defaultEdit;
    int m_editRow = -1;
    int m_editColumn = -1;
    QPersistentModelIndex m_editIndex;  // follows rows inserted or removed during the edit
    int m_currentRow = -1;
    int m_currentColumn = -1;
    QColor m_defaultBkColor;
    QColor m_defaultTextColor;
    CMsgHook m_hook;
    BorrowedEditor m_borrowed;
    bool m_deleteRows = false;
    int m_sortColumn = -1;
    bool m_sortAscending = true;
    CompareCallback m_compare;
    qintptr m_compareArgument = 0;
    bool m_appendOnTab = false;
};

#include "controls/CListCtrlEx.h"

#include "controls/CellTextCompare.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMetaProperty>
#include <QMouseEvent>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QToolTip>

#include <algorithm>
#include <functional>
#include <numeric>

namespace {

// Where a row keeps its record: on the row's (hidden) vertical header item,
// which belongs to the row whatever happens to its columns.
constexpr int kRowRecordRole = Qt::UserRole + 0x40A;

// Draws each cell with the colours the grid resolves for it.
class GridCellDelegate : public QStyledItemDelegate {
public:
    explicit GridCellDelegate(CListCtrlEx* grid)
        : QStyledItemDelegate(grid), m_grid(grid)
    {
    }

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        const CellColors colors = m_grid->GetCellColors(index.row(), index.column());
        option->backgroundBrush = colors.background;
        option->palette.setColor(QPalette::Text, colors.text);
        // No cell cursor: the editor shows which cell is being edited.
        option->state &= ~QStyle::State_HasFocus;
    }

private:
    const CListCtrlEx* m_grid;
};

QString EditorText(const QWidget* editor)
{
    if (const auto* edit = qobject_cast<const QLineEdit*>(editor))
        return edit->text();
    if (const auto* combo = qobject_cast<const QComboBox*>(editor))
        return combo->currentText();
    if (const auto* spin = qobject_cast<const QAbstractSpinBox*>(editor))
        return spin->text();
    const QMetaProperty property = editor->metaObject()->userProperty();
    return property.isValid() ? property.read(editor).toString() : QString();
}

void SetEditorText(QWidget* editor, const QString& text)
{
    if (auto* edit = qobject_cast<QLineEdit*>(editor)) {
        edit->setText(text);
    } else if (auto* combo = qobject_cast<QComboBox*>(editor)) {
        // A choice list shows the matching entry, or none: never the entry
        // left over from another cell.
        if (combo->isEditable())
            combo->setEditText(text);
        else
            combo->setCurrentIndex(combo->findText(text));
    } else if (auto* dateTime = qobject_cast<QDateTimeEdit*>(editor)) {
        QDateTime value = QDateTime::fromString(text, dateTime->displayFormat());
        if (!value.isValid())
            value = ParseCellDateTime(text);
        if (value.isValid())
            dateTime->setDateTime(value);
    } else {
        const QMetaProperty property = editor->metaObject()->userProperty();
        if (property.isValid())
            property.write(editor, text);
    }
}

bool IsTabKey(const QKeyEvent& key)
{
    return (key.key() == Qt::Key_Tab || key.key() == Qt::Key_Backtab)
        && !(key.modifiers() & Qt::ControlModifier);
}

bool IsOpenEditorKey(const QKeyEvent& key)
{
    const bool plain = (key.modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    return plain && (key.key() == Qt::Key_F2 || key.key() == Qt::Key_Return || key.key() == Qt::Key_Enter);
}

bool IsBackwardTab(const QKeyEvent& key)
{
    return key.key() == Qt::Key_Backtab || (key.modifiers() & Qt::ShiftModifier);
}

int SignOf(int value)
{
    return value < 0 ? -1 : (value > 0 ? 1 : 0);
}

// Bottom-up merge sort of row numbers. Unlike std::sort it stays in bounds
// and ends even when `compare` is not a consistent order, which some sort
// types are not (type 2 finds 1.2 = 1.7 and 1.7 = 2.3, but 1.2 < 2.3).
template <typename Compare>
void MergeSortRows(std::vector<int>& rows, Compare compare)
{
    const std::size_t count = rows.size();
    std::vector<int> merged(count);
    for (std::size_t width = 1; width < count; width *= 2) {
        for (std::size_t left = 0; left < count; left += 2 * width) {
            const std::size_t middle = std::min(left + width, count);
            const std::size_t right = std::min(left + 2 * width, count);
            std::size_t a = left;
            std::size_t b = middle;
            std::size_t out = left;
            while (a < middle && b < right)
                merged[out++] = compare(rows[a], rows[b]) <= 0 ? rows[a++] : rows[b++];
            while (a < middle)
                merged[out++] = rows[a++];
            while (b < right)
                merged[out++] = rows[b++];
        }
        rows.swap(merged);
    }
}

}  // namespace

CListCtrlEx::CListCtrlEx(QWidget* parent)
    : QTableWidget(parent)
{
    setItemDelegate(new GridCellDelegate(this));
    // Cells change only through the registered editors.
    setEditTriggers(NoEditTriggers);
    setSelectionBehavior(SelectRows);
    setSelectionMode(ExtendedSelection);
    setTabKeyNavigation(false);
    setSortingEnabled(false);
    setWordWrap(false);
    setShowGrid(true);
    setHorizontalScrollMode(ScrollPerPixel);

    QHeaderView* rows = verticalHeader();
    rows->hide();
    rows->setMinimumSectionSize(1);
    rows->setDefaultSectionSize(kRowHeight);
    rows->setSectionResizeMode(QHeaderView::Fixed);

    QHeaderView* header = horizontalHeader();
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    header->setHighlightSections(false);
    header->setSectionsClickable(true);
    header->setStretchLastSection(false);
    header->setSortIndicatorShown(false);

    m_defaultBkColor = palette().color(QPalette::Base);
    m_defaultTextColor = palette().color(QPalette::Text);

    connect(header, &QHeaderView::sectionClicked, this, &CListCtrlEx::OnHeaderClicked);
    connect(verticalScrollBar(), &QAbstractSlider::actionTriggered, this, &CListCtrlEx::OnScrollBarAction);
    connect(horizontalScrollBar(), &QAbstractSlider::actionTriggered, this, &CListCtrlEx::OnScrollBarAction);
}

CListCtrlEx::~CListCtrlEx()
{
    // An edit still open now is dropped, not committed: its callbacks would
    // meet a grid that is half gone.
    QWidget* editor = m_hook.Editor();
    if (m_hook.Unregister()) {
        WatchEditorKeys(editor, false);
        editor->hide();
    }
    ReturnEditor(m_borrowed.editor);
}

// ---------------------------------------------------------------- columns, rows

int CListCtrlEx::InsertColumn(int column, const QString& heading, int width)
{
    if (column < 0)
        return -1;
    column = std::min(column, columnCount());
    insertColumn(column);
    auto* headerItem = new QTableWidgetItem(heading);
    headerItem->setTextAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    setHorizontalHeaderItem(column, headerItem);
    setColumnWidth(column, width);
    for (int row = 0; row < rowCount(); ++row)
        setItem(row, column, NewItem({}));
    return column;
}

bool CListCtrlEx::DeleteAllColumns()
{
    while (columnCount() > 0)
        removeColumn(0);
    return columnCount() == 0;
}

int CListCtrlEx::InsertItem(int row, const QString& textOfColumn0)
{
    if (row < 0)
        return -1;
    row = std::min(row, rowCount());
    insertRow(row);
    for (int column = 0; column < columnCount(); ++column)
        setItem(row, column, NewItem(column == 0 ? textOfColumn0 : QString()));
    return row;
}

bool CListCtrlEx::DeleteItem(int row)
{
    if (row < 0 || row >= rowCount())
        return false;
    DeleteItemData(row);
    removeRow(row);
    return true;
}

void CListCtrlEx::DeleteAllItems()
{
    DeleteAllItemData();
    setRowCount(0);
}

QString CListCtrlEx::GetItemText(int row, int column) const
{
    const QTableWidgetItem* cell = item(row, column);
    return cell ? cell->text() : QString();
}

bool CListCtrlEx::SetItemText(int row, int column, const QString& text)
{
    if (!IsCellInside(row, column))
        return false;
    EnsureItem(row, column)->setText(text);
    return true;
}

QTableWidgetItem* CListCtrlEx::NewItem(const QString& text) const
{
    auto* cell = new QTableWidgetItem(text);
    cell->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    return cell;
}

QTableWidgetItem* CListCtrlEx::EnsureItem(int row, int column)
{
    if (QTableWidgetItem* cell = item(row, column))
        return cell;
    setItem(row, column, NewItem({}));
    return item(row, column);
}

bool CListCtrlEx::IsCellInside(int row, int column) const
{
    return row >= 0 && row < rowCount() && column >= 0 && column < columnCount();
}

// ---------------------------------------------------------------- row records

ItemData* CListCtrlEx::AttachItemData(int row)
{
    if (row < 0 || row >= rowCount())
        return nullptr;
    if (ItemData* existing = GetItemData(row)) {
        existing->m_value = 0;
        return existing;
    }
    QTableWidgetItem* rowItem = verticalHeaderItem(row);
    if (!rowItem) {
        setVerticalHeaderItem(row, new QTableWidgetItem);
        rowItem = verticalHeaderItem(row);
    }
    m_rowTable.push_back(std::make_unique<ItemData>());
    ItemData* record = m_rowTable.back().get();
    rowItem->setData(kRowRecordRole, QVariant::fromValue(reinterpret_cast<quintptr>(record)));
    return record;
}

ItemData* CListCtrlEx::GetItemData(int row) const
{
    if (row < 0 || row >= rowCount())
        return nullptr;
    const QTableWidgetItem* rowItem = verticalHeaderItem(row);
    if (!rowItem)
        return nullptr;
    const QVariant stored = rowItem->data(kRowRecordRole);
    return stored.isValid() ? reinterpret_cast<ItemData*>(stored.value<quintptr>()) : nullptr;
}

int CListCtrlEx::FindItemData(const ItemData* record) const
{
    if (!record)
        return -1;
    // Compares addresses only: `record` may already have been deleted.
    for (int row = 0; row < rowCount(); ++row) {
        if (GetItemData(row) == record)
            return row;
    }
    return -1;
}

bool CListCtrlEx::DeleteItemData(int row)
{
    ItemData* record = GetItemData(row);
    if (!record)
        return false;
    verticalHeaderItem(row)->setData(kRowRecordRole, QVariant());
    std::erase_if(m_rowTable, [record](const auto& owned) { return owned.get() == record; });
    return true;
}

void CListCtrlEx::DeleteAllItemData()
{
    for (int row = 0; row < rowCount(); ++row) {
        if (QTableWidgetItem* rowItem = verticalHeaderItem(row))
            rowItem->setData(kRowRecordRole, QVariant());
    }
    m_rowTable.clear();
}

// ---------------------------------------------------------------- descriptors

CellInfo* CListCtrlEx::GetColumnInfo(int column) const
{
    for (const auto& info : m_columnTable) {
        if (info->m_column == column)
            return info.get();
    }
    return nullptr;
}

CellInfo* CListCtrlEx::GetColumnInfoForChange(int column)
{
    if (column < 0)
        return nullptr;
    if (CellInfo* existing = GetColumnInfo(column)) {
        existing->m_prepare = nullptr;
        existing->m_commit = nullptr;
        existing->m_editor = nullptr;
        return existing;
    }
    m_columnTable.push_back(std::make_unique<CellInfo>());
    m_columnTable.back()->m_column = column;
    return m_columnTable.back().get();
}

SubItemData* CListCtrlEx::GetSubItemData(int row, int column) const
{
    const ItemData* record = GetItemData(row);
    return record ? record->FindCell(column) : nullptr;
}

SubItemData* CListCtrlEx::GetSubItemDataForChange(int row, int column)
{
    if (!IsCellInside(row, column))
        return nullptr;
    ItemData* record = GetItemData(row);
    if (!record)
        record = AttachItemData(row);
    if (SubItemData* existing = record->FindCell(column))
        return existing;
    record->m_cells.push_back(std::make_unique<SubItemData>());
    record->m_cells.back()->m_column = column;
    return record->m_cells.back().get();
}

void CListCtrlEx::SetCurrentCell(int row, int column)
{
    m_currentRow = row;
    m_currentColumn = column;
}

void CListCtrlEx::SetCompareCallback(CompareCallback compare, qintptr argument)
{
    m_compare = std::move(compare);
    m_compareArgument = argument;
}

// ---------------------------------------------------------------- colours

CellColors CListCtrlEx::GetCellColors(int row, int column) const
{
    const auto resolve = [this](const QColor& background, const QColor& text) {
        return CellColors{background.isValid() ? background : m_defaultBkColor,
                          text.isValid() ? text : m_defaultTextColor};
    };
    const auto setsAny = [](const QColor& background, const QColor& text) {
        return background.isValid() || text.isValid();
    };
    if (const SubItemData* cell = GetSubItemData(row, column); cell && setsAny(cell->m_bkColor, cell->m_textColor))
        return resolve(cell->m_bkColor, cell->m_textColor);
    if (const ItemData* record = GetItemData(row); record && setsAny(record->m_bkColor, record->m_textColor))
        return resolve(record->m_bkColor, record->m_textColor);
    if (const CellInfo* info = GetColumnInfo(column); info && setsAny(info->m_bkColor, info->m_textColor))
        return resolve(info->m_bkColor, info->m_textColor);
    return resolve({}, {});
}

void CListCtrlEx::SetDefaultColors(const QColor& background, const QColor& text)
{
    m_defaultBkColor = background;
    m_defaultTextColor = text;
    viewport()->update();
}

// ---------------------------------------------------------------- editing

bool CListCtrlEx::IsReadOnly(int row, int column) const
{
    const CellInfo* info = GetColumnInfo(column);
    const ItemData* record = GetItemData(row);
    const SubItemData* cell = record ? record->FindCell(column) : nullptr;
    return (info && info->m_readOnly) || (record && record->m_readOnly) || (cell && cell->m_readOnly);
}

// The most specific usable descriptor: cell, then row, then column, then
// the grid's default.
const EditInfo& CListCtrlEx::ChooseEditInfo(int row, int column) const
{
    const EditInfo* chosen = &m_defaultEdit;
    if (const CellInfo* info = GetColumnInfo(column); info && info->IsUsable())
        chosen = info;
    const ItemData* record = GetItemData(row);
    if (record && record->IsUsable())
        chosen = record;
    if (const SubItemData* cell = record ? record->FindCell(column) : nullptr; cell && cell->IsUsable())
        chosen = cell;
    return *chosen;
}

bool CListCtrlEx::BeginCellEdit(int row, int column)
{
    const ItemData* record = GetItemData(row);
    EndCellEdit(1);
    // The accepted edit may have re-sorted the rows: find the row again.
    if (record)
        row = FindItemData(record);
    if (!IsCellInside(row, column) || IsReadOnly(row, column))
        return false;

    const QRect rect = EditorRect(row, column);
    const EditInfo& chosen = ChooseEditInfo(row, column);
    if (chosen.m_readOnly || !chosen.IsUsable()) {
        m_active.reset();
        return false;
    }
    m_active = chosen;
    m_editRow = row;
    m_editColumn = column;
    m_currentRow = row;
    m_currentColumn = column;

    QString text = GetItemText(row, column);
    const ItemData* rowRecord = GetItemData(row);
    // A copy: the callback may start another edit, which replaces m_active.
    const EditCallback prepare = m_active->m_prepare;
    QWidget* editor = m_active->m_editor;
    if (prepare)
        prepare(editor, row, column, text, rowRecord ? rowRecord->m_value : 0, this, 1);
    if (!editor || !m_active || m_active->m_editor != editor || !IsCellInside(row, column)) {
        // The prepare callback alone did the work.
        ClearEditState();
        return false;
    }
    clearSelection();
    if (!prepare)
        SetEditorText(editor, text);
    m_editIndex = model()->index(row, column);
    // The keyboard goes on from the edited cell once the edit ends (F2
    // opens it again, the arrow keys move from it).
    selectionModel()->setCurrentIndex(m_editIndex, QItemSelectionModel::NoUpdate);
    ShowEditor(editor, rect);
    m_hook.Register(editor, this);
    WatchEditorKeys(editor, true);
    return true;
}

void CListCtrlEx::EndCellEdit(int accept)
{
    QWidget* editor = m_hook.Editor();
    if (!m_hook.Unregister()) {
        // Nothing is being edited (or the editor was destroyed meanwhile).
        if (m_active)
            ClearEditState();
        return;
    }
    WatchEditorKeys(editor, false);
    HideEditor(editor);
    ReturnEditor(editor);

    // Taken out before any callback runs, so that a callback starting
    // another edit finds the grid idle and keeps what it starts.
    const std::optional<EditInfo> active = std::move(m_active);
    const QPersistentModelIndex edited = m_editIndex;
    const int column = m_editColumn;
    int row = edited.isValid() ? edited.row() : m_editRow;
    ClearEditState();
    if (!active)
        return;

    QString text;
    qintptr value = 0;
    if (edited.isValid()) {
        text = GetItemText(row, column);
        if (const ItemData* record = GetItemData(row))
            value = record->m_value;
    } else {
        accept = 0;  // the row is gone
    }

    int result = accept;
    if (active->m_commit)
        result = active->m_commit(editor, row, column, text, value, this, accept);
    else
        text = EditorText(editor);

    // The callback may have inserted or removed rows: the index follows.
    if (result != 0 && edited.isValid()) {
        SetItemText(edited.row(), column, text);
        if (result == -1)
            SortByColumn(column, false);
    }
}

void CListCtrlEx::ClearEditState()
{
    m_active.reset();
    m_editRow = -1;
    m_editColumn = -1;
    m_editIndex = QPersistentModelIndex();
}

QRect CListCtrlEx::EditorRect(int row, int column)
{
    const QModelIndex index = model()->index(row, column);
    scrollTo(index, EnsureVisible);
    QRect rect = visualRect(index);
    const int limit = viewport()->width() - 4;
    if (rect.x() + rect.width() > limit)
        rect.setWidth(std::max(0, limit - rect.x()));
    return rect;
}

void CListCtrlEx::ShowEditor(QWidget* editor, const QRect& rect)
{
    if (editor->parentWidget() != viewport()) {
        ReturnEditor(m_borrowed.editor);
        m_borrowed = {editor, editor->parentWidget(), editor->parentWidget() != nullptr};
        editor->setParent(viewport());
    }
    editor->setGeometry(rect);
    editor->show();
    editor->raise();
    editor->setFocus(Qt::OtherFocusReason);
}

void CListCtrlEx::HideEditor(QWidget* editor)
{
    // Keys go back to the grid, unless the focus has already gone elsewhere
    // (which is what ended the edit). Without this, hiding the focused
    // editor would move the focus on to some other control.
    const auto holdsFocus = [editor](const QWidget* focus) {
        return focus && (focus == editor || editor->isAncestorOf(focus));
    };
    if (holdsFocus(QApplication::focusWidget()) || holdsFocus(window()->focusWidget()))
        setFocus(Qt::OtherFocusReason);
    editor->hide();
}

// The editor belongs to the window; the grid only borrows it for an edit.
void CListCtrlEx::ReturnEditor(QWidget* editor)
{
    if (!editor || m_borrowed.editor != editor)
        return;
    if (!m_borrowed.hadOwner)
        editor->setParent(nullptr);
    else if (m_borrowed.owner)
        editor->setParent(m_borrowed.owner);
    // else: its owner is gone, so it stays with the grid and goes with it.
    m_borrowed = {};
}

void CListCtrlEx::WatchEditorKeys(QWidget* editor, bool watch)
{
    if (!editor)
        return;
    QList<QWidget*> widgets = editor->findChildren<QWidget*>();
    widgets.prepend(editor);
    for (QWidget* widget : widgets) {
        if (widget->window() != editor->window())
            continue;  // the editor's own drop-down list keeps its keys
        if (watch)
            widget->installEventFilter(this);
        else
            widget->removeEventFilter(this);
    }
}

// ---------------------------------------------------------------- events, keys

bool CListCtrlEx::event(QEvent* event)
{
    if (event->type() == CMsgHook::kEndEditEvent) {
        const auto* endEdit = static_cast<CMsgHook::EndEditEvent*>(event);
        if (m_hook.IsCurrent(*endEdit))
            EndCellEdit(endEdit->Accept());
        return true;
    }
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (IsTabKey(*key) && HandleTabKey(IsBackwardTab(*key))) {
            event->accept();
            return true;
        }
    }
    return QTableWidget::event(event);
}

bool CListCtrlEx::eventFilter(QObject* watched, QEvent* event)
{
    // Tab in the editor is handed to the grid, which moves the edit on. It
    // is posted so that the editor is not hidden or moved while it is still
    // handling the key.
    if (event->type() == QEvent::KeyPress && IsEditing()) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (IsTabKey(*key)) {
            QCoreApplication::postEvent(this, new QKeyEvent(QEvent::KeyPress, key->key(), key->modifiers()));
            return true;
        }
    }
    return QTableWidget::eventFilter(watched, event);
}

void CListCtrlEx::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Delete && m_deleteRows) {
        DeleteSelectedRows();
        event->accept();
        return;
    }
    if (IsOpenEditorKey(*event) && !IsEditing()) {
        // As in a spreadsheet: F2 or Enter edits the cell the keyboard is on.
        const QModelIndex cell = currentIndex();
        if (cell.isValid())
            BeginCellEdit(cell.row(), cell.column());
        event->accept();
        return;
    }
    QTableWidget::keyPressEvent(event);
}

bool CListCtrlEx::viewportEvent(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        const auto* help = static_cast<QHelpEvent*>(event);
        const QModelIndex cell = indexAt(help->pos());
        const QString text = cell.isValid() ? GetItemText(cell.row(), cell.column()) : QString();
        if (!text.isEmpty() && IsTextCutShort(cell.row(), cell.column()))
            QToolTip::showText(help->globalPos(), text, viewport(), visualRect(cell));
        else
            QToolTip::hideText();
        return true;
    }
    return QTableWidget::viewportEvent(event);
}

bool CListCtrlEx::IsTextCutShort(int row, int column) const
{
    if (!IsCellInside(row, column))
        return false;
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    option.rect = visualRect(model()->index(row, column));
    option.text = GetItemText(row, column);
    option.features |= QStyleOptionViewItem::HasDisplay;
    // The style draws the text inside this rectangle, less a margin each side.
    const QRect textRect = style()->subElementRect(QStyle::SE_ItemViewItemText, &option, this);
    const int margin = style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1;
    return option.fontMetrics.horizontalAdvance(option.text) > textRect.width() - 2 * margin;
}

void CListCtrlEx::mouseDoubleClickEvent(QMouseEvent* event)
{
    const QModelIndex index = indexAt(event->position().toPoint());
    if (event->button() == Qt::LeftButton && index.isValid()) {
        BeginCellEdit(index.row(), index.column());
        event->accept();
        return;
    }
    QTableWidget::mouseDoubleClickEvent(event);
}

bool CListCtrlEx::AppendRow(int rowCount, int columnCount)
{
    return false;
}

// Returns true when the Tab is used up; false lets it move the focus on to
// the next control of the window.
bool CListCtrlEx::HandleTabKey(bool backward)
{
    bool appended = false;
    if (!backward && rowCount() == 0) {
        if (!AppendRow(0, columnCount()))
            return false;
        appended = true;
    }
    int row = m_currentRow;
    int column = m_currentColumn;
    if (!IsCellInside(row, column)) {
        row = backward ? rowCount() - 1 : 0;
        column = backward ? columnCount() - 1 : 0;
    } else {
        StepCell(row, column, backward);
    }
    for (;;) {
        if (!IsCellInside(row, column)) {
            const bool pastLastRow = !backward && row >= rowCount();
            if (!(pastLastRow && m_appendOnTab)) {
                SetCurrentCell(row, column);
                EndCellEdit(1);
                return false;
            }
            // At most one new row per Tab: rows that cannot be edited must
            // not make the grid append for ever.
            if (appended)
                return true;
            EndCellEdit(1);
            const int previousRows = rowCount();
            if (!AppendRow(previousRows, columnCount()))
                return true;
            appended = true;
            row = previousRows;
            column = 0;
            if (!IsCellInside(row, column))
                return true;
        }
        SetCurrentCell(row, column);
        if (BeginCellEdit(row, column))
            return true;
        StepCell(row, column, backward);
    }
}

void CListCtrlEx::StepCell(int& row, int& column, bool backward) const
{
    if (backward) {
        if (--column < 0) {
            column = columnCount() - 1;
            --row;
        }
    } else if (++column >= columnCount()) {
        column = 0;
        ++row;
    }
}

void CListCtrlEx::DeleteSelectedRows()
{
    std::vector<int> rows;
    for (const QModelIndex& index : selectionModel()->selectedRows())
        rows.push_back(index.row());
    std::sort(rows.begin(), rows.end(), std::greater<>());
    for (int row : rows)
        DeleteItem(row);
}

void CListCtrlEx::OnScrollBarAction()
{
    m_hook.PostEndEdit(1);
}

// ---------------------------------------------------------------- sorting

void CListCtrlEx::OnHeaderClicked(int column)
{
    SortByColumn(column, true);
    // The header turns its own arrow on every click; show the grid's state.
    ApplySortIndicator();
}

void CListCtrlEx::SortByColumn(int column, bool toggle)
{
    CellInfo* info = GetColumnInfo(column);
    constexpr int kDirections = kSortAscending | kSortDescending;
    if (!info || (info->m_sortFlags & (kDirections | kSortToggles)) == 0)
        return;
    if (info->m_sortFlags & kSortToggles) {
        if ((info->m_sortFlags & kDirections) == 0)
            info->m_sortFlags |= kSortDescending;
        if (toggle) {
            const int directions = info->m_sortFlags & kDirections;
            const int swapped = ((directions & kSortAscending) ? kSortDescending : 0)
                | ((directions & kSortDescending) ? kSortAscending : 0);
            info->m_sortFlags = (info->m_sortFlags & ~kDirections) | swapped;
        }
    }
    // The editor stands over a cell: finish with it before the rows move.
    EndCellEdit(1);

    m_sortColumn = column;
    m_sortAscending = (info->m_sortFlags & kSortAscending) != 0;
    std::vector<int> order(static_cast<std::size_t>(rowCount()));
    std::iota(order.begin(), order.end(), 0);
    MergeSortRows(order, [this, info](int a, int b) { return CompareRows(a, b, *info); });
    ReorderRows(order);
    ApplySortIndicator();
}

int CListCtrlEx::CompareRows(int rowA, int rowB, const CellInfo& sortInfo) const
{
    const int direction = (sortInfo.m_sortFlags & kSortAscending) ? 1 : -1;
    // The column's own callback serves its own sort only; a grid-wide one
    // serves every column.
    const CompareCallback& compare = m_compare ? m_compare : sortInfo.m_compare;
    if (compare) {
        const ItemData* recordA = GetItemData(rowA);
        const ItemData* recordB = GetItemData(rowB);
        const qintptr valueA = recordA ? recordA->m_value : 0;
        const qintptr valueB = recordB ? recordB->m_value : 0;
        const qintptr argument = m_compare ? m_compareArgument : 0;
        if (argument != 0)
            return compare(valueA, valueB, argument);
        return SignOf(compare(valueA, valueB, m_sortColumn)) * direction;
    }
    if ((sortInfo.m_sortFlags & (kSortAscending | kSortDescending)) == 0)
        return 0;
    const int byText = CompareCellTexts(GetItemText(rowA, sortInfo.m_column),
                                        GetItemText(rowB, sortInfo.m_column), sortInfo.m_sortType);
    return SignOf(byText) * direction;
}

// Moves the rows into `order` (order[i] = the old row that becomes row i),
// with their records and their selection.
void CListCtrlEx::ReorderRows(const std::vector<int>& order)
{
    const int rows = rowCount();
    const int columns = columnCount();
    std::vector<bool> selected(static_cast<std::size_t>(rows), false);
    for (const QModelIndex& index : selectionModel()->selectedRows())
        selected[static_cast<std::size_t>(index.row())] = true;

    std::vector<QTableWidgetItem*> rowItems(static_cast<std::size_t>(rows));
    std::vector<std::vector<QTableWidgetItem*>> cells(static_cast<std::size_t>(rows));
    for (int row = 0; row < rows; ++row) {
        rowItems[row] = takeVerticalHeaderItem(row);
        for (int column = 0; column < columns; ++column)
            cells[row].push_back(takeItem(row, column));
    }
    clearSelection();
    for (int row = 0; row < rows; ++row) {
        const auto from = static_cast<std::size_t>(order[static_cast<std::size_t>(row)]);
        if (rowItems[from])
            setVerticalHeaderItem(row, rowItems[from]);
        for (int column = 0; column < columns; ++column) {
            if (QTableWidgetItem* cell = cells[from][static_cast<std::size_t>(column)])
                setItem(row, column, cell);
        }
        if (selected[from])
            selectionModel()->select(model()->index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
}

void CListCtrlEx::ApplySortIndicator()
{
    QHeaderView* header = horizontalHeader();
    if (m_sortColumn < 0 || m_sortColumn >= columnCount()) {
        header->setSortIndicatorShown(false);
        header->setSortIndicator(-1, Qt::AscendingOrder);
        return;
    }
    header->setSortIndicatorShown(true);
    // The grid points the arrow up for ascending rows. QHeaderView draws
    // Qt::AscendingOrder as a downward arrow, so the order is given the
    // other way round.
    header->setSortIndicator(m_sortColumn, m_sortAscending ? Qt::DescendingOrder : Qt::AscendingOrder);
}

#include "params/CParameterTable.h"

#include "controls/CDigitsEdit.h"
#include "params/ParameterTableLayout.h"

#include <QComboBox>
#include <QHelpEvent>
#include <QLineEdit>
#include <QToolTip>

#include <algorithm>

namespace {

QColor ToColor(const RgbColour& colour)
{
    return QColor(colour.red, colour.green, colour.blue);
}

}  // namespace

CParameterTable::CParameterTable(QWidget* parent)
    : CListCtrlEx(parent)
{
    // The editors belong to the table's window; the grid borrows them over
    // the edited cell and hands them back when the edit ends.
    m_textEditor = new QLineEdit(this);
    m_textEditor->setObjectName(QStringLiteral("paramTextEditor"));
    m_textEditor->hide();
    m_choiceEditor = new QComboBox(this);
    m_choiceEditor->setObjectName(QStringLiteral("paramChoiceEditor"));
    m_choiceEditor->setMaxVisibleItems(12);
    m_choiceEditor->hide();
    m_digitsEditor = new CDigitsEdit(this);
    m_digitsEditor->setObjectName(QStringLiteral("paramDigitsEditor"));
    m_digitsEditor->hide();
    // 35 rows never fit beside the other controls; a fixed scroll bar also
    // keeps the width that FitColumns shares out from changing under it.
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
}

void CParameterTable::BuildParameterTable()
{
    DeleteAllItemData();
    DeleteAllItems();
    DeleteAllColumns();

    const auto& columns = ParameterTableColumns();
    for (int column = 0; column < static_cast<int>(columns.size()); ++column) {
        InsertColumn(column, columns[column].header, columns[column].width);
        if (columns[column].isLabel) {
            CellInfo* info = GetColumnInfoForChange(column);
            info->m_readOnly = true;
            info->m_bkColor = ToColor(kLabelBackground);
            info->m_textColor = ToColor(kLabelText);
        }
    }
    // Every cell without a descriptor of its own takes digits only.
    EditInfo& fallback = DefaultEditInfo();
    fallback.m_prepare = nullptr;
    fallback.m_commit = nullptr;
    fallback.m_editor = m_digitsEditor;

    const auto prepare = [this](QWidget* editor, int row, int column, QString& text, qintptr, CListCtrlEx*, int) {
        return PrepareCell(editor, row, column, text);
    };
    const auto commit = [this](QWidget* editor, int row, int column, QString& text, qintptr, CListCtrlEx*, int) {
        return CommitCell(editor, row, column, text);
    };

    for (int row = 0; row < kParameterTableRowCount; ++row) {
        InsertItem(row, QString());
        AttachItemData(row);
    }
    for (const ParameterTableRow& entry : ParameterTableRows()) {
        SetItemText(entry.row, entry.labelColumn, entry.label);
        switch (entry.editor) {
        case ParameterEditor::Heading: {
            SubItemData* value = GetSubItemDataForChange(entry.row, entry.valueColumn);
            value->m_bkColor = ToColor(kHeadingValueBackground);
            value->m_textColor = ToColor(kHeadingValueText);
            value->m_readOnly = true;
            value->m_editor = nullptr;
            SubItemData* label = GetSubItemDataForChange(entry.row, entry.labelColumn);
            label->m_bkColor = ToColor(kHeadingLabelBackground);
            label->m_textColor = ToColor(kHeadingLabelText);
            break;
        }
        case ParameterEditor::Text:
        case ParameterEditor::Choice: {
            SubItemData* value = GetSubItemDataForChange(entry.row, entry.valueColumn);
            value->m_prepare = prepare;
            value->m_commit = commit;
            value->m_editor = entry.editor == ParameterEditor::Text ? static_cast<QWidget*>(m_textEditor)
                                                                    : static_cast<QWidget*>(m_choiceEditor);
            break;
        }
        case ParameterEditor::Digits:
            break;
        }
    }
    FitColumns();
    viewport()->update();
}

bool CParameterTable::viewportEvent(QEvent* event)
{
    // A marked cell tells why it is marked; others show their text when
    // their column cuts it short.
    if (event->type() == QEvent::ToolTip) {
        const auto* help = static_cast<QHelpEvent*>(event);
        const QModelIndex cell = indexAt(help->pos());
        if (const QString note = cell.isValid() ? MarkNote(cell.row(), cell.column()) : QString(); !note.isEmpty()) {
            QToolTip::showText(help->globalPos(), note, viewport(), visualRect(cell));
            return true;
        }
    }
    const bool handled = CListCtrlEx::viewportEvent(event);
    if (event->type() == QEvent::Resize)
        FitColumns();
    return handled;
}

void CParameterTable::FitColumns()
{
    // The columns never go below their own widths (the table scrolls
    // instead); a wider table shares its extra width among them in the same
    // proportions, so long labels are cut short less often.
    const auto& columns = ParameterTableColumns();
    if (columnCount() != static_cast<int>(columns.size()))
        return;
    int total = 0;
    for (const ParameterTableColumn& column : columns)
        total += column.width;
    const int available = std::max(viewport()->width(), total);
    int used = 0;
    for (int column = 0; column < columnCount(); ++column) {
        const bool last = column + 1 == columnCount();
        const int width = last ? available - used : columns[column].width * available / total;
        setColumnWidth(column, width);
        used += width;
    }
}

void CParameterTable::LockCell(int row, int column)
{
    if (SubItemData* cell = GetSubItemDataForChange(row, column))
        cell->m_readOnly = true;
}

int CParameterTable::PrepareCell(QWidget* editor, int row, int column, QString& text)
{
    const ParameterTableRow* entry = FindParameterTableRow(row, column);
    if (!entry)
        return 1;
    if (editor == m_textEditor) {
        m_textEditor->setText(text);
    } else if (editor == m_choiceEditor) {
        m_choiceEditor->clear();
        m_choiceEditor->addItems(entry->choices);
        // Nothing is preselected: closing the list without a choice keeps
        // the cell as it was.
        m_choiceEditor->setCurrentIndex(-1);
    }
    return 1;
}

int CParameterTable::CommitCell(QWidget* editor, int row, int column, QString& text)
{
    Q_UNUSED(row);
    Q_UNUSED(column);
    if (editor == m_textEditor) {
        text = m_textEditor->text();
    } else if (editor == m_choiceEditor) {
        if (m_choiceEditor->currentIndex() >= 0)
            text = m_choiceEditor->currentText();
    }
    // The value is kept however the edit ended, Escape included.
    return 1;
}

// ---------------------------------------------------------------- marks

QColor CParameterTable::MarkBackground()
{
    // A light red that the label and value texts stay readable on.
    return QColor(255, 205, 205);
}

QColor CParameterTable::PendingMarkBackground()
{
    return QColor(255, 236, 179);
}

void CParameterTable::MarkItem(int row, int column, const QString& note, const QColor& background)
{
    const ParameterTableRow* entry = FindParameterTableRow(row, column);
    if (!entry)
        return;
    MarkCell(row, entry->labelColumn, note, background);
    MarkCell(row, entry->valueColumn, note, background);
    viewport()->update();
}

void CParameterTable::MarkCell(int row, int column, const QString& note, const QColor& background)
{
    const auto key = std::make_pair(row, column);
    if (auto marked = m_marks.find(key); marked != m_marks.end()) {
        marked->second.note = note;
        if (SubItemData* cell = GetSubItemData(row, column))
            cell->m_bkColor = background;
        return;
    }
    // Kept beside the cell, not on its item: a change of the item would
    // count as an edit of the cell. The cell keeps its text colour as it is drawn now; only the
    // background says it is marked.
    const QColor shownText = GetCellColors(row, column).text;
    SubItemData* cell = GetSubItemDataForChange(row, column);
    if (!cell)
        return;
    m_marks[key] = Mark{note, cell->m_bkColor, cell->m_textColor};
    cell->m_bkColor = background;
    cell->m_textColor = shownText;
}

void CParameterTable::ClearMarks()
{
    for (const auto& [key, mark] : m_marks) {
        if (SubItemData* cell = GetSubItemData(key.first, key.second)) {
            cell->m_bkColor = mark.background;
            cell->m_textColor = mark.text;
        }
    }
    m_marks.clear();
    viewport()->update();
}

QString CParameterTable::MarkNote(int row, int column) const
{
    const auto marked = m_marks.find(std::make_pair(row, column));
    return marked == m_marks.end() ? QString() : marked->second.note;
}

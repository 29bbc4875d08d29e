#include "controls/CReportCtrl.h"

#include "controls/CReportHeaderCtrl.h"

#include <QDate>
#include <QDateTime>
#include <QFontMetrics>
#include <QLocale>
#include <QSet>
#include <QTime>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <numeric>

namespace {

// The row's record lives in its column-0 cell, so it goes wherever the row
// goes and is freed together with the row.
constexpr int kRecordRole = Qt::UserRole + 1;

int Sign(int value)
{
    return (value > 0) - (value < 0);
}

bool IsNumberText(const QString& text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        const bool digit = c >= u'0' && c <= u'9';
        const bool leadingMinus = c == u'-' && i == 0 && text.size() >= 2;
        if (!digit && c != u'+' && !leadingMinus)
            return false;
    }
    return true;
}

bool IsDateText(const QString& text)
{
    const QLocale locale = QLocale::system();
    for (QLocale::FormatType format : {QLocale::ShortFormat, QLocale::LongFormat}) {
        if (locale.toDateTime(text, format).isValid() || locale.toDate(text, format).isValid()
            || locale.toTime(text, format).isValid())
            return true;
    }
    if (QDateTime::fromString(text, Qt::ISODate).isValid() || QDate::fromString(text, Qt::ISODate).isValid())
        return true;
    // Numeric forms people type whatever their locale says.
    static const char* const kForms[] = {"yyyy/M/d", "yyyy/M/d H:mm", "yyyy/M/d H:mm:ss",
                                         "yyyy-M-d", "yyyy-M-d H:mm", "yyyy-M-d H:mm:ss",
                                         "H:mm",     "H:mm:ss"};
    for (const char* form : kForms) {
        if (QDateTime::fromString(text, QString::fromLatin1(form)).isValid()
            || QTime::fromString(text, QString::fromLatin1(form)).isValid())
            return true;
    }
    return false;
}

// Leading part that reads as a number, like the C library reads it.
double NumberValue(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    return std::strtod(bytes.constData(), nullptr);
}

int CompareInOrder(const QString& first, const QString& second)
{
    if (first.isEmpty() || second.isEmpty())
        return Sign(first.compare(second, Qt::CaseSensitive));
    if (CReportCtrl::ClassifyText(first) == CReportCtrl::SortKind::Number) {
        const double a = NumberValue(first);
        const double b = NumberValue(second);
        return (a > b) - (a < b);
    }
    return Sign(first.compare(second, Qt::CaseSensitive));
}

// Stable merge sort that stays within bounds whatever the comparison says:
// the kind of a comparison depends on which text comes first, so a list of
// mixed texts need not be consistently ordered.
void MergeSort(std::vector<int>& order, const std::function<int(int, int)>& compare)
{
    std::vector<int> buffer(order.size());
    for (std::size_t width = 1; width < order.size(); width *= 2) {
        for (std::size_t left = 0; left < order.size(); left += 2 * width) {
            const std::size_t middle = std::min(left + width, order.size());
            const std::size_t right = std::min(left + 2 * width, order.size());
            std::size_t i = left, j = middle, k = left;
            while (i < middle && j < right)
                buffer[k++] = compare(order[i], order[j]) > 0 ? order[j++] : order[i++];
            while (i < middle)
                buffer[k++] = order[i++];
            while (j < right)
                buffer[k++] = order[j++];
        }
        order.swap(buffer);
    }
}

}  // namespace

CReportCtrl::CReportCtrl(QWidget* parent) : QTableWidget(parent)
{
    m_header = new CReportHeaderCtrl(this);
    setHorizontalHeader(m_header);
    m_header->setStretchLastSection(false);
    verticalHeader()->hide();
    verticalHeader()->setDefaultSectionSize(QFontMetrics(font()).height() + 6);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Tab moves the focus to the next control, as in any list of a dialog.
    setTabKeyNavigation(false);
    setWordWrap(false);
    setShowGrid(false);
    setSortingEnabled(false);
    connect(m_header, &QHeaderView::sectionClicked, this, &CReportCtrl::OnHeaderClicked);
}

CReportCtrl::~CReportCtrl() = default;

int CReportCtrl::InsertColumn(int index, const QString& title, Qt::Alignment alignment, int width)
{
    const int column = std::clamp(index, 0, columnCount());
    insertColumn(column);
    auto* headerItem = new QTableWidgetItem(title);
    headerItem->setTextAlignment(alignment | Qt::AlignVCenter);
    setHorizontalHeaderItem(column, headerItem);
    setColumnWidth(column, width);
    m_columnAlignments.insert(m_columnAlignments.begin() + column, alignment);
    m_header->ShiftOwnerDrawn(column);
    if (m_sortColumn >= column)
        ++m_sortColumn;
    for (int row = 0; row < rowCount(); ++row) {
        QTableWidgetItem* first = item(row, 0);
        if (!first || !first->data(kRecordRole).isValid())
            continue;
        RowRecord record = first->data(kRecordRole).value<RowRecord>();
        record.texts.insert(std::min<qsizetype>(column, record.texts.size()), QString());
        first->setData(kRecordRole, QVariant::fromValue(record));
    }
    return column;
}

QTableWidgetItem* CReportCtrl::MakeCell(const QString& text, int column) const
{
    auto* cell = new QTableWidgetItem(text);
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (column == 0 && m_checkBoxes) {
        flags |= Qt::ItemIsUserCheckable;
        cell->setCheckState(Qt::Unchecked);
    }
    cell->setFlags(flags);
    const Qt::Alignment alignment =
        column < int(m_columnAlignments.size()) ? m_columnAlignments[column] : Qt::AlignLeft;
    cell->setTextAlignment(alignment | Qt::AlignVCenter);
    return cell;
}

int CReportCtrl::InsertRow(int index, const QStringList& texts)
{
    if (index < 0 || columnCount() == 0)
        return -1;
    const int row = std::min(index, rowCount());
    insertRow(row);
    RowRecord record;
    for (int column = 0; column < columnCount(); ++column) {
        const QString text = column < texts.size() ? texts.at(column) : QString();
        setItem(row, column, MakeCell(text, column));
        record.texts.append(text);
    }
    item(row, 0)->setData(kRecordRole, QVariant::fromValue(record));
    return row;
}

int CReportCtrl::RemoveAllRows()
{
    const int removed = rowCount();
    setRowCount(0);
    // Rows added from now on come in their own order: a triangle left from
    // an earlier sort would claim an order the rows no longer have.
    m_sortColumn = -1;
    m_ascending = true;
    m_header->viewport()->update();
    return removed;
}

bool CReportCtrl::RefreshRowRecord(int row)
{
    QTableWidgetItem* first = (row >= 0 && row < rowCount()) ? item(row, 0) : nullptr;
    if (!first || !first->data(kRecordRole).isValid())
        return false;
    RowRecord record = first->data(kRecordRole).value<RowRecord>();
    record.texts.clear();
    for (int column = 0; column < columnCount(); ++column)
        record.texts.append(ItemText(row, column));
    first->setData(kRecordRole, QVariant::fromValue(record));
    return true;
}

QString CReportCtrl::ItemText(int row, int column) const
{
    const QTableWidgetItem* cell = item(row, column);
    return cell ? cell->text() : QString();
}

bool CReportCtrl::SetItemText(int row, int column, const QString& text)
{
    if (row < 0 || row >= rowCount() || column < 0 || column >= columnCount())
        return false;
    if (QTableWidgetItem* cell = item(row, column))
        cell->setText(text);
    else
        setItem(row, column, MakeCell(text, column));
    return true;
}

bool CReportCtrl::GetRowRecord(int row, RowRecord& record) const
{
    const QTableWidgetItem* first = (row >= 0 && row < rowCount()) ? item(row, 0) : nullptr;
    if (!first || !first->data(kRecordRole).isValid())
        return false;
    record = first->data(kRecordRole).value<RowRecord>();
    return true;
}

std::uint32_t CReportCtrl::RowValue(int row) const
{
    RowRecord record;
    return GetRowRecord(row, record) ? record.value : 0;
}

bool CReportCtrl::SetRowValue(int row, std::uint32_t value)
{
    RowRecord record;
    if (!GetRowRecord(row, record))
        return false;
    record.value = value;
    item(row, 0)->setData(kRecordRole, QVariant::fromValue(record));
    return true;
}

void CReportCtrl::SetCheckBoxes(bool on)
{
    m_checkBoxes = on;
    for (int row = 0; row < rowCount(); ++row) {
        QTableWidgetItem* first = item(row, 0);
        if (!first)
            continue;
        if (on) {
            first->setFlags(first->flags() | Qt::ItemIsUserCheckable);
            if (!first->data(Qt::CheckStateRole).isValid())
                first->setCheckState(Qt::Unchecked);
        } else {
            first->setFlags(first->flags() & ~Qt::ItemIsUserCheckable);
            first->setData(Qt::CheckStateRole, QVariant());
        }
    }
}

bool CReportCtrl::GetCheck(int row) const
{
    const QTableWidgetItem* first = (m_checkBoxes && row >= 0 && row < rowCount()) ? item(row, 0) : nullptr;
    return first && first->checkState() == Qt::Checked;
}

bool CReportCtrl::SetCheck(int row, bool checked)
{
    QTableWidgetItem* first = (m_checkBoxes && row >= 0 && row < rowCount()) ? item(row, 0) : nullptr;
    if (!first)
        return false;
    first->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
    return true;
}

void CReportCtrl::SetGridLines(bool on)
{
    setShowGrid(on);
}

void CReportCtrl::SortByColumn(int column)
{
    OnHeaderClicked(column);
}

void CReportCtrl::OnHeaderClicked(int column)
{
    if (column < 0 || column >= columnCount())
        return;
    if (column == m_sortColumn) {
        m_ascending = !m_ascending;
    } else {
        m_sortColumn = column;
        m_ascending = true;
    }
    m_header->SetOwnerDrawn(column);
    SortRows();
}

CReportCtrl::SortKind CReportCtrl::ClassifyText(const QString& text)
{
    if (text.isEmpty())
        return SortKind::Text;
    if (IsNumberText(text))
        return SortKind::Number;
    if (IsDateText(text))
        return SortKind::Date;
    return SortKind::Text;
}

int CReportCtrl::CompareTexts(const QString& first, const QString& second, bool ascending)
{
    const QString a = first.trimmed();
    const QString b = second.trimmed();
    // Descending order compares the other way round, the kind then being
    // decided by the other text.
    return ascending ? CompareInOrder(a, b) : CompareInOrder(b, a);
}

QString CReportCtrl::SortText(int row) const
{
    RowRecord record;
    if (GetRowRecord(row, record))
        return m_sortColumn < record.texts.size() ? record.texts.at(m_sortColumn) : QString();
    // A row put in through the plain table interface has no record: its cell is all there is.
    return ItemText(row, m_sortColumn);
}

void CReportCtrl::SortRows()
{
    const int rows = rowCount();
    const int columns = columnCount();
    std::vector<QString> keys(rows);
    for (int row = 0; row < rows; ++row)
        keys[row] = SortText(row);
    std::vector<int> order(rows);
    std::iota(order.begin(), order.end(), 0);
    MergeSort(order, [&](int a, int b) { return CompareTexts(keys[a], keys[b], m_ascending); });
    if (std::is_sorted(order.begin(), order.end()))
        return;

    // Cells keep their check state and record when they move; selection and
    // the current row follow their cells.
    const QList<QTableWidgetItem*> selected = selectedItems();
    QTableWidgetItem* current = currentItem();
    clearSelection();
    std::vector<std::vector<QTableWidgetItem*>> taken(rows, std::vector<QTableWidgetItem*>(columns));
    for (int row = 0; row < rows; ++row)
        for (int column = 0; column < columns; ++column)
            taken[row][column] = takeItem(row, column);
    for (int row = 0; row < rows; ++row)
        for (int column = 0; column < columns; ++column)
            if (taken[order[row]][column])
                setItem(row, column, taken[order[row]][column]);
    for (QTableWidgetItem* cell : selected)
        cell->setSelected(true);
    if (current)
        setCurrentItem(current, QItemSelectionModel::NoUpdate);
}

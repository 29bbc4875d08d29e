#pragma once

#include <QMetaType>
#include <QString>
#include <QStringList>
#include <QTableWidget>

#include <cstdint>
#include <vector>

class CReportHeaderCtrl;

// A report-style list: full-row selection, optional grid lines and per-row
// check boxes. Every row carries a record with a copy of its texts, and a
// click on a column header sorts the rows by those copies (numbers by value,
// everything else as text), the header showing the direction as a triangle.
// Sorting changes only the order of the rows in the view.
// UI thread only; other threads reach it through queued invocations.
class CReportCtrl : public QTableWidget {
    Q_OBJECT
public:
    // The record a row carries from insertion until it is removed.
    struct RowRecord {
        QStringList texts;          // one per column, in column order
        std::uint32_t value = 0;    // the application's value for the row
    };

    // What the first text of a comparison looks like; decides how two rows compare.
    enum class SortKind { Number, Date, Text };

    // Index that appends a row after the last one.
    static constexpr int kAppendIndex = 2147483647;

    explicit CReportCtrl(QWidget* parent = nullptr);
    ~CReportCtrl() override;

    // Adds a column at `index` (clamped to the end); returns its index.
    int InsertColumn(int index, const QString& title, Qt::Alignment alignment, int width);

    // Inserts a row at `index` (kAppendIndex or anything past the end appends)
    // with one text per column (missing texts count as empty, extra ones are
    // ignored). Returns the new row's index, or -1 when the row cannot be
    // inserted (negative index, no columns).
    int InsertRow(int index, const QStringList& texts);
    // Removes every row with its record and forgets the sort column (no
    // triangle is shown until a header is clicked again); returns how many
    // rows there were.
    int RemoveAllRows();
    // Copies the row's current cell texts into its record; false when the
    // row does not exist or carries no record.
    bool RefreshRowRecord(int row);

    QString ItemText(int row, int column) const;
    bool SetItemText(int row, int column, const QString& text);
    // The row's record; false when the row does not exist or carries none.
    bool GetRowRecord(int row, RowRecord& record) const;
    std::uint32_t RowValue(int row) const;
    bool SetRowValue(int row, std::uint32_t value);

    // Check boxes: rows inserted while they are on start unticked.
    void SetCheckBoxes(bool on);
    bool HasCheckBoxes() const { return m_checkBoxes; }
    bool GetCheck(int row) const;
    bool SetCheck(int row, bool checked);

    void SetGridLines(bool on);
    bool HasGridLines() const { return showGrid(); }

    CReportHeaderCtrl* HeaderCtrl() const { return m_header; }
    int SortColumn() const { return m_sortColumn; }
    bool IsSortAscending() const { return m_ascending; }

    // Same as clicking the header of `column`; columns that do not exist are ignored.
    void SortByColumn(int column);

    static SortKind ClassifyText(const QString& text);
    // Compares two cell texts the way a header click does: -1, 0 or +1 in
    // ascending order, reversed when `ascending` is false.
    static int CompareTexts(const QString& first, const QString& second, bool ascending);

private:
    void OnHeaderClicked(int column);
    void SortRows();
    QString SortText(int row) const;
    QTableWidgetItem* MakeCell(const QString& text, int column) const;

    CReportHeaderCtrl* m_header = nullptr;
    std::vector<Qt::Alignment> m_columnAlignments;
    int m_sortColumn = -1;
    bool m_ascending = true;
    bool m_checkBoxes = false;
};

Q_DECLARE_METATYPE(CReportCtrl::RowRecord)

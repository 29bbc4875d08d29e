#pragma once

#include "controls/CListCtrlEx.h"

#include <QColor>
#include <QString>

#include <map>
#include <utility>

class CDigitsEdit;
class QComboBox;
class QLineEdit;

// The parameter table of the main window: two halves of item labels and
// values with group headings, edited in place with a text box, a choice
// list or the digits-only box. The table is where edited values live until
// they are saved; the device side reads and writes its value cells through
// the window.
class CParameterTable : public CListCtrlEx {
    Q_OBJECT
public:
    explicit CParameterTable(QWidget* parent = nullptr);

    // Builds columns, rows, labels, colours and editors. Run once.
    void BuildParameterTable();

    QString CellText(int row, int column) const { return GetItemText(row, column); }
    void SetCellText(int row, int column, const QString& text) { SetItemText(row, column, text); }
    // Makes a value cell read-only for good.
    void LockCell(int row, int column);

    // Marks of the items that deviate from something (a project profile):
    // the row of one item, its label and its value cell, takes the mark's
    // background, and the note is the value cell's and label's tooltip.
    // Marking a value cell again replaces its note. (row, column) is the
    // item's value cell.
    void MarkItem(int row, int column, const QString& note, const QColor& background = MarkBackground());
    // Every mark goes; the cells take their own colours again.
    void ClearMarks();
    // The note of a marked cell (label or value), empty when it is not.
    QString MarkNote(int row, int column) const;
    int MarkCount() const { return static_cast<int>(m_marks.size()); }
    static QColor MarkBackground();
    // A deviation that is still to be put right and does not count yet.
    static QColor PendingMarkBackground();

    QLineEdit* TextEditor() const { return m_textEditor; }
    QComboBox* ChoiceEditor() const { return m_choiceEditor; }
    CDigitsEdit* DigitsEditor() const { return m_digitsEditor; }

protected:
    bool viewportEvent(QEvent* event) override;

private:
    void FitColumns();
    int PrepareCell(QWidget* editor, int row, int column, QString& text);
    int CommitCell(QWidget* editor, int row, int column, QString& text);

    // A marked cell's colours as it had them before, to give back.
    struct Mark {
        QString note;
        QColor background;
        QColor text;
    };
    void MarkCell(int row, int column, const QString& note, const QColor& background);
    std::map<std::pair<int, int>, Mark> m_marks;

    QLineEdit* m_textEditor = nullptr;
    QComboBox* m_choiceEditor = nullptr;
    CDigitsEdit* m_digitsEditor = nullptr;
};

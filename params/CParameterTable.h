#pragma once

#include "controls/CListCtrlEx.h"

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

    QLineEdit* TextEditor() const { return m_textEditor; }
    QComboBox* ChoiceEditor() const { return m_choiceEditor; }
    CDigitsEdit* DigitsEditor() const { return m_digitsEditor; }

protected:
    bool viewportEvent(QEvent* event) override;

private:
    void FitColumns();
    int PrepareCell(QWidget* editor, int row, int column, QString& text);
    int CommitCell(QWidget* editor, int row, int column, QString& text);

    QLineEdit* m_textEditor = nullptr;
    QComboBox* m_choiceEditor = nullptr;
    CDigitsEdit* m_digitsEditor = nullptr;
};

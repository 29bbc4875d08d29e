#pragma once

#include "controls/CDigitsEdit.h"
#include "controls/CListCtrlEx.h"

#include <QComboBox>
#include <QDateTimeEdit>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QStringList>
#include <QWidget>

#include <vector>

// A window laid out like the program's parameter page: a control before the
// grid, the grid, a control after it, and the hidden editors the grid
// borrows (text box, choice list, digits box, date editor).
class GridTestWindow : public QWidget {
public:
    enum class Kind { Heading, Text, Choice, Digits, Date };
    struct Entry {
        int row;
        int labelColumn;
        QString label;
        Kind kind;
        QStringList choices;
    };

    explicit GridTestWindow(CListCtrlEx* grid = nullptr);

    // Four columns (label, value, label, value) with heading rows, grey
    // label columns, and the editors registered per cell the way the
    // program's parameter table registers them; the digits box is the
    // grid's default editor.
    void BuildParameterTable();
    // Shows the window and makes it the active window, so that focus
    // changes happen as they do on a desktop.
    bool ShowAndActivate();

    QPoint CellCenter(int row, int column) const;
    void DoubleClickCell(int row, int column);
    void ClickCell(int row, int column);
    // Spins the event loop until no edit is active (or a second is up).
    bool WaitEditEnded() const;

    // Which way the sort arrow in a header section points, read from the
    // drawn pixels: 1 up, -1 down, 0 no arrow.
    static int SortArrowDirection(QHeaderView* header, int section);

    static const std::vector<Entry>& Entries();
    static constexpr int kRows = 12;
    static constexpr QColor LabelGrey() { return QColor(240, 240, 240); }

    QLineEdit* m_before = nullptr;
    CListCtrlEx* m_grid = nullptr;
    QPushButton* m_after = nullptr;
    QLineEdit* m_textBox = nullptr;
    QComboBox* m_choiceList = nullptr;
    CDigitsEdit* m_digitsBox = nullptr;
    QDateTimeEdit* m_dateEdit = nullptr;

    // The accept flags the commit callback was called with, in call order.
    std::vector<int> m_commitFlags;

private:
    int Prepare(QWidget* editor, int row, int column, QString& text);
    int Commit(QWidget* editor, int row, int column, QString& text, int flag);
    const Entry* EntryAt(int row, int valueColumn) const;
};

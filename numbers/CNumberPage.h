#pragma once

#include <QString>
#include <QStringList>
#include <QWidget>

class CReportCtrl;

// A tab page showing one number list: a single report list filling the page
// with one column titled with the list's name, grid lines and a check box
// per row that marks the number for deletion. The page is a view; the
// stored list it shows lives elsewhere.
class CNumberPage : public QWidget {
    Q_OBJECT
public:
    static constexpr int kColumnWidth = 180;

    CNumberPage(int category, QWidget* parent = nullptr);

    int Category() const { return m_category; }
    QString Title() const;
    CReportCtrl* List() const { return m_list; }

    // Removes every row; returns how many there were.
    int RemoveAllNumbers();
    // Adds an unticked row at the end; returns its index (-1 on failure).
    int AppendNumber(const QString& number);
    // The numbers of all rows / of the ticked rows, in the order shown.
    QStringList Numbers() const;
    QStringList CheckedNumbers() const;

protected:
    // Enter and Escape do nothing here: the page is part of a window and
    // must never close it or itself.
    void keyPressEvent(QKeyEvent* event) override;

private:
    int m_category = 0;
    CReportCtrl* m_list = nullptr;
};

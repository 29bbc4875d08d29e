#pragma once

#include <QDialog>
#include <QStringList>

class QLabel;
class QListWidget;
class QPushButton;

// Before a configuration file is applied: what it would change on the
// terminal, one line per item, for the technician to accept (确定) or
// refuse (取消). When nothing would change it says so and still asks.
class CChangePreviewDlg : public QDialog {
    Q_OBJECT
public:
    explicit CChangePreviewDlg(const QStringList& changes, QWidget* parent = nullptr);

    // Shows the dialog modally, or asks the handler MessageBoxes has (tests,
    // batch runs) with a Confirm request captioned like the dialog. True to
    // go on with the file.
    static bool Confirm(QWidget* parent, const QStringList& changes);

    // The dialog's title and the text above the list.
    static QString Title();
    static QString Heading(const QStringList& changes);

    QListWidget* ChangeList() const { return m_list; }
    QPushButton* OkButton() const { return m_ok; }
    QPushButton* CancelButton() const { return m_cancel; }

private:
    QLabel* m_heading = nullptr;
    QListWidget* m_list = nullptr;
    QPushButton* m_ok = nullptr;
    QPushButton* m_cancel = nullptr;
};

#pragma once

#include <QDialog>
#include <QStringList>

#include <optional>
#include <vector>

class QLabel;
class QListWidget;
class QPushButton;

// Before a configuration file is applied: what it would change on the
// terminal, one line per item, for the technician to accept (确定) or
// refuse (取消). When nothing would change it says so and still asks.
// Each line has a check box; only the ticked changes are sent.
class CChangePreviewDlg : public QDialog {
    Q_OBJECT
public:
    explicit CChangePreviewDlg(const QStringList& changes, QWidget* parent = nullptr);
    // With the changes ticked as `ticks` says (all ticked when it is empty).
    CChangePreviewDlg(const QStringList& changes, const std::vector<bool>& ticks, QWidget* parent = nullptr);

    // Beyond a file's changes: a title of its own, and lines listed under
    // the changes without a tick (what cannot be sent, and why).
    struct Extras {
        QString title;
        QString heading;
        QString notesHeading;
        QStringList notes;
    };
    CChangePreviewDlg(const QStringList& changes, const std::vector<bool>& ticks, const Extras& extras,
                      QWidget* parent = nullptr);

    // Shows the dialog modally with the changes ticked as `ticks` says and
    // leaves them as the user did, or asks the handler MessageBoxes has
    // (tests, batch runs), whose reply may untick. True to go on with the
    // ticked changes.
    static bool Choose(QWidget* parent, const QStringList& changes, std::vector<bool>& ticks,
                       const Extras& extras = {});
    // Which changes are ticked, in the order listed.
    std::vector<bool> Ticks() const;

    // Shows the dialog modally, or asks the handler MessageBoxes has (tests,
    // batch runs) with a Confirm request captioned like the dialog. True to
    // go on with the file.
    static bool Confirm(QWidget* parent, const QStringList& changes);

    // The dialog's title and the text above the list.
    static QString Title();
    static QString Heading(const QStringList& changes);

    QListWidget* ChangeList() const { return m_list; }
    QListWidget* NoteList() const { return m_notes; }
    QPushButton* OkButton() const { return m_ok; }
    QPushButton* CancelButton() const { return m_cancel; }

private:
    // The answer of the handler MessageBoxes has, and the ticks it left
    // (when `ticks` is given); nothing without a handler.
    static std::optional<bool> HandlerAnswer(const QStringList& changes, std::vector<bool>* ticks = nullptr,
                                             const Extras& extras = {});

    QLabel* m_heading = nullptr;
    QListWidget* m_list = nullptr;
    QListWidget* m_notes = nullptr;
    QPushButton* m_ok = nullptr;
    QPushButton* m_cancel = nullptr;
};

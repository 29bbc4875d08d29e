#pragma once

#include "terminal/CCommandLibrary.h"

#include <QDialog>

class QComboBox;
class QLineEdit;
class QListWidget;
class QPushButton;
class QSpinBox;
class QTableWidget;

// The command library's editor: the commands with their frame previewed
// in hex as they are edited, the sequences with a table of steps, import
// and export. It works on the library it is given and saves through it
// (CCommandLibrary::Store) after every accepted change. An edit that
// breaks the library's rules is refused with a message; the form keeps
// what was typed and the library stays as it was.
//
// 发送 and 运行 only ask: the window connects sendCommandRequested and
// runSequenceRequested and looks the name up in the library.
class CCommandLibraryDlg : public QDialog {
    Q_OBJECT
public:
    explicit CCommandLibraryDlg(CCommandLibrary& library, QWidget* parent = nullptr);

    // The frame of the command as edited now ("01 03 0A"), or why there is
    // none; what the 发送的字节 box shows.
    QString PreviewText() const;
    // Applies the form being edited (if changed); false after a message.
    bool ApplyPendingEdits();

signals:
    void sendCommandRequested(const QString& name);
    void runSequenceRequested(const QString& name);

private:
    QWidget* CreateCommandPage();
    QWidget* CreateSequencePage();
    void Name(QWidget* widget, const QString& accessibleName);

    // Commands.
    void FillCommandList(const QString& select);
    void ShowCommand(int row);
    TerminalCommand EditedCommand() const;
    bool ApplyCommand();
    void OnCommandRowChanged(int row);
    void NewCommand(const TerminalCommand& command);
    void DeleteCommand();
    void UpdatePreview();

    // Sequences.
    void FillSequenceList(const QString& select);
    void ShowSequence(int row);
    CommandSequence EditedSequence() const;
    bool ApplySequence();
    void OnSequenceRowChanged(int row);
    void NewSequence(const CommandSequence& sequence);
    void DeleteSequence();
    void SetStepRows(const QList<SequenceStep>& steps);
    void AddStepRow(int row, const SequenceStep& step);
    SequenceStep StepAt(int row) const;
    void MoveStep(int delta);

    void Import();
    void Export();
    // Saves the library to its file; a failure is said, the change stays.
    void Store();
    void Tell(const QString& text, bool problem);

    CCommandLibrary& m_library;
    // Which entry the form shows (-1: none) and whether it was changed.
    int m_commandRow = -1;
    int m_sequenceRow = -1;
    bool m_commandEdited = false;
    bool m_sequenceEdited = false;
    // Set while the form is filled from the library, so that filling is
    // not taken for an edit.
    bool m_filling = false;

    QListWidget* m_commandList = nullptr;
    QLineEdit* m_nameEdit = nullptr;
    QLineEdit* m_contentEdit = nullptr;
    QComboBox* m_contentKindBox = nullptr;
    QComboBox* m_lineEndBox = nullptr;
    QComboBox* m_checkBox = nullptr;
    QComboBox* m_orderBox = nullptr;
    QComboBox* m_shortcutBox = nullptr;
    QLineEdit* m_previewEdit = nullptr;
    QList<QWidget*> m_commandForm;

    QListWidget* m_sequenceList = nullptr;
    QLineEdit* m_sequenceNameEdit = nullptr;
    QSpinBox* m_repeatBox = nullptr;
    QTableWidget* m_stepTable = nullptr;
    QList<QWidget*> m_sequenceForm;
};

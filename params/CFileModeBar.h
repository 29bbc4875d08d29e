#pragma once

#include "params/CConfigDocument.h"
#include "params/NumberList.h"

#include <QStringList>
#include <QWidget>

#include <array>
#include <functional>
#include <map>
#include <optional>
#include <utility>

class CParameterTable;
class QLabel;
class QPushButton;
class QTableWidgetItem;

// The row above the parameter table that shows a configuration file in the
// table without a terminal: 打开配置文件… puts a .cfg file's values into the
// table and its number lists into the number pages, edits in the table go
// into the file with the checks 保存设置 makes, and 另存为配置文件… writes it.
// While a file is shown the row says so, and that the device commands act
// on the attached terminal, not on the file. 关闭文件 (or a terminal caught
// meanwhile) puts the terminal's values back; unsaved edits are asked about
// first.
class CFileModeBar : public QWidget {
    Q_OBJECT
public:
    struct NumberPages {
        std::function<QStringList(int category)> read;
        std::function<void(int category, const QStringList& numbers)> write;
    };

    CFileModeBar(CParameterTable& table, NumberPages pages, QWidget* parent = nullptr);

    // Opens a file's bytes under a name (a .cfg file, or a stored report);
    // the reason when they cannot be shown.
    std::optional<QString> OpenDocument(const QByteArray& bytes, const QString& displayName);
    bool IsFileShown() const { return m_shown; }
    const CConfigDocument& Document() const { return m_document; }

    // The device is about to show the terminal's values. True to let it:
    // no file is shown, or the file is closed (after asking, when it has
    // unsaved edits). False keeps the file in the table for this refresh.
    bool AcceptTerminalValues();

    // Add, delete or reset on a number page while a file is shown: changes
    // the file's list with the checks of the number pages, shows a refusal
    // and returns true; false when no file is shown (the terminal's turn).
    // A delete takes `ticked`: the ticked rows of the three pages.
    bool EditNumbers(NumberListEdit edit, int category, const QStringList& numbers, const std::array<QStringList, 3>& ticked);

    // "配置文件 site.cfg" (with "*" when edited), empty when none is shown:
    // the window adds it to its title.
    QString TitleSuffix() const;

    QPushButton* OpenButton() const { return m_openButton; }
    QPushButton* SaveAsButton() const { return m_saveAsButton; }
    QPushButton* CloseButton() const { return m_closeButton; }
    QLabel* Line() const { return m_line; }

signals:
    // The file shown, or its edited state, changed.
    void fileStateChanged();

private:
    void OnOpenClicked();
    void OnSaveAsClicked();
    void OnCloseClicked();
    void OnCellChanged(QTableWidgetItem* item);
    void ShowDocument();
    void CloseFile();
    bool MayDropEdits(const QString& question);
    void UpdateState();

    CParameterTable& m_table;
    NumberPages m_pages;
    CConfigDocument m_document;
    bool m_shown = false;
    bool m_filling = false;
    std::optional<bool> m_refreshAnswer;
    // What the table and pages showed before the file: back on close.
    std::map<std::pair<int, int>, QString> m_terminalCells;
    std::array<QStringList, 3> m_terminalPages;

    QLabel* m_line = nullptr;
    QPushButton* m_openButton = nullptr;
    QPushButton* m_saveAsButton = nullptr;
    QPushButton* m_closeButton = nullptr;
};

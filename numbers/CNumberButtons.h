#pragma once

#include <QObject>
#include <QPointer>

class CNumberCommands;
class CTabSheet;
class QAbstractButton;
class QWidget;

// What the number buttons of the main window do on the UI thread: 添加,
// 删除, 重置 and 车载台/FM发射机上电测试. Add and reset record the tab page
// shown as the dialogs' default category and run their dialog modally;
// delete asks for confirmation of the ticked numbers; each then hands the
// request to CNumberCommands, which queues the task.
class CNumberButtons : public QObject {
    Q_OBJECT
public:
    // `tabs` shows the three number pages in category order; dialogs and
    // boxes belong to `dialogParent`, which also owns this object.
    CNumberButtons(CNumberCommands& commands, CTabSheet* tabs, QWidget* dialogParent);

    // Connects the four buttons' clicked signals to the handlers below.
    void Connect(QAbstractButton* add, QAbstractButton* remove, QAbstractButton* reset, QAbstractButton* powerTest);

    void OnAdd();
    void OnDelete();
    void OnReset();
    void OnPowerTest();

private:
    void RecordShownTab();

    CNumberCommands& m_commands;
    QPointer<CTabSheet> m_tabs;
    QPointer<QWidget> m_dialogParent;
};

#include "numbers/CNumberButtons.h"

#include "controls/CTabSheet.h"
#include "controls/MessageBoxes.h"
#include "numbers/CNumberCommands.h"
#include "numbers/CPhoneClearDlg.h"
#include "numbers/CResetPhone.h"
#include "numbers/NumberCategory.h"

#include <QAbstractButton>

CNumberButtons::CNumberButtons(CNumberCommands& commands, CTabSheet* tabs, QWidget* dialogParent)
    : QObject(dialogParent), m_commands(commands), m_tabs(tabs), m_dialogParent(dialogParent)
{
}

void CNumberButtons::Connect(QAbstractButton* add, QAbstractButton* remove, QAbstractButton* reset,
                             QAbstractButton* powerTest)
{
    connect(add, &QAbstractButton::clicked, this, &CNumberButtons::OnAdd);
    connect(remove, &QAbstractButton::clicked, this, &CNumberButtons::OnDelete);
    connect(reset, &QAbstractButton::clicked, this, &CNumberButtons::OnReset);
    connect(powerTest, &QAbstractButton::clicked, this, &CNumberButtons::OnPowerTest);
}

void CNumberButtons::RecordShownTab()
{
    // The dialogs preselect the list whose page the user is looking at.
    NumberCategory::SetDefault(m_tabs ? m_tabs->CurrentPage() : -1);
}

void CNumberButtons::OnAdd()
{
    RecordShownTab();
    CResetPhone dialog(m_dialogParent);
    if (dialog.exec() != QDialog::Accepted)
        return;
    m_commands.RequestAdd(dialog.CategoryIndex(), dialog.NumberText());
}

void CNumberButtons::OnReset()
{
    RecordShownTab();
    CPhoneClearDlg dialog(m_dialogParent);
    if (dialog.exec() != QDialog::Accepted)
        return;
    m_commands.RequestReset(dialog.CategoryIndex());
}

void CNumberButtons::OnDelete()
{
    const QString confirmation = CNumberCommands::DeleteConfirmationText(m_commands.TickedNumbers());
    if (confirmation.isEmpty()) {
        MessageBoxes::Show(m_dialogParent, QStringLiteral("请选择要删除的号码"));
        return;
    }
    const MessageBoxes::Answer answer = MessageBoxes::Show(m_dialogParent, confirmation, QStringLiteral("YES"),
                                                           MessageBoxes::Buttons::YesNo,
                                                           MessageBoxes::Icon::Information);
    if (answer == MessageBoxes::Answer::Yes)
        m_commands.RequestDelete();
}

void CNumberButtons::OnPowerTest()
{
    m_commands.RequestPowerOnTest();
}

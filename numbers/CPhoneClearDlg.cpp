#include "numbers/CPhoneClearDlg.h"

#include "controls/MessageBoxes.h"
#include "numbers/NumberCategory.h"

CPhoneClearDlg::CPhoneClearDlg(QWidget* parent)
    : CNumberCategoryDlg(QStringLiteral("号码重置"), QStringLiteral("号码重置"), parent)
{
}

QString CPhoneClearDlg::Question(int category)
{
    switch (category) {
    case NumberCategory::kAdministrator: return QStringLiteral("重置将清空所有的管理号码，确认清空吗？");
    case NumberCategory::kAuthorised: return QStringLiteral("重置将清空所有的授权号码，确认清空吗？");
    case NumberCategory::kBackup: return QStringLiteral("重置将清空所有的备份号码，确认清空吗？");
    default: return {};
    }
}

void CPhoneClearDlg::HandleOk()
{
    m_categoryIndex = SelectedCategory();
    const QString question = Question(m_categoryIndex);
    if (question.isEmpty())
        return;
    const MessageBoxes::Answer answer = MessageBoxes::Show(this, question, QStringLiteral("YES"),
                                                           MessageBoxes::Buttons::YesNo,
                                                           MessageBoxes::Icon::Information);
    if (answer == MessageBoxes::Answer::Yes)
        accept();
}

#include "numbers/CResetPhone.h"

#include "controls/MessageBoxes.h"
#include "numbers/NumberEntryValidation.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>

CResetPhone::CResetPhone(QWidget* parent)
    : CNumberCategoryDlg(QStringLiteral("号码设置"), QStringLiteral("号码设置"), parent)
{
    QWidget* group = FieldsLayout()->parentWidget();
    m_numberEdit = new QLineEdit(group);
    m_numberEdit->setObjectName(QStringLiteral("numberEdit"));
    m_numberEdit->setMinimumWidth(240);
    auto* numberLabel = new QLabel(QStringLiteral("号码："), group);
    numberLabel->setBuddy(m_numberEdit);
    FieldsLayout()->addWidget(numberLabel, 1, 0);
    FieldsLayout()->addWidget(m_numberEdit, 1, 1);
    FieldsLayout()->addWidget(new QLabel(QStringLiteral("备注: 多个号码清用逗号隔开"), group), 2, 1);
    m_numberEdit->setFocus();
}

void CResetPhone::HandleOk()
{
    const int category = SelectedCategory();
    const NumberEntry::Result result = NumberEntry::Validate(m_numberEdit->text());
    if (result.error != NumberEntry::Error::None) {
        // Input errors are plain boxes of their own, not owned by the dialog.
        MessageBoxes::Show(nullptr, NumberEntry::Message(result.error));
        return;
    }
    m_categoryIndex = category;
    m_numberText = result.numberText;
    accept();
}

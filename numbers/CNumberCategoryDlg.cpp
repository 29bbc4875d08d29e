#include "numbers/CNumberCategoryDlg.h"

#include "numbers/NumberCategory.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

CNumberCategoryDlg::CNumberCategoryDlg(const QString& title, const QString& groupTitle, QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(title);

    m_categoryChoice = new QComboBox(this);
    m_categoryChoice->setObjectName(QStringLiteral("categoryChoice"));
    m_categoryChoice->setEditable(false);
    for (int category = 0; category < NumberCategory::kCount; ++category)
        m_categoryChoice->addItem(NumberCategory::Name(category));

    auto* group = new QGroupBox(groupTitle, this);
    m_fields = new QGridLayout(group);
    auto* categoryLabel = new QLabel(QStringLiteral("类别："), group);
    categoryLabel->setBuddy(m_categoryChoice);
    m_fields->addWidget(categoryLabel, 0, 0);
    m_fields->addWidget(m_categoryChoice, 0, 1);
    m_fields->setColumnStretch(1, 1);

    m_okButton = new QPushButton(QStringLiteral("确定"), this);
    m_okButton->setObjectName(QStringLiteral("okButton"));
    m_okButton->setDefault(true);
    m_cancelButton = new QPushButton(QStringLiteral("取消"), this);
    m_cancelButton->setObjectName(QStringLiteral("cancelButton"));
    m_cancelButton->setAutoDefault(false);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_okButton);
    buttons->addWidget(m_cancelButton);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addLayout(buttons);

    connect(m_okButton, &QPushButton::clicked, this, &CNumberCategoryDlg::OnOkClicked);
    connect(m_cancelButton, &QPushButton::clicked, this, &QDialog::reject);
    SelectDefaultCategory();
}

int CNumberCategoryDlg::SelectedCategory() const
{
    return m_categoryChoice->currentIndex();
}

void CNumberCategoryDlg::showEvent(QShowEvent* event)
{
    // Each opening starts from the default, like a dialog initialised anew.
    if (!event->spontaneous())
        SelectDefaultCategory();
    QDialog::showEvent(event);
}

void CNumberCategoryDlg::SelectDefaultCategory()
{
    const int category = NumberCategory::Default();
    m_categoryChoice->setCurrentIndex(NumberCategory::IsValid(category) ? category : -1);
}

void CNumberCategoryDlg::OnOkClicked()
{
    HandleOk();
}

#include "NumberButtonsHost.h"

#include "controls/CTabSheet.h"
#include "controls/MessageBoxes.h"
#include "numbers/CAdminNoDlg.h"
#include "numbers/CBackNoDlg.h"
#include "numbers/CLrmNoDlg.h"
#include "numbers/CNumberButtons.h"

#include <QGridLayout>
#include <QPushButton>

NumberButtonsHost::NumberButtonsHost(const Timing& timing)
    : m_adminPage(std::make_unique<CAdminNoDlg>()),
      m_authorisedPage(std::make_unique<CLrmNoDlg>()),
      m_backupPage(std::make_unique<CBackNoDlg>()),
      m_device(*this, timing)
{
    m_tabs = new CTabSheet(this);
    m_tabs->AddPage(m_adminPage->Title(), m_adminPage.get(), CAdminNoDlg::kTemplateId);
    m_tabs->AddPage(m_authorisedPage->Title(), m_authorisedPage.get(), CLrmNoDlg::kTemplateId);
    m_tabs->AddPage(m_backupPage->Title(), m_backupPage.get(), CBackNoDlg::kTemplateId);
    m_tabs->Show();

    m_add = new QPushButton(QStringLiteral("添加"), this);
    m_delete = new QPushButton(QStringLiteral("删除"), this);
    m_reset = new QPushButton(QStringLiteral("重置"), this);
    m_powerTest = new QPushButton(QStringLiteral("车载台/FM发射机上电测试"), this);
    auto* layout = new QGridLayout(this);
    layout->addWidget(m_tabs, 0, 0, 1, 3);
    layout->addWidget(m_add, 1, 0);
    layout->addWidget(m_delete, 1, 1);
    layout->addWidget(m_reset, 1, 2);
    layout->addWidget(m_powerTest, 2, 0, 1, 3);

    m_buttons = new CNumberButtons(m_commands, m_tabs, this);
    m_buttons->Connect(m_add, m_delete, m_reset, m_powerTest);
    m_device.Start();
}

NumberButtonsHost::~NumberButtonsHost()
{
    // The worker reports to this window and runs the number commands.
    m_device.Shutdown();
}

CNumberPage* NumberButtonsHost::Page(int category) const
{
    switch (category) {
    case 0: return m_adminPage.get();
    case 1: return m_authorisedPage.get();
    case 2: return m_backupPage.get();
    default: return nullptr;
    }
}

void NumberButtonsHost::SetBusy(bool isBusy)
{
    busy = isBusy;
    busyChanges << isBusy;
    for (QPushButton* button : {m_add, m_delete, m_reset, m_powerTest})
        button->setEnabled(!isBusy);
}

void NumberButtonsHost::ShowMessage(const QString& text)
{
    MessageBoxes::Show(this, text);
}

void NumberButtonsHost::ClearNumberPage(int category)
{
    if (CNumberPage* page = Page(category))
        page->RemoveAllNumbers();
}

void NumberButtonsHost::AppendNumberRow(int category, const QString& number)
{
    if (CNumberPage* page = Page(category))
        page->AppendNumber(number);
}

QStringList NumberButtonsHost::NumberRows(int category)
{
    const CNumberPage* page = Page(category);
    return page ? page->Numbers() : QStringList();
}

QStringList NumberButtonsHost::TickedNumbers(int category)
{
    const CNumberPage* page = Page(category);
    return page ? page->CheckedNumbers() : QStringList();
}

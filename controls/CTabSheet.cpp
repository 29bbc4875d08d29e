#include "controls/CTabSheet.h"

#include <QSignalBlocker>

CTabSheet::CTabSheet(QWidget* parent) : QTabWidget(parent)
{
    connect(this, &QTabWidget::currentChanged, this, &CTabSheet::OnCurrentChanged);
}

CTabSheet::~CTabSheet()
{
    // The pages belong to whoever added them: take them out before the tab
    // widget deletes its children.
    const QSignalBlocker blocker(this);
    clear();
    for (int index = 0; index < m_nPages; ++index) {
        if (QWidget* page = m_pages[index]) {
            page->hide();
            page->setParent(nullptr);
        }
    }
}

bool CTabSheet::AddPage(const QString& title, QWidget* page, int templateId)
{
    if (m_nPages >= kMaxPages || !page)
        return false;
    m_titles[m_nPages] = title;
    m_pages[m_nPages] = page;
    m_templateIds[m_nPages] = templateId;
    ++m_nPages;
    return true;
}

void CTabSheet::Show()
{
    {
        const QSignalBlocker blocker(this);
        // Pages are widgets already; a second Show() must not add their tabs again.
        clear();
        for (int index = 0; index < m_nPages; ++index) {
            if (m_pages[index])
                addTab(m_pages[index], m_titles[index]);
        }
        setCurrentIndex(0);
    }
    m_nCurrent = 0;
}

QWidget* CTabSheet::Page(int index) const
{
    return index >= 0 && index < m_nPages ? m_pages[index].data() : nullptr;
}

int CTabSheet::TemplateId(int index) const
{
    return index >= 0 && index < m_nPages ? m_templateIds[index] : 0;
}

void CTabSheet::OnCurrentChanged(int index)
{
    if (index >= 0)
        m_nCurrent = index;
}

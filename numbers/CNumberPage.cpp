#include "numbers/CNumberPage.h"

#include "controls/CReportCtrl.h"
#include "numbers/NumberCategory.h"

#include <QKeyEvent>
#include <QVBoxLayout>

CNumberPage::CNumberPage(int category, QWidget* parent) : QWidget(parent), m_category(category)
{
    m_list = new CReportCtrl(this);
    m_list->setObjectName(QStringLiteral("numberList"));
    // Named after its tab page, which is what a person reads above it.
    m_list->setAccessibleName(Title());
    m_list->SetGridLines(true);
    m_list->SetCheckBoxes(true);
    m_list->InsertColumn(0, Title(), Qt::AlignLeft, kColumnWidth);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_list);
}

QString CNumberPage::Title() const
{
    return NumberCategory::Name(m_category);
}

int CNumberPage::RemoveAllNumbers()
{
    return m_list->RemoveAllRows();
}

int CNumberPage::AppendNumber(const QString& number)
{
    return m_list->InsertRow(CReportCtrl::kAppendIndex, {number});
}

QStringList CNumberPage::Numbers() const
{
    QStringList numbers;
    for (int row = 0; row < m_list->rowCount(); ++row)
        numbers.append(m_list->ItemText(row, 0));
    return numbers;
}

QStringList CNumberPage::CheckedNumbers() const
{
    QStringList numbers;
    for (int row = 0; row < m_list->rowCount(); ++row) {
        if (m_list->GetCheck(row))
            numbers.append(m_list->ItemText(row, 0));
    }
    return numbers;
}

void CNumberPage::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
        event->accept();
        return;
    default:
        QWidget::keyPressEvent(event);
    }
}

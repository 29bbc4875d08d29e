#include "logpane/CLogFindBar.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>

namespace {

QToolButton* MakeButton(QWidget* parent, const char* objectName, const QString& text, const QString& name)
{
    auto* button = new QToolButton(parent);
    button->setObjectName(QLatin1String(objectName));
    button->setText(text);
    button->setToolTip(name);
    button->setAccessibleName(name);
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

}  // namespace

CLogFindBar::CLogFindBar(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("logFindBar"));
    setAutoFillBackground(true);
    m_text = new QLineEdit(this);
    m_text->setObjectName(QStringLiteral("logFindText"));
    m_text->setAccessibleName(QStringLiteral("查找"));
    m_text->setPlaceholderText(QStringLiteral("查找"));
    m_text->setClearButtonEnabled(true);
    m_text->installEventFilter(this);
    m_count = new QLabel(this);
    m_count->setObjectName(QStringLiteral("logFindCount"));
    m_count->setMinimumWidth(m_count->fontMetrics().horizontalAdvance(QStringLiteral("0000/0000")));
    m_previous = MakeButton(this, "logFindPrevious", QStringLiteral("▲"), QStringLiteral("上一个"));
    m_next = MakeButton(this, "logFindNext", QStringLiteral("▼"), QStringLiteral("下一个"));
    m_close = MakeButton(this, "logFindClose", QStringLiteral("✕"), QStringLiteral("关闭查找"));

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(2, 2, 2, 2);
    row->setSpacing(2);
    row->addWidget(m_text, 1);
    row->addWidget(m_count);
    row->addWidget(m_previous);
    row->addWidget(m_next);
    row->addWidget(m_close);

    connect(m_text, &QLineEdit::textChanged, this, &CLogFindBar::findTextChanged);
    connect(m_previous, &QToolButton::clicked, this, &CLogFindBar::previousRequested);
    connect(m_next, &QToolButton::clicked, this, &CLogFindBar::nextRequested);
    connect(m_close, &QToolButton::clicked, this, &CLogFindBar::closeRequested);
    ShowCount(0, 0);
}

QString CLogFindBar::FindText() const
{
    return m_text->text();
}

void CLogFindBar::SetFindText(const QString& text)
{
    m_text->setText(text);
}

void CLogFindBar::FocusText()
{
    m_text->setFocus(Qt::ShortcutFocusReason);
    m_text->selectAll();
}

void CLogFindBar::ShowCount(int current, int total)
{
    m_count->setText(m_text->text().isEmpty() ? QString() : QStringLiteral("%1/%2").arg(current).arg(total));
}

QString CLogFindBar::CountText() const
{
    return m_count->text();
}

bool CLogFindBar::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != m_text || event->type() != QEvent::KeyPress)
        return QWidget::eventFilter(watched, event);
    const auto* key = static_cast<QKeyEvent*>(event);
    const bool back = key->modifiers() & Qt::ShiftModifier;
    switch (key->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_F3:
        emit(back ? previousRequested() : nextRequested());
        return true;
    case Qt::Key_Escape:
        emit closeRequested();
        return true;
    default:
        return QWidget::eventFilter(watched, event);
    }
}

void CLogFindBar::keyPressEvent(QKeyEvent* event)
{
    // Keys the text box leaves stop here: in communication mode the pane
    // would send them to the terminal.
    if (event->matches(QKeySequence::Find))
        FocusText();
    event->accept();
}

#include "app/CLogScrollBar.h"

#include <QMetaObject>
#include <QStyle>
#include <QStyleOptionSlider>

CLogScrollBar::CLogScrollBar(QWidget* parent)
    : QScrollBar(Qt::Vertical, parent)
{
}

CLogScrollBar::Look CLogScrollBar::CurrentLook() const
{
    QStyleOptionSlider option;
    initStyleOption(&option);
    Look look;
    look.slider = style()->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarSlider, this);
    look.atStart = value() <= minimum();
    look.atEnd = value() >= maximum();
    return look;
}

void CLogScrollBar::sliderChange(SliderChange change)
{
    if (change == SliderOrientationChange || isSliderDown()) {
        QScrollBar::sliderChange(change);
        return;
    }
    // A new range and the value that follows it come one after the other:
    // the look is compared once both are in.
    if (m_checkPending)
        return;
    m_checkPending = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_checkPending = false;
            if (CurrentLook() != m_drawn)
                update();
        },
        Qt::QueuedConnection);
}

void CLogScrollBar::paintEvent(QPaintEvent* event)
{
    m_drawn = CurrentLook();
    QScrollBar::paintEvent(event);
}

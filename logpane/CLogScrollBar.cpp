#include "logpane/CLogScrollBar.h"

#include <QMetaObject>
#include <QStyle>
#include <QStyleOptionSlider>

#include <utility>

CLogScrollBar::CLogScrollBar(QWidget* parent)
    : QScrollBar(Qt::Vertical, parent)
{
    m_rangeRepaint.setSingleShot(true);
    connect(&m_rangeRepaint, &QTimer::timeout, this, [this] {
        if (CurrentLook() != m_drawn)
            update();
    });
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
    if (change == SliderRangeChange)
        m_rangeChanged = true;
    // A new range and the value that follows it come one after the other:
    // the look is compared once both are in.
    if (m_checkPending)
        return;
    m_checkPending = true;
    QMetaObject::invokeMethod(this, &CLogScrollBar::CheckLook, Qt::QueuedConnection);
}

void CLogScrollBar::CheckLook()
{
    m_checkPending = false;
    const bool byRange = std::exchange(m_rangeChanged, false);
    if (CurrentLook() == m_drawn)
        return;
    const qint64 since = m_sincePaint.isValid() ? m_sincePaint.elapsed() : kRangeRepaintMs;
    if (!byRange || since >= kRangeRepaintMs) {
        m_rangeRepaint.stop();
        update();
        return;
    }
    if (!m_rangeRepaint.isActive())
        m_rangeRepaint.start(static_cast<int>(kRangeRepaintMs - since));
}

void CLogScrollBar::paintEvent(QPaintEvent* event)
{
    m_sincePaint.restart();
    m_drawn = CurrentLook();
    QScrollBar::paintEvent(event);
}

#include "app/CLogTextWidths.h"

#include <QChar>

#include <cmath>

CLogTextWidths::CLogTextWidths(const QFont& font)
    : m_font(font)
    , m_metrics(font)
    , m_widths(0x10000, -1.0F)
{
}

void CLogTextWidths::SetFont(const QFont& font)
{
    m_font = font;
    m_metrics = QFontMetricsF(font);
    std::fill(m_widths.begin(), m_widths.end(), -1.0F);
}

bool CLogTextWidths::IsInvisible(char16_t ch)
{
    return ch < 0x20 || (ch >= 0x7f && ch < 0xa0) || QChar::isLowSurrogate(ch);
}

qreal CLogTextWidths::NextTabStop(qreal x)
{
    return (std::floor(x / kTabStop) + 1) * kTabStop;
}

qreal CLogTextWidths::Measure(char16_t ch) const
{
    if (IsInvisible(ch))
        return 0;
    // The pair as a whole advances the pen; its low half counts nothing.
    if (QChar::isHighSurrogate(ch))
        return m_metrics.horizontalAdvance(QChar(0x4e00));
    return m_metrics.horizontalAdvance(QChar(ch));
}

#include "app/CLocalClock.h"

QDateTime CLocalClock::Now()
{
    const qint64 ms = QDateTime::currentMSecsSinceEpoch();
    const qint64 minute = ms / 60000;
    if (minute != m_minute) {
        m_minute = minute;
        m_offsetSeconds = QDateTime::fromMSecsSinceEpoch(ms).offsetFromUtc();
    }
    return QDateTime::fromMSecsSinceEpoch(ms, Qt::OffsetFromUTC, m_offsetSeconds);
}

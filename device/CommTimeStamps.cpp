#include "device/CommTimeStamps.h"

QString CommTimeStamps::TimePrefix(const QTime& time)
{
    return QLatin1Char('[') + time.toString(QStringLiteral("HH:mm:ss.zzz")) + QStringLiteral("] ");
}

QString CommTimeStamps::DelayText(std::chrono::milliseconds delay)
{
    return QStringLiteral("+%1 ms ").arg(delay.count());
}

QString CommTimeStamps::SentMarker(const QTime& time)
{
    return TimePrefix(time) + QStringLiteral("发送: ");
}

QString CommTimeStamps::ReceivedPrefix(SteadyTime firstByte, const Now& now)
{
    using namespace std::chrono;
    // The reader saw the first byte a moment ago on the steady clock; the
    // wall clock of that moment is now's less the time since.
    const auto ago = duration_cast<milliseconds>(now.steady - firstByte);
    QString prefix = TimePrefix(now.wall.addMSecs(-qMax<qint64>(0, ago.count())).time());
    // Bytes already on their way when the send left do not answer it.
    if (m_lastSend && firstByte >= *m_lastSend) {
        prefix += DelayText(duration_cast<milliseconds>(firstByte - *m_lastSend));
        m_lastSend.reset();
    }
    return prefix;
}

QString CommTimeStamps::SentPrefix(const Now& now)
{
    NoteSent(now.steady);
    return SentMarker(now.wall.time());
}

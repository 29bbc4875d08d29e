#include "signalmeter/SignalSession.h"

void SignalSession::Start(const QDateTime& now)
{
    m_started = now;
    m_finished = QDateTime();
    m_samples.clear();
}

void SignalSession::Add(const QDateTime& time, const SignalReading& reading)
{
    m_samples.push_back({time, reading});
    // The chart and its figures need five minutes; a run left on for a day
    // at the shortest interval keeps under 200,000 small samples, so the
    // whole run is kept for the summary.
}

void SignalSession::Finish(const QDateTime& now)
{
    m_finished = now;
}

SignalSession::Figures SignalSession::FiguresSince(const QDateTime& from) const
{
    Figures figures;
    long long sum = 0;
    for (const Sample& sample : m_samples) {
        if (sample.time < from)
            continue;
        ++figures.samples;
        switch (sample.reading.kind) {
        case SignalReading::Kind::Value: {
            const int rssi = sample.reading.rssi;
            ++figures.values;
            sum += rssi;
            figures.minimum = figures.minimum ? std::min(*figures.minimum, rssi) : rssi;
            figures.maximum = figures.maximum ? std::max(*figures.maximum, rssi) : rssi;
            break;
        }
        case SignalReading::Kind::Unknown: ++figures.unknown; break;
        case SignalReading::Kind::NotUnderstood: ++figures.notUnderstood; break;
        case SignalReading::Kind::Missed: ++figures.missed; break;
        }
    }
    if (figures.values > 0)
        figures.average = static_cast<double>(sum) / figures.values;
    return figures;
}

QString FiguresText(const SignalSession::Figures& figures)
{
    const auto level = [](const std::optional<int>& value) {
        return value ? QString::number(*value) : QStringLiteral("-");
    };
    const QString average = figures.average ? QString::number(*figures.average, 'f', 1) : QStringLiteral("-");
    return QStringLiteral("%1 次读数，最小 %2，最大 %3，平均 %4，未知 %5，无法识别 %6，未应答 %7")
        .arg(figures.samples)
        .arg(level(figures.minimum), level(figures.maximum), average)
        .arg(figures.unknown)
        .arg(figures.notUnderstood)
        .arg(figures.missed);
}

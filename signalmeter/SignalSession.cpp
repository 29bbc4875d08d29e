#include "signalmeter/SignalSession.h"

#include <algorithm>

void SignalSession::Totals::Add(const SignalReading& reading)
{
    ++counts.samples;
    switch (reading.kind) {
    case SignalReading::Kind::Value: {
        const int rssi = reading.rssi;
        ++counts.values;
        sum += rssi;
        counts.minimum = counts.minimum ? std::min(*counts.minimum, rssi) : rssi;
        counts.maximum = counts.maximum ? std::max(*counts.maximum, rssi) : rssi;
        break;
    }
    case SignalReading::Kind::Unknown: ++counts.unknown; break;
    case SignalReading::Kind::NotUnderstood: ++counts.notUnderstood; break;
    case SignalReading::Kind::Missed: ++counts.missed; break;
    }
}

SignalSession::Figures SignalSession::Totals::ToFigures() const
{
    Figures figures = counts;
    if (figures.values > 0)
        figures.average = static_cast<double>(sum) / figures.values;
    return figures;
}

void SignalSession::Start(const QDateTime& now)
{
    m_started = now;
    m_finished = QDateTime();
    m_run = {};
    m_chart.clear();
    m_latest.reset();
}

void SignalSession::Add(const QDateTime& time, const SignalReading& reading)
{
    m_run.Add(reading);
    m_latest = reading;
    // The chart draws levels and gaps; a reply not understood is shown as
    // it came when it comes, and need not be kept for five minutes.
    Sample sample{time.toMSecsSinceEpoch(), reading};
    sample.reading.raw.clear();
    m_chart.push_back(std::move(sample));
    const qint64 oldestMs = m_chart.back().atMs - kChartSpanSeconds * 1000LL;
    while (!m_chart.empty() && m_chart.front().atMs < oldestMs)
        m_chart.pop_front();
}

void SignalSession::Finish(const QDateTime& now)
{
    m_finished = now;
}

SignalSession::Figures SignalSession::FiguresOfRun() const
{
    return m_run.ToFigures();
}

SignalSession::Figures SignalSession::FiguresOfChart(const QDateTime& now) const
{
    // At most five minutes of readings at the shortest interval: a few
    // hundred to look through.
    const qint64 fromMs = now.toMSecsSinceEpoch() - kChartSpanSeconds * 1000LL;
    Totals chart;
    for (const Sample& sample : m_chart) {
        if (sample.atMs >= fromMs)
            chart.Add(sample.reading);
    }
    return chart.ToFigures();
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

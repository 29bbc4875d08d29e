#pragma once

#include "signalmeter/SignalReading.h"

#include <QDateTime>

#include <optional>
#include <vector>

// The readings of one run of the signal meter, with the figures the meter
// shows: over the chart's span (the last five minutes) and over the run.
class SignalSession {
public:
    struct Sample {
        QDateTime time;
        SignalReading reading;
    };
    struct Figures {
        int samples = 0;       // every reading, missed ones included
        int values = 0;        // readings with a level
        int unknown = 0;       // "+CSQ: 99,…"
        int notUnderstood = 0;
        int missed = 0;
        std::optional<int> minimum;  // rssi
        std::optional<int> maximum;
        std::optional<double> average;
    };
    // What the chart spans, back from the newest reading.
    static constexpr int kChartSpanSeconds = 5 * 60;

    void Start(const QDateTime& now);
    void Add(const QDateTime& time, const SignalReading& reading);
    void Finish(const QDateTime& now);

    QDateTime Started() const { return m_started; }
    QDateTime Finished() const { return m_finished; }
    const std::vector<Sample>& Samples() const { return m_samples; }
    const SignalReading* Latest() const { return m_samples.empty() ? nullptr : &m_samples.back().reading; }

    // Over the samples taken at or after `from`.
    Figures FiguresSince(const QDateTime& from) const;
    Figures FiguresOfRun() const { return FiguresSince(m_started); }
    // Over the chart's span, back from `now`.
    Figures FiguresOfChart(const QDateTime& now) const { return FiguresSince(now.addSecs(-kChartSpanSeconds)); }

private:
    QDateTime m_started;
    QDateTime m_finished;
    std::vector<Sample> m_samples;
};

// "12 次读数，最小 15，最大 18，平均 16.5，未知 0，无法识别 0，未应答 1"
QString FiguresText(const SignalSession::Figures& figures);

#pragma once

#include "signalmeter/SignalReading.h"

#include <QDateTime>

#include <deque>
#include <optional>

// The readings of one run of the signal meter, with the figures the meter
// shows: over the chart's span (the last five minutes) and over the run.
// A run may be left on for days: it keeps running totals for the run and
// the chart's last five minutes of readings only, so neither its memory
// nor the work per reading grows with the run's length.
class SignalSession {
public:
    struct Sample {
        qint64 atMs = 0;        // ms since the epoch (a number compares fast)
        SignalReading reading;  // without the raw reply
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
    // Readings come in time order.
    void Add(const QDateTime& time, const SignalReading& reading);
    void Finish(const QDateTime& now);

    QDateTime Started() const { return m_started; }
    QDateTime Finished() const { return m_finished; }
    // The readings of the chart's span back from the newest one, oldest first.
    const std::deque<Sample>& ChartSamples() const { return m_chart; }
    const SignalReading* Latest() const { return m_latest ? &*m_latest : nullptr; }

    Figures FiguresOfRun() const;
    // Over the chart's span, back from `now`.
    Figures FiguresOfChart(const QDateTime& now) const;

private:
    // Running totals, kept as the figures need them.
    struct Totals {
        Figures counts;  // without average
        long long sum = 0;
        void Add(const SignalReading& reading);
        Figures ToFigures() const;
    };

    QDateTime m_started;
    QDateTime m_finished;
    Totals m_run;
    std::deque<Sample> m_chart;
    std::optional<SignalReading> m_latest;
};

// "12 次读数，最小 15，最大 18，平均 16.5，未知 0，无法识别 0，未应答 1"
QString FiguresText(const SignalSession::Figures& figures);

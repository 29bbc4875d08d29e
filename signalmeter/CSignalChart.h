#pragma once

#include "signalmeter/SignalSession.h"

#include <QDateTime>
#include <QWidget>

// The last five minutes of a signal meter run: the level (CSQ 0..31) over
// time on the quality bands, with a gap wherever a reading has no level
// (missed, unknown, not understood).
class CSignalChart : public QWidget {
    Q_OBJECT
public:
    explicit CSignalChart(QWidget* parent = nullptr);

    // Shows `session` as of `now` (the right edge of the chart).
    void Show(const SignalSession* session, const QDateTime& now);
    QSize sizeHint() const override { return {420, 180}; }
    QSize minimumSizeHint() const override { return {240, 120}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QRectF PlotArea() const;
    void PaintBands(QPainter& painter, const QRectF& plot) const;
    void PaintAxes(QPainter& painter, const QRectF& plot) const;
    void PaintReadings(QPainter& painter, const QRectF& plot) const;

    const SignalSession* m_session = nullptr;
    QDateTime m_now;
};

#include "signalmeter/CSignalChart.h"

#include <QPainter>
#include <QPainterPath>

namespace {

constexpr int kLevels = SignalReading::kHighestRssi;
// Band colours, pale so the line stands out on them.
const QColor kBandColours[] = {QColor(0xf6, 0xd5, 0xd5), QColor(0xf8, 0xec, 0xc8), QColor(0xdd, 0xee, 0xd6),
                               QColor(0xcc, 0xe6, 0xf4)};
const int kBandFrom[] = {0, 10, 15, 20};

}  // namespace

CSignalChart::CSignalChart(QWidget* parent)
    : QWidget(parent)
{
    setAccessibleName(QStringLiteral("信号曲线"));
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void CSignalChart::Show(const SignalSession* session, const QDateTime& now)
{
    m_session = session;
    m_now = now;
    update();
}

QRectF CSignalChart::PlotArea() const
{
    const QFontMetrics metrics(font());
    const qreal left = metrics.horizontalAdvance(QStringLiteral("31")) + 10;
    const qreal bottom = metrics.height() + 6;
    return QRectF(left, 6, width() - left - 8, height() - bottom - 6);
}

void CSignalChart::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().base());
    const QRectF plot = PlotArea();
    if (plot.width() <= 0 || plot.height() <= 0)
        return;
    PaintBands(painter, plot);
    PaintAxes(painter, plot);
    PaintReadings(painter, plot);
}

void CSignalChart::PaintBands(QPainter& painter, const QRectF& plot) const
{
    for (int band = 0; band < 4; ++band) {
        const int from = kBandFrom[band];
        const int to = band + 1 < 4 ? kBandFrom[band + 1] : kLevels;
        const qreal top = plot.bottom() - plot.height() * to / kLevels;
        const qreal bottom = plot.bottom() - plot.height() * from / kLevels;
        painter.fillRect(QRectF(plot.left(), top, plot.width(), bottom - top), kBandColours[band]);
    }
}

void CSignalChart::PaintAxes(QPainter& painter, const QRectF& plot) const
{
    painter.setPen(palette().color(QPalette::Text));
    const QFontMetrics metrics(font());
    for (const int level : {0, 10, 15, 20, 31}) {
        const qreal y = plot.bottom() - plot.height() * level / kLevels;
        const QString text = QString::number(level);
        painter.drawText(QPointF(plot.left() - 6 - metrics.horizontalAdvance(text), y + metrics.ascent() / 2.0), text);
    }
    const QString left = QStringLiteral("-5 分钟");
    const QString right = QStringLiteral("现在");
    const qreal baseline = plot.bottom() + metrics.ascent() + 3;
    painter.drawText(QPointF(plot.left(), baseline), left);
    painter.drawText(QPointF(plot.right() - metrics.horizontalAdvance(right), baseline), right);
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(plot);
}

void CSignalChart::PaintReadings(QPainter& painter, const QRectF& plot) const
{
    if (!m_session || !m_now.isValid())
        return;
    const qint64 spanMs = SignalSession::kChartSpanSeconds * 1000LL;
    const qint64 fromMs = m_now.toMSecsSinceEpoch() - spanMs;
    QPainterPath line;
    bool drawing = false;
    QList<QPointF> points;
    for (const SignalSession::Sample& sample : m_session->ChartSamples()) {
        if (sample.atMs < fromMs)
            continue;
        if (!sample.reading.HasValue()) {
            drawing = false;  // a gap in the line
            continue;
        }
        const qreal x = plot.left() + plot.width() * (sample.atMs - fromMs) / spanMs;
        const qreal y = plot.bottom() - plot.height() * sample.reading.rssi / kLevels;
        if (drawing)
            line.lineTo(x, y);
        else
            line.moveTo(x, y);
        drawing = true;
        points << QPointF(x, y);
    }
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(palette().color(QPalette::Highlight), 2));
    painter.drawPath(line);
    painter.setBrush(palette().color(QPalette::Highlight));
    for (const QPointF& point : points)
        painter.drawEllipse(point, 2.5, 2.5);
}

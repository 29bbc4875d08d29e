#include "reports/Coordinates.h"

#include <QRegularExpression>

#include <cmath>

namespace {

struct Hemisphere {
    QString text;
    CoordinateAxis axis;
    bool negative;
};

const Hemisphere kHemispheres[] = {
    {QStringLiteral("北纬"), CoordinateAxis::Latitude, false}, {QStringLiteral("南纬"), CoordinateAxis::Latitude, true},
    {QStringLiteral("东经"), CoordinateAxis::Longitude, false}, {QStringLiteral("西经"), CoordinateAxis::Longitude, true},
    {QStringLiteral("N"), CoordinateAxis::Latitude, false},     {QStringLiteral("S"), CoordinateAxis::Latitude, true},
    {QStringLiteral("E"), CoordinateAxis::Longitude, false},    {QStringLiteral("W"), CoordinateAxis::Longitude, true},
};

QString AxisName(CoordinateAxis axis)
{
    return axis == CoordinateAxis::Latitude ? QStringLiteral("纬度") : QStringLiteral("经度");
}

// Takes a hemisphere off either end of `text`.
std::optional<Hemisphere> TakeHemisphere(QString& text)
{
    for (const Hemisphere& hemisphere : kHemispheres) {
        if (text.startsWith(hemisphere.text)) {
            text = text.mid(hemisphere.text.size()).trimmed();
            return hemisphere;
        }
        if (text.endsWith(hemisphere.text)) {
            text.chop(hemisphere.text.size());
            text = text.trimmed();
            return hemisphere;
        }
    }
    return std::nullopt;
}

}  // namespace

std::optional<double> ParseCoordinate(const QString& typed, CoordinateAxis axis, QString* why)
{
    const double limit = axis == CoordinateAxis::Latitude ? 90.0 : 180.0;
    const auto refuse = [&](const QString& reason) {
        *why = QStringLiteral("%1“%2”%3").arg(AxisName(axis), typed, reason);
        return std::nullopt;
    };
    QString text = typed.trimmed();
    const std::optional<Hemisphere> hemisphere = TakeHemisphere(text);
    if (hemisphere && hemisphere->axis != axis)
        return refuse(QStringLiteral("的方向“%1”不是%2的方向").arg(hemisphere->text, AxisName(axis)));
    bool negative = false;
    if (text.startsWith(QLatin1Char('-'))) {
        if (hemisphere)
            return refuse(QStringLiteral("不能同时带负号和方向"));
        negative = true;
        text = text.mid(1).trimmed();
    }
    negative = negative || (hemisphere && hemisphere->negative);

    // Degrees, then optional minutes and seconds, each marked or separated
    // by blanks.
    static const QRegularExpression form(QStringLiteral(
        "^(\\d+(?:\\.\\d+)?)\\s*(?:[°º度d]\\s*|\\s+|$)"
        "(?:(\\d+(?:\\.\\d+)?)\\s*(?:['′’分m]\\s*|\\s+|$))?"
        "(?:(\\d+(?:\\.\\d+)?)\\s*(?:[\"″”秒s]|''|′′)?)?$"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = form.match(text);
    if (text.isEmpty() || !match.hasMatch())
        return refuse(QStringLiteral("不是十进制度数或度分秒"));
    const double degrees = match.captured(1).toDouble();
    const bool hasMinutes = !match.captured(2).isEmpty();
    const bool hasSeconds = !match.captured(3).isEmpty();
    const double minutes = hasMinutes ? match.captured(2).toDouble() : 0;
    const double seconds = hasSeconds ? match.captured(3).toDouble() : 0;
    if ((hasMinutes || hasSeconds) && match.captured(1).contains(QLatin1Char('.')))
        return refuse(QStringLiteral("：带分秒时度数须为整数"));
    if (hasSeconds && match.captured(2).contains(QLatin1Char('.')))
        return refuse(QStringLiteral("：带秒时分数须为整数"));
    if (minutes >= 60)
        return refuse(QStringLiteral("：分须小于60"));
    if (seconds >= 60)
        return refuse(QStringLiteral("：秒须小于60"));
    const double value = degrees + minutes / 60 + seconds / 3600;
    if (value > limit)
        return refuse(QStringLiteral("超出范围（-%1 到 %1 度）").arg(limit));
    return negative ? -value : value;
}

QString CoordinateText(double degrees, CoordinateAxis axis)
{
    const bool negative = degrees < 0;
    const QString hemisphere = axis == CoordinateAxis::Latitude ? (negative ? QStringLiteral("S") : QStringLiteral("N"))
                                                                : (negative ? QStringLiteral("W") : QStringLiteral("E"));
    return QStringLiteral("%1°%2").arg(std::fabs(degrees), 0, 'f', 6).arg(hemisphere);
}

#include "signalmeter/SignalReading.h"

#include <QRegularExpression>

namespace {

// Band limits: the lowest rssi of fair, good and excellent.
constexpr int kFairFrom = 10;
constexpr int kGoodFrom = 15;
constexpr int kExcellentFrom = 20;
constexpr int kHighestBitError = 7;

}  // namespace

SignalReading MissedSignalReading()
{
    return SignalReading{};
}

SignalReading ParseSignalReply(const QByteArray& reply)
{
    static const QRegularExpression form(QStringLiteral("\\+CSQ:[ ]*(\\d{1,3})[ ]*,[ ]*(\\d{1,3})"));
    const QRegularExpressionMatch match = form.match(QString::fromLatin1(reply));
    SignalReading reading;
    reading.raw = reply;
    const int rssi = match.hasMatch() ? match.captured(1).toInt() : -1;
    const int bitError = match.hasMatch() ? match.captured(2).toInt() : -1;
    const bool rssiValid = rssi == SignalReading::kUnknown || (rssi >= 0 && rssi <= SignalReading::kHighestRssi);
    const bool bitErrorValid = bitError == SignalReading::kUnknown || (bitError >= 0 && bitError <= kHighestBitError);
    if (!rssiValid || !bitErrorValid) {
        reading.kind = SignalReading::Kind::NotUnderstood;
        return reading;
    }
    reading.rssi = rssi;
    reading.bitError = bitError;
    reading.kind = rssi == SignalReading::kUnknown ? SignalReading::Kind::Unknown : SignalReading::Kind::Value;
    return reading;
}

int SignalDbm(int rssi)
{
    return -113 + 2 * rssi;
}

QString SignalDbmText(int rssi)
{
    // U+2212 MINUS SIGN, as the two ends of the scale are written.
    if (rssi <= 0)
        return QStringLiteral("≤ −%1 dBm").arg(-SignalDbm(0));
    if (rssi >= SignalReading::kHighestRssi)
        return QStringLiteral("≥ −%1 dBm").arg(-SignalDbm(SignalReading::kHighestRssi));
    return QStringLiteral("%1 dBm").arg(SignalDbm(rssi));
}

SignalBand BandOf(int rssi)
{
    if (rssi >= kExcellentFrom)
        return SignalBand::Excellent;
    if (rssi >= kGoodFrom)
        return SignalBand::Good;
    if (rssi >= kFairFrom)
        return SignalBand::Fair;
    return SignalBand::Poor;
}

QString BandName(SignalBand band)
{
    switch (band) {
    case SignalBand::Poor: return QStringLiteral("差");
    case SignalBand::Fair: return QStringLiteral("一般");
    case SignalBand::Good: return QStringLiteral("良好");
    case SignalBand::Excellent: return QStringLiteral("优秀");
    }
    return {};
}

QString BandLegend()
{
    return QStringLiteral("%1 <%2 · %3 %2–%4 · %5 %6–%7 · %8 ≥%9")
        .arg(BandName(SignalBand::Poor))
        .arg(kFairFrom)
        .arg(BandName(SignalBand::Fair))
        .arg(kGoodFrom - 1)
        .arg(BandName(SignalBand::Good))
        .arg(kGoodFrom)
        .arg(kExcellentFrom - 1)
        .arg(BandName(SignalBand::Excellent))
        .arg(kExcellentFrom);
}

#pragma once

#include <QByteArray>
#include <QString>

// One answer of the modem to "at+csq", as the signal meter shows it.
struct SignalReading {
    enum class Kind {
        Value,          // "+CSQ: <rssi>,<ber>" with rssi 0..31
        Unknown,        // "+CSQ: 99,…": the modem does not know the level
        NotUnderstood,  // a reply without that form; kept raw
        Missed,         // no reply in time
    };
    // Unknown values of the reply.
    static constexpr int kUnknown = 99;
    // The highest level a modem reports (-51 dBm and above).
    static constexpr int kHighestRssi = 31;

    Kind kind = Kind::Missed;
    int rssi = kUnknown;
    // Bit-error class 0..7, or kUnknown when the modem gives none.
    int bitError = kUnknown;
    // The reply as received, for a reply that was not understood.
    QByteArray raw;

    bool HasValue() const { return kind == Kind::Value; }
    bool HasBitError() const { return bitError != kUnknown; }
};

// Recognises "+CSQ: <rssi>,<ber>" anywhere in a reply (blanks around the
// numbers allowed, as modems differ).
SignalReading ParseSignalReply(const QByteArray& reply);
SignalReading MissedSignalReading();

// Received level of a reading's rssi: -113 dBm + 2 dBm per step.
int SignalDbm(int rssi);
// The level as shown: "-79 dBm"; the two ends of the scale stand for every
// level beyond them, "≤ −113 dBm" (0) and "≥ −51 dBm" (31).
QString SignalDbmText(int rssi);

// Quality bands of the level, as the meter states them.
enum class SignalBand { Poor, Fair, Good, Excellent };
SignalBand BandOf(int rssi);
QString BandName(SignalBand band);
// "差 <10 · 一般 10–14 · 良好 15–19 · 优秀 ≥20"
QString BandLegend();

#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// Check values that a command frame may carry after its content: the
// simple ones that small serial devices use (XOR, 8-bit sum) and the two
// common 16-bit CRCs. A 16-bit value goes on the line in the byte order the
// device expects; Modbus RTU puts the low byte first.
namespace CheckValue {

enum class Kind {
    None,
    Xor,              // XOR of all bytes, 1 byte
    Sum8,             // sum of all bytes mod 256, 1 byte
    Crc16Modbus,      // poly 0x8005 reflected (0xA001), init 0xFFFF, no xorout
    Crc16CcittFalse,  // poly 0x1021, init 0xFFFF, not reflected, no xorout
};

enum class ByteOrder { LowFirst, HighFirst };

// The value over `data` (0 for None).
quint16 Compute(Kind kind, const QByteArray& data);
// How many bytes the value takes on the line: 0, 1 or 2.
int Width(Kind kind);
// The bytes appended to a frame whose content is `data`.
QByteArray Bytes(Kind kind, ByteOrder order, const QByteArray& data);

// Names in the command library file ("none", "xor", "sum8",
// "crc16-modbus", "crc16-ccitt-false") and back.
QString KindName(Kind kind);
std::optional<Kind> KindFromName(const QString& name);
// The label shown to the user ("无", "XOR", "SUM8", ...).
QString KindLabel(Kind kind);

inline constexpr Kind kAllKinds[] = {Kind::None, Kind::Xor, Kind::Sum8, Kind::Crc16Modbus,
                                     Kind::Crc16CcittFalse};

}  // namespace CheckValue

#include "terminal/CheckValue.h"

namespace CheckValue {
namespace {

quint16 XorOf(const QByteArray& data)
{
    quint8 value = 0;
    for (const char c : data)
        value ^= static_cast<quint8>(c);
    return value;
}

quint16 SumOf(const QByteArray& data)
{
    quint8 value = 0;
    for (const char c : data)
        value = static_cast<quint8>(value + static_cast<quint8>(c));
    return value;
}

quint16 Crc16Modbus(const QByteArray& data)
{
    quint16 crc = 0xFFFF;
    for (const char c : data) {
        crc ^= static_cast<quint8>(c);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? static_cast<quint16>((crc >> 1) ^ 0xA001) : static_cast<quint16>(crc >> 1);
    }
    return crc;
}

quint16 Crc16CcittFalse(const QByteArray& data)
{
    quint16 crc = 0xFFFF;
    for (const char c : data) {
        crc ^= static_cast<quint16>(static_cast<quint8>(c) << 8);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x8000) ? static_cast<quint16>((crc << 1) ^ 0x1021) : static_cast<quint16>(crc << 1);
    }
    return crc;
}

}  // namespace

quint16 Compute(Kind kind, const QByteArray& data)
{
    switch (kind) {
    case Kind::None: return 0;
    case Kind::Xor: return XorOf(data);
    case Kind::Sum8: return SumOf(data);
    case Kind::Crc16Modbus: return Crc16Modbus(data);
    case Kind::Crc16CcittFalse: return Crc16CcittFalse(data);
    }
    return 0;
}

int Width(Kind kind)
{
    switch (kind) {
    case Kind::None: return 0;
    case Kind::Xor:
    case Kind::Sum8: return 1;
    case Kind::Crc16Modbus:
    case Kind::Crc16CcittFalse: return 2;
    }
    return 0;
}

QByteArray Bytes(Kind kind, ByteOrder order, const QByteArray& data)
{
    const quint16 value = Compute(kind, data);
    const char low = static_cast<char>(value & 0xFF);
    const char high = static_cast<char>(value >> 8);
    switch (Width(kind)) {
    case 1: return QByteArray(1, low);
    case 2: {
        QByteArray bytes;
        if (order == ByteOrder::LowFirst)
            bytes.append(low).append(high);
        else
            bytes.append(high).append(low);
        return bytes;
    }
    default: return {};
    }
}

QString KindName(Kind kind)
{
    switch (kind) {
    case Kind::None: return QStringLiteral("none");
    case Kind::Xor: return QStringLiteral("xor");
    case Kind::Sum8: return QStringLiteral("sum8");
    case Kind::Crc16Modbus: return QStringLiteral("crc16-modbus");
    case Kind::Crc16CcittFalse: return QStringLiteral("crc16-ccitt-false");
    }
    return {};
}

std::optional<Kind> KindFromName(const QString& name)
{
    for (const Kind kind : kAllKinds) {
        if (KindName(kind) == name)
            return kind;
    }
    return std::nullopt;
}

QString KindLabel(Kind kind)
{
    switch (kind) {
    case Kind::None: return QStringLiteral("无");
    case Kind::Xor: return QStringLiteral("XOR 异或");
    case Kind::Sum8: return QStringLiteral("SUM8 累加和");
    case Kind::Crc16Modbus: return QStringLiteral("CRC-16/MODBUS");
    case Kind::Crc16CcittFalse: return QStringLiteral("CRC-16/CCITT-FALSE");
    }
    return {};
}

}  // namespace CheckValue

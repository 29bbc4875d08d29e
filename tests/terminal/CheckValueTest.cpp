#include "terminal/CheckValue.h"

#include <gtest/gtest.h>

namespace {

using CheckValue::ByteOrder;
using CheckValue::Kind;

QByteArray Hex(const char* text)
{
    return QByteArray::fromHex(text);
}

// Published check values: the CRC catalogue's "check" over the ASCII
// digits 123456789, worked by hand for XOR and SUM8, and Modbus RTU
// request frames as they appear on the line (CRC low byte first).
TEST(CheckValueTest, PublishedVectors)
{
    struct Case {
        Kind kind;
        QByteArray data;
        quint16 value;
    };
    const Case cases[] = {
        {Kind::Crc16Modbus, "123456789", 0x4B37},
        {Kind::Crc16CcittFalse, "123456789", 0x29B1},
        // 0x31^0x32^...^0x39 = 0x31; 0x31+...+0x39 = 9*0x30+45 = 477 = 0x1DD.
        {Kind::Xor, "123456789", 0x31},
        {Kind::Sum8, "123456789", 0xDD},
        {Kind::None, "123456789", 0},
        {Kind::Crc16Modbus, Hex("01030000000A"), 0xCDC5},
        {Kind::Crc16Modbus, Hex("010300000001"), 0x0A84},
        {Kind::Crc16Modbus, "", 0xFFFF},
        {Kind::Crc16CcittFalse, "", 0xFFFF},
        {Kind::Xor, Hex("FF0F"), 0xF0},
        {Kind::Sum8, Hex("FF02"), 0x01},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CheckValue::Compute(c.kind, c.data), c.value)
            << CheckValue::KindName(c.kind).toStdString() << " over " << c.data.toHex().toStdString();
}

TEST(CheckValueTest, BytesOnTheLineInTheChosenOrder)
{
    const QByteArray frame = Hex("01030000000A");
    EXPECT_EQ(CheckValue::Bytes(Kind::Crc16Modbus, ByteOrder::LowFirst, frame), Hex("C5CD"));
    EXPECT_EQ(CheckValue::Bytes(Kind::Crc16Modbus, ByteOrder::HighFirst, frame), Hex("CDC5"));
    EXPECT_EQ(CheckValue::Bytes(Kind::Crc16CcittFalse, ByteOrder::HighFirst, "123456789"), Hex("29B1"));
    EXPECT_EQ(CheckValue::Bytes(Kind::Xor, ByteOrder::HighFirst, "123456789"), Hex("31"));
    EXPECT_EQ(CheckValue::Bytes(Kind::None, ByteOrder::LowFirst, "123456789"), QByteArray());
}

TEST(CheckValueTest, FileNamesGoBothWays)
{
    for (const Kind kind : CheckValue::kAllKinds)
        EXPECT_EQ(CheckValue::KindFromName(CheckValue::KindName(kind)), kind);
    EXPECT_EQ(CheckValue::KindFromName(QStringLiteral("crc32")), std::nullopt);
}

}  // namespace

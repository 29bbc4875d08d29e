#include "terminal/CCommandLibrary.h"
#include "terminal/CommandFrame.h"

#include <gtest/gtest.h>

namespace {

using CheckValue::ByteOrder;
using CheckValue::Kind;
using Content = TerminalCommand::Content;
using LineEnd = TerminalCommand::LineEnd;

TerminalCommand Command(const QString& content, Content kind, LineEnd end, Kind check = Kind::None,
                        ByteOrder order = ByteOrder::LowFirst)
{
    TerminalCommand command;
    command.name = QStringLiteral("c");
    command.content = content;
    command.contentKind = kind;
    command.lineEnd = end;
    command.check = check;
    command.checkOrder = order;
    return command;
}

// Expected bytes typed by hand: the content, the check over the content
// only, then the line end.
TEST(CommandFrameTest, ExactBytesOnTheLine)
{
    struct Case {
        TerminalCommand command;
        const char* bytes;
    };
    const Case cases[] = {
        {Command("AT", Content::Text, LineEnd::None), "4154"},
        {Command("AT", Content::Text, LineEnd::Cr), "41540D"},
        {Command("AT", Content::Text, LineEnd::Lf), "41540A"},
        {Command("AT", Content::Text, LineEnd::CrLf), "41540D0A"},
        {Command(QStringLiteral("预警"), Content::Text, LineEnd::Cr), "D4A4BEAF0D"},
        {Command("", Content::Text, LineEnd::CrLf), "0D0A"},
        {Command("", Content::Text, LineEnd::Cr, Kind::Xor), "000D"},
        {Command("123456789", Content::Text, LineEnd::CrLf, Kind::Xor), "313233343536373839310D0A"},
        {Command("123456789", Content::Text, LineEnd::Cr, Kind::Sum8), "313233343536373839DD0D"},
        {Command("123456789", Content::Text, LineEnd::Lf, Kind::Crc16CcittFalse, ByteOrder::HighFirst),
         "31323334353637383929B10A"},
        {Command("123456789", Content::Text, LineEnd::None, Kind::Crc16CcittFalse, ByteOrder::LowFirst),
         "313233343536373839B129"},
        {Command("123456789", Content::Text, LineEnd::None, Kind::Crc16Modbus, ByteOrder::HighFirst),
         "3132333435363738394B37"},
        {Command("01 03 00 00 00 0A", Content::Hex, LineEnd::None, Kind::Crc16Modbus), "01030000000AC5CD"},
        {Command("01 03 00 00 00 0A", Content::Hex, LineEnd::None, Kind::Crc16Modbus, ByteOrder::HighFirst),
         "01030000000ACDC5"},
        {Command("010300000001", Content::Hex, LineEnd::CrLf, Kind::Crc16Modbus), "010300000001840A0D0A"},
        {Command("0a0B\tff ", Content::Hex, LineEnd::Cr), "0A0BFF0D"},
        {Command("  ", Content::Hex, LineEnd::None), ""},
        {Command("", Content::Hex, LineEnd::Cr), "0D"},
        {Command("31 32", Content::Hex, LineEnd::Lf, Kind::Sum8), "3132630A"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command.content.toStdString());
        EXPECT_EQ(CommandFrame::ToHexText(CCommandLibrary::Frame(c.command)),
                  CommandFrame::ToHexText(QByteArray::fromHex(c.bytes)));
    }
}

TEST(CommandFrameTest, BadContentIsRefusedNamingThePlace)
{
    const QString notHex = QStringLiteral("十六进制内容第 %1 个字符“%2”不是十六进制数字（只能用 0-9、A-F 和空格）");
    const QString half = QStringLiteral("十六进制内容第 %1 个字符起的字节只有一位数字（每个字节写两位，如 0A）");
    struct Case {
        TerminalCommand command;
        QString message;
    };
    const Case cases[] = {
        {Command("0G", Content::Hex, LineEnd::None), notHex.arg(2).arg("G")},
        {Command("01,02", Content::Hex, LineEnd::None), notHex.arg(3).arg(",")},
        {Command("0x01", Content::Hex, LineEnd::None), notHex.arg(2).arg("x")},
        {Command("01 3", Content::Hex, LineEnd::None), half.arg(4)},
        {Command("1 03", Content::Hex, LineEnd::None), half.arg(1)},
        {Command("012", Content::Hex, LineEnd::None), half.arg(3)},
        {Command(QStringLiteral("A😀B"), Content::Text, LineEnd::None),
         QStringLiteral("内容第 2 个字符“😀”无法用 GBK 编码发送")},
    };
    for (const Case& c : cases) {
        QString error;
        EXPECT_EQ(CommandFrame::Build(c.command, &error), std::nullopt) << c.command.content.toStdString();
        EXPECT_EQ(error, c.message);
        EXPECT_EQ(CCommandLibrary::Frame(c.command), QByteArray());
    }
}

}  // namespace

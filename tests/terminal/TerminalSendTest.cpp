#include "device/TerminalSend.h"

#include <QByteArray>
#include <QString>

#include <climits>

#include <gtest/gtest.h>

namespace {

using TerminalSend::Trigger;

const QString kHexMessage = QStringLiteral("发送数据不是标准的十六进制格式数据");
const QString kGbkMessage = QStringLiteral("发送数据含有无法用GBK编码发送的字符");

QString Hex(const QByteArray& bytes)
{
    return QString::fromLatin1(bytes.toHex(' '));
}

// ---------------------------------------------------------------- hex text

struct HexCase {
    const char* text;
    bool valid;
    const char* bytes;  // hex of the converted bytes (valid texts only)
};

class HexTextTest : public ::testing::TestWithParam<HexCase> {};

TEST_P(HexTextTest, ValidatesAndConverts)
{
    const HexCase& c = GetParam();
    const QString text = QString::fromUtf8(c.text);
    EXPECT_EQ(TerminalSend::IsHexText(text), c.valid);
    if (c.valid) {
        EXPECT_EQ(Hex(TerminalSend::HexTextToBytes(text)), QLatin1String(c.bytes));
    }
}

INSTANTIATE_TEST_SUITE_P(Table, HexTextTest, ::testing::Values(
    HexCase{"01 0A ff", true, "01 0a ff"},
    HexCase{"41 42 43", true, "41 42 43"},
    HexCase{"414243", true, "43"},            // one number: its low byte
    HexCase{"   ", true, ""},                 // blanks only: no data bytes
    HexCase{" ", true, ""},
    HexCase{"  7", true, "07"},               // leading blanks skipped
    HexCase{"41   ", true, "41"},             // trailing blanks ignored
    HexCase{"a  b   c  ", true, "0a 0b 0c"},
    HexCase{"0", true, "00"},
    HexCase{"100", true, "00"},               // 0x100: low eight bits
    HexCase{"1FF", true, "ff"},
    HexCase{"FfFf 0", true, "ff 00"},
    HexCase{"", false, ""},                   // empty is not hex
    HexCase{"4G", false, ""},
    HexCase{"0x41", false, ""},
    HexCase{"41\t42", false, ""},             // only the blank separates
    HexCase{"41,42", false, ""},
    HexCase{"-1", false, ""},
    HexCase{"４１", false, ""},               // full-width digits
    HexCase{"41 中", false, ""}));

TEST(HexTextLongRunTest, KeepsItsLowByteWithoutOverflow)
{
    // Far longer than any integer type; only the last two digits count.
    QString run(100000, QLatin1Char('f'));
    run += QStringLiteral("3c");
    ASSERT_TRUE(TerminalSend::IsHexText(run));
    EXPECT_EQ(Hex(TerminalSend::HexTextToBytes(run)), QStringLiteral("3c"));

    const QString many = QStringLiteral("7f ").repeated(5000);
    const QByteArray bytes = TerminalSend::HexTextToBytes(many);
    ASSERT_EQ(bytes.size(), 5000);
    EXPECT_EQ(bytes.count('\x7f'), 5000);
}

// ---------------------------------------------------------------- one send

struct PlanCase {
    const char* name;
    const char* text;
    bool carriageReturn;
    bool hexSend;
    Trigger trigger;
    bool write;
    const char* bytes;    // hex of what goes out
    bool showsMessage;
    const char* message;  // UTF-8, when shown
};

std::ostream& operator<<(std::ostream& out, const PlanCase& c)
{
    return out << c.name;
}

class PlanTest : public ::testing::TestWithParam<PlanCase> {};

TEST_P(PlanTest, DecidesWhatGoesOut)
{
    const PlanCase& c = GetParam();
    TerminalSend::Request request;
    request.text = QString::fromUtf8(c.text);
    request.appendCarriageReturn = c.carriageReturn;
    request.hexSend = c.hexSend;
    request.trigger = c.trigger;
    const TerminalSend::Outcome outcome = TerminalSend::Plan(request);

    EXPECT_EQ(outcome.write, c.write);
    EXPECT_EQ(Hex(outcome.bytes), QLatin1String(c.bytes));
    EXPECT_EQ(outcome.message, c.showsMessage ? QString::fromUtf8(c.message) : QString());
}

constexpr bool kCr = true;
constexpr bool kNoCr = false;
constexpr bool kHex = true;
constexpr bool kText = false;
const char* const kFormat = "发送数据不是标准的十六进制格式数据";
const char* const kNotGbk = "发送数据含有无法用GBK编码发送的字符";

INSTANTIATE_TEST_SUITE_P(Table, PlanTest, ::testing::Values(
    // Hexadecimal: the carriage return always follows.
    PlanCase{"HexThreeBytes", "41 42 43", kNoCr, kHex, Trigger::Button, true, "41 42 43 0d", false, ""},
    PlanCase{"HexCrNotDoubled", "41 42 43", kCr, kHex, Trigger::Button, true, "41 42 43 0d", false, ""},
    PlanCase{"HexOneNumber", "414243", kNoCr, kHex, Trigger::Button, true, "43 0d", false, ""},
    PlanCase{"HexBlanksOnly", "   ", kNoCr, kHex, Trigger::Button, true, "0d", false, ""},
    PlanCase{"HexBlanksOnlyTimer", "   ", kNoCr, kHex, Trigger::Timer, true, "0d", false, ""},
    PlanCase{"HexByTimer", "01 0A ff", kNoCr, kHex, Trigger::Timer, true, "01 0a ff 0d", false, ""},
    PlanCase{"HexInvalidButton", "4G", kNoCr, kHex, Trigger::Button, false, "", true, kFormat},
    PlanCase{"HexInvalidTimer", "4G", kCr, kHex, Trigger::Timer, false, "", false, ""},
    PlanCase{"HexEmptyButton", "", kCr, kHex, Trigger::Button, false, "", true, kFormat},
    PlanCase{"HexEmptyTimer", "", kCr, kHex, Trigger::Timer, false, "", false, ""},
    // Text: GBK bytes, carriage return as chosen.
    PlanCase{"TextWithCr", "at", kCr, kText, Trigger::Button, true, "61 74 0d", false, ""},
    PlanCase{"TextWithoutCr", "at", kNoCr, kText, Trigger::Button, true, "61 74", false, ""},
    PlanCase{"TextByTimer", "at", kCr, kText, Trigger::Timer, true, "61 74 0d", false, ""},
    PlanCase{"TextHexLooking", "41", kNoCr, kText, Trigger::Button, true, "34 31", false, ""},
    PlanCase{"TextChinese", "中文", kNoCr, kText, Trigger::Button, true, "d6 d0 ce c4", false, ""},
    PlanCase{"TextBlank", " ", kCr, kText, Trigger::Timer, true, "20 0d", false, ""},
    PlanCase{"TextEmptyButtonCr", "", kCr, kText, Trigger::Button, true, "0d", false, ""},
    PlanCase{"TextEmptyButtonNoCr", "", kNoCr, kText, Trigger::Button, false, "", false, ""},
    PlanCase{"TextEmptyTimerCr", "", kCr, kText, Trigger::Timer, false, "", false, ""},
    PlanCase{"TextNotGbkButton", "at\xF0\x9F\x98\x80", kCr, kText, Trigger::Button, false, "", true, kNotGbk},
    PlanCase{"TextNotGbkTimer", "at\xF0\x9F\x98\x80", kCr, kText, Trigger::Timer, false, "", false, ""}),
    [](const ::testing::TestParamInfo<PlanCase>& info) { return std::string(info.param.name); });

TEST(SendMessageTest, EachErrorHasItsMessage)
{
    EXPECT_EQ(TerminalSend::Message(TerminalSend::Error::NotHex), kHexMessage);
    EXPECT_EQ(TerminalSend::Message(TerminalSend::Error::NotGbk), kGbkMessage);
    EXPECT_TRUE(TerminalSend::Message(TerminalSend::Error::None).isEmpty());
}

// ---------------------------------------------------------------- interval

struct IntervalCase {
    const char* text;
    int ms;
};

class IntervalTest : public ::testing::TestWithParam<IntervalCase> {};

TEST_P(IntervalTest, TakesTheLeadingDecimalNumber)
{
    EXPECT_EQ(TerminalSend::IntervalMs(QString::fromUtf8(GetParam().text)), GetParam().ms);
}

INSTANTIATE_TEST_SUITE_P(Table, IntervalTest, ::testing::Values(
    IntervalCase{"1000", 1000},
    IntervalCase{"10", 10},
    IntervalCase{"11", 11},
    IntervalCase{"250ms", 250},
    IntervalCase{" 300", 300},
    IntervalCase{"+20", 20},
    IntervalCase{"0", TerminalSend::kShortestIntervalMs},     // never a busy loop
    IntervalCase{"5", TerminalSend::kShortestIntervalMs},
    IntervalCase{"abc", TerminalSend::kShortestIntervalMs},   // not a number: 0
    IntervalCase{"   ", TerminalSend::kShortestIntervalMs},
    IntervalCase{"-5", TerminalSend::kShortestIntervalMs},
    IntervalCase{"2147483647", INT_MAX},
    IntervalCase{"99999999999999999999", INT_MAX}));        // no overflow

}  // namespace

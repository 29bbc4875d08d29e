#include "device/TerminalSend.h"

#include "params/GbkText.h"

#include <climits>
#include <optional>

namespace TerminalSend {

namespace {

constexpr char kCarriageReturn = '\r';
constexpr QChar kBlank = QLatin1Char(' ');

int HexDigitValue(QChar ch)
{
    const char16_t c = ch.unicode();
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    return -1;
}

Outcome Refuse(Error error, Trigger trigger)
{
    Outcome outcome;
    outcome.error = error;
    // The timer repeats the send: it must not open a message box per tick.
    if (trigger == Trigger::Button)
        outcome.message = Message(error);
    return outcome;
}

Outcome Send(QByteArray bytes)
{
    Outcome outcome;
    outcome.write = !bytes.isEmpty();
    outcome.bytes = std::move(bytes);
    return outcome;
}

Outcome PlanHex(const Request& request)
{
    if (!IsHexText(request.text))
        return Refuse(Error::NotHex, request.trigger);
    // The carriage return ends hexadecimal data whatever 结尾添加回车符 says.
    return Send(HexTextToBytes(request.text) + kCarriageReturn);
}

Outcome PlanText(const Request& request)
{
    const std::optional<QByteArray> encoded = UnicodeToGbkBytes(request.text);
    if (!encoded)
        return Refuse(Error::NotGbk, request.trigger);
    QByteArray bytes = *encoded;
    if (request.appendCarriageReturn)
        bytes += kCarriageReturn;
    return Send(std::move(bytes));
}

}  // namespace

bool IsHexText(const QString& text)
{
    if (text.isEmpty())
        return false;
    for (const QChar ch : text) {
        if (ch != kBlank && HexDigitValue(ch) < 0)
            return false;
    }
    return true;
}

QByteArray HexTextToBytes(const QString& text)
{
    qsizetype end = text.size();
    while (end > 0 && text[end - 1] == kBlank)
        --end;

    QByteArray bytes;
    qsizetype i = 0;
    while (i < end) {
        if (HexDigitValue(text[i]) < 0) {
            ++i;
            continue;
        }
        // Only the low eight bits of the number count, so the value is kept
        // to them while reading: a run of any length cannot overflow.
        unsigned value = 0;
        for (int digit; i < end && (digit = HexDigitValue(text[i])) >= 0; ++i)
            value = ((value << 4) | static_cast<unsigned>(digit)) & 0xFFu;
        bytes.append(static_cast<char>(value));
    }
    return bytes;
}

Outcome Plan(const Request& request)
{
    // The timer never sends for an empty send box, not even the carriage
    // return; the button does (text mode) or complains (hex mode).
    if (request.trigger == Trigger::Timer && request.text.isEmpty())
        return {};
    return request.hexSend ? PlanHex(request) : PlanText(request);
}

QString Message(Error error)
{
    switch (error) {
    case Error::NotHex: return QStringLiteral("发送数据不是标准的十六进制格式数据");
    case Error::NotGbk: return QStringLiteral("发送数据含有无法用GBK编码发送的字符");
    case Error::None: break;
    }
    return {};
}

int IntervalMs(const QString& text)
{
    qsizetype i = 0;
    while (i < text.size() && (text[i] == kBlank || text[i] == QLatin1Char('\t')))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == QLatin1Char('-') || text[i] == QLatin1Char('+'))) {
        negative = text[i] == QLatin1Char('-');
        ++i;
    }
    long long value = 0;
    for (; i < text.size() && text[i] >= QLatin1Char('0') && text[i] <= QLatin1Char('9'); ++i) {
        value = value * 10 + (text[i].unicode() - u'0');
        if (value > INT_MAX) {
            value = INT_MAX;
            break;
        }
    }
    if (negative || value < kShortestIntervalMs)
        return kShortestIntervalMs;
    return static_cast<int>(value);
}

}  // namespace TerminalSend

#pragma once

#include <QByteArray>
#include <QString>

// What the terminal panel puts on the line for one send, decided without any
// widget: the send box's text as GBK bytes or as hexadecimal numbers, the
// carriage return rule, and which problems stop a send. The panel shows the
// message and writes the bytes.
namespace TerminalSend {

// Shortest period of the timed send. A period of 0 would send on every pass
// of the event loop, flooding the line and starving the window.
inline constexpr int kShortestIntervalMs = 10;

// Who asked for the send: the 发送 button reports problems, the timer of
// 定时发送 skips them silently and never sends for an empty send box.
enum class Trigger { Button, Timer };

enum class Error {
    None,
    NotHex,     // hexadecimal sending, but the text is empty or not hex
    NotGbk,     // text sending, but a character has no GBK encoding
};

struct Request {
    QString text;                       // the send box
    bool appendCarriageReturn = false;  // 结尾添加回车符
    bool hexSend = false;               // 十六进制发送
    Trigger trigger = Trigger::Button;
};

struct Outcome {
    bool write = false;     // false: nothing at all goes out
    QByteArray bytes;       // what goes out, in order, when `write`
    Error error = Error::None;
    QString message;        // the message box to show (button only)
};

// Non-empty and made of 0-9, a-f, A-F and blanks only.
bool IsHexText(const QString& text);

// Trailing blanks ignored; from the start, blanks skipped and each run of
// hex digits read as one number of which the low eight bits make one byte
// ("01 0A ff" -> 01 0A FF, "414243" -> 43). Characters other than hex
// digits and blanks are taken as separators; IsHexText rejects them first.
QByteArray HexTextToBytes(const QString& text);

// The bytes of one send, or why there are none.
Outcome Plan(const Request& request);

// The message shown for an error (empty for Error::None).
QString Message(Error error);

// The timed send's period for the interval box's text: its leading decimal
// number ("250" -> 250, "250ms" -> 250, "abc" -> 0), never shorter than
// kShortestIntervalMs. Numbers too big for an int give the largest int.
int IntervalMs(const QString& text);

}  // namespace TerminalSend

#include "params/GbkText.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace {

constexpr const char* kGbk = "GBK";

// The converter maps the single byte 0xFF, which GBK does not define, to this
// private-use character; it is shown and refused like any other bad byte.
constexpr char16_t kStrayFfCharacter = 0xF8F5;

// A blank appended behind the bytes: a lead byte left open at the very end
// then meets a byte that cannot complete it and is reported as U+FFFD
// instead of being dropped silently. A blank never completes a GBK
// character, so it always comes out as the last character again.
constexpr char kSentinel = ' ';

// GBK's bytes below 0x80 are ASCII, one byte a character.
bool IsAscii(std::string_view bytes)
{
    unsigned char any = 0;
    for (const char byte : bytes)
        any |= static_cast<unsigned char>(byte);
    return any < 0x80;
}

}  // namespace

QString GbkToUnicode(std::string_view gbk)
{
    // Most of a terminal's data line is ASCII: no converter needed (making
    // one costs more than decoding a whole read).
    if (IsAscii(gbk))
        return QString::fromLatin1(gbk.data(), static_cast<qsizetype>(gbk.size()));
    QByteArray bytes(gbk.data(), static_cast<qsizetype>(gbk.size()));
    bytes.append(kSentinel);
    QStringDecoder decoder(kGbk, QStringConverter::Flag::Stateless);
    QString text = decoder.decode(bytes);
    if (text.endsWith(QLatin1Char(kSentinel)))
        text.chop(1);
    text.replace(QChar(kStrayFfCharacter), QChar::ReplacementCharacter);
    return text;
}

QString GbkToUnicode(const QByteArray& gbk)
{
    return GbkToUnicode(std::string_view(gbk.constData(), static_cast<std::size_t>(gbk.size())));
}

std::optional<QByteArray> UnicodeToGbkBytes(const QString& text)
{
    if (text.contains(QChar(kStrayFfCharacter)))
        return std::nullopt;
    QStringEncoder encoder(kGbk, QStringConverter::Flag::Stateless);
    if (!encoder.isValid())
        return std::nullopt;
    QByteArray bytes = encoder.encode(text);
    if (encoder.hasError())
        return std::nullopt;
    return bytes;
}

std::optional<std::string> UnicodeToGbk(const QString& text)
{
    const std::optional<QByteArray> bytes = UnicodeToGbkBytes(text);
    if (!bytes)
        return std::nullopt;
    return bytes->toStdString();
}

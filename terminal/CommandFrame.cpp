#include "terminal/CommandFrame.h"

#include "params/GbkText.h"

namespace CommandFrame {
namespace {

bool IsBlank(QChar c)
{
    return c == u' ' || c == u'\t';
}

int HexDigit(QChar c)
{
    if (c >= u'0' && c <= u'9')
        return c.unicode() - u'0';
    if (c >= u'a' && c <= u'f')
        return c.unicode() - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c.unicode() - u'A' + 10;
    return -1;
}

void SetError(QString* error, const QString& text)
{
    if (error)
        *error = text;
}

QString NotHexDigit(qsizetype index, QChar c)
{
    return QStringLiteral("十六进制内容第 %1 个字符“%2”不是十六进制数字（只能用 0-9、A-F 和空格）")
        .arg(index + 1)
        .arg(c);
}

QString HalfPair(qsizetype index)
{
    return QStringLiteral("十六进制内容第 %1 个字符起的字节只有一位数字（每个字节写两位，如 0A）").arg(index + 1);
}

}  // namespace

std::optional<QByteArray> ParseHexPairs(const QString& text, QString* error)
{
    QByteArray bytes;
    qsizetype i = 0;
    while (i < text.size()) {
        if (IsBlank(text[i])) {
            ++i;
            continue;
        }
        const int high = HexDigit(text[i]);
        if (high < 0) {
            SetError(error, NotHexDigit(i, text[i]));
            return std::nullopt;
        }
        if (i + 1 >= text.size() || IsBlank(text[i + 1])) {
            SetError(error, HalfPair(i));
            return std::nullopt;
        }
        const int low = HexDigit(text[i + 1]);
        if (low < 0) {
            SetError(error, NotHexDigit(i + 1, text[i + 1]));
            return std::nullopt;
        }
        bytes.append(static_cast<char>(high * 16 + low));
        i += 2;
    }
    return bytes;
}

std::optional<QByteArray> ContentBytes(const TerminalCommand& command, QString* error)
{
    if (command.contentKind == TerminalCommand::Content::Hex)
        return ParseHexPairs(command.content, error);
    if (auto bytes = UnicodeToGbkBytes(command.content))
        return bytes;
    // Name the first character GBK lacks, so the user finds it.
    for (qsizetype i = 0; i < command.content.size(); ++i) {
        const qsizetype width = command.content[i].isHighSurrogate() ? 2 : 1;
        const QString character = command.content.mid(i, width);
        if (!UnicodeToGbkBytes(character)) {
            SetError(error, QStringLiteral("内容第 %1 个字符“%2”无法用 GBK 编码发送").arg(i + 1).arg(character));
            return std::nullopt;
        }
        i += width - 1;
    }
    SetError(error, QStringLiteral("内容无法用 GBK 编码发送"));
    return std::nullopt;
}

QByteArray LineEndBytes(TerminalCommand::LineEnd lineEnd)
{
    switch (lineEnd) {
    case TerminalCommand::LineEnd::None: return {};
    case TerminalCommand::LineEnd::Cr: return QByteArrayLiteral("\r");
    case TerminalCommand::LineEnd::Lf: return QByteArrayLiteral("\n");
    case TerminalCommand::LineEnd::CrLf: return QByteArrayLiteral("\r\n");
    }
    return {};
}

std::optional<QByteArray> Build(const TerminalCommand& command, QString* error)
{
    auto content = ContentBytes(command, error);
    if (!content)
        return std::nullopt;
    QByteArray frame = *content;
    frame += CheckValue::Bytes(command.check, command.checkOrder, *content);
    frame += LineEndBytes(command.lineEnd);
    return frame;
}

QString ToHexText(const QByteArray& bytes)
{
    return QString::fromLatin1(bytes.toHex(' ').toUpper());
}

}  // namespace CommandFrame

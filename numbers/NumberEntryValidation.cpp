#include "numbers/NumberEntryValidation.h"

namespace NumberEntry {

namespace {

// A comma's distance to the previous comma (position 0 before the first one):
// the first number needs 2 to 31 digits, later ones 1 to 30.
constexpr qsizetype kMinCommaDistance = 2;
constexpr qsizetype kMaxCommaDistance = 31;

Error CheckCharacters(const QString& text)
{
    qsizetype previousComma = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c >= u'0' && c <= u'9')
            continue;
        if (c != u',')
            return Error::InvalidCharacter;
        const qsizetype distance = i - previousComma;
        if (distance < kMinCommaDistance || distance > kMaxCommaDistance)
            return Error::Format;
        previousComma = i;
    }
    return Error::None;
}

}  // namespace

Result Validate(const QString& text)
{
    Result result;
    if (text.isEmpty()) {
        result.error = Error::Empty;
        return result;
    }
    result.error = CheckCharacters(text);
    if (result.error != Error::None)
        return result;
    // The limit counts the trailing comma although it is not sent.
    if (text.size() >= kTextLengthLimit) {
        result.error = Error::TooLong;
        return result;
    }
    const QString numberText = text.endsWith(u',') ? text.chopped(1) : text;
    // The comma rule leaves the last number unlimited, but a stored number
    // holds kMaxStoredNumberLength characters: refuse it here, while the
    // text can still be corrected, not after the dialog has closed.
    if (numberText.size() - numberText.lastIndexOf(u',') - 1 > kMaxStoredNumberLength) {
        result.error = Error::NumberTooLong;
        return result;
    }
    result.numberText = numberText;
    return result;
}

QString Message(Error error)
{
    switch (error) {
    case Error::None: return {};
    case Error::Empty: return QStringLiteral("请输入号码");
    case Error::InvalidCharacter: return QStringLiteral("输入字符不合法,清重新输入数字或英文逗号格式的字符");
    case Error::Format: return QStringLiteral("格式错误");
    case Error::TooLong:
    case Error::NumberTooLong: return QStringLiteral("电话号码长度太长");
    }
    return {};
}

QStringList Split(const QString& numberText)
{
    if (numberText.isEmpty())
        return {};
    return numberText.split(u',');
}

}  // namespace NumberEntry

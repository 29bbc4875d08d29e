#include "NumberEntryCases.h"

namespace {

const QString kInvalid = QStringLiteral("输入字符不合法,清重新输入数字或英文逗号格式的字符");
const QString kFormat = QStringLiteral("格式错误");
const QString kTooLong = QStringLiteral("电话号码长度太长");
const QString kEmpty = QStringLiteral("请输入号码");

QString Digits(int count)
{
    QString digits;
    for (int i = 0; i < count; ++i)
        digits.append(QChar(u'0' + (i + 1) % 10));
    return digits;
}

// Valid numbers of 10 digits joined by commas, padded with digits at the
// end to exactly `length` characters.
QString ValidTextOfLength(int length)
{
    QString text = Digits(10);
    while (text.size() + 11 <= length)
        text += u',' + Digits(10);
    return text + Digits(length - int(text.size()));
}

std::vector<NumberEntryCase> MakeCases()
{
    const QString text843 = ValidTextOfLength(843);
    const QString text844 = ValidTextOfLength(844);
    const QString text845 = ValidTextOfLength(845);
    return {
        {"SingleNumber", "13800000000", {}, "13800000000"},
        {"SeveralNumbers", "13800000000,13900000000,110", {}, "13800000000,13900000000,110"},
        {"SingleDigitBeforeFirstComma", "1,23", kFormat, {}},
        {"TwoDigitsBeforeFirstComma", "12,3", {}, "12,3"},
        {"SingleDigitBetweenLaterCommas", "12,3,45", {}, "12,3,45"},
        {"FirstNumberOf31Digits", Digits(31) + ",5", {}, Digits(31) + ",5"},
        {"FirstNumberOf32Digits", Digits(32) + ",5", kFormat, {}},
        {"MiddleNumberOf30Digits", "12," + Digits(30) + ",5", {}, "12," + Digits(30) + ",5"},
        {"MiddleNumberOf31Digits", "12," + Digits(31) + ",5", kFormat, {}},
        // A stored number holds 32 characters: a longer last number is
        // refused while the text can still be corrected.
        {"OnlyNumberOf32Digits", Digits(32), {}, Digits(32)},
        {"OnlyNumberOf33Digits", Digits(33), kTooLong, {}},
        {"FortyDigitsWithoutComma", Digits(40), kTooLong, {}},
        {"LastNumberOf32Digits", "12," + Digits(32), {}, "12," + Digits(32)},
        {"LastNumberOf33Digits", "12," + Digits(33), kTooLong, {}},
        {"LongLastNumberAfterLetterCheck", "1a," + Digits(40), kInvalid, {}},
        {"Text843PlusTrailingComma", text843 + ",", {}, text843},
        {"Text844", text844, {}, text844},
        {"Text845", text845, kTooLong, {}},
        {"Text844PlusTrailingComma", text844 + ",", kTooLong, {}},
        {"TrailingCommaDropped", "12,34,", {}, "12,34"},
        {"TwoTrailingCommas", "12,34,,", kFormat, {}},
        {"LeadingComma", ",12", kFormat, {}},
        {"CommaOnly", ",", kFormat, {}},
        {"LetterBeforeDoubleCommas", "12a,,3", kInvalid, {}},
        {"DoubleCommasBeforeLetter", "12,,3a", kFormat, {}},
        {"FullWidthComma", "12\xef\xbc\x8c" "34", kInvalid, {}},
        {"PlusSign", "+8613800000000", kInvalid, {}},
        {"Space", "12 34", kInvalid, {}},
        {"FullWidthDigits", "\xef\xbc\x91\xef\xbc\x92", kInvalid, {}},
        {"ChineseCharacter", "12\xe5\x8f\xb7", kInvalid, {}},
        {"CharacterCheckBeforeLength", Digits(900) + "x", kInvalid, {}},
        {"Empty", "", kEmpty, {}},
    };
}

}  // namespace

const std::vector<NumberEntryCase>& NumberEntryCases()
{
    static const std::vector<NumberEntryCase> cases = MakeCases();
    return cases;
}

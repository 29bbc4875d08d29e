#include "controls/CellTextCompare.h"

#include "controls/GridDescriptors.h"

#include <QByteArray>
#include <QLocale>
#include <QRegularExpression>
#include <QStringEncoder>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

bool IsBlank(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\v' || c == u'\f' || c == u'\r';
}

// The text as the terminal's GBK bytes, so that texts order as they did in
// the program's original code page (Chinese by pinyin for the common
// characters). Characters GBK cannot hold come out as a substitute byte,
// which is good enough for ordering.
QByteArray SortBytes(const QString& text)
{
    static QStringEncoder encoder("GBK", QStringConverter::Flag::Stateless);
    if (encoder.isValid())
        return encoder.encode(text);
    return text.toUtf8();
}

int CompareBytes(const QByteArray& a, const QByteArray& b)
{
    const auto common = static_cast<std::size_t>(std::min(a.size(), b.size()));
    const int byBytes = common ? std::memcmp(a.constData(), b.constData(), common) : 0;
    if (byBytes != 0)
        return byBytes < 0 ? -1 : 1;
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

QString FoldAsciiCase(const QString& text)
{
    QString folded = text;
    for (QChar& c : folded) {
        if (c >= u'A' && c <= u'Z')
            c = QChar(c.unicode() + (u'a' - u'A'));
    }
    return folded;
}

int CompareText(const QString& a, const QString& b, bool ignoreCase)
{
    if (ignoreCase)
        return CompareBytes(SortBytes(FoldAsciiCase(a)), SortBytes(FoldAsciiCase(b)));
    return CompareBytes(SortBytes(a), SortBytes(b));
}

// A text is an integer for the mixed rules when its value is not 0 and the
// value printed back has the text's length ("007" and "+7" are not).
bool AsInteger(const QString& text, qint64& value)
{
    bool overflow = false;
    value = LeadingInteger(text, &overflow);
    return !overflow && value != 0 && QString::number(value).size() == text.size();
}

int CompareIntegerOrText(const QString& a, const QString& b, bool ignoreCase)
{
    qint64 valueA = 0;
    qint64 valueB = 0;
    if (AsInteger(a, valueA) && AsInteger(b, valueB) && valueA != valueB)
        return valueA < valueB ? -1 : 1;
    return CompareText(a, b, ignoreCase);
}

int CompareFloat(const QString& a, const QString& b)
{
    const double difference = LeadingFloat(a) - LeadingFloat(b);
    // Truncating toward zero: values less than 1 apart (and NaN) are equal.
    if (!(std::fabs(difference) >= 1.0))
        return 0;
    return difference > 0 ? 1 : -1;
}

bool IsEarlier(const QDateTime& a, const QDateTime& b)
{
    if (!b.isValid())
        return false;
    return !a.isValid() || a < b;
}

}  // namespace

qint64 LeadingInteger(const QString& text, bool* overflow)
{
    if (overflow)
        *overflow = false;
    qsizetype i = 0;
    while (i < text.size() && IsBlank(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    constexpr qint64 kMax = std::numeric_limits<qint64>::max();
    qint64 magnitude = 0;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
        const int digit = text[i].unicode() - u'0';
        if (magnitude > (kMax - digit) / 10) {
            if (overflow)
                *overflow = true;
            return negative ? std::numeric_limits<qint64>::min() : kMax;
        }
        magnitude = magnitude * 10 + digit;
    }
    return negative ? -magnitude : magnitude;
}

double LeadingFloat(const QString& text)
{
    static const QRegularExpression kNumber(
        QStringLiteral(R"(^[ \t\n\v\f\r]*([+-]?(?:\d+\.?\d*|\.\d+)(?:[eE][+-]?\d+)?))"));
    const QRegularExpressionMatch match = kNumber.match(text);
    if (!match.hasMatch())
        return 0.0;
    bool ok = false;
    const double value = QLocale::c().toDouble(match.captured(1), &ok);
    return ok ? value : 0.0;
}

QDateTime ParseCellDateTime(const QString& text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return {};
    const QLocale locale;
    for (const auto format : {QLocale::ShortFormat, QLocale::LongFormat}) {
        const QDateTime dateTime = locale.toDateTime(trimmed, format);
        if (dateTime.isValid())
            return dateTime;
        const QDate date = locale.toDate(trimmed, format);
        if (date.isValid())
            return date.startOfDay();
    }
    static const char* const kDateTimeForms[] = {
        "yyyy-M-d H:m:s", "yyyy-M-d H:m", "yyyy/M/d H:m:s", "yyyy/M/d H:m",
        "yyyy.M.d H:m:s", "yyyy年M月d日 H:m:s",
    };
    for (const char* form : kDateTimeForms) {
        const QDateTime dateTime = QDateTime::fromString(trimmed, QString::fromUtf8(form));
        if (dateTime.isValid())
            return dateTime;
    }
    const QDateTime iso = QDateTime::fromString(trimmed, Qt::ISODate);
    if (iso.isValid())
        return iso;
    static const char* const kDateForms[] = {"yyyy-M-d", "yyyy/M/d", "yyyy.M.d", "yyyy年M月d日"};
    for (const char* form : kDateForms) {
        const QDate date = QDate::fromString(trimmed, QString::fromUtf8(form));
        if (date.isValid())
            return date.startOfDay();
    }
    // A time alone falls on the zero day of the original date arithmetic.
    for (const char* form : {"H:m:s", "H:m"}) {
        const QTime time = QTime::fromString(trimmed, QString::fromUtf8(form));
        if (time.isValid())
            return QDateTime(QDate(1899, 12, 30), time);
    }
    return {};
}

int CompareCellTexts(const QString& a, const QString& b, int sortType)
{
    switch (sortType) {
    case kSortUnordered:
        return 0;
    case kSortInteger: {
        const qint64 valueA = LeadingInteger(a);
        const qint64 valueB = LeadingInteger(b);
        return valueA < valueB ? -1 : (valueA > valueB ? 1 : 0);
    }
    case kSortFloat:
        return CompareFloat(a, b);
    case kSortIntegerOrText:
        return CompareIntegerOrText(a, b, false);
    case kSortTextNoCase:
        return CompareText(a, b, true);
    case kSortIntegerOrTextNoCase:
        return CompareIntegerOrText(a, b, true);
    case kSortDateTime:
        return IsEarlier(ParseCellDateTime(a), ParseCellDateTime(b)) ? -1 : 1;
    case kSortText:
    default:
        return CompareText(a, b, false);
    }
}

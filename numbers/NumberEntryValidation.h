#pragma once

#include <QString>
#include <QStringList>

// Checks of the number text typed into the number entry dialog. The text is
// one or more telephone numbers separated by English commas.
namespace NumberEntry {

// Longest number one slot of a stored list holds. The comma rule limits
// every number followed by a comma to 30 (31 for the first) digits; the
// last number is held to this length on its own.
inline constexpr int kMaxStoredNumberLength = 32;
// The whole text, a dropped trailing comma included, must stay below this.
inline constexpr int kTextLengthLimit = 845;

enum class Error {
    None,
    Empty,              // nothing typed
    InvalidCharacter,   // anything but an ASCII digit or an English comma
    Format,             // a comma too close to (or too far from) the previous one
    TooLong,            // kTextLengthLimit characters or more
    NumberTooLong,      // the last number longer than kMaxStoredNumberLength
};

struct Result {
    Error error = Error::None;
    QString numberText;     // when accepted: the text without a trailing comma
};

// Runs the checks in order; the first character that breaks a rule decides
// the error. Accepted texts consist of ASCII digits and commas only.
Result Validate(const QString& text);

// The message shown for an error (empty for Error::None).
QString Message(Error error);

// The numbers of an accepted text, in order ("12,345" -> "12", "345").
QStringList Split(const QString& numberText);

}  // namespace NumberEntry

#pragma once

#include <QDateTime>
#include <QString>

// The comparison rules of the grid's sort types (see SortType in
// GridDescriptors.h). Each returns a negative value when `a` sorts before
// `b`, 0 when they are equal and a positive value when `a` sorts after `b`.
int CompareCellTexts(const QString& a, const QString& b, int sortType);

// The leading integer of a text: leading blanks, an optional sign and
// digits; 0 when there are none. Saturates instead of overflowing and
// reports that through `overflow`.
qint64 LeadingInteger(const QString& text, bool* overflow = nullptr);

// The leading floating value of a text (blanks, sign, digits, a decimal
// point, an exponent); 0 when there is none.
double LeadingFloat(const QString& text);

// A date and time written in the user's locale or in one of the usual
// numeric forms; an invalid QDateTime when the text is none of them.
QDateTime ParseCellDateTime(const QString& text);

#pragma once

#include <QString>

// Columns of text on a console, where a Chinese character takes two.
int DisplayWidth(const QString& text);
// `text` filled with blanks to `width` columns, on its right or its left.
QString PaddedRight(const QString& text, int width);
QString PaddedLeft(const QString& text, int width);

#pragma once

#include <QByteArray>
#include <QString>

#include <optional>
#include <string>
#include <string_view>

// The one place where the terminal's GBK bytes meet the user interface's
// Unicode text.
//
// Decoding never fails: bytes that are not GBK (a lone lead byte, a bad
// trail byte, 0xFF) become U+FFFD replacement characters, so a damaged
// value is visible as such instead of vanishing.
//
// Encoding is strict: a character that GBK cannot represent (an emoji, for
// instance) makes the whole conversion fail; nothing is replaced by "?",
// so a text is never sent to the terminal or stored differently from what
// the user sees.
QString GbkToUnicode(std::string_view gbk);
QString GbkToUnicode(const QByteArray& gbk);

std::optional<std::string> UnicodeToGbk(const QString& text);
std::optional<QByteArray> UnicodeToGbkBytes(const QString& text);

#pragma once

#include "terminal/TerminalCommand.h"

#include <QByteArray>
#include <QString>

#include <optional>

// The exact bytes of a library command on the line, and the checks of its
// content, without any widget.
namespace CommandFrame {

// Hex content: pairs of hex digits, blanks (spaces, tabs) allowed between
// pairs but not inside one ("01 03 000A" is fine, "1 03" is not).
// Anything else gives nullopt and, in `error`, what is wrong and at which
// character (counted from 1).
std::optional<QByteArray> ParseHexPairs(const QString& text, QString* error = nullptr);

// The content's bytes: GBK for text, the pairs for hex; nullopt with the
// reason when the text has a character GBK lacks or the hex is bad.
std::optional<QByteArray> ContentBytes(const TerminalCommand& command, QString* error = nullptr);

// Content, check value, line end; nullopt with the reason when the
// content is bad.
std::optional<QByteArray> Build(const TerminalCommand& command, QString* error = nullptr);

QByteArray LineEndBytes(TerminalCommand::LineEnd lineEnd);

// "01 03 0A FF": upper-case pairs separated by single blanks.
QString ToHexText(const QByteArray& bytes);

}  // namespace CommandFrame

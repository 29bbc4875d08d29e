#pragma once

#include "terminal/CheckValue.h"

#include <QString>

// One named command of the command library: what to send and how to frame
// it. The frame on the line is the content's bytes, then the check value
// computed over them, then the line end (CommandFrame builds it).
struct TerminalCommand {
    enum class Content { Text, Hex };
    enum class LineEnd { None, Cr, Lf, CrLf };

    QString name;
    // Text (sent as GBK) or hex byte pairs ("01 03 00 0A").
    QString content;
    Content contentKind = Content::Text;
    LineEnd lineEnd = LineEnd::None;
    CheckValue::Kind check = CheckValue::Kind::None;
    CheckValue::ByteOrder checkOrder = CheckValue::ByteOrder::LowFirst;
    // 1..9 sends it with one key; 0: none.
    int shortcut = 0;

    bool operator==(const TerminalCommand&) const = default;
};

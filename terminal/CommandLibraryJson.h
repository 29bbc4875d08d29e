#pragma once

#include "terminal/CommandSequence.h"
#include "terminal/TerminalCommand.h"

#include <QByteArray>
#include <QList>
#include <QString>

// The command library's file: UTF-8 JSON, indented so that technicians can
// read and share it, with a format name and version:
//
//   { "format": "sirenset-command-library", "version": 1,
//     "commands": [ { "name": "读版本", "content": "AT+VER", "contentKind": "text",
//                     "lineEnd": "cr", "check": "none", "checkOrder": "low-first",
//                     "shortcut": 1 } ],
//     "sequences": [ { "name": "...", "repeat": 3, "steps": [
//         { "kind": "send", "command": "读版本" },
//         { "kind": "wait", "text": "OK", "timeoutMs": 1000 },
//         { "kind": "pause", "ms": 200 } ] } ] }
//
// Reading checks the structure only (types, known names); the library
// checks the meaning (unique names, shortcuts, hex content).
namespace CommandLibraryJson {

inline constexpr char kFormatName[] = "sirenset-command-library";
inline constexpr int kVersion = 1;

struct Content {
    QList<TerminalCommand> commands;
    QList<CommandSequence> sequences;
};

// False with what is wrong and where (in Chinese) in `error`.
bool Parse(const QByteArray& bytes, Content& content, QString* error);
QByteArray Serialize(const Content& content);

}  // namespace CommandLibraryJson

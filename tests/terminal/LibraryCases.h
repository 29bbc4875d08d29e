#pragma once

#include "terminal/CCommandLibrary.h"

// Small libraries for the tests of the library and its editor.
namespace librarycases {

inline TerminalCommand TextCommand(const QString& name, const QString& content, int shortcut = 0)
{
    TerminalCommand command;
    command.name = name;
    command.content = content;
    command.lineEnd = TerminalCommand::LineEnd::Cr;
    command.shortcut = shortcut;
    return command;
}

inline TerminalCommand ModbusCommand(const QString& name, const QString& hex)
{
    TerminalCommand command;
    command.name = name;
    command.content = hex;
    command.contentKind = TerminalCommand::Content::Hex;
    command.check = CheckValue::Kind::Crc16Modbus;
    return command;
}

inline SequenceStep SendStep(const QString& command)
{
    return {SequenceStep::Kind::Send, command, 0};
}

inline SequenceStep WaitStep(const QString& text, int ms)
{
    return {SequenceStep::Kind::Wait, text, ms};
}

inline SequenceStep PauseStep(int ms)
{
    return {SequenceStep::Kind::Pause, {}, ms};
}

inline CCommandLibrary SampleLibrary()
{
    CCommandLibrary library;
    library.SetFilePath({});
    library.Assign({TextCommand(QStringLiteral("读版本"), QStringLiteral("AT+VER"), 1),
                    ModbusCommand(QStringLiteral("读寄存器"), QStringLiteral("01 03 00 00 00 0A"))},
                   {{QStringLiteral("巡检"),
                     {SendStep(QStringLiteral("读版本")), WaitStep(QStringLiteral("OK"), 1000), PauseStep(200)},
                     3}});
    return library;
}

}  // namespace librarycases

#pragma once

#include "batch/CommandLine.h"

#include <cstdio>

// `--edit FILE --set LABEL=VALUE … --output NEW.cfg`: changes values of a
// configuration file with no terminal attached. Every --set is checked as
// the window checks a typed value before 保存设置; the first refused value
// ends the run and nothing is written. Exit 0 when the file was written,
// 1 when a value was refused or a file could not be read or written.
class CConfigFileEdit {
public:
    explicit CConfigFileEdit(const CommandLine& command) : m_command(command) {}

    // Messages go to `out` (what changed) and `err` (why not).
    int Run(std::FILE* out, std::FILE* err) const;

private:
    CommandLine m_command;
};

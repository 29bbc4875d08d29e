#pragma once

#include "batch/CommandLine.h"

#include <cstdio>

// `--profile PROFILE --check CONFIG.cfg`: where a configuration file
// deviates from a project profile, without a terminal. The file is read as
// 打开配置文件… reads it; the module rules are not checked (a file holds no
// module reply). Exit 0 when the file conforms, 3 when it does not, 1 when
// the profile or the file cannot be read or is refused.
class CProfileFileCheck {
public:
    explicit CProfileFileCheck(const CommandLine& command) : m_command(command) {}

    // The check's lines go to `out`, why it could not be made to `err`.
    int Run(std::FILE* out, std::FILE* err) const;

private:
    CommandLine m_command;
};

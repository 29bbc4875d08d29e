// Feeds arbitrary file bytes through the whole load of a configuration
// file, from the bytes on disk to the commands the load and the save after
// it would send, and checks what a terminal must be able to rely on: every
// command is one line, holds no control byte, and carries only bytes that
// came from the file or from the command's own fixed text.

#include "params/ConfigFilePlan.h"
#include "params/SavePlan.h"

#include <QByteArray>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

bool IsControl(unsigned char byte)
{
    return byte < 0x20 || byte == 0x7F;
}

// The bytes a value may consist of: the file's own, and what the save's
// conversions write (decimal digits and a sign; commas join list numbers).
std::array<bool, 256> AllowedValueBytes(const std::uint8_t* data, std::size_t size)
{
    std::array<bool, 256> allowed{};
    for (std::size_t i = 0; i < size; ++i)
        allowed[data[i]] = true;
    for (const char c : QByteArray("0123456789-,"))
        allowed[static_cast<unsigned char>(c)] = true;
    return allowed;
}

void CheckCommand(const QByteArray& command, const QByteArray& prefix, const std::array<bool, 256>& allowed)
{
    if (!command.startsWith(prefix) || !command.endsWith('\r'))
        std::abort();
    const QByteArray value = command.mid(prefix.size(), command.size() - prefix.size() - 1);
    for (const char c : value) {
        const auto byte = static_cast<unsigned char>(c);
        if (IsControl(byte) || !allowed[byte])
            std::abort();
    }
}

const char* const kListPrefixes[3] = {"AT+LRMSETADMINNO=", "AT+LRMSETLRMNO=", "AT+LRMSETBKNO="};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray file(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QByteArray text = ReportFromConfigFile(file);
    if (text.size() > kMaxConfigReportBytes)
        std::abort();

    // The terminal's picture starts empty, so every text a command carries
    // must have come from the file.
    const ParameterSet current{};
    const ConfigFileLoad load = PlanConfigFileLoad(text, current);
    if (load.refusal)
        return 0;
    const std::array<bool, 256> allowed = AllowedValueBytes(data, size);
    for (int category = 0; category < 3; ++category)
        CheckCommand(load.listCommands[static_cast<std::size_t>(category)], kListPrefixes[category], allowed);
    for (const PlannedWrite& write : PlanSave(current, load.saveInputs))
        CheckCommand(write.command, write.item->commandPrefix, allowed);
    return 0;
}

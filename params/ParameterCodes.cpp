#include "params/ParameterCodes.h"

#include <span>

namespace {

std::optional<std::string_view> FirstContainedCode(std::span<const CodeWord> table, std::string_view reported)
{
    for (const CodeWord& entry : table) {
        if (reported.find(entry.word) != std::string_view::npos)
            return entry.code;
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::string_view> WorkModeCode(std::string_view reported)
{
    return FirstContainedCode(kWorkModeCodes, reported);
}

std::optional<std::string_view> ActivateMethodCode(std::string_view reported)
{
    return FirstContainedCode(kActivateMethodCodes, reported);
}

SerialFraming SerialModeSettings(std::string_view serialMode)
{
    for (const SerialModeEntry& entry : kSerialModes) {
        if (serialMode.find(entry.text) != std::string_view::npos)
            return entry.framing;
    }
    return SerialFraming{};
}

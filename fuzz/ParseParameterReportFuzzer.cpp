// Feeds arbitrary bytes to the parameter report parser, both as a report of
// known size and as a zero-terminated text, and checks that every field the
// parser may touch still keeps its width limit afterwards.

#include "params/ParameterReport.h"
#include "params/ParameterSet.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace {

template <std::size_t Width>
void CheckText(const FixedText<Width>& text)
{
    if (text.Length() > FixedText<Width>::kCapacity || text.CStr()[text.Length()] != '\0'
        || std::strlen(text.CStr()) != text.Length())
        std::abort();
}

void CheckList(const NumberList& list)
{
    for (const NumberList::Slot& slot : list)
        CheckText(slot);
}

void CheckSet(const ParameterSet& set)
{
    CheckList(set.adminNumbers);
    CheckList(set.authorisedNumbers);
    CheckList(set.backupNumbers);
    CheckText(set.presetText1);
    CheckText(set.presetText2);
    CheckText(set.presetText3);
    CheckText(set.workMode);
    CheckText(set.serialMode);
    CheckText(set.smsCentre);
    CheckText(set.keepOnlineInfo);
    CheckText(set.registerInfo);
    CheckText(set.pppOnPassword);
    CheckText(set.pppOffPassword);
    CheckText(set.intercomEnabled);
    CheckText(set.pickupEnabled);
    CheckText(set.heartbeatSeconds);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Sized form straight on the fuzzer's buffer: it must not read past it.
    auto sized = std::make_unique<ParameterSet>();
    const bool sizedResult = ParseParameterReport(reinterpret_cast<const char*>(data), size, *sized);
    CheckSet(*sized);

    // Zero-terminated form on a terminated copy; both must agree.
    std::vector<char> text(data, data + size);
    text.push_back('\0');
    auto terminated = std::make_unique<ParameterSet>();
    const bool terminatedResult = ParseParameterReport(text.data(), *terminated);
    CheckSet(*terminated);
    if (sizedResult != terminatedResult)
        std::abort();

    // Parsing over a filled set (what a second read-back does) must hold too.
    ParseParameterReport(reinterpret_cast<const char*>(data), size, *sized);
    CheckSet(*sized);
    return 0;
}

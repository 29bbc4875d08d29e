#include "params/DecimalValue.h"

#include <limits>

namespace {

bool IsWhiteSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

}  // namespace

std::int32_t DecimalValue(std::string_view text)
{
    std::size_t position = 0;
    while (position < text.size() && IsWhiteSpace(text[position]))
        ++position;

    bool negative = false;
    if (position < text.size() && (text[position] == '+' || text[position] == '-')) {
        negative = text[position] == '-';
        ++position;
    }

    // Accumulate the magnitude in 64 bits and stop growing it once it is past
    // the 32-bit range; the remaining digits are still part of the number but
    // cannot change the saturated result.
    constexpr std::int64_t kLimit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
    std::int64_t magnitude = 0;
    while (position < text.size() && IsDigit(text[position])) {
        if (magnitude <= kLimit)
            magnitude = magnitude * 10 + (text[position] - '0');
        ++position;
    }

    if (negative)
        return magnitude >= kLimit ? std::numeric_limits<std::int32_t>::min() : static_cast<std::int32_t>(-magnitude);
    return magnitude >= kLimit ? std::numeric_limits<std::int32_t>::max() : static_cast<std::int32_t>(magnitude);
}

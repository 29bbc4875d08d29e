#pragma once

#include <cstdint>
#include <string_view>

// The decimal value of a text, read the way the terminal's values and the
// table's cells are read everywhere in the tool: leading white space
// (blank, tab, CR, LF, vertical tab, form feed) is skipped, then an optional
// "+" or "-", then the digits up to the first other character. A text
// without digits there reads as 0 ("abc", "", "-", " - 5").
//
// Only the given bytes are read; a zero byte is an ordinary non-digit.
// Values beyond the 32-bit range saturate at INT32_MAX / INT32_MIN (the
// same result the C library's conversion gives on the terminal's original
// platform), so a long digit string can never overflow.
std::int32_t DecimalValue(std::string_view text);

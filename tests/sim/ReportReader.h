#pragma once

#include "sim/TerminalParameters.h"

#include <optional>
#include <string>
#include <string_view>

// An independent reading of a parameter report by the rules the tool's
// parser follows (first occurrence of each label, value to the next CR LF,
// blanks skipped and 99-character cut and 3/2-character suffix cut in the
// modem part, word-to-code tables, "8,N,1" -> "8N1", empty SMS centre ->
// "默认"). Written from the tool's label list, not from the simulator's
// code, so the two check each other.
//
// Only the fields the tool keeps are filled; the rest stay empty.
// Returns nothing where the tool's parser would report failure.
std::optional<TerminalParameters> ReadReport(const std::string& report);

// The fields of `params` as the tool would hold them after reading a
// correct report of them: not-kept fields cleared, an empty SMS centre as
// "默认".
TerminalParameters ToolView(TerminalParameters params);

inline constexpr std::string_view kDefaultSmsCentreGbk = "\xC4\xAC\xC8\xCF";  // 默认

#pragma once

#include "sim/TerminalParameters.h"

#include <cstddef>
#include <string>

// The text the simulated terminal prints for "AT+SHOW"/"at+show": one
// labelled value per line, CR LF line ends, then "OK\r\n".
//
// Layout (byte for byte what the tool's report parser expects):
//   - Alarm part: the label with its own trailing blanks, then the value,
//     e.g. "Alarm fm freq:  8800\r\n". Number lists print every number
//     followed by a comma ("Alarm admin NO:  13800000001,13800000002,\r\n";
//     an empty list prints nothing after the label). Priorities, play
//     counts and the SMS receipt flag print as decimal numbers.
//   - Modem part: the label padded with blanks to column 33 (the parser
//     skips blanks after a label), then the value. Labels whose value the
//     parser shortens by three characters are followed by the value and
//     " ;;", the SMS centre (shortened by two) by the value and " ;"
//     ("Heartbeat poll time seconds:    60 ;;\r\n"); an empty SMS centre is
//     printed as the bare label. Work mode and activation method print as
//     words ("TCP SERVER", "AUTO"), the serial mode as "8,N,1".
//   - Order: every label comes before the longer labels that contain it
//     ("Server's Ip" before "Secondary Server's Ip" and "Dns Server's Ip:"),
//     because the parser takes the first occurrence. Free texts (preset
//     texts) close the alarm part, and "Access Point Name:" is the last
//     line before "OK\r\n", so no value printed before it can complete the
//     tool's wait for the report early.
//
// What does not survive the report: leading blanks of modem values, and
// modem values longer than the limits below (the parser cuts every modem
// line to 99 characters before it removes the suffix). The setter commands
// refuse such values; parameters set directly by a test are printed as
// they are.
class ParameterReport {
public:
    static constexpr std::size_t kMaxAlarmOptionLength = 99;
    static constexpr std::size_t kMaxModemValueLength = 99;     // no suffix
    static constexpr std::size_t kMaxSuffix3ValueLength = 96;   // " ;;"
    static constexpr std::size_t kMaxSuffix2ValueLength = 97;   // " ;"
    static constexpr std::size_t kModemValueColumn = 33;

    // The whole reply, ending in "OK\r\n".
    static std::string Build(const TerminalParameters& params);

    // Word printed for a work-mode or activation-method code; a code that is
    // not in the tool's tables is printed as it stands.
    static std::string WorkModeWord(const std::string& code);
    static std::string ActivateMethodWord(const std::string& code);
    // "8N1" -> "8,N,1"; any other text is printed as it stands.
    static std::string SerialModeText(const std::string& mode);
};

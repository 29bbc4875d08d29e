#pragma once

#include "params/NumberList.h"
#include "params/ParameterSet.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

// The longest report a terminal can send for any parameter set: every line
// the parser reads, each value at its field's limit (three full lists of 255
// numbers of 32 characters, 400-byte preset texts, 99-byte settings), plus
// room for padding blanks, the lines it does not read, the echoed command
// and the closing "OK". ParameterReport.cpp derives the bound from the label
// tables and checks this figure against it. Received text and configuration
// files are kept up to this size.
inline constexpr std::size_t kMaxParameterReportBytes = 36 * 1024;

// Reads the terminal's parameter report (its answer to "AT+SHOW\r", or a
// configuration file holding that answer) into a parameter set.
//
// Every known label is searched from the start of the whole report; the
// first occurrence wins, even inside a longer label, and the value runs from
// the label to the next CR LF. Lines may come in any order and unknown lines
// are ignored. Returns false when a required label is missing or a value is
// refused; the fields written up to that point keep their new values.
//
// The report ends at its first zero byte. A null report fails without
// touching the set.
bool ParseParameterReport(const char* report, ParameterSet& set);

// The same for a report of known size: never reads beyond `size` bytes, and
// stops earlier at a zero byte.
bool ParseParameterReport(const char* report, std::size_t size, ParameterSet& set);

// Splits a number-list value ("13800138000,13900139000,") into the list's
// slots, after emptying all of them. A final comma is ignored; each comma
// ends one number, which takes the next slot (an empty number leaves its
// slot empty). After 255 numbers the rest is ignored. Returns false, with
// the numbers before the fault kept, when a number is longer than a slot's
// 32 characters or when the text after the last comma is empty.
bool SplitNumberList(std::string_view value, NumberList& list);

// A number of a list that the list does not keep.
struct RefusedListNumber {
    enum class Reason {
        TooLong,       // longer than a slot's 32 characters
        AfterRefused,  // after a number that was too long: not read at all
        TooMany,       // beyond the 255th number
    };
    int category = 0;  // 0 administrator, 1 authorised, 2 backup
    Reason reason = Reason::TooLong;
    std::string number;  // the number as it stands in the report
};

// The numbers of the report's three lists that SplitNumberList would refuse
// or leave out, in list order: the splitter stops at a number that is too
// long, so its callers learn here what was not taken.
std::vector<RefusedListNumber> FindRefusedListNumbers(std::string_view report);

// The first value of a line the parser reads (a number list, a setting, a
// modem line) that holds a control character: a byte below 0x20 or 0x7F. A
// CR in a value would end the command it is sent in and start another one.
// Nothing when every value is clean. The label is returned as it stands.
std::optional<std::string_view> FindLabelWithControlCharacter(std::string_view report);

// A report line the parser keeps in a field of the set, and that field.
struct ReportLabelField {
    std::string_view label;  // as it stands in the report, padding included
    std::variant<ShortText ParameterSet::*, LongText ParameterSet::*, PresetText ParameterSet::*,
                 std::uint8_t ParameterSet::*, std::int32_t ParameterSet::*>
        field;
    // Modem lines: the blanks after the label are skipped and the value's
    // last `cut` characters are not part of it (" ;;" after a heartbeat).
    bool modemLine = false;
    std::size_t cut = 0;
};
// Every such line: priorities, play counts, preset texts, alarm settings
// and the modem lines kept (not the number lists).
std::vector<ReportLabelField> ReportLabelFields();

// What is kept of a report received from the terminal (configuration
// files, the service record): its zero bytes dropped (line noise, never
// text), then the text from the first label the parser knows up to the end
// of the "OK" line after the last label's line. Every line the parser reads
// lies within it, so it parses as the whole does; noise before the report
// and after its "OK" is left out. Without any known label the text is kept
// whole; without an "OK" after the last label, up to its end.
std::string KeptReportText(std::string_view received);

// How many of the labels the parser knows are absent from the report.
int CountMissingReportLabels(std::string_view report);

#pragma once

#include "params/NumberList.h"
#include "params/ParameterSet.h"

#include <cstddef>
#include <string_view>

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

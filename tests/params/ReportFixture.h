#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

// The complete parameter report of a terminal as it arrives on the line
// (GBK texts, CR LF line ends), and small edits of it for the cases that
// need one line changed or missing.
namespace reportfixture {

inline std::string FullReport()
{
    std::ifstream file(SIRENSET_PARAMS_TEST_DATA "/full_report.txt", std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// Start of the line that begins with `label`; npos (and a test failure)
// when no line does.
inline std::size_t LineStart(const std::string& report, std::string_view label)
{
    if (report.starts_with(label))
        return 0;
    const std::size_t at = report.find(std::string("\n").append(label));
    if (at == std::string::npos) {
        ADD_FAILURE() << "no line starts with " << label;
        return std::string::npos;
    }
    return at + 1;
}

// Replaces the whole line that starts with `label` (label included, CR LF
// kept) by `label` + `value`. The label must be present at a line start.
inline std::string WithValue(std::string report, std::string_view label, std::string_view value)
{
    const std::size_t at = LineStart(report, label);
    if (at == std::string::npos)
        return report;
    const std::size_t end = report.find("\r\n", at);
    report.replace(at, end - at, std::string(label).append(value));
    return report;
}

// Removes the whole line starting with `label`, CR LF included.
inline std::string WithoutLine(std::string report, std::string_view label)
{
    const std::size_t at = LineStart(report, label);
    if (at == std::string::npos)
        return report;
    const std::size_t end = report.find("\r\n", at);
    report.erase(at, end + 2 - at);
    return report;
}

// Puts a line in front of the report.
inline std::string WithLineFirst(const std::string& report, std::string_view line)
{
    return std::string(line).append("\r\n").append(report);
}

}  // namespace reportfixture

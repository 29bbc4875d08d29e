#pragma once

#include "params/ReportFixture.h"

#include <QByteArray>

#include <string>

// Reports of made-up terminals for record tests: the complete report with
// its device ID, SIM number and server address replaced.
namespace recordreports {

inline QByteArray Report(const std::string& id, const std::string& sim = "13912345678",
                         const std::string& server = "116.62.10.20")
{
    std::string report = reportfixture::FullReport();
    report = reportfixture::WithValue(report, "Modem's ID number ", id);
    report = reportfixture::WithValue(report, "Modem's Phone Number ", sim);
    report = reportfixture::WithValue(report, "Server's Ip ", server);
    return QByteArray::fromStdString(report);
}

}  // namespace recordreports

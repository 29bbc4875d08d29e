#pragma once

#include "reports/ReportTypes.h"

#include <QString>

// The report as a PDF file: A4, 15 mm margins, 300 dpi, the pages of
// CReportPainter. Written to a temporary file beside `path` and moved over
// it, so a report cut short never leaves half a file. False with the
// reason in `why`.
bool WriteReportPdf(const ReportDocument& report, const QString& path, QString* why);

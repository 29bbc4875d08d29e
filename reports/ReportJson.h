#pragma once

#include "reports/ReportTypes.h"

#include <QJsonObject>
#include <QString>

// The report's fields and results as JSON, kept beside its PDF
// ("OUT.pdf.json") so that the service record can take it in later: the
// same values the pages show, with the photos' SHA-256 and the PDF's.
QJsonObject ReportToJson(const ReportDocument& report, const QString& pdfDigest = {});

// SHA-256 (hex) of a file's bytes; "" when it cannot be read.
QString FileDigest(const QString& path);

// Writes the JSON to `path` (whole or not at all). False with `why`.
bool WriteReportJson(const QJsonObject& json, const QString& path, QString* why);

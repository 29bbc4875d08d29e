#pragma once

#include "reports/ReportTemplate.h"
#include "reports/ReportTypes.h"

#include <QByteArray>
#include <QString>

#include <map>
#include <optional>
#include <vector>

// What the technician gives a report as files: the site and the checklist
// results. Each is checked as it is read and refused with what and where.

// The site file:
//   {"project": "…", "siteName": "…", "address": "…",
//    "latitude": "30°34'22.1\"N" or 30.5728, "longitude": "…",
//    "installer": "…", "technician": "…", "customerRepresentative": "…",
//    "date": "2026-12-11"}
// Every field may be left out (the date is then the report's day).
std::optional<ReportSite> ParseSiteFile(const QByteArray& bytes, const QString& name, QString* why);
std::optional<ReportSite> LoadSiteFile(const QString& path, QString* why);

// The checklist results, against a template:
//   {"results": {"voice-call": {"result": "合格", "note": "…"}, …},
//    "photos": [{"file": "antenna.jpg", "caption": "天线"}, …]}
// An id the template does not know, a result other than 合格 / 不合格 /
// 未检, a photo that is not there refuse it. Photo paths are taken from
// the results file's folder.
struct ChecklistResults {
    struct Mark {
        ManualCheck::Result result = ManualCheck::Result::NotChecked;
        QString note;
    };
    std::map<QString, Mark> marks;
    std::vector<ReportPhoto> photos;
};
std::optional<ChecklistResults> ParseChecklistResults(const QByteArray& bytes, const QString& name,
                                                      const ReportTemplate& checklist, const QString& folder,
                                                      QString* why);
std::optional<ChecklistResults> LoadChecklistResults(const QString& path, const ReportTemplate& checklist,
                                                     QString* why);

// The template's items with the marks put on them; unmarked ones 未检.
std::vector<ManualCheck> MarkedChecklist(const ReportTemplate& checklist, const ChecklistResults& results);

#pragma once

#include "reports/ReportTypes.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

// A checklist template: a readable JSON file a workshop may edit (the
// shipped ones are reports/templates/*.json). It names the report's title,
// the automatic checks to run, the roles that sign and the manual checks,
// each with its group, its text and whether it is required:
//
//   {"name": "…", "kind": "acceptance", "version": 1, "title": "…",
//    "automatic": ["readback", "conformity", "signal", "clock", "powerOnTest", "numberLists"],
//    "signatures": ["安装单位", …],
//    "items": [{"id": "voice-call", "group": "…", "text": "…", "required": true}, …]}
struct ReportTemplate {
    QString name;
    ReportKind kind = ReportKind::Acceptance;
    int version = 1;
    QString title;
    QStringList automatic;   // the automatic checks to run (ids, any order)
    QStringList signatures;
    std::vector<ManualCheck> items;  // every result 未检

    const ManualCheck* Item(const QString& id) const;
};

// The automatic checks a template may name, in the order they run.
QStringList AutomaticCheckIds();
// "配置回读", "配置符合性", "信号强度", "设备时钟", "上电测试", "号码列表"
QString AutomaticCheckTitle(const QString& id);

// Checked as it is read: an unknown field, kind or automatic check, an item
// without id or text, an id twice, an empty list refuse it with what and
// where ("“t.json”：items[3].id：“fm”重复"); nothing of it is used.
std::optional<ReportTemplate> ParseReportTemplate(const QByteArray& bytes, const QString& name, QString* why);
std::optional<ReportTemplate> LoadReportTemplate(const QString& path, QString* why);
// The shipped template of a kind.
ReportTemplate DefaultReportTemplate(ReportKind kind);

#pragma once

#include "params/SavePlan.h"

#include <QByteArray>
#include <QDate>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

// A project profile (项目配置规范): what every terminal of a project must
// hold, as a readable JSON file:
//
//   {"name": "县应急广播二期", "version": 3, "description": "…",
//    "rules": [
//      {"item": "GPRS主中心地址", "equals": "10.0.0.6"},
//      {"item": "无线网络APN", "oneOf": ["CMIOT", "CMNET"], "prefer": "CMIOT"},
//      {"item": "心跳包时间(31到65535)", "range": [60, 300]},
//      {"item": "GPRS备份中心地址", "pattern": "10\\.0\\.0\\.[0-9]+"},
//      {"item": "设备ID号码(固定8位)", "perUnit": true},
//      {"list": "管理号码", "contains": ["13800000001"], "maxCount": 5},
//      {"module": {"pattern": "REV 1\\.[0-9]+"}, "since": "2027-03-01"}]}
//
// An item is named as --set names it (the table's label, with or without
// its colon, or the report's label); a list by its name (管理号码, 授权号码,
// 备份号码) or the report's label. A profile is checked as a whole when it
// is loaded: one fault refuses it, with what and where, and nothing of it
// is used.
struct ProfileRule {
    enum class Kind {
        Equals,   // the item holds this value
        OneOf,    // the item holds one of these values (`prefer` puts it right)
        Range,    // a numeric item's value lies in [min, max]
        Pattern,  // the whole value as the table shows it matches
        PerUnit,  // every terminal has a value of its own: present here
        List,     // a number list: equals / contains / excludes / maxCount
        Module,   // the entry's ati / AT+CGMR reply is one of these
    };

    int index = 0;  // where the rule stands in the file, from 0
    Kind kind = Kind::Equals;
    // The item (item rules), or the list (0 administrator, 1 authorised,
    // 2 backup).
    const SaveItem* item = nullptr;
    int listCategory = -1;
    // What the rule is about, as messages name it: the item's table label
    // without its colon, the list's name, or "模块版本".
    QString subject;

    QStringList values;              // Equals: one value; OneOf: the set
    std::optional<QString> prefer;   // OneOf
    double min = 0;                  // Range
    double max = 0;
    QRegularExpression pattern;      // Pattern (anchored to the whole value)
    QString patternText;             // Pattern, as the file writes it

    std::optional<QStringList> listEquals;  // the whole list, in its order
    QStringList contains;
    QStringList excludes;
    std::optional<int> maxCount;

    QStringList moduleTexts;                     // the reply's text exactly
    std::vector<QRegularExpression> modulePatterns;  // found anywhere in it

    // Before this day a deviation is to be put right (待整改) and does not
    // count against the terminal.
    std::optional<QDate> since;
};

struct ProjectProfile {
    QString name;
    QString version;       // "3": shown as «name v3»
    QString description;
    std::vector<ProfileRule> rules;
    // SHA-256 of the file's bytes, in hex: which text a check was made with.
    QString digest;

    // «县应急广播二期 v3»
    QString Title() const;
};

// The profile in `bytes`; nothing, with what is wrong and where, when any
// part of it is refused.
std::optional<ProjectProfile> ParseProjectProfile(const QByteArray& bytes, QString* why);
// The same for a file; an unreadable file is refused with the reason.
std::optional<ProjectProfile> LoadProjectProfile(const QString& path, QString* why);

#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

// What an acceptance (验收) or inspection (巡检) report holds, as plain
// values: measured by the run, typed by the technician, or taken from the
// checklist template. Nothing here talks to a terminal or paints.

enum class ReportKind { Acceptance, Inspection };

// "验收报告" / "巡检报告"
QString ReportKindName(ReportKind kind);

// Who and what was checked.
struct ReportIdentity {
    QString deviceId;
    QString simNumber;
    // The entry's ati reply, or its AT+CGMR reply when ati had none: the
    // module and its version, its lines joined by a blank.
    QString module;
    QString deviceKey;     // as the service record keys the terminal
    qint64 snapshotId = 0; // the record's snapshot of the report read; 0 when none
    int snapshotNumber = 0;
    bool recordPending = false;  // the snapshot waits in the outbox
    QString snapshotDigest;      // SHA-256 (hex) of the report as the record keeps it
};

struct ReportSite {
    QString project;
    QString siteName;
    QString address;
    // Decimal degrees, checked for range; the text as typed is kept too.
    std::optional<double> latitude;
    std::optional<double> longitude;
    QString installer;
    QString technician;
    QString customerRepresentative;
    QDate date;
};

// One check run over the serial line.
struct AutomaticCheck {
    enum class Outcome { Passed, Failed, Skipped };
    QString id;        // "readback", "conformity", "signal", "clock", "powerOnTest", "numberLists"
    QString title;     // "配置回读"
    Outcome outcome = Outcome::Skipped;
    QString result;    // one line: what was found, or why it was skipped
    QStringList details;  // further lines (deviations, differences)
};

// "合格", "不合格", "跳过"
QString OutcomeText(AutomaticCheck::Outcome outcome);

// One item of the checklist, as the technician marked it.
struct ManualCheck {
    enum class Result { Passed, Failed, NotChecked };
    QString id;
    QString group;
    QString text;
    bool required = false;
    Result result = Result::NotChecked;
    QString note;
};

// "合格", "不合格", "未检"
QString ManualResultText(ManualCheck::Result result);
std::optional<ManualCheck::Result> ManualResultFromText(const QString& text);

// The signal run, for its figures and its chart.
struct SignalTrace {
    struct Point {
        double seconds = 0;       // since the run began
        std::optional<int> rssi;  // nothing: no level (unknown, not understood, missed)
    };
    std::vector<Point> points;
    double seconds = 0;           // how long it ran
    int readings = 0;
    int values = 0;
    std::optional<int> minimumRssi;
    std::optional<int> maximumRssi;
    std::optional<double> averageRssi;
};

struct ReportPhoto {
    QString file;
    QString caption;
};

struct ReportDocument {
    ReportKind kind = ReportKind::Acceptance;
    QString number;      // "YS-20261211-1A2B3C4D-131005"
    QString title;       // from the template
    QString templateName;
    QDateTime created;
    ReportIdentity identity;
    ReportSite site;
    std::vector<AutomaticCheck> automatic;
    std::optional<SignalTrace> signal;
    std::vector<ManualCheck> manual;
    std::vector<ReportPhoto> photos;
    QStringList signatures;  // the roles that sign: "安装单位", ...

    // 合格 only when no check failed and no required check is 未检.
    bool Passed() const;
    // Why not, one line each ("自动检查“信号强度”不合格", "必检项“…”未检").
    QStringList VerdictReasons() const;
};

// "合格" / "不合格"
QString VerdictText(bool passed);

// The report's number: "YS-" (验收) or "XJ-" (巡检), the day, the device ID
// and the time, so that two reports of one terminal never share one.
QString ReportNumber(ReportKind kind, const QString& deviceId, const QDateTime& created);

// What the QR code holds: the number, the device ID and the snapshot's
// digest, in ASCII so that any reader decodes it.
QString QrPayload(const ReportDocument& report);

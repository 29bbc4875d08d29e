// The fleet judged against a profile from the record's parsed values (a
// check per distinct value set) says exactly what checking every report
// says, for every kind of rule, terminals that share values, a shared SIM
// number, a terminal without an ID and one without a snapshot.
#include "profiles/ProjectProfile.h"
#include "records/CRecordStore.h"
#include "records/FleetJudgement.h"

#include "RecordReports.h"

#include <QDateTime>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using recordreports::Report;

namespace {

QStringList Judged(const FleetJudgement& judgement)
{
    QStringList lines;
    for (const FleetRow& row : judgement.rows) {
        lines << row.device.key + QLatin1Char(' ') + FleetStateText(row.verdict.state);
        for (const Deviation& deviation : row.verdict.check.deviations)
            lines << QStringLiteral("  ") + deviation.Text();
    }
    lines << FleetStatesText(judgement.tally);
    return lines;
}

TEST(FleetJudgement, FromParsedValuesAsFromEveryReport)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("records.sqlite"));
    const qint64 now = QDateTime(QDate(2026, 6, 1), QTime(9, 0)).toMSecsSinceEpoch();
    {
        CRecordStore store(path);
        ASSERT_TRUE(store.Open());
        const struct {
            const char* id;
            const char* sim;
            const char* server;
            const char* module;
            int daysAgo;
        } visits[] = {
            {"0000000A", "13900000001", "10.0.0.6", "LRM-200 REV 1.2", 1},
            {"0000000B", "13900000002", "10.0.0.6", "LRM-200 REV 1.2", 2},  // the same values as A
            {"0000000C", "13900000002", "10.0.0.5", "LRM-200 REV 1.2", 3},  // B's SIM number
            {"0000000D", "13900000004", "10.0.0.6", "LRM-100", 400},        // long unseen
            {"", "13900000005", "10.0.0.6", "", 1},                          // no ID, no module reply
            {"0000000A", "13900000001", "10.0.0.5", "LRM-200 REV 1.2", 0},  // A again, moved back
        };
        for (const auto& visit : visits) {
            ReportEvent event;
            event.trigger = QString::fromLatin1(RecordTrigger::Entry);
            event.report = Report(visit.id, visit.sim, visit.server);
            event.module = QString::fromLatin1(visit.module);
            event.atMs = now - qint64(visit.daysAgo) * 24 * 3600 * 1000;
            ASSERT_TRUE(store.RecordReport(event)) << store.LastError().toStdString();
        }
    }
    const char* const profiles[] = {
        R"j({"item": "GPRS主中心地址", "equals": "10.0.0.6"})j",
        R"j({"item": "设备ID号码(固定8位)", "perUnit": true}, {"item": "设备SIM号码(固定11位)", "perUnit": true})j",
        R"j({"item": "设备ID号码(固定8位)", "pattern": "0000000[AB]"}, {"item": "心跳包时间(31到65535)", "range": [60, 300]})j",
        R"j({"module": {"pattern": "REV 1\\.[0-9]+"}, "since": "2026-09-01"}, {"list": "管理号码", "maxCount": 1})j",
        R"j({"item": "GPRS主中心地址", "oneOf": ["10.0.0.6", "10.0.0.7"]}, {"module": {"equals": "LRM-100"}},
            {"item": "设备SIM号码(固定11位)", "equals": "13900000002"})j",
    };
    for (const char* rules : profiles) {
        SCOPED_TRACE(rules);
        QString why;
        const std::optional<ProjectProfile> profile = ParseProjectProfile(
            QStringLiteral(R"j({"name": "P", "version": 1, "rules": [%1]})j").arg(QString::fromUtf8(rules)).toUtf8(),
            &why);
        ASSERT_TRUE(profile) << why.toStdString();
        CRecordStore store(path);
        CRecordStore lookup(path);
        ASSERT_TRUE(store.OpenForReading() && lookup.OpenForReading());
        FleetJudgement fromReports(*profile), fromValues(*profile);
        ASSERT_TRUE(JudgeFleet(store, *profile, now, kDefaultStaleDays, fromReports));
        ASSERT_TRUE(JudgeFleet(store, *profile, now, kDefaultStaleDays, fromValues, {}, &lookup))
            << fromValues.error.toStdString();
        EXPECT_EQ(Judged(fromValues), Judged(fromReports));
        EXPECT_EQ(fromValues.tally.breaking, fromReports.tally.breaking);
        EXPECT_EQ(fromValues.tally.pending, fromReports.tally.pending);
        EXPECT_EQ(fromValues.tally.modules, fromReports.tally.modules);
        // Not every terminal conforms to any of these.
        EXPECT_FALSE(fromValues.tally.AllConform());
    }
}

}  // namespace

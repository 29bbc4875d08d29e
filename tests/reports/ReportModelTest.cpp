// What a report holds and what it refuses: coordinates as typed, the
// verdict, and the template, site and results files with their refusals.
#include "reports/Coordinates.h"
#include "reports/ReportInputs.h"
#include "reports/ReportTemplate.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>

namespace {

TEST(ReportCoordinates, DecimalAndDmsWithTheirEdges)
{
    struct Row {
        const char* text;
        CoordinateAxis axis;
        std::optional<double> degrees;  // nothing: refused
        const char* reason = "";        // a part of the refusal
    };
    using A = CoordinateAxis;
    const Row rows[] = {
        {"30.5728", A::Latitude, 30.5728},
        {"-33.8688", A::Latitude, -33.8688},
        {"30.5728N", A::Latitude, 30.5728},
        {"33.8688 S", A::Latitude, -33.8688},
        {"90", A::Latitude, 90.0},
        {"-90", A::Latitude, -90.0},
        {"90.000001", A::Latitude, std::nullopt, "超出范围（-90 到 90 度）"},
        {"180", A::Longitude, 180.0},
        {"W180", A::Longitude, -180.0},
        {"180.5", A::Longitude, std::nullopt, "超出范围（-180 到 180 度）"},
        {"30°34'22.1\"N", A::Latitude, 30 + 34 / 60.0 + 22.1 / 3600},
        {"30 34 22.1 N", A::Latitude, 30 + 34 / 60.0 + 22.1 / 3600},
        {"北纬30°34′22″", A::Latitude, 30 + 34 / 60.0 + 22 / 3600.0},
        {"E114d18m19.8s", A::Longitude, 114 + 18 / 60.0 + 19.8 / 3600},
        {"西经114°18'", A::Longitude, -(114 + 18 / 60.0)},
        {"89°59'59.9\"", A::Latitude, 89 + 59 / 60.0 + 59.9 / 3600},
        {"90°00'01\"", A::Latitude, std::nullopt, "超出范围"},
        {"30°60'00\"", A::Latitude, std::nullopt, "分须小于60"},
        {"30°30'60\"", A::Latitude, std::nullopt, "秒须小于60"},
        {"30.5°30'", A::Latitude, std::nullopt, "度数须为整数"},
        {"30.5E", A::Latitude, std::nullopt, "不是纬度的方向"},
        {"114N", A::Longitude, std::nullopt, "不是经度的方向"},
        {"-30S", A::Latitude, std::nullopt, "不能同时带负号和方向"},
        {"", A::Latitude, std::nullopt, "不是十进制度数或度分秒"},
        {"abc", A::Longitude, std::nullopt, "不是十进制度数或度分秒"},
    };
    for (const Row& row : rows) {
        QString why;
        const std::optional<double> parsed = ParseCoordinate(QString::fromUtf8(row.text), row.axis, &why);
        ASSERT_EQ(parsed.has_value(), row.degrees.has_value()) << row.text << " " << why.toStdString();
        if (row.degrees)
            EXPECT_NEAR(*parsed, *row.degrees, 1e-9) << row.text;
        else
            EXPECT_TRUE(why.contains(QString::fromUtf8(row.reason))) << row.text << ": " << why.toStdString();
    }
    EXPECT_EQ(CoordinateText(-33.8688, CoordinateAxis::Latitude), QStringLiteral("33.868800°S"));
}

TEST(ReportVerdict, PassesOnlyWithoutFailuresAndWithEveryRequiredCheckDone)
{
    using O = AutomaticCheck::Outcome;
    using R = ManualCheck::Result;
    struct Row {
        O automatic;
        R required;
        R optional;
        bool passed;
        QStringList reasons;
    };
    const Row rows[] = {
        {O::Passed, R::Passed, R::NotChecked, true, {}},
        {O::Skipped, R::Passed, R::Passed, true, {}},
        {O::Failed, R::Passed, R::Passed, false, {QStringLiteral("自动检查“信号强度”不合格")}},
        {O::Passed, R::NotChecked, R::Passed, false, {QStringLiteral("必检项“天线牢固”未检")}},
        {O::Passed, R::Passed, R::Failed, false, {QStringLiteral("检查项“标识清晰”不合格")}},
        {O::Failed, R::Failed, R::NotChecked, false,
         {QStringLiteral("自动检查“信号强度”不合格"), QStringLiteral("检查项“天线牢固”不合格")}},
    };
    for (const Row& row : rows) {
        ReportDocument report;
        report.automatic.push_back({QStringLiteral("signal"), QStringLiteral("信号强度"), row.automatic, {}, {}});
        report.manual.push_back({QStringLiteral("a"), {}, QStringLiteral("天线牢固"), true, row.required, {}});
        report.manual.push_back({QStringLiteral("b"), {}, QStringLiteral("标识清晰"), false, row.optional, {}});
        EXPECT_EQ(report.Passed(), row.passed);
        EXPECT_EQ(report.VerdictReasons(), row.reasons);
    }
}

TEST(ReportTemplates, ShippedOnesNameEveryCheckInChinese)
{
    for (const ReportKind kind : {ReportKind::Acceptance, ReportKind::Inspection}) {
        const ReportTemplate shipped = DefaultReportTemplate(kind);
        EXPECT_EQ(shipped.kind, kind);
        EXPECT_EQ(shipped.automatic, AutomaticCheckIds());
        EXPECT_EQ(shipped.signatures.size(), 3);
        QStringList ids;
        for (const ManualCheck& item : shipped.items)
            ids << item.id;
        EXPECT_EQ(ids, (QStringList{"voice-call", "sms-tts", "fm", "intercom", "microphone-line", "mp3",
                                    "volume-coverage", "antenna-cabling", "lightning-grounding", "enclosure",
                                    "power-supply", "label"}));
        EXPECT_TRUE(shipped.Item(QStringLiteral("antenna-cabling"))->required);
    }
}

// Every file a technician or a workshop writes: the refusal says the file,
// the place and what is wrong.
TEST(ReportFiles, RefusalsSayWhatAndWhere)
{
    enum class File { Template, Site, Results };
    struct Row {
        File file;
        const char* json;
        const char* refusal;  // "" when accepted
    };
    const Row rows[] = {
        {File::Template, R"({"name": "t", "kind": "acceptance", "title": "T", "automatic": [], "signatures": [],
           "items": [{"id": "a", "text": "A"}]})", ""},
        {File::Template, R"({"name": "t", "kind": "audit", "title": "T", "automatic": [], "signatures": [], "items": []})",
         "“f.json”：kind：必须是“acceptance”（验收）或“inspection”（巡检），不是“audit”"},
        {File::Template, R"({"name": "t", "kind": "acceptance", "title": "T", "automatic": ["signal", "sms"],
           "signatures": [], "items": [{"id": "a", "text": "A"}]})",
         "“f.json”：automatic[1]：未知的自动检查“sms”"},
        {File::Template, R"({"name": "t", "kind": "acceptance", "title": "T", "automatic": [], "signatures": [],
           "items": [{"id": "a", "text": "A"}, {"id": "a", "text": "B"}]})",
         "“f.json”：items[1].id：“a”重复"},
        {File::Template, R"({"name": "t", "kind": "acceptance", "title": "T", "automatic": [], "signatures": [],
           "items": [{"id": "a", "text": "A", "required": "yes"}]})",
         "“f.json”：items[0].required：必须是 true 或 false"},
        {File::Template, R"({"name": "t", "kind": "acceptance", "title": "T", "automatic": [], "signatures": [],
           "items": [{"id": "a", "text": "A"}], "colour": 1})",
         "“f.json”：colour：未知字段"},
        {File::Template, "{\"name\": \"t\",\n  \"kind\": }", "“f.json”：第2行"},
        {File::Site, R"({"project": "二期", "latitude": "30°34'22\"N", "longitude": 114.3055, "date": "2026-12-11"})", ""},
        {File::Site, R"({"latitude": "91", "longitude": "114"})", "“f.json”：latitude：纬度“91”超出范围（-90 到 90 度）"},
        {File::Site, R"({"latitude": "30", "longitude": "114°61'"})", "“f.json”：longitude：经度“114°61'”：分须小于60"},
        {File::Site, R"({"latitude": "30"})", "“f.json”：longitude：经度和纬度须同时填写"},
        {File::Site, R"({"date": "2026-13-01"})", "“f.json”：date：日期“2026-13-01”不是 YYYY-MM-DD 格式的有效日期"},
        {File::Site, R"({"site": "x"})", "“f.json”：site：未知字段"},
        {File::Site, R"({"technician": 7})", "“f.json”：technician：必须是文本"},
        {File::Site, "[1]", "“f.json”：顶层必须是 JSON 对象 {…}"},
        {File::Results, R"({"results": {"antenna-cabling": {"result": "合格", "note": "良好"}}})", ""},
        {File::Results, R"({"results": {"antenna": {"result": "合格"}}})",
         "“f.json”：results.antenna：检查表“预警广播终端安装验收检查表”中没有此检查项"},
        {File::Results, R"({"results": {"fm": {"result": "通过"}}})",
         "“f.json”：results.fm.result：必须是“合格”、“不合格”或“未检”，不是“通过”"},
        {File::Results, R"({"photos": [{"file": "missing.jpg", "caption": "天线"}]})",
         "“f.json”：photos[0].file：找不到照片文件“missing.jpg”"},
    };
    const ReportTemplate checklist = DefaultReportTemplate(ReportKind::Acceptance);
    QTemporaryDir folder;
    for (const Row& row : rows) {
        const QByteArray json(row.json);
        const QString name = QStringLiteral("f.json");
        QString why;
        bool accepted = false;
        switch (row.file) {
        case File::Template:
            accepted = ParseReportTemplate(json, name, &why).has_value();
            break;
        case File::Site:
            accepted = ParseSiteFile(json, name, &why).has_value();
            break;
        case File::Results:
            accepted = ParseChecklistResults(json, name, checklist, folder.path(), &why).has_value();
            break;
        }
        const QString refusal = QString::fromUtf8(row.refusal);
        EXPECT_EQ(accepted, refusal.isEmpty()) << row.json << ": " << why.toStdString();
        EXPECT_TRUE(refusal.isEmpty() ? why.isEmpty() : why.startsWith(refusal))
            << row.json << "\n  got: " << why.toStdString();
    }
}

TEST(ReportFiles, MarksGoOnTheTemplateAndTheRestStayUnchecked)
{
    const ReportTemplate checklist = DefaultReportTemplate(ReportKind::Acceptance);
    QString why;
    const std::optional<ChecklistResults> results = ParseChecklistResults(
        R"({"results": {"fm": {"result": "不合格", "note": "无信号"}, "mp3": {"result": "合格"}}})", QStringLiteral("r"),
        checklist, QString(), &why);
    ASSERT_TRUE(results) << why.toStdString();
    const std::vector<ManualCheck> marked = MarkedChecklist(checklist, *results);
    ASSERT_EQ(marked.size(), checklist.items.size());
    for (const ManualCheck& item : marked) {
        const ManualCheck::Result expected = item.id == QLatin1String("fm")    ? ManualCheck::Result::Failed
                                             : item.id == QLatin1String("mp3") ? ManualCheck::Result::Passed
                                                                                : ManualCheck::Result::NotChecked;
        EXPECT_EQ(item.result, expected) << item.id.toStdString();
    }
    EXPECT_EQ(marked[2].note, QStringLiteral("无信号"));
}

}  // namespace

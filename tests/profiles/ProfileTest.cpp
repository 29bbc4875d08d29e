// Project profiles: what a profile file may say, what a check of one
// terminal finds, what putting it right would send, and which per-unit
// values repeat across a fleet.
#include "profiles/ConformPlan.h"
#include "profiles/FleetState.h"
#include "profiles/ProfileCheck.h"
#include "profiles/ProjectProfile.h"

#include "params/GbkText.h"

#include <QCryptographicHash>
#include <QDateTime>

#include <gtest/gtest.h>

#include <functional>

namespace {

// A terminal as a project might find it: every value the rules below look
// at set, and valid for a save.
ParameterSet Terminal()
{
    ParameterSet set;
    set.serverIp.Assign("10.0.0.6");
    set.backupServerIp.Assign("10.0.0.17");
    set.apn.Assign("CMNET");
    set.heartbeatSeconds.Assign("60");
    set.deviceId.Assign("1A2B3C4D");
    set.simNumber.Assign("13912345678");
    set.fmFrequency.Assign("8850");
    set.smsReceipt = 1;
    set.adminNumbers.Insert("13800000001");
    set.adminNumbers.Insert("13800000002");
    set.authorisedNumbers.Insert("13900000011");
    set.authorisedNumbers.Insert("13900000012");
    set.backupNumbers.Insert("13700000021");
    return set;
}

ProjectProfile ProfileOf(const QString& rule)
{
    const QString text = QStringLiteral("{\"name\": \"县应急广播二期\", \"version\": 3, \"rules\": [%1]}").arg(rule);
    QString why;
    const std::optional<ProjectProfile> profile = ParseProjectProfile(text.toUtf8(), &why);
    EXPECT_TRUE(profile) << rule.toStdString() << ": " << why.toStdString();
    return profile.value_or(ProjectProfile{});
}

const QDate kToday(2026, 12, 10);
const char* const kNoDeviation = nullptr;
const char* const kNeedsPerson = "（需人工处理）";

// Rules × terminal values, in the words of what each rule wants. Each row
// gives the deviation's line (or none) and what putting it right sends
// (the value typed into the cell, the list sent, or that a person must).
TEST(ProfileCheck, EachRuleAgainstTheValuesAroundItsEdges)
{
    struct Row {
        const char* rule;
        std::function<void(ParameterSet&)> change;
        const char* line;
        const char* fix = "";
        std::optional<QString> module = std::nullopt;
        QDate today = kToday;
        std::map<QString, QString> unit = {};
    };
    const auto none = [](ParameterSet&) {};
    const Row rows[] = {
        // equals: as the table shows the value, by the table's own conversion
        {R"j({"item": "GPRS主中心地址", "equals": "10.0.0.6"})j", none, kNoDeviation},
        {R"j({"item": "GPRS主中心地址", "equals": "10.0.0.6"})j", [](ParameterSet& p) { p.serverIp.Assign("10.0.0.5"); },
         "GPRS主中心地址：设备“10.0.0.5”，规范要求“10.0.0.6”", "10.0.0.6"},
        {R"j({"item": "FM接收频率(MHz):", "equals": "88.5"})j", none, kNoDeviation},
        {R"j({"item": "是否短信回执", "equals": "是"})j", [](ParameterSet& p) { p.smsReceipt = 0; },
         "是否短信回执：设备“否”，规范要求“是”", "是"},
        // the report's label names the same item
        {R"j({"item": "Access Point Name:", "equals": "CMIOT"})j", none, "无线网络APN：设备“CMNET”，规范要求“CMIOT”",
         "CMIOT"},
        // oneOf, with and without a preferred value
        {R"j({"item": "无线网络APN", "oneOf": ["CMIOT", "CMNET"], "prefer": "CMIOT"})j", none, kNoDeviation},
        {R"j({"item": "无线网络APN", "oneOf": ["CMIOT", "CMNET"], "prefer": "CMIOT"})j",
         [](ParameterSet& p) { p.apn.Assign("3GNET"); }, "无线网络APN：设备“3GNET”，规范要求“CMIOT”、“CMNET”之一", "CMIOT"},
        {R"j({"item": "无线网络APN", "oneOf": ["CMIOT", "CMNET"]})j", [](ParameterSet& p) { p.apn.Assign("3GNET"); },
         "无线网络APN：设备“3GNET”，规范要求“CMIOT”、“CMNET”之一", kNeedsPerson},
        // range: both ends belong to it
        {R"j({"item": "心跳包时间(31到65535)", "range": [60, 300]})j", none, kNoDeviation},
        {R"j({"item": "心跳包时间(31到65535)", "range": [60, 300]})j", [](ParameterSet& p) { p.heartbeatSeconds.Assign("300"); },
         kNoDeviation},
        {R"j({"item": "心跳包时间(31到65535)", "range": [60, 300]})j", [](ParameterSet& p) { p.heartbeatSeconds.Assign("59"); },
         "心跳包时间(31到65535)：设备“59”，规范要求60 到 300 之间", kNeedsPerson},
        {R"j({"item": "心跳包时间(31到65535)", "range": [60, 300]})j", [](ParameterSet& p) { p.heartbeatSeconds.Assign("301"); },
         "心跳包时间(31到65535)：设备“301”，规范要求60 到 300 之间", kNeedsPerson},
        {R"j({"item": "FM接收频率(MHz)", "range": [87.5, 108]})j", [](ParameterSet& p) { p.fmFrequency.Assign("8750"); },
         kNoDeviation},
        {R"j({"item": "FM接收频率(MHz)", "range": [87.5, 108]})j", [](ParameterSet& p) { p.fmFrequency.Assign("10801"); },
         "FM接收频率(MHz)：设备“108.01”，规范要求87.5 到 108 之间", kNeedsPerson},
        // pattern: over the whole value as the table shows it
        {R"j({"item": "GPRS备份中心地址", "pattern": "10\\.0\\.0\\.[0-9]+"})j", none, kNoDeviation},
        {R"j({"item": "GPRS备份中心地址", "pattern": "10\\.0\\.0\\.[0-9]+"})j",
         [](ParameterSet& p) { p.backupServerIp.Assign("110.0.0.17"); },
         "GPRS备份中心地址：设备“110.0.0.17”，规范要求符合“10\\.0\\.0\\.[0-9]+”", kNeedsPerson},
        {R"j({"item": "GPRS备份中心地址", "pattern": "10\\.0\\.0\\.[0-9]+"})j",
         [](ParameterSet& p) { p.backupServerIp.Assign("10.0.0."); },
         "GPRS备份中心地址：设备“10.0.0.”，规范要求符合“10\\.0\\.0\\.[0-9]+”", kNeedsPerson},
        // perUnit: present; with the terminal's own row, that value
        {R"j({"item": "设备ID号码(固定8位)", "perUnit": true})j", none, kNoDeviation},
        {R"j({"item": "设备ID号码(固定8位)", "perUnit": true})j", [](ParameterSet& p) { p.deviceId.Assign(""); },
         "设备ID号码(固定8位)：设备“”，规范要求每台设备各有其值（不能为空）", kNeedsPerson},
        {R"j({"item": "设备ID号码(固定8位)", "perUnit": true})j", none,
         "设备ID号码(固定8位)：设备“1A2B3C4D”，规范要求“0000AAAA”（本机的值）", "0000AAAA", std::nullopt, kToday,
         {{QStringLiteral("Modem's ID number"), QStringLiteral("0000AAAA")}}},
        // lists
        {R"j({"list": "管理号码", "contains": ["13800000001"], "maxCount": 2})j", none, kNoDeviation},
        {R"j({"list": "管理号码", "contains": ["13800000001"], "maxCount": 2})j",
         [](ParameterSet& p) { p.adminNumbers.RemoveAll("13800000001"); },
         "管理号码：设备“13800000002”，规范要求含有“13800000001”，最多2个号码", "list 13800000002,13800000001"},
        {R"j({"list": "管理号码", "contains": ["13800000001"], "maxCount": 2})j",
         [](ParameterSet& p) { p.adminNumbers.Insert("13800000003"); },
         "管理号码：设备“13800000001,13800000002,13800000003”，规范要求含有“13800000001”，最多2个号码",
         "list 13800000001,13800000002"},
        {R"j({"list": "授权号码", "excludes": ["13900000011"]})j", none,
         "授权号码：设备“13900000011,13900000012”，规范要求不含“13900000011”", "list 13900000012"},
        {R"j({"list": "Alarm backup NO", "equals": ["13700000021"]})j", none, kNoDeviation},
        {R"j({"list": "备份号码", "equals": ["13700000021"]})j", [](ParameterSet& p) { p.backupNumbers.Clear(); },
         "备份号码：设备“”，规范要求“13700000021”", "list 13700000021"},
        {R"j({"list": "备份号码", "maxCount": 0})j", none, "备份号码：设备“13700000021”，规范要求最多0个号码", "list "},
        // module: one of the given texts or patterns, found in the reply
        {R"j({"module": {"pattern": "REV 1\\.[0-9]+"}})j", none, kNoDeviation, "",
         QStringLiteral("Quectel M26\r\nREV 1.12\r\nOK\r\n")},
        {R"j({"module": {"pattern": "REV 1\\.[0-9]+"}})j", none, "模块版本：设备“REV 2.0”，规范要求符合“REV 1\\.[0-9]+”",
         kNeedsPerson, QStringLiteral("REV 2.0\r\nOK")},
        {R"j({"module": {"oneOf": ["SIRENSET-SIM LRM-200 GSM/GPRS", "LRM-300"]}})j", none, kNoDeviation, "",
         QStringLiteral("SIRENSET-SIM LRM-200 GSM/GPRS\r\nOK\r\n")},
        {R"j({"module": {"equals": "LRM-300", "pattern": "^LRM-4"}})j", none,
         "模块版本：设备“”，规范要求“LRM-300”或符合“^LRM-4”", kNeedsPerson, QString()},
        // a file holds no module reply: the rule is not checked
        {R"j({"module": {"equals": "LRM-300"}})j", none, kNoDeviation},
        // since: before the day the deviation is only to be put right
        {R"j({"item": "GPRS主中心地址", "equals": "10.0.0.6", "since": "2027-03-01"})j",
         [](ParameterSet& p) { p.serverIp.Assign("10.0.0.5"); },
         "GPRS主中心地址：设备“10.0.0.5”，规范要求“10.0.0.6”（待整改，2027-03-01起计入）", "10.0.0.6"},
        {R"j({"item": "GPRS主中心地址", "equals": "10.0.0.6", "since": "2027-03-01"})j",
         [](ParameterSet& p) { p.serverIp.Assign("10.0.0.5"); }, "GPRS主中心地址：设备“10.0.0.5”，规范要求“10.0.0.6”",
         "10.0.0.6", std::nullopt, QDate(2027, 3, 1)},
    };
    for (const Row& row : rows) {
        const ProjectProfile profile = ProfileOf(QString::fromUtf8(row.rule));
        ParameterSet set = Terminal();
        row.change(set);
        TerminalFacts facts{&set, row.module, {}};
        for (const auto& [label, value] : row.unit)
            facts.unitValues[FindSaveItemByLabel(label)] = value;
        const ProfileCheckResult check = CheckAgainstProfile(profile, facts, row.today);
        const std::string where = std::string(row.rule) + " " + (row.line ? row.line : "");
        if (!row.line) {
            EXPECT_TRUE(check.deviations.empty()) << where << ": " << check.LogLines().join('\n').toStdString();
            EXPECT_EQ(check.LogLines(), QStringList{QStringLiteral("符合规范 «县应急广播二期 v3»")}) << where;
            continue;
        }
        ASSERT_EQ(check.deviations.size(), 1u) << where;
        const Deviation& deviation = check.deviations.front();
        EXPECT_EQ(deviation.Text(), QString::fromUtf8(row.line)) << where;
        EXPECT_EQ(deviation.rule, 0) << where;
        const QString first = deviation.pending ? QStringLiteral("符合规范 «县应急广播二期 v3»")
                                                : QStringLiteral("不符合规范 «县应急广播二期 v3»: 1 项");
        EXPECT_EQ(check.LogLines(), (QStringList{first, QString::fromUtf8(row.line)})) << where;

        const ConformPlan plan = PlanConformance(profile, check, facts);
        QString fix;
        for (const CellOverride& item : plan.items)
            fix += item.value;
        for (const auto& [category, numbers] : plan.lists)
            fix += QStringLiteral("list ") + numbers.join(QLatin1Char(','));
        if (!plan.needsPerson.empty())
            fix += QString::fromUtf8(kNeedsPerson);
        EXPECT_EQ(fix, QString::fromUtf8(row.fix)) << where;
    }
}

TEST(ProfileCheck, PerUnitValuesThatRepeatAcrossTheFleet)
{
    const ProjectProfile profile = ProfileOf(QStringLiteral(R"j({"item": "设备ID号码(固定8位)", "perUnit": true},
                                                               {"item": "设备SIM号码(固定11位)", "perUnit": true})j"));
    struct Unit {
        const char* name;
        const char* id;
        const char* sim;
    };
    const Unit units[] = {
        {"A", "0000AAAA", "13800000001"}, {"B", "0000BBBB", "13800000001"}, {"C", "0000AAAA", "13800000003"},
        {"D", "", "13800000001"},         {"E", "", "13800000005"},
    };
    std::vector<ParameterSet> sets;
    for (const Unit& unit : units) {
        sets.push_back(Terminal());
        sets.back().deviceId.Assign(unit.id);
        sets.back().simNumber.Assign(unit.sim);
    }
    std::vector<std::pair<QString, const ParameterSet*>> terminals;
    for (std::size_t i = 0; i < sets.size(); ++i)
        terminals.emplace_back(QString::fromLatin1(units[i].name), &sets[i]);
    QStringList found;
    for (const DuplicateValue& duplicate : FindPerUnitDuplicates(profile, terminals))
        found << DuplicateValueText(duplicate);
    // Two empty IDs are two missing values, not one value twice.
    EXPECT_EQ(found, (QStringList{QStringLiteral("设备ID号码(固定8位)：“0000AAAA”在 2 台设备上重复：A、C"),
                                  QStringLiteral("设备SIM号码(固定11位)：“13800000001”在 3 台设备上重复：A、B、D")}));
}

// A recorded terminal's state: 过期 and 无快照 before what the snapshot
// holds, 待整改 only when nothing else deviates; the tally counts a rule
// once per terminal.
TEST(FleetState, EachTerminalsStateAndTheFleetsTotals)
{
    const ProjectProfile profile = ProfileOf(QStringLiteral(
        R"j({"item": "GPRS主中心地址", "equals": "10.0.0.6"},
            {"module": {"pattern": "REV 1\\.[0-9]+"}, "since": "2027-03-01"})j"));
    const qint64 now = QDateTime(kToday, QTime(12, 0)).toMSecsSinceEpoch();
    const qint64 day = 24LL * 3600 * 1000;
    ParameterSet good = Terminal();
    ParameterSet oldServer = Terminal();
    oldServer.serverIp.Assign("10.0.0.5");
    const QString rev1 = QStringLiteral("REV 1.2\r\nOK"), rev2 = QStringLiteral("REV 2.0");
    struct Row {
        const ParameterSet* set;
        std::optional<QString> module;
        qint64 seenDaysAgo;
        FleetState state;
        int deviations;
    } rows[] = {
        {&good, rev1, 0, FleetState::Conforms, 0},
        {&good, rev2, 0, FleetState::Pending, 1},
        {&oldServer, rev2, 0, FleetState::Deviates, 2},
        {&oldServer, rev1, 180, FleetState::Deviates, 1},  // 180 days is not yet stale
        {&good, rev1, 181, FleetState::Stale, 0},
        {&oldServer, rev1, 400, FleetState::Stale, 1},
        {nullptr, std::nullopt, 0, FleetState::NoSnapshot, 0},
    };
    FleetTally tally(profile);
    for (const Row& row : rows) {
        const FleetVerdict verdict = JudgeTerminal(profile, FleetSnapshot{row.set, row.module, now - row.seenDaysAgo * day}, now);
        EXPECT_EQ(FleetStateText(verdict.state), FleetStateText(row.state)) << row.seenDaysAgo;
        EXPECT_EQ(int(verdict.check.deviations.size()), row.deviations);
        tally.Add(verdict, row.module);
    }
    EXPECT_EQ(tally.terminals, 7);
    EXPECT_EQ(tally.Count(FleetState::Conforms), 1);
    EXPECT_EQ(tally.Count(FleetState::Deviates), 2);
    EXPECT_EQ(tally.Count(FleetState::Stale), 2);
    EXPECT_FALSE(tally.AllConform());
    EXPECT_EQ(tally.breaking, (std::vector<int>{3, 0}));
    EXPECT_EQ(tally.pending, (std::vector<int>{0, 2}));
    EXPECT_EQ(tally.modules[QStringLiteral("REV 1.2")], 4);
    EXPECT_EQ(tally.modules[QStringLiteral("REV 2.0")], 2);
    for (FleetState state : kFleetStates)
        EXPECT_EQ(FleetStateFromText(FleetStateText(state)), state);
    EXPECT_FALSE(FleetStateFromText(QStringLiteral("合格")));

    // A shared per-unit value makes a conforming terminal deviate.
    const ProjectProfile unique = ProfileOf(QStringLiteral(R"j({"item": "设备ID号码(固定8位)", "perUnit": true})j"));
    FleetVerdict verdict = JudgeTerminal(unique, FleetSnapshot{&good, rev1, now}, now);
    ASSERT_EQ(verdict.state, FleetState::Conforms);
    AddDuplicateDeviations(verdict, QStringLiteral("B"),
                           {DuplicateValue{0, QStringLiteral("设备ID号码(固定8位)"), QStringLiteral("1A2B3C4D"),
                                           {QStringLiteral("A"), QStringLiteral("B")}}},
                           unique);
    EXPECT_EQ(verdict.state, FleetState::Deviates);
    ASSERT_EQ(verdict.check.deviations.size(), 1u);
    EXPECT_EQ(verdict.check.deviations[0].Text(),
              QStringLiteral("设备ID号码(固定8位)：设备“1A2B3C4D”，规范要求每台设备不同（另有1台相同）"));
}

TEST(ProfileLoad, TheFileOfTheExampleWithItsDigest)
{
    const QByteArray bytes = QStringLiteral(
        R"j({"name": "县应急广播二期", "version": 3, "description": "二期工程的终端",
            "rules": [
              {"item": "GPRS主中心地址", "equals": "10.0.0.6"},
              {"item": "无线网络APN", "oneOf": ["CMIOT", "CMNET"], "prefer": "CMIOT"},
              {"item": "心跳包时间(31到65535)", "range": [60, 300]},
              {"item": "设备ID号码(固定8位)", "perUnit": true},
              {"list": "管理号码", "contains": ["13800000001"], "maxCount": 5},
              {"module": {"pattern": "REV 1\\.[0-9]+"}, "since": "2027-03-01"}
            ]})j")
                                 .toUtf8();
    QString why;
    const std::optional<ProjectProfile> profile = ParseProjectProfile(bytes, &why);
    ASSERT_TRUE(profile) << why.toStdString();
    EXPECT_EQ(profile->Title(), QStringLiteral("«县应急广播二期 v3»"));
    EXPECT_EQ(profile->description, QStringLiteral("二期工程的终端"));
    ASSERT_EQ(profile->rules.size(), 6u);
    EXPECT_EQ(profile->rules[5].since, QDate(2027, 3, 1));
    EXPECT_EQ(profile->digest, QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex()));
    EXPECT_EQ(profile->digest.size(), 64);
}

// A profile with any fault is refused with what is wrong and where, and
// nothing of it is used.
TEST(ProfileLoad, RefusedProfilesSayWhatAndWhere)
{
    struct Row {
        const char* text;
        const char* message;
    };
    const Row rows[] = {
        {R"j({"name": "P", "version": 1, "rules": [{"item": "GPRS主中心地址", "equals": "1"},)j",
         "规范文件不是有效的 JSON：unterminated array（第1行第76列）"},
        {"{\"name\": \"P\",\n  \"version\": 1 \"rules\": []}", "规范文件不是有效的 JSON：unterminated object（第2行第17列）"},
        {R"j({"version": 1, "rules": []})j", "规范缺少名称（name）"},
        {R"j({"name": "P", "rules": []})j", "规范缺少版本（version），或版本不是整数或文字"},
        {R"j({"name": "P", "version": 1})j", "规范缺少规则（rules），或 rules 不是数组"},
        {R"j({"name": "P", "version": 1, "rules": [], "owner": "x"})j", "规范文件中不认识的字段“owner”"},
        {R"j({"name": "P", "version": 1, "rules": [{"item": "GPRS主中心地址", "equals": "10.0.0.6"},
             {"item": "服务器地址", "equals": "10.0.0.6"}]})j",
         "第2条规则：没有名为“服务器地址”的配置项"},
        {R"j({"name": "P", "version": 1, "rules": [{"item": "设备ID号码(固定8位)", "equals": "BEEF"}]})j",
         "第1条规则（设备ID号码(固定8位)）：值“BEEF”不能使用：设备ID号必须是8位长度"},
        {R"j({"name": "P", "version": 1, "rules": [{"item": "心跳包时间(31到65535)", "range": [10, 300]}]})j",
         "第1条规则（心跳包时间(31到65535)）：值“10”不能使用：心跳包大小超出范围,应该介于31到65535之间"},
        {R"j({"name": "P", "version": 1, "rules": [{"item": "电话预警", "oneOf": ["1", "11"]}]})j",
         "第1条规则（电话预警）：值“11”不能使用：“电话预警”只能选择：1 … 10"},
        {R"j({"name": "P", "version": 1, "rules": [{"item": "GPRS主中心端口", "equals": "50a1"}]})j",
         "第1条规则（GPRS主中心端口）：值“50a1”不能使用：“GPRS主中心端口”只能输入数字"},
        {R"j({"name": "P", "version": 1, "rules": [{"item": "无线网络APN", "oneOf": []}]})j",
         "第1条规则（无线网络APN）：oneOf 不能为空"},
        {R"j({"name": "P", "version": 1, "rules": [{"item": "无线网络APN", "oneOf": ["CMIOT"], "prefer": "CMNET"}]})j",
         "第1条规则（无线网络APN）：prefer 的值“CMNET”不在 oneOf 中"},
        {R"j({"name": "P", "version": 1, "rules": [{"item": "GPRS备份中心地址", "pattern": "10\\.0\\.(0"}]})j",
         "第1条规则（GPRS备份中心地址）：正则表达式“10\\.0\\.(0”有误：missing closing parenthesis"},
        {R"j({"name": "P", "version": 1, "rules": [{"item": "心跳包时间(31到65535)", "range": [300, 60]}]})j",
         "第1条规则（心跳包时间(31到65535)）：range 必须是 [最小值, 最大值]：两个数，最小值不大于最大值"},
        {R"j({"name": "P", "version": 1, "rules": [{"item": "心跳包时间(31到65535)", "range": [60]}]})j",
         "第1条规则（心跳包时间(31到65535)）：range 必须是 [最小值, 最大值]：两个数，最小值不大于最大值"},
        {R"j({"name": "P", "version": 1, "rules": [{"item": "无线网络APN", "range": [1, 2]}]})j",
         "第1条规则（无线网络APN）：range 只能用于数值项"},
        {R"j({"name": "P", "version": 1, "rules": [{"list": "值班号码", "maxCount": 5}]})j",
         "第1条规则：没有名为“值班号码”的号码列表（管理号码、授权号码、备份号码）"},
        {R"j({"name": "P", "version": 1, "rules": [{"list": "管理号码", "contains": ["1380000000x"]}]})j",
         "第1条规则（管理号码）：contains：号码“1380000000x”只能由数字组成"},
        {R"j({"name": "P", "version": 1, "rules": [{"list": "管理号码", "contains": ["1", "2"], "maxCount": 1}]})j",
         "第1条规则（管理号码）：contains 的号码多于 maxCount"},
        {R"j({"name": "P", "version": 1, "rules": [{"list": "管理号码", "excludes": []}]})j",
         "第1条规则（管理号码）：excludes 不能为空"},
        {R"j({"name": "P", "version": 1, "rules": [{"item": "GPRS主中心地址", "equals": "10.0.0.6", "since": "2027-02-30"}]})j",
         "第1条规则（GPRS主中心地址）：since 必须是 YYYY-MM-DD 格式的日期，不是“2027-02-30”"},
        {R"j({"name": "P", "version": 1, "rules": [{"module": {"pattern": "REV"}, "since": "1.3.2027"}]})j",
         "第1条规则（模块版本）：since 必须是 YYYY-MM-DD 格式的日期，不是“1.3.2027”"},
        {R"j({"name": "P", "version": 1, "rules": [{"module": {}}]})j",
         "第1条规则（模块版本）：module 必须给出 equals、oneOf 或 pattern"},
        {R"j({"name": "P", "version": 1, "rules": [{"item": "无线网络APN", "equals": "CMIOT", "pattern": "CM.*"}]})j",
         "第1条规则（无线网络APN）：必须有且只有 equals、oneOf、range、pattern、perUnit 之一"},
        {R"j({"name": "P", "version": 1, "rules": [{"item": "无线网络APN", "equal": "CMIOT"}]})j",
         "第1条规则（无线网络APN）：不认识的字段“equal”"},
        {R"j({"name": "P", "version": 1, "rules": [{"item": "无线网络APN", "equals": "CMIOT"},
             {"item": "Access Point Name", "equals": "CMNET"}]})j",
         "第2条规则（无线网络APN）：第1条规则已经规定了此项"},
    };
    for (const Row& row : rows) {
        QString why;
        EXPECT_FALSE(ParseProjectProfile(QByteArray(row.text), &why)) << row.text;
        EXPECT_EQ(why.toStdString(), std::string(row.message)) << row.text;
    }
}

}  // namespace

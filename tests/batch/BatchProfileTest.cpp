// Project profiles in the runs without a window: --check of a file, the
// check after every read-back of a batch run, and --conform, which puts a
// terminal right with only what deviates. The real program runs as a
// process, against the simulated terminal on a pseudo-terminal.
#include "params/CConfigFile.h"
#include "sim/ParameterReport.h"
#include "support/SimulatorSession.h"
#include "support/TestFiles.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using testsupport::SimulatorSession;

struct Result {
    int exitCode = -1;
    QString out;
    QString err;
    QStringList lines;
};

Result RunSirenset(const QStringList& arguments, int limitMs = 60000)
{
    QProcess process;
    process.start(QStringLiteral(SIRENSET_BINARY), arguments);
    EXPECT_TRUE(process.waitForFinished(limitMs));
    Result result;
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
    result.lines = testsupport::OperationLines(result.out);
    return result;
}

// The lines from the first that starts with `first` on, `count` of them.
QStringList LinesFrom(const QStringList& lines, const QString& first, qsizetype count)
{
    const qsizetype at = lines.indexOf(first);
    return at < 0 ? QStringList{} : lines.mid(at, count);
}

const char* const kTitle = "«县应急广播二期 v3»";

QString Profile(const QString& rules)
{
    return QStringLiteral(R"j({"name": "县应急广播二期", "version": 3, "description": "测试", "rules": [%1]})j").arg(rules);
}

class BatchProfileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_session.Started());
        ASSERT_TRUE(m_dir.isValid());
    }

    QString Path(const char* name) const { return m_dir.filePath(QString::fromLatin1(name)); }
    TerminalSimulator& Sim() { return m_session.sim(); }
    QString Device() const { return m_session.DevicePath(); }

    QString Write(const char* name, const QByteArray& bytes)
    {
        const QString path = Path(name);
        EXPECT_TRUE(testsupport::WriteFileBytes(path, bytes));
        return path;
    }
    QString WriteProfile(const QString& rules) { return Write("profile.json", Profile(rules).toUtf8()); }
    QString TerminalFile(const TerminalParameters& parameters)
    {
        return Write("site.cfg", CConfigFile::ToFileText(QByteArray::fromStdString(ParameterReport::Build(parameters))));
    }

    // The commands after the last entry's read of the report.
    std::vector<std::string> CommandsAfterEntry()
    {
        const std::vector<std::string> commands = Sim().ReceivedCommands();
        const auto entry = std::find(commands.rbegin(), commands.rend(), "at+show");
        return entry == commands.rend() ? std::vector<std::string>{}
                                        : std::vector<std::string>(entry.base(), commands.end());
    }

    SimulatorSession m_session;
    QTemporaryDir m_dir;
};

// ---------------------------------------------------------------- --check

TEST_F(BatchProfileTest, CheckOfAFileExitsByWhatItFinds)
{
    struct Row {
        const char* rules;       // nullptr: no profile file at all
        bool fileExists;
        int exitCode;
        QStringList out;
        const char* err = "";    // the start of standard error
    };
    const QString site = TerminalFile(TerminalParameters::Defaults());
    const Row rows[] = {
        {R"j({"item": "GPRS主中心地址", "equals": "203.0.113.10"})j", true, 0,
         {QStringLiteral("符合规范 %1").arg(QString::fromUtf8(kTitle))}},
        {R"j({"item": "GPRS主中心地址", "equals": "10.0.0.6"}, {"item": "无线网络APN", "oneOf": ["CMIOT", "CMNET"]})j",
         true, 3,
         {QStringLiteral("不符合规范 %1: 1 项").arg(QString::fromUtf8(kTitle)),
          QStringLiteral("GPRS主中心地址：设备“203.0.113.10”，规范要求“10.0.0.6”")}},
        {R"j({"item": "GPRS主中心地址", "equals": "10.0.0.6", "since": "2099-01-01"})j", true, 0,
         {QStringLiteral("符合规范 %1").arg(QString::fromUtf8(kTitle)),
          QStringLiteral("GPRS主中心地址：设备“203.0.113.10”，规范要求“10.0.0.6”（待整改，2099-01-01起计入）")}},
        {R"j({"module": {"pattern": "REV 1\\."}})j", true, 0,
         {QStringLiteral("符合规范 %1").arg(QString::fromUtf8(kTitle)),
          QStringLiteral("第1条规则（模块版本）：配置文件中没有模块信息，未检查")}},
        {R"j({"item": "服务器", "equals": "10.0.0.6"})j", true, 1, {}, "规范文件“"},
        {nullptr, true, 1, {}, "无法读取规范文件“"},
        {R"j({"item": "GPRS主中心地址", "equals": "10.0.0.6"})j", false, 1, {}, "“"},
    };
    for (const Row& row : rows) {
        QFile::remove(Path("profile.json"));
        const QString profile = row.rules ? WriteProfile(QString::fromUtf8(row.rules)) : Path("profile.json");
        const QString file = row.fileExists ? site : Path("missing.cfg");
        const Result result = RunSirenset({QStringLiteral("--profile"), profile, QStringLiteral("--check"), file});
        const std::string where = row.rules ? row.rules : "(no profile)";
        EXPECT_EQ(result.exitCode, row.exitCode) << where << result.err.toStdString();
        EXPECT_EQ(result.lines, row.out) << where << result.out.toStdString();
        if (*row.err)
            EXPECT_TRUE(result.err.startsWith(QString::fromUtf8(row.err))) << where << "\n" << result.err.toStdString();
        else
            EXPECT_TRUE(result.err.isEmpty()) << where << "\n" << result.err.toStdString();
    }
    // What was refused says why, and where.
    WriteProfile(QStringLiteral(R"j({"item": "服务器", "equals": "10.0.0.6"})j"));
    const Result refused = RunSirenset({QStringLiteral("--profile"), Path("profile.json"), QStringLiteral("--check"), site});
    EXPECT_EQ(refused.err.trimmed(), QStringLiteral("规范文件“%1”被拒绝：第1条规则：没有名为“服务器”的配置项").arg(Path("profile.json")));
    const Result missing = RunSirenset({QStringLiteral("--profile"), WriteProfile(QStringLiteral(R"j({"item": "GPRS主中心地址", "equals": "1.1.1.1"})j")),
                                        QStringLiteral("--check"), Path("missing.cfg")});
    EXPECT_EQ(missing.err.trimmed(), QStringLiteral("“%1”：打开文件失败").arg(Path("missing.cfg")));
}

TEST_F(BatchProfileTest, ProfileOptionsOutOfPlaceAreUsageErrors)
{
    const QString profile = WriteProfile(QStringLiteral(R"j({"item": "GPRS主中心地址", "equals": "10.0.0.6"})j"));
    const QString site = TerminalFile(TerminalParameters::Defaults());
    const QStringList rows[] = {
        {QStringLiteral("--check"), site},
        {QStringLiteral("--profile"), profile, QStringLiteral("--check"), site, QStringLiteral("--port"), Device()},
        {QStringLiteral("--profile"), profile, QStringLiteral("--conform")},
        {QStringLiteral("--port"), Device(), QStringLiteral("--conform")},
        {QStringLiteral("--port"), Device(), QStringLiteral("--profile"), profile, QStringLiteral("--conform"),
         QStringLiteral("--set"), QStringLiteral("无线网络APN=CMIOT")},
        {QStringLiteral("--port"), Device(), QStringLiteral("--profile"), profile, QStringLiteral("--conform"),
         QStringLiteral("--no-verify")},
        {QStringLiteral("--port"), Device(), QStringLiteral("--profile"), profile, QStringLiteral("--conform"),
         QStringLiteral("--apply"), site},
    };
    for (const QStringList& arguments : rows) {
        const Result result = RunSirenset(arguments);
        EXPECT_EQ(result.exitCode, 2) << arguments.join(' ').toStdString();
        EXPECT_TRUE(result.err.startsWith(QStringLiteral("sirenset: "))) << result.err.toStdString();
    }
    EXPECT_TRUE(Sim().ReceivedBytes().empty());
}

// ---------------------------------------------------------------- batch runs

// After the entry's read and after the verification's read-back, one line
// for the profile and one per deviation; the report keeps the last check.
TEST_F(BatchProfileTest, EveryReadBackOfAnApplyIsChecked)
{
    TerminalParameters wanted = Sim().Parameters();
    wanted.apn = "CMIOT";
    const QString site = TerminalFile(wanted);
    const QString profile = WriteProfile(QStringLiteral(
        R"j({"item": "无线网络APN", "equals": "CMIOT"}, {"item": "GPRS主中心地址", "equals": "10.0.0.6", "since": "2099-01-01"})j"));
    const QString report = Path("run.json");
    const Result result = RunSirenset({QStringLiteral("--port"), Device(), QStringLiteral("--apply"), site,
                                       QStringLiteral("--profile"), profile, QStringLiteral("--report"), report});
    EXPECT_EQ(result.exitCode, 0) << result.out.toStdString();
    const QString pending = QStringLiteral("GPRS主中心地址：设备“203.0.113.10”，规范要求“10.0.0.6”（待整改，2099-01-01起计入）");
    EXPECT_EQ(LinesFrom(result.lines, QStringLiteral("参数加载完成..."), 4),
              (QStringList{QStringLiteral("参数加载完成..."), QStringLiteral("不符合规范 %1: 1 项").arg(QString::fromUtf8(kTitle)),
                           QStringLiteral("无线网络APN：设备“CMNET”，规范要求“CMIOT”"), pending}));
    EXPECT_EQ(result.lines.mid(result.lines.size() - 3),
              (QStringList{QStringLiteral("校验完成：1 项参数和 3 个号码列表全部一致"),
                           QStringLiteral("符合规范 %1").arg(QString::fromUtf8(kTitle)), pending}));

    const QJsonObject terminal = QJsonDocument::fromJson(testsupport::ReadFileBytes(report))
                                     .object()
                                     .value(QStringLiteral("terminals"))
                                     .toArray()
                                     .first()
                                     .toObject();
    const QJsonObject check = terminal.value(QStringLiteral("profile")).toObject();
    EXPECT_EQ(check.value(QStringLiteral("name")).toString(), QStringLiteral("县应急广播二期"));
    EXPECT_EQ(check.value(QStringLiteral("version")).toString(), QStringLiteral("3"));
    EXPECT_EQ(check.value(QStringLiteral("digest")).toString(),
              QString::fromLatin1(QCryptographicHash::hash(testsupport::ReadFileBytes(profile), QCryptographicHash::Sha256).toHex()));
    EXPECT_TRUE(check.value(QStringLiteral("conforms")).toBool());
    ASSERT_EQ(check.value(QStringLiteral("deviations")).toArray().size(), 1);
    EXPECT_TRUE(check.value(QStringLiteral("deviations")).toArray().first().toObject().value(QStringLiteral("pending")).toBool());
}

// A profile, or a units file, that cannot be used refuses the run before
// any port is opened.
TEST_F(BatchProfileTest, WhatCannotBeUsedTouchesNoTerminal)
{
    struct Row {
        const char* rules;
        const char* units;  // nullptr: --diff of the terminal's own file; else --conform with this CSV
        QStringList lines;  // %1: the profile's path
    };
    const Row rows[] = {
        {R"j({"item": "无线网络APN", "oneOf": []})j", nullptr,
         {QStringLiteral("规范文件“%1”被拒绝：第1条规则（无线网络APN）：oneOf 不能为空"),
          QStringLiteral("规范有误，未连接任何设备")}},
        {R"j({"item": "设备ID号码(固定8位)", "perUnit": true})j", "无线网络APN\nCMIOT\n",
         {QStringLiteral("设备参数表的“无线网络APN”在规范中没有 perUnit 规则：--conform 只发送规范要求的值，未连接任何设备")}},
        {R"j({"item": "设备ID号码(固定8位)", "perUnit": true})j", "设备ID号码(固定8位)\n0000AAAA\n0000BBB\n",
         {QStringLiteral("设备参数表第3行：设备ID号必须是8位长度"), QStringLiteral("参数值有误，未连接任何设备")}},
    };
    for (const Row& row : rows) {
        const QString profile = WriteProfile(QString::fromUtf8(row.rules));
        QStringList arguments{QStringLiteral("--port"), Device(), QStringLiteral("--profile"), profile,
                              QStringLiteral("--timeout"), QStringLiteral("30")};
        if (row.units)
            arguments << QStringLiteral("--conform") << QStringLiteral("--units") << Write("units.csv", QByteArray(row.units));
        else
            arguments << QStringLiteral("--diff") << TerminalFile(Sim().Parameters());
        const Result result = RunSirenset(arguments);
        EXPECT_EQ(result.exitCode, 1) << row.rules;
        QStringList expected;
        for (const QString& line : row.lines)
            expected << (line.contains(QStringLiteral("%1")) ? line.arg(profile) : line);
        EXPECT_EQ(result.lines, expected) << result.out.toStdString();
        EXPECT_TRUE(Sim().ReceivedBytes().empty()) << row.rules;
    }
}

// ---------------------------------------------------------------- --conform

// Only what deviates goes out, in the order a load of a file sends it
// (lists, then the items in the save's order), then the read-back.
TEST_F(BatchProfileTest, ConformSendsOnlyTheDeviatingItemsThenVerifies)
{
    const QString profile = WriteProfile(QStringLiteral(
        R"j({"item": "TTS播放语速", "equals": "7"},
            {"item": "GPRS主中心地址", "equals": "10.0.0.6"},
            {"item": "无线网络APN", "oneOf": ["CMIOT", "CMNET"], "prefer": "CMIOT"},
            {"item": "设备ID号码(固定8位)", "perUnit": true},
            {"list": "管理号码", "contains": ["13800000009"], "maxCount": 5},
            {"list": "备份号码", "maxCount": 1})j"));
    const QString units = Write("units.csv", QStringLiteral("设备ID号码(固定8位)\n0000AAAA\n").toUtf8());
    const Result result = RunSirenset({QStringLiteral("--port"), Device(), QStringLiteral("--profile"), profile,
                                       QStringLiteral("--conform"), QStringLiteral("--units"), units});
    EXPECT_EQ(result.exitCode, 0) << result.out.toStdString();
    // Typed from the commands of the save and of the lists: "AT+LRMSETADMINNO=%s",
    // "at+ipad=%s", "at+idnt=%s", "AT+LRMTTSSPEED=%s", then "AT+SHOW".
    const std::vector<std::string> expected{"AT+LRMSETADMINNO=13800000001,13800000002,13800000009", "at+ipad=10.0.0.6",
                                            "at+idnt=0000AAAA", "AT+LRMTTSSPEED=7", "AT+SHOW"};
    EXPECT_EQ(CommandsAfterEntry(), expected) << result.out.toStdString();
    EXPECT_EQ(LinesFrom(result.lines, QStringLiteral("不符合规范 %1: 4 项").arg(QString::fromUtf8(kTitle)), 6),
              (QStringList{QStringLiteral("不符合规范 %1: 4 项").arg(QString::fromUtf8(kTitle)),
                           QStringLiteral("TTS播放语速：设备“5”，规范要求“7”"),
                           QStringLiteral("GPRS主中心地址：设备“203.0.113.10”，规范要求“10.0.0.6”"),
                           QStringLiteral("设备ID号码(固定8位)：设备“1A2B3C4D”，规范要求“0000AAAA”（本机的值）"),
                           QStringLiteral("管理号码：设备“13800000001,13800000002”，规范要求含有“13800000009”，最多5个号码"),
                           QStringLiteral("按规范修正：3 项参数，1 个号码列表")}));
    // (The summary of a run with --units follows.)
    EXPECT_EQ(LinesFrom(result.lines, QStringLiteral("校验完成：3 项参数和 1 个号码列表全部一致"), 3),
              (QStringList{QStringLiteral("校验完成：3 项参数和 1 个号码列表全部一致"),
                           QStringLiteral("符合规范 %1").arg(QString::fromUtf8(kTitle)), QStringLiteral("已按规范修正")}));
    EXPECT_EQ(Sim().Parameters().deviceId, "0000AAAA");

    // A terminal that conforms is read and left alone.
    const Result again = RunSirenset({QStringLiteral("--port"), Device(), QStringLiteral("--profile"), profile,
                                      QStringLiteral("--conform"), QStringLiteral("--units"), units});
    EXPECT_EQ(again.exitCode, 0) << again.out.toStdString();
    EXPECT_EQ(LinesFrom(again.lines, QStringLiteral("符合规范 %1").arg(QString::fromUtf8(kTitle)), 2),
              (QStringList{QStringLiteral("符合规范 %1").arg(QString::fromUtf8(kTitle)),
                           QStringLiteral("设备符合规范，未发送任何命令")}));
    EXPECT_TRUE(CommandsAfterEntry().empty());
}

// What no value can put right is listed and fails the terminal, after
// everything else was put right.
TEST_F(BatchProfileTest, ATerminalThatCannotBePutRightFailsWithItsList)
{
    const QString profile = WriteProfile(QStringLiteral(
        R"j({"item": "心跳包时间(31到65535)", "range": [100, 300]},
            {"item": "无线网络APN", "equals": "CMIOT"},
            {"item": "GPRS备份中心地址", "pattern": "10\\.0\\.0\\.[0-9]+", "since": "2099-01-01"},
            {"module": {"pattern": "REV 1\\."}})j"));
    const Result result =
        RunSirenset({QStringLiteral("--port"), Device(), QStringLiteral("--profile"), profile, QStringLiteral("--conform")});
    EXPECT_EQ(result.exitCode, 1) << result.out.toStdString();
    EXPECT_EQ(CommandsAfterEntry(), (std::vector<std::string>{"at+apn=CMIOT", "AT+SHOW"}));
    EXPECT_EQ(Sim().Parameters().apn, "CMIOT");
    const QString heartbeat = QStringLiteral("心跳包时间(31到65535)：设备“60”，规范要求100 到 300 之间");
    const QString backup = QStringLiteral("GPRS备份中心地址：设备“203.0.113.11”，规范要求符合“10\\.0\\.0\\.[0-9]+”（待整改，2099-01-01起计入）");
    const QString module = QStringLiteral("模块版本：设备“SIRENSET-SIM LRM-200 GSM/GPRS”，规范要求符合“REV 1\\.”");
    EXPECT_EQ(result.lines.mid(result.lines.size() - 8),
              (QStringList{QStringLiteral("不符合规范 %1: 2 项").arg(QString::fromUtf8(kTitle)), heartbeat, backup, module,
                           QStringLiteral("需人工处理：") + heartbeat, QStringLiteral("需人工处理：") + backup,
                           QStringLiteral("需人工处理：") + module, QStringLiteral("按规范修正未完成：2 项需人工处理")}));
}

}  // namespace

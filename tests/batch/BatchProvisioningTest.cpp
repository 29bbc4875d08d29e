// Batches of terminals without a window: verification after writing, the
// preview of a file, per-terminal values, several ports at once and the
// service records. The real program runs as a process against simulated
// terminals on pseudo-terminals.
#include "params/CConfigFile.h"
#include "params/GbkText.h"
#include "sim/ParameterReport.h"
#include "support/EventLoopWait.h"
#include "support/SimulatorSession.h"
#include "support/TestFiles.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>

#include <algorithm>
#include <array>
#include <chrono>

namespace {

using namespace std::chrono_literals;
using testsupport::SimulatorSession;

struct Result {
    int exitCode = -1;
    QString out;
    QString err;
    QStringList lines;
};

Result Finish(QProcess& process, int limitMs)
{
    EXPECT_TRUE(process.waitForFinished(limitMs));
    Result result;
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out += QString::fromUtf8(process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
    result.lines = testsupport::OperationLines(result.out);
    return result;
}

Result RunSirenset(const QStringList& arguments, int limitMs = 60000)
{
    QProcess process;
    process.start(QStringLiteral(SIRENSET_BINARY), arguments);
    return Finish(process, limitMs);
}

QByteArray FileFor(const TerminalParameters& parameters)
{
    return CConfigFile::ToFileText(QByteArray::fromStdString(ParameterReport::Build(parameters)));
}

// What --read saves of the terminal's report: from its first label (the
// lists, after a blank line and a heading) to its "OK".
QByteArray SavedFileFor(const TerminalParameters& parameters)
{
    const std::string report = ParameterReport::Build(parameters);
    return CConfigFile::ToFileText(QByteArray::fromStdString(report.substr(report.find("Alarm admin NO:  "))));
}

class BatchProvisioningTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_session.Started());
        ASSERT_TRUE(m_dir.isValid());
    }

    QString Path(const char* name) const { return m_dir.filePath(QString::fromLatin1(name)); }
    TerminalSimulator& Sim() { return m_session.sim(); }
    QString Device() const { return m_session.DevicePath(); }

    // A file that changes the APN and the TTS speed of the simulated terminal.
    QString ChangedFile()
    {
        TerminalParameters wanted = Sim().Parameters();
        wanted.apn = "FIELDAPN";
        wanted.ttsSpeed = "7";
        const QString file = Path("wanted.cfg");
        EXPECT_TRUE(testsupport::WriteFileBytes(file, FileFor(wanted)));
        return file;
    }

    bool SentSetter()
    {
        const std::vector<std::string> commands = m_session.sim().ReceivedCommands();
        return std::any_of(commands.begin(), commands.end(),
                           [](const std::string& c) { return c.find('=') != std::string::npos; });
    }

    SimulatorSession m_session;
    QTemporaryDir m_dir;
};

// ---------------------------------------------------------------- verify

TEST_F(BatchProvisioningTest, ATerminalThatAcknowledgesWithoutKeepingFailsTheApply)
{
    struct Case {
        const char* ignored;  // the command the terminal answers "OK" to and forgets
        void (*change)(TerminalParameters&);
        const char* mismatch;
    };
    const Case cases[] = {
        {"at+apn=",
         [](TerminalParameters& p) {
             p.apn = "FIELDAPN";
             p.ttsSpeed = "7";
         },
         "校验不一致：无线网络APN：发送“FIELDAPN”，读回“CMNET”"},
        // Lists are sent before the items and checked with them.
        {"at+lrmsetadminno=",
         [](TerminalParameters& p) {
             p.adminNumbers = {"13811111111"};
             p.ttsSpeed = "7";
         },
         "校验不一致：管理号码：发送“13811111111”，读回“13800000001,13800000002”"},
        // Nothing but a list to write: the report is still read back.
        {"at+lrmsetlrmno=", [](TerminalParameters& p) { p.authorisedNumbers = {}; },
         "校验不一致：授权号码：发送“”，读回“13900000011,13900000012,13900000013”"},
    };
    for (const Case& c : cases) {
        Sim().SetParameters(TerminalParameters::Defaults());
        SimulatorFaults faults;
        faults.ignoredPrefixes = {c.ignored};
        Sim().SetFaults(faults);
        TerminalParameters wanted = Sim().Parameters();
        c.change(wanted);
        const QString file = Path("wanted.cfg");
        ASSERT_TRUE(testsupport::WriteFileBytes(file, FileFor(wanted)));
        const Result result = RunSirenset({QStringLiteral("--port"), Device(), QStringLiteral("--apply"), file});
        EXPECT_EQ(result.exitCode, 1) << c.ignored << result.out.toStdString();
        EXPECT_TRUE(result.lines.contains(QStringLiteral("参数设置完成"))) << c.ignored;
        EXPECT_TRUE(result.lines.contains(QString::fromUtf8(c.mismatch))) << result.out.toStdString();
        ASSERT_FALSE(result.lines.isEmpty());
        EXPECT_EQ(result.lines.last(), QStringLiteral("校验失败：1 项不一致")) << c.ignored;
        EXPECT_EQ(Sim().Parameters().ttsSpeed, wanted.ttsSpeed) << c.ignored;
    }
}

TEST_F(BatchProvisioningTest, NoVerifyTrustsTheAcknowledgements)
{
    SimulatorFaults faults;
    faults.ignoredPrefixes = {"at+apn="};
    Sim().SetFaults(faults);
    const Result result = RunSirenset(
        {QStringLiteral("--port"), Device(), QStringLiteral("--apply"), ChangedFile(), QStringLiteral("--no-verify")});
    EXPECT_EQ(result.exitCode, 0) << result.out.toStdString();
    EXPECT_EQ(result.lines.last(), QStringLiteral("参数设置完成"));
    EXPECT_FALSE(result.out.contains(QStringLiteral("校验")));
}

TEST_F(BatchProvisioningTest, EveryWrittenItemReportsItsProgress)
{
    const Result result = RunSirenset({QStringLiteral("--port"), Device(), QStringLiteral("--apply"), ChangedFile()});
    EXPECT_EQ(result.exitCode, 0) << result.out.toStdString();
    const qsizetype first = result.lines.indexOf(QStringLiteral("第 1 / 2 项"));
    const qsizetype second = result.lines.indexOf(QStringLiteral("第 2 / 2 项"));
    ASSERT_GE(first, 0) << result.out.toStdString();
    EXPECT_GT(second, first);
    EXPECT_LT(second, result.lines.indexOf(QStringLiteral("参数设置完成")));
}

// ---------------------------------------------------------------- preview

TEST_F(BatchProvisioningTest, DiffListsWhatApplyWouldChangeAndSendsNothing)
{
    const Result result =
        RunSirenset({QStringLiteral("--port"), Device(), QStringLiteral("--diff"), ChangedFile(), QStringLiteral("--set"),
                     QStringLiteral("Modem's ID number=0000BEEF")});
    EXPECT_EQ(result.exitCode, 3) << result.out.toStdString();
    const qsizetype loaded = result.lines.indexOf(QStringLiteral("参数加载完成..."));
    ASSERT_GE(loaded, 0);
    EXPECT_EQ(result.lines.mid(loaded + 1),
              (QStringList{QStringLiteral("设备ID号码(固定8位)：设备“%1”，文件“0000BEEF”")
                               .arg(QString::fromStdString(Sim().Parameters().deviceId)),
                           QStringLiteral("无线网络APN：设备“CMNET”，文件“FIELDAPN”"),
                           QStringLiteral("TTS播放语速：设备“%1”，文件“7”").arg(QString::fromStdString(Sim().Parameters().ttsSpeed)),
                           QStringLiteral("共3项与设备不同，未发送任何命令")}));
    EXPECT_FALSE(SentSetter());
    EXPECT_EQ(Sim().Parameters().apn, "CMNET");
}

TEST_F(BatchProvisioningTest, DiffOfTheTerminalsOwnValuesFindsNothing)
{
    const QString file = Path("same.cfg");
    ASSERT_TRUE(testsupport::WriteFileBytes(file, FileFor(Sim().Parameters())));
    const Result result = RunSirenset({QStringLiteral("--port"), Device(), QStringLiteral("--diff"), file});
    EXPECT_EQ(result.exitCode, 0) << result.out.toStdString();
    EXPECT_EQ(result.lines.last(), QStringLiteral("文件与设备的参数相同"));
}

// ---------------------------------------------------------------- per-unit values

class BatchBeforeTouchTest : public BatchProvisioningTest {
protected:
    void SetUp() override
    {
        BatchProvisioningTest::SetUp();
        SimulatorOptions options = Sim().Options();
        options.powerOnWhenOpened = false;
        Sim().SetOptions(options);
    }
    Result RunRefused(QStringList arguments)
    {
        arguments << QStringLiteral("--port") << Device() << QStringLiteral("--timeout") << QStringLiteral("30");
        return RunSirenset(arguments, 10000);
    }
};

TEST_F(BatchBeforeTouchTest, ABadSetIsRefusedBeforeThePortIsOpened)
{
    struct Case {
        const char* setting;
        const char* line;
    };
    const Case cases[] = {
        {"Modem's ID number=BEEF", "--set 的值被拒绝：设备ID号必须是8位长度"},
        {"设备SIM号码(固定11位)=1380013800", "--set 的值被拒绝：SIM 卡号必须是11位长度"},
        {"No such label=1", "--set 参数有误：没有名为“No such label”的参数，未连接任何设备"},
    };
    for (const Case& c : cases) {
        const Result result = RunRefused({QStringLiteral("--apply"), ChangedFile(), QStringLiteral("--set"),
                                          QString::fromUtf8(c.setting)});
        EXPECT_EQ(result.exitCode, 1) << c.setting;
        EXPECT_TRUE(result.lines.contains(QString::fromUtf8(c.line))) << result.out.toStdString();
        EXPECT_FALSE(result.out.contains(QStringLiteral("串口已打开"))) << c.setting;
        EXPECT_TRUE(Sim().ReceivedBytes().empty()) << c.setting;
    }
}

TEST_F(BatchBeforeTouchTest, ARecordThatCannotBeWrittenIsFoundBeforeThePortIsOpened)
{
    const QString report = Path("no-such-folder/done.json");
    const Result result = RunRefused({QStringLiteral("--apply"), ChangedFile(), QStringLiteral("--report"), report});
    EXPECT_EQ(result.exitCode, 1);
    ASSERT_FALSE(result.lines.isEmpty());
    EXPECT_TRUE(result.lines.last().startsWith(QStringLiteral("无法写入报告文件“%1”：").arg(report)));
    EXPECT_TRUE(Sim().ReceivedBytes().empty());
}

TEST_F(BatchBeforeTouchTest, ABadRowOfTheUnitsFileRefusesTheWholeBatch)
{
    const QString units = Path("units.csv");
    // GBK, as a spreadsheet on a Chinese desktop saves it.
    const QString text = QStringLiteral("设备ID号码(固定8位),Modem's Phone Number\n"
                                        "0000AAAA,13800000001\n"
                                        "0000BBB,13800000002\n");
    ASSERT_TRUE(testsupport::WriteFileBytes(units, *UnicodeToGbkBytes(text)));
    const Result result = RunRefused({QStringLiteral("--apply"), ChangedFile(), QStringLiteral("--units"), units});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(result.lines.contains(QStringLiteral("设备参数表第3行：设备ID号必须是8位长度"))) << result.out.toStdString();
    EXPECT_EQ(result.lines.last(), QStringLiteral("参数值有误，未连接任何设备"));
    EXPECT_TRUE(Sim().ReceivedBytes().empty());
}

TEST_F(BatchProvisioningTest, RepeatTakesOneRowPerTerminalAndRecordsEach)
{
    const QString units = Path("units.csv");
    ASSERT_TRUE(testsupport::WriteFileBytes(units, QStringLiteral("\uFEFF设备ID号码(固定8位),Modem's Phone Number\r\n"
                                                                  "0000AAAA,13800000001\r\n"
                                                                  "\"0000BBBB\",13800000002\r\n")
                                                       .toUtf8()));
    const QString report = Path("done.json");
    const QString log = Path("logs/batch.log");
    QProcess process;
    process.start(QStringLiteral(SIRENSET_BINARY),
                  {QStringLiteral("--port"), Device(), QStringLiteral("--apply"), ChangedFile(), QStringLiteral("--units"),
                   units, QStringLiteral("--repeat"), QStringLiteral("--report"), report, QStringLiteral("--log"), log});
    QString out;
    const QString next = QStringLiteral("请接上下一台设备（第3行）并重新上电，正在等待设备上电后进入配置状态...");
    ASSERT_TRUE(testsupport::WaitUntil(
        [&] {
            process.waitForReadyRead(50);
            out += QString::fromUtf8(process.readAllStandardOutput());
            return out.contains(next);
        },
        30s))
        << out.toStdString();
    EXPECT_EQ(Sim().Parameters().deviceId, "0000AAAA");
    // The next terminal, still as it left the factory, is switched on.
    Sim().ModifyParameters([](TerminalParameters& p) {
        p.apn = "CMNET";
        p.ttsSpeed = "3";
    });
    Sim().PowerOn();
    Result result = Finish(process, 30000);
    result.out.prepend(out);
    EXPECT_EQ(result.exitCode, 0) << result.out.toStdString();
    EXPECT_EQ(Sim().Parameters().deviceId, "0000BBBB");
    EXPECT_EQ(Sim().Parameters().simNumber, "13800000002");
    EXPECT_TRUE(result.out.contains(QStringLiteral("== 汇总")));

    QFile file(report);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QJsonArray terminals = QJsonDocument::fromJson(file.readAll()).object().value(QStringLiteral("terminals")).toArray();
    ASSERT_EQ(terminals.size(), 2);
    const std::array<const char*, 2> ids{"0000AAAA", "0000BBBB"};
    for (int i = 0; i < 2; ++i) {
        const QJsonObject record = terminals[i].toObject();
        EXPECT_EQ(record.value(QStringLiteral("deviceId")).toString(), QLatin1String(ids[static_cast<std::size_t>(i)]));
        EXPECT_EQ(record.value(QStringLiteral("unitsRow")).toInt(), i + 2);
        EXPECT_EQ(record.value(QStringLiteral("result")).toString(), QStringLiteral("成功"));
        // Device ID, SIM number, APN and TTS speed.
        EXPECT_EQ(record.value(QStringLiteral("itemsSent")).toInt(), 4);
        EXPECT_EQ(record.value(QStringLiteral("itemsAcknowledged")).toInt(), 4);
        EXPECT_TRUE(record.value(QStringLiteral("verification")).toObject().value(QStringLiteral("checked")).toBool());
        EXPECT_EQ(record.value(QStringLiteral("verification")).toObject().value(QStringLiteral("mismatches")).toInt(), 0);
        EXPECT_TRUE(record.value(QStringLiteral("failures")).toArray().isEmpty());
        EXPECT_LE(QDateTime::fromString(record.value(QStringLiteral("start")).toString(), Qt::ISODateWithMs),
                  QDateTime::fromString(record.value(QStringLiteral("end")).toString(), Qt::ISODateWithMs));
    }

    const QStringList logLines = QString::fromUtf8(testsupport::ReadFileBytes(log)).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_FALSE(logLines.isEmpty());
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} 工作线程启动...$"))
                    .match(logLines.first())
                    .hasMatch())
        << logLines.first().toStdString();
    EXPECT_EQ(logLines.filter(QStringLiteral(" 校验完成：4 项参数和 3 个号码列表全部一致")).size(), 2);
}

// ---------------------------------------------------------------- report counts

// --report counts what the save did, however it ends: items sent (their
// command went out), items the terminal acknowledged, the lines that said
// what failed, the result and the exit status. The file changes the first
// preset text and one item after it.
TEST(BatchReportCounts, CountWhatTheSaveDidHoweverItEnds)
{
    const QString portLost = QStringLiteral(">>> 串口连接已断开，请检查设备和连接线后重新打开串口...");
    const struct Row {
        const char* name;
        void (*fault)(SimulatorFaults&);
        const char* debugLevel;  // "5": the terminal answers ERROR (levels are 0 to 2)
        bool interrupt;          // SIGINT while the second item waits for a slow reply
        int sent;
        int acknowledged;
        QStringList failures;
        const char* result;
        int exitCode;
    } rows[] = {
        {"done", nullptr, nullptr, false, 2, 2, {}, "成功", 0},
        {"refused", nullptr, "5", false, 2, 1, {QStringLiteral("设置调试等级失败")}, "失败", 1},
        {"unanswered", [](SimulatorFaults& f) { f.silentPrefixes = {"at+apn="}; }, nullptr, false, 2, 1, {QStringLiteral("设置APN失败")}, "失败", 1},
        {"port lost", [](SimulatorFaults& f) { f.vanishPrefix = "at+apn="; }, nullptr, false, 2, 1, {portLost, QStringLiteral("设置APN失败")},
         "失败", 1},
        {"SIGINT", nullptr, nullptr, true, 2, 1, {QStringLiteral("设置APN失败")}, "中断", 128 + SIGINT},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        SimulatorSession session;
        ASSERT_TRUE(session.Started());
        SimulatorFaults faults;
        if (row.fault)
            row.fault(faults);
        session.sim().SetFaults(faults);
        TerminalParameters wanted = session.sim().Parameters();
        wanted.presetText1 = "FIELD TEXT";
        if (row.debugLevel)
            wanted.debugLevel = row.debugLevel;
        else
            wanted.apn = "FIELDAPN";
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("wanted.cfg"));
        const QString report = dir.filePath(QStringLiteral("report.json"));
        ASSERT_TRUE(testsupport::WriteFileBytes(file, FileFor(wanted)));

        QProcess process;
        process.start(QStringLiteral(SIRENSET_BINARY), {QStringLiteral("--port"), session.DevicePath(), QStringLiteral("--apply"),
                                                        file, QStringLiteral("--report"), report});
        if (row.interrupt) {
            const auto received = [&](const char* prefix) {
                const std::vector<std::string> commands = session.sim().ReceivedCommands();
                return std::any_of(commands.begin(), commands.end(),
                                   [&](const std::string& c) { return c.rfind(prefix, 0) == 0; });
            };
            // Replies slow down once the first item went out.
            ASSERT_TRUE(testsupport::WaitUntil([&] { return received("AT+LRMSETTXT1="); }, 30s));
            SimulatorFaults slow;
            slow.replyDelayMs = 5000;
            session.sim().SetFaults(slow);
            ASSERT_TRUE(testsupport::WaitUntil([&] { return received("at+apn="); }, 30s));
            ::kill(static_cast<pid_t>(process.processId()), SIGINT);
        }
        const Result result = Finish(process, 60000);
        EXPECT_EQ(result.exitCode, row.exitCode) << result.out.toStdString();
        const QJsonArray terminals =
            QJsonDocument::fromJson(testsupport::ReadFileBytes(report)).object().value(QStringLiteral("terminals")).toArray();
        ASSERT_EQ(terminals.size(), 1) << result.out.toStdString();
        const QJsonObject terminal = terminals[0].toObject();
        EXPECT_EQ(terminal.value(QStringLiteral("itemsSent")).toInt(), row.sent);
        EXPECT_EQ(terminal.value(QStringLiteral("itemsAcknowledged")).toInt(), row.acknowledged);
        QStringList failures;
        for (const QJsonValue& failure : terminal.value(QStringLiteral("failures")).toArray())
            failures << failure.toString();
        EXPECT_EQ(failures, row.failures) << result.out.toStdString();
        EXPECT_EQ(terminal.value(QStringLiteral("result")).toString(), QString::fromUtf8(row.result));
    }
}

// A program killed in the middle of a save leaves the record honest: the
// change is there, 未完成, with the item the terminal acknowledged before.
TEST(BatchReportCounts, AKilledSaveLeavesItsPartialChangeInTheRecord)
{
    SimulatorSession session;
    ASSERT_TRUE(session.Started());
    TerminalParameters wanted = session.sim().Parameters();
    wanted.presetText1 = "FIELD TEXT";
    wanted.apn = "FIELDAPN";
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("wanted.cfg"));
    const QString database = dir.filePath(QStringLiteral("records.sqlite"));
    ASSERT_TRUE(testsupport::WriteFileBytes(file, FileFor(wanted)));
    const QString device = QString::fromStdString(wanted.deviceId);
    const auto lastChange = [&]() -> QJsonObject {
        QProcess history;
        history.start(QStringLiteral(SIRENSET_BINARY),
                      {QStringLiteral("--history"), device, QStringLiteral("--json"), QStringLiteral("--db"), database});
        if (!history.waitForFinished(30000) || history.exitCode() != 0)
            return {};
        QJsonObject last;
        for (const QJsonValue entry :
             QJsonDocument::fromJson(history.readAllStandardOutput()).object()[QStringLiteral("entries")].toArray()) {
            if (entry[QStringLiteral("kind")].toString() == QStringLiteral("parameters"))
                last = entry.toObject();
        }
        return last;
    };

    QProcess process;
    process.start(QStringLiteral(SIRENSET_BINARY),
                  {QStringLiteral("--port"), session.DevicePath(), QStringLiteral("--apply"), file, QStringLiteral("--db"), database});
    const auto received = [&](const char* prefix) {
        const std::vector<std::string> commands = session.sim().ReceivedCommands();
        return std::any_of(commands.begin(), commands.end(), [&](const std::string& c) { return c.rfind(prefix, 0) == 0; });
    };
    // The second item's reply is slow: the program is killed while it waits,
    // once the first item is in the record.
    ASSERT_TRUE(testsupport::WaitUntil([&] { return received("AT+LRMSETTXT1="); }, 30s));
    SimulatorFaults slow;
    slow.replyDelayMs = 30000;
    session.sim().SetFaults(slow);
    ASSERT_TRUE(testsupport::WaitUntil([&] { return received("at+apn="); }, 30s));
    // The load's three lists, then the first preset text.
    const auto recorded = [&] {
        const QJsonArray items = lastChange()[QStringLiteral("items")].toArray();
        return items.size() == 4 && items[3][QStringLiteral("new")].toString() == QStringLiteral("FIELD TEXT");
    };
    ASSERT_TRUE(testsupport::WaitUntil(recorded, 30s));
    process.kill();
    ASSERT_TRUE(process.waitForFinished(10000));

    const QJsonObject change = lastChange();
    EXPECT_EQ(change[QStringLiteral("result")].toString(), QStringLiteral("未完成"));
    const QJsonArray items = change[QStringLiteral("items")].toArray();
    ASSERT_EQ(items.size(), 4) << "nothing of the APN, whose reply never came";
    EXPECT_EQ(items[3][QStringLiteral("new")].toString(), QStringLiteral("FIELD TEXT"));
    EXPECT_TRUE(items[3][QStringLiteral("acknowledged")].toBool());
}

// ---------------------------------------------------------------- several ports

TEST(BatchSeveralPorts, EachPortRunsItsOwnTerminalAndTheSummaryNamesThemAll)
{
    SimulatorSession sessions[3];
    for (SimulatorSession& session : sessions)
        ASSERT_TRUE(session.Started());
    SimulatorFaults faults;
    faults.silentPrefixes = {"at+apn="};
    sessions[1].sim().SetFaults(faults);

    QTemporaryDir dir;
    TerminalParameters wanted = sessions[0].sim().Parameters();
    wanted.apn = "FIELDAPN";
    const QString file = dir.filePath(QStringLiteral("wanted.cfg"));
    ASSERT_TRUE(testsupport::WriteFileBytes(file, FileFor(wanted)));
    const QString log = dir.filePath(QStringLiteral("batch.log"));
    const QString report = dir.filePath(QStringLiteral("done.json"));
    QStringList arguments{QStringLiteral("--apply"), file, QStringLiteral("--log"), log, QStringLiteral("--report"), report};
    for (SimulatorSession& session : sessions)
        arguments << QStringLiteral("--port") << session.DevicePath();
    const Result result = RunSirenset(arguments);

    EXPECT_EQ(result.exitCode, 1) << result.out.toStdString();
    EXPECT_EQ(sessions[0].sim().Parameters().apn, "FIELDAPN");
    EXPECT_EQ(sessions[1].sim().Parameters().apn, "CMNET");
    EXPECT_EQ(sessions[2].sim().Parameters().apn, "FIELDAPN");
    // Ports are numbered in the order given: the first unknown device is COM129.
    const QStringList prefixes{QStringLiteral("[COM129] "), QStringLiteral("[COM130] "), QStringLiteral("[COM131] ")};
    EXPECT_TRUE(result.lines.contains(prefixes[0] + QStringLiteral("校验完成：1 项参数和 3 个号码列表全部一致"))) << result.out.toStdString();
    EXPECT_TRUE(result.lines.contains(prefixes[1] + QStringLiteral("设置APN失败")));
    EXPECT_TRUE(result.lines.contains(prefixes[2] + QStringLiteral("校验完成：1 项参数和 3 个号码列表全部一致")));

    const qsizetype summary = result.lines.indexOf(QStringLiteral("== 汇总"));
    ASSERT_GE(summary, 0);
    const QStringList table = result.lines.mid(summary + 1);
    ASSERT_EQ(table.size(), 4) << table.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(table[0].startsWith(QStringLiteral("端口")));
    const auto rowOf = [&](const QString& port) {
        const QStringList rows = table.filter(QRegularExpression(QStringLiteral("^%1 ").arg(port)));
        return rows.isEmpty() ? QString() : rows.first();
    };
    const QString id = QString::fromStdString(wanted.deviceId);
    // Sent, acknowledged, mismatches: COM130's APN went out and was never answered.
    EXPECT_TRUE(table[0].contains(QRegularExpression(QStringLiteral("发送项数 +确认项数 +不一致"))))
        << table[0].toStdString();
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^COM129 +%1 +成功 +1 +1 +0 +\\d+\\.\\d s$").arg(id)).match(rowOf(QStringLiteral("COM129"))).hasMatch())
        << rowOf(QStringLiteral("COM129")).toStdString();
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^COM130 +%1 +失败 +1 +0 +- +\\d+\\.\\d s$").arg(id)).match(rowOf(QStringLiteral("COM130"))).hasMatch())
        << rowOf(QStringLiteral("COM130")).toStdString();
    EXPECT_TRUE(rowOf(QStringLiteral("COM131")).contains(QStringLiteral("成功")));

    QFile json(report);
    ASSERT_TRUE(json.open(QIODevice::ReadOnly));
    for (const QJsonValue& value : QJsonDocument::fromJson(json.readAll()).object().value(QStringLiteral("terminals")).toArray()) {
        const QJsonObject record = value.toObject();
        const bool failed = record.value(QStringLiteral("port")).toString() == QStringLiteral("COM130");
        EXPECT_EQ(record.value(QStringLiteral("itemsSent")).toInt(), 1);
        EXPECT_EQ(record.value(QStringLiteral("itemsAcknowledged")).toInt(), failed ? 0 : 1);
    }

    // The service record tells the ports apart on every line, the lines of
    // a received report too; only the summary table stands on its own.
    const QStringList logLines =
        QString::fromUtf8(testsupport::ReadFileBytes(log)).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    const QRegularExpression tagged(QStringLiteral("^[-0-9]{10} [:.0-9]{12} \\[COM1(29|30|31)\\] "));
    const qsizetype summaryAt = logLines.size() - table.size();
    ASSERT_GT(summaryAt, 0);
    for (qsizetype i = 0; i < summaryAt; ++i)
        EXPECT_TRUE(tagged.match(logLines[i]).hasMatch()) << logLines[i].toStdString();
    for (const QString& prefix : prefixes) {
        EXPECT_FALSE(logLines.filter(QRegularExpression(QStringLiteral(" \\Q%1\\EOK$").arg(prefix))).isEmpty());
        EXPECT_FALSE(logLines.filter(QStringLiteral(" %1Alarm admin NO:").arg(prefix)).isEmpty());
    }
    EXPECT_TRUE(logLines[summaryAt].contains(QStringLiteral("端口")));
}

TEST(BatchSeveralPorts, ReadWritesOneFilePerTerminal)
{
    SimulatorSession sessions[2];
    for (SimulatorSession& session : sessions)
        ASSERT_TRUE(session.Started());
    sessions[1].sim().ModifyParameters([](TerminalParameters& p) { p.deviceId = "0000CCCC"; });
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("site.cfg"));
    const Result result = RunSirenset({QStringLiteral("--read"), file, QStringLiteral("--port"), sessions[0].DevicePath(),
                                       QStringLiteral("--port"), sessions[1].DevicePath()});
    EXPECT_EQ(result.exitCode, 0) << result.out.toStdString();
    const QString first = dir.filePath(QStringLiteral("site-%1.cfg").arg(QString::fromStdString(sessions[0].sim().Parameters().deviceId)));
    EXPECT_EQ(testsupport::ReadFileBytes(first), SavedFileFor(sessions[0].sim().Parameters()));
    EXPECT_EQ(testsupport::ReadFileBytes(dir.filePath(QStringLiteral("site-0000CCCC.cfg"))),
              SavedFileFor(sessions[1].sim().Parameters()));
    EXPECT_FALSE(QFile::exists(file));
}

}  // namespace

#include "params/CConfigFile.h"
#include "sim/ParameterReport.h"
#include "support/EventLoopWait.h"
#include "support/SimulatorSession.h"
#include "support/TestFiles.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <csignal>
#include <utility>

#include <gtest/gtest.h>

namespace {

// The real program, run as a technician runs it, against a simulated
// terminal on a pseudo-terminal.
class BatchModeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_session.Started());
        ASSERT_TRUE(m_dir.isValid());
    }

    struct Result {
        int exitCode = -1;
        QString out;
        QString err;
        QStringList lines;
    };

    Result Run(const QStringList& arguments, int limitMs = 60000)
    {
        QProcess process;
        process.setProgram(QStringLiteral(SIRENSET_BINARY));
        process.setArguments(arguments);
        process.start();
        // The simulator answers on its own thread; the test only waits.
        EXPECT_TRUE(process.waitForFinished(limitMs));
        Result result;
        result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        result.out = QString::fromUtf8(process.readAllStandardOutput());
        result.err = QString::fromUtf8(process.readAllStandardError());
        result.lines = testsupport::OperationLines(result.out);
        return result;
    }

    QString Path(const char* name) const { return m_dir.filePath(QString::fromLatin1(name)); }
    TerminalSimulator& Sim() { return m_session.sim(); }

    static QByteArray ReadAll(const QString& path) { return testsupport::ReadFileBytes(path); }
    static void WriteAll(const QString& path, const QByteArray& bytes)
    {
        ASSERT_TRUE(testsupport::WriteFileBytes(path, bytes));
    }

    testsupport::SimulatorSession m_session;
    QTemporaryDir m_dir;
};

TEST_F(BatchModeTest, ReadSavesTheTerminalsConfiguration)
{
    const QString file = Path("terminal.cfg");
    const Result result = Run({QStringLiteral("--port"), m_session.DevicePath(), QStringLiteral("--read"), file});
    EXPECT_EQ(result.exitCode, 0) << result.out.toStdString() << result.err.toStdString();
    ASSERT_FALSE(result.lines.isEmpty());
    EXPECT_EQ(result.lines.first(), QStringLiteral("工作线程启动..."));
    EXPECT_EQ(result.lines.last(), QStringLiteral("参数保存到文件成功..."));
    EXPECT_TRUE(result.lines.contains(QStringLiteral("参数加载完成...")));
    // The report from its first label (after a blank line and a heading) to its "OK".
    const std::string report = ParameterReport::Build(Sim().Parameters());
    EXPECT_EQ(ReadAll(file), CConfigFile::ToFileText(QByteArray::fromStdString(report.substr(report.find("Alarm admin NO:  ")))));
    EXPECT_TRUE(result.err.isEmpty()) << result.err.toStdString();
}

TEST_F(BatchModeTest, ApplyConfiguresTheTerminalFromAFile)
{
    TerminalParameters wanted = Sim().Parameters();
    wanted.apn = "FIELDAPN";
    wanted.authorisedNumbers = {"13955555555"};
    wanted.ttsSpeed = "7";
    const QString file = Path("wanted.cfg");
    WriteAll(file, CConfigFile::ToFileText(QByteArray::fromStdString(ParameterReport::Build(wanted))));

    const Result result = Run({QStringLiteral("--port"), m_session.DevicePath(), QStringLiteral("--apply"), file});
    EXPECT_EQ(result.exitCode, 0) << result.out.toStdString();
    ASSERT_FALSE(result.lines.isEmpty());
    EXPECT_TRUE(result.lines.contains(QStringLiteral("参数设置完成")));
    // Two items written (the lists are commands of their own, all three
    // sent), then read back.
    EXPECT_EQ(result.lines.last(), QStringLiteral("校验完成：2 项参数和 3 个号码列表全部一致"));
    const TerminalParameters now = Sim().Parameters();
    EXPECT_EQ(now.apn, "FIELDAPN");
    EXPECT_EQ(now.ttsSpeed, "7");
    EXPECT_EQ(now.authorisedNumbers, std::vector<std::string>{"13955555555"});
}

TEST_F(BatchModeTest, ATerminalThatNeverPowersOnEndsWithFailure)
{
    SimulatorOptions options = Sim().Options();
    options.powerOnWhenOpened = false;
    Sim().SetOptions(options);
    const Result result = Run({QStringLiteral("--port"), m_session.DevicePath(), QStringLiteral("--timeout"),
                               QStringLiteral("1"), QStringLiteral("--read"), Path("never.cfg")});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(result.out.contains(QStringLiteral("等待设备上电超时"))) << result.out.toStdString();
    EXPECT_FALSE(QFile::exists(Path("never.cfg")));
}

TEST_F(BatchModeTest, AFileThatDoesNotParseEndsWithFailure)
{
    const QString file = Path("bad.cfg");
    WriteAll(file, "not a configuration\r\n");
    const Result result = Run({QStringLiteral("--port"), m_session.DevicePath(), QStringLiteral("--apply"), file});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.lines.last(), QStringLiteral("参数加载失败"));
    EXPECT_TRUE(Sim().ReceivedCommands().size() <= 4u);  // probe, echo off, ati, at+show
}

TEST_F(BatchModeTest, RefusedInputEndsWithFailureAndItsMessageOnStandardError)
{
    TerminalParameters wanted = Sim().Parameters();
    wanted.deviceId = "1234567";   // the terminal would never report it, but a file can hold it
    const QString file = Path("wrong-id.cfg");
    WriteAll(file, QByteArray::fromStdString(ParameterReport::Build(wanted)));
    const Result result = Run({QStringLiteral("--port"), m_session.DevicePath(), QStringLiteral("--apply"), file});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(result.err.contains(QStringLiteral("设备ID号必须是8位长度"))) << result.err.toStdString();
    EXPECT_FALSE(result.lines.contains(QStringLiteral("参数设置完成")));
}

TEST_F(BatchModeTest, AMissingDeviceEndsWithFailure)
{
    const Result result = Run({QStringLiteral("--port"), QStringLiteral("/dev/no-such-terminal"),
                               QStringLiteral("--read"), Path("x.cfg")});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(result.out.contains(QStringLiteral("串口打开失败："))) << result.out.toStdString();
}

TEST_F(BatchModeTest, UsageErrorsEndWithStatusTwo)
{
    const QStringList cases[] = {
        {QStringLiteral("--bogus")},
        {QStringLiteral("--read"), Path("x.cfg")},
        {QStringLiteral("--port"), m_session.DevicePath(), QStringLiteral("--read"), Path("x.cfg"),
         QStringLiteral("--apply"), Path("y.cfg")},
        {QStringLiteral("--port"), m_session.DevicePath(), QStringLiteral("--baud"), QStringLiteral("fast"),
         QStringLiteral("--read"), Path("x.cfg")},
        {QStringLiteral("--port"), m_session.DevicePath(), QStringLiteral("--timeout"), QStringLiteral("0"),
         QStringLiteral("--read"), Path("x.cfg")},
        // Once failed: multiplied by 1000 in an int, the wait never ended.
        {QStringLiteral("--port"), m_session.DevicePath(), QStringLiteral("--timeout"), QStringLiteral("2147484"),
         QStringLiteral("--read"), Path("x.cfg")},
        {QStringLiteral("--port"), m_session.DevicePath(), QStringLiteral("--timeout"), QStringLiteral("86401"),
         QStringLiteral("--read"), Path("x.cfg")},
    };
    for (const QStringList& arguments : cases) {
        const Result result = Run(arguments);
        EXPECT_EQ(result.exitCode, 2) << arguments.join(QLatin1Char(' ')).toStdString();
        EXPECT_TRUE(result.err.contains(QStringLiteral("Usage: sirenset")));
    }
}

TEST_F(BatchModeTest, HelpAndVersionNeedNoDisplay)
{
    const Result help = Run({QStringLiteral("--help")});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.contains(QStringLiteral("--apply")));
    // The opening sentence names every way to run without a window; the
    // text ends with the exit statuses.
    const QString opening = help.out.section(QLatin1Char('\n'), 1).section(QLatin1Char('.'), 0, 0);
    for (const char* mode : {"--read", "--apply", "--diff", "--signal", "--edit", "--history", "--export"})
        EXPECT_TRUE(opening.contains(QString::fromLatin1(mode))) << mode << " in: " << opening.toStdString();
    const QString statuses = help.out.section(QStringLiteral("\nExit status:\n"), 1);
    EXPECT_FALSE(statuses.contains(QStringLiteral("--help"))) << "the statuses come after the options";
    for (const char* status : {"\n  0    success", "\n  1    failure", "\n  2    usage error",
                               "\n  3    --diff found differences", "\n  130  ended by SIGINT"})
        EXPECT_TRUE((QLatin1Char('\n') + statuses).contains(QString::fromLatin1(status))) << status;
    EXPECT_TRUE(help.out.endsWith(QStringLiteral("143 by SIGTERM\n"))) << help.out.right(200).toStdString();
    const Result version = Run({QStringLiteral("--version")});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out.trimmed(), QStringLiteral("sirenset 1.2.1"));
}

// ---------------------------------------------------------------- before the power-on

class BatchBeforePowerOnTest : public BatchModeTest {
protected:
    void SetUp() override
    {
        BatchModeTest::SetUp();
        // A terminal that would need the technician to power it on.
        SimulatorOptions options = Sim().Options();
        options.powerOnWhenOpened = false;
        Sim().SetOptions(options);
    }
};

TEST_F(BatchBeforePowerOnTest, AFileThatSmugglesACommandIsRefusedBeforeTheTerminalIsCaught)
{
    TerminalParameters planted = Sim().Parameters();
    planted.adminNumbers = {"13800000009\rAT+FACTORY"};
    const QString file = Path("planted.cfg");
    WriteAll(file, CConfigFile::ToFileText(QByteArray::fromStdString(ParameterReport::Build(planted))));
    const Result result = Run({QStringLiteral("--port"), m_session.DevicePath(), QStringLiteral("--timeout"),
                               QStringLiteral("30"), QStringLiteral("--apply"), file},
                              10000);
    EXPECT_EQ(result.exitCode, 1) << result.out.toStdString();
    EXPECT_EQ(result.lines.last(), QStringLiteral("从文件配置失败"));
    EXPECT_TRUE(result.out.contains(QStringLiteral("含有控制字符")));
    EXPECT_FALSE(result.out.contains(QStringLiteral("设备正在进入配置状态")));
    EXPECT_TRUE(Sim().ReceivedBytes().empty());
}

TEST_F(BatchBeforePowerOnTest, AFileThatCannotBeWrittenIsFoundBeforeTheTerminalIsCaught)
{
    const QString file = Path("no-such-folder/terminal.cfg");
    const Result result = Run({QStringLiteral("--port"), m_session.DevicePath(), QStringLiteral("--timeout"),
                               QStringLiteral("30"), QStringLiteral("--read"), file},
                              10000);
    EXPECT_EQ(result.exitCode, 1) << result.out.toStdString();
    ASSERT_GE(result.lines.size(), 2);
    EXPECT_TRUE(result.lines[result.lines.size() - 2].startsWith(QStringLiteral("无法写入配置文件“%1”：").arg(file)));
    EXPECT_EQ(result.lines.last(), QStringLiteral("保存到文件失败"));
    EXPECT_TRUE(Sim().ReceivedBytes().empty());
}

TEST_F(BatchBeforePowerOnTest, TerminationClosesThePortAndSaysSo)
{
    const QString file = Path("interrupted.cfg");
    for (const auto& [signalName, number] : {std::pair{"SIGTERM", 15}, std::pair{"SIGINT", 2}}) {
        QProcess process;
        process.setProgram(QStringLiteral(SIRENSET_BINARY));
        process.setArguments({QStringLiteral("--port"), m_session.DevicePath(), QStringLiteral("--read"), file});
        process.start();
        ASSERT_TRUE(testsupport::WaitUntil([&] { return Sim().ReceivedBytes().find("ss") != std::string::npos; }));
        ::kill(static_cast<pid_t>(process.processId()), number);
        ASSERT_TRUE(process.waitForFinished(10000));
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(process.exitCode(), 128 + number);
        const QStringList lines = QString::fromUtf8(process.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        ASSERT_FALSE(lines.isEmpty());
        EXPECT_EQ(lines.last(), QStringLiteral("操作已中断（收到%1信号），串口已关闭").arg(QString::fromLatin1(signalName)));
        EXPECT_FALSE(QFile::exists(file));
        // The port is free again: the next run may open it at once.
        EXPECT_TRUE(testsupport::WaitUntil([&] { return !Sim().PeerConnected(); }));
        Sim().ClearLogs();
    }
}

// --signal: one line per reading, a summary, and exit 0 only when a level
// was read. The simulator's modem answers as each row sets it.
TEST_F(BatchModeTest, SignalRunPrintsEveryReadingAndSaysWhetherALevelCame)
{
    const struct {
        const char* signal;
        int exitCode;
        const char* line;  // a reading line, after its time
    } rows[] = {
        {"17,3", 0, "CSQ 17  -79 dBm  良好  误码 3"},
        {"31,0", 0, "CSQ 31  ≥ \u221251 dBm  优秀  误码 0"},
        {"99", 1, "CSQ 未知 (99)"},
        {"garbled", 1, "无法识别的回复：+CSQ: --,-- OK"},
        {"silent", 1, "未应答"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.signal);
        TerminalIdentity identity = Sim().Identity();
        ASSERT_TRUE(ApplySignalSetting(row.signal, identity));
        Sim().SetIdentity(identity);
        const Result result = Run({QStringLiteral("--port"), m_session.DevicePath(), QStringLiteral("--signal"),
                                   QStringLiteral("--seconds"), QStringLiteral("1"), QStringLiteral("--interval"),
                                   QStringLiteral("0.5")});
        EXPECT_EQ(result.exitCode, row.exitCode) << result.out.toStdString();
        const QStringList readings = result.lines.filter(QRegularExpression(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d  ")));
        ASSERT_FALSE(readings.isEmpty()) << result.out.toStdString();
        for (const QString& reading : readings)
            EXPECT_EQ(reading.mid(10), QString::fromUtf8(row.line));
        EXPECT_TRUE(result.lines.last().startsWith(QStringLiteral("信号监测结束：%1 次读数").arg(readings.size())))
            << result.lines.last().toStdString();
    }
}

}  // namespace

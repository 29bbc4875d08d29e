#include "params/CConfigDocument.h"
#include "params/ConfigFilePlan.h"
#include "sim/ParameterReport.h"
#include "support/SimulatorSession.h"
#include "support/TestFiles.h"

#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

// `sirenset --edit FILE --set … --output NEW`, run as the program.
namespace {

struct Result {
    int exitCode = -1;
    QString out;
    QString err;
};

Result RunProgram(const QStringList& arguments)
{
    QProcess process;
    process.setProgram(QStringLiteral(SIRENSET_BINARY));
    process.setArguments(arguments);
    process.start();
    process.waitForFinished(30000);
    Result result;
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
    return result;
}

class ConfigFileEditTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        TerminalParameters terminal = TerminalParameters::Defaults();
        terminal.apn = "CMNET";
        terminal.adminNumbers = {"13800000001"};
        m_original = ConfigFileText(QByteArray::fromStdString(ParameterReport::Build(terminal)));
        ASSERT_TRUE(testsupport::WriteFileBytes(Source(), m_original));
    }
    QString Source() const { return m_dir.filePath(QStringLiteral("site.cfg")); }
    QString Output() const { return m_dir.filePath(QStringLiteral("new.cfg")); }

    QTemporaryDir m_dir;
    QByteArray m_original;
};

TEST_F(ConfigFileEditTest, ChecksEveryValueAndWritesOnlyAcceptedFiles)
{
    const Result done = RunProgram({QStringLiteral("--edit"), Source(), QStringLiteral("--set"),
                                    QStringLiteral("无线网络APN=CMIOT"), QStringLiteral("--set"),
                                    QStringLiteral("管理号码=13800000001,13900000002"), QStringLiteral("--output"),
                                    Output()});
    EXPECT_EQ(done.exitCode, 0) << done.err.toStdString();
    CConfigDocument written;
    ASSERT_FALSE(written.OpenFile(Output()).has_value());
    EXPECT_EQ(written.DisplayedValue(QStringLiteral("无线网络APN")), QStringLiteral("CMIOT"));
    EXPECT_EQ(written.Numbers(0), (QStringList{QStringLiteral("13800000001"), QStringLiteral("13900000002")}));
    EXPECT_EQ(testsupport::ReadFileBytes(Source()), m_original) << "the source file is left alone";

    // Refused values: exit 1, nothing written. Usage errors: exit 2.
    const struct {
        QStringList arguments;
        int exitCode;
        const char* message;
    } failures[] = {
        {{QStringLiteral("--set"), QStringLiteral("心跳包时间(31到65535)=30")}, 1, "心跳包大小超出范围"},
        {{QStringLiteral("--set"), QStringLiteral("无线网络APN=CMIOT"), QStringLiteral("--set"),
          QStringLiteral("设备ID号码(固定8位)=1234567")},
         1, "设备ID号必须是8位长度"},
        {{QStringLiteral("--set"), QStringLiteral("授权号码=138,138")}, 1, "号码“138”重复"},
        {{QStringLiteral("--set"), QStringLiteral("没有这项=1")}, 1, "没有名为“没有这项”的配置项"},
        {{QStringLiteral("--set"), QStringLiteral("APN")}, 2, "--set needs LABEL=VALUE"},
        {{QStringLiteral("--port"), QStringLiteral("/dev/null")}, 2, "--edit works on the file alone"},
    };
    for (const auto& failure : failures) {
        SCOPED_TRACE(failure.arguments.join(QLatin1Char(' ')).toStdString());
        QFile::remove(Output());
        const Result result = RunProgram(QStringList{QStringLiteral("--edit"), Source(), QStringLiteral("--output"),
                                                     Output()}
                                         + failure.arguments);
        EXPECT_EQ(result.exitCode, failure.exitCode);
        EXPECT_TRUE(result.err.contains(QString::fromUtf8(failure.message))) << result.err.toStdString();
        EXPECT_FALSE(QFile::exists(Output()));
    }
    const Result noOutput = RunProgram({QStringLiteral("--edit"), Source()});
    EXPECT_EQ(noOutput.exitCode, 2);
}

// Each change is echoed as "LABEL：“before” → “after”", whichever way the
// label was typed.
TEST_F(ConfigFileEditTest, TheEchoNamesTheLabelWithOneColon)
{
    CConfigDocument source;
    ASSERT_FALSE(source.OpenFile(Source()).has_value());
    const QString before = source.DisplayedValue(QStringLiteral("预置内容一")).value_or(QString());
    const QString echo = QStringLiteral("预置内容一：“%1” → “测试”").arg(before);
    for (const QString& label : {QStringLiteral("预置内容一"), QStringLiteral("预置内容一:"),
                                 QStringLiteral("预置内容一："), QStringLiteral("预置内容一 : ")}) {
        SCOPED_TRACE(label.toStdString());
        const Result result = RunProgram({QStringLiteral("--edit"), Source(), QStringLiteral("--set"),
                                          label + QStringLiteral("=测试"), QStringLiteral("--output"), Output()});
        EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
        EXPECT_EQ(result.out.section(QLatin1Char('\n'), 0, 0), echo) << result.out.toStdString();
    }
}

// ---------------------------------------------------------------- --only / --skip

class ChosenChangesBatchTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_session.Started());
        // A file that changes the APN, the TTS speed and the backup list.
        TerminalParameters wanted = m_session.sim().Parameters();
        wanted.apn = "FIELDAPN";
        wanted.ttsSpeed = wanted.ttsSpeed == "7" ? "8" : "7";
        wanted.backupNumbers = {"110"};
        ASSERT_TRUE(testsupport::WriteFileBytes(
            File(), ConfigFileText(QByteArray::fromStdString(ParameterReport::Build(wanted)))));
        m_session.sim().ClearLogs();
    }
    QString File() const { return m_dir.filePath(QStringLiteral("wanted.cfg")); }
    QStringList Lines(const Result& result) const { return testsupport::OperationLines(result.out); }

    testsupport::SimulatorSession m_session;
    QTemporaryDir m_dir;
};

TEST_F(ChosenChangesBatchTest, ApplyOnlySendsTheNamedChange)
{
    const Result result = RunProgram({QStringLiteral("--port"), m_session.DevicePath(), QStringLiteral("--apply"),
                                      File(), QStringLiteral("--only"), QStringLiteral("无线网络APN"),
                                      QStringLiteral("--no-verify")});
    EXPECT_EQ(result.exitCode, 0) << result.out.toStdString();
    std::vector<std::string> setters;
    for (const std::string& command : m_session.sim().ReceivedCommands()) {
        if (command.find('=') != std::string::npos)
            setters.push_back(command);
    }
    EXPECT_EQ(setters, std::vector<std::string>{"at+apn=FIELDAPN"});
    EXPECT_NE(m_session.sim().Parameters().backupNumbers, std::vector<std::string>{"110"});
}

TEST_F(ChosenChangesBatchTest, DiffLeavesOutTheSkippedChanges)
{
    const Result result = RunProgram({QStringLiteral("--port"), m_session.DevicePath(), QStringLiteral("--diff"),
                                      File(), QStringLiteral("--skip"), QStringLiteral("无线网络APN"),
                                      QStringLiteral("--skip"), QStringLiteral("备份号码")});
    EXPECT_EQ(result.exitCode, 3) << result.out.toStdString();
    const QStringList lines = Lines(result);
    ASSERT_GE(lines.size(), 2);
    EXPECT_TRUE(lines[lines.size() - 2].startsWith(QStringLiteral("TTS播放语速："))) << result.out.toStdString();
    EXPECT_EQ(lines.last(), QStringLiteral("共1项与设备不同，未发送任何命令"));

    const Result unknown = RunProgram({QStringLiteral("--port"), m_session.DevicePath(), QStringLiteral("--diff"),
                                       File(), QStringLiteral("--only"), QStringLiteral("没有这项")});
    EXPECT_EQ(unknown.exitCode, 2);
}

TEST_F(ChosenChangesBatchTest, AChangedOnlyFileAppliesExactlyItsChanges)
{
    const QString changed = m_dir.filePath(QStringLiteral("changed.cfg"));
    const Result diff = RunProgram({QStringLiteral("--port"), m_session.DevicePath(), QStringLiteral("--diff"), File(),
                                    QStringLiteral("--skip"), QStringLiteral("TTS播放语速"),
                                    QStringLiteral("--changed-only"), QStringLiteral("--output"), changed});
    EXPECT_EQ(diff.exitCode, 3) << diff.out.toStdString();
    ASSERT_TRUE(QFile::exists(changed)) << diff.out.toStdString();
    EXPECT_FALSE(testsupport::ReadFileBytes(changed).contains("Work Mode:"));

    m_session.sim().ClearLogs();
    const Result apply = RunProgram({QStringLiteral("--port"), m_session.DevicePath(), QStringLiteral("--apply"),
                                     changed, QStringLiteral("--no-verify")});
    EXPECT_EQ(apply.exitCode, 0) << apply.out.toStdString();
    std::vector<std::string> setters;
    for (const std::string& command : m_session.sim().ReceivedCommands()) {
        if (command.find('=') != std::string::npos && !command.starts_with("AT+LRMSETADMINNO")
            && !command.starts_with("AT+LRMSETLRMNO"))
            setters.push_back(command);
    }
    // The unchanged lists go out as every load sends them; the values that
    // do not change are not sent.
    EXPECT_EQ(setters, (std::vector<std::string>{"AT+LRMSETBKNO=110", "at+apn=FIELDAPN"}));
}

}  // namespace

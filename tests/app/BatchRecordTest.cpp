#include "params/CConfigFile.h"
#include "sim/ParameterReport.h"
#include "support/SimulatorSession.h"
#include "support/TestFiles.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>

#include <gtest/gtest.h>

namespace {

// The service record of batch runs, and --history / --export, through the
// real program against a simulated terminal.
class BatchRecordTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_session.Started());
        ASSERT_TRUE(m_dir.isValid());
        m_database = Path("records.sqlite");
    }

    struct Result {
        int exitCode = -1;
        QString out;
        QString err;
    };

    Result Run(QStringList arguments)
    {
        arguments << QStringLiteral("--db") << m_database;
        QProcess process;
        process.setProgram(QStringLiteral(SIRENSET_BINARY));
        process.setArguments(arguments);
        process.start();
        EXPECT_TRUE(process.waitForFinished(60000));
        Result result;
        result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        result.out = QString::fromUtf8(process.readAllStandardOutput());
        result.err = QString::fromUtf8(process.readAllStandardError());
        return result;
    }
    Result RunOnPort(const char* operation, const QString& file, QStringList more = {})
    {
        return Run(QStringList{QStringLiteral("--port"), m_session.DevicePath(), QString::fromLatin1(operation), file}
                   + more);
    }
    QJsonObject HistoryJson(const QString& device)
    {
        const Result result = Run({QStringLiteral("--history"), device, QStringLiteral("--json")});
        EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
        return QJsonDocument::fromJson(result.out.toUtf8()).object();
    }
    QString Path(const char* name) const { return m_dir.filePath(QString::fromLatin1(name)); }
    TerminalSimulator& Sim() { return m_session.sim(); }
    static QByteArray FileOf(const TerminalParameters& parameters)
    {
        return CConfigFile::ToFileText(QByteArray::fromStdString(ParameterReport::Build(parameters)));
    }
    // The commands the terminal received that set its server address.
    std::vector<std::string> ServerCommands()
    {
        std::vector<std::string> found;
        for (const std::string& command : Sim().ReceivedCommands()) {
            if (command.find("116.62.10.20") != std::string::npos || command.find("10.0.0.5") != std::string::npos)
                found.push_back(command);
        }
        return found;
    }

    testsupport::SimulatorSession m_session;
    QTemporaryDir m_dir;
    QString m_database;
};

}  // namespace

// Read, change and save, read again: the record holds both snapshots and
// the save between them; the first snapshot, exported and applied, brings
// the terminal back.
TEST_F(BatchRecordTest, ReadChangeRestoreFromTheRecord)
{
    TerminalParameters original = Sim().Parameters();
    original.deviceId = "1A2B3C4D";
    original.serverIp = "116.62.10.20";
    Sim().SetParameters(original);
    const QString device = QStringLiteral("1A2B3C4D");

    ASSERT_EQ(RunOnPort("--read", Path("first.cfg")).exitCode, 0);
    TerminalParameters changed = original;
    changed.serverIp = "10.0.0.5";
    ASSERT_TRUE(testsupport::WriteFileBytes(Path("changed.cfg"), FileOf(changed)));
    const Result apply = RunOnPort("--apply", Path("changed.cfg"), {QStringLiteral("--report"), Path("report.json")});
    ASSERT_EQ(apply.exitCode, 0) << apply.out.toStdString();
    ASSERT_EQ(Sim().Parameters().serverIp, "10.0.0.5");

    const QJsonObject history = HistoryJson(device);
    EXPECT_EQ(history[QStringLiteral("device")][QStringLiteral("visits")].toInt(), 2);
    const QJsonArray entries = history[QStringLiteral("entries")].toArray();
    // The snapshot, the file's three whole-list commands, the save, the
    // snapshot of its verification.
    ASSERT_EQ(entries.size(), 6) << QJsonDocument(history).toJson().toStdString();
    EXPECT_EQ(entries[0][QStringLiteral("trigger")].toString(), QStringLiteral("--read"));
    // The --apply's entry read equalled the --read: no second copy.
    EXPECT_EQ(entries[0][QStringLiteral("seen")].toInt(), 2);
    for (int i = 1; i <= 3; ++i) {
        EXPECT_EQ(entries[i][QStringLiteral("kind")].toString(), QStringLiteral("numbers"));
        EXPECT_TRUE(entries[i][QStringLiteral("items")][0][QStringLiteral("new")].toString().startsWith(
            QStringLiteral("AT+LRMSET")));
    }
    const QJsonValue save = entries[4];
    EXPECT_EQ(save[QStringLiteral("kind")].toString(), QStringLiteral("parameters"));
    EXPECT_EQ(save[QStringLiteral("result")].toString(), QStringLiteral("成功"));
    EXPECT_EQ(save[QStringLiteral("verify")].toString(), QStringLiteral("一致"));
    const QJsonArray items = save[QStringLiteral("items")].toArray();
    ASSERT_EQ(items.size(), 1);
    EXPECT_EQ(items[0][QStringLiteral("old")].toString(), QStringLiteral("116.62.10.20"));
    EXPECT_EQ(items[0][QStringLiteral("new")].toString(), QStringLiteral("10.0.0.5"));
    EXPECT_TRUE(items[0][QStringLiteral("acknowledged")].toBool());
    EXPECT_EQ(entries[5][QStringLiteral("trigger")].toString(), QStringLiteral("apply-after"));
    EXPECT_EQ(entries[5][QStringLiteral("differences")].toArray().size(), 1);

    // --report names the terminal's last snapshot.
    const QJsonObject report =
        QJsonDocument::fromJson(testsupport::ReadFileBytes(Path("report.json"))).object();
    EXPECT_EQ(report[QStringLiteral("terminals")][0][QStringLiteral("recordId")].toInteger(),
              entries[5][QStringLiteral("id")].toInteger());

    // The export is the --read file, byte for byte.
    const Result exported = Run({QStringLiteral("--export"), QStringLiteral("1a2b3c4d@1"), Path("restore.cfg")});
    ASSERT_EQ(exported.exitCode, 0) << exported.err.toStdString();
    EXPECT_EQ(testsupport::ReadFileBytes(Path("restore.cfg")), testsupport::ReadFileBytes(Path("first.cfg")));
    EXPECT_NE(Run({QStringLiteral("--export"), QStringLiteral("1A2B3C4D@9"), Path("none.cfg")}).exitCode, 0);

    Sim().ClearLogs();
    ASSERT_EQ(RunOnPort("--apply", Path("restore.cfg")).exitCode, 0);
    EXPECT_EQ(Sim().Parameters().serverIp, "116.62.10.20");
    ASSERT_EQ(ServerCommands().size(), 1u);
    int snapshots = 0;
    for (const QJsonValue entry : HistoryJson(device)[QStringLiteral("entries")].toArray())
        snapshots += entry[QStringLiteral("type")].toString() == QStringLiteral("snapshot");
    EXPECT_EQ(snapshots, 3);

    // The device list, as text and as JSON.
    const Result list = Run({QStringLiteral("--history")});
    EXPECT_TRUE(list.out.startsWith(device)) << list.out.toStdString();
    const QJsonArray devices = QJsonDocument::fromJson(
        Run({QStringLiteral("--history"), QStringLiteral("--json")}).out.toUtf8())[QStringLiteral("devices")].toArray();
    ASSERT_EQ(devices.size(), 1);
    EXPECT_EQ(devices[0][QStringLiteral("visits")].toInt(), 3);
}

// Without a record (--no-record), or with one that cannot be written, the
// terminal is read all the same; the latter says so once.
TEST_F(BatchRecordTest, RecordingNeverStopsARun)
{
    const Result off = RunOnPort("--read", Path("a.cfg"), {QStringLiteral("--no-record")});
    EXPECT_EQ(off.exitCode, 0);
    EXPECT_FALSE(QFile::exists(m_database));

    m_database = QStringLiteral("/proc/sirenset-records/records.sqlite");
    const Result broken = RunOnPort("--read", Path("b.cfg"));
    EXPECT_EQ(broken.exitCode, 0) << broken.out.toStdString();
    EXPECT_EQ(testsupport::ReadFileBytes(Path("a.cfg")), testsupport::ReadFileBytes(Path("b.cfg")));
    EXPECT_EQ(broken.out.count(QStringLiteral("设备档案无法记录")), 1) << broken.out.toStdString();
    // The rest of the log is that of a run without a record.
    QStringList rest = broken.out.split(QLatin1Char('\n'));
    rest.erase(std::remove_if(rest.begin(), rest.end(),
                              [](const QString& line) { return line.startsWith(QStringLiteral("设备档案无法记录")); }),
               rest.end());
    EXPECT_EQ(rest, off.out.split(QLatin1Char('\n')));
}

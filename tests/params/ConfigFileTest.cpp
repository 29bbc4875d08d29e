#include "device/CDeviceController.h"
#include "params/CConfigDocument.h"
#include "params/CConfigFile.h"
#include "params/CParameterSaver.h"
#include "params/ParameterReport.h"
#include "sim/ParameterReport.h"
#include "support/EventLoopWait.h"
#include "support/RecordingRecorder.h"
#include "support/RecordingView.h"
#include "support/ShortTiming.h"
#include "support/SimulatorSession.h"
#include "support/TestFiles.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

using testsupport::WaitUntil;
using namespace std::chrono_literals;

// What a file keeps of the simulated terminal's report: from its first
// label (its lists come first, after a blank line and a heading) to its "OK".
QByteArray SavedReport(const TerminalParameters& params)
{
    const std::string report = ParameterReport::Build(params);
    return QByteArray::fromStdString(report.substr(report.find("Alarm admin NO:  ")));
}

// ---------------------------------------------------------------- file text

struct LineEndCase {
    const char* name;
    QByteArray file;
    QByteArray text;
};

class FileLineEnds : public ::testing::TestWithParam<LineEndCase> {};

TEST_P(FileLineEnds, ReadBackAsTheReportWasReceived)
{
    EXPECT_EQ(CConfigFile::FromFileText(GetParam().file), GetParam().text);
}

const LineEndCase kLineEndCases[] = {
    {"WindowsToolForm", "a\r\r\nb\r\r\n", "a\r\nb\r\n"},
    {"EditorCrLf", "a\r\nb\r\n", "a\r\nb\r\n"},
    {"UnixLf", "a\nb\n", "a\r\nb\r\n"},
    {"Mixed", "a\r\r\nb\nc\r\n", "a\r\nb\r\nc\r\n"},
    {"LoneCrKept", "a\rb\r\n", "a\rb\r\n"},
    {"NoLineEnd", "abc", "abc"},
    {"Empty", "", ""},
};

INSTANTIATE_TEST_SUITE_P(Files, FileLineEnds, ::testing::ValuesIn(kLineEndCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ConfigFileText, EveryLineFeedIsWrittenAfterACarriageReturn)
{
    EXPECT_EQ(CConfigFile::ToFileText("Alarm fm freq:  8800\r\nOK\r\n"), QByteArray("Alarm fm freq:  8800\r\r\nOK\r\r\n"));
}

TEST(ConfigFileText, FilesAreReadAsFarAsTheLongestReport)
{
    // Three full lists of 255 numbers of 32 digits alone pass 25 000 bytes.
    EXPECT_GE(CConfigFile::kMaxReportBytes, 3 * 255 * 33);
    QByteArray file(CConfigFile::kMaxReportBytes + 1000, 'x');
    EXPECT_EQ(CConfigFile::FromFileText(file).size(), CConfigFile::kMaxReportBytes);
    QByteArray lines;
    while (lines.size() < CConfigFile::kMaxReportBytes + 4000)
        lines += "0123456\n";
    const QByteArray text = CConfigFile::FromFileText(lines);
    EXPECT_EQ(text.size(), CConfigFile::kMaxReportBytes);
    EXPECT_TRUE(text.startsWith("0123456\r\n0123456\r\n"));
    // Files of up to 8192 bytes read as they always did: whole.
    const QByteArray small = QByteArray("a\r\r\n").repeated(8192 / 4);
    EXPECT_EQ(CConfigFile::FromFileText(small), QByteArray("a\r\n").repeated(8192 / 4));
}

TEST(ConfigFileText, SavedTextReadsBackUnchanged)
{
    const QByteArray report = QByteArray::fromStdString(ParameterReport::Build(TerminalParameters::Defaults()));
    EXPECT_EQ(CConfigFile::FromFileText(CConfigFile::ToFileText(report)), report);
}

// ---------------------------------------------------------------- with a terminal

class ConfigFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_session.Started());
        ASSERT_TRUE(m_dir.isValid());
        m_device = std::make_unique<CDeviceController>(m_view, testsupport::ShortTiming());
        m_saver = std::make_unique<CParameterSaver>(*m_device);
        // What a load sends; the read-back after it has tests of its own.
        m_saver->SetVerifyAfterSave(false);
        m_files = std::make_unique<CConfigFile>(*m_device);
        connect();
        m_device->SetRecorder(m_recorder);
        m_device->Start();
        ASSERT_TRUE(m_device->OpenPort(m_session.PortNumber(), 115200));
        m_device->OnPortOpened();
        ASSERT_TRUE(WaitForLog(QStringLiteral("参数加载完成...")));
        ASSERT_TRUE(WaitUntil([&] { return !m_view.busy; }));
        Sim().ClearLogs();
        m_recorder->Clear();
    }

    // Reads the terminal's parameters back (task 0), as the table shows them.
    bool ReadBack()
    {
        m_finished.clear();
        return m_device->PostTask(TaskCode::ReadBack, "AT+SHOW\r") && WaitForTask(TaskCode::ReadBack)
            && WaitUntil([&] { return !m_view.busy; });
    }

    void connect()
    {
        QObject::connect(m_device.get(), &CDeviceController::taskFinished, [this](int code) { m_finished << code; });
    }

    bool WaitForLog(const QString& line, std::chrono::milliseconds limit = 15s)
    {
        return WaitUntil([&] { return m_view.logLines.contains(line); }, limit);
    }
    bool WaitForTask(int code, std::chrono::milliseconds limit = 20s)
    {
        return WaitUntil([&] { return m_finished.contains(code); }, limit);
    }
    QString Path(const char* name) const { return m_dir.filePath(QString::fromLatin1(name)); }
    QStringList LogFrom(int mark) const { return m_view.logLines.mid(mark); }
    TerminalSimulator& Sim() { return m_session.sim(); }

    static QByteArray ReadAll(const QString& path) { return testsupport::ReadFileBytes(path); }
    static void WriteAll(const QString& path, const QByteArray& bytes)
    {
        ASSERT_TRUE(testsupport::WriteFileBytes(path, bytes));
    }

    testsupport::SimulatorSession m_session;
    QTemporaryDir m_dir;
    RecordingView m_view;
    std::unique_ptr<CDeviceController> m_device;
    std::unique_ptr<CParameterSaver> m_saver;
    std::unique_ptr<CConfigFile> m_files;
    std::shared_ptr<RecordingRecorder> m_recorder = std::make_shared<RecordingRecorder>();
    QList<int> m_finished;
};

TEST_F(ConfigFileTest, SavingWritesTheReportAsReceivedWithWindowsLineEnds)
{
    const QString path = Path("Kestrel-Alarm.cfg");
    const int mark = m_view.logLines.size();
    m_files->RequestSave(path);
    EXPECT_TRUE(m_view.busy);
    ASSERT_TRUE(WaitForTask(TaskCode::SaveConfigFile));
    const QStringList log = LogFrom(mark);
    ASSERT_EQ(log.size(), 2) << log.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(log[1], QStringLiteral("参数保存到文件成功..."));
    EXPECT_EQ(ReadAll(path), CConfigFile::ToFileText(SavedReport(Sim().Parameters())));
    EXPECT_EQ(Sim().ReceivedCommands(), std::vector<std::string>{"AT+SHOW"});
    EXPECT_TRUE(WaitUntil([&] { return !m_view.busy; }));
    EXPECT_TRUE(m_files->LastSaveSucceeded());
}

TEST_F(ConfigFileTest, NoAnswerWritesNoFileAndKeepsAnExistingOne)
{
    const QString path = Path("old.cfg");
    WriteAll(path, "the old configuration");
    SimulatorFaults faults;
    faults.silentPrefixes = {"AT+SHOW"};
    Sim().SetFaults(faults);
    m_files->RequestSave(path);
    ASSERT_TRUE(WaitForTask(TaskCode::SaveConfigFile));
    EXPECT_TRUE(m_view.logLines.contains(QStringLiteral("保存到文件失败")));
    EXPECT_EQ(ReadAll(path), QByteArray("the old configuration"));
    EXPECT_FALSE(QFile::exists(Path("new.cfg")));
}

TEST_F(ConfigFileTest, AReportThatDoesNotParseWritesNoFile)
{
    Sim().ModifyParameters([](TerminalParameters& params) { params.smsPriority = 12; });
    m_files->RequestSave(Path("bad.cfg"));
    ASSERT_TRUE(WaitForTask(TaskCode::SaveConfigFile));
    EXPECT_TRUE(m_view.logLines.contains(QStringLiteral("参数加载中存在错误的参数，保存失败...")));
    EXPECT_FALSE(QFile::exists(Path("bad.cfg")));
}

TEST_F(ConfigFileTest, AFileThatCannotBeCreatedIsReportedInAMessageBox)
{
    m_files->RequestSave(Path("no-such-folder/x.cfg"));
    ASSERT_TRUE(WaitForTask(TaskCode::SaveConfigFile));
    EXPECT_EQ(m_view.messages, QStringList{QStringLiteral("文件打开错误，保存失败")});
    EXPECT_FALSE(m_view.logLines.contains(QStringLiteral("参数保存到文件成功...")));
}

TEST_F(ConfigFileTest, LoadingSetsTheListsThenSavesOnlyWhatDiffers)
{
    // The file comes from a terminal with other numbers and two other values.
    TerminalParameters other = Sim().Parameters();
    other.adminNumbers = {};
    other.authorisedNumbers = {"13911111111", "13922222222", "13933333333"};
    other.backupNumbers = {"110"};
    other.apn = "OTHERAPN";
    other.heartbeatSeconds = "90";
    const QString path = Path("other.cfg");
    WriteAll(path, CConfigFile::ToFileText(QByteArray::fromStdString(ParameterReport::Build(other))));

    const int mark = m_view.logLines.size();
    m_files->RequestLoad(path);
    ASSERT_TRUE(WaitForTask(TaskCode::SaveAll));
    const std::vector<std::string> expected = {
        "AT+LRMSETADMINNO=",
        "AT+LRMSETLRMNO=13911111111,13922222222,13933333333",
        "AT+LRMSETBKNO=110",
        "at+apn=OTHERAPN",
        "at+polltime=90",
    };
    EXPECT_EQ(Sim().ReceivedCommands(), expected);
    const QStringList log = LogFrom(mark);
    ASSERT_GE(log.size(), 5) << log.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(log[0], QStringLiteral("重置管理号码成功"));
    EXPECT_EQ(log[1], QStringLiteral("重置授权号码成功"));
    EXPECT_EQ(log[2], QStringLiteral("重置备份号码成功"));
    EXPECT_EQ(log[3], QStringLiteral("参数保存中，请等待..."));
    EXPECT_EQ(log.last(), QStringLiteral("参数设置完成"));
    EXPECT_EQ(m_view.pages[1].size(), 3);
    EXPECT_TRUE(m_view.pages[0].isEmpty());
    EXPECT_EQ(m_view.cells.value({16, 3}), QStringLiteral("OTHERAPN"));
    EXPECT_EQ(Sim().Parameters().apn, "OTHERAPN");
    EXPECT_TRUE(WaitUntil([&] { return !m_view.busy; }));
}

TEST_F(ConfigFileTest, TheChangesAreShownBeforeTheFirstCommandAndCancelSendsNothing)
{
    TerminalParameters other = Sim().Parameters();
    other.backupNumbers = {"110"};
    other.apn = "OTHERAPN";
    const QString path = Path("other.cfg");
    WriteAll(path, CConfigFile::ToFileText(QByteArray::fromStdString(ParameterReport::Build(other))));
    const std::vector<std::string> backupBefore = Sim().Parameters().backupNumbers;

    m_view.confirmFileChanges = false;
    const int mark = m_view.logLines.size();
    m_files->RequestLoad(path);
    ASSERT_TRUE(WaitForTask(TaskCode::LoadConfigFile));
    ASSERT_EQ(m_view.fileChanges.size(), 1);
    EXPECT_EQ(m_view.fileChanges[0],
              (QStringList{QStringLiteral("无线网络APN：设备“CMNET”，文件“OTHERAPN”"),
                           QStringLiteral("备份号码：设备“%1”，文件“110”")
                               .arg(QString::fromStdString(backupBefore.empty() ? std::string() : backupBefore[0]))}));
    EXPECT_TRUE(Sim().ReceivedCommands().empty());
    EXPECT_EQ(LogFrom(mark), QStringList{QStringLiteral("已取消从文件配置，未发送任何命令")});
    EXPECT_TRUE(WaitUntil([&] { return !m_view.busy; }));
    EXPECT_EQ(Sim().Parameters().apn, "CMNET");
}

TEST_F(ConfigFileTest, AnOverrideReplacesTheFilesValueAndIsCheckedAsTyped)
{
    const QString path = Path("same.cfg");
    WriteAll(path, CConfigFile::ToFileText(QByteArray::fromStdString(ParameterReport::Build(Sim().Parameters()))));

    m_files->SetOverrides({{FindSaveItemByLabel(QStringLiteral("设备ID号码(固定8位)")), QStringLiteral("0000BEEF")}});
    m_files->RequestLoad(path);
    ASSERT_TRUE(WaitForTask(TaskCode::SaveAll));
    EXPECT_EQ(Sim().Parameters().deviceId, "0000BEEF");
    EXPECT_EQ(m_view.cells.value({11, 3}), QStringLiteral("0000BEEF"));

    // A value the save would refuse refuses the file before any command.
    Sim().ClearLogs();
    m_files->SetOverrides({{FindSaveItemByLabel(QStringLiteral("Modem's ID number")), QStringLiteral("BEEF")}});
    const int mark = m_view.logLines.size();
    m_finished.clear();
    m_files->RequestLoad(path);
    ASSERT_TRUE(WaitForTask(TaskCode::LoadConfigFile));
    EXPECT_TRUE(Sim().ReceivedCommands().empty());
    ASSERT_FALSE(m_view.messages.isEmpty());
    EXPECT_EQ(m_view.messages.constLast(), QStringLiteral("设备ID号必须是8位长度"));
    EXPECT_EQ(LogFrom(mark), QStringList{QStringLiteral("从文件配置失败")});
}

TEST_F(ConfigFileTest, FilesWithEditorAndUnixLineEndsLoad)
{
    const QByteArray report = QByteArray::fromStdString(ParameterReport::Build(Sim().Parameters()));
    for (const QByteArray& text : {report, QByteArray(report).replace("\r\n", "\n")}) {
        const QString path = Path("edited.cfg");
        WriteAll(path, text);
        m_finished.clear();
        Sim().ClearLogs();
        m_files->RequestLoad(path);
        ASSERT_TRUE(WaitForTask(TaskCode::SaveAll));
        // Same values as the terminal: only the lists are written.
        EXPECT_EQ(Sim().ReceivedCommands().size(), 3u);
    }
}

TEST_F(ConfigFileTest, AFileThatDoesNotParseChangesNothing)
{
    const QString path = Path("broken.cfg");
    WriteAll(path, "Alarm admin NO:  1234,\r\nnothing else\r\n");
    const auto cells = m_view.cells;
    const QStringList pages = m_view.pages[0];
    m_files->RequestLoad(path);
    ASSERT_TRUE(WaitForTask(TaskCode::LoadConfigFile));
    EXPECT_TRUE(m_view.logLines.contains(QStringLiteral("参数加载失败")));
    EXPECT_TRUE(Sim().ReceivedCommands().empty());
    EXPECT_EQ(m_view.cells, cells);
    EXPECT_EQ(m_view.pages[0], pages);
    EXPECT_TRUE(WaitUntil([&] { return !m_view.busy; }));
}

TEST_F(ConfigFileTest, AMissingFileIsReported)
{
    m_files->RequestLoad(Path("missing.cfg"));
    ASSERT_TRUE(WaitForTask(TaskCode::LoadConfigFile));
    EXPECT_TRUE(m_view.logLines.contains(QStringLiteral("打开文件失败")));
    EXPECT_TRUE(WaitUntil([&] { return !m_view.busy; }));
}

TEST_F(ConfigFileTest, AnUnacknowledgedListStopsTheLoad)
{
    TerminalParameters other = Sim().Parameters();
    other.apn = "OTHERAPN";
    const QString path = Path("other.cfg");
    WriteAll(path, QByteArray::fromStdString(ParameterReport::Build(other)));
    SimulatorFaults faults;
    faults.silentPrefixes = {"AT+LRMSETLRMNO"};
    Sim().SetFaults(faults);
    m_files->RequestLoad(path);
    ASSERT_TRUE(WaitForTask(TaskCode::LoadConfigFile));
    EXPECT_TRUE(m_view.logLines.contains(QStringLiteral("重置授权号码失败")));
    const auto commands = Sim().ReceivedCommands();
    ASSERT_EQ(commands.size(), 2u);
    EXPECT_EQ(commands[0].rfind("AT+LRMSETADMINNO=", 0), 0u);
    EXPECT_FALSE(m_finished.contains(TaskCode::SaveAll));
    EXPECT_TRUE(m_view.pages[2].isEmpty());
    EXPECT_TRUE(WaitUntil([&] { return !m_view.busy; }));
}

TEST_F(ConfigFileTest, AListAcknowledgedButNotKeptFailsTheVerificationAfterTheLoad)
{
    // Only a list differs: no item is written, the report is read back all the same.
    TerminalParameters other = Sim().Parameters();
    other.backupNumbers = {"110", "119"};
    const QString path = Path("other.cfg");
    WriteAll(path, QByteArray::fromStdString(ParameterReport::Build(other)));
    SimulatorFaults faults;
    faults.ignoredPrefixes = {"AT+LRMSETBKNO="};
    Sim().SetFaults(faults);
    m_saver->SetVerifyAfterSave(true);
    m_files->RequestLoad(path);
    ASSERT_TRUE(WaitForTask(TaskCode::SaveAll));
    EXPECT_EQ(Sim().ReceivedCommands().back(), "AT+SHOW");
    const QString mismatch = QStringLiteral("校验不一致：备份号码：发送“110,119”，读回“13700000021”");
    EXPECT_EQ(m_view.verifyMismatches, QList<QStringList>{QStringList{mismatch}});
    EXPECT_EQ(m_view.verifySummaries, QStringList{QStringLiteral("校验失败：1 项不一致")});
    EXPECT_EQ(m_saver->LastOutcome().mismatches, 1);
}

// A load and the save it queues are one change for the service record:
// begun before the first list, each list and item as its reply came, ended
// with the result and verification of the log, lists included. A file
// that changes only lists is a change of the number lists.
TEST_F(ConfigFileTest, TheRecordFollowsALoadListByListAndEndsWithItsVerification)
{
    const struct Row {
        const char* name;
        void (*fault)(SimulatorFaults&);
        bool changeApn = false;
        std::vector<const char*> calls;
    } rows[] = {
        {"lists only, verified", nullptr, false,
         {"begun numbers @0", "item AT+LRMSETADMINNO ok @1", "item AT+LRMSETLRMNO ok @2",
          "item AT+LRMSETBKNO ok @3", "done numbers 成功 一致 3 @4"}},
        {"lists only, one not kept", [](SimulatorFaults& f) { f.ignoredPrefixes = {"AT+LRMSETBKNO="}; }, false,
         {"begun numbers @0", "item AT+LRMSETADMINNO ok @1", "item AT+LRMSETLRMNO ok @2",
          "item AT+LRMSETBKNO ok @3", "done numbers 成功 1 项不一致 3 @4"}},
        {"lists and an item", nullptr, true,
         {"begun parameters @0", "item AT+LRMSETADMINNO ok @1", "item AT+LRMSETLRMNO ok @2",
          "item AT+LRMSETBKNO ok @3", "item 无线网络APN=OTHERAPN ok @4", "done parameters 成功 一致 4 @5"}},
        {"a list unanswered", [](SimulatorFaults& f) { f.silentPrefixes = {"AT+LRMSETLRMNO="}; }, true,
         {"begun parameters @0", "item AT+LRMSETADMINNO ok @1", "item AT+LRMSETLRMNO no @2",
          "done parameters 失败 - 2 @2"}},
    };
    m_saver->SetVerifyAfterSave(true);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Sim().SetParameters(TerminalParameters::Defaults());
        ASSERT_TRUE(ReadBack());
        TerminalParameters other = Sim().Parameters();
        other.backupNumbers = {"110", "119"};
        if (row.changeApn)
            other.apn = "OTHERAPN";
        const QString path = Path("other.cfg");
        WriteAll(path, QByteArray::fromStdString(ParameterReport::Build(other)));
        SimulatorFaults faults;
        if (row.fault)
            row.fault(faults);
        Sim().SetFaults(faults);
        Sim().ClearLogs();
        m_recorder->Clear();
        m_recorder->SetProbe([this] { return QString::number(Sim().ReceivedCommands().size()); });
        m_finished.clear();
        m_files->RequestLoad(path);
        ASSERT_TRUE(WaitForTask(TaskCode::LoadConfigFile));
        if (faults.silentPrefixes.empty()) {
            ASSERT_TRUE(WaitForTask(TaskCode::SaveAll));
        }
        ASSERT_TRUE(WaitUntil([&] { return !m_view.busy; }));
        m_recorder->SetProbe({});
        QStringList expected;
        for (const char* call : row.calls)
            expected << QString::fromUtf8(call);
        EXPECT_EQ(m_recorder->Calls(), expected);
        Sim().SetFaults({});
    }
}

// Line noise is not configuration: what is saved to a file and what the
// record keeps of a read-back is the report from its first label to its
// "OK", without the noise before it and without the zero bytes in front of
// each line (the parser sees them as blanks, the file must not).
TEST_F(ConfigFileTest, LineNoiseIsNeitherSavedNorRecorded)
{
    const struct Row {
        const char* name;
        bool zeroBytes;
        int garbageBytes;
    } rows[] = {
        {"clean", false, 0},
        {"40 noise bytes before the reply", false, 40},
        {"a zero byte before every line", true, 0},
        {"both", true, 40},
    };
    const QByteArray kept = SavedReport(Sim().Parameters());
    ASSERT_TRUE(kept.startsWith("Alarm admin NO:  ") && kept.endsWith("\r\nOK\r\n"));
    const QString path = Path("noisy.cfg");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        SimulatorFaults faults;
        faults.zeroBytes = row.zeroBytes;
        faults.garbageBytes = row.garbageBytes;
        Sim().SetFaults(faults);
        m_finished.clear();
        m_files->RequestSave(path);
        ASSERT_TRUE(WaitForTask(TaskCode::SaveConfigFile));
        EXPECT_TRUE(m_files->LastSaveSucceeded());
        EXPECT_EQ(ReadAll(path), CConfigFile::ToFileText(kept));
        m_recorder->Clear();
        ASSERT_TRUE(ReadBack());
        const auto reports = m_recorder->Reports();
        ASSERT_EQ(reports.size(), 1u);
        EXPECT_EQ(reports[0].first, IVisitRecorder::ReportTrigger::ReadBack);
        EXPECT_EQ(reports[0].second, kept);
    }
}

TEST_F(ConfigFileTest, ASavedFileLoadedAgainParsesToTheSameValues)
{
    const QString path = Path("round.cfg");
    m_files->RequestSave(path);
    ASSERT_TRUE(WaitForTask(TaskCode::SaveConfigFile));
    ParameterSet fromFile;
    const QByteArray text = CConfigFile::FromFileText(ReadAll(path));
    ASSERT_TRUE(ParseParameterReport(text.constData(), static_cast<std::size_t>(text.size()), fromFile));
    std::lock_guard guard(m_device->ParamLock());
    const ParameterSet& known = m_device->Params();
    EXPECT_EQ(fromFile.apn, known.apn);
    EXPECT_EQ(fromFile.presetText2, known.presetText2);
    EXPECT_EQ(fromFile.authorisedNumbers.JoinedWithCommas(), known.authorisedNumbers.JoinedWithCommas());
    EXPECT_EQ(fromFile.smsCentre, known.smsCentre);
}

// ---------------------------------------------------------------- refused files

QByteArray FileFor(const TerminalParameters& params)
{
    return CConfigFile::ToFileText(QByteArray::fromStdString(ParameterReport::Build(params)));
}

struct SmuggledCase {
    const char* name;
    void (*plant)(TerminalParameters&);
};

class SmuggledCommandTest : public ConfigFileTest, public ::testing::WithParamInterface<SmuggledCase> {};

TEST_P(SmuggledCommandTest, AControlCharacterInAValueRefusesTheWholeFile)
{
    TerminalParameters planted = Sim().Parameters();
    planted.apn = "OTHERAPN";  // a change that would otherwise be sent
    GetParam().plant(planted);
    const QString path = Path("planted.cfg");
    WriteAll(path, FileFor(planted));
    const auto cells = m_view.cells;
    const TerminalParameters before = Sim().Parameters();

    const int mark = m_view.logLines.size();
    m_files->RequestLoad(path);
    ASSERT_TRUE(WaitForTask(TaskCode::LoadConfigFile));
    ASSERT_TRUE(WaitUntil([&] { return !m_view.busy; }));
    EXPECT_TRUE(Sim().ReceivedCommands().empty());
    const QStringList log = LogFrom(mark);
    ASSERT_EQ(log.size(), 2) << log.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(log[0].contains(QStringLiteral("含有控制字符"))) << log[0].toStdString();
    EXPECT_EQ(log[1], QStringLiteral("从文件配置失败"));
    EXPECT_FALSE(m_finished.contains(TaskCode::SaveAll));
    EXPECT_EQ(m_view.cells, cells);
    EXPECT_EQ(Sim().Parameters().adminNumbers, before.adminNumbers);
    EXPECT_EQ(Sim().Parameters().apn, before.apn);
}

const SmuggledCase kSmuggled[] = {
    {"CarriageReturnInAnAdministratorNumber",
     [](TerminalParameters& p) { p.adminNumbers = {"13800000009\rAT+FACTORY"}; }},
    {"CarriageReturnInABackupNumber", [](TerminalParameters& p) { p.backupNumbers = {"110", "1\rAT+RESET"}; }},
    {"VerticalTabInTheApnUser", [](TerminalParameters& p) { p.apnUser = "us\x0B" "er"; }},
    {"DataLinkEscapeInAPresetText", [](TerminalParameters& p) { p.presetText1 = "warn\x10ing"; }},
    {"CarriageReturnInTheServerAddress", [](TerminalParameters& p) { p.serverIp = "10.0.0.1\rAT+FACTORY"; }},
    {"DeleteInTheFmFrequency", [](TerminalParameters& p) { p.fmFrequency = "8750\x7F"; }},
};

INSTANTIATE_TEST_SUITE_P(Values, SmuggledCommandTest, ::testing::ValuesIn(kSmuggled),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ConfigFileTest, AValueTheSaveWouldRefuseStopsTheFileBeforeItsLists)
{
    TerminalParameters other = Sim().Parameters();
    other.authorisedNumbers = {"13911111111"};
    other.deviceId = "1234567";
    const QString path = Path("short-id.cfg");
    WriteAll(path, FileFor(other));
    const int mark = m_view.logLines.size();
    m_files->RequestLoad(path);
    ASSERT_TRUE(WaitForTask(TaskCode::LoadConfigFile));
    ASSERT_TRUE(WaitUntil([&] { return !m_view.busy; }));
    EXPECT_TRUE(Sim().ReceivedCommands().empty());
    EXPECT_EQ(m_view.messages, QStringList{QStringLiteral("设备ID号必须是8位长度")});
    EXPECT_EQ(LogFrom(mark), QStringList{QStringLiteral("从文件配置失败")});
}

TEST_F(ConfigFileTest, ANumberTooLongForItsListRefusesTheFile)
{
    TerminalParameters other = Sim().Parameters();
    other.authorisedNumbers = {"13911111111", std::string(40, '5'), "13933333333"};
    const QString path = Path("long-number.cfg");
    WriteAll(path, FileFor(other));
    const int mark = m_view.logLines.size();
    m_files->RequestLoad(path);
    ASSERT_TRUE(WaitForTask(TaskCode::LoadConfigFile));
    ASSERT_TRUE(WaitUntil([&] { return !m_view.busy; }));
    EXPECT_TRUE(Sim().ReceivedCommands().empty());
    const QStringList log = LogFrom(mark);
    ASSERT_EQ(log.size(), 2) << log.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(log[0], QStringLiteral("配置文件中授权号码列表中的号码“%1”超过32位，文件未被使用，未发送任何命令")
                          .arg(QString(40, QLatin1Char('5'))));
}

// ---------------------------------------------------------------- partial files

TEST_F(ConfigFileTest, LinesAFileLacksKeepTheTerminalsValues)
{
    TerminalParameters other = Sim().Parameters();
    other.apn = "OTHERAPN";
    other.apnUser = "";  // would blank the user if the line were read
    QByteArray report = QByteArray::fromStdString(ParameterReport::Build(other));
    const int missingBefore = CountMissingReportLabels({report.constData(), static_cast<std::size_t>(report.size())});
    // A hand-edited file without the dial number, user and password lines.
    QList<QByteArray> lines = report.split('\n');
    lines.removeIf([](const QByteArray& line) {
        return line.startsWith("Center call number") || line.startsWith("PPP Authentication User Id")
            || line.startsWith("PPP Authentication Password");
    });
    const QString path = Path("partial.cfg");
    WriteAll(path, CConfigFile::ToFileText(lines.join('\n')));
    const TerminalParameters before = Sim().Parameters();

    m_files->RequestLoad(path);
    ASSERT_TRUE(WaitForTask(TaskCode::SaveAll));
    const std::vector<std::string> commands = Sim().ReceivedCommands();
    ASSERT_EQ(commands.size(), 4u) << testing::PrintToString(commands);
    EXPECT_EQ(commands[3], "at+apn=OTHERAPN");
    EXPECT_EQ(Sim().Parameters().dialNumber, before.dialNumber);
    EXPECT_EQ(Sim().Parameters().apnUser, before.apnUser);
    EXPECT_EQ(Sim().Parameters().apnPassword, before.apnPassword);
    EXPECT_TRUE(m_view.logLines.contains(
        QStringLiteral("配置文件缺少%1行参数，这些参数保持设备当前的值，不会发送").arg(missingBefore + 3)));
    EXPECT_TRUE(m_view.logLines.contains(QStringLiteral("参数设置完成")));
}

TEST_F(ConfigFileTest, BytesThatAreNotGbkFromAFileAreSentAsTheyStand)
{
    TerminalParameters other = Sim().Parameters();
    other.apn = "CM\xFFNET";
    const QString path = Path("raw.cfg");
    WriteAll(path, FileFor(other));
    m_files->RequestLoad(path);
    ASSERT_TRUE(WaitForTask(TaskCode::SaveAll));
    const std::vector<std::string> commands = Sim().ReceivedCommands();
    ASSERT_EQ(commands.size(), 4u) << testing::PrintToString(commands);
    EXPECT_EQ(commands[3], "at+apn=CM\xFFNET");
    EXPECT_TRUE(m_view.messages.isEmpty());
    EXPECT_EQ(Sim().Parameters().apn, "CM\xFFNET");
}

// ---------------------------------------------------------------- large reports

std::vector<std::string> Numbers(const char* prefix, int count)
{
    std::vector<std::string> numbers;
    for (int i = 0; i < count; ++i)
        numbers.push_back(QStringLiteral("%1%2").arg(QString::fromLatin1(prefix)).arg(i, 5, 10, QLatin1Char('0')).toStdString());
    return numbers;
}

TEST_F(ConfigFileTest, AReportOfThreeLongListsIsSavedAndAppliedWhole)
{
    // 3 x 200 eleven-digit numbers: a report of more than 9 KB.
    Sim().ModifyParameters([](TerminalParameters& p) {
        p.adminNumbers = Numbers("138000", 200);
        p.authorisedNumbers = Numbers("139000", 200);
        p.backupNumbers = Numbers("137000", 200);
    });
    const QByteArray report = QByteArray::fromStdString(ParameterReport::Build(Sim().Parameters()));
    ASSERT_GT(report.size(), 9000);
    const QString path = Path("large.cfg");
    m_files->RequestSave(path);
    ASSERT_TRUE(WaitForTask(TaskCode::SaveConfigFile));
    ASSERT_TRUE(m_view.logLines.contains(QStringLiteral("参数保存到文件成功..."))) << m_view.logLines.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(ReadAll(path), CConfigFile::ToFileText(SavedReport(Sim().Parameters())));
    EXPECT_EQ(m_view.pages[0].size(), 200);
    EXPECT_EQ(m_view.pages[2].size(), 200);

    // Another terminal gets the three lists whole from that file.
    Sim().ModifyParameters([](TerminalParameters& p) {
        p.adminNumbers.clear();
        p.authorisedNumbers = {"1"};
        p.backupNumbers.clear();
    });
    Sim().ClearLogs();
    m_finished.clear();
    m_files->RequestLoad(path);
    ASSERT_TRUE(WaitForTask(TaskCode::SaveAll, 60s));
    const std::vector<std::string> commands = Sim().ReceivedCommands();
    ASSERT_GE(commands.size(), 3u);
    // One command a list, all 200 numbers in it.
    EXPECT_EQ(commands[0].rfind("AT+LRMSETADMINNO=13800000000,13800000001,", 0), 0u);
    EXPECT_EQ(std::count(commands[1].begin(), commands[1].end(), ','), 199);
    const TerminalParameters now = Sim().Parameters();
    EXPECT_EQ(now.adminNumbers, Numbers("138000", 200));
    EXPECT_EQ(now.authorisedNumbers, Numbers("139000", 200));
    EXPECT_EQ(now.backupNumbers, Numbers("137000", 200));
}

}  // namespace

// ---------------------------------------------------------------- chosen changes

namespace selective {

// A file made at the desk from the terminal's own report, with edits.
QByteArray EditedFile(const TerminalParameters& terminal, const QStringList& settings)
{
    CConfigDocument document;
    EXPECT_FALSE(document.Open(CConfigFile::ToFileText(QByteArray::fromStdString(ParameterReport::Build(terminal))),
                               QStringLiteral("site.cfg")));
    for (const QString& setting : settings) {
        const qsizetype equals = setting.indexOf(QLatin1Char('='));
        const std::optional<QString> refusal = document.SetValue(setting.left(equals), setting.mid(equals + 1));
        EXPECT_FALSE(refusal.has_value()) << refusal.value_or(QString()).toStdString();
    }
    return document.FileBytes();
}

}  // namespace selective

TEST_F(ConfigFileTest, OnlyTheTickedChangesAreSentInTheirOrder)
{
    WriteAll(Path("edited.cfg"),
             selective::EditedFile(Sim().Parameters(), {QStringLiteral("无线网络APN=CMIOT"),
                                                        QStringLiteral("APN用户名=desk"),
                                                        QStringLiteral("心跳包时间(31到65535)=120"),
                                                        QStringLiteral("设备ID号码(固定8位)=0000ABCD"),
                                                        QStringLiteral("授权号码=13911111111")}));
    m_view.untickChanges = {QStringLiteral("APN用户名"), QStringLiteral("授权号码")};
    m_files->RequestLoad(Path("edited.cfg"));
    ASSERT_TRUE(WaitForTask(TaskCode::SaveAll));
    ASSERT_EQ(m_view.fileChanges.size(), 1);
    EXPECT_EQ(m_view.fileChanges[0].size(), 5);
    EXPECT_EQ(m_view.initialTicks, std::vector<bool>(5, true)) << "every change is ticked at first";
    // Unticked: neither the user name nor any list goes out.
    const std::vector<std::string> expected = {"at+idnt=0000ABCD", "at+apn=CMIOT", "at+polltime=120"};
    EXPECT_EQ(Sim().ReceivedCommands(), expected);
    EXPECT_EQ(Sim().Parameters().apnUser, TerminalParameters::Defaults().apnUser);
    EXPECT_TRUE(m_view.logLines.contains(QStringLiteral("参数设置完成")));
}

TEST_F(ConfigFileTest, AnApnAloneGoesOutWithItsReadBack)
{
    m_saver->SetVerifyAfterSave(true);
    const std::vector<std::string> admins = Sim().Parameters().adminNumbers;
    WriteAll(Path("edited.cfg"),
             selective::EditedFile(Sim().Parameters(), {QStringLiteral("无线网络APN=CMIOT"),
                                                        QStringLiteral("管理号码=13811111111,13822222222")}));
    m_view.untickChanges = {QStringLiteral("管理号码")};
    m_files->RequestLoad(Path("edited.cfg"));
    ASSERT_TRUE(WaitForTask(TaskCode::SaveAll));
    ASSERT_EQ(m_view.fileChanges.size(), 1);
    EXPECT_EQ(m_view.fileChanges[0].size(), 2);
    const std::vector<std::string> expected = {"at+apn=CMIOT", "AT+SHOW"};
    EXPECT_EQ(Sim().ReceivedCommands(), expected);
    EXPECT_EQ(Sim().Parameters().adminNumbers, admins);
    EXPECT_EQ(m_view.pages[0].size(), static_cast<qsizetype>(admins.size())) << "the page shows the terminal's list";
}

TEST_F(ConfigFileTest, EveryChangeTickedSendsAllListsAsBefore)
{
    WriteAll(Path("edited.cfg"), selective::EditedFile(Sim().Parameters(), {QStringLiteral("无线网络APN=CMIOT")}));
    m_files->RequestLoad(Path("edited.cfg"));
    ASSERT_TRUE(WaitForTask(TaskCode::SaveAll));
    const std::vector<std::string> received = Sim().ReceivedCommands();
    ASSERT_EQ(received.size(), 4u);
    EXPECT_TRUE(received[0].starts_with("AT+LRMSETADMINNO="));
    EXPECT_TRUE(received[1].starts_with("AT+LRMSETLRMNO="));
    EXPECT_TRUE(received[2].starts_with("AT+LRMSETBKNO="));
    EXPECT_EQ(received[3], "at+apn=CMIOT");
}

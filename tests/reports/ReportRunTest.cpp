// Acceptance and inspection reports made without a window: the real program
// runs as a process against the simulated terminal, and the PDF it writes is
// read as a reader would (pdftotext, pdffonts, and the QR code through
// pdftoppm and zbarimg).
#include "support/EventLoopWait.h"
#include "support/SimulatorSession.h"
#include "support/TestFiles.h"

#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>

namespace {

struct Result {
    int exitCode = -1;
    QString out;
    QString err;
};

Result Execute(const QString& program, const QStringList& arguments, int limitMs = 60000)
{
    QProcess process;
    process.start(program, arguments);
    EXPECT_TRUE(process.waitForFinished(limitMs)) << program.toStdString();
    Result result;
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
    return result;
}

// Every result of the shipped acceptance checklist, marked 合格.
QString AllPassed(const QString& photos = QStringLiteral("[]"))
{
    QStringList marks;
    for (const char* id : {"voice-call", "sms-tts", "fm", "intercom", "microphone-line", "mp3", "volume-coverage",
                           "antenna-cabling", "lightning-grounding", "enclosure", "power-supply", "label"})
        marks << QStringLiteral("\"%1\": {\"result\": \"合格\"}").arg(QString::fromLatin1(id));
    return QStringLiteral("{\"results\": {%1}, \"photos\": %2}").arg(marks.join(QStringLiteral(", ")), photos);
}

class ReportRunTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_session.Started());
        ASSERT_TRUE(m_dir.isValid());
    }

    QString Path(const QString& name) const { return m_dir.filePath(name); }
    QString Write(const QString& name, const QString& text)
    {
        EXPECT_TRUE(testsupport::WriteFileBytes(Path(name), text.toUtf8()));
        return Path(name);
    }
    void SetSignal(const char* setting)
    {
        TerminalIdentity identity = m_session.sim().Identity();
        ASSERT_TRUE(ApplySignalSetting(setting, identity));
        m_session.sim().SetIdentity(identity);
    }
    // A report run; the terminal is free again when it returns.
    Result Report(const QStringList& arguments)
    {
        const Result result = Execute(QStringLiteral(SIRENSET_BINARY),
                                      QStringList{QStringLiteral("--port"), m_session.DevicePath(), QStringLiteral("--db"),
                                                  Path(QStringLiteral("records.sqlite")), QStringLiteral("--seconds"),
                                                  QStringLiteral("2")}
                                          + arguments);
        EXPECT_TRUE(testsupport::WaitUntil([&] { return !m_session.sim().PeerConnected(); }));
        return result;
    }
    // The PDF's text as a reader takes it out, in compatibility forms: the
    // CJK font names some glyphs by their Kangxi radicals (⼴ for 广). A few
    // come back as radicals without such a form (⻋ for 车): the texts
    // looked for here hold none of them.
    static QString PdfText(const QString& pdf)
    {
        const Result text = Execute(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
        EXPECT_EQ(text.exitCode, 0) << text.err.toStdString();
        return text.out.normalized(QString::NormalizationForm_KC);
    }
    QString QrText(const QString& pdf)
    {
        const QString page = Path(QStringLiteral("page"));
        EXPECT_EQ(Execute(QStringLiteral("pdftoppm"), {QStringLiteral("-r"), QStringLiteral("150"), QStringLiteral("-png"),
                                                       QStringLiteral("-f"), QStringLiteral("1"), QStringLiteral("-l"),
                                                       QStringLiteral("1"), QStringLiteral("-singlefile"), pdf, page})
                      .exitCode,
                  0);
        return Execute(QStringLiteral("zbarimg"), {QStringLiteral("-q"), QStringLiteral("--raw"), page + ".png"})
            .out.trimmed();
    }

    testsupport::SimulatorSession m_session;
    QTemporaryDir m_dir;
};

TEST_F(ReportRunTest, AcceptanceSaysWhatWasMeasuredAndTheQrCodeNamesTheSnapshot)
{
    SetSignal("17");
    QImage photo(1200, 900, QImage::Format_RGB32);
    photo.fill(QColor(40, 120, 200));
    ASSERT_TRUE(photo.save(Path(QStringLiteral("antenna.png"))));
    const QString site = Write(QStringLiteral("site.json"), QStringLiteral(R"({"project": "县应急广播二期",
        "siteName": "东湖村村委会", "latitude": "30°34'22.1\"N", "longitude": "E114d18m19.8s",
        "technician": "张工", "date": "2026-12-11"})"));
    const QString results = Write(QStringLiteral("results.json"),
                                  AllPassed(QStringLiteral(R"([{"file": "antenna.png", "caption": "天线安装位置"}])")));
    const QString pdf = Path(QStringLiteral("acceptance.pdf"));
    const Result run = Report({QStringLiteral("--acceptance"), pdf, QStringLiteral("--site"), site,
                               QStringLiteral("--checklist"), results});
    ASSERT_EQ(run.exitCode, 0) << run.out.toStdString() << run.err.toStdString();

    const QString text = PdfText(pdf);
    const TerminalParameters terminal = m_session.sim().Parameters();
    for (const QString& expected :
         {QString::fromStdString(terminal.deviceId), QString::fromStdString(terminal.simNumber),
          QStringLiteral("东湖村村委会"), QStringLiteral("30.572806°N 114.305500°E"), QStringLiteral("天线安装位置"),
          // CSQ 17 is -113 + 2 × 17 dBm, the band 良好 (15–19).
          QStringLiteral("最小 -79 dBm,平均 -79.0 dBm,最大 -79 dBm,良好"), QStringLiteral("验收结论:合格")})
        EXPECT_TRUE(text.contains(expected)) << expected.toStdString() << "\n" << text.toStdString();
    for (const char* check : {"配置回读\\s+合格", "信号强度\\s+合格", "设备时钟\\s+合格\\s+设备时钟 \\S+ \\S+,与电脑相差 [-+]?[01] 秒",
                              "上电测试\\s+合格", "号码列表\\s+合格\\s+管理号码 2 个",
                              "配置符合性\\s+跳过\\s+未指定项目配置规范\\(--profile\\),设备档案中也没有此设备以前的配置"})
        EXPECT_TRUE(text.contains(QRegularExpression(QString::fromUtf8(check)))) << check;

    const Result fonts = Execute(QStringLiteral("pdffonts"), {pdf});
    EXPECT_TRUE(fonts.out.contains(QRegularExpression(QStringLiteral("NotoSansCJK\\S*\\s+CID TrueType\\s+Identity-H\\s+yes"))))
        << fonts.out.toStdString();

    // The QR code holds the number, the device ID and the digest of the
    // snapshot the record keeps of the report read.
    const QJsonObject json = QJsonDocument::fromJson(testsupport::ReadFileBytes(pdf + ".json")).object();
    const qint64 snapshot = json[QStringLiteral("identity")].toObject()[QStringLiteral("snapshotId")].toInteger();
    ASSERT_GT(snapshot, 0);
    QString digest;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("check"));
        db.setDatabaseName(Path(QStringLiteral("records.sqlite")));
        ASSERT_TRUE(db.open());
        QSqlQuery query(db);
        query.prepare(QStringLiteral("SELECT r.digest FROM snapshots s JOIN reports r ON r.id = s.report_id WHERE s.id = ?"));
        query.addBindValue(snapshot);
        ASSERT_TRUE(query.exec() && query.next());
        digest = query.value(0).toString();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("check"));
    EXPECT_EQ(QrText(pdf), QStringLiteral("SIRENSET-REPORT;NO=%1;ID=%2;SHA256=%3")
                               .arg(json[QStringLiteral("number")].toString(),
                                    QString::fromStdString(terminal.deviceId), digest));
    EXPECT_TRUE(json[QStringLiteral("number")].toString().startsWith(QStringLiteral("YS-")));

    // A reader holds the paper against the record.
    const QString number = json[QStringLiteral("number")].toString();
    const struct {
        QString number;
        QString digest;
        int exitCode;
        QString line;  // the start of what it says
    } checks[] = {
        {number, digest, 0, QStringLiteral("设备档案与报告 %1 一致：1A2B3C4D@1").arg(number)},
        {number, QString(64, QLatin1Char('0')), 3,
         QStringLiteral("设备档案与报告 %1 不符：设备 1A2B3C4D 没有 SHA-256 为 %2 的快照").arg(number, QString(64, QLatin1Char('0')))},
        {QStringLiteral("YS-20261211-0000FFFF-120000"), digest, 3,
         QStringLiteral("设备档案与报告 YS-20261211-0000FFFF-120000 不符：设备档案中没有“0000FFFF”")},
        {QStringLiteral("1A2B3C4D"), digest, 2, QStringLiteral("报告编号“1A2B3C4D”不是")},
    };
    for (const auto& check : checks) {
        const Result verify = Execute(QStringLiteral(SIRENSET_BINARY),
                                      {QStringLiteral("--verify-report"), check.number, check.digest, QStringLiteral("--db"),
                                       Path(QStringLiteral("records.sqlite"))});
        EXPECT_EQ(verify.exitCode, check.exitCode) << verify.out.toStdString() << verify.err.toStdString();
        EXPECT_TRUE((verify.out + verify.err).startsWith(check.line)) << (verify.out + verify.err).toStdString();
    }
}

// The verdict: 合格 only when no check failed and every required check was
// done; a skipped check shows why.
TEST_F(ReportRunTest, VerdictFollowsEveryCheck)
{
    const QString narrow = Write(QStringLiteral("narrow.json"), QStringLiteral(R"({"name": "简表", "kind": "acceptance",
        "title": "简易验收", "automatic": ["readback", "signal"], "signatures": ["技术员"],
        "items": [{"id": "antenna-cabling", "text": "天线牢固", "required": true}]})"));
    const QString profile = Write(QStringLiteral("profile.json"), QStringLiteral(R"({"name": "县应急广播二期", "version": 3,
        "rules": [{"item": "无线网络APN", "equals": "CMIOT"}, {"list": "管理号码", "maxCount": 1}]})"));
    struct Row {
        const char* name;
        const char* signal;
        const char* silent;      // a command the terminal does not answer
        const char* apn;         // the terminal's APN from this row on, "" as it was
        bool results;            // every checklist result 合格
        QStringList options;
        int exitCode;
        QStringList expected;    // in the PDF's text
    };
    const Row rows[] = {
        {"no results", "17", "", "", false, {QStringLiteral("--acceptance")}, 3,
         {QStringLiteral("必检项“语音电话告警:扬声器播放清晰”未检"), QStringLiteral("验收结论:不合格")}},
        {"power-on test unanswered", "17", "AT+LRMSNDPOWER", "", true, {QStringLiteral("--acceptance")}, 3,
         {QStringLiteral("自动检查“上电测试”不合格"), QStringLiteral("上电测试命令测试失败")}},
        {"weak signal", "5", "", "", true, {QStringLiteral("--acceptance")}, 3,
         {QStringLiteral("最小 -103 dBm,平均 -103.0 dBm,最大 -103 dBm,差"), QStringLiteral("自动检查“信号强度”不合格")}},
        {"checks the template leaves out", "17", "", "", true,
         {QStringLiteral("--template"), narrow, QStringLiteral("--acceptance")}, 0,
         {QStringLiteral("简易验收"), QStringLiteral("设备时钟 跳过 检查表模板未要求此项"),
          QStringLiteral("上电测试 跳过 检查表模板未要求此项"), QStringLiteral("验收结论:合格")}},
        {"against a profile", "17", "", "", true,
         {QStringLiteral("--profile"), profile, QStringLiteral("--acceptance")}, 3,
         {QStringLiteral("配置符合性 不合格 不符合规范 «县应急广播二期 v3»: 2 项"),
          QStringLiteral("无线网络APN:设备“CMNET”,规范要求“CMIOT”"), QStringLiteral("号码列表 不合格")}},
        {"inspection", "23", "", "", true, {QStringLiteral("--inspection")}, 0,
         {QStringLiteral("预警广播终端巡检报告"), QStringLiteral("巡检结论:合格"), QStringLiteral("优秀"),
          QStringLiteral("配置符合性 合格 与设备档案 1A2B3C4D@1")}},
        // Without a profile the configuration is held against the last one
        // the record has from before the run.
        {"changed since the record", "23", "", "FIELDAPN", true, {QStringLiteral("--inspection")}, 3,
         {QStringLiteral("配置符合性 不合格 与设备档案 1A2B3C4D@1"), QStringLiteral("Access Point Name:CMNET → FIELDAPN"),
          QStringLiteral("巡检结论:不合格")}},
    };
    const QString results = Write(QStringLiteral("results.json"), AllPassed());
    const QString narrowResults =
        Write(QStringLiteral("narrow-results.json"), QStringLiteral(R"({"results": {"antenna-cabling": {"result": "合格"}}})"));
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        SetSignal(row.signal);
        SimulatorFaults faults;
        if (*row.silent)
            faults.silentPrefixes.push_back(row.silent);
        m_session.sim().SetFaults(faults);
        if (*row.apn)
            m_session.sim().ModifyParameters([&](TerminalParameters& terminal) { terminal.apn = row.apn; });
        const QString pdf = Path(QStringLiteral("report.pdf"));
        QStringList options = row.options;
        options << pdf;
        if (row.results)
            options << QStringLiteral("--checklist") << (row.options.contains(narrow) ? narrowResults : results);
        const Result run = Report(options);
        EXPECT_EQ(run.exitCode, row.exitCode) << run.out.toStdString() << run.err.toStdString();
        // Blanks as the page lays them out do not count.
        const QString text = PdfText(pdf).simplified();
        for (const QString& expected : row.expected)
            EXPECT_TRUE(text.contains(expected)) << expected.toStdString() << "\n" << text.toStdString();
    }
}

// Ctrl+C during the signal run ends the run at once: the port is closed,
// no report is written, and the status says which signal.
TEST_F(ReportRunTest, InterruptedRunWritesNoReport)
{
    const QString pdf = Path(QStringLiteral("interrupted.pdf"));
    QProcess process;
    process.start(QStringLiteral(SIRENSET_BINARY),
                  {QStringLiteral("--port"), m_session.DevicePath(), QStringLiteral("--db"),
                   Path(QStringLiteral("records.sqlite")), QStringLiteral("--acceptance"), pdf, QStringLiteral("--seconds"),
                   QStringLiteral("60")});
    QByteArray out;
    EXPECT_TRUE(testsupport::WaitUntil(
        [&] {
            process.waitForReadyRead(50);
            out += process.readAllStandardOutput();
            return out.contains("信号监测开始");
        },
        std::chrono::seconds(20)))
        << out.toStdString();
    ::kill(static_cast<pid_t>(process.processId()), SIGINT);
    ASSERT_TRUE(process.waitForFinished(5000));
    EXPECT_EQ(process.exitCode(), 130);
    EXPECT_FALSE(QFile::exists(pdf));
    EXPECT_TRUE(testsupport::WaitUntil([&] { return !m_session.sim().PeerConnected(); }));
}

// A file that cannot be used is refused, with what and where, before the
// port is opened: the terminal hears nothing and no report is written.
TEST_F(ReportRunTest, RefusedFilesStopTheRunBeforeThePortOpens)
{
    struct Row {
        const char* option;
        QString content;
        QString refusal;  // on standard error, after the file's name
    };
    const Row rows[] = {
        {"--site", QStringLiteral(R"({"latitude": "91", "longitude": "114"})"),
         QStringLiteral("：latitude：纬度“91”超出范围（-90 到 90 度）")},
        {"--site", QStringLiteral(R"({"latitude": "30°34'", "longitude": "200°"})"),
         QStringLiteral("：longitude：经度“200°”超出范围（-180 到 180 度）")},
        {"--checklist", QStringLiteral(R"({"results": {"siren": {"result": "合格"}}})"),
         QStringLiteral("：results.siren：检查表“预警广播终端安装验收检查表”中没有此检查项")},
        {"--template", QStringLiteral(R"({"name": "t", "kind": "acceptance", "title": "", "automatic": [],
            "signatures": [], "items": []})"),
         QStringLiteral("：title：不能为空")},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.option);
        m_session.sim().ClearLogs();
        const QString file = Write(QStringLiteral("input.json"), row.content);
        const QString pdf = Path(QStringLiteral("refused.pdf"));
        const Result run = Report({QStringLiteral("--acceptance"), pdf, QString::fromLatin1(row.option), file});
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_TRUE(run.err.contains(QStringLiteral("“%1”%2").arg(file, row.refusal))) << run.err.toStdString();
        EXPECT_TRUE(m_session.sim().ReceivedCommands().empty());
        EXPECT_FALSE(QFile::exists(pdf));
    }
}

}  // namespace

namespace {

TEST(ReportCommandLine, UsageErrorsSayWhatIsWrong)
{
    const QString port = QStringLiteral("/dev/no-such-terminal");
    const struct {
        QStringList arguments;
        QString error;
    } rows[] = {
        {{QStringLiteral("--acceptance"), QStringLiteral("a.pdf")},
         QStringLiteral("--acceptance and --inspection need exactly one --port DEVICE")},
        {{QStringLiteral("--port"), port, QStringLiteral("--acceptance"), QStringLiteral("a.pdf"),
          QStringLiteral("--inspection"), QStringLiteral("b.pdf")},
         QStringLiteral("only one of --acceptance and --inspection can be used")},
        {{QStringLiteral("--port"), port, QStringLiteral("--acceptance"), QStringLiteral("a.pdf"), QStringLiteral("--read"),
          QStringLiteral("x.cfg")},
         QStringLiteral("--acceptance and --inspection cannot be combined with --read")},
        {{QStringLiteral("--port"), port, QStringLiteral("--read"), QStringLiteral("x.cfg"), QStringLiteral("--site"),
          QStringLiteral("s.json")},
         QStringLiteral("--site, --checklist and --template need --acceptance or --inspection")},
        {{QStringLiteral("--port"), port, QStringLiteral("--acceptance"), QStringLiteral("a.pdf"),
          QStringLiteral("--seconds"), QStringLiteral("0")},
         QStringLiteral("--seconds needs a number of seconds from 1 to 86400, not \"0\"")},
        {{QStringLiteral("--verify-report"), QStringLiteral("YS-20261211-1A2B3C4D-120000")},
         QStringLiteral("--verify-report takes NUMBER SHA256 and at most --db")},
    };
    for (const auto& row : rows) {
        const Result result = Execute(QStringLiteral(SIRENSET_BINARY), row.arguments);
        EXPECT_EQ(result.exitCode, 2) << row.arguments.join(QLatin1Char(' ')).toStdString();
        EXPECT_TRUE(result.err.startsWith(QStringLiteral("sirenset: ") + row.error + QLatin1Char('\n')))
            << result.err.left(200).toStdString();
    }
}

}  // namespace

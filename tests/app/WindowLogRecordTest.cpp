// The window's service record (a log file per day) and 保存日志… of the log
// pane's context menu.
#include "MainWindowFixture.h"

#include "dailylog/CDailyLogFile.h"
#include "dailylog/CLogFile.h"
#include "logpane/CLogPane.h"
#include "support/SimulatorSession.h"
#include "support/TestFiles.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cstdio>
#include <functional>

#include <mutex>

namespace {

using testsupport::ReadFileBytes;
using testsupport::SimulatorSession;
using testsupport::WaitUntil;

// A clock the test moves by hand; read on the UI thread only.
struct HandClock {
    QDateTime now;
    std::function<QDateTime()> Function()
    {
        return [this] { return now; };
    }
};

QByteArray Record(const QStringList& entries, const QDateTime& at)
{
    QString text;
    for (const QString& entry : entries)
        text += CLogFile::Format(entry, at);
    return text.toUtf8();
}

class WindowLogRecordTest : public testsupport::MainWindowFixture {
protected:
    void SetUp() override
    {
        MainWindowFixture::SetUp();
        ASSERT_TRUE(m_session.Started());
    }

    SimulatorSession m_session;
    HandClock m_clock;
};

TEST_F(WindowLogRecordTest, EveryShownEntryGoesToTheFileOfItsDayWithItsTime)
{
    m_clock.now = QDateTime(QDate(2026, 3, 1), QTime(9, 30, 15, 250));
    MainWindowOptions options = Options({m_session.DevicePath()});
    options.now = m_clock.Function();
    Open(options);
    ASSERT_TRUE(WaitForLog(QStringLiteral("参数加载完成...")));
    ASSERT_TRUE(WaitForButtons());

    const QString path = QDir(options.logFolder).filePath(QStringLiteral("logs/2026-03-01.log"));
    EXPECT_EQ(m_window->LogFilePath(), path);
    EXPECT_EQ(ReadFileBytes(path), Record(m_log, m_clock.now));
    // A received report keeps its lines, each after the entry's time.
    EXPECT_TRUE(ReadFileBytes(path).contains("2026-03-01 09:30:15.250 Access Point Name:"));
}

TEST_F(WindowLogRecordTest, TheFirstEntryAfterMidnightStartsTheNextDaysFile)
{
    m_clock.now = QDateTime(QDate(2026, 3, 1), QTime(23, 59, 59, 900));
    MainWindowOptions options = Options({m_session.DevicePath()});
    options.now = m_clock.Function();
    Open(options);
    ASSERT_TRUE(WaitForLog(QStringLiteral("参数加载完成...")));
    ASSERT_TRUE(WaitForButtons());
    const QStringList firstDay = m_log;
    const QString firstPath = QDir(options.logFolder).filePath(QStringLiteral("logs/2026-03-01.log"));

    const QDateTime secondDay(QDate(2026, 3, 2), QTime(0, 0, 0, 40));
    m_clock.now = secondDay;
    m_window->PostLog(QStringLiteral("第二天的第一条"));
    m_window->PostLog(QStringLiteral("第二天的第二条"));
    ASSERT_TRUE(WaitForLog(QStringLiteral("第二天的第二条")));

    const QString secondPath = QDir(options.logFolder).filePath(QStringLiteral("logs/2026-03-02.log"));
    EXPECT_EQ(m_window->LogFilePath(), secondPath);
    EXPECT_EQ(ReadFileBytes(firstPath), Record(firstDay, QDateTime(QDate(2026, 3, 1), QTime(23, 59, 59, 900))));
    EXPECT_EQ(ReadFileBytes(secondPath),
              Record({QStringLiteral("第二天的第一条"), QStringLiteral("第二天的第二条")}, secondDay));
}

TEST_F(WindowLogRecordTest, AnExistingFileOfTheDayIsAppendedTo)
{
    m_clock.now = QDateTime(QDate(2026, 5, 4), QTime(8, 0));
    MainWindowOptions options = Options({m_session.DevicePath()});
    options.now = m_clock.Function();
    const QString path = CLogFile::DailyPath(options.logFolder, m_clock.now.date());
    ASSERT_TRUE(QDir().mkpath(QFileInfo(path).absolutePath()));
    ASSERT_TRUE(testsupport::WriteFileBytes(path, "2026-05-04 07:00:00.000 earlier run\n"));
    Open(options);
    ASSERT_TRUE(WaitForLog(QStringLiteral("参数加载完成...")));
    m_window.reset();
    EXPECT_EQ(ReadFileBytes(path), "2026-05-04 07:00:00.000 earlier run\n" + Record(m_log, m_clock.now));
}

TEST_F(WindowLogRecordTest, AFileThatCannotBeWrittenIsReportedOnceAndTheWindowGoesOn)
{
    m_clock.now = QDateTime(QDate(2026, 3, 1), QTime(10, 0));
    MainWindowOptions options = Options({m_session.DevicePath()});
    options.now = m_clock.Function();
    // A file where the folder should be.
    options.logFolder = m_folder.filePath(QStringLiteral("not-a-folder"));
    ASSERT_TRUE(testsupport::WriteFileBytes(options.logFolder, "x"));
    Open(options);
    ASSERT_TRUE(WaitForLog(QStringLiteral("参数加载完成...")));

    const QString path = options.logFolder + QStringLiteral("/logs/2026-03-01.log");
    const QString problem = QStringLiteral("无法写入日志文件“%1”：无法创建文件夹“%2”")
                                .arg(path, options.logFolder + QStringLiteral("/logs"));
    EXPECT_EQ(m_log.count(problem), 1) << LogText().toStdString();
    // Right after the entry it could not keep, in the pane as well.
    ASSERT_GE(m_log.size(), 2);
    EXPECT_EQ(m_log[0], QStringLiteral("工作线程启动..."));
    EXPECT_EQ(m_log[1], problem);
    m_window->LogPane()->ShowPendingEntries();
    EXPECT_TRUE(m_window->LogPane()->toPlainText().contains(problem));
    EXPECT_FALSE(QFile::exists(path));
    EXPECT_EQ(ReadFileBytes(options.logFolder), "x");

    // The next day's file is tried afresh, and said once as well.
    m_clock.now = QDateTime(QDate(2026, 3, 2), QTime(0, 0));
    m_window->PostLog(QStringLiteral("a"));
    m_window->PostLog(QStringLiteral("b"));
    ASSERT_TRUE(WaitForLog(QStringLiteral("b")));
    const QString nextDay = QStringLiteral("无法写入日志文件“%1”：无法创建文件夹“%2”")
                                .arg(options.logFolder + QStringLiteral("/logs/2026-03-02.log"),
                                     options.logFolder + QStringLiteral("/logs"));
    EXPECT_EQ(m_log.count(nextDay), 1);
    EXPECT_EQ(m_log.count(problem), 1);
    EXPECT_EQ(m_log.mid(m_log.size() - 3),
              (QStringList{QStringLiteral("a"), nextDay, QStringLiteral("b")}));
}

TEST_F(WindowLogRecordTest, WithoutAFolderTheRecordGoesToTheApplicationsDataFolder)
{
    m_clock.now = QDateTime(QDate(2026, 6, 7), QTime(12, 0));
    MainWindowOptions options = Options({m_session.DevicePath()});
    options.logFolder.clear();
    options.now = m_clock.Function();
    Open(options);
    ASSERT_TRUE(WaitForLog(QStringLiteral("参数加载完成...")));

    const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    EXPECT_EQ(CDailyLogFile::DefaultFolder(), folder);
    const QString path = CLogFile::DailyPath(folder, QDate(2026, 6, 7));
    EXPECT_EQ(m_window->LogFilePath(), path);
    EXPECT_EQ(ReadFileBytes(path), Record(m_log, m_clock.now));
    // Tests have a data folder of their own (see GuiTestMain.cpp).
    const QByteArray testData = qgetenv("XDG_DATA_HOME");
    if (!testData.isEmpty())
        EXPECT_TRUE(path.startsWith(QString::fromLocal8Bit(testData) + QLatin1Char('/'))) << path.toStdString();
    else
        EXPECT_TRUE(QStandardPaths::isTestModeEnabled());
    QFile::remove(path);
}

// ---------------------------------------------------------------- limits

// The line that closes a full day's file, and what the pane says then.
const QString kDayFull = QStringLiteral("日志文件已达当日大小上限，今天其余的日志不再写入文件");

QStringList Lines(const QByteArray& bytes)
{
    return QString::fromUtf8(bytes).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// Writes a day's file of `size` bytes under `folder`/logs.
void WriteDay(const QString& folder, const QString& name, qint64 size)
{
    const QString path = QDir(folder).filePath(QStringLiteral("logs/") + name);
    ASSERT_TRUE(QDir().mkpath(QFileInfo(path).absolutePath()));
    ASSERT_TRUE(testsupport::WriteFileBytes(path, QByteArray(size, 'x')));
}

QStringList LogsIn(const QString& folder)
{
    QDir logs(QDir(folder).filePath(QStringLiteral("logs")));
    return logs.entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name);
}

TEST(DailyLogLimitsTest, TheDefaultsBoundADayAndTheWholeRecord)
{
    const DailyLogLimits limits;
    EXPECT_EQ(limits.bytesPerDay, 64LL * 1024 * 1024);
    EXPECT_EQ(limits.totalBytes, 1024LL * 1024 * 1024);
    EXPECT_EQ(limits.keepDays, 90);
}

TEST(DailyLogLimitsTest, ADaysFileStopsAtItsLimitWithExactlyOneClosingLine)
{
    constexpr qint64 kLimit = 2000;
    const QDateTime at(QDate(2026, 3, 1), QTime(14, 0, 5, 7));
    const QByteArray closing = CLogFile::Format(kDayFull, at).toUtf8();
    QStringList many;
    for (int i = 0; i < 200; ++i)
        many << QStringLiteral("收到 %1").arg(i);
    const struct {
        const char* name;
        QByteArray earlier;  // left by a run before this one
        QStringList entries;
        bool closedBefore;  // the earlier run closed the file already
    } kCases[] = {
        {"many small entries", {}, many, false},
        {"one entry larger than the day", {}, {QString(3000, QLatin1Char('x')), QStringLiteral("after")}, false},
        {"an earlier run left it nearly full", QByteArray(kLimit - 150, 'e') + '\n', many, false},
        {"an earlier run closed it", "2026-03-01 01:00:00.000 earlier\n" + closing, many, true},
    };
    for (const auto& test : kCases) {
        SCOPED_TRACE(test.name);
        QTemporaryDir folder;
        const QString path = CLogFile::DailyPath(folder.path(), at.date());
        if (!test.earlier.isEmpty()) {
            ASSERT_TRUE(QDir().mkpath(QFileInfo(path).absolutePath()));
            ASSERT_TRUE(testsupport::WriteFileBytes(path, test.earlier));
        }
        CDailyLogFile log(folder.path(), DailyLogLimits{kLimit, 1'000'000, 90});
        QStringList said;
        for (const QString& entry : test.entries) {
            const QString notice = log.Append(entry, at);
            if (!notice.isEmpty())
                said << notice;
        }
        // Said once in the pane, whichever run closed the file.
        EXPECT_EQ(said, QStringList{kDayFull});

        const QByteArray written = ReadFileBytes(path);
        EXPECT_LE(written.size(), kLimit);
        EXPECT_EQ(written.count(closing), 1);
        ASSERT_TRUE(written.endsWith(closing));
        if (test.closedBefore) {
            EXPECT_EQ(written, test.earlier);
            continue;
        }
        // The entries that were kept come first, in order and whole, and
        // the next one would not have fitted.
        ASSERT_TRUE(written.startsWith(test.earlier));
        const QByteArray kept = written.mid(test.earlier.size(), written.size() - test.earlier.size() - closing.size());
        const qsizetype count = Lines(kept).size();
        ASSERT_LT(count, test.entries.size());
        EXPECT_EQ(kept, Record(test.entries.mid(0, count), at));
        EXPECT_GT(test.earlier.size() + kept.size() + Record({test.entries[count]}, at).size() + closing.size(), kLimit);

        // The next day starts a file of its own.
        const QDateTime nextDay(QDate(2026, 3, 2), QTime(0, 0));
        EXPECT_EQ(log.Append(QStringLiteral("次日"), nextDay), QString());
        EXPECT_EQ(ReadFileBytes(log.Path()), Record({QStringLiteral("次日")}, nextDay));
        EXPECT_EQ(ReadFileBytes(path), written);
    }
}

TEST(DailyLogLimitsTest, StartingADayRemovesTheDaysPastTheAgeAndPastTheTotal)
{
    // Files that are not a day's file of the log, which stay whatever the limits.
    const QStringList foreign = {QStringLiteral("2020-01-01.log.bak"), QStringLiteral("2020-1-2.log"),
                                 QStringLiteral("2020-13-40.log"), QStringLiteral("copy-2020-01-03.log"),
                                 QStringLiteral("notes.txt")};
    const struct {
        const char* name;
        DailyLogLimits limits;
        QList<std::pair<const char*, qint64>> days;  // file, size
        QStringList kept;
    } kCases[] = {
        {"past the age",
         {1000, 1'000'000, 30},
         {{"2025-12-31.log", 10}, {"2026-01-29.log", 10}, {"2026-01-30.log", 10}, {"2026-02-28.log", 10}},
         {QStringLiteral("2026-01-30.log"), QStringLiteral("2026-02-28.log")}},
        {"past the total, with a full day of room for today",
         {1000, 3500, 90},
         {{"2026-02-24.log", 1000}, {"2026-02-25.log", 1000}, {"2026-02-26.log", 1000}, {"2026-02-27.log", 1000},
          {"2026-02-28.log", 1000}},
         {QStringLiteral("2026-02-27.log"), QStringLiteral("2026-02-28.log")}},
        {"today's file is never removed, however large",
         {1000, 3500, 90},
         {{"2026-02-28.log", 100}, {"2026-03-01.log", 5000}},
         {QStringLiteral("2026-02-28.log"), QStringLiteral("2026-03-01.log")}},
        {"a day from a clock set ahead goes last",
         {1000, 2500, 90},
         {{"2026-02-27.log", 1000}, {"2026-02-28.log", 500}, {"2027-01-01.log", 500}},
         {QStringLiteral("2026-02-28.log"), QStringLiteral("2027-01-01.log")}},
    };
    const QDateTime at(QDate(2026, 3, 1), QTime(8, 0));
    for (const auto& test : kCases) {
        SCOPED_TRACE(test.name);
        QTemporaryDir folder;
        for (const auto& [name, size] : test.days)
            WriteDay(folder.path(), QString::fromLatin1(name), size);
        for (const QString& name : foreign)
            WriteDay(folder.path(), name, 100'000);
        // A folder named like a day, and a day's file outside logs/.
        ASSERT_TRUE(QDir(folder.path()).mkpath(QStringLiteral("logs/2020-01-04.log")));
        WriteDay(folder.path(), QStringLiteral("../2020-01-05.log"), 10);

        CDailyLogFile log(folder.path(), test.limits);
        log.Append(QStringLiteral("a"), at);
        QStringList expected = test.kept + foreign + QStringList{QStringLiteral("2020-01-04.log")};
        if (!expected.contains(QStringLiteral("2026-03-01.log")))
            expected << QStringLiteral("2026-03-01.log");
        expected.sort();
        EXPECT_EQ(LogsIn(folder.path()), expected);
        EXPECT_TRUE(QFile::exists(folder.filePath(QStringLiteral("2020-01-05.log"))));
    }
}

TEST(DailyLogLimitsTest, ADayPassesTheAgeAtMidnightWhileTheWindowRuns)
{
    QTemporaryDir folder;
    WriteDay(folder.path(), QStringLiteral("2026-01-29.log"), 10);
    CDailyLogFile log(folder.path(), DailyLogLimits{1000, 1'000'000, 30});
    log.Append(QStringLiteral("a"), QDateTime(QDate(2026, 2, 28), QTime(23, 59, 59)));
    EXPECT_EQ(LogsIn(folder.path()), (QStringList{QStringLiteral("2026-01-29.log"), QStringLiteral("2026-02-28.log")}));
    log.Append(QStringLiteral("b"), QDateTime(QDate(2026, 3, 1), QTime(0, 0)));
    EXPECT_EQ(LogsIn(folder.path()), (QStringList{QStringLiteral("2026-02-28.log"), QStringLiteral("2026-03-01.log")}));
}

TEST(DailyLogLimitsTest, AFileThatCannotBeWrittenIsSaidOnce)
{
    const QDateTime at(QDate(2026, 3, 1), QTime(9, 0));
    const struct {
        const char* name;
        std::function<bool(const QString& folder)> prepare;
        QString reason;  // empty: the system's words
    } kCases[] = {
        {"the folder is a file", [](const QString& folder) { return testsupport::WriteFileBytes(folder, "x"); },
         QStringLiteral("无法创建文件夹“%1/logs”")},
        {"the disk is full",
         [&](const QString& folder) {
             return QFile::exists(QStringLiteral("/dev/full")) && QDir().mkpath(folder + QStringLiteral("/logs"))
                 && QFile::link(QStringLiteral("/dev/full"), CLogFile::DailyPath(folder, at.date()));
         },
         {}},
        {"the folder is read-only",
         [](const QString& folder) {
             // Not for root, who writes anyway.
             QFile probe(folder + QStringLiteral("/probe"));
             return QDir().mkpath(folder)
                 && QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner)
                 && !probe.open(QIODevice::WriteOnly);
         },
         {}},
    };
    for (const auto& test : kCases) {
        SCOPED_TRACE(test.name);
        QTemporaryDir parent;
        const QString folder = parent.filePath(QStringLiteral("record"));
        if (!test.prepare(folder)) {
            std::printf("[ SKIPPED  ] %s: cannot be arranged here\n", test.name);
            continue;
        }
        CDailyLogFile log(folder, DailyLogLimits{});
        QStringList said;
        for (int i = 0; i < 5; ++i) {
            const QString notice = log.Append(QStringLiteral("entry %1").arg(i), at);
            if (!notice.isEmpty())
                said << notice;
        }
        QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        ASSERT_EQ(said.size(), 1) << said.join(QLatin1Char('\n')).toStdString();
        const QString prefix = QStringLiteral("无法写入日志文件“%1”：").arg(CLogFile::DailyPath(folder, at.date()));
        EXPECT_TRUE(said[0].startsWith(prefix)) << said[0].toStdString();
        const QString reason = said[0].mid(prefix.size());
        if (!test.reason.isEmpty())
            EXPECT_EQ(reason, test.reason.arg(folder));
        else
            EXPECT_FALSE(reason.isEmpty());
    }
}

TEST_F(WindowLogRecordTest, AFullDiskOrAFullDayIsSaidOnceAndTheWindowGoesOn)
{
    m_clock.now = QDateTime(QDate(2026, 3, 1), QTime(10, 0));
    for (const bool fullDisk : {true, false}) {
        SCOPED_TRACE(fullDisk ? "full disk" : "full day");
        MainWindowOptions options = Options({m_session.DevicePath()});
        options.now = m_clock.Function();
        options.logFolder = m_folder.filePath(fullDisk ? QStringLiteral("disk") : QStringLiteral("day"));
        const QString path = CLogFile::DailyPath(options.logFolder, m_clock.now.date());
        ASSERT_TRUE(QDir().mkpath(QFileInfo(path).absolutePath()));
        if (fullDisk && !QFile::link(QStringLiteral("/dev/full"), path))
            continue;
        // Room for a few entries, not for the parameter report.
        options.logLimits.bytesPerDay = 1000;
        m_log.clear();
        Open(options);
        ASSERT_TRUE(WaitForLog(QStringLiteral("参数加载完成...")));
        ASSERT_TRUE(WaitForButtons());
        QStringList problems;
        for (const QString& line : m_log) {
            if (line.startsWith(QStringLiteral("无法写入日志文件")) || line == kDayFull)
                problems << line;
        }
        ASSERT_EQ(problems.size(), 1) << LogText().toStdString();
        if (fullDisk) {
            EXPECT_TRUE(problems[0].startsWith(QStringLiteral("无法写入日志文件“%1”：").arg(path)));
        } else {
            EXPECT_EQ(problems[0], kDayFull);
            EXPECT_LE(ReadFileBytes(path).size(), 1000);
            EXPECT_TRUE(ReadFileBytes(path).endsWith((QLatin1Char(' ') + kDayFull + QLatin1Char('\n')).toUtf8()));
        }
        m_window.reset();
    }
}

// ---------------------------------------------------------------- 保存日志…

class SaveLogTest : public WindowLogRecordTest {
protected:
    void SetUp() override
    {
        WindowLogRecordTest::SetUp();
        Open(Options({m_session.DevicePath()}));
        ASSERT_TRUE(WaitForLog(QStringLiteral("参数加载完成...")));
        ASSERT_TRUE(WaitForButtons());
        m_asked.clear();
    }

    // Right-clicks the log pane and chooses `entry` from the menu it shows.
    void ChooseFromPaneMenu(const QString& entry)
    {
        CLogPane* pane = m_window->LogPane();
        const QPoint at = pane->viewport()->rect().center();
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, pane->viewport()->mapToGlobal(at));
        QApplication::sendEvent(pane->viewport(), &event);
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        ASSERT_NE(menu, nullptr);
        QAction* chosen = nullptr;
        for (QAction* action : menu->actions()) {
            if (action->text() == entry)
                chosen = action;
        }
        ASSERT_NE(chosen, nullptr) << entry.toStdString();
        ASSERT_TRUE(chosen->isEnabled());
        menu->close();
        chosen->trigger();
    }
};

TEST_F(SaveLogTest, ThePaneMenuKeepsItsEntriesAndAddsSaveLog)
{
    CLogPane* pane = m_window->LogPane();
    std::unique_ptr<QMenu> standard(pane->createStandardContextMenu());
    std::unique_ptr<QMenu> menu(pane->CreateContextMenu());
    const QList<QAction*> own = standard->actions();
    const QList<QAction*> shown = menu->actions();
    ASSERT_EQ(shown.size(), own.size() + 3);
    for (qsizetype i = 0; i < own.size(); ++i)
        EXPECT_EQ(shown[i]->text(), own[i]->text());
    EXPECT_TRUE(shown[own.size()]->isSeparator());
    EXPECT_EQ(shown[own.size() + 1]->text(), QStringLiteral("保存日志…"));
    EXPECT_EQ(shown.last()->text(), QStringLiteral("清空"));
}

TEST_F(SaveLogTest, SaveLogWritesThePanesWholeTextToTheChosenFile)
{
    const QString path = m_folder.filePath(QStringLiteral("saved.log"));
    m_answer = [&](const MessageBoxes::Request&) { return MessageBoxes::Reply{MessageBoxes::Answer::Ok, path}; };
    m_window->PostLog(QStringLiteral("最后一条"));
    ASSERT_TRUE(WaitForLog(QStringLiteral("最后一条")));

    ChooseFromPaneMenu(QStringLiteral("保存日志…"));
    ASSERT_EQ(m_asked.size(), 1);
    EXPECT_EQ(m_asked[0].kind, MessageBoxes::Kind::SaveFile);
    EXPECT_TRUE(m_asked[0].text.startsWith(QStringLiteral("Sirenset-"))) << m_asked[0].text.toStdString();
    EXPECT_TRUE(m_asked[0].text.endsWith(QStringLiteral(".log")));
    const QString shown = m_window->LogPane()->WholeText();
    EXPECT_TRUE(shown.endsWith(QStringLiteral("参数加载完成...\n最后一条")));
    EXPECT_EQ(QString::fromUtf8(ReadFileBytes(path)), shown + QLatin1Char('\n'));
}

TEST_F(SaveLogTest, ACancelledFileDialogWritesNothing)
{
    m_answer = [](const MessageBoxes::Request&) { return MessageBoxes::Reply{}; };
    ChooseFromPaneMenu(QStringLiteral("保存日志…"));
    ASSERT_EQ(m_asked.size(), 1);
    EXPECT_EQ(m_asked[0].kind, MessageBoxes::Kind::SaveFile);
    EXPECT_TRUE(QDir(m_folder.path()).entryList(QStringList{QStringLiteral("*.log")}, QDir::Files).isEmpty());
}

TEST_F(SaveLogTest, AFileThatCannotBeWrittenIsShownInAMessageBox)
{
    const QString path = m_folder.filePath(QStringLiteral("missing/saved.log"));
    m_answer = [&](const MessageBoxes::Request& request) {
        return MessageBoxes::Reply{MessageBoxes::Answer::Ok,
                                   request.kind == MessageBoxes::Kind::SaveFile ? path : QString()};
    };
    QSaveFile probe(path);
    ASSERT_FALSE(probe.open(QIODevice::WriteOnly | QIODevice::Text));
    const QString reason = probe.errorString();
    ASSERT_FALSE(reason.isEmpty());

    ChooseFromPaneMenu(QStringLiteral("保存日志…"));
    ASSERT_EQ(m_asked.size(), 2);
    EXPECT_EQ(m_asked[1].kind, MessageBoxes::Kind::Message);
    EXPECT_EQ(m_asked[1].caption, QStringLiteral("Kestrel预警广播设备配置软件V1.2.1"));
    EXPECT_EQ(m_asked[1].text, QStringLiteral("无法保存日志文件“%1”：%2").arg(path, reason));
    EXPECT_FALSE(QFile::exists(path));
}

}  // namespace

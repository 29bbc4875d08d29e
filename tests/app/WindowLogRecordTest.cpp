// The window's service record (a log file per day) and 保存日志… of the log
// pane's context menu.
#include "MainWindowFixture.h"

#include "app/CDailyLogFile.h"
#include "app/CLogFile.h"
#include "app/CLogPane.h"
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
    ASSERT_EQ(shown.size(), own.size() + 2);
    for (qsizetype i = 0; i < own.size(); ++i)
        EXPECT_EQ(shown[i]->text(), own[i]->text());
    EXPECT_TRUE(shown[own.size()]->isSeparator());
    EXPECT_EQ(shown.last()->text(), QStringLiteral("保存日志…"));
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

// The project profile in the main window: the check after each read-back
// (its log lines, the marked rows, the state beside the table), 按规范修正
// through the preview and the save's verification, the profile chosen, a
// refused one, and the one remembered for the next start.
#include "MainWindowFixture.h"

#include "app/CProfileBar.h"
#include "app/CSirensetApp.h"
#include "batch/CommandLine.h"
#include "params/CParameterTable.h"
#include "params/ParameterTableLayout.h"
#include "records/CRecordStore.h"
#include "support/SimulatorSession.h"
#include "support/TestFiles.h"

#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QTest>

#include <string>
#include <vector>

namespace {

using testsupport::SimulatorSession;
using testsupport::WaitUntil;

const QString kTitle = QStringLiteral("«县应急广播二期 v3»");

QByteArray Profile(const QString& rules)
{
    return QStringLiteral(R"j({"name": "县应急广播二期", "version": 3, "description": "测试", "rules": [%1]})j")
        .arg(rules)
        .toUtf8();
}

// The value cell of the item the table labels `label`.
const ParameterTableRow* RowLabelled(const QString& label)
{
    for (const ParameterTableRow& row : ParameterTableRows()) {
        if (row.label == label || row.label == label + QStringLiteral(":"))
            return &row;
    }
    return nullptr;
}

class WindowProfileTest : public testsupport::MainWindowFixture {
protected:
    QString WriteFile(const char* name, const QByteArray& bytes)
    {
        const QString path = m_folder.filePath(QString::fromLatin1(name));
        EXPECT_TRUE(testsupport::WriteFileBytes(path, bytes));
        return path;
    }
    // The window on the simulated terminal, with the profile given at start.
    void OpenOnTerminal(const QString& profilePath)
    {
        ASSERT_TRUE(m_session.Started());
        MainWindowOptions options = Options({m_session.DevicePath()});
        options.profileFile = profilePath;
        Open(options);
        ASSERT_TRUE(WaitForLog(QStringLiteral("参数加载完成..."))) << LogText().toStdString();
        ASSERT_TRUE(WaitForButtons());
    }
    CProfileBar& Bar() const { return *m_window->ProfileBar(); }
    // The log from `first` on, `count` lines.
    QStringList LogFrom(const QString& first, qsizetype count) const
    {
        const qsizetype at = m_log.lastIndexOf(first);
        return at < 0 ? QStringList{} : m_log.mid(at, count);
    }
    std::vector<std::string> CommandsSinceClear() { return m_session.sim().ReceivedCommands(); }

    SimulatorSession m_session;
};

// A read-back is checked, logged, marked and shown; 按规范修正 lists the
// deviations a value puts right (ticked) and those that need a person (not
// sendable), sends only the ticked ones, and the verification's read-back
// is checked again.
TEST_F(WindowProfileTest, AReadBackIsCheckedMarkedAndPutRightThroughThePreview)
{
    const QString server = QStringLiteral("GPRS主中心地址：设备“203.0.113.10”，规范要求“10.0.0.6”");
    const QString heartbeat = QStringLiteral("心跳包时间(31到65535)：设备“60”，规范要求100 到 300 之间");
    const QString backup =
        QStringLiteral("GPRS备份中心地址：设备“203.0.113.11”，规范要求符合“10\\.0\\.0\\.[0-9]+”（待整改，2099-01-01起计入）");
    struct Row {
        const char* rules;
        QStringList checkLines;        // after 参数回读
        QStringList marked;            // labels of the marked rows (the last one pending with `pending`)
        bool pending;
        QStringList notes;             // listed in the preview as needing a person
        QString stateAfter;            // after 按规范修正
    };
    const Row rows[] = {
        {R"j({"item": "GPRS主中心地址", "equals": "10.0.0.6"},
             {"item": "无线网络APN", "oneOf": ["CMIOT", "CMNET"], "prefer": "CMIOT"},
             {"list": "管理号码", "contains": ["13800000001"], "maxCount": 5})j",
         {QStringLiteral("不符合规范 %1: 1 项").arg(kTitle), server},
         {QStringLiteral("GPRS主中心地址")},
         false,
         {},
         QStringLiteral("符合规范")},
        {R"j({"item": "心跳包时间(31到65535)", "range": [100, 300]},
             {"item": "GPRS主中心地址", "equals": "10.0.0.6"},
             {"item": "GPRS备份中心地址", "pattern": "10\\.0\\.0\\.[0-9]+", "since": "2099-01-01"})j",
         {QStringLiteral("不符合规范 %1: 2 项").arg(kTitle), heartbeat, server, backup},
         {QStringLiteral("心跳包时间(31到65535)"), QStringLiteral("GPRS主中心地址"), QStringLiteral("GPRS备份中心地址")},
         true,
         {heartbeat, backup},
         QStringLiteral("不符合规范: 1 项")},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.rules);
        m_window.reset();
        m_log.clear();
        m_session.sim().ModifyParameters([](TerminalParameters& parameters) { parameters.serverIp = "203.0.113.10"; });
        OpenOnTerminal(WriteFile("profile.json", Profile(QString::fromUtf8(row.rules))));
        // The entry's read is checked too.
        EXPECT_TRUE(m_log.contains(row.checkLines.first())) << LogText().toStdString();

        m_log.clear();
        QTest::mouseClick(Find<QPushButton>("readBackButton"), Qt::LeftButton);
        ASSERT_TRUE(WaitForLog(QStringLiteral("参数加载完成...")));
        ASSERT_TRUE(WaitForButtons());
        ASSERT_TRUE(WaitUntil([&] { return m_log.contains(row.checkLines.first()); }));
        EXPECT_EQ(LogFrom(row.checkLines.first(), row.checkLines.size() + 1), row.checkLines) << LogText().toStdString();
        EXPECT_EQ(Bar().StateLabel()->text(),
                  QStringLiteral("不符合规范: %1 项").arg(row.checkLines.size() - 1 - int(row.pending)));

        CParameterTable* table = m_window->ParameterTable();
        EXPECT_EQ(table->MarkCount(), 2 * row.marked.size());
        for (qsizetype i = 0; i < row.marked.size(); ++i) {
            const ParameterTableRow* cell = RowLabelled(row.marked[i]);
            ASSERT_NE(cell, nullptr) << row.marked[i].toStdString();
            EXPECT_EQ(table->MarkNote(cell->row, cell->valueColumn), row.checkLines[i + 1]);
            EXPECT_EQ(table->MarkNote(cell->row, cell->labelColumn), row.checkLines[i + 1]);
            const bool pending = row.pending && i + 1 == row.marked.size();
            EXPECT_EQ(table->GetCellColors(cell->row, cell->valueColumn).background,
                      pending ? CParameterTable::PendingMarkBackground() : CParameterTable::MarkBackground());
        }

        QPushButton* conform = Bar().ConformButton();
        ASSERT_TRUE(conform->isEnabled());
        m_session.sim().ClearLogs();
        m_asked.clear();
        m_log.clear();
        QTest::mouseClick(conform, Qt::LeftButton);
        ASSERT_TRUE(WaitForLog(QStringLiteral("参数设置完成"))) << LogText().toStdString();
        ASSERT_TRUE(WaitForButtons());
        ASSERT_TRUE(WaitUntil([&] { return Bar().StateLabel()->text() == row.stateAfter; })) << LogText().toStdString();

        ASSERT_EQ(m_asked.size(), 1);
        EXPECT_EQ(m_asked[0].kind, MessageBoxes::Kind::Confirm);
        EXPECT_EQ(m_asked[0].caption, QStringLiteral("按规范修正"));
        EXPECT_EQ(m_asked[0].lines, QStringList{QStringLiteral("GPRS主中心地址：设备“203.0.113.10”，按规范改为“10.0.0.6”")});
        EXPECT_EQ(m_asked[0].notes, row.notes);
        // Typed from the Parts' server command "at+ipad=%s", then the
        // verification's "AT+SHOW".
        EXPECT_EQ(CommandsSinceClear(), (std::vector<std::string>{"at+ipad=10.0.0.6", "AT+SHOW"}));
        EXPECT_EQ(m_session.sim().Parameters().serverIp, "10.0.0.6");
        const QString verdict = row.notes.isEmpty() ? QStringLiteral("符合规范 %1").arg(kTitle)
                                                    : QStringLiteral("不符合规范 %1: 1 项").arg(kTitle);
        EXPECT_TRUE(m_log.contains(verdict)) << LogText().toStdString();
        EXPECT_EQ(table->MarkCount(), 2 * row.notes.size());
        EXPECT_EQ(conform->isEnabled(), !row.notes.isEmpty());
    }

    // The record keeps the checks of the read-backs; the latest is that of
    // the last verification.
    m_window.reset();
    CRecordStore store(m_folder.filePath(QStringLiteral("records.sqlite")));
    ASSERT_TRUE(store.OpenForReading()) << store.LastError().toStdString();
    std::vector<StoredProfileCheck> checks;
    ASSERT_TRUE(store.ForEachLatestProfileCheck([&](const StoredProfileCheck& check) {
        checks.push_back(check);
        return true;
    }));
    ASSERT_EQ(checks.size(), 1u);
    EXPECT_EQ(checks[0].deviceKey, QStringLiteral("1A2B3C4D"));
    EXPECT_EQ(checks[0].check.profileName, QStringLiteral("县应急广播二期"));
    EXPECT_EQ(checks[0].check.profileVersion, QStringLiteral("3"));
    EXPECT_FALSE(checks[0].check.conformed);
    EXPECT_EQ(checks[0].check.deviationLines, (QStringList{QStringLiteral("心跳包时间(31到65535)：设备“60”，规范要求100 到 300 之间"),
                                                           QStringLiteral("GPRS备份中心地址：设备“203.0.113.11”，规范要求符合"
                                                                          "“10\\.0\\.0\\.[0-9]+”（待整改，2099-01-01起计入）")}));
}

// A profile that is refused says what and where, and the one in use stays.
TEST_F(WindowProfileTest, ARefusedProfileKeepsTheOneInUse)
{
    const QString good = WriteFile("good.json", Profile(QStringLiteral(R"j({"item": "GPRS主中心地址", "equals": "10.0.0.6"})j")));
    const QString bad = WriteFile("bad.json", Profile(QStringLiteral(R"j({"item": "没有这一项", "equals": "1"})j")));
    MainWindowOptions options = Options({});
    options.profileFile = good;
    QStringList chosen;
    options.profileChosen = [&](const QString& path) { chosen << path; };
    Open(options);
    ASSERT_EQ(Bar().ProfileLabel()->text(), kTitle);
    EXPECT_EQ(Bar().StateLabel()->text(), QStringLiteral("未检查"));
    EXPECT_FALSE(Bar().ConformButton()->isEnabled());

    m_answer = [&](const MessageBoxes::Request& request) {
        MessageBoxes::Reply reply;
        if (request.kind == MessageBoxes::Kind::OpenFile)
            reply.path = bad;
        return reply;
    };
    m_asked.clear();
    QTest::mouseClick(Bar().ChooseButton(), Qt::LeftButton);
    ASSERT_EQ(m_asked.size(), 2);
    EXPECT_EQ(m_asked[0].kind, MessageBoxes::Kind::OpenFile);
    EXPECT_EQ(m_asked[1].kind, MessageBoxes::Kind::Message);
    EXPECT_EQ(m_asked[1].icon, MessageBoxes::Icon::Warning);
    EXPECT_TRUE(m_asked[1].text.contains(bad)) << m_asked[1].text.toStdString();
    EXPECT_TRUE(m_asked[1].text.contains(QStringLiteral("第1条规则"))) << m_asked[1].text.toStdString();
    EXPECT_TRUE(m_asked[1].text.contains(QStringLiteral("没有这一项")));
    EXPECT_TRUE(m_asked[1].text.endsWith(QStringLiteral("继续使用%1。").arg(kTitle)));
    EXPECT_EQ(Bar().ProfileLabel()->text(), kTitle);
    EXPECT_EQ(Bar().ProfilePath(), good);
    EXPECT_TRUE(chosen.isEmpty());
}

// The profile chosen in the window is the one of the next start; --profile
// gives another for one run.
TEST_F(WindowProfileTest, TheChosenProfileComesBackAtTheNextStart)
{
    QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Sirenset"), QStringLiteral("Sirenset"))
        .remove(QStringLiteral("profiles/path"));
    const QString path = WriteFile("chosen.json", Profile(QStringLiteral(R"j({"item": "无线网络APN", "equals": "CMIOT"})j")));
    const CommandLine plain = ParseCommandLine({QStringLiteral("sirenset")});
    MainWindowOptions first = CSirensetApp::WindowOptions(plain);
    EXPECT_TRUE(first.profileFile.isEmpty());
    MainWindowOptions options = Options({});
    options.profileFile = first.profileFile;
    options.profileChosen = first.profileChosen;
    Open(options);
    EXPECT_EQ(Bar().ProfileLabel()->text(), QStringLiteral("未选择"));
    m_answer = [&](const MessageBoxes::Request&) { return MessageBoxes::Reply{MessageBoxes::Answer::Ok, path, {}}; };
    QTest::mouseClick(Bar().ChooseButton(), Qt::LeftButton);
    EXPECT_EQ(Bar().ProfileLabel()->text(), kTitle);
    m_window.reset();

    const MainWindowOptions next = CSirensetApp::WindowOptions(plain);
    EXPECT_EQ(next.profileFile, path);
    options.profileFile = next.profileFile;
    Open(options);
    EXPECT_EQ(Bar().ProfileLabel()->text(), kTitle);
    EXPECT_EQ(Bar().ProfilePath(), path);

    const QString other = m_folder.filePath(QStringLiteral("other.json"));
    const CommandLine given = ParseCommandLine({QStringLiteral("sirenset"), QStringLiteral("--profile"), other});
    ASSERT_EQ(given.mode, CommandLine::Mode::Window) << given.error.toStdString();
    EXPECT_EQ(CSirensetApp::WindowOptions(given).profileFile, other);
    QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Sirenset"), QStringLiteral("Sirenset"))
        .remove(QStringLiteral("profiles/path"));
}

}  // namespace

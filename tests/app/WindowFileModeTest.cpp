// A configuration file shown in the main window without a terminal: opened
// into the table and the number pages, edited with the save's checks,
// written with 另存为配置文件…, and given back to the terminal's values only
// after asking.
#include "MainWindowFixture.h"

#include "params/CFileModeBar.h"
#include "controls/CReportCtrl.h"
#include "numbers/CNumberCommands.h"
#include "numbers/CNumberPage.h"
#include "params/CConfigDocument.h"
#include "params/CParameterTable.h"
#include "params/ConfigFilePlan.h"
#include "sim/ParameterReport.h"
#include "support/SimulatorSession.h"
#include "support/TestFiles.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <functional>
#include <vector>

namespace {

using testsupport::WaitUntil;

constexpr int kApnRow = 16;
constexpr int kHeartbeatRow = 21;
constexpr int kRight = 3;

class WindowFileModeTest : public testsupport::MainWindowFixture {
protected:
    void SetUp() override
    {
        MainWindowFixture::SetUp();
        TerminalParameters site = TerminalParameters::Defaults();
        site.apn = "SITEAPN";
        site.adminNumbers = {"13811111111", "13822222222"};
        m_file = ConfigFileText(QByteArray::fromStdString(ParameterReport::Build(site)));
        ASSERT_TRUE(testsupport::WriteFileBytes(Path("site.cfg"), m_file));
        m_answer = [this](const MessageBoxes::Request& request) {
            MessageBoxes::Reply reply;
            if (request.kind == MessageBoxes::Kind::OpenFile)
                reply.path = Path(m_openName);
            else if (request.kind == MessageBoxes::Kind::Confirm)
                reply.ticks = m_ticks(request.lines);
            else if (request.kind == MessageBoxes::Kind::SaveFile)
                reply.path = Path("saved.cfg");
            else
                reply.answer = m_yes ? MessageBoxes::Answer::Yes : MessageBoxes::Answer::No;
            return reply;
        };
    }

    QString Path(const char* name) const { return m_folder.filePath(QString::fromLatin1(name)); }
    CFileModeBar& Bar() const { return *m_window->findChild<CFileModeBar*>(QStringLiteral("fileModeBar")); }
    CParameterTable& Table() const { return *m_window->findChild<CParameterTable*>(QStringLiteral("paramList")); }
    // What the grid's editor does when an edit ends: the typed text goes into the cell.
    void Type(int row, const QString& text) { Table().SetCellText(row, kRight, text); }
    QStringList Asked(MessageBoxes::Kind kind) const
    {
        QStringList texts;
        for (const MessageBoxes::Request& request : m_asked) {
            if (request.kind == kind)
                texts << request.text;
        }
        return texts;
    }

    // With SIRENSET_SCREENSHOT_DIR set: the window as a 1366 x 768 screen at
    // 125 % leaves room for it (logical pixels, less a taskbar).
    void SaveShot(const QString& name)
    {
        const QByteArray dir = qgetenv("SIRENSET_SCREENSHOT_DIR");
        if (dir.isEmpty())
            return;
        m_window->resize(QSize(1093, 582).expandedTo(m_window->minimumSize()));
        QApplication::processEvents();
        m_window->grab().save(QString::fromLocal8Bit(dir) + QLatin1Char('/') + name);
    }

    QByteArray m_file;
    bool m_yes = true;
    const char* m_openName = "site.cfg";
    std::function<std::vector<bool>(const QStringList&)> m_ticks = [](const QStringList&) {
        return std::vector<bool>{};
    };
};

TEST_F(WindowFileModeTest, AFileIsOpenedEditedAndSavedWithoutATerminal)
{
    Open(Options({}));
    EXPECT_FALSE(Bar().Line()->isVisible());
    QTest::mouseClick(Bar().OpenButton(), Qt::LeftButton);
    ASSERT_TRUE(Bar().IsFileShown());
    EXPECT_TRUE(m_window->windowTitle().endsWith(QStringLiteral(" — 配置文件 site.cfg")));
    EXPECT_TRUE(Bar().Line()->isVisible());
    EXPECT_TRUE(Bar().Line()->text().contains(QStringLiteral("“site.cfg”")));
    EXPECT_TRUE(Bar().Line()->text().contains(QStringLiteral("保存设置等设备命令作用于所连接的终端，而不是此文件")));
    EXPECT_EQ(Table().CellText(kApnRow, kRight), QStringLiteral("SITEAPN"));
    EXPECT_EQ(m_window->View().NumberRows(0), (QStringList{QStringLiteral("13811111111"), QStringLiteral("13822222222")}));

    // A refused value never reaches the file; the cell shows the file's.
    const QString heartbeat = Table().CellText(kHeartbeatRow, kRight);
    m_asked.clear();
    Type(kHeartbeatRow, QStringLiteral("30"));
    EXPECT_EQ(Asked(MessageBoxes::Kind::Message).value(0), QStringLiteral("心跳包大小超出范围,应该介于31到65535之间"));
    EXPECT_EQ(Table().CellText(kHeartbeatRow, kRight), heartbeat);
    EXPECT_FALSE(Bar().Document().IsModified());

    Type(kApnRow, QStringLiteral("CMIOT"));
    EXPECT_TRUE(m_window->windowTitle().endsWith(QStringLiteral("配置文件 site.cfg *")));
    QTest::mouseClick(Bar().SaveAsButton(), Qt::LeftButton);
    QByteArray expected = m_file;
    expected.replace("SITEAPN\r\r\n", "CMIOT\r\r\n");
    EXPECT_EQ(testsupport::ReadFileBytes(Path("saved.cfg")), expected);
    EXPECT_TRUE(m_window->windowTitle().endsWith(QStringLiteral("配置文件 saved.cfg")));

    SaveShot(QStringLiteral("window_file.png"));

    // 删除 on the number page takes the ticked number out of the file.
    CNumberPage* admin = nullptr;
    for (CNumberPage* page : m_window->findChildren<CNumberPage*>()) {
        if (page->Numbers().contains(QStringLiteral("13811111111")))
            admin = page;
    }
    ASSERT_NE(admin, nullptr);
    admin->List()->SetCheck(0, true);
    auto* remove = m_window->findChild<QPushButton*>(QStringLiteral("deleteButton"));
    ASSERT_TRUE(remove->isEnabled()) << "no terminal is needed";
    QTest::mouseClick(remove, Qt::LeftButton);
    EXPECT_EQ(Bar().Document().Numbers(0), QStringList{QStringLiteral("13822222222")});
    EXPECT_EQ(m_window->View().NumberRows(0), QStringList{QStringLiteral("13822222222")});
    m_yes = true;

    QTest::mouseClick(Bar().CloseButton(), Qt::LeftButton);
    EXPECT_FALSE(Bar().IsFileShown());
    EXPECT_TRUE(Table().CellText(kApnRow, kRight).isEmpty()) << "the table is as it was before the file";
    EXPECT_TRUE(m_window->View().NumberRows(0).isEmpty());
}

TEST_F(WindowFileModeTest, TheTerminalsValuesWaitForAnAnswerAboutUnsavedEdits)
{
    // The terminal is switched on only once the file is being edited.
    SimulatorOptions options = testsupport::SimulatorSession::FastOptions();
    options.powerOnWhenOpened = false;
    testsupport::SimulatorSession session(options);
    ASSERT_TRUE(session.Started());
    Open(Options({session.DevicePath()}));
    QTest::mouseClick(Bar().OpenButton(), Qt::LeftButton);
    Type(kApnRow, QStringLiteral("CMIOT"));
    m_asked.clear();

    // It powers on and is caught: the technician keeps the file.
    m_yes = false;
    session.sim().PowerOn();
    ASSERT_TRUE(WaitForLog(QStringLiteral("参数加载完成..."))) << LogText().toStdString();
    ASSERT_TRUE(WaitForButtons());
    const int loads = 1;
    auto* readBack = m_window->findChild<QPushButton*>(QStringLiteral("readBackButton"));
    ASSERT_NE(readBack, nullptr);
    EXPECT_EQ(Asked(MessageBoxes::Kind::Message).size(), 1) << "asked once for the whole refresh";
    EXPECT_TRUE(Bar().IsFileShown());
    EXPECT_EQ(Table().CellText(kApnRow, kRight), QStringLiteral("CMIOT"));

    // Read back again, the answer is yes: the terminal's values are shown.
    m_yes = true;
    QTest::mouseClick(readBack, Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([&] { return m_log.count(QStringLiteral("参数加载完成...")) > loads; }));
    ASSERT_TRUE(WaitForButtons());
    EXPECT_FALSE(Bar().IsFileShown());
    EXPECT_EQ(Table().CellText(kApnRow, kRight), QString::fromStdString(session.sim().Parameters().apn));
    EXPECT_EQ(m_window->windowTitle().indexOf(QStringLiteral("配置文件")), -1);
}

// At the desk: the APN and two administrator numbers changed in a file;
// at the terminal: the file applied with only the APN ticked. The line
// carries that one command and the read-back that verifies it.
TEST_F(WindowFileModeTest, AFileEditedAtTheDeskIsAppliedWithOnlyTheApnTicked)
{
    testsupport::SimulatorSession session;
    ASSERT_TRUE(session.Started());
    Open(Options({session.DevicePath()}));
    ASSERT_TRUE(WaitForLog(QStringLiteral("参数加载完成...")));
    ASSERT_TRUE(WaitForButtons());
    const TerminalParameters before = session.sim().Parameters();
    ASSERT_TRUE(testsupport::WriteFileBytes(
        Path("terminal.cfg"), ConfigFileText(QByteArray::fromStdString(ParameterReport::Build(before)))));

    m_openName = "terminal.cfg";
    QTest::mouseClick(Bar().OpenButton(), Qt::LeftButton);
    Type(kApnRow, QStringLiteral("CMIOT"));
    // What 添加 hands over after its dialog.
    Bar().EditNumbers(CNumberCommands::ListEdit::Add, 0,
                      {QStringLiteral("13811111111"), QStringLiteral("13822222222")}, {});
    QTest::mouseClick(Bar().SaveAsButton(), Qt::LeftButton);
    QTest::mouseClick(Bar().CloseButton(), Qt::LeftButton);
    ASSERT_FALSE(Bar().IsFileShown());

    m_openName = "saved.cfg";
    QStringList listed;
    m_ticks = [&listed](const QStringList& lines) {
        listed = lines;
        std::vector<bool> ticks;
        for (const QString& line : lines)
            ticks.push_back(line.startsWith(QStringLiteral("无线网络APN")));
        return ticks;
    };
    session.sim().ClearLogs();
    QTest::mouseClick(m_window->findChild<QPushButton*>(QStringLiteral("loadFileButton")), Qt::LeftButton);
    ASSERT_TRUE(WaitForLog(QStringLiteral("参数设置完成"))) << LogText().toStdString();
    ASSERT_TRUE(WaitUntil([&] { return m_log.join(QString()).contains(QStringLiteral("校验完成")); }))
        << LogText().toStdString();
    EXPECT_EQ(listed.size(), 2) << listed.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(session.sim().ReceivedCommands(), (std::vector<std::string>{"at+apn=CMIOT", "AT+SHOW"}));
    EXPECT_EQ(session.sim().Parameters().apn, "CMIOT");
    EXPECT_EQ(session.sim().Parameters().adminNumbers, before.adminNumbers);
}

}  // namespace

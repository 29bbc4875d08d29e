// 设备档案 from the main window: a terminal read, changed, saved and read
// again shows with both snapshots and the save between; a snapshot restores
// the terminal through the path of 从文件配置.
#include "MainWindowFixture.h"

#include "params/CParameterTable.h"
#include "params/SavePlan.h"
#include "records/CDeviceRecordsDlg.h"
#include "records/CVisitRecorder.h"
#include "support/SimulatorSession.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>

namespace {

using testsupport::SimulatorSession;
using testsupport::WaitUntil;

class WindowRecordsTest : public testsupport::MainWindowFixture {
protected:
    void SetUp() override
    {
        MainWindowFixture::SetUp();
        ASSERT_TRUE(m_session.Started());
        TerminalParameters parameters = m_session.sim().Parameters();
        parameters.deviceId = "1A2B3C4D";
        parameters.serverIp = "116.62.10.20";
        m_session.sim().SetParameters(parameters);
        Open(Options({m_session.DevicePath()}));
        ASSERT_TRUE(WaitForLog(QStringLiteral("参数加载完成..."))) << LogText().toStdString();
        ASSERT_TRUE(WaitForButtons());
    }

    // The record's writer has written every step handed over so far.
    void WaitForRecord() { ASSERT_TRUE(m_window->Recorder() && m_window->Recorder()->Flush(30000)); }
    CDeviceRecordsDlg* OpenRecords()
    {
        WaitForRecord();
        QTest::mouseClick(Find<QPushButton>("recordsButton"), Qt::LeftButton);
        auto* dialog = m_window->findChild<CDeviceRecordsDlg*>();
        EXPECT_NE(dialog, nullptr);
        return dialog;
    }
    static QStringList Events(const CDeviceRecordsDlg& dialog)
    {
        QStringList events;
        for (int i = 0; i < dialog.HistoryTree()->topLevelItemCount(); ++i)
            events << dialog.HistoryTree()->topLevelItem(i)->text(1);
        return events;
    }
    int Count(const QString& line) const { return static_cast<int>(m_log.count(line)); }

    SimulatorSession m_session;
};

}  // namespace

TEST_F(WindowRecordsTest, ReadChangeSaveReadAgainThenRestoreTheFirstSnapshot)
{
    const SaveItem* server = FindSaveItemByLabel(QStringLiteral("Server's Ip"));
    ASSERT_NE(server, nullptr);
    m_window->ParameterTable()->SetCellText(server->row, server->column, QStringLiteral("10.0.0.5"));
    QTest::mouseClick(Find<QPushButton>("saveButton"), Qt::LeftButton);
    ASSERT_TRUE(WaitForLog(QStringLiteral("校验完成：1 项全部一致"))) << LogText().toStdString();
    ASSERT_TRUE(WaitForButtons());
    ASSERT_EQ(m_session.sim().Parameters().serverIp, "10.0.0.5");
    QTest::mouseClick(Find<QPushButton>("readBackButton"), Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([&] { return Count(QStringLiteral("参数加载完成...")) == 2; }));
    ASSERT_TRUE(WaitForButtons());

    CDeviceRecordsDlg* dialog = OpenRecords();
    ASSERT_NE(dialog, nullptr);
    QTest::keyClicks(dialog->FilterEdit(), QStringLiteral("10.0.0.5"));
    ASSERT_EQ(dialog->DeviceCount(), 1);
    ASSERT_TRUE(dialog->SelectDevice(QStringLiteral("1A2B3C4D")));
    EXPECT_EQ(Events(*dialog),
              (QStringList{QStringLiteral("快照 #1 进入配置"), QStringLiteral("参数修改"), QStringLiteral("快照 #2 保存后校验")}));
    // The read-back equalled the verification: no third copy.
    EXPECT_TRUE(dialog->HistoryTree()->topLevelItem(2)->text(2).contains(QStringLiteral("再见 1 次")));
    EXPECT_EQ(dialog->HistoryTree()->topLevelItem(1)->child(0)->text(2),
              QStringLiteral("%1：116.62.10.20 → 10.0.0.5").arg(SaveItemLabel(*server)));

    dialog->SelectSnapshots({1, 2});
    EXPECT_TRUE(dialog->DifferenceText()->toPlainText().contains(QStringLiteral("10.0.0.5")))
        << dialog->DifferenceText()->toPlainText().toStdString();

    // 恢复到此版本 on the first snapshot: the file preview is asked, then
    // the lists and the save go out as for 从文件配置.
    dialog->SelectSnapshots({1});
    m_asked.clear();
    m_session.sim().ClearLogs();
    QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("recordsRestore")), Qt::LeftButton);
    // A load also sends and verifies the three number lists.
    ASSERT_TRUE(WaitUntil([&] { return Count(QStringLiteral("校验完成：1 项参数和 3 个号码列表全部一致")) == 1; }))
        << LogText().toStdString();
    ASSERT_FALSE(m_asked.isEmpty());
    EXPECT_EQ(m_asked.first().kind, MessageBoxes::Kind::Confirm);
    EXPECT_EQ(m_session.sim().Parameters().serverIp, "116.62.10.20");
    int serverCommands = 0;
    for (const std::string& command : m_session.sim().ReceivedCommands())
        serverCommands += command.find("116.62.10.20") != std::string::npos;
    EXPECT_EQ(serverCommands, 1);

    // A snapshot of another device is asked about; "no" sends nothing.
    ASSERT_TRUE(WaitForButtons());
    m_asked.clear();
    m_session.sim().ClearLogs();
    emit dialog->restoreRequested(QStringLiteral("0000BEEF"), QByteArray("Modem's ID number 0000BEEF\r\n"));
    ASSERT_EQ(m_asked.size(), 1);
    EXPECT_EQ(m_asked.first().buttons, MessageBoxes::Buttons::YesNo);
    EXPECT_TRUE(m_asked.first().text.contains(QStringLiteral("0000BEEF")));
    QTest::qWait(100);
    EXPECT_TRUE(m_session.sim().ReceivedCommands().empty());

    // 在表格中打开: the second snapshot (server 10.0.0.5) in the table as a
    // file, to edit at the desk, while the terminal has 116.62.10.20 again;
    // nothing goes to the terminal.
    dialog->SelectSnapshots({2});
    QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("recordsOpen")), Qt::LeftButton);
    EXPECT_TRUE(m_window->windowTitle().contains(QStringLiteral("配置文件 1A2B3C4D-快照"))) << m_window->windowTitle().toStdString();
    EXPECT_EQ(m_window->ParameterTable()->CellText(server->row, server->column), QStringLiteral("10.0.0.5"));
    EXPECT_TRUE(m_session.sim().ReceivedCommands().empty());
}

// 更改档案位置: the record moves at once; the window's next reads go there.
TEST_F(WindowRecordsTest, TheRecordCanBeMovedFromTheDialog)
{
    QString chosen;
    m_window.reset();
    MainWindowOptions options = Options({m_session.DevicePath()});
    options.recordLocationChosen = [&chosen](const QString& location) { chosen = location; };
    m_log.clear();
    Open(options);
    ASSERT_TRUE(WaitForLog(QStringLiteral("参数加载完成...")));
    ASSERT_TRUE(WaitForButtons());

    CDeviceRecordsDlg* dialog = OpenRecords();
    ASSERT_NE(dialog, nullptr);
    const QString moved = m_folder.filePath(QStringLiteral("shared.sqlite"));
    auto* location = dialog->findChild<QLineEdit*>(QStringLiteral("recordsLocation"));
    ASSERT_NE(location, nullptr);
    location->setText(moved);
    QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("recordsLocationApply")), Qt::LeftButton);
    EXPECT_EQ(chosen, moved);
    EXPECT_EQ(dialog->DeviceCount(), 0) << "a new, empty record";

    QTest::mouseClick(Find<QPushButton>("readBackButton"), Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([&] { return Count(QStringLiteral("参数加载完成...")) == 2; }));
    ASSERT_TRUE(WaitForButtons());
    WaitForRecord();
    QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("recordsLocationApply")), Qt::LeftButton);
    ASSERT_EQ(dialog->DeviceCount(), 1);
    ASSERT_TRUE(dialog->SelectDevice(QStringLiteral("1A2B3C4D")));
    EXPECT_EQ(dialog->HistoryTree()->topLevelItem(0)->text(1), QStringLiteral("快照 #1 参数回读"));
}

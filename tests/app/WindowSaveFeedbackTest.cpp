// 保存后校验, the progress of a save, and the preview of a configuration
// file, as the main window shows them.
#include "MainWindowFixture.h"

#include "params/CChangePreviewDlg.h"
#include "params/CParameterSaver.h"
#include "params/CParameterTable.h"
#include "support/SimulatorSession.h"

#include <QApplication>
#include <QCheckBox>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace {

using testsupport::SimulatorSession;
using testsupport::WaitUntil;

const QString kMainTitle = QStringLiteral("Kestrel预警广播设备配置软件V1.2.1");

class WindowSaveFeedbackTest : public testsupport::MainWindowFixture {
protected:
    void SetUp() override
    {
        MainWindowFixture::SetUp();
        ASSERT_TRUE(m_session.Started());
        Open(Options({m_session.DevicePath()}));
        ASSERT_TRUE(WaitForLog(QStringLiteral("参数加载完成..."))) << LogText().toStdString();
        ASSERT_TRUE(WaitForButtons());
        m_asked.clear();
    }

    QProgressBar* Progress() const { return Find<QProgressBar>("saveProgress"); }

    SimulatorSession m_session;
};

TEST_F(WindowSaveFeedbackTest, VerifyAfterSaveIsOnAtFirstAndTellsTheSaver)
{
    auto* verify = Find<QCheckBox>("verifyCheck");
    EXPECT_EQ(verify->text(), QStringLiteral("保存后校验"));
    EXPECT_TRUE(verify->isChecked());
    EXPECT_TRUE(m_window->Saver().VerifiesAfterSave());

    QTest::mouseClick(verify, Qt::LeftButton, {}, QPoint(5, verify->height() / 2));
    EXPECT_FALSE(verify->isChecked());
    EXPECT_FALSE(m_window->Saver().VerifiesAfterSave());
    QTest::keyClick(verify, Qt::Key_Space);
    EXPECT_TRUE(verify->isChecked());
    EXPECT_TRUE(m_window->Saver().VerifiesAfterSave());
}

TEST_F(WindowSaveFeedbackTest, VerifyAfterSaveSitsBesideSaveSettings)
{
    const auto inWindow = [this](QWidget* widget) {
        return QRect(widget->mapTo(m_window.get(), QPoint(0, 0)), widget->size());
    };
    const QRect save = inWindow(Find<QPushButton>("saveButton"));
    const QRect verify = inWindow(Find<QCheckBox>("verifyCheck"));
    // Straight under the button, in its column.
    EXPECT_GT(verify.top(), save.bottom());
    EXPECT_LT(verify.top() - save.bottom(), save.height());
    EXPECT_GE(verify.left(), save.left());
    EXPECT_LT(verify.left(), save.right());
}

TEST_F(WindowSaveFeedbackTest, MismatchesAfterASaveAreShownInAMessageBox)
{
    const QStringList mismatches = {QStringLiteral("APN：写入 FIELDNET，设备报告 CMNET"),
                                    QStringLiteral("调试等级：写入 2，设备报告 0")};
    m_window->View().ShowVerifyResult(QStringLiteral("校验完成：2 项与写入的不同"), mismatches);
    ASSERT_EQ(m_asked.size(), 1);
    EXPECT_EQ(m_asked[0].kind, MessageBoxes::Kind::Message);
    EXPECT_EQ(m_asked[0].caption, kMainTitle);
    EXPECT_EQ(m_asked[0].text, QStringLiteral("校验完成：2 项与写入的不同\n\n"
                                              "APN：写入 FIELDNET，设备报告 CMNET\n"
                                              "调试等级：写入 2，设备报告 0"));
    EXPECT_EQ(m_asked[0].buttons, MessageBoxes::Buttons::Ok);
    EXPECT_EQ(m_asked[0].icon, MessageBoxes::Icon::Warning);
}

TEST_F(WindowSaveFeedbackTest, AVerificationWithoutMismatchesShowsNoBox)
{
    m_window->View().ShowVerifyResult(QStringLiteral("校验完成：全部 12 项一致"), {});
    EXPECT_TRUE(m_asked.isEmpty());
}

TEST_F(WindowSaveFeedbackTest, ProgressCountsTheItemsAndGoesWhenAllAreWritten)
{
    QProgressBar* progress = Progress();
    EXPECT_FALSE(progress->isVisible());

    m_window->View().ShowSaveProgress(0, 4);
    EXPECT_TRUE(progress->isVisible());
    EXPECT_EQ(progress->text(), QStringLiteral("第 0 / 4 项"));
    m_window->View().ShowSaveProgress(3, 4);
    EXPECT_TRUE(progress->isVisible());
    EXPECT_EQ(progress->text(), QStringLiteral("第 3 / 4 项"));
    EXPECT_EQ(progress->maximum(), 4);
    EXPECT_EQ(progress->value(), 3);
    m_window->View().ShowSaveProgress(4, 4);
    EXPECT_FALSE(progress->isVisible());

    // A second save starts again from nothing, with its own total.
    m_window->View().ShowSaveProgress(0, 2);
    EXPECT_TRUE(progress->isVisible());
    EXPECT_EQ(progress->text(), QStringLiteral("第 0 / 2 项"));
}

TEST_F(WindowSaveFeedbackTest, ProgressGoesWhenTheButtonsComeBackAfterAFailedSave)
{
    m_window->View().ShowSaveProgress(0, 5);
    m_window->View().ShowSaveProgress(2, 5);
    m_window->View().SetBusy(true);
    EXPECT_TRUE(Progress()->isVisible());
    m_window->View().SetBusy(false);
    EXPECT_FALSE(Progress()->isVisible());
}

TEST_F(WindowSaveFeedbackTest, ProgressGoesWhenARealSaveGivesTheButtonsBack)
{
    m_window->View().ShowSaveProgress(0, 3);
    ASSERT_TRUE(Progress()->isVisible());
    m_log.clear();
    QTest::mouseClick(Find<QPushButton>("saveButton"), Qt::LeftButton);
    EXPECT_FALSE(m_window->CommandButtons().first()->isEnabled());
    ASSERT_TRUE(WaitForLog(QStringLiteral("参数设置完成")));
    ASSERT_TRUE(WaitForButtons());
    EXPECT_FALSE(Progress()->isVisible());
}

TEST_F(WindowSaveFeedbackTest, TheFilePreviewAsksWithTheChangesAndTakesTheAnswer)
{
    const QStringList changes = {QStringLiteral("APN：CMNET → FIELDNET")};
    EXPECT_TRUE(m_window->View().ConfirmFileChanges(changes));
    m_answer = [](const MessageBoxes::Request&) { return MessageBoxes::Reply{MessageBoxes::Answer::Cancel, {}}; };
    EXPECT_FALSE(m_window->View().ConfirmFileChanges(changes));
    ASSERT_EQ(m_asked.size(), 2);
    for (const MessageBoxes::Request& request : m_asked) {
        EXPECT_EQ(request.kind, MessageBoxes::Kind::Confirm);
        EXPECT_EQ(request.caption, QStringLiteral("从文件配置"));
        EXPECT_EQ(request.lines, changes);
    }
}

TEST_F(WindowSaveFeedbackTest, TheFilePreviewIsARealDialogOverTheWindow)
{
    MessageBoxes::SetHandler({});
    QString title;
    QStringList lines;
    QWidget* owner = nullptr;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<CChangePreviewDlg*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        title = dialog->windowTitle();
        owner = dialog->parentWidget();
        for (int row = 0; row < dialog->ChangeList()->count(); ++row)
            lines << dialog->ChangeList()->item(row)->text();
        QTest::mouseClick(dialog->CancelButton(), Qt::LeftButton);
    });
    EXPECT_FALSE(m_window->View().ConfirmFileChanges({QStringLiteral("a"), QStringLiteral("b")}));
    EXPECT_EQ(title, QStringLiteral("从文件配置"));
    EXPECT_EQ(lines, (QStringList{QStringLiteral("a"), QStringLiteral("b")}));
    EXPECT_EQ(owner, m_window.get());
}

}  // namespace

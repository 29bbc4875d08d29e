#include "params/CChangePreviewDlg.h"
#include "controls/MessageBoxes.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

const QStringList kChanges = {QStringLiteral("APN：CMNET → FIELDNET"), QStringLiteral("调试等级：0 → 2")};

QStringList ListedLines(const QListWidget& list)
{
    QStringList lines;
    for (int row = 0; row < list.count(); ++row)
        lines << list.item(row)->text();
    return lines;
}

// With SIRENSET_SCREENSHOT_DIR set, saves a picture of the dialog there.
void SaveScreenshot(QWidget& dialog, const QString& name)
{
    const QByteArray dir = qgetenv("SIRENSET_SCREENSHOT_DIR");
    if (dir.isEmpty())
        return;
    QDir().mkpath(QString::fromLocal8Bit(dir));
    dialog.grab().save(QString::fromLocal8Bit(dir) + QLatin1Char('/') + name);
}

// Answers the next modal dialog: checks it is a preview, records what it
// lists, and clicks the named button.
struct ModalAnswer {
    QString title;
    QString heading;
    QStringList lines;
    bool listShown = false;
    QString okText;
    QString cancelText;

    void ClickLater(const char* button)
    {
        QTimer::singleShot(0, [this, button] {
            auto* dialog = qobject_cast<CChangePreviewDlg*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            title = dialog->windowTitle();
            heading = dialog->findChild<QLabel*>(QStringLiteral("changeHeading"))->text();
            lines = ListedLines(*dialog->ChangeList());
            listShown = dialog->ChangeList()->isVisible();
            okText = dialog->OkButton()->text();
            cancelText = dialog->CancelButton()->text();
            SaveScreenshot(*dialog, lines.isEmpty() ? QStringLiteral("change_preview_empty.png")
                                                    : QStringLiteral("change_preview.png"));
            QTest::mouseClick(dialog->findChild<QPushButton*>(QString::fromLatin1(button)), Qt::LeftButton);
        });
    }
};

class ChangePreviewTest : public ::testing::Test {
protected:
    void SetUp() override { MessageBoxes::SetHandler({}); }
    void TearDown() override { MessageBoxes::SetHandler({}); }
};

TEST_F(ChangePreviewTest, ListsEveryChangeUnderItsTitleAndGoesOnWhenAccepted)
{
    ModalAnswer answer;
    answer.ClickLater("changeOkButton");
    EXPECT_TRUE(CChangePreviewDlg::Confirm(nullptr, kChanges));
    EXPECT_EQ(answer.title, QStringLiteral("从文件配置"));
    EXPECT_EQ(answer.heading, QStringLiteral("应用此文件将修改以下 2 项参数："));
    EXPECT_EQ(answer.lines, kChanges);
    EXPECT_TRUE(answer.listShown);
    EXPECT_EQ(answer.okText, QStringLiteral("确定"));
    EXPECT_EQ(answer.cancelText, QStringLiteral("取消"));
}

TEST_F(ChangePreviewTest, CancelRefusesTheFile)
{
    ModalAnswer answer;
    answer.ClickLater("changeCancelButton");
    EXPECT_FALSE(CChangePreviewDlg::Confirm(nullptr, kChanges));
    EXPECT_EQ(answer.lines, kChanges);
}

TEST_F(ChangePreviewTest, EscapeRefusesTheFile)
{
    QTimer::singleShot(0, [] {
        QWidget* dialog = QApplication::activeModalWidget();
        ASSERT_NE(qobject_cast<CChangePreviewDlg*>(dialog), nullptr);
        QTest::keyClick(dialog, Qt::Key_Escape);
    });
    EXPECT_FALSE(CChangePreviewDlg::Confirm(nullptr, kChanges));
}

TEST_F(ChangePreviewTest, WithNothingToChangeItSaysSoAndStillAsks)
{
    ModalAnswer answer;
    answer.ClickLater("changeOkButton");
    EXPECT_TRUE(CChangePreviewDlg::Confirm(nullptr, {}));
    EXPECT_EQ(answer.heading, QStringLiteral("文件与设备的参数相同"));
    EXPECT_TRUE(answer.lines.isEmpty());
    EXPECT_FALSE(answer.listShown);

    answer.ClickLater("changeCancelButton");
    EXPECT_FALSE(CChangePreviewDlg::Confirm(nullptr, {}));
    EXPECT_EQ(answer.cancelText, QStringLiteral("取消"));
}

TEST_F(ChangePreviewTest, TheListCannotBeEdited)
{
    CChangePreviewDlg dialog(kChanges);
    dialog.show();
    QListWidget* list = dialog.ChangeList();
    list->setCurrentRow(0);
    QTest::keyClick(list, Qt::Key_F2);
    QTest::keyClicks(list, QStringLiteral("x"));
    QTest::keyClick(list, Qt::Key_Return);
    EXPECT_EQ(ListedLines(*list), kChanges);
    EXPECT_EQ(list->editTriggers(), QAbstractItemView::NoEditTriggers);
}

TEST_F(ChangePreviewTest, AnInstalledHandlerAnswersInsteadOfTheDialog)
{
    MessageBoxes::SetHandler([](const MessageBoxes::Request& request) {
        return MessageBoxes::Reply{request.lines.size() > 1 ? MessageBoxes::Answer::Cancel : MessageBoxes::Answer::Ok,
                                   {}};
    });
    EXPECT_FALSE(CChangePreviewDlg::Confirm(nullptr, kChanges));
    EXPECT_TRUE(CChangePreviewDlg::Confirm(nullptr, {}));
    const QList<MessageBoxes::Request> asked = MessageBoxes::TakeRequests();
    ASSERT_EQ(asked.size(), 2);
    EXPECT_EQ(asked[0].kind, MessageBoxes::Kind::Confirm);
    EXPECT_EQ(asked[0].caption, QStringLiteral("从文件配置"));
    EXPECT_EQ(asked[0].text, QStringLiteral("应用此文件将修改以下 2 项参数："));
    EXPECT_EQ(asked[0].buttons, MessageBoxes::Buttons::OkCancel);
    EXPECT_EQ(asked[0].lines, kChanges);
    EXPECT_EQ(asked[1].text, QStringLiteral("文件与设备的参数相同"));
    EXPECT_TRUE(asked[1].lines.isEmpty());
    // A handler that answers every request with the default reply (what
    // the window tests install) goes on with the file.
    MessageBoxes::SetHandler([](const MessageBoxes::Request&) { return MessageBoxes::Reply{}; });
    EXPECT_TRUE(CChangePreviewDlg::Confirm(nullptr, kChanges));
}

}  // namespace

namespace {

// Every change comes ticked (or as given); Space on a line unticks it, and
// Choose hands back what was left ticked.
TEST(ChangePreviewTicks, TheUserUnticksChangesWithTheKeyboard)
{
    std::vector<bool> ticks(kChanges.size(), true);
    ticks.push_back(true);
    QTimer::singleShot(0, [] {
        auto* dialog = qobject_cast<CChangePreviewDlg*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        QListWidget* list = dialog->ChangeList();
        EXPECT_EQ(list->item(0)->checkState(), Qt::Checked);
        EXPECT_EQ(list->item(1)->checkState(), Qt::Checked);
        list->setFocus();
        list->setCurrentRow(1);
        QTest::keyClick(list, Qt::Key_Space);
        SaveScreenshot(*dialog, QStringLiteral("change_preview_ticks.png"));
        QTest::mouseClick(dialog->OkButton(), Qt::LeftButton);
    });
    ASSERT_TRUE(CChangePreviewDlg::Choose(nullptr, kChanges + QStringList{QStringLiteral("管理号码：设备“13800000001”，文件“13811111111,13822222222”")}, ticks));
    EXPECT_EQ(ticks, (std::vector<bool>{true, false, true}));

    const CChangePreviewDlg given(kChanges, {false, true});
    EXPECT_EQ(given.Ticks(), (std::vector<bool>{false, true}));
    EXPECT_EQ(given.ChangeList()->item(0)->checkState(), Qt::Unchecked);
}

}  // namespace

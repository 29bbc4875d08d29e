#include "NumberEntryCases.h"
#include "controls/MessageBoxes.h"
#include "numbers/CPhoneClearDlg.h"
#include "numbers/CResetPhone.h"
#include "numbers/NumberCategory.h"

#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

namespace {

// Types like a keyboard: Latin-1 characters as keys, others as text input.
void TypeText(QWidget* widget, const QString& text)
{
    for (const QChar c : text) {
        if (c.unicode() < 0x80)
            QTest::keyClick(widget, c.toLatin1());
        else
            QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(c), Qt::NoModifier);
    }
}

QStringList Texts(const QWidget& dialog)
{
    QStringList texts;
    for (const QLabel* label : dialog.findChildren<QLabel*>())
        texts.append(label->text());
    for (const QGroupBox* group : dialog.findChildren<QGroupBox*>())
        texts.append(group->title());
    for (const QPushButton* button : dialog.findChildren<QPushButton*>())
        texts.append(button->text());
    return texts;
}

QStringList ChoiceEntries(const QWidget& dialog)
{
    auto* choice = dialog.findChild<QComboBox*>(QStringLiteral("categoryChoice"));
    QStringList entries;
    for (int i = 0; choice && i < choice->count(); ++i)
        entries.append(choice->itemText(i));
    return entries;
}

// Answers every message box with m_answer and keeps what was asked.
class NumberDialogFixture {
protected:
    void InstallHandler()
    {
        MessageBoxes::SetHandler([this](const MessageBoxes::Request&) {
            MessageBoxes::Reply reply;
            reply.answer = m_answer;
            return reply;
        });
    }
    static void RemoveHandler()
    {
        MessageBoxes::SetHandler({});
        NumberCategory::SetDefault(NumberCategory::kAdministrator);
    }

    static void ClickOk(QDialog& dialog)
    {
        QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("okButton")), Qt::LeftButton);
    }
    static void Show(QDialog& dialog)
    {
        dialog.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    }

    MessageBoxes::Answer m_answer = MessageBoxes::Answer::Ok;
};

class NumberEntryDialogTest : public ::testing::TestWithParam<NumberEntryCase>, protected NumberDialogFixture {
protected:
    void SetUp() override { InstallHandler(); }
    void TearDown() override { RemoveHandler(); }
};

TEST_P(NumberEntryDialogTest, TypedTextIsCheckedOnOk)
{
    const NumberEntryCase& c = GetParam();
    NumberCategory::SetDefault(NumberCategory::kAuthorised);
    CResetPhone dialog;
    Show(dialog);
    auto* edit = dialog.findChild<QLineEdit*>(QStringLiteral("numberEdit"));
    ASSERT_NE(edit, nullptr);
    TypeText(edit, c.typed);
    ASSERT_EQ(edit->text(), c.typed);
    ClickOk(dialog);

    const QList<MessageBoxes::Request> requests = MessageBoxes::TakeRequests();
    if (c.message.isEmpty()) {
        EXPECT_TRUE(requests.isEmpty());
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
        EXPECT_FALSE(dialog.isVisible());
        EXPECT_EQ(dialog.NumberText(), c.numberText);
        EXPECT_EQ(dialog.CategoryIndex(), NumberCategory::kAuthorised);
        return;
    }
    ASSERT_EQ(requests.size(), 1);
    EXPECT_EQ(requests[0].text, c.message);
    EXPECT_EQ(requests[0].caption, MessageBoxes::DefaultCaption());
    EXPECT_EQ(requests[0].buttons, MessageBoxes::Buttons::Ok);
    EXPECT_EQ(requests[0].icon, MessageBoxes::Icon::None);
    // Refused: the dialog stays open with the text as typed and no result.
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(edit->text(), c.typed);
    EXPECT_EQ(dialog.CategoryIndex(), -1);
    EXPECT_TRUE(dialog.NumberText().isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Cases, NumberEntryDialogTest, ::testing::ValuesIn(NumberEntryCases()),
                         [](const ::testing::TestParamInfo<NumberEntryCase>& info) { return info.param.name; });

class NumberDialogTest : public ::testing::Test, protected NumberDialogFixture {
protected:
    void SetUp() override { InstallHandler(); }
    void TearDown() override { RemoveHandler(); }
};

TEST_F(NumberDialogTest, EntryDialogHasItsControls)
{
    CResetPhone dialog;
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("号码设置"));
    const QStringList texts = Texts(dialog);
    for (const char* text : {"类别：", "号码：", "备注: 多个号码清用逗号隔开", "号码设置", "确定", "取消"})
        EXPECT_TRUE(texts.contains(QString::fromUtf8(text))) << text;
    EXPECT_EQ(ChoiceEntries(dialog), QStringList({"管理号码", "授权号码", "备份号码"}));
    EXPECT_FALSE(dialog.findChild<QComboBox*>(QStringLiteral("categoryChoice"))->isEditable());
    EXPECT_TRUE(dialog.findChild<QPushButton*>(QStringLiteral("okButton"))->isDefault());
}

TEST_F(NumberDialogTest, ResetDialogHasItsControls)
{
    CPhoneClearDlg dialog;
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("号码重置"));
    const QStringList texts = Texts(dialog);
    for (const char* text : {"类别：", "号码重置", "确定", "取消"})
        EXPECT_TRUE(texts.contains(QString::fromUtf8(text))) << text;
    EXPECT_EQ(ChoiceEntries(dialog), QStringList({"管理号码", "授权号码", "备份号码"}));
    EXPECT_EQ(dialog.findChild<QLineEdit*>(), nullptr);
}

TEST_F(NumberDialogTest, BothDialogsPreselectTheDefaultCategory)
{
    for (int category = 0; category < NumberCategory::kCount; ++category) {
        NumberCategory::SetDefault(category);
        CResetPhone entry;
        CPhoneClearDlg reset;
        EXPECT_EQ(entry.SelectedCategory(), category);
        EXPECT_EQ(reset.SelectedCategory(), category);
    }
    // The default is read when the dialog opens, not when it is built.
    CPhoneClearDlg reset;
    NumberCategory::SetDefault(NumberCategory::kBackup);
    Show(reset);
    EXPECT_EQ(reset.SelectedCategory(), NumberCategory::kBackup);
}

TEST_F(NumberDialogTest, EnterInTheNumberTextPressesOk)
{
    NumberCategory::SetDefault(NumberCategory::kBackup);
    CResetPhone dialog;
    Show(dialog);
    auto* edit = dialog.findChild<QLineEdit*>(QStringLiteral("numberEdit"));
    TypeText(edit, QStringLiteral("13800000000,"));
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.NumberText(), QStringLiteral("13800000000"));
    EXPECT_EQ(dialog.CategoryIndex(), NumberCategory::kBackup);
}

TEST_F(NumberDialogTest, ChosenCategoryOverridesTheDefault)
{
    NumberCategory::SetDefault(NumberCategory::kAdministrator);
    CResetPhone dialog;
    Show(dialog);
    auto* choice = dialog.findChild<QComboBox*>(QStringLiteral("categoryChoice"));
    QTest::keyClick(choice, Qt::Key_Down);
    QTest::keyClick(choice, Qt::Key_Down);
    TypeText(dialog.findChild<QLineEdit*>(QStringLiteral("numberEdit")), QStringLiteral("110"));
    ClickOk(dialog);
    EXPECT_EQ(dialog.CategoryIndex(), NumberCategory::kBackup);
    EXPECT_EQ(dialog.NumberText(), QStringLiteral("110"));
}

TEST_F(NumberDialogTest, EntryWithoutCategoryClosesWithMinusOne)
{
    NumberCategory::SetDefault(-1);
    CResetPhone dialog;
    Show(dialog);
    EXPECT_EQ(dialog.SelectedCategory(), -1);
    TypeText(dialog.findChild<QLineEdit*>(QStringLiteral("numberEdit")), QStringLiteral("110"));
    ClickOk(dialog);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.CategoryIndex(), -1);
}

TEST_F(NumberDialogTest, CancelAndEscapeCloseWithoutResult)
{
    CResetPhone entry;
    Show(entry);
    TypeText(entry.findChild<QLineEdit*>(QStringLiteral("numberEdit")), QStringLiteral("110"));
    QTest::mouseClick(entry.findChild<QPushButton*>(QStringLiteral("cancelButton")), Qt::LeftButton);
    EXPECT_EQ(entry.result(), QDialog::Rejected);
    EXPECT_FALSE(entry.isVisible());
    EXPECT_TRUE(entry.NumberText().isEmpty());

    CPhoneClearDlg reset;
    Show(reset);
    QTest::keyClick(&reset, Qt::Key_Escape);
    EXPECT_EQ(reset.result(), QDialog::Rejected);
    EXPECT_FALSE(reset.isVisible());
    EXPECT_TRUE(MessageBoxes::TakeRequests().isEmpty());
}

class ResetQuestionTest : public ::testing::TestWithParam<std::pair<int, const char*>>,
                          protected NumberDialogFixture {
protected:
    void SetUp() override { InstallHandler(); }
    void TearDown() override { RemoveHandler(); }
};

TEST_P(ResetQuestionTest, NoKeepsTheDialogOpenYesAccepts)
{
    const auto [category, question] = GetParam();
    NumberCategory::SetDefault(category);
    CPhoneClearDlg dialog;
    Show(dialog);
    EXPECT_EQ(dialog.SelectedCategory(), category);

    m_answer = MessageBoxes::Answer::No;
    ClickOk(dialog);
    QList<MessageBoxes::Request> requests = MessageBoxes::TakeRequests();
    ASSERT_EQ(requests.size(), 1);
    EXPECT_EQ(requests[0].text, QString::fromUtf8(question));
    EXPECT_EQ(requests[0].caption, QStringLiteral("YES"));
    EXPECT_EQ(requests[0].buttons, MessageBoxes::Buttons::YesNo);
    EXPECT_EQ(requests[0].icon, MessageBoxes::Icon::Information);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_NE(dialog.result(), QDialog::Accepted);

    m_answer = MessageBoxes::Answer::Yes;
    ClickOk(dialog);
    requests = MessageBoxes::TakeRequests();
    ASSERT_EQ(requests.size(), 1);
    EXPECT_EQ(requests[0].text, QString::fromUtf8(question));
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.CategoryIndex(), category);
}

INSTANTIATE_TEST_SUITE_P(Categories, ResetQuestionTest,
                         ::testing::Values(std::make_pair(0, "重置将清空所有的管理号码，确认清空吗？"),
                                           std::make_pair(1, "重置将清空所有的授权号码，确认清空吗？"),
                                           std::make_pair(2, "重置将清空所有的备份号码，确认清空吗？")));

TEST_F(NumberDialogTest, ResetAsksAboutTheListChosenNow)
{
    NumberCategory::SetDefault(NumberCategory::kBackup);
    CPhoneClearDlg dialog;
    Show(dialog);
    QTest::keyClick(dialog.findChild<QComboBox*>(QStringLiteral("categoryChoice")), Qt::Key_Up);
    m_answer = MessageBoxes::Answer::Yes;
    ClickOk(dialog);
    const QList<MessageBoxes::Request> requests = MessageBoxes::TakeRequests();
    ASSERT_EQ(requests.size(), 1);
    EXPECT_EQ(requests[0].text, QStringLiteral("重置将清空所有的授权号码，确认清空吗？"));
    EXPECT_EQ(dialog.CategoryIndex(), NumberCategory::kAuthorised);
}

TEST_F(NumberDialogTest, ResetWithoutCategoryDoesNothing)
{
    NumberCategory::SetDefault(-1);
    CPhoneClearDlg dialog;
    Show(dialog);
    m_answer = MessageBoxes::Answer::Yes;
    ClickOk(dialog);
    EXPECT_TRUE(MessageBoxes::TakeRequests().isEmpty());
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_NE(dialog.result(), QDialog::Accepted);
}

}  // namespace

// Qt's own texts in the program's windows: the buttons of a message box and
// the labels of the file dialogs, with Qt's Chinese translations and, where
// the system has none, with the program's explicit texts.
#include "controls/CUiLanguage.h"
#include "controls/MessageBoxes.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QRegularExpression>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

// A text without its keyboard mnemonic: "是(&Y)" and "&Yes" give "是", "Yes".
QString Plain(QString text)
{
    text.remove(QRegularExpression(QStringLiteral("\\(&.\\)")));
    text.remove(QLatin1Char('&'));
    return text.trimmed();
}

bool HasLatinLetter(const QString& text)
{
    return text.contains(QRegularExpression(QStringLiteral("[A-Za-z]")));
}

// Runs `inspect` on the modal window that `open` shows, then closes it.
template <typename Window>
void Inspect(const std::function<void()>& open, const std::function<void(Window&)>& inspect)
{
    bool seen = false;
    QTimer::singleShot(0, [&] {
        auto* window = qobject_cast<Window*>(QApplication::activeModalWidget());
        ASSERT_NE(window, nullptr);
        seen = true;
        inspect(*window);
        window->reject();
    });
    open();
    EXPECT_TRUE(seen);
}

QStringList ButtonTexts(QMessageBox& box)
{
    QStringList texts;
    for (QAbstractButton* button : box.buttons())
        texts << Plain(button->text());
    texts.sort();
    return texts;
}

struct LanguageCase {
    const char* name;
    bool translated;
};

class UiLanguageTest : public ::testing::TestWithParam<LanguageCase> {
protected:
    void SetUp() override
    {
        MessageBoxes::SetHandler({});
        if (GetParam().translated)
            ASSERT_TRUE(CUiLanguage::Install(*qApp)) << "qt6-translations-l10n is missing";
        else
            CUiLanguage::Uninstall(*qApp);
    }
    void TearDown() override { CUiLanguage::Install(*qApp); }
};

TEST_P(UiLanguageTest, MessageBoxButtonsAreChinese)
{
    Inspect<QMessageBox>([] { MessageBoxes::Show(nullptr, QStringLiteral("格式错误"), QStringLiteral("号码设置")); },
                         [](QMessageBox& box) {
                             EXPECT_EQ(box.windowTitle(), QStringLiteral("号码设置"));
                             EXPECT_EQ(ButtonTexts(box), QStringList({QStringLiteral("确定")}));
                         });
    Inspect<QMessageBox>(
        [] {
            MessageBoxes::Show(nullptr, QStringLiteral("重置将清空所有的备份号码，确认清空吗？"), QStringLiteral("YES"),
                               MessageBoxes::Buttons::YesNo, MessageBoxes::Icon::Information);
        },
        [](QMessageBox& box) {
            EXPECT_EQ(ButtonTexts(box), QStringList({QStringLiteral("否"), QStringLiteral("是")}));
        });
    EXPECT_EQ(Plain(CUiLanguage::ButtonText(QDialogButtonBox::Cancel)), QStringLiteral("取消"));
}

TEST_P(UiLanguageTest, FileDialogsAreChinese)
{
    const auto inspect = [](QFileDialog& dialog) {
        EXPECT_TRUE(dialog.testOption(QFileDialog::DontUseNativeDialog));
        EXPECT_FALSE(dialog.windowTitle().isEmpty());
        EXPECT_FALSE(HasLatinLetter(dialog.windowTitle())) << dialog.windowTitle().toStdString();
        for (const QFileDialog::DialogLabel label :
             {QFileDialog::LookIn, QFileDialog::FileName, QFileDialog::FileType, QFileDialog::Accept,
              QFileDialog::Reject}) {
            const QString text = Plain(dialog.labelText(label));
            EXPECT_FALSE(text.isEmpty()) << label;
            EXPECT_FALSE(HasLatinLetter(text)) << text.toStdString();
        }
        EXPECT_EQ(Plain(dialog.labelText(QFileDialog::Reject)), QStringLiteral("取消"));
        // What is on screen, not only what the dialog was told.
        for (QLabel* label : dialog.findChildren<QLabel*>()) {
            if (label->isVisibleTo(&dialog) && label->buddy())
                EXPECT_FALSE(HasLatinLetter(Plain(label->text()))) << label->text().toStdString();
        }
        for (QDialogButtonBox* box : dialog.findChildren<QDialogButtonBox*>()) {
            for (QAbstractButton* button : box->buttons())
                EXPECT_FALSE(HasLatinLetter(Plain(button->text()))) << button->text().toStdString();
        }
    };
    Inspect<QFileDialog>(
        [] { MessageBoxes::GetSaveFileName(nullptr, QStringLiteral("Kestrel-Alarm.cfg"), QStringLiteral("*.cfg"),
                                           QStringLiteral("cfg")); },
        inspect);
    Inspect<QFileDialog>(
        [] { MessageBoxes::GetOpenFileName(nullptr, QStringLiteral("*.cfg"), QStringLiteral("*.cfg")); }, inspect);
}

INSTANTIATE_TEST_SUITE_P(Languages, UiLanguageTest,
                         ::testing::Values(LanguageCase{"QtTranslations", true},
                                           LanguageCase{"ExplicitTexts", false}),
                         [](const ::testing::TestParamInfo<LanguageCase>& info) { return info.param.name; });

}  // namespace

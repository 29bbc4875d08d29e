#include "controls/CReportCtrl.h"
#include "controls/CReportHeaderCtrl.h"
#include "controls/CTabSheet.h"
#include "numbers/CAdminNoDlg.h"
#include "numbers/CBackNoDlg.h"
#include "numbers/CLrmNoDlg.h"
#include "numbers/CPhoneClearDlg.h"
#include "numbers/CResetPhone.h"
#include "numbers/NumberCategory.h"

#include <QDialog>
#include <QDir>
#include <QLineEdit>
#include <QTest>
#include <QVBoxLayout>
#include <gtest/gtest.h>

#include <memory>

namespace {

// The number pages on a tab sheet inside a dialog window, as the main window has them.
class NumberPagesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_window = std::make_unique<QDialog>();
        m_sheet = new CTabSheet(m_window.get());
        auto* layout = new QVBoxLayout(m_window.get());
        layout->addWidget(m_sheet);
        m_sheet->AddPage(m_admin.Title(), &m_admin, CAdminNoDlg::kTemplateId);
        m_sheet->AddPage(m_authorised.Title(), &m_authorised, CLrmNoDlg::kTemplateId);
        m_sheet->AddPage(m_backup.Title(), &m_backup, CBackNoDlg::kTemplateId);
        m_sheet->Show();
        m_window->resize(260, 300);
        m_window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_window.get()));
    }

    // Pages are owned here and outlive the sheet, as in the main window.
    CAdminNoDlg m_admin;
    CLrmNoDlg m_authorised;
    CBackNoDlg m_backup;
    std::unique_ptr<QDialog> m_window;
    CTabSheet* m_sheet = nullptr;
};

TEST_F(NumberPagesTest, EachPageIsOneListColumnFillingIt)
{
    const CNumberPage* pages[] = {&m_admin, &m_authorised, &m_backup};
    const char* titles[] = {"管理号码", "授权号码", "备份号码"};
    for (int i = 0; i < 3; ++i) {
        const CNumberPage* page = pages[i];
        m_sheet->setCurrentIndex(i);  // a hidden page lays itself out when shown
        EXPECT_EQ(page->Category(), i);
        EXPECT_EQ(m_sheet->tabText(i), QString::fromUtf8(titles[i]));
        CReportCtrl* list = page->List();
        EXPECT_EQ(page->findChildren<QWidget*>(Qt::FindDirectChildrenOnly).size(), 1);
        EXPECT_EQ(list->geometry(), page->rect());
        ASSERT_EQ(list->columnCount(), 1);
        EXPECT_EQ(list->horizontalHeaderItem(0)->text(), QString::fromUtf8(titles[i]));
        EXPECT_EQ(list->horizontalHeaderItem(0)->textAlignment() & Qt::AlignHorizontal_Mask, Qt::AlignLeft);
        EXPECT_EQ(list->columnWidth(0), 180);
        EXPECT_TRUE(list->HasGridLines());
        EXPECT_TRUE(list->HasCheckBoxes());
        EXPECT_TRUE(page->windowTitle().isEmpty());
    }
    EXPECT_EQ(CAdminNoDlg::kTemplateId, 133);
    EXPECT_EQ(CLrmNoDlg::kTemplateId, 134);
    EXPECT_EQ(CBackNoDlg::kTemplateId, 135);
}

TEST_F(NumberPagesTest, NumbersAndTickedNumbersInRowOrder)
{
    EXPECT_EQ(m_admin.RemoveAllNumbers(), 0);
    for (const char* number : {"13800000000", "110", "120", "119"})
        m_admin.AppendNumber(QString::fromLatin1(number));
    EXPECT_EQ(m_admin.Numbers(), QStringList({"13800000000", "110", "120", "119"}));
    EXPECT_TRUE(m_admin.CheckedNumbers().isEmpty());  // rows start unticked

    m_admin.List()->SetCheck(3, true);
    m_admin.List()->SetCheck(1, true);
    EXPECT_EQ(m_admin.CheckedNumbers(), QStringList({"110", "119"}));

    // Sorting by the header reorders the rows shown, ticks included.
    CReportHeaderCtrl* header = m_admin.List()->HeaderCtrl();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(40, header->height() / 2));
    EXPECT_EQ(m_admin.Numbers(), QStringList({"110", "119", "120", "13800000000"}));
    EXPECT_EQ(m_admin.CheckedNumbers(), QStringList({"110", "119"}));

    EXPECT_EQ(m_admin.RemoveAllNumbers(), 4);
    EXPECT_TRUE(m_admin.Numbers().isEmpty());
    EXPECT_TRUE(m_authorised.Numbers().isEmpty());
}

TEST_F(NumberPagesTest, EnterAndEscapeOnAPageDoNothing)
{
    m_admin.AppendNumber(QStringLiteral("110"));
    CReportCtrl* list = m_admin.List();
    list->setFocus();
    list->setCurrentCell(0, 0);
    for (Qt::Key key : {Qt::Key_Escape, Qt::Key_Return, Qt::Key_Enter}) {
        QTest::keyClick(list, key);
        EXPECT_TRUE(m_window->isVisible()) << key;
        EXPECT_TRUE(m_admin.isVisible()) << key;
        EXPECT_EQ(m_window->result(), 0) << key;
    }
    QTest::keyClick(&m_admin, Qt::Key_Escape);
    EXPECT_TRUE(m_window->isVisible());
    EXPECT_TRUE(m_admin.isVisible());
}

TEST_F(NumberPagesTest, ShownTabGivesTheDialogsTheirCategory)
{
    QTest::keyClick(m_sheet->tabBar(), Qt::Key_Right);
    QTest::keyClick(m_sheet->tabBar(), Qt::Key_Right);
    EXPECT_TRUE(m_backup.isVisible());
    NumberCategory::SetDefault(m_sheet->CurrentPage());
    CPhoneClearDlg dialog;
    EXPECT_EQ(dialog.SelectedCategory(), NumberCategory::kBackup);
    NumberCategory::SetDefault(NumberCategory::kAdministrator);
}

// Writes pictures of the pages and dialogs when SIRENSET_SCREENSHOT_DIR names a folder.
TEST_F(NumberPagesTest, Screens)
{
    const QString folder = qEnvironmentVariable("SIRENSET_SCREENSHOT_DIR");
    if (folder.isEmpty())
        GTEST_SKIP() << "SIRENSET_SCREENSHOT_DIR not set";
    ASSERT_TRUE(QDir().mkpath(folder));

    CNumberPage* pages[] = {&m_admin, &m_authorised, &m_backup};
    const char* names[] = {"number_page_admin.png", "number_page_authorised.png", "number_page_backup.png"};
    for (const char* number : {"13800000000", "110", "13912345678", "120"})
        m_admin.AppendNumber(QString::fromLatin1(number));
    m_admin.List()->SetCheck(1, true);
    m_authorised.AppendNumber(QStringLiteral("13700000001"));
    m_backup.AppendNumber(QStringLiteral("13600000002"));
    m_backup.AppendNumber(QStringLiteral("13600000003"));
    CReportHeaderCtrl* header = m_admin.List()->HeaderCtrl();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(40, header->height() / 2));
    for (int i = 0; i < 3; ++i) {
        QTest::mouseClick(m_sheet->tabBar(), Qt::LeftButton, {}, m_sheet->tabBar()->tabRect(i).center());
        ASSERT_TRUE(pages[i]->isVisible());
        EXPECT_TRUE(m_window->grab().save(QDir(folder).filePath(QString::fromLatin1(names[i]))));
    }

    NumberCategory::SetDefault(NumberCategory::kAuthorised);
    CResetPhone entry;
    entry.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&entry));
    QTest::keyClicks(entry.findChild<QLineEdit*>(QStringLiteral("numberEdit")), QStringLiteral("13800000000,110"));
    EXPECT_TRUE(entry.grab().save(QDir(folder).filePath(QStringLiteral("number_entry_dialog.png"))));
    CPhoneClearDlg reset;
    reset.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&reset));
    EXPECT_TRUE(reset.grab().save(QDir(folder).filePath(QStringLiteral("number_reset_dialog.png"))));
    NumberCategory::SetDefault(NumberCategory::kAdministrator);
}

}  // namespace

#include "controls/CReportCtrl.h"
#include "controls/CTabSheet.h"

#include <QDialog>
#include <QTabBar>
#include <QTest>
#include <QVBoxLayout>
#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

// A page like the program's: a child widget filled by one report list.
std::unique_ptr<QWidget> MakePage(const QString& title)
{
    auto page = std::make_unique<QWidget>();
    page->setObjectName(title);
    auto* list = new CReportCtrl(page.get());
    list->InsertColumn(0, title, Qt::AlignLeft, 180);
    auto* layout = new QVBoxLayout(page.get());
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(list);
    return page;
}

class TabSheetTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char* title : {"管理号码", "授权号码", "备份号码"})
            m_pages.push_back(MakePage(QString::fromUtf8(title)));
        m_sheet = std::make_unique<CTabSheet>();
        m_sheet->resize(360, 260);
        int templateId = 133;
        for (auto& page : m_pages)
            EXPECT_TRUE(m_sheet->AddPage(page->objectName(), page.get(), templateId++));
        m_sheet->Show();
        m_sheet->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_sheet.get()));
    }

    void ClickTab(int index)
    {
        QTabBar* bar = m_sheet->tabBar();
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(index).center());
    }

    // Exactly page `index` is visible.
    void ExpectShown(int index)
    {
        EXPECT_EQ(m_sheet->CurrentPage(), index);
        EXPECT_EQ(m_sheet->currentIndex(), index);
        for (int i = 0; i < int(m_pages.size()); ++i)
            EXPECT_EQ(m_pages[i]->isVisible(), i == index) << "page " << i;
    }

    // Pages outlive the sheet, as they do in the main window.
    std::vector<std::unique_ptr<QWidget>> m_pages;
    std::unique_ptr<CTabSheet> m_sheet;
};

TEST_F(TabSheetTest, ShowPutsTheTabsInOrderAndShowsPageZero)
{
    ASSERT_EQ(m_sheet->count(), 3);
    EXPECT_EQ(m_sheet->tabText(0), QStringLiteral("管理号码"));
    EXPECT_EQ(m_sheet->tabText(1), QStringLiteral("授权号码"));
    EXPECT_EQ(m_sheet->tabText(2), QStringLiteral("备份号码"));
    EXPECT_EQ(m_sheet->TemplateId(2), 135);
    ExpectShown(0);

    // The page lies under the row of tabs, inside the sheet.
    const QRect bar = m_sheet->tabBar()->geometry();
    const QRect page(m_pages[0]->mapTo(m_sheet.get(), QPoint(0, 0)), m_pages[0]->size());
    EXPECT_GT(page.top(), bar.bottom());
    EXPECT_TRUE(m_sheet->rect().contains(page));
    EXPECT_GT(page.height(), 100);
}

TEST_F(TabSheetTest, ShowingAgainDoesNotAddTabsTwice)
{
    ClickTab(2);
    m_sheet->Show();
    EXPECT_EQ(m_sheet->count(), 3);
    ExpectShown(0);
}

TEST_F(TabSheetTest, ClickingATabShowsItsPageAndHidesTheOld)
{
    ClickTab(1);
    ExpectShown(1);
    ClickTab(1);  // already current: nothing changes
    ExpectShown(1);
    ClickTab(2);
    ExpectShown(2);
    ClickTab(0);
    ExpectShown(0);
}

TEST_F(TabSheetTest, KeyboardOnTheTabsSwitchesThePageToo)
{
    QTabBar* bar = m_sheet->tabBar();
    QTest::keyClick(bar, Qt::Key_Right);
    ExpectShown(1);
    QTest::keyClick(bar, Qt::Key_Right);
    ExpectShown(2);
    QTest::keyClick(bar, Qt::Key_Left);
    ExpectShown(1);

    // Ctrl+Tab from inside a page's list moves to the next tab.
    auto* list = m_pages[1]->findChild<CReportCtrl*>();
    ASSERT_NE(list, nullptr);
    QTest::keyClick(list, Qt::Key_Tab, Qt::ControlModifier);
    ExpectShown(2);
    QTest::keyClick(list, Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
    ExpectShown(1);
}

TEST_F(TabSheetTest, PagesOutliveTheSheet)
{
    QWidget* page = m_pages[0].get();
    m_sheet.reset();
    EXPECT_EQ(page->parent(), nullptr);
    EXPECT_FALSE(page->isVisible());
}

TEST(TabSheet, SeventeenthPageIsIgnored)
{
    std::vector<std::unique_ptr<QWidget>> pages;
    for (int i = 0; i < 17; ++i)
        pages.push_back(MakePage(QStringLiteral("P%1").arg(i)));
    CTabSheet sheet;
    for (int i = 0; i < 16; ++i)
        EXPECT_TRUE(sheet.AddPage(pages[i]->objectName(), pages[i].get(), 200 + i));
    EXPECT_FALSE(sheet.AddPage(pages[16]->objectName(), pages[16].get(), 216));
    EXPECT_EQ(sheet.PageCount(), 16);
    EXPECT_EQ(sheet.Page(16), nullptr);
    EXPECT_EQ(sheet.TemplateId(15), 215);

    sheet.Show();
    EXPECT_EQ(sheet.count(), 16);
    EXPECT_EQ(sheet.indexOf(pages[16].get()), -1);
    EXPECT_EQ(pages[16]->parent(), nullptr);
    EXPECT_FALSE(sheet.AddPage(QStringLiteral("null"), nullptr, 1));
}

TEST(TabSheet, NothingShownBeforeShow)
{
    auto page = MakePage(QStringLiteral("A"));
    CTabSheet sheet;
    sheet.AddPage(QStringLiteral("A"), page.get(), 133);
    EXPECT_EQ(sheet.count(), 0);
    EXPECT_EQ(sheet.CurrentPage(), 0);
}

}  // namespace

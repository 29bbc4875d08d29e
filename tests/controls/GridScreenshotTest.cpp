#include "GridTestWindow.h"

#include <QDir>
#include <QImage>
#include <QPixmap>

#include <gtest/gtest.h>

namespace {

// Pictures go where SIRENSET_SCREENSHOT_DIR says, else to the temp folder.
QString ScreenshotPath(const QString& name)
{
    QString dir = qEnvironmentVariable("SIRENSET_SCREENSHOT_DIR");
    if (dir.isEmpty())
        dir = QDir::temp().filePath(QStringLiteral("sirenset-screens"));
    QDir().mkpath(dir);
    return QDir(dir).filePath(name);
}

// The colour in the empty right part of a cell, away from its text and
// grid lines.
QColor CellBackground(const QImage& image, const CListCtrlEx& grid, int row, int column)
{
    const QRect cell = grid.visualRect(grid.model()->index(row, column));
    const QPoint at = grid.viewport()->mapTo(grid.window(), QPoint(cell.right() - 3, cell.center().y()));
    return image.pixelColor(at);
}

}  // namespace

TEST(GridScreenshotTest, ParameterTableLooksLikeAGridWithItsEditorOverTheCell)
{
    GridTestWindow window;
    window.BuildParameterTable();
    ASSERT_TRUE(window.ShowAndActivate());
    CListCtrlEx& grid = *window.m_grid;

    for (int row = 0; row < grid.rowCount(); ++row)
        EXPECT_EQ(grid.rowHeight(row), CListCtrlEx::kRowHeight);
    EXPECT_EQ(grid.columnWidth(0), 170);
    EXPECT_EQ(grid.columnWidth(3), 130);
    EXPECT_TRUE(grid.showGrid());

    const QImage plain = window.grab().toImage();
    EXPECT_EQ(CellBackground(plain, grid, 0, 0), QColor(Qt::black)) << "heading label";
    EXPECT_EQ(CellBackground(plain, grid, 0, 1), QColor(Qt::white)) << "heading value";
    EXPECT_EQ(CellBackground(plain, grid, 1, 0), GridTestWindow::LabelGrey()) << "label column";
    EXPECT_EQ(CellBackground(plain, grid, 1, 2), GridTestWindow::LabelGrey()) << "right label column";

    struct Shot {
        int row;
        int column;
        const char* file;
    };
    const Shot shots[] = {
        {2, 1, "grid_text_editor.png"},
        {5, 1, "grid_choice_editor.png"},
        {7, 3, "grid_digits_editor.png"},
    };
    for (const Shot& shot : shots) {
        SCOPED_TRACE(shot.file);
        window.DoubleClickCell(shot.row, shot.column);
        QWidget* editor = grid.ActiveEditor();
        ASSERT_NE(editor, nullptr);
        EXPECT_EQ(editor->geometry(), grid.visualRect(grid.model()->index(shot.row, shot.column)));
        EXPECT_TRUE(window.grab().save(ScreenshotPath(QString::fromLatin1(shot.file))));
    }
}

TEST(GridScreenshotTest, SortedColumnShowsAnUpArrowWhenAscending)
{
    GridTestWindow window;
    CListCtrlEx& grid = *window.m_grid;
    grid.InsertColumn(0, QStringLiteral("号码"), 170);
    grid.InsertColumn(1, QStringLiteral("备注"), 170);
    const char* const numbers[] = {"13800000002", "13800000010", "13800000001"};
    for (int row = 0; row < 3; ++row)
        grid.InsertItem(row, QString::fromLatin1(numbers[row]));
    CellInfo* info = grid.GetColumnInfoForChange(0);
    info->m_sortType = kSortInteger;
    info->m_sortFlags = kSortToggles;
    ASSERT_TRUE(window.ShowAndActivate());
    grid.SortByColumn(0, true);
    ASSERT_TRUE(grid.IsSortAscending());
    EXPECT_EQ(grid.GetItemText(0, 0), QStringLiteral("13800000001"));
    EXPECT_TRUE(window.grab().save(ScreenshotPath(QStringLiteral("grid_sorted_ascending.png"))));
    grid.SortByColumn(0, true);
    EXPECT_EQ(grid.GetItemText(0, 0), QStringLiteral("13800000010"));
    EXPECT_TRUE(window.grab().save(ScreenshotPath(QStringLiteral("grid_sorted_descending.png"))));
}

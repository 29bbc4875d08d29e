#include "GridTestWindow.h"

#include "support/EventLoopWait.h"

#include <QImage>
#include <QTest>

#include <algorithm>
#include <QVBoxLayout>

namespace {

constexpr const char* kDateFormat = "yyyy-MM-dd HH:mm:ss";

QStringList Numbers(int from, int to)
{
    QStringList numbers;
    for (int n = from; n <= to; ++n)
        numbers << QString::number(n);
    return numbers;
}

}  // namespace

GridTestWindow::GridTestWindow(CListCtrlEx* grid)
{
    m_before = new QLineEdit(this);
    m_grid = grid ? grid : new CListCtrlEx;
    m_grid->setParent(this);
    m_after = new QPushButton(QStringLiteral("保存设置"), this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_before);
    layout->addWidget(m_grid);
    layout->addWidget(m_after);

    // The editors are hidden children of the window, as in the program.
    m_textBox = new QLineEdit(this);
    m_choiceList = new QComboBox(this);
    m_digitsBox = new CDigitsEdit(this);
    m_dateEdit = new QDateTimeEdit(this);
    m_dateEdit->setDisplayFormat(QString::fromLatin1(kDateFormat));
    m_dateEdit->setCalendarPopup(true);
    for (QWidget* editor : {static_cast<QWidget*>(m_textBox), static_cast<QWidget*>(m_choiceList),
                            static_cast<QWidget*>(m_digitsBox), static_cast<QWidget*>(m_dateEdit)})
        editor->hide();
    resize(720, 380);
}

const std::vector<GridTestWindow::Entry>& GridTestWindow::Entries()
{
    static const std::vector<Entry> entries = {
        {0, 0, QStringLiteral("预置内容设置"), Kind::Heading, {}},
        {1, 0, QStringLiteral("预置内容一:"), Kind::Text, {}},
        {2, 0, QStringLiteral("预置内容二:"), Kind::Text, {}},
        {3, 0, QStringLiteral("优先级设置"), Kind::Heading, {}},
        {4, 0, QStringLiteral("电话预警:"), Kind::Choice, Numbers(1, 10)},
        {5, 0, QStringLiteral("短信预警:"), Kind::Choice, Numbers(1, 10)},
        {6, 0, QStringLiteral("预警播报次数设置"), Kind::Heading, {}},
        {7, 0, QStringLiteral("短信预警播报次数:"), Kind::Digits, {}},
        {8, 0, QStringLiteral("GPRS预警播报次数:"), Kind::Digits, {}},
        {9, 0, QStringLiteral("其他设置"), Kind::Heading, {}},
        {10, 0, QStringLiteral("是否短信回执:"), Kind::Choice, {QStringLiteral("否"), QStringLiteral("是")}},
        {11, 0, QStringLiteral("终端时钟:"), Kind::Date, {}},
        {0, 2, QStringLiteral("GPRS中心设置"), Kind::Heading, {}},
        {1, 2, QStringLiteral("数据中心数目:"), Kind::Choice, Numbers(0, 1)},
        {2, 2, QStringLiteral("GPRS主中心地址"), Kind::Text, {}},
        {3, 2, QStringLiteral("GPRS主中心端口"), Kind::Digits, {}},
        {4, 2, QStringLiteral("工作参数设置"), Kind::Heading, {}},
        {5, 2, QStringLiteral("调试等级:"), Kind::Choice, Numbers(0, 2)},
        {6, 2, QStringLiteral("设备ID号码(固定8位):"), Kind::Text, {}},
        {7, 2, QStringLiteral("重连时尝试次数(2-65535):"), Kind::Digits, {}},
    };
    return entries;
}

const GridTestWindow::Entry* GridTestWindow::EntryAt(int row, int valueColumn) const
{
    for (const Entry& entry : Entries()) {
        if (entry.row == row && entry.labelColumn + 1 == valueColumn)
            return &entry;
    }
    return nullptr;
}

void GridTestWindow::BuildParameterTable()
{
    CListCtrlEx& grid = *m_grid;
    grid.DeleteAllItemData();
    grid.DeleteAllItems();
    grid.InsertColumn(0, QStringLiteral("配置项"), 170);
    grid.InsertColumn(1, QStringLiteral("配置值"), 180);
    grid.InsertColumn(2, QStringLiteral("配置项"), 170);
    grid.InsertColumn(3, QStringLiteral("配置值"), 130);
    for (int labelColumn : {0, 2}) {
        CellInfo* info = grid.GetColumnInfoForChange(labelColumn);
        info->m_readOnly = true;
        info->m_bkColor = LabelGrey();
        info->m_textColor = Qt::black;
    }
    grid.DefaultEditInfo() = EditInfo{nullptr, nullptr, m_digitsBox, false};

    for (int row = 0; row < kRows; ++row) {
        grid.InsertItem(row, QString());
        grid.AttachItemData(row);
    }
    const auto prepare = [this](QWidget* editor, int row, int column, QString& text, qintptr, CListCtrlEx*, int) {
        return Prepare(editor, row, column, text);
    };
    const auto commit = [this](QWidget* editor, int row, int column, QString& text, qintptr, CListCtrlEx*, int flag) {
        return Commit(editor, row, column, text, flag);
    };
    for (const Entry& entry : Entries()) {
        const int valueColumn = entry.labelColumn + 1;
        grid.SetItemText(entry.row, entry.labelColumn, entry.label);
        if (entry.kind == Kind::Heading) {
            SubItemData* value = grid.GetSubItemDataForChange(entry.row, valueColumn);
            value->m_bkColor = Qt::white;
            value->m_textColor = Qt::white;
            value->m_readOnly = true;
            SubItemData* label = grid.GetSubItemDataForChange(entry.row, entry.labelColumn);
            label->m_bkColor = Qt::black;
            label->m_textColor = Qt::white;
            continue;
        }
        if (entry.kind == Kind::Digits) {
            grid.SetItemText(entry.row, valueColumn, QString::number(entry.row * 10 + valueColumn));
            continue;
        }
        SubItemData* cell = grid.GetSubItemDataForChange(entry.row, valueColumn);
        cell->m_prepare = prepare;
        cell->m_commit = commit;
        switch (entry.kind) {
        case Kind::Text:
            cell->m_editor = m_textBox;
            grid.SetItemText(entry.row, valueColumn, QStringLiteral("文本%1").arg(entry.row));
            break;
        case Kind::Choice:
            cell->m_editor = m_choiceList;
            grid.SetItemText(entry.row, valueColumn, entry.choices.value(1));
            break;
        case Kind::Date:
            cell->m_editor = m_dateEdit;
            grid.SetItemText(entry.row, valueColumn, QStringLiteral("2024-05-06 07:08:09"));
            break;
        default:
            break;
        }
    }
}

int GridTestWindow::Prepare(QWidget* editor, int row, int column, QString& text)
{
    const Entry* entry = EntryAt(row, column);
    if (!editor)
        return 1;
    if (editor == m_textBox) {
        m_textBox->setText(text);
    } else if (editor == m_choiceList && entry) {
        m_choiceList->clear();
        m_choiceList->addItems(entry->choices);
        m_choiceList->setCurrentIndex(-1);
    } else if (editor == m_dateEdit) {
        m_dateEdit->setDateTime(QDateTime::fromString(text, QString::fromLatin1(kDateFormat)));
    }
    return 1;
}

int GridTestWindow::Commit(QWidget* editor, int, int, QString& text, int flag)
{
    m_commitFlags.push_back(flag);
    if (!editor)
        return 1;
    if (editor == m_textBox)
        text = m_textBox->text();
    else if (editor == m_choiceList && m_choiceList->currentIndex() >= 0)
        text = m_choiceList->currentText();
    else if (editor == m_dateEdit)
        text = m_dateEdit->dateTime().toString(QString::fromLatin1(kDateFormat));
    return 1;
}

bool GridTestWindow::ShowAndActivate()
{
    show();
    activateWindow();
    return QTest::qWaitForWindowActive(this);
}

QPoint GridTestWindow::CellCenter(int row, int column) const
{
    return m_grid->visualRect(m_grid->model()->index(row, column)).center();
}

void GridTestWindow::DoubleClickCell(int row, int column)
{
    QTest::mouseDClick(m_grid->viewport(), Qt::LeftButton, {}, CellCenter(row, column));
}

void GridTestWindow::ClickCell(int row, int column)
{
    QTest::mouseClick(m_grid->viewport(), Qt::LeftButton, {}, CellCenter(row, column));
}

bool GridTestWindow::WaitEditEnded() const
{
    return testsupport::WaitUntil([this] { return !m_grid->IsEditing(); }, std::chrono::seconds(2));
}

int GridTestWindow::SortArrowDirection(QHeaderView* header, int section)
{
    const QImage image = header->viewport()->grab().toImage();
    const int right = header->sectionViewportPosition(section) + header->sectionSize(section) - 1;
    const int left = right - 24;  // the arrow sits at the right end, clear of the text
    int top = -1;
    int bottom = -1;
    const auto darkInRow = [&](int y) {
        int count = 0;
        for (int x = std::max(left, 0); x < right - 1; ++x)
            count += image.pixelColor(x, y).lightness() < 128 ? 1 : 0;
        return count;
    };
    for (int y = 2; y < image.height() - 2; ++y) {
        if (darkInRow(y) > 0) {
            if (top < 0)
                top = y;
            bottom = y;
        }
    }
    if (top < 0 || top == bottom)
        return 0;
    const int topWidth = darkInRow(top);
    const int bottomWidth = darkInRow(bottom);
    return topWidth < bottomWidth ? 1 : (topWidth > bottomWidth ? -1 : 0);
}

#include "params/CFileModeBar.h"

#include "controls/MessageBoxes.h"
#include "params/CParameterTable.h"
#include "params/ConfigFilePlan.h"
#include "params/ParameterTableLayout.h"
#include "params/SavePlan.h"

#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

namespace {

const SaveItem* ItemAt(int row, int column)
{
    for (const SaveItem& item : AllSaveItems()) {
        if (item.row == row && item.column == column)
            return &item;
    }
    return nullptr;
}

QString FileLine(const QString& name)
{
    return QStringLiteral("正在显示配置文件“%1”，未连接终端也可编辑。保存设置等设备命令作用于所连接的终端，"
                          "而不是此文件；修改用“另存为配置文件…”保存。")
        .arg(name);
}

}  // namespace

CFileModeBar::CFileModeBar(CParameterTable& table, NumberPages pages, QWidget* parent)
    : QWidget(parent), m_table(table), m_pages(std::move(pages))
{
    m_line = new QLabel(this);
    m_line->setObjectName(QStringLiteral("fileModeLine"));
    m_line->setWordWrap(true);
    m_openButton = new QPushButton(QStringLiteral("打开配置文件…"), this);
    m_openButton->setObjectName(QStringLiteral("openFileButton"));
    m_saveAsButton = new QPushButton(QStringLiteral("另存为配置文件…"), this);
    m_saveAsButton->setObjectName(QStringLiteral("saveFileAsButton"));
    m_closeButton = new QPushButton(QStringLiteral("关闭文件"), this);
    m_closeButton->setObjectName(QStringLiteral("closeFileButton"));

    // Enter in the table must not press a button of this row.
    for (QPushButton* button : {m_openButton, m_saveAsButton, m_closeButton})
        button->setAutoDefault(false);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_line, 1);
    // Without a file the line is hidden; the buttons keep their width.
    layout->addStretch(0);
    layout->addWidget(m_openButton);
    layout->addWidget(m_saveAsButton);
    layout->addWidget(m_closeButton);

    connect(m_openButton, &QPushButton::clicked, this, &CFileModeBar::OnOpenClicked);
    connect(m_saveAsButton, &QPushButton::clicked, this, &CFileModeBar::OnSaveAsClicked);
    connect(m_closeButton, &QPushButton::clicked, this, &CFileModeBar::OnCloseClicked);
    connect(&m_table, &QTableWidget::itemChanged, this, &CFileModeBar::OnCellChanged);
    UpdateState();
}

std::optional<QString> CFileModeBar::OpenDocument(const QByteArray& bytes, const QString& displayName)
{
    CConfigDocument document;
    if (std::optional<QString> refusal = document.Open(bytes, displayName))
        return refusal;
    if (!m_shown) {
        m_terminalCells.clear();
        for (const ParameterTableRow& row : ParameterTableRows()) {
            if (row.editor != ParameterEditor::Heading)
                m_terminalCells[{row.row, row.valueColumn}] = m_table.CellText(row.row, row.valueColumn);
        }
        for (int category = 0; category < 3; ++category)
            m_terminalPages[static_cast<std::size_t>(category)] = m_pages.read(category);
    }
    m_document = document;
    m_shown = true;
    ShowDocument();
    return std::nullopt;
}

void CFileModeBar::OnOpenClicked()
{
    if (m_shown && !MayDropEdits(QStringLiteral("放弃对配置文件“%1”未保存的修改吗？").arg(m_document.DisplayName())))
        return;
    const QString path =
        MessageBoxes::GetOpenFileName(window(), QStringLiteral("*.cfg"), QStringLiteral("配置文件 (*.cfg)"));
    if (path.isEmpty())
        return;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        MessageBoxes::Show(window(), QStringLiteral("打开文件失败"));
        return;
    }
    if (std::optional<QString> refusal = OpenDocument(file.read(4 * qint64(kMaxConfigReportBytes)),
                                                      QFileInfo(path).fileName()))
        MessageBoxes::Show(window(), *refusal);
}

void CFileModeBar::OnSaveAsClicked()
{
    const QString path = MessageBoxes::GetSaveFileName(window(), m_document.DisplayName(),
                                                       QStringLiteral("配置文件 (*.cfg)"), QStringLiteral("cfg"));
    if (path.isEmpty())
        return;
    if (std::optional<QString> refusal = m_document.SaveFile(path)) {
        MessageBoxes::Show(window(), *refusal);
        return;
    }
    m_document.SetDisplayName(QFileInfo(path).fileName());
    UpdateState();
}

void CFileModeBar::OnCloseClicked()
{
    if (MayDropEdits(QStringLiteral("放弃对配置文件“%1”未保存的修改吗？").arg(m_document.DisplayName())))
        CloseFile();
}

bool CFileModeBar::AcceptTerminalValues()
{
    if (!m_shown)
        return true;
    if (m_refreshAnswer)
        return *m_refreshAnswer;
    // One question per refresh: the device writes all its cells at once.
    m_refreshAnswer = MayDropEdits(
        QStringLiteral("终端的参数已读回。关闭配置文件“%1”并放弃未保存的修改，显示终端的参数吗？\n选“否”则表格仍显示文件。")
            .arg(m_document.DisplayName()));
    QTimer::singleShot(0, this, [this] { m_refreshAnswer.reset(); });
    if (*m_refreshAnswer)
        CloseFile();
    return *m_refreshAnswer;
}

bool CFileModeBar::MayDropEdits(const QString& question)
{
    if (!m_shown || !m_document.IsModified())
        return true;
    return MessageBoxes::Show(window(), question, QString(), MessageBoxes::Buttons::YesNo,
                              MessageBoxes::Icon::Question)
        == MessageBoxes::Answer::Yes;
}

void CFileModeBar::CloseFile()
{
    m_shown = false;
    m_filling = true;
    for (const auto& [cell, text] : m_terminalCells)
        m_table.SetCellText(cell.first, cell.second, text);
    m_filling = false;
    for (int category = 0; category < 3; ++category)
        m_pages.write(category, m_terminalPages[static_cast<std::size_t>(category)]);
    m_document = CConfigDocument();
    UpdateState();
}

void CFileModeBar::ShowDocument()
{
    m_filling = true;
    for (const ParameterCellValue& cell : ParameterSetCells(m_document.Parameters())) {
        if (cell.text)
            m_table.SetCellText(cell.row, cell.column, *cell.text);
    }
    m_filling = false;
    for (int category = 0; category < 3; ++category)
        m_pages.write(category, m_document.Numbers(category));
    UpdateState();
}

void CFileModeBar::OnCellChanged(QTableWidgetItem* cell)
{
    if (!m_shown || m_filling || !cell)
        return;
    const SaveItem* item = ItemAt(cell->row(), cell->column());
    if (!item)
        return;
    const QString typed = cell->text();
    const std::optional<QString> refusal = m_document.SetValue(*item, typed);
    // The cell shows what the file now holds: the edit, as it reads back,
    // or the file's value when the edit was refused.
    m_filling = true;
    m_table.SetCellText(cell->row(), cell->column(), m_document.CellText(*item));
    m_filling = false;
    UpdateState();
    if (refusal)
        MessageBoxes::Show(window(), *refusal);
}

bool CFileModeBar::EditNumbers(NumberListEdit edit, int category, const QStringList& numbers,
                               const std::array<QStringList, 3>& ticked)
{
    using Edit = NumberListEdit;
    if (!m_shown)
        return false;
    std::optional<QString> refusal;
    if (edit == Edit::Add) {
        QStringList list = m_document.Numbers(category);
        for (const QString& number : numbers) {
            if (list.contains(number)) {
                refusal = QStringLiteral("号码重复,添加失败");
                break;
            }
            list << number;
        }
        if (!refusal)
            refusal = m_document.SetNumbers(category, list);
    } else if (edit == Edit::Reset) {
        refusal = m_document.SetNumbers(category, {});
    } else {
        for (int list = 0; list < 3 && !refusal; ++list) {
            QStringList kept = m_document.Numbers(list);
            for (const QString& number : ticked[static_cast<std::size_t>(list)])
                kept.removeAll(number);
            refusal = m_document.SetNumbers(list, kept);
        }
    }
    for (int list = 0; list < 3; ++list)
        m_pages.write(list, m_document.Numbers(list));
    UpdateState();
    if (refusal)
        MessageBoxes::Show(window(), *refusal);
    return true;
}

QString CFileModeBar::TitleSuffix() const
{
    if (!m_shown)
        return {};
    return QStringLiteral("配置文件 %1%2").arg(m_document.DisplayName(),
                                           m_document.IsModified() ? QStringLiteral(" *") : QString());
}

void CFileModeBar::UpdateState()
{
    m_line->setText(m_shown ? FileLine(m_document.DisplayName()) : QString());
    m_line->setVisible(m_shown);
    m_saveAsButton->setVisible(m_shown);
    m_closeButton->setVisible(m_shown);
    emit fileStateChanged();
}

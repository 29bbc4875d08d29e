#include "terminal/CCommandLibraryDlg.h"

#include "controls/MessageBoxes.h"
#include "terminal/CommandFrame.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

const QString kCaption = QStringLiteral("命令库");
const QString kFileFilter = QStringLiteral("命令库 (*.json);;所有文件 (*)");
constexpr int kLongestStepMs = 24 * 3600 * 1000;

enum StepColumn { KindColumn, TextColumn, TimeColumn, StepColumns };

QPushButton* Button(const QString& text, QLayout* layout)
{
    auto* button = new QPushButton(text);
    button->setAccessibleName(QString(text).remove(QStringLiteral("…")));
    layout->addWidget(button);
    return button;
}

QComboBox* Choices(const QStringList& items)
{
    auto* box = new QComboBox;
    box->addItems(items);
    return box;
}

}  // namespace

CCommandLibraryDlg::CCommandLibraryDlg(CCommandLibrary& library, QWidget* parent)
    : QDialog(parent), m_library(library)
{
    setWindowTitle(kCaption);
    auto* tabs = new QTabWidget;
    tabs->setAccessibleName(QStringLiteral("命令库分页"));
    tabs->addTab(CreateCommandPage(), QStringLiteral("命令"));
    tabs->addTab(CreateSequencePage(), QStringLiteral("序列"));

    auto* fileRow = new QHBoxLayout;
    connect(Button(QStringLiteral("导入…"), fileRow), &QPushButton::clicked, this, &CCommandLibraryDlg::Import);
    connect(Button(QStringLiteral("导出…"), fileRow), &QPushButton::clicked, this, &CCommandLibraryDlg::Export);
    fileRow->addStretch();
    auto* close = Button(QStringLiteral("关闭"), fileRow);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs);
    layout->addLayout(fileRow);
    FillCommandList({});
    FillSequenceList({});
}

void CCommandLibraryDlg::Name(QWidget* widget, const QString& accessibleName)
{
    widget->setAccessibleName(accessibleName);
    widget->setObjectName(accessibleName);
}

// --- Commands ------------------------------------------------------------

QWidget* CCommandLibraryDlg::CreateCommandPage()
{
    auto* page = new QWidget;
    m_commandList = new QListWidget;
    Name(m_commandList, QStringLiteral("命令列表"));
    auto* listButtons = new QHBoxLayout;
    connect(Button(QStringLiteral("新建"), listButtons), &QPushButton::clicked, this, [this] {
        TerminalCommand command;
        command.name = m_library.FreeCommandName(QStringLiteral("新命令"));
        command.lineEnd = TerminalCommand::LineEnd::Cr;
        NewCommand(command);
    });
    connect(Button(QStringLiteral("复制"), listButtons), &QPushButton::clicked, this, [this] {
        if (m_commandRow < 0 || !ApplyPendingEdits())
            return;
        TerminalCommand copy = m_library.Commands()[m_commandRow];
        copy.name = m_library.FreeCommandName(copy.name);
        copy.shortcut = 0;
        NewCommand(copy);
    });
    connect(Button(QStringLiteral("删除"), listButtons), &QPushButton::clicked, this,
            &CCommandLibraryDlg::DeleteCommand);
    auto* left = new QVBoxLayout;
    left->addWidget(m_commandList);
    left->addLayout(listButtons);

    m_nameEdit = new QLineEdit;
    m_contentEdit = new QLineEdit;
    m_contentKindBox = Choices({QStringLiteral("文本（GBK）"), QStringLiteral("十六进制")});
    m_lineEndBox = Choices({QStringLiteral("无"), QStringLiteral("CR"), QStringLiteral("LF"), QStringLiteral("CR LF")});
    m_checkBox = new QComboBox;
    for (const CheckValue::Kind kind : CheckValue::kAllKinds)
        m_checkBox->addItem(CheckValue::KindLabel(kind));
    m_orderBox = Choices({QStringLiteral("低字节在前"), QStringLiteral("高字节在前")});
    m_shortcutBox = Choices({QStringLiteral("无")});
    for (int key = 1; key <= CCommandLibrary::kMaxShortcut; ++key)
        m_shortcutBox->addItem(QStringLiteral("Ctrl+%1").arg(key));
    m_previewEdit = new QLineEdit;
    m_previewEdit->setReadOnly(true);

    auto* form = new QFormLayout;
    const QList<QPair<QString, QWidget*>> rows = {
        {QStringLiteral("名称"), m_nameEdit},          {QStringLiteral("内容"), m_contentEdit},
        {QStringLiteral("内容格式"), m_contentKindBox}, {QStringLiteral("行尾"), m_lineEndBox},
        {QStringLiteral("校验"), m_checkBox},          {QStringLiteral("校验字节顺序"), m_orderBox},
        {QStringLiteral("快捷键"), m_shortcutBox},      {QStringLiteral("发送的字节"), m_previewEdit},
    };
    for (const auto& [label, widget] : rows) {
        Name(widget, label);
        form->addRow(label + QStringLiteral("："), widget);
        m_commandForm << widget;
    }
    auto* editButtons = new QHBoxLayout;
    QPushButton* apply = Button(QStringLiteral("保存修改"), editButtons);
    QPushButton* send = Button(QStringLiteral("发送"), editButtons);
    m_commandForm << apply << send;
    connect(apply, &QPushButton::clicked, this, &CCommandLibraryDlg::ApplyCommand);
    connect(send, &QPushButton::clicked, this, [this] {
        if (m_commandRow >= 0 && ApplyCommand())
            emit sendCommandRequested(m_library.Commands()[m_commandRow].name);
    });
    auto* right = new QVBoxLayout;
    right->addLayout(form);
    right->addLayout(editButtons);
    right->addStretch();

    const auto edited = [this] {
        if (m_filling)
            return;
        m_commandEdited = true;
        UpdatePreview();
    };
    connect(m_nameEdit, &QLineEdit::textEdited, this, edited);
    connect(m_contentEdit, &QLineEdit::textChanged, this, edited);
    for (QComboBox* box : {m_contentKindBox, m_lineEndBox, m_checkBox, m_orderBox, m_shortcutBox})
        connect(box, &QComboBox::currentIndexChanged, this, edited);
    connect(m_commandList, &QListWidget::currentRowChanged, this, &CCommandLibraryDlg::OnCommandRowChanged);

    auto* layout = new QHBoxLayout(page);
    layout->addLayout(left, 1);
    layout->addLayout(right, 2);
    return page;
}

void CCommandLibraryDlg::FillCommandList(const QString& select)
{
    m_filling = true;
    m_commandList->clear();
    int row = m_library.Commands().isEmpty() ? -1 : 0;
    for (const TerminalCommand& command : m_library.Commands()) {
        m_commandList->addItem(command.shortcut ? QStringLiteral("%1  (Ctrl+%2)").arg(command.name).arg(command.shortcut)
                                                : command.name);
        if (command.name == select)
            row = m_commandList->count() - 1;
    }
    m_commandList->setCurrentRow(row);
    m_filling = false;
    ShowCommand(row);
}

void CCommandLibraryDlg::ShowCommand(int row)
{
    m_filling = true;
    m_commandRow = row;
    m_commandEdited = false;
    const TerminalCommand command = row >= 0 ? m_library.Commands()[row] : TerminalCommand{};
    m_nameEdit->setText(command.name);
    m_contentEdit->setText(command.content);
    m_contentKindBox->setCurrentIndex(static_cast<int>(command.contentKind));
    m_lineEndBox->setCurrentIndex(static_cast<int>(command.lineEnd));
    m_checkBox->setCurrentIndex(static_cast<int>(command.check));
    m_orderBox->setCurrentIndex(static_cast<int>(command.checkOrder));
    m_shortcutBox->setCurrentIndex(command.shortcut);
    for (QWidget* widget : m_commandForm)
        widget->setEnabled(row >= 0);
    m_filling = false;
    UpdatePreview();
}

TerminalCommand CCommandLibraryDlg::EditedCommand() const
{
    TerminalCommand command;
    command.name = m_nameEdit->text().trimmed();
    command.content = m_contentEdit->text();
    command.contentKind = static_cast<TerminalCommand::Content>(m_contentKindBox->currentIndex());
    command.lineEnd = static_cast<TerminalCommand::LineEnd>(m_lineEndBox->currentIndex());
    command.check = static_cast<CheckValue::Kind>(m_checkBox->currentIndex());
    command.checkOrder = static_cast<CheckValue::ByteOrder>(m_orderBox->currentIndex());
    command.shortcut = m_shortcutBox->currentIndex();
    return command;
}

QString CCommandLibraryDlg::PreviewText() const
{
    return m_previewEdit->text();
}

void CCommandLibraryDlg::UpdatePreview()
{
    if (m_commandRow < 0) {
        m_previewEdit->clear();
        return;
    }
    QString problem;
    const auto frame = CommandFrame::Build(EditedCommand(), &problem);
    m_previewEdit->setText(frame ? CommandFrame::ToHexText(*frame) : problem);
    // 2-byte order matters only for the 16-bit checks.
    m_orderBox->setEnabled(CheckValue::Width(EditedCommand().check) == 2);
}

bool CCommandLibraryDlg::ApplyCommand()
{
    if (m_commandRow < 0 || !m_commandEdited)
        return true;
    QString error;
    const TerminalCommand command = EditedCommand();
    if (!m_library.SetCommand(m_commandRow, command, &error)) {
        Tell(error, true);
        return false;
    }
    Store();
    FillCommandList(command.name);
    // A rename reached the sequences' send steps; show them, unless the
    // sequence form holds edits of its own.
    if (!m_sequenceEdited)
        FillSequenceList(m_sequenceRow >= 0 ? m_library.Sequences()[m_sequenceRow].name : QString());
    return true;
}

void CCommandLibraryDlg::OnCommandRowChanged(int row)
{
    if (m_filling || row == m_commandRow)
        return;
    const QString target = row >= 0 && row < m_library.Commands().size() ? m_library.Commands()[row].name : QString();
    if (!ApplyCommand()) {
        // Stay on the entry being edited: nothing typed is lost.
        const QSignalBlocker blocker(m_commandList);
        m_commandList->setCurrentRow(m_commandRow);
        return;
    }
    FillCommandList(target);
}

void CCommandLibraryDlg::NewCommand(const TerminalCommand& command)
{
    if (!ApplyPendingEdits())
        return;
    QString error;
    if (!m_library.SetCommand(m_library.Commands().size(), command, &error)) {
        Tell(error, true);
        return;
    }
    Store();
    FillCommandList(command.name);
    m_nameEdit->setFocus();
    m_nameEdit->selectAll();
}

void CCommandLibraryDlg::DeleteCommand()
{
    if (m_commandRow < 0)
        return;
    const QString name = m_library.Commands()[m_commandRow].name;
    if (MessageBoxes::Show(this, QStringLiteral("删除命令“%1”？").arg(name), kCaption, MessageBoxes::Buttons::YesNo,
                           MessageBoxes::Icon::Question)
        != MessageBoxes::Answer::Yes)
        return;
    m_library.RemoveCommand(m_commandRow);
    Store();
    FillCommandList({});
}

// --- Sequences -----------------------------------------------------------

QWidget* CCommandLibraryDlg::CreateSequencePage()
{
    auto* page = new QWidget;
    m_sequenceList = new QListWidget;
    Name(m_sequenceList, QStringLiteral("序列列表"));
    auto* listButtons = new QHBoxLayout;
    connect(Button(QStringLiteral("新建序列"), listButtons), &QPushButton::clicked, this, [this] {
        NewSequence({m_library.FreeSequenceName(QStringLiteral("新序列")), {}, 1});
    });
    connect(Button(QStringLiteral("复制序列"), listButtons), &QPushButton::clicked, this, [this] {
        if (m_sequenceRow < 0 || !ApplyPendingEdits())
            return;
        CommandSequence copy = m_library.Sequences()[m_sequenceRow];
        copy.name = m_library.FreeSequenceName(copy.name);
        NewSequence(copy);
    });
    connect(Button(QStringLiteral("删除序列"), listButtons), &QPushButton::clicked, this,
            &CCommandLibraryDlg::DeleteSequence);
    auto* left = new QVBoxLayout;
    left->addWidget(m_sequenceList);
    left->addLayout(listButtons);

    m_sequenceNameEdit = new QLineEdit;
    Name(m_sequenceNameEdit, QStringLiteral("序列名称"));
    m_repeatBox = new QSpinBox;
    m_repeatBox->setRange(1, 1000000);
    Name(m_repeatBox, QStringLiteral("重复次数"));
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("名称："), m_sequenceNameEdit);
    form->addRow(QStringLiteral("重复次数："), m_repeatBox);

    m_stepTable = new QTableWidget(0, StepColumns);
    Name(m_stepTable, QStringLiteral("步骤"));
    m_stepTable->setHorizontalHeaderLabels(
        {QStringLiteral("动作"), QStringLiteral("命令名称 / 回复文字"), QStringLiteral("时间 (ms)")});
    m_stepTable->horizontalHeader()->setSectionResizeMode(TextColumn, QHeaderView::Stretch);
    m_stepTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_stepTable->setSelectionMode(QAbstractItemView::SingleSelection);

    auto* stepButtons = new QHBoxLayout;
    QPushButton* addStep = Button(QStringLiteral("添加步骤"), stepButtons);
    QPushButton* removeStep = Button(QStringLiteral("删除步骤"), stepButtons);
    QPushButton* up = Button(QStringLiteral("上移"), stepButtons);
    QPushButton* down = Button(QStringLiteral("下移"), stepButtons);
    auto* editButtons = new QHBoxLayout;
    QPushButton* apply = Button(QStringLiteral("保存序列修改"), editButtons);
    QPushButton* run = Button(QStringLiteral("运行"), editButtons);
    m_sequenceForm << m_sequenceNameEdit << m_repeatBox << m_stepTable << addStep << removeStep << up << down << apply
                   << run;
    connect(addStep, &QPushButton::clicked, this, [this] {
        const int row = m_stepTable->currentRow() >= 0 ? m_stepTable->currentRow() + 1 : m_stepTable->rowCount();
        AddStepRow(row, {SequenceStep::Kind::Send,
                         m_library.Commands().isEmpty() ? QString() : m_library.Commands().front().name, 1000});
        m_stepTable->selectRow(row);
        m_sequenceEdited = true;
    });
    connect(removeStep, &QPushButton::clicked, this, [this] {
        if (m_stepTable->currentRow() < 0)
            return;
        m_stepTable->removeRow(m_stepTable->currentRow());
        m_sequenceEdited = true;
    });
    connect(up, &QPushButton::clicked, this, [this] { MoveStep(-1); });
    connect(down, &QPushButton::clicked, this, [this] { MoveStep(1); });
    connect(apply, &QPushButton::clicked, this, &CCommandLibraryDlg::ApplySequence);
    connect(run, &QPushButton::clicked, this, [this] {
        if (m_sequenceRow >= 0 && ApplySequence())
            emit runSequenceRequested(m_library.Sequences()[m_sequenceRow].name);
    });
    const auto edited = [this] {
        if (!m_filling)
            m_sequenceEdited = true;
    };
    connect(m_sequenceNameEdit, &QLineEdit::textEdited, this, edited);
    connect(m_repeatBox, &QSpinBox::valueChanged, this, edited);
    connect(m_sequenceList, &QListWidget::currentRowChanged, this, &CCommandLibraryDlg::OnSequenceRowChanged);

    auto* right = new QVBoxLayout;
    right->addLayout(form);
    right->addWidget(m_stepTable);
    right->addLayout(stepButtons);
    right->addLayout(editButtons);
    auto* layout = new QHBoxLayout(page);
    layout->addLayout(left, 1);
    layout->addLayout(right, 2);
    return page;
}

void CCommandLibraryDlg::FillSequenceList(const QString& select)
{
    m_filling = true;
    m_sequenceList->clear();
    int row = m_library.Sequences().isEmpty() ? -1 : 0;
    for (const CommandSequence& sequence : m_library.Sequences()) {
        m_sequenceList->addItem(sequence.name);
        if (sequence.name == select)
            row = m_sequenceList->count() - 1;
    }
    m_sequenceList->setCurrentRow(row);
    m_filling = false;
    ShowSequence(row);
}

void CCommandLibraryDlg::ShowSequence(int row)
{
    m_filling = true;
    m_sequenceRow = row;
    m_sequenceEdited = false;
    const CommandSequence sequence = row >= 0 ? m_library.Sequences()[row] : CommandSequence{};
    m_sequenceNameEdit->setText(sequence.name);
    m_repeatBox->setValue(sequence.repeat);
    SetStepRows(sequence.steps);
    for (QWidget* widget : m_sequenceForm)
        widget->setEnabled(row >= 0);
    m_filling = false;
}

void CCommandLibraryDlg::SetStepRows(const QList<SequenceStep>& steps)
{
    const bool filling = m_filling;
    m_filling = true;
    m_stepTable->setRowCount(0);
    for (const SequenceStep& step : steps)
        AddStepRow(m_stepTable->rowCount(), step);
    m_filling = filling;
}

void CCommandLibraryDlg::AddStepRow(int row, const SequenceStep& step)
{
    m_stepTable->insertRow(row);
    auto* kind = Choices({QStringLiteral("发送命令"), QStringLiteral("等待回复"), QStringLiteral("暂停")});
    kind->setCurrentIndex(static_cast<int>(step.kind));
    auto* text = new QComboBox;
    text->setEditable(true);
    for (const TerminalCommand& command : m_library.Commands())
        text->addItem(command.name);
    text->setCurrentText(step.text);
    auto* time = new QSpinBox;
    time->setRange(0, kLongestStepMs);
    time->setValue(step.ms);
    const auto edited = [this] {
        if (!m_filling)
            m_sequenceEdited = true;
    };
    const auto fitKind = [kind, text, time] {
        const auto chosen = static_cast<SequenceStep::Kind>(kind->currentIndex());
        text->setEnabled(chosen != SequenceStep::Kind::Pause);
        time->setEnabled(chosen != SequenceStep::Kind::Send);
    };
    fitKind();
    connect(kind, &QComboBox::currentIndexChanged, this, edited);
    connect(kind, &QComboBox::currentIndexChanged, this, fitKind);
    connect(text, &QComboBox::currentTextChanged, this, edited);
    connect(time, &QSpinBox::valueChanged, this, edited);
    m_stepTable->setCellWidget(row, KindColumn, kind);
    m_stepTable->setCellWidget(row, TextColumn, text);
    m_stepTable->setCellWidget(row, TimeColumn, time);
    // Names follow the row number, which insertions change.
    for (int r = 0; r < m_stepTable->rowCount(); ++r) {
        const QString step = QStringLiteral("第 %1 步").arg(r + 1);
        m_stepTable->cellWidget(r, KindColumn)->setAccessibleName(step + QStringLiteral(" 动作"));
        m_stepTable->cellWidget(r, TextColumn)->setAccessibleName(step + QStringLiteral(" 命令名称或回复文字"));
        m_stepTable->cellWidget(r, TimeColumn)->setAccessibleName(step + QStringLiteral(" 时间（毫秒）"));
    }
}

SequenceStep CCommandLibraryDlg::StepAt(int row) const
{
    SequenceStep step;
    step.kind = static_cast<SequenceStep::Kind>(
        static_cast<QComboBox*>(m_stepTable->cellWidget(row, KindColumn))->currentIndex());
    if (step.kind != SequenceStep::Kind::Pause)
        step.text = static_cast<QComboBox*>(m_stepTable->cellWidget(row, TextColumn))->currentText();
    if (step.kind != SequenceStep::Kind::Send)
        step.ms = static_cast<QSpinBox*>(m_stepTable->cellWidget(row, TimeColumn))->value();
    return step;
}

void CCommandLibraryDlg::MoveStep(int delta)
{
    const int row = m_stepTable->currentRow();
    const int target = row + delta;
    if (row < 0 || target < 0 || target >= m_stepTable->rowCount())
        return;
    QList<SequenceStep> steps = EditedSequence().steps;
    steps.swapItemsAt(row, target);
    SetStepRows(steps);
    m_stepTable->selectRow(target);
    m_sequenceEdited = true;
}

CommandSequence CCommandLibraryDlg::EditedSequence() const
{
    CommandSequence sequence;
    sequence.name = m_sequenceNameEdit->text().trimmed();
    sequence.repeat = m_repeatBox->value();
    for (int row = 0; row < m_stepTable->rowCount(); ++row)
        sequence.steps << StepAt(row);
    return sequence;
}

bool CCommandLibraryDlg::ApplySequence()
{
    if (m_sequenceRow < 0 || !m_sequenceEdited)
        return true;
    QString error;
    const CommandSequence sequence = EditedSequence();
    if (!m_library.SetSequence(m_sequenceRow, sequence, &error)) {
        Tell(error, true);
        return false;
    }
    Store();
    FillSequenceList(sequence.name);
    return true;
}

void CCommandLibraryDlg::OnSequenceRowChanged(int row)
{
    if (m_filling || row == m_sequenceRow)
        return;
    const QString target =
        row >= 0 && row < m_library.Sequences().size() ? m_library.Sequences()[row].name : QString();
    if (!ApplySequence()) {
        const QSignalBlocker blocker(m_sequenceList);
        m_sequenceList->setCurrentRow(m_sequenceRow);
        return;
    }
    FillSequenceList(target);
}

void CCommandLibraryDlg::NewSequence(const CommandSequence& sequence)
{
    if (!ApplyPendingEdits())
        return;
    QString error;
    if (!m_library.SetSequence(m_library.Sequences().size(), sequence, &error)) {
        Tell(error, true);
        return;
    }
    Store();
    FillSequenceList(sequence.name);
}

void CCommandLibraryDlg::DeleteSequence()
{
    if (m_sequenceRow < 0)
        return;
    const QString name = m_library.Sequences()[m_sequenceRow].name;
    if (MessageBoxes::Show(this, QStringLiteral("删除序列“%1”？").arg(name), kCaption, MessageBoxes::Buttons::YesNo,
                           MessageBoxes::Icon::Question)
        != MessageBoxes::Answer::Yes)
        return;
    m_library.RemoveSequence(m_sequenceRow);
    Store();
    FillSequenceList({});
}

// --- Both ----------------------------------------------------------------

bool CCommandLibraryDlg::ApplyPendingEdits()
{
    return ApplyCommand() && ApplySequence();
}

void CCommandLibraryDlg::Import()
{
    if (!ApplyPendingEdits())
        return;
    const QString path = MessageBoxes::GetOpenFileName(this, {}, kFileFilter);
    if (path.isEmpty())
        return;
    ImportResult result;
    QString error;
    if (!m_library.Import(path, &result, &error)) {
        Tell(error + QStringLiteral("命令库没有改变。"), true);
        return;
    }
    Store();
    FillCommandList(m_commandRow >= 0 ? m_library.Commands()[m_commandRow].name : QString());
    FillSequenceList(m_sequenceRow >= 0 ? m_library.Sequences()[m_sequenceRow].name : QString());
    Tell(result.Summary(), false);
}

void CCommandLibraryDlg::Export()
{
    if (!ApplyPendingEdits())
        return;
    const QString path =
        MessageBoxes::GetSaveFileName(this, QStringLiteral("commands.json"), kFileFilter, QStringLiteral("json"));
    if (path.isEmpty())
        return;
    QString error;
    if (m_library.Export(path, &error))
        Tell(QStringLiteral("命令库已导出到“%1”。").arg(path), false);
    else
        Tell(error, true);
}

void CCommandLibraryDlg::Store()
{
    QString error;
    if (!m_library.Store(&error))
        Tell(error + QStringLiteral("修改只在本次运行中有效。"), true);
}

void CCommandLibraryDlg::Tell(const QString& text, bool problem)
{
    MessageBoxes::Show(this, text, kCaption, MessageBoxes::Buttons::Ok,
                       problem ? MessageBoxes::Icon::Warning : MessageBoxes::Icon::Information);
}

#include "terminal/CTerminalPanel.h"

#include "controls/MessageBoxes.h"
#include "resources/Texts.h"
#include "serial/CSerial.h"
#include "terminal/CSendHistory.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSpinBox>
#include <QToolButton>

#include <algorithm>

namespace {

constexpr int kMargin = 8;
constexpr int kIntervalWidth = 80;

}  // namespace

CTerminalPanel::CTerminalPanel(Writer writer, QWidget* parent, CSendHistory* history)
    : QGroupBox(parent), m_writer(std::move(writer)), m_history(history)
{
    setObjectName(QStringLiteral("terminalPanel"));
    resize(kSize);
    CreateControls();
    connect(m_sendButton, &QPushButton::clicked, this, &CTerminalPanel::OnSendClicked);
    // clicked, not toggled: only the user's click starts or stops the timer.
    connect(m_timedSendCheck, &QCheckBox::clicked, this, &CTerminalPanel::OnTimedSendClicked);
    connect(m_hexDisplayCheck, &QCheckBox::toggled, this, &CTerminalPanel::hexDisplayChanged);
    connect(&m_sendTimer, &QTimer::timeout, this, &CTerminalPanel::OnSendTimer);
    connect(m_timeStampCheck, &QCheckBox::toggled, this, &CTerminalPanel::timeStampsChanged);
    connect(m_packetGapSpin, &QSpinBox::valueChanged, this, &CTerminalPanel::packetGapChanged);
    connect(m_pauseButton, &QPushButton::toggled, this, &CTerminalPanel::displayPausedChanged);
    connect(m_captureButton, &QPushButton::clicked, this, [this] { emit captureClicked(!m_captureRunning); });
    connect(m_runButton, &QPushButton::clicked, this, &CTerminalPanel::OnRunClicked);
    connect(m_libraryButton, &QPushButton::clicked, this, &CTerminalPanel::libraryEditRequested);
}

CTerminalPanel::Writer CTerminalPanel::SerialWriter(CSerial& serial)
{
    return [&serial](const QByteArray& bytes) { return serial.Write(bytes.constData(), static_cast<int>(bytes.size())); };
}

void CTerminalPanel::CreateControls()
{
    auto* sendLabel = new QLabel(Texts::SendDataLabel(), this);
    m_sendEdit = new QLineEdit(this);
    m_sendEdit->setObjectName(QStringLiteral("sendEdit"));
    m_sendButton = new QPushButton(Texts::Send(), this);
    m_sendButton->setObjectName(QStringLiteral("sendButton"));
    // Enter in the send box must not press a button of the window.
    m_sendButton->setAutoDefault(false);
    m_appendCrCheck = new QCheckBox(Texts::AppendCarriageReturn(), this);
    m_appendCrCheck->setObjectName(QStringLiteral("appendCrCheck"));
    m_hexSendCheck = new QCheckBox(Texts::HexSend(), this);
    m_hexSendCheck->setObjectName(QStringLiteral("hexSendCheck"));
    m_timedSendCheck = new QCheckBox(Texts::TimedSend(), this);
    m_timedSendCheck->setObjectName(QStringLiteral("timedSendCheck"));
    m_hexDisplayCheck = new QCheckBox(Texts::HexDisplay(), this);
    m_hexDisplayCheck->setObjectName(QStringLiteral("hexDisplayCheck"));
    m_intervalEdit = new QLineEdit(QStringLiteral("1000"), this);
    m_intervalEdit->setObjectName(QStringLiteral("intervalEdit"));
    m_intervalEdit->setMaximumWidth(kIntervalWidth);
    auto* unitLabel = new QLabel(Texts::MillisecondsPerSend(), this);
    // The labels name the boxes they stand beside.
    sendLabel->setBuddy(m_sendEdit);
    unitLabel->setBuddy(m_intervalEdit);

    auto* layout = new QGridLayout(this);
    layout->setContentsMargins(kMargin, kMargin, kMargin, kMargin);
    layout->setVerticalSpacing(2);
    layout->addWidget(sendLabel, 0, 0, 1, 2);
    m_historyButton = new QToolButton(this);
    m_historyButton->setObjectName(QStringLiteral("historyButton"));
    m_historyButton->setArrowType(Qt::DownArrow);
    m_historyButton->setPopupMode(QToolButton::InstantPopup);
    m_historyButton->setAccessibleName(QStringLiteral("发送历史"));
    m_historyButton->setToolTip(QStringLiteral("最近发送过的数据（发送框里也可以按 ↑ ↓ 找回）"));
    m_historyButton->setMenu(new QMenu(m_historyButton));
    m_historyButton->setVisible(m_history != nullptr);
    connect(m_historyButton->menu(), &QMenu::aboutToShow, this, &CTerminalPanel::FillHistoryMenu);
    m_sendEdit->installEventFilter(this);
    auto* sendRow = new QHBoxLayout;
    sendRow->setSpacing(2);
    sendRow->addWidget(m_sendEdit, 1);
    sendRow->addWidget(m_historyButton);
    sendRow->addWidget(m_sendButton);
    layout->addLayout(sendRow, 1, 0, 1, 2);
    layout->addWidget(m_appendCrCheck, 2, 0);
    layout->addWidget(m_hexSendCheck, 2, 1);
    layout->addWidget(m_timedSendCheck, 3, 0);
    layout->addWidget(m_hexDisplayCheck, 3, 1);
    auto* intervalRow = new QHBoxLayout;
    intervalRow->addWidget(m_intervalEdit);
    intervalRow->addWidget(unitLabel);
    intervalRow->addStretch(1);
    layout->addLayout(intervalRow, 4, 0, 1, 2);
    CreateDisplayControls();
}

void CTerminalPanel::CreateDisplayControls()
{
    m_timeStampCheck = new QCheckBox(QStringLiteral("时间戳"), this);
    m_timeStampCheck->setObjectName(QStringLiteral("timeStampCheck"));
    m_timeStampCheck->setToolTip(QStringLiteral("每条接收数据前加上首字节到达的时间；发送的数据也显示出来，"
                                                "应答显示距发送的毫秒数"));
    auto* gapLabel = new QLabel(QStringLiteral("分包"), this);
    m_packetGapSpin = new QSpinBox(this);
    m_packetGapSpin->setObjectName(QStringLiteral("packetGapSpin"));
    m_packetGapSpin->setRange(0, 1000);
    m_packetGapSpin->setSuffix(QStringLiteral(" ms"));
    m_packetGapSpin->setAccessibleName(QStringLiteral("分包间隔"));
    m_packetGapSpin->setToolTip(QStringLiteral("接收数据停顿这么久才算一包（勾选时间戳时），"
                                               "否则每隔这么久显示一次"));
    gapLabel->setBuddy(m_packetGapSpin);
    m_pauseButton = new QPushButton(QStringLiteral("暂停显示"), this);
    m_pauseButton->setObjectName(QStringLiteral("pauseDisplayButton"));
    m_pauseButton->setCheckable(true);
    m_pauseButton->setAutoDefault(false);
    m_pauseButton->setToolTip(QStringLiteral("日志窗口停止滚动；数据照常接收，日志文件和保存的数据不缺"));
    m_captureButton = new QPushButton(this);
    m_captureButton->setObjectName(QStringLiteral("captureButton"));
    m_captureButton->setAutoDefault(false);
    ShowCaptureRunning(false);

    auto* layout = static_cast<QGridLayout*>(this->layout());
    auto* stampRow = new QHBoxLayout;
    stampRow->addWidget(m_timeStampCheck);
    stampRow->addStretch(1);
    stampRow->addWidget(gapLabel);
    stampRow->addWidget(m_packetGapSpin);
    layout->addLayout(stampRow, 5, 0, 1, 2);
    layout->addWidget(m_pauseButton, 6, 0);
    layout->addWidget(m_captureButton, 6, 1);
    CreateLibraryControls();
}

void CTerminalPanel::CreateLibraryControls()
{
    m_libraryCombo = new QComboBox(this);
    m_libraryCombo->setObjectName(QStringLiteral("libraryCombo"));
    m_libraryCombo->setAccessibleName(QStringLiteral("命令库中的命令和序列"));
    m_libraryCombo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_libraryCombo->setMinimumContentsLength(6);
    m_libraryCombo->setPlaceholderText(QStringLiteral("命令库为空"));
    m_runButton = new QPushButton(QStringLiteral("执行"), this);
    m_runButton->setObjectName(QStringLiteral("runLibraryButton"));
    m_runButton->setAutoDefault(false);
    m_libraryButton = new QPushButton(QStringLiteral("命令库…"), this);
    m_libraryButton->setObjectName(QStringLiteral("libraryButton"));
    m_libraryButton->setAutoDefault(false);
    m_libraryButton->setToolTip(QStringLiteral("编辑命令库：命令、校验、快捷键 Ctrl+1…9、序列，导入和导出"));
    auto* row = new QHBoxLayout;
    row->setSpacing(2);
    row->addWidget(m_libraryCombo, 1);
    row->addWidget(m_runButton);
    row->addWidget(m_libraryButton);
    static_cast<QGridLayout*>(layout())->addLayout(row, 7, 0, 1, 2);
    SetLibraryItems({});
}

void CTerminalPanel::SetLibraryItems(const QList<LibraryItem>& items)
{
    const QString current = m_libraryCombo->currentText();
    m_libraryItems = items;
    m_libraryCombo->clear();
    for (const LibraryItem& item : items)
        m_libraryCombo->addItem(item.label);
    // The choice stays when the library changes; else the first entry (a
    // combo box with a placeholder would otherwise choose none).
    const int again = m_libraryCombo->findText(current);
    m_libraryCombo->setCurrentIndex(again >= 0 ? again : (items.isEmpty() ? -1 : 0));
    m_runButton->setEnabled(m_sequenceRunning || !items.isEmpty());
}

void CTerminalPanel::ShowSequenceRunning(bool running)
{
    m_sequenceRunning = running;
    m_runButton->setText(running ? QStringLiteral("停止") : QStringLiteral("执行"));
    m_runButton->setEnabled(running || !m_libraryItems.isEmpty());
    m_libraryCombo->setEnabled(!running);
}

void CTerminalPanel::OnRunClicked()
{
    if (m_sequenceRunning) {
        emit sequenceStopClicked();
        return;
    }
    const int index = m_libraryCombo->currentIndex();
    if (index < 0 || index >= m_libraryItems.size())
        return;
    const LibraryItem& item = m_libraryItems.at(index);
    if (item.sequence)
        emit librarySequenceChosen(item.name);
    else
        emit libraryCommandChosen(item.name);
}

bool CTerminalPanel::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_sendEdit && m_history && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Up || key == Qt::Key_Down) {
            StepHistory(key == Qt::Key_Up ? 1 : -1);
            return true;
        }
    }
    return QGroupBox::eventFilter(watched, event);
}

void CTerminalPanel::StepHistory(int direction)
{
    const int count = static_cast<int>(m_history->Entries().size());
    const int next = std::clamp(m_historyIndex + direction, -1, count - 1);
    if (next == m_historyIndex)
        return;
    m_historyIndex = next;
    if (next < 0)
        m_sendEdit->clear();
    else
        ShowHistoryEntry(next);
}

void CTerminalPanel::ShowHistoryEntry(int index)
{
    const SentEntry& entry = m_history->Entries().at(index);
    m_sendEdit->setText(entry.text);
    m_hexSendCheck->setChecked(entry.hex);
}

void CTerminalPanel::FillHistoryMenu()
{
    QMenu* menu = m_historyButton->menu();
    menu->clear();
    const QList<SentEntry>& entries = m_history->Entries();
    if (entries.isEmpty())
        menu->addAction(QStringLiteral("（还没有发送过）"))->setEnabled(false);
    for (int i = 0; i < entries.size(); ++i) {
        QString label = entries[i].text;
        label.replace(QLatin1Char('&'), QStringLiteral("&&"));
        if (entries[i].hex)
            label = QStringLiteral("[HEX] ") + label;
        menu->addAction(label, this, [this, i] {
            m_historyIndex = i;
            ShowHistoryEntry(i);
            m_sendEdit->setFocus();
        });
    }
}

QSize CTerminalPanel::sizeHint() const
{
    return kSize.expandedTo(minimumSizeHint());
}

QList<QWidget*> CTerminalPanel::FocusChain() const
{
    return {m_sendEdit,       m_historyButton,  m_sendButton,    m_appendCrCheck, m_hexSendCheck,
            m_timedSendCheck, m_hexDisplayCheck, m_intervalEdit, m_timeStampCheck, m_packetGapSpin,
            m_pauseButton,    m_captureButton,  m_libraryCombo,  m_runButton,     m_libraryButton};
}

bool CTerminalPanel::IsHexDisplay() const
{
    return m_hexDisplayCheck->isChecked();
}

void CTerminalPanel::SetHexDisplay(bool on)
{
    m_hexDisplayCheck->setChecked(on);
}

bool CTerminalPanel::IsTimeStamps() const
{
    return m_timeStampCheck->isChecked();
}

void CTerminalPanel::SetTimeStamps(bool on)
{
    m_timeStampCheck->setChecked(on);
}

int CTerminalPanel::PacketGapMs() const
{
    return m_packetGapSpin->value();
}

void CTerminalPanel::SetPacketGapMs(int ms)
{
    m_packetGapSpin->setValue(ms);
}

bool CTerminalPanel::IsDisplayPaused() const
{
    return m_pauseButton->isChecked();
}

void CTerminalPanel::SetDisplayPaused(bool on)
{
    m_pauseButton->setChecked(on);
}

void CTerminalPanel::ShowCaptureRunning(bool running, const QString& path)
{
    m_captureRunning = running;
    m_captureButton->setText(running ? QStringLiteral("停止保存") : QStringLiteral("保存接收数据…"));
    m_captureButton->setToolTip(running ? QStringLiteral("正在保存接收数据到 %1").arg(path)
                                        : QStringLiteral("把收到的每个字节原样保存到文件，直到停止"));
}

void CTerminalPanel::StopTimedSend()
{
    m_sendTimer.stop();
    m_timedSendCheck->setChecked(false);
}

void CTerminalPanel::OnSendClicked()
{
    SendOnce(TerminalSend::Trigger::Button);
}

void CTerminalPanel::OnSendTimer()
{
    SendOnce(TerminalSend::Trigger::Timer);
}

void CTerminalPanel::OnTimedSendClicked(bool checked)
{
    if (m_intervalEdit->text().isEmpty()) {
        MessageBoxes::Show(this, QStringLiteral("发送时间间隔不能为空"));
        // Also when the click switched it off: a running timer must stop
        // whenever the box ends up unchecked.
        StopTimedSend();
        return;
    }
    if (checked) {
        m_sendTimer.start(TerminalSend::IntervalMs(m_intervalEdit->text()));
        emit timedSendStarted();
    } else {
        m_sendTimer.stop();
    }
}

void CTerminalPanel::SendOnce(TerminalSend::Trigger trigger)
{
    // The box and the switches are read at every send, so edits made while
    // the timer runs take effect at its next tick.
    TerminalSend::Request request;
    request.text = m_sendEdit->text();
    request.appendCarriageReturn = m_appendCrCheck->isChecked();
    request.hexSend = m_hexSendCheck->isChecked();
    request.trigger = trigger;
    const TerminalSend::Outcome outcome = TerminalSend::Plan(request);
    if (!outcome.message.isEmpty())
        MessageBoxes::Show(this, outcome.message);
    const Writer& writer = trigger == TerminalSend::Trigger::Timer && m_timedWriter ? m_timedWriter : m_writer;
    if (outcome.write && writer)
        writer(outcome.bytes);
    // The timer repeats what is already remembered.
    if (outcome.write && m_history && trigger == TerminalSend::Trigger::Button) {
        m_history->Add({request.text, request.hexSend});
        m_historyIndex = -1;
    }
}

#include "app/CTerminalPanel.h"

#include "controls/MessageBoxes.h"
#include "resources/Texts.h"
#include "serial/CSerial.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

namespace {

constexpr int kMargin = 8;
constexpr int kIntervalWidth = 80;

}  // namespace

CTerminalPanel::CTerminalPanel(Writer writer, QWidget* parent)
    : QGroupBox(parent), m_writer(std::move(writer))
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
    auto* sendRow = new QHBoxLayout;
    sendRow->addWidget(m_sendEdit, 1);
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
}

QSize CTerminalPanel::sizeHint() const
{
    return kSize.expandedTo(minimumSizeHint());
}

QList<QWidget*> CTerminalPanel::FocusChain() const
{
    return {m_sendEdit,       m_sendButton,      m_appendCrCheck,  m_hexSendCheck,  m_timedSendCheck,
            m_hexDisplayCheck, m_intervalEdit,   m_timeStampCheck, m_packetGapSpin, m_pauseButton,
            m_captureButton};
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
    if (checked)
        m_sendTimer.start(TerminalSend::IntervalMs(m_intervalEdit->text()));
    else
        m_sendTimer.stop();
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
    if (outcome.write && m_writer)
        m_writer(outcome.bytes);
}

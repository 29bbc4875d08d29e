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
}

QSize CTerminalPanel::sizeHint() const
{
    return kSize.expandedTo(minimumSizeHint());
}

QList<QWidget*> CTerminalPanel::FocusChain() const
{
    return {m_sendEdit,       m_sendButton,      m_appendCrCheck, m_hexSendCheck,
            m_timedSendCheck, m_hexDisplayCheck, m_intervalEdit};
}

bool CTerminalPanel::IsHexDisplay() const
{
    return m_hexDisplayCheck->isChecked();
}

void CTerminalPanel::SetHexDisplay(bool on)
{
    m_hexDisplayCheck->setChecked(on);
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

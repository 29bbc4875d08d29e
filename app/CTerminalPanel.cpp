#include "app/CTerminalPanel.h"

#include "controls/MessageBoxes.h"
#include "resources/Texts.h"
#include "serial/CSerial.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

constexpr int kButtonHeight = 26;

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
    sendLabel->setGeometry(8, 10, 70, 22);
    m_sendEdit = new QLineEdit(this);
    m_sendEdit->setObjectName(QStringLiteral("sendEdit"));
    m_sendEdit->setGeometry(8, 34, 200, 24);
    m_sendButton = new QPushButton(Texts::Send(), this);
    m_sendButton->setObjectName(QStringLiteral("sendButton"));
    m_sendButton->setGeometry(214, 33, 65, kButtonHeight);
    m_appendCrCheck = new QCheckBox(Texts::AppendCarriageReturn(), this);
    m_appendCrCheck->setObjectName(QStringLiteral("appendCrCheck"));
    m_appendCrCheck->setGeometry(8, 64, 135, 22);
    m_hexSendCheck = new QCheckBox(Texts::HexSend(), this);
    m_hexSendCheck->setObjectName(QStringLiteral("hexSendCheck"));
    m_hexSendCheck->setGeometry(148, 64, 130, 22);
    m_hexDisplayCheck = new QCheckBox(Texts::HexDisplay(), this);
    m_hexDisplayCheck->setObjectName(QStringLiteral("hexDisplayCheck"));
    m_hexDisplayCheck->setGeometry(148, 90, 130, 22);
    m_timedSendCheck = new QCheckBox(Texts::TimedSend(), this);
    m_timedSendCheck->setObjectName(QStringLiteral("timedSendCheck"));
    m_timedSendCheck->setGeometry(8, 90, 90, 22);
    m_intervalEdit = new QLineEdit(QStringLiteral("1000"), this);
    m_intervalEdit->setObjectName(QStringLiteral("intervalEdit"));
    m_intervalEdit->setGeometry(8, 116, 70, 24);
    auto* unitLabel = new QLabel(Texts::MillisecondsPerSend(), this);
    unitLabel->setGeometry(84, 117, 70, 22);
}

bool CTerminalPanel::IsHexDisplay() const
{
    return m_hexDisplayCheck->isChecked();
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

#include "device/CModeSwitcher.h"

#include "device/CDeviceController.h"
#include "device/IDeviceView.h"
#include "params/DecimalValue.h"
#include "params/ParameterCodes.h"
#include "params/ParameterReport.h"
#include "serial/CSerial.h"

namespace {

// Echo is switched off one character at a time: the terminal's command
// line editor drops characters that arrive faster than it echoes them.
const QByteArray kEchoOff = QByteArrayLiteral("at+noecho\r");

Parity ToPortParity(SerialParity parity)
{
    switch (parity) {
    case SerialParity::Odd: return Parity::Odd;
    case SerialParity::Even: return Parity::Even;
    case SerialParity::None: break;
    }
    return Parity::None;
}

QString ParityLetter(Parity parity)
{
    switch (parity) {
    case Parity::Odd: return QStringLiteral("O");
    case Parity::Even: return QStringLiteral("E");
    case Parity::None: break;
    }
    return QStringLiteral("N");
}

}  // namespace

CModeSwitcher::CModeSwitcher(CDeviceController& device)
    : m_device(device)
{
}

// ---------------------------------------------------------------- UI thread

void CModeSwitcher::OnConfigurationModeChosen(int baudRate)
{
    m_device.SetConfigurationMode(true);
    if (!m_device.IsPortOpen()) {
        m_device.PostLog(QStringLiteral(
            ">>> 要进入配置状态，请先以正确参数打开串口，然后将设备重新上电！\r\n正在等待设备上电后进入配置状态..."));
        return;
    }
    m_device.PostLog(QStringLiteral(">>>要进入配置状态，请先以正确参数打开串口，然后将设备重新上电！"));
    if (m_device.ConfigEntryPending().exchange(true))
        return;
    // Back to the configuration line settings, whatever the terminal's own
    // communication settings were.
    if (!m_device.Serial().SetLineSettings(baudRate, 8, Parity::None))
        m_device.PostLog(QStringLiteral("串口参数设置失败：%1").arg(m_device.Serial().LastError()));
    if (!m_device.PostTask(TaskCode::EnterConfiguration))
        m_device.PostLog(QStringLiteral("设备进入配置失败"));
}

void CModeSwitcher::OnCommunicationModeChosen()
{
    m_device.StopPowerOnPolling();
    m_device.SetConfigurationMode(false);
    // Releases a configuration entry still waiting for the power-on, and
    // nothing else: a command under way runs to its own reply or time-out,
    // so its outcome is reported as it is. An entry still queued sees the
    // mode when it starts.
    m_device.Reply().ReleaseIfAwaiting(ReplyChannel::ListAnnounced);
    m_device.ConfigEntryPending() = false;
    if (m_device.IsPortOpen())
        m_device.PostLog(QStringLiteral(">>> 重启(或重新上电)设备后将进入通信状态！"));
    else
        m_device.PostLog(QStringLiteral(">>> 要进入通信状态，请先以正确参数打开串口，然后将设备重新上电！"));
}

bool CModeSwitcher::OnRestartChosen()
{
    m_device.SetConfigurationMode(false);
    m_device.StopPowerOnPolling();
    m_device.Reply().SetExpected(ReplyChannel::kNothingAwaited);
    if (!m_device.IsPortOpen()) {
        m_device.PostLog(QStringLiteral(">>> 请先打开串口......."));
        return false;
    }
    m_device.PostLog(QStringLiteral(">>> 等待设备进入通讯模式"));
    if (!m_device.PostTask(TaskCode::RestartToCommunication, "at+reset\r"))
        m_device.PostLog(QStringLiteral("设备通讯模式失败"));
    return true;
}

// ---------------------------------------------------------------- worker

void CModeSwitcher::EnterConfiguration()
{
    ReplyChannel& reply = m_device.Reply();
    // Armed before the mode is looked at: a switch to communication mode
    // after this look finds the wait armed and releases it.
    reply.Arm(ReplyChannel::ListAnnounced);
    if (!m_device.IsConfigurationMode()) {
        // Queued behind another task while the user chose communication
        // mode: nothing is written into a line that now carries data.
        reply.SetExpected(ReplyChannel::kNothingAwaited);
        return;
    }
    m_device.StartPowerOnPolling();
    m_device.PostLog(QStringLiteral("设备正在进入配置状态,请等待...."));
    m_device.PostToUi([this] { m_device.View().SetRestartEnabled(false); });

    // No limit: the technician may take a while to power-cycle the terminal.
    reply.Wait(-1);
    m_device.StopPowerOnPolling();
    if (m_device.IsShuttingDown())
        return;
    if (!m_device.IsConfigurationMode()) {
        // The user chose communication mode meanwhile; the buttons stay as
        // that choice left them.
        reply.SetEvent();
        return;
    }
    if (EndIfPortLost())
        return;

    m_device.PostToUi([this] {
        m_device.View().SetRestartEnabled(true);
        m_device.View().SetCommunicationRadioEnabled(true);
    });
    m_device.PostLog(QStringLiteral("测试模块"));
    if (!ProbeModule()) {
        if (EndIfPortLost())
            return;
        m_device.PostLog(QStringLiteral("测试模块是否存在失败"));
        m_device.ConfigEntryPending() = false;
        m_device.PostSetBusy(false);
        return;
    }
    TurnEchoOff();
    if (EndIfPortLost())
        return;
    QueryModuleType();
    if (EndIfPortLost())
        return;
    LoadParameters();
    m_device.PostSetBusy(false);
}

bool CModeSwitcher::EndIfPortLost()
{
    // The port-loss line has said what happened; every step after it would
    // only time out and report failures of a conversation that cannot be.
    if (m_device.IsPortOpen())
        return false;
    m_device.ConfigEntryPending() = false;
    m_device.PostSetBusy(false);
    return true;
}

bool CModeSwitcher::ProbeModule()
{
    const Timing& timing = m_device.timing();
    for (int attempt = 0; attempt < timing.probeAttempts; ++attempt) {
        // The number after "+LRMMCUFUN:" in the reply is not needed here.
        if (m_device.ExchangeCommand(ReplyChannel::AnyOk, "AT+LRMMCUFUN?\r", timing.probeReplyMs))
            return true;
        if (m_device.IsShuttingDown() || !m_device.IsPortOpen())
            return false;
    }
    return false;
}

void CModeSwitcher::TurnEchoOff()
{
    const Timing& timing = m_device.timing();
    ReplyChannel& reply = m_device.Reply();
    for (int attempt = 0; attempt < timing.echoOffAttempts; ++attempt) {
        reply.Arm(ReplyChannel::AnyOk);
        for (const char c : kEchoOff)
            m_device.WriteCommand(QByteArray(1, c));
        if (reply.Wait(timing.echoOffReplyMs) || m_device.IsShuttingDown() || !m_device.IsPortOpen())
            return;
    }
}

void CModeSwitcher::QueryModuleType()
{
    const int limit = m_device.timing().moduleTypeReplyMs;
    m_device.PostLog(QStringLiteral("          测试模块类型"));
    if (m_device.ExchangeCommand(ReplyChannel::AnyOk, "ati\r", limit)) {
        m_device.PostLogBytes(m_device.ReceivedText());
        if (IVisitRecorder* recorder = m_device.Recorder())
            recorder->ModuleReplied(m_device.ReceivedText());
        return;
    }
    if (!m_device.IsPortOpen())
        return;
    if (m_device.ExchangeCommand(ReplyChannel::AnyOk, "AT+CGMR\r", limit)) {
        m_device.PostLogBytes(m_device.ReceivedText());
        if (IVisitRecorder* recorder = m_device.Recorder())
            recorder->ModuleReplied(m_device.ReceivedText());
        return;
    }
    m_device.PostLog(QStringLiteral("模块类型失败"));
    m_device.ConfigEntryPending() = false;
}

void CModeSwitcher::LoadParameters()
{
    m_device.PostLog(QStringLiteral("正在装载设备的配置参数 ...\r\n"));
    const bool replied = m_device.ExchangeCommand(ReplyChannel::FullReport, "at+show\r", m_device.timing().queryReplyMs);
    const QByteArray text = m_device.ReceivedText();
    if (!replied && !m_device.IsPortOpen()) {
        m_device.ConfigEntryPending() = false;
        return;
    }
    if (!replied) {
        m_device.PostLog(QStringLiteral("参数加载失败..."));
        m_device.ConfigEntryPending() = false;
        if (!text.isEmpty())
            m_device.PostLogBytes(text);
        return;
    }
    bool parsed = false;
    {
        std::lock_guard guard(m_device.ParamLock());
        parsed = ParseParameterReport(text.constData(), static_cast<std::size_t>(text.size()), m_device.Params());
    }
    m_device.RecordReport(IVisitRecorder::ReportTrigger::Entry, m_device.ReceivedReport());
    m_device.PostLogBytes(text);
    if (parsed) {
        m_device.PostRefusedListNumbers(text);
        m_device.PostLog(QStringLiteral("参数加载完成..."));
        m_device.ShowParameterSet(m_device.Params(), true);
        m_device.ConfigEntryPending() = false;
        return;
    }
    m_device.PostLog(QStringLiteral("参数加载存在错误的参数..."));
    m_device.PostLog(QStringLiteral("参数加载失败..."));
    m_device.ConfigEntryPending() = false;
    m_device.PostLogBytes(text);
}

void CModeSwitcher::RestartToCommunication(const DeviceTask& task)
{
    // The terminal reboots; its banner "configure program." tells that it
    // did, and that it now talks with its own line settings.
    if (m_device.ExchangeCommand(ReplyChannel::RebootBanner, task.command, m_device.timing().restartReplyMs)) {
        m_device.PostLogBytes(m_device.ReceivedText());
        SwitchPortToTerminalSettings();
    }
    m_device.PostSetBusy(false);
}

void CModeSwitcher::SwitchPortToTerminalSettings()
{
    // Checked again on the UI thread, where the radio buttons change: a
    // technician who went back to 配置模式 while the terminal rebooted wants
    // the configuration speed, not the terminal's communication settings.
    int baudRate = 0;
    SerialFraming framing;
    {
        std::lock_guard guard(m_device.ParamLock());
        baudRate = DecimalValue(m_device.Params().serialBaudrate.View());
        framing = SerialModeSettings(m_device.Params().serialMode.View());
    }
    const Parity parity = ToPortParity(framing.parity);
    bool applied = false;
    QString reason;
    int appliedRate = 0;
    bool stillCommunicating = true;
    const bool ran = m_device.CallOnUi([&] {
        if (m_device.IsConfigurationMode()) {
            stillCommunicating = false;
            return;
        }
        CSerial& serial = m_device.Serial();
        int currentRate = 0;
        serial.QueryLineSettings(&currentRate, nullptr, nullptr);
        // A rate the port does not know keeps the current speed: speed 0
        // would hang the line up.
        appliedRate = CSerial::IsStandardBaudRate(baudRate) ? baudRate : currentRate;
        applied = appliedRate > 0 && serial.SetLineSettings(appliedRate, framing.dataBits, parity);
        if (!applied)
            reason = serial.LastError();
    });
    if (!ran || !stillCommunicating)
        return;
    if (applied) {
        m_device.PostLog(QStringLiteral(">>> 串口已切换为设备的通讯参数：%1,%2,%3,1")
                             .arg(appliedRate)
                             .arg(framing.dataBits)
                             .arg(ParityLetter(parity)));
    } else {
        m_device.PostLog(QStringLiteral(">>> 串口切换为设备的通讯参数失败：%1").arg(reason));
    }
}

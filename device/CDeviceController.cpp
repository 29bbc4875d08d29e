#include "device/CDeviceController.h"

#include "device/CDeviceQueries.h"
#include "device/CModeSwitcher.h"
#include "device/IDeviceView.h"
#include "params/ConfigFilePlan.h"
#include "params/GbkText.h"
#include "params/ParameterReport.h"
#include "params/ParameterTableLayout.h"

#include <algorithm>
#include <chrono>

namespace {

const char* const kOpenFirstForConfiguration =
    ">>> 要进入配置状态，请先以正确参数打开串口，然后将设备重新上电！\r\n正在等待设备上电后进入配置状态...";
const char* const kOpenFirstForCommunication =
    ">>> 要进入通信状态，请先以正确参数打开串口，然后将设备重新上电！\r\n正在等待设备上电后进入通信状态...";

// Received bytes as lowercase two-digit hex numbers separated by blanks.
QString HexDump(const char* data, int length)
{
    return QString::fromLatin1(QByteArray(data, length).toHex(' '));
}

}  // namespace

CDeviceController::CDeviceController(IDeviceView& view, const Timing& timing, QObject* parent)
    : QObject(parent), m_view(view), m_timing(timing)
{
    m_serial.SetOwner(this, this);
    m_serial.SetReadWaitMs(m_timing.serialReadWaitMs);
    m_serial.SetWriteTimeouts(m_timing.serialWriteConstantMs, m_timing.serialWritePerByteMs);
    ClearParameterSet(m_params);
    m_queries = std::make_unique<CDeviceQueries>(*this);
    m_modes = std::make_unique<CModeSwitcher>(*this);
    RegisterBuiltInTasks();
    m_powerOnTimer.setInterval(m_timing.powerOnPollMs);
    connect(&m_powerOnTimer, &QTimer::timeout, this, &CDeviceController::SendPowerOnPoll);
    m_commGatherMs = m_timing.commRxGatherMs;
    m_heldTextTimer.setSingleShot(true);
    m_heldTextTimer.setInterval(m_timing.commHeldByteMs);
    connect(&m_heldTextTimer, &QTimer::timeout, this, &CDeviceController::FlushHeldText);
    m_worker = std::make_unique<WorkerThread>([this](DeviceTask& task) { Dispatch(task); },
                                              [this] { PostLog(QStringLiteral("工作线程启动...")); });
}

CDeviceController::~CDeviceController()
{
    Shutdown();
}

bool CDeviceController::Start()
{
    if (m_worker->Start())
        return true;
    PostLog(QStringLiteral("工作线程启动失败"));
    return false;
}

void CDeviceController::Shutdown()
{
    {
        std::lock_guard guard(m_shutdownLock);
        m_shuttingDown = true;
    }
    m_shutdownSignal.notify_all();
    m_ui.ReleaseCalls();
    m_reply.Shutdown();
    m_powerOnTimer.stop();
    // The port goes first: the terminal is free for another program at
    // once, and a write still under way is cut short instead of waited for.
    m_serial.Close();
    m_worker->Stop();
}

// ---------------------------------------------------------------- port

bool CDeviceController::OpenPort(int portNumber, int baudRate)
{
    if (m_serial.Open(portNumber, baudRate))
        return true;
    PostLog(QString::fromUtf8(m_configMode ? kOpenFirstForConfiguration : kOpenFirstForCommunication));
    const QString reason = m_serial.LastError();
    if (!reason.isEmpty())
        PostLog(QStringLiteral("串口打开失败：%1").arg(reason));
    return false;
}

void CDeviceController::ClosePort()
{
    m_serial.Close();
    FlushHeldText();
}

bool CDeviceController::IsPortOpen() const
{
    return m_serial.IsOpen();
}

void CDeviceController::SetConfigurationMode(bool on)
{
    FlushHeldText();
    m_configMode = on;
    ApplyGathering();
}

void CDeviceController::SetCommGathering(int gatherMs, bool untilQuiet)
{
    m_commGatherMs = std::clamp(gatherMs, 0, 1000);
    m_commGatherUntilQuiet = untilQuiet;
    ApplyGathering();
}

void CDeviceController::ApplyGathering()
{
    // Configuration replies are read at once: the exchanges wait for them.
    m_serial.SetRxGatherMs(m_configMode ? 0 : m_commGatherMs);
    m_serial.SetRxGatherUntilQuiet(!m_configMode && m_commGatherUntilQuiet);
}

void CDeviceController::OnPortOpened()
{
    if (m_configMode) {
        PostLog(QStringLiteral(">>> 串口已打开，请重新上电设备\r\n正在等待设备上电后进入配置状态..."));
        if (!m_configEntryPending.exchange(true)) {
            if (!PostTask(TaskCode::EnterConfiguration))
                PostLog(QStringLiteral("设备进入配置失败"));
        }
    } else {
        PostLog(QStringLiteral(">>> 串口已打开，请重新上电设备\r\n正在等待设备上电后进入通讯状态..."));
        StopPowerOnPolling();
    }
}

// ---------------------------------------------------------------- receiving

void CDeviceController::OnSerialRxChar()
{
    if (!m_serial.IsOpen())
        return;
    char buffer[CSerial::kMaxRead];
    const int length = m_serial.Read(buffer, CSerial::kMaxRead);
    if (m_receivedObserver && length > 0)
        m_receivedObserver(QByteArray(buffer, length));
    if (m_configMode) {
        HandleConfigurationBytes(buffer, length);
        return;
    }
    if (length <= 0)
        return;
    WatchForRebootBanner(buffer, length);
    ShowCommunicationBytes(buffer, length);
}

void CDeviceController::WatchForRebootBanner(const char* data, int length)
{
    // In communication mode nothing is recognised, except the reboot banner
    // a restart waits for: it tells when the terminal switches to its own
    // line settings.
    if (m_reply.Expected() == ReplyChannel::RebootBanner)
        m_reply.Receive(data, length);
}

void CDeviceController::HandleConfigurationBytes(const char* data, int length)
{
    const ReplyChannel::ReceiveResult result = m_reply.Receive(data, length);
    if (!result.bannerSeen)
        return;
    // The terminal is booting and nothing is being asked of it: catch it.
    if (!m_configEntryPending.exchange(true)) {
        if (!PostTask(TaskCode::EnterConfiguration))
            PostLog(QStringLiteral("设备进入配置失败"));
    }
}

void CDeviceController::SetHexDisplay(bool on)
{
    FlushHeldText();
    m_hexDisplay = on;
}

void CDeviceController::ShowCommunicationBytes(const char* data, int length)
{
    const auto firstByte = m_serial.RxFirstByteTime();
    if (m_hexDisplay) {
        // Every byte is shown, zero bytes included: binary data is what the
        // hex view is for.
        PostReceived({HexDump(data, length), true, firstByte});
        return;
    }
    // A character held back from the read before began this entry.
    const auto entryStart = m_commText.HasHeldBytes() ? m_heldSince : firstByte;
    // As text, a zero byte ends what can be shown; a character still open
    // before it can no longer be completed.
    const int shown = static_cast<int>(qstrnlen(data, length));
    QString text = m_commText.Decode(QByteArray(data, shown));
    if (shown < length)
        text += m_commText.Flush();
    if (m_commText.HasHeldBytes()) {
        m_heldSince = firstByte;
        m_heldTextTimer.start();
    } else {
        m_heldTextTimer.stop();
    }
    // A read that is all held back shows nothing yet: its byte comes out
    // with the next read's entry.
    if (!text.isEmpty() || shown == 0)
        PostReceived({text, false, entryStart});
}

void CDeviceController::FlushHeldText()
{
    m_heldTextTimer.stop();
    if (m_commText.HasHeldBytes())
        PostReceived({m_commText.Flush(), false, m_heldSince});
}

void CDeviceController::OnSerialLost()
{
    if (!m_serial.IsOpen())
        return;
    m_serial.Close();
    m_powerOnTimer.stop();
    FlushHeldText();
    PostLog(QStringLiteral(">>> 串口连接已断开，请检查设备和连接线后重新打开串口..."));
    // Whatever the worker waits for (the power-on, a reply) will not come
    // through a port that is gone; the wait ends as unanswered.
    m_reply.Abandon();
    m_view.ShowPortClosed();
    emit portLost();
}

// ---------------------------------------------------------------- threads

bool CDeviceController::PostTask(std::int32_t code, const QByteArray& command)
{
    auto task = std::make_unique<DeviceTask>();
    task->code = code;
    task->command = command;
    return m_worker->PostTask(std::move(task));
}

void CDeviceController::PostReceived(ReceivedEntry entry)
{
    // Received bytes are shown from the UI thread's receive handler. With
    // nothing posted before them still waiting, showing them at once keeps
    // the posting order and spares the UI thread a second wake-up per read.
    if (m_ui.IsReceivingThread() && m_ui.Pending() == 0) {
        m_view.AppendReceivedEntry(entry);
        return;
    }
    m_ui.Post([this, entry = std::move(entry)] { m_view.AppendReceivedEntry(entry); });
}

void CDeviceController::PostLog(const QString& line)
{
    // Always posted, also from the UI thread, so lines keep the order in
    // which they were posted whichever thread posted them.
    m_ui.Post([this, line] { m_view.AppendLog(line); });
}

void CDeviceController::PostLogBytes(const QByteArray& bytes)
{
    PostLog(GbkToUnicode(bytes));
}

void CDeviceController::PostSetBusy(bool busy)
{
    PostToUi([this, busy] { m_view.SetBusy(busy); });
}

void CDeviceController::PostToUi(std::function<void()> work)
{
    m_ui.Post(std::move(work));
}

bool CDeviceController::CallOnUi(const std::function<void()>& work)
{
    // Released by Shutdown: a call the UI thread has not started by then is
    // abandoned, so a worker never waits for a window that is closing.
    return m_ui.Call(work);
}

bool CDeviceController::Pause(int ms)
{
    std::unique_lock guard(m_shutdownLock);
    return !m_shutdownSignal.wait_for(guard, std::chrono::milliseconds(ms), [this] { return m_shuttingDown.load(); });
}

// ---------------------------------------------------------------- exchange

bool CDeviceController::WriteCommand(const QByteArray& command)
{
    if (!m_serial.IsOpen())
        return false;
    // Stale input goes; output is never thrown away: a write returns once
    // the driver has the bytes, not once they are on the line, so clearing
    // output here would drop the end of the previous command (the echo-off
    // characters are written one at a time, right after each other).
    m_serial.PurgeInput();
    return m_serial.Write(command.constData(), command.size()) == command.size();
}

bool CDeviceController::ExchangeCommand(std::int8_t replyCode, const QByteArray& command, int timeoutMs)
{
    m_reply.Arm(replyCode, command);
    WriteCommand(command);
    return m_reply.Wait(timeoutMs);
}

QByteArray CDeviceController::ReceivedReport() const
{
    const QByteArray raw = m_reply.RawText();
    return QByteArray::fromStdString(KeptReportText(std::string_view(raw.constData(), static_cast<std::size_t>(raw.size()))));
}

bool CDeviceController::SendCommandAndWait(std::int8_t replyCode, const QByteArray& command, bool* wentOut)
{
    m_reply.Arm(replyCode, command);
    const bool written = WriteCommand(command);
    if (wentOut)
        *wentOut = written;
    Pause(m_timing.saveSettleMs);
    return m_reply.Wait(m_timing.saveReplyMs);
}

// ---------------------------------------------------------------- 's' sender

void CDeviceController::StartPowerOnPolling()
{
    if (!m_ui.IsReceivingThread()) {
        CallOnUi([this] { StartPowerOnPolling(); });
        return;
    }
    // Decided on the UI thread, where the mode changes: an entry that looked
    // at the mode just before 通讯模式 was chosen starts no sender.
    if (m_configMode)
        m_powerOnTimer.start(m_timing.powerOnPollMs);
}

void CDeviceController::StopPowerOnPolling()
{
    // Blocking from the worker: no 's' may follow the first probe command.
    if (!m_ui.IsReceivingThread()) {
        CallOnUi([this] { StopPowerOnPolling(); });
        return;
    }
    m_powerOnTimer.stop();
}

void CDeviceController::SendPowerOnPoll()
{
    if (!m_configMode) {
        m_powerOnTimer.stop();
        return;
    }
    m_serial.Write("s", 1);
}

// ---------------------------------------------------------------- dispatcher

void CDeviceController::RegisterTask(std::int32_t code, TaskHandler handler, ButtonsAfterTask buttons)
{
    m_tasks[code] = RegisteredTask{std::move(handler), buttons};
}

void CDeviceController::RegisterBuiltInTasks()
{
    RegisterTask(TaskCode::ReadBack, [this](DeviceTask& task) { m_queries->ReadBack(task); });
    RegisterTask(TaskCode::FactoryReset, [this](DeviceTask&) { m_queries->FactoryReset(); });
    RegisterTask(TaskCode::SetClock, [this](DeviceTask& task) { m_queries->SetClock(task); });
    RegisterTask(TaskCode::QueryVersion, [this](DeviceTask&) { m_queries->QueryVersion(); });
    RegisterTask(TaskCode::StatusProbe, [this](DeviceTask&) { m_queries->StatusProbe(); });
    RegisterTask(TaskCode::ReadClock, [this](DeviceTask&) { m_queries->ReadClock(); });
    // The configuration entry enables the buttons itself, except when it is
    // abandoned for communication mode.
    RegisterTask(TaskCode::EnterConfiguration, [this](DeviceTask&) { m_modes->EnterConfiguration(); },
                 ButtonsAfterTask::LeftToTask);
    RegisterTask(TaskCode::RestartToCommunication, [this](DeviceTask& task) { m_modes->RestartToCommunication(task); },
                 ButtonsAfterTask::LeftToTask);
}

bool CDeviceController::IsKnownTaskCode(std::int32_t code)
{
    return (code >= TaskCode::ReadBack && code <= TaskCode::AddBackupNumbers)
        || (code >= TaskCode::SaveAll && code <= TaskCode::RestartToCommunication)
        || (code >= TaskCode::DeleteNumbers && code <= TaskCode::ReadClock);
}

void CDeviceController::Dispatch(DeviceTask& task)
{
    const int code = task.code;
    const auto registered = m_tasks.find(code);
    if (registered == m_tasks.end()) {
        // A code whose procedure this program was built without only gives
        // the buttons back; an unknown code does nothing at all.
        if (IsKnownTaskCode(code))
            PostSetBusy(false);
    } else {
        registered->second.handler(task);
        if (registered->second.buttons == ButtonsAfterTask::Enable)
            PostSetBusy(false);
    }
    PostToUi([this, code] { emit taskFinished(code); });
}

// ---------------------------------------------------------------- display

void CDeviceController::PostRefusedListNumbers(const QByteArray& report)
{
    const std::string_view text(report.constData(), static_cast<std::size_t>(report.size()));
    for (const RefusedListNumber& refused : FindRefusedListNumbers(text))
        PostLog(QStringLiteral("%1，未载入号码页").arg(RefusedListNumberText(refused)));
}

ShownCells CDeviceController::ShownCellsSnapshot() const
{
    std::lock_guard guard(m_shownLock);
    return m_shownCells;
}

bool CDeviceController::ShowParameterSet(const ParameterSet& set, bool withNumberPages)
{
    std::vector<ParameterCellValue> cells;
    QStringList pages[3];
    {
        // The set may be m_params, which the worker changes under the lock.
        std::lock_guard guard(m_paramLock);
        cells = ParameterSetCells(set);
        if (withNumberPages) {
            const NumberList* lists[3] = {&set.adminNumbers, &set.authorisedNumbers, &set.backupNumbers};
            for (int category = 0; category < 3; ++category) {
                for (const std::string& number : lists[category]->NonEmptyNumbers())
                    pages[category] << GbkToUnicode(number);
            }
        }
    }
    {
        std::lock_guard guard(m_shownLock);
        for (const ParameterCellValue& cell : cells) {
            if (cell.text)
                m_shownCells[{cell.row, cell.column}] = {*cell.text, cell.bytes};
        }
    }
    // The lock is not held across the call into the UI thread.
    CallOnUi([&] {
        for (const ParameterCellValue& cell : cells) {
            if (cell.text)
                m_view.SetCellText(cell.row, cell.column, *cell.text);
            if (cell.lockReadOnly)
                m_view.LockCell(cell.row, cell.column);
        }
        if (withNumberPages) {
            for (int category = 0; category < 3; ++category) {
                m_view.ClearNumberPage(category);
                for (const QString& number : pages[category])
                    m_view.AppendNumberRow(category, number);
            }
        }
    });
    return true;
}

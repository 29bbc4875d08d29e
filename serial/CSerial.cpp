#include "serial/CSerial.h"

#include "serial/LineEvents.h"
#include "serial/PortTable.h"
#include "serial/SerialPort.h"

#include "threads/HandOffQueue.h"

#include <QMetaObject>

#include <algorithm>
#include <condition_variable>
#include <functional>
#include <optional>
#include <system_error>

namespace {

QString DescribeLineSettings(int baudRate, int dataBits, Parity parity)
{
    const char parityLetter = parity == Parity::Odd ? 'O' : parity == Parity::Even ? 'E' : 'N';
    return QStringLiteral("%1 bit/s %2%3%4").arg(baudRate).arg(dataBits).arg(QLatin1Char(parityLetter)).arg(1);
}

// What the reader thread, the queued notifications and the object share.
// Queued notifications hold it, not the CSerial, so one that runs after Close
// or after the object is gone only finds that its session has ended.
struct NotifyToken {
    // Takes the queue out under `lock`; the caller destroys it after
    // unlocking, on the context's thread.
    std::unique_ptr<HandOffQueue> TakeQueue() { return std::move(queue); }

    std::mutex lock;
    std::condition_variable changed;
    // Bumped by every Close: whatever an earlier session posted does nothing.
    quint64 generation = 0;
    // Bumped by every SetOwner and when the context is destroyed.
    quint64 ownerEpoch = 0;
    ISerialListener* listener = nullptr;
    // Hands notifications to the context's thread; made with the owner and
    // gone with it.
    std::unique_ptr<HandOffQueue> queue;
    quint64 posted = 0;
    quint64 handled = 0;
};

}  // namespace

struct CSerial::Impl {
    explicit Impl(PortTable& table) : ports(table), port(SerialPort::CreateForPlatform()) {}

    PortTable& ports;

    // Read, Write, Purge and the queries hold it shared; Open and Close take
    // it exclusively to open or close the device, so no thread ever uses a
    // closed or reused handle.
    mutable std::shared_mutex portLock;
    const std::unique_ptr<SerialPort> port;
    QString devicePath;

    mutable std::mutex errorLock;
    QString lastError;

    // Serialises writers, so that the worker and the terminal panel never
    // interleave the bytes of two commands.
    std::mutex writeLock;

    std::thread reader;
    std::atomic<bool> stopping{false};
    std::atomic<bool> readerRunning{false};
    quint64 readerGeneration = 0;  // set before the reader starts

    std::shared_ptr<NotifyToken> token = std::make_shared<NotifyToken>();
    QMetaObject::Connection contextWatch;

    void SetError(const QString& text)
    {
        std::lock_guard guard(errorLock);
        lastError = text;
    }

    bool ModemLineOn(unsigned line) const
    {
        unsigned lines = 0;
        return port->ModemStatus(&lines) && (lines & line);
    }


    // Runs `call` with the listener on the owner's thread and waits until it
    // has returned, or until the session ends or the owner changes. Reader
    // thread only. False when there is nobody to tell.
    bool DeliverAndWait(std::function<void(ISerialListener&)> call)
    {
        const std::shared_ptr<NotifyToken> shared = token;
        std::unique_lock lock(shared->lock);
        const quint64 generation = readerGeneration;
        if (shared->generation != generation || !shared->queue || !shared->listener)
            return false;
        const quint64 epoch = shared->ownerEpoch;
        const quint64 ticket = ++shared->posted;
        // Posted under the token lock: the queue is replaced or dropped only
        // under the same lock.
        shared->queue->Post([shared, generation, epoch, ticket, call = std::move(call)] {
            ISerialListener* listener = nullptr;
            {
                std::lock_guard guard(shared->lock);
                if (shared->generation == generation && shared->ownerEpoch == epoch)
                    listener = shared->listener;
            }
            // No lock held here: the listener may Close or even delete the
            // CSerial; only the token is touched after.
            if (listener)
                call(*listener);
            std::lock_guard guard(shared->lock);
            shared->handled = std::max(shared->handled, ticket);
            shared->changed.notify_all();
        });
        shared->changed.wait(lock, [&] {
            return shared->handled >= ticket || shared->generation != generation
                   || shared->ownerEpoch != epoch;
        });
        return true;
    }

    // The reader has ended because the device went away; the owner hears it
    // later, on its own thread.
    void PostLost()
    {
        const std::shared_ptr<NotifyToken> shared = token;
        std::lock_guard lock(shared->lock);
        const quint64 generation = readerGeneration;
        if (shared->generation != generation || !shared->queue || !shared->listener)
            return;
        const quint64 epoch = shared->ownerEpoch;
        shared->queue->Post([shared, generation, epoch] {
            ISerialListener* listener = nullptr;
            {
                std::lock_guard guard(shared->lock);
                if (shared->generation == generation && shared->ownerEpoch == epoch)
                    listener = shared->listener;
            }
            if (listener)
                listener->OnSerialLost();
        });
    }
};

CSerial::CSerial() : CSerial(PortTable::Instance()) {}

CSerial::CSerial(PortTable& ports) : m_impl(std::make_unique<Impl>(ports)) {}

CSerial::~CSerial()
{
    Close();
    QObject::disconnect(m_impl->contextWatch);
    std::unique_ptr<HandOffQueue> queue;
    std::lock_guard lock(m_impl->token->lock);
    m_impl->token->listener = nullptr;
    queue = m_impl->token->TakeQueue();
    ++m_impl->token->ownerEpoch;
    // `queue` goes after the lock is released (declared before it): its
    // queued notifications hold the token too.
}

void CSerial::SetOwner(QObject* context, ISerialListener* listener)
{
    Impl& d = *m_impl;
    QObject::disconnect(d.contextWatch);
    const std::shared_ptr<NotifyToken> shared = d.token;
    quint64 epoch = 0;
    // Made here, on the owner's thread, which is where it delivers.
    std::unique_ptr<HandOffQueue> queue = context ? std::make_unique<HandOffQueue>(context) : nullptr;
    {
        std::lock_guard lock(shared->lock);
        shared->listener = context ? listener : nullptr;
        // The previous owner's queue comes out and goes below, unlocked.
        queue.swap(shared->queue);
        epoch = ++shared->ownerEpoch;
        shared->changed.notify_all();
    }
    queue.reset();
    if (context) {
        d.contextWatch = QObject::connect(context, &QObject::destroyed, [shared, epoch] {
            std::unique_ptr<HandOffQueue> gone;
            {
                std::lock_guard lock(shared->lock);
                if (shared->ownerEpoch != epoch)
                    return;
                shared->listener = nullptr;
                gone = shared->TakeQueue();
                ++shared->ownerEpoch;
                shared->changed.notify_all();
            }
        });
    }
    // Input that arrived while nobody listened is announced to the new owner.
    std::shared_lock guard(d.portLock);
    if (d.port->IsOpen())
        d.port->Kick();
}


PortTimeouts CSerial::Timeouts() const
{
    PortTimeouts timeouts;
    timeouts.writeTotalConstantMs = m_writeConstantMs;
    timeouts.writeTotalMultiplierMs = m_writePerByteMs;
    return timeouts;
}

void CSerial::SetWriteTimeouts(int constantMs, int perByteMs)
{
    m_writeConstantMs = constantMs;
    m_writePerByteMs = perByteMs;
    Impl& d = *m_impl;
    std::shared_lock guard(d.portLock);
    if (d.port->IsOpen())
        d.port->SetTimeouts(Timeouts());
}

QString CSerial::DescribeFailure(const QString& device, const QString& setting) const
{
    const SerialPort& port = *m_impl->port;
    const QString system = QString::fromLocal8Bit(port.LastSystemText().c_str());
    const QString because = system.isEmpty() ? QString() : QStringLiteral("：") + system;
    switch (port.LastFailure()) {
    case PortFailure::None: return {};
    case PortFailure::NotOpen: return QStringLiteral("串口未打开");
    case PortFailure::Busy: return QStringLiteral("%1 串口被其他程序占用").arg(device);
    case PortFailure::NoDevice: return QStringLiteral("%1 串口不存在%2").arg(device, because);
    case PortFailure::NoPermission: return QStringLiteral("%1 没有权限打开串口%2").arg(device, because);
    case PortFailure::NotSerial: return QStringLiteral("%1 不是串口设备%2").arg(device, because);
    case PortFailure::BadRate: return QStringLiteral("%1 串口不支持波特率 %2").arg(device, setting);
    case PortFailure::BadDataBits: return QStringLiteral("%1 串口不支持数据位 %2").arg(device, setting);
    case PortFailure::BadParity: return QStringLiteral("%1 串口不支持校验方式 %2").arg(device, setting);
    case PortFailure::Refused: return QStringLiteral("%1 串口拒绝设置 %2%3").arg(device, setting, because);
    case PortFailure::System: return QStringLiteral("%1 串口无法打开%2").arg(device, because);
    }
    return {};
}

bool CSerial::Open(int portNumber, int baudRate)
{
    Impl& d = *m_impl;
    if (portNumber < kMinPort || portNumber > kMaxPort) {
        d.SetError(QStringLiteral("COM%1 不是有效的串口号（1..%2）").arg(portNumber).arg(kMaxPort));
        return false;
    }
    // Step 1: an open object stays as it is; the number names the device.
    if (IsOpen()) {
        d.SetError(QStringLiteral("串口已经打开（%1）").arg(DevicePath()));
        return false;
    }
    const std::optional<QString> device = d.ports.DeviceFor(portNumber);
    if (!device) {
        d.SetError(QStringLiteral("COM%1 不是已知的串口").arg(portNumber));
        return false;
    }

    // Step 2: the device, for this process alone.
    {
        std::unique_lock guard(d.portLock);
        if (!d.port->Open(device->toLocal8Bit().toStdString())) {
            d.SetError(DescribeFailure(*device, {}));
            return false;
        }
        d.devicePath = *device;
    }
    d.stopping = false;

    // Step 3: the reader thread.
    {
        std::lock_guard lock(d.token->lock);
        d.readerGeneration = d.token->generation;
    }
    d.readerRunning = true;
    try {
        d.reader = std::thread([this] {
            EventLoop();
            m_impl->readerRunning = false;
        });
    } catch (const std::system_error& failure) {
        // std::thread reports a refused thread only this way.
        d.readerRunning = false;
        std::unique_lock guard(d.portLock);
        d.port->Close();
        d.devicePath.clear();
        d.SetError(QStringLiteral("%1 无法启动串口读线程：%2")
                       .arg(*device, QString::fromLocal8Bit(failure.what())));
        return false;
    }

    // Steps 4 and 5: queue sizes and time-outs.
    bool configured = false;
    {
        std::shared_lock guard(d.portLock);
        configured = d.port->SetQueueSizes(kPortQueueBytes, kPortQueueBytes) && d.port->SetTimeouts(Timeouts());
        if (!configured)
            d.SetError(DescribeFailure(*device, QStringLiteral("队列大小和超时")));
    }
    if (!configured) {
        FailOpen();
        return false;
    }
    // Step 6.
    if (!Purge()) {
        d.SetError(QStringLiteral("%1 串口无法清空").arg(*device));
        FailOpen();
        return false;
    }
    // Step 7.
    if (!SetLineSettings(baudRate, 8, Parity::None)) {
        FailOpen();
        return false;
    }
    d.SetError(QString());
    return true;
}

void CSerial::FailOpen()
{
    // Close replaces nothing of the reason; keep the step's own message.
    const QString reason = LastError();
    Close();
    m_impl->SetError(reason);
}

bool CSerial::SetLineSettings(int baudRate, int dataBits, Parity parity)
{
    Impl& d = *m_impl;
    std::shared_lock guard(d.portLock);
    if (!d.port->IsOpen()) {
        d.SetError(QStringLiteral("串口未打开"));
        return false;
    }
    if (d.port->SetLineSettings(baudRate, dataBits, parity)) {
        d.SetError(QString());
        return true;
    }
    QString setting = DescribeLineSettings(baudRate, dataBits, parity);
    if (d.port->LastFailure() == PortFailure::BadRate)
        setting = QString::number(baudRate);
    else if (d.port->LastFailure() == PortFailure::BadDataBits)
        setting = QString::number(dataBits);
    else if (d.port->LastFailure() == PortFailure::BadParity)
        setting = QString::number(static_cast<int>(parity));
    d.SetError(DescribeFailure(d.devicePath, setting));
    return false;
}

bool CSerial::QueryLineSettings(int* baudRate, int* dataBits, Parity* parity) const
{
    const Impl& d = *m_impl;
    std::shared_lock guard(d.portLock);
    return d.port->IsOpen() && d.port->QueryLineSettings(baudRate, dataBits, parity);
}

void CSerial::Close()
{
    Impl& d = *m_impl;
    d.stopping = true;
    {
        // Ends a pending notification wait; queued ones will do nothing.
        std::lock_guard lock(d.token->lock);
        ++d.token->generation;
        d.token->changed.notify_all();
    }
    {
        // Wakes the reader and any Read or Write waiting on the port.
        std::shared_lock guard(d.portLock);
        if (d.port->IsOpen())
            d.port->Cancel();
    }
    if (d.reader.joinable())
        d.reader.join();
    std::unique_lock guard(d.portLock);
    d.port->Close();
    d.devicePath.clear();
}

bool CSerial::IsOpen() const
{
    std::shared_lock guard(m_impl->portLock);
    return m_impl->port->IsOpen();
}

bool CSerial::IsReaderRunning() const
{
    return m_impl->readerRunning;
}

int CSerial::Read(char* buffer, int capacity)
{
    Impl& d = *m_impl;
    std::shared_lock guard(d.portLock);
    if (!d.port->IsOpen() || !buffer || d.stopping)
        return 0;
    PortStatus status;
    if (!d.port->TakeStatus(&status))
        return 0;
    if (DiscardOnErrors(status.errors))
        return 0;
    const int limit = std::clamp(capacity, 0, kMaxRead);
    if (limit == 0)
        return 0;
    return d.port->Read(buffer, limit, status.queuedInput, m_readWaitMs);
}

int CSerial::Write(const char* data, int length)
{
    if (!data || length <= 0)
        return 0;
    Impl& d = *m_impl;
    std::shared_lock guard(d.portLock);
    if (!d.port->IsOpen() || d.stopping)
        return 0;
    PortStatus status;
    if (!d.port->TakeStatus(&status) || DiscardOnErrors(status.errors))
        return 0;
    std::lock_guard serialise(d.writeLock);
    return d.port->Write(data, length);
}

bool CSerial::Purge()
{
    Impl& d = *m_impl;
    std::shared_lock guard(d.portLock);
    return d.port->IsOpen() && d.port->Purge(true, true);
}

bool CSerial::PurgeInput()
{
    Impl& d = *m_impl;
    std::shared_lock guard(d.portLock);
    return d.port->IsOpen() && d.port->Purge(true, false);
}

bool CSerial::IsStandardBaudRate(int baudRate)
{
    return SerialPort::IsStandardBaudRate(baudRate);
}

QString CSerial::DevicePath() const
{
    std::shared_lock guard(m_impl->portLock);
    return m_impl->devicePath;
}

QString CSerial::LastError() const
{
    std::lock_guard guard(m_impl->errorLock);
    return m_impl->lastError;
}

unsigned CSerial::TakePendingErrors()
{
    Impl& d = *m_impl;
    std::shared_lock guard(d.portLock);
    PortStatus status;
    return d.port->IsOpen() && d.port->TakeStatus(&status) ? status.errors : 0;
}

bool CSerial::DiscardOnErrors(unsigned errors)
{
    // Taken, not only looked at: a break alone raises no error event, so
    // nothing else would ever clear it and the port would stay mute. Bytes
    // that came with a line error are not trusted. The caller holds
    // portLock shared.
    if (errors == 0)
        return false;
    m_impl->port->Purge(true, false);
    return true;
}

bool CSerial::InjectLineCounterChanges(const LineCounters& delta, int limitMs)
{
    Impl& d = *m_impl;
    std::shared_lock guard(d.portLock);
    if (!d.port->IsOpen() || d.stopping || !d.port->InjectCounterChanges(delta))
        return false;
    return d.port->WaitForInjectedSample(limitMs);
}

// ------------------------------------------------------------ notifications
// Called on the reader thread; each hands its news to the owner's thread and
// waits there until it has been handled.

void CSerial::OnCTS()
{
    const bool on = m_impl->ModemLineOn(ModemCts);
    m_impl->DeliverAndWait([on](ISerialListener& listener) { listener.OnSerialCts(on); });
}

void CSerial::OnDSR()
{
    const bool on = m_impl->ModemLineOn(ModemDsr);
    m_impl->DeliverAndWait([on](ISerialListener& listener) { listener.OnSerialDsr(on); });
}

void CSerial::OnRing()
{
    m_impl->DeliverAndWait([](ISerialListener& listener) { listener.OnSerialRing(); });
}

void CSerial::OnRLSD()
{
    m_impl->DeliverAndWait([](ISerialListener& listener) { listener.OnSerialRlsd(); });
}

void CSerial::OnBreak()
{
    m_impl->DeliverAndWait([](ISerialListener& listener) { listener.OnSerialBreak(); });
}

void CSerial::OnError()
{
    const unsigned errors = TakePendingErrors();
    m_impl->DeliverAndWait([errors](ISerialListener& listener) { listener.OnSerialError(errors); });
}

void CSerial::OnRxChar()
{
    m_impl->DeliverAndWait([](ISerialListener& listener) { listener.OnSerialRxChar(); });
}

void CSerial::OnTxEmpty()
{
    m_impl->DeliverAndWait([](ISerialListener& listener) { listener.OnSerialTxEmpty(); });
}

// ------------------------------------------------------------ reader thread

std::chrono::steady_clock::time_point CSerial::RxFirstByteTime() const
{
    return std::chrono::steady_clock::time_point(std::chrono::steady_clock::duration(m_rxFirstByteTicks.load()));
}

bool CSerial::GatherUntilQuiet(SerialPort& port, int quietMs)
{
    using namespace std::chrono;
    // The driver's queue is looked at twice per quiet time: a packet ends
    // between one and one and a half gaps after its last byte, and a busy
    // line costs two wake-ups per gap, not one per byte.
    const int stepMs = std::max(1, quietMs / 2);
    const auto started = steady_clock::now();
    auto lastChange = started;
    int queued = port.QueuedInputBytes();
    while (queued < kMaxRead) {
        const auto now = steady_clock::now();
        if (now - lastChange >= milliseconds(quietMs) || now - started >= milliseconds(kLongestPacketMs))
            break;
        if (!port.GatherInput(stepMs))
            return false;
        const int nowQueued = port.QueuedInputBytes();
        if (nowQueued != queued) {
            queued = nowQueued;
            lastChange = steady_clock::now();
        }
    }
    return true;
}

void CSerial::EventLoop()
{
    Impl& d = *m_impl;
    // The port stays open until Close has joined this thread, so no lock is
    // needed here.
    SerialPort& port = *d.port;
    while (!d.stopping) {
        unsigned events = 0;
        const WaitOutcome outcome = port.WaitForEvents(&events);
        if (outcome == WaitOutcome::Cancelled || d.stopping)
            return;
        if (outcome == WaitOutcome::Lost) {
            d.PostLost();  // cannot wait for the port any more
            return;
        }
        if (events & EventRxChar) {
            m_rxFirstByteTicks = std::chrono::steady_clock::now().time_since_epoch().count();
            const int gatherMs = m_rxGatherMs;
            const bool gathered = gatherMs <= 0 ? true
                                  : m_rxGatherUntilQuiet ? GatherUntilQuiet(port, gatherMs)
                                                         : port.GatherInput(gatherMs);
            if (!gathered)
                return;  // cancelled: the port is closing
            port.RxAnnouncing();
            OnRxChar();
            port.RxAnnounced();
        }
        // The other events are dispatched only one at a time, as a Windows
        // port reports them: a combined report (a break with its frame
        // error, say) is not dispatched, and its errors stay pending for the
        // next Read or Write to take.
        const unsigned lineEvents = events & ~static_cast<unsigned>(EventRxChar);
        if (lineEvents == 0 || (lineEvents & (lineEvents - 1)) != 0 || d.stopping)
            continue;
        const std::pair<unsigned, void (CSerial::*)()> steps[] = {
            {EventTxEmpty, &CSerial::OnTxEmpty}, {EventCts, &CSerial::OnCTS},
            {EventDsr, &CSerial::OnDSR},         {EventRlsd, &CSerial::OnRLSD},
            {EventBreak, &CSerial::OnBreak},     {EventError, &CSerial::OnError},
            {EventRing, &CSerial::OnRing},
        };
        for (const auto& [bit, step] : steps) {
            if (lineEvents == bit)
                (this->*step)();
        }
    }
}

#include "serial/CSerial.h"

#include "serial/LineEvents.h"
#include "serial/PortTable.h"

#include <QMetaObject>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <optional>
#include <system_error>

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#if defined(__SANITIZE_THREAD__)
#define SIRENSET_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define SIRENSET_TSAN 1
#endif
#endif

namespace {

// Qt hands queued calls between threads with its own futex-based locks, which
// ThreadSanitizer cannot see unless Qt itself is instrumented. Under it, the
// poster holds a plain mutex while it builds and posts the call, and the call
// passes through the same mutex before it touches its captures, so the
// hand-over is visible. Other builds compile this away.
class QueuedHandOff {
public:
#ifdef SIRENSET_TSAN
    QueuedHandOff() { Lock().lock(); }
    ~QueuedHandOff() { Lock().unlock(); }
    static void Received() { std::lock_guard passed(Lock()); }

private:
    static std::mutex& Lock()
    {
        static std::mutex lock;
        return lock;
    }
#else
    QueuedHandOff() = default;
    static void Received() {}
#endif
};

// How often the reader samples modem lines and error counters, and looks at
// input that its owner left unread, while it has nothing else to wait for.
constexpr int kSampleIntervalMs = 50;

struct BaudRate {
    int rate;
    speed_t speed;
};

constexpr BaudRate kBaudRates[] = {
    {50, B50}, {75, B75}, {110, B110}, {134, B134}, {150, B150}, {200, B200},
    {300, B300}, {600, B600}, {1200, B1200}, {1800, B1800}, {2400, B2400},
    {4800, B4800}, {9600, B9600}, {19200, B19200}, {38400, B38400},
    {57600, B57600}, {115200, B115200}, {230400, B230400},
#ifdef B460800
    {460800, B460800},
#endif
#ifdef B500000
    {500000, B500000}, {576000, B576000},
#endif
#ifdef B921600
    {921600, B921600},
#endif
#ifdef B1000000
    {1000000, B1000000}, {1152000, B1152000}, {1500000, B1500000},
    {2000000, B2000000},
#endif
#ifdef B2500000
    {2500000, B2500000}, {3000000, B3000000}, {3500000, B3500000},
    {4000000, B4000000},
#endif
};

bool SpeedForRate(int rate, speed_t* speed)
{
    for (const BaudRate& entry : kBaudRates) {
        if (entry.rate == rate) {
            *speed = entry.speed;
            return true;
        }
    }
    return false;
}

int RateForSpeed(speed_t speed)
{
    for (const BaudRate& entry : kBaudRates) {
        if (entry.speed == speed)
            return entry.rate;
    }
    return 0;
}

QString SystemText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// Raw bytes both ways: no line editing, echo, signals, character mapping or
// software flow control on input (XON/XOFF bytes are data to this program);
// modem lines do not gate reading. Hardware flow control and IXOFF stay as
// the driver has them.
void MakeRaw(termios& t)
{
    t.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON);
    t.c_oflag &= ~OPOST;
    t.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
}

bool IsRaw(const termios& t)
{
    return !(t.c_lflag & (ECHO | ICANON | ISIG | IEXTEN)) && !(t.c_oflag & OPOST)
           && !(t.c_iflag & (ICRNL | INLCR | IGNCR | ISTRIP | IXON)) && (t.c_cflag & CREAD);
}

void ApplyLineSettings(termios& t, speed_t speed, int dataBits, Parity parity)
{
    cfsetispeed(&t, speed);
    cfsetospeed(&t, speed);
    t.c_cflag &= ~(CSIZE | CSTOPB | PARENB | PARODD);
#ifdef CMSPAR
    t.c_cflag &= ~CMSPAR;
#endif
    t.c_cflag |= (dataBits == 7 ? CS7 : CS8) | CLOCAL | CREAD;
    // Parity checking is switched on with parity; with none it is left alone.
    if (parity != Parity::None) {
        t.c_cflag |= PARENB;
        if (parity == Parity::Odd)
            t.c_cflag |= PARODD;
        t.c_iflag |= INPCK;
    }
}

// tcsetattr reports success when any part of a change was taken, and some
// drivers silently keep their own values: compare what matters.
bool LineSettingsMatch(const termios& wanted, const termios& actual)
{
    const tcflag_t lineBits = CSIZE | CSTOPB | PARENB | PARODD;
    if ((wanted.c_cflag & lineBits) != (actual.c_cflag & lineBits))
        return false;
    if ((wanted.c_iflag & INPCK) && !(actual.c_iflag & INPCK))
        return false;
    return cfgetispeed(&wanted) == cfgetispeed(&actual)
           && cfgetospeed(&wanted) == cfgetospeed(&actual);
}

QString DescribeLineSettings(int baudRate, int dataBits, Parity parity)
{
    const char parityLetter = parity == Parity::Odd ? 'O' : parity == Parity::Even ? 'E' : 'N';
    return QStringLiteral("%1 bit/s %2%3%4").arg(baudRate).arg(dataBits).arg(QLatin1Char(parityLetter)).arg(1);
}

int WaitMs(std::chrono::steady_clock::time_point deadline)
{
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    return static_cast<int>(std::max<std::chrono::milliseconds::rep>(0, left.count()));
}

// What the reader thread, the queued notifications and the object share.
// Queued notifications hold it, not the CSerial, so one that runs after Close
// or after the object is gone only finds that its session has ended.
struct NotifyToken {
    std::mutex lock;
    std::condition_variable changed;
    // Bumped by every Close: whatever an earlier session posted does nothing.
    quint64 generation = 0;
    // Bumped by every SetOwner and when the context is destroyed.
    quint64 ownerEpoch = 0;
    QObject* context = nullptr;
    ISerialListener* listener = nullptr;
    quint64 posted = 0;
    quint64 handled = 0;
};

}  // namespace

struct CSerial::Impl {
    explicit Impl(PortTable& table) : ports(table) {}

    PortTable& ports;

    // Read, Write, Purge and the queries hold it shared; Open and Close take
    // it exclusively to install or close the descriptors, so no thread ever
    // uses a closed or reused descriptor.
    mutable std::shared_mutex fdLock;
    int fd = -1;
    int stopFd = -1;  // eventfd, signalled once by Close and left signalled
    int kickFd = -1;  // eventfd, SetOwner asks the reader to look again
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

    std::atomic<unsigned> pendingErrors{0};

    // Test seam: counter changes added to every later line sample.
    std::mutex injectLock;
    std::condition_variable injectSampled;
    bool injecting = false;
    LineCounters injected;
    quint64 injectRequests = 0;
    quint64 injectSamples = 0;
    std::atomic<bool> rxAnnounced{false};
    std::atomic<quint64> bytesRead{0};

    std::shared_ptr<NotifyToken> token = std::make_shared<NotifyToken>();
    QMetaObject::Connection contextWatch;

    void SetError(const QString& text)
    {
        std::lock_guard guard(errorLock);
        lastError = text;
    }

    int QueuedInput() const
    {
        int queued = 0;
        if (::ioctl(fd, FIONREAD, &queued) != 0)
            return 0;
        return queued;
    }

    bool ModemLineOn(int line) const
    {
        int lines = 0;
        return ::ioctl(fd, TIOCMGET, &lines) == 0 && (lines & line);
    }

    // Waits for `events` on the port or for Close; false on Close, hang-up
    // or time-out. Caller holds fdLock shared.
    bool WaitForPort(short events, int timeoutMs) const
    {
        pollfd fds[2] = {{fd, events, 0}, {stopFd, POLLIN, 0}};
        for (;;) {
            const int ready = ::poll(fds, 2, timeoutMs);
            if (ready < 0 && errno == EINTR)
                continue;
            if (ready <= 0 || fds[1].revents || stopping)
                return false;
            return (fds[0].revents & events) && !(fds[0].revents & (POLLERR | POLLHUP | POLLNVAL));
        }
    }

    // Runs `call` with the listener on the owner's thread and waits until it
    // has returned, or until the session ends or the owner changes. Reader
    // thread only. False when there is nobody to tell.
    bool DeliverAndWait(std::function<void(ISerialListener&)> call)
    {
        const std::shared_ptr<NotifyToken> shared = token;
        std::unique_lock lock(shared->lock);
        const quint64 generation = readerGeneration;
        if (shared->generation != generation || !shared->context || !shared->listener)
            return false;
        const quint64 epoch = shared->ownerEpoch;
        const quint64 ticket = ++shared->posted;
        // Posting under the token lock: the context cannot be destroyed
        // meanwhile, its destroyed() handler takes the same lock first.
        {
            [[maybe_unused]] const QueuedHandOff posting;
            QMetaObject::invokeMethod(
                shared->context,
                [shared, generation, epoch, ticket, call = std::move(call)] {
                    QueuedHandOff::Received();
                    ISerialListener* listener = nullptr;
                    {
                        std::lock_guard guard(shared->lock);
                        if (shared->generation == generation && shared->ownerEpoch == epoch)
                            listener = shared->listener;
                    }
                    // No lock held here: the listener may Close or even
                    // delete the CSerial; only the token is touched after.
                    if (listener)
                        call(*listener);
                    std::lock_guard guard(shared->lock);
                    shared->handled = std::max(shared->handled, ticket);
                    shared->changed.notify_all();
                },
                Qt::QueuedConnection);
        }
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
        if (shared->generation != generation || !shared->context || !shared->listener)
            return;
        const quint64 epoch = shared->ownerEpoch;
        [[maybe_unused]] const QueuedHandOff posting;
        QMetaObject::invokeMethod(
            shared->context,
            [shared, generation, epoch] {
                QueuedHandOff::Received();
                ISerialListener* listener = nullptr;
                {
                    std::lock_guard guard(shared->lock);
                    if (shared->generation == generation && shared->ownerEpoch == epoch)
                        listener = shared->listener;
                }
                if (listener)
                    listener->OnSerialLost();
            },
            Qt::QueuedConnection);
    }

    bool Injecting()
    {
        std::lock_guard guard(injectLock);
        return injecting;
    }

    // The driver's line state, with whatever a test injected on top.
    LineSample Sample()
    {
        LineSample sample = TakeLineSample(fd);
        std::lock_guard guard(injectLock);
        if (injecting) {
            if (!sample.hasCounters) {
                sample.hasCounters = true;
                sample.counters = {};
            }
            AddLineCounters(sample.counters, injected);
        }
        injectSamples = injectRequests;
        injectSampled.notify_all();
        return sample;
    }

    void SignalStop() const
    {
        if (stopFd >= 0)
            ::eventfd_write(stopFd, 1);
    }

    void Kick() const
    {
        if (kickFd >= 0)
            ::eventfd_write(kickFd, 1);
    }

    // Closes every descriptor; caller holds fdLock exclusively and the
    // reader has ended.
    void CloseDescriptors()
    {
        if (fd >= 0) {
            // The exclusive flag may outlive this descriptor (a pty keeps it
            // while its master is open); hand the device back as we found it.
            ::ioctl(fd, TIOCNXCL);
            ::close(fd);  // also drops the flock
        }
        if (stopFd >= 0)
            ::close(stopFd);
        if (kickFd >= 0)
            ::close(kickFd);
        fd = stopFd = kickFd = -1;
        devicePath.clear();
    }
};

namespace {

// Opens the device for this process alone: flock keeps out other openers
// whatever their rights and also a second opener racing us; TIOCEXCL keeps
// out programs that do not use flock (unless they run as root).
int OpenExclusive(const QString& path, QString* error)
{
    const QByteArray native = path.toLocal8Bit();
    const int fd = ::open(native.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int e = errno;
        if (e == EBUSY)
            *error = QStringLiteral("%1 is in use by another program").arg(path);
        else if (e == ENOENT || e == ENXIO || e == ENODEV)
            *error = QStringLiteral("%1 does not exist (%2)").arg(path, SystemText(e));
        else
            *error = QStringLiteral("%1 cannot be opened: %2").arg(path, SystemText(e));
        return -1;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int e = errno;
        *error = e == EWOULDBLOCK ? QStringLiteral("%1 is in use by another program").arg(path)
                                  : QStringLiteral("%1 cannot be locked: %2").arg(path, SystemText(e));
        ::close(fd);
        return -1;
    }
    if (::ioctl(fd, TIOCEXCL) != 0) {
        const int e = errno;
        *error = QStringLiteral("%1 is not a serial device: %2").arg(path, SystemText(e));
        ::close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

CSerial::CSerial() : CSerial(PortTable::Instance()) {}

CSerial::CSerial(PortTable& ports) : m_impl(std::make_unique<Impl>(ports)) {}

CSerial::~CSerial()
{
    Close();
    QObject::disconnect(m_impl->contextWatch);
    std::lock_guard lock(m_impl->token->lock);
    m_impl->token->context = nullptr;
    m_impl->token->listener = nullptr;
    ++m_impl->token->ownerEpoch;
}

void CSerial::SetOwner(QObject* context, ISerialListener* listener)
{
    Impl& d = *m_impl;
    QObject::disconnect(d.contextWatch);
    const std::shared_ptr<NotifyToken> shared = d.token;
    quint64 epoch = 0;
    {
        std::lock_guard lock(shared->lock);
        shared->context = context;
        shared->listener = context ? listener : nullptr;
        epoch = ++shared->ownerEpoch;
        shared->changed.notify_all();
    }
    if (context) {
        d.contextWatch = QObject::connect(context, &QObject::destroyed, [shared, epoch] {
            std::lock_guard lock(shared->lock);
            if (shared->ownerEpoch != epoch)
                return;
            shared->context = nullptr;
            shared->listener = nullptr;
            ++shared->ownerEpoch;
            shared->changed.notify_all();
        });
    }
    // Input that arrived while nobody listened is announced to the new owner.
    std::shared_lock guard(d.fdLock);
    d.Kick();
}

bool CSerial::Open(int portNumber, int baudRate)
{
    Impl& d = *m_impl;
    if (portNumber < kMinPort || portNumber > kMaxPort) {
        d.SetError(QStringLiteral("COM%1 is not a port number (1..%2)").arg(portNumber).arg(kMaxPort));
        return false;
    }
    // Step 1: an open object stays as it is; the number names the device.
    if (IsOpen()) {
        d.SetError(QStringLiteral("the port is already open (%1)").arg(DevicePath()));
        return false;
    }
    const std::optional<QString> device = d.ports.DeviceFor(portNumber);
    if (!device) {
        d.SetError(QStringLiteral("COM%1 is not a known serial port").arg(portNumber));
        return false;
    }

    // Step 2: the device, for this process alone.
    QString error;
    const int fd = OpenExclusive(*device, &error);
    if (fd < 0) {
        d.SetError(error);
        return false;
    }
    const int stopFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    const int kickFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    {
        std::unique_lock guard(d.fdLock);
        d.fd = fd;
        d.stopFd = stopFd;
        d.kickFd = kickFd;
        d.devicePath = *device;
        if (stopFd < 0 || kickFd < 0) {
            const int e = errno;
            d.CloseDescriptors();
            d.SetError(QStringLiteral("%1: no wake-up descriptor: %2").arg(*device, SystemText(e)));
            return false;
        }
    }
    d.stopping = false;
    d.pendingErrors = 0;
    d.rxAnnounced = false;
    {
        std::lock_guard lock(d.injectLock);
        d.injecting = false;
        d.injected = {};
    }

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
        std::unique_lock guard(d.fdLock);
        d.CloseDescriptors();
        d.SetError(QStringLiteral("%1: the reader thread cannot be started: %2")
                       .arg(*device, QString::fromLocal8Bit(failure.what())));
        return false;
    }

    // Step 4, queue sizes: the tty layer's buffers are fixed; nothing to set.
    // Step 5, time-outs: raw mode with reads that never block; the read wait
    // and write time-out are applied by Read and Write.
    if (!MakePortRaw()) {
        FailOpen();
        return false;
    }
    // Step 6.
    if (!Purge()) {
        d.SetError(QStringLiteral("%1 cannot be purged: %2").arg(*device, SystemText(errno)));
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

bool CSerial::MakePortRaw()
{
    Impl& d = *m_impl;
    std::shared_lock guard(d.fdLock);
    termios t{};
    if (::tcgetattr(d.fd, &t) != 0) {
        d.SetError(QStringLiteral("%1: line settings cannot be read: %2").arg(d.devicePath, SystemText(errno)));
        return false;
    }
    MakeRaw(t);
    termios actual{};
    if (::tcsetattr(d.fd, TCSANOW, &t) != 0 || ::tcgetattr(d.fd, &actual) != 0 || !IsRaw(actual)) {
        d.SetError(QStringLiteral("%1 refuses raw mode: %2").arg(d.devicePath, SystemText(errno)));
        return false;
    }
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
    std::shared_lock guard(d.fdLock);
    if (d.fd < 0) {
        d.SetError(QStringLiteral("the port is not open"));
        return false;
    }
    const QString wantedText = DescribeLineSettings(baudRate, dataBits, parity);
    speed_t speed = 0;
    if (!SpeedForRate(baudRate, &speed)) {
        d.SetError(QStringLiteral("%1: %2 bit/s is not a supported rate").arg(d.devicePath).arg(baudRate));
        return false;
    }
    if (dataBits != 7 && dataBits != 8) {
        d.SetError(QStringLiteral("%1: %2 data bits are not supported").arg(d.devicePath).arg(dataBits));
        return false;
    }
    if (parity != Parity::None && parity != Parity::Odd && parity != Parity::Even) {
        d.SetError(QStringLiteral("%1: parity %2 is not supported").arg(d.devicePath).arg(static_cast<int>(parity)));
        return false;
    }
    termios previous{};
    if (::tcgetattr(d.fd, &previous) != 0) {
        d.SetError(QStringLiteral("%1: line settings cannot be read: %2").arg(d.devicePath, SystemText(errno)));
        return false;
    }
    termios wanted = previous;
    ApplyLineSettings(wanted, speed, dataBits, parity);
    if (::tcsetattr(d.fd, TCSANOW, &wanted) != 0) {
        const int e = errno;
        ::tcsetattr(d.fd, TCSANOW, &previous);
        d.SetError(QStringLiteral("%1 refuses %2: %3").arg(d.devicePath, wantedText, SystemText(e)));
        return false;
    }
    termios actual{};
    if (::tcgetattr(d.fd, &actual) != 0 || !LineSettingsMatch(wanted, actual)) {
        ::tcsetattr(d.fd, TCSANOW, &previous);
        d.SetError(QStringLiteral("%1 does not take %2").arg(d.devicePath, wantedText));
        return false;
    }
    d.SetError(QString());
    return true;
}

bool CSerial::IsStandardBaudRate(int baudRate)
{
    speed_t ignored = 0;
    return SpeedForRate(baudRate, &ignored);
}

bool CSerial::QueryLineSettings(int* baudRate, int* dataBits, Parity* parity) const
{
    const Impl& d = *m_impl;
    std::shared_lock guard(d.fdLock);
    termios t{};
    if (d.fd < 0 || ::tcgetattr(d.fd, &t) != 0)
        return false;
    const int rate = RateForSpeed(cfgetospeed(&t));
    if (rate == 0)
        return false;
    if (baudRate)
        *baudRate = rate;
    if (dataBits) {
        switch (t.c_cflag & CSIZE) {
        case CS5: *dataBits = 5; break;
        case CS6: *dataBits = 6; break;
        case CS7: *dataBits = 7; break;
        default: *dataBits = 8; break;
        }
    }
    if (parity) {
        if (!(t.c_cflag & PARENB))
            *parity = Parity::None;
        else
            *parity = (t.c_cflag & PARODD) ? Parity::Odd : Parity::Even;
    }
    return true;
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
        std::shared_lock guard(d.fdLock);
        d.SignalStop();
    }
    if (d.reader.joinable())
        d.reader.join();
    std::unique_lock guard(d.fdLock);
    d.CloseDescriptors();
}

bool CSerial::IsOpen() const
{
    std::shared_lock guard(m_impl->fdLock);
    return m_impl->fd >= 0;
}

bool CSerial::IsReaderRunning() const
{
    return m_impl->readerRunning;
}

int CSerial::Read(char* buffer, int capacity)
{
    Impl& d = *m_impl;
    std::shared_lock guard(d.fdLock);
    if (d.fd < 0 || !buffer || d.stopping)
        return 0;
    if (DiscardOnPendingErrors())
        return 0;
    const int limit = std::clamp(capacity, 0, kMaxRead);
    if (limit == 0)
        return 0;
    const bool announced = d.rxAnnounced.exchange(false);
    if (d.QueuedInput() <= 0 && !announced)
        return 0;
    ssize_t got = ::read(d.fd, buffer, static_cast<size_t>(limit));
    if (got < 0 && errno == EAGAIN && d.WaitForPort(POLLIN, m_readWaitMs))
        got = ::read(d.fd, buffer, static_cast<size_t>(limit));
    if (got <= 0)
        return 0;
    d.bytesRead += static_cast<quint64>(got);
    return static_cast<int>(got);
}

int CSerial::Write(const char* data, int length)
{
    if (!data || length <= 0)
        return 0;
    Impl& d = *m_impl;
    std::shared_lock guard(d.fdLock);
    if (d.fd < 0 || d.stopping)
        return 0;
    if (DiscardOnPendingErrors())
        return 0;
    std::lock_guard serialise(d.writeLock);
    const qint64 limitMs = qint64(m_writeConstantMs) + qint64(m_writePerByteMs) * length;
    const bool unlimited = m_writeConstantMs <= 0 && m_writePerByteMs <= 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    int written = 0;
    while (written < length) {
        const ssize_t sent = ::write(d.fd, data + written, static_cast<size_t>(length - written));
        if (sent > 0) {
            written += static_cast<int>(sent);
            continue;
        }
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent < 0 && errno != EAGAIN)
            break;  // hang-up or a driver error: report what went out
        const int waitMs = unlimited ? -1 : WaitMs(deadline);
        if (waitMs == 0 || !d.WaitForPort(POLLOUT, waitMs))
            break;
    }
    return written;
}

bool CSerial::Purge()
{
    Impl& d = *m_impl;
    std::shared_lock guard(d.fdLock);
    return d.fd >= 0 && ::tcflush(d.fd, TCIOFLUSH) == 0;
}

bool CSerial::PurgeInput()
{
    Impl& d = *m_impl;
    std::shared_lock guard(d.fdLock);
    return d.fd >= 0 && ::tcflush(d.fd, TCIFLUSH) == 0;
}

QString CSerial::DevicePath() const
{
    std::shared_lock guard(m_impl->fdLock);
    return m_impl->devicePath;
}

QString CSerial::LastError() const
{
    std::lock_guard guard(m_impl->errorLock);
    return m_impl->lastError;
}

unsigned CSerial::TakePendingErrors()
{
    return m_impl->pendingErrors.exchange(0);
}

bool CSerial::DiscardOnPendingErrors()
{
    // Taken, not only looked at: a break alone raises no error event, so
    // nothing else would ever clear it and the port would stay mute. The
    // caller holds fdLock shared.
    if (TakePendingErrors() == 0)
        return false;
    // Bytes that came with a line error are not trusted.
    ::tcflush(m_impl->fd, TCIFLUSH);
    return true;
}

bool CSerial::InjectLineCounterChanges(const LineCounters& delta, int limitMs)
{
    Impl& d = *m_impl;
    std::shared_lock guard(d.fdLock);
    if (d.fd < 0 || d.stopping)
        return false;
    std::unique_lock lock(d.injectLock);
    d.injecting = true;
    AddLineCounters(d.injected, delta);
    const quint64 ticket = ++d.injectRequests;
    d.Kick();
    return d.injectSampled.wait_for(lock, std::chrono::milliseconds(limitMs),
                                    [&] { return d.injectSamples >= ticket; });
}

// ------------------------------------------------------------ notifications
// Called on the reader thread; each hands its news to the owner's thread and
// waits there until it has been handled.

void CSerial::OnCTS()
{
    const bool on = m_impl->ModemLineOn(TIOCM_CTS);
    m_impl->DeliverAndWait([on](ISerialListener& listener) { listener.OnSerialCts(on); });
}

void CSerial::OnDSR()
{
    const bool on = m_impl->ModemLineOn(TIOCM_DSR);
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

void CSerial::EventLoop()
{
    Impl& d = *m_impl;
    // The descriptors stay open until Close has joined this thread.
    LineSample previous = TakeLineSample(d.fd);
    const bool sampleLines = previous.hasModemLines || previous.hasCounters;

    // Input is announced once per arrival, as a Windows port does: when the
    // owner reads nothing after an announcement (or nobody listens), the
    // port's input is no longer watched, only sampled, until new bytes come,
    // a read or purge changes the queue, or a new owner is set.
    bool watchInput = true;
    int quietQueued = 0;
    quint64 quietReads = 0;

    while (!d.stopping) {
        pollfd fds[3] = {
            {d.fd, static_cast<short>(watchInput ? POLLIN : 0), 0},
            {d.stopFd, POLLIN, 0},
            {d.kickFd, POLLIN, 0},
        };
        const int timeoutMs = (sampleLines || !watchInput) ? kSampleIntervalMs : -1;
        const int ready = ::poll(fds, 3, timeoutMs);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            d.PostLost();  // cannot wait for the port any more
            return;
        }
        if (d.stopping || fds[1].revents)
            return;
        if (fds[2].revents & POLLIN) {
            eventfd_t ignored = 0;
            ::eventfd_read(d.kickFd, &ignored);
            watchInput = true;
        }
        // A vanished device reports hang-up or error; reading it would only
        // give 0 bytes forever.
        if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) {
            d.PostLost();
            return;
        }

        unsigned events = 0;
        if (fds[0].revents & POLLIN)
            events |= EventRxChar;
        else if (!watchInput && (d.QueuedInput() != quietQueued || d.bytesRead != quietReads))
            watchInput = true;  // looked at again on the next round
        if (sampleLines || d.Injecting()) {
            const LineSample now = d.Sample();
            if (now.hasCounters && !previous.hasCounters) {
                // Injected counters on a device that has none start at 0.
                previous.hasCounters = true;
                previous.counters = {};
            }
            const LineChanges changes = CompareLineSamples(previous, now);
            previous = now;
            events |= changes.events;
            d.pendingErrors |= changes.errors;
        }

        if (events & EventRxChar) {
            const int queued = d.QueuedInput();
            const quint64 readsBefore = d.bytesRead;
            d.rxAnnounced = true;
            OnRxChar();
            if (d.bytesRead == readsBefore && d.QueuedInput() > 0) {
                watchInput = false;
                quietQueued = queued;
                quietReads = readsBefore;
            }
        }
        // The other events are dispatched only one at a time, as a Windows
        // port reports them: a combined report (a break with its frame
        // error, say) is not dispatched, and its errors stay pending for the
        // next Read or Write to take.
        const unsigned lineEvents = events & ~static_cast<unsigned>(EventRxChar);
        if (lineEvents == 0 || (lineEvents & (lineEvents - 1)) != 0)
            continue;
        const std::pair<unsigned, void (CSerial::*)()> steps[] = {
            {EventTxEmpty, &CSerial::OnTxEmpty}, {EventCts, &CSerial::OnCTS},
            {EventDsr, &CSerial::OnDSR},         {EventRlsd, &CSerial::OnRLSD},
            {EventBreak, &CSerial::OnBreak},     {EventError, &CSerial::OnError},
            {EventRing, &CSerial::OnRing},
        };
        for (const auto& [bit, step] : steps) {
            if (d.stopping)
                return;
            if (lineEvents == bit)
                (this->*step)();
        }
    }
}

#include "serial/PosixSerialPort.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

// How often a wait samples modem lines and error counters, and looks at
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

std::string SystemText(int error)
{
    return std::strerror(error);
}

// Raw bytes both ways: no line editing, echo, signals, character mapping or
// software flow control on input (XON/XOFF bytes are data to this program);
// modem lines do not gate reading. Hardware flow control and IXOFF stay as
// the driver has them.
void MakeRawSettings(termios& t)
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

int WaitMs(std::chrono::steady_clock::time_point deadline)
{
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    return static_cast<int>(std::max<std::chrono::milliseconds::rep>(0, left.count()));
}

PortFailure OpenFailureFor(int error)
{
    switch (error) {
    case EBUSY: return PortFailure::Busy;
    case ENOENT:
    case ENXIO:
    case ENODEV: return PortFailure::NoDevice;
    case EACCES:
    case EPERM: return PortFailure::NoPermission;
    default: return PortFailure::System;
    }
}

}  // namespace

std::unique_ptr<SerialPort> SerialPort::CreateForPlatform()
{
    return std::make_unique<PosixSerialPort>();
}

PosixSerialPort::~PosixSerialPort()
{
    Close();
}

bool SerialPort::IsStandardBaudRate(int baudRate)
{
    speed_t ignored = 0;
    return SpeedForRate(baudRate, &ignored);
}

// flock keeps out other openers whatever their rights and also a second
// opener racing us; TIOCEXCL keeps out programs that do not use flock
// (unless they run as root).
bool PosixSerialPort::Open(const std::string& name)
{
    if (IsOpen()) {
        Fail(PortFailure::Busy);
        return false;
    }
    const int fd = ::open(name.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int e = errno;
        Fail(OpenFailureFor(e), SystemText(e));
        return false;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int e = errno;
        Fail(e == EWOULDBLOCK ? PortFailure::Busy : PortFailure::System, SystemText(e));
        ::close(fd);
        return false;
    }
    if (::ioctl(fd, TIOCEXCL) != 0) {
        const int e = errno;
        Fail(PortFailure::NotSerial, SystemText(e));
        ::close(fd);
        return false;
    }
    const int cancelFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    const int kickFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    m_fd = fd;
    m_cancelFd = cancelFd;
    m_kickFd = kickFd;
    if (cancelFd < 0 || kickFd < 0) {
        const int e = errno;
        Close();
        Fail(PortFailure::System, SystemText(e));
        return false;
    }
    m_cancelled = false;
    m_pendingErrors = 0;
    m_rxAnnounced = false;
    m_watchInput = true;
    {
        std::lock_guard lock(m_injectLock);
        m_injecting = false;
        m_injected = {};
    }
    m_previous = TakeLineSample(m_fd);
    m_sampleLines = m_previous.hasModemLines || m_previous.hasCounters;
    Succeed();
    return true;
}

void PosixSerialPort::Close()
{
    if (m_fd >= 0) {
        // The exclusive flag may outlive this descriptor (a pty keeps it
        // while its master is open); hand the device back as we found it.
        ::ioctl(m_fd, TIOCNXCL);
        ::close(m_fd);  // also drops the flock
    }
    if (m_cancelFd >= 0)
        ::close(m_cancelFd);
    if (m_kickFd >= 0)
        ::close(m_kickFd);
    m_fd = m_cancelFd = m_kickFd = -1;
}

bool PosixSerialPort::SetQueueSizes(int inputBytes, int outputBytes)
{
    // The tty layer's buffers are fixed; nothing to set.
    return IsOpen();
}

// Raw mode with reads that never block; the read wait is Read's and the
// write time-out is applied by Write.
bool PosixSerialPort::SetTimeouts(const PortTimeouts& timeouts)
{
    m_writeConstantMs = timeouts.writeTotalConstantMs;
    m_writePerByteMs = timeouts.writeTotalMultiplierMs;
    return MakeRaw();
}

bool PosixSerialPort::MakeRaw()
{
    termios t{};
    if (::tcgetattr(m_fd, &t) != 0) {
        Fail(PortFailure::System, SystemText(errno));
        return false;
    }
    MakeRawSettings(t);
    termios actual{};
    if (::tcsetattr(m_fd, TCSANOW, &t) != 0 || ::tcgetattr(m_fd, &actual) != 0 || !IsRaw(actual)) {
        Fail(PortFailure::Refused, SystemText(errno));
        return false;
    }
    Succeed();
    return true;
}

bool PosixSerialPort::SetLineSettings(int baudRate, int dataBits, Parity parity)
{
    if (!IsOpen()) {
        Fail(PortFailure::NotOpen);
        return false;
    }
    speed_t speed = 0;
    if (!SpeedForRate(baudRate, &speed)) {
        Fail(PortFailure::BadRate);
        return false;
    }
    if (dataBits != 7 && dataBits != 8) {
        Fail(PortFailure::BadDataBits);
        return false;
    }
    if (parity != Parity::None && parity != Parity::Odd && parity != Parity::Even) {
        Fail(PortFailure::BadParity);
        return false;
    }
    termios previous{};
    if (::tcgetattr(m_fd, &previous) != 0) {
        Fail(PortFailure::System, SystemText(errno));
        return false;
    }
    termios wanted = previous;
    ApplyLineSettings(wanted, speed, dataBits, parity);
    if (::tcsetattr(m_fd, TCSANOW, &wanted) != 0) {
        const int e = errno;
        ::tcsetattr(m_fd, TCSANOW, &previous);
        Fail(PortFailure::Refused, SystemText(e));
        return false;
    }
    termios actual{};
    if (::tcgetattr(m_fd, &actual) != 0 || !LineSettingsMatch(wanted, actual)) {
        ::tcsetattr(m_fd, TCSANOW, &previous);
        Fail(PortFailure::Refused);
        return false;
    }
    Succeed();
    return true;
}

bool PosixSerialPort::QueryLineSettings(int* baudRate, int* dataBits, Parity* parity) const
{
    termios t{};
    if (m_fd < 0 || ::tcgetattr(m_fd, &t) != 0)
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

bool PosixSerialPort::Purge(bool input, bool output)
{
    if (m_fd < 0 || (!input && !output))
        return false;
    const int which = input && output ? TCIOFLUSH : input ? TCIFLUSH : TCOFLUSH;
    return ::tcflush(m_fd, which) == 0;
}

bool PosixSerialPort::TakeStatus(PortStatus* status)
{
    if (m_fd < 0)
        return false;
    status->errors = m_pendingErrors.exchange(0);
    status->queuedInput = QueuedInput();
    return true;
}

bool PosixSerialPort::ModemStatus(unsigned* lines) const
{
    int bits = 0;
    if (m_fd < 0 || ::ioctl(m_fd, TIOCMGET, &bits) != 0)
        return false;
    *lines = ((bits & TIOCM_CTS) ? ModemCts : 0u) | ((bits & TIOCM_DSR) ? ModemDsr : 0u)
             | ((bits & TIOCM_RNG) ? ModemRing : 0u) | ((bits & TIOCM_CD) ? ModemRlsd : 0u);
    return true;
}

int PosixSerialPort::QueuedInput() const
{
    int queued = 0;
    if (::ioctl(m_fd, FIONREAD, &queued) != 0)
        return 0;
    return queued;
}

// Waits for `events` on the device or for Cancel; false on Cancel, hang-up
// or time-out.
bool PosixSerialPort::WaitForDevice(short events, int timeoutMs) const
{
    pollfd fds[2] = {{m_fd, events, 0}, {m_cancelFd, POLLIN, 0}};
    for (;;) {
        const int ready = ::poll(fds, 2, timeoutMs);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0 || fds[1].revents || m_cancelled)
            return false;
        return (fds[0].revents & events) && !(fds[0].revents & (POLLERR | POLLHUP | POLLNVAL));
    }
}

int PosixSerialPort::Read(char* buffer, int capacity, int queued, int waitMs)
{
    if (m_fd < 0 || m_cancelled || capacity <= 0)
        return 0;
    // An announcement is trusted even when the queue count lags behind.
    const bool announced = m_rxAnnounced.exchange(false);
    if (queued <= 0 && !announced)
        return 0;
    ssize_t got = ::read(m_fd, buffer, static_cast<size_t>(capacity));
    if (got < 0 && errno == EAGAIN && WaitForDevice(POLLIN, waitMs))
        got = ::read(m_fd, buffer, static_cast<size_t>(capacity));
    if (got <= 0)
        return 0;
    m_bytesRead += static_cast<std::uint64_t>(got);
    return static_cast<int>(got);
}

int PosixSerialPort::Write(const char* data, int length)
{
    if (m_fd < 0 || m_cancelled || length <= 0)
        return 0;
    const int constantMs = m_writeConstantMs;
    const int perByteMs = m_writePerByteMs;
    const long long limitMs = static_cast<long long>(constantMs) + static_cast<long long>(perByteMs) * length;
    const bool unlimited = constantMs <= 0 && perByteMs <= 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    int written = 0;
    while (written < length) {
        const ssize_t sent = ::write(m_fd, data + written, static_cast<size_t>(length - written));
        if (sent > 0) {
            written += static_cast<int>(sent);
            continue;
        }
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent < 0 && errno != EAGAIN)
            break;  // hang-up or a driver error: report what went out
        const int waitMs = unlimited ? -1 : WaitMs(deadline);
        if (waitMs == 0 || !WaitForDevice(POLLOUT, waitMs))
            break;
    }
    return written;
}

WaitOutcome PosixSerialPort::WaitForEvents(unsigned* events)
{
    *events = 0;
    pollfd fds[3] = {
        {m_fd, static_cast<short>(m_watchInput ? POLLIN : 0), 0},
        {m_cancelFd, POLLIN, 0},
        {m_kickFd, POLLIN, 0},
    };
    const int timeoutMs = (m_sampleLines || !m_watchInput) ? kSampleIntervalMs : -1;
    const int ready = ::poll(fds, 3, timeoutMs);
    if (ready < 0)
        return errno == EINTR ? WaitOutcome::Events : WaitOutcome::Lost;
    if (m_cancelled || fds[1].revents)
        return WaitOutcome::Cancelled;
    if (fds[2].revents & POLLIN) {
        eventfd_t ignored = 0;
        ::eventfd_read(m_kickFd, &ignored);
        m_watchInput = true;
    }
    // A vanished device reports hang-up or error; reading it would only
    // give 0 bytes forever.
    if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL))
        return WaitOutcome::Lost;

    if (fds[0].revents & POLLIN)
        *events |= EventRxChar;
    else if (!m_watchInput && (QueuedInput() != m_quietQueued || m_bytesRead != m_quietReads))
        m_watchInput = true;  // looked at again on the next round
    if (m_sampleLines || Injecting()) {
        const LineSample now = Sample();
        if (now.hasCounters && !m_previous.hasCounters) {
            // Injected counters on a device that has none start at 0.
            m_previous.hasCounters = true;
            m_previous.counters = {};
        }
        const LineChanges changes = CompareLineSamples(m_previous, now);
        m_previous = now;
        // Pending before the events are reported, so that an error event's
        // handler finds them.
        m_pendingErrors |= changes.errors;
        *events |= changes.events;
    }
    return WaitOutcome::Events;
}

void PosixSerialPort::RxAnnouncing()
{
    m_announcedQueued = QueuedInput();
    m_announcedReads = m_bytesRead;
    m_rxAnnounced = true;
}

void PosixSerialPort::RxAnnounced()
{
    // poll reports unread input again at once; stop watching it.
    if (m_bytesRead == m_announcedReads && QueuedInput() > 0) {
        m_watchInput = false;
        m_quietQueued = m_announcedQueued;
        m_quietReads = m_announcedReads;
    }
}

void PosixSerialPort::Cancel()
{
    m_cancelled = true;
    if (m_cancelFd >= 0)
        ::eventfd_write(m_cancelFd, 1);
}

bool PosixSerialPort::GatherInput(int ms)
{
    if (m_cancelled)
        return false;
    // Only Cancel cuts it short. Bytes that come meanwhile wait in the
    // driver: the terminal layer buffers far more than a gathering brings
    // at any rate of the port, and a pseudo-terminal holds its writer back
    // rather than lose bytes.
    pollfd cancel = {m_cancelFd, POLLIN, 0};
    const int ready = ::poll(&cancel, 1, ms);
    return !m_cancelled && !(ready > 0 && cancel.revents);
}

void PosixSerialPort::Kick()
{
    if (m_kickFd >= 0)
        ::eventfd_write(m_kickFd, 1);
}

bool PosixSerialPort::Injecting()
{
    std::lock_guard guard(m_injectLock);
    return m_injecting;
}

// The driver's line state, with whatever a test injected on top.
LineSample PosixSerialPort::Sample()
{
    LineSample sample = TakeLineSample(m_fd);
    std::lock_guard guard(m_injectLock);
    if (m_injecting) {
        if (!sample.hasCounters) {
            sample.hasCounters = true;
            sample.counters = {};
        }
        AddLineCounters(sample.counters, m_injected);
    }
    m_injectSamples = m_injectRequests;
    m_injectSampled.notify_all();
    return sample;
}

bool PosixSerialPort::InjectCounterChanges(const LineCounters& delta)
{
    if (m_fd < 0 || m_cancelled)
        return false;
    {
        std::lock_guard guard(m_injectLock);
        m_injecting = true;
        AddLineCounters(m_injected, delta);
        ++m_injectRequests;
    }
    Kick();
    return true;
}

bool PosixSerialPort::WaitForInjectedSample(int limitMs)
{
    std::unique_lock lock(m_injectLock);
    const std::uint64_t ticket = m_injectRequests;
    return m_injectSampled.wait_for(lock, std::chrono::milliseconds(limitMs),
                                    [&] { return m_injectSamples >= ticket || m_cancelled; })
           && m_injectSamples >= ticket;
}

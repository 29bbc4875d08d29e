#include "serial/Win32SerialPort.h"

#include <algorithm>

namespace {

// How long a wait looks at the queue again when the driver's event wait
// reports nothing (some drivers and emulators never report events).
constexpr DWORD kQueuePollMs = 50;

constexpr int kStandardRates[] = {
    110, 300, 600, 1200, 2400, 4800, 9600, 14400, 19200, 38400, 57600,
    115200, 128000, 230400, 256000, 460800, 921600,
};

std::string SystemText(DWORD error)
{
    char* text = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
        reinterpret_cast<char*>(&text), 0, nullptr);
    std::string result = length ? std::string(text, length) : "error " + std::to_string(error);
    if (text)
        LocalFree(text);
    while (!result.empty() && (result.back() == '\n' || result.back() == '\r' || result.back() == ' '))
        result.pop_back();
    return result;
}

PortFailure OpenFailureFor(DWORD error)
{
    switch (error) {
    // A COM port that another program holds is refused as access denied.
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION: return PortFailure::Busy;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_BAD_UNIT:
    case ERROR_DEV_NOT_EXIST: return PortFailure::NoDevice;
    default: return PortFailure::System;
    }
}

unsigned LineErrorsFrom(DWORD flags)
{
    unsigned errors = 0;
    if (flags & CE_RXOVER)
        errors |= LineErrorBufferOverrun;
    if (flags & CE_OVERRUN)
        errors |= LineErrorOverrun;
    if (flags & CE_RXPARITY)
        errors |= LineErrorParity;
    if (flags & CE_FRAME)
        errors |= LineErrorFrame;
    if (flags & CE_BREAK)
        errors |= LineErrorBreak;
    return errors;
}

}  // namespace

std::unique_ptr<SerialPort> SerialPort::CreateForPlatform()
{
    return std::make_unique<Win32SerialPort>();
}

bool SerialPort::IsStandardBaudRate(int baudRate)
{
    return std::find(std::begin(kStandardRates), std::end(kStandardRates), baudRate) != std::end(kStandardRates);
}

Win32SerialPort::Win32SerialPort()
{
    m_ovRead.hEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    m_ovWrite.hEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    m_ovWait.hEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    m_cancelEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    m_kickEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
}

Win32SerialPort::~Win32SerialPort()
{
    Close();
    for (HANDLE event : {m_ovRead.hEvent, m_ovWrite.hEvent, m_ovWait.hEvent, m_cancelEvent, m_kickEvent}) {
        if (event)
            CloseHandle(event);
    }
}

bool Win32SerialPort::Open(const std::string& name)
{
    if (IsOpen()) {
        Fail(PortFailure::Busy);
        return false;
    }
    if (!m_ovRead.hEvent || !m_ovWrite.hEvent || !m_ovWait.hEvent || !m_cancelEvent || !m_kickEvent) {
        Fail(PortFailure::System, "no event objects");
        return false;
    }
    const HANDLE comm = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_OVERLAPPED, nullptr);
    if (comm == INVALID_HANDLE_VALUE) {
        const DWORD e = GetLastError();
        Fail(OpenFailureFor(e), SystemText(e));
        return false;
    }
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(comm, &dcb)) {
        const DWORD e = GetLastError();
        CloseHandle(comm);
        Fail(PortFailure::NotSerial, SystemText(e));
        return false;
    }
    // Set here rather than in the waiting thread: a port that could never
    // announce received bytes must not look open.
    if (!SetCommMask(comm, kEventMask)) {
        const DWORD e = GetLastError();
        CloseHandle(comm);
        Fail(PortFailure::Refused, SystemText(e));
        return false;
    }
    m_comm = comm;
    ResetEvent(m_cancelEvent);
    ResetEvent(m_kickEvent);
    m_cancelled = false;
    m_pendingErrors = 0;
    m_waitPending = false;
    m_lastQueued = 0;
    Succeed();
    return true;
}

void Win32SerialPort::Close()
{
    if (!IsOpen())
        return;
    if (m_waitPending) {
        // The record and mask must not be written after this returns.
        DWORD ignored = 0;
        CancelIoEx(m_comm, &m_ovWait);
        GetOverlappedResult(m_comm, &m_ovWait, &ignored, TRUE);
        m_waitPending = false;
    }
    CloseHandle(m_comm);
    m_comm = INVALID_HANDLE_VALUE;
}

bool Win32SerialPort::SetQueueSizes(int inputBytes, int outputBytes)
{
    if (!SetupComm(m_comm, static_cast<DWORD>(inputBytes), static_cast<DWORD>(outputBytes))) {
        Fail(PortFailure::Refused, SystemText(GetLastError()));
        return false;
    }
    Succeed();
    return true;
}

bool Win32SerialPort::SetTimeouts(const PortTimeouts& timeouts)
{
    COMMTIMEOUTS t{};
    if (!GetCommTimeouts(m_comm, &t)) {
        Fail(PortFailure::System, SystemText(GetLastError()));
        return false;
    }
    t.ReadIntervalTimeout = static_cast<DWORD>(timeouts.readIntervalMs);
    t.ReadTotalTimeoutMultiplier = static_cast<DWORD>(timeouts.readTotalMultiplierMs);
    t.ReadTotalTimeoutConstant = static_cast<DWORD>(timeouts.readTotalConstantMs);
    t.WriteTotalTimeoutMultiplier = static_cast<DWORD>(timeouts.writeTotalMultiplierMs);
    t.WriteTotalTimeoutConstant = static_cast<DWORD>(timeouts.writeTotalConstantMs);
    if (!SetCommTimeouts(m_comm, &t)) {
        Fail(PortFailure::Refused, SystemText(GetLastError()));
        return false;
    }
    Succeed();
    return true;
}

bool Win32SerialPort::QueryTimeouts(PortTimeouts* timeouts) const
{
    COMMTIMEOUTS t{};
    if (!IsOpen() || !GetCommTimeouts(m_comm, &t))
        return false;
    timeouts->readIntervalMs = static_cast<int>(t.ReadIntervalTimeout);
    timeouts->readTotalMultiplierMs = static_cast<int>(t.ReadTotalTimeoutMultiplier);
    timeouts->readTotalConstantMs = static_cast<int>(t.ReadTotalTimeoutConstant);
    timeouts->writeTotalMultiplierMs = static_cast<int>(t.WriteTotalTimeoutMultiplier);
    timeouts->writeTotalConstantMs = static_cast<int>(t.WriteTotalTimeoutConstant);
    return true;
}

bool Win32SerialPort::SetLineSettings(int baudRate, int dataBits, Parity parity)
{
    if (!IsOpen()) {
        Fail(PortFailure::NotOpen);
        return false;
    }
    if (!IsStandardBaudRate(baudRate)) {
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
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(m_comm, &dcb)) {
        Fail(PortFailure::System, SystemText(GetLastError()));
        return false;
    }
    dcb.BaudRate = static_cast<DWORD>(baudRate);
    dcb.ByteSize = static_cast<BYTE>(dataBits);
    dcb.Parity = static_cast<BYTE>(parity);  // none 0, odd 1, even 2
    dcb.StopBits = ONESTOPBIT;
    // Checking is switched on with parity; with none it is left alone.
    if (parity != Parity::None)
        dcb.fParity = TRUE;
    if (!SetCommState(m_comm, &dcb)) {
        Fail(PortFailure::Refused, SystemText(GetLastError()));
        return false;
    }
    Succeed();
    return true;
}

bool Win32SerialPort::QueryLineSettings(int* baudRate, int* dataBits, Parity* parity) const
{
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!IsOpen() || !GetCommState(m_comm, &dcb) || dcb.Parity > EVENPARITY)
        return false;
    if (baudRate)
        *baudRate = static_cast<int>(dcb.BaudRate);
    if (dataBits)
        *dataBits = dcb.ByteSize;
    if (parity)
        *parity = static_cast<Parity>(dcb.Parity);
    return true;
}

bool Win32SerialPort::Purge(bool input, bool output)
{
    DWORD flags = 0;
    if (input)
        flags |= PURGE_RXABORT | PURGE_RXCLEAR;
    if (output)
        flags |= PURGE_TXABORT | PURGE_TXCLEAR;
    if (!IsOpen() || flags == 0)
        return false;
    if (input)
        m_lastQueued = 0;
    return PurgeComm(m_comm, flags) != 0;
}

int Win32SerialPort::SampleQueue()
{
    DWORD flags = 0;
    COMSTAT stat{};
    if (!ClearCommError(m_comm, &flags, &stat))
        return 0;
    // Reading the error state clears it: keep it for TakeStatus.
    m_pendingErrors |= LineErrorsFrom(flags);
    return static_cast<int>(stat.cbInQue);
}

bool Win32SerialPort::TakeStatus(PortStatus* status)
{
    DWORD flags = 0;
    COMSTAT stat{};
    if (!IsOpen() || !ClearCommError(m_comm, &flags, &stat))
        return false;
    status->errors = LineErrorsFrom(flags) | m_pendingErrors.exchange(0);
    status->queuedInput = static_cast<int>(stat.cbInQue);
    return true;
}

bool Win32SerialPort::ModemStatus(unsigned* lines) const
{
    DWORD status = 0;
    if (!IsOpen() || !GetCommModemStatus(m_comm, &status))
        return false;
    *lines = ((status & MS_CTS_ON) ? ModemCts : 0u) | ((status & MS_DSR_ON) ? ModemDsr : 0u)
             | ((status & MS_RING_ON) ? ModemRing : 0u) | ((status & MS_RLSD_ON) ? ModemRlsd : 0u);
    return true;
}

DWORD Win32SerialPort::FinishOverlapped(OVERLAPPED& record, DWORD waitMs)
{
    const HANDLE events[2] = {record.hEvent, m_cancelEvent};
    const DWORD woke = WaitForMultipleObjects(2, events, FALSE, waitMs);
    DWORD transferred = 0;
    if (woke == WAIT_OBJECT_0 && GetOverlappedResult(m_comm, &record, &transferred, FALSE))
        return transferred;
    // Still in progress (time up or Cancel): the buffer belongs to the
    // caller, so the call must be over before this returns.
    CancelIoEx(m_comm, &record);
    if (!GetOverlappedResult(m_comm, &record, &transferred, TRUE) && GetLastError() != ERROR_OPERATION_ABORTED)
        return 0;
    return transferred;
}

int Win32SerialPort::Read(char* buffer, int capacity, int queued, int waitMs)
{
    if (!IsOpen() || m_cancelled || queued <= 0 || capacity <= 0)
        return 0;
    const DWORD wanted = static_cast<DWORD>(std::min(queued, capacity));
    DWORD got = 0;
    if (ReadFile(m_comm, buffer, wanted, &got, &m_ovRead))
        return static_cast<int>(got);
    if (GetLastError() != ERROR_IO_PENDING)
        return 0;
    return static_cast<int>(FinishOverlapped(m_ovRead, static_cast<DWORD>(std::max(waitMs, 0))));
}

int Win32SerialPort::Write(const char* data, int length)
{
    if (!IsOpen() || m_cancelled || length <= 0)
        return 0;
    DWORD sent = 0;
    if (WriteFile(m_comm, data, static_cast<DWORD>(length), &sent, &m_ovWrite))
        return static_cast<int>(sent);
    if (GetLastError() != ERROR_IO_PENDING)
        return 0;
    // The driver's write time-out ends it; Cancel ends it sooner.
    return static_cast<int>(FinishOverlapped(m_ovWrite, INFINITE));
}

unsigned Win32SerialPort::EventsFromMask(DWORD mask)
{
    // Only a single event is dispatched; bytes that came with a combined
    // report are picked up at the next receive-char event.
    if (mask == 0 || (mask & (mask - 1)) != 0)
        return 0;
    return mask & kEventMask;
}

WaitOutcome Win32SerialPort::PollQueue(unsigned* events)
{
    const HANDLE wake[2] = {m_cancelEvent, m_kickEvent};
    const DWORD woke = WaitForMultipleObjects(2, wake, FALSE, kQueuePollMs);
    if (woke == WAIT_OBJECT_0 || m_cancelled)
        return WaitOutcome::Cancelled;
    const DWORD queued = static_cast<DWORD>(SampleQueue());
    // Announced once per arrival: again only when the queue changed, or
    // when asked to look again.
    if (queued > 0 && (queued != m_lastQueued || woke == WAIT_OBJECT_0 + 1))
        *events = EventRxChar;
    m_lastQueued = queued;
    return WaitOutcome::Events;
}

WaitOutcome Win32SerialPort::WaitForEvents(unsigned* events)
{
    *events = 0;
    if (m_cancelled)
        return WaitOutcome::Cancelled;
    if (!m_waitPending) {
        m_waitMask = 0;
        if (WaitCommEvent(m_comm, &m_waitMask, &m_ovWait)) {
            if (m_waitMask == 0)
                return PollQueue(events);
            *events = EventsFromMask(m_waitMask);
            return WaitOutcome::Events;
        }
        const DWORD e = GetLastError();
        if (e == ERROR_INVALID_HANDLE || e == ERROR_BAD_COMMAND || e == ERROR_DEVICE_REMOVED)
            return WaitOutcome::Lost;
        if (e != ERROR_IO_PENDING)
            return PollQueue(events);
        m_waitPending = true;
    }
    const HANDLE wake[3] = {m_ovWait.hEvent, m_cancelEvent, m_kickEvent};
    const DWORD woke = WaitForMultipleObjects(3, wake, FALSE, INFINITE);
    if (woke == WAIT_OBJECT_0 + 1 || m_cancelled)
        return WaitOutcome::Cancelled;  // Close ends the pending wait
    if (woke == WAIT_OBJECT_0 + 2) {
        // The event wait stays pending; input already queued is announced.
        if (SampleQueue() > 0)
            *events = EventRxChar;
        return WaitOutcome::Events;
    }
    DWORD ignored = 0;
    m_waitPending = false;
    if (!GetOverlappedResult(m_comm, &m_ovWait, &ignored, FALSE)) {
        const DWORD e = GetLastError();
        if (e == ERROR_INVALID_HANDLE || e == ERROR_BAD_COMMAND || e == ERROR_DEVICE_REMOVED)
            return WaitOutcome::Lost;
        return PollQueue(events);
    }
    if (m_waitMask == 0)
        return PollQueue(events);
    *events = EventsFromMask(m_waitMask);
    return WaitOutcome::Events;
}

void Win32SerialPort::Cancel()
{
    m_cancelled = true;
    SetEvent(m_cancelEvent);
}

bool Win32SerialPort::GatherInput(int ms)
{
    if (m_cancelled)
        return false;
    // The driver's input queue keeps what arrives meanwhile.
    return WaitForSingleObject(m_cancelEvent, static_cast<DWORD>(ms)) == WAIT_TIMEOUT && !m_cancelled;
}

void Win32SerialPort::Kick()
{
    SetEvent(m_kickEvent);
}

#pragma once

#include "serial/SerialPort.h"

#include <atomic>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

// A COM port through the Win32 comm API, opened for overlapped I/O with no
// sharing. One overlapped record each for reads, writes and the event wait,
// so a read and a write may be in progress at once; every wait also watches
// the cancel event, so Cancel ends it at once.
class Win32SerialPort : public SerialPort {
public:
    // Every event the port watches: receive-char, transmit-empty, CTS, DSR,
    // RLSD, break, line error and ring; not the received-flag character.
    static constexpr DWORD kEventMask = 0x1FD;

    Win32SerialPort();
    ~Win32SerialPort() override;

    Win32SerialPort(const Win32SerialPort&) = delete;
    Win32SerialPort& operator=(const Win32SerialPort&) = delete;

    // `name` is a device name such as "\\.\COM5".
    bool Open(const std::string& name) override;
    void Close() override;
    bool IsOpen() const override { return m_comm != INVALID_HANDLE_VALUE; }

    bool SetQueueSizes(int inputBytes, int outputBytes) override;
    bool SetTimeouts(const PortTimeouts& timeouts) override;
    bool SetLineSettings(int baudRate, int dataBits, Parity parity) override;
    bool QueryLineSettings(int* baudRate, int* dataBits, Parity* parity) const override;
    // The driver's time-outs as set, for checks.
    bool QueryTimeouts(PortTimeouts* timeouts) const;

    bool Purge(bool input, bool output) override;
    bool TakeStatus(PortStatus* status) override;
    bool ModemStatus(unsigned* lines) const override;

    int Read(char* buffer, int capacity, int queued, int waitMs) override;
    int Write(const char* data, int length) override;

    WaitOutcome WaitForEvents(unsigned* events) override;
    void Cancel() override;
    bool GatherInput(int ms) override;
    int QueuedInputBytes() override { return IsOpen() ? SampleQueue() : 0; }
    void Kick() override;

private:
    // Finishes an overlapped call that is still in progress: waits up to
    // `waitMs` (INFINITE for no limit) or until Cancel, then cancels what is
    // left, so the record and buffer are free again. Bytes transferred.
    DWORD FinishOverlapped(OVERLAPPED& record, DWORD waitMs);
    // What a completed event wait reported, as LineEvent bits.
    unsigned EventsFromMask(DWORD mask);
    // For drivers whose event wait reports nothing: looks at the queue.
    WaitOutcome PollQueue(unsigned* events);
    // Takes the driver's errors into m_pendingErrors; the input queue.
    int SampleQueue();

    HANDLE m_comm = INVALID_HANDLE_VALUE;
    OVERLAPPED m_ovRead{};
    OVERLAPPED m_ovWrite{};
    OVERLAPPED m_ovWait{};
    HANDLE m_cancelEvent = nullptr;  // manual reset: every waiter sees it
    HANDLE m_kickEvent = nullptr;
    std::atomic<bool> m_cancelled{false};

    // Errors the driver reported (and so cleared) outside TakeStatus.
    std::atomic<unsigned> m_pendingErrors{0};

    // Waiter state; touched by the waiting thread only.
    bool m_waitPending = false;
    DWORD m_waitMask = 0;
    DWORD m_lastQueued = 0;
};

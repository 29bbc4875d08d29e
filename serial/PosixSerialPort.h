#pragma once

#include "serial/LineEvents.h"
#include "serial/SerialPort.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

// A tty device through termios, opened exclusively (flock and TIOCEXCL) in
// raw, non-blocking mode. Waits poll the device with two eventfds: one for
// Cancel, one for Kick. Modem lines and line-error counters are sampled
// while waiting, since a tty reports their changes by no event of its own.
class PosixSerialPort : public SerialPort {
public:
    PosixSerialPort() = default;
    ~PosixSerialPort() override;

    bool Open(const std::string& name) override;
    void Close() override;
    bool IsOpen() const override { return m_fd >= 0; }

    bool SetQueueSizes(int inputBytes, int outputBytes) override;
    bool SetTimeouts(const PortTimeouts& timeouts) override;
    bool SetLineSettings(int baudRate, int dataBits, Parity parity) override;
    bool QueryLineSettings(int* baudRate, int* dataBits, Parity* parity) const override;

    bool Purge(bool input, bool output) override;
    bool TakeStatus(PortStatus* status) override;
    bool ModemStatus(unsigned* lines) const override;

    int Read(char* buffer, int capacity, int queued, int waitMs) override;
    int Write(const char* data, int length) override;

    WaitOutcome WaitForEvents(unsigned* events) override;
    void RxAnnouncing() override;
    void RxAnnounced() override;
    void Cancel() override;
    bool GatherInput(int ms) override;
    int QueuedInputBytes() override { return QueuedInput(); }
    void Kick() override;

    bool InjectCounterChanges(const LineCounters& delta) override;
    bool WaitForInjectedSample(int limitMs) override;

private:
    bool MakeRaw();
    int QueuedInput() const;
    bool WaitForDevice(short events, int timeoutMs) const;
    LineSample Sample();
    bool Injecting();

    int m_fd = -1;
    int m_cancelFd = -1;  // eventfd, signalled once by Cancel and left so
    int m_kickFd = -1;    // eventfd, Kick asks the waiter to look again
    std::atomic<bool> m_cancelled{false};

    std::atomic<int> m_writeConstantMs{1000};
    std::atomic<int> m_writePerByteMs{1};

    std::atomic<unsigned> m_pendingErrors{0};
    std::atomic<bool> m_rxAnnounced{false};
    std::atomic<std::uint64_t> m_bytesRead{0};

    // Waiter state; touched by the waiting thread only.
    LineSample m_previous;
    bool m_sampleLines = false;
    // Input is announced once per arrival, as a Windows port does: when the
    // owner reads nothing after an announcement (or nobody listens), input
    // is no longer watched, only sampled, until new bytes come, a read or
    // purge changes the queue, or Kick.
    bool m_watchInput = true;
    int m_quietQueued = 0;
    std::uint64_t m_quietReads = 0;
    int m_announcedQueued = 0;
    std::uint64_t m_announcedReads = 0;

    std::mutex m_injectLock;
    std::condition_variable m_injectSampled;
    bool m_injecting = false;
    LineCounters m_injected;
    std::uint64_t m_injectRequests = 0;
    std::uint64_t m_injectSamples = 0;
};

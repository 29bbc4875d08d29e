#pragma once

#include "serial/SerialTypes.h"

#include <memory>
#include <string>

struct LineCounters;

// Time-outs of an open port, as the driver applies them to reads and writes.
// Defaults are the values the program sets up at every open.
struct PortTimeouts {
    int readIntervalMs = 100;
    int readTotalMultiplierMs = 1;
    int readTotalConstantMs = 1000;
    int writeTotalMultiplierMs = 1;
    int writeTotalConstantMs = 1000;
};

// Driver queue sizes set up at every open, each way.
constexpr int kPortQueueBytes = 4096;

// Why the last call of a port failed; CSerial turns it into its log text.
enum class PortFailure {
    None,
    NotOpen,
    Busy,          // another program holds the device
    NoDevice,      // no such device
    NoPermission,  // the user may not open it
    NotSerial,     // the device is no serial port
    BadRate,       // a rate the port does not know
    BadDataBits,
    BadParity,
    Refused,       // the driver refused or did not take a setting
    System,        // any other system failure
};

// What the driver tells about its line state; errors are taken and cleared
// by reading them.
struct PortStatus {
    unsigned errors = 0;  // LineError bits
    int queuedInput = 0;
};

enum class WaitOutcome {
    Events,    // *events holds what happened (may be 0)
    Cancelled, // Cancel was called
    Lost,      // the device went away or cannot be waited on any more
};

// One serial device of the operating system, opened for this process alone.
//
// Threads: Open and Close run when no other call is in progress; the other
// calls may run at once on different threads (one reader in WaitForEvents,
// one Read, one Write). Cancel may run at any time while open and makes a
// pending wait, read or write return at once, and every later one too, until
// Close.
class SerialPort {
public:
    virtual ~SerialPort() = default;

    // The platform's port: termios on POSIX, the Win32 comm API on Windows.
    static std::unique_ptr<SerialPort> CreateForPlatform();
    // Whether the platform's port knows the rate.
    static bool IsStandardBaudRate(int baudRate);

    virtual bool Open(const std::string& name) = 0;
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;

    virtual bool SetQueueSizes(int inputBytes, int outputBytes) = 0;
    virtual bool SetTimeouts(const PortTimeouts& timeouts) = 0;
    // Leaves every driver setting that is not named here as it was.
    virtual bool SetLineSettings(int baudRate, int dataBits, Parity parity) = 0;
    virtual bool QueryLineSettings(int* baudRate, int* dataBits, Parity* parity) const = 0;

    virtual bool Purge(bool input, bool output) = 0;
    // Takes and clears the pending line errors; reports the input queue.
    virtual bool TakeStatus(PortStatus* status) = 0;
    virtual bool ModemStatus(unsigned* lines) const = 0;  // ModemLine bits

    // Reads at most `capacity` of the `queued` bytes TakeStatus reported,
    // waiting at most `waitMs` for a read in progress.
    virtual int Read(char* buffer, int capacity, int queued, int waitMs) = 0;
    // Writes every byte unless the write time-out or Cancel cuts it short;
    // returns how many went out.
    virtual int Write(const char* data, int length) = 0;

    // Waits for the next port events (LineEvent bits).
    virtual WaitOutcome WaitForEvents(unsigned* events) = 0;
    // Around the announcement of received bytes: a port whose waits are
    // level-triggered stops watching input its owner leaves unread.
    virtual void RxAnnouncing() {}
    virtual void RxAnnounced() {}
    virtual void Cancel() = 0;
    // After input was reported: lets more of it arrive for `ms`, so that one
    // announcement hands over a burst instead of the few bytes of its first
    // moment (as a Windows read-interval time-out gathers a read). False
    // when Cancel ended the wait.
    virtual bool GatherInput(int ms) = 0;
    // Bytes received and not yet read, without taking the line errors
    // (they stay for TakeStatus).
    virtual int QueuedInputBytes() = 0;
    // Makes the next wait report input that is still queued.
    virtual void Kick() = 0;

    // Test seam for line errors that a device cannot be made to produce:
    // adds the counters at the next line sample. False where unsupported.
    virtual bool InjectCounterChanges(const LineCounters& delta) { return false; }
    // Waits until a wait has sampled the injected counters.
    virtual bool WaitForInjectedSample(int limitMs) { return false; }

    PortFailure LastFailure() const { return m_lastFailure; }
    // The system's own words for the last failure (may be empty).
    const std::string& LastSystemText() const { return m_lastSystemText; }

protected:
    void Fail(PortFailure failure, std::string systemText = {})
    {
        m_lastFailure = failure;
        m_lastSystemText = std::move(systemText);
    }
    void Succeed() { Fail(PortFailure::None); }

private:
    PortFailure m_lastFailure = PortFailure::None;
    std::string m_lastSystemText;
};

#pragma once

#include "serial/SerialTypes.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <thread>

class PortTable;
class SerialPort;
struct LineCounters;
struct PortTimeouts;

// What a CSerial tells its owner. Every call arrives on the thread of the
// owner's context object (the UI thread in the window, the main thread in
// batch mode), never on the reader thread.
class ISerialListener {
public:
    virtual ~ISerialListener() = default;
    // Bytes are waiting; the owner reads them with CSerial::Read. Delivered
    // synchronously: the reader thread waits until this returns (or until
    // the port is closed), so it never announces the same bytes twice.
    virtual void OnSerialRxChar() = 0;
    virtual void OnSerialTxEmpty() {}
    virtual void OnSerialCts(bool on) {}
    virtual void OnSerialDsr(bool on) {}
    virtual void OnSerialRlsd() {}
    virtual void OnSerialBreak() {}
    virtual void OnSerialError(unsigned errors) {}
    virtual void OnSerialRing() {}
    // The device went away while open (adapter unplugged, peer closed).
    // The reader thread has ended; the owner is expected to Close().
    virtual void OnSerialLost() {}
};

// The one connection to the terminal: a serial device opened exclusively
// through the platform's SerialPort, with a reader thread that waits for port
// events and tells the owner about them.
//
// Threads: Open, Close, Read and SetLineSettings run on the owner's thread;
// Write and Purge may also run on the worker thread, and Close may run while
// another thread is inside Write (it cuts the write short). The On* steps run
// on the reader thread: overrides must not call Close or Open, and a derived
// class must Close in its own destructor, before its overrides go away.
// Transmit-empty is not detected on POSIX, so OnTxEmpty is never called by
// the reader there.
class CSerial {
public:
    static constexpr int kMaxRead = 8192;
    static constexpr int kMinPort = 1;
    static constexpr int kMaxPort = 1024;

    // Error bits passed to OnSerialError and kept as pending errors.
    enum ErrorBits : unsigned {
        ErrorOverrun = LineErrorOverrun,
        ErrorParity = LineErrorParity,
        ErrorFrame = LineErrorFrame,
        ErrorBreak = LineErrorBreak,
        ErrorBufferOverrun = LineErrorBufferOverrun,
    };

    CSerial();                          // uses PortTable::Instance()
    explicit CSerial(PortTable& ports);
    virtual ~CSerial();

    CSerial(const CSerial&) = delete;
    CSerial& operator=(const CSerial&) = delete;

    void SetOwner(QObject* context, ISerialListener* listener);

    // portNumber is the number the port table gives the device (1..1024).
    bool Open(int portNumber, int baudRate);
    // Any standard rate of the platform; 7 or 8 data bits; one stop bit. A setting
    // the device refuses leaves the previous settings in force.
    bool SetLineSettings(int baudRate, int dataBits, Parity parity);
    // The open port's current settings as the driver reports them; false
    // when closed or when the rate is not a standard one. Null pointers are
    // skipped.
    bool QueryLineSettings(int* baudRate, int* dataBits, Parity* parity) const;
    // Whether SetLineSettings knows the rate (on POSIX the termios rates).
    static bool IsStandardBaudRate(int baudRate);
    void Close();
    bool IsOpen() const;
    // Whether the reader thread is still in its loop: false when closed and
    // after the device went away (OnSerialLost).
    bool IsReaderRunning() const;

    int Read(char* buffer, int capacity = kMaxRead);
    int Write(const char* data, int length);
    // Throws away unread input and unsent output.
    bool Purge();
    // Throws away unread input only: bytes an earlier Write handed to the
    // driver still go out.
    bool PurgeInput();

    // Device path of the open port (empty when closed).
    QString DevicePath() const;
    // Why the last Open or SetLineSettings failed, for the log.
    QString LastError() const;

    // Test seam for line errors, which pseudo-terminals never report: adds
    // `delta` to the driver's counters at the reader's next line sample, as
    // if the line had seen those breaks and errors. Returns once that sample
    // was taken; false when closed or when the reader did not take it within
    // `limitMs` (it may be waiting for the owner).
    bool InjectLineCounterChanges(const LineCounters& delta, int limitMs);

    void SetReadWaitMs(int ms) { m_readWaitMs = ms; }
    // How long the reader lets received bytes gather before it announces
    // them (0: at once). A busy line then costs one announcement, one read
    // and one hand-over per gathering instead of per driver burst.
    void SetRxGatherMs(int ms) { m_rxGatherMs = ms; }
    int RxGatherMs() const { return m_rxGatherMs; }
    // Packets instead of time slices: the gathering goes on until the line
    // was quiet for the gather time, so a packet that trickles in over a
    // slow line is announced whole. A line that never goes quiet is still
    // announced every kLongestPacketMs, or once kMaxRead bytes wait.
    static constexpr int kLongestPacketMs = 1000;
    void SetRxGatherUntilQuiet(bool on) { m_rxGatherUntilQuiet = on; }
    bool RxGatherUntilQuiet() const { return m_rxGatherUntilQuiet; }
    // When the first byte of the input announced now came (steady clock):
    // valid during OnSerialRxChar and the reads it makes.
    std::chrono::steady_clock::time_point RxFirstByteTime() const;
    // Applied at the next Open, and at once when open.
    void SetWriteTimeouts(int constantMs, int perByteMs);

protected:
    // Notification steps, in the order a Windows port reports them; each
    // forwards to the listener on the owner's thread.
    virtual void OnCTS();
    virtual void OnDSR();
    virtual void OnRing();
    virtual void OnRLSD();
    virtual void OnBreak();
    virtual void OnError();
    virtual void OnRxChar();
    virtual void OnTxEmpty();
    virtual void EventLoop();
    // Lets input gather until the line is quiet for `quietMs` (see
    // SetRxGatherUntilQuiet); false when the port is closing.
    bool GatherUntilQuiet(SerialPort& port, int quietMs);

    // Reads and clears the pending line errors (OnError's "read and clear").
    unsigned TakePendingErrors();
    // Read and Write: errors found pending were taken and cleared; the input
    // that came with them is thrown away, so one break or line error costs
    // at most one operation. True when there were any.
    bool DiscardOnErrors(unsigned errors);

private:
    // Closes after a failed step of Open, keeping that step's LastError.
    void FailOpen();
    PortTimeouts Timeouts() const;
    // The port's last failure as a log text about the device.
    QString DescribeFailure(const QString& device, const QString& setting) const;

    struct Impl;
    std::unique_ptr<Impl> m_impl;
    std::atomic<int> m_readWaitMs{60};
    std::atomic<int> m_rxGatherMs{0};
    std::atomic<bool> m_rxGatherUntilQuiet{false};
    std::atomic<std::chrono::steady_clock::rep> m_rxFirstByteTicks{0};
    std::atomic<int> m_writeConstantMs{1000};
    std::atomic<int> m_writePerByteMs{1};
};

#pragma once

#include <QByteArray>

#include <array>
#include <condition_variable>
#include <cstdint>
#include <mutex>

// The hand-over between the receive handler (UI thread) and a worker waiting
// for a reply: the received-text buffer, the code of the reply awaited, and
// a manual-reset "reply arrived" event. One mutex guards all of it, so the
// two threads never race on the buffer; the observable order is that of a
// plain event: the worker arms the channel before it writes, and reads the
// text only after the event was set or its wait ran out.
class ReplyChannel {
public:
    static constexpr int kCapacity = 8192;
    static constexpr std::int8_t kNothingAwaited = -1;

    // Codes of the replies awaited (other values complete nothing).
    enum Code : std::int8_t {
        FullReport = 0,         // "Access Point Name:" then "OK\r\n"
        FirstOkLine = 1,        // 1..18: "OK\r\n"
        LastOkLine = 18,
        ListAnnounced = 23,     // "AT+LIST"
        RebootBanner = 24,      // "configure program."
        AnyOk = 25,             // "OK" anywhere
    };

    struct ReceiveResult {
        bool completed = false;   // the awaited reply is now complete
        bool bannerSeen = false;  // power-on banner seen while idle
    };

    // Awaits `code`: empties the buffer and resets the event.
    void Arm(std::int8_t code);
    void SetExpected(std::int8_t code);
    std::int8_t Expected() const;
    void ClearBuffer();
    void ResetEvent();
    void SetEvent();

    // Receive handler, configuration mode: appends the bytes (keeping the
    // newest kCapacity), turns zero bytes into blanks, and looks for the
    // awaited text; while nothing is awaited, looks for the power-on banner
    // (and empties the buffer when it is seen).
    ReceiveResult Receive(const char* data, int length);

    // Waits for the event; negative timeout waits without limit. False on
    // time-out or once the channel was shut down.
    bool Wait(int timeoutMs);
    // Releases every wait for good (the program is closing).
    void Shutdown();
    bool IsShutDown() const;

    QByteArray Text() const;
    int Length() const;

    // Whether `text` completes the reply of `code`.
    static bool IsComplete(std::int8_t code, const QByteArray& text);
    // Whether a code leaves the buffer watched for the power-on banner.
    static bool WatchesForBanner(std::int8_t code);

private:
    void AppendLocked(const char* data, int length);

    mutable std::mutex m_lock;
    std::condition_variable m_signal;
    std::array<char, kCapacity + 1> m_recvBuf{};
    int m_recvLen = 0;
    std::int8_t m_expectedReply = kNothingAwaited;
    bool m_replyEvent = false;
    bool m_shutDown = false;
};

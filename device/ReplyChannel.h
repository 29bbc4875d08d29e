#pragma once

#include "params/ParameterReport.h"

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
    // Room for the longest parameter report; beyond it the newest bytes stay.
    static constexpr int kCapacity = static_cast<int>(kMaxParameterReportBytes);
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

    // Awaits `code`: empties the buffer and resets the event. `command` is
    // what is about to be sent: a terminal with echo on sends it back first,
    // and its text must not complete the reply ("at+apn=BOOKNET" holds "OK").
    void Arm(std::int8_t code, const QByteArray& command = {});
    void SetExpected(std::int8_t code);
    std::int8_t Expected() const;
    void ClearBuffer();
    void ResetEvent();
    void SetEvent();
    // Sets the event only while `code` is awaited: ends that one wait and
    // leaves any other exchange to its own reply or time-out.
    bool ReleaseIfAwaiting(std::int8_t code);

    // Receive handler, configuration mode: appends the bytes (keeping the
    // newest kCapacity), turns zero bytes into blanks, and looks for the
    // awaited text; while nothing is awaited, looks for the power-on banner
    // (and empties the buffer when it is seen).
    ReceiveResult Receive(const char* data, int length);

    // Waits for the event; negative timeout waits without limit. False on
    // time-out or once the channel was shut down.
    bool Wait(int timeoutMs);
    // Ends the current wait without a reply (the port went away); the next
    // Arm waits normally again.
    void Abandon();
    // Releases every wait for good (the program is closing).
    void Shutdown();
    bool IsShutDown() const;

    QByteArray Text() const;
    // The same bytes as they came off the line, zero bytes included: what
    // is kept of a report must not hold the blanks they became in Text().
    QByteArray RawText() const;
    int Length() const;

    // Whether `text` completes the reply of `code`.
    static bool IsComplete(std::int8_t code, const QByteArray& text);
    // The same for text that may begin with the echo of `command`: while the
    // text is still part of the echo nothing completes; after a whole echo
    // only what follows it counts.
    static bool IsComplete(std::int8_t code, const QByteArray& text, const QByteArray& command);
    // Whether a code leaves the buffer watched for the power-on banner.
    static bool WatchesForBanner(std::int8_t code);

private:
    void AppendLocked(const char* data, int length);

    mutable std::mutex m_lock;
    std::condition_variable m_signal;
    std::array<char, kCapacity + 1> m_recvBuf{};
    // m_recvBuf before its zero bytes became blanks; m_recvLen bytes of it.
    std::array<char, kCapacity> m_rawBuf{};
    int m_recvLen = 0;
    std::int8_t m_expectedReply = kNothingAwaited;
    QByteArray m_command;
    bool m_replyEvent = false;
    bool m_abandoned = false;
    bool m_shutDown = false;
};

#pragma once

#include <QDateTime>
#include <QString>

#include <chrono>
#include <optional>

// 时间戳 of communication mode: each entry is prefixed with the time of its
// first byte, what the technician sends is shown marked as sent, and the
// first entry that begins after a send shows how long the answer took.
// Times come in on the steady clock (as the reader saw the bytes); `now`
// pairs a steady time with the wall clock, so tests can fix both.
class CommTimeStamps {
public:
    using SteadyTime = std::chrono::steady_clock::time_point;
    struct Now {
        QDateTime wall;
        SteadyTime steady;
    };

    // "[14:05:09.123] "
    static QString TimePrefix(const QTime& time);
    // "+38 ms "
    static QString DelayText(std::chrono::milliseconds delay);
    // What a send is shown with: "[14:05:09.085] 发送: ".
    static QString SentMarker(const QTime& time);

    // A send left at `when`; the next entry that begins at or after it
    // answers it.
    void NoteSent(SteadyTime when) { m_lastSend = when; }
    // The prefix of a received entry whose first byte came at `firstByte`.
    QString ReceivedPrefix(SteadyTime firstByte, const Now& now);
    // The prefix of a send made at `now`; notes the send.
    QString SentPrefix(const Now& now);
    // Forget a send still unanswered (the display was switched off).
    void Reset() { m_lastSend.reset(); }

private:
    std::optional<SteadyTime> m_lastSend;
};

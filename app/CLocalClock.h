#pragma once

#include <QDateTime>

// The computer's local time for log entries, read at every entry (fifty a
// second on a busy line). Asking the C library for local time makes it look
// at the time-zone file each time; here the offset from UTC is asked once
// per minute of UTC, which is exact: offsets change only on whole minutes.
class CLocalClock {
public:
    QDateTime Now();

private:
    qint64 m_minute = -1;
    int m_offsetSeconds = 0;
};

#pragma once

#include <QtGlobal>

// How much of the window's daily log is kept on disk. A line that streams
// all day in communication mode would otherwise fill the disk, and every
// other program on the laptop with it. Tests may shrink them.
struct DailyLogLimits {
    // A day's file stops growing here; its last line then says that the
    // rest of the day is not kept.
    qint64 bytesPerDay = 64LL * 1024 * 1024;
    // When a day's file is started, the oldest other days are removed until
    // they, together with a full day of room for the new one, fit in this.
    qint64 totalBytes = 1024LL * 1024 * 1024;
    // Days older than this many days are removed.
    int keepDays = 90;
};

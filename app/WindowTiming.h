#pragma once

// Durations of the main window itself (those of the conversation with the
// terminal are in device/Timing.h). Tests may shorten them.
struct WindowTiming {
    // 自动重连: how often to look for a lost port to come back.
    int reconnectPollMs = 1000;
};

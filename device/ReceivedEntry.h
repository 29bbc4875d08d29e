#pragma once

#include <QString>

#include <chrono>

// One communication-mode entry of the log pane: what one read brought, as
// the display shows it, and when its first byte came.
struct ReceivedEntry {
    QString text;
    // Lowercase hex numbers separated by blanks (十六进制显示), else text.
    bool hex = false;
    std::chrono::steady_clock::time_point firstByte;
};

#pragma once

#include "device/Timing.h"

namespace testsupport {

// The conversation's durations cut down so that a test of a whole exchange
// takes milliseconds, with the same proportions where they matter (the
// probe gives up long before a query would).
inline Timing ShortTiming()
{
    Timing timing;
    timing.powerOnPollMs = 20;
    timing.probeAttempts = 30;
    timing.probeReplyMs = 150;
    timing.echoOffAttempts = 3;
    timing.echoOffReplyMs = 150;
    timing.moduleTypeReplyMs = 150;
    timing.queryReplyMs = 400;
    timing.restartReplyMs = 600;
    timing.saveSettleMs = 5;
    timing.saveReplyMs = 400;
    timing.itemPauseMs = 1;
    timing.statusQueryPauseMs = 1;
    timing.statusButtonDelayMs = 1;
    timing.clockTickMs = 1000;
    return timing;
}

}  // namespace testsupport

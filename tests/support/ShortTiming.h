#pragma once

#include "device/Timing.h"

namespace testsupport {

// The conversation's durations cut down so that a test of a whole exchange
// takes milliseconds, with the same proportions where they matter (the
// probe gives up long before a query would). The reply time limits differ
// from one another by 100 ms or more, so a test that measures a wait can
// tell which limit was used. The save's settle stays short: every written
// item pays it.
inline Timing ShortTiming()
{
    Timing timing;
    timing.powerOnPollMs = 20;
    timing.probeAttempts = 30;
    timing.probeReplyMs = 150;
    timing.echoOffAttempts = 3;
    timing.echoOffReplyMs = 250;
    timing.moduleTypeReplyMs = 350;
    timing.queryReplyMs = 500;
    timing.restartReplyMs = 600;
    timing.saveSettleMs = 5;
    timing.saveReplyMs = 700;
    timing.itemPauseMs = 1;
    timing.statusQueryPauseMs = 1;
    timing.statusButtonDelayMs = 1;
    timing.clockTickMs = 1000;
    return timing;
}

}  // namespace testsupport

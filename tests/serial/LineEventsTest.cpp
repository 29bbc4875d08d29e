#include "serial/CSerial.h"
#include "serial/LineEvents.h"

#include <gtest/gtest.h>

#include <climits>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

LineSample Counters(LineCounters counters)
{
    LineSample sample;
    sample.hasCounters = true;
    sample.hasModemLines = true;
    sample.counters = counters;
    return sample;
}

LineSample Lines(int lines)
{
    LineSample sample;
    sample.hasModemLines = true;
    sample.modemLines = lines;
    return sample;
}

struct ChangeCase {
    const char* name;
    LineSample before;
    LineSample after;
    unsigned events;
    unsigned errors;
};

TEST(LineEvents, SamplesAreTurnedIntoEventsAndErrors)
{
    const LineCounters zero;
    auto with = [](auto field, int value) {
        LineCounters c;
        c.*field = value;
        return c;
    };
    const ChangeCase rows[] = {
        {"nothing supported", LineSample{}, LineSample{}, 0, 0},
        {"no change", Counters(zero), Counters(zero), 0, 0},
        {"cts toggled", Counters(zero), Counters(with(&LineCounters::cts, 1)), EventCts, 0},
        {"cts toggled twice between samples", Counters(zero), Counters(with(&LineCounters::cts, 2)), EventCts, 0},
        {"dsr", Counters(zero), Counters(with(&LineCounters::dsr, 1)), EventDsr, 0},
        {"carrier", Counters(zero), Counters(with(&LineCounters::carrier, 3)), EventRlsd, 0},
        {"ring", Counters(zero), Counters(with(&LineCounters::ring, 1)), EventRing, 0},
        {"break", Counters(zero), Counters(with(&LineCounters::breaks, 1)), EventBreak, CSerial::ErrorBreak},
        {"frame", Counters(zero), Counters(with(&LineCounters::frame, 1)), EventError, CSerial::ErrorFrame},
        {"overrun", Counters(zero), Counters(with(&LineCounters::overrun, 5)), EventError, CSerial::ErrorOverrun},
        {"parity", Counters(zero), Counters(with(&LineCounters::parity, 1)), EventError, CSerial::ErrorParity},
        {"buffer overrun", Counters(zero), Counters(with(&LineCounters::bufferOverrun, 1)), EventError,
         CSerial::ErrorBufferOverrun},
        {"counter wraps", Counters(with(&LineCounters::frame, INT_MAX)), Counters(with(&LineCounters::frame, INT_MIN)),
         EventError, CSerial::ErrorFrame},
        {"several at once",
         Counters(zero),
         Counters(LineCounters{1, 0, 1, 0, 1, 0, 1, 1, 0}),
         EventCts | EventRing | EventError | EventBreak,
         CSerial::ErrorFrame | CSerial::ErrorParity | CSerial::ErrorBreak},
        // Counters win over lines: a line back where it was still changed.
        {"counters moved, lines equal", Counters(with(&LineCounters::dsr, 2)), Counters(with(&LineCounters::dsr, 4)),
         EventDsr, 0},
        {"lines: cts on", Lines(0), Lines(TIOCM_CTS), EventCts, 0},
        {"lines: dsr off", Lines(TIOCM_DSR | TIOCM_CTS), Lines(TIOCM_CTS), EventDsr, 0},
        {"lines: carrier", Lines(0), Lines(TIOCM_CD), EventRlsd, 0},
        {"lines: ring starts", Lines(0), Lines(TIOCM_RNG), 0, 0},
        {"lines: ring ends", Lines(TIOCM_RNG), Lines(0), EventRing, 0},
        {"lines: unrelated bits", Lines(0), Lines(TIOCM_RTS | TIOCM_DTR), 0, 0},
        {"lines: all", Lines(TIOCM_RNG), Lines(TIOCM_CTS | TIOCM_DSR | TIOCM_CD), EventCts | EventDsr | EventRlsd | EventRing, 0},
        {"lines only before", Lines(0), LineSample{}, 0, 0},
    };
    for (const ChangeCase& row : rows) {
        const LineChanges changes = CompareLineSamples(row.before, row.after);
        EXPECT_EQ(changes.events, row.events) << row.name;
        EXPECT_EQ(changes.errors, row.errors) << row.name;
    }
}

TEST(LineEvents, DescriptorsWithoutModemSupportGiveAnEmptySample)
{
    // An ordinary pipe has neither modem lines nor counters.
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const LineSample sample = TakeLineSample(fds[0]);
    EXPECT_FALSE(sample.hasModemLines);
    EXPECT_FALSE(sample.hasCounters);
    ::close(fds[0]);
    ::close(fds[1]);
}

}  // namespace

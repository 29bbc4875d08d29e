#include "serial/LineEvents.h"

#include <linux/serial.h>
#include <sys/ioctl.h>

namespace {

// Counters wrap around; any difference is a change.
bool Moved(int before, int after)
{
    return static_cast<unsigned>(before) != static_cast<unsigned>(after);
}

LineChanges CompareCounters(const LineCounters& before, const LineCounters& after)
{
    LineChanges changes;
    if (Moved(before.cts, after.cts))
        changes.events |= EventCts;
    if (Moved(before.dsr, after.dsr))
        changes.events |= EventDsr;
    if (Moved(before.carrier, after.carrier))
        changes.events |= EventRlsd;
    if (Moved(before.breaks, after.breaks)) {
        changes.events |= EventBreak;
        changes.errors |= LineErrorBreak;
    }
    if (Moved(before.frame, after.frame))
        changes.errors |= LineErrorFrame;
    if (Moved(before.overrun, after.overrun))
        changes.errors |= LineErrorOverrun;
    if (Moved(before.parity, after.parity))
        changes.errors |= LineErrorParity;
    if (Moved(before.bufferOverrun, after.bufferOverrun))
        changes.errors |= LineErrorBufferOverrun;
    // A break alone is its own event; the line errors proper raise EventError.
    if (changes.errors & ~static_cast<unsigned>(LineErrorBreak))
        changes.events |= EventError;
    if (Moved(before.ring, after.ring))
        changes.events |= EventRing;
    return changes;
}

LineChanges CompareModemLines(int before, int after)
{
    LineChanges changes;
    const int changed = before ^ after;
    if (changed & TIOCM_CTS)
        changes.events |= EventCts;
    if (changed & TIOCM_DSR)
        changes.events |= EventDsr;
    if (changed & TIOCM_CD)
        changes.events |= EventRlsd;
    if ((before & TIOCM_RNG) && !(after & TIOCM_RNG))
        changes.events |= EventRing;
    return changes;
}

}  // namespace

LineChanges CompareLineSamples(const LineSample& before, const LineSample& after)
{
    if (before.hasCounters && after.hasCounters)
        return CompareCounters(before.counters, after.counters);
    if (before.hasModemLines && after.hasModemLines)
        return CompareModemLines(before.modemLines, after.modemLines);
    return {};
}

void AddLineCounters(LineCounters& total, const LineCounters& delta)
{
    auto add = [](int& to, int by) { to = static_cast<int>(static_cast<unsigned>(to) + static_cast<unsigned>(by)); };
    add(total.cts, delta.cts);
    add(total.dsr, delta.dsr);
    add(total.ring, delta.ring);
    add(total.carrier, delta.carrier);
    add(total.frame, delta.frame);
    add(total.overrun, delta.overrun);
    add(total.parity, delta.parity);
    add(total.breaks, delta.breaks);
    add(total.bufferOverrun, delta.bufferOverrun);
}

LineSample TakeLineSample(int fd)
{
    LineSample sample;
    int lines = 0;
    if (::ioctl(fd, TIOCMGET, &lines) == 0) {
        sample.hasModemLines = true;
        sample.modemLines = lines;
    }
    serial_icounter_struct counts{};
    if (::ioctl(fd, TIOCGICOUNT, &counts) == 0) {
        sample.hasCounters = true;
        sample.counters.cts = counts.cts;
        sample.counters.dsr = counts.dsr;
        sample.counters.ring = counts.rng;
        sample.counters.carrier = counts.dcd;
        sample.counters.frame = counts.frame;
        sample.counters.overrun = counts.overrun;
        sample.counters.parity = counts.parity;
        sample.counters.breaks = counts.brk;
        sample.counters.bufferOverrun = counts.buf_overrun;
    }
    return sample;
}

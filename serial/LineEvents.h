#pragma once

#include "serial/SerialTypes.h"

// Modem-line and line-error changes of a serial device, worked out from two
// samples of the driver's state taken some time apart. The reader thread of
// CSerial samples the port while it waits and turns the differences into its
// notifications; keeping the comparison apart from the ioctl calls lets it be
// checked without hardware (pseudo-terminals have neither modem lines nor
// error counters).

struct LineCounters {
    int cts = 0;
    int dsr = 0;
    int ring = 0;
    int carrier = 0;
    int frame = 0;
    int overrun = 0;
    int parity = 0;
    int breaks = 0;
    int bufferOverrun = 0;
};

struct LineSample {
    bool hasModemLines = false;  // TIOCMGET works
    int modemLines = 0;          // TIOCM_* bits
    bool hasCounters = false;    // TIOCGICOUNT works
    LineCounters counters;
};

struct LineChanges {
    unsigned events = 0;  // LineEvent bits
    unsigned errors = 0;  // LineError bits
};

// Counters, where both samples have them, catch changes that came and went
// between the samples; otherwise the modem lines are compared. A ring is
// reported at the end of the ring signal, as UARTs do.
LineChanges CompareLineSamples(const LineSample& before, const LineSample& after);

// Adds every counter of `delta` to `total`, wrapping as the driver does.
void AddLineCounters(LineCounters& total, const LineCounters& delta);

// Reads the driver's modem lines and counters of an open descriptor.
LineSample TakeLineSample(int fd);

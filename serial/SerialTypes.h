#pragma once

// Plain values shared by CSerial and the platform ports; no Qt, so that the
// ports build and run where Qt is not at hand.

enum class Parity { None = 0, Odd = 1, Even = 2 };

// Line errors as CSerial reports them to its owner.
enum LineError : unsigned {
    LineErrorOverrun = 0x1,
    LineErrorParity = 0x2,
    LineErrorFrame = 0x4,
    LineErrorBreak = 0x8,
    LineErrorBufferOverrun = 0x10,
};

// Event bits as a Windows port reports them, in dispatch order by value.
enum LineEvent : unsigned {
    EventRxChar = 0x1,
    EventTxEmpty = 0x4,
    EventCts = 0x8,
    EventDsr = 0x10,
    EventRlsd = 0x20,
    EventBreak = 0x40,
    EventError = 0x80,
    EventRing = 0x100,
};

// Modem input lines as a port reports them.
enum ModemLine : unsigned {
    ModemCts = 0x10,
    ModemDsr = 0x20,
    ModemRing = 0x40,
    ModemRlsd = 0x80,
};

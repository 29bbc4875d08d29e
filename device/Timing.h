#pragma once

// Every duration of the conversation with the terminal, in one place.
// The defaults are the values the terminal and technicians rely on; tests
// may shorten them, the shipped program never does.
struct Timing {
    // Configuration entry: the 's' sender while waiting for power-on.
    int powerOnPollMs = 200;
    // Module probe: attempts and time limit of each.
    int probeAttempts = 30;
    int probeReplyMs = 2000;
    // Echo off: attempts and time limit of each.
    int echoOffAttempts = 3;
    int echoOffReplyMs = 2000;
    // Module type queries ("ati", "AT+CGMR").
    int moduleTypeReplyMs = 2000;
    // Single queries, read-back, clock, version, number commands, files.
    int queryReplyMs = 5000;
    // Restart into communication mode: wait for the reboot banner.
    int restartReplyMs = 5000;
    // Save procedures: settle after the write, then wait for the reply.
    int saveSettleMs = 400;
    int saveReplyMs = 6000;
    // Pause after every written item and between the status queries.
    int itemPauseMs = 300;
    int statusQueryPauseMs = 300;
    // The 自动检测 button sleeps this long before it queues its task.
    int statusButtonDelayMs = 300;
    // Serial port: how long a read waits for bytes already announced, and
    // the write time-out (constant plus per byte), as the port is set up.
    int serialReadWaitMs = 60;
    int serialWriteConstantMs = 1000;
    int serialWritePerByteMs = 1;
    // Communication mode: received bytes gather this long before they are
    // read and shown as one entry (one entry per read); configuration mode
    // reads at once. About one frame of the display, so the pane keeps up
    // without visible delay.
    int commRxGatherMs = 20;
    // Communication mode, text display: the first byte of a Chinese
    // character that ended a read waits this long for its second byte;
    // after a quiet spell it is shown as it stands.
    int commHeldByteMs = 100;
    // Communication mode, typed and pasted bytes: a paste goes out in pieces
    // at the line's speed, one piece per step, none taking longer than the
    // longest piece on the line, so the window never waits on the port.
    int typedPieceStepMs = 20;
    int typedLongestPieceMs = 40;
    // Signal meter: the time between two signal-quality queries, as it
    // opens (the technician may change it while it runs).
    int signalMeterIntervalMs = 1000;
    // Clock text on the main window.
    int clockTickMs = 1000;
};

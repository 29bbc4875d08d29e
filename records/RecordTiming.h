#pragma once

// Every duration of the service record's writing, in one place. Tests may
// shorten them; the program never does.
struct RecordTiming {
    // The window tries the outbox again this often while it is open.
    int outboxRetryMs = 30000;
    // A batch run waits this long at the end of a terminal for its record
    // to be written; a record not written by then waits in the outbox.
    int unitSettleMs = 3000;
    // At the end of the process the writer gets this long to finish; what
    // it has not written by then is kept in the outbox. With the time the
    // port and the worker take to close, the process ends within 2 s of a
    // SIGTERM or of the window's closing, whatever the database does.
    int shutdownWaitMs = 1000;
    // How long the outbox (a local file) waits for another program's
    // write to it.
    int outboxBusyMs = 1000;
};

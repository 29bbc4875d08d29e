#pragma once

#include "records/RecordEvent.h"
#include "records/RecordTiming.h"

#include <QString>

#include <chrono>
#include <functional>
#include <memory>
#include <thread>

// Writes the steps of visits into the record on a thread of its own, in
// the order they were handed over, so that no database (a server that
// never answers, a file another program locks) ever holds up the terminal
// conversation or the end of the program.
//
// A step that cannot be written goes to the outbox (CRecordOutbox), and so
// does every later one for that database, to keep their order, until the
// outbox is written out: at the next visit, and whenever Wake() is called
// (the window, every 30 s). After a failure the database is tried again
// then; it is never given up on.
//
// At the end, Close() waits a bounded time for the thread; whatever it has
// not written by then is kept in the outbox, and a thread that is stuck
// inside the database's library is left running on its own (see
// RunningDetached()).
class CRecordWriter {
public:
    using LogLine = std::function<void(const QString&)>;
    using Notify = std::function<void()>;

    // `location`: a file, a postgresql:// address, or "" for the default.
    CRecordWriter(QString location, QString outboxPath, RecordTiming timing = {});
    ~CRecordWriter();
    CRecordWriter(const CRecordWriter&) = delete;
    CRecordWriter& operator=(const CRecordWriter&) = delete;

    // Where the lines go that say a step waits in the outbox and that the
    // outbox was written out; `failure` gets the failure lines too (batch
    // runs print them on standard error). Called on the writer thread;
    // never after Close().
    void SetLog(LogLine log, LogLine failure = {});
    // Called on the writer thread after every step it has dealt with.
    void SetNotify(Notify notify);

    // ---- any thread ----
    // Hands a step over; returns its number (1, 2, ...), 0 once closed.
    qint64 Enqueue(RecordEvent event);
    // Another database from the next step on.
    void SetLocation(QString location);
    // Writes out the outbox now, if anything waits there for the database.
    void Wake();

    // The number of the last step handed over (0 before any).
    qint64 LastEnqueued() const;
    struct Outcome {
        bool settled = false;   // every step of the visit up to the mark was dealt with
        bool pending = false;   // some wait in the outbox, or were not dealt with yet
        qint64 snapshotId = 0;  // the visit's last snapshot written, 0 without
        int snapshotNumber = 0;
        QString deviceKey;
    };
    // What became of a visit's steps up to step `mark`.
    Outcome VisitOutcome(const QString& visitUid, qint64 mark) const;
    // One step (or a write-out of the outbox) has taken longer than
    // RecordTiming::unitSettleMs: the database is not answering.
    bool IsStalled() const;
    // The last try to write failed (the steps wait in the outbox).
    bool HasFailed() const;
    // Waits up to `timeoutMs` until every step handed over was dealt with.
    bool WaitUntilIdle(int timeoutMs) const;

    // Stops: waits until `deadline` for the thread to deal with the steps
    // handed over, then keeps those left in the outbox. Returns how many
    // were left. The log is not called any more once Close() begins.
    int Close(std::chrono::steady_clock::time_point deadline);

    // Writer threads that Close() had to leave running (stuck in a call to
    // the database). While there are any, the process must end by _exit,
    // without running static destructors under them.
    static int RunningDetached();

    // What the writer thread and the callers share (in the source).
    struct State;

private:
    std::shared_ptr<State> m_state;
    std::thread m_thread;
    bool m_closed = false;
};

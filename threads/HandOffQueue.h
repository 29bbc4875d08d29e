#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

class QObject;
class HandOffWaker;

// Hands work from any thread to the thread of one QObject (the UI thread in
// the window, the main thread in batch mode and in the tests).
//
// The work itself travels through a queue guarded by a std::mutex: the
// posting thread appends under the mutex and the receiving thread takes it
// out under the same mutex, so everything a closure captured is handed over
// by the standard library's own synchronisation (which ThreadSanitizer sees),
// not by Qt's. The receiving thread is only woken (see HandOffWaker), with no
// data, and then runs the pieces one at a time in the order in which they
// were posted, whichever thread posted them.
//
// Lifetime: constructed on the receiving thread (or before that thread
// starts) and destroyed there, also from inside a piece of its own work.
// Whatever is still queued at destruction is dropped without running; no
// thread may be inside Post or Call then.
class HandOffQueue {
public:
    explicit HandOffQueue(QObject* context);
    ~HandOffQueue();

    HandOffQueue(const HandOffQueue&) = delete;
    HandOffQueue& operator=(const HandOffQueue&) = delete;

    // Appends `work`; it runs later on the receiving thread, also when posted
    // from that thread itself. An empty function is ignored.
    void Post(std::function<void()> work);

    // Runs `work` on the receiving thread and waits until it has returned; on
    // the receiving thread itself it runs at once. Nothing is locked while
    // `work` runs or while the caller waits for it to run. False without
    // running it once ReleaseCalls was called; a call already waiting when
    // ReleaseCalls comes returns false too, unless the receiving thread had
    // already started it (then it is finished and the result is true).
    bool Call(const std::function<void()>& work);

    // From now on Call returns false without waiting (shutdown). Posted work
    // still runs.
    void ReleaseCalls();
    bool CallsReleased() const;

    // Whether the calling thread is the receiving thread.
    bool IsReceivingThread() const;
    // Work posted and not yet run.
    std::size_t Pending() const;

private:
    friend class HandOffWaker;
    // Receiving thread: runs the oldest piece of work; false when there was
    // none.
    bool RunNext();

    mutable std::mutex m_lock;
    std::condition_variable m_changed;
    std::deque<std::function<void()>> m_work;
    bool m_callsReleased = false;
    std::unique_ptr<HandOffWaker> m_waker;
};

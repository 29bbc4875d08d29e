#include "threads/HandOffQueue.h"

#include <QMetaObject>
#include <QObject>
#include <QThread>

#include <atomic>
#include <memory>

#ifdef Q_OS_LINUX
#include <QSocketNotifier>

#include <sys/eventfd.h>
#include <unistd.h>
#endif

// Lives on the receiving thread and wakes it. On Linux the wake-up is an
// eventfd that a socket notifier watches: posting is one write(2), and Qt
// allocates nothing on the posting thread (a queued call would make its
// event there and free it on the receiver, a hand-over of Qt's own memory
// that ThreadSanitizer cannot follow into uninstrumented Qt). Elsewhere it
// is a queued call of RunQueued by name, which carries no data either.
class HandOffWaker : public QObject {
    Q_OBJECT
public:
    explicit HandOffWaker(HandOffQueue& queue) : m_queue(queue)
    {
#ifdef Q_OS_LINUX
        m_fd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        if (m_fd >= 0) {
            m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
            connect(m_notifier, &QSocketNotifier::activated, this, &HandOffWaker::RunQueued);
        }
#endif
    }

    ~HandOffWaker() override
    {
        m_alive->store(false);
#ifdef Q_OS_LINUX
        delete m_notifier;
        if (m_fd >= 0)
            ::close(m_fd);
#endif
    }

    // Any thread.
    void Wake()
    {
#ifdef Q_OS_LINUX
        if (m_fd >= 0) {
            ::eventfd_write(m_fd, 1);
            return;
        }
#endif
        QMetaObject::invokeMethod(this, "RunQueued", Qt::QueuedConnection);
    }

    // Receiving thread: runs everything queued, oldest first. The work may
    // destroy the queue, and this object with it.
    Q_INVOKABLE void RunQueued()
    {
#ifdef Q_OS_LINUX
        eventfd_t count = 0;
        if (m_fd >= 0)
            ::eventfd_read(m_fd, &count);
#endif
        // A flag of our own rather than a QPointer: the work may delete this
        // object, and the weak reference's count lives in Qt's memory, where
        // ThreadSanitizer cannot see the thread that deletes it later.
        const std::shared_ptr<std::atomic<bool>> alive = m_alive;
        while (alive->load() && m_queue.RunNext()) {
        }
    }

private:
    HandOffQueue& m_queue;
    std::shared_ptr<std::atomic<bool>> m_alive = std::make_shared<std::atomic<bool>>(true);
#ifdef Q_OS_LINUX
    int m_fd = -1;
    QSocketNotifier* m_notifier = nullptr;
#endif
};

HandOffQueue::HandOffQueue(QObject* context)
    : m_waker(std::make_unique<HandOffWaker>(*this))
{
    if (context && context->thread() != m_waker->thread())
        m_waker->moveToThread(context->thread());
}

HandOffQueue::~HandOffQueue()
{
    std::deque<std::function<void()>> dropped;
    {
        std::lock_guard guard(m_lock);
        m_callsReleased = true;
        dropped.swap(m_work);
    }
    m_changed.notify_all();
    m_waker.reset();
    // `dropped` is destroyed here, outside the lock: a closure may own
    // something whose destructor posts again.
}

void HandOffQueue::Post(std::function<void()> work)
{
    if (!work)
        return;
    {
        std::lock_guard guard(m_lock);
        m_work.push_back(std::move(work));
    }
    m_waker->Wake();
}

bool HandOffQueue::RunNext()
{
    std::function<void()> work;
    {
        std::lock_guard guard(m_lock);
        if (m_work.empty())
            return false;
        work = std::move(m_work.front());
        m_work.pop_front();
    }
    work();
    return true;
}

bool HandOffQueue::Call(const std::function<void()>& work)
{
    if (IsReceivingThread()) {
        work();
        return true;
    }
    enum class State { Pending, Started, Done, Abandoned };
    // Shared with the queued piece: it may run (and find the call abandoned)
    // after the caller has returned.
    auto state = std::make_shared<State>(State::Pending);
    {
        std::lock_guard guard(m_lock);
        if (m_callsReleased)
            return false;
    }
    Post([this, state, &work] {
        {
            std::lock_guard guard(m_lock);
            if (*state == State::Abandoned)
                return;  // the caller is gone, and so may be `work`
            *state = State::Started;
        }
        work();
        {
            std::lock_guard guard(m_lock);
            *state = State::Done;
        }
        m_changed.notify_all();
    });
    std::unique_lock guard(m_lock);
    // Once the receiving thread has started the call it finishes it; a call
    // it has not started is abandoned when calls are released.
    m_changed.wait(guard, [&] {
        return *state == State::Done || (m_callsReleased && *state == State::Pending);
    });
    if (*state == State::Done)
        return true;
    *state = State::Abandoned;
    return false;
}

void HandOffQueue::ReleaseCalls()
{
    {
        std::lock_guard guard(m_lock);
        m_callsReleased = true;
    }
    m_changed.notify_all();
}

bool HandOffQueue::CallsReleased() const
{
    std::lock_guard guard(m_lock);
    return m_callsReleased;
}

bool HandOffQueue::IsReceivingThread() const
{
    return QThread::currentThread() == m_waker->thread();
}

std::size_t HandOffQueue::Pending() const
{
    std::lock_guard guard(m_lock);
    return m_work.size();
}

#include "HandOffQueue.moc"

#include "threads/HandOffQueue.h"

#include <QMetaObject>
#include <QObject>
#include <QThread>

// Lives on the receiving thread; a queued call of RunNext is the whole
// wake-up. The call is named, not a functor: Qt makes and keeps it in its
// own code, and nothing of the posting thread's memory rides along with it.
class HandOffWaker : public QObject {
    Q_OBJECT
public:
    explicit HandOffWaker(HandOffQueue& queue) : m_queue(queue) {}

    Q_INVOKABLE void RunNext() { m_queue.RunNext(); }

private:
    HandOffQueue& m_queue;
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
    // The waker's pending wake-ups go with it.
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
    QMetaObject::invokeMethod(m_waker.get(), "RunNext", Qt::QueuedConnection);
}

void HandOffQueue::RunNext()
{
    std::function<void()> work;
    {
        std::lock_guard guard(m_lock);
        if (m_work.empty())
            return;
        work = std::move(m_work.front());
        m_work.pop_front();
    }
    work();
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

#include "records/CRecordWriter.h"

#include "records/CRecordOutbox.h"
#include "records/CRecordStore.h"
#include "records/RecordLines.h"

#include <QDir>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <utility>

namespace {

std::atomic<int> g_runningDetached{0};

// How many outbox steps one read takes while writing the outbox out.
constexpr int kOutboxBatch = 100;

struct Queued {
    qint64 seq = 0;
    QString location;  // the database it goes to
    QString target;    // the same as the outbox keeps it
    RecordEvent event;
};

struct VisitState {
    int inOutbox = 0;  // steps of the visit waiting in the outbox
    bool lost = false;  // a step could be kept nowhere
    qint64 snapshotId = 0;
    int snapshotNumber = 0;
    QString deviceKey;
};

}  // namespace

struct CRecordWriter::State {
    QString outboxPath;
    RecordTiming timing;

    mutable std::mutex lock;
    mutable std::condition_variable changed;
    std::deque<Queued> queue;  // the front is being written while `busy`
    qint64 lastSeq = 0;
    qint64 doneSeq = 0;
    bool busy = false;
    std::chrono::steady_clock::time_point busySince;
    bool wake = false;
    bool stop = false;
    bool abandoned = false;
    bool detached = false;
    bool failed = false;
    QString location;
    QString target;
    std::map<QString, VisitState> visits;

    std::mutex callbackLock;
    LogLine log;
    LogLine failureLog;
    Notify notify;

    void Log(const QString& line, bool failure)
    {
        std::lock_guard guard(callbackLock);
        if (log)
            log(line);
        if (failure && failureLog)
            failureLog(line);
    }
    void CallNotify()
    {
        std::lock_guard guard(callbackLock);
        if (notify)
            notify();
    }
    void CountInOutbox(const QString& visitUid, int delta)
    {
        std::lock_guard guard(lock);
        if (delta > 0) {
            visits[visitUid].inOutbox += delta;
            return;
        }
        // Steps of other processes' visits are not followed.
        const auto found = visits.find(visitUid);
        if (found != visits.end())
            found->second.inOutbox = std::max(0, found->second.inOutbox + delta);
    }
};

namespace {

// The writer thread's own connections: the record and the outbox, opened
// on that thread and used only there.
class WriterSession {
public:
    explicit WriterSession(CRecordWriter::State& state) : m_state(state) {}

    void Write(const Queued& step)
    {
        UseLocation(step.location, step.target);
        // A new visit: the database is tried again, and what waits for it
        // in the outbox goes first.
        if (step.event.visitUid != m_lastVisit) {
            m_lastVisit = step.event.visitUid;
            WriteOutOutbox();
        }
        if (!m_blocked) {
            if (CRecordStore* store = Store()) {
                if (const std::optional<CRecordStore::StoredStep> stored = store->StoreStep(step.event)) {
                    Stored(step.event, *stored, false);
                    return;
                }
                Failed(store->LastError());
            }
        }
        ToOutbox(step);
    }

    void Wake(const QString& location, const QString& target)
    {
        UseLocation(location, target);
        WriteOutOutbox();
    }

private:
    void UseLocation(const QString& location, const QString& target)
    {
        if (m_haveLocation && location == m_location)
            return;
        m_haveLocation = true;
        m_location = location;
        m_target = target;
        m_store.reset();
        m_blocked = false;
        m_failureSaid = false;
        m_lastVisit.clear();
    }

    CRecordStore* Store()
    {
        if (m_store)
            return m_store.get();
        auto store = std::make_unique<CRecordStore>(m_location);
        if (!store->Open()) {
            m_store = std::move(store);
            Failed(m_store->LastError());
            return nullptr;
        }
        m_store = std::move(store);
        return m_store.get();
    }

    CRecordOutbox* Outbox(bool create)
    {
        if (m_outbox)
            return m_outbox.get();
        auto outbox = std::make_unique<CRecordOutbox>(m_state.outboxPath, m_state.timing.outboxBusyMs);
        if (!outbox->Open(create)) {
            m_outboxError = outbox->LastError();
            return nullptr;
        }
        m_outbox = std::move(outbox);
        return m_outbox.get();
    }

    void Failed(const QString& why)
    {
        const QString where = m_store ? m_store->Describe() : m_target;
        m_blocked = true;
        // A connection that failed is not used again: the next try opens
        // a new one.
        m_store.reset();
        {
            std::lock_guard guard(m_state.lock);
            m_state.failed = true;
        }
        if (!m_failureSaid) {
            m_failureSaid = true;
            m_state.Log(RecordLines::Failure(why, where), true);
        }
    }

    void Stored(const RecordEvent& event, const CRecordStore::StoredStep& stored, bool fromOutbox)
    {
        m_failureSaid = false;
        std::lock_guard guard(m_state.lock);
        m_state.failed = false;
        const auto found = m_state.visits.find(event.visitUid);
        if (found == m_state.visits.end()) {
            if (fromOutbox)
                return;
        }
        VisitState& visit = m_state.visits[event.visitUid];
        if (fromOutbox && visit.inOutbox > 0)
            --visit.inOutbox;
        if (event.type == RecordEvent::Type::Report && stored.rowId > 0) {
            visit.snapshotId = stored.rowId;
            visit.snapshotNumber = stored.snapshotNumber;
            visit.deviceKey = stored.deviceKey;
        }
    }

    void ToOutbox(const Queued& step)
    {
        CRecordOutbox* outbox = Outbox(true);
        if (outbox && outbox->Append(m_target, step.event)) {
            m_state.CountInOutbox(step.event.visitUid, 1);
            return;
        }
        {
            std::lock_guard guard(m_state.lock);
            m_state.visits[step.event.visitUid].lost = true;
        }
        const QString why = outbox ? outbox->LastError() : m_outboxError;
        m_outbox.reset();
        if (!m_outboxFailureSaid) {
            m_outboxFailureSaid = true;
            m_state.Log(RecordLines::OutboxFailure(why, m_state.outboxPath), true);
        }
    }

    void WriteOutOutbox()
    {
        m_blocked = false;
        CRecordOutbox* outbox = Outbox(false);
        if (!outbox)
            return;
        std::set<QString> visits;
        qint64 after = 0;
        for (;;) {
            const auto entries = outbox->Pending(m_target, after, kOutboxBatch);
            if (!entries || entries->empty())
                break;
            for (const CRecordOutbox::Entry& entry : *entries) {
                after = entry.seq;
                // A step this program cannot read stays where it is.
                if (!entry.event)
                    continue;
                CRecordStore* store = Store();
                if (!store)
                    return;
                const std::optional<CRecordStore::StoredStep> stored = store->StoreStep(*entry.event);
                if (!stored) {
                    Failed(store->LastError());
                    return;
                }
                // Removed after it is stored: a step stored and not removed
                // (the program ended between) is stored once all the same.
                outbox->Remove(entry.seq);
                Stored(*entry.event, *stored, true);
                visits.insert(entry.event->visitUid);
            }
        }
        if (!visits.empty())
            m_state.Log(RecordLines::OutboxWritten(static_cast<int>(visits.size()), m_target), false);
    }

    CRecordWriter::State& m_state;
    bool m_haveLocation = false;
    QString m_location;
    QString m_target;
    std::unique_ptr<CRecordStore> m_store;
    std::unique_ptr<CRecordOutbox> m_outbox;
    QString m_outboxError;
    bool m_blocked = false;
    bool m_failureSaid = false;
    bool m_outboxFailureSaid = false;
    QString m_lastVisit;
};

void RunWriter(const std::shared_ptr<CRecordWriter::State>& state)
{
    {
        WriterSession session(*state);
        for (;;) {
            std::optional<Queued> step;
            bool wake = false;
            QString location;
            QString target;
            {
                std::unique_lock guard(state->lock);
                state->changed.wait(guard, [&] {
                    return state->abandoned || state->stop || state->wake || !state->queue.empty();
                });
                if (state->abandoned)
                    break;
                wake = std::exchange(state->wake, false);
                location = state->location;
                target = state->target;
                if (!state->queue.empty())
                    step = state->queue.front();
                else if (!wake)
                    break;  // stopped, and nothing is left
                state->busy = true;
                state->busySince = std::chrono::steady_clock::now();
            }
            if (wake)
                session.Wake(location, target);
            if (step)
                session.Write(*step);
            {
                std::lock_guard guard(state->lock);
                if (state->abandoned)
                    break;
                if (step) {
                    state->queue.pop_front();
                    state->doneSeq = step->seq;
                }
                state->busy = false;
            }
            state->changed.notify_all();
            state->CallNotify();
        }
    }
    // The connections are closed; from here on nothing of Qt is touched.
    std::lock_guard guard(state->lock);
    if (state->detached)
        --g_runningDetached;
}

}  // namespace

CRecordWriter::CRecordWriter(QString location, QString outboxPath, RecordTiming timing)
    : m_state(std::make_shared<State>())
{
    m_state->outboxPath = outboxPath.isEmpty() ? CRecordOutbox::DefaultPath() : std::move(outboxPath);
    m_state->timing = timing;
    m_state->target = CRecordOutbox::TargetOf(location);
    m_state->location = std::move(location);
    m_thread = std::thread(RunWriter, m_state);
}

CRecordWriter::~CRecordWriter()
{
    Close(std::chrono::steady_clock::now() + std::chrono::milliseconds(m_state->timing.shutdownWaitMs));
}

void CRecordWriter::SetLog(LogLine log, LogLine failure)
{
    std::lock_guard guard(m_state->callbackLock);
    m_state->log = std::move(log);
    m_state->failureLog = std::move(failure);
}

void CRecordWriter::SetNotify(Notify notify)
{
    std::lock_guard guard(m_state->callbackLock);
    m_state->notify = std::move(notify);
}

qint64 CRecordWriter::Enqueue(RecordEvent event)
{
    std::lock_guard guard(m_state->lock);
    if (m_state->stop)
        return 0;
    const qint64 seq = ++m_state->lastSeq;
    m_state->queue.push_back({seq, m_state->location, m_state->target, std::move(event)});
    m_state->changed.notify_all();
    return seq;
}

void CRecordWriter::SetLocation(QString location)
{
    const QString target = CRecordOutbox::TargetOf(location);
    std::lock_guard guard(m_state->lock);
    m_state->location = std::move(location);
    m_state->target = target;
    m_state->failed = false;
}

void CRecordWriter::Wake()
{
    std::lock_guard guard(m_state->lock);
    if (m_state->stop)
        return;
    m_state->wake = true;
    m_state->changed.notify_all();
}

qint64 CRecordWriter::LastEnqueued() const
{
    std::lock_guard guard(m_state->lock);
    return m_state->lastSeq;
}

CRecordWriter::Outcome CRecordWriter::VisitOutcome(const QString& visitUid, qint64 mark) const
{
    std::lock_guard guard(m_state->lock);
    Outcome outcome;
    outcome.settled = m_state->doneSeq >= mark;
    const auto found = m_state->visits.find(visitUid);
    const bool inOutbox = found != m_state->visits.end() && found->second.inOutbox > 0;
    const bool lost = found != m_state->visits.end() && found->second.lost;
    outcome.pending = !outcome.settled || inOutbox;
    if (!outcome.pending && !lost && found != m_state->visits.end()) {
        outcome.snapshotId = found->second.snapshotId;
        outcome.snapshotNumber = found->second.snapshotNumber;
        outcome.deviceKey = found->second.deviceKey;
    }
    return outcome;
}

bool CRecordWriter::IsStalled() const
{
    std::lock_guard guard(m_state->lock);
    return m_state->busy
           && std::chrono::steady_clock::now() - m_state->busySince
                  > std::chrono::milliseconds(m_state->timing.unitSettleMs);
}

bool CRecordWriter::HasFailed() const
{
    std::lock_guard guard(m_state->lock);
    return m_state->failed;
}

bool CRecordWriter::WaitUntilIdle(int timeoutMs) const
{
    std::unique_lock guard(m_state->lock);
    return m_state->changed.wait_for(guard, std::chrono::milliseconds(timeoutMs), [this] {
        return m_state->queue.empty() && !m_state->busy && !m_state->wake;
    });
}

int CRecordWriter::Close(std::chrono::steady_clock::time_point deadline)
{
    if (m_closed)
        return 0;
    m_closed = true;
    {
        std::lock_guard guard(m_state->callbackLock);
        m_state->log = nullptr;
        m_state->failureLog = nullptr;
        m_state->notify = nullptr;
    }
    std::unique_lock guard(m_state->lock);
    m_state->stop = true;
    m_state->wake = false;
    m_state->changed.notify_all();
    if (m_state->changed.wait_until(guard, deadline, [this] { return m_state->queue.empty() && !m_state->busy; })) {
        guard.unlock();
        m_thread.join();
        return 0;
    }
    // The thread is inside a call that does not return: it is not waited
    // for. The steps it has not dealt with (the first may be the one it is
    // inside: stored twice it is stored once) are kept here, in order.
    std::deque<Queued> left = std::move(m_state->queue);
    m_state->queue.clear();
    m_state->abandoned = true;
    m_state->detached = true;
    ++g_runningDetached;
    guard.unlock();
    m_state->changed.notify_all();
    m_thread.detach();
    CRecordOutbox outbox(m_state->outboxPath, m_state->timing.outboxBusyMs);
    for (const Queued& step : left) {
        if (outbox.Append(step.target, step.event))
            m_state->CountInOutbox(step.event.visitUid, 1);
    }
    return static_cast<int>(left.size());
}

int CRecordWriter::RunningDetached()
{
    return g_runningDetached.load();
}

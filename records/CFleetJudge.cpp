#include "records/CFleetJudge.h"

#include "records/CRecordStore.h"

#include <QMetaObject>
#include <QObject>

#include <thread>

void CFleetJudge::Start(const QString& location, std::shared_ptr<const ProjectProfile> profile, qint64 nowMs,
                        int staleDays, QObject* receiver, Done done)
{
    Cancel();
    auto pass = std::make_shared<Pass>();
    m_pass = pass;
    std::thread([pass, location, profile = std::move(profile), nowMs, staleDays, receiver, done = std::move(done)] {
        auto judgement = std::make_shared<FleetJudgement>(*profile);
        QString error;
        {
            // Opened, used and closed on this thread, as Qt SQL wants.
            CRecordStore store(location);
            CRecordStore lookup(location);
            const auto stop = [&pass] { return pass->cancelled.load(); };
            if (!store.OpenForReading() || !lookup.OpenForReading()
                || !JudgeFleet(store, *profile, nowMs, staleDays, *judgement, stop, &lookup))
                error = (judgement->error.isEmpty() ? store.LastError() : judgement->error).simplified();
        }
        // Under the lock, so that the receiver cannot go between the check
        // and the post; a post it does not live to take dies with it.
        std::lock_guard guard(pass->mutex);
        if (pass->cancelled)
            return;
        QMetaObject::invokeMethod(
            receiver,
            [done, judgement, error] {
                done(error.isEmpty() ? std::shared_ptr<const FleetJudgement>(judgement) : nullptr, error);
            },
            Qt::QueuedConnection);
    }).detach();
}

void CFleetJudge::Cancel()
{
    if (!m_pass)
        return;
    std::lock_guard guard(m_pass->mutex);
    m_pass->cancelled = true;
    m_pass.reset();
}

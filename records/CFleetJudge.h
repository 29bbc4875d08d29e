#pragma once

#include "records/FleetJudgement.h"

#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

class QObject;

// Judges the recorded fleet against a profile on a thread of its own, with
// a connection of its own, so that a province's record never holds up the
// window. The result reaches `receiver`'s thread through its event queue.
// Destroying the judge (or starting another pass) drops a result still on
// its way and ends the pass at the next terminal (or, inside a slow
// statement, within the database's own time limits).
class CFleetJudge {
public:
    // The judgement, or nothing with why.
    using Done = std::function<void(std::shared_ptr<const FleetJudgement> judgement, const QString& error)>;

    CFleetJudge() = default;
    CFleetJudge(const CFleetJudge&) = delete;
    CFleetJudge& operator=(const CFleetJudge&) = delete;
    ~CFleetJudge() { Cancel(); }

    void Start(const QString& location, std::shared_ptr<const ProjectProfile> profile, qint64 nowMs, int staleDays,
               QObject* receiver, Done done);
    void Cancel();

private:
    struct Pass {
        std::mutex mutex;  // held while the result is posted
        std::atomic<bool> cancelled = false;
    };
    std::shared_ptr<Pass> m_pass;
};

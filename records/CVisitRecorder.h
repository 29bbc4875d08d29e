#pragma once

#include "device/IVisitRecorder.h"
#include "records/RecordTypes.h"

#include <QString>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>

class CRecordStore;

// The service record of one controller (one port): turns what the device
// side reports into snapshots and changes in a CRecordStore. The store is
// opened on the thread of the first call (the controller's worker) and used
// only there. A database that cannot be opened or written stops nothing: the
// first failure is logged once, with its reason, and nothing more is tried.
class CVisitRecorder : public IVisitRecorder {
public:
    using LogLine = std::function<void(const QString&)>;

    // `location`: a file, a postgresql:// address, or "" for the default.
    CVisitRecorder(QString location, QString port, LogLine log);
    ~CVisitRecorder() override;

    // Batch runs name their triggers: the entry of a --read run is "--read",
    // the verification of an --apply "apply-after", ... Any thread, before
    // the terminal is caught.
    void SetTriggerNames(QString entry, QString verify);
    // The port the terminal is on (the window changes it). Any thread.
    void SetPort(QString port);
    // Another database from the next step on (the window's setting); a
    // failure of the old one is forgotten. Any thread.
    void SetLocation(QString location);

    // The last snapshot's id (a batch report names it), 0 without one.
    qint64 LastSnapshotId() const;
    // The key of the device last recorded ("" before any).
    QString LastDeviceKey() const;
    // Whether recording has failed and stopped.
    bool HasFailed() const;

    // IVisitRecorder (worker thread)
    void ModuleReplied(const QByteArray& reply) override;
    void ReportRead(ReportTrigger trigger, const QByteArray& report) override;
    void ChangeBegun(ChangeKind kind, qint64 startedMs) override;
    void ChangeItemSent(const SentItem& item) override;
    void ChangeDone(const Change& change) override;

    // The line that says records are not kept, and why.
    static QString FailureLine(const QString& why, const QString& location);

private:
    CRecordStore* Store();
    void Failed(const QString& why);
    VisitContext Context() const;

    QString m_location;
    LogLine m_log;
    std::unique_ptr<CRecordStore> m_store;
    QString m_module;
    mutable std::mutex m_lock;  // guards what other threads read and write
    QString m_port;
    std::optional<QString> m_nextLocation;
    QString m_entryTrigger = QString::fromLatin1(RecordTrigger::Entry);
    QString m_verifyTrigger = QString::fromLatin1(RecordTrigger::Verify);
    qint64 m_lastSnapshotId = 0;
    QString m_lastDeviceKey;
    bool m_failed = false;
};

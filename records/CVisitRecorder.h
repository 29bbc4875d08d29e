#pragma once

#include "device/IVisitRecorder.h"
#include "records/CRecordWriter.h"
#include "records/RecordTiming.h"
#include "records/RecordTypes.h"

#include <QString>

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>

// The service record of one controller (one port): turns what the device
// side reports into the steps of visits (reports, changes as they go) and
// hands them to a writer thread of its own (CRecordWriter). The worker only
// hands over; no call of it waits for a database. A database that cannot be
// written stops nothing: its steps wait in the outbox, the log says so once,
// and the database is tried again at the next visit.
class CVisitRecorder : public IVisitRecorder {
public:
    using LogLine = std::function<void(const QString&)>;

    // `location`: a file, a postgresql:// address, or "" for the default.
    // `outboxPath`: "" for the outbox beside the default record.
    CVisitRecorder(QString location, QString port, LogLine log, RecordTiming timing = {}, QString outboxPath = {});
    // Closes (see Close()) with RecordTiming::shutdownWaitMs.
    ~CVisitRecorder() override;

    // Batch runs name their triggers: the entry of a --read run is "--read",
    // the verification of an --apply "apply-after", ... Any thread, before
    // the terminal is caught.
    void SetTriggerNames(QString entry, QString verify);
    // The port the terminal is on (the window changes it): a device path is
    // kept as its canonical path. Any thread.
    void SetPort(QString port);
    // Another database from the next step on (the window's setting). Any
    // thread.
    void SetLocation(QString location);
    // Failure lines also go to `failure` (batch runs: standard error).
    void SetFailureLog(LogLine failure);
    // Called on the writer thread whenever it has dealt with a step.
    void SetProgress(std::function<void()> progress);
    // Writes out what waits in the outbox now (the window, every 30 s).
    void Wake();

    // ---- any thread: what became of a visit ----
    // The visit of the terminal caught last ("" before any), and the mark
    // of every step handed over so far.
    QString CurrentVisit() const;
    qint64 Mark() const { return m_writer.LastEnqueued(); }
    CRecordWriter::Outcome Outcome(const QString& visitUid, qint64 mark) const
    {
        return m_writer.VisitOutcome(visitUid, mark);
    }
    bool IsStalled() const { return m_writer.IsStalled(); }
    // Whether the last try to write failed (steps wait in the outbox).
    bool HasFailed() const { return m_writer.HasFailed(); }
    // Waits until every step handed over was dealt with (tests, and a
    // reader that must see them).
    bool Flush(int timeoutMs) const { return m_writer.WaitUntilIdle(timeoutMs); }
    // Ends the writer by `deadline` (see CRecordWriter::Close); the log is
    // not called any more. Returns how many steps it left in the outbox.
    int Close(std::chrono::steady_clock::time_point deadline);
    // The outbox file, and where this recorder's steps go, without a
    // password.
    QString OutboxPath() const { return m_outboxPath; }
    QString Target() const;

    // A profile check of the terminal caught last, filed under its visit
    // and device by the writer thread (the outbox keeps it while the
    // database is away). Any thread; nothing happens before any report.
    void ProfileChecked(const RecordedProfileCheck& check);

    // IVisitRecorder (worker thread)
    void ModuleReplied(const QByteArray& reply) override;
    void ReportRead(ReportTrigger trigger, const QByteArray& report) override;
    void ChangeBegun(ChangeKind kind, qint64 startedMs) override;
    void ChangeItemSent(const SentItem& item) override;
    void ChangeDone(const Change& change) override;

    // The user a record names: $USER, else the account's own name.
    static QString UserName();
    // A port as a record keeps it: a device path by its canonical path, so
    // that one port typed two ways is one port.
    static QString CanonicalPort(const QString& port);

private:
    RecordEvent Step(RecordEvent::Type type, qint64 atMs) const;
    void BeginChange(ChangeKind kind, qint64 startedMs, const QString& deviceKey);

    QString m_outboxPath;
    CRecordWriter m_writer;
    mutable std::mutex m_lock;  // guards what other threads read and write
    QString m_port;
    QString m_location;
    LogLine m_log;
    QString m_entryTrigger = QString::fromLatin1(RecordTrigger::Entry);
    QString m_verifyTrigger = QString::fromLatin1(RecordTrigger::Verify);
    QString m_visitUid;
    QString m_visitDeviceKey;  // the terminal the last report named

    // Worker thread only.
    QString m_module;
    QString m_deviceKey;          // the terminal the last report named
    QString m_keyBeforeRename;    // a verification renamed it: the key the save began on
    QString m_changeUid;          // the change begun and not yet done
    int m_itemsSent = 0;
    bool m_changeWithoutTerminal = false;  // begun before any report: not recorded
};

#pragma once

#include "records/RecordEvent.h"
#include "records/RecordTiming.h"

#include <QSqlDatabase>
#include <QString>

#include <optional>
#include <vector>

// The outbox: the steps of visits that could not be written to their
// database yet, in the order they happened, each with the place it is to
// go. An SQLite file of the user's own (beside the default record), shared
// by every process of the user; each step is kept once (by its id) and
// removed once its database holds it. A store belongs to the thread that
// opens it.
//
//   CREATE TABLE pending (
//     seq INTEGER PRIMARY KEY AUTOINCREMENT,  -- the order of arrival
//     uid TEXT NOT NULL UNIQUE,               -- the step's own id
//     visit TEXT NOT NULL,                    -- the visit it belongs to
//     target TEXT NOT NULL,                   -- where it goes, no password
//     queued INTEGER NOT NULL,                -- ms since the epoch
//     event TEXT NOT NULL)                    -- the step, as JSON
class CRecordOutbox {
public:
    static constexpr const char* kFileName = "outbox.sqlite";
    // The outbox beside the default record, in the user's data folder.
    static QString DefaultPath();
    // A record's location as the outbox keeps it: a file's absolute path,
    // a server's address without its password (libpq finds that in
    // PGPASSWORD or ~/.pgpass when the step is written).
    static QString TargetOf(const QString& location);

    explicit CRecordOutbox(QString path = DefaultPath(), int busyMs = RecordTiming{}.outboxBusyMs);
    ~CRecordOutbox();
    CRecordOutbox(const CRecordOutbox&) = delete;
    CRecordOutbox& operator=(const CRecordOutbox&) = delete;

    // Opens the file; with `create` the file (and its folder) is made when
    // missing, else a missing file is a failure without a reason.
    bool Open(bool create);
    QString Path() const { return m_path; }
    QString LastError() const { return m_lastError; }

    // Keeps a step for `target` (a step already kept is not kept twice).
    bool Append(const QString& target, const RecordEvent& event);

    struct Entry {
        qint64 seq = 0;
        std::optional<RecordEvent> event;  // nothing when the text cannot be read
    };
    // The oldest steps for `target` after `afterSeq`, at most `limit`.
    std::optional<std::vector<Entry>> Pending(const QString& target, qint64 afterSeq, int limit);
    bool Remove(qint64 seq);

    struct Waiting {
        QString target;
        int visits = 0;
    };
    // The targets that have steps waiting, with how many visits each.
    std::optional<std::vector<Waiting>> WaitingTargets();

    // What waits in the outbox at `path`, one line per target ("" when
    // nothing waits or there is no outbox), for --history and 设备档案.
    static QString WaitingNotice(const QString& path = DefaultPath());

private:
    bool Fail(const QString& why);

    QString m_path;
    int m_busyMs = 0;
    QString m_connectionName;
    QSqlDatabase m_db;
    bool m_open = false;
    QString m_lastError;
};

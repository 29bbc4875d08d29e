#pragma once

#include "terminal/SentEntry.h"

#include <QList>
#include <QString>

// The last sends of the terminal panel, newest first, each one once: a
// send that is already there moves to the front. Kept across runs in a
// small JSON file, written whenever the history changes; a damaged or
// unreadable file gives an empty history (and is replaced at the next
// send). Several windows share the file: each write first takes in what
// the others wrote since, so no window's sends are lost.
class CSendHistory {
public:
    static constexpr int kLimit = 100;
    // Longer sends (a pasted block, a long hex dump) go out as usual but
    // are not worth recalling, and would bloat the file and the drop-down.
    static constexpr int kMaxEntryLength = 1024;
    // How long a write waits for another window's write to the file.
    static constexpr int kLockWaitMs = 1000;

    // Reads `path` (by default send-history.json in the application's
    // data folder).
    explicit CSendHistory(QString path = DefaultFilePath());

    static QString DefaultFilePath();

    // Remembers a send (empty texts and texts longer than kMaxEntryLength
    // are not kept). False when the file could not be written; the history
    // in memory has the entry.
    bool Add(const SentEntry& entry);
    const QList<SentEntry>& Entries() const { return m_entries; }
    QString FilePath() const { return m_path; }

private:
    // The file's entries, newest first (empty when it is missing or damaged).
    QList<SentEntry> ReadFile() const;
    // The file's entries merged in behind `newest`, then written.
    bool MergeAndWrite(const SentEntry& newest);
    bool Write() const;
    static bool IsKept(const SentEntry& entry);

    QString m_path;
    QList<SentEntry> m_entries;
};

#pragma once

#include "terminal/SentEntry.h"

#include <QList>
#include <QString>

// The last sends of the terminal panel, newest first, each one once: a
// send that is already there moves to the front. Kept across runs in a
// small JSON file, written whenever the history changes; a damaged or
// unreadable file gives an empty history (and is replaced at the next
// send).
class CSendHistory {
public:
    static constexpr int kLimit = 100;

    // Reads `path` (by default send-history.json in the application's
    // data folder).
    explicit CSendHistory(QString path = DefaultFilePath());

    static QString DefaultFilePath();

    // Remembers a send (empty texts are not worth recalling). False when
    // the file could not be written; the history in memory has the entry.
    bool Add(const SentEntry& entry);
    const QList<SentEntry>& Entries() const { return m_entries; }
    QString FilePath() const { return m_path; }

private:
    void Read();
    bool Write() const;

    QString m_path;
    QList<SentEntry> m_entries;
};

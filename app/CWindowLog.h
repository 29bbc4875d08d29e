#pragma once

#include "app/CLocalClock.h"
#include "dailylog/CDailyLogFile.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

class CLogPane;

// Where the window's log entries go: the log pane, the daily log file,
// the observers of a test or a batch, and standard output for a demo.
class CWindowLog : public QObject {
public:
    struct Options {
        // Sees every entry as it is shown.
        std::function<void(const QString&)> observer;
        // Also print every entry on standard output.
        bool toStdout = false;
        // The time given to each entry; empty: the computer's clock.
        std::function<QDateTime()> now;
        // Folder of the daily log; empty: CDailyLogFile::DefaultFolder().
        QString folder;
        DailyLogLimits limits;
    };

    CWindowLog(CLogPane& pane, Options options, QObject* parent = nullptr);

    // Logs an entry (pane, daily log, observers). Received data
    // (`received`) reaches the daily log's disk a few times a second on a
    // busy line, not at every read.
    void Entry(const QString& line, const QString* hexBody = nullptr, bool received = false);
    // Shows an entry without keeping it in the daily log.
    void Show(const QString& line, const QString* hexBody = nullptr);
    // Writes out what waits in the daily log's buffer.
    void Flush();
    // As the window closes: nothing waits any more.
    void Close();
    // The time of an entry logged now.
    QDateTime Now();
    // The file today's entries go to (empty before the first).
    QString FilePath() const { return m_file.Path(); }

private:
    CLogPane& m_pane;
    Options m_options;
    CDailyLogFile m_file;
    CLocalClock m_clock;
    // Received entries within this period of a written-through one wait in
    // the daily log's buffer until it ends.
    QTimer m_flushTimer;
};

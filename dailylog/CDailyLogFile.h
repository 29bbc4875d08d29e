#pragma once

#include "dailylog/CLogFile.h"
#include "dailylog/DailyLogLimits.h"

#include <QDate>
#include <QDateTime>
#include <QString>

// The window's service record: every entry goes to the file of its day,
// logs/yyyy-MM-dd.log under one folder; the first entry of a new day opens
// that day's file. The record is bounded (DailyLogLimits): a day's file
// stops at its size with one line saying so, and starting a day removes the
// days past the age or past the total. Only files named as a day's file are
// ever removed.
class CDailyLogFile {
public:
    explicit CDailyLogFile(const QString& folder, const DailyLogLimits& limits = {})
        : m_folder(folder), m_limits(limits)
    {
    }

    // Appends one entry to the file of `at`'s day. Returns a line for the
    // pane, at most once a day, and an empty string otherwise: that the
    // file cannot be written ("无法写入日志文件…": it cannot be opened, or
    // the disk is full), or that the day's file is full. Entries of that
    // day then go nowhere; the next day's file is tried afresh.
    // With `flush` false the entry may wait in the file's buffer until the
    // next Flush or flushing Append (a busy line's entries are written a
    // few times a second instead of each on its own).
    QString Append(const QString& entry, const QDateTime& at, bool flush = true);
    // Writes what waits; the same line for the pane as Append when that
    // fails.
    QString Flush();

    QString Folder() const { return m_folder; }
    // The file of the day of the last entry (empty before the first).
    QString Path() const { return m_path; }
    bool IsOpen() const { return m_file.IsOpen(); }

    // The folder of the window's record when none is named: the
    // application's own data folder.
    static QString DefaultFolder();

private:
    // Opens the file of `day` after removing old days; returns the line
    // for the pane when it is not open.
    QString StartDay(const QDate& day);
    void RemoveOldDays(const QDate& today) const;
    // A run before this one filled the file of the day.
    bool EndsWithClosingLine(const QString& path) const;
    QString CloseFullDay(const QDateTime& at);
    QString WriteFailed();

    QString m_folder;
    DailyLogLimits m_limits;
    QString m_path;
    QDate m_day;
    CLogFile m_file;
    // Bytes the day's closing line takes (its time stamp is always as long).
    qint64 m_closingBytes = -1;
};

#pragma once

#include "app/CLogFile.h"

#include <QDate>
#include <QDateTime>
#include <QString>

// The window's service record: every entry goes to the file of its day,
// logs/yyyy-MM-dd.log under one folder; the first entry of a new day opens
// that day's file.
class CDailyLogFile {
public:
    explicit CDailyLogFile(const QString& folder) : m_folder(folder) {}

    // Appends one entry to the file of `at`'s day. When that file cannot be
    // opened, returns the line telling so ("无法写入日志文件…") the first time
    // only, and an empty string otherwise; entries of that day then go
    // nowhere.
    QString Append(const QString& entry, const QDateTime& at);

    QString Folder() const { return m_folder; }
    // The file of the day of the last entry (empty before the first).
    QString Path() const { return m_path; }
    bool IsOpen() const { return m_file.IsOpen(); }

    // The folder of the window's record when none is named: the
    // application's own data folder.
    static QString DefaultFolder();

private:
    QString m_folder;
    QString m_path;
    QDate m_day;
    CLogFile m_file;
};

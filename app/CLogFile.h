#pragma once

#include <QDate>
#include <QDateTime>
#include <QFile>
#include <QString>

// A service record of the log: every entry, with the time it was logged, is
// appended to a UTF-8 text file as it happens, so that a record survives a
// crash of the tool. An entry of several lines (a received report) keeps its
// lines, each after the entry's time stamp.
class CLogFile {
public:
    CLogFile() = default;
    CLogFile(const CLogFile&) = delete;
    CLogFile& operator=(const CLogFile&) = delete;

    // Opens `path` for appending, creating its folder. False, with the
    // reason in `why`, when it cannot be written.
    bool Open(const QString& path, QString* why = nullptr);
    void Close();
    bool IsOpen() const { return m_file.isOpen(); }
    QString Path() const { return m_file.fileName(); }

    // Appends one log entry. Line ends become LF; a command's closing CR is
    // dropped, as on the console.
    void Append(const QString& entry, const QDateTime& at = QDateTime::currentDateTime());

    // The text written for one entry.
    static QString Format(const QString& entry, const QDateTime& at);
    // The window's file of a day under `folder`: logs/yyyy-MM-dd.log.
    static QString DailyPath(const QString& folder, const QDate& day);

private:
    QFile m_file;
};

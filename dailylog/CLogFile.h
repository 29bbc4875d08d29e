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
    // dropped, as on the console. False when it could not be written (a
    // full disk), with the reason in ErrorString().
    bool Append(const QString& entry, const QDateTime& at = QDateTime::currentDateTime());
    // Appends text already formatted, written through at once.
    // With `flush` false the bytes may wait in the file's buffer until the
    // next Flush (or a write that flushes).
    bool Write(const QByteArray& text, bool flush = true);
    bool Flush();
    QString ErrorString() const { return m_file.errorString(); }
    // The file's size on disk, with whatever others appended to it.
    // Bytes in the file, counted as written (no look at the disk).
    qint64 Size() const { return m_size; }

    // The text of an entry as written (and printed on the console): line
    // ends as LF, a command's closing CR dropped.
    static QString Printable(const QString& line);
    // The text written for one entry.
    static QString Format(const QString& entry, const QDateTime& at);
    // The window's file of a day under `folder`: logs/yyyy-MM-dd.log.
    static QString DailyPath(const QString& folder, const QDate& day);
    // The day of a file name DailyPath gives (yyyy-MM-dd.log); invalid for
    // every other name.
    static QDate DayOfDailyFile(const QString& fileName);
    // The bytes `text` takes on disk once written (text mode writes CR LF
    // on Windows).
    static qint64 BytesOnDisk(const QByteArray& text);

private:
    QFile m_file;
    qint64 m_size = 0;
};

#include "dailylog/CDailyLogFile.h"

#include "resources/Texts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <algorithm>

QString CDailyLogFile::DefaultFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
}

QString CDailyLogFile::Append(const QString& entry, const QDateTime& at, bool flush)
{
    QString notice;
    if (!m_day.isValid() || at.date() != m_day)
        notice = StartDay(at.date());
    if (!m_file.IsOpen())
        return notice;
    const QByteArray text = CLogFile::Format(entry, at).toUtf8();
    if (m_closingBytes < 0)
        m_closingBytes = CLogFile::BytesOnDisk(CLogFile::Format(Texts::LogFileDayFull(), at).toUtf8());
    // Room is kept for the closing line, so the file never passes its size.
    if (m_file.Size() + CLogFile::BytesOnDisk(text) + m_closingBytes > m_limits.bytesPerDay)
        return CloseFullDay(at);
    if (!m_file.Write(text, flush))
        return WriteFailed();
    return notice;
}

QString CDailyLogFile::Flush()
{
    if (!m_file.IsOpen() || m_file.Flush())
        return {};
    return WriteFailed();
}

QString CDailyLogFile::StartDay(const QDate& day)
{
    m_file.Close();
    m_day = day;
    m_path = CLogFile::DailyPath(m_folder, day);
    RemoveOldDays(day);
    if (EndsWithClosingLine(m_path))
        return Texts::LogFileDayFull();
    QString why;
    if (!m_file.Open(m_path, &why))
        return Texts::LogFileFailed(m_path, why);
    return {};
}

QString CDailyLogFile::CloseFullDay(const QDateTime& at)
{
    if (!m_file.Append(Texts::LogFileDayFull(), at))
        return WriteFailed();
    m_file.Close();
    return Texts::LogFileDayFull();
}

QString CDailyLogFile::WriteFailed()
{
    const QString problem = Texts::LogFileFailed(m_path, m_file.ErrorString());
    m_file.Close();
    return problem;
}

bool CDailyLogFile::EndsWithClosingLine(const QString& path) const
{
    // A plain file only: a device (the log pointed at /dev/full) would be
    // read without end.
    if (!QFileInfo(path).isFile())
        return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return false;
    const QByteArray ending = (QLatin1Char(' ') + Texts::LogFileDayFull() + QLatin1Char('\n')).toUtf8();
    // Text mode reads CR LF as one byte: read a little more than needed.
    const qint64 tail = 2 * ending.size();
    if (!file.seek(std::max<qint64>(0, file.size() - tail)))
        return false;
    return file.read(tail).endsWith(ending);
}

void CDailyLogFile::RemoveOldDays(const QDate& today) const
{
    struct Day {
        QDate date;
        QString path;
        qint64 size = 0;
    };
    QList<Day> days;
    const QDir logs(QFileInfo(CLogFile::DailyPath(m_folder, today)).absolutePath());
    const QFileInfoList files = logs.entryInfoList({QStringLiteral("*.log")}, QDir::Files | QDir::NoSymLinks);
    for (const QFileInfo& file : files) {
        const QDate date = CLogFile::DayOfDailyFile(file.fileName());
        if (!date.isValid() || date == today)
            continue;
        if (date.daysTo(today) > m_limits.keepDays)
            QFile::remove(file.filePath());
        else
            days << Day{date, file.filePath(), file.size()};
    }
    // Oldest first; today's file may grow to a full day.
    std::sort(days.begin(), days.end(), [](const Day& a, const Day& b) { return a.date < b.date; });
    qint64 total = m_limits.bytesPerDay;
    for (const Day& day : days)
        total += day.size;
    for (const Day& day : days) {
        if (total <= m_limits.totalBytes)
            break;
        if (QFile::remove(day.path))
            total -= day.size;
    }
}

#include "dailylog/CLogFile.h"

#include <QDir>
#include <QFileInfo>

#include <cstdio>

bool CLogFile::Open(const QString& path, QString* why)
{
    Close();
    const QFileInfo info(path);
    if (!QDir().mkpath(info.absolutePath())) {
        if (why)
            *why = QStringLiteral("无法创建文件夹“%1”").arg(info.absolutePath());
        return false;
    }
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text)) {
        if (why)
            *why = m_file.errorString();
        return false;
    }
    m_size = m_file.size();
    return true;
}

void CLogFile::Close()
{
    if (m_file.isOpen())
        m_file.close();
}

QString CLogFile::Format(const QString& entry, const QDateTime& at)
{
    // yyyy-MM-dd HH:mm:ss.zzz, written out by hand: the locale-aware
    // formatter costs more than the rest of an entry's way to the disk.
    const QDate date = at.date();
    const QTime time = at.time();
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d.%03d", date.year(), date.month(), date.day(),
                  time.hour(), time.minute(), time.second(), time.msec());
    const QLatin1StringView stamp(buffer);
    QString text;
    const QStringList lines = Printable(entry).split(QLatin1Char('\n'));
    for (const QString& line : lines)
        text += stamp + QLatin1Char(' ') + line + QLatin1Char('\n');
    return text;
}

QString CLogFile::Printable(const QString& line)
{
    QString text = line;
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    // Only the command's own closing return: anything before it was received.
    if (text.endsWith(QLatin1Char('\r')))
        text.chop(1);
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

QString CLogFile::DailyPath(const QString& folder, const QDate& day)
{
    return QDir(folder).filePath(QStringLiteral("logs/%1.log").arg(day.toString(QStringLiteral("yyyy-MM-dd"))));
}

QDate CLogFile::DayOfDailyFile(const QString& fileName)
{
    const QString format = QStringLiteral("yyyy-MM-dd");
    const QLatin1String suffix(".log");
    if (!fileName.endsWith(suffix))
        return {};
    const QDate day = QDate::fromString(fileName.chopped(suffix.size()), format);
    // Exactly the name the window gives: not 2026-3-1.log, not a copy.
    return day.isValid() && day.toString(format) + suffix == fileName ? day : QDate();
}

qint64 CLogFile::BytesOnDisk(const QByteArray& text)
{
#ifdef Q_OS_WIN
    return text.size() + text.count('\n');
#else
    return text.size();
#endif
}

bool CLogFile::Append(const QString& entry, const QDateTime& at)
{
    return Write(Format(entry, at).toUtf8());
}

bool CLogFile::Write(const QByteArray& text, bool flush)
{
    if (!m_file.isOpen())
        return false;
    const bool written = m_file.write(text) == text.size();
    if (written)
        m_size += BytesOnDisk(text);
    // Written through at once unless the caller flushes soon: the record
    // is for when something went wrong. A full disk shows here.
    return written && (!flush || m_file.flush());
}

bool CLogFile::Flush()
{
    return !m_file.isOpen() || m_file.flush();
}

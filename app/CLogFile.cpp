#include "app/CLogFile.h"

#include "app/CBatchConsole.h"

#include <QDir>
#include <QFileInfo>

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
    return true;
}

void CLogFile::Close()
{
    if (m_file.isOpen())
        m_file.close();
}

QString CLogFile::Format(const QString& entry, const QDateTime& at)
{
    const QString stamp = at.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
    QString text;
    const QStringList lines = CBatchConsole::Printable(entry).split(QLatin1Char('\n'));
    for (const QString& line : lines)
        text += stamp + QLatin1Char(' ') + line + QLatin1Char('\n');
    return text;
}

QString CLogFile::DailyPath(const QString& folder, const QDate& day)
{
    return QDir(folder).filePath(QStringLiteral("logs/%1.log").arg(day.toString(QStringLiteral("yyyy-MM-dd"))));
}

void CLogFile::Append(const QString& entry, const QDateTime& at)
{
    if (!m_file.isOpen())
        return;
    m_file.write(Format(entry, at).toUtf8());
    // Written through at once: the record is for when something went wrong.
    m_file.flush();
}

#include "app/CDailyLogFile.h"

#include "resources/Texts.h"

#include <QStandardPaths>

QString CDailyLogFile::DefaultFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
}

QString CDailyLogFile::Append(const QString& entry, const QDateTime& at)
{
    QString problem;
    const QDate day = at.date();
    if (!m_day.isValid() || day != m_day) {
        m_day = day;
        m_path = CLogFile::DailyPath(m_folder, day);
        QString why;
        if (!m_file.Open(m_path, &why))
            problem = Texts::LogFileFailed(m_path, why);
    }
    m_file.Append(entry, at);
    return problem;
}

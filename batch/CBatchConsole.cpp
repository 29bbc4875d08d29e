#include "batch/CBatchConsole.h"

#include "dailylog/CLogFile.h"

CBatchConsole::CBatchConsole(std::FILE* out, std::FILE* err)
    : m_out(out), m_err(err)
{
}

QString CBatchConsole::Printable(const QString& line)
{
    // The console prints a line as the log file writes it.
    return CLogFile::Printable(line);
}

QString CBatchConsole::Tagged(const QString& text) const
{
    QString tagged = text;
    if (!m_prefix.isEmpty())
        tagged.replace(QLatin1Char('\n'), QLatin1Char('\n') + m_prefix).prepend(m_prefix);
    return tagged;
}

void CBatchConsole::PrintLine(const QString& text)
{
    std::fputs(Tagged(text).toUtf8().constData(), m_out);
    std::fputc('\n', m_out);
    std::fflush(m_out);
}

void CBatchConsole::AppendLog(const QString& line)
{
    m_log << line;
    const QString printable = Printable(line);
    PrintLine(printable);
    // Every line of an entry after the port's name, as printed: the lines
    // of a received report, too, must say which terminal sent them.
    if (m_logFile)
        m_logFile->Append(Tagged(printable));
}

void CBatchConsole::ShowSaveProgress(int done, int total)
{
    if (done > 0)
        PrintLine(QStringLiteral("第 %1 / %2 项").arg(done).arg(total));
}

void CBatchConsole::ShowMessage(const QString& text)
{
    ++m_messages;
    std::fputs((m_prefix + text).toUtf8().constData(), m_err);
    std::fputc('\n', m_err);
    std::fflush(m_err);
}

void CBatchConsole::ClearNumberPage(int category)
{
    if (category >= 0 && category < 3)
        m_pages[category].clear();
}

void CBatchConsole::AppendNumberRow(int category, const QString& number)
{
    if (category >= 0 && category < 3)
        m_pages[category] << number;
}

QStringList CBatchConsole::NumberRows(int category)
{
    return category >= 0 && category < 3 ? m_pages[category] : QStringList();
}

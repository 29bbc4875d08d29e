#include "app/CWindowLog.h"

#include "logpane/CLogPane.h"

#include <cstdio>
#include <utility>

CWindowLog::CWindowLog(CLogPane& pane, Options options, QObject* parent)
    : QObject(parent),
      m_pane(pane),
      m_options(std::move(options)),
      m_file(m_options.folder.isEmpty() ? CDailyLogFile::DefaultFolder() : m_options.folder, m_options.limits)
{
    m_flushTimer.setSingleShot(true);
    m_flushTimer.setInterval(CLogPane::kShowPeriodMs);
    connect(&m_flushTimer, &QTimer::timeout, this, &CWindowLog::Flush);
}

QDateTime CWindowLog::Now()
{
    return m_options.now ? m_options.now() : m_clock.Now();
}

void CWindowLog::Entry(const QString& line, const QString* hexBody, bool received)
{
    Show(line, hexBody);
    const QString whole = hexBody ? line + *hexBody : line;
    // As the pane's redraw: the first entry after a quiet spell is written
    // through at once, those that follow it within the period together when
    // it ends. Everything else is written through at once.
    const bool writeThrough = !received || !m_flushTimer.isActive();
    if (received && writeThrough)
        m_flushTimer.start();
    const QString problem = m_file.Append(whole, Now(), writeThrough);
    // The record cannot be kept: said once, in the pane only.
    if (!problem.isEmpty())
        Show(problem);
}

void CWindowLog::Show(const QString& line, const QString* hexBody)
{
    if (hexBody)
        m_pane.AppendHexEntry(line, *hexBody);
    else
        m_pane.AppendLog(line);
    if (!m_options.observer && !m_options.toStdout)
        return;
    const QString whole = hexBody ? line + *hexBody : line;
    if (m_options.observer)
        m_options.observer(whole);
    if (m_options.toStdout) {
        std::fputs(CLogPane::DisplayText(whole).toUtf8().constData(), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
    }
}

void CWindowLog::Flush()
{
    const QString problem = m_file.Flush();
    if (!problem.isEmpty())
        Show(problem);
}

void CWindowLog::Close()
{
    m_flushTimer.stop();
    Flush();
}

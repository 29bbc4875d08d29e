#include "device/CRecorderTap.h"

void CRecorderTap::Reset()
{
    std::lock_guard guard(m_lock);
    m_module.reset();
    m_lastReport.clear();
}

std::optional<QByteArray> CRecorderTap::ModuleReply() const
{
    std::lock_guard guard(m_lock);
    return m_module;
}

QByteArray CRecorderTap::LastReport() const
{
    std::lock_guard guard(m_lock);
    return m_lastReport;
}

void CRecorderTap::ModuleReplied(const QByteArray& reply)
{
    {
        std::lock_guard guard(m_lock);
        m_module = reply;
    }
    if (m_record)
        m_record->ModuleReplied(reply);
}

void CRecorderTap::ReportRead(ReportTrigger trigger, const QByteArray& report)
{
    {
        std::lock_guard guard(m_lock);
        // A terminal caught anew has not (yet) told its module.
        if (trigger == ReportTrigger::Entry && !m_module)
            m_module = QByteArray();
        m_lastReport = report;
    }
    if (m_record)
        m_record->ReportRead(trigger, report);
}

void CRecorderTap::ChangeBegun(ChangeKind kind, qint64 startedMs)
{
    if (m_record)
        m_record->ChangeBegun(kind, startedMs);
}

void CRecorderTap::ChangeItemSent(const SentItem& item)
{
    if (m_record)
        m_record->ChangeItemSent(item);
}

void CRecorderTap::ChangeDone(const Change& change)
{
    if (m_record)
        m_record->ChangeDone(change);
}

#pragma once

#include "device/IVisitRecorder.h"

#include <QStringList>

#include <functional>
#include <mutex>
#include <utility>
#include <vector>

// A service record that keeps what the device side tells it, in order, as
// one line per call (the worker calls it; tests read it on their thread):
//   "begun parameters @N"                  ChangeBegun
//   "item 无线网络APN:=CMWAP ok @N"         ChangeItemSent (a parameter item)
//   "item AT+LRMSETBKNO no @N"             ChangeItemSent (a list command, up to its "=")
//   "done parameters 成功 一致 2"           ChangeDone: kind, result, verification ("-"
//                                          when none), number of items
// "@N" is what `probe` says at the call (for instance how many commands the
// terminal has received by then); without a probe it is left out.
class RecordingRecorder : public IVisitRecorder {
public:
    void SetProbe(std::function<QString()> probe)
    {
        std::lock_guard guard(m_lock);
        m_probe = std::move(probe);
    }

    QStringList Calls() const
    {
        std::lock_guard guard(m_lock);
        return m_calls;
    }
    std::vector<std::pair<ReportTrigger, QByteArray>> Reports() const
    {
        std::lock_guard guard(m_lock);
        return m_reports;
    }
    void Clear()
    {
        std::lock_guard guard(m_lock);
        m_calls.clear();
        m_reports.clear();
    }

    void ModuleReplied(const QByteArray&) override {}
    void ReportRead(ReportTrigger trigger, const QByteArray& report) override
    {
        std::lock_guard guard(m_lock);
        m_reports.emplace_back(trigger, report);
    }
    void ChangeBegun(ChangeKind kind, qint64) override { Note(QStringLiteral("begun ") + KindName(kind)); }
    void ChangeItemSent(const SentItem& item) override
    {
        Note(QStringLiteral("item %1 %2").arg(ItemText(item), item.acknowledged ? QStringLiteral("ok") : QStringLiteral("no")));
    }
    void ChangeDone(const Change& change) override
    {
        Note(QStringLiteral("done %1 %2 %3 %4")
                 .arg(KindName(change.kind), change.succeeded ? QStringLiteral("成功") : QStringLiteral("失败"),
                      change.verify.isEmpty() ? QStringLiteral("-") : change.verify)
                 .arg(change.items.size()));
    }

private:
    static QString KindName(ChangeKind kind)
    {
        switch (kind) {
        case ChangeKind::Parameters: return QStringLiteral("parameters");
        case ChangeKind::NumberList: return QStringLiteral("numbers");
        case ChangeKind::FactoryReset: return QStringLiteral("factory");
        case ChangeKind::Clock: return QStringLiteral("clock");
        case ChangeKind::SignalReadings: return QStringLiteral("signal");
        }
        return {};
    }
    static QString ItemText(const SentItem& item)
    {
        if (item.item.isEmpty())
            return item.newValue.section(QLatin1Char('='), 0, 0);
        return item.item + QLatin1Char('=') + item.newValue;
    }
    void Note(const QString& call)
    {
        std::lock_guard guard(m_lock);
        m_calls << (m_probe ? call + QStringLiteral(" @") + m_probe() : call);
    }

    mutable std::mutex m_lock;
    std::function<QString()> m_probe;
    QStringList m_calls;
    std::vector<std::pair<ReportTrigger, QByteArray>> m_reports;
};

#pragma once

#include "device/IVisitRecorder.h"

#include <QByteArray>

#include <memory>
#include <mutex>
#include <optional>

// Stands between the controller and the service record: every step goes on
// to the record (when there is one), and the tap keeps the entry's module
// reply and the last report read, for checks made after a task (a project
// profile's module rule looks at the reply, a check at the report). Called
// on the worker thread; read on any.
class CRecorderTap : public IVisitRecorder {
public:
    explicit CRecorderTap(std::shared_ptr<IVisitRecorder> record = nullptr) : m_record(std::move(record)) {}

    // Forgets what was kept: the next terminal begins.
    void Reset();
    // The entry's ati / AT+CGMR reply as received; nothing when none came.
    std::optional<QByteArray> ModuleReply() const;
    // The last report read (entry, read-back or verification), as the
    // record keeps it.
    QByteArray LastReport() const;

    void ModuleReplied(const QByteArray& reply) override;
    void ReportRead(ReportTrigger trigger, const QByteArray& report) override;
    void ChangeBegun(ChangeKind kind, qint64 startedMs) override;
    void ChangeItemSent(const SentItem& item) override;
    void ChangeDone(const Change& change) override;

private:
    std::shared_ptr<IVisitRecorder> m_record;
    mutable std::mutex m_lock;
    std::optional<QByteArray> m_module;
    QByteArray m_lastReport;
};

#include "records/CVisitRecorder.h"

#include "params/GbkText.h"
#include "records/CRecordStore.h"

#include <QDateTime>
#include <QSysInfo>

#include <utility>

CVisitRecorder::CVisitRecorder(QString location, QString port, LogLine log)
    : m_location(std::move(location)), m_log(std::move(log)), m_port(std::move(port))
{
}

CVisitRecorder::~CVisitRecorder() = default;

QString CVisitRecorder::FailureLine(const QString& why, const QString& location)
{
    // One line: a server's reason may come in several.
    return QStringLiteral("设备档案无法记录（%1：%2），本次不保存设备档案").arg(location, why.simplified());
}

void CVisitRecorder::SetTriggerNames(QString entry, QString verify)
{
    std::lock_guard guard(m_lock);
    m_entryTrigger = std::move(entry);
    m_verifyTrigger = std::move(verify);
}

void CVisitRecorder::SetLocation(QString location)
{
    std::lock_guard guard(m_lock);
    m_nextLocation = std::move(location);
}

void CVisitRecorder::SetPort(QString port)
{
    std::lock_guard guard(m_lock);
    m_port = std::move(port);
}

qint64 CVisitRecorder::LastSnapshotId() const
{
    std::lock_guard guard(m_lock);
    return m_lastSnapshotId;
}

QString CVisitRecorder::LastDeviceKey() const
{
    std::lock_guard guard(m_lock);
    return m_lastDeviceKey;
}

bool CVisitRecorder::HasFailed() const
{
    std::lock_guard guard(m_lock);
    return m_failed;
}

void CVisitRecorder::Failed(const QString& why)
{
    {
        std::lock_guard guard(m_lock);
        if (m_failed)
            return;
        m_failed = true;
    }
    const QString where = m_store ? m_store->Describe() : m_location;
    if (m_log)
        m_log(FailureLine(why, where));
    // Nothing more is tried: a database that failed once would fail every
    // step of the visit, each after its own wait.
    m_store.reset();
}

CRecordStore* CVisitRecorder::Store()
{
    {
        std::lock_guard guard(m_lock);
        if (m_nextLocation) {
            m_location = *std::exchange(m_nextLocation, std::nullopt);
            m_store.reset();
            m_failed = false;
        }
    }
    if (HasFailed())
        return nullptr;
    if (!m_store) {
        m_store = std::make_unique<CRecordStore>(m_location);
        if (!m_store->Open()) {
            Failed(m_store->LastError());
            return nullptr;
        }
    }
    return m_store.get();
}

VisitContext CVisitRecorder::Context() const
{
    QString user = qEnvironmentVariable("USER");
    if (user.isEmpty())
        user = qEnvironmentVariable("USERNAME");
    std::lock_guard guard(m_lock);
    return {m_port, QSysInfo::machineHostName(), user};
}

void CVisitRecorder::ModuleReplied(const QByteArray& reply)
{
    m_module = GbkToUnicode(reply).trimmed();
}

void CVisitRecorder::ReportRead(ReportTrigger trigger, const QByteArray& report)
{
    CRecordStore* store = Store();
    if (!store)
        return;
    ReportEvent event;
    {
        std::lock_guard guard(m_lock);
        switch (trigger) {
        case ReportTrigger::Entry:
            event.trigger = m_entryTrigger;
            break;
        case ReportTrigger::ReadBack:
            event.trigger = QString::fromLatin1(RecordTrigger::ReadBack);
            break;
        case ReportTrigger::Verify:
            event.trigger = m_verifyTrigger;
            break;
        }
    }
    event.report = report;
    event.atMs = QDateTime::currentMSecsSinceEpoch();
    event.module = m_module;
    event.context = Context();
    const std::optional<qint64> id = store->RecordReport(event);
    if (!id) {
        Failed(store->LastError());
        return;
    }
    std::lock_guard guard(m_lock);
    m_lastSnapshotId = *id;
    m_lastDeviceKey = store->CurrentDeviceKey();
}

// Recorded whole at ChangeDone for now.
void CVisitRecorder::ChangeBegun(ChangeKind, qint64) {}
void CVisitRecorder::ChangeItemSent(const SentItem&) {}

void CVisitRecorder::ChangeDone(const Change& change)
{
    CRecordStore* store = Store();
    // A change before any report has no terminal to belong to.
    if (!store || store->CurrentDeviceKey().isEmpty())
        return;
    ChangeEvent event;
    switch (change.kind) {
    case ChangeKind::Parameters:
        event.kind = QString::fromLatin1(::ChangeKind::Parameters);
        break;
    case ChangeKind::NumberList:
        event.kind = QString::fromLatin1(::ChangeKind::Numbers);
        break;
    case ChangeKind::FactoryReset:
        event.kind = QString::fromLatin1(::ChangeKind::FactoryReset);
        break;
    case ChangeKind::Clock:
        event.kind = QString::fromLatin1(::ChangeKind::Clock);
        break;
    case ChangeKind::SignalReadings:
        event.kind = QString::fromLatin1(::ChangeKind::Signal);
        break;
    }
    for (const SentItem& item : change.items)
        event.items.push_back({item.item, item.oldValue, item.newValue, item.acknowledged});
    event.result = change.succeeded ? QStringLiteral("成功") : QStringLiteral("失败");
    event.verify = change.verify;
    event.atMs = change.startedMs;
    event.context = Context();
    if (!store->RecordChange(event))
        Failed(store->LastError());
}

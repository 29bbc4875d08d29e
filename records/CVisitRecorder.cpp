#include "records/CVisitRecorder.h"

#include "params/GbkText.h"
#include "records/CRecordOutbox.h"
#include "records/CRecordStore.h"

#include <QDateTime>
#include <QFileInfo>
#include <QSysInfo>

#include <utility>

#if defined(Q_OS_UNIX)
#include <pwd.h>
#include <unistd.h>
#endif

namespace {

QString KindText(IVisitRecorder::ChangeKind kind)
{
    switch (kind) {
    case IVisitRecorder::ChangeKind::Parameters:
        return QString::fromLatin1(::ChangeKind::Parameters);
    case IVisitRecorder::ChangeKind::NumberList:
        return QString::fromLatin1(::ChangeKind::Numbers);
    case IVisitRecorder::ChangeKind::FactoryReset:
        return QString::fromLatin1(::ChangeKind::FactoryReset);
    case IVisitRecorder::ChangeKind::Clock:
        return QString::fromLatin1(::ChangeKind::Clock);
    case IVisitRecorder::ChangeKind::SignalReadings:
        return QString::fromLatin1(::ChangeKind::Signal);
    }
    return {};
}

}  // namespace

CVisitRecorder::CVisitRecorder(QString location, QString port, LogLine log, RecordTiming timing, QString outboxPath)
    : m_outboxPath(outboxPath.isEmpty() ? CRecordOutbox::DefaultPath() : std::move(outboxPath)),
      m_writer(location, m_outboxPath, timing),
      m_port(CanonicalPort(port)),
      m_location(std::move(location)),
      m_log(std::move(log))
{
    m_writer.SetLog(m_log);
}

CVisitRecorder::~CVisitRecorder() = default;

int CVisitRecorder::Close(std::chrono::steady_clock::time_point deadline)
{
    return m_writer.Close(deadline);
}

void CVisitRecorder::SetTriggerNames(QString entry, QString verify)
{
    std::lock_guard guard(m_lock);
    m_entryTrigger = std::move(entry);
    m_verifyTrigger = std::move(verify);
}

void CVisitRecorder::SetLocation(QString location)
{
    {
        std::lock_guard guard(m_lock);
        m_location = location;
    }
    m_writer.SetLocation(std::move(location));
}

void CVisitRecorder::SetPort(QString port)
{
    const QString canonical = CanonicalPort(port);
    std::lock_guard guard(m_lock);
    m_port = canonical;
}

void CVisitRecorder::SetFailureLog(LogLine failure)
{
    m_writer.SetLog(m_log, std::move(failure));
}

void CVisitRecorder::SetProgress(std::function<void()> progress)
{
    m_writer.SetNotify(std::move(progress));
}

void CVisitRecorder::Wake()
{
    m_writer.Wake();
}

QString CVisitRecorder::CurrentVisit() const
{
    std::lock_guard guard(m_lock);
    return m_visitUid;
}

QString CVisitRecorder::Target() const
{
    std::lock_guard guard(m_lock);
    return CRecordOutbox::TargetOf(m_location);
}

QString CVisitRecorder::UserName()
{
    QString user = qEnvironmentVariable("USER");
    if (user.isEmpty())
        user = qEnvironmentVariable("USERNAME");
#if defined(Q_OS_UNIX)
    if (user.isEmpty()) {
        // Services and cron jobs often run without $USER.
        if (const passwd* account = ::getpwuid(::geteuid()))
            user = QString::fromLocal8Bit(account->pw_name);
    }
#endif
    return user;
}

QString CVisitRecorder::CanonicalPort(const QString& port)
{
    // A symlink (/dev/serial/by-id/...) or a roundabout path names the
    // device it resolves to; a name that is no path (COM3) stays as it is.
    if (port.isEmpty() || !port.contains(QLatin1Char('/')))
        return port;
    const QString canonical = QFileInfo(port).canonicalFilePath();
    return canonical.isEmpty() ? port : canonical;
}

RecordEvent CVisitRecorder::Step(RecordEvent::Type type, qint64 atMs) const
{
    RecordEvent event;
    event.type = type;
    event.uid = NewRecordUid();
    event.atMs = atMs;
    const QString user = UserName();
    std::lock_guard guard(m_lock);
    event.visitUid = m_visitUid;
    event.context = {m_port, QSysInfo::machineHostName(), user};
    return event;
}

void CVisitRecorder::ModuleReplied(const QByteArray& reply)
{
    m_module = GbkToUnicode(reply).trimmed();
}

void CVisitRecorder::ReportRead(ReportTrigger trigger, const QByteArray& report)
{
    QString triggerName;
    {
        std::lock_guard guard(m_lock);
        // A terminal caught begins a visit; so does a report before any.
        if (trigger == ReportTrigger::Entry || m_visitUid.isEmpty())
            m_visitUid = NewRecordUid();
        switch (trigger) {
        case ReportTrigger::Entry:
            triggerName = m_entryTrigger;
            break;
        case ReportTrigger::ReadBack:
            triggerName = QString::fromLatin1(RecordTrigger::ReadBack);
            break;
        case ReportTrigger::Verify:
            triggerName = m_verifyTrigger;
            break;
        }
    }
    if (trigger == ReportTrigger::Entry) {
        m_deviceKey.clear();
        m_keyBeforeRename.clear();
        m_changeUid.clear();
    }
    DeviceKeyKind kind = DeviceKeyKind::None;
    const QString key = CRecordStore::DeviceKeyOf(report, &kind, nullptr);
    RecordEvent event = Step(RecordEvent::Type::Report, QDateTime::currentMSecsSinceEpoch());
    event.trigger = triggerName;
    event.report = report;
    event.module = m_module;
    // The read-back after a save shows another ID: the save renamed the
    // terminal.
    if (trigger == ReportTrigger::Verify && !m_deviceKey.isEmpty() && key != m_deviceKey) {
        event.renamedFrom = m_deviceKey;
        m_keyBeforeRename = m_deviceKey;
    }
    m_deviceKey = key;
    {
        std::lock_guard guard(m_lock);
        m_visitDeviceKey = key;
    }
    m_writer.Enqueue(std::move(event));
}

void CVisitRecorder::ProfileChecked(const RecordedProfileCheck& check)
{
    RecordEvent event = Step(RecordEvent::Type::ProfileCheck, QDateTime::currentMSecsSinceEpoch());
    {
        std::lock_guard guard(m_lock);
        event.deviceKey = m_visitDeviceKey;
    }
    if (event.visitUid.isEmpty() || event.deviceKey.isEmpty())
        return;  // no terminal to belong to
    event.check = check;
    m_writer.Enqueue(std::move(event));
}

void CVisitRecorder::BeginChange(ChangeKind kind, qint64 startedMs, const QString& deviceKey)
{
    m_changeUid = NewRecordUid();
    m_itemsSent = 0;
    RecordEvent event = Step(RecordEvent::Type::ChangeBegun, startedMs);
    event.changeUid = m_changeUid;
    event.deviceKey = deviceKey;
    event.kind = KindText(kind);
    m_writer.Enqueue(std::move(event));
}

void CVisitRecorder::ChangeBegun(ChangeKind kind, qint64 startedMs)
{
    // A change begun and never done stays in the record as unfinished.
    m_changeUid.clear();
    m_keyBeforeRename.clear();
    m_changeWithoutTerminal = m_deviceKey.isEmpty();
    if (m_changeWithoutTerminal)
        return;  // no terminal to belong to
    BeginChange(kind, startedMs, m_deviceKey);
}

void CVisitRecorder::ChangeItemSent(const SentItem& item)
{
    if (m_changeUid.isEmpty())
        return;
    RecordEvent event = Step(RecordEvent::Type::ChangeItem, QDateTime::currentMSecsSinceEpoch());
    event.changeUid = m_changeUid;
    event.seq = ++m_itemsSent;
    event.item = {item.item, item.oldValue, item.newValue, item.acknowledged};
    m_writer.Enqueue(std::move(event));
}

void CVisitRecorder::ChangeDone(const Change& change)
{
    if (m_changeUid.isEmpty()) {
        if (std::exchange(m_changeWithoutTerminal, false) || m_deviceKey.isEmpty())
            return;  // a change before any report has no terminal to belong to
        // Recorded whole: on the terminal it was made on, also when its
        // verification (a save's) showed a new ID.
        BeginChange(change.kind, change.startedMs, m_keyBeforeRename.isEmpty() ? m_deviceKey : m_keyBeforeRename);
    }
    for (std::size_t i = static_cast<std::size_t>(m_itemsSent); i < change.items.size(); ++i)
        ChangeItemSent(change.items[i]);
    RecordEvent event = Step(RecordEvent::Type::ChangeDone, QDateTime::currentMSecsSinceEpoch());
    event.changeUid = std::exchange(m_changeUid, QString());
    event.result = QString::fromUtf8(change.succeeded ? ChangeResult::Succeeded : ChangeResult::Failed);
    event.verify = change.verify;
    m_keyBeforeRename.clear();
    m_writer.Enqueue(std::move(event));
}

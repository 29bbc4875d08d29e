#include "device/CDeviceQueries.h"

#include "device/CDeviceController.h"
#include "device/IDeviceView.h"
#include "params/ParameterReport.h"

#include <QTimer>

namespace {

const QByteArray kReadBackCommand = QByteArrayLiteral("AT+SHOW\r");

}  // namespace

CDeviceQueries::CDeviceQueries(CDeviceController& device)
    : m_device(device)
{
}

// ---------------------------------------------------------------- UI thread

void CDeviceQueries::QueueOrRelease(int code, const QByteArray& command, const char* failure)
{
    m_device.View().SetBusy(true);
    if (!m_device.PostTask(code, command)) {
        m_device.View().SetBusy(false);
        m_device.PostLog(QString::fromUtf8(failure));
    }
}

void CDeviceQueries::RequestReadBack()
{
    m_device.View().SetBusy(true);
    if (!m_device.PostTask(TaskCode::ReadBack, kReadBackCommand)) {
        m_device.View().SetBusy(false);
        m_device.PostLog(QStringLiteral("参数加载失败"));
        return;
    }
    m_device.PostLog(QStringLiteral("参数回读中，请等待..."));
}

void CDeviceQueries::RequestFactoryReset()
{
    QueueOrRelease(TaskCode::FactoryReset, {}, "恢复出厂设置失败");
}

void CDeviceQueries::RequestVersion()
{
    QueueOrRelease(TaskCode::QueryVersion, {}, "版本查询失败");
}

void CDeviceQueries::RequestStatusProbe()
{
    m_device.View().SetBusy(true);
    // The button waits a moment before it asks; a timer keeps the window
    // responsive meanwhile.
    QTimer::singleShot(m_device.timing().statusButtonDelayMs, &m_device, [this] {
        if (!m_device.PostTask(TaskCode::StatusProbe)) {
            m_device.View().SetBusy(false);
            m_device.PostLog(QStringLiteral("自动监测失败"));
        }
    });
}

void CDeviceQueries::RequestReadClock()
{
    QueueOrRelease(TaskCode::ReadClock, {}, "读取RTC时间失败");
}

void CDeviceQueries::RequestSetClock(const QByteArray& command)
{
    QueueOrRelease(TaskCode::SetClock, command, "设置系统时间失败");
}

int CDeviceQueries::DayOfWeek(const QDate& date)
{
    return date.dayOfWeek() % 7;
}

QByteArray CDeviceQueries::SystemClockCommand(const QDateTime& now)
{
    const QDate date = now.date();
    const QTime time = now.time();
    const QString value =
        QString::asprintf("\"%d/%02d/%02d,%02d:%02d:%02d\",%d", date.year(), date.month(), date.day(), time.hour(),
                          time.minute(), time.second(), DayOfWeek(date));
    return "AT+EXCCLK=" + value.toLatin1() + "\r";
}

QByteArray CDeviceQueries::ManualClockCommand(const QString& dateText, const QString& timeText)
{
    // Year, month and day are the numbers around the two slashes of the
    // picker's text.
    const QStringList parts = dateText.split(QLatin1Char('/'));
    const int year = parts.value(0).toInt();
    const int month = parts.value(1).toInt();
    const int day = parts.value(2).toInt();
    const QDate date(year, month, day);
    const QString value = QStringLiteral("\"%1,%2\",%3").arg(dateText, timeText).arg(DayOfWeek(date));
    return "AT+EXCCLK=" + value.toLatin1() + "\r";
}

// ---------------------------------------------------------------- worker

void CDeviceQueries::ReadBack(const DeviceTask& task)
{
    const bool replied = m_device.ExchangeCommand(ReplyChannel::FullReport, task.command, m_device.timing().queryReplyMs);
    const QByteArray reply = m_device.ReceivedText();
    if (!replied) {
        if (!reply.isEmpty())
            m_device.PostLogBytes(reply);
        m_device.PostLog(QStringLiteral("参数加载失败"));
        return;
    }
    bool parsed = false;
    {
        std::lock_guard guard(m_device.ParamLock());
        parsed = ParseParameterReport(reply.constData(), static_cast<std::size_t>(reply.size()), m_device.Params());
    }
    m_device.RecordReport(IVisitRecorder::ReportTrigger::ReadBack, m_device.ReceivedReport());
    if (parsed) {
        m_device.ShowParameterSet(m_device.Params(), true);
        m_device.PostLogBytes(reply);
        m_device.PostRefusedListNumbers(reply);
        m_device.PostLog(QStringLiteral("参数加载完成..."));
    } else {
        m_device.PostLogBytes(reply);
        m_device.PostLog(QStringLiteral("参数加载存在错误的参数..."));
    }
}

void CDeviceQueries::FactoryReset()
{
    if (!m_device.ExchangeCommand(ReplyChannel::AnyOk, "AT+FACTORY\r", m_device.timing().queryReplyMs)) {
        m_device.PostLog(QStringLiteral("AT+FACTORY"));
        m_device.PostLog(QStringLiteral("恢复出厂设置失败"));
        RecordFactoryReset(false);
        return;
    }
    m_device.PostLog(QStringLiteral("AT+FACTORY"));
    m_device.PostLog(QStringLiteral("恢复出厂设置成功"));
    RecordFactoryReset(true);
    // Show the terminal's new values at once.
    if (m_device.PostTask(TaskCode::ReadBack, kReadBackCommand))
        m_device.PostLog(QStringLiteral("参数重新加载中，请等待..."));
    else
        m_device.PostLog(QStringLiteral("参数加载失败"));
}

void CDeviceQueries::RecordFactoryReset(bool succeeded)
{
    IVisitRecorder::Change change;
    change.kind = IVisitRecorder::ChangeKind::FactoryReset;
    change.items.push_back({QStringLiteral("AT+FACTORY"), QString(), QString(), succeeded});
    change.succeeded = succeeded;
    change.startedMs = QDateTime::currentMSecsSinceEpoch();
    m_device.RecordChange(change);
}

void CDeviceQueries::QueryVersion()
{
    if (m_device.ExchangeCommand(ReplyChannel::AnyOk, "AT+VER\r", m_device.timing().queryReplyMs)) {
        m_device.PostLogBytes(m_device.ReceivedText());
        m_device.PostLog(QStringLiteral("读取版本成功"));
    } else {
        m_device.PostLog(QStringLiteral("读取版本失败"));
    }
}

void CDeviceQueries::StatusProbe()
{
    const int limit = m_device.timing().queryReplyMs;
    if (m_device.ExchangeCommand(ReplyChannel::AnyOk, "AT+CPIN?\r", limit))
        m_device.PostLogBytes(m_device.ReceivedText());
    else
        m_device.PostLog(QStringLiteral("读取卡状态失败"));
    m_device.Pause(m_device.timing().statusQueryPauseMs);

    if (m_device.ExchangeCommand(ReplyChannel::AnyOk, "at+csq\r", limit)) {
        m_device.PostLogBytes(m_device.ReceivedText());
        m_device.PostLog(QStringLiteral("读取信号成功"));
    } else {
        m_device.PostLog(QStringLiteral("读取信号失败"));
    }
    m_device.Pause(m_device.timing().statusQueryPauseMs);

    if (m_device.ExchangeCommand(ReplyChannel::AnyOk, "at+ipr?\r", limit)) {
        m_device.PostLogBytes(m_device.ReceivedText());
        m_device.PostLog(QStringLiteral("读取波特率成功"));
    } else {
        m_device.PostLog(QStringLiteral("读取波特率失败"));
    }
}

void CDeviceQueries::ReadClock()
{
    // Two carriage returns, as the terminal expects for this query.
    if (m_device.ExchangeCommand(ReplyChannel::AnyOk, "AT+EXCCLK?\r\r", m_device.timing().queryReplyMs)) {
        m_device.PostLogBytes(m_device.ReceivedText());
        m_device.PostLog(QStringLiteral("读取RTC时间成功"));
    } else {
        m_device.PostLog(QStringLiteral("读取RTC时间失败"));
    }
}

void CDeviceQueries::SetClock(const DeviceTask& task)
{
    const bool replied = m_device.ExchangeCommand(ReplyChannel::AnyOk, task.command, m_device.timing().queryReplyMs);
    m_device.PostLogBytes(task.command);
    m_device.PostLog(replied ? QStringLiteral("设置RTC时间成功") : QStringLiteral("设置RTC时间失败"));
    IVisitRecorder::Change change;
    change.kind = IVisitRecorder::ChangeKind::Clock;
    change.items.push_back({QStringLiteral("RTC"), QString(), QString::fromLatin1(task.command.trimmed()), replied});
    change.succeeded = replied;
    change.startedMs = QDateTime::currentMSecsSinceEpoch();
    m_device.RecordChange(change);
}

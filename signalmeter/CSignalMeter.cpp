#include "signalmeter/CSignalMeter.h"

#include "device/CDeviceController.h"
#include "device/IDeviceView.h"

#include <algorithm>
#include <chrono>

namespace {

const QByteArray kSignalQuery = QByteArrayLiteral("at+csq\r");
// How often a wait between queries looks whether the program is closing.
constexpr int kShutdownCheckMs = 50;

QString SecondsText(int ms)
{
    return QString::number(ms / 1000.0, 'f', 1);
}

}  // namespace

CSignalMeter::CSignalMeter(CDeviceController& device, QObject* parent)
    : QObject(parent), m_device(device)
{
    // As configured: tests may shorten it; what the technician sets is kept
    // within the meter's range.
    m_intervalMs = device.timing().signalMeterIntervalMs;
    m_device.RegisterTask(TaskCode::SignalMeter, [this](DeviceTask& task) { Run(task); });
}

CSignalMeter::~CSignalMeter()
{
    // The worker is stopped by the controller's owner before this goes.
    Stop();
}

// ---------------------------------------------------------------- UI thread

bool CSignalMeter::Start()
{
    if (m_running)
        return true;
    if (!m_device.IsPortOpen()) {
        m_device.PostLog(QStringLiteral("信号监测失败：串口未打开"));
        return false;
    }
    {
        std::lock_guard guard(m_stopLock);
        m_stopRequested = false;
    }
    m_session.Start(QDateTime::currentDateTime());
    m_endedEarly = false;
    m_running = true;
    m_device.View().SetBusy(true);
    if (!m_device.PostTask(TaskCode::SignalMeter)) {
        m_running = false;
        m_device.View().SetBusy(false);
        m_device.PostLog(QStringLiteral("信号监测失败"));
        return false;
    }
    m_device.PostLog(QStringLiteral("信号监测开始，每 %1 秒查询一次信号").arg(SecondsText(m_intervalMs)));
    return true;
}

void CSignalMeter::Stop()
{
    {
        std::lock_guard guard(m_stopLock);
        m_stopRequested = true;
    }
    m_stopSignal.notify_all();
}

void CSignalMeter::SetIntervalMs(int ms)
{
    m_intervalMs = std::clamp(ms, kShortestIntervalMs, kLongestIntervalMs);
    // A long wait under way gives way to the new interval.
    m_stopSignal.notify_all();
}

// ---------------------------------------------------------------- worker

bool CSignalMeter::ShouldStop() const
{
    return m_device.IsShuttingDown() || !m_device.IsPortOpen();
}

bool CSignalMeter::WaitForNextQuery(int elapsedMs)
{
    using Clock = std::chrono::steady_clock;
    const auto since = Clock::now() - std::chrono::milliseconds(elapsedMs);
    std::unique_lock guard(m_stopLock);
    while (!m_stopRequested && !ShouldStop()) {
        const auto due = since + std::chrono::milliseconds(m_intervalMs.load());
        const auto now = Clock::now();
        if (now >= due)
            return true;
        const auto slice = std::min<Clock::duration>(due - now, std::chrono::milliseconds(kShutdownCheckMs));
        m_stopSignal.wait_for(guard, slice);
    }
    return false;
}

void CSignalMeter::Run(const DeviceTask&)
{
    using Clock = std::chrono::steady_clock;
    const int limit = m_device.timing().queryReplyMs;
    // The worker's own copy, for the service record.
    SignalSession run;
    run.Start(QDateTime::currentDateTime());
    const auto began = Clock::now();
    for (;;) {
        {
            std::lock_guard guard(m_stopLock);
            if (m_stopRequested || ShouldStop())
                break;
        }
        const auto asked = Clock::now();
        const bool replied = m_device.ExchangeCommand(ReplyChannel::AnyOk, kSignalQuery, limit);
        // A port that went away takes no reading: the loss has its own line.
        if (ShouldStop())
            break;
        const SignalReading reading = replied ? ParseSignalReply(m_device.ReceivedText()) : MissedSignalReading();
        // In UTC: a reading's time is only compared and placed on the chart,
        // and a local time would have the two threads convert it at once
        // through the C library's time-zone state, which is not theirs to share.
        const QDateTime at = QDateTime::currentDateTimeUtc();
        run.Add(at, reading);
        m_device.PostToUi([this, at, reading] {
            m_session.Add(at, reading);
            emit readingTaken(reading);
        });
        const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - asked);
        if (!WaitForNextQuery(static_cast<int>(elapsed.count())))
            break;
    }
    run.Finish(QDateTime::currentDateTime());
    const qint64 ranMs = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - began).count();
    // The port went away under the run (a stop asked for at the same time,
    // as a lost port brings, does not make the run whole).
    const bool endedEarly = !m_device.IsPortOpen();
    Record(run, ranMs, endedEarly);
    m_device.PostToUi([this, ranMs, endedEarly] {
        m_session.Finish(QDateTime::currentDateTime());
        m_running = false;
        m_endedEarly = endedEarly;
        const QString figures = FiguresText(m_session.FiguresOfRun());
        m_device.PostLog(endedEarly ? QStringLiteral("信号监测提前结束（串口已断开，运行 %1）：%2").arg(DurationText(ranMs), figures)
                                    : QStringLiteral("信号监测结束：") + figures);
        emit finished();
    });
}

QString CSignalMeter::DurationText(qint64 ms)
{
    if (ms < 60'000)
        return QStringLiteral("%1 秒").arg(QString::number(ms / 100 / 10.0, 'f', 1));
    const qint64 seconds = ms / 1000;
    const auto twoDigits = [](qint64 n) { return QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0')); };
    if (seconds < 3600)
        return QStringLiteral("%1 分 %2 秒").arg(seconds / 60).arg(twoDigits(seconds % 60));
    return QStringLiteral("%1 小时 %2 分 %3 秒").arg(seconds / 3600).arg(twoDigits(seconds / 60 % 60), twoDigits(seconds % 60));
}

void CSignalMeter::Record(const SignalSession& run, qint64 ranMs, bool endedEarly)
{
    // A run that asked nothing (the port went at once) has nothing to keep.
    const SignalSession::Figures figures = run.FiguresOfRun();
    if (figures.samples == 0)
        return;
    const auto level = [](const std::optional<int>& rssi) {
        return rssi ? QStringLiteral("%1 (%2)").arg(*rssi).arg(SignalDbmText(*rssi)) : QStringLiteral("-");
    };
    const auto time = [](const QDateTime& at) { return at.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")); };
    IVisitRecorder::Change change;
    change.kind = IVisitRecorder::ChangeKind::SignalReadings;
    change.items = {
        {QStringLiteral("开始"), QString(), time(run.Started()), true},
        {QStringLiteral("结束"), QString(), time(run.Finished()), true},
        {QStringLiteral("读数"), QString(), QString::number(figures.samples), true},
        {QStringLiteral("最小"), QString(), level(figures.minimum), true},
        {QStringLiteral("最大"), QString(), level(figures.maximum), true},
        {QStringLiteral("平均"), QString(),
         figures.average ? QString::number(*figures.average, 'f', 1) : QStringLiteral("-"), true},
        {QStringLiteral("未知"), QString(), QString::number(figures.unknown), true},
        {QStringLiteral("无法识别"), QString(), QString::number(figures.notUnderstood), true},
        {QStringLiteral("未应答"), QString(), QString::number(figures.missed), true},
        {QStringLiteral("时长"), QString(), DurationText(ranMs), true},
    };
    if (endedEarly)
        change.items.push_back({QStringLiteral("提前结束"), QString(), QStringLiteral("串口已断开"), true});
    change.succeeded = !endedEarly && figures.values > 0;
    change.startedMs = run.Started().toMSecsSinceEpoch();
    m_device.RecordChange(change);
}

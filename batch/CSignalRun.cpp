#include "batch/CSignalRun.h"

#include "device/CDeviceController.h"
#include "records/CVisitRecorder.h"
#include "serial/PortTable.h"
#include "signalmeter/CSignalMeter.h"

#include <QCoreApplication>

CSignalRun::CSignalRun(const CommandLine& command, const Timing& timing, std::FILE* out, std::FILE* err)
    : m_command(command), m_console(out, err)
{
    Timing adjusted = timing;
    adjusted.signalMeterIntervalMs = command.signalIntervalMs;
    m_device = std::make_unique<CDeviceController>(m_console, adjusted);
    if (command.record) {
        // The run's figures go into the terminal's service record.
        CDeviceController* device = m_device.get();
        m_device->SetRecorder(std::make_shared<CVisitRecorder>(command.database, command.ports.value(0),
                                                               [device](const QString& line) { device->PostLog(line); }));
    }
    m_meter = std::make_unique<CSignalMeter>(*m_device);
    connect(m_device.get(), &CDeviceController::taskFinished, this, &CSignalRun::OnTaskFinished);
    connect(m_device.get(), &CDeviceController::portLost, this, [this] { m_meter->Stop(); });
    connect(m_meter.get(), &CSignalMeter::readingTaken, this, &CSignalRun::OnReading);
    connect(m_meter.get(), &CSignalMeter::finished, this, &CSignalRun::OnMeterFinished);
    m_powerOnTimer.setSingleShot(true);
    connect(&m_powerOnTimer, &QTimer::timeout, this, [this] {
        m_console.AppendLog(QStringLiteral("等待设备上电超时（%1 秒）").arg(m_command.powerOnTimeoutSeconds));
        Finish(1);
    });
    m_durationTimer.setSingleShot(true);
    connect(&m_durationTimer, &QTimer::timeout, this, [this] { m_meter->Stop(); });
}

CSignalRun::~CSignalRun()
{
    // The worker goes before the meter whose task it runs.
    m_device->Shutdown();
}

int CSignalRun::Run()
{
    m_device->Start();
    const QString path = m_command.ports.value(0);
    const int portNumber = PortTable::Instance().Add(path);
    if (portNumber == 0 || !m_device->OpenPort(portNumber, m_command.baudRate)) {
        // The controller logged why.
        QCoreApplication::processEvents();
        return 1;
    }
    m_device->SetConfigurationMode(true);
    m_mark = static_cast<int>(m_console.LogLines().size());
    m_device->OnPortOpened();
    m_powerOnTimer.start(m_command.powerOnTimeoutSeconds * 1000);
    QCoreApplication::exec();
    return m_status;
}

void CSignalRun::OnTaskFinished(int code)
{
    if (m_done || code != TaskCode::EnterConfiguration)
        return;
    m_powerOnTimer.stop();
    const QStringList log = m_console.LogLines().mid(m_mark);
    if (!log.contains(QStringLiteral("参数加载完成..."))) {
        Finish(1);
        return;
    }
    if (!m_meter->Start()) {
        Finish(1);
        return;
    }
    m_durationTimer.start(m_command.signalSeconds * 1000);
}

QString CSignalRun::ReadingLine(const QDateTime& time, const SignalReading& reading)
{
    const QString stamp = time.toString(QStringLiteral("HH:mm:ss"));
    switch (reading.kind) {
    case SignalReading::Kind::Value: {
        QString line = QStringLiteral("%1  CSQ %2  %3  %4")
                           .arg(stamp)
                           .arg(reading.rssi)
                           .arg(SignalDbmText(reading.rssi), BandName(BandOf(reading.rssi)));
        if (reading.HasBitError())
            line += QStringLiteral("  误码 %1").arg(reading.bitError);
        return line;
    }
    case SignalReading::Kind::Unknown:
        return QStringLiteral("%1  CSQ 未知 (99)").arg(stamp);
    case SignalReading::Kind::NotUnderstood:
        return QStringLiteral("%1  无法识别的回复：%2").arg(stamp, QString::fromLatin1(reading.raw).simplified());
    case SignalReading::Kind::Missed:
        break;
    }
    return QStringLiteral("%1  未应答").arg(stamp);
}

void CSignalRun::OnReading(const SignalReading& reading)
{
    m_console.PrintLine(ReadingLine(QDateTime::currentDateTime(), reading));
}

void CSignalRun::OnMeterFinished()
{
    // The meter logged its summary line; a run that went its whole time and
    // read a level at least once is a successful one.
    Finish(!m_meter->EndedEarly() && m_meter->Session().FiguresOfRun().values > 0 ? 0 : 1);
}

void CSignalRun::Finish(int status)
{
    if (m_done)
        return;
    m_done = true;
    m_status = status;
    m_device->ClosePort();
    QCoreApplication::exit(status);
}

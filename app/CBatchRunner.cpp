#include "app/CBatchRunner.h"

#include "device/CDeviceController.h"
#include "device/CModeSwitcher.h"
#include "params/CConfigFile.h"
#include "params/CParameterSaver.h"
#include "serial/PortTable.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>

#include <csignal>

CBatchRunner::CBatchRunner(const CommandLine& command, const Timing& timing, CBatchConsole* console)
    : m_command(command)
{
    if (!console) {
        m_ownConsole = std::make_unique<CBatchConsole>();
        console = m_ownConsole.get();
    }
    m_console = console;
    m_device = std::make_unique<CDeviceController>(*m_console, timing);
    m_saver = std::make_unique<CParameterSaver>(*m_device);
    m_configFile = std::make_unique<CConfigFile>(*m_device);
    connect(m_device.get(), &CDeviceController::taskFinished, this, &CBatchRunner::OnTaskFinished);
    connect(m_device.get(), &CDeviceController::portLost, this, &CBatchRunner::OnPortLost);
    m_powerOnTimer.setSingleShot(true);
    connect(&m_powerOnTimer, &QTimer::timeout, this, &CBatchRunner::OnPowerOnTimeout);
    connect(&m_signals, &CSignalWatcher::terminationRequested, this, &CBatchRunner::OnTerminationRequested);
}

CBatchRunner::~CBatchRunner()
{
    m_device->Shutdown();
}

bool CBatchRunner::CheckFileFirst()
{
    // A technician power-cycles the terminal only for a run that can end
    // well: the file is read and checked, or the target tried, first.
    if (m_command.mode == CommandLine::Mode::Read) {
        QString why;
        if (CConfigFile::CanWriteFile(m_command.file, &why))
            return true;
        m_device->PostLog(QStringLiteral("无法写入配置文件“%1”：%2").arg(m_command.file, why));
        m_device->PostLog(QStringLiteral("保存到文件失败"));
        return false;
    }
    QFile file(m_command.file);
    if (!file.open(QIODevice::ReadOnly)) {
        m_device->PostLog(QStringLiteral("打开文件失败"));
        return false;
    }
    const QByteArray text = CConfigFile::FromFileText(file.read(CConfigFile::kMaxFileBytes));
    if (const std::optional<SaveRefusal> refusal = CheckConfigFileText(text)) {
        m_device->PostLog(refusal->text);
        // A file that does not parse says so in the load's own words.
        if (refusal->text != QStringLiteral("参数加载失败"))
            m_device->PostLog(QStringLiteral("从文件配置失败"));
        return false;
    }
    return true;
}

void CBatchRunner::OnTerminationRequested(int signalNumber)
{
    if (m_finished)
        return;
    // The port first, so the terminal is free at once; then the worker.
    m_device->ClosePort();
    m_device->Shutdown();
    const char* name = signalNumber == SIGINT ? "SIGINT" : signalNumber == SIGTERM ? "SIGTERM" : "";
    m_console->AppendLog(QStringLiteral("操作已中断（收到%1信号），串口已关闭").arg(QString::fromLatin1(name)));
    Finish(CSignalWatcher::ExitStatusFor(signalNumber));
}

int CBatchRunner::Run()
{
    m_device->Start();
    if (!CheckFileFirst()) {
        QCoreApplication::processEvents();
        return 1;
    }
    const int portNumber = PortTable::Instance().Add(m_command.ports.value(0));
    if (portNumber == 0 || !m_device->OpenPort(portNumber, m_command.baudRate)) {
        QCoreApplication::processEvents();
        return 1;
    }
    m_device->SetConfigurationMode(true);
    m_device->OnPortOpened();
    m_powerOnTimer.start(m_command.powerOnTimeoutSeconds * 1000);

    while (!m_finished)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    // Lines still queued for the console are printed before leaving.
    QCoreApplication::processEvents();
    return m_status;
}

bool CBatchRunner::LoggedSince(int mark, const QString& line) const
{
    const QStringList& log = m_console->LogLines();
    for (int i = mark; i < log.size(); ++i) {
        if (log[i] == line)
            return true;
    }
    return false;
}

void CBatchRunner::OnTaskFinished(int code)
{
    if (m_finished)
        return;
    switch (code) {
    case TaskCode::EnterConfiguration:
        m_powerOnTimer.stop();
        if (!LoggedSince(0, QStringLiteral("参数加载完成..."))) {
            Finish(1);
            return;
        }
        m_operationMark = m_console->LogLines().size();
        m_device->PostTask(m_command.mode == CommandLine::Mode::Read ? TaskCode::SaveConfigFile
                                                                     : TaskCode::LoadConfigFile,
                           QFile::encodeName(m_command.file));
        return;
    case TaskCode::SaveConfigFile:
        Finish(LoggedSince(m_operationMark, QStringLiteral("参数保存到文件成功...")) ? 0 : 1);
        return;
    case TaskCode::LoadConfigFile:
        // Success goes on with the save of all parameters it queued.
        if (!LoggedSince(m_operationMark, QStringLiteral("参数保存中，请等待...")))
            Finish(1);
        return;
    case TaskCode::SaveAll:
        Finish(LoggedSince(m_operationMark, QStringLiteral("参数设置完成")) ? 0 : 1);
        return;
    default:
        return;
    }
}

void CBatchRunner::OnPowerOnTimeout()
{
    if (m_finished || !m_device->IsPowerOnPolling())
        return;
    m_device->PostLog(QStringLiteral("等待设备上电超时（%1 秒），请检查连接和电源后重试").arg(m_command.powerOnTimeoutSeconds));
    // Ends the waiting entry as choosing communication mode would.
    m_device->SetConfigurationMode(false);
    m_device->Reply().SetEvent();
    Finish(1);
}

void CBatchRunner::OnPortLost()
{
    Finish(1);
}

void CBatchRunner::Finish(int status)
{
    if (m_finished)
        return;
    m_finished = true;
    m_status = status;
}

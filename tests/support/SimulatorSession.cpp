#include "support/SimulatorSession.h"

#include "serial/PortTable.h"

namespace testsupport {

SimulatorSession::SimulatorSession(SimulatorOptions options)
    : m_sim(std::make_unique<TerminalSimulator>(std::move(options)))
{
    m_started = m_sim->Start();
    if (m_started)
        m_portNumber = PortTable::Instance().Add(DevicePath(), QStringLiteral("terminal simulator"));
}

SimulatorSession::~SimulatorSession()
{
    m_sim->Stop();
}

SimulatorOptions SimulatorSession::FastOptions()
{
    SimulatorOptions options;
    options.bootWindowMs = 1500;
    options.powerOnDelayMs = 30;
    options.restartDelayMs = 30;
    options.peerPollMs = 5;
    return options;
}

QString SimulatorSession::DevicePath() const
{
    return QString::fromStdString(m_sim->DevicePath());
}

}  // namespace testsupport

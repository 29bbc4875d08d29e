#include "app/CPortReconnect.h"

#include "app/CPortList.h"
#include "device/CDeviceController.h"
#include "resources/Texts.h"
#include "serial/PortTable.h"

#include <QCheckBox>

#include <utility>

CPortReconnect::CPortReconnect(CDeviceController& device, CPortList& ports, QCheckBox& enabled, int pollMs,
                               Hooks hooks, QObject* parent)
    : QObject(parent), m_device(device), m_ports(ports), m_enabled(enabled), m_hooks(std::move(hooks))
{
    m_timer.setInterval(pollMs);
    connect(&m_device, &CDeviceController::portLost, this, &CPortReconnect::OnPortLost);
    connect(&m_enabled, &QCheckBox::toggled, this, &CPortReconnect::OnToggled);
    connect(&m_timer, &QTimer::timeout, this, &CPortReconnect::OnTick);
}

void CPortReconnect::Remember(int portNumber, int baudRate)
{
    m_lastOpened = {portNumber, PortTable::Instance().DeviceFor(portNumber).value_or(QString()), baudRate};
}

void CPortReconnect::OnUserChoice()
{
    Stop();
    m_lostSinceOpen = false;
}

void CPortReconnect::OnPortLost()
{
    m_hooks.lost();
    m_lostSinceOpen = true;
    if (m_enabled.isChecked())
        Start();
}

void CPortReconnect::OnToggled(bool on)
{
    if (!on) {
        Stop();
        return;
    }
    // Turned on again while the lost port is still closed: look for it.
    if (m_lostSinceOpen && !m_device.IsPortOpen())
        Start();
}

void CPortReconnect::Start()
{
    if (m_lastOpened.number == 0 || m_lastOpened.device.isEmpty() || m_device.IsShuttingDown() || m_timer.isActive())
        return;
    m_reopenFailureLogged = false;
    m_device.PostLog(Texts::WaitingForPort(m_lastOpened.device));
    m_timer.start();
}

void CPortReconnect::Stop()
{
    m_timer.stop();
}

void CPortReconnect::OnTick()
{
    if (m_device.IsShuttingDown() || m_device.IsPortOpen() || !m_enabled.isChecked()) {
        Stop();
        return;
    }
    if (!m_ports.IsPresent(m_lastOpened.number, m_lastOpened.device)) {
        m_reopenFailureLogged = false;
        return;
    }
    // Quietly: the device may be listed a moment before it can be opened,
    // and the next look tries again.
    if (!m_device.Serial().Open(m_lastOpened.number, m_lastOpened.baudRate)) {
        if (!m_reopenFailureLogged) {
            m_reopenFailureLogged = true;
            m_device.PostLog(Texts::PortBackButNotOpened(m_lastOpened.device, m_device.Serial().LastError()));
        }
        return;
    }
    Stop();
    m_lostSinceOpen = false;
    m_ports.Select(m_lastOpened.number, m_lastOpened.baudRate);
    m_device.PostLog(Texts::PortReopened(m_lastOpened.device));
    m_hooks.reopened();
}

#pragma once

#include "sim/TerminalSimulator.h"

#include <QString>

#include <memory>

namespace testsupport {

// A terminal simulator on its own pseudo-terminal, with the boot window and
// delays cut down for tests, registered in the port table so the tool can
// open it by number like any serial port.
class SimulatorSession {
public:
    explicit SimulatorSession(SimulatorOptions options = FastOptions());
    ~SimulatorSession();

    static SimulatorOptions FastOptions();

    TerminalSimulator& sim() { return *m_sim; }
    QString DevicePath() const;
    // The port number the tool's port table gives the device.
    int PortNumber() const { return m_portNumber; }
    bool Started() const { return m_started; }

private:
    std::unique_ptr<TerminalSimulator> m_sim;
    int m_portNumber = 0;
    bool m_started = false;
};

}  // namespace testsupport

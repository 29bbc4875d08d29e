#pragma once

#include "device/CDeviceController.h"
#include "support/EventLoopWait.h"
#include "support/RecordingView.h"
#include "support/ShortTiming.h"
#include "support/SimulatorSession.h"

#include <gtest/gtest.h>

#include <memory>

// A device controller with a recording view, talking to a simulated
// terminal over its pseudo-terminal with shortened timings.
class DeviceSessionTest : public ::testing::Test {
protected:
    explicit DeviceSessionTest(SimulatorOptions options = testsupport::SimulatorSession::FastOptions())
        : m_session(std::move(options))
    {
    }

    void SetUp() override { ASSERT_TRUE(m_session.Started()); }

    // Builds and starts the controller (after a test adjusted m_timing).
    CDeviceController& Device()
    {
        if (!m_device) {
            m_device = std::make_unique<CDeviceController>(m_view, m_timing);
            m_device->Start();
        }
        return *m_device;
    }

    // Opens the port as the open button does, in configuration mode.
    bool OpenPort(int baudRate = 115200)
    {
        if (!Device().OpenPort(m_session.PortNumber(), baudRate))
            return false;
        m_view.SetBusy(true);
        Device().OnPortOpened();
        return true;
    }

    // Opens the port and waits until the terminal's parameters are loaded
    // and shown (the table is filled after the line is logged) and the
    // buttons are back.
    bool EnterConfiguration()
    {
        return OpenPort() && WaitForLog(QStringLiteral("参数加载完成...")) && WaitUntilIdle();
    }

    bool WaitForLog(const QString& line, std::chrono::milliseconds limit = std::chrono::seconds(15))
    {
        return testsupport::WaitUntil([&] { return m_view.logLines.contains(line); }, limit);
    }
    int CountLog(const QString& line) const { return m_view.logLines.count(line); }
    bool WaitUntilIdle(std::chrono::milliseconds limit = std::chrono::seconds(15))
    {
        return testsupport::WaitUntil([&] { return !m_view.busy; }, limit);
    }
    QString Log() const { return m_view.logLines.join(QStringLiteral("\n")); }
    // Log entries from `from` on.
    QStringList LogFrom(int from) const { return m_view.logLines.mid(from); }

    TerminalSimulator& Sim() { return m_session.sim(); }

    testsupport::SimulatorSession m_session;
    RecordingView m_view;
    Timing m_timing = testsupport::ShortTiming();
    std::unique_ptr<CDeviceController> m_device;
};

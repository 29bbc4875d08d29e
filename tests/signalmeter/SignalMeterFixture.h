#pragma once

#include "device/DeviceSessionFixture.h"
#include "signalmeter/CSignalMeter.h"

#include <memory>

// A signal meter on a controller that has caught a simulated terminal, with
// a short interval between queries.
class SignalMeterSessionTest : public DeviceSessionTest {
protected:
    void SetUp() override
    {
        DeviceSessionTest::SetUp();
        m_timing.signalMeterIntervalMs = 30;
        BeforeEntry();
        ASSERT_TRUE(EnterConfiguration()) << Log().toStdString();
        m_meter = std::make_unique<CSignalMeter>(Device());
        Sim().ClearLogs();
    }
    void TearDown() override
    {
        Device().Shutdown();  // the worker goes before the meter
        m_meter.reset();
    }
    // Runs before the terminal is caught (a recorder is attached before any task).
    virtual void BeforeEntry() {}
    // What the simulated modem reports from now on.
    void SetSignal(int rssi)
    {
        TerminalIdentity identity = Sim().Identity();
        identity.signalQuality = rssi;
        identity.signalAnswer = TerminalIdentity::SignalAnswer::Normal;
        Sim().SetIdentity(identity);
    }

    std::unique_ptr<CSignalMeter> m_meter;
};

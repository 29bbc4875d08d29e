#pragma once

#include "device/CDeviceController.h"
#include "numbers/CNumberCommands.h"
#include "support/EventLoopWait.h"
#include "support/RecordingRecorder.h"
#include "support/RecordingView.h"
#include "support/ShortTiming.h"
#include "support/SimulatorSession.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

// The number commands on a controller with a recording view, talking to a
// simulated terminal over its pseudo-terminal with shortened timings. The
// terminal starts with the lists a test gives it and is brought into
// configuration mode, which also fills the stored lists and the pages.
class NumberSessionTest : public ::testing::Test {
protected:
    using Strings = std::vector<std::string>;

    NumberSessionTest()
    {
        m_device.SetRecorder(m_recorder);
        m_device.Start();
    }
    ~NumberSessionTest() override
    {
        // The worker must be gone before the commands it runs.
        m_device.Shutdown();
    }

    bool EnterConfiguration(const Strings& admin = {}, const Strings& authorised = {}, const Strings& backup = {})
    {
        if (!m_session.Started())
            return false;
        Sim().ModifyParameters([&](TerminalParameters& params) {
            params.adminNumbers = admin;
            params.authorisedNumbers = authorised;
            params.backupNumbers = backup;
        });
        if (!m_device.OpenPort(m_session.PortNumber(), 115200))
            return false;
        m_view.SetBusy(true);
        m_device.OnPortOpened();
        if (!testsupport::WaitUntil([&] { return m_view.logLines.contains(QStringLiteral("参数加载完成...")); },
                                    std::chrono::seconds(15)))
            return false;
        if (!WaitUntilIdle())
            return false;
        Sim().ClearLogs();
        m_view.logLines.clear();
        m_view.busyChanges.clear();
        m_recorder->Clear();
        return true;
    }

    bool WaitUntilIdle()
    {
        return testsupport::WaitUntil([&] { return !m_view.busy; }, std::chrono::seconds(15));
    }
    // Runs one button's request and waits until its task has ended.
    bool Run(const std::function<void()>& request)
    {
        request();
        return WaitUntilIdle();
    }

    Strings Stored(int category)
    {
        std::lock_guard guard(m_device.ParamLock());
        return List(category).NonEmptyNumbers();
    }
    std::string Slot(int category, std::size_t index)
    {
        std::lock_guard guard(m_device.ParamLock());
        return List(category)[index].ToString();
    }
    NumberList& List(int category)
    {
        ParameterSet& params = m_device.Params();
        return category == 0 ? params.adminNumbers : category == 1 ? params.authorisedNumbers : params.backupNumbers;
    }
    Strings TerminalList(int category)
    {
        const TerminalParameters params = Sim().Parameters();
        return category == 0 ? params.adminNumbers : category == 1 ? params.authorisedNumbers : params.backupNumbers;
    }
    static QStringList Rows(const Strings& numbers)
    {
        QStringList rows;
        for (const std::string& number : numbers)
            rows << QString::fromStdString(number);
        return rows;
    }
    void SilenceCommands(const Strings& prefixes)
    {
        SimulatorFaults faults;
        faults.silentPrefixes = prefixes;
        Sim().SetFaults(faults);
    }

    TerminalSimulator& Sim() { return m_session.sim(); }
    Strings Commands() { return Sim().ReceivedCommands(); }
    QString Log() const { return m_view.logLines.join(QLatin1Char('\n')); }

    testsupport::SimulatorSession m_session;
    RecordingView m_view;
    std::shared_ptr<RecordingRecorder> m_recorder = std::make_shared<RecordingRecorder>();
    CDeviceController m_device{m_view, testsupport::ShortTiming()};
    CNumberCommands m_commands{m_device};
};

#pragma once

#include "app/CSirensetDlg.h"
#include "controls/MessageBoxes.h"
#include "support/EventLoopWait.h"
#include "support/ShortTiming.h"

#include <QPushButton>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

namespace testsupport {

// The main window with every log entry recorded, every message box and file
// dialog answered by `m_answer` (the default reply unless a test sets it)
// and recorded in `m_asked`, and its service record in a temporary folder.
class MainWindowFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_folder.isValid());
        MessageBoxes::SetHandler([this](const MessageBoxes::Request& request) {
            m_asked << request;
            return m_answer ? m_answer(request) : MessageBoxes::Reply{};
        });
    }
    void TearDown() override
    {
        m_window.reset();
        MessageBoxes::SetHandler({});
    }

    MainWindowOptions Options(const QStringList& ports)
    {
        MainWindowOptions options;
        options.extraPorts = ports;
        options.listSystemPorts = false;
        options.timing = ShortTiming();
        options.logObserver = [this](const QString& line) { m_log << line; };
        options.logFolder = m_folder.filePath(QStringLiteral("data"));
        options.recordDatabase = m_folder.filePath(QStringLiteral("records.sqlite"));
        return options;
    }

    CSirensetDlg& Open(const MainWindowOptions& options)
    {
        m_window = std::make_unique<CSirensetDlg>(options);
        m_window->show();
        return *m_window;
    }

    bool WaitForLog(const QString& line) { return WaitUntil([&] { return m_log.contains(line); }); }
    bool WaitForButtons()
    {
        return WaitUntil([&] { return m_window->CommandButtons().first()->isEnabled(); });
    }
    QString LogText() const { return m_log.join(QLatin1Char('\n')); }

    template <typename T>
    T* Find(const char* name) const
    {
        T* found = m_window->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }

    QTemporaryDir m_folder;
    QStringList m_log;
    QList<MessageBoxes::Request> m_asked;
    std::function<MessageBoxes::Reply(const MessageBoxes::Request&)> m_answer;
    std::unique_ptr<CSirensetDlg> m_window;
};

}  // namespace testsupport

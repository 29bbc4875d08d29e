#pragma once

#include "app/CBatchConsole.h"
#include "app/CSignalWatcher.h"
#include "app/CommandLine.h"
#include "device/Timing.h"

#include <QObject>
#include <QTimer>

#include <memory>

class CConfigFile;
class CDeviceController;
class CParameterSaver;

// Runs --read or --apply without a window: the same controller, tasks and
// log lines as the window, with a console for a view. Exit status 0 when the
// operation ended with its success line, 1 on any failure.
class CBatchRunner : public QObject {
    Q_OBJECT
public:
    explicit CBatchRunner(const CommandLine& command, const Timing& timing = Timing{}, CBatchConsole* console = nullptr);
    ~CBatchRunner() override;

    // Runs the event loop until the operation ends; returns the exit status.
    int Run();

private:
    // Before the port is opened: the file to apply is read and checked, the
    // file to write is tried. False (with the reason logged) ends the run.
    bool CheckFileFirst();
    void OnTerminationRequested(int signalNumber);
    void OnTaskFinished(int code);
    void OnPowerOnTimeout();
    void OnPortLost();
    void Finish(int status);
    bool LoggedSince(int mark, const QString& line) const;

    CommandLine m_command;
    std::unique_ptr<CBatchConsole> m_ownConsole;
    CBatchConsole* m_console = nullptr;
    std::unique_ptr<CDeviceController> m_device;
    std::unique_ptr<CParameterSaver> m_saver;
    std::unique_ptr<CConfigFile> m_configFile;
    QTimer m_powerOnTimer;
    CSignalWatcher m_signals;
    int m_operationMark = 0;
    bool m_finished = false;
    int m_status = 1;
};

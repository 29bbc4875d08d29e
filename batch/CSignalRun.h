#pragma once

#include "batch/CBatchConsole.h"
#include "batch/CommandLine.h"
#include "device/Timing.h"

#include <QObject>
#include <QTimer>

#include <memory>

class CDeviceController;
class CSignalMeter;
struct SignalReading;

// `sirenset --port DEV --signal`: catches the terminal at power-on as the
// other runs without a window do, then reads its signal quality at the
// chosen interval for the chosen time, one line per reading, and ends with a
// summary. Exit status 0 when at least one reading gave a level and the run
// went its whole time (the port was not lost), 1 otherwise.
class CSignalRun : public QObject {
    Q_OBJECT
public:
    explicit CSignalRun(const CommandLine& command, const Timing& timing = Timing{}, std::FILE* out = stdout,
                        std::FILE* err = stderr);
    ~CSignalRun() override;

    int Run();

    // "14:05:09  CSQ 17  -79 dBm  良好  误码 0"
    static QString ReadingLine(const QDateTime& time, const SignalReading& reading);

private:
    void OnTaskFinished(int code);
    void OnReading(const SignalReading& reading);
    void OnMeterFinished();
    void Finish(int status);

    CommandLine m_command;
    CBatchConsole m_console;
    std::unique_ptr<CDeviceController> m_device;
    std::unique_ptr<CSignalMeter> m_meter;
    QTimer m_powerOnTimer;
    QTimer m_durationTimer;
    int m_mark = 0;
    int m_status = 1;
    bool m_done = false;
};

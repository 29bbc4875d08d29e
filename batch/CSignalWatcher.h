#pragma once

#include <QObject>

#include <memory>

class QSocketNotifier;

// Turns SIGTERM and SIGINT into a Qt signal on the thread that created the
// watcher, so that the program can close its port and stop its worker in
// order instead of dying with the port's exclusive lock held. The handler
// itself only writes the signal number to a pipe. One watcher at a time.
class CSignalWatcher : public QObject {
    Q_OBJECT
public:
    explicit CSignalWatcher(QObject* parent = nullptr);
    ~CSignalWatcher() override;

    // Whether the handlers are installed.
    bool IsWatching() const { return m_notifier != nullptr; }

    // The exit status after signal `number`, as a shell reports it.
    static int ExitStatusFor(int number) { return 128 + number; }

signals:
    void terminationRequested(int signalNumber);

private:
    void OnPipeReadable();

    int m_pipe[2] = {-1, -1};
    QSocketNotifier* m_notifier = nullptr;
};

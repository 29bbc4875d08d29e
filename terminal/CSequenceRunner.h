#pragma once

#include "terminal/CommandSequence.h"
#include "terminal/TerminalCommand.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QTimer>

#include <functional>

class CCommandLibrary;

// Runs a command sequence on the UI thread, step by step from timers, so
// the window never waits: sends go through the writer, waits watch the
// bytes fed to OnReceived, pauses are timers. Every step's result is one
// log line (SequenceTexts); the first failed step stops the run.
//
// A wait step looks in the bytes received since the step before it began
// (so "send, then wait" sees the reply to the send even when it came
// before the wait started), from the end of what an earlier wait matched.
class CSequenceRunner : public QObject {
    Q_OBJECT
public:
    // Bytes taken by the line; 0 for a non-empty frame: the port is closed.
    using Writer = std::function<int(const QByteArray&)>;
    using Logger = std::function<void(const QString&)>;
    // Milliseconds from any fixed point.
    using Clock = std::function<qint64()>;

    // The newest bytes a wait looks in; older ones are dropped.
    static constexpr qsizetype kReceiveLimit = 64 * 1024;

    CSequenceRunner(Writer writer, Logger logger, QObject* parent = nullptr);

    // For tests: where "收到，N ms" takes its times from.
    void SetClock(Clock clock) { m_clock = std::move(clock); }

    // Starts `sequence` with the library's commands as they are now. False
    // (nothing happens) while another run is going.
    bool Start(const CommandSequence& sequence, const CCommandLibrary& library);
    // The user's stop; the run ends as failed.
    void Stop();
    bool IsRunning() const { return m_running; }
    QString SequenceName() const { return m_sequence.name; }

    // Raw bytes from the port, as they arrive.
    void OnReceived(const QByteArray& bytes);
    // The port closed: a running sequence fails at once.
    void OnPortClosed();

signals:
    void finished(bool ok);

private:
    void RunStep();
    void Send(const SequenceStep& step);
    void CheckReply();
    void OnTimer();
    void Advance();
    void Succeed(const QString& result);
    void Fail(const QString& result);
    void Finish(bool ok);
    QString Prefix() const;
    const SequenceStep& CurrentStep() const { return m_sequence.steps[m_step]; }

    Writer m_writer;
    Logger m_logger;
    QElapsedTimer m_elapsed;
    Clock m_clock;

    bool m_running = false;
    CommandSequence m_sequence;
    QList<TerminalCommand> m_commands;
    int m_round = 1;        // 1..repeat
    qsizetype m_step = 0;   // index into m_sequence.steps
    qint64 m_stepStart = 0;
    bool m_waiting = false;
    QByteArray m_awaited;
    QByteArray m_received;
    // Wait time-outs and pauses.
    QTimer m_stepTimer;
    // Moves on to the next step from the event loop, so a long run of sends
    // does not pile up on the stack.
    QTimer m_advanceTimer;
};

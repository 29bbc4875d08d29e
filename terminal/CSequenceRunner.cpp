#include "terminal/CSequenceRunner.h"

#include "params/GbkText.h"
#include "terminal/CCommandLibrary.h"
#include "terminal/SequenceTexts.h"

CSequenceRunner::CSequenceRunner(Writer writer, Logger logger, QObject* parent)
    : QObject(parent), m_writer(std::move(writer)), m_logger(std::move(logger))
{
    m_elapsed.start();
    m_clock = [this] { return m_elapsed.elapsed(); };
    m_stepTimer.setSingleShot(true);
    m_stepTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_stepTimer, &QTimer::timeout, this, &CSequenceRunner::OnTimer);
    m_advanceTimer.setSingleShot(true);
    m_advanceTimer.setInterval(0);
    connect(&m_advanceTimer, &QTimer::timeout, this, &CSequenceRunner::RunStep);
}

bool CSequenceRunner::Start(const CommandSequence& sequence, const CCommandLibrary& library)
{
    if (m_running)
        return false;
    m_running = true;
    m_sequence = sequence;
    m_sequence.repeat = std::max(1, m_sequence.repeat);
    m_commands = library.Commands();
    m_round = 1;
    m_step = 0;
    m_received.clear();
    m_logger(SequenceTexts::Started(m_sequence.name, m_sequence.repeat, static_cast<int>(m_sequence.steps.size())));
    m_advanceTimer.start();
    return true;
}

void CSequenceRunner::Stop()
{
    if (!m_running)
        return;
    const bool inStep = m_step < m_sequence.steps.size();
    m_logger(inStep ? Prefix() + SequenceTexts::StoppedByUser()
                    : QStringLiteral("序列 %1 ").arg(m_sequence.name) + SequenceTexts::StoppedByUser());
    Finish(false);
}

void CSequenceRunner::OnReceived(const QByteArray& bytes)
{
    if (!m_running)
        return;
    m_received += bytes;
    if (m_received.size() > kReceiveLimit)
        m_received.remove(0, m_received.size() - kReceiveLimit);
    if (m_waiting)
        CheckReply();
}

void CSequenceRunner::OnPortClosed()
{
    if (!m_running)
        return;
    m_logger(m_step < m_sequence.steps.size()
                 ? Prefix() + SequenceTexts::PortClosed()
                 : QStringLiteral("序列 %1 ").arg(m_sequence.name) + SequenceTexts::PortClosed());
    Finish(false);
}

void CSequenceRunner::RunStep()
{
    if (!m_running)
        return;
    if (m_step >= m_sequence.steps.size()) {
        m_step = 0;
        if (++m_round > m_sequence.repeat || m_sequence.steps.isEmpty()) {
            m_logger(SequenceTexts::Finished(m_sequence.name));
            Finish(true);
            return;
        }
    }
    const SequenceStep& step = CurrentStep();
    m_stepStart = m_clock();
    if (step.kind != SequenceStep::Kind::Wait)
        m_received.clear();
    switch (step.kind) {
    case SequenceStep::Kind::Send:
        Send(step);
        break;
    case SequenceStep::Kind::Wait:
        m_awaited = UnicodeToGbkBytes(step.text).value_or(step.text.toUtf8());
        m_waiting = true;
        m_stepTimer.start(std::max(0, step.ms));
        CheckReply();
        break;
    case SequenceStep::Kind::Pause:
        m_stepTimer.start(std::max(0, step.ms));
        break;
    }
}

void CSequenceRunner::Send(const SequenceStep& step)
{
    const auto command = std::find_if(m_commands.cbegin(), m_commands.cend(),
                                      [&](const TerminalCommand& c) { return c.name == step.text; });
    if (command == m_commands.cend()) {
        Fail(SequenceTexts::UnknownCommand());
        return;
    }
    const QByteArray frame = CCommandLibrary::Frame(*command);
    const int written = frame.isEmpty() ? 0 : m_writer(frame);
    if (written == frame.size())
        Succeed(SequenceTexts::Sent(written));
    else if (written <= 0)
        Fail(SequenceTexts::PortClosedBeforeSend());
    else
        Fail(SequenceTexts::ShortWrite(written, static_cast<int>(frame.size())));
}

void CSequenceRunner::CheckReply()
{
    const qsizetype at = m_received.indexOf(m_awaited);
    if (at < 0)
        return;
    // A later wait looks only after this match, so two waits for the same
    // text need two replies.
    m_received.remove(0, at + m_awaited.size());
    m_waiting = false;
    m_stepTimer.stop();
    Succeed(SequenceTexts::ReplyFound(m_clock() - m_stepStart));
}

void CSequenceRunner::OnTimer()
{
    if (!m_running)
        return;
    if (m_waiting) {
        m_waiting = false;
        Fail(SequenceTexts::ReplyTimedOut(CurrentStep().ms));
    } else {
        Succeed(SequenceTexts::Paused());
    }
}

void CSequenceRunner::Succeed(const QString& result)
{
    m_logger(Prefix() + result);
    Advance();
}

void CSequenceRunner::Fail(const QString& result)
{
    m_logger(Prefix() + result);
    Finish(false);
}

void CSequenceRunner::Advance()
{
    if (!m_running)
        return;  // the logger stopped the run
    ++m_step;
    m_advanceTimer.start();
}

void CSequenceRunner::Finish(bool ok)
{
    m_running = false;
    m_waiting = false;
    m_stepTimer.stop();
    m_advanceTimer.stop();
    m_received.clear();
    emit finished(ok);
}

QString CSequenceRunner::Prefix() const
{
    return SequenceTexts::StepPrefix(m_sequence.name, m_round, m_sequence.repeat, static_cast<int>(m_step) + 1,
                                     CurrentStep());
}

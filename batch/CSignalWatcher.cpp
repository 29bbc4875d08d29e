#include "batch/CSignalWatcher.h"

#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

// Written by the handler, which may do nothing but async-signal-safe calls.
volatile std::sig_atomic_t g_writeEnd = -1;

void OnTerminationSignal(int number)
{
    const int fd = g_writeEnd;
    if (fd < 0)
        return;
    const unsigned char byte = static_cast<unsigned char>(number);
    [[maybe_unused]] const ssize_t written = ::write(fd, &byte, 1);
}

constexpr int kWatched[] = {SIGTERM, SIGINT};

}  // namespace

CSignalWatcher::CSignalWatcher(QObject* parent)
    : QObject(parent)
{
    if (::pipe2(m_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    g_writeEnd = m_pipe[1];
    struct sigaction action {};
    action.sa_handler = OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int number : kWatched)
        ::sigaction(number, &action, nullptr);
    m_notifier = new QSocketNotifier(m_pipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &CSignalWatcher::OnPipeReadable);
}

CSignalWatcher::~CSignalWatcher()
{
    for (const int number : kWatched)
        ::signal(number, SIG_DFL);
    g_writeEnd = -1;
    for (int& fd : m_pipe) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
}

void CSignalWatcher::OnPipeReadable()
{
    unsigned char byte = 0;
    while (::read(m_pipe[0], &byte, 1) == 1)
        emit terminationRequested(byte);
}

#include "PseudoTerminal.h"

#include <cerrno>

#include <poll.h>
#include <pty.h>
#include <unistd.h>

PseudoTerminal::PseudoTerminal()
{
    int master = -1;
    int slave = -1;
    char name[256] = {};
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0)
        return;
    // The port under test opens the slave itself, by name.
    ::close(slave);
    m_master = master;
    m_slavePath = QString::fromLocal8Bit(name);
}

PseudoTerminal::~PseudoTerminal()
{
    CloseMaster();
}

bool PseudoTerminal::Send(const QByteArray& bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(m_master, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

QByteArray PseudoTerminal::Receive(qsizetype count, std::chrono::milliseconds limit)
{
    QByteArray got;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    char buffer[4096];
    while (got.size() < count) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            break;
        pollfd fd{m_master, POLLIN, 0};
        const int ready = ::poll(&fd, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0 || !(fd.revents & POLLIN))
            break;
        const ssize_t n = ::read(m_master, buffer, sizeof buffer);
        if (n <= 0)
            break;
        got.append(buffer, n);
    }
    return got;
}

void PseudoTerminal::CloseMaster()
{
    if (m_master >= 0)
        ::close(m_master);
    m_master = -1;
}

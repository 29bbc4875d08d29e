#include "PtyClient.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

speed_t SpeedCode(int baudRate)
{
    switch (baudRate) {
    case 9600: return B9600;
    case 38400: return B38400;
    default: return B115200;
    }
}

std::chrono::milliseconds Remaining(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? left : std::chrono::milliseconds(0);
}

}  // namespace

PtyClient::PtyClient(const std::string& path, int baudRate)
{
    m_fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_fd < 0)
        return;
    termios settings{};
    if (tcgetattr(m_fd, &settings) == 0) {
        cfmakeraw(&settings);
        cfsetispeed(&settings, SpeedCode(baudRate));
        cfsetospeed(&settings, SpeedCode(baudRate));
        tcsetattr(m_fd, TCSANOW, &settings);
    }
}

PtyClient::~PtyClient()
{
    Close();
}

void PtyClient::Close()
{
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

bool PtyClient::Write(std::string_view bytes)
{
    while (!bytes.empty() && m_fd >= 0) {
        const ssize_t n = ::write(m_fd, bytes.data(), bytes.size());
        if (n < 0) {
            pollfd pfd{m_fd, POLLOUT, 0};
            if (::poll(&pfd, 1, 1000) <= 0)
                return false;
            continue;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return bytes.empty();
}

long PtyClient::ReadOnce(std::chrono::milliseconds wait)
{
    if (m_fd < 0)
        return -1;
    pollfd pfd{m_fd, POLLIN, 0};
    if (::poll(&pfd, 1, static_cast<int>(wait.count())) <= 0)
        return 0;
    char buffer[8192];
    const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
    if (n > 0) {
        m_pending.append(buffer, static_cast<std::size_t>(n));
        return n;
    }
    if (n == 0 || (pfd.revents & POLLHUP))
        return -1;
    return 0;
}

std::optional<std::string> PtyClient::ReadUntil(std::string_view needle, std::chrono::milliseconds limit)
{
    const auto deadline = Clock::now() + limit;
    while (true) {
        const auto at = m_pending.find(needle);
        if (at != std::string::npos) {
            std::string text = m_pending.substr(0, at + needle.size());
            m_pending.erase(0, at + needle.size());
            return text;
        }
        if (Clock::now() >= deadline || ReadOnce(Remaining(deadline)) < 0)
            return std::nullopt;
    }
}

std::string PtyClient::ReadFor(std::chrono::milliseconds duration)
{
    const auto deadline = Clock::now() + duration;
    while (Clock::now() < deadline) {
        if (ReadOnce(Remaining(deadline)) < 0)
            break;
    }
    std::string text;
    text.swap(m_pending);
    return text;
}

std::vector<std::size_t> PtyClient::ReadPiecesUntil(std::string_view needle, std::chrono::milliseconds limit)
{
    std::vector<std::size_t> pieces;
    const auto deadline = Clock::now() + limit;
    while (m_pending.find(needle) == std::string::npos && Clock::now() < deadline) {
        const long n = ReadOnce(Remaining(deadline));
        if (n < 0)
            break;
        if (n > 0)
            pieces.push_back(static_cast<std::size_t>(n));
    }
    return pieces;
}

bool PtyClient::WaitForHangUp(std::chrono::milliseconds limit)
{
    const auto deadline = Clock::now() + limit;
    while (Clock::now() < deadline) {
        if (ReadOnce(Remaining(deadline)) < 0)
            return true;
    }
    return false;
}

#include "sim/PseudoTerminal.h"

#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#include <utility>

namespace {

constexpr std::array<std::pair<speed_t, int>, 14> kSpeeds{{
    {B1200, 1200},
    {B2400, 2400},
    {B4800, 4800},
    {B9600, 9600},
    {B19200, 19200},
    {B38400, 38400},
    {B57600, 57600},
    {B115200, 115200},
    {B230400, 230400},
    {B460800, 460800},
    {B500000, 500000},
    {B921600, 921600},
    {B1000000, 1000000},
    {B2000000, 2000000},
}};

}  // namespace

PseudoTerminal::~PseudoTerminal()
{
    Close();
}

bool PseudoTerminal::Fail(const std::string& what)
{
    m_lastError = what + ": " + std::strerror(errno);
    Close();
    return false;
}

bool PseudoTerminal::Open()
{
    if (IsOpen())
        return true;
    m_master = posix_openpt(O_RDWR | O_NOCTTY);
    if (m_master < 0)
        return Fail("posix_openpt");
    // Non-blocking, so that a tool that stops reading cannot stall the
    // terminal's thread; close-on-exec, so children do not keep it alive.
    const int flags = fcntl(m_master, F_GETFL);
    if (flags < 0 || fcntl(m_master, F_SETFL, flags | O_NONBLOCK) < 0
        || fcntl(m_master, F_SETFD, FD_CLOEXEC) < 0)
        return Fail("fcntl");
    if (grantpt(m_master) != 0)
        return Fail("grantpt");
    if (unlockpt(m_master) != 0)
        return Fail("unlockpt");
    char name[128] = {};
    if (ptsname_r(m_master, name, sizeof name) != 0)
        return Fail("ptsname_r");
    m_slavePath = name;

    termios raw{};
    if (tcgetattr(m_master, &raw) != 0)
        return Fail("tcgetattr");
    cfmakeraw(&raw);
    cfsetispeed(&raw, B115200);
    cfsetospeed(&raw, B115200);
    if (tcsetattr(m_master, TCSANOW, &raw) != 0)
        return Fail("tcsetattr");

    // Prime the hang-up state (see the class comment).
    const int slave = ::open(m_slavePath.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave < 0)
        return Fail("open " + m_slavePath);
    ::close(slave);
    return true;
}

void PseudoTerminal::Close()
{
    RemoveLink();
    if (m_master >= 0) {
        ::close(m_master);
        m_master = -1;
    }
}

bool PseudoTerminal::PeerConnected() const
{
    if (m_master < 0)
        return false;
    pollfd pfd{m_master, 0, 0};
    if (poll(&pfd, 1, 0) < 0)
        return false;
    return (pfd.revents & POLLHUP) == 0;
}

int PseudoTerminal::PeerBaudRate() const
{
    termios settings{};
    if (m_master < 0 || tcgetattr(m_master, &settings) != 0)
        return 0;
    const speed_t speed = cfgetospeed(&settings);
    for (const auto& [code, baud] : kSpeeds) {
        if (code == speed)
            return baud;
    }
    return 0;
}

bool PseudoTerminal::CreateLink(const std::string& linkPath)
{
    if (!IsOpen() || linkPath.empty()) {
        m_lastError = "no device to link to";
        return false;
    }
    struct stat info{};
    if (lstat(linkPath.c_str(), &info) == 0) {
        if (!S_ISLNK(info.st_mode)) {
            m_lastError = linkPath + " exists and is not a symbolic link";
            return false;
        }
        ::unlink(linkPath.c_str());
    }
    if (::symlink(m_slavePath.c_str(), linkPath.c_str()) != 0) {
        m_lastError = "symlink " + linkPath + ": " + std::strerror(errno);
        return false;
    }
    m_linkPath = linkPath;
    return true;
}

void PseudoTerminal::RemoveLink()
{
    if (m_linkPath.empty())
        return;
    char target[256] = {};
    const ssize_t n = readlink(m_linkPath.c_str(), target, sizeof target - 1);
    if (n > 0 && m_slavePath == std::string(target, static_cast<std::size_t>(n)))
        ::unlink(m_linkPath.c_str());
    m_linkPath.clear();
}

// Sirenset's communication-mode display side by side with CuteCom (Debian's
// Qt serial terminal): both as real windows on one X server, each on its own
// pseudo-terminal, fed the same bytes at the same moments by one paced
// writer. For each stream it prints both programs' CPU over the stream (% of
// one core, from /proc), their ratio, the longest UI stall (the longest a
// _NET_WM_PING went unanswered; Qt answers it on its UI thread), and the peak
// resident memory.
//
// Each run also starts both programs, one after the other, and times from
// the fork that execs one to its window's first painted frame: the first
// moment the X server's damage of its mapped top-level window covers the
// whole window (Qt draws with a background of None, so the server paints
// nothing itself). Map time is printed too. One untimed start of each warms
// the caches first.
//
//   comm_vs_cutecom --sirenset BIN --shim LIB [--cutecom BIN] [--seconds 20]
//                   [--warm-up 2] [--runs 3] [--starts 5] [--stream NAME]...
//
// Streams: text-lines, text-lines-0.5ms, binary-hex, binary-text, each also
// with "+stamps" (Sirenset's 时间戳 ticked), and
// "startup" for the start-up times (--starts per program and run).
// Needs DISPLAY (scripts/bench-vs-cutecom.sh starts Xvfb) with the DAMAGE
// extension, xdotool (to tick CuteCom's hex output and press its Open
// button) and root or the same user as the programs (to look at their
// descriptors).

#include <QImage>

#include <xcb/damage.h>
#include <xcb/xcb.h>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

constexpr int kRate = 92160;           // bytes/s: a 921600 bit/s line flat out
constexpr int kPingEveryMs = 10;

struct Stream {
    std::string name;
    bool binary = false;   // random bytes (zeros included) instead of text lines
    bool hexDisplay = false;
    int periodUs = 2000;   // one write per period
    bool timeStamps = false;  // Sirenset with 时间戳 (CuteCom as always)
};

// The "+stamps" streams are the same bytes with Sirenset's 时间戳 ticked:
// each entry a packet with its time.
const std::vector<Stream> kStreams = {
    {"text-lines", false, false, 2000},
    {"text-lines-0.5ms", false, false, 500},
    {"binary-hex", true, true, 2000},
    {"binary-text", true, false, 2000},
    {"text-lines+stamps", false, false, 2000, true},
    {"text-lines-0.5ms+stamps", false, false, 500, true},
    {"binary-hex+stamps", true, true, 2000, true},
    {"binary-text+stamps", true, false, 2000, true},
};

struct Options {
    std::string sirenset;
    std::string cutecom = "/usr/bin/cutecom";
    std::string shim;
    int seconds = 20;
    int warmUpSeconds = 2;
    int runs = 3;
    int starts = 5;  // timed starts of each program per run
    std::vector<std::string> streams;
    std::string screenshots;  // folder: the screen after each warm-up, as PNG
};

[[noreturn]] void Fail(const std::string& why)
{
    std::fprintf(stderr, "comm_vs_cutecom: %s\n", why.c_str());
    std::exit(1);
}

// ------------------------------------------------------------ stream bytes

// Lines a terminal's data port might carry: a sequence number, readings,
// CR LF; their lengths vary from line to line.
std::string TextLines(std::size_t size)
{
    std::string text;
    std::uint32_t seed = 12345;
    static const char* const states[] = {"IDLE", "ALARM", "PLAY", "FM", "TTS"};
    for (unsigned line = 0; text.size() < size; ++line) {
        seed = seed * 1103515245u + 12345u;
        char buffer[160];
        std::snprintf(buffer, sizeof buffer, "%06u STA=%02u VBAT=%u.%02uV RSSI=-%02udBm TEMP=%+d.%uC MODE=%s%s\r\n",
                      line, (seed >> 8) % 32, 11 + (seed >> 12) % 3, (seed >> 4) % 100, 50 + (seed >> 16) % 50,
                      int((seed >> 20) % 60) - 10, (seed >> 3) % 10, states[(seed >> 24) % 5],
                      (seed & 1) ? " Q=OK" : "");
        text += buffer;
    }
    return text;
}

std::string BinaryBytes(std::size_t size)
{
    std::string bytes(size, '\0');
    std::uint64_t state = 0x9E3779B97F4A7C15ull;
    for (char& byte : bytes) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        byte = static_cast<char>(state >> 24);
    }
    return bytes;
}

// ------------------------------------------------------------ processes

struct Pty {
    int master = -1;
    std::string slavePath;
};

Pty OpenPty()
{
    int master = -1;
    int slave = -1;
    char name[128] = {};
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0)
        Fail("openpty failed");
    termios raw{};
    ::tcgetattr(slave, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(slave, TCSANOW, &raw);
    ::close(slave);
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    return {master, name};
}

pid_t Spawn(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env,
            const std::string& logPath)
{
    const pid_t child = ::fork();
    if (child < 0)
        Fail("fork failed");
    if (child == 0) {
        for (const auto& [name, value] : env)
            ::setenv(name.c_str(), value.c_str(), 1);
        const int log = ::open(logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (log >= 0) {
            ::dup2(log, 1);
            ::dup2(log, 2);
        }
        std::vector<char*> args;
        for (const std::string& arg : argv)
            args.push_back(const_cast<char*>(arg.c_str()));
        args.push_back(nullptr);
        ::execv(args[0], args.data());
        ::_exit(127);
    }
    return child;
}

void Stop(pid_t pid)
{
    if (pid <= 0)
        return;
    ::kill(pid, SIGTERM);
    for (int i = 0; i < 300; ++i) {
        if (::waitpid(pid, nullptr, WNOHANG) == pid)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
}

// utime + stime of every thread, in clock ticks.
long long CpuTicks(pid_t pid)
{
    std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    const std::size_t close = text.rfind(')');
    if (close == std::string::npos)
        return -1;
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    long long utime = 0;
    long long stime = 0;
    for (int index = 3; fields >> field; ++index) {
        if (index == 14)
            utime = std::atoll(field.c_str());
        if (index == 15) {
            stime = std::atoll(field.c_str());
            break;
        }
    }
    return utime + stime;
}

long PeakRssKb(pid_t pid)
{
    std::ifstream file("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(file, line)) {
        if (line.rfind("VmHWM:", 0) == 0)
            return std::atol(line.c_str() + 6);
    }
    return -1;
}

bool HasOpen(pid_t pid, const std::string& path)
{
    std::error_code error;
    for (const auto& entry : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", error)) {
        std::error_code linkError;
        if (fs::read_symlink(entry.path(), linkError) == path)
            return true;
    }
    return false;
}

// Bytes the slave side has not read yet (root may open a terminal that its
// program holds exclusively; the count is looked at, nothing is read).
int UnreadInput(const std::string& slavePath)
{
    const int fd = ::open(slavePath.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return -1;
    int queued = -1;
    ::ioctl(fd, FIONREAD, &queued);
    ::close(fd);
    return queued;
}

void Drain(int master)
{
    char buffer[4096];
    while (::read(master, buffer, sizeof buffer) > 0) {
    }
}

// ------------------------------------------------------------ X

xcb_atom_t InternAtom(xcb_connection_t* conn, const char* name)
{
    xcb_intern_atom_reply_t* reply =
        xcb_intern_atom_reply(conn, xcb_intern_atom(conn, 0, uint16_t(std::strlen(name)), name), nullptr);
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return atom;
}

// Whether the window's _NET_WM_PID (which Qt sets) names `pid`.
bool HasPid(xcb_connection_t* conn, xcb_window_t window, xcb_atom_t pidAtom, pid_t pid)
{
    xcb_get_property_reply_t* property =
        xcb_get_property_reply(conn, xcb_get_property(conn, 0, window, pidAtom, XCB_ATOM_CARDINAL, 0, 1), nullptr);
    const bool ours = property && xcb_get_property_value_length(property) == 4
                      && *static_cast<uint32_t*>(xcb_get_property_value(property)) == uint32_t(pid);
    std::free(property);
    return ours;
}

class XProbe {
public:
    XProbe()
    {
        m_conn = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(m_conn))
            Fail("cannot connect to the X server (DISPLAY)");
        m_root = xcb_setup_roots_iterator(xcb_get_setup(m_conn)).data->root;
        // Qt answers a ping to the root window with the StructureNotify mask.
        const uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
        xcb_change_window_attributes(m_conn, m_root, XCB_CW_EVENT_MASK, &mask);
        m_protocols = InternAtom(m_conn, "WM_PROTOCOLS");
        m_ping = InternAtom(m_conn, "_NET_WM_PING");
        m_pid = InternAtom(m_conn, "_NET_WM_PID");
        xcb_flush(m_conn);
    }
    ~XProbe() { xcb_disconnect(m_conn); }

    // The program's largest mapped top-level window.
    std::optional<xcb_window_t> WindowOf(pid_t pid)
    {
        std::optional<xcb_window_t> best;
        unsigned bestArea = 0;
        xcb_query_tree_reply_t* tree = xcb_query_tree_reply(m_conn, xcb_query_tree(m_conn, m_root), nullptr);
        if (!tree)
            return best;
        const xcb_window_t* children = xcb_query_tree_children(tree);
        for (int i = 0; i < xcb_query_tree_children_length(tree); ++i) {
            const xcb_window_t window = children[i];
            if (!HasPid(m_conn, window, m_pid, pid))
                continue;
            xcb_get_window_attributes_reply_t* attributes = xcb_get_window_attributes_reply(
                m_conn, xcb_get_window_attributes(m_conn, window), nullptr);
            const bool mapped = attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
            std::free(attributes);
            xcb_get_geometry_reply_t* geometry =
                xcb_get_geometry_reply(m_conn, xcb_get_geometry(m_conn, window), nullptr);
            const unsigned area = geometry ? unsigned(geometry->width) * geometry->height : 0;
            std::free(geometry);
            if (mapped && area > bestArea) {
                bestArea = area;
                best = window;
            }
        }
        std::free(tree);
        return best;
    }

    // Pings every window about every kPingEveryMs for `seconds`, one ping
    // outstanding per window; returns each window's longest wait for an
    // answer in ms (a ping still unanswered at the end counts as well).
    std::vector<double> LongestWaits(const std::vector<xcb_window_t>& windows, int seconds)
    {
        struct State {
            uint32_t serial = 0;
            bool outstanding = false;
            Clock::time_point sent;
            Clock::time_point next;
            double longestMs = 0;
        };
        std::vector<State> states(windows.size());
        const Clock::time_point end = Clock::now() + std::chrono::seconds(seconds);
        const int fd = xcb_get_file_descriptor(m_conn);
        uint32_t serial = 1;
        while (Clock::now() < end) {
            const Clock::time_point now = Clock::now();
            for (std::size_t i = 0; i < windows.size(); ++i) {
                State& state = states[i];
                if (!state.outstanding && now >= state.next) {
                    state.serial = serial++;
                    state.outstanding = true;
                    state.sent = now;
                    SendPing(windows[i], state.serial);
                }
            }
            xcb_flush(m_conn);
            fd_set readable;
            FD_ZERO(&readable);
            FD_SET(fd, &readable);
            timeval wait{0, 1000};
            ::select(fd + 1, &readable, nullptr, nullptr, &wait);
            while (xcb_generic_event_t* event = xcb_poll_for_event(m_conn)) {
                if ((event->response_type & 0x7f) == XCB_CLIENT_MESSAGE) {
                    const auto* message = reinterpret_cast<xcb_client_message_event_t*>(event);
                    if (message->type == m_protocols && message->data.data32[0] == m_ping) {
                        for (State& state : states) {
                            if (state.outstanding && message->data.data32[1] == state.serial) {
                                const Clock::time_point answered = Clock::now();
                                state.longestMs = std::max(
                                    state.longestMs,
                                    std::chrono::duration<double, std::milli>(answered - state.sent).count());
                                state.outstanding = false;
                                state.next = answered + std::chrono::milliseconds(kPingEveryMs);
                            }
                        }
                    }
                }
                std::free(event);
            }
        }
        std::vector<double> longest;
        const Clock::time_point now = Clock::now();
        for (const State& state : states) {
            double ms = state.longestMs;
            if (state.outstanding)
                ms = std::max(ms, std::chrono::duration<double, std::milli>(now - state.sent).count());
            longest.push_back(ms);
        }
        return longest;
    }

    // The whole screen, to see that both programs show the stream.
    bool SaveScreen(const std::string& path)
    {
        xcb_get_geometry_reply_t* geometry = xcb_get_geometry_reply(m_conn, xcb_get_geometry(m_conn, m_root), nullptr);
        if (!geometry)
            return false;
        const int width = geometry->width;
        const int height = geometry->height;
        std::free(geometry);
        xcb_get_image_reply_t* image = xcb_get_image_reply(
            m_conn, xcb_get_image(m_conn, XCB_IMAGE_FORMAT_Z_PIXMAP, m_root, 0, 0, width, height, ~0u), nullptr);
        if (!image)
            return false;
        const bool saved = xcb_get_image_data_length(image) >= width * height * 4
                           && QImage(xcb_get_image_data(image), width, height, width * 4, QImage::Format_RGB32)
                                  .save(QString::fromStdString(path));
        std::free(image);
        return saved;
    }

private:
    void SendPing(xcb_window_t window, uint32_t serial)
    {
        xcb_client_message_event_t event{};
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 32;
        event.window = window;
        event.type = m_protocols;
        event.data.data32[0] = m_ping;
        event.data.data32[1] = serial;  // the "timestamp" comes back unchanged
        event.data.data32[2] = window;
        xcb_send_event(m_conn, 0, window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&event));
    }

    xcb_connection_t* m_conn = nullptr;
    xcb_window_t m_root = 0;
    xcb_atom_t m_protocols = 0;
    xcb_atom_t m_ping = 0;
    xcb_atom_t m_pid = 0;
};

// Watches a program's windows come up: every top-level window created from
// now on gets a damage object before it can be mapped, so its first drawing
// is seen however early it comes.
class StartProbe {
public:
    struct Times {
        double mappedMs = -1;   // exec -> its window mapped
        double paintedMs = -1;  // exec -> that window wholly painted
    };

    StartProbe()
    {
        m_conn = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(m_conn))
            Fail("cannot connect to the X server (DISPLAY)");
        m_root = xcb_setup_roots_iterator(xcb_get_setup(m_conn)).data->root;
        const xcb_query_extension_reply_t* damage = xcb_get_extension_data(m_conn, &xcb_damage_id);
        if (!damage || !damage->present)
            Fail("the X server has no DAMAGE extension");
        m_damageNotify = uint8_t(damage->first_event + XCB_DAMAGE_NOTIFY);
        std::free(xcb_damage_query_version_reply(m_conn, xcb_damage_query_version(m_conn, 1, 1), nullptr));
        const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_change_window_attributes(m_conn, m_root, XCB_CW_EVENT_MASK, &mask);
        m_pid = InternAtom(m_conn, "_NET_WM_PID");
        xcb_flush(m_conn);
    }
    ~StartProbe() { xcb_disconnect(m_conn); }

    // Starts the program and waits (at most limitMs) for its first frame;
    // the program keeps running (its pid is put in `pid`).
    Times Start(const std::function<pid_t()>& spawn, pid_t& pid, int limitMs)
    {
        Forget();
        const Clock::time_point exec = Clock::now();
        pid = spawn();
        const auto since = [&] { return std::chrono::duration<double, std::milli>(Clock::now() - exec).count(); };
        Times times;
        const Clock::time_point end = exec + std::chrono::milliseconds(limitMs);
        const int fd = xcb_get_file_descriptor(m_conn);
        while (times.paintedMs < 0 && Clock::now() < end) {
            pollfd readable{fd, POLLIN, 0};
            ::poll(&readable, 1, 5);
            while (xcb_generic_event_t* event = xcb_poll_for_event(m_conn)) {
                const uint8_t type = event->response_type & 0x7f;
                if (type == XCB_CREATE_NOTIFY) {
                    const auto* created = reinterpret_cast<xcb_create_notify_event_t*>(event);
                    if (created->parent == m_root && !created->override_redirect)
                        Watch(created->window);
                } else if (type == XCB_MAP_NOTIFY) {
                    const auto* mapped = reinterpret_cast<xcb_map_notify_event_t*>(event);
                    auto watched = m_windows.find(mapped->window);
                    if (watched != m_windows.end() && HasPid(m_conn, mapped->window, m_pid, pid)) {
                        watched->second.mapped = true;
                        if (times.mappedMs < 0)
                            times.mappedMs = since();
                    }
                } else if (type == m_damageNotify) {
                    const auto* damaged = reinterpret_cast<xcb_damage_notify_event_t*>(event);
                    auto watched = m_windows.find(damaged->drawable);
                    // The bounding box of all drawing since the window was
                    // made; whole once the first frame is out.
                    if (watched != m_windows.end() && watched->second.mapped
                        && damaged->area.width >= damaged->geometry.width
                        && damaged->area.height >= damaged->geometry.height)
                        times.paintedMs = since();
                }
                std::free(event);
            }
        }
        return times;
    }

private:
    struct Watched {
        xcb_damage_damage_t damage = 0;
        bool mapped = false;
    };

    void Watch(xcb_window_t window)
    {
        Watched watched;
        watched.damage = xcb_generate_id(m_conn);
        xcb_damage_create(m_conn, watched.damage, window, XCB_DAMAGE_REPORT_LEVEL_BOUNDING_BOX);
        xcb_flush(m_conn);
        m_windows[window] = watched;
    }

    // Damage objects of windows still there are dropped; those of windows
    // gone went with them (the error that comes back is ignored).
    void Forget()
    {
        for (const auto& [window, watched] : m_windows)
            xcb_damage_destroy(m_conn, watched.damage);
        m_windows.clear();
        xcb_flush(m_conn);
        while (xcb_generic_event_t* event = xcb_poll_for_event(m_conn))
            std::free(event);
    }

    xcb_connection_t* m_conn = nullptr;
    xcb_window_t m_root = 0;
    uint8_t m_damageNotify = 0;
    xcb_atom_t m_pid = 0;
    std::map<xcb_window_t, Watched> m_windows;
};

// ------------------------------------------------------------ the writer

// Writes the same bytes to every master at the same moments: `chunk` bytes
// every period, absolute deadlines so the rate holds. What a master cannot
// take at once waits for the next period (counted as backlog).
class PacedWriter {
public:
    PacedWriter(std::vector<int> masters, std::string bytes, int periodUs)
        : m_masters(std::move(masters)), m_bytes(std::move(bytes)), m_periodUs(periodUs),
          m_chunk(std::max<std::size_t>(1, std::size_t(kRate) * std::size_t(periodUs) / 1000000u)),
          m_written(m_masters.size()), m_backlog(m_masters.size()), m_offset(m_masters.size())
    {
    }
    ~PacedWriter() { StopWriting(); }

    void Start()
    {
        m_running = true;
        m_thread = std::thread([this] { Run(); });
    }
    void StopWriting()
    {
        m_running = false;
        if (m_thread.joinable())
            m_thread.join();
    }
    std::uint64_t Written(std::size_t i) const { return m_written[i]; }
    std::size_t LongestBacklog() const { return m_longestBacklog; }
    std::size_t Chunk() const { return m_chunk; }

private:
    void Run()
    {
        timespec deadline{};
        ::clock_gettime(CLOCK_MONOTONIC, &deadline);
        while (m_running) {
            for (std::size_t i = 0; i < m_masters.size(); ++i) {
                m_backlog[i] += m_chunk;
                WriteBacklog(i);
                m_longestBacklog = std::max(m_longestBacklog.load(), m_backlog[i]);
            }
            deadline.tv_nsec += long(m_periodUs) * 1000;
            while (deadline.tv_nsec >= 1000000000L) {
                deadline.tv_nsec -= 1000000000L;
                ++deadline.tv_sec;
            }
            ::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr);
            for (int master : m_masters)
                Drain(master);  // nothing should come back; never let it pile up
        }
    }

    void WriteBacklog(std::size_t i)
    {
        while (m_backlog[i] > 0) {
            const std::size_t at = m_offset[i] % m_bytes.size();
            const std::size_t length = std::min(m_backlog[i], m_bytes.size() - at);
            const ssize_t sent = ::write(m_masters[i], m_bytes.data() + at, length);
            if (sent <= 0)
                return;  // full: the rest waits
            m_backlog[i] -= std::size_t(sent);
            m_offset[i] += std::size_t(sent);
            m_written[i] += std::uint64_t(sent);
        }
    }

    std::vector<int> m_masters;
    std::string m_bytes;
    int m_periodUs;
    std::size_t m_chunk;
    std::vector<std::atomic<std::uint64_t>> m_written;
    std::vector<std::size_t> m_backlog;
    std::vector<std::size_t> m_offset;
    std::atomic<std::size_t> m_longestBacklog{0};
    std::atomic<bool> m_running{false};
    std::thread m_thread;
};

// ------------------------------------------------------------ one stream

struct Result {
    double cpuPct = 0;
    double stallMs = 0;
    long peakRssKb = 0;
    std::uint64_t written = 0;
    int unread = 0;
};

struct Pair {
    Result sirenset;
    Result cutecom;
};

bool WaitFor(const std::function<bool()>& done, int limitMs)
{
    const Clock::time_point end = Clock::now() + std::chrono::milliseconds(limitMs);
    while (!done()) {
        if (Clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

void Xdotool(const std::vector<std::string>& arguments)
{
    std::string command = "xdotool";
    for (const std::string& argument : arguments)
        command += " '" + argument + "'";
    if (std::system(command.c_str()) != 0)
        Fail("xdotool failed: " + command);
}

// A home of its own for each measurement: the programs start without
// settings left by an earlier one (CuteCom's session is written into it).
std::map<std::string, std::string> ProgramEnvironment(const fs::path& home)
{
    fs::create_directories(home / "runtime");
    ::chmod((home / "runtime").c_str(), 0700);
    return {
        {"HOME", home.string()},
        {"XDG_DATA_HOME", (home / "data").string()},
        {"XDG_CONFIG_HOME", (home / "config").string()},
        {"XDG_RUNTIME_DIR", (home / "runtime").string()},
        {"QT_QPA_PLATFORM", "xcb"},
    };
}

void WriteCuteComSettings(const fs::path& configHome, const std::string& device)
{
    fs::create_directories(configHome / "CuteCom");
    std::ofstream conf(configHome / "CuteCom" / "CuteCom5.conf");
    conf << "[sessions]\n1\\BaudRate=115200\n1\\DataBits=8\n1\\Device=" << device
         << "\n1\\FlowControl=0\n1\\OpenMode=1\n1\\Parity=0\n1\\StopBits=1\n1\\autoReconnect=false\n"
            "1\\name=Default\n1\\showCtrlCharacters=false\n1\\showTimestamp=false\nsize=1\n";
}

Pair RunStream(const Options& options, const Stream& stream, XProbe& x, const fs::path& work)
{
    Pty forSirenset = OpenPty();
    Pty forCuteCom = OpenPty();
    const fs::path home = work / stream.name;
    fs::remove_all(home);
    const std::map<std::string, std::string> common = ProgramEnvironment(home);
    WriteCuteComSettings(home / "config", forCuteCom.slavePath);

    std::vector<std::string> sirensetArgs = {options.sirenset, "--port", forSirenset.slavePath, "--communication"};
    if (stream.hexDisplay)
        sirensetArgs.push_back("--hex-display");
    if (stream.timeStamps)
        sirensetArgs.push_back("--time-stamps");
    const pid_t sirenset = Spawn(sirensetArgs, common, (home / "sirenset.out").string());
    auto cutecomEnv = common;
    cutecomEnv["LD_PRELOAD"] = options.shim;
    const pid_t cutecom = Spawn({options.cutecom}, cutecomEnv, (home / "cutecom.out").string());

    std::optional<xcb_window_t> sirensetWindow;
    std::optional<xcb_window_t> cutecomWindow;
    if (!WaitFor([&] { return (sirensetWindow = x.WindowOf(sirenset)) && (cutecomWindow = x.WindowOf(cutecom)); },
                 15000))
        Fail("the windows did not appear (see " + home.string() + ")");
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const std::string cutecomId = std::to_string(*cutecomWindow);
    // Side by side, neither covering the other, so both draw all they show.
    Xdotool({"windowmove", std::to_string(*sirensetWindow), "0", "0"});
    Xdotool({"windowmove", cutecomId, "1080", "0"});
    if (stream.hexDisplay)
        Xdotool({"windowfocus", "--sync", cutecomId, "key", "--clearmodifiers", "alt+x"});
    Xdotool({"windowfocus", "--sync", cutecomId, "key", "--clearmodifiers", "alt+o"});
    if (!WaitFor([&] { return HasOpen(sirenset, forSirenset.slavePath) && HasOpen(cutecom, forCuteCom.slavePath); },
                 10000))
        Fail("a program did not open its pseudo-terminal (see " + home.string() + ")");
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    Drain(forSirenset.master);
    Drain(forCuteCom.master);

    const std::string bytes = stream.binary ? BinaryBytes(4u << 20) : TextLines(4u << 20);
    PacedWriter writer({forSirenset.master, forCuteCom.master}, bytes, stream.periodUs);
    writer.Start();
    std::this_thread::sleep_for(std::chrono::seconds(options.warmUpSeconds));
    if (!options.screenshots.empty()) {
        fs::create_directories(options.screenshots);
        x.SaveScreen((fs::path(options.screenshots) / (stream.name + ".png")).string());
    }

    const long ticksPerSecond = ::sysconf(_SC_CLK_TCK);
    const long long sirensetBefore = CpuTicks(sirenset);
    const long long cutecomBefore = CpuTicks(cutecom);
    const Clock::time_point start = Clock::now();
    const std::vector<double> stalls = x.LongestWaits({*sirensetWindow, *cutecomWindow}, options.seconds);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const long long sirensetTicks = CpuTicks(sirenset) - sirensetBefore;
    const long long cutecomTicks = CpuTicks(cutecom) - cutecomBefore;
    writer.StopWriting();
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));

    Pair pair;
    pair.sirenset = {100.0 * double(sirensetTicks) / double(ticksPerSecond) / seconds, stalls[0],
                     PeakRssKb(sirenset), writer.Written(0), UnreadInput(forSirenset.slavePath)};
    pair.cutecom = {100.0 * double(cutecomTicks) / double(ticksPerSecond) / seconds, stalls[1], PeakRssKb(cutecom),
                    writer.Written(1), UnreadInput(forCuteCom.slavePath)};
    Stop(sirenset);
    Stop(cutecom);
    ::close(forSirenset.master);
    ::close(forCuteCom.master);
    return pair;
}

// ------------------------------------------------------------ start-up

struct StartPair {
    StartProbe::Times sirenset;
    StartProbe::Times cutecom;
};

// Both programs start as a technician starts them: Sirenset on its port,
// CuteCom with its session's device; neither finds anything on the line.
std::vector<StartPair> RunStartups(const Options& options, StartProbe& probe, XProbe& x, const fs::path& work,
                                   bool warm)
{
    Pty line = OpenPty();
    const fs::path home = work / "startup";
    fs::remove_all(home);
    const std::map<std::string, std::string> environment = ProgramEnvironment(home);
    WriteCuteComSettings(home / "config", line.slavePath);
    auto cutecomEnvironment = environment;
    cutecomEnvironment["LD_PRELOAD"] = options.shim;
    const auto startSirenset = [&] {
        return Spawn({options.sirenset, "--port", line.slavePath}, environment, (home / "sirenset.out").string());
    };
    const auto startCuteCom = [&] {
        return Spawn({options.cutecom}, cutecomEnvironment, (home / "cutecom.out").string());
    };
    const auto once = [&](const std::function<pid_t()>& spawn, const char* name) {
        pid_t pid = -1;
        const StartProbe::Times times = probe.Start(spawn, pid, 15000);
        // The screen as it was when the frame counted as painted.
        if (!options.screenshots.empty()) {
            fs::create_directories(options.screenshots);
            x.SaveScreen((fs::path(options.screenshots) / ("startup-" + std::string(name) + ".png")).string());
        }
        Stop(pid);
        Drain(line.master);
        if (times.paintedMs < 0)
            Fail(std::string(name) + " showed no painted window (see " + home.string() + ")");
        return times;
    };
    if (!warm) {
        once(startSirenset, "sirenset");
        once(startCuteCom, "cutecom");
    }
    std::vector<StartPair> pairs;
    for (int i = 0; i < options.starts; ++i) {
        StartPair pair;
        pair.sirenset = once(startSirenset, "sirenset");
        pair.cutecom = once(startCuteCom, "cutecom");
        pairs.push_back(pair);
    }
    ::close(line.master);
    return pairs;
}

// ------------------------------------------------------------ summary

struct Spread {
    double min = 0, median = 0, max = 0;
};

Spread SpreadOf(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return {values.front(), values[values.size() / 2], values.back()};
}

std::string Format(const Spread& spread, const char* format)
{
    char buffer[128];
    const std::string one = format;
    std::snprintf(buffer, sizeof buffer, (one + " / " + one + " / " + one).c_str(), spread.min, spread.median,
                  spread.max);
    return buffer;
}

Options Parse(int argc, char** argv)
{
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const auto value = [&]() -> std::string {
            if (i + 1 >= argc)
                Fail(arg + " needs a value");
            return argv[++i];
        };
        if (arg == "--sirenset")
            options.sirenset = value();
        else if (arg == "--cutecom")
            options.cutecom = value();
        else if (arg == "--shim")
            options.shim = value();
        else if (arg == "--seconds")
            options.seconds = std::max(1, std::atoi(value().c_str()));
        else if (arg == "--warm-up")
            options.warmUpSeconds = std::max(0, std::atoi(value().c_str()));
        else if (arg == "--runs")
            options.runs = std::max(1, std::atoi(value().c_str()));
        else if (arg == "--starts")
            options.starts = std::max(1, std::atoi(value().c_str()));
        else if (arg == "--screenshots")
            options.screenshots = value();
        else if (arg == "--stream")
            options.streams.push_back(value());
        else
            Fail("unknown argument " + arg);
    }
    if (options.sirenset.empty() || options.shim.empty())
        Fail("usage: comm_vs_cutecom --sirenset BIN --shim LIB [--cutecom BIN] [--seconds N] [--warm-up N] "
             "[--runs N] [--starts N] [--stream NAME]... [--screenshots DIR]");
    return options;
}

}  // namespace

int main(int argc, char** argv)
{
    const Options options = Parse(argc, argv);
    ::signal(SIGPIPE, SIG_IGN);
    XProbe x;
    const fs::path work = fs::temp_directory_path() / ("comm-vs-cutecom-" + std::to_string(::getpid()));
    fs::create_directories(work);

    std::vector<Stream> chosen;
    for (const Stream& stream : kStreams) {
        if (options.streams.empty()
            || std::find(options.streams.begin(), options.streams.end(), stream.name) != options.streams.end())
            chosen.push_back(stream);
    }
    const bool startup = options.streams.empty()
                         || std::find(options.streams.begin(), options.streams.end(), "startup") != options.streams.end();
    if (chosen.empty() && !startup)
        Fail("no such stream");
    std::optional<StartProbe> probe;
    if (startup)
        probe.emplace();
    std::map<std::string, std::vector<Pair>> results;
    std::vector<StartPair> starts;
    for (int run = 1; run <= options.runs; ++run) {
        if (startup) {
            const std::vector<StartPair> these = RunStartups(options, *probe, x, work, run > 1);
            for (const StartPair& pair : these) {
                std::printf("run %d  %-23s  exec -> mapped ms: sirenset %6.1f  cutecom %6.1f   exec -> painted ms: "
                            "sirenset %6.1f  cutecom %6.1f  ratio %.2f\n",
                            run, "startup", pair.sirenset.mappedMs, pair.cutecom.mappedMs, pair.sirenset.paintedMs,
                            pair.cutecom.paintedMs, pair.sirenset.paintedMs / std::max(0.01, pair.cutecom.paintedMs));
            }
            std::fflush(stdout);
            starts.insert(starts.end(), these.begin(), these.end());
        }
        for (const Stream& stream : chosen) {
            const Pair pair = RunStream(options, stream, x, work);
            results[stream.name].push_back(pair);
            const double ratio = pair.sirenset.cpuPct / std::max(0.01, pair.cutecom.cpuPct);
            std::printf("run %d  %-23s  CPU %%: sirenset %5.1f  cutecom %5.1f  ratio %.2f   stall ms: %6.1f %6.1f   "
                        "peak RSS MB: %5.1f %5.1f   written %llu/%llu  unread %d/%d\n",
                        run, stream.name.c_str(), pair.sirenset.cpuPct, pair.cutecom.cpuPct, ratio,
                        pair.sirenset.stallMs, pair.cutecom.stallMs, pair.sirenset.peakRssKb / 1024.0,
                        pair.cutecom.peakRssKb / 1024.0, (unsigned long long)pair.sirenset.written,
                        (unsigned long long)pair.cutecom.written, pair.sirenset.unread, pair.cutecom.unread);
            std::fflush(stdout);
        }
    }

    if (!chosen.empty()) {
        std::printf("\n%d run(s) of %d s at %d B/s; min / median / max\n", options.runs, options.seconds, kRate);
        std::printf("| stream -> display | Sirenset CPU %% | CuteCom CPU %% | ratio | Sirenset stall ms | CuteCom "
                    "stall ms | Sirenset peak RSS MB | CuteCom peak RSS MB |\n|---|---|---|---|---|---|---|---|\n");
    }
    bool ok = true;
    for (const Stream& stream : chosen) {
        std::vector<double> s, c, ratio, ss, cs, sr, cr;
        for (const Pair& pair : results[stream.name]) {
            s.push_back(pair.sirenset.cpuPct);
            c.push_back(pair.cutecom.cpuPct);
            ratio.push_back(pair.sirenset.cpuPct / std::max(0.01, pair.cutecom.cpuPct));
            ss.push_back(pair.sirenset.stallMs);
            cs.push_back(pair.cutecom.stallMs);
            sr.push_back(pair.sirenset.peakRssKb / 1024.0);
            cr.push_back(pair.cutecom.peakRssKb / 1024.0);
            ok = ok && pair.sirenset.unread == 0;
        }
        std::printf("| %s | %s | %s | %s | %s | %s | %s | %s |\n", stream.name.c_str(),
                    Format(SpreadOf(s), "%.1f").c_str(), Format(SpreadOf(c), "%.1f").c_str(),
                    Format(SpreadOf(ratio), "%.2f").c_str(), Format(SpreadOf(ss), "%.0f").c_str(),
                    Format(SpreadOf(cs), "%.0f").c_str(), Format(SpreadOf(sr), "%.0f").c_str(),
                    Format(SpreadOf(cr), "%.0f").c_str());
    }
    if (startup) {
        std::vector<double> sm, cm, sp, cp, ratio;
        for (const StartPair& pair : starts) {
            sm.push_back(pair.sirenset.mappedMs);
            cm.push_back(pair.cutecom.mappedMs);
            sp.push_back(pair.sirenset.paintedMs);
            cp.push_back(pair.cutecom.paintedMs);
            ratio.push_back(pair.sirenset.paintedMs / std::max(0.01, pair.cutecom.paintedMs));
        }
        std::printf("\n%zu warm start(s) of each; min / median / max\n", starts.size());
        std::printf("| start-up | Sirenset ms | CuteCom ms | ratio |\n|---|---|---|---|\n");
        std::printf("| exec -> window mapped | %s | %s | |\n", Format(SpreadOf(sm), "%.0f").c_str(),
                    Format(SpreadOf(cm), "%.0f").c_str());
        std::printf("| exec -> first frame painted | %s | %s | %s |\n", Format(SpreadOf(sp), "%.0f").c_str(),
                    Format(SpreadOf(cp), "%.0f").c_str(), Format(SpreadOf(ratio), "%.2f").c_str());
    }
    fs::remove_all(work);
    if (!ok)
        std::printf("Sirenset left received bytes unread at the end of a stream.\n");
    return ok ? 0 : 1;
}

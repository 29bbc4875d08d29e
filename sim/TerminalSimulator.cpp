#include "sim/TerminalSimulator.h"

#include <algorithm>
#include <cerrno>
#include <cctype>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

// Longest command line kept; longer lines are answered with ERROR. A full
// number list (255 numbers of 32 digits) fits comfortably.
constexpr std::size_t kMaxLineLength = 16384;
// Stream data waiting to be written is held at this size.
constexpr std::size_t kStreamBacklog = 64 * 1024;
constexpr auto kStreamTick = 5ms;

bool StartsWithNoCase(std::string_view text, std::string_view prefix)
{
    if (prefix.empty() || text.size() < prefix.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(text[i]))
            != std::tolower(static_cast<unsigned char>(prefix[i])))
            return false;
    }
    return true;
}

CommLineSettings SettingsFrom(const TerminalParameters& params)
{
    CommLineSettings settings;
    const long baud = std::strtol(params.serialBaudrate.c_str(), nullptr, 10);
    if (baud > 0)
        settings.baudRate = static_cast<int>(baud);
    // The first of these texts found in the mode decides; 8N1 otherwise.
    static constexpr std::pair<std::string_view, CommLineSettings> kModes[] = {
        {"8N1", {0, 8, 'N'}}, {"8E1", {0, 8, 'E'}}, {"8O1", {0, 8, 'O'}},
        {"7O1", {0, 7, 'O'}}, {"7E1", {0, 7, 'E'}}, {"7N1", {0, 7, 'N'}},
    };
    for (const auto& [text, mode] : kModes) {
        if (params.serialMode.find(text) != std::string::npos) {
            settings.dataBits = mode.dataBits;
            settings.parity = mode.parity;
            break;
        }
    }
    return settings;
}

int MillisecondsUntil(std::chrono::steady_clock::time_point when,
                      std::chrono::steady_clock::time_point now)
{
    if (when <= now)
        return 0;
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(when - now).count();
    return static_cast<int>(std::min<long long>(ms + 1, 60000));
}

}  // namespace

const char* TerminalModeName(TerminalMode mode)
{
    switch (mode) {
    case TerminalMode::Off: return "off";
    case TerminalMode::Booting: return "booting";
    case TerminalMode::Configuration: return "configuration";
    case TerminalMode::Communication: return "communication";
    case TerminalMode::Vanished: return "vanished";
    }
    return "?";
}

const std::string& TerminalSimulator::BootText()
{
    static const std::string text =
        "\r\n"
        "SIRENSET-SIM early-warning broadcast terminal\r\n"
        "Boot loader V1.4, hardware check passed\r\n"
        "Press 's' key to enter configure program.\r\n";
    return text;
}

TerminalSimulator::TerminalSimulator(SimulatorOptions options)
    : m_options(std::move(options))
{
    m_firmware.SetValidateValues(m_options.validateValues);
}

TerminalSimulator::~TerminalSimulator()
{
    Stop();
}

// ---------------------------------------------------------------- control

bool TerminalSimulator::Start()
{
    std::lock_guard lock(m_lock);
    if (m_running)
        return true;
    if (!m_pty.Open()) {
        m_lastError = m_pty.LastError();
        return false;
    }
    if (!m_options.linkPath.empty() && !m_pty.CreateLink(m_options.linkPath)) {
        m_lastError = m_pty.LastError();
        m_pty.Close();
        return false;
    }
    int fds[2];
    if (pipe2(fds, O_NONBLOCK | O_CLOEXEC) != 0) {
        m_lastError = std::string("pipe2: ") + std::strerror(errno);
        m_pty.Close();
        return false;
    }
    m_wakeRead = fds[0];
    m_wakeWrite = fds[1];

    m_mode = TerminalMode::Off;
    m_peerConnected = false;
    m_bootCount = 0;
    m_stopRequested = m_powerRequested = m_vanishRequested = false;
    CancelTimers();
    m_output.clear();
    m_line.clear();
    m_running = true;
    m_thread = std::thread(&TerminalSimulator::Run, this);
    return true;
}

void TerminalSimulator::Stop()
{
    {
        std::lock_guard lock(m_lock);
        if (!m_running)
            return;
        m_stopRequested = true;
    }
    Wake();
    m_thread.join();
    std::lock_guard lock(m_lock);
    m_pty.Close();
    ::close(m_wakeRead);
    ::close(m_wakeWrite);
    m_wakeRead = m_wakeWrite = -1;
    m_running = false;
    if (m_mode != TerminalMode::Vanished)
        m_mode = TerminalMode::Off;
    m_peerConnected = false;
}

bool TerminalSimulator::IsRunning() const
{
    std::lock_guard lock(m_lock);
    return m_running;
}

std::string TerminalSimulator::LastError() const
{
    std::lock_guard lock(m_lock);
    return m_lastError;
}

std::string TerminalSimulator::DevicePath() const
{
    std::lock_guard lock(m_lock);
    return m_pty.SlavePath();
}

std::string TerminalSimulator::LinkPath() const
{
    std::lock_guard lock(m_lock);
    return m_pty.LinkPath();
}

SimulatorOptions TerminalSimulator::Options() const
{
    std::lock_guard lock(m_lock);
    return m_options;
}

void TerminalSimulator::SetOptions(const SimulatorOptions& options)
{
    {
        std::lock_guard lock(m_lock);
        m_options = options;
        m_firmware.SetValidateValues(options.validateValues);
    }
    Wake();
}

void TerminalSimulator::PowerOn()
{
    {
        std::lock_guard lock(m_lock);
        m_powerRequested = true;
    }
    Wake();
}

void TerminalSimulator::Vanish()
{
    {
        std::lock_guard lock(m_lock);
        m_vanishRequested = true;
    }
    Wake();
}

TerminalMode TerminalSimulator::Mode() const
{
    std::lock_guard lock(m_lock);
    return m_mode;
}

int TerminalSimulator::BootCount() const
{
    std::lock_guard lock(m_lock);
    return m_bootCount;
}

bool TerminalSimulator::PeerConnected() const
{
    std::lock_guard lock(m_lock);
    return m_peerConnected;
}

int TerminalSimulator::PeerBaudRate() const
{
    std::lock_guard lock(m_lock);
    return m_pty.PeerBaudRate();
}

CommLineSettings TerminalSimulator::CommSettings() const
{
    std::lock_guard lock(m_lock);
    return m_commSettings;
}

std::string TerminalSimulator::ReceivedBytes() const
{
    std::lock_guard lock(m_lock);
    return m_received;
}

std::vector<std::string> TerminalSimulator::ReceivedCommands() const
{
    std::lock_guard lock(m_lock);
    return m_commands;
}

std::vector<std::chrono::steady_clock::time_point> TerminalSimulator::ReceivedCommandTimes() const
{
    std::lock_guard lock(m_lock);
    return m_commandTimes;
}

std::string TerminalSimulator::SentBytes() const
{
    std::lock_guard lock(m_lock);
    return m_sent;
}

std::optional<std::chrono::steady_clock::time_point> TerminalSimulator::LastSentTime() const
{
    std::lock_guard lock(m_lock);
    return m_lastSentAt;
}

void TerminalSimulator::ClearLogs()
{
    std::lock_guard lock(m_lock);
    m_received.clear();
    m_sent.clear();
    m_lastSentAt.reset();
    m_commands.clear();
    m_commandTimes.clear();
}

TerminalParameters TerminalSimulator::Parameters() const
{
    std::lock_guard lock(m_lock);
    return m_firmware.Parameters();
}

void TerminalSimulator::SetParameters(const TerminalParameters& params)
{
    std::lock_guard lock(m_lock);
    m_firmware.Parameters() = params;
}

void TerminalSimulator::ModifyParameters(const std::function<void(TerminalParameters&)>& change)
{
    std::lock_guard lock(m_lock);
    change(m_firmware.Parameters());
}

void TerminalSimulator::SetFactoryParameters(const TerminalParameters& params)
{
    std::lock_guard lock(m_lock);
    m_firmware.SetFactoryParameters(params);
}

TerminalIdentity TerminalSimulator::Identity() const
{
    std::lock_guard lock(m_lock);
    return m_firmware.Identity();
}

void TerminalSimulator::SetIdentity(const TerminalIdentity& identity)
{
    std::lock_guard lock(m_lock);
    m_firmware.Identity() = identity;
}

bool TerminalSimulator::EchoOn() const
{
    std::lock_guard lock(m_lock);
    return m_firmware.EchoOn();
}

std::time_t TerminalSimulator::ClockTime() const
{
    std::lock_guard lock(m_lock);
    return m_firmware.ClockTime(std::time(nullptr));
}

SimulatorFaults TerminalSimulator::Faults() const
{
    std::lock_guard lock(m_lock);
    return m_faults;
}

void TerminalSimulator::SetFaults(const SimulatorFaults& faults)
{
    std::lock_guard lock(m_lock);
    m_faults = faults;
}

void TerminalSimulator::SendRaw(const std::string& bytes)
{
    {
        std::lock_guard lock(m_lock);
        m_output.push_back({Clock::now(), bytes});
    }
    Wake();
}

void TerminalSimulator::SendGarbage(int count)
{
    {
        std::lock_guard lock(m_lock);
        m_output.push_back({Clock::now(), Noise(static_cast<std::size_t>(std::max(count, 0)))});
    }
    Wake();
}

void TerminalSimulator::SetCommMessage(const std::string& text, int periodMs)
{
    {
        std::lock_guard lock(m_lock);
        m_options.commMessage = text;
        m_options.commPeriodMs = periodMs;
        m_nextCommMessage.reset();
        if (m_mode == TerminalMode::Communication && periodMs > 0)
            m_nextCommMessage = Clock::now() + std::chrono::milliseconds(periodMs);
    }
    Wake();
}

void TerminalSimulator::StartStreaming(int bytesPerSecond, const std::string& pattern)
{
    {
        std::lock_guard lock(m_lock);
        m_streamRate = std::max(bytesPerSecond, 0);
        m_streamPattern = pattern.empty() ? std::string("0123456789") : pattern;
        m_streamPosition = 0;
        m_streamStart = Clock::now();
        m_streamProduced = 0;
    }
    Wake();
}

void TerminalSimulator::StopStreaming()
{
    std::lock_guard lock(m_lock);
    m_streamRate = 0;
    std::erase_if(m_output, [](const Outgoing& o) { return o.stream; });
}

std::uint64_t TerminalSimulator::StreamedBytes() const
{
    std::lock_guard lock(m_lock);
    return m_streamWritten;
}

std::uint64_t TerminalSimulator::StreamHeldBackBytes() const
{
    std::lock_guard lock(m_lock);
    return m_streamHeldBack;
}

// ----------------------------------------------------------------- thread

void TerminalSimulator::Wake()
{
    // Under the lock, so Stop() cannot close the pipe in between; the pipe
    // is non-blocking and a full pipe already means "wake up".
    std::lock_guard lock(m_lock);
    if (m_wakeWrite >= 0) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t n = ::write(m_wakeWrite, &byte, 1);
    }
}

void TerminalSimulator::DrainWakePipe()
{
    char buffer[64];
    while (::read(m_wakeRead, buffer, sizeof buffer) > 0) {
    }
}

void TerminalSimulator::Run()
{
    std::unique_lock lock(m_lock);
    while (!m_stopRequested) {
        auto now = Clock::now();
        HandleRequests(now);
        CheckPeer(now);
        HandleTimers(now);
        ProduceStream(now);
        FlushOutput(now);

        pollfd fds[2] = {{m_wakeRead, POLLIN, 0}, {-1, 0, 0}};
        nfds_t count = 1;
        if (m_pty.IsOpen() && m_peerConnected) {
            fds[1] = {m_pty.MasterFd(), static_cast<short>(POLLIN | (OutputDue(now) ? POLLOUT : 0)), 0};
            count = 2;
        }
        const int timeout = PollTimeoutMs(now);

        lock.unlock();
        const int ready = ::poll(fds, count, timeout);
        lock.lock();

        if (ready <= 0)
            continue;
        if (fds[0].revents & POLLIN)
            DrainWakePipe();
        if (count == 2 && (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) && m_pty.IsOpen())
            ReadInput(Clock::now());
    }
}

void TerminalSimulator::HandleRequests(Clock::time_point now)
{
    if (m_vanishRequested) {
        m_vanishRequested = false;
        m_powerRequested = false;
        DoVanish();
    }
    if (m_powerRequested) {
        m_powerRequested = false;
        if (m_mode != TerminalMode::Vanished)
            Boot(now);
    }
}

void TerminalSimulator::CheckPeer(Clock::time_point now)
{
    if (!m_pty.IsOpen())
        return;
    const bool connected = m_pty.PeerConnected();
    if (connected == m_peerConnected)
        return;
    m_peerConnected = connected;
    if (connected) {
        if (m_options.powerOnWhenOpened)
            m_powerOnAt = now + std::chrono::milliseconds(m_options.powerOnDelayMs);
    } else {
        GoOff();
    }
}

void TerminalSimulator::HandleTimers(Clock::time_point now)
{
    if (m_powerOnAt && *m_powerOnAt <= now)
        Boot(now);
    if (m_restartAt && *m_restartAt <= now)
        Boot(now);
    if (m_mode == TerminalMode::Booting && m_bootWindowEnd && *m_bootWindowEnd <= now)
        EnterCommunication(now);
    if (m_mode == TerminalMode::Communication && m_nextCommMessage && *m_nextCommMessage <= now) {
        if (!m_options.commMessage.empty())
            QueueImmediate(CommOutput(m_options.commMessage), now);
        const auto period = std::chrono::milliseconds(std::max(m_options.commPeriodMs, 1));
        m_nextCommMessage = std::max(*m_nextCommMessage + period, now);
    }
}

void TerminalSimulator::ProduceStream(Clock::time_point now)
{
    const bool active = m_streamRate > 0 && m_mode == TerminalMode::Communication && m_peerConnected;
    if (!active) {
        // The rate budget starts again when streaming becomes possible.
        m_streamStart = now;
        m_streamProduced = 0;
        return;
    }
    std::size_t backlog = 0;
    for (const auto& o : m_output) {
        if (o.stream)
            backlog += o.bytes.size();
    }
    const double seconds = std::chrono::duration<double>(now - m_streamStart).count();
    const auto budget = static_cast<std::uint64_t>(seconds * m_streamRate);
    if (budget <= m_streamProduced)
        return;
    std::uint64_t wanted = budget - m_streamProduced;
    if (backlog >= kStreamBacklog) {
        // The reader is slower than the rate: hold back and forget the credit.
        m_streamHeldBack += wanted;
        m_streamProduced = budget;
        return;
    }
    const std::uint64_t room = kStreamBacklog - backlog;
    if (wanted > room) {
        m_streamHeldBack += wanted - room;
        wanted = room;
    }
    std::string bytes;
    bytes.reserve(static_cast<std::size_t>(wanted));
    for (std::uint64_t i = 0; i < wanted; ++i) {
        bytes.push_back(m_streamPattern[m_streamPosition]);
        m_streamPosition = (m_streamPosition + 1) % m_streamPattern.size();
    }
    m_streamProduced = budget;
    QueueImmediate(CommOutput(bytes), now, true);
}

void TerminalSimulator::ReadInput(Clock::time_point now)
{
    char buffer[4096];
    while (m_pty.IsOpen()) {
        const ssize_t n = ::read(m_pty.MasterFd(), buffer, sizeof buffer);
        if (n <= 0)
            return;  // EAGAIN: all read; EIO: the program closed the device
        const std::string_view bytes(buffer, static_cast<std::size_t>(n));
        AppendLog(m_received, bytes);
        HandleBytes(bytes, now);
    }
}

void TerminalSimulator::HandleBytes(std::string_view bytes, Clock::time_point now)
{
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        switch (m_mode) {
        case TerminalMode::Off:
        case TerminalMode::Vanished:
            return;
        case TerminalMode::Booting:
            if (c == 's')
                EnterConfiguration(now);
            break;
        case TerminalMode::Configuration:
            if (!m_restartAt)
                HandleConfigurationByte(c, now);
            break;
        case TerminalMode::Communication:
            if (m_options.commEcho)
                QueueImmediate(CommOutput(bytes.substr(i)), now);
            return;
        }
    }
}

void TerminalSimulator::HandleConfigurationByte(char c, Clock::time_point now)
{
    if (m_firmware.EchoOn())
        QueueImmediate(std::string(1, c), now);
    // The tool presses the boot key 's' until it has seen "AT+LIST", so a
    // few more may come before its first command; the boot loader still
    // takes those. Any other byte starts the command line.
    if (m_bootKeysLeft && m_line.empty() && c == 's')
        return;
    m_bootKeysLeft = false;
    // One CR ends a line; a LF is a byte of the line like any other, so the
    // LF of a CR LF starts the next line, which no command matches.
    if (c == '\r') {
        std::string line;
        line.swap(m_line);
        if (m_lineTooLong) {
            m_lineTooLong = false;
            QueueReply("ERROR\r\n", now);
        } else if (!line.empty()) {
            HandleCommandLine(line, now);
        }
        return;
    }
    if (m_line.size() >= kMaxLineLength) {
        m_lineTooLong = true;
        m_line.clear();
        return;
    }
    if (!m_lineTooLong)
        m_line.push_back(c);
}

void TerminalSimulator::HandleCommandLine(const std::string& line, Clock::time_point now)
{
    m_commands.push_back(line);
    m_commandTimes.push_back(now);
    if (StartsWithNoCase(line, m_faults.vanishPrefix)) {
        DoVanish();
        return;
    }
    for (const auto& prefix : m_faults.silentPrefixes) {
        if (StartsWithNoCase(line, prefix))
            return;
    }
    for (const auto& prefix : m_faults.ignoredPrefixes) {
        if (StartsWithNoCase(line, prefix)) {
            QueueReply("OK\r\n", now);
            return;
        }
    }
    CommandOutcome outcome = m_firmware.Execute(line, std::time(nullptr));
    QueueReply(std::move(outcome.reply), now);
    if (outcome.restart)
        m_restartAt = LastDue(now) + std::chrono::milliseconds(m_options.restartDelayMs);
}

void TerminalSimulator::FlushOutput(Clock::time_point now)
{
    if (!m_peerConnected || !m_pty.IsOpen()) {
        // Nobody listens: what the terminal prints now is lost, as on a
        // real line without a receiver.
        m_output.clear();
        return;
    }
    while (!m_output.empty() && m_output.front().due <= now) {
        Outgoing& front = m_output.front();
        // Taken before the write: once it returns the reader may already
        // have the bytes.
        const Clock::time_point leaving = Clock::now();
        const ssize_t n = ::write(m_pty.MasterFd(), front.bytes.data(), front.bytes.size());
        if (n <= 0)
            return;  // EAGAIN: the program is not reading; POLLOUT resumes
        const auto written = static_cast<std::size_t>(n);
        if (front.stream) {
            m_streamWritten += written;
        } else {
            AppendLog(m_sent, std::string_view(front.bytes).substr(0, written));
            m_lastSentAt = leaving;
        }
        front.bytes.erase(0, written);
        if (front.bytes.empty())
            m_output.pop_front();
    }
}

bool TerminalSimulator::OutputDue(Clock::time_point now) const
{
    return !m_output.empty() && m_output.front().due <= now;
}

int TerminalSimulator::PollTimeoutMs(Clock::time_point now) const
{
    int timeout = -1;
    const auto consider = [&](int ms) { timeout = timeout < 0 ? ms : std::min(timeout, ms); };
    for (const auto& deadline : {m_powerOnAt, m_restartAt, m_bootWindowEnd, m_nextCommMessage}) {
        if (deadline)
            consider(MillisecondsUntil(*deadline, now));
    }
    if (!m_output.empty() && m_output.front().due > now)
        consider(MillisecondsUntil(m_output.front().due, now));
    if (m_streamRate > 0 && m_mode == TerminalMode::Communication && m_peerConnected)
        consider(static_cast<int>(kStreamTick.count()));
    if (m_pty.IsOpen() && !m_peerConnected)
        consider(std::max(m_options.peerPollMs, 1));
    return timeout;
}

// ------------------------------------------------------------ transitions

void TerminalSimulator::CancelTimers()
{
    m_powerOnAt.reset();
    m_bootWindowEnd.reset();
    m_restartAt.reset();
    m_nextCommMessage.reset();
}

void TerminalSimulator::Boot(Clock::time_point now)
{
    CancelTimers();
    m_output.clear();
    m_line.clear();
    m_lineTooLong = false;
    m_firmware.SetEcho(true);
    m_mode = TerminalMode::Booting;
    ++m_bootCount;
    QueueText(BootText(), now);
    m_bootWindowEnd = LastDue(now) + std::chrono::milliseconds(m_options.bootWindowMs);
}

void TerminalSimulator::EnterConfiguration(Clock::time_point now)
{
    m_bootWindowEnd.reset();
    m_mode = TerminalMode::Configuration;
    m_line.clear();
    m_bootKeysLeft = true;
    QueueText("\r\nAT+LIST\r\n", LastDue(now));
}

void TerminalSimulator::EnterCommunication(Clock::time_point now)
{
    m_bootWindowEnd.reset();
    m_mode = TerminalMode::Communication;
    m_commSettings = SettingsFrom(m_firmware.Parameters());
    if (m_options.commPeriodMs > 0)
        m_nextCommMessage = now + std::chrono::milliseconds(m_options.commPeriodMs);
}

void TerminalSimulator::GoOff()
{
    CancelTimers();
    m_output.clear();
    m_line.clear();
    m_lineTooLong = false;
    if (m_mode != TerminalMode::Vanished)
        m_mode = TerminalMode::Off;
}

void TerminalSimulator::DoVanish()
{
    m_pty.Close();
    m_peerConnected = false;
    GoOff();
    m_mode = TerminalMode::Vanished;
}

// ----------------------------------------------------------------- output

TerminalSimulator::Clock::time_point TerminalSimulator::LastDue(Clock::time_point now) const
{
    return m_output.empty() ? now : std::max(now, m_output.back().due);
}

void TerminalSimulator::QueueImmediate(const std::string& bytes, Clock::time_point now, bool stream)
{
    if (bytes.empty())
        return;
    // Joins the last piece when that one is due already, so echo of a long
    // input does not become thousands of pieces.
    if (!m_output.empty() && m_output.back().due <= now && m_output.back().stream == stream) {
        m_output.back().bytes.append(bytes);
        return;
    }
    m_output.push_back({LastDue(now), bytes, stream});
}

void TerminalSimulator::QueueText(const std::string& text, Clock::time_point start)
{
    const int size = m_faults.chunkSize;
    if (size <= 0) {
        m_output.push_back({start, text});
        return;
    }
    const auto pause = std::chrono::milliseconds(std::max(m_faults.chunkPauseMs, 0));
    auto due = start;
    for (std::size_t offset = 0; offset < text.size(); offset += static_cast<std::size_t>(size)) {
        m_output.push_back({due, text.substr(offset, static_cast<std::size_t>(size))});
        due += pause;
    }
}

void TerminalSimulator::QueueReply(std::string reply, Clock::time_point now)
{
    if (m_faults.zeroBytes) {
        std::string withZeros;
        withZeros.push_back('\0');
        for (std::size_t i = 0; i < reply.size(); ++i) {
            withZeros.push_back(reply[i]);
            if (reply[i] == '\n' && i + 1 < reply.size())
                withZeros.push_back('\0');
        }
        reply.swap(withZeros);
    }
    if (m_faults.garbageBytes > 0)
        reply.insert(0, Noise(static_cast<std::size_t>(m_faults.garbageBytes)));
    const auto start = std::max(LastDue(now), now + std::chrono::milliseconds(std::max(m_faults.replyDelayMs, 0)));
    QueueText(reply, start);
}

std::string TerminalSimulator::Noise(std::size_t count)
{
    std::string bytes(count, '\0');
    for (auto& b : bytes)
        b = static_cast<char>(0x80 + m_random() % 0x80);
    return bytes;
}

std::string TerminalSimulator::CommOutput(std::string_view bytes)
{
    if (m_options.checkCommBaudRate && m_pty.PeerBaudRate() != m_commSettings.baudRate)
        return Noise(bytes.size());
    return std::string(bytes);
}

void TerminalSimulator::AppendLog(std::string& log, std::string_view bytes) const
{
    log.append(bytes);
    if (m_options.logLimitBytes > 0 && log.size() > m_options.logLimitBytes)
        log.erase(0, log.size() - m_options.logLimitBytes / 2);
}

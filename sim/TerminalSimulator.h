#pragma once

#include "sim/PseudoTerminal.h"
#include "sim/SimulatorOptions.h"
#include "sim/TerminalCommandInterpreter.h"
#include "sim/TerminalParameters.h"

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

enum class TerminalMode {
    Off,            // no program holds the device (or not powered yet)
    Booting,        // boot text printed, waiting for 's'
    Configuration,  // "AT+LIST" printed, answering AT commands
    Communication,  // plain data device
    Vanished,       // the device was removed (Vanish() or a vanish fault)
};
const char* TerminalModeName(TerminalMode mode);

// The terminal's own line settings in communication mode, taken from its
// serialBaudrate and serialMode when it enters that mode.
struct CommLineSettings {
    int baudRate = 115200;
    int dataBits = 8;
    char parity = 'N';  // 'N', 'E' or 'O'
    bool operator==(const CommLineSettings&) const = default;
};

// Stands in for the early-warning broadcast terminal on a pseudo-terminal.
// The tool (or a test) opens DevicePath() as its serial port; the
// simulator answers on its own thread, byte for byte as the terminal does.
//
// Life of the terminal:
//   Off --program opens the device / PowerOn()--> Booting: prints the boot
//   text (CR LF lines, containing "Press 's' key" and "configure
//   program."). An 's' within bootWindowMs -> prints "\r\nAT+LIST\r\n" and
//   enters Configuration with echo on; otherwise -> Communication.
//   Configuration: bytes are collected into command lines, each ended by
//   one CR; a LF is part of the next line (so after CR LF the next command
//   is refused) and empty lines are ignored. The only bytes dropped are
//   late boot keys: 's' before the first command after "AT+LIST". While
//   echo is on every received byte is echoed back. Each line goes through
//   TerminalCommandInterpreter (commands in the tool's own case, exactly);
//   "at+reset" answers OK, waits
//   restartDelayMs and boots again (ending in Communication unless an 's'
//   comes). Communication: received bytes are echoed (commEcho), the
//   periodic message and the byte stream run. The program closing the
//   device -> Off (power-on happens again at the next open).
//
// Thread-safety: every public member may be called from any thread.
// Timing values come from SimulatorOptions; tests shorten them.
class TerminalSimulator {
public:
    explicit TerminalSimulator(SimulatorOptions options = {});
    ~TerminalSimulator();

    TerminalSimulator(const TerminalSimulator&) = delete;
    TerminalSimulator& operator=(const TerminalSimulator&) = delete;

    // Creates the pseudo-terminal (and the link) and starts the thread.
    // False with LastError() when the device cannot be made.
    bool Start();
    // Ends the thread, closes the device and removes the link.
    void Stop();
    bool IsRunning() const;
    std::string LastError() const;

    // The slave device the tool opens, e.g. "/dev/pts/3"; and the link.
    std::string DevicePath() const;
    std::string LinkPath() const;

    SimulatorOptions Options() const;
    // Takes effect at once for timings; linkPath only at the next Start().
    void SetOptions(const SimulatorOptions& options);

    // --- Power --------------------------------------------------------
    // Power-cycles the terminal now (boot text at once, no power-on delay).
    void PowerOn();
    // Removes the device now, as if unplugged: the master is closed, the
    // tool's port sees a hang-up, the link goes. Only Stop()/Start() makes
    // a new device (with a new path).
    void Vanish();
    TerminalMode Mode() const;
    // Boots since Start(): power-ons and restarts.
    int BootCount() const;
    // True while a program holds the device open.
    bool PeerConnected() const;
    // Baud rate the program set on the device (0 when unknown).
    int PeerBaudRate() const;
    CommLineSettings CommSettings() const;

    // --- What the tool sent --------------------------------------------
    // Every byte read from the line since Start() or ClearLogs(), any mode.
    std::string ReceivedBytes() const;
    // Configuration-mode command lines in order, without their CR, after
    // the boot-key rule above; includes lines that were swallowed by a fault.
    std::vector<std::string> ReceivedCommands() const;
    // When each of ReceivedCommands() was complete (its CR read), for
    // measuring how long the tool waits before its next command.
    std::vector<std::chrono::steady_clock::time_point> ReceivedCommandTimes() const;
    // Every byte written to the line (stream data excepted).
    std::string SentBytes() const;
    // When the newest byte of SentBytes() was handed to the line (taken just
    // before the write that sent it), for measuring how long the tool takes after a
    // reply's last byte; empty while SentBytes() is.
    std::optional<std::chrono::steady_clock::time_point> LastSentTime() const;
    void ClearLogs();

    // --- Terminal memory -----------------------------------------------
    TerminalParameters Parameters() const;
    void SetParameters(const TerminalParameters& params);
    void ModifyParameters(const std::function<void(TerminalParameters&)>& change);
    // What "AT+FACTORY" restores (TerminalParameters::Defaults() at first).
    void SetFactoryParameters(const TerminalParameters& params);
    TerminalIdentity Identity() const;
    void SetIdentity(const TerminalIdentity& identity);
    bool EchoOn() const;
    // The terminal's clock now ("AT+EXCCLK?" shows it).
    std::time_t ClockTime() const;

    // --- Faults ----------------------------------------------------------
    SimulatorFaults Faults() const;
    void SetFaults(const SimulatorFaults& faults);
    // Sends these bytes now, whatever the mode (e.g. a banner at the wrong
    // time, or raw garbage). Like everything the terminal prints, they are
    // lost while no program holds the device.
    void SendRaw(const std::string& bytes);
    // Sends `count` noise bytes (0x80..0xFF).
    void SendGarbage(int count);

    // --- Communication mode ----------------------------------------------
    void SetCommMessage(const std::string& text, int periodMs);
    // Sends `pattern` over and over at about `bytesPerSecond` while in
    // Communication mode and a program holds the device; data is held back
    // (not lost) when the reader is slower. Default pattern: "0123456789".
    void StartStreaming(int bytesPerSecond, const std::string& pattern = {});
    void StopStreaming();
    // Stream bytes written to the line so far.
    std::uint64_t StreamedBytes() const;
    // Stream bytes the rate called for but that were never written because
    // the reader fell behind (a real line would have lost them).
    std::uint64_t StreamHeldBackBytes() const;

    // Boot text of the terminal, as printed at every boot.
    static const std::string& BootText();

private:
    using Clock = std::chrono::steady_clock;
    struct Outgoing {
        Clock::time_point due;
        std::string bytes;
        bool stream = false;
    };

    void Run();
    void Wake();
    void DrainWakePipe();

    // Everything below runs on the simulator thread with m_lock held.
    void HandleRequests(Clock::time_point now);
    void CheckPeer(Clock::time_point now);
    void HandleTimers(Clock::time_point now);
    void ProduceStream(Clock::time_point now);
    void ReadInput(Clock::time_point now);
    void HandleBytes(std::string_view bytes, Clock::time_point now);
    void HandleConfigurationByte(char c, Clock::time_point now);
    void HandleCommandLine(const std::string& line, Clock::time_point now);
    void FlushOutput(Clock::time_point now);
    int PollTimeoutMs(Clock::time_point now) const;
    bool OutputDue(Clock::time_point now) const;

    void Boot(Clock::time_point now);
    void EnterConfiguration(Clock::time_point now);
    void EnterCommunication(Clock::time_point now);
    void GoOff();
    void DoVanish();
    void CancelTimers();

    void QueueText(const std::string& text, Clock::time_point start);
    void QueueReply(std::string reply, Clock::time_point now);
    void QueueImmediate(const std::string& bytes, Clock::time_point now, bool stream = false);
    Clock::time_point LastDue(Clock::time_point now) const;
    std::string Noise(std::size_t count);
    std::string CommOutput(std::string_view bytes);
    void AppendLog(std::string& log, std::string_view bytes) const;

    mutable std::mutex m_lock;
    SimulatorOptions m_options;
    SimulatorFaults m_faults;
    PseudoTerminal m_pty;
    TerminalCommandInterpreter m_firmware;
    std::thread m_thread;
    int m_wakeRead = -1;
    int m_wakeWrite = -1;
    std::string m_lastError;

    bool m_running = false;
    bool m_stopRequested = false;
    bool m_powerRequested = false;
    bool m_vanishRequested = false;

    TerminalMode m_mode = TerminalMode::Off;
    bool m_peerConnected = false;
    int m_bootCount = 0;
    std::optional<Clock::time_point> m_powerOnAt;
    std::optional<Clock::time_point> m_bootWindowEnd;
    std::optional<Clock::time_point> m_restartAt;
    std::optional<Clock::time_point> m_nextCommMessage;
    CommLineSettings m_commSettings;

    std::string m_line;
    bool m_lineTooLong = false;
    bool m_bootKeysLeft = false;  // 's' may still come before the first command
    std::deque<Outgoing> m_output;

    int m_streamRate = 0;
    std::string m_streamPattern;
    std::size_t m_streamPosition = 0;
    Clock::time_point m_streamStart;
    std::uint64_t m_streamProduced = 0;
    std::uint64_t m_streamWritten = 0;
    std::uint64_t m_streamHeldBack = 0;

    std::string m_received;
    std::string m_sent;
    std::optional<Clock::time_point> m_lastSentAt;
    std::vector<std::string> m_commands;
    std::vector<Clock::time_point> m_commandTimes;
    std::minstd_rand m_random{20240510u};
};

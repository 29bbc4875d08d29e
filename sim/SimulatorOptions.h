#pragma once

#include <cstddef>
#include <string>
#include <vector>

// Settings of a TerminalSimulator. Durations in milliseconds.
struct SimulatorOptions {
    // Symbolic link made to the slave device at Start() (empty: none) and
    // removed at Stop() or when the terminal vanishes.
    std::string linkPath;

    // After the boot text, how long the terminal waits for 's' before it
    // starts in communication mode.
    int bootWindowMs = 3000;
    // Pause between seeing a program open the device and printing the boot
    // text, so the tool's own port set-up (which purges the line) is over.
    int powerOnDelayMs = 100;
    // Pause between the answer to "at+reset" and the boot text.
    int restartDelayMs = 300;
    // While no program holds the device, how often to look for one.
    int peerPollMs = 10;
    // Power on when a program opens the device; when false only PowerOn()
    // boots the terminal.
    bool powerOnWhenOpened = true;

    // Communication mode: echo what arrives; optionally print `commMessage`
    // every `commPeriodMs` (0: never).
    bool commEcho = true;
    std::string commMessage;
    int commPeriodMs = 0;
    // When true, in communication mode the terminal compares the baud rate
    // the tool set on the device with its own serialBaudrate and, if they
    // differ, sends noise in place of every byte, as a real line would
    // deliver it. Ptys keep only the speed, not data bits or parity.
    bool checkCommBaudRate = false;

    // Setter values are checked as the header of TerminalCommandInterpreter
    // describes; false stores whatever arrives.
    bool validateValues = true;

    // The byte logs keep at most this many bytes each (the oldest half is
    // dropped when the limit is passed).
    std::size_t logLimitBytes = 8u << 20;
};

// Misbehaviour on demand, for tests of the tool's failure paths. May be
// changed at any time; a change applies to the next command.
struct SimulatorFaults {
    // Command lines starting with one of these texts (case-insensitive,
    // e.g. "at+ipad=") are swallowed: no answer, no effect.
    std::vector<std::string> silentPrefixes;
    // Command lines starting with one of these texts are answered "OK" as
    // if they were taken, but change nothing: a terminal that acknowledges
    // a setting it does not keep.
    std::vector<std::string> ignoredPrefixes;
    // A command line starting with this text (case-insensitive) makes the
    // terminal vanish at once, without answering (empty: never).
    std::string vanishPrefix;
    // Pause before each command reply starts.
    int replyDelayMs = 0;
    // When > 0, every text the terminal prints (boot text, "AT+LIST",
    // replies) goes out in pieces of this many bytes with `chunkPauseMs`
    // between them. Echo and communication-mode data are not split.
    int chunkSize = 0;
    int chunkPauseMs = 0;
    // A zero byte at the start of every line of a command reply.
    bool zeroBytes = false;
    // This many noise bytes (0x80..0xFF, never ASCII text) before every
    // command reply.
    int garbageBytes = 0;
};

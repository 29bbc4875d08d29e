#pragma once

#include "sim/TerminalParameters.h"

#include <ctime>
#include <string>
#include <string_view>
#include <vector>

// What the simulated terminal answers to one configuration-mode command.
struct CommandOutcome {
    std::string reply;     // bytes to send back ("OK\r\n", "ERROR\r\n", a report, ...)
    bool restart = false;  // "at+reset": reboot once the reply has gone out
};

// Texts and states the terminal reports about itself.
struct TerminalIdentity {
    std::string moduleType = "SIRENSET-SIM LRM-200 GSM/GPRS";  // "ati"
    std::string moduleRevision = "LRM200R03A01";               // "AT+CGMR"
    std::string firmwareVersion = "SIRENSET-SIM V2.3.1 2024-05-10";  // "AT+VER"
    bool simReady = true;   // "AT+CPIN?": READY or NOT INSERTED (then ERROR)
    int signalQuality = 23; // "at+csq": "+CSQ: 23,99"
    int signalBitError = 99;
    // How "at+csq" is answered: as above, not at all, or with a reply that
    // has no level in it (a confused modem).
    enum class SignalAnswer { Normal, Silent, Garbled };
    SignalAnswer signalAnswer = SignalAnswer::Normal;
};

// "17", "17,3", "silent", "garbled" or "normal": the signal the terminal
// reports from now on. False (nothing changed) for any other text.
bool ApplySignalSetting(const std::string& text, TerminalIdentity& identity);

// The command side of the simulated terminal's firmware, without any I/O:
// it takes one command line (without its CR), changes the terminal's
// memory and returns the reply. Not thread-safe; TerminalSimulator guards
// it with its own lock.
//
// A command is taken only in the case the tool sends it (the text before
// "=" compared byte for byte, both "AT+SHOW" and "at+show" known), with
// nothing before or after it; values are taken byte for byte. Answers:
//   at+noecho (echo off)                            -> "OK\r\n"
//   AT+LRMMCUFUN?                                   -> "+LRMMCUFUN: <commModule>\r\nOK\r\n"
//   ati, AT+CGMR, AT+VER                            -> identity line, OK
//   AT+SHOW, at+show                                -> ParameterReport::Build
//   AT+EXCCLK?                                      -> "+EXCCLK: \"yyyy/MM/dd,HH:mm:ss\",w\r\nOK\r\n"
//   AT+EXCCLK="yyyy/MM/dd,HH:mm:ss",w               -> sets the clock, OK (every field
//                                                      zero-padded, w = the date's weekday 0..6)
//   AT+CPIN?, at+csq, at+ipr? (serialBaudrate)      -> status line, OK
//   AT+FACTORY                                      -> factory parameters restored, OK
//   at+reset                                        -> OK, restart = true
//   AT+LRMSNDPOWER                                  -> a notice line, OK
//   AT+LRM{ADD,DEL,SET}{ADMINNO,LRMNO,BKNO}=a,b,... -> list changed, OK
//   every setter of the tool's save procedures      -> value stored, OK
//   anything else, or a value the terminal refuses  -> "ERROR\r\n"
//
// Value checks (while validation is on; SetValidateValues(false) stores
// whatever arrives, numbers read like atoi): decimal settings need digits
// only, within the setting's range (priorities 0..10, play counts and ports
// 0..65535, yes/no 0..1, FM frequency 7600..10800, FM volume 0..47, MP3
// volume 0..26, MP3 mode 0..2, TTS level/speed/tone 1..10, module 1..2,
// heartbeat 31..65535, retries 2..65535, redial wait 30..65535, debug
// level 0..2, server count 0..1); the device ID needs 8 hexadecimal
// characters; texts must fit the report (see ParameterReport); numbers in a
// list are 1..32 characters of digits or "+", at most 255 per list; an
// intercom or pick-up switch reported as "2" (module absent) cannot be set.
class TerminalCommandInterpreter {
public:
    TerminalCommandInterpreter();

    // `now` is the system time; the terminal's clock runs at an offset to it.
    CommandOutcome Execute(std::string_view line, std::time_t now);

    TerminalParameters& Parameters() { return m_params; }
    const TerminalParameters& Parameters() const { return m_params; }

    const TerminalParameters& FactoryParameters() const { return m_factory; }
    void SetFactoryParameters(const TerminalParameters& params) { m_factory = params; }

    TerminalIdentity& Identity() { return m_identity; }
    const TerminalIdentity& Identity() const { return m_identity; }

    bool EchoOn() const { return m_echo; }
    void SetEcho(bool on) { m_echo = on; }

    bool ValidateValues() const { return m_validate; }
    void SetValidateValues(bool on) { m_validate = on; }

    // The terminal's clock for the given system time, and its reset to the
    // system time (the clock keeps its offset across reboots, as an RTC does).
    std::time_t ClockTime(std::time_t now) const { return now + m_clockOffset; }
    void ResetClock() { m_clockOffset = 0; }

private:
    CommandOutcome Query(const std::string& name, std::time_t now);
    bool SetValue(const std::string& name, std::string_view value, std::time_t now);
    bool SetClock(std::string_view value, std::time_t now);
    bool ChangeNumberList(const std::string& name, std::string_view value);
    std::string ClockReply(std::time_t now) const;

    TerminalParameters m_params = TerminalParameters::Defaults();
    TerminalParameters m_factory = TerminalParameters::Defaults();
    TerminalIdentity m_identity;
    bool m_echo = true;
    bool m_validate = true;
    std::time_t m_clockOffset = 0;
};

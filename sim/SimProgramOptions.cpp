#include "sim/SimProgramOptions.h"

#include "sim/TerminalCommandInterpreter.h"

#include <cctype>
#include <functional>
#include <map>
#include <optional>

namespace {

std::optional<int> NonNegative(const std::string& text)
{
    if (text.empty() || text.size() > 9)
        return std::nullopt;
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

}  // namespace

std::string SimProgramOptions::HelpText()
{
    return "Usage: sirenset-sim [options]\n"
           "Simulates the early-warning broadcast terminal on a pseudo-terminal.\n"
           "Prints the device path as the first line of standard output.\n"
           "\n"
           "Options:\n"
           "  --link PATH            make a symbolic link PATH to the device\n"
           "  --boot-window MS       time to press 's' after power-on (3000)\n"
           "  --power-on-delay MS    pause between the port opening and the boot text (100)\n"
           "  --restart-delay MS     pause between the answer to at+reset and the reboot (300)\n"
           "  --comm-message TEXT    message sent periodically in communication mode\n"
           "                         (\\r, \\n, \\t, \\\\ and \\xHH are understood)\n"
           "  --comm-period MS       period of that message (0 = never)\n"
           "  --no-comm-echo         do not echo data in communication mode\n"
           "  --stream RATE          stream data at RATE bytes/s in communication mode\n"
           "  --check-baud           send noise in communication mode when the port's\n"
           "                         baud rate differs from the terminal's own\n"
           "  --no-validate          store setter values without checking them\n"
           "  --signal SETTING       the signal at+csq reports: LEVEL or LEVEL,BER (\"17\",\n"
           "                         \"17,3\"), or \"silent\" (no answer), \"garbled\" (no level)\n"
           "Faults:\n"
           "  --silent PREFIX        never answer commands starting with PREFIX (repeatable)\n"
           "  --ignore PREFIX        answer OK to commands starting with PREFIX but keep nothing (repeatable)\n"
           "  --vanish-on PREFIX     remove the device when such a command arrives\n"
           "  --reply-delay MS       wait before every reply\n"
           "  --chunk-size N         send texts in pieces of N bytes ...\n"
           "  --chunk-pause MS       ... with this pause between pieces\n"
           "  --zero-bytes           put a zero byte before every reply line\n"
           "  --garbage N            send N noise bytes before every reply\n"
           "Other:\n"
           "  --verbose              report commands and mode changes on standard error\n"
           "  -h, --help             show this text\n"
           "\n"
           "Standard input: \"power\" power-cycles the terminal, \"vanish\" removes\n"
           "the device, \"mode\" prints the current mode, \"signal SETTING\" changes the\n"
           "signal as --signal does, \"quit\" ends the program.\n"
           "SIGUSR1 power-cycles the terminal; SIGINT and SIGTERM end the program.\n";
}

std::string SimProgramOptions::Unescape(const std::string& text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 >= text.size()) {
            out.push_back(text[i]);
            continue;
        }
        const char next = text[++i];
        switch (next) {
        case 'r': out.push_back('\r'); break;
        case 'n': out.push_back('\n'); break;
        case 't': out.push_back('\t'); break;
        case '\\': out.push_back('\\'); break;
        case 'x':
            if (i + 2 < text.size() && HexDigit(text[i + 1]) >= 0 && HexDigit(text[i + 2]) >= 0) {
                out.push_back(static_cast<char>(HexDigit(text[i + 1]) * 16 + HexDigit(text[i + 2])));
                i += 2;
                break;
            }
            [[fallthrough]];
        default:
            out.push_back('\\');
            out.push_back(next);
        }
    }
    return out;
}

SimProgramOptions SimProgramOptions::Parse(const std::vector<std::string>& args)
{
    SimProgramOptions o;
    using Setter = std::function<bool(const std::string&)>;
    const auto number = [](int& target) -> Setter {
        return [&target](const std::string& value) {
            const auto n = NonNegative(value);
            if (n)
                target = *n;
            return n.has_value();
        };
    };
    const std::map<std::string, Setter> withValue = {
        {"--link", [&o](const std::string& v) { o.simulator.linkPath = v; return !v.empty(); }},
        {"--boot-window", number(o.simulator.bootWindowMs)},
        {"--power-on-delay", number(o.simulator.powerOnDelayMs)},
        {"--restart-delay", number(o.simulator.restartDelayMs)},
        {"--comm-message", [&o](const std::string& v) { o.simulator.commMessage = Unescape(v); return true; }},
        {"--comm-period", number(o.simulator.commPeriodMs)},
        {"--stream", number(o.streamRate)},
        {"--silent", [&o](const std::string& v) { o.faults.silentPrefixes.push_back(v); return !v.empty(); }},
        {"--ignore", [&o](const std::string& v) { o.faults.ignoredPrefixes.push_back(v); return !v.empty(); }},
        {"--vanish-on", [&o](const std::string& v) { o.faults.vanishPrefix = v; return !v.empty(); }},
        {"--reply-delay", number(o.faults.replyDelayMs)},
        {"--chunk-size", number(o.faults.chunkSize)},
        {"--chunk-pause", number(o.faults.chunkPauseMs)},
        {"--garbage", number(o.faults.garbageBytes)},
        {"--signal",
         [&o](const std::string& v) {
             TerminalIdentity probe;
             o.signal = v;
             return ApplySignalSetting(v, probe);
         }},
    };
    const std::map<std::string, std::function<void()>> flags = {
        {"--no-comm-echo", [&o] { o.simulator.commEcho = false; }},
        {"--check-baud", [&o] { o.simulator.checkCommBaudRate = true; }},
        {"--no-validate", [&o] { o.simulator.validateValues = false; }},
        {"--zero-bytes", [&o] { o.faults.zeroBytes = true; }},
        {"--verbose", [&o] { o.verbose = true; }},
        {"--help", [&o] { o.showHelp = true; }},
        {"-h", [&o] { o.showHelp = true; }},
    };

    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::optional<std::string> value;
        if (const auto eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = name.substr(eq + 1);
            name.resize(eq);
        }
        if (const auto flag = flags.find(name); flag != flags.end() && !value) {
            flag->second();
            continue;
        }
        const auto setter = withValue.find(name);
        if (setter == withValue.end()) {
            o.error = "unknown option: " + args[i];
            return o;
        }
        if (!value) {
            if (i + 1 >= args.size()) {
                o.error = "option " + name + " needs a value";
                return o;
            }
            value = args[++i];
        }
        if (!setter->second(*value)) {
            o.error = "bad value for " + name + ": " + *value;
            return o;
        }
    }
    return o;
}

#include "sim/TerminalCommandInterpreter.h"

#include "sim/ParameterReport.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <optional>

namespace {

constexpr std::string_view kOk = "OK\r\n";
constexpr std::string_view kError = "ERROR\r\n";

using P = TerminalParameters;

// How a setter checks its value while validation is on.
enum class Rule { Text, Decimal, HexId };

struct TextSetter {
    std::string_view name;
    std::string P::*field;
    Rule rule;
    std::size_t maxLength;
    long min = 0;
    long max = 0;
    bool needsModule = false;  // refused while the field says "2" (module absent)
};

struct NumberSetter {
    std::string_view name;
    int P::*field;
    long min;
    long max;
};

constexpr std::size_t kShort = ParameterReport::kMaxModemValueLength;
constexpr std::size_t kCut3 = ParameterReport::kMaxSuffix3ValueLength;
constexpr std::size_t kCut2 = ParameterReport::kMaxSuffix2ValueLength;
constexpr std::size_t kOption = ParameterReport::kMaxAlarmOptionLength;
constexpr std::size_t kPreset = TerminalParameters::kMaxPresetTextLength;

const std::array<TextSetter, 37> kTextSetters{{
    // Data centres, work and network parameters: lower case but for the
    // retry count and the redial wait.
    {"at+svrcnt", &P::serverCount, Rule::Decimal, kShort, 0, 1},
    {"at+ipad", &P::serverIp, Rule::Text, kShort},
    {"at+port", &P::serverPort, Rule::Decimal, kShort, 0, 65535},
    {"at+ipsec", &P::backupServerIp, Rule::Text, kShort},
    {"at+ptsec", &P::backupServerPort, Rule::Decimal, kShort, 0, 65535},
    {"at+dnssvr", &P::dnsServer, Rule::Text, kCut3},
    {"at+dnssv2", &P::backupDnsServer, Rule::Text, kCut3},
    {"at+debug", &P::debugLevel, Rule::Decimal, kShort, 0, 2},
    {"at+retmain", &P::returnToMainServer, Rule::Decimal, kShort, 0, 1},
    {"at+idnt", &P::deviceId, Rule::HexId, 8},
    {"at+phon", &P::simNumber, Rule::Text, kShort},
    {"AT+RETRY", &P::linkRetryTimes, Rule::Decimal, kCut3, 2, 65535},
    {"AT+RDLWT", &P::redialInterval, Rule::Decimal, kCut3, 30, 65535},
    {"at+apn", &P::apn, Rule::Text, kShort},
    {"at+username", &P::apnUser, Rule::Text, kShort},
    {"at+password", &P::apnPassword, Rule::Text, kShort},
    {"at+cent", &P::dialNumber, Rule::Text, kShort},
    {"at+smsc", &P::smsCentre, Rule::Text, kCut2},
    {"at+polltime", &P::heartbeatSeconds, Rule::Decimal, kCut3, 31, 65535},
    // Preset texts.
    {"AT+LRMSETTXT1", &P::presetText1, Rule::Text, kPreset},
    {"AT+LRMSETTXT2", &P::presetText2, Rule::Text, kPreset},
    {"AT+LRMSETTXT3", &P::presetText3, Rule::Text, kPreset},
    // Other alarm settings.
    {"AT+LRMSMSBK", &P::smsBackup, Rule::Decimal, kOption, 0, 1},
    {"AT+LRMSTATESMSTIME", &P::statusSmsInterval, Rule::Decimal, kOption, 0, 65535},
    {"AT+LRMFMFREQ", &P::fmFrequency, Rule::Decimal, kOption, 7600, 10800},
    {"AT+LRMFMSNR", &P::fmSnr, Rule::Decimal, kOption, 0, 65535},
    {"AT+LRMFMVOICE", &P::fmVolume, Rule::Decimal, kOption, 0, 47},
    {"AT+LRMFMRECEN", &P::fmReceiveEnabled, Rule::Decimal, kOption, 0, 1},
    {"AT+LRMMP3PLYMODE", &P::mp3PlayMode, Rule::Decimal, kOption, 0, 2},
    {"AT+LRMMP3LVL", &P::mp3Volume, Rule::Decimal, kOption, 0, 26},
    {"AT+LRMTTSVOICE", &P::ttsVoice, Rule::Decimal, kOption, 0, 1},
    {"AT+LRMTTSLVL", &P::ttsVolume, Rule::Decimal, kOption, 1, 10},
    {"AT+LRMTTSSPEED", &P::ttsSpeed, Rule::Decimal, kOption, 1, 10},
    {"AT+LRMTTSTONE", &P::ttsTone, Rule::Decimal, kOption, 1, 10},
    {"AT+LRMMCUFUN", &P::commModule, Rule::Decimal, kOption, 1, 2},
    {"AT+LRMSETINPHNOPEN", &P::intercomEnabled, Rule::Decimal, kOption, 0, 1, true},
    {"AT+LRMAUDIOFUNOPEN", &P::pickupEnabled, Rule::Decimal, kOption, 0, 1, true},
}};

const std::array<NumberSetter, 13> kNumberSetters{{
    {"AT+LRMPHNPRIO", &P::phonePriority, 0, 10},
    {"AT+LRMSMSPRIO", &P::smsPriority, 0, 10},
    {"AT+LRMGPRSPRIO", &P::gprsPriority, 0, 10},
    {"AT+LRMMICPRIO", &P::micPriority, 0, 10},
    {"AT+LRMINPHNPRIO", &P::intercomPriority, 0, 10},
    {"AT+LRMFMPRIO", &P::fmPriority, 0, 10},
    {"AT+LRMMP3PRIO", &P::mp3Priority, 0, 10},
    {"AT+LRMLCLLRMPRIO", &P::localAlarmPriority, 0, 10},
    {"AT+LRMLINEPRIO", &P::lineInPriority, 0, 10},
    {"AT+LRMSMSPLYNUM", &P::smsPlayCount, 0, 65535},
    {"AT+LRMGPRSPLYNUM", &P::gprsPlayCount, 0, 65535},
    {"AT+LRMLCLLRMPLYNUM", &P::localPlayCount, 0, 65535},
    {"AT+LRMSMSRSP", &P::smsReceipt, 0, 1},
}};

struct ListCommand {
    std::string_view name;
    std::vector<std::string> P::*list;
    enum { Add, Delete, Set } op;
};

const std::array<ListCommand, 9> kListCommands{{
    {"AT+LRMADDADMINNO", &P::adminNumbers, ListCommand::Add},
    {"AT+LRMADDLRMNO", &P::authorisedNumbers, ListCommand::Add},
    {"AT+LRMADDBKNO", &P::backupNumbers, ListCommand::Add},
    {"AT+LRMDELADMINNO", &P::adminNumbers, ListCommand::Delete},
    {"AT+LRMDELLRMNO", &P::authorisedNumbers, ListCommand::Delete},
    {"AT+LRMDELBKNO", &P::backupNumbers, ListCommand::Delete},
    {"AT+LRMSETADMINNO", &P::adminNumbers, ListCommand::Set},
    {"AT+LRMSETLRMNO", &P::authorisedNumbers, ListCommand::Set},
    {"AT+LRMSETBKNO", &P::backupNumbers, ListCommand::Set},
}};

// Digits only, at most nine of them.
std::optional<long> StrictDecimal(std::string_view text)
{
    if (text.empty() || text.size() > 9)
        return std::nullopt;
    long value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

// Leading blanks, optional sign, digits up to the first other character.
int LenientDecimal(std::string_view text)
{
    const std::string copy(text);
    return static_cast<int>(std::strtol(copy.c_str(), nullptr, 10));
}

bool IsHexId(std::string_view text)
{
    return text.size() == 8 && std::all_of(text.begin(), text.end(), [](char c) {
               return std::isxdigit(static_cast<unsigned char>(c)) != 0;
           });
}

bool IsValidNumber(std::string_view number)
{
    if (number.empty() || number.size() > static_cast<std::size_t>(P::kMaxNumberLength))
        return false;
    return std::all_of(number.begin(), number.end(),
                       [](char c) { return (c >= '0' && c <= '9') || c == '+'; });
}

// "a,b,c" or "a,b,c," into numbers; an empty text gives no numbers. Empty
// numbers between commas and malformed numbers are refused when checking.
bool SplitNumbers(std::string_view value, bool check, std::vector<std::string>& out)
{
    out.clear();
    if (!value.empty() && value.back() == ',')
        value.remove_suffix(1);
    if (value.empty())
        return true;
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = value.find(',', start);
        const std::string_view number = value.substr(start, comma == std::string_view::npos
                                                                ? std::string_view::npos
                                                                : comma - start);
        if (check && !IsValidNumber(number))
            return false;
        if (!number.empty())
            out.emplace_back(number);
        if (comma == std::string_view::npos)
            return true;
        start = comma + 1;
    }
}

// Exactly `digits` decimal digits, then `separator` (none when '\0').
bool ParseField(std::string_view& text, int digits, char separator, int& value)
{
    value = 0;
    for (int i = 0; i < digits; ++i) {
        if (text.empty() || text.front() < '0' || text.front() > '9')
            return false;
        value = value * 10 + (text.front() - '0');
        text.remove_prefix(1);
    }
    if (separator == '\0')
        return true;
    if (text.empty() || text.front() != separator)
        return false;
    text.remove_prefix(1);
    return true;
}

// 0 for Sunday to 6 for Saturday, of a date in the Gregorian calendar.
int DayOfWeek(int year, int month, int day)
{
    static constexpr std::array<int, 12> kOffsets{0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
    if (month < 3)
        --year;
    return (year + year / 4 - year / 100 + year / 400 + kOffsets[static_cast<std::size_t>(month - 1)] + day) % 7;
}

int DaysInMonth(int year, int month)
{
    static constexpr std::array<int, 12> kDays{31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[static_cast<std::size_t>(month - 1)];
}

std::string WithOk(std::string text)
{
    text.append("\r\n").append(kOk);
    return text;
}


std::string SignalReply(const TerminalIdentity& identity)
{
    switch (identity.signalAnswer) {
    case TerminalIdentity::SignalAnswer::Silent: return {};
    case TerminalIdentity::SignalAnswer::Garbled: return WithOk("+CSQ: --,--");
    case TerminalIdentity::SignalAnswer::Normal: break;
    }
    return WithOk("+CSQ: " + std::to_string(identity.signalQuality) + "," + std::to_string(identity.signalBitError));
}

}  // namespace

TerminalCommandInterpreter::TerminalCommandInterpreter() = default;

CommandOutcome TerminalCommandInterpreter::Execute(std::string_view line, std::time_t now)
{
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos)
        return Query(std::string(line), now);
    const std::string name(line.substr(0, equals));
    const std::string_view value = line.substr(equals + 1);
    CommandOutcome outcome;
    outcome.reply = SetValue(name, value, now) ? kOk : kError;
    return outcome;
}

CommandOutcome TerminalCommandInterpreter::Query(const std::string& name, std::time_t now)
{
    CommandOutcome outcome;
    if (name == "at+noecho") {
        m_echo = false;
        outcome.reply = kOk;
    } else if (name == "AT+LRMMCUFUN?") {
        const std::string module = m_params.commModule.empty() ? "0" : m_params.commModule;
        outcome.reply = WithOk("+LRMMCUFUN: " + module);
    } else if (name == "ati") {
        outcome.reply = WithOk(m_identity.moduleType);
    } else if (name == "AT+CGMR") {
        outcome.reply = WithOk("+CGMR: " + m_identity.moduleRevision);
    } else if (name == "AT+VER") {
        outcome.reply = WithOk("+VER: " + m_identity.firmwareVersion);
    } else if (name == "AT+SHOW" || name == "at+show") {
        outcome.reply = ParameterReport::Build(m_params);
    } else if (name == "AT+EXCCLK?") {
        outcome.reply = ClockReply(now);
    } else if (name == "AT+CPIN?") {
        outcome.reply = m_identity.simReady ? WithOk("+CPIN: READY")
                                            : std::string("+CPIN: NOT INSERTED\r\n").append(kError);
    } else if (name == "at+csq") {
        outcome.reply = SignalReply(m_identity);
    } else if (name == "at+ipr?") {
        outcome.reply = WithOk("+IPR: " + m_params.serialBaudrate);
    } else if (name == "AT+FACTORY") {
        m_params = m_factory;
        outcome.reply = kOk;
    } else if (name == "at+reset") {
        outcome.reply = kOk;
        outcome.restart = true;
    } else if (name == "AT+LRMSNDPOWER") {
        outcome.reply = WithOk("+LRMSNDPOWER: power-on test signal sent");
    } else {
        outcome.reply = kError;
    }
    return outcome;
}

bool TerminalCommandInterpreter::SetValue(const std::string& name, std::string_view value,
                                          std::time_t now)
{
    if (name == "AT+EXCCLK")
        return SetClock(value, now);
    for (const auto& list : kListCommands) {
        if (list.name == name)
            return ChangeNumberList(name, value);
    }
    for (const auto& setter : kNumberSetters) {
        if (setter.name != name)
            continue;
        if (!m_validate) {
            m_params.*setter.field = LenientDecimal(value);
            return true;
        }
        const auto number = StrictDecimal(value);
        if (!number || *number < setter.min || *number > setter.max)
            return false;
        m_params.*setter.field = static_cast<int>(*number);
        return true;
    }
    for (const auto& setter : kTextSetters) {
        if (setter.name != name)
            continue;
        std::string& field = m_params.*setter.field;
        if (m_validate) {
            if (value.size() > setter.maxLength)
                return false;
            if (setter.needsModule && field == "2")
                return false;
            if (setter.rule == Rule::HexId && !IsHexId(value))
                return false;
            if (setter.rule == Rule::Decimal) {
                const auto number = StrictDecimal(value);
                if (!number || *number < setter.min || *number > setter.max)
                    return false;
            }
        }
        field.assign(value);
        return true;
    }
    return false;
}

bool TerminalCommandInterpreter::ChangeNumberList(const std::string& name, std::string_view value)
{
    const auto it = std::find_if(kListCommands.begin(), kListCommands.end(),
                                 [&](const ListCommand& c) { return c.name == name; });
    std::vector<std::string>& list = m_params.*(it->list);
    std::vector<std::string> numbers;
    if (!SplitNumbers(value, m_validate, numbers))
        return false;

    switch (it->op) {
    case ListCommand::Add:
        if (numbers.empty())
            return false;
        if (m_validate && list.size() + numbers.size() > static_cast<std::size_t>(P::kMaxNumbers))
            return false;
        list.insert(list.end(), numbers.begin(), numbers.end());
        return true;
    case ListCommand::Delete:
        if (numbers.empty())
            return false;
        // Every copy of every named number goes; unknown numbers are no error.
        std::erase_if(list, [&](const std::string& stored) {
            return std::find(numbers.begin(), numbers.end(), stored) != numbers.end();
        });
        return true;
    case ListCommand::Set:
        if (m_validate && numbers.size() > static_cast<std::size_t>(P::kMaxNumbers))
            return false;
        list = std::move(numbers);
        return true;
    }
    return false;
}

bool TerminalCommandInterpreter::SetClock(std::string_view value, std::time_t now)
{
    // "yyyy/MM/dd,HH:mm:ss",w: every field zero-padded to its width, and w
    // the date's own day of the week (0 Sunday .. 6 Saturday).
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, weekday = 0;
    const auto skip = [&value](char c) {
        if (value.empty() || value.front() != c)
            return false;
        value.remove_prefix(1);
        return true;
    };
    if (!skip('"') || !ParseField(value, 4, '/', year) || !ParseField(value, 2, '/', month)
        || !ParseField(value, 2, ',', day) || !ParseField(value, 2, ':', hour) || !ParseField(value, 2, ':', minute)
        || !ParseField(value, 2, '"', second) || !skip(',') || !ParseField(value, 1, '\0', weekday)
        || !value.empty())
        return false;
    if (month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month) || hour > 23
        || minute > 59 || second > 59 || weekday != DayOfWeek(year, month, day))
        return false;

    std::tm local{};
    local.tm_year = year - 1900;
    local.tm_mon = month - 1;
    local.tm_mday = day;
    local.tm_hour = hour;
    local.tm_min = minute;
    local.tm_sec = second;
    local.tm_isdst = -1;
    const std::time_t set = std::mktime(&local);
    if (set == static_cast<std::time_t>(-1))
        return false;
    m_clockOffset = set - now;
    return true;
}

std::string TerminalCommandInterpreter::ClockReply(std::time_t now) const
{
    const std::time_t clock = ClockTime(now);
    std::tm local{};
    localtime_r(&clock, &local);
    char text[64];
    std::snprintf(text, sizeof text, "+EXCCLK: \"%04d/%02d/%02d,%02d:%02d:%02d\",%d",
                  local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                  local.tm_min, local.tm_sec, local.tm_wday);
    return WithOk(text);
}

bool ApplySignalSetting(const std::string& text, TerminalIdentity& identity)
{
    using Answer = TerminalIdentity::SignalAnswer;
    if (text == "silent" || text == "garbled" || text == "normal") {
        identity.signalAnswer = text == "silent" ? Answer::Silent : text == "garbled" ? Answer::Garbled : Answer::Normal;
        return true;
    }
    const auto number = [](const std::string& digits, int& value) {
        if (digits.empty() || digits.size() > 2 || digits.find_first_not_of("0123456789") != std::string::npos)
            return false;
        value = std::stoi(digits);
        return true;
    };
    const std::size_t comma = text.find(',');
    int level = 0;
    int bitError = 99;
    if (!number(text.substr(0, comma), level))
        return false;
    if (comma != std::string::npos && !number(text.substr(comma + 1), bitError))
        return false;
    identity.signalQuality = level;
    identity.signalBitError = bitError;
    identity.signalAnswer = Answer::Normal;
    return true;
}

#include "params/ParameterReport.h"

#include "params/DecimalValue.h"
#include "params/ParameterCodes.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <string>
#include <variant>

namespace {

constexpr std::string_view kLineEnd = "\r\n";

// Highest priority the terminal accepts.
constexpr std::int32_t kHighestPriority = 10;
// Longest value of a text option / modem line that the 100-byte fields hold.
constexpr std::size_t kMaxShortValue = ShortText::kCapacity;
// Longest address the terminal keeps for its third server.
constexpr std::size_t kMaxServer3Address = 32;

enum class Lookup { Absent, Unterminated, Found };

struct LabelValue {
    Lookup result = Lookup::Absent;
    std::string_view value;
};

// The value after the first occurrence of the label, up to the next CR LF.
LabelValue FindLabelValue(std::string_view report, std::string_view label)
{
    const std::size_t labelAt = report.find(label);
    if (labelAt == std::string_view::npos)
        return {};
    const std::size_t valueAt = labelAt + label.size();
    const std::size_t lineEnd = report.find(kLineEnd, valueAt);
    if (lineEnd == std::string_view::npos)
        return {Lookup::Unterminated, {}};
    return {Lookup::Found, report.substr(valueAt, lineEnd - valueAt)};
}

std::uint8_t LowEightBits(std::int32_t value)
{
    return static_cast<std::uint8_t>(static_cast<std::uint32_t>(value) & 0xFFu);
}

// --- Alarm part -------------------------------------------------------------

struct NumberListLabel {
    std::string_view label;
    NumberList ParameterSet::*list;
};

constexpr std::array<NumberListLabel, 3> kNumberLists{{
    {"Alarm admin NO:  ", &ParameterSet::adminNumbers},
    {"Alarm authorize NO:  ", &ParameterSet::authorisedNumbers},
    {"Alarm backup NO:  ", &ParameterSet::backupNumbers},
}};

struct PriorityLabel {
    std::string_view label;
    std::uint8_t ParameterSet::*field;
};

constexpr std::array<PriorityLabel, 9> kPriorities{{
    {"Alarm fm priority:  ", &ParameterSet::fmPriority},
    {"Alarm gprs priority:  ", &ParameterSet::gprsPriority},
    {"Alarm inter phone priority:  ", &ParameterSet::intercomPriority},
    {"Alarm local alarm priority:  ", &ParameterSet::localAlarmPriority},
    {"Alarm mic priority:  ", &ParameterSet::micPriority},
    {"Alarm line in priority:  ", &ParameterSet::lineInPriority},
    {"Alarm mp3 priority:  ", &ParameterSet::mp3Priority},
    {"Alarm phone priority:  ", &ParameterSet::phonePriority},
    {"Alarm sms priority:  ", &ParameterSet::smsPriority},
}};

struct PlayCountLabel {
    std::string_view label;
    std::int32_t ParameterSet::*field;
};

constexpr std::array<PlayCountLabel, 3> kPlayCounts{{
    {"Alarm sms play number:  ", &ParameterSet::smsPlayCount},
    {"Alarm gprs play number:  ", &ParameterSet::gprsPlayCount},
    {"Alarm local alarm play number:  ", &ParameterSet::localPlayCount},
}};

struct PresetTextLabel {
    std::string_view label;
    PresetText ParameterSet::*field;
};

constexpr std::array<PresetTextLabel, 3> kPresetTexts{{
    {"Alarm text1:  ", &ParameterSet::presetText1},
    {"Alarm text2:  ", &ParameterSet::presetText2},
    {"Alarm text3:  ", &ParameterSet::presetText3},
}};

// An optional alarm setting: either a text field or (the SMS receipt flag)
// an 8-bit number. Switches of modules that may be missing read "2" when
// their label is absent.
struct AlarmOptionLabel {
    std::string_view label;
    ShortText ParameterSet::*text = nullptr;
    std::uint8_t ParameterSet::*number = nullptr;
    bool absentMeansNoModule = false;
};

constexpr std::string_view kNoModule = "2";

constexpr std::array<AlarmOptionLabel, 16> kAlarmOptions{{
    {"Alarm mcu work function:  ", &ParameterSet::commModule},
    {"Alarm inter phone open: ", &ParameterSet::intercomEnabled, nullptr, true},
    {"Alarm audio is open:    ", &ParameterSet::pickupEnabled, nullptr, true},
    {"Alarm is sms response:  ", nullptr, &ParameterSet::smsReceipt},
    {"Alarm fm freq:  ", &ParameterSet::fmFrequency},
    {"Alarm fm snr:  ", &ParameterSet::fmSnr},
    {"Alarm mp3 play mode:  ", &ParameterSet::mp3PlayMode},
    {"Alarm is sms backup:  ", &ParameterSet::smsBackup},
    {"Alarm is sms state time:  ", &ParameterSet::statusSmsInterval},
    {"Alarm tts play mode:  ", &ParameterSet::ttsVoice},
    {"Alarm fm voice:  ", &ParameterSet::fmVolume},
    {"Alarm fm receive enable:  ", &ParameterSet::fmReceiveEnabled},
    {"Alarm mp3 play voice:  ", &ParameterSet::mp3Volume},
    {"Alarm tts play level:  ", &ParameterSet::ttsVolume},
    {"Alarm tts play speed:  ", &ParameterSet::ttsSpeed},
    {"Alarm tts play tone:  ", &ParameterSet::ttsTone},
}};

// Required number list: the list is rebuilt from the value; a list the
// splitter cannot take completely is kept as far as it got.
bool ReadNumberList(std::string_view report, const NumberListLabel& entry, ParameterSet& set)
{
    const LabelValue found = FindLabelValue(report, entry.label);
    if (found.result != Lookup::Found)
        return false;
    SplitNumberList(found.value, set.*entry.list);
    return true;
}

bool ReadPriority(std::string_view report, const PriorityLabel& entry, ParameterSet& set)
{
    const LabelValue found = FindLabelValue(report, entry.label);
    if (found.result != Lookup::Found)
        return false;
    const std::int32_t priority = DecimalValue(found.value);
    if (priority > kHighestPriority)
        return false;
    set.*entry.field = LowEightBits(priority);
    return true;
}

bool ReadPlayCount(std::string_view report, const PlayCountLabel& entry, ParameterSet& set)
{
    const LabelValue found = FindLabelValue(report, entry.label);
    if (found.result != Lookup::Found)
        return false;
    set.*entry.field = DecimalValue(found.value);
    return true;
}

bool ReadPresetText(std::string_view report, const PresetTextLabel& entry, ParameterSet& set)
{
    const LabelValue found = FindLabelValue(report, entry.label);
    if (found.result != Lookup::Found)
        return false;
    // Assign refuses anything over 400 bytes and leaves the field as it was.
    return (set.*entry.field).Assign(found.value);
}

bool ReadAlarmOption(std::string_view report, const AlarmOptionLabel& entry, ParameterSet& set)
{
    const LabelValue found = FindLabelValue(report, entry.label);
    if (found.result == Lookup::Unterminated)
        return false;
    if (found.result == Lookup::Absent) {
        if (entry.absentMeansNoModule)
            (set.*entry.text).Assign(kNoModule);
        return true;
    }
    if (entry.number) {
        set.*entry.number = LowEightBits(DecimalValue(found.value));
        return true;
    }
    if (found.value.size() > kMaxShortValue)
        return false;
    return (set.*entry.text).Assign(found.value);
}

bool ReadAlarmPart(std::string_view report, ParameterSet& set)
{
    set.adminNumbers.Clear();
    for (const NumberListLabel& entry : kNumberLists) {
        if (!ReadNumberList(report, entry, set))
            return false;
    }
    for (const PriorityLabel& entry : kPriorities) {
        if (!ReadPriority(report, entry, set))
            return false;
    }
    for (const PlayCountLabel& entry : kPlayCounts) {
        if (!ReadPlayCount(report, entry, set))
            return false;
    }
    for (const PresetTextLabel& entry : kPresetTexts) {
        if (!ReadPresetText(report, entry, set))
            return false;
    }
    for (const AlarmOptionLabel& entry : kAlarmOptions) {
        if (!ReadAlarmOption(report, entry, set))
            return false;
    }
    return true;
}

// --- Modem part -------------------------------------------------------------

// What happens to a modem value after it is cut and before/after it is stored.
enum class ModemRule {
    Plain,
    WorkMode,           // stored as its work-mode code; no code fails
    ActivateMethod,     // stored as its activation-method code; no code fails
    SerialMode,         // first, third and last character
    SmsCentre,          // empty means the default centre
    AtMost32Characters  // longer values fail
};

using ModemField = std::variant<std::monostate, ShortText ParameterSet::*, LongText ParameterSet::*>;

struct ModemLabel {
    std::string_view label;
    ModemField field;  // monostate: read and tested, not kept
    std::size_t cut = 0;
    ModemRule rule = ModemRule::Plain;
};

constexpr ModemField kNotKept{};

// The order matters only for which failure ends the parse first; every label
// is still found by its first occurrence anywhere in the report.
constexpr std::array<ModemLabel, 46> kModemLabels{{
    {"Access Point Name:", &ParameterSet::apn},
    {"Center call number", &ParameterSet::dialNumber},
    {"PPP Authentication User Id", &ParameterSet::apnUser},
    {"PPP Authentication Password", &ParameterSet::apnPassword},
    {"Total Servers", &ParameterSet::serverCount},
    {"Server's Ip", &ParameterSet::serverIp},
    {"Server1's Ip", kNotKept},
    {"Server2's Ip", kNotKept},
    {"Server3's Ip", kNotKept, 0, ModemRule::AtMost32Characters},
    {"Server4's Ip", kNotKept},
    {"Server's Port", &ParameterSet::serverPort},
    {"Server1's Port", kNotKept},
    {"Server2's Port", kNotKept},
    {"Server3's Port", kNotKept},
    {"Server4's Port", kNotKept},
    {"Secondary Server's Ip", &ParameterSet::backupServerIp},
    {"Secondary Server's Port", &ParameterSet::backupServerPort},
    {"Work Mode:", &ParameterSet::workMode, 0, ModemRule::WorkMode},
    {"Activate Method:", &ParameterSet::activateMethod, 0, ModemRule::ActivateMethod},
    {"Serial port commu mode", &ParameterSet::serialMode, 0, ModemRule::SerialMode},
    {"Modem's ID number", &ParameterSet::deviceId},
    {"Modem's Phone Number", &ParameterSet::simNumber},
    {"Serial Baudrate", &ParameterSet::serialBaudrate},
    {"Debug Level", &ParameterSet::debugLevel},
    {"Deliver Recved Tcp Data Directly", &ParameterSet::deliverTcpDataDirectly},
    {"Should Return To Main Server", &ParameterSet::returnToMainServer},
    {"Heartbeat poll time seconds:", &ParameterSet::heartbeatSeconds, 3},
    {"Dns Server's Ip:", &ParameterSet::dnsServer, 3},
    {"Second Dns Server's Ip:", &ParameterSet::backupDnsServer, 3},
    {"Dns Server1's Ip:", kNotKept, 3},
    {"Dns Server2's Ip:", kNotKept, 3},
    {"Dns Server3's Ip:", kNotKept, 3},
    {"Dns Server4's Ip:", kNotKept, 3},
    {"Sms Center :", &ParameterSet::smsCentre, 2, ModemRule::SmsCentre},
    {"Tcp act poll time seconds:", kNotKept, 3},
    {"Control Phone No.:", &ParameterSet::controlPhone, 3},
    {"Sms Daemon Password:", &ParameterSet::smsDaemonPassword, 3},
    {"Custom Register Info:", &ParameterSet::registerInfo, 3},
    {"Custom Keep Online Info:", &ParameterSet::keepOnlineInfo, 3},
    {"Bytes Finish Interval(ms):", &ParameterSet::bytesFinishInterval, 3},
    {"Data Daemon PPP On Password:", &ParameterSet::pppOnPassword, 3},
    {"Data Daemon PPP Off Password:", &ParameterSet::pppOffPassword, 3},
    {"Link Fail Retry Times:", &ParameterSet::linkRetryTimes, 3},
    {"Wait Time Between Dial Failures:", &ParameterSet::redialInterval, 3},
    {"Max Tcp Frame Len:", kNotKept, 3},
    {"Multi Server Reconnect Interval:", kNotKept, 3},
}};

// Writes a modem value into its field (of either width); values are at
// most 99 bytes, so both widths always take them.
bool StoreModemValue(const ModemField& field, ParameterSet& set, std::string_view value)
{
    if (const auto* shortField = std::get_if<ShortText ParameterSet::*>(&field))
        return (set.**shortField).Assign(value);
    if (const auto* longField = std::get_if<LongText ParameterSet::*>(&field))
        return (set.**longField).Assign(value);
    return true;
}

// The value of a modem line: after the label and the blanks that follow it,
// at most 99 bytes, less the last `cut` bytes.
std::string_view ModemValue(std::string_view line, std::size_t labelLength, std::size_t cut)
{
    std::size_t valueAt = labelLength;
    while (valueAt < line.size() && line[valueAt] == ' ')
        ++valueAt;
    std::string_view value = line.substr(valueAt, kMaxShortValue);
    return value.size() > cut ? value.substr(0, value.size() - cut) : std::string_view{};
}

// The serial framing reported as, e.g., "8,N,1" kept as "8N1". A value too
// short to have a third character is kept as it stands.
std::string SerialModeCharacters(std::string_view value)
{
    if (value.size() < 3)
        return std::string(value);
    return {value[0], value[2], value.back()};
}

bool ApplyModemRule(const ModemLabel& entry, std::string_view value, ParameterSet& set)
{
    switch (entry.rule) {
    case ModemRule::Plain:
    case ModemRule::AtMost32Characters:  // checked before the value is stored
        return true;
    case ModemRule::WorkMode: {
        const auto code = WorkModeCode(value);
        return code && set.workMode.Assign(*code);
    }
    case ModemRule::ActivateMethod: {
        const auto code = ActivateMethodCode(value);
        return code && set.activateMethod.Assign(*code);
    }
    case ModemRule::SerialMode:
        return set.serialMode.Assign(SerialModeCharacters(value));
    case ModemRule::SmsCentre:
        return !value.empty() || set.smsCentre.Assign(kDefaultSmsCentreGbk);
    }
    return false;
}

bool ReadModemLine(std::string_view report, const ModemLabel& entry, ParameterSet& set)
{
    const std::size_t labelAt = report.find(entry.label);
    if (labelAt == std::string_view::npos)
        return true;
    const std::size_t lineEnd = report.find(kLineEnd, labelAt + entry.label.size());
    if (lineEnd == std::string_view::npos)
        return false;
    const std::string_view line = report.substr(labelAt, lineEnd - labelAt);
    const std::string_view value = ModemValue(line, entry.label.size(), entry.cut);

    if (entry.rule == ModemRule::AtMost32Characters && value.size() > kMaxServer3Address)
        return false;
    // The reported value is stored first and then turned into its code, so a
    // value without a code stays in the field when the parse fails on it.
    if (!StoreModemValue(entry.field, set, value))
        return false;
    return ApplyModemRule(entry, value, set);
}

bool ReadModemPart(std::string_view report, ParameterSet& set)
{
    for (const ModemLabel& entry : kModemLabels) {
        if (!ReadModemLine(report, entry, set))
            return false;
    }
    return true;
}

bool ParseReport(std::string_view report, ParameterSet& set)
{
    return ReadAlarmPart(report, set) && ReadModemPart(report, set);
}

// --- Size of the longest report ---------------------------------------------

constexpr std::size_t kLineEndBytes = kLineEnd.size();
// Blanks a terminal may put between a modem label and its value.
constexpr std::size_t kModemPadding = 16;
// Lines nobody reads, the echoed command and the closing "OK".
constexpr std::size_t kOtherLinesAllowance = 1024;

template <typename Table>
constexpr std::size_t LabelBytes(const Table& table)
{
    std::size_t total = 0;
    for (const auto& entry : table)
        total += entry.label.size();
    return total;
}

constexpr std::size_t LongestReportBytes()
{
    constexpr std::size_t fullList = NumberList::kSlotCount * (NumberList::kMaxNumberLength + 1);
    constexpr std::size_t longestNumber = 11;  // "-2147483648"
    return LabelBytes(kNumberLists) + kNumberLists.size() * (fullList + kLineEndBytes)
        + LabelBytes(kPriorities) + kPriorities.size() * (longestNumber + kLineEndBytes)
        + LabelBytes(kPlayCounts) + kPlayCounts.size() * (longestNumber + kLineEndBytes)
        + LabelBytes(kPresetTexts) + kPresetTexts.size() * (PresetText::kCapacity + kLineEndBytes)
        + LabelBytes(kAlarmOptions) + kAlarmOptions.size() * (kMaxShortValue + kLineEndBytes)
        + LabelBytes(kModemLabels)
        + kModemLabels.size() * (kModemPadding + kMaxShortValue + kLineEndBytes)
        + kOtherLinesAllowance;
}

static_assert(LongestReportBytes() <= kMaxParameterReportBytes,
              "the received-text buffer must hold the longest report");
static_assert(kMaxParameterReportBytes - LongestReportBytes() < 2048,
              "the received-text buffer is sized from the longest report, not guessed");

// --- Checks on a report's values --------------------------------------------

bool IsControlCharacter(char c)
{
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F;
}

// Every label the parser looks for, alarm part first.
template <typename Visit>
void ForEachKnownLabel(Visit&& visit)
{
    for (const auto& entry : kNumberLists)
        visit(entry.label);
    for (const auto& entry : kPriorities)
        visit(entry.label);
    for (const auto& entry : kPlayCounts)
        visit(entry.label);
    for (const auto& entry : kPresetTexts)
        visit(entry.label);
    for (const auto& entry : kAlarmOptions)
        visit(entry.label);
    for (const auto& entry : kModemLabels)
        visit(entry.label);
}

}  // namespace

std::vector<RefusedListNumber> FindRefusedListNumbers(std::string_view report)
{
    using Reason = RefusedListNumber::Reason;
    std::vector<RefusedListNumber> refused;
    for (std::size_t category = 0; category < kNumberLists.size(); ++category) {
        const LabelValue found = FindLabelValue(report, kNumberLists[category].label);
        if (found.result != Lookup::Found)
            continue;
        std::string_view value = found.value;
        if (!value.empty() && value.back() == ',')
            value.remove_suffix(1);
        if (value.empty())
            continue;
        // Walks the numbers as the splitter does: each comma ends one, which
        // takes the next slot; the splitter stops at a number too long.
        bool stopped = false;
        std::size_t slot = 0;
        std::size_t numberAt = 0;
        while (true) {
            const std::size_t comma = value.find(',', numberAt);
            const std::size_t numberEnd = comma == std::string_view::npos ? value.size() : comma;
            const std::string_view number = value.substr(numberAt, numberEnd - numberAt);
            std::optional<Reason> reason;
            if (stopped)
                reason = Reason::AfterRefused;
            else if (slot >= NumberList::kSlotCount)
                reason = Reason::TooMany;
            else if (number.size() > NumberList::kMaxNumberLength)
                reason = Reason::TooLong;
            if (reason && !number.empty())
                refused.push_back({static_cast<int>(category), *reason, std::string(number)});
            stopped = stopped || reason == Reason::TooLong;
            if (comma == std::string_view::npos)
                break;
            numberAt = comma + 1;
            ++slot;
        }
    }
    return refused;
}

std::optional<std::string_view> FindLabelWithControlCharacter(std::string_view report)
{
    std::optional<std::string_view> offending;
    ForEachKnownLabel([&](std::string_view label) {
        if (offending)
            return;
        const std::size_t labelAt = report.find(label);
        if (labelAt == std::string_view::npos)
            return;
        const std::size_t valueAt = labelAt + label.size();
        const std::size_t lineEnd = report.find(kLineEnd, valueAt);
        const std::string_view value =
            report.substr(valueAt, lineEnd == std::string_view::npos ? std::string_view::npos : lineEnd - valueAt);
        if (std::any_of(value.begin(), value.end(), IsControlCharacter))
            offending = label;
    });
    return offending;
}

namespace {

// The end of the report's "OK" line at or after `from`: preferably an "OK"
// that begins its line; npos when there is none.
std::size_t ClosingOkLineEnd(std::string_view text, std::size_t from)
{
    constexpr std::string_view kOkLine = "OK\r\n";
    std::size_t anywhere = std::string_view::npos;
    for (std::size_t at = text.find(kOkLine, from); at != std::string_view::npos; at = text.find(kOkLine, at + 1)) {
        if (at == from || text[at - 1] == '\n')
            return at + kOkLine.size();
        if (anywhere == std::string_view::npos)
            anywhere = at + kOkLine.size();
    }
    return anywhere;
}

}  // namespace

std::string KeptReportText(std::string_view received)
{
    std::string text;
    text.reserve(received.size());
    std::copy_if(received.begin(), received.end(), std::back_inserter(text), [](char c) { return c != '\0'; });
    const std::string_view view(text);
    std::size_t first = std::string_view::npos;
    std::size_t lastLineEnd = 0;
    ForEachKnownLabel([&](std::string_view label) {
        const std::size_t at = view.find(label);
        if (at == std::string_view::npos)
            return;
        first = std::min(first, at);
        const std::size_t lineEnd = view.find(kLineEnd, at + label.size());
        lastLineEnd = std::max(lastLineEnd, lineEnd == std::string_view::npos ? view.size() : lineEnd + kLineEnd.size());
    });
    if (first == std::string_view::npos)
        return text;
    const std::size_t end = std::min(ClosingOkLineEnd(view, lastLineEnd), view.size());
    return text.substr(first, end - first);
}

int CountMissingReportLabels(std::string_view report)
{
    int missing = 0;
    ForEachKnownLabel([&](std::string_view label) {
        if (report.find(label) == std::string_view::npos)
            ++missing;
    });
    return missing;
}

bool SplitNumberList(std::string_view value, NumberList& list)
{
    if (!value.empty() && value.back() == ',')
        value.remove_suffix(1);
    list.Clear();

    std::size_t slot = 0;
    std::size_t numberAt = 0;
    for (std::size_t comma = value.find(','); comma != std::string_view::npos; comma = value.find(',', numberAt)) {
        // A number longer than a slot is refused, not shortened: a cut phone
        // number would be a different, real-looking number.
        if (!list[slot].Assign(value.substr(numberAt, comma - numberAt)))
            return false;
        numberAt = comma + 1;
        if (++slot == NumberList::kSlotCount)
            return true;
    }
    const std::string_view last = value.substr(numberAt);
    if (last.empty())
        return false;
    return list[slot].Assign(last);
}

bool ParseParameterReport(const char* report, ParameterSet& set)
{
    if (report == nullptr)
        return false;
    return ParseReport(std::string_view(report, std::strlen(report)), set);
}

bool ParseParameterReport(const char* report, std::size_t size, ParameterSet& set)
{
    if (report == nullptr)
        return false;
    const void* zero = std::memchr(report, '\0', size);
    const std::size_t length = zero ? static_cast<std::size_t>(static_cast<const char*>(zero) - report) : size;
    return ParseReport(std::string_view(report, length), set);
}

std::vector<ReportLabelField> ReportLabelFields()
{
    std::vector<ReportLabelField> fields;
    for (const PriorityLabel& line : kPriorities)
        fields.push_back({line.label, line.field});
    for (const PlayCountLabel& line : kPlayCounts)
        fields.push_back({line.label, line.field});
    for (const PresetTextLabel& line : kPresetTexts)
        fields.push_back({line.label, line.field});
    for (const AlarmOptionLabel& line : kAlarmOptions) {
        if (line.text)
            fields.push_back({line.label, line.text});
        else if (line.number)
            fields.push_back({line.label, line.number});
    }
    for (const ModemLabel& line : kModemLabels) {
        if (const auto* shortField = std::get_if<ShortText ParameterSet::*>(&line.field))
            fields.push_back({line.label, *shortField, true, line.cut});
        else if (const auto* longField = std::get_if<LongText ParameterSet::*>(&line.field))
            fields.push_back({line.label, *longField, true, line.cut});
    }
    return fields;
}

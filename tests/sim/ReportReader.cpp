#include "ReportReader.h"

#include <array>
#include <cstdlib>
#include <utility>

namespace {

using P = TerminalParameters;

enum class Found { Absent, Value, Broken };

// Value after the first occurrence of `label`, up to the next CR LF.
Found ValueAfter(const std::string& report, std::string_view label, std::string& value)
{
    const auto at = report.find(label);
    if (at == std::string::npos)
        return Found::Absent;
    const auto start = at + label.size();
    const auto end = report.find("\r\n", start);
    if (end == std::string::npos)
        return Found::Broken;
    value = report.substr(start, end - start);
    return Found::Value;
}

int Decimal(const std::string& text)
{
    return static_cast<int>(std::strtol(text.c_str(), nullptr, 10));
}

std::vector<std::string> SplitNumbers(std::string text)
{
    if (!text.empty() && text.back() == ',')
        text.pop_back();
    std::vector<std::string> numbers;
    std::size_t start = 0;
    while (numbers.size() < 255) {
        const auto comma = text.find(',', start);
        if (comma == std::string::npos) {
            if (start < text.size())
                numbers.push_back(text.substr(start));
            break;
        }
        numbers.push_back(text.substr(start, comma - start));
        start = comma + 1;
    }
    return numbers;
}

std::optional<std::string> FirstCode(const std::string& value,
                                     const std::vector<std::pair<std::string, std::string>>& table)
{
    for (const auto& [word, code] : table) {
        if (value.find(word) != std::string::npos)
            return code;
    }
    return std::nullopt;
}

struct ModemLabel {
    const char* label;
    std::string P::*field;  // nullptr: not kept
    int cut;
};

const std::vector<ModemLabel>& ModemLabels()
{
    static const std::vector<ModemLabel> labels = {
        {"Access Point Name:", &P::apn, 0},
        {"Center call number", &P::dialNumber, 0},
        {"PPP Authentication User Id", &P::apnUser, 0},
        {"PPP Authentication Password", &P::apnPassword, 0},
        {"Total Servers", &P::serverCount, 0},
        {"Server's Ip", &P::serverIp, 0},
        {"Server1's Ip", nullptr, 0},
        {"Server2's Ip", nullptr, 0},
        {"Server3's Ip", nullptr, 0},
        {"Server4's Ip", nullptr, 0},
        {"Server's Port", &P::serverPort, 0},
        {"Server1's Port", nullptr, 0},
        {"Server2's Port", nullptr, 0},
        {"Server3's Port", nullptr, 0},
        {"Server4's Port", nullptr, 0},
        {"Secondary Server's Ip", &P::backupServerIp, 0},
        {"Secondary Server's Port", &P::backupServerPort, 0},
        {"Work Mode:", &P::workMode, 0},
        {"Activate Method:", &P::activateMethod, 0},
        {"Serial port commu mode", &P::serialMode, 0},
        {"Modem's ID number", &P::deviceId, 0},
        {"Modem's Phone Number", &P::simNumber, 0},
        {"Serial Baudrate", &P::serialBaudrate, 0},
        {"Debug Level", &P::debugLevel, 0},
        {"Deliver Recved Tcp Data Directly", &P::deliverTcpDataDirectly, 0},
        {"Should Return To Main Server", &P::returnToMainServer, 0},
        {"Heartbeat poll time seconds:", &P::heartbeatSeconds, 3},
        {"Dns Server's Ip:", &P::dnsServer, 3},
        {"Second Dns Server's Ip:", &P::backupDnsServer, 3},
        {"Dns Server1's Ip:", nullptr, 3},
        {"Dns Server2's Ip:", nullptr, 3},
        {"Dns Server3's Ip:", nullptr, 3},
        {"Dns Server4's Ip:", nullptr, 3},
        {"Sms Center :", &P::smsCentre, 2},
        {"Tcp act poll time seconds:", nullptr, 3},
        {"Control Phone No.:", &P::controlPhone, 3},
        {"Sms Daemon Password:", &P::smsDaemonPassword, 3},
        {"Custom Register Info:", &P::registerInfo, 3},
        {"Custom Keep Online Info:", &P::keepOnlineInfo, 3},
        {"Bytes Finish Interval(ms):", &P::bytesFinishInterval, 3},
        {"Data Daemon PPP On Password:", &P::pppOnPassword, 3},
        {"Data Daemon PPP Off Password:", &P::pppOffPassword, 3},
        {"Link Fail Retry Times:", &P::linkRetryTimes, 3},
        {"Wait Time Between Dial Failures:", &P::redialInterval, 3},
        {"Max Tcp Frame Len:", nullptr, 3},
        {"Multi Server Reconnect Interval:", nullptr, 3},
    };
    return labels;
}

bool ReadModemPart(const std::string& report, P& p)
{
    static const std::vector<std::pair<std::string, std::string>> workModes = {
        {"PROT", "PROT"}, {"TRANSP", "TRNS"}, {"TCP TRANS", "TTRN"},
        {"CLIENT", "TLNT"}, {"LONG", "LONG"}, {"LNGT", "LNGT"},
        {"UDP", "TUDP"}, {"TCP CUSTOM", "TCST"}, {"TCP SERVER", "TCPSVR"},
    };
    static const std::vector<std::pair<std::string, std::string>> activateMethods = {
        {"AUTO", "AUTO"}, {"SMS", "SMSD"}, {"CONTROLABLE", "CTRL"},
        {"DATA", "DATA"}, {"MIXD", "MIXD"},
    };
    for (const auto& m : ModemLabels()) {
        std::string line;
        const Found found = ValueAfter(report, m.label, line);
        if (found == Found::Absent)
            continue;
        if (found == Found::Broken)
            return false;
        std::size_t skip = 0;
        while (skip < line.size() && line[skip] == ' ')
            ++skip;
        std::string value = line.substr(skip, 99);
        value.resize(value.size() > static_cast<std::size_t>(m.cut) ? value.size() - m.cut : 0);
        if (std::string_view(m.label) == "Server3's Ip" && value.size() > 32)
            return false;
        if (m.field == nullptr)
            continue;
        if (m.field == &P::workMode) {
            const auto code = FirstCode(value, workModes);
            if (!code)
                return false;
            value = *code;
        } else if (m.field == &P::activateMethod) {
            const auto code = FirstCode(value, activateMethods);
            if (!code)
                return false;
            value = *code;
        } else if (m.field == &P::serialMode && !value.empty()) {
            value = std::string{value[0], value.size() > 2 ? value[2] : '\0', value.back()};
        } else if (m.field == &P::smsCentre && value.empty()) {
            value = std::string(kDefaultSmsCentreGbk);
        }
        p.*m.field = value;
    }
    return true;
}

}  // namespace

std::optional<TerminalParameters> ReadReport(const std::string& report)
{
    P p;
    std::string value;
    const std::array<std::pair<const char*, std::vector<std::string> P::*>, 3> lists{{
        {"Alarm admin NO:  ", &P::adminNumbers},
        {"Alarm authorize NO:  ", &P::authorisedNumbers},
        {"Alarm backup NO:  ", &P::backupNumbers},
    }};
    for (const auto& [label, field] : lists) {
        if (ValueAfter(report, label, value) != Found::Value)
            return std::nullopt;
        p.*field = SplitNumbers(value);
    }

    const std::array<std::pair<const char*, int P::*>, 9> priorities{{
        {"Alarm fm priority:  ", &P::fmPriority},
        {"Alarm gprs priority:  ", &P::gprsPriority},
        {"Alarm inter phone priority:  ", &P::intercomPriority},
        {"Alarm local alarm priority:  ", &P::localAlarmPriority},
        {"Alarm mic priority:  ", &P::micPriority},
        {"Alarm line in priority:  ", &P::lineInPriority},
        {"Alarm mp3 priority:  ", &P::mp3Priority},
        {"Alarm phone priority:  ", &P::phonePriority},
        {"Alarm sms priority:  ", &P::smsPriority},
    }};
    for (const auto& [label, field] : priorities) {
        if (ValueAfter(report, label, value) != Found::Value || Decimal(value) > 10)
            return std::nullopt;
        p.*field = Decimal(value) & 0xFF;
    }

    const std::array<std::pair<const char*, int P::*>, 3> counts{{
        {"Alarm sms play number:  ", &P::smsPlayCount},
        {"Alarm gprs play number:  ", &P::gprsPlayCount},
        {"Alarm local alarm play number:  ", &P::localPlayCount},
    }};
    for (const auto& [label, field] : counts) {
        if (ValueAfter(report, label, value) != Found::Value)
            return std::nullopt;
        p.*field = Decimal(value);
    }

    const std::array<std::pair<const char*, std::string P::*>, 3> texts{{
        {"Alarm text1:  ", &P::presetText1},
        {"Alarm text2:  ", &P::presetText2},
        {"Alarm text3:  ", &P::presetText3},
    }};
    for (const auto& [label, field] : texts) {
        if (ValueAfter(report, label, value) != Found::Value || value.size() > 400)
            return std::nullopt;
        p.*field = value;
    }

    const std::array<std::pair<const char*, std::string P::*>, 15> options{{
        {"Alarm mcu work function:  ", &P::commModule},
        {"Alarm inter phone open: ", &P::intercomEnabled},
        {"Alarm audio is open:    ", &P::pickupEnabled},
        {"Alarm fm freq:  ", &P::fmFrequency},
        {"Alarm fm snr:  ", &P::fmSnr},
        {"Alarm mp3 play mode:  ", &P::mp3PlayMode},
        {"Alarm is sms backup:  ", &P::smsBackup},
        {"Alarm is sms state time:  ", &P::statusSmsInterval},
        {"Alarm tts play mode:  ", &P::ttsVoice},
        {"Alarm fm voice:  ", &P::fmVolume},
        {"Alarm fm receive enable:  ", &P::fmReceiveEnabled},
        {"Alarm mp3 play voice:  ", &P::mp3Volume},
        {"Alarm tts play level:  ", &P::ttsVolume},
        {"Alarm tts play speed:  ", &P::ttsSpeed},
        {"Alarm tts play tone:  ", &P::ttsTone},
    }};
    p.intercomEnabled = p.pickupEnabled = "2";  // what an absent label gives
    for (const auto& [label, field] : options) {
        const Found found = ValueAfter(report, label, value);
        if (found == Found::Broken || (found == Found::Value && value.size() >= 100))
            return std::nullopt;
        if (found == Found::Value)
            p.*field = value;
    }
    const Found receipt = ValueAfter(report, "Alarm is sms response:  ", value);
    if (receipt == Found::Broken)
        return std::nullopt;
    if (receipt == Found::Value)
        p.smsReceipt = Decimal(value) & 0xFF;

    if (!ReadModemPart(report, p))
        return std::nullopt;
    return p;
}

TerminalParameters ToolView(TerminalParameters params)
{
    params.extraServerIps = {};
    params.extraServerPorts = {};
    params.extraDnsServers = {};
    params.tcpActPollSeconds.clear();
    params.maxTcpFrameLength.clear();
    params.multiServerReconnectInterval.clear();
    if (params.smsCentre.empty())
        params.smsCentre = std::string(kDefaultSmsCentreGbk);
    return params;
}

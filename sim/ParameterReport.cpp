#include "sim/ParameterReport.h"

#include <array>
#include <string_view>
#include <utility>

namespace {

constexpr std::string_view kCrLf = "\r\n";

using CodeAndWord = std::pair<std::string_view, std::string_view>;

// Each word is chosen so that the tool's first-match rule maps it back to
// its own code ("TCP TRANS", not "TCP TRANSPARENT", which contains TRANSP).
constexpr std::array<CodeAndWord, 9> kWorkModeWords{{
    {"PROT", "PROTOCOL"},
    {"TRNS", "TRANSPARENT"},
    {"TTRN", "TCP TRANS"},
    {"TLNT", "TCP CLIENT"},
    {"LONG", "LONG CONNECTION"},
    {"LNGT", "LNGT"},
    {"TUDP", "UDP"},
    {"TCST", "TCP CUSTOM"},
    {"TCPSVR", "TCP SERVER"},
}};

constexpr std::array<CodeAndWord, 5> kActivateMethodWords{{
    {"AUTO", "AUTO"},
    {"SMSD", "SMS"},
    {"CTRL", "CONTROLABLE"},
    {"DATA", "DATA"},
    {"MIXD", "MIXD"},
}};

template <std::size_t N>
std::string WordFor(const std::array<CodeAndWord, N>& table, const std::string& code)
{
    for (const auto& [c, word] : table) {
        if (c == code)
            return std::string(word);
    }
    return code;
}

class ReportWriter {
public:
    // Alarm part: the label carries its own blanks; the value follows at once.
    void Alarm(std::string_view label, std::string_view value)
    {
        m_text.append(label).append(value).append(kCrLf);
    }
    void Alarm(std::string_view label, int value) { Alarm(label, std::to_string(value)); }

    void Numbers(std::string_view label, const std::vector<std::string>& numbers)
    {
        m_text.append(label);
        for (const auto& number : numbers)
            m_text.append(number).append(",");
        m_text.append(kCrLf);
    }

    // Modem part: label, blanks up to the value column, value, suffix.
    void Modem(std::string_view label, std::string_view value, std::string_view suffix = {})
    {
        m_text.append(label);
        const std::size_t pad = label.size() < ParameterReport::kModemValueColumn
            ? ParameterReport::kModemValueColumn - label.size()
            : 1;
        m_text.append(pad, ' ').append(value).append(suffix).append(kCrLf);
    }
    void Suffix3(std::string_view label, std::string_view value) { Modem(label, value, " ;;"); }

    void Line(std::string_view text) { m_text.append(text).append(kCrLf); }

    std::string Take() { return std::move(m_text); }

private:
    std::string m_text;
};

void WriteAlarmPart(ReportWriter& w, const TerminalParameters& p)
{
    w.Numbers("Alarm admin NO:  ", p.adminNumbers);
    w.Numbers("Alarm authorize NO:  ", p.authorisedNumbers);
    w.Numbers("Alarm backup NO:  ", p.backupNumbers);

    w.Alarm("Alarm phone priority:  ", p.phonePriority);
    w.Alarm("Alarm sms priority:  ", p.smsPriority);
    w.Alarm("Alarm gprs priority:  ", p.gprsPriority);
    w.Alarm("Alarm mic priority:  ", p.micPriority);
    w.Alarm("Alarm inter phone priority:  ", p.intercomPriority);
    w.Alarm("Alarm fm priority:  ", p.fmPriority);
    w.Alarm("Alarm mp3 priority:  ", p.mp3Priority);
    w.Alarm("Alarm local alarm priority:  ", p.localAlarmPriority);
    w.Alarm("Alarm line in priority:  ", p.lineInPriority);

    w.Alarm("Alarm sms play number:  ", p.smsPlayCount);
    w.Alarm("Alarm gprs play number:  ", p.gprsPlayCount);
    w.Alarm("Alarm local alarm play number:  ", p.localPlayCount);

    w.Alarm("Alarm is sms response:  ", p.smsReceipt);
    w.Alarm("Alarm is sms backup:  ", p.smsBackup);
    w.Alarm("Alarm is sms state time:  ", p.statusSmsInterval);
    w.Alarm("Alarm mcu work function:  ", p.commModule);
    w.Alarm("Alarm inter phone open: ", p.intercomEnabled);
    w.Alarm("Alarm audio is open:    ", p.pickupEnabled);
    w.Alarm("Alarm fm freq:  ", p.fmFrequency);
    w.Alarm("Alarm fm snr:  ", p.fmSnr);
    w.Alarm("Alarm fm voice:  ", p.fmVolume);
    w.Alarm("Alarm fm receive enable:  ", p.fmReceiveEnabled);
    w.Alarm("Alarm mp3 play mode:  ", p.mp3PlayMode);
    w.Alarm("Alarm mp3 play voice:  ", p.mp3Volume);
    w.Alarm("Alarm tts play mode:  ", p.ttsVoice);
    w.Alarm("Alarm tts play level:  ", p.ttsVolume);
    w.Alarm("Alarm tts play speed:  ", p.ttsSpeed);
    w.Alarm("Alarm tts play tone:  ", p.ttsTone);

    w.Alarm("Alarm text1:  ", p.presetText1);
    w.Alarm("Alarm text2:  ", p.presetText2);
    w.Alarm("Alarm text3:  ", p.presetText3);
}

void WriteModemPart(ReportWriter& w, const TerminalParameters& p)
{
    w.Modem("Total Servers", p.serverCount);
    w.Modem("Server's Ip", p.serverIp);
    for (std::size_t i = 0; i < p.extraServerIps.size(); ++i)
        w.Modem("Server" + std::to_string(i + 1) + "'s Ip", p.extraServerIps[i]);
    w.Modem("Server's Port", p.serverPort);
    for (std::size_t i = 0; i < p.extraServerPorts.size(); ++i)
        w.Modem("Server" + std::to_string(i + 1) + "'s Port", p.extraServerPorts[i]);
    w.Modem("Secondary Server's Ip", p.backupServerIp);
    w.Modem("Secondary Server's Port", p.backupServerPort);
    w.Suffix3("Dns Server's Ip:", p.dnsServer);
    for (std::size_t i = 0; i < p.extraDnsServers.size(); ++i)
        w.Suffix3("Dns Server" + std::to_string(i + 1) + "'s Ip:", p.extraDnsServers[i]);
    w.Suffix3("Second Dns Server's Ip:", p.backupDnsServer);

    w.Modem("Work Mode:", ParameterReport::WorkModeWord(p.workMode));
    w.Modem("Activate Method:", ParameterReport::ActivateMethodWord(p.activateMethod));
    w.Modem("Serial port commu mode", ParameterReport::SerialModeText(p.serialMode));
    w.Modem("Serial Baudrate", p.serialBaudrate);
    w.Modem("Modem's ID number", p.deviceId);
    w.Modem("Modem's Phone Number", p.simNumber);
    w.Modem("Debug Level", p.debugLevel);
    w.Modem("Deliver Recved Tcp Data Directly", p.deliverTcpDataDirectly);
    w.Modem("Should Return To Main Server", p.returnToMainServer);

    w.Suffix3("Heartbeat poll time seconds:", p.heartbeatSeconds);
    w.Suffix3("Tcp act poll time seconds:", p.tcpActPollSeconds);
    if (p.smsCentre.empty())
        w.Line("Sms Center :");
    else
        w.Modem("Sms Center :", p.smsCentre, " ;");
    w.Suffix3("Control Phone No.:", p.controlPhone);
    w.Suffix3("Sms Daemon Password:", p.smsDaemonPassword);
    w.Suffix3("Custom Register Info:", p.registerInfo);
    w.Suffix3("Custom Keep Online Info:", p.keepOnlineInfo);
    w.Suffix3("Bytes Finish Interval(ms):", p.bytesFinishInterval);
    w.Suffix3("Data Daemon PPP On Password:", p.pppOnPassword);
    w.Suffix3("Data Daemon PPP Off Password:", p.pppOffPassword);
    w.Suffix3("Link Fail Retry Times:", p.linkRetryTimes);
    w.Suffix3("Wait Time Between Dial Failures:", p.redialInterval);
    w.Suffix3("Max Tcp Frame Len:", p.maxTcpFrameLength);
    w.Suffix3("Multi Server Reconnect Interval:", p.multiServerReconnectInterval);

    w.Modem("Center call number", p.dialNumber);
    w.Modem("PPP Authentication User Id", p.apnUser);
    w.Modem("PPP Authentication Password", p.apnPassword);
    w.Modem("Access Point Name:", p.apn);
}

}  // namespace

std::string ParameterReport::Build(const TerminalParameters& params)
{
    ReportWriter w;
    w.Line("");
    w.Line("[Alarm parameters]");
    WriteAlarmPart(w, params);
    w.Line("[Modem parameters]");
    WriteModemPart(w, params);
    w.Line("OK");
    return w.Take();
}

std::string ParameterReport::WorkModeWord(const std::string& code)
{
    return WordFor(kWorkModeWords, code);
}

std::string ParameterReport::ActivateMethodWord(const std::string& code)
{
    return WordFor(kActivateMethodWords, code);
}

std::string ParameterReport::SerialModeText(const std::string& mode)
{
    if (mode.size() != 3)
        return mode;
    return std::string{mode[0], ',', mode[1], ',', mode[2]};
}

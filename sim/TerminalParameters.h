#pragma once

#include <array>
#include <string>
#include <vector>

// The parameter memory of the simulated terminal: everything its parameter
// report prints and its setter commands change. Field names follow the
// tool's own parameter set, so a test can compare the two field by field.
//
// Texts are byte strings exactly as they travel on the line (GBK for
// Chinese). Fields the tool keeps as numbers are ints here; everything the
// tool keeps as text is text here, stored as the setter received it.
//
// workMode and activateMethod hold the tool's short codes ("TCPSVR",
// "AUTO", ...); the report prints them as words (see ParameterReport).
// serialMode holds three characters such as "8N1" and is printed "8,N,1".
// An empty smsCentre is printed empty, which the tool reads as "默认".
struct TerminalParameters {
    // Capacity of each number list and longest number, as the tool keeps them.
    static constexpr int kMaxNumbers = 255;
    static constexpr int kMaxNumberLength = 32;
    static constexpr int kMaxPresetTextLength = 400;

    std::vector<std::string> adminNumbers;
    std::vector<std::string> authorisedNumbers;
    std::vector<std::string> backupNumbers;

    std::string presetText1;
    std::string presetText2;
    std::string presetText3;

    int phonePriority = 0;
    int smsPriority = 0;
    int gprsPriority = 0;
    int micPriority = 0;
    int intercomPriority = 0;
    int fmPriority = 0;
    int mp3Priority = 0;
    int localAlarmPriority = 0;
    int lineInPriority = 0;

    int smsPlayCount = 0;
    int gprsPlayCount = 0;
    int localPlayCount = 0;

    int smsReceipt = 0;

    // Alarm options, as text.
    std::string commModule;        // "1" with communication module, "2" without
    std::string intercomEnabled;   // "1" on, "0" off, "2" no intercom module
    std::string pickupEnabled;     // "1" on, "0" off, "2" no pick-up
    std::string fmFrequency;       // units of 10 kHz, "8800" = 88.00 MHz
    std::string fmSnr;
    std::string fmVolume;          // 0..47
    std::string fmReceiveEnabled;  // "0"/"1"
    std::string mp3PlayMode;       // 0 single, 1 repeat one, 2 repeat all
    std::string mp3Volume;         // 0..26
    std::string ttsVoice;          // 0 female, 1 male
    std::string ttsVolume;         // 1..10
    std::string ttsSpeed;          // 1..10
    std::string ttsTone;           // 1..10
    std::string statusSmsInterval; // minutes
    std::string smsBackup;         // "0"/"1"

    // Modem part.
    std::string serverCount;
    std::string serverIp;
    std::string serverPort;
    std::string backupServerIp;
    std::string backupServerPort;
    std::string dnsServer;
    std::string backupDnsServer;
    std::string workMode;
    std::string activateMethod;
    std::string debugLevel;
    std::string serialMode;
    std::string serialBaudrate;
    std::string returnToMainServer;
    std::string deviceId;
    std::string simNumber;
    std::string bytesFinishInterval;
    std::string keepOnlineInfo;
    std::string registerInfo;
    std::string linkRetryTimes;
    std::string redialInterval;
    std::string deliverTcpDataDirectly;
    std::string apn;
    std::string apnUser;
    std::string apnPassword;
    std::string dialNumber;
    std::string smsCentre;
    std::string heartbeatSeconds;
    std::string controlPhone;
    std::string smsDaemonPassword;
    std::string pppOnPassword;
    std::string pppOffPassword;

    // Printed in the report but not kept by the tool.
    std::array<std::string, 4> extraServerIps;    // "Server1's Ip" .. "Server4's Ip"
    std::array<std::string, 4> extraServerPorts;  // "Server1's Port" ..
    std::array<std::string, 4> extraDnsServers;   // "Dns Server1's Ip:" ..
    std::string tcpActPollSeconds;
    std::string maxTcpFrameLength;
    std::string multiServerReconnectInterval;

    // The factory settings of the simulated terminal (also what AT+FACTORY
    // restores unless a test chose other ones).
    static TerminalParameters Defaults();

    bool operator==(const TerminalParameters&) const = default;
};

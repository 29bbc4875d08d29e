#pragma once

#include "params/FixedText.h"
#include "params/NumberList.h"

#include <cstdint>
#include <string_view>

// What the tool stores as SMS centre when the terminal reports none:
// "默认" (default) in GBK.
inline constexpr std::string_view kDefaultSmsCentreGbk = "\xC4\xAC\xC8\xCF";

// Text field widths, terminator included.
using ShortText = FixedText<100>;   // at most 99 bytes
using LongText = FixedText<256>;    // at most 255 bytes
using PresetText = FixedText<401>;  // at most 400 bytes

// Every parameter of the terminal as the tool knows it: what the terminal
// last reported, or what a save last wrote. Almost every value is kept as
// the text the terminal reported (GBK bytes); only the priorities, the SMS
// receipt flag and the play counts are numbers. There are no "loaded" or
// "changed" flags: what stands here is simply the last known value.
//
// Writes go through FixedText::Assign / NumberList, so no field can hold
// more than its width allows.
struct ParameterSet {
    NumberList adminNumbers;
    NumberList authorisedNumbers;
    NumberList backupNumbers;

    PresetText presetText1;
    PresetText presetText2;
    PresetText presetText3;

    std::uint8_t phonePriority = 0;
    std::uint8_t smsPriority = 0;
    std::uint8_t gprsPriority = 0;
    std::uint8_t micPriority = 0;
    std::uint8_t intercomPriority = 0;
    std::uint8_t fmPriority = 0;
    std::uint8_t mp3Priority = 0;
    std::uint8_t localAlarmPriority = 0;
    std::uint8_t lineInPriority = 0;

    std::int32_t smsPlayCount = 0;
    std::int32_t gprsPlayCount = 0;
    std::int32_t localPlayCount = 0;

    std::uint8_t smsReceipt = 0;  // 1 = an SMS alarm is answered with a receipt

    ShortText serverIp;
    ShortText serverPort;
    ShortText backupServerIp;
    ShortText backupServerPort;
    ShortText dnsServer;
    ShortText backupDnsServer;
    ShortText workMode;        // work-mode code, see WorkModeCode()
    ShortText activateMethod;  // activation-method code, see ActivateMethodCode()
    ShortText debugLevel;
    ShortText serialMode;      // data bits, parity letter, stop bits, e.g. "8N1"
    ShortText serialBaudrate;  // decimal text, bit/s
    ShortText returnToMainServer;
    ShortText deviceId;
    ShortText simNumber;
    ShortText bytesFinishInterval;
    LongText keepOnlineInfo;
    LongText registerInfo;
    ShortText linkRetryTimes;
    ShortText redialInterval;
    ShortText deliverTcpDataDirectly;
    ShortText apn;
    ShortText apnUser;
    ShortText apnPassword;
    ShortText dialNumber;
    ShortText smsCentre;  // "默认" (GBK) when the terminal reports none
    ShortText heartbeatSeconds;
    ShortText controlPhone;
    ShortText smsDaemonPassword;
    LongText pppOnPassword;
    LongText pppOffPassword;
    ShortText commModule;       // "1" = a communication module is fitted
    ShortText intercomEnabled;  // "1" on, "0" off, "2" no intercom module
    ShortText pickupEnabled;    // "1" on, "0" off, "2" no pick-up
    ShortText fmFrequency;      // units of 10 kHz: "8800" is 88.00 MHz
    ShortText fmSnr;
    ShortText fmVolume;
    ShortText fmReceiveEnabled;
    ShortText mp3PlayMode;  // 0 single track, 1 repeat one, 2 repeat all
    ShortText mp3Volume;
    ShortText ttsVoice;     // 0 female, otherwise male
    ShortText ttsVolume;
    ShortText ttsSpeed;
    ShortText ttsTone;
    ShortText statusSmsInterval;
    ShortText smsBackup;
    ShortText serverCount;
};

// Empties every field: every number slot and text becomes the empty text,
// every number 0.
void ClearParameterSet(ParameterSet& set);

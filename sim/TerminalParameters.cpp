#include "sim/TerminalParameters.h"

TerminalParameters TerminalParameters::Defaults()
{
    TerminalParameters p;
    p.adminNumbers = {"13800000001", "13800000002"};
    p.authorisedNumbers = {"13900000011", "13900000012", "13900000013"};
    p.backupNumbers = {"13700000021"};

    // GBK: 请注意，现在播报预警信息。
    p.presetText1 = "\xC7\xEB\xD7\xA2\xD2\xE2\xA3\xAC\xCF\xD6\xD4\xDA\xB2\xA5\xB1\xA8"
                    "\xD4\xA4\xBE\xAF\xD0\xC5\xCF\xA2\xA1\xA3";
    // GBK: 这是预警广播系统测试，请勿惊慌。
    p.presetText2 = "\xD5\xE2\xCA\xC7\xD4\xA4\xBE\xAF\xB9\xE3\xB2\xA5\xCF\xB5\xCD\xB3"
                    "\xB2\xE2\xCA\xD4\xA3\xAC\xC7\xEB\xCE\xF0\xBE\xAA\xBB\xC5\xA1\xA3";
    // GBK: 防汛预警：请立即转移到安全地带。
    p.presetText3 = "\xB7\xC0\xD1\xB4\xD4\xA4\xBE\xAF\xA3\xBA\xC7\xEB\xC1\xA2\xBC\xB4"
                    "\xD7\xAA\xD2\xC6\xB5\xBD\xB0\xB2\xC8\xAB\xB5\xD8\xB4\xF8\xA1\xA3";

    p.phonePriority = 1;
    p.smsPriority = 2;
    p.gprsPriority = 3;
    p.micPriority = 4;
    p.intercomPriority = 5;
    p.fmPriority = 6;
    p.mp3Priority = 7;
    p.localAlarmPriority = 8;
    p.lineInPriority = 9;

    p.smsPlayCount = 3;
    p.gprsPlayCount = 3;
    p.localPlayCount = 2;
    p.smsReceipt = 1;

    p.commModule = "1";
    p.intercomEnabled = "1";
    p.pickupEnabled = "0";
    p.fmFrequency = "8800";
    p.fmSnr = "8";
    p.fmVolume = "30";
    p.fmReceiveEnabled = "1";
    p.mp3PlayMode = "0";
    p.mp3Volume = "20";
    p.ttsVoice = "0";
    p.ttsVolume = "8";
    p.ttsSpeed = "5";
    p.ttsTone = "5";
    p.statusSmsInterval = "720";
    p.smsBackup = "0";

    p.serverCount = "1";
    p.serverIp = "203.0.113.10";
    p.serverPort = "5001";
    p.backupServerIp = "203.0.113.11";
    p.backupServerPort = "5002";
    p.dnsServer = "114.114.114.114";
    p.backupDnsServer = "8.8.8.8";
    p.workMode = "TCPSVR";
    p.activateMethod = "AUTO";
    p.debugLevel = "0";
    p.serialMode = "8N1";
    p.serialBaudrate = "115200";
    p.returnToMainServer = "1";
    p.deviceId = "1A2B3C4D";
    p.simNumber = "13912345678";
    p.bytesFinishInterval = "100";
    p.keepOnlineInfo = "KEEPALIVE";
    p.registerInfo = "REGISTER";
    p.linkRetryTimes = "5";
    p.redialInterval = "60";
    p.deliverTcpDataDirectly = "1";
    p.apn = "CMNET";
    p.apnUser = "";
    p.apnPassword = "";
    p.dialNumber = "*99***1#";
    p.smsCentre = "";
    p.heartbeatSeconds = "60";
    p.controlPhone = "13800000001";
    p.smsDaemonPassword = "1234";
    p.pppOnPassword = "PPPON";
    p.pppOffPassword = "PPPOFF";

    p.extraServerIps = {"0.0.0.0", "0.0.0.0", "0.0.0.0", "0.0.0.0"};
    p.extraServerPorts = {"0", "0", "0", "0"};
    p.extraDnsServers = {"0.0.0.0", "0.0.0.0", "0.0.0.0", "0.0.0.0"};
    p.tcpActPollSeconds = "60";
    p.maxTcpFrameLength = "1024";
    p.multiServerReconnectInterval = "30";
    return p;
}

#pragma once

#include <QString>

class CDeviceController;
struct DeviceTask;

// Configuration and communication mode: catching the terminal at power-on
// (the configuration entry), and restarting it into communication mode.
// The On* operations run on the UI thread (radio buttons and the restart
// button); the tasks on the worker.
class CModeSwitcher {
public:
    explicit CModeSwitcher(CDeviceController& device);

    // ---- UI thread ----
    // 配置模式 chosen; `baudRate` is the speed shown in the baud combo.
    void OnConfigurationModeChosen(int baudRate);
    // 通讯模式 chosen.
    void OnCommunicationModeChosen();
    // 重启进入通讯模式: false when the port is closed (nothing queued).
    bool OnRestartChosen();

    // ---- worker thread ----
    void EnterConfiguration();
    void RestartToCommunication(const DeviceTask& task);

private:
    // After the port went away: ends the entry without a further line.
    bool EndIfPortLost();
    bool ProbeModule();
    void TurnEchoOff();
    void QueryModuleType();
    void LoadParameters();
    void SwitchPortToTerminalSettings();

    CDeviceController& m_device;
};

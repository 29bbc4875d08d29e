#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

class CDeviceController;
class CPortList;
class QCheckBox;

// 自动重连: after the open port was lost, looks for it to come back and
// reopens it, for as long as the check box is ticked and nobody has opened
// or closed a port since.
class CPortReconnect : public QObject {
public:
    struct Hooks {
        // The line was lost: whatever writes to it stops.
        std::function<void()> lost;
        // The port is open again, as after 打开.
        std::function<void()> reopened;
    };

    CPortReconnect(CDeviceController& device, CPortList& ports, QCheckBox& enabled, int pollMs, Hooks hooks,
                   QObject* parent = nullptr);

    // A port was opened by the user: the one to reopen once lost.
    void Remember(int portNumber, int baudRate);
    // The user opened or closed a port: what was waited for is not wanted.
    void OnUserChoice();
    void Stop();
    bool IsWatching() const { return m_timer.isActive(); }

private:
    void OnPortLost();
    void OnToggled(bool on);
    void Start();
    void OnTick();

    CDeviceController& m_device;
    CPortList& m_ports;
    QCheckBox& m_enabled;
    Hooks m_hooks;
    // The port last opened.
    struct OpenedPort {
        int number = 0;
        QString device;
        int baudRate = 0;
    };
    OpenedPort m_lastOpened;
    // The port was lost and nobody has opened or closed one since.
    bool m_lostSinceOpen = false;
    // The lost port came back but would not open; said once per return.
    bool m_reopenFailureLogged = false;
    QTimer m_timer;
};

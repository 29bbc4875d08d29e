#pragma once

#include <QString>
#include <QStringList>

class CPortCombo;
class QComboBox;
class QWidget;

// What the port list offers: the devices named on the command line first
// (start-up opens the first), then the machine's own serial devices, looked
// for again each time the list opens; and the baud rates beside it.
class CPortList {
public:
    CPortList(CPortCombo& ports, QComboBox& baudRates, QStringList extraPorts, bool listSystemPorts);

    // Start-up: fills the lists and says once, over `parent`, when there is
    // no port at all.
    void Fill(QWidget* parent);
    void Refresh();
    // Shows `portNumber` and `baudRate` as chosen (a port 自动重连 reopened).
    void Select(int portNumber, int baudRate);
    // The lost port `device` (`portNumber`) is there again.
    bool IsPresent(int portNumber, const QString& device) const;

    int ChosenPortNumber() const;
    int ChosenBaudRate() const;

private:
    CPortCombo& m_ports;
    QComboBox& m_baudRates;
    QStringList m_extraPorts;
    bool m_listSystemPorts = true;
    bool m_noPortMessageShown = false;
};

#pragma once

#include <QByteArray>
#include <QString>

#include <chrono>

// A real pseudo-terminal for the serial tests: CSerial opens the slave device
// like a serial port, the test plays the terminal on the master side.
class PseudoTerminal {
public:
    PseudoTerminal();
    ~PseudoTerminal();

    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    bool IsValid() const { return m_master >= 0; }
    QString SlavePath() const { return m_slavePath; }

    // Writes every byte, blocking while the slave's input is full.
    bool Send(const QByteArray& bytes);
    // Reads until `count` bytes came, the time is up or the slave is gone.
    QByteArray Receive(qsizetype count, std::chrono::milliseconds limit = std::chrono::seconds(10));
    // Hangs up: the slave sees the device vanish.
    void CloseMaster();

private:
    int m_master = -1;
    QString m_slavePath;
};

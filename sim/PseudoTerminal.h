#pragma once

#include <string>

// The master side of a pseudo-terminal pair; the slave device is what the
// tool opens as its serial port.
//
// How Linux reports the slave to the master: before the slave has ever been
// opened, poll() on the master shows no hang-up, exactly as while it is
// open; after the last slave descriptor is closed, the master reports
// POLLHUP (and read() fails with EIO) until the slave is opened again.
// Open() therefore opens and closes the slave once itself, so that "slave
// not held by anybody" always reads as POLLHUP and the first open by the
// tool is seen as the same transition as every later one.
//
// Open() also puts the line into raw mode (the termios of the pair is set
// through the master), so nothing the terminal prints is echoed back or
// translated before the tool sets its own line settings.
class PseudoTerminal {
public:
    PseudoTerminal() = default;
    ~PseudoTerminal();

    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    bool Open();
    // Closes the master: the slave device disappears and a program holding
    // it sees a hang-up. Removes the link if one was made.
    void Close();
    bool IsOpen() const { return m_master >= 0; }

    int MasterFd() const { return m_master; }
    const std::string& SlavePath() const { return m_slavePath; }
    const std::string& LastError() const { return m_lastError; }

    // True while some program holds the slave open.
    bool PeerConnected() const;
    // Baud rate the peer set on the line (0 when unknown). Ptys keep the
    // speed a program sets but always report 8 data bits and no parity.
    int PeerBaudRate() const;

    // A symbolic link to the slave path. An existing symbolic link at that
    // path (left by an earlier run) is replaced; any other file is not.
    bool CreateLink(const std::string& linkPath);
    // Removes the link if it still points to this slave.
    void RemoveLink();
    const std::string& LinkPath() const { return m_linkPath; }

private:
    bool Fail(const std::string& what);

    int m_master = -1;
    std::string m_slavePath;
    std::string m_linkPath;
    std::string m_lastError;
};

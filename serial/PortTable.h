#pragma once

#include <QList>
#include <QString>

#include <mutex>
#include <optional>

// Serial devices of this machine, each with a stable port number, so that the
// port combo can show "COM<n>  <device>  <description>" and CSerial::Open can
// map the number back to its device.
//
// Numbers: /dev/ttyS<k> is k+1 (1..32), /dev/ttyUSB<k> is 33+k, /dev/ttyACM<k>
// is 65+k, /dev/ttyAMA<k> is 97+k; every other device (pseudo-terminals,
// rfcomm, links) gets the next free number from 129 on, in the order it is
// first seen, and keeps it for the life of the process.
//
// On Windows the system names its ports COM<n>: the number is n and the
// device \\.\COM<n>, so every number in 1..1024 names a device.
struct PortEntry {
    int number = 0;
    QString device;
    QString description;
    // "COM33  /dev/ttyUSB0  FT232R USB UART"
    QString DisplayText() const;
};

class PortTable {
public:
    static PortTable& Instance();

    // Registers a device (if new) and returns its number, or 0 when no
    // number in 1..1024 is left.
    int Add(const QString& device, const QString& description = {});
    std::optional<QString> DeviceFor(int number) const;
    std::optional<PortEntry> EntryFor(int number) const;
    // The machine's serial devices as the system reports them now, each
    // registered; ordered by number.
    QList<PortEntry> ScanSystemPorts();
    // Number of the first digits after the first three characters of a combo
    // text ("COM12 ..." gives 12); 0 when there are none.
    static int NumberFromDisplayText(const QString& text);

    // n of "COM<n>" or "\\.\COM<n>" (any case; 1..1024, no leading zero);
    // 0 for any other name.
    static int NumberFromComName(const QString& name);
    // "\\.\COM<n>"
    static QString ComDeviceName(int number);

private:
    static int FixedNumberFor(const QString& device);

    mutable std::mutex m_lock;
    QList<PortEntry> m_entries;
    int m_nextFreeNumber = 129;
};

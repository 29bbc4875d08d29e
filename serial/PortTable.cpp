#include "serial/PortTable.h"

#include "serial/CSerial.h"

#include <QSerialPortInfo>

#include <algorithm>
#include <climits>

namespace {

struct DeviceFamily {
    const char* prefix;
    int firstNumber;
};

// Each family has 32 fixed numbers; a device beyond them is numbered like
// any other device.
constexpr int kFamilySize = 32;
constexpr DeviceFamily kFamilies[] = {
    {"/dev/ttyS", 1},
    {"/dev/ttyUSB", 33},
    {"/dev/ttyACM", 65},
    {"/dev/ttyAMA", 97},
};

// The index of "/dev/ttyUSB7" style names: plain decimal without leading
// zeros, so that no two device names share a number.
int FamilyIndex(QStringView digits)
{
    if (digits.isEmpty() || digits.size() > 2)
        return -1;
    if (digits.size() > 1 && digits.front() == u'0')
        return -1;
    int index = 0;
    for (const QChar c : digits) {
        if (c < u'0' || c > u'9')
            return -1;
        index = index * 10 + (c.unicode() - u'0');
    }
    return index < kFamilySize ? index : -1;
}

}  // namespace

QString PortEntry::DisplayText() const
{
    QString text = QStringLiteral("COM") + QString::number(number) + QStringLiteral("  ") + device;
    if (!description.isEmpty())
        text += QStringLiteral("  ") + description;
    return text;
}

PortTable& PortTable::Instance()
{
    static PortTable table;
    return table;
}

int PortTable::NumberFromComName(const QString& name)
{
    QStringView rest(name);
    if (rest.startsWith(u"\\\\.\\"))
        rest = rest.mid(4);
    if (!rest.startsWith(u"COM", Qt::CaseInsensitive))
        return 0;
    rest = rest.mid(3);
    if (rest.isEmpty() || rest.size() > 4 || rest.front() == u'0')
        return 0;
    int number = 0;
    for (const QChar c : rest) {
        if (c < u'0' || c > u'9')
            return 0;
        number = number * 10 + (c.unicode() - u'0');
    }
    return number <= CSerial::kMaxPort ? number : 0;
}

QString PortTable::ComDeviceName(int number)
{
    return QStringLiteral("\\\\.\\COM") + QString::number(number);
}

int PortTable::FixedNumberFor(const QString& device)
{
#ifdef Q_OS_WIN
    return NumberFromComName(device);
#endif
    for (const DeviceFamily& family : kFamilies) {
        const QLatin1StringView prefix(family.prefix);
        if (!device.startsWith(prefix))
            continue;
        const int index = FamilyIndex(QStringView(device).mid(prefix.size()));
        return index < 0 ? 0 : family.firstNumber + index;
    }
    return 0;
}

int PortTable::Add(const QString& device, const QString& description)
{
    if (device.isEmpty())
        return 0;
    std::lock_guard guard(m_lock);
    for (PortEntry& entry : m_entries) {
        if (entry.device == device) {
            if (!description.isEmpty())
                entry.description = description;
            return entry.number;
        }
    }
    int number = FixedNumberFor(device);
    if (number == 0) {
        // Fixed numbers end at 128 and free numbers start at 129, so the
        // next free number is never taken; the loop guards the invariant.
        auto taken = [this](int candidate) {
            return std::any_of(m_entries.cbegin(), m_entries.cend(),
                               [candidate](const PortEntry& e) { return e.number == candidate; });
        };
        while (m_nextFreeNumber <= CSerial::kMaxPort && taken(m_nextFreeNumber))
            ++m_nextFreeNumber;
        if (m_nextFreeNumber > CSerial::kMaxPort)
            return 0;
        number = m_nextFreeNumber++;
    }
    m_entries.append(PortEntry{number, device, description});
    return number;
}

std::optional<QString> PortTable::DeviceFor(int number) const
{
    if (const auto entry = EntryFor(number))
        return entry->device;
#ifdef Q_OS_WIN
    // Open builds the device name from the number, listed or not.
    if (number >= CSerial::kMinPort && number <= CSerial::kMaxPort)
        return ComDeviceName(number);
#endif
    return std::nullopt;
}

std::optional<PortEntry> PortTable::EntryFor(int number) const
{
    std::lock_guard guard(m_lock);
    for (const PortEntry& entry : m_entries) {
        if (entry.number == number)
            return entry;
    }
    return std::nullopt;
}

QList<PortEntry> PortTable::ScanSystemPorts()
{
    QList<PortEntry> found;
    const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo& info : ports) {
#ifdef Q_OS_WIN
        // COM<n> names only; the device is always \\.\COM<n>.
        const int comNumber = NumberFromComName(info.portName());
        if (comNumber == 0)
            continue;
        const int number = Add(ComDeviceName(comNumber), info.description());
#else
        const int number = Add(info.systemLocation(), info.description());
#endif
        if (number == 0)
            continue;
        const bool listed = std::any_of(found.cbegin(), found.cend(),
                                        [number](const PortEntry& e) { return e.number == number; });
        if (listed)
            continue;
        if (const auto entry = EntryFor(number))
            found.append(*entry);
    }
    std::sort(found.begin(), found.end(),
              [](const PortEntry& a, const PortEntry& b) { return a.number < b.number; });
    return found;
}

int PortTable::NumberFromDisplayText(const QString& text)
{
    qint64 number = 0;
    for (qsizetype i = 3; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c < u'0' || c > u'9')
            break;
        number = number * 10 + (c.unicode() - u'0');
        // Far outside any port number: no port, rather than a wrapped value.
        if (number > INT_MAX)
            return 0;
    }
    return static_cast<int>(number);
}

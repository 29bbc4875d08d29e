#include "app/CPortList.h"

#include "app/CPortCombo.h"
#include "controls/MessageBoxes.h"
#include "resources/Texts.h"
#include "serial/PortTable.h"

#include <QFileInfo>

#include <algorithm>
#include <utility>

CPortList::CPortList(CPortCombo& ports, QComboBox& baudRates, QStringList extraPorts, bool listSystemPorts)
    : m_ports(ports), m_baudRates(baudRates), m_extraPorts(std::move(extraPorts)), m_listSystemPorts(listSystemPorts)
{
}

void CPortList::Fill(QWidget* parent)
{
    PortTable& ports = PortTable::Instance();
    for (const QString& device : m_extraPorts)
        ports.Add(device, QString());
    Refresh();
    if (m_ports.count() == 0 && !m_noPortMessageShown) {
        m_noPortMessageShown = true;
        MessageBoxes::Show(parent, Texts::NoSerialPort());
    }
    m_ports.setCurrentIndex(0);
    m_baudRates.setCurrentIndex(0);
}

void CPortList::Refresh()
{
    PortTable& ports = PortTable::Instance();
    const QString current = m_ports.currentText();
    QStringList entries;
    // Devices named on the command line come first, so start-up opens them.
    for (const QString& device : m_extraPorts) {
        const int number = ports.Add(device, QString());
        if (const auto entry = ports.EntryFor(number))
            entries << entry->DisplayText();
    }
    const QList<PortEntry> systemPorts = m_listSystemPorts ? ports.ScanSystemPorts() : QList<PortEntry>();
    for (const PortEntry& entry : systemPorts) {
        const QString text = entry.DisplayText();
        if (!entries.contains(text))
            entries << text;
    }
    m_ports.blockSignals(true);
    m_ports.clear();
    m_ports.addItems(entries);
    const int keep = m_ports.findText(current);
    m_ports.setCurrentIndex(keep >= 0 ? keep : 0);
    m_ports.blockSignals(false);
}

void CPortList::Select(int portNumber, int baudRate)
{
    Refresh();
    if (const auto entry = PortTable::Instance().EntryFor(portNumber)) {
        const int index = m_ports.findText(entry->DisplayText());
        if (index >= 0)
            m_ports.setCurrentIndex(index);
    }
    const int baudIndex = m_baudRates.findText(QString::number(baudRate));
    if (baudIndex >= 0)
        m_baudRates.setCurrentIndex(baudIndex);
}

bool CPortList::IsPresent(int portNumber, const QString& device) const
{
    // Devices named on the command line (pseudo-terminals, links) are not
    // in the system's list: they are back when their path is.
    if (m_extraPorts.contains(device) && QFileInfo::exists(device))
        return true;
    if (!m_listSystemPorts)
        return false;
    const QList<PortEntry> ports = PortTable::Instance().ScanSystemPorts();
    return std::any_of(ports.cbegin(), ports.cend(),
                       [portNumber](const PortEntry& entry) { return entry.number == portNumber; });
}

int CPortList::ChosenPortNumber() const
{
    return PortTable::NumberFromDisplayText(m_ports.currentText());
}

int CPortList::ChosenBaudRate() const
{
    return m_baudRates.currentText().toInt();
}

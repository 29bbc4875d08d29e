#pragma once

#include "PseudoTerminal.h"

#include "serial/CSerial.h"
#include "serial/PortTable.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QObject>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <functional>

// Records what the port tells its owner and checks that it happens on the
// owner's (main) thread. By default it reads whatever is announced.
class RecordingListener : public ISerialListener {
public:
    CSerial* serial = nullptr;
    bool readOnRx = true;
    std::function<void()> onRx;    // runs instead of the read when set
    std::function<void()> onLost;
    QByteArray received;
    int rxCalls = 0;
    int emptyReads = 0;
    int largestRead = 0;
    int lostCalls = 0;
    bool offThread = false;

    void OnSerialRxChar() override
    {
        CheckThread();
        ++rxCalls;
        if (onRx) {
            onRx();
            return;
        }
        if (readOnRx)
            ReadAll();
    }

    void OnSerialLost() override
    {
        CheckThread();
        ++lostCalls;
        if (onLost)
            onLost();
    }

    void ReadAll()
    {
        char buffer[CSerial::kMaxRead];
        const int n = serial->Read(buffer, CSerial::kMaxRead);
        if (n == 0)
            ++emptyReads;
        largestRead = std::max(largestRead, n);
        received.append(buffer, n);
    }

private:
    void CheckThread()
    {
        if (QThread::currentThread() != QCoreApplication::instance()->thread())
            offThread = true;
    }
};

// Counts the reader thread's way in and out of OnRxChar, so a test can see
// that the reader is waiting for the owner.
class ProbeSerial : public CSerial {
public:
    using CSerial::CSerial;
    ~ProbeSerial() override { Close(); }

    std::atomic<int> entered{0};
    std::atomic<int> left{0};

protected:
    void OnRxChar() override
    {
        ++entered;
        CSerial::OnRxChar();
        ++left;
    }
};

class SerialPortTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_pty.IsValid());
        m_number = m_table.Add(m_pty.SlavePath());
        ASSERT_GT(m_number, 0);
        m_listener.serial = &m_serial;
    }

    // Opens at 115200 8N1 with the recording listener as owner.
    void OpenWithListener()
    {
        m_serial.SetOwner(&m_context, &m_listener);
        ASSERT_TRUE(m_serial.Open(m_number, 115200)) << m_serial.LastError().toStdString();
    }

    PortTable m_table;
    PseudoTerminal m_pty;
    int m_number = 0;
    QObject m_context;
    RecordingListener m_listener;
    CSerial m_serial{m_table};
};

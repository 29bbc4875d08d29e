#pragma once

#include "device/Timing.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

class CSerial;

// Puts what the technician types, pastes or sends from the terminal panel
// on the line in the order it was given, without making the window wait on
// the port: bytes beyond what the line carries in a few tens of
// milliseconds go out piece by piece, paced at the port's speed, from a
// timer on the UI thread. A 100 KB paste at 9600 bit/s takes its 100 s on
// the line, not in a blocked window.
class CLineWriter : public QObject {
    Q_OBJECT
public:
    explicit CLineWriter(CSerial& serial, const Timing& timing = Timing{}, QObject* parent = nullptr);

    // Queues `bytes` behind whatever is still unsent and writes what is due.
    // Returns the number of bytes taken: all of them while the port is
    // open, none when it is closed.
    int Send(const QByteArray& bytes);
    // Drops whatever is still unsent (the port closed, the window closes,
    // the line went back to the configuration conversation).
    void Cancel();
    qsizetype Pending() const { return m_pending.size() - m_sent; }

private:
    void WriteDue();
    // Bytes the line carries in `ms` at the port's current speed (>= 1).
    qsizetype BytesFor(int ms) const;

    CSerial& m_serial;
    Timing m_timing;
    QByteArray m_pending;
    qsizetype m_sent = 0;
    // Bytes the line has room for since the last piece.
    double m_allowance = 0;
    QElapsedTimer m_sinceLastPiece;
    QTimer m_stepTimer;
};

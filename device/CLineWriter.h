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
// the line, not in a blocked window. What has gone out is freed as it goes,
// and the queue has a bound, so nothing can pile up without end.
class CLineWriter : public QObject {
    Q_OBJECT
public:
    // The most bytes waiting for the line: a paste of a few megabytes
    // still fits (at 9600 bit/s 4 MB is over an hour on the line).
    static constexpr qsizetype kMaxPendingBytes = 4 * 1024 * 1024;

    explicit CLineWriter(CSerial& serial, const Timing& timing = Timing{}, QObject* parent = nullptr);

    // Queues `bytes` behind whatever is still unsent and writes what is due.
    // Returns the number of bytes taken: all of them while the port is
    // open and they fit (HasRoomFor), else none.
    int Send(const QByteArray& bytes);
    // Drops whatever is still unsent (the port closed, the window closes,
    // the line went back to the configuration conversation).
    void Cancel();
    qsizetype Pending() const { return m_pending.size(); }
    bool HasRoomFor(qsizetype size) const { return size <= kMaxPendingBytes - Pending(); }
    // The end of everything taken so far, as a mark in the writer's stream;
    // IsDone(mark) once every byte up to it went out (or was dropped).
    qint64 EndMark() const { return m_takenTotal; }
    bool IsDone(qint64 mark) const { return m_takenTotal - Pending() >= mark; }

private:
    void WriteDue();
    // Bytes the line carries in `ms` at the port's current speed (>= 1).
    qsizetype BytesFor(int ms) const;

    CSerial& m_serial;
    Timing m_timing;
    // The bytes not yet written, oldest first.
    QByteArray m_pending;
    qint64 m_takenTotal = 0;
    // Bytes the line has room for since the last piece.
    double m_allowance = 0;
    QElapsedTimer m_sinceLastPiece;
    QTimer m_stepTimer;
};

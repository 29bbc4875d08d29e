#include "device/CLineWriter.h"

#include "serial/CSerial.h"

#include <algorithm>

namespace {

// Bits on the line per byte: start bit, eight data bits, stop bit.
constexpr int kBitsPerByte = 10;
// Used when the driver cannot tell the speed: the slowest rate offered.
constexpr int kFallbackBaudRate = 9600;

}  // namespace

CLineWriter::CLineWriter(CSerial& serial, const Timing& timing, QObject* parent)
    : QObject(parent), m_serial(serial), m_timing(timing)
{
    m_stepTimer.setInterval(m_timing.typedPieceStepMs);
    connect(&m_stepTimer, &QTimer::timeout, this, &CLineWriter::WriteDue);
}

int CLineWriter::Send(const QByteArray& bytes)
{
    if (!m_serial.IsOpen())
        return 0;
    if (bytes.isEmpty() || !HasRoomFor(bytes.size()))
        return 0;
    if (Pending() == 0) {
        // An idle line takes a first piece at once: typed keys and short
        // sends go out as before, without waiting for a step.
        m_allowance = static_cast<double>(BytesFor(m_timing.typedLongestPieceMs));
        m_sinceLastPiece.start();
    }
    m_pending.append(bytes);
    m_takenTotal += bytes.size();
    WriteDue();
    return static_cast<int>(bytes.size());
}

void CLineWriter::Cancel()
{
    m_stepTimer.stop();
    m_pending.clear();
    m_allowance = 0;
}

qsizetype CLineWriter::BytesFor(int ms) const
{
    int baudRate = 0;
    if (!m_serial.QueryLineSettings(&baudRate, nullptr, nullptr) || baudRate <= 0)
        baudRate = kFallbackBaudRate;
    const qint64 bytes = static_cast<qint64>(baudRate) * ms / (kBitsPerByte * 1000);
    return std::max<qsizetype>(1, bytes);
}

void CLineWriter::WriteDue()
{
    if (!m_serial.IsOpen()) {
        Cancel();
        return;
    }
    // The line has carried the bytes of the time since the last piece; more
    // than the longest piece never builds up, so a late step cannot turn
    // into one long blocking write.
    const qsizetype longest = BytesFor(m_timing.typedLongestPieceMs);
    const double carried = static_cast<double>(m_sinceLastPiece.restart()) * static_cast<double>(BytesFor(1000)) / 1000.0;
    m_allowance = std::min(m_allowance + carried, static_cast<double>(longest));
    const qsizetype piece = std::min<qsizetype>(Pending(), static_cast<qsizetype>(m_allowance));
    if (piece > 0) {
        const int written = m_serial.Write(m_pending.constData(), static_cast<int>(piece));
        if (written < 0 || !m_serial.IsOpen()) {
            Cancel();
            return;
        }
        // Removing from the front only moves the start of the data; an
        // append later reuses the room, so a steady flow keeps its size.
        m_pending.remove(0, written);
        m_allowance -= static_cast<double>(written);
    }
    if (Pending() == 0) {
        m_stepTimer.stop();
        m_pending = QByteArray();  // gives the memory back
    } else if (!m_stepTimer.isActive()) {
        m_stepTimer.start();
    }
}

#include "device/GbkStreamDecoder.h"

#include "params/GbkText.h"

namespace {

bool IsLeadByte(unsigned char byte)
{
    return byte >= 0x81 && byte <= 0xFE;
}

// Second bytes of a GBK character are 0x40..0xFE except 0x7F. Anything
// below 0x40 (controls, digits, blanks) never completes a character, so a
// lead byte before it is a damaged character, not one still to come.
bool IsTrailByte(unsigned char byte)
{
    return byte >= 0x40 && byte <= 0xFE && byte != 0x7F;
}

}  // namespace

qsizetype GbkStreamDecoder::IncompleteTail(const QByteArray& bytes)
{
    // Walked from the start: a trail byte can look like a lead byte, so
    // only the pairing from the front tells where characters begin.
    qsizetype i = 0;
    const qsizetype size = bytes.size();
    while (i < size) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        if (!IsLeadByte(byte)) {
            ++i;
            continue;
        }
        if (i + 1 == size)
            return i;
        i += IsTrailByte(static_cast<unsigned char>(bytes[i + 1])) ? 2 : 1;
    }
    return -1;
}

QString GbkStreamDecoder::Decode(const QByteArray& bytes)
{
    QByteArray text = m_held + bytes;
    m_held.clear();
    const qsizetype tail = IncompleteTail(text);
    if (tail >= 0) {
        m_held = text.mid(tail);
        text.truncate(tail);
    }
    return GbkToUnicode(text);
}

QString GbkStreamDecoder::Flush()
{
    const QString text = GbkToUnicode(m_held);
    m_held.clear();
    return text;
}

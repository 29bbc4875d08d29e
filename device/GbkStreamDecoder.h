#pragma once

#include <QByteArray>
#include <QString>

// Decodes GBK text that arrives in pieces, one read at a time. A read may
// end inside a two-byte character; its lead byte is held back and decoded
// with the next read, so neither that character nor the rest of the text
// after it is garbled. Everything else of a read is decoded at once.
class GbkStreamDecoder {
public:
    // The text of `bytes`, after whatever was held back from the last call.
    // An incomplete character at the end is kept for the next call.
    QString Decode(const QByteArray& bytes);
    // Whatever is held back, shown as it stands (a lone lead byte becomes a
    // replacement character); the decoder starts afresh.
    QString Flush();
    bool HasHeldBytes() const { return !m_held.isEmpty(); }

private:
    // Where the last character of `bytes` starts, if it lacks its second byte.
    static qsizetype IncompleteTail(const QByteArray& bytes);

    QByteArray m_held;
};

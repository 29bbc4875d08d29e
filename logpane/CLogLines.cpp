#include "logpane/CLogLines.h"

#include <algorithm>
#include <cmath>

namespace {

bool IsLineBreak(char16_t ch)
{
    // LF and CR, and the paragraph, line and frame separators that the
    // toolkit's own text turns into line breaks.
    return ch == u'\n' || ch == u'\r' || ch == 0x2028 || ch == 0x2029 || ch == 0xfdd0 || ch == 0xfdd1;
}

bool IsHexDigit(QChar ch)
{
    return (ch >= u'0' && ch <= u'9') || (ch >= u'a' && ch <= u'f') || (ch >= u'A' && ch <= u'F');
}

}  // namespace

CLogLines::CLogLines(CLogGlyphs& textWidths, CLogGlyphs& hexWidths)
    : m_text(textWidths)
    , m_hex(hexWidths)
{
}

QStringList CLogLines::SplitEntry(const QString& shown)
{
    QStringList lines;
    QString line;
    const qsizetype size = shown.size();
    // A CR closing the entry and the separator after it make one break.
    const qsizetype end = shown.endsWith(u'\r') ? size - 1 : size;
    line.reserve(end);
    for (qsizetype i = 0; i < end; ++i) {
        const char16_t ch = shown.at(i).unicode();
        if (IsLineBreak(ch)) {
            if (ch == u'\r' && i + 1 < end && shown.at(i + 1) == u'\n')
                ++i;
            lines.append(line);
            line.clear();
        } else {
            line.append(ch == 0xa0 ? QChar(u' ') : QChar(ch));
        }
    }
    lines.append(line);
    return lines;
}

void CLogLines::AppendEntry(const QString& shown, int hexStart)
{
    const QStringList lines = SplitEntry(shown);
    // A dump is one line after its prefix; one that breaks is shown as text.
    const bool hex = hexStart >= 0 && lines.size() == 1 && lines.front().size() == shown.size();
    for (const QString& line : lines) {
        Block block;
        block.text = line;
        block.hexStart = hex ? hexStart : -1;
        block.firstRow = m_rowCount;
        LayOut(block);
        m_rowCount += block.rows;
        m_blocks.push_back(std::move(block));
    }
}

void CLogLines::Clear()
{
    m_blocks.clear();
    m_rowCount = 0;
}

void CLogLines::SetWidth(qreal width)
{
    width = std::max<qreal>(width, 1);
    if (width == m_width)
        return;
    m_width = width;
    Relayout();
}

void CLogLines::Relayout()
{
    m_rowCount = 0;
    for (Block& block : m_blocks) {
        block.firstRow = m_rowCount;
        LayOut(block);
        m_rowCount += block.rows;
    }
}

void CLogLines::LayOut(Block& block)
{
    if (block.hexStart >= 0)
        LayOutHex(block);
    else
        LayOutText(block);
}

void CLogLines::LayOutText(Block& block)
{
    // Break after the last blank that fits, or, in a word longer than the
    // row, before the character that does not fit. Blanks may hang past the
    // edge, as they do in the toolkit's own edit boxes.
    block.rowStarts.clear();
    const QString& text = block.text;
    const int size = static_cast<int>(text.size());
    int rowStart = 0;
    int afterBlank = -1;
    qreal x = 0;
    for (int i = 0; i < size; ++i) {
        const char16_t ch = text.at(i).unicode();
        const qreal next = m_text.Advance(ch, x);
        if (ch == u' ' || ch == u'\t') {
            x = next;
            afterBlank = i + 1;
            continue;
        }
        if (next <= m_width || i == rowStart) {
            x = next;
            continue;
        }
        rowStart = afterBlank > rowStart ? afterBlank : i;
        block.rowStarts.push_back(rowStart);
        afterBlank = -1;
        x = 0;
        for (int j = rowStart; j <= i; ++j)
            x = m_text.Advance(text.at(j).unicode(), x);
    }
    block.rows = 1 + static_cast<int>(block.rowStarts.size());
}

void CLogLines::LayOutHex(Block& block)
{
    qreal indent = 0;
    for (int i = 0; i < block.hexStart; ++i)
        indent = m_text.Advance(block.text.at(i).unicode(), indent);
    block.hexIndent = indent;
    // A byte is two digits and a blank; the last one in a row needs no blank.
    const qreal digit = m_hex.Width(u'0');
    const int fit = digit > 0 ? static_cast<int>(std::floor((m_width - indent + digit) / (3 * digit))) : 1;
    block.bytesPerRow = std::clamp(fit, 1, kHexBytesPerRow);
    const int hexChars = static_cast<int>(block.text.size()) - block.hexStart;
    const int stride = HexStride(block);
    block.rows = std::max(1, (hexChars + 1 + stride - 1) / stride);
}

LogPos CLogLines::End() const
{
    if (m_blocks.empty())
        return {};
    return {BlockCount() - 1, static_cast<int>(m_blocks.back().text.size())};
}

LogPos CLogLines::BlockRowOf(int row) const
{
    if (m_blocks.empty())
        return {};
    row = std::clamp(row, 0, m_rowCount - 1);
    const auto after = std::upper_bound(m_blocks.begin(), m_blocks.end(), row,
                                        [](int r, const Block& block) { return r < block.firstRow; });
    const int block = static_cast<int>(after - m_blocks.begin()) - 1;
    return {block, row - m_blocks[block].firstRow};
}

int CLogLines::RowOf(LogPos pos) const
{
    if (m_blocks.empty())
        return 0;
    const Block& block = m_blocks[pos.block];
    if (block.hexStart >= 0) {
        const int row = pos.offset < block.hexStart ? 0 : (pos.offset - block.hexStart) / HexStride(block);
        return block.firstRow + std::min(row, block.rows - 1);
    }
    // A position at a row's start shows on that row.
    const auto after = std::upper_bound(block.rowStarts.begin(), block.rowStarts.end(), pos.offset);
    return block.firstRow + static_cast<int>(after - block.rowStarts.begin());
}

int CLogLines::RowStart(int block, int rowInBlock) const
{
    const Block& b = m_blocks[block];
    if (rowInBlock == 0)
        return 0;
    if (b.hexStart >= 0)
        return b.hexStart + rowInBlock * HexStride(b);
    return b.rowStarts[rowInBlock - 1];
}

int CLogLines::RowEnd(int block, int rowInBlock) const
{
    const Block& b = m_blocks[block];
    if (rowInBlock + 1 >= b.rows)
        return static_cast<int>(b.text.size());
    return RowStart(block, rowInBlock + 1);
}

qreal CLogLines::X(int block, int rowInBlock, int offset)
{
    const Block& b = m_blocks[block];
    const int start = RowStart(block, rowInBlock);
    offset = std::clamp(offset, start, RowEnd(block, rowInBlock));
    if (b.hexStart >= 0 && offset >= b.hexStart)
        return b.hexIndent + (offset - b.hexStart - rowInBlock * HexStride(b)) * m_hex.Width(u'0');
    qreal x = 0;
    for (int i = start; i < offset; ++i)
        x = m_text.Advance(b.text.at(i).unicode(), x);
    return x;
}

int CLogLines::OffsetAt(int block, int rowInBlock, qreal x)
{
    const Block& b = m_blocks[block];
    const int start = RowStart(block, rowInBlock);
    const int end = RowEnd(block, rowInBlock);
    // The last row's end is after its last character; another row's is the
    // start of the next, so a click past its end lands before that.
    const int last = rowInBlock + 1 >= b.rows ? end : std::max(start, end - 1);
    if (b.hexStart >= 0 && x >= b.hexIndent) {
        const qreal digit = std::max<qreal>(m_hex.Width(u'0'), 1);
        const int first = std::max(start, b.hexStart);
        return std::clamp(first + static_cast<int>(std::lround((x - b.hexIndent) / digit)), first, last);
    }
    qreal left = 0;
    for (int i = start; i < last; ++i) {
        const qreal right = m_text.Advance(b.text.at(i).unicode(), left);
        if (x < (left + right) / 2)
            return i;
        left = right;
    }
    return last;
}

int CLogLines::OffsetOf(LogPos pos) const
{
    int offset = 0;
    for (int block = 0; block < pos.block && block < BlockCount(); ++block)
        offset += static_cast<int>(m_blocks[block].text.size()) + 1;
    return offset + pos.offset;
}

LogPos CLogLines::PosOf(int offset) const
{
    for (int block = 0; block < BlockCount(); ++block) {
        const int size = static_cast<int>(m_blocks[block].text.size());
        if (offset <= size)
            return {block, std::max(offset, 0)};
        offset -= size + 1;
    }
    return End();
}

QString CLogLines::Text() const
{
    return Text({}, End());
}

QString CLogLines::Text(LogPos from, LogPos to) const
{
    QString text;
    if (m_blocks.empty() || !(from < to))
        return text;
    for (int block = from.block; block <= to.block; ++block) {
        const QString& line = m_blocks[block].text;
        const int start = block == from.block ? from.offset : 0;
        const int end = block == to.block ? to.offset : static_cast<int>(line.size());
        if (block > from.block)
            text += QLatin1Char('\n');
        text += QStringView(line).mid(start, end - start);
    }
    return text;
}

QList<LogMatch> CLogLines::Find(const QString& what, int fromBlock) const
{
    QList<LogMatch> found;
    if (what.isEmpty())
        return found;
    const bool compactHex = what.size() >= 4 && what.size() % 2 == 0 && std::all_of(what.begin(), what.end(), IsHexDigit);
    const QString bytes = what.toLower();
    for (int index = std::max(fromBlock, 0); index < BlockCount(); ++index) {
        const Block& block = m_blocks[index];
        const qsizetype before = found.size();
        for (qsizetype at = block.text.indexOf(what, 0, Qt::CaseInsensitive); at >= 0;
             at = block.text.indexOf(what, at + what.size(), Qt::CaseInsensitive))
            found.append({index, static_cast<int>(at), static_cast<int>(what.size())});
        if (compactHex && block.hexStart >= 0) {
            FindCompactHex(block, index, bytes, found);
            std::sort(found.begin() + before, found.end(),
                      [](const LogMatch& a, const LogMatch& b) { return a.start < b.start; });
        }
    }
    return found;
}

void CLogLines::FindCompactHex(const Block& block, int blockIndex, const QString& bytes, QList<LogMatch>& found)
{
    // Bytes are two digits at every third character of the dump.
    const QString& text = block.text;
    const int count = static_cast<int>(bytes.size()) / 2;
    const int dumpBytes = (static_cast<int>(text.size()) - block.hexStart + 1) / 3;
    for (int first = 0; first + count <= dumpBytes;) {
        bool same = true;
        for (int k = 0; k < count && same; ++k) {
            const int at = block.hexStart + 3 * (first + k);
            same = text.at(at).toLower() == bytes.at(2 * k) && text.at(at + 1).toLower() == bytes.at(2 * k + 1);
        }
        if (!same) {
            ++first;
            continue;
        }
        found.append({blockIndex, block.hexStart + 3 * first, 3 * count - 1});
        first += count;
    }
}

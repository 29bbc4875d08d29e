#pragma once

#include "logpane/CLogGlyphs.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <compare>
#include <vector>

// A place in the log's text: a line (block) and a character offset in it.
struct LogPos {
    int block = 0;
    int offset = 0;
    auto operator<=>(const LogPos&) const = default;
};

// A found piece of text: `length` characters of `block` from `start`.
struct LogMatch {
    int block = 0;
    int start = 0;
    int length = 0;
};

// The text of the log pane as lines, each broken into rows for one width.
// Rows are found from cached character widths, never by shaping. A hex line (a hex
// dump after an optional prefix) is laid out in columns: sixteen bytes a row
// in a monospace font, fewer when the width is too narrow, continuation rows
// under the first byte.
class CLogLines {
public:
    static constexpr int kHexBytesPerRow = 16;

    CLogLines(CLogGlyphs& textWidths, CLogGlyphs& hexWidths);

    // The lines an entry's shown text makes: line breaks (LF, CR LF, a lone
    // CR and the separators the toolkit's text treats as breaks) start new
    // lines, a CR closing the entry makes none (the separator to the next
    // entry follows it), and a no-break space is kept as a blank.
    static QStringList SplitEntry(const QString& shown);

    // Adds an entry; `hexStart` >= 0: its text from there on is a hex dump.
    void AppendEntry(const QString& shown, int hexStart = -1);
    void Clear();
    // Breaks every line into rows again for `width` (e.g. a new width or font).
    void SetWidth(qreal width);
    void Relayout();

    int BlockCount() const { return static_cast<int>(m_blocks.size()); }
    const QString& BlockText(int block) const { return m_blocks[block].text; }
    bool IsHex(int block) const { return m_blocks[block].hexStart >= 0; }
    int HexStart(int block) const { return m_blocks[block].hexStart; }
    bool IsEmpty() const { return m_blocks.empty(); }
    LogPos End() const;

    // Rows, counted over all lines.
    int RowCount() const { return m_rowCount; }
    int FirstRow(int block) const { return m_blocks[block].firstRow; }
    int RowsOf(int block) const { return m_blocks[block].rows; }
    // The line that holds `row`, and which of its rows it is.
    LogPos BlockRowOf(int row) const;  // {block, row in the block}
    int RowOf(LogPos pos) const;       // the row showing `pos`
    int RowStart(int block, int rowInBlock) const;
    int RowEnd(int block, int rowInBlock) const;
    // Where a character of a row starts, from the row's left edge.
    qreal X(int block, int rowInBlock, int offset);
    // The character boundary nearest to `x` in a row.
    int OffsetAt(int block, int rowInBlock, qreal x);

    // A place as an offset into Text(), and back.
    int OffsetOf(LogPos pos) const;
    LogPos PosOf(int offset) const;

    // The text, lines separated by LF.
    QString Text() const;
    QString Text(LogPos from, LogPos to) const;

    // Every match of `what` (ignoring case) in the lines from `fromBlock`,
    // in order. In a hex dump, a query of whole bytes typed without blanks
    // ("0d0a") also finds those bytes.
    QList<LogMatch> Find(const QString& what, int fromBlock = 0) const;

private:
    struct Block {
        QString text;
        int hexStart = -1;
        int firstRow = 0;
        int rows = 1;
        // Text lines: where each row after the first starts.
        std::vector<int> rowStarts;
        // Hex lines: the prefix's width and the bytes in a row.
        qreal hexIndent = 0;
        int bytesPerRow = kHexBytesPerRow;
    };

    void LayOut(Block& block);
    void LayOutText(Block& block);
    void LayOutHex(Block& block);
    int HexStride(const Block& block) const { return 3 * block.bytesPerRow; }
    static void FindCompactHex(const Block& block, int blockIndex, const QString& bytes, QList<LogMatch>& found);

    CLogGlyphs& m_text;
    CLogGlyphs& m_hex;
    qreal m_width = 400;
    std::vector<Block> m_blocks;
    int m_rowCount = 0;
};

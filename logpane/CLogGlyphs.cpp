#include "logpane/CLogGlyphs.h"

#include <QChar>
#include <QGlyphRun>
#include <QPainter>
#include <QTextLayout>

#include <cmath>

CLogGlyphs::CLogGlyphs(const QFont& font)
    : m_font(font)
    , m_metrics(font)
    , m_pages(0x10000 / kPageSize)
{
}

void CLogGlyphs::SetFont(const QFont& font)
{
    m_font = font;
    m_metrics = QFontMetricsF(font);
    for (std::unique_ptr<Page>& page : m_pages)
        page.reset();
    m_fonts.clear();
    m_ideographWidths.clear();
}

bool CLogGlyphs::IsInvisible(char16_t ch)
{
    return ch < 0x20 || (ch >= 0x7f && ch < 0xa0) || QChar::isLowSurrogate(ch);
}

qreal CLogGlyphs::NextTabStop(qreal x)
{
    return (std::floor(x / kTabStop) + 1) * kTabStop;
}

CLogGlyphs::Glyph CLogGlyphs::Find(char16_t ch)
{
    Glyph glyph;
    glyph.width = 0;
    if (IsInvisible(ch) || ch == u'\t')
        return glyph;
    // A character beyond the first plane takes the room of a CJK one (its
    // low half counts nothing); it is not drawn.
    if (QChar::isHighSurrogate(ch)) {
        glyph.width = Width(0x4e00);
        return glyph;
    }
    // First in the fonts already met (the pane's own, then the fallbacks
    // it needed): a look in a font's character map, no layout. Binary
    // data shown as text brings thousands of distinct CJK characters.
    if (m_fonts.isEmpty())
        FontIndex(QRawFont::fromFont(m_font));
    for (qsizetype font = 0; font < m_fonts.size(); ++font) {
        const QRawFont& raw = m_fonts[font];
        if (!raw.isValid() || !raw.supportsCharacter(QChar(ch)))
            continue;
        const QList<quint32> indexes = raw.glyphIndexesForString(QString(QChar(ch)));
        if (indexes.size() != 1 || indexes.front() == 0)
            continue;
        glyph.font = static_cast<qint16>(font);
        glyph.index = indexes.front();
        // The ideographs of a font are all as wide as each other: one is
        // measured (loading a glyph's outline is what costs).
        float& ideograph = m_ideographWidths[font];
        if (IsIdeograph(ch) && ideograph >= 0) {
            glyph.width = ideograph;
            return glyph;
        }
        const QList<QPointF> advances = raw.advancesForGlyphIndexes(indexes);
        glyph.width = advances.isEmpty() ? 0.0F : static_cast<float>(advances.front().x());
        if (IsIdeograph(ch))
            ideograph = glyph.width;
        return glyph;
    }
    // Otherwise as the toolkit lays it out, which finds the fallback font.
    QTextLayout layout(QString(QChar(ch)), m_font);
    layout.beginLayout();
    const QTextLine line = layout.createLine();
    layout.endLayout();
    glyph.width = static_cast<float>(line.horizontalAdvance());
    const QList<QGlyphRun> runs = layout.glyphRuns();
    if (!runs.isEmpty() && !runs.front().glyphIndexes().isEmpty()) {
        glyph.font = FontIndex(runs.front().rawFont());
        glyph.index = runs.front().glyphIndexes().front();
    }
    return glyph;
}

bool CLogGlyphs::IsIdeograph(char16_t ch)
{
    return (ch >= 0x4e00 && ch <= 0x9fff) || (ch >= 0x3400 && ch <= 0x4dbf) || (ch >= 0xf900 && ch <= 0xfaff);
}

qint16 CLogGlyphs::FontIndex(const QRawFont& font)
{
    const qsizetype known = m_fonts.indexOf(font);
    if (known >= 0)
        return static_cast<qint16>(known);
    m_fonts.append(font);
    m_ideographWidths.append(-1.0F);
    return static_cast<qint16>(m_fonts.size() - 1);
}

void CLogGlyphs::Draw(QPainter& painter, QStringView text, qreal x, QPointF origin, qreal cell)
{
    // Consecutive glyphs of one font go out as one run, at the places the
    // rows were broken by.
    QList<quint32> indexes;
    QList<QPointF> positions;
    qint16 font = -1;
    const auto flush = [&] {
        if (indexes.isEmpty())
            return;
        QGlyphRun run;
        run.setRawFont(m_fonts[font]);
        run.setGlyphIndexes(indexes);
        run.setPositions(positions);
        painter.drawGlyphRun(origin, run);
        indexes.clear();
        positions.clear();
    };
    for (const QChar ch : text) {
        const Glyph& glyph = GlyphOf(ch.unicode());
        if (glyph.font >= 0) {
            if (glyph.font != font) {
                flush();
                font = glyph.font;
            }
            indexes.append(glyph.index);
            // On whole pixels: each glyph is then drawn (and kept drawn in
            // the glyph cache) once, not once per fraction of a pixel.
            positions.append(QPointF(std::round(origin.x() + x) - origin.x(), 0));
        }
        x = cell > 0 ? x + cell : Advance(ch.unicode(), x);
    }
    flush();
}

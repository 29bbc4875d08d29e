#pragma once

#include <QFont>
#include <QFontMetricsF>
#include <QList>
#include <QPointF>
#include <QRawFont>
#include <QStringView>

#include <array>
#include <memory>
#include <vector>

class QPainter;

// Each character of one font as the log pane needs it: how far it advances
// the pen, and which glyph of which font (the font's own or a fallback)
// draws it. Found once per character, by laying the character out alone,
// and then looked up: the pane wraps tens of thousands of characters a
// second and draws its rows from these glyphs directly, so text is neither
// shaped nor measured again (shaping asks the font for every glyph's
// metrics each time, which for a large CJK font costs more than the rest
// of the program). Kerning and ligatures are left out; the log is plain text.
class CLogGlyphs {
public:
    // Where a tab moves the pen: to the next multiple of this (as the edit
    // boxes of the toolkit place tabs).
    static constexpr qreal kTabStop = 80;

    explicit CLogGlyphs(const QFont& font = QFont());
    void SetFont(const QFont& font);
    const QFont& Font() const { return m_font; }

    // Characters the pane does not draw (control characters, the low half
    // of a surrogate pair) advance by nothing; a tab is placed by Advance().
    static bool IsInvisible(char16_t ch);
    qreal Width(char16_t ch) { return GlyphOf(ch).width; }
    // The pen after `ch` when it stands at `x` (x counted from the row's
    // start, where tab stops are counted from).
    qreal Advance(char16_t ch, qreal x) { return ch == u'\t' ? NextTabStop(x) : x + Width(ch); }
    static qreal NextTabStop(qreal x);

    qreal Ascent() const { return m_metrics.ascent(); }
    qreal LineSpacing() const { return m_metrics.lineSpacing(); }

    // Draws `text` with its first character at `x` (from the row's start)
    // on the baseline through `origin`. `cell` > 0: every character takes
    // that width (a monospace dump's columns).
    void Draw(QPainter& painter, QStringView text, qreal x, QPointF origin, qreal cell = 0);

private:
    struct Glyph {
        float width = -1;   // -1 until found
        qint16 font = -1;   // in m_fonts; -1: nothing to draw
        quint32 index = 0;  // of the glyph in that font
    };
    static constexpr int kPageSize = 256;
    using Page = std::array<Glyph, kPageSize>;

    const Glyph& GlyphOf(char16_t ch)
    {
        std::unique_ptr<Page>& page = m_pages[ch / kPageSize];
        if (!page)
            page = std::make_unique<Page>();
        Glyph& glyph = (*page)[ch % kPageSize];
        if (glyph.width < 0)
            glyph = Find(ch);
        return glyph;
    }
    Glyph Find(char16_t ch);
    qint16 FontIndex(const QRawFont& font);
    static bool IsIdeograph(char16_t ch);

    QFont m_font;
    QFontMetricsF m_metrics;
    std::vector<std::unique_ptr<Page>> m_pages;
    QList<QRawFont> m_fonts;
    QList<float> m_ideographWidths;  // per font, -1 until one is measured
};

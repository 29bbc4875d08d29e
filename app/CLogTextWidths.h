#pragma once

#include <QFont>
#include <QFontMetricsF>

#include <vector>

// How far each character advances the pen in one font, measured once per
// character and then looked up: the log pane wraps tens of thousands of
// characters per second, and shaping them would cost far more than reading
// a table. Kerning and ligatures are left out; the log is plain text.
class CLogTextWidths {
public:
    // Where a tab moves the pen: to the next multiple of this (as the edit
    // boxes of the toolkit place tabs).
    static constexpr qreal kTabStop = 80;

    explicit CLogTextWidths(const QFont& font = QFont());
    void SetFont(const QFont& font);
    const QFont& Font() const { return m_font; }

    // Characters the pane does not draw (control characters, the low half
    // of a surrogate pair) advance by nothing; a tab is placed by Advance().
    static bool IsInvisible(char16_t ch);
    qreal Width(char16_t ch)
    {
        float& width = m_widths[ch];
        if (width < 0)
            width = static_cast<float>(Measure(ch));
        return width;
    }
    // The pen after `ch` when it stands at `x` (x counted from the row's
    // start, where tab stops are counted from).
    qreal Advance(char16_t ch, qreal x) { return ch == u'\t' ? NextTabStop(x) : x + Width(ch); }
    static qreal NextTabStop(qreal x);

    qreal Ascent() const { return m_metrics.ascent(); }
    qreal LineSpacing() const { return m_metrics.lineSpacing(); }

private:
    qreal Measure(char16_t ch) const;

    QFont m_font;
    QFontMetricsF m_metrics;
    std::vector<float> m_widths;  // one per UTF-16 code unit, -1 until measured
};

#pragma once

#include <QElapsedTimer>
#include <QRect>
#include <QScrollBar>
#include <QTimer>

// The log pane's scroll bar. While entries stream in, its range grows ten
// times a second, yet its slider mostly stays where it is drawn (at the
// end, at its least length): it is drawn again only when what it shows
// changes, not at every change of its numbers. A look changed by a growing
// range (entries arriving, not the user scrolling) is drawn at most every
// kRangeRepaintMs: on a busy line the slider shrinks a little at every
// redraw of the text, and drawing it costs as much as drawing the text.
class CLogScrollBar : public QScrollBar {
    Q_OBJECT
public:
    static constexpr int kRangeRepaintMs = 500;

    explicit CLogScrollBar(QWidget* parent = nullptr);

protected:
    void sliderChange(SliderChange change) override;
    void paintEvent(QPaintEvent* event) override;

private:
    struct Look {
        QRect slider;
        bool atStart = false;
        bool atEnd = false;
        bool operator==(const Look&) const = default;
    };
    Look CurrentLook() const;
    void CheckLook();

    Look m_drawn;  // as last painted
    bool m_checkPending = false;
    bool m_rangeChanged = false;
    QElapsedTimer m_sincePaint;
    QTimer m_rangeRepaint;
};

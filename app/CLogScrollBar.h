#pragma once

#include <QRect>
#include <QScrollBar>

// The log pane's scroll bar. While entries stream in, its range grows ten
// times a second, yet its slider mostly stays where it is drawn (at the
// end, at its least length): it is drawn again only when what it shows
// changes, not at every change of its numbers.
class CLogScrollBar : public QScrollBar {
    Q_OBJECT
public:
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

    Look m_drawn;  // as last painted
    bool m_checkPending = false;
};

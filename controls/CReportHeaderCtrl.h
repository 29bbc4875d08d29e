#pragma once

#include <QHeaderView>
#include <QPolygon>
#include <QSet>

class CReportCtrl;

// The column header of a CReportCtrl. A column whose header was clicked is
// drawn by this control from then on: button-face background, its title on
// one line with an ellipsis when it does not fit, and, on the sorted column,
// a triangle right of the title that points up for ascending order and down
// for descending order. The sort column and direction are read from the
// owning list, so the header never disagrees with the rows.
class CReportHeaderCtrl : public QHeaderView {
    Q_OBJECT
public:
    // What an owner-drawn section looks like inside its rectangle.
    struct SectionLayout {
        QString text;               // the title, elided to fit
        QRect textRect;
        Qt::Alignment alignment = Qt::AlignLeft;
        QPolygon triangle;          // empty unless this is the sort column
        bool ascending = true;
    };

    explicit CReportHeaderCtrl(CReportCtrl* owner);

    void SetOwnerDrawn(int logicalIndex);
    bool IsOwnerDrawn(int logicalIndex) const { return m_ownerDrawn.contains(logicalIndex); }
    // Keeps the owner-drawn marks on their columns when a column is inserted.
    void ShiftOwnerDrawn(int insertedIndex);
    // The section under the pressed mouse button, -1 when none.
    int PressedSection() const { return m_pressedSection; }

    // Layout of a section in header coordinates as it is drawn now.
    SectionLayout LayoutOf(int logicalIndex) const;
    SectionLayout LayoutSection(const QRect& rect, int logicalIndex) const;

protected:
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void DrawButtonEdge(QPainter* painter, const QRect& rect, bool pressed) const;
    void DrawTriangle(QPainter* painter, const SectionLayout& layout) const;

    CReportCtrl* m_owner = nullptr;
    QSet<int> m_ownerDrawn;
    int m_pressedSection = -1;
};

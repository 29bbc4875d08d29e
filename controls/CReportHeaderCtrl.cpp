#include "controls/CReportHeaderCtrl.h"

#include "controls/CReportCtrl.h"

#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

namespace {

// Space between the section's edges and its title.
constexpr int kTextMargin = 6;

}  // namespace

CReportHeaderCtrl::CReportHeaderCtrl(CReportCtrl* owner)
    : QHeaderView(Qt::Horizontal, owner), m_owner(owner)
{
    setSectionsClickable(true);
    setHighlightSections(false);
    setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
}

void CReportHeaderCtrl::SetOwnerDrawn(int logicalIndex)
{
    m_ownerDrawn.insert(logicalIndex);
    viewport()->update();
}

void CReportHeaderCtrl::ShiftOwnerDrawn(int insertedIndex)
{
    QSet<int> shifted;
    for (int index : std::as_const(m_ownerDrawn))
        shifted.insert(index >= insertedIndex ? index + 1 : index);
    m_ownerDrawn = shifted;
}

CReportHeaderCtrl::SectionLayout CReportHeaderCtrl::LayoutOf(int logicalIndex) const
{
    const QRect rect(sectionViewportPosition(logicalIndex), 0, sectionSize(logicalIndex), height());
    return LayoutSection(rect, logicalIndex);
}

CReportHeaderCtrl::SectionLayout CReportHeaderCtrl::LayoutSection(const QRect& rect, int logicalIndex) const
{
    SectionLayout layout;
    QRect content = rect.adjusted(kTextMargin, 0, -kTextMargin, 0);
    // A pressed section moves its content like a pressed button.
    if (logicalIndex == m_pressedSection)
        content.translate(1, 1);

    const int unit = std::max(1, rect.height() / 4);
    const bool sorted = m_owner && m_owner->SortColumn() == logicalIndex;
    const int triangleRoom = sorted ? 3 * unit : 0;     // one unit of gap, two of triangle
    const int textRoom = std::max(0, content.width() - triangleRoom);

    const QVariant alignment = model() ? model()->headerData(logicalIndex, orientation(), Qt::TextAlignmentRole)
                                       : QVariant();
    layout.alignment = alignment.isValid() ? Qt::Alignment(alignment.toInt()) : defaultAlignment();
    const QString title = model() ? model()->headerData(logicalIndex, orientation(), Qt::DisplayRole).toString()
                                  : QString();
    const QFontMetrics metrics(font());
    layout.text = metrics.elidedText(title, Qt::ElideRight, textRoom);
    const int textWidth = std::min(metrics.horizontalAdvance(layout.text), textRoom);

    int left = content.left();
    if (layout.alignment & Qt::AlignRight)
        left += textRoom - textWidth;
    else if (layout.alignment & Qt::AlignHCenter)
        left += (textRoom - textWidth) / 2;
    layout.textRect = QRect(left, content.top(), textWidth, content.height());

    if (sorted) {
        layout.ascending = m_owner->IsSortAscending();
        const int x = layout.textRect.left() + textWidth + unit;
        const int top = content.center().y() - unit;
        const int bottom = top + 2 * unit;
        if (layout.ascending)
            layout.triangle << QPoint(x + unit, top) << QPoint(x + 2 * unit, bottom) << QPoint(x, bottom);
        else
            layout.triangle << QPoint(x, top) << QPoint(x + 2 * unit, top) << QPoint(x + unit, bottom);
    }
    return layout;
}

void CReportHeaderCtrl::paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const
{
    if (!IsOwnerDrawn(logicalIndex)) {
        QHeaderView::paintSection(painter, rect, logicalIndex);
        return;
    }
    painter->save();
    painter->setClipRect(rect);
    painter->setRenderHint(QPainter::Antialiasing, false);
    painter->fillRect(rect, palette().button());
    DrawButtonEdge(painter, rect, logicalIndex == m_pressedSection);

    const SectionLayout layout = LayoutSection(rect, logicalIndex);
    painter->setFont(font());
    painter->setPen(palette().buttonText().color());
    // Plain drawText never treats '&' as a mnemonic, so titles show as written.
    painter->drawText(layout.textRect, int(layout.alignment & Qt::AlignHorizontal_Mask) | Qt::AlignVCenter
                                           | Qt::TextSingleLine,
                      layout.text);
    if (!layout.triangle.isEmpty())
        DrawTriangle(painter, layout);
    painter->restore();
}

void CReportHeaderCtrl::DrawButtonEdge(QPainter* painter, const QRect& rect, bool pressed) const
{
    const QColor light = palette().light().color();
    const QColor shadow = palette().dark().color();
    painter->setPen(pressed ? shadow : light);
    painter->drawLine(rect.topLeft(), rect.topRight());
    painter->drawLine(rect.topLeft(), rect.bottomLeft());
    painter->setPen(pressed ? light : shadow);
    painter->drawLine(rect.bottomLeft(), rect.bottomRight());
    painter->drawLine(rect.topRight(), rect.bottomRight());
}

void CReportHeaderCtrl::DrawTriangle(QPainter* painter, const SectionLayout& layout) const
{
    // Lit from the top left, like the rest of the 3-D frame: edges facing
    // that way get the shadow colour inside the recess, the others the highlight.
    const QColor highlight = palette().light().color();
    const QColor shadow = palette().dark().color();
    const QPolygon& t = layout.triangle;
    if (layout.ascending) {
        // t[0] apex at the top, t[1] bottom right, t[2] bottom left.
        painter->setPen(shadow);
        painter->drawLine(t[2], t[0]);
        painter->setPen(highlight);
        painter->drawLine(t[0], t[1]);
        painter->drawLine(t[1], t[2]);
    } else {
        // t[0] top left, t[1] top right, t[2] apex at the bottom.
        painter->setPen(shadow);
        painter->drawLine(t[0], t[1]);
        painter->drawLine(t[0], t[2]);
        painter->setPen(highlight);
        painter->drawLine(t[1], t[2]);
    }
}

void CReportHeaderCtrl::mousePressEvent(QMouseEvent* event)
{
    // A press on a divider starts a resize, not a click: nothing looks pressed then.
    const bool onDivider = cursor().shape() == Qt::SplitHCursor || viewport()->cursor().shape() == Qt::SplitHCursor;
    if (event->button() == Qt::LeftButton && !onDivider)
        m_pressedSection = logicalIndexAt(event->position().toPoint());
    QHeaderView::mousePressEvent(event);
    viewport()->update();
}

void CReportHeaderCtrl::mouseReleaseEvent(QMouseEvent* event)
{
    // The base class reports the click; the section is drawn released after that.
    QHeaderView::mouseReleaseEvent(event);
    m_pressedSection = -1;
    viewport()->update();
}

#include "controls/CComboListAccessible.h"

#include "controls/CComboItemAccessible.h"

#include <QAbstractItemView>
#include <QComboBox>

#include <utility>

CComboListAccessible::CComboListAccessible(QAbstractItemView* view, QComboBox* combo)
    : QAccessibleWidget(view, QAccessible::List), m_combo(combo)
{
    // Tools that keep the states they were told of hear of the entry that
    // lost "selected" and of the one that gained it. The interface is looked
    // up each time: Qt may delete it before the view.
    QObject::connect(combo, &QComboBox::currentIndexChanged, view,
                     [view, shown = combo->currentIndex()](int row) mutable {
                         const int before = std::exchange(shown, row);
                         if (!QAccessible::isActive())
                             return;
                         QAccessibleInterface* list = QAccessible::queryAccessibleInterface(view);
                         for (const int changed : {before, row}) {
                             if (QAccessibleInterface* item = list ? list->child(changed) : nullptr) {
                                 QAccessibleEvent event(item, QAccessible::Selection);
                                 QAccessible::updateAccessibility(&event);
                             }
                         }
                     });
}

CComboListAccessible::~CComboListAccessible()
{
    for (QAccessible::Id id : m_items) {
        if (id != 0)
            QAccessible::deleteAccessibleInterface(id);
    }
}

QComboBox* CComboListAccessible::ComboOfPopup(QAbstractItemView* view)
{
    // QComboBox keeps its view in a private popup frame that is its child.
    QWidget* popup = view ? view->parentWidget() : nullptr;
    if (!popup || !popup->inherits("QComboBoxPrivateContainer"))
        return nullptr;
    return qobject_cast<QComboBox*>(popup->parentWidget());
}

QAbstractItemView* CComboListAccessible::View() const
{
    return static_cast<QAbstractItemView*>(widget());
}

QAccessibleInterface* CComboListAccessible::parent() const
{
    // The box itself, not the popup frame around the list.
    return m_combo ? QAccessible::queryAccessibleInterface(m_combo) : nullptr;
}

int CComboListAccessible::childCount() const
{
    return m_combo ? m_combo->count() : 0;
}

QAccessibleInterface* CComboListAccessible::child(int index) const
{
    if (index < 0 || index >= childCount())
        return nullptr;
    if (m_items.size() <= static_cast<size_t>(index))
        m_items.resize(index + 1, 0);
    QAccessible::Id& id = m_items[index];
    if (id == 0)
        id = QAccessible::registerAccessibleInterface(new CComboItemAccessible(m_combo, View(), index));
    return QAccessible::accessibleInterface(id);
}

int CComboListAccessible::indexOfChild(const QAccessibleInterface* child) const
{
    const auto* item = dynamic_cast<const CComboItemAccessible*>(child);
    if (!item)
        return -1;
    const int row = item->Row();
    const bool ours = row < static_cast<int>(m_items.size()) && QAccessible::accessibleInterface(m_items[row]) == child;
    return ours && row < childCount() ? row : -1;
}

QAccessibleInterface* CComboListAccessible::childAt(int x, int y) const
{
    const QModelIndex index = View()->indexAt(View()->viewport()->mapFromGlobal(QPoint(x, y)));
    return index.isValid() ? child(index.row()) : nullptr;
}

QAccessibleInterface* CComboListAccessible::focusChild() const
{
    const QModelIndex highlighted = View()->currentIndex();
    return View()->isVisible() && highlighted.isValid() ? child(highlighted.row()) : nullptr;
}

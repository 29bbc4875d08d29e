#include "controls/CComboListAccessible.h"

#include "controls/CComboItemAccessible.h"

#include <QAbstractItemView>
#include <QComboBox>

CComboListAccessible::CComboListAccessible(QAbstractItemView* view, QComboBox* combo)
    : QAccessibleWidget(view, QAccessible::List), m_combo(combo)
{
    // Looked up each time: Qt may delete the interface before the view. The
    // entry may also change unannounced (signals blocked while the port list
    // is refilled): every item is compared with what was last told.
    QObject::connect(combo, &QComboBox::currentIndexChanged, view, [view] {
        if (!QAccessible::isActive())
            return;
        if (auto* list = dynamic_cast<CComboListAccessible*>(QAccessible::queryAccessibleInterface(view)))
            list->TellSelectionChanges();
    });
}

CComboListAccessible::~CComboListAccessible()
{
    for (const Item& item : m_items) {
        if (item.id != 0)
            QAccessible::deleteAccessibleInterface(item.id);
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
        m_items.resize(index + 1);
    Item& item = m_items[index];
    if (item.id == 0) {
        auto* made = new CComboItemAccessible(m_combo, View(), index);
        item.id = QAccessible::registerAccessibleInterface(made);
        item.toldSelected = made->state().selected;
    }
    return QAccessible::accessibleInterface(item.id);
}

int CComboListAccessible::indexOfChild(const QAccessibleInterface* child) const
{
    const auto* item = dynamic_cast<const CComboItemAccessible*>(child);
    if (!item)
        return -1;
    const int row = item->Row();
    if (row >= static_cast<int>(m_items.size()) || row >= childCount())
        return -1;
    return QAccessible::accessibleInterface(m_items[row].id) == child ? row : -1;
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

void CComboListAccessible::TellSelectionChanges()
{
    for (Item& item : m_items) {
        QAccessibleInterface* made = item.id != 0 ? QAccessible::accessibleInterface(item.id) : nullptr;
        if (!made || made->state().selected == item.toldSelected)
            continue;
        item.toldSelected = !item.toldSelected;
        // Qt's bridge tells this as the item's "selected" state changing.
        QAccessibleEvent event(made, QAccessible::Selection);
        QAccessible::updateAccessibility(&event);
    }
}

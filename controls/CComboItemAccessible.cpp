#include "controls/CComboItemAccessible.h"

#include <QAbstractItemView>
#include <QComboBox>

CComboItemAccessible::CComboItemAccessible(QComboBox* combo, QAbstractItemView* view, int row)
    : m_combo(combo), m_view(view), m_row(row)
{
}

bool CComboItemAccessible::isValid() const
{
    return m_combo && m_view && m_row < m_combo->count();
}

QObject* CComboItemAccessible::object() const
{
    return nullptr;
}

QWindow* CComboItemAccessible::window() const
{
    QAccessibleInterface* list = parent();
    return list ? list->window() : nullptr;
}

QAccessibleInterface* CComboItemAccessible::childAt(int, int) const
{
    return nullptr;
}

QAccessibleInterface* CComboItemAccessible::parent() const
{
    return m_view ? QAccessible::queryAccessibleInterface(m_view) : nullptr;
}

QAccessibleInterface* CComboItemAccessible::child(int) const
{
    return nullptr;
}

int CComboItemAccessible::childCount() const
{
    return 0;
}

int CComboItemAccessible::indexOfChild(const QAccessibleInterface*) const
{
    return -1;
}

QModelIndex CComboItemAccessible::Index() const
{
    if (!isValid())
        return {};
    return m_combo->model()->index(m_row, m_combo->modelColumn(), m_combo->rootModelIndex());
}

QString CComboItemAccessible::text(QAccessible::Text kind) const
{
    const QModelIndex index = Index();
    if (!index.isValid())
        return {};
    switch (kind) {
    case QAccessible::Name: {
        const QString name = index.data(Qt::AccessibleTextRole).toString();
        return name.isEmpty() ? index.data(Qt::DisplayRole).toString() : name;
    }
    case QAccessible::Description:
        return index.data(Qt::AccessibleDescriptionRole).toString();
    case QAccessible::Help:
        return index.data(Qt::ToolTipRole).toString();
    default:
        return {};
    }
}

void CComboItemAccessible::setText(QAccessible::Text, const QString&)
{
    // An entry's text belongs to the program, not to assistive tools.
}

QRect CComboItemAccessible::rect() const
{
    const QModelIndex index = Index();
    if (!index.isValid())
        return {};
    const QRect inViewport = m_view->visualRect(index);
    return QRect(m_view->viewport()->mapToGlobal(inViewport.topLeft()), inViewport.size());
}

QAccessible::Role CComboItemAccessible::role() const
{
    return QAccessible::ListItem;
}

QAccessible::State CComboItemAccessible::state() const
{
    QAccessible::State state;
    const QModelIndex index = Index();
    if (!index.isValid()) {
        state.invalid = true;
        return state;
    }
    const bool open = m_view->isVisible();
    const Qt::ItemFlags flags = index.flags();
    state.invisible = !open;
    state.disabled = !m_combo->isEnabled() || !(flags & Qt::ItemIsEnabled);
    state.selectable = (flags & Qt::ItemIsSelectable) != 0;
    state.focusable = state.selectable;
    // The entry the box shows, whether its list is open or not; the one the
    // open list highlights has the focus until Enter or a click chooses it.
    state.selected = m_row == m_combo->currentIndex();
    state.focused = open && m_view->currentIndex() == index;
    return state;
}

#include "controls/CComboAccessible.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QLineEdit>

namespace {

QAccessibleInterface* ComboFactory(const QString& /*className*/, QObject* object)
{
    // Asked once per class from the object's own class up; answering the
    // first question covers QComboBox and every subclass of it.
    auto* combo = qobject_cast<QComboBox*>(object);
    return combo ? new CComboAccessible(combo) : nullptr;
}

}  // namespace

CComboAccessible::CComboAccessible(QComboBox* combo) : QAccessibleWidget(combo, QAccessible::ComboBox)
{
}

void CComboAccessible::Install()
{
    // Factories installed later are asked before Qt's own.
    QAccessible::installFactory(&ComboFactory);
}

QComboBox* CComboAccessible::Combo() const
{
    return static_cast<QComboBox*>(widget());
}

QString CComboAccessible::CurrentText() const
{
    QComboBox* combo = Combo();
    return combo->isEditable() && combo->lineEdit() ? combo->lineEdit()->text() : combo->currentText();
}

QString CComboAccessible::text(QAccessible::Text kind) const
{
    switch (kind) {
    case QAccessible::Name: {
        const QString name = QAccessibleWidget::text(kind);
        return name.isEmpty() ? CurrentText() : name;
    }
    case QAccessible::Value:
        return CurrentText();
    default:
        return QAccessibleWidget::text(kind);
    }
}

QAccessible::State CComboAccessible::state() const
{
    QAccessible::State state = QAccessibleWidget::state();
    state.expandable = true;
    state.expanded = Combo()->view()->isVisible();
    state.editable = Combo()->isEditable();
    return state;
}

int CComboAccessible::childCount() const
{
    return 1;
}

QAccessibleInterface* CComboAccessible::child(int index) const
{
    // The list the box opens.
    return index == 0 ? QAccessible::queryAccessibleInterface(Combo()->view()) : nullptr;
}

int CComboAccessible::indexOfChild(const QAccessibleInterface* child) const
{
    return child && child->object() == Combo()->view() ? 0 : -1;
}

QStringList CComboAccessible::actionNames() const
{
    return QStringList{showMenuAction(), pressAction()} + QAccessibleWidget::actionNames();
}

void CComboAccessible::doAction(const QString& action)
{
    if (action != showMenuAction() && action != pressAction()) {
        QAccessibleWidget::doAction(action);
        return;
    }
    if (Combo()->view()->isVisible())
        Combo()->hidePopup();
    else
        Combo()->showPopup();
}

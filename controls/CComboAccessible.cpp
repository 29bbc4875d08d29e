#include "controls/CComboAccessible.h"

#include "controls/CComboListAccessible.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QLineEdit>

namespace {

QAccessibleInterface* ComboFactory(const QString& /*className*/, QObject* object)
{
    // Asked once per class from the object's own class up; answering the
    // first question covers QComboBox, QListView and every subclass of them.
    if (auto* combo = qobject_cast<QComboBox*>(object))
        return new CComboAccessible(combo);
    auto* view = qobject_cast<QAbstractItemView*>(object);
    if (QComboBox* owner = CComboListAccessible::ComboOfPopup(view))
        return new CComboListAccessible(view, owner);
    return nullptr;
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

QAccessibleTextInterface* CComboAccessible::EditText() const
{
    QLineEdit* edit = Combo()->isEditable() ? Combo()->lineEdit() : nullptr;
    QAccessibleInterface* editInterface = edit ? QAccessible::queryAccessibleInterface(edit) : nullptr;
    return editInterface ? editInterface->textInterface() : nullptr;
}

void* CComboAccessible::interface_cast(QAccessible::InterfaceType type)
{
    if (type == QAccessible::TextInterface)
        return static_cast<QAccessibleTextInterface*>(this);
    return QAccessibleWidget::interface_cast(type);
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
    // The list the box opens, and the line edit of an editable box.
    return Combo()->isEditable() && Combo()->lineEdit() ? 2 : 1;
}

QAccessibleInterface* CComboAccessible::child(int index) const
{
    if (index == 0)
        return QAccessible::queryAccessibleInterface(Combo()->view());
    if (index == 1 && childCount() == 2)
        return QAccessible::queryAccessibleInterface(Combo()->lineEdit());
    return nullptr;
}

int CComboAccessible::indexOfChild(const QAccessibleInterface* child) const
{
    if (!child)
        return -1;
    if (child->object() == Combo()->view())
        return 0;
    return childCount() == 2 && child->object() == Combo()->lineEdit() ? 1 : -1;
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

// ---------------------------------------------------------------- text

QString CComboAccessible::text(int startOffset, int endOffset) const
{
    const QString shown = CurrentText();
    if (endOffset < 0 || endOffset > shown.size())
        endOffset = shown.size();
    startOffset = qBound(0, startOffset, endOffset);
    return shown.mid(startOffset, endOffset - startOffset);
}

int CComboAccessible::characterCount() const
{
    return CurrentText().size();
}

int CComboAccessible::cursorPosition() const
{
    QAccessibleTextInterface* edit = EditText();
    return edit ? edit->cursorPosition() : 0;
}

void CComboAccessible::setCursorPosition(int position)
{
    if (QAccessibleTextInterface* edit = EditText())
        edit->setCursorPosition(position);
}

void CComboAccessible::selection(int selectionIndex, int* startOffset, int* endOffset) const
{
    *startOffset = *endOffset = 0;
    if (QAccessibleTextInterface* edit = EditText())
        edit->selection(selectionIndex, startOffset, endOffset);
}

int CComboAccessible::selectionCount() const
{
    QAccessibleTextInterface* edit = EditText();
    return edit ? edit->selectionCount() : 0;
}

void CComboAccessible::addSelection(int startOffset, int endOffset)
{
    if (QAccessibleTextInterface* edit = EditText())
        edit->addSelection(startOffset, endOffset);
}

void CComboAccessible::removeSelection(int selectionIndex)
{
    if (QAccessibleTextInterface* edit = EditText())
        edit->removeSelection(selectionIndex);
}

void CComboAccessible::setSelection(int selectionIndex, int startOffset, int endOffset)
{
    if (QAccessibleTextInterface* edit = EditText())
        edit->setSelection(selectionIndex, startOffset, endOffset);
}

QRect CComboAccessible::characterRect(int offset) const
{
    QAccessibleTextInterface* edit = EditText();
    return edit ? edit->characterRect(offset) : QRect();
}

int CComboAccessible::offsetAtPoint(const QPoint& point) const
{
    QAccessibleTextInterface* edit = EditText();
    return edit ? edit->offsetAtPoint(point) : -1;
}

void CComboAccessible::scrollToSubstring(int startIndex, int endIndex)
{
    if (QAccessibleTextInterface* edit = EditText())
        edit->scrollToSubstring(startIndex, endIndex);
}

QString CComboAccessible::attributes(int offset, int* startOffset, int* endOffset) const
{
    *startOffset = 0;
    *endOffset = characterCount();
    Q_UNUSED(offset);
    return {};
}

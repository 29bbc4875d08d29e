#include "logpane/CLogAccessible.h"

#include "logpane/CLogPane.h"

namespace {

QAccessibleInterface* MakeInterface(const QString& className, QObject* object)
{
    if (className == QLatin1String("CLogPane"))
        return new CLogAccessible(static_cast<CLogPane*>(object));
    return nullptr;
}

}  // namespace

CLogAccessible::CLogAccessible(CLogPane* pane)
    : QAccessibleWidget(pane, QAccessible::EditableText)
{
}

void CLogAccessible::Install()
{
    static const bool installed = [] {
        QAccessible::installFactory(MakeInterface);
        return true;
    }();
    Q_UNUSED(installed);
}

CLogPane* CLogAccessible::Pane() const
{
    return static_cast<CLogPane*>(widget());
}

void* CLogAccessible::interface_cast(QAccessible::InterfaceType type)
{
    if (type == QAccessible::TextInterface)
        return static_cast<QAccessibleTextInterface*>(this);
    return QAccessibleWidget::interface_cast(type);
}

QAccessible::State CLogAccessible::state() const
{
    QAccessible::State state = QAccessibleWidget::state();
    state.multiLine = true;
    state.readOnly = Pane()->isReadOnly();
    state.selectableText = true;
    return state;
}

QString CLogAccessible::text(QAccessible::Text kind) const
{
    if (kind == QAccessible::Value)
        return Pane()->toPlainText();
    return QAccessibleWidget::text(kind);
}

void CLogAccessible::selection(int selectionIndex, int* startOffset, int* endOffset) const
{
    *startOffset = *endOffset = 0;
    if (selectionIndex == 0)
        Pane()->SelectionRange(startOffset, endOffset);
}

int CLogAccessible::selectionCount() const
{
    return Pane()->HasSelection() ? 1 : 0;
}

void CLogAccessible::addSelection(int startOffset, int endOffset)
{
    Pane()->SetSelectionRange(startOffset, endOffset);
}

void CLogAccessible::removeSelection(int)
{
    const int at = cursorPosition();
    Pane()->SetSelectionRange(at, at);
}

void CLogAccessible::setSelection(int, int startOffset, int endOffset)
{
    Pane()->SetSelectionRange(startOffset, endOffset);
}

int CLogAccessible::cursorPosition() const
{
    int start = 0;
    int end = 0;
    Pane()->SelectionRange(&start, &end);
    return end;
}

void CLogAccessible::setCursorPosition(int position)
{
    Pane()->SetSelectionRange(position, position);
}

QString CLogAccessible::text(int startOffset, int endOffset) const
{
    return Pane()->toPlainText().mid(startOffset, endOffset - startOffset);
}

int CLogAccessible::characterCount() const
{
    return static_cast<int>(Pane()->toPlainText().size());
}

QRect CLogAccessible::characterRect(int) const
{
    return {};
}

int CLogAccessible::offsetAtPoint(const QPoint&) const
{
    return -1;
}

void CLogAccessible::scrollToSubstring(int, int) {}

QString CLogAccessible::attributes(int offset, int* startOffset, int* endOffset) const
{
    *startOffset = *endOffset = offset;
    return {};
}

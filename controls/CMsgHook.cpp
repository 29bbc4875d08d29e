#include "controls/CMsgHook.h"

#include <QApplication>
#include <QHash>
#include <QKeyEvent>
#include <QMouseEvent>

// The one event filter on the application. It only looks at events; every
// event is passed on except the Enter and Escape presses that end an edit
// (left to the window they would close a dialog or press its default button).
class CMsgHook::Filter : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    static void OnPopupShown(QWidget* popup, bool shown);
    static void OnFocusOut(QWidget* losing);
    static bool OnEditKey(QWidget* target, const QKeyEvent& key);
    static bool OnShortcutOverride(QWidget* target, QKeyEvent& key);
    static void OnPointerElsewhere(QWidget* target);
};

namespace {

struct HookState {
    int liveRecords = 0;
    CMsgHook::Filter* filter = nullptr;
    QHash<const QWidget*, CMsgHook*> registry;
    quint64 lastRegistration = 0;
};

HookState& State()
{
    static HookState state;
    return state;
}

void EnsureFilterInstalled()
{
    HookState& state = State();
    if (state.filter || !QCoreApplication::instance())
        return;
    state.filter = new CMsgHook::Filter;
    QCoreApplication::instance()->installEventFilter(state.filter);
}

// The record of the first registered editor met from `widget` up through its
// parents. Popup windows (a combo box's list, a calendar, a context menu)
// have the widget that opened them as parent, so they count as inside it.
CMsgHook* RecordAbove(const QWidget* widget)
{
    const HookState& state = State();
    for (const QWidget* w = widget; w; w = w->parentWidget()) {
        if (CMsgHook* record = state.registry.value(w))
            return record;
    }
    return nullptr;
}

// Like QWidget::isAncestorOf, but across windows: the editor's popups count.
bool IsInside(const QWidget* widget, const QWidget* editor)
{
    if (!editor)
        return false;
    for (const QWidget* w = widget; w; w = w->parentWidget()) {
        if (w == editor)
            return true;
    }
    return false;
}

bool IsPopup(const QWidget* widget)
{
    return widget->isWindow() && widget->windowType() == Qt::Popup;
}

// A drop-down list or calendar of the editor is on screen.
bool HasOpenPopup(const QWidget* editor)
{
    const auto children = editor->findChildren<QWidget*>();
    for (const QWidget* child : children) {
        if (IsPopup(child) && child->isVisible())
            return true;
    }
    return false;
}

bool IsEditKey(const QKeyEvent& key)
{
    return key.key() == Qt::Key_Return || key.key() == Qt::Key_Enter || key.key() == Qt::Key_Escape;
}

bool IsEndingButton(Qt::MouseButton button)
{
    return button == Qt::LeftButton || button == Qt::RightButton || button == Qt::MiddleButton;
}

}  // namespace

bool CMsgHook::Filter::eventFilter(QObject* watched, QEvent* event)
{
    if (State().registry.isEmpty() || !watched->isWidgetType())
        return false;
    auto* widget = static_cast<QWidget*>(watched);
    switch (event->type()) {
    case QEvent::Show:
    case QEvent::Hide:
        if (IsPopup(widget))
            OnPopupShown(widget, event->type() == QEvent::Show);
        break;
    case QEvent::FocusOut:
        OnFocusOut(widget);
        break;
    case QEvent::KeyPress:
        return OnEditKey(widget, *static_cast<QKeyEvent*>(event));
    case QEvent::ShortcutOverride:
        return OnShortcutOverride(widget, *static_cast<QKeyEvent*>(event));
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
        if (IsEndingButton(static_cast<QMouseEvent*>(event)->button()))
            OnPointerElsewhere(widget);
        break;
    case QEvent::Wheel:
    case QEvent::Scroll:
        OnPointerElsewhere(widget);
        break;
    default:
        break;
    }
    return false;
}

void CMsgHook::Filter::OnPopupShown(QWidget* popup, bool shown)
{
    if (CMsgHook* record = RecordAbove(popup->parentWidget()))
        record->SetDropDown(shown);
}

void CMsgHook::Filter::OnFocusOut(QWidget* losing)
{
    CMsgHook* record = RecordAbove(losing);
    if (!record || record->IsDropDownOpen())
        return;
    // Qt has already made the receiving widget the focus widget. With none,
    // the focus went to a window without one: the active window, which is
    // the editor's own popup while that closes, or none when the focus
    // leaves the application.
    QWidget* receiving = QApplication::focusWidget();
    if (!receiving)
        receiving = QApplication::activeWindow();
    if (IsInside(receiving, record->Editor()))
        return;
    record->PostEndEdit(1);
}

bool CMsgHook::Filter::OnEditKey(QWidget* target, const QKeyEvent& key)
{
    if (!IsEditKey(key))
        return false;
    CMsgHook* record = RecordAbove(target);
    if (!record)
        return false;
    // In the editor's open drop-down list, calendar or context menu, Enter
    // chooses and Escape closes; the edit goes on.
    if (IsPopup(target->window()))
        return false;
    record->PostEndEdit(key.key() == Qt::Key_Escape ? 0 : 1);
    return true;
}

bool CMsgHook::Filter::OnShortcutOverride(QWidget* target, QKeyEvent& key)
{
    // A window shortcut on Enter or Escape must not take the key away from
    // the editor.
    if (!IsEditKey(key) || !RecordAbove(target) || IsPopup(target->window()))
        return false;
    key.accept();
    return true;
}

void CMsgHook::Filter::OnPointerElsewhere(QWidget* target)
{
    if (RecordAbove(target))
        return;
    const auto records = State().registry.values();
    for (const CMsgHook* record : records) {
        const QWidget* editor = record->Editor();
        if (!editor || record->IsDropDownOpen() || HasOpenPopup(editor))
            continue;
        record->PostEndEdit(1);
    }
}

CMsgHook::CMsgHook()
{
    ++State().liveRecords;
    EnsureFilterInstalled();
}

CMsgHook::~CMsgHook()
{
    Unregister();
    HookState& state = State();
    if (--state.liveRecords > 0 || !state.filter)
        return;
    if (QCoreApplication::instance())
        QCoreApplication::instance()->removeEventFilter(state.filter);
    delete state.filter;
    state.filter = nullptr;
}

bool CMsgHook::Register(QWidget* editor, QObject* notify)
{
    Unregister();
    if (!editor)
        return false;
    EnsureFilterInstalled();
    HookState& state = State();
    if (CMsgHook* previousOwner = state.registry.value(editor))
        previousOwner->Unregister();

    m_editor = editor;
    m_editorKey = editor;
    m_notify = notify;
    m_dropDown = false;
    m_registration = ++state.lastRegistration;
    state.registry.insert(editor, this);
    // Only the pointer value is used once the editor is being destroyed.
    m_destroyedConnection = QObject::connect(editor, &QObject::destroyed, [key = m_editorKey] {
        if (CMsgHook* record = State().registry.value(key))
            record->Unregister();
    });
    return true;
}

bool CMsgHook::Unregister()
{
    if (m_registration == 0)
        return false;
    QObject::disconnect(m_destroyedConnection);
    HookState& state = State();
    const auto entry = state.registry.constFind(m_editorKey);
    if (entry != state.registry.cend() && entry.value() == this)
        state.registry.erase(entry);
    m_editor = nullptr;
    m_editorKey = nullptr;
    m_notify = nullptr;
    m_dropDown = false;
    m_registration = 0;
    return true;
}

bool CMsgHook::IsCurrent(const EndEditEvent& event) const
{
    return m_registration != 0 && event.Registration() == m_registration;
}

void CMsgHook::PostEndEdit(int accept) const
{
    if (m_registration != 0 && m_notify)
        QCoreApplication::postEvent(m_notify, new EndEditEvent(accept, m_registration));
}

int CMsgHook::LiveRecords()
{
    return State().liveRecords;
}

bool CMsgHook::IsInstalled()
{
    return State().filter != nullptr;
}

int CMsgHook::RegisteredEditors()
{
    return static_cast<int>(State().registry.size());
}

CMsgHook* CMsgHook::RecordOf(const QWidget* editor)
{
    return State().registry.value(editor);
}

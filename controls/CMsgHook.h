#pragma once

#include <QEvent>
#include <QMetaObject>
#include <QPointer>
#include <QWidget>

// Ends in-place edits at the right moment without touching the editor
// widget itself: Enter accepts, Escape cancels, moving the focus or clicking
// anywhere outside the editor accepts, but opening the editor's own
// drop-down list, calendar or context menu does not.
//
// Each object is one hook record: it holds at most one registered editor and
// the object to notify (the grid). One application-wide event filter serves
// every record; the first live record installs it on the application, the
// destruction of the last one removes it.
//
// The record never calls into the object to notify while an event is being
// delivered: it posts an EndEditEvent, so the grid may hide, move and
// reparent the editor without disturbing the event that caused the end.
// An EndEditEvent carries the registration it was posted for; a grid acts on
// it only while IsCurrent() says it still belongs to the running edit.
//
// UI thread only.
class CMsgHook {
public:
    // The "end edit" notification; accept is 1 to keep the editor's value
    // and 0 to cancel.
    static constexpr QEvent::Type kEndEditEvent = static_cast<QEvent::Type>(QEvent::User + 10);

    class EndEditEvent : public QEvent {
    public:
        EndEditEvent(int accept, quint64 registration)
            : QEvent(kEndEditEvent), m_accept(accept), m_registration(registration)
        {
        }
        int Accept() const { return m_accept; }
        quint64 Registration() const { return m_registration; }

    private:
        int m_accept = 0;
        quint64 m_registration = 0;
    };

    CMsgHook();
    ~CMsgHook();
    CMsgHook(const CMsgHook&) = delete;
    CMsgHook& operator=(const CMsgHook&) = delete;

    // Drops whatever this record held, then watches `editor` on behalf of
    // `notify`. An editor belongs to one record at a time: registering it
    // here takes it away from any other record. False when editor is null.
    bool Register(QWidget* editor, QObject* notify);
    // True when something was registered.
    bool Unregister();

    bool IsRegistered() const { return m_registration != 0; }
    QWidget* Editor() const { return m_editor; }
    QObject* NotifyTarget() const { return m_notify; }
    // The editor's own drop-down list, calendar or context menu is open.
    bool IsDropDownOpen() const { return m_dropDown; }
    // The event was posted for the registration this record holds now.
    bool IsCurrent(const EndEditEvent& event) const;
    // Posts the end-edit notification for the current registration (used by
    // the grid when its own scroll bars are operated).
    void PostEndEdit(int accept) const;

    // Process-wide state, for the owner's checks and for tests.
    static int LiveRecords();
    static bool IsInstalled();
    static int RegisteredEditors();
    static CMsgHook* RecordOf(const QWidget* editor);

    // The application-wide event filter (defined with the implementation).
    class Filter;

private:
    friend class Filter;

    void SetDropDown(bool open) { m_dropDown = open; }

    QPointer<QWidget> m_editor;
    const QWidget* m_editorKey = nullptr;  // registry key, valid even while the editor dies
    QPointer<QObject> m_notify;
    bool m_dropDown = false;
    quint64 m_registration = 0;  // 0 = nothing registered
    QMetaObject::Connection m_destroyedConnection;
};

#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace testsupport {

// One object on the accessibility bus: the application's connection and
// the object's path.
struct AtSpiObject {
    QString bus;
    QString path;
    bool operator==(const AtSpiObject& other) const = default;
};

// A state change an application told of: the object's path, the state's
// name ("selected") and whether it is now set.
struct AtSpiStateChange {
    QString path;
    QString state;
    bool set = false;
};

// Reads the accessibility tree over AT-SPI, as a screen reader does: from
// the registry's desktop to the applications and down their children, with
// the object's role, name, states and text. Every question waits for its
// answer while the calling thread's event loop runs, so a window of the
// same program can answer it. A question without an answer gives nullopt,
// and LastError() says why.
class AtSpiReader : public QObject {
    Q_OBJECT
public:
    // AT-SPI's own numbers (atspi-constants.h), as tools receive them.
    enum Role : unsigned {
        RoleComboBox = 11,
        RoleList = 31,
        RoleListItem = 32,
        RoleTable = 55,
        RoleText = 61,
        RoleTree = 65,
    };
    enum State : unsigned { StateFocused = 12, StateSelected = 23, StateShowing = 25 };

    // Connects to the accessibility bus that the session's launcher names.
    AtSpiReader();
    ~AtSpiReader();

    std::optional<QList<AtSpiObject>> Applications();
    std::optional<QList<AtSpiObject>> Children(const AtSpiObject& object);
    std::optional<unsigned> RoleOf(const AtSpiObject& object);
    std::optional<QString> NameOf(const AtSpiObject& object);
    // The state set, one bit per State.
    std::optional<quint64> StatesOf(const AtSpiObject& object);
    std::optional<QStringList> InterfacesOf(const AtSpiObject& object);
    // The whole text of the Text interface.
    std::optional<QString> TextOf(const AtSpiObject& object);

    // Asks, through the registry, that applications tell of `event`
    // ("object:state-changed:selected"), and keeps the state changes told.
    // Applications hear of the request by themselves, a little later.
    bool Listen(const QString& event);
    // The state changes told since the last call, oldest first.
    QList<AtSpiStateChange> TakeStateChanges();

    static bool Has(quint64 states, State state) { return (states >> state) & 1U; }
    QString LastError() const { return m_lastError; }

private slots:
    void OnStateChanged(const QDBusMessage& signal);

private:
    std::optional<QDBusMessage> Ask(const AtSpiObject& object, const QString& interface, const QString& method,
                                    const QVariantList& arguments = {});
    std::optional<QList<AtSpiObject>> Objects(const QDBusMessage& reply);

    QString m_connectionName;
    QDBusConnection m_bus;
    QString m_lastError;
    QList<AtSpiStateChange> m_stateChanges;
};

}  // namespace testsupport

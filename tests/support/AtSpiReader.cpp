#include "support/AtSpiReader.h"

#include "support/EventLoopWait.h"

#include <QDBusArgument>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusVariant>

#include <utility>

namespace testsupport {

namespace {

// An answer slower than this counts as none; generous for a loaded machine.
constexpr std::chrono::seconds kAnswerLimit(60);

const QString kAccessible = QStringLiteral("org.a11y.atspi.Accessible");

QString AccessibilityBusAddress()
{
    // The launcher is a process of its own: asking it may block.
    const QDBusMessage reply = QDBusConnection::sessionBus().call(QDBusMessage::createMethodCall(
        QStringLiteral("org.a11y.Bus"), QStringLiteral("/org/a11y/bus"), QStringLiteral("org.a11y.Bus"),
        QStringLiteral("GetAddress")));
    return reply.arguments().isEmpty() ? QString() : reply.arguments().first().toString();
}

}  // namespace

AtSpiReader::AtSpiReader()
    : m_connectionName(QStringLiteral("atspi-reader-%1").arg(reinterpret_cast<quintptr>(this))),
      m_bus(QDBusConnection::connectToBus(AccessibilityBusAddress(), m_connectionName))
{
}

AtSpiReader::~AtSpiReader()
{
    QDBusConnection::disconnectFromBus(m_connectionName);
}

std::optional<QDBusMessage> AtSpiReader::Ask(const AtSpiObject& object, const QString& interface,
                                             const QString& method, const QVariantList& arguments)
{
    if (!m_bus.isConnected()) {
        m_lastError = QStringLiteral("not connected to the accessibility bus: ") + m_bus.lastError().message();
        return std::nullopt;
    }
    QDBusMessage question = QDBusMessage::createMethodCall(object.bus, object.path, interface, method);
    question.setArguments(arguments);
    // Asked without blocking: the answer may have to come from this thread.
    QDBusPendingCall pending = m_bus.asyncCall(question, static_cast<int>(kAnswerLimit.count() * 1000));
    WaitUntil([&] { return pending.isFinished(); }, kAnswerLimit + std::chrono::seconds(5));
    if (!pending.isFinished() || pending.isError()) {
        m_lastError = QStringLiteral("%1.%2 on %3 %4: %5")
                          .arg(interface, method, object.bus, object.path,
                               pending.isFinished() ? pending.error().message() : QStringLiteral("no answer"));
        return std::nullopt;
    }
    return pending.reply();
}

std::optional<QList<AtSpiObject>> AtSpiReader::Objects(const QDBusMessage& reply)
{
    // a(so): the bus name and path of each object.
    if (reply.arguments().isEmpty() || !reply.arguments().first().canConvert<QDBusArgument>()) {
        m_lastError = QStringLiteral("an answer without objects");
        return std::nullopt;
    }
    const QDBusArgument list = reply.arguments().first().value<QDBusArgument>();
    QList<AtSpiObject> objects;
    list.beginArray();
    while (!list.atEnd()) {
        AtSpiObject object;
        QDBusObjectPath path;
        list.beginStructure();
        list >> object.bus >> path;
        list.endStructure();
        object.path = path.path();
        objects << object;
    }
    list.endArray();
    return objects;
}

std::optional<QList<AtSpiObject>> AtSpiReader::Applications()
{
    const AtSpiObject desktop{QStringLiteral("org.a11y.atspi.Registry"),
                              QStringLiteral("/org/a11y/atspi/accessible/root")};
    const auto reply = Ask(desktop, kAccessible, QStringLiteral("GetChildren"));
    return reply ? Objects(*reply) : std::nullopt;
}

std::optional<QList<AtSpiObject>> AtSpiReader::Children(const AtSpiObject& object)
{
    const auto reply = Ask(object, kAccessible, QStringLiteral("GetChildren"));
    return reply ? Objects(*reply) : std::nullopt;
}

std::optional<unsigned> AtSpiReader::RoleOf(const AtSpiObject& object)
{
    const auto reply = Ask(object, kAccessible, QStringLiteral("GetRole"));
    if (!reply || reply->arguments().isEmpty())
        return std::nullopt;
    return reply->arguments().first().toUInt();
}

std::optional<QString> AtSpiReader::NameOf(const AtSpiObject& object)
{
    const auto reply = Ask(object, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"),
                           {kAccessible, QStringLiteral("Name")});
    if (!reply || reply->arguments().isEmpty())
        return std::nullopt;
    return reply->arguments().first().value<QDBusVariant>().variant().toString();
}

std::optional<quint64> AtSpiReader::StatesOf(const AtSpiObject& object)
{
    // au: two 32-bit words, the low one first.
    const auto reply = Ask(object, kAccessible, QStringLiteral("GetState"));
    if (!reply || reply->arguments().isEmpty())
        return std::nullopt;
    const auto words = qdbus_cast<QList<uint>>(reply->arguments().first());
    quint64 states = 0;
    for (qsizetype word = 0; word < words.size() && word < 2; ++word)
        states |= quint64(words[word]) << (32 * word);
    return states;
}

std::optional<QStringList> AtSpiReader::InterfacesOf(const AtSpiObject& object)
{
    const auto reply = Ask(object, kAccessible, QStringLiteral("GetInterfaces"));
    if (!reply || reply->arguments().isEmpty())
        return std::nullopt;
    return qdbus_cast<QStringList>(reply->arguments().first());
}

std::optional<QString> AtSpiReader::TextOf(const AtSpiObject& object)
{
    // From the first character to the end (-1).
    const auto reply = Ask(object, QStringLiteral("org.a11y.atspi.Text"), QStringLiteral("GetText"), {0, -1});
    if (!reply || reply->arguments().isEmpty())
        return std::nullopt;
    return reply->arguments().first().toString();
}

bool AtSpiReader::Listen(const QString& event)
{
    const bool listening = m_bus.connect(QString(), QString(), QStringLiteral("org.a11y.atspi.Event.Object"),
                                         QStringLiteral("StateChanged"), this, SLOT(OnStateChanged(QDBusMessage)));
    if (!listening) {
        m_lastError = QStringLiteral("cannot hear state changes: ") + m_bus.lastError().message();
        return false;
    }
    // The event, the properties to send with it (none), for every application.
    const AtSpiObject registry{QStringLiteral("org.a11y.atspi.Registry"), QStringLiteral("/org/a11y/atspi/registry")};
    return Ask(registry, QStringLiteral("org.a11y.atspi.Registry"), QStringLiteral("RegisterEvent"),
               {event, QStringList{}, QString()})
        .has_value();
}

QList<AtSpiStateChange> AtSpiReader::TakeStateChanges()
{
    return std::exchange(m_stateChanges, {});
}

void AtSpiReader::OnStateChanged(const QDBusMessage& signal)
{
    // The state's name, then 1 or 0.
    const QVariantList arguments = signal.arguments();
    if (arguments.size() >= 2)
        m_stateChanges << AtSpiStateChange{signal.path(), arguments[0].toString(), arguments[1].toInt() != 0};
}

}  // namespace testsupport

#include "records/RecordEvent.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUuid>

namespace {

const char* TypeName(RecordEvent::Type type)
{
    switch (type) {
    case RecordEvent::Type::Report:
        return "report";
    case RecordEvent::Type::ChangeBegun:
        return "change-begun";
    case RecordEvent::Type::ChangeItem:
        return "change-item";
    case RecordEvent::Type::ChangeDone:
        return "change-done";
    case RecordEvent::Type::ProfileCheck:
        return "profile-check";
    }
    return "";
}

std::optional<RecordEvent::Type> TypeFromName(const QString& name)
{
    for (const RecordEvent::Type type : {RecordEvent::Type::Report, RecordEvent::Type::ChangeBegun,
                                         RecordEvent::Type::ChangeItem, RecordEvent::Type::ChangeDone,
                                         RecordEvent::Type::ProfileCheck}) {
        if (name == QLatin1String(TypeName(type)))
            return type;
    }
    return std::nullopt;
}

}  // namespace

QString NewRecordUid()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces);
}

QByteArray RecordEventToJson(const RecordEvent& event)
{
    QJsonObject object{
        {QStringLiteral("type"), QString::fromLatin1(TypeName(event.type))},
        {QStringLiteral("uid"), event.uid},
        {QStringLiteral("visit"), event.visitUid},
        {QStringLiteral("at"), event.atMs},
        {QStringLiteral("port"), event.context.port},
        {QStringLiteral("computer"), event.context.computer},
        {QStringLiteral("user"), event.context.userName},
    };
    switch (event.type) {
    case RecordEvent::Type::Report:
        object.insert(QStringLiteral("trigger"), event.trigger);
        // Terminal bytes (GBK): kept exactly.
        object.insert(QStringLiteral("report"), QString::fromLatin1(event.report.toBase64()));
        object.insert(QStringLiteral("module"), event.module);
        object.insert(QStringLiteral("renamedFrom"), event.renamedFrom);
        break;
    case RecordEvent::Type::ChangeBegun:
        object.insert(QStringLiteral("change"), event.changeUid);
        object.insert(QStringLiteral("device"), event.deviceKey);
        object.insert(QStringLiteral("kind"), event.kind);
        break;
    case RecordEvent::Type::ChangeItem:
        object.insert(QStringLiteral("change"), event.changeUid);
        object.insert(QStringLiteral("seq"), event.seq);
        object.insert(QStringLiteral("item"), event.item.item);
        object.insert(QStringLiteral("old"), event.item.oldValue);
        object.insert(QStringLiteral("new"), event.item.newValue);
        object.insert(QStringLiteral("acknowledged"), event.item.acknowledged);
        break;
    case RecordEvent::Type::ChangeDone:
        object.insert(QStringLiteral("change"), event.changeUid);
        object.insert(QStringLiteral("result"), event.result);
        object.insert(QStringLiteral("verify"), event.verify);
        break;
    case RecordEvent::Type::ProfileCheck:
        object.insert(QStringLiteral("device"), event.deviceKey);
        object.insert(QStringLiteral("profile"), event.check.profileName);
        object.insert(QStringLiteral("version"), event.check.profileVersion);
        object.insert(QStringLiteral("digest"), event.check.profileDigest);
        object.insert(QStringLiteral("day"), event.check.day);
        object.insert(QStringLiteral("conformed"), event.check.conformed);
        object.insert(QStringLiteral("deviations"), event.check.countingDeviations);
        object.insert(QStringLiteral("lines"), QJsonArray::fromStringList(event.check.deviationLines));
        break;
    }
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

std::optional<RecordEvent> RecordEventFromJson(const QByteArray& json)
{
    const QJsonObject object = QJsonDocument::fromJson(json).object();
    const std::optional<RecordEvent::Type> type = TypeFromName(object.value(QStringLiteral("type")).toString());
    const QString uid = object.value(QStringLiteral("uid")).toString();
    if (!type || uid.isEmpty())
        return std::nullopt;
    RecordEvent event;
    event.type = *type;
    event.uid = uid;
    event.visitUid = object.value(QStringLiteral("visit")).toString();
    event.atMs = object.value(QStringLiteral("at")).toInteger();
    event.context = {object.value(QStringLiteral("port")).toString(), object.value(QStringLiteral("computer")).toString(),
                     object.value(QStringLiteral("user")).toString()};
    event.trigger = object.value(QStringLiteral("trigger")).toString();
    event.report = QByteArray::fromBase64(object.value(QStringLiteral("report")).toString().toLatin1());
    event.module = object.value(QStringLiteral("module")).toString();
    event.renamedFrom = object.value(QStringLiteral("renamedFrom")).toString();
    event.changeUid = object.value(QStringLiteral("change")).toString();
    event.deviceKey = object.value(QStringLiteral("device")).toString();
    event.kind = object.value(QStringLiteral("kind")).toString();
    event.seq = object.value(QStringLiteral("seq")).toInt();
    event.item = {object.value(QStringLiteral("item")).toString(), object.value(QStringLiteral("old")).toString(),
                  object.value(QStringLiteral("new")).toString(), object.value(QStringLiteral("acknowledged")).toBool()};
    event.result = object.value(QStringLiteral("result")).toString();
    event.verify = object.value(QStringLiteral("verify")).toString();
    if (event.type == RecordEvent::Type::ProfileCheck) {
        event.check.profileName = object.value(QStringLiteral("profile")).toString();
        event.check.profileVersion = object.value(QStringLiteral("version")).toString();
        event.check.profileDigest = object.value(QStringLiteral("digest")).toString();
        event.check.day = object.value(QStringLiteral("day")).toString();
        event.check.conformed = object.value(QStringLiteral("conformed")).toBool();
        event.check.countingDeviations = object.value(QStringLiteral("deviations")).toInt();
        for (const QJsonValue& line : object.value(QStringLiteral("lines")).toArray())
            event.check.deviationLines << line.toString();
    }
    return event;
}

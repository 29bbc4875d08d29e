#include "records/RecordCommands.h"

#include "params/ConfigFilePlan.h"
#include "records/CRecordOutbox.h"
#include "records/CRecordStore.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QSaveFile>

namespace {

void Print(std::FILE* stream, const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stream);
}

QString DeviceLine(const DeviceRow& row)
{
    return QStringLiteral("%1  %2  %3  %4  %5  %6  %7\n")
        .arg(row.key, -20)
        .arg(row.simNumber, -15)
        .arg(RecordTimeText(row.firstSeenMs), -19)
        .arg(RecordTimeText(row.lastSeenMs), -19)
        .arg(row.visits, 6)
        .arg(row.lastResult.isEmpty() ? QStringLiteral("-") : row.lastResult, -4)
        .arg(row.lastVerify.isEmpty() ? QStringLiteral("-") : row.lastVerify);
}

}  // namespace

QString NormalisedDeviceKey(const QString& typed)
{
    static const QRegularExpression hexId(QStringLiteral("^[0-9A-Fa-f]{8}$"));
    const QString key = typed.trimmed();
    return hexId.match(key).hasMatch() ? key.toUpper() : key;
}

QString RecordTimeText(qint64 ms)
{
    return QDateTime::fromMSecsSinceEpoch(ms).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QJsonObject DeviceJson(const DeviceRow& row)
{
    return QJsonObject{
        {QStringLiteral("device"), row.key},
        {QStringLiteral("keyKind"), DeviceKeyKindText(row.kind)},
        {QStringLiteral("simNumber"), row.simNumber},
        {QStringLiteral("firstSeen"), QDateTime::fromMSecsSinceEpoch(row.firstSeenMs).toString(Qt::ISODateWithMs)},
        {QStringLiteral("lastSeen"), QDateTime::fromMSecsSinceEpoch(row.lastSeenMs).toString(Qt::ISODateWithMs)},
        {QStringLiteral("visits"), row.visits},
        {QStringLiteral("lastResult"), row.lastResult},
        {QStringLiteral("lastVerify"), row.lastVerify},
    };
}

QJsonObject HistoryEntryJson(const HistoryEntry& entry)
{
    QJsonObject object{
        {QStringLiteral("id"), entry.id},
        {QStringLiteral("time"), QDateTime::fromMSecsSinceEpoch(entry.atMs).toString(Qt::ISODateWithMs)},
        {QStringLiteral("port"), entry.port},
        {QStringLiteral("computer"), entry.computer},
        {QStringLiteral("user"), entry.userName},
    };
    if (entry.type == HistoryEntry::Type::Snapshot) {
        object.insert(QStringLiteral("type"), QStringLiteral("snapshot"));
        object.insert(QStringLiteral("number"), entry.number);
        object.insert(QStringLiteral("trigger"), entry.trigger);
        object.insert(QStringLiteral("lastSeen"),
                      QDateTime::fromMSecsSinceEpoch(entry.lastSeenMs).toString(Qt::ISODateWithMs));
        object.insert(QStringLiteral("seen"), entry.seen);
        object.insert(QStringLiteral("size"), entry.size);
        object.insert(QStringLiteral("module"), entry.module);
        object.insert(QStringLiteral("differences"), QJsonArray::fromStringList(entry.differences));
        return object;
    }
    object.insert(QStringLiteral("type"), QStringLiteral("change"));
    object.insert(QStringLiteral("kind"), entry.kind);
    object.insert(QStringLiteral("result"), entry.result);
    object.insert(QStringLiteral("verify"), entry.verify);
    QJsonArray items;
    for (const ChangeItem& item : entry.items) {
        items.append(QJsonObject{{QStringLiteral("item"), item.item},
                                 {QStringLiteral("old"), item.oldValue},
                                 {QStringLiteral("new"), item.newValue},
                                 {QStringLiteral("acknowledged"), item.acknowledged}});
    }
    object.insert(QStringLiteral("items"), items);
    return object;
}

QString HistoryEntryText(const HistoryEntry& entry)
{
    QString text;
    if (entry.type == HistoryEntry::Type::Snapshot) {
        text = QStringLiteral("%1  #%2 snapshot %3  %4 %5").arg(RecordTimeText(entry.atMs)).arg(entry.number).arg(
            entry.trigger, entry.port, entry.computer);
        if (entry.seen > 1)
            text += QStringLiteral("  (seen %1 times, last %2)").arg(entry.seen).arg(RecordTimeText(entry.lastSeenMs));
        text += QLatin1Char('\n');
        for (const QString& line : entry.differences)
            text += QStringLiteral("      ") + line + QLatin1Char('\n');
        return text;
    }
    text = QStringLiteral("%1  %2 %3%4  %5 %6\n")
               .arg(RecordTimeText(entry.atMs), entry.kind, entry.result,
                    entry.verify.isEmpty() ? QString() : QStringLiteral(" 校验%1").arg(entry.verify), entry.port,
                    entry.computer);
    for (const ChangeItem& item : entry.items) {
        const QString label = item.item.isEmpty() ? QString() : item.item + QStringLiteral("：");
        const QString change = item.oldValue.isEmpty() ? item.newValue : item.oldValue + QStringLiteral(" → ") + item.newValue;
        text += QStringLiteral("      %1%2%3\n").arg(label, change, item.acknowledged ? QString() : QStringLiteral("（未确认）"));
    }
    return text;
}

int PrintHistory(const QString& location, const QString& device, bool json, std::FILE* out, std::FILE* err)
{
    // Visits that wait in the outbox, and where they are to go (JSON stays
    // JSON: the line goes to standard error then).
    Print(json ? err : out, CRecordOutbox::WaitingNotice());
    CRecordStore store(location);
    if (!store.Open()) {
        Print(err, QStringLiteral("sirenset: %1: %2\n").arg(store.Describe(), store.LastError()));
        return 1;
    }
    if (device.isEmpty()) {
        const auto devices = store.ListDevices();
        if (!devices) {
            Print(err, QStringLiteral("sirenset: %1: %2\n").arg(store.Describe(), store.LastError()));
            return 1;
        }
        if (json) {
            QJsonArray list;
            for (const DeviceRow& row : *devices)
                list.append(DeviceJson(row));
            Print(out, QString::fromUtf8(QJsonDocument(QJsonObject{{QStringLiteral("devices"), list}}).toJson()));
            return 0;
        }
        for (const DeviceRow& row : *devices)
            Print(out, DeviceLine(row));
        return 0;
    }
    const auto history = store.History(NormalisedDeviceKey(device));
    if (!history) {
        Print(err, QStringLiteral("sirenset: %1\n").arg(store.LastError()));
        return 1;
    }
    if (json) {
        QJsonArray entries;
        for (const HistoryEntry& entry : history->entries)
            entries.append(HistoryEntryJson(entry));
        const QJsonObject object{{QStringLiteral("device"), DeviceJson(history->device)},
                                 {QStringLiteral("entries"), entries}};
        Print(out, QString::fromUtf8(QJsonDocument(object).toJson()));
        return 0;
    }
    Print(out, DeviceLine(history->device));
    for (const HistoryEntry& entry : history->entries)
        Print(out, HistoryEntryText(entry));
    return 0;
}

int ExportSnapshot(const QString& location, const QString& snapshot, const QString& file, std::FILE* err)
{
    const qsizetype at = snapshot.lastIndexOf(QLatin1Char('@'));
    int number = 0;
    if (at >= 0) {
        bool ok = false;
        number = snapshot.mid(at + 1).toInt(&ok);
        if (!ok || number < 1) {
            Print(err, QStringLiteral("sirenset: --export needs DEVICEID[@N] with N from 1, not \"%1\"\n").arg(snapshot));
            return 1;
        }
    }
    CRecordStore store(location);
    if (!store.Open()) {
        Print(err, QStringLiteral("sirenset: %1: %2\n").arg(store.Describe(), store.LastError()));
        return 1;
    }
    const std::optional<QByteArray> report =
        store.SnapshotReport(NormalisedDeviceKey(at >= 0 ? snapshot.left(at) : snapshot), number);
    if (!report) {
        Print(err, QStringLiteral("sirenset: %1\n").arg(store.LastError()));
        return 1;
    }
    QSaveFile out(file);
    const QByteArray bytes = ConfigFileText(*report);
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size() || !out.commit()) {
        Print(err, QStringLiteral("sirenset: %1: %2\n").arg(file, out.errorString()));
        return 1;
    }
    return 0;
}

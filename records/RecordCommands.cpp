#include "records/RecordCommands.h"

#include "params/ConfigFilePlan.h"
#include "records/ConsoleColumns.h"
#include "records/CRecordOutbox.h"
#include "records/CRecordStore.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QSaveFile>

#include <algorithm>

namespace {

void Print(std::FILE* stream, const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stream);
}

QString DeviceColumns(const QStringList& cells)
{
    static const int widths[] = {20, 15, 19, 19};
    QString line;
    for (int i = 0; i < 4; ++i)
        line += PaddedRight(cells[i], widths[i]) + QStringLiteral("  ");
    line += PaddedLeft(cells[4], 4) + QStringLiteral("  ") + PaddedRight(cells[5], 8) + QStringLiteral("  ") + cells[6];
    return line + QLatin1Char('\n');
}

QString OrDash(const QString& text)
{
    return text.isEmpty() ? QStringLiteral("-") : text;
}

// Where an entry was made: port and computer, when known.
QString WhereText(const HistoryEntry& entry)
{
    const QString where = QStringList{entry.port, entry.computer}.join(QLatin1Char(' ')).trimmed();
    return where.isEmpty() ? QString() : QStringLiteral("  ") + where;
}

// A failure of the record, for the console: where, and why.
QString StoreFailureText(const CRecordStore& store)
{
    return store.IsMissing() ? store.LastError() + QLatin1Char('\n')
                             : QStringLiteral("设备档案“%1”：%2\n").arg(store.Describe(), store.LastError());
}

// Rows --history reads from the record at a time.
constexpr int kHistoryPage = 500;

// A device's JSON object as it stands in the list, indented as
// QJsonDocument indents it there.
QString IndentedDeviceJson(const DeviceRow& row)
{
    QString text = QString::fromUtf8(QJsonDocument(DeviceJson(row)).toJson(QJsonDocument::Indented)).trimmed();
    text.replace(QLatin1Char('\n'), QStringLiteral("\n        "));
    return QStringLiteral("        ") + text;
}

// Every device, a page at a time: a province's record is never held whole.
int PrintDeviceList(CRecordStore& store, bool json, std::FILE* out, std::FILE* err)
{
    DevicePageKey after;
    bool first = true;
    for (;;) {
        const auto page = store.DevicePage(QString(), after, kHistoryPage);
        if (!page) {
            if (json && !first)
                Print(out, QStringLiteral("\n"));
            Print(err, StoreFailureText(store));
            return 1;
        }
        if (first && page->empty()) {
            Print(out, json ? QStringLiteral("{\n    \"devices\": [\n    ]\n}\n")
                            : QStringLiteral("设备档案中还没有设备（%1）\n").arg(store.Describe()));
            return 0;
        }
        QString text;
        for (const DeviceRow& row : *page) {
            if (json)
                text += (first ? QStringLiteral("{\n    \"devices\": [\n") : QStringLiteral(",\n")) + IndentedDeviceJson(row);
            else
                text += (first ? DeviceTableHeader() : QString()) + DeviceLine(row);
            first = false;
        }
        Print(out, text);
        if (static_cast<int>(page->size()) < kHistoryPage)
            break;
        after = DevicePageKey::After(page->back());
    }
    if (json)
        Print(out, QStringLiteral("\n    ]\n}\n"));
    return 0;
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
        object.insert(QStringLiteral("snapshotId"), entry.id);
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
    object.insert(QStringLiteral("changeId"), entry.id);
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

QString TriggerText(const QString& trigger)
{
    struct Word {
        const char* trigger;
        const char* words;
    };
    static const Word words[] = {
        {RecordTrigger::Entry, "进入配置"},           {RecordTrigger::ReadBack, "参数回读"},
        {RecordTrigger::Verify, "保存后校验"},        {RecordTrigger::ReadRun, "读取（--read）"},
        {RecordTrigger::DiffRun, "比较（--diff）"},   {RecordTrigger::BeforeApply, "配置前（--apply）"},
        {RecordTrigger::AfterApply, "配置后校验（--apply）"},
    };
    for (const Word& word : words) {
        if (trigger == QLatin1String(word.trigger))
            return QString::fromUtf8(word.words);
    }
    return trigger;
}

QString ChangeKindText(const QString& kind)
{
    if (kind == QLatin1String(ChangeKind::Parameters))
        return QStringLiteral("参数修改");
    if (kind == QLatin1String(ChangeKind::Numbers))
        return QStringLiteral("号码修改");
    if (kind == QLatin1String(ChangeKind::FactoryReset))
        return QStringLiteral("恢复出厂设置");
    if (kind == QLatin1String(ChangeKind::Clock))
        return QStringLiteral("设置时间");
    if (kind == QLatin1String(ChangeKind::Signal))
        return QStringLiteral("信号监测");
    if (kind == QLatin1String(ChangeKind::Rename))
        return QStringLiteral("设备ID变更");
    return kind;
}

QString DeviceTableHeader()
{
    return DeviceColumns({QStringLiteral("设备ID"), QStringLiteral("SIM卡号"), QStringLiteral("首次"),
                          QStringLiteral("最近"), QStringLiteral("次数"), QStringLiteral("上次结果"),
                          QStringLiteral("上次校验")});
}

QString DeviceLine(const DeviceRow& row)
{
    return DeviceColumns({row.key, OrDash(row.simNumber), RecordTimeText(row.firstSeenMs),
                          RecordTimeText(row.lastSeenMs), QString::number(row.visits), OrDash(row.lastResult),
                          OrDash(row.lastVerify)});
}

QString HistoryEntryText(const HistoryEntry& entry)
{
    QString text;
    if (entry.type == HistoryEntry::Type::Snapshot) {
        text = QStringLiteral("%1  快照 #%2 %3%4")
                   .arg(RecordTimeText(entry.atMs))
                   .arg(entry.number)
                   .arg(TriggerText(entry.trigger), WhereText(entry));
        if (entry.seen > 1)
            text += QStringLiteral("（已见 %1 次，最近 %2）").arg(entry.seen).arg(RecordTimeText(entry.lastSeenMs));
        text += QLatin1Char('\n');
        for (const QString& line : entry.differences)
            text += QStringLiteral("      ") + line + QLatin1Char('\n');
        return text;
    }
    if (entry.kind == QLatin1String(ChangeKind::Rename) && entry.items.size() == 1) {
        // Both histories carry it: the terminal's old ID and its new one.
        return QStringLiteral("%1  设备ID 由 %2 改为 %3%4\n")
            .arg(RecordTimeText(entry.atMs), entry.items[0].oldValue, entry.items[0].newValue, WhereText(entry));
    }
    const QString verify = entry.verify.isEmpty() ? QString() : QStringLiteral("，校验%1").arg(entry.verify);
    text = QStringLiteral("%1  %2 %3%4%5\n")
               .arg(RecordTimeText(entry.atMs), ChangeKindText(entry.kind), entry.result, verify, WhereText(entry));
    for (const ChangeItem& item : entry.items) {
        const QString label = item.item.isEmpty() ? QString() : item.item + QStringLiteral("：");
        const QString change = item.oldValue.isEmpty() ? item.newValue : item.oldValue + QStringLiteral(" → ") + item.newValue;
        text += QStringLiteral("      %1%2%3\n").arg(label, change, item.acknowledged ? QString() : QStringLiteral("（未确认）"));
    }
    return text;
}

std::optional<SnapshotName> ParseSnapshotName(const QString& text, QString* why)
{
    const qsizetype at = text.indexOf(QLatin1Char('@'));
    SnapshotName name;
    name.device = NormalisedDeviceKey(at >= 0 ? text.left(at) : text);
    if (name.device.isEmpty()) {
        *why = text.isEmpty() ? QStringLiteral("--export needs DEVICEID[@N] FILE")
                              : QStringLiteral("--export needs a device ID before @N, not \"%1\"").arg(text);
        return std::nullopt;
    }
    if (at < 0)
        return name;
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,9}$"));
    const QString number = text.mid(at + 1);
    if (!digits.match(number).hasMatch() || number.toInt() < 1) {
        *why = QStringLiteral("--export needs N from 1 in DEVICEID@N, not \"%1\"").arg(text);
        return std::nullopt;
    }
    name.number = number.toInt();
    return name;
}

int PrintHistory(const QString& location, const QString& device, bool json, std::FILE* out, std::FILE* err)
{
    // Visits that wait in the outbox, and where they are to go (JSON stays
    // JSON: the line goes to standard error then).
    Print(json ? err : out, CRecordOutbox::WaitingNotice());
    CRecordStore store(location);
    if (!store.OpenForReading()) {
        Print(err, StoreFailureText(store));
        return 1;
    }
    if (device.isEmpty())
        return PrintDeviceList(store, json, out, err);
    const auto history = store.History(NormalisedDeviceKey(device));
    if (!history) {
        Print(err, store.LastError() + QLatin1Char('\n'));
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
    Print(out, DeviceTableHeader() + DeviceLine(history->device) + QLatin1Char('\n'));
    for (const HistoryEntry& entry : history->entries)
        Print(out, HistoryEntryText(entry));
    return 0;
}

int ExportSnapshot(const QString& location, const QString& snapshot, const QString& file, std::FILE* err)
{
    QString why;
    const std::optional<SnapshotName> name = ParseSnapshotName(snapshot, &why);
    if (!name) {
        Print(err, why + QLatin1Char('\n'));
        return 2;
    }
    CRecordStore store(location);
    if (!store.OpenForReading()) {
        Print(err, StoreFailureText(store));
        return 1;
    }
    const std::optional<QByteArray> report = store.SnapshotReport(name->device, name->number);
    if (!report) {
        Print(err, store.LastError() + QLatin1Char('\n'));
        return 1;
    }
    QSaveFile out(file);
    const QByteArray bytes = ConfigFileText(*report);
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size() || !out.commit()) {
        Print(err, QStringLiteral("“%1”无法写入：%2").arg(file, out.errorString()) + QLatin1Char('\n'));
        return 1;
    }
    return 0;
}

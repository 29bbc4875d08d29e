#include "batch/ReportVerify.h"

#include "records/CRecordStore.h"
#include "records/RecordCommands.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QRegularExpression>

namespace {

void Say(std::FILE* stream, const QString& line)
{
    std::fputs(line.toLocal8Bit().constData(), stream);
    std::fputc('\n', stream);
}

}  // namespace

int VerifyReport(const QString& location, const QString& number, const QString& digest, std::FILE* out,
                 std::FILE* err)
{
    static const QRegularExpression numberForm(QStringLiteral("^(YS|XJ)-(\\d{8})-([0-9A-Za-z]+)-(\\d{6})$"));
    const QRegularExpressionMatch match = numberForm.match(number.trimmed());
    if (!match.hasMatch()) {
        Say(err, QStringLiteral("报告编号“%1”不是 YS-日期-设备ID-时间 或 XJ-日期-设备ID-时间 的形式").arg(number));
        return 2;
    }
    static const QRegularExpression digestForm(QStringLiteral("^[0-9a-fA-F]{64}$"));
    if (!digestForm.match(digest.trimmed()).hasMatch()) {
        Say(err, QStringLiteral("“%1”不是 SHA-256（64 个十六进制数字）").arg(digest));
        return 2;
    }
    const QDateTime made = QDateTime::fromString(match.captured(2) + match.captured(4), QStringLiteral("yyyyMMddHHmmss"));
    const QString device = NormalisedDeviceKey(match.captured(3));
    const QString wanted = digest.trimmed().toLower();

    CRecordStore store(location);
    if (!store.OpenForReading()) {
        Say(err, store.LastError());
        return 1;
    }
    const std::optional<DeviceHistory> history = store.History(device);
    if (!history) {
        Say(out, QStringLiteral("设备档案与报告 %1 不符：%2").arg(number, store.LastError()));
        return 3;
    }
    for (const HistoryEntry& entry : history->entries) {
        if (entry.type != HistoryEntry::Type::Snapshot)
            continue;
        const std::optional<QByteArray> report = store.SnapshotReport(device, entry.number);
        if (!report)
            continue;
        const QString found = QString::fromLatin1(QCryptographicHash::hash(*report, QCryptographicHash::Sha256).toHex());
        // A snapshot first taken after the report cannot be what it shows
        // (its time to the second, as the number gives it).
        if (found == wanted && (!made.isValid() || entry.atMs / 1000 <= made.toMSecsSinceEpoch() / 1000)) {
            Say(out, QStringLiteral("设备档案与报告 %1 一致：%2@%3（%4，%5）")
                         .arg(number, device)
                         .arg(entry.number)
                         .arg(TriggerText(entry.trigger), RecordTimeText(entry.atMs)));
            return 0;
        }
    }
    Say(out, QStringLiteral("设备档案与报告 %1 不符：设备 %2 没有 SHA-256 为 %3 的快照").arg(number, device, wanted));
    return 3;
}

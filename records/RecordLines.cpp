#include "records/RecordLines.h"

#include <QDir>

namespace RecordLines {

QString Failure(const QString& why, const QString& where)
{
    // One line: a server's reason may come in several.
    return QStringLiteral("设备档案无法记录（%1：%2），记录暂存待写队列，稍后自动写入").arg(where, why.simplified());
}

QString OutboxFailure(const QString& why, const QString& outboxPath)
{
    return QStringLiteral("待写队列无法写入（%1：%2），本次记录未能保存")
        .arg(QDir::toNativeSeparators(outboxPath), why.simplified());
}

QString OutboxWritten(int visits, const QString& target)
{
    return QStringLiteral("待写队列中的 %1 次访问已写入设备档案（%2）").arg(visits).arg(target);
}

QString VisitWritten(const QString& deviceKey, int snapshotNumber)
{
    return QStringLiteral("设备档案已记录：%1@%2").arg(deviceKey).arg(snapshotNumber);
}

QString VisitPending(const QString& outboxPath, const QString& target)
{
    return QStringLiteral("设备档案暂存待写队列（%1），%2 可用时自动写入").arg(QDir::toNativeSeparators(outboxPath), target);
}

}  // namespace RecordLines

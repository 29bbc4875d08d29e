#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringList>

namespace testsupport {

// Whole-file reads and writes for tests of configuration files.
inline QByteArray ReadFileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline bool WriteFileBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// A batch run's output lines without the service record's own ("设备档案…",
// which end each terminal): the lines of the operation itself.
inline QStringList OperationLines(const QString& out)
{
    QStringList lines = out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    lines.removeIf([](const QString& line) { return line.startsWith(QStringLiteral("设备档案")); });
    return lines;
}

}  // namespace testsupport

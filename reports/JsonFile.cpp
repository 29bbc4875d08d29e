#include "reports/JsonFile.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonParseError>

namespace JsonFile {

namespace {

// Large enough for any template or site file, small enough that a wrong
// file (a photo named by mistake) is not read whole.
constexpr qint64 kMaxBytes = 4 * 1024 * 1024;

}  // namespace

QString Refusal(const QString& name, const QString& where, const QString& what)
{
    return where.isEmpty() ? QStringLiteral("“%1”：%2").arg(name, what)
                           : QStringLiteral("“%1”：%2：%3").arg(name, where, what);
}

std::optional<QJsonObject> Parse(const QByteArray& bytes, const QString& name, QString* why)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError) {
        // The line and column of the offset, as an editor shows them.
        const QByteArray before = bytes.left(error.offset);
        const int line = static_cast<int>(before.count('\n')) + 1;
        const int column = static_cast<int>(QString::fromUtf8(before.mid(before.lastIndexOf('\n') + 1)).size()) + 1;
        *why = Refusal(name, QStringLiteral("第%1行第%2列").arg(line).arg(column),
                       QStringLiteral("JSON 格式错误（%1）").arg(error.errorString()));
        return std::nullopt;
    }
    if (!document.isObject()) {
        *why = Refusal(name, {}, QStringLiteral("顶层必须是 JSON 对象 {…}"));
        return std::nullopt;
    }
    return document.object();
}

std::optional<QByteArray> ReadBytes(const QString& path, QString* why)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *why = Refusal(path, {}, QStringLiteral("无法读取（%1）").arg(file.errorString()));
        return std::nullopt;
    }
    if (file.size() > kMaxBytes) {
        *why = Refusal(path, {}, QStringLiteral("文件太大（超过 4 MB），不是此类 JSON 文件"));
        return std::nullopt;
    }
    return file.readAll();
}

std::optional<QJsonObject> Load(const QString& path, QString* why)
{
    const std::optional<QByteArray> bytes = ReadBytes(path, why);
    return bytes ? Parse(*bytes, path, why) : std::nullopt;
}

std::optional<QString> UnknownKey(const QJsonObject& object, const QStringList& known)
{
    for (auto it = object.begin(); it != object.end(); ++it) {
        if (!known.contains(it.key()))
            return it.key();
    }
    return std::nullopt;
}

std::optional<QString> Text(const QJsonObject& object, const QString& key, const QString& name, const QString& where,
                            QString* why, const QString& fallback)
{
    const QJsonValue value = object.value(key);
    if (value.isUndefined() || value.isNull())
        return fallback;
    if (!value.isString()) {
        *why = Refusal(name, where.isEmpty() ? key : where + QLatin1Char('.') + key, QStringLiteral("必须是文本"));
        return std::nullopt;
    }
    return value.toString().trimmed();
}

}  // namespace JsonFile

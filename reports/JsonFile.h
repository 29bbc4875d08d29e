#pragma once

#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <QStringList>

#include <optional>

// The JSON files a workshop or a technician writes (checklist template,
// site, checklist results), read with the reason of a refusal said in
// Chinese with the file and the place: "“site.json”：第3行第12列：JSON 格式
// 错误（…）", "“site.json”：latitude：…".
namespace JsonFile {

// The file's bytes (at most 4 MB); nothing with the reason in `why`.
std::optional<QByteArray> ReadBytes(const QString& path, QString* why);
// The file's top-level object; nothing with the reason in `why`.
std::optional<QJsonObject> Load(const QString& path, QString* why);
// The same from bytes already read; `name` stands for the file in reasons.
std::optional<QJsonObject> Parse(const QByteArray& bytes, const QString& name, QString* why);

// "“NAME”：WHERE：WHAT"
QString Refusal(const QString& name, const QString& where, const QString& what);

// The first key of `object` that `known` does not list, if any.
std::optional<QString> UnknownKey(const QJsonObject& object, const QStringList& known);

// A text field: absent gives `fallback`, anything but a string a refusal.
std::optional<QString> Text(const QJsonObject& object, const QString& key, const QString& name, const QString& where,
                            QString* why, const QString& fallback = {});

}  // namespace JsonFile

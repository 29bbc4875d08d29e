#include "reports/ReportInputs.h"

#include "reports/Coordinates.h"
#include "reports/JsonFile.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>

namespace {

std::optional<std::optional<double>> CoordinateField(const QJsonObject& object, const QString& key,
                                                     CoordinateAxis axis, const QString& name, QString* why)
{
    const QJsonValue value = object.value(key);
    if (value.isUndefined() || value.isNull() || (value.isString() && value.toString().trimmed().isEmpty()))
        return std::optional<double>{};
    QString text;
    if (value.isDouble())
        text = QString::number(value.toDouble(), 'g', 12);
    else if (value.isString())
        text = value.toString();
    else {
        *why = JsonFile::Refusal(name, key, QStringLiteral("必须是数字或文本"));
        return std::nullopt;
    }
    QString reason;
    const std::optional<double> degrees = ParseCoordinate(text, axis, &reason);
    if (!degrees) {
        *why = JsonFile::Refusal(name, key, reason);
        return std::nullopt;
    }
    return std::optional<double>(*degrees);
}

}  // namespace

std::optional<ReportSite> ParseSiteFile(const QByteArray& bytes, const QString& name, QString* why)
{
    const std::optional<QJsonObject> object = JsonFile::Parse(bytes, name, why);
    if (!object)
        return std::nullopt;
    const QStringList texts{QStringLiteral("project"),   QStringLiteral("siteName"),  QStringLiteral("address"),
                            QStringLiteral("installer"), QStringLiteral("technician"),
                            QStringLiteral("customerRepresentative"), QStringLiteral("date")};
    if (const std::optional<QString> unknown = JsonFile::UnknownKey(
            *object, texts + QStringList{QStringLiteral("latitude"), QStringLiteral("longitude")})) {
        *why = JsonFile::Refusal(name, *unknown, QStringLiteral("未知字段"));
        return std::nullopt;
    }
    std::map<QString, QString> values;
    for (const QString& key : texts) {
        const std::optional<QString> text = JsonFile::Text(*object, key, name, {}, why);
        if (!text)
            return std::nullopt;
        values[key] = *text;
    }
    ReportSite site;
    site.project = values[QStringLiteral("project")];
    site.siteName = values[QStringLiteral("siteName")];
    site.address = values[QStringLiteral("address")];
    site.installer = values[QStringLiteral("installer")];
    site.technician = values[QStringLiteral("technician")];
    site.customerRepresentative = values[QStringLiteral("customerRepresentative")];
    const QString date = values[QStringLiteral("date")];
    if (!date.isEmpty()) {
        site.date = QDate::fromString(date, QStringLiteral("yyyy-MM-dd"));
        if (!site.date.isValid()) {
            *why = JsonFile::Refusal(name, QStringLiteral("date"),
                                     QStringLiteral("日期“%1”不是 YYYY-MM-DD 格式的有效日期").arg(date));
            return std::nullopt;
        }
    }
    const auto latitude = CoordinateField(*object, QStringLiteral("latitude"), CoordinateAxis::Latitude, name, why);
    if (!latitude)
        return std::nullopt;
    const auto longitude = CoordinateField(*object, QStringLiteral("longitude"), CoordinateAxis::Longitude, name, why);
    if (!longitude)
        return std::nullopt;
    if (latitude->has_value() != longitude->has_value()) {
        *why = JsonFile::Refusal(name, latitude->has_value() ? QStringLiteral("longitude") : QStringLiteral("latitude"),
                                 QStringLiteral("经度和纬度须同时填写"));
        return std::nullopt;
    }
    site.latitude = *latitude;
    site.longitude = *longitude;
    return site;
}

std::optional<ReportSite> LoadSiteFile(const QString& path, QString* why)
{
    const std::optional<QByteArray> bytes = JsonFile::ReadBytes(path, why);
    return bytes ? ParseSiteFile(*bytes, path, why) : std::nullopt;
}

std::optional<ChecklistResults> ParseChecklistResults(const QByteArray& bytes, const QString& name,
                                                      const ReportTemplate& checklist, const QString& folder,
                                                      QString* why)
{
    const std::optional<QJsonObject> object = JsonFile::Parse(bytes, name, why);
    if (!object)
        return std::nullopt;
    if (const std::optional<QString> unknown =
            JsonFile::UnknownKey(*object, {QStringLiteral("results"), QStringLiteral("photos")})) {
        *why = JsonFile::Refusal(name, *unknown, QStringLiteral("未知字段"));
        return std::nullopt;
    }
    ChecklistResults results;
    const QJsonValue marks = object->value(QStringLiteral("results"));
    if (!marks.isUndefined() && !marks.isObject()) {
        *why = JsonFile::Refusal(name, QStringLiteral("results"), QStringLiteral("必须是对象 {\"检查项id\": {…}}"));
        return std::nullopt;
    }
    const QJsonObject markObject = marks.toObject();
    for (auto it = markObject.begin(); it != markObject.end(); ++it) {
        const QString where = QStringLiteral("results.%1").arg(it.key());
        if (!checklist.Item(it.key())) {
            *why = JsonFile::Refusal(name, where, QStringLiteral("检查表“%1”中没有此检查项").arg(checklist.name));
            return std::nullopt;
        }
        if (!it.value().isObject()) {
            *why = JsonFile::Refusal(name, where, QStringLiteral("必须是对象 {\"result\": \"合格\", \"note\": …}"));
            return std::nullopt;
        }
        const QJsonObject mark = it.value().toObject();
        if (const std::optional<QString> unknown =
                JsonFile::UnknownKey(mark, {QStringLiteral("result"), QStringLiteral("note")})) {
            *why = JsonFile::Refusal(name, where, QStringLiteral("未知字段“%1”").arg(*unknown));
            return std::nullopt;
        }
        const std::optional<QString> resultText = JsonFile::Text(mark, QStringLiteral("result"), name, where, why);
        const std::optional<QString> note =
            resultText ? JsonFile::Text(mark, QStringLiteral("note"), name, where, why) : std::nullopt;
        if (!note)
            return std::nullopt;
        const std::optional<ManualCheck::Result> result = ManualResultFromText(*resultText);
        if (!result) {
            *why = JsonFile::Refusal(name, where + QStringLiteral(".result"),
                                     QStringLiteral("必须是“合格”、“不合格”或“未检”，不是“%1”").arg(*resultText));
            return std::nullopt;
        }
        results.marks[it.key()] = {*result, *note};
    }

    const QJsonValue photos = object->value(QStringLiteral("photos"));
    if (!photos.isUndefined() && !photos.isArray()) {
        *why = JsonFile::Refusal(name, QStringLiteral("photos"), QStringLiteral("必须是照片的列表 […]"));
        return std::nullopt;
    }
    const QJsonArray photoArray = photos.toArray();
    for (qsizetype i = 0; i < photoArray.size(); ++i) {
        const QString where = QStringLiteral("photos[%1]").arg(i);
        const QJsonObject photo = photoArray[i].toObject();
        if (!photoArray[i].isObject() || JsonFile::UnknownKey(photo, {QStringLiteral("file"), QStringLiteral("caption")})) {
            *why = JsonFile::Refusal(name, where, QStringLiteral("必须是 {\"file\": …, \"caption\": …}"));
            return std::nullopt;
        }
        const std::optional<QString> file = JsonFile::Text(photo, QStringLiteral("file"), name, where, why);
        const std::optional<QString> caption =
            file ? JsonFile::Text(photo, QStringLiteral("caption"), name, where, why) : std::nullopt;
        if (!caption)
            return std::nullopt;
        const QString path = QDir(folder).absoluteFilePath(*file);
        if (file->isEmpty() || !QFileInfo(path).isFile()) {
            *why = JsonFile::Refusal(name, where + QStringLiteral(".file"), QStringLiteral("找不到照片文件“%1”").arg(*file));
            return std::nullopt;
        }
        results.photos.push_back({path, *caption});
    }
    return results;
}

std::optional<ChecklistResults> LoadChecklistResults(const QString& path, const ReportTemplate& checklist,
                                                     QString* why)
{
    const std::optional<QByteArray> bytes = JsonFile::ReadBytes(path, why);
    return bytes ? ParseChecklistResults(*bytes, path, checklist, QFileInfo(path).absolutePath(), why) : std::nullopt;
}

std::vector<ManualCheck> MarkedChecklist(const ReportTemplate& checklist, const ChecklistResults& results)
{
    std::vector<ManualCheck> marked = checklist.items;
    for (ManualCheck& item : marked) {
        const auto mark = results.marks.find(item.id);
        if (mark != results.marks.end()) {
            item.result = mark->second.result;
            item.note = mark->second.note;
        }
    }
    return marked;
}

#include "reports/ReportTemplate.h"

#include "reports/JsonFile.h"

#include <QFile>
#include <QJsonArray>

#include <set>

namespace {

struct AutomaticName {
    const char* id;
    const char* title;
};

constexpr AutomaticName kAutomatic[] = {
    {"readback", "配置回读"},  {"conformity", "配置符合性"}, {"signal", "信号强度"},
    {"clock", "设备时钟"},     {"powerOnTest", "上电测试"},  {"numberLists", "号码列表"},
};

QString KindText(ReportKind kind)
{
    return kind == ReportKind::Acceptance ? QStringLiteral("acceptance") : QStringLiteral("inspection");
}

// A list of non-empty texts, each at most once.
std::optional<QStringList> TextList(const QJsonObject& object, const QString& key, const QString& name, QString* why)
{
    const QJsonValue value = object.value(key);
    if (!value.isArray()) {
        *why = JsonFile::Refusal(name, key, QStringLiteral("必须是文本的列表 […]"));
        return std::nullopt;
    }
    QStringList texts;
    const QJsonArray array = value.toArray();
    for (qsizetype i = 0; i < array.size(); ++i) {
        const QString where = QStringLiteral("%1[%2]").arg(key).arg(i);
        if (!array[i].isString() || array[i].toString().trimmed().isEmpty()) {
            *why = JsonFile::Refusal(name, where, QStringLiteral("必须是非空文本"));
            return std::nullopt;
        }
        const QString text = array[i].toString().trimmed();
        if (texts.contains(text)) {
            *why = JsonFile::Refusal(name, where, QStringLiteral("“%1”重复").arg(text));
            return std::nullopt;
        }
        texts << text;
    }
    return texts;
}

std::optional<ManualCheck> ParseItem(const QJsonValue& value, const QString& name, const QString& where, QString* why)
{
    if (!value.isObject()) {
        *why = JsonFile::Refusal(name, where, QStringLiteral("必须是对象 {\"id\": …, \"text\": …}"));
        return std::nullopt;
    }
    const QJsonObject object = value.toObject();
    if (const std::optional<QString> unknown =
            JsonFile::UnknownKey(object, {QStringLiteral("id"), QStringLiteral("group"), QStringLiteral("text"),
                                          QStringLiteral("required")})) {
        *why = JsonFile::Refusal(name, where, QStringLiteral("未知字段“%1”").arg(*unknown));
        return std::nullopt;
    }
    ManualCheck item;
    const std::optional<QString> id = JsonFile::Text(object, QStringLiteral("id"), name, where, why);
    const std::optional<QString> group = id ? JsonFile::Text(object, QStringLiteral("group"), name, where, why)
                                            : std::nullopt;
    const std::optional<QString> text = group ? JsonFile::Text(object, QStringLiteral("text"), name, where, why)
                                              : std::nullopt;
    if (!text)
        return std::nullopt;
    if (id->isEmpty() || text->isEmpty()) {
        *why = JsonFile::Refusal(name, where, QStringLiteral("id 和 text 不能为空"));
        return std::nullopt;
    }
    const QJsonValue required = object.value(QStringLiteral("required"));
    if (!required.isUndefined() && !required.isBool()) {
        *why = JsonFile::Refusal(name, where + QStringLiteral(".required"), QStringLiteral("必须是 true 或 false"));
        return std::nullopt;
    }
    item.id = *id;
    item.group = *group;
    item.text = *text;
    item.required = required.toBool(false);
    return item;
}

}  // namespace

const ManualCheck* ReportTemplate::Item(const QString& id) const
{
    for (const ManualCheck& item : items) {
        if (item.id == id)
            return &item;
    }
    return nullptr;
}

QStringList AutomaticCheckIds()
{
    QStringList ids;
    for (const AutomaticName& name : kAutomatic)
        ids << QString::fromLatin1(name.id);
    return ids;
}

QString AutomaticCheckTitle(const QString& id)
{
    for (const AutomaticName& name : kAutomatic) {
        if (id == QLatin1String(name.id))
            return QString::fromUtf8(name.title);
    }
    return id;
}

std::optional<ReportTemplate> ParseReportTemplate(const QByteArray& bytes, const QString& name, QString* why)
{
    const std::optional<QJsonObject> object = JsonFile::Parse(bytes, name, why);
    if (!object)
        return std::nullopt;
    if (const std::optional<QString> unknown = JsonFile::UnknownKey(
            *object, {QStringLiteral("name"), QStringLiteral("kind"), QStringLiteral("version"), QStringLiteral("title"),
                      QStringLiteral("automatic"), QStringLiteral("signatures"), QStringLiteral("items")})) {
        *why = JsonFile::Refusal(name, *unknown, QStringLiteral("未知字段"));
        return std::nullopt;
    }
    ReportTemplate result;
    const std::optional<QString> title = JsonFile::Text(*object, QStringLiteral("title"), name, {}, why);
    const std::optional<QString> templateName =
        title ? JsonFile::Text(*object, QStringLiteral("name"), name, {}, why) : std::nullopt;
    const std::optional<QString> kind =
        templateName ? JsonFile::Text(*object, QStringLiteral("kind"), name, {}, why) : std::nullopt;
    if (!kind)
        return std::nullopt;
    if (title->isEmpty()) {
        *why = JsonFile::Refusal(name, QStringLiteral("title"), QStringLiteral("不能为空"));
        return std::nullopt;
    }
    if (*kind != KindText(ReportKind::Acceptance) && *kind != KindText(ReportKind::Inspection)) {
        *why = JsonFile::Refusal(name, QStringLiteral("kind"),
                                 QStringLiteral("必须是“acceptance”（验收）或“inspection”（巡检），不是“%1”").arg(*kind));
        return std::nullopt;
    }
    result.kind = *kind == KindText(ReportKind::Acceptance) ? ReportKind::Acceptance : ReportKind::Inspection;
    result.title = *title;
    result.name = *templateName;
    const QJsonValue version = object->value(QStringLiteral("version"));
    if (!version.isUndefined() && (!version.isDouble() || version.toDouble() != version.toInt() || version.toInt() < 1)) {
        *why = JsonFile::Refusal(name, QStringLiteral("version"), QStringLiteral("必须是正整数"));
        return std::nullopt;
    }
    result.version = version.toInt(1);

    const std::optional<QStringList> automatic = TextList(*object, QStringLiteral("automatic"), name, why);
    if (!automatic)
        return std::nullopt;
    for (qsizetype i = 0; i < automatic->size(); ++i) {
        if (!AutomaticCheckIds().contains(automatic->at(i))) {
            *why = JsonFile::Refusal(name, QStringLiteral("automatic[%1]").arg(i),
                                     QStringLiteral("未知的自动检查“%1”（可用：%2）")
                                         .arg(automatic->at(i), AutomaticCheckIds().join(QStringLiteral("、"))));
            return std::nullopt;
        }
    }
    result.automatic = *automatic;
    const std::optional<QStringList> signatures = TextList(*object, QStringLiteral("signatures"), name, why);
    if (!signatures)
        return std::nullopt;
    result.signatures = *signatures;

    const QJsonValue items = object->value(QStringLiteral("items"));
    if (!items.isArray() || items.toArray().isEmpty()) {
        *why = JsonFile::Refusal(name, QStringLiteral("items"), QStringLiteral("必须是非空的检查项列表 […]"));
        return std::nullopt;
    }
    const QJsonArray array = items.toArray();
    std::set<QString> ids;
    for (qsizetype i = 0; i < array.size(); ++i) {
        const QString where = QStringLiteral("items[%1]").arg(i);
        std::optional<ManualCheck> item = ParseItem(array[i], name, where, why);
        if (!item)
            return std::nullopt;
        if (!ids.insert(item->id).second) {
            *why = JsonFile::Refusal(name, where + QStringLiteral(".id"), QStringLiteral("“%1”重复").arg(item->id));
            return std::nullopt;
        }
        result.items.push_back(std::move(*item));
    }
    return result;
}

std::optional<ReportTemplate> LoadReportTemplate(const QString& path, QString* why)
{
    const std::optional<QByteArray> bytes = JsonFile::ReadBytes(path, why);
    return bytes ? ParseReportTemplate(*bytes, path, why) : std::nullopt;
}

ReportTemplate DefaultReportTemplate(ReportKind kind)
{
    const QString path = kind == ReportKind::Acceptance ? QStringLiteral(":/reports/acceptance.json")
                                                        : QStringLiteral(":/reports/inspection.json");
    QFile file(path);
    QString why;
    std::optional<ReportTemplate> parsed;
    if (file.open(QIODevice::ReadOnly))
        parsed = ParseReportTemplate(file.readAll(), path, &why);
    // The shipped templates are checked by the tests; a broken build is
    // the only way to get here.
    Q_ASSERT_X(parsed, "DefaultReportTemplate", qPrintable(why));
    return parsed ? *parsed : ReportTemplate{};
}

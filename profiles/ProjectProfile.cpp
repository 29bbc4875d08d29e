#include "profiles/ProjectProfile.h"

#include "params/ChangeSelection.h"
#include "params/TypedValueCheck.h"

#include <QCryptographicHash>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cmath>

namespace {

// A profile is a page of rules; anything far larger is not one.
constexpr qint64 kMaxProfileBytes = 1024 * 1024;

const QString& ModuleSubject()
{
    static const QString subject = QStringLiteral("模块版本");
    return subject;
}

// Builds one rule, and says what is wrong with it in the words of its place
// in the file: "第2条规则（无线网络APN）：…".
class RuleReader {
public:
    RuleReader(int index, const QJsonObject& object) : m_object(object) { m_rule.index = index; }

    std::optional<ProfileRule> Read(QString* why)
    {
        if (!ReadSubject() || !ReadSince() || !ReadConditions()) {
            *why = m_why;
            return std::nullopt;
        }
        return m_rule;
    }

private:
    bool Fail(const QString& what)
    {
        const QString where = m_rule.subject.isEmpty()
                                  ? QStringLiteral("第%1条规则").arg(m_rule.index + 1)
                                  : QStringLiteral("第%1条规则（%2）").arg(m_rule.index + 1).arg(m_rule.subject);
        m_why = where + QStringLiteral("：") + what;
        return false;
    }

    bool OnlyKeys(const QStringList& allowed)
    {
        for (const QString& key : m_object.keys()) {
            if (!allowed.contains(key))
                return Fail(QStringLiteral("不认识的字段“%1”").arg(key));
        }
        return true;
    }

    bool ReadSubject()
    {
        const int kinds = int(m_object.contains(QStringLiteral("item"))) + int(m_object.contains(QStringLiteral("list")))
                          + int(m_object.contains(QStringLiteral("module")));
        if (kinds != 1)
            return Fail(QStringLiteral("必须有 item、list、module 三者之一"));
        if (m_object.contains(QStringLiteral("item"))) {
            const QString label = m_object.value(QStringLiteral("item")).toString();
            m_rule.item = FindSaveItemByLabel(label);
            if (!m_rule.item)
                return Fail(QStringLiteral("没有名为“%1”的配置项").arg(label));
            m_rule.subject = SaveItemLabel(*m_rule.item);
            return OnlyKeys({QStringLiteral("item"), QStringLiteral("equals"), QStringLiteral("oneOf"),
                             QStringLiteral("prefer"), QStringLiteral("range"), QStringLiteral("pattern"),
                             QStringLiteral("perUnit"), QStringLiteral("since")});
        }
        if (m_object.contains(QStringLiteral("list"))) {
            const QString name = m_object.value(QStringLiteral("list")).toString();
            const std::optional<int> category = NumberListCategoryOf(name);
            if (!category)
                return Fail(QStringLiteral("没有名为“%1”的号码列表（管理号码、授权号码、备份号码）").arg(name));
            m_rule.kind = ProfileRule::Kind::List;
            m_rule.listCategory = *category;
            static const QString names[3] = {QStringLiteral("管理号码"), QStringLiteral("授权号码"),
                                             QStringLiteral("备份号码")};
            m_rule.subject = names[*category];
            return OnlyKeys({QStringLiteral("list"), QStringLiteral("equals"), QStringLiteral("contains"),
                             QStringLiteral("excludes"), QStringLiteral("maxCount"), QStringLiteral("since")});
        }
        m_rule.kind = ProfileRule::Kind::Module;
        m_rule.subject = ModuleSubject();
        return OnlyKeys({QStringLiteral("module"), QStringLiteral("since")});
    }

    bool ReadSince()
    {
        if (!m_object.contains(QStringLiteral("since")))
            return true;
        const QJsonValue value = m_object.value(QStringLiteral("since"));
        const QString text = value.isString() ? value.toString() : QString();
        const QDate day = QDate::fromString(text, QStringLiteral("yyyy-MM-dd"));
        if (!day.isValid())
            return Fail(QStringLiteral("since 必须是 YYYY-MM-DD 格式的日期，不是“%1”")
                            .arg(value.isString() ? text : QString::fromUtf8(QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact))));
        m_rule.since = day;
        return true;
    }

    // A value as a cell would hold it: a text, or a number written as text.
    bool ValueText(const QJsonValue& value, const QString& field, QString* text)
    {
        if (value.isString()) {
            *text = value.toString();
            return true;
        }
        if (value.isDouble()) {
            const double number = value.toDouble();
            *text = number == std::floor(number) && std::abs(number) < 1e15 ? QString::number(qint64(number))
                                                                          : QString::number(number, 'g', 15);
            return true;
        }
        return Fail(QStringLiteral("%1 的值必须是文字或数").arg(field));
    }

    bool Acceptable(const QString& value)
    {
        if (const std::optional<QString> refusal = TypedValueRefusal(*m_rule.item, value))
            return Fail(QStringLiteral("值“%1”不能使用：%2").arg(value, *refusal));
        return true;
    }

    bool ReadPattern(const QJsonValue& value, bool whole, QRegularExpression* pattern)
    {
        const QString text = value.toString();
        if (!value.isString() || text.isEmpty())
            return Fail(QStringLiteral("pattern 必须是非空的正则表达式"));
        *pattern = QRegularExpression(whole ? QRegularExpression::anchoredPattern(text) : text);
        if (!pattern->isValid())
            return Fail(QStringLiteral("正则表达式“%1”有误：%2").arg(text, pattern->errorString()));
        return true;
    }

    bool ReadConditions()
    {
        switch (m_rule.kind) {
        case ProfileRule::Kind::List: return ReadListConditions();
        case ProfileRule::Kind::Module: return ReadModuleConditions();
        default: return ReadItemConditions();
        }
    }

    bool ReadItemConditions()
    {
        const QStringList conditions{QStringLiteral("equals"), QStringLiteral("oneOf"), QStringLiteral("range"),
                                     QStringLiteral("pattern"), QStringLiteral("perUnit")};
        const auto given = std::count_if(conditions.begin(), conditions.end(),
                                         [&](const QString& key) { return m_object.contains(key); });
        if (given != 1)
            return Fail(QStringLiteral("必须有且只有 equals、oneOf、range、pattern、perUnit 之一"));
        if (m_object.contains(QStringLiteral("prefer")) && !m_object.contains(QStringLiteral("oneOf")))
            return Fail(QStringLiteral("prefer 只能与 oneOf 一起使用"));
        if (m_object.contains(QStringLiteral("equals"))) {
            QString text;
            m_rule.kind = ProfileRule::Kind::Equals;
            if (!ValueText(m_object.value(QStringLiteral("equals")), QStringLiteral("equals"), &text)
                || !Acceptable(text))
                return false;
            m_rule.values = {text};
            return true;
        }
        if (m_object.contains(QStringLiteral("oneOf")))
            return ReadOneOf();
        if (m_object.contains(QStringLiteral("range")))
            return ReadRange();
        if (m_object.contains(QStringLiteral("pattern"))) {
            m_rule.kind = ProfileRule::Kind::Pattern;
            m_rule.patternText = m_object.value(QStringLiteral("pattern")).toString();
            return ReadPattern(m_object.value(QStringLiteral("pattern")), true, &m_rule.pattern);
        }
        m_rule.kind = ProfileRule::Kind::PerUnit;
        if (m_object.value(QStringLiteral("perUnit")) != QJsonValue(true))
            return Fail(QStringLiteral("perUnit 只能是 true"));
        return true;
    }

    bool ReadOneOf()
    {
        m_rule.kind = ProfileRule::Kind::OneOf;
        const QJsonValue set = m_object.value(QStringLiteral("oneOf"));
        if (!set.isArray())
            return Fail(QStringLiteral("oneOf 必须是数组"));
        if (set.toArray().isEmpty())
            return Fail(QStringLiteral("oneOf 不能为空"));
        for (const QJsonValue& value : set.toArray()) {
            QString text;
            if (!ValueText(value, QStringLiteral("oneOf"), &text) || !Acceptable(text))
                return false;
            m_rule.values << text;
        }
        if (m_object.contains(QStringLiteral("prefer"))) {
            QString text;
            if (!ValueText(m_object.value(QStringLiteral("prefer")), QStringLiteral("prefer"), &text))
                return false;
            if (!m_rule.values.contains(text))
                return Fail(QStringLiteral("prefer 的值“%1”不在 oneOf 中").arg(text));
            m_rule.prefer = text;
        }
        return true;
    }

    bool ReadRange()
    {
        m_rule.kind = ProfileRule::Kind::Range;
        if (!IsNumericItem(*m_rule.item))
            return Fail(QStringLiteral("range 只能用于数值项"));
        const QJsonArray bounds = m_object.value(QStringLiteral("range")).toArray();
        if (!m_object.value(QStringLiteral("range")).isArray() || bounds.size() != 2 || !bounds[0].isDouble()
            || !bounds[1].isDouble() || bounds[0].toDouble() > bounds[1].toDouble())
            return Fail(QStringLiteral("range 必须是 [最小值, 最大值]：两个数，最小值不大于最大值"));
        m_rule.min = bounds[0].toDouble();
        m_rule.max = bounds[1].toDouble();
        for (const QJsonValue& bound : bounds) {
            QString text;
            if (!ValueText(bound, QStringLiteral("range"), &text) || !Acceptable(text))
                return false;
        }
        return true;
    }

    bool ReadNumbers(const QString& key, QStringList* numbers)
    {
        const QJsonValue value = m_object.value(key);
        if (!value.isArray())
            return Fail(QStringLiteral("%1 必须是号码的数组").arg(key));
        for (const QJsonValue& number : value.toArray()) {
            if (!number.isString())
                return Fail(QStringLiteral("%1 的号码必须写成文字（加引号）").arg(key));
            *numbers << number.toString();
        }
        if (const std::optional<QString> refusal = NumberListRefusal(*numbers))
            return Fail(QStringLiteral("%1：%2").arg(key, *refusal));
        return true;
    }

    bool ReadListConditions()
    {
        const bool any = m_object.contains(QStringLiteral("equals")) || m_object.contains(QStringLiteral("contains"))
                         || m_object.contains(QStringLiteral("excludes")) || m_object.contains(QStringLiteral("maxCount"));
        if (!any)
            return Fail(QStringLiteral("必须有 equals、contains、excludes、maxCount 中的至少一个"));
        if (m_object.contains(QStringLiteral("equals"))) {
            QStringList numbers;
            if (!ReadNumbers(QStringLiteral("equals"), &numbers))
                return false;
            m_rule.listEquals = numbers;
        }
        for (const auto& [key, numbers] : {std::pair{QStringLiteral("contains"), &m_rule.contains},
                                           std::pair{QStringLiteral("excludes"), &m_rule.excludes}}) {
            if (!m_object.contains(key))
                continue;
            if (!ReadNumbers(key, numbers))
                return false;
            if (numbers->isEmpty())
                return Fail(QStringLiteral("%1 不能为空").arg(key));
        }
        if (m_object.contains(QStringLiteral("maxCount"))) {
            const QJsonValue value = m_object.value(QStringLiteral("maxCount"));
            const double count = value.toDouble(-1);
            if (!value.isDouble() || count != std::floor(count) || count < 0
                || count > double(NumberList::kSlotCount))
                return Fail(QStringLiteral("maxCount 必须是 0 到 %1 的整数").arg(NumberList::kSlotCount));
            m_rule.maxCount = int(count);
        }
        for (const QString& number : m_rule.contains) {
            if (m_rule.excludes.contains(number))
                return Fail(QStringLiteral("号码“%1”既在 contains 中又在 excludes 中").arg(number));
        }
        if (m_rule.maxCount && m_rule.contains.size() > *m_rule.maxCount)
            return Fail(QStringLiteral("contains 的号码多于 maxCount"));
        if (m_rule.listEquals) {
            const QStringList& list = *m_rule.listEquals;
            const bool agrees =
                std::all_of(m_rule.contains.begin(), m_rule.contains.end(), [&](const QString& n) { return list.contains(n); })
                && std::none_of(m_rule.excludes.begin(), m_rule.excludes.end(), [&](const QString& n) { return list.contains(n); })
                && (!m_rule.maxCount || list.size() <= *m_rule.maxCount);
            if (!agrees)
                return Fail(QStringLiteral("equals 的号码与 contains、excludes 或 maxCount 矛盾"));
        }
        return true;
    }

    bool ReadModuleConditions()
    {
        const QJsonValue module = m_object.value(QStringLiteral("module"));
        if (!module.isObject())
            return Fail(QStringLiteral("module 必须是对象：{\"equals\": …}、{\"oneOf\": […]} 或 {\"pattern\": …}"));
        const QJsonObject object = module.toObject();
        for (const QString& key : object.keys()) {
            if (key != QStringLiteral("equals") && key != QStringLiteral("oneOf") && key != QStringLiteral("pattern"))
                return Fail(QStringLiteral("module 中不认识的字段“%1”").arg(key));
        }
        if (object.contains(QStringLiteral("equals"))) {
            if (!object.value(QStringLiteral("equals")).isString() || object.value(QStringLiteral("equals")).toString().isEmpty())
                return Fail(QStringLiteral("module 的 equals 必须是非空文字"));
            m_rule.moduleTexts << object.value(QStringLiteral("equals")).toString();
        }
        if (object.contains(QStringLiteral("oneOf"))) {
            const QJsonValue set = object.value(QStringLiteral("oneOf"));
            if (!set.isArray() || set.toArray().isEmpty())
                return Fail(QStringLiteral("module 的 oneOf 必须是非空数组"));
            for (const QJsonValue& text : set.toArray()) {
                if (!text.isString() || text.toString().isEmpty())
                    return Fail(QStringLiteral("module 的 oneOf 只能有非空文字"));
                m_rule.moduleTexts << text.toString();
            }
        }
        if (object.contains(QStringLiteral("pattern"))) {
            const QJsonValue patterns = object.value(QStringLiteral("pattern"));
            const QJsonArray list = patterns.isArray() ? patterns.toArray() : QJsonArray{patterns};
            if (list.isEmpty())
                return Fail(QStringLiteral("pattern 必须是非空的正则表达式"));
            for (const QJsonValue& text : list) {
                QRegularExpression pattern;
                if (!ReadPattern(text, false, &pattern))
                    return false;
                m_rule.modulePatterns.push_back(pattern);
            }
        }
        if (m_rule.moduleTexts.isEmpty() && m_rule.modulePatterns.empty())
            return Fail(QStringLiteral("module 必须给出 equals、oneOf 或 pattern"));
        return true;
    }

    QJsonObject m_object;
    ProfileRule m_rule;
    QString m_why;
};

// Line and column of a character offset, for a message a person can follow.
QString PlaceOf(const QByteArray& bytes, int offset)
{
    const QByteArray before = bytes.left(offset);
    const int line = int(before.count('\n')) + 1;
    const int column = int(QString::fromUtf8(before.mid(before.lastIndexOf('\n') + 1)).size()) + 1;
    return QStringLiteral("第%1行第%2列").arg(line).arg(column);
}

bool SameSubject(const ProfileRule& a, const ProfileRule& b)
{
    return a.kind == ProfileRule::Kind::Module ? b.kind == ProfileRule::Kind::Module
                                               : a.item == b.item && a.listCategory == b.listCategory;
}

}  // namespace

QString ProjectProfile::Title() const
{
    return QStringLiteral("«%1 v%2»").arg(name, version);
}

std::optional<ProjectProfile> ParseProjectProfile(const QByteArray& bytes, QString* why)
{
    const auto fail = [why](const QString& text) {
        if (why)
            *why = text;
        return std::nullopt;
    };
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError)
        return fail(QStringLiteral("规范文件不是有效的 JSON：%1（%2）").arg(error.errorString(), PlaceOf(bytes, error.offset)));
    if (!document.isObject())
        return fail(QStringLiteral("规范文件必须是一个 JSON 对象"));
    const QJsonObject top = document.object();
    for (const QString& key : top.keys()) {
        if (key != QStringLiteral("name") && key != QStringLiteral("version") && key != QStringLiteral("description")
            && key != QStringLiteral("rules"))
            return fail(QStringLiteral("规范文件中不认识的字段“%1”").arg(key));
    }
    ProjectProfile profile;
    profile.name = top.value(QStringLiteral("name")).toString().trimmed();
    if (profile.name.isEmpty())
        return fail(QStringLiteral("规范缺少名称（name）"));
    const QJsonValue version = top.value(QStringLiteral("version"));
    if (version.isDouble() && version.toDouble() == std::floor(version.toDouble()) && version.toDouble() >= 0)
        profile.version = QString::number(qint64(version.toDouble()));
    else if (version.isString() && !version.toString().trimmed().isEmpty())
        profile.version = version.toString().trimmed();
    else
        return fail(QStringLiteral("规范缺少版本（version），或版本不是整数或文字"));
    const QJsonValue description = top.value(QStringLiteral("description"));
    if (!description.isUndefined() && !description.isString())
        return fail(QStringLiteral("规范的说明（description）必须是文字"));
    profile.description = description.toString();
    if (!top.value(QStringLiteral("rules")).isArray())
        return fail(QStringLiteral("规范缺少规则（rules），或 rules 不是数组"));

    const QJsonArray rules = top.value(QStringLiteral("rules")).toArray();
    for (qsizetype i = 0; i < rules.size(); ++i) {
        if (!rules[i].isObject())
            return fail(QStringLiteral("第%1条规则必须是一个对象").arg(i + 1));
        QString ruleWhy;
        std::optional<ProfileRule> rule = RuleReader(int(i), rules[i].toObject()).Read(&ruleWhy);
        if (!rule)
            return fail(ruleWhy);
        for (const ProfileRule& earlier : profile.rules) {
            if (SameSubject(earlier, *rule))
                return fail(QStringLiteral("第%1条规则（%2）：第%3条规则已经规定了此项")
                                .arg(rule->index + 1)
                                .arg(rule->subject)
                                .arg(earlier.index + 1));
        }
        profile.rules.push_back(std::move(*rule));
    }
    profile.digest = QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
    return profile;
}

std::optional<ProjectProfile> LoadProjectProfile(const QString& path, QString* why)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (why)
            *why = QStringLiteral("无法读取规范文件“%1”：%2").arg(path, file.errorString());
        return std::nullopt;
    }
    const QByteArray bytes = file.read(kMaxProfileBytes + 1);
    if (bytes.size() > kMaxProfileBytes) {
        if (why)
            *why = QStringLiteral("规范文件“%1”超过 1 MB").arg(path);
        return std::nullopt;
    }
    QString reason;
    std::optional<ProjectProfile> profile = ParseProjectProfile(bytes, &reason);
    if (!profile && why)
        *why = QStringLiteral("规范文件“%1”被拒绝：%2").arg(path, reason);
    return profile;
}

#include "terminal/CommandLibraryJson.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

#include <cmath>
#include <optional>

namespace CommandLibraryJson {
namespace {

// Names of the enumerations in the file, in their enum order.
const QStringList kContentNames = {QStringLiteral("text"), QStringLiteral("hex")};
const QStringList kLineEndNames = {QStringLiteral("none"), QStringLiteral("cr"), QStringLiteral("lf"),
                                   QStringLiteral("crlf")};
const QStringList kOrderNames = {QStringLiteral("low-first"), QStringLiteral("high-first")};
const QStringList kStepNames = {QStringLiteral("send"), QStringLiteral("wait"), QStringLiteral("pause")};

// Reads the fields of one object of the file; the first problem is kept
// with the place it was found ("第 2 条命令").
class FieldReader {
public:
    FieldReader(const QJsonObject& object, QString place, QString* error)
        : m_object(object), m_place(std::move(place)), m_error(error)
    {
    }

    bool Ok() const { return m_ok; }

    QString String(const QString& key, bool required, const QString& fallback = {})
    {
        const QJsonValue value = m_object.value(key);
        if (value.isUndefined() && !required)
            return fallback;
        if (!value.isString()) {
            Fail(value.isUndefined() ? QStringLiteral("缺少“%1”").arg(key)
                                     : QStringLiteral("“%1”应为文字").arg(key));
            return fallback;
        }
        return value.toString();
    }

    int Integer(const QString& key, bool required, int fallback = 0)
    {
        const QJsonValue value = m_object.value(key);
        if (value.isUndefined() && !required)
            return fallback;
        const double number = value.toDouble(std::nan(""));
        if (!value.isDouble() || number != std::floor(number) || std::abs(number) > 1e9) {
            Fail(value.isUndefined() ? QStringLiteral("缺少“%1”").arg(key)
                                     : QStringLiteral("“%1”应为整数").arg(key));
            return fallback;
        }
        return static_cast<int>(number);
    }

    // The index of the value's name in `names`.
    int Choice(const QString& key, const QStringList& names, const QString& what, int fallback)
    {
        const QJsonValue value = m_object.value(key);
        if (value.isUndefined())
            return fallback;
        const int index = names.indexOf(value.toString());
        if (!value.isString() || index < 0) {
            Fail(QStringLiteral("%1“%2”未知（可用：%3）")
                     .arg(what, value.isString() ? value.toString() : Describe(value), names.join(QStringLiteral("、"))));
            return fallback;
        }
        return index;
    }

    void Fail(const QString& problem)
    {
        if (!m_ok)
            return;
        m_ok = false;
        if (m_error)
            *m_error = QStringLiteral("%1：%2").arg(m_place, problem);
    }

private:
    static QString Describe(const QJsonValue& value)
    {
        return QString::fromUtf8(QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact)).mid(1).chopped(1);
    }

    QJsonObject m_object;
    QString m_place;
    QString* m_error = nullptr;
    bool m_ok = true;
};

bool ReadCommand(const QJsonValue& value, int number, TerminalCommand& command, QString* error)
{
    FieldReader reader(value.toObject(), QStringLiteral("第 %1 条命令").arg(number), error);
    if (!value.isObject()) {
        reader.Fail(QStringLiteral("应为对象 {…}"));
        return false;
    }
    command.name = reader.String(QStringLiteral("name"), true);
    command.content = reader.String(QStringLiteral("content"), true);
    command.contentKind = static_cast<TerminalCommand::Content>(
        reader.Choice(QStringLiteral("contentKind"), kContentNames, QStringLiteral("内容格式"), 0));
    command.lineEnd = static_cast<TerminalCommand::LineEnd>(
        reader.Choice(QStringLiteral("lineEnd"), kLineEndNames, QStringLiteral("行尾"), 0));
    QStringList checkNames;
    for (const CheckValue::Kind kind : CheckValue::kAllKinds)
        checkNames << CheckValue::KindName(kind);
    command.check = static_cast<CheckValue::Kind>(
        reader.Choice(QStringLiteral("check"), checkNames, QStringLiteral("校验方式"), 0));
    command.checkOrder = static_cast<CheckValue::ByteOrder>(
        reader.Choice(QStringLiteral("checkOrder"), kOrderNames, QStringLiteral("字节顺序"), 0));
    command.shortcut = reader.Integer(QStringLiteral("shortcut"), false, 0);
    return reader.Ok();
}

bool ReadStep(const QJsonValue& value, const QString& place, SequenceStep& step, QString* error)
{
    FieldReader reader(value.toObject(), place, error);
    if (!value.isObject()) {
        reader.Fail(QStringLiteral("应为对象 {…}"));
        return false;
    }
    const QJsonValue kind = value.toObject().value(QStringLiteral("kind"));
    if (kind.isUndefined()) {
        reader.Fail(QStringLiteral("缺少“kind”"));
        return false;
    }
    step.kind = static_cast<SequenceStep::Kind>(
        reader.Choice(QStringLiteral("kind"), kStepNames, QStringLiteral("步骤类型"), 0));
    if (!reader.Ok())
        return false;
    switch (step.kind) {
    case SequenceStep::Kind::Send:
        step.text = reader.String(QStringLiteral("command"), true);
        break;
    case SequenceStep::Kind::Wait:
        step.text = reader.String(QStringLiteral("text"), true);
        step.ms = reader.Integer(QStringLiteral("timeoutMs"), true);
        break;
    case SequenceStep::Kind::Pause:
        step.ms = reader.Integer(QStringLiteral("ms"), true);
        break;
    }
    return reader.Ok();
}

bool ReadSequence(const QJsonValue& value, int number, CommandSequence& sequence, QString* error)
{
    const QString place = QStringLiteral("第 %1 个序列").arg(number);
    FieldReader reader(value.toObject(), place, error);
    if (!value.isObject()) {
        reader.Fail(QStringLiteral("应为对象 {…}"));
        return false;
    }
    sequence.name = reader.String(QStringLiteral("name"), true);
    sequence.repeat = reader.Integer(QStringLiteral("repeat"), false, 1);
    const QJsonValue steps = value.toObject().value(QStringLiteral("steps"));
    if (!steps.isArray())
        reader.Fail(QStringLiteral("“steps”应为列表 […]"));
    if (!reader.Ok())
        return false;
    int stepNumber = 0;
    for (const QJsonValue& stepValue : steps.toArray()) {
        SequenceStep step;
        if (!ReadStep(stepValue, QStringLiteral("%1第 %2 步").arg(place).arg(++stepNumber), step, error))
            return false;
        sequence.steps << step;
    }
    return true;
}

QString SyntaxError(const QByteArray& bytes, const QJsonParseError& parse)
{
    const QByteArray before = bytes.left(parse.offset);
    const qsizetype line = before.count('\n') + 1;
    const qsizetype column = before.size() - (before.lastIndexOf('\n') + 1) + 1;
    return QStringLiteral("不是有效的 JSON：第 %1 行第 %2 列附近，%3").arg(line).arg(column).arg(parse.errorString());
}

bool ReadHeader(const QJsonObject& root, QString* error)
{
    const QString format = root.value(QStringLiteral("format")).toString();
    if (format != QLatin1String(kFormatName)) {
        *error = QStringLiteral("不是命令库文件（格式名应为“%1”，文件中为“%2”）").arg(QLatin1String(kFormatName), format);
        return false;
    }
    const QJsonValue version = root.value(QStringLiteral("version"));
    if (!version.isDouble() || version.toDouble() != kVersion) {
        *error = QStringLiteral("版本“%1”不受支持（本程序读取版本 %2）")
                     .arg(version.isDouble() ? QString::number(version.toDouble()) : version.toString())
                     .arg(kVersion);
        return false;
    }
    return true;
}

bool ReadList(const QJsonObject& root, const QString& key, const QString& what, QJsonArray& list, QString* error)
{
    const QJsonValue value = root.value(key);
    if (value.isUndefined())
        return true;
    if (!value.isArray()) {
        *error = QStringLiteral("“%1”（%2）应为列表 […]").arg(key, what);
        return false;
    }
    list = value.toArray();
    return true;
}

QJsonObject WriteCommand(const TerminalCommand& command)
{
    QJsonObject object;
    object[QStringLiteral("name")] = command.name;
    object[QStringLiteral("content")] = command.content;
    object[QStringLiteral("contentKind")] = kContentNames[static_cast<int>(command.contentKind)];
    object[QStringLiteral("lineEnd")] = kLineEndNames[static_cast<int>(command.lineEnd)];
    object[QStringLiteral("check")] = CheckValue::KindName(command.check);
    object[QStringLiteral("checkOrder")] = kOrderNames[static_cast<int>(command.checkOrder)];
    if (command.shortcut != 0)
        object[QStringLiteral("shortcut")] = command.shortcut;
    return object;
}

QJsonObject WriteStep(const SequenceStep& step)
{
    QJsonObject object;
    object[QStringLiteral("kind")] = kStepNames[static_cast<int>(step.kind)];
    switch (step.kind) {
    case SequenceStep::Kind::Send: object[QStringLiteral("command")] = step.text; break;
    case SequenceStep::Kind::Wait:
        object[QStringLiteral("text")] = step.text;
        object[QStringLiteral("timeoutMs")] = step.ms;
        break;
    case SequenceStep::Kind::Pause: object[QStringLiteral("ms")] = step.ms; break;
    }
    return object;
}

}  // namespace

bool Parse(const QByteArray& bytes, Content& content, QString* error)
{
    QString problem;
    QJsonParseError parse;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &parse);
    Content read;
    QJsonArray commands;
    QJsonArray sequences;
    bool ok = false;
    if (parse.error != QJsonParseError::NoError)
        problem = SyntaxError(bytes, parse);
    else if (!document.isObject())
        problem = QStringLiteral("最外层应为对象 {…}");
    else
        ok = ReadHeader(document.object(), &problem)
             && ReadList(document.object(), QStringLiteral("commands"), QStringLiteral("命令"), commands, &problem)
             && ReadList(document.object(), QStringLiteral("sequences"), QStringLiteral("序列"), sequences, &problem);
    for (qsizetype i = 0; ok && i < commands.size(); ++i) {
        TerminalCommand command;
        ok = ReadCommand(commands[i], static_cast<int>(i + 1), command, &problem);
        read.commands << command;
    }
    for (qsizetype i = 0; ok && i < sequences.size(); ++i) {
        CommandSequence sequence;
        ok = ReadSequence(sequences[i], static_cast<int>(i + 1), sequence, &problem);
        read.sequences << sequence;
    }
    if (!ok) {
        if (error)
            *error = problem;
        return false;
    }
    content = std::move(read);
    return true;
}

QByteArray Serialize(const Content& content)
{
    QJsonArray commands;
    for (const TerminalCommand& command : content.commands)
        commands.append(WriteCommand(command));
    QJsonArray sequences;
    for (const CommandSequence& sequence : content.sequences) {
        QJsonArray steps;
        for (const SequenceStep& step : sequence.steps)
            steps.append(WriteStep(step));
        QJsonObject object;
        object[QStringLiteral("name")] = sequence.name;
        object[QStringLiteral("repeat")] = sequence.repeat;
        object[QStringLiteral("steps")] = steps;
        sequences.append(object);
    }
    QJsonObject root;
    root[QStringLiteral("format")] = QLatin1String(kFormatName);
    root[QStringLiteral("version")] = kVersion;
    root[QStringLiteral("commands")] = commands;
    root[QStringLiteral("sequences")] = sequences;
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

}  // namespace CommandLibraryJson

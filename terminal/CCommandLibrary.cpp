#include "terminal/CCommandLibrary.h"

#include "params/GbkText.h"
#include "terminal/CommandFrame.h"
#include "terminal/CommandLibraryJson.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSaveFile>
#include <QSet>
#include <QStandardPaths>

namespace {

template <typename Entry>
const Entry* FindByName(const QList<Entry>& list, const QString& name)
{
    for (const Entry& entry : list) {
        if (entry.name == name)
            return &entry;
    }
    return nullptr;
}

QString CheckCommands(const QList<TerminalCommand>& commands)
{
    QSet<QString> names;
    QHash<int, QString> shortcuts;
    for (qsizetype i = 0; i < commands.size(); ++i) {
        const TerminalCommand& command = commands[i];
        if (command.name.trimmed().isEmpty())
            return QStringLiteral("第 %1 条命令没有名称").arg(i + 1);
        if (names.contains(command.name))
            return QStringLiteral("命令名称“%1”重复").arg(command.name);
        names.insert(command.name);
        QString problem;
        if (!CommandFrame::ContentBytes(command, &problem))
            return QStringLiteral("命令“%1”：%2").arg(command.name, problem);
        if (command.shortcut < 0 || command.shortcut > CCommandLibrary::kMaxShortcut)
            return QStringLiteral("命令“%1”的快捷键 %2 不在 1-9 之内").arg(command.name).arg(command.shortcut);
        if (command.shortcut != 0 && shortcuts.contains(command.shortcut))
            return QStringLiteral("快捷键 %1 已给了命令“%2”，不能再给命令“%3”")
                .arg(command.shortcut)
                .arg(shortcuts.value(command.shortcut), command.name);
        if (command.shortcut != 0)
            shortcuts.insert(command.shortcut, command.name);
    }
    return {};
}

QString CheckStep(const SequenceStep& step)
{
    switch (step.kind) {
    case SequenceStep::Kind::Send:
        return step.text.isEmpty() ? QStringLiteral("没有填写要发送的命令名称") : QString();
    case SequenceStep::Kind::Wait:
        if (step.text.isEmpty())
            return QStringLiteral("没有填写要等待的回复文字");
        if (!UnicodeToGbkBytes(step.text))
            return QStringLiteral("等待的回复文字“%1”无法用 GBK 编码").arg(step.text);
        if (step.ms <= 0)
            return QStringLiteral("等待时间 %1 ms 无效（须大于 0）").arg(step.ms);
        return {};
    case SequenceStep::Kind::Pause:
        return step.ms < 0 ? QStringLiteral("暂停时间 %1 ms 无效（不能为负）").arg(step.ms) : QString();
    }
    return {};
}

QString CheckSequences(const QList<CommandSequence>& sequences)
{
    QSet<QString> names;
    for (qsizetype i = 0; i < sequences.size(); ++i) {
        const CommandSequence& sequence = sequences[i];
        if (sequence.name.trimmed().isEmpty())
            return QStringLiteral("第 %1 个序列没有名称").arg(i + 1);
        if (names.contains(sequence.name))
            return QStringLiteral("序列名称“%1”重复").arg(sequence.name);
        names.insert(sequence.name);
        if (sequence.repeat < 1)
            return QStringLiteral("序列“%1”的重复次数 %2 无效（至少 1 次）").arg(sequence.name).arg(sequence.repeat);
        for (qsizetype s = 0; s < sequence.steps.size(); ++s) {
            const QString problem = CheckStep(sequence.steps[s]);
            if (!problem.isEmpty())
                return QStringLiteral("序列“%1”第 %2 步：%3").arg(sequence.name).arg(s + 1).arg(problem);
        }
    }
    return {};
}

bool Fail(QString* error, const QString& text)
{
    if (error)
        *error = text;
    return false;
}

QString Unusable(const QString& path, const QString& problem)
{
    return QStringLiteral("命令库文件“%1”无法使用：%2。").arg(QDir::toNativeSeparators(path), problem);
}

bool ReadLibraryFile(const QString& path, CommandLibraryJson::Content& content, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Fail(error, Unusable(path, QStringLiteral("无法读取（%1）").arg(file.errorString())));
    QString problem;
    if (!CommandLibraryJson::Parse(file.readAll(), content, &problem))
        return Fail(error, Unusable(path, problem));
    problem = CCommandLibrary::Check(content.commands, content.sequences);
    if (!problem.isEmpty())
        return Fail(error, Unusable(path, problem));
    return true;
}

void RenameSends(QList<CommandSequence>& sequences, const QString& from, const QString& to)
{
    for (CommandSequence& sequence : sequences) {
        for (SequenceStep& step : sequence.steps) {
            if (step.kind == SequenceStep::Kind::Send && step.text == from)
                step.text = to;
        }
    }
}

// Each send step rewritten once, from the name it had in the file: renames
// applied one after another would chain ("A" -> "A (2)", then that "A (2)"
// -> "A (2) (2)" along with the file's own "A (2)").
void RenameSends(QList<CommandSequence>& sequences, const QHash<QString, QString>& newNames)
{
    for (CommandSequence& sequence : sequences) {
        for (SequenceStep& step : sequence.steps) {
            if (step.kind == SequenceStep::Kind::Send)
                step.text = newNames.value(step.text, step.text);
        }
    }
}

}  // namespace

QString ImportResult::Summary() const
{
    QStringList parts;
    parts << QStringLiteral("导入命令 %1 条、序列 %2 个。").arg(addedCommands.size()).arg(addedSequences.size());
    if (!renamed.isEmpty()) {
        QStringList names;
        for (const auto& [from, to] : renamed)
            names << QStringLiteral("“%1”→“%2”").arg(from, to);
        parts << QStringLiteral("名称已有而内容不同，改名导入：%1。").arg(names.join(QStringLiteral("、")));
    }
    if (!shortcutDropped.isEmpty())
        parts << QStringLiteral("快捷键已被占用，导入时去掉了快捷键：“%1”。")
                     .arg(shortcutDropped.join(QStringLiteral("”、“")));
    if (!skipped.isEmpty())
        parts << QStringLiteral("与已有的完全相同，跳过：“%1”。").arg(skipped.join(QStringLiteral("”、“")));
    return parts.join(QLatin1Char('\n'));
}

const TerminalCommand* CCommandLibrary::FindCommand(const QString& name) const
{
    return FindByName(m_commands, name);
}

const CommandSequence* CCommandLibrary::FindSequence(const QString& name) const
{
    return FindByName(m_sequences, name);
}

const TerminalCommand* CCommandLibrary::CommandForShortcut(int key) const
{
    for (const TerminalCommand& command : m_commands) {
        if (key != 0 && command.shortcut == key)
            return &command;
    }
    return nullptr;
}

QByteArray CCommandLibrary::Frame(const TerminalCommand& command)
{
    return CommandFrame::Build(command).value_or(QByteArray());
}

QString CCommandLibrary::Check(const QList<TerminalCommand>& commands, const QList<CommandSequence>& sequences)
{
    const QString problem = CheckCommands(commands);
    return problem.isEmpty() ? CheckSequences(sequences) : problem;
}

bool CCommandLibrary::Assign(const QList<TerminalCommand>& commands, const QList<CommandSequence>& sequences,
                             QString* error)
{
    const QString problem = Check(commands, sequences);
    if (!problem.isEmpty())
        return Fail(error, problem);
    m_commands = commands;
    m_sequences = sequences;
    return true;
}

bool CCommandLibrary::SetCommand(qsizetype index, const TerminalCommand& command, QString* error)
{
    if (index < 0 || index > m_commands.size())
        return Fail(error, QStringLiteral("没有第 %1 条命令").arg(index + 1));
    QList<TerminalCommand> commands = m_commands;
    QList<CommandSequence> sequences = m_sequences;
    if (index == commands.size()) {
        commands << command;
    } else {
        if (commands[index].name != command.name && !FindCommand(command.name))
            RenameSends(sequences, commands[index].name, command.name);
        commands[index] = command;
    }
    return Assign(commands, sequences, error);
}

void CCommandLibrary::RemoveCommand(qsizetype index)
{
    if (index >= 0 && index < m_commands.size())
        m_commands.removeAt(index);
}

bool CCommandLibrary::SetSequence(qsizetype index, const CommandSequence& sequence, QString* error)
{
    if (index < 0 || index > m_sequences.size())
        return Fail(error, QStringLiteral("没有第 %1 个序列").arg(index + 1));
    QList<CommandSequence> sequences = m_sequences;
    if (index == sequences.size())
        sequences << sequence;
    else
        sequences[index] = sequence;
    return Assign(m_commands, sequences, error);
}

void CCommandLibrary::RemoveSequence(qsizetype index)
{
    if (index >= 0 && index < m_sequences.size())
        m_sequences.removeAt(index);
}

QString CCommandLibrary::FreeName(const QString& name, const std::function<bool(const QString&)>& taken)
{
    if (!taken(name))
        return name;
    for (int n = 2;; ++n) {
        const QString candidate = QStringLiteral("%1 (%2)").arg(name).arg(n);
        if (!taken(candidate))
            return candidate;
    }
}

QString CCommandLibrary::FreeCommandName(const QString& name) const
{
    return FreeName(name, [this](const QString& candidate) { return FindCommand(candidate) != nullptr; });
}

QString CCommandLibrary::FreeSequenceName(const QString& name) const
{
    return FreeName(name, [this](const QString& candidate) { return FindSequence(candidate) != nullptr; });
}

bool CCommandLibrary::Load(const QString& path, QString* error)
{
    CommandLibraryJson::Content content;
    if (!ReadLibraryFile(path, content, error))
        return false;
    m_commands = content.commands;
    m_sequences = content.sequences;
    return true;
}

bool CCommandLibrary::Save(const QString& path, QString* error) const
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return Fail(error, QStringLiteral("无法写入命令库文件“%1”：%2").arg(QDir::toNativeSeparators(path), file.errorString()));
    file.write(CommandLibraryJson::Serialize({m_commands, m_sequences}));
    if (!file.commit())
        return Fail(error, QStringLiteral("无法写入命令库文件“%1”：%2").arg(QDir::toNativeSeparators(path), file.errorString()));
    return true;
}

bool CCommandLibrary::Import(const QString& path, ImportResult* result, QString* error)
{
    CommandLibraryJson::Content incoming;
    if (!ReadLibraryFile(path, incoming, error))
        return false;
    CCommandLibrary merged = *this;
    ImportResult report;
    // The file's command names -> the names they have in the library.
    QHash<QString, QString> newNames;
    for (const TerminalCommand& command : incoming.commands) {
        if (const TerminalCommand* same = merged.FindImported(command)) {
            report.skipped << command.name;
            newNames.insert(command.name, same->name);
            continue;
        }
        TerminalCommand added = command;
        added.name = merged.FreeCommandName(command.name);
        if (added.name != command.name) {
            report.renamed.append({command.name, added.name});
            newNames.insert(command.name, added.name);
        }
        if (added.shortcut != 0 && merged.CommandForShortcut(added.shortcut)) {
            report.shortcutDropped << added.name;
            added.shortcut = 0;
        }
        merged.m_commands << added;
        report.addedCommands << added.name;
    }
    RenameSends(incoming.sequences, newNames);
    for (const CommandSequence& sequence : incoming.sequences) {
        if (merged.FindImported(sequence)) {
            report.skipped << sequence.name;
            continue;
        }
        CommandSequence added = sequence;
        added.name = merged.FreeSequenceName(sequence.name);
        if (added.name != sequence.name)
            report.renamed.append({sequence.name, added.name});
        merged.m_sequences << added;
        report.addedSequences << added.name;
    }
    // By construction the merge keeps the rules; checked all the same, so
    // that a slip can never leave a library that its own file refuses.
    if (!Assign(merged.m_commands, merged.m_sequences, error))
        return false;
    if (result)
        *result = report;
    return true;
}

const TerminalCommand* CCommandLibrary::FindImported(const TerminalCommand& command) const
{
    for (const TerminalCommand& existing : m_commands) {
        if (!IsImportedName(existing.name, command.name))
            continue;
        TerminalCommand compared = command;
        compared.name = existing.name;
        // What an earlier import of it left: the shortcut dropped when
        // another command had it.
        const TerminalCommand* owner = CommandForShortcut(command.shortcut);
        if (existing.shortcut == 0 && owner && owner != &existing)
            compared.shortcut = 0;
        if (compared == existing)
            return &existing;
    }
    return nullptr;
}

const CommandSequence* CCommandLibrary::FindImported(const CommandSequence& sequence) const
{
    for (const CommandSequence& existing : m_sequences) {
        CommandSequence compared = sequence;
        compared.name = existing.name;
        if (IsImportedName(existing.name, sequence.name) && compared == existing)
            return &existing;
    }
    return nullptr;
}

bool CCommandLibrary::IsImportedName(const QString& existing, const QString& imported)
{
    if (existing == imported)
        return true;
    const QString prefix = imported + QStringLiteral(" (");
    if (!existing.startsWith(prefix) || !existing.endsWith(QLatin1Char(')')))
        return false;
    bool number = false;
    existing.mid(prefix.size()).chopped(1).toInt(&number);
    return number;
}

QString CCommandLibrary::DefaultFilePath()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + QStringLiteral("/commands.json");
}

bool CCommandLibrary::OpenFile(QString* notice)
{
    if (!QFileInfo::exists(m_filePath))
        return true;
    QString problem;
    if (Load(m_filePath, &problem))
        return true;
    QString aside = m_filePath + QStringLiteral(".broken");
    for (int n = 2; QFileInfo::exists(aside); ++n)
        aside = m_filePath + QStringLiteral(".broken%1").arg(n);
    const bool keptAside = QFile::rename(m_filePath, aside);
    // A file that could not be kept aside must not be overwritten by the
    // next Store: the library then has no file of its own.
    if (!keptAside)
        m_filePath.clear();
    if (notice) {
        *notice = keptAside ? QStringLiteral("%1原文件已改名为“%2”保留，命令库从空白开始。")
                                  .arg(problem, QDir::toNativeSeparators(aside))
                            : QStringLiteral("%1原文件也无法改名保留，命令库从空白开始，保存前请先处理该文件。")
                                  .arg(problem);
    }
    return false;
}

bool CCommandLibrary::Store(QString* error) const
{
    if (m_filePath.isEmpty())
        return Fail(error, QStringLiteral("命令库没有可保存的文件（原文件已损坏且无法改名保留），请先导出。"));
    return Save(m_filePath, error);
}

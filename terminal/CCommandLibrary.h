#pragma once

#include "terminal/CommandSequence.h"
#include "terminal/ImportResult.h"
#include "terminal/TerminalCommand.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>

// The technician's named commands and sequences, and the file they live in
// (see CommandLibraryJson for its format). Every change is checked against
// the whole library first; a refused change, a damaged file or a failed
// import leaves the library exactly as it was.
//
// Rules: command and sequence names are non-empty and unique (each among
// its own kind); a command's content is valid (GBK text or hex pairs); a
// shortcut is 0 (none) or 1..9 and used by one command at most; a sequence
// repeats at least once; a send step names a command (which may be
// missing when it runs: the run then stops), a wait step has a GBK text
// and a time above 0, a pause is not negative.
class CCommandLibrary {
public:
    static constexpr int kMaxShortcut = 9;

    const QList<TerminalCommand>& Commands() const { return m_commands; }
    const QList<CommandSequence>& Sequences() const { return m_sequences; }
    const TerminalCommand* FindCommand(const QString& name) const;
    const CommandSequence* FindSequence(const QString& name) const;
    // The command sent by key 1..9, or null.
    const TerminalCommand* CommandForShortcut(int key) const;

    // The exact bytes sent for `command` (content, check value, line end);
    // empty when its content is bad, which no command of a library has.
    static QByteArray Frame(const TerminalCommand& command);

    // Replaces the command at `index` (or appends at index == size). A
    // renamed command keeps its place in the sequences that send it.
    bool SetCommand(qsizetype index, const TerminalCommand& command, QString* error = nullptr);
    void RemoveCommand(qsizetype index);
    bool SetSequence(qsizetype index, const CommandSequence& sequence, QString* error = nullptr);
    void RemoveSequence(qsizetype index);
    bool Assign(const QList<TerminalCommand>& commands, const QList<CommandSequence>& sequences,
                QString* error = nullptr);

    // What breaks the rules above (first problem), or empty.
    static QString Check(const QList<TerminalCommand>& commands, const QList<CommandSequence>& sequences);
    // "名称", else "名称 (2)", "名称 (3)"... whichever is free.
    QString FreeCommandName(const QString& name) const;
    QString FreeSequenceName(const QString& name) const;

    // --- Files: false with a Chinese message naming the file, what is wrong
    // and where; the library is then unchanged.
    bool Load(const QString& path, QString* error = nullptr);
    // Atomic: the old file stays whole until the new one is complete.
    bool Save(const QString& path, QString* error = nullptr) const;
    bool Export(const QString& path, QString* error = nullptr) const { return Save(path, error); }
    // Merges the file's entries: identical ones are skipped, one whose name
    // is taken by a different entry comes in as "名称 (2)", a shortcut
    // already used is dropped from the newcomer. Importing the same file
    // twice adds nothing the second time.
    bool Import(const QString& path, ImportResult* result = nullptr, QString* error = nullptr);

    // --- The library's own file (commands.json in the application's data
    // folder, unless set otherwise).
    static QString DefaultFilePath();
    QString FilePath() const { return m_filePath; }
    void SetFilePath(const QString& path) { m_filePath = path; }
    // Loads FilePath() at start. A missing file gives an empty library. A
    // damaged one is kept aside as "<name>.broken" (never overwritten
    // later) and the library starts empty; `notice` then says so. False
    // only in that case.
    bool OpenFile(QString* notice = nullptr);
    // Saves to FilePath().
    bool Store(QString* error = nullptr) const;

private:
    // The entry an earlier import of `entry` left, if any: equal to it
    // apart from the name it was given ("名称" or "名称 (n)") and a dropped
    // shortcut.
    const TerminalCommand* FindImported(const TerminalCommand& command) const;
    const CommandSequence* FindImported(const CommandSequence& sequence) const;
    static bool IsImportedName(const QString& existing, const QString& imported);
    static QString FreeName(const QString& name, const std::function<bool(const QString&)>& taken);

    QList<TerminalCommand> m_commands;
    QList<CommandSequence> m_sequences;
    QString m_filePath = DefaultFilePath();
};

#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

// What an import merged into the command library.
struct ImportResult {
    QStringList addedCommands;     // under the names they now have
    QStringList addedSequences;
    QList<QPair<QString, QString>> renamed;  // name in the file -> name given
    QStringList skipped;           // identical to an entry already there
    QStringList shortcutDropped;   // commands whose shortcut was taken

    // One Chinese paragraph for the user, e.g. "导入命令 2 条、序列 1 个。…".
    QString Summary() const;
};

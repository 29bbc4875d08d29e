#pragma once

#include "params/ConfigFilePlan.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

// Applying only some of a file's changes: the changes a load would make,
// one per item and one per number list, each ticked or not; a load then
// sends only the ticked ones and leaves the others as the terminal has
// them.

// One change a load of a file would make.
struct FileChange {
    const SaveItem* item = nullptr;  // an item of the table, or
    int category = -1;               // a whole number list (0 to 2)
    QString text;                    // "LABEL：设备“…”，文件“…”"
};

// The changes of a planned load against the terminal's values, in the
// order DescribeFileChanges lists them.
std::vector<FileChange> ListFileChanges(const ConfigFileLoad& load, const ParameterSet& current);
QStringList FileChangeTexts(const std::vector<FileChange>& changes);

// The number list a name stands for: "管理号码", "授权号码", "备份号码" or the
// report's label ("Alarm admin NO:"); nothing for any other name.
std::optional<int> NumberListCategoryOf(const QString& name);

// Which changes are ticked at first: --only LABEL (repeatable) ticks only
// the changes named, --skip LABEL unticks those named. Labels are those of
// --set, or a number list's name.
struct ChangeFilter {
    QStringList only;
    QStringList skip;
    // Send only what changes: a list equal to the terminal's is not sent
    // even when every change is ticked (a run that puts a terminal right).
    bool changesOnly = false;
    bool IsEmpty() const { return only.isEmpty() && skip.isEmpty() && !changesOnly; }
};
// The first label of the filter that names neither an item nor a list.
std::optional<QString> UnknownFilterLabel(const ChangeFilter& filter);
std::vector<bool> InitialTicks(const std::vector<FileChange>& changes, const ChangeFilter& filter);

// Makes the load send only the ticked changes: an unticked item takes the
// terminal's value (so the save does not send it, and the read-back does
// not check it), and an unticked list is not sent. When anything is
// unticked, the lists that do not change are not sent either; with every
// change ticked the load is left as it was, unless `changesOnly`.
void KeepTickedChanges(ConfigFileLoad& load, const ParameterSet& current, const std::vector<FileChange>& changes,
                       const std::vector<bool>& ticked, bool changesOnly = false);

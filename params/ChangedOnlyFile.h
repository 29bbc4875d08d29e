#pragma once

#include "params/ChangeSelection.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

// `--diff FILE --changed-only --output NEW.cfg`: a configuration file that
// holds only what FILE would change on the terminal (after --set, and only
// the changes --only/--skip leave ticked). The lines of the changes keep
// their label, padding and line ends. The lines every report must have
// (number lists, priorities, play counts, preset texts) stay too, with the
// terminal's value where they do not change, so that the file still
// loads; a load leaves every other line the file lacks unchanged. Applying
// the file changes exactly those items.
struct ChangedOnlyFile {
    QByteArray bytes;        // the file to write
    QStringList changes;     // what applying it changes, as --diff lists it
    std::optional<QString> refusal;
};

ChangedOnlyFile BuildChangedOnlyFile(const QByteArray& fileBytes, const ParameterSet& current,
                                     const std::vector<CellOverride>& overrides, const ChangeFilter& filter);

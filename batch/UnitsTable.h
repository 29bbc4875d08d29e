#pragma once

#include "params/ConfigFilePlan.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

// The values that differ from terminal to terminal of a batch: a CSV file
// whose header row names items by their labels and whose every further row
// holds one terminal's values. UTF-8 (with or without a byte order mark) or
// GBK; comma-separated, fields in double quotes may hold commas, quotes
// ("") and line ends.
struct UnitsTable {
    QStringList labels;
    std::vector<QStringList> rows;
    // The line of the file each row starts on, for messages.
    std::vector<int> rowLines;
};

// The file's text: UTF-8 when it decodes as such, else GBK.
QString DecodeUnitsText(const QByteArray& bytes);
// The records of a CSV text; nothing, with the reason, when a quote is
// never closed.
std::optional<std::vector<QStringList>> ParseCsv(const QString& text, std::vector<int>* recordLines = nullptr,
                                                 QString* why = nullptr);
// The table from a file's bytes; nothing, with the reason, when there is
// no header row, a row has more fields than the header, or a quote is open.
std::optional<UnitsTable> ParseUnitsTable(const QByteArray& bytes, QString* why);

// "LABEL=VALUE" settings and a row of the table as overrides of a file's
// values; nothing, with the reason, for a label of no item that is saved.
std::optional<std::vector<CellOverride>> OverridesFromSettings(const QStringList& settings, QString* why);
std::optional<std::vector<CellOverride>> OverridesFromRow(const QStringList& labels, const QStringList& row,
                                                          QString* why);
// Later overrides of an item replace earlier ones.
std::vector<CellOverride> MergeOverrides(const std::vector<CellOverride>& base, const std::vector<CellOverride>& top);

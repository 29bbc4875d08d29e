#pragma once

#include "params/SavePlan.h"

#include <QString>
#include <QStringList>

#include <optional>

// The checks a value meets when a person types it into an item's cell of
// the parameter table and saves: the cell's editor (a choice offered, digits
// only), what can be sent at all (GBK, no control character, the field's
// length), and the save's own checks of that item (an 8-hex-digit device ID,
// an 11-digit SIM number, the heartbeat's range, ...). Used wherever a value
// comes from somewhere other than the table: a file edited by label, a
// project profile.

// What the item's editor would not let the user enter: "“LABEL”只能选择：…"
// or "“LABEL”只能输入数字"; nothing when it would.
std::optional<QString> EditorRefusal(const SaveItem& item, const QString& value);

// Why the value, typed into the item's cell of an otherwise valid table,
// would be refused by the editor or by a save; nothing when it would be
// sent. The message is the one the table or the save shows.
std::optional<QString> TypedValueRefusal(const SaveItem& item, const QString& value);

// Whether the item's value, as the table shows it, is a number: a digits
// cell, a choice of numbers only, the FM frequency.
bool IsNumericItem(const SaveItem& item);

// The checks of the number pages on a whole list: digits only, at most 32
// characters, no number twice, at most 255 numbers.
std::optional<QString> NumberListRefusal(const QStringList& numbers);

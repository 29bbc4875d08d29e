#pragma once

#include <QString>
#include <QStringList>

// The record's schema as migrations: version N is reached by running the
// statements of every migration up to N in order. The same text serves
// SQLite and PostgreSQL; only two column types differ between them and are
// written as tokens, replaced when the statements are run:
//   {ID}   an automatically numbered primary key
//   {BLOB} raw bytes
namespace RecordSchema {

enum class Dialect { Sqlite, Postgres };

// The newest version this program writes.
int LatestVersion();
// The statements that take a database from version - 1 to version.
QStringList Migration(int version, Dialect dialect);

// From this version on a snapshot carries its parsed values (a value set),
// a device its latest snapshot, and profile checks are kept. The store fills
// the value sets of older snapshots itself when it migrates to it.
inline constexpr int kParsedValuesVersion = 4;

// Whether this program can read a database of `version`: every version up
// to the newest it knows (readers never migrate).
bool IsKnownVersion(int version);
// The line that refuses a database made by a newer program.
QString NewerVersionText(int version);

}  // namespace RecordSchema

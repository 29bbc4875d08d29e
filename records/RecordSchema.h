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

}  // namespace RecordSchema

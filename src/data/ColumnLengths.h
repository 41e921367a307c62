#pragma once

#include <QList>
#include <QString>

#include "ColumnType.h"

// The longest text each column that this client writes can hold as db/sqlserver.sql makes it
// (NVARCHAR(n), counted in UTF-16 units as the server counts them). This is the answer of SQLite,
// which keeps any length but whose data must fit a server, and of a server column that the
// catalogue read at connect did not find. A server's own columns answer for themselves
// (Database::columnType); the input boxes and Database::insert/update follow that answer.
namespace ColumnLengths {

struct Entry {
    const char *table;
    const char *column;
    int length;
};

// Every limited column, table by table.
const QList<Entry> &all();

// The length of a text column; 0 when it is unlimited (NVARCHAR(MAX)) or not a text column.
int of(const QString &table, const QString &column);

// The column as national text of that length (0: unlimited).
ColumnType typeOf(const QString &table, const QString &column);

// Number of the error for a value longer than its column.
constexpr int kTooLongError = ColumnType::kTooLongError;

}  // namespace ColumnLengths

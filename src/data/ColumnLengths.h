#pragma once

#include <QList>
#include <QString>

#include "Database.h"

// The longest text each column that this client writes can hold on the server (NVARCHAR(n) of
// db/sqlserver.sql, counted in UTF-16 units as the server counts them). SQLite keeps any length,
// SQL Server refuses a longer value (error 8152), so every input box is limited to these lengths
// and Database::insert/update check them before a statement is sent.
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

// Number of the error thrown by check().
constexpr int kTooLongError = 8152;

// Throws DbError naming the first text value that is longer than its column.
void check(const QString &table, const Fields &fields);

// The message for a value of `actual` characters in a column of `length`.
QString tooLongMessage(const QString &column, int length, int actual);

}  // namespace ColumnLengths

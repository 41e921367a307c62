#pragma once

#include <QHash>
#include <QString>

#include "ColumnType.h"
#include "Rows.h"

// The columns of the suite's SQL Server database that this client filters on, joins on or writes,
// as the server has them: read once at connect by one statement over the catalogue, and kept for
// the session. A column the catalogue does not have answers as db/sqlserver.sql would make it.
class ServerSchema {
public:
    // The one statement that reads every column of columns(): table, column, base type, length in
    // bytes, collation and its code page.
    static QString statement();
    // "table.column" of every column read.
    static const QStringList &columns();

    // Takes the rows of statement().
    void load(const Rows &rows);
    void clear() { m_columns.clear(); }
    int size() const { return int(m_columns.size()); }

    ColumnType columnType(const QString &table, const QString &column) const;
    // The catalogue has this column.
    bool contains(const QString &table, const QString &column) const;

    // A catalogue row as a column type: base type name, max_length (bytes; -1 for MAX), collation,
    // code page.
    static ColumnType typeFrom(const QString &typeName, int maxLength, const QString &collation, int codePage);

private:
    QHash<QString, ColumnType> m_columns;
};

#pragma once

#include <QMetaType>
#include <QString>
#include <QVariant>

// A bound value that says which column it meets, so that the database can send it in that
// column's own type: on SQL Server a text compared with a VARCHAR or CHAR column is converted to
// the column's type and collation on the parameter's side, so that the column's index is sought
// instead of every row being converted; a date-time meeting a DATETIME column is a DATETIME.
//
//     db.select("SELECT 姓名 FROM 员工档案 WHERE 工号 = ?", {Param::column("员工档案", "工号", number)});
//
// Values written through Database::insert/update need no such mark: their table and columns are
// known. Anywhere else a bound value may be a plain QVariant (NVARCHAR on SQL Server).
struct ColumnParam {
    QString table;
    QString column;
    QVariant value;
};
Q_DECLARE_METATYPE(ColumnParam)

namespace Param {

// `value` compared with (or written to) `table`.`column`.
QVariant column(const QString &table, const QString &column, const QVariant &value);

// The column a bound value names, or nullptr for a plain value.
const ColumnParam *columnOf(const QVariant &param);
// The value itself, without the column it names.
QVariant valueOf(const QVariant &param);

}  // namespace Param

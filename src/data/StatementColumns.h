#pragma once

#include <QString>
#include <QVector>
#include <functional>

// Which column each "?" of a statement meets, read from the statement's text, so that the stores
// need not say it: a mark right after a comparison with a column (`工号 = ?`, `A.管理处代号 <> ?`,
// `投诉时间 >= ?`, `岗位代号 IN (?, ?)`, and `SET 回访人 = ?`). A qualified column names its table
// or the alias the statement gives it; a bare one belongs to the one table of the statement that
// has such a column. Marks compared with anything else (an expression, LIKE, a column two tables
// share) meet no known column.
namespace StatementColumns {

struct Met {
    QString table;  // empty: no known column
    QString column;
};

// Where the marks stand: every "?" outside quoted text, bracketed or quoted names and comments.
QVector<qsizetype> marks(const QString &sql);

// The column met by each mark of `sql`, in order. `has(table, column)` tells whether a table has a
// column (the catalogue read at connect).
QVector<Met> columnsMet(const QString &sql, const std::function<bool(const QString &, const QString &)> &has);

}  // namespace StatementColumns

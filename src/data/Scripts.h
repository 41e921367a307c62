#pragma once

#include <QString>
#include <QStringList>

class Database;

// The SQL scripts under db/ (built into the program) and what is made from them.
namespace Scripts {

// The text of a script: "schema.sqlite.sql", "demo.sql" or "sqlserver.sql".
QString text(const QString &name);
// Splits a script into statements at the semicolons that end them (outside quotes and comments),
// or, for SQL Server scripts, at the lines that read "GO".
QStringList statements(const QString &script);
// Runs a script on the connection in one transaction.
void run(Database &db, const QString &name);
// Creates a new SQLite file with the schema (and the demo data when `withDemo`). The file is
// written under a temporary name and renamed, so a failure leaves no half-made database.
// Throws DbError.
void createSqliteDatabase(const QString &file, bool withDemo);

}  // namespace Scripts

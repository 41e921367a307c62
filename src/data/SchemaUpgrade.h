#pragma once

class Database;

// Keeps an embedded database file in step with the program. Every file carries the version of its
// schema in PRAGMA user_version: a new file gets the current one from db/schema.sqlite.sql, and a
// file made by an earlier version of the program is brought up to it when it is opened.
//
// A later change of the schema appends one entry to the list of steps in SchemaUpgrade.cpp (its
// columns, tables and the filling of them) and raises the version at the end of
// db/schema.sqlite.sql to the step's; the tables and indexes of the schema script that a file
// lacks are made after the steps, so a new index needs no step of its own.
namespace SchemaUpgrade {

// The version of the schema this program writes and reads.
int currentVersion();

// Called once on every new SQLite connection, before any other statement of the program:
// - registers the SQL functions that the schema's statements use (tavimor_telephone_digits(text):
//   Telephone::digits of a text);
// - a file of the current version, or one without the complaint tables (being made), stays as it is;
// - an older file gains what it lacks, all in one write transaction, or not at all;
// - an older file that cannot be written is not changed: temporary views on this connection
//   supply what the program reads and the file lacks, so it can still be looked at;
// - a newer file is refused (DbError with a message saying so) before anything is read.
void bringUpToDate(Database &db);

}  // namespace SchemaUpgrade

#pragma once

#include <QString>

// What went wrong with the database, told in plain Chinese for the user, with the driver's own
// text after it for the administrator.
namespace FailureText {

enum class Kind {
    Other,           // no plainer word than the driver's own
    Locked,          // another station holds the lock longer than a write may wait
    ReadOnly,        // the file, its folder or the database is read-only
    CannotOpen,      // the file cannot be opened or created (missing, permissions)
    NotADatabase,    // the file is no SQLite database
    Damaged,         // the file's structure is broken
    DiskFull,        // no room for what the write needs
    FileRemoved,     // the file behind the connection was deleted or replaced
    ConnectionLost,  // the server connection broke off
    CannotConnect,   // no connection to the server could be made
    LoginRefused,    // the server refused the login name or its password
    TooLong,         // a value is longer than its column on the server
    DateOutOfRange,  // a date the server's DATETIME cannot hold (before 1753)
};

// The number the program gives a write refused because the file behind the connection is no longer
// the file at its path (SQLite's own code for a moved database).
constexpr int kFileRemovedNumber = 1032;

enum class Source { Sqlite, SqlServer };

// The kind of a failure, from the driver's error code (SQLite result codes, SQL Server error
// numbers or ODBC states) and its text.
Kind classify(Source source, const QString &nativeCode, const QString &technical);

// The plain text of a kind; empty for Other.
QString plain(Kind kind);

// The description the error reports show: the plain text, then on a line of its own the technical
// text. Other gives the technical text alone.
QString describe(Kind kind, const QString &technical);

}  // namespace FailureText

#pragma once

#include <QString>
#include <functional>

#include "FileIdentity.h"

class Database;

// What a SQLite connection keeps about the file behind it: which file it opened, whether it can be
// written, and how a write transaction begins.
class SqliteFile {
public:
    // How the driver opens a file. A folder that cannot be written cannot take the journal files,
    // so nothing could be saved there; asked for write access, SQLite would refuse even to read.
    // Such a file opens read-only, and when its folder cannot take the -shm file that WAL mode
    // reads through either, as a file that does not change while it is open.
    enum class Access { ReadWrite, ReadOnly, Unchanging };
    static Access accessFor(const QString &path);
    // No journal with content lies beside the file: the file alone holds every committed change,
    // so it can be read as an unchanging file without showing an older state.
    static bool holdsEveryChange(const QString &path);
    // The driver's database name and connect options for `path` opened with `access`.
    static QString driverName(const QString &path, Access access);
    static QString connectOptions(Access access);

    // Refuses, as "not a database" (SQLite's number 26), a file that is not a database of this
    // program: a file SQLite cannot read, an empty one, or one without the complaint table. Runs
    // before anything is written to the file, so that such a file is left exactly as it was.
    static void checkIsComplaintDatabase(Database &db, const QString &path);
    // While one lives, `path` may be opened without the schema: a new database being made.
    class NewDatabase {
    public:
        explicit NewDatabase(const QString &path);
        ~NewDatabase();
        NewDatabase(const NewDatabase &) = delete;
        NewDatabase &operator=(const NewDatabase &) = delete;
    };

    // Called once the connection has opened `path`: remembers the file, checks it (PRAGMA
    // quick_check) and finds out whether it can be written. Throws DbError for a damaged file.
    void opened(Database &db, const QString &path);
    void closed();

    // The file this connection has open (empty before it opens).
    const QString &path() const { return m_path; }

    // The file, its folder or the database refuses writes; saving will fail.
    bool isReadOnly() const { return m_readOnly; }

    // Begins a write transaction. Refused when the file at the path is no longer the file the
    // connection has open (deleted or replaced). When another station holds the write lock, the
    // wait indicator is on while it waits, and after writeWaitMilliseconds() the write gives up
    // with the "locked" failure, before anything is written.
    void beginWrite(Database &db);

    // INSERT, UPDATE, DELETE or REPLACE: a statement that changes rows.
    static bool changesRows(const QString &sql);

    // How long a write waits for another station (5 s). The same limit is the connection's busy
    // time-out for every other statement.
    static int writeWaitMilliseconds();
    static void setWriteWaitMilliseconds(int milliseconds);

    // Called with true when a write starts waiting for another station and with false when the
    // wait is over (the windows show the busy pointer). Returns the indicator it replaces.
    static std::function<void(bool waiting)> setWaitIndicator(std::function<void(bool waiting)> indicator);

private:
    QString m_path;
    FileIdentity m_identity;
    bool m_readOnly = false;
};

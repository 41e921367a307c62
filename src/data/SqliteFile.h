#pragma once

#include <QString>
#include <functional>

#include "FileIdentity.h"

class Database;

// What a SQLite connection keeps about the file behind it: which file it opened, whether it can be
// written, and how a write transaction begins.
class SqliteFile {
public:
    // Called once the connection has opened `path`: remembers the file, checks it (PRAGMA
    // quick_check) and finds out whether it can be written. Throws DbError for a damaged file.
    void opened(Database &db, const QString &path);
    void closed();

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

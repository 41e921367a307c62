#pragma once

#include <QString>
#include <QTemporaryDir>
#include <QVariantList>

#include "data/Database.h"

// A fresh SQLite database for one test case, opened as the shared connection gConn, with empty
// session globals. With `withDemo` it holds the demo data, otherwise only the schema.
class TestDatabase {
public:
    explicit TestDatabase(bool withDemo = false);
    ~TestDatabase();
    TestDatabase(const TestDatabase &) = delete;
    TestDatabase &operator=(const TestDatabase &) = delete;

    QString file() const { return m_file; }
    QString folder() const { return m_dir.path(); }
    Database &db();

    // Runs a statement on gConn.
    void exec(const QString &sql, const QVariantList &params = {});
    // The first column of the first row.
    QVariant value(const QString &sql, const QVariantList &params = {});
    int count(const QString &table, const QString &where = QString(), const QVariantList &params = {});

    // Sets the session globals as a login into this post would.
    static void login(const QString &userId, const QString &userName, const QString &deptCode, const QString &deptName,
                      const QString &postCode, const QString &postName);
    static void clearSession();

private:
    Database &helper();

    QTemporaryDir m_dir;
    QString m_file;
    Database m_direct;
};

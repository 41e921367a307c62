#include "TestDatabase.h"

#include <QFile>
#include <QTest>

#include "common/Session.h"
#include "common/Settings.h"
#include "data/Scripts.h"

namespace {

// Each kind of database is made once per test process and copied for every test case.
QString templateFile(bool withDemo)
{
    static QTemporaryDir templates;
    const QString file =
        templates.path() + (withDemo ? QStringLiteral("/demo.sqlite") : QStringLiteral("/empty.sqlite"));
    if (!QFile::exists(file)) Scripts::createSqliteDatabase(file, withDemo);
    return file;
}

}  // namespace

TestDatabase::TestDatabase(bool withDemo)
{
    m_file = m_dir.path() + QStringLiteral("/test.sqlite");
    if (!QFile::copy(templateFile(withDemo), m_file)) qFatal("cannot copy the test database");
    QFile(m_file).setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    Settings::overrideForThisRun(ConnectionSettings{QStringLiteral("sqlite:") + m_file, {}, {}, {}});
    gConn.openSqlite(m_file);
    clearSession();
}

TestDatabase::~TestDatabase() { gConn.close(); }

Database &TestDatabase::db() { return gConn; }

void TestDatabase::exec(const QString &sql, const QVariantList &params) { gConn.execute(sql, params); }

QVariant TestDatabase::value(const QString &sql, const QVariantList &params) { return gConn.scalar(sql, params); }

int TestDatabase::count(const QString &table, const QString &where, const QVariantList &params)
{
    QString sql = QStringLiteral("SELECT count(*) FROM ") + table;
    if (!where.isEmpty()) sql += QStringLiteral(" WHERE ") + where;
    return gConn.scalar(sql, params).toInt();
}

void TestDatabase::login(const QString &userId, const QString &userName, const QString &deptCode,
                         const QString &deptName, const QString &postCode, const QString &postName)
{
    clearSession();
    gUserID = userId;
    gUserName = userName;
    gDeptCode = deptCode;
    gDeptName = deptName;
    gPostCode = postCode;
    gPostName = postName;
}

void TestDatabase::clearSession()
{
    Session::clearForLogin();
    gUserName.clear();
    gCommandLine.clear();
}

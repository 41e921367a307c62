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
    // TAVIMOR_TEST_TDS_PORT: the program's connection reaches this file through the TDS test
    // endpoint (tests/sqlserver), so that its statements go over the wire in the SQL Server
    // dialect and are recorded. The helpers below keep a direct connection of their own.
    const QString tdsPort = qEnvironmentVariable("TAVIMOR_TEST_TDS_PORT");
    const ConnectionSettings settings = tdsPort.isEmpty()
                                            ? ConnectionSettings{QStringLiteral("sqlite:") + m_file, {}, {}, {}}
                                            : ConnectionSettings{QStringLiteral("127.0.0.1,") + tdsPort,
                                                                 QStringLiteral("sa"), QStringLiteral("x"), m_file};
    Settings::overrideForThisRun(settings);
    gConn.open(settings);
    if (!tdsPort.isEmpty()) m_direct.openSqlite(m_file);
    clearSession();
}

TestDatabase::~TestDatabase()
{
    gConn.close();
    m_direct.close();
}

Database &TestDatabase::db() { return gConn; }

Database &TestDatabase::helper() { return m_direct.isOpen() ? m_direct : gConn; }

void TestDatabase::exec(const QString &sql, const QVariantList &params) { helper().execute(sql, params); }

QVariant TestDatabase::value(const QString &sql, const QVariantList &params) { return helper().scalar(sql, params); }

int TestDatabase::count(const QString &table, const QString &where, const QVariantList &params)
{
    QString sql = QStringLiteral("SELECT count(*) FROM ") + table;
    if (!where.isEmpty()) sql += QStringLiteral(" WHERE ") + where;
    return helper().scalar(sql, params).toInt();
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

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "TdsEndpoint.h"
#include "TestRegistry.h"

// Every statement that the stores, windows and the department tree send on the SQL Server path
// parses as T-SQL. The statements are collected by running the other folders' test suites with
// their connection going over the TDS endpoint (the endpoint answers from each test's SQLite
// file), so they are the statements the program really builds, with their parameters as they
// reach the wire; each is then parsed by sqlglot (tsql_check.py).
class StatementCheckTest : public QObject {
    Q_OBJECT
private slots:
    void checkerTellsTsqlFromWhatIsNot();
    void everyStatementParsesAsTsql();

private:
    static QString checker()
    {
        return QDir(qEnvironmentVariable("TAVIMOR_SOURCE_DIR"))
            .filePath(QStringLiteral("tests/sqlserver/tsql_check.py"));
    }
    static QJsonObject check(const QString &record, int *exitCode, const QStringList &options = {})
    {
        QProcess process;
        process.start(QStringLiteral("/usr/bin/python3"), QStringList{checker()} + options + QStringList{record});
        if (!process.waitForFinished(300000)) return {};
        *exitCode = process.exitCode();
        return QJsonDocument::fromJson(process.readAllStandardOutput()).object();
    }
    static bool sqlglotMissing()
    {
        return QProcess::execute(QStringLiteral("/usr/bin/python3"),
                                 {QStringLiteral("-c"), QStringLiteral("import sqlglot")}) != 0;
    }
};

#define REQUIRE_SQLGLOT()                                                                \
    do {                                                                                 \
        if (sqlglotMissing()) {                                                          \
            if (!qEnvironmentVariableIsEmpty("CI")) QFAIL("python3-sqlglot is missing"); \
            QSKIP("python3-sqlglot is missing");                                         \
        }                                                                                \
    } while (false)

// The checker itself: T-SQL that sqlglot 10.6 does not know (OUTPUT ... INTO, a guarded ROLLBACK)
// passes; a broken statement, a call whose arguments do not match its parameter marks and a bare
// OUTPUT fail.
void StatementCheckTest::checkerTellsTsqlFromWhatIsNot()
{
    REQUIRE_SQLGLOT();
    QTemporaryDir dir;
    const QString record = dir.filePath(QStringLiteral("record.jsonl"));
    QFile file(record);
    QVERIFY(file.open(QIODevice::WriteOnly));
    const auto call = [&](const QString &sql, int arguments) {
        QJsonArray list;
        for (int i = 0; i < arguments; ++i)
            list.append(QJsonObject{{"name", QStringLiteral("@P%1").arg(i + 1)}, {"type", "nvarchar"}});
        file.write(QJsonDocument(QJsonObject{{"type", "rpc"}, {"sql", sql}, {"arguments", list}})
                       .toJson(QJsonDocument::Compact) +
                   '\n');
    };
    call(QStringLiteral(
             "DECLARE @ids TABLE (ID BIGINT); INSERT INTO 投诉类别 (编号) OUTPUT INSERTED.ID INTO @ids VALUES (@P1); "
             "SELECT ID FROM @ids"),
         1);
    call(QStringLiteral("SELECT MAX(流水号) FROM 投诉信息 WITH (UPDLOCK, HOLDLOCK) WHERE 部门编号 = @P1"), 1);
    call(QStringLiteral("IF @@TRANCOUNT > 0 ROLLBACK TRANSACTION"), 0);
    call(QStringLiteral("SELECT 编号 FROM 投诉类别 WHERE 编号 = = @P1"), 1);
    call(QStringLiteral("UPDATE 投诉信息 SET 处理状态 = @P1 WHERE ID = @P2"), 1);
    call(QStringLiteral("INSERT INTO 投诉方式 (编号) OUTPUT INSERTED.ID VALUES (@P1)"), 1);
    file.close();
    int exitCode = -1;
    const QJsonObject report = check(record, &exitCode);
    QCOMPARE(exitCode, 1);
    QCOMPARE(report[QStringLiteral("statements")].toInt(), 6);
    const QJsonArray unparsed = report[QStringLiteral("unparsed")].toArray();
    QCOMPARE(unparsed.size(), 1);
    QVERIFY(unparsed[0][QStringLiteral("sql")].toString().contains(QStringLiteral("= =")));
    const QJsonArray mismatched = report[QStringLiteral("mismatched")].toArray();
    QCOMPARE(mismatched.size(), 1);
    QVERIFY(mismatched[0][QStringLiteral("sql")].toString().startsWith(QStringLiteral("UPDATE")));
    // OUTPUT without INTO fails on a table with a trigger (error 334); with INTO it is sound.
    const QJsonArray bare = report[QStringLiteral("bare_output")].toArray();
    QCOMPARE(bare.size(), 1);
    QVERIFY(bare[0].toString().startsWith(QStringLiteral("INSERT INTO 投诉方式")));
}

void StatementCheckTest::everyStatementParsesAsTsql()
{
    TdsEndpoint endpoint;
    endpoint.answerFromSqlite();
    TDS_START(endpoint);
    const QString checker =
        QDir(qEnvironmentVariable("TAVIMOR_SOURCE_DIR")).filePath(QStringLiteral("tests/sqlserver/tsql_check.py"));
    if (QProcess::execute(QStringLiteral("/usr/bin/python3"),
                          {QStringLiteral("-c"), QStringLiteral("import sqlglot")}) != 0) {
        if (!qEnvironmentVariableIsEmpty("CI")) QFAIL("python3-sqlglot is missing");
        QSKIP("python3-sqlglot is missing");
    }

    const QStringList suites = QStringLiteral(TAVIMOR_TEST_SUITES).split(QLatin1Char('|'), Qt::SkipEmptyParts);
    QVERIFY(!suites.isEmpty());
    for (const QString &suite : suites) {
        QVERIFY2(QFileInfo::exists(suite), qPrintable(suite));
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("TAVIMOR_TEST_TDS_PORT"), QString::number(endpoint.port()));
        process.setProcessEnvironment(environment);
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.setStandardOutputFile(QProcess::nullDevice());
        QElapsedTimer timer;
        timer.start();
        process.start(suite, {});
        // A suite's own failures over the endpoint do not matter here (it answers from SQLite and
        // is no SQL Server); only the statements it sent do.
        if (!process.waitForFinished(600000)) process.kill();
        process.waitForFinished();
        qInfo().noquote() << QFileInfo(suite).fileName() << "ran over the endpoint in" << timer.elapsed() << "ms";
    }

    int exitCode = -1;
    // Every text value also travels as NVARCHAR, whatever the store.
    const QJsonObject report = check(endpoint.recordFile(), &exitCode, {QStringLiteral("--require-nvarchar")});
    QVERIFY(!report.isEmpty());
    qInfo().noquote() << report[QStringLiteral("requests")].toInt() << "requests,"
                      << report[QStringLiteral("statements")].toInt() << "distinct statements";
    for (const QJsonValue &failure : report[QStringLiteral("unparsed")].toArray())
        qWarning().noquote() << "does not parse as T-SQL:" << failure[QStringLiteral("sql")].toString() << "--"
                             << failure[QStringLiteral("error")].toString();
    for (const QJsonValue &call : report[QStringLiteral("mismatched")].toArray())
        qWarning().noquote() << "arguments do not match the statement:" << call[QStringLiteral("sql")].toString();
    QCOMPARE(report[QStringLiteral("unparsed")].toArray().size(), 0);
    QCOMPARE(report[QStringLiteral("mismatched")].toArray().size(), 0);
    QCOMPARE(report[QStringLiteral("bare_output")].toArray().size(), 0);
    for (const QJsonValue &argument : report[QStringLiteral("narrow_text")].toArray())
        qWarning().noquote() << "text sent as" << argument[QStringLiteral("type")].toString() << "in"
                             << argument[QStringLiteral("sql")].toString();
    QCOMPARE(report[QStringLiteral("narrow_text")].toArray().size(), 0);
    QCOMPARE(exitCode, 0);

    // The collection really ran: the suites reached the writes and locking reads of every part.
    const QString all = endpoint.sqlTexts().join(QLatin1Char('\n'));
    for (const char *fragment :
         {"INSERT INTO 投诉信息 (", "UPDATE 投诉信息 SET", "WITH (UPDLOCK, HOLDLOCK)", "FROM 员工档案",
          "INSERT INTO 投诉信息处理", "DELETE FROM 投诉处理人设置", "FROM 职能部门new", "FROM 投诉类别"})
        QVERIFY2(all.contains(QString::fromUtf8(fragment)), fragment);
    QVERIFY(report[QStringLiteral("statements")].toInt() >= 60);
}

TAVIMOR_TEST(StatementCheckTest)
#include "StatementCheckTest.moc"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include "TdsEndpoint.h"
#include "TestRegistry.h"

namespace {

// What became of one test function of a suite: passed, failed or skipped (with the reason).
struct Outcome {
    enum State { Passed, Failed, Skipped } state = Skipped;
    QString reason;
};

// Reads a suite's plain-text Qt Test output into one outcome per test function ("Class::function");
// a function passes when every data row passes or is skipped, fails when any row fails, and is
// skipped when all its rows are. Passing set-up and clean-up functions are no test of their own.
QMap<QString, Outcome> outcomesOf(const QString &output)
{
    static const QRegularExpression line(
        QStringLiteral("^(PASS|FAIL!|SKIP|XFAIL|XPASS|BPASS|BFAIL|BXPASS|BXFAIL)\\s*: (\\w+)::(\\w+)\\((.*)$"));
    QMap<QString, Outcome> outcomes;
    for (const QString &text : output.split(QLatin1Char('\n'))) {
        const QRegularExpressionMatch m = line.match(text.trimmed());
        if (!m.hasMatch()) continue;
        const QString kind = m.captured(1);
        const QString name = m.captured(2) + QStringLiteral("::") + m.captured(3);
        const bool housekeeping = m.captured(3).endsWith(QLatin1String("TestCase")) ||
                                  m.captured(3) == QLatin1String("init") || m.captured(3) == QLatin1String("cleanup");
        Outcome &outcome = outcomes[name];
        if (kind == QLatin1String("FAIL!") || kind == QLatin1String("XPASS") || kind == QLatin1String("BFAIL")) {
            outcome.state = Outcome::Failed;
            outcome.reason = m.captured(4);
        } else if (kind == QLatin1String("SKIP")) {
            if (outcome.state == Outcome::Skipped && outcome.reason.isEmpty()) {
                // The reason follows the closing parenthesis of the data tag.
                const QString rest = m.captured(4);
                int depth = 1, i = 0;
                for (; i < rest.size() && depth > 0; ++i)
                    depth += rest.at(i) == QLatin1Char('(') ? 1 : rest.at(i) == QLatin1Char(')') ? -1 : 0;
                outcome.reason = rest.mid(i).trimmed();
            }
        } else if (outcome.state != Outcome::Failed) {
            outcome.state = Outcome::Passed;
        }
        if (housekeeping && outcome.state == Outcome::Passed) outcomes.remove(name);
    }
    return outcomes;
}

// The outcomes of every suite over one profile, and what the profile's server warned about.
struct Tally {
    int passed = 0;
    int failed = 0;
    QStringList failures;
    QStringList skips;

    void add(const QString &suite, const QMap<QString, Outcome> &outcomes, int exitCode, bool crashed)
    {
        bool anyFailed = false;
        for (auto it = outcomes.begin(); it != outcomes.end(); ++it) {
            switch (it->state) {
                case Outcome::Passed: ++passed; break;
                case Outcome::Failed:
                    ++failed;
                    anyFailed = true;
                    failures << QStringLiteral("%1 %2").arg(suite, it.key());
                    break;
                case Outcome::Skipped: skips << QStringLiteral("%1 %2: %3").arg(suite, it.key(), it->reason); break;
            }
        }
        // A suite that ended without a failing function to show for it broke off (a crash or a hang).
        if ((crashed || exitCode != 0) && !anyFailed) {
            ++failed;
            failures << QStringLiteral("%1 broke off (exit code %2)").arg(suite).arg(exitCode);
        }
    }
};

// One run of a suite (or of one class of it) over the endpoint.
struct SuiteRun {
    QMap<QString, Outcome> outcomes;
    QStringList started;  // the classes that began
    int exitCode = 0;
    bool brokeOff = false;  // crashed, hung, or ended without finishing every class it began
};

SuiteRun runSuite(const QString &suite, const QString &testClass, const QProcessEnvironment &environment,
                  const QString &outputBase)
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::MergedChannels);
    const QString output = outputBase + QStringLiteral(".txt");
    process.setStandardOutputFile(output);
    // A suite that breaks off ends at once, without waiting for a debugger to print its stacks.
    QStringList arguments{QStringLiteral("-nocrashhandler")};
    if (!testClass.isEmpty()) arguments.prepend(testClass);
    process.start(suite, arguments);
    SuiteRun run;
    run.brokeOff = !process.waitForFinished(1200000);
    if (run.brokeOff) process.kill();
    process.waitForFinished();
    run.exitCode = process.exitCode();
    QFile file(output);
    const QString text = file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    run.outcomes = outcomesOf(text);
    static const QRegularExpression start(QStringLiteral("^\\*+ Start testing of (\\w+) \\*+$"),
                                          QRegularExpression::MultilineOption);
    static const QRegularExpression finish(QStringLiteral("^\\*+ Finished testing of (\\w+) \\*+$"),
                                           QRegularExpression::MultilineOption);
    int finished = 0;
    for (auto it = start.globalMatch(text); it.hasNext();) run.started << it.next().captured(1);
    for (auto it = finish.globalMatch(text); it.hasNext(); it.next()) ++finished;
    run.brokeOff = run.brokeOff || process.exitStatus() == QProcess::CrashExit || finished < run.started.size();
    return run;
}

// The test classes of a suite.
QStringList classesOf(const QString &suite)
{
    QProcess process;
    process.start(suite, {QStringLiteral("--list-classes")});
    process.waitForFinished(60000);
    return QString::fromUtf8(process.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

}  // namespace

// The SQL Server path over every suite: the other folders' test suites run with their connection
// going over the TDS endpoint, which answers from each test's SQLite file as the server of a
// profile would (tests/sqlserver/profiles; TAVIMOR_TEST_TDS_PROFILE, "plain" by default). Every
// test function is counted; on a profile named in TAVIMOR_TEST_TDS_BLOCKING a failing function
// fails the check, on the others the failures and the server's scan warnings are printed. Every
// statement the suites sent is then parsed as T-SQL (tsql_check.py): no SQLite syntax, nothing
// newer than SQL Server 2008 R2, no column without its table where a query reads several.
class StatementCheckTest : public QObject {
    Q_OBJECT
private slots:
    void checkerTellsTsqlFromWhatIsNot();
    void everySuiteOverTheEndpoint();

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
    static int reportStatements(const QJsonObject &report);
};

#define REQUIRE_SQLGLOT()                                                                \
    do {                                                                                 \
        if (sqlglotMissing()) {                                                          \
            if (!qEnvironmentVariableIsEmpty("CI")) QFAIL("python3-sqlglot is missing"); \
            QSKIP("python3-sqlglot is missing");                                         \
        }                                                                                \
    } while (false)

// The checker itself: T-SQL that sqlglot 10.6 does not know (OUTPUT ... INTO, a guarded ROLLBACK)
// passes; a broken statement, a call whose arguments do not match its parameter marks, a bare
// OUTPUT, SQLite's syntax that sqlglot reads as T-SQL, what SQL Server 2008 R2 does not know yet
// and a column without its table in a join fail.
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
    call(QStringLiteral("SELECT a.投诉编号, b.Gyd_name FROM 投诉信息 a JOIN 设置管理处 b ON b.GYD_DH = a.管理处代号"
                        " WHERE a.处理状态 = N'处理中' AND a.投诉人 LIKE N'%||%'"),
         0);
    call(QStringLiteral("SELECT 编号 FROM 投诉类别 WHERE 编号 = = @P1"), 1);
    call(QStringLiteral("UPDATE 投诉信息 SET 处理状态 = @P1 WHERE ID = @P2"), 1);
    call(QStringLiteral("INSERT INTO 投诉方式 (编号) OUTPUT INSERTED.ID VALUES (@P1)"), 1);
    call(QStringLiteral("SELECT 处理部门 || 处理岗位 FROM 投诉信息处理 LIMIT 1"), 0);
    call(QStringLiteral("SELECT 投诉编号 FROM 投诉信息 WHERE substr(投诉时间, 1, 10) = @P1"), 1);
    call(QStringLiteral("SELECT IIF(处理时间 IS NULL, 1, 0), TRIM(投诉人) FROM 投诉信息"), 0);
    call(QStringLiteral("SELECT 投诉编号 FROM 投诉信息 ORDER BY 投诉编号 OFFSET 10 ROWS FETCH NEXT 10 ROWS ONLY"), 0);
    call(QStringLiteral("SELECT a.投诉编号, 处理岗位 FROM 投诉信息 a JOIN 投诉信息处理 b ON b.投诉编号 = a.投诉编号"),
         0);
    file.close();
    int exitCode = -1;
    const QJsonObject report = check(record, &exitCode);
    QCOMPARE(exitCode, 1);
    QCOMPARE(report[QStringLiteral("statements")].toInt(), 12);
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
    // "||" inside a text literal is text, not SQLite's concatenation.
    const auto forms = [&](const char *list) {
        QStringList all;
        for (const QJsonValue &entry : report[QLatin1String(list)].toArray())
            for (const QJsonValue &form : entry[QStringLiteral("forms")].toArray()) all << form.toString();
        return all.join(QLatin1Char(' '));
    };
    QCOMPARE(forms("sqlite_only"), QStringLiteral("|| LIMIT SUBSTR("));
    QCOMPARE(forms("too_new"), QStringLiteral("IIF TRIM( OFFSET ... FETCH"));
    const QJsonArray unqualified = report[QStringLiteral("unqualified")].toArray();
    QCOMPARE(unqualified.size(), 1);
    QCOMPARE(unqualified[0][QStringLiteral("columns")].toArray(), QJsonArray{QStringLiteral("处理岗位")});
}

int StatementCheckTest::reportStatements(const QJsonObject &report)
{
    qInfo().noquote() << report[QStringLiteral("requests")].toInt() << "requests,"
                      << report[QStringLiteral("statements")].toInt() << "distinct statements";
    int problems = 0;
    const auto list = [&](const char *key, const char *what) {
        for (const QJsonValue &entry : report[QLatin1String(key)].toArray()) {
            const QJsonObject o = entry.toObject();
            QString detail = o[QStringLiteral("error")].toString();
            for (const char *field : {"forms", "columns"})
                for (const QJsonValue &v : o[QLatin1String(field)].toArray()) detail += QLatin1Char(' ') + v.toString();
            if (!o[QStringLiteral("type")].toString().isEmpty())
                detail = QStringLiteral("sent as ") + o[QStringLiteral("type")].toString();
            qWarning().noquote() << what << (entry.isString() ? entry.toString() : o[QStringLiteral("sql")].toString())
                                 << "--" << detail;
            ++problems;
        }
    };
    list("unparsed", "does not parse as T-SQL:");
    list("mismatched", "arguments do not match the statement:");
    list("bare_output", "OUTPUT without INTO:");
    list("narrow_text", "text not sent as NVARCHAR:");
    list("sqlite_only", "SQLite's syntax, which SQL Server refuses:");
    list("too_new", "not known to SQL Server 2008 R2:");
    list("unqualified", "column without its table in a query of several tables:");
    return problems;
}

void StatementCheckTest::everySuiteOverTheEndpoint()
{
    TdsEndpoint endpoint;
    endpoint.answerFromSqlite();
    TDS_START(endpoint);
    REQUIRE_SQLGLOT();
    const QString profile = endpoint.profile();
    const bool blocking = qEnvironmentVariable("TAVIMOR_TEST_TDS_BLOCKING").split(QLatin1Char(',')).contains(profile);

    const QStringList suites = QStringLiteral(TAVIMOR_TEST_SUITES).split(QLatin1Char('|'), Qt::SkipEmptyParts);
    QVERIFY(!suites.isEmpty());
    QTemporaryDir outputs;
    Tally tally;
    QElapsedTimer all;
    all.start();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("TAVIMOR_TEST_TDS_PORT"), QString::number(endpoint.port()));
    // The check as a whole may take long, a suite's test function not: one that hangs over a
    // profile's server ends after two minutes.
    environment.insert(QStringLiteral("QTEST_FUNCTION_TIMEOUT"), QStringLiteral("120000"));
    for (const QString &suite : suites) {
        QVERIFY2(QFileInfo::exists(suite), qPrintable(suite));
        const QString name = QFileInfo(suite).fileName();
        QElapsedTimer timer;
        timer.start();
        const int failedBefore = tally.failed;
        SuiteRun run = runSuite(suite, {}, environment, outputs.filePath(name));
        QMap<QString, Outcome> outcomes = run.outcomes;
        tally.add(name, run.outcomes, run.exitCode, run.brokeOff);
        if (run.brokeOff) {
            // The classes that did not get their turn run one by one, so that one class breaking
            // off hides nothing of the others.
            for (const QString &testClass : classesOf(suite)) {
                if (run.started.contains(testClass)) continue;
                const SuiteRun alone =
                    runSuite(suite, testClass, environment, outputs.filePath(name + QLatin1Char('.') + testClass));
                tally.add(name, alone.outcomes, alone.exitCode, alone.brokeOff);
                outcomes.insert(alone.outcomes);
            }
        }
        qInfo().noquote() << QStringLiteral("%1 over %2: %3 functions, %4 failed, in %5 ms%6")
                                 .arg(name, profile)
                                 .arg(outcomes.size())
                                 .arg(tally.failed - failedBefore)
                                 .arg(timer.elapsed())
                                 .arg(run.brokeOff ? QStringLiteral(" (broke off; the rest class by class)")
                                                   : QString());
    }
    const QList<QPair<QString, QString>> warnings = endpoint.scanWarnings();
    qInfo().noquote() << QStringLiteral(
                             "profile %1: %2 suites in %3 s; %4 functions passed, %5 failed, %6 skipped; "
                             "%7 scan warnings")
                             .arg(profile)
                             .arg(suites.size())
                             .arg(all.elapsed() / 1000)
                             .arg(tally.passed)
                             .arg(tally.failed)
                             .arg(tally.skips.size())
                             .arg(warnings.size());
    for (const QString &skip : tally.skips) qInfo().noquote() << "skipped:" << skip;
    for (const auto &warning : warnings)
        qInfo().noquote() << "scan warning:" << warning.second << "--" << warning.first;
    for (const QString &failure : tally.failures)
        qWarning().noquote() << QStringLiteral("failed over %1:").arg(profile) << failure;

    int exitCode = -1;
    // Every text value also travels as NVARCHAR, whatever the store.
    const QJsonObject report = check(endpoint.recordFile(), &exitCode, {QStringLiteral("--require-nvarchar")});
    QVERIFY(!report.isEmpty());
    const int problems = reportStatements(report);

    if (!blocking) {
        qInfo().noquote() << QStringLiteral(
                                 "profile %1 does not block yet: %2 failing functions, %3 statement "
                                 "problems, %4 scan warnings")
                                 .arg(profile)
                                 .arg(tally.failed)
                                 .arg(problems)
                                 .arg(warnings.size());
        return;
    }
    QCOMPARE(tally.failures, QStringList());
    QCOMPARE(problems, 0);
    // A statement that the server could not answer by an index seek (printed above) fails it too.
    QCOMPARE(warnings.size(), 0);
    QCOMPARE(exitCode, 0);
    // The collection really ran: the suites reached the writes and locking reads of every part.
    const QString sent = endpoint.sqlTexts().join(QLatin1Char('\n'));
    for (const char *fragment :
         {"INSERT INTO 投诉信息 (", "UPDATE 投诉信息 SET", "WITH (UPDLOCK, HOLDLOCK)", "FROM 员工档案",
          "INSERT INTO 投诉信息处理", "DELETE FROM 投诉处理人设置", "FROM 职能部门new", "FROM 投诉类别"})
        QVERIFY2(sent.contains(QString::fromUtf8(fragment)), fragment);
    QVERIFY(report[QStringLiteral("statements")].toInt() >= 60);
}

TAVIMOR_TEST(StatementCheckTest)
#include "StatementCheckTest.moc"

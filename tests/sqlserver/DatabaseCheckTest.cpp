#include <QJsonArray>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTest>

#include "TdsEndpoint.h"
#include "TestDatabase.h"
#include "TestRegistry.h"
#include "data/DatabaseCheck.h"
#include "data/Scripts.h"

namespace {

// The catalogue answers of a SQL Server that has every table and column the client needs, except
// `missingColumn` ("table.column"), and every index except `missingIndex`.
QJsonArray catalogue(const QString &missingColumn, const QString &missingIndex)
{
    // A suite that made one column narrower than the client allows, and one not Unicode: the
    // catalogue's first row of a column is the one that counts.
    QList<QVariantList> columns{{QStringLiteral("投诉信息"), QStringLiteral("地址"), QStringLiteral("nvarchar"), 80},
                                {QStringLiteral("投诉信息"), QStringLiteral("投诉人"), QStringLiteral("varchar"), 100}};
    for (const DatabaseCheck::Table &table : DatabaseCheck::requiredTables())
        for (const QString &column : table.columns)
            if (table.name + QLatin1Char('.') + column != missingColumn)
                columns << QVariantList{table.name, column, QStringLiteral("nvarchar"), 200};
    QList<QVariantList> indexes;
    for (const DatabaseCheck::Index &index : DatabaseCheck::requiredIndexes())
        if (index.name != missingIndex) indexes << QVariantList{index.name, index.table};
    // The complaint tables' post column took another collation than the suite's.
    QList<QVariantList> collations;
    for (const DatabaseCheck::JoinedPair &pair : DatabaseCheck::joinedPairs()) {
        collations << QVariantList{pair.suiteTable, pair.suiteColumn, QStringLiteral("Chinese_PRC_CI_AS")};
        collations << QVariantList{pair.table, pair.column,
                                   pair.column == QStringLiteral("处理岗位")
                                       ? QStringLiteral("SQL_Latin1_General_CP1_CI_AS")
                                       : QStringLiteral("Chinese_PRC_CI_AS")};
    }
    return {TdsEndpoint::rows(QStringLiteral("COLLATION_NAME"),
                              {{"TABLE_NAME", "sysname"}, {"COLUMN_NAME", "sysname"}, {"COLLATION_NAME", "sysname"}},
                              collations),
            TdsEndpoint::rows(QStringLiteral("INFORMATION_SCHEMA\\.COLUMNS"),
                              {{"TABLE_NAME", "sysname"},
                               {"COLUMN_NAME", "sysname"},
                               {"DATA_TYPE", "sysname"},
                               {"CHARACTER_MAXIMUM_LENGTH", "int"}},
                              columns),
            TdsEndpoint::rows(QStringLiteral("sys\\.indexes"), {{"name", "sysname"}, {"table", "sysname"}}, indexes),
            TdsEndpoint::rows(QStringLiteral("DATABASEPROPERTYEX"), {{"排序规则", "sysname"}, {"代码页", "int"}},
                              {{QStringLiteral("Chinese_PRC_CI_AS"), 936}})};
}

}  // namespace

// The administrators' database check, on the embedded database and over the wire.
class DatabaseCheckTest : public QObject {
    Q_OBJECT
private slots:
    void whatIsNeededComesFromTheScripts();
    void sqlServerScriptMakesEachIndexOnItsOwn();
    void completeSqliteDatabasePasses();
    void missingPartsAreNamedAndFailTheCheck();
    void sqlServerCatalogueAndRightsOverTheWire();
    void unreachableDatabaseIsExitStatusTwo();
};

void DatabaseCheckTest::whatIsNeededComesFromTheScripts()
{
    const QList<DatabaseCheck::Table> tables = DatabaseCheck::requiredTables();
    QStringList complaintTables;
    for (const auto &table : tables) {
        QVERIFY2(!table.columns.isEmpty(), qPrintable(table.name));
        if (table.complaintTable) complaintTables << table.name;
        if (table.name == QStringLiteral("投诉信息")) {
            QCOMPARE(table.columns.first(), QStringLiteral("ID"));
            QVERIFY(table.columns.contains(QStringLiteral("撤销时间")));
        }
    }
    complaintTables.sort();
    QCOMPARE(complaintTables, (QStringList{"投诉信息", "投诉信息处理", "投诉处理人设置", "投诉方式", "投诉类别"}));
    QVERIFY(tables.size() > complaintTables.size() + 5);  // the suite's tables that are read

    bool uniqueCode = false;
    for (const auto &index : DatabaseCheck::requiredIndexes())
        if (index.unique)
            uniqueCode = index.table == QStringLiteral("投诉信息") && index.columns == QStringLiteral("投诉编号");
    QVERIFY(uniqueCode);
    QVERIFY(DatabaseCheck::requiredIndexes().size() >= 12);
}

// db/sqlserver.sql runs again without error: every table and every index has a guard of its own
// in its own batch, and the unique code index waits for unique codes, naming those that repeat.
void DatabaseCheckTest::sqlServerScriptMakesEachIndexOnItsOwn()
{
    const QString script = Scripts::text(QStringLiteral("sqlserver.sql"));
    QVERIFY(script.contains(QStringLiteral("sqlcmd")) && script.contains(QStringLiteral("-f 65001")));
    const QStringList batches = Scripts::statements(script);
    int indexBatches = 0;
    QStringList tables;
    const QRegularExpression createTable(QStringLiteral("CREATE\\s+TABLE\\s+dbo\\.(\\w+)"),
                                         QRegularExpression::UseUnicodePropertiesOption);
    for (const QString &batch : batches) {
        const QRegularExpression create(QStringLiteral("CREATE\\s+(UNIQUE\\s+)?INDEX\\s+(\\w+)\\s+ON\\s+dbo\\.(\\w+)"),
                                        QRegularExpression::UseUnicodePropertiesOption);
        const QRegularExpressionMatch m = create.match(batch);
        const QRegularExpressionMatch table = createTable.match(batch);
        if (table.hasMatch()) {
            QVERIFY2(!m.hasMatch(), qPrintable(batch));
            QVERIFY2(batch.contains(QStringLiteral("IS NULL")), qPrintable(batch));
            tables << table.captured(1);
            continue;
        }
        if (!m.hasMatch()) continue;
        ++indexBatches;
        // On a new database the table must be there before its index.
        QVERIFY2(tables.contains(m.captured(3)), qPrintable(batch));
        QVERIFY2(!create.match(batch, m.capturedEnd()).hasMatch(), "one index per batch");
        const QString guard = QStringLiteral(
                                  "IF NOT EXISTS (SELECT 1 FROM sys.indexes WHERE object_id = "
                                  "OBJECT_ID(N'dbo.%1') AND name = N'%2')")
                                  .arg(m.captured(3), m.captured(2));
        QString body = batch;
        while (body.startsWith(QLatin1String("--"))) body = body.section(QLatin1Char('\n'), 1).trimmed();
        QVERIFY2(body.startsWith(guard), qPrintable(batch));
        if (!m.captured(1).isEmpty()) {
            QVERIFY(batch.contains(QStringLiteral("GROUP BY 投诉编号 HAVING COUNT(*) > 1")));
            QVERIFY(batch.contains(QStringLiteral("PRINT N'")));
            QVERIFY(batch.indexOf(QStringLiteral("ELSE")) < batch.indexOf(QStringLiteral("CREATE UNIQUE INDEX")));
        }
    }
    QCOMPARE(indexBatches, DatabaseCheck::requiredIndexes().size());
}

void DatabaseCheckTest::completeSqliteDatabasePasses()
{
    TestDatabase t(true);
    const int complaints = t.count(QStringLiteral("投诉信息"));
    const DatabaseCheck::Result result = DatabaseCheck(t.db()).run();
    QVERIFY2(result.ok(), qPrintable(result.missing.join(QLatin1Char('\n'))));
    const QString text = result.text();
    QVERIFY(text.contains(QStringLiteral("SQLite")));
    QVERIFY(text.contains(QStringLiteral("== 表 员工档案（套件表，只读）")));
    QVERIFY(text.contains(QStringLiteral("  读 员工档案  可以")));
    QVERIFY(text.contains(QStringLiteral("  写 投诉信息  可以（试写已回滚）")));
    QVERIFY(text.contains(QStringLiteral("唯一索引 ux_投诉信息_投诉编号 ON 投诉信息 (投诉编号)  有")));
    QVERIFY(!t.db().inTransaction());
    QCOMPARE(t.count(QStringLiteral("投诉信息")), complaints);

    QString report;
    QCOMPARE(DatabaseCheck::report(ConnectionSettings{QStringLiteral("sqlite:") + t.file(), {}, {}, {}}, &report), 0);
    QVERIFY(report.contains(t.file()));
}

void DatabaseCheckTest::missingPartsAreNamedAndFailTheCheck()
{
    TestDatabase t;
    t.exec(QStringLiteral("DROP INDEX ux_投诉信息_投诉编号"));
    t.exec(QStringLiteral("ALTER TABLE 投诉信息 DROP COLUMN 联系电话"));
    t.exec(QStringLiteral("DROP TABLE 投诉方式"));
    t.exec(QStringLiteral("DROP INDEX ix_投诉信息_投诉人"));
    t.exec(QStringLiteral("CREATE INDEX ix_投诉信息_投诉人 ON 投诉信息 (投诉人)"));  // the name, other columns
    const DatabaseCheck::Result result = DatabaseCheck(t.db()).run();
    QVERIFY(!result.ok());
    QCOMPARE(result.missing,
             (QStringList{QStringLiteral("表 投诉方式"), QStringLiteral("列 投诉信息.联系电话"),
                          QStringLiteral("唯一索引 ux_投诉信息_投诉编号 ON 投诉信息 (投诉编号)"),
                          QStringLiteral("索引 ix_投诉信息_投诉人 ON 投诉信息 (部门编号, 撤销时间, 投诉人)")}));
    QVERIFY(result.text().contains(QStringLiteral("  联系电话  缺少")));
    QVERIFY(result.text().contains(QStringLiteral("(部门编号, 撤销时间, 投诉人)  不同：建在 (投诉人) 上")));
    QString report;
    QCOMPARE(DatabaseCheck::report(ConnectionSettings{QStringLiteral("sqlite:") + t.file(), {}, {}, {}}, &report), 1);
    QVERIFY(report.contains(QStringLiteral("检查结果：缺少 4 项")));
}

void DatabaseCheckTest::sqlServerCatalogueAndRightsOverTheWire()
{
    QJsonArray rules = catalogue(QStringLiteral("投诉信息处理.处理意见"), QStringLiteral("ix_投诉信息_流水号"));
    rules.prepend(
        TdsEndpoint::failure(QStringLiteral("^INSERT INTO \\[投诉处理人设置\\]"), 229,
                             QStringLiteral("The INSERT permission was denied on the object '投诉处理人设置'.")));
    rules.prepend(TdsEndpoint::failure(QStringLiteral("FROM \\[楼表\\]"), 229,
                                       QStringLiteral("The SELECT permission was denied on the object '楼表'.")));
    TdsEndpoint endpoint(rules);
    TDS_START(endpoint);
    QString report;
    const int status =
        DatabaseCheck::report(endpoint.settings(QStringLiteral("complaints"), QStringLiteral("pw")), &report);
    QCOMPARE(status, 1);
    QVERIFY(!report.contains(QStringLiteral("pw")));
    QVERIFY(report.contains(QStringLiteral("排序规则 Chinese_PRC_CI_AS，代码页 936")));
    QVERIFY(report.contains(QStringLiteral("  处理结果  nvarchar(200)")));
    // A column shorter than the script's limits the input to its own length.
    QVERIFY(report.contains(QStringLiteral("  地址  nvarchar(80)  输入限制为 80 个字符")));
    QVERIFY(report.contains(QStringLiteral("  投诉人  varchar(100)  输入限制为 100 个字节  （非 Unicode 列")));
    QVERIFY(report.contains(QStringLiteral("  处理意见  缺少")));
    QVERIFY(report.contains(QStringLiteral("ix_投诉信息_流水号 ON 投诉信息 (流水号)  缺少")));
    QVERIFY(report.contains(QStringLiteral("  读 楼表  不可以：")));
    QVERIFY(report.contains(QStringLiteral("  写 投诉处理人设置  不可以：新增")));
    QVERIFY(report.contains(QStringLiteral("  写 投诉信息  可以（试写已回滚）")));
    QVERIFY(report.contains(QStringLiteral("检查结果：缺少 4 项")));
    // Each pair of compared code columns with both collations; differing ones are named, and
    // are no missing part (the statements compare them under the database's collation).
    QVERIFY(
        report.contains(QStringLiteral("投诉信息处理.处理岗位（SQL_Latin1_General_CP1_CI_AS）= "
                                       "岗位员工new.岗位代号（Chinese_PRC_CI_AS）  不同")));
    QVERIFY(
        report.contains(QStringLiteral("投诉处理人设置.岗位代号（Chinese_PRC_CI_AS）= "
                                       "岗位信息new.岗位代号（Chinese_PRC_CI_AS）  相同")));
    QVERIFY(report.contains(QStringLiteral("有 2 对排序规则不同")));

    // Every trial write went inside a transaction that was rolled back; nothing was committed.
    bool open = false;
    int writes = 0;
    for (const QJsonObject &request : endpoint.requests()) {
        const QString type = request[QStringLiteral("type")].toString();
        const QString sql = request[QStringLiteral("sql")].toString();
        if (type == QLatin1String("tm") ||
            sql.contains(QRegularExpression(QStringLiteral("^\\s*(BEGIN|COMMIT|ROLLBACK|IF @@TRANCOUNT)"),
                                            QRegularExpression::CaseInsensitiveOption))) {
            QVERIFY2(!sql.contains(QStringLiteral("commit"), Qt::CaseInsensitive), qPrintable(sql));
            open = sql.contains(QStringLiteral("begin"), Qt::CaseInsensitive);
            continue;
        }
        if (sql.contains(QRegularExpression(QStringLiteral("^(INSERT|UPDATE|DELETE)\\b")))) {
            ++writes;
            QVERIFY2(open, qPrintable(sql));
            QVERIFY2(sql.endsWith(QStringLiteral("WHERE 1 = 0")), qPrintable(sql));
        }
    }
    QCOMPARE(writes, 3 * 5);
}

void DatabaseCheckTest::unreachableDatabaseIsExitStatusTwo()
{
    QString report;
    QCOMPARE(DatabaseCheck::report(ConnectionSettings{QStringLiteral("sqlite:/no/such/folder/x.sqlite"), {}, {}, {}},
                                   &report),
             2);
    QVERIFY(report.contains(QStringLiteral("无法连接数据库")));
}

TAVIMOR_TEST(DatabaseCheckTest)
#include "DatabaseCheckTest.moc"

#include <QJsonArray>
#include <QJsonObject>
#include <QLineEdit>
#include <QTest>

#include "TdsEndpoint.h"
#include "TestDatabase.h"
#include "TestRegistry.h"
#include "common/InputLimits.h"
#include "common/Session.h"
#include "data/Database.h"
#include "data/FailureText.h"
#include "data/SqlServerBackend.h"

namespace {

// The catalogue of a suite database whose complaint tables were made long ago: narrow text under
// the suite's Chinese collation, long texts as TEXT, times as DATETIME.
QJsonObject legacyCatalogue()
{
    const auto column = [](const char *table, const char *name, const char *type, int bytes, const QVariant &collation,
                           const QVariant &codePage) {
        return QVariantList{
            QString::fromUtf8(table), QString::fromUtf8(name), QString::fromUtf8(type), bytes, collation, codePage};
    };
    const QString chinese = QStringLiteral("Chinese_PRC_CI_AS");
    return TdsEndpoint::catalogue({column("员工档案", "工号", "char", 10, chinese, 936),
                                   column("投诉信息", "投诉人", "varchar", 20, chinese, 936),
                                   column("投诉信息", "投诉内容", "text", 16, chinese, 936),
                                   column("投诉信息", "接待人", "nvarchar", 100, chinese, QVariant()),
                                   column("投诉信息", "投诉时间", "datetime", 8, QVariant(), QVariant()),
                                   column("投诉信息", "ID", "int", 4, QVariant(), QVariant())});
}

QJsonArray argumentsOf(const QJsonObject &statement) { return statement[QStringLiteral("arguments")].toArray(); }

QJsonObject statementWith(const TdsEndpoint &endpoint, const QString &part)
{
    for (const QJsonObject &s : endpoint.statements())
        if (s[QStringLiteral("sql")].toString().contains(part)) return s;
    return {};
}

}  // namespace

// A suite database's own columns, read at connect, decide how values are bound and how long they
// may be.
class ColumnBindingTest : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { gConn.close(); }
    void valuesMeetTheirColumnsInTheColumnsType();
    void narrowColumnsCountBytesAndRefuseWhatTheirCodePageLacks();
    void slowStatementIsCancelledAndItsTransactionRolledBack();
    void identityIsTheBatchsLastResult();
};

void ColumnBindingTest::valuesMeetTheirColumnsInTheColumnsType()
{
    TdsEndpoint endpoint({legacyCatalogue(), TdsEndpoint::rowCount(QStringLiteral("UPDATE"), 1)});
    TDS_START(endpoint);
    Database db;
    db.open(endpoint.settings());
    QCOMPARE(db.columnType(QStringLiteral("员工档案"), QStringLiteral("工号")).kind, ColumnType::NarrowText);
    QVERIFY(db.columnType(QStringLiteral("员工档案"), QStringLiteral("工号")).fixedWidth);
    // A column the catalogue does not have answers as the client's script makes it.
    QCOMPARE(db.columnType(QStringLiteral("投诉信息"), QStringLiteral("地址")).kind, ColumnType::NationalText);
    QCOMPARE(db.columnType(QStringLiteral("投诉信息"), QStringLiteral("地址")).length, 200);

    const QDateTime when(QDate(2026, 12, 8), QTime(9, 30));
    db.select(QStringLiteral("SELECT 姓名 FROM 员工档案 WHERE 说明 <> '?' AND 工号 = ? AND 姓名 = ? AND 备注 = ?"),
              {Param::column(QStringLiteral("员工档案"), QStringLiteral("工号"), QStringLiteral("1001")),
               Param::column(QStringLiteral("投诉信息"), QStringLiteral("接待人"), QStringLiteral("张晓燕")),
               QStringLiteral("无")});
    QJsonObject read = statementWith(endpoint, QStringLiteral("FROM 员工档案"));
    QString sql = read[QStringLiteral("sql")].toString();
    // The narrow column is compared with a value of its own type and collation: its index is sought.
    QVERIFY2(sql.contains(QStringLiteral("说明 <> '?' AND 工号 = CAST(@P1 COLLATE Chinese_PRC_CI_AS AS VARCHAR(8000))"
                                         " AND 姓名 = @P2 AND 备注 = @P3")),
             qPrintable(sql));
    for (const QJsonValue &a : argumentsOf(read))
        QVERIFY(a.toObject()[QStringLiteral("type")].toString().startsWith(QLatin1String("nvarchar")));
    QCOMPARE(argumentsOf(read)[0].toObject()[QStringLiteral("value")].toString(), QStringLiteral("1001"));

    // A value that no narrow text can hold is compared as it is: nothing stored can equal it.
    endpoint.clearRecord();
    db.select(QStringLiteral("SELECT 姓名 FROM 员工档案 WHERE 工号 = ?"),
              {Param::column(QStringLiteral("员工档案"), QStringLiteral("工号"), QStringLiteral("王䶮"))});
    sql = statementWith(endpoint, QStringLiteral("FROM 员工档案"))[QStringLiteral("sql")].toString();
    QVERIFY2(sql.endsWith(QStringLiteral("工号 = @P1")), qPrintable(sql));

    // Date-times meet a DATETIME column as DATETIME, in reads and in writes.
    db.update(QStringLiteral("投诉信息"),
              {{QStringLiteral("投诉时间"), when}, {QStringLiteral("接待人"), QStringLiteral("李")}},
              QStringLiteral("ID = ?"), {7});
    sql = statementWith(endpoint, QStringLiteral("UPDATE 投诉信息"))[QStringLiteral("sql")].toString();
    QVERIFY2(sql.contains(QStringLiteral("投诉时间 = CAST(@P1 AS DATETIME), 接待人 = @P2 WHERE ID = @P3")),
             qPrintable(sql));
    try {
        db.select(QStringLiteral("SELECT ID FROM 投诉信息 WHERE 投诉时间 >= ?"),
                  {Param::column(QStringLiteral("投诉信息"), QStringLiteral("投诉时间"), QDate(1700, 1, 1))});
        QFAIL("a date DATETIME cannot hold was sent");
    } catch (const DbError &e) {
        QVERIFY2(e.description().contains(QLatin1String("1753")), qPrintable(e.description()));
    }

    // A catalogue the login may not read leaves the columns as the client's script makes them.
    endpoint.setScript({TdsEndpoint::failure(QStringLiteral("sys\\.columns"), 229,
                                             QStringLiteral("The SELECT permission was denied."))});
    db.open(endpoint.settings());
    QCOMPARE(db.columnType(QStringLiteral("员工档案"), QStringLiteral("工号")).kind, ColumnType::NationalText);
    QCOMPARE(db.columnType(QStringLiteral("投诉信息"), QStringLiteral("投诉人")).length, 100);
}

void ColumnBindingTest::narrowColumnsCountBytesAndRefuseWhatTheirCodePageLacks()
{
    TdsEndpoint endpoint(
        {legacyCatalogue(), TdsEndpoint::rows(QStringLiteral("INSERT INTO"), {{"ID", "bigint"}}, {{5}})});
    TDS_START(endpoint);
    gConn.open(endpoint.settings());
    const ColumnType complainant = gConn.columnType(QStringLiteral("投诉信息"), QStringLiteral("投诉人"));
    QCOMPARE(complainant.kind, ColumnType::NarrowText);
    QCOMPARE(complainant.length, 20);
    QCOMPARE(complainant.unitsOf(QStringLiteral("王小二ab")), 8);

    // Ten Chinese characters fill VARCHAR(20) under code page 936; the eleventh is refused by
    // name, before anything is sent.
    const QString ten = QStringLiteral("欧阳").repeated(5);
    endpoint.clearRecord();
    QCOMPARE(gConn.insert(QStringLiteral("投诉信息"), {{QStringLiteral("投诉人"), ten}}), 5);
    QCOMPARE(argumentsOf(statementWith(endpoint, QStringLiteral("INSERT INTO")))[0]
                 .toObject()[QStringLiteral("value")]
                 .toString(),
             ten);
    const auto refused = [&](const Fields &fields, int number, const QString &named) {
        endpoint.clearRecord();
        try {
            gConn.insert(QStringLiteral("投诉信息"), fields);
            QFAIL("written");
        } catch (const DbError &e) {
            QCOMPARE(e.number(), number);
            QVERIFY2(e.description().contains(named), qPrintable(e.description()));
        }
        QVERIFY(statementWith(endpoint, QStringLiteral("INSERT INTO")).isEmpty());
    };
    refused({{QStringLiteral("投诉人"), ten + QStringLiteral("华")}}, ColumnType::kTooLongError,
            QStringLiteral("“投诉人”最多只能有 20 个字节"));
    // A character outside code page 936 would arrive as "?": refused with the character named.
    refused({{QStringLiteral("投诉人"), QStringLiteral("王䶮")}}, ColumnType::kUnrepresentableError,
            QStringLiteral("“䶮”"));
    refused({{QStringLiteral("投诉内容"), QStringLiteral("楼上很吵😀")}}, ColumnType::kUnrepresentableError,
            QStringLiteral("“😀”"));
    // A long text goes to a TEXT column as it is: no column that long is compared or sought.
    endpoint.clearRecord();
    const QString endless = QStringLiteral("漏水").repeated(3000);
    gConn.insert(QStringLiteral("投诉信息"), {{QStringLiteral("投诉内容"), endless}});
    const QJsonObject stored = statementWith(endpoint, QStringLiteral("INSERT INTO"));
    QVERIFY2(!stored[QStringLiteral("sql")].toString().contains(QLatin1String("COLLATE")),
             qPrintable(stored[QStringLiteral("sql")].toString()));
    QCOMPARE(argumentsOf(stored)[0].toObject()[QStringLiteral("value")].toString(), endless);
    // National text holds them.
    QCOMPARE(gConn.insert(QStringLiteral("投诉信息"), {{QStringLiteral("接待人"), QStringLiteral("王䶮😀")}}), 5);

    // The box of a narrow column counts the bytes as the user types (each character as an input
    // method commits it) or pastes.
    QLineEdit box;
    limitToColumn(&box, QStringLiteral("投诉信息"), QStringLiteral("投诉人"));
    const auto type = [&](const QString &text) {
        for (const QChar c : text) box.insert(QString(c));
    };
    type(ten + QStringLiteral("华"));
    QCOMPARE(box.text(), ten);
    box.clear();
    type(QStringLiteral("abcdefghijklmnopq王小"));
    QCOMPARE(box.text(), QStringLiteral("abcdefghijklmnopq王"));
    box.clear();
    box.insert(ten + QStringLiteral("华"));
    QCOMPARE(box.text(), QString());
}

void ColumnBindingTest::slowStatementIsCancelledAndItsTransactionRolledBack()
{
    QJsonObject slow = TdsEndpoint::rowCount(QStringLiteral("UPDATE 投诉类别"), 1);
    slow[QStringLiteral("delay")] = 3;
    TdsEndpoint endpoint({TdsEndpoint::rows(QStringLiteral("INSERT INTO"), {{"ID", "bigint"}}, {{3}}), slow,
                          TdsEndpoint::rows(QStringLiteral("SELECT 1"), {{"n", "int"}}, {{1}})});
    TDS_START(endpoint);
    const int before = SqlServerBackend::statementTimeoutSeconds();
    SqlServerBackend::setStatementTimeoutSeconds(1);
    Database db;
    try {
        db.open(endpoint.settings());
    } catch (...) {
        SqlServerBackend::setStatementTimeoutSeconds(before);
        throw;
    }
    SqlServerBackend::setStatementTimeoutSeconds(before);
    endpoint.clearRecord();
    try {
        db.transaction([&] {
            db.insert(QStringLiteral("投诉类别"), {{QStringLiteral("编号"), QStringLiteral("09")}});
            db.execute(QStringLiteral("UPDATE 投诉类别 SET 类别 = ?"), {QStringLiteral("绿化")});
        });
        QFAIL("the slow statement was waited for");
    } catch (const DbError &e) {
        QVERIFY2(e.description().startsWith(FailureText::plain(FailureText::Kind::TooSlow)),
                 qPrintable(e.description()));
    }
    QVERIFY(!db.inTransaction());
    // The driver cancels the statement, and the same session rolls the transaction back.
    QCOMPARE(endpoint.requests(QStringLiteral("attention")).size(), 1);
    const QStringList texts = endpoint.sqlTexts();
    QVERIFY2(texts.contains(QStringLiteral("ROLLBACK TRANSACTION")), qPrintable(texts.join(QLatin1Char('\n'))));
    QVERIFY(!texts.contains(QStringLiteral("COMMIT TRANSACTION")));
    // The same connection goes on.
    QCOMPARE(db.scalar(QStringLiteral("SELECT 1")).toInt(), 1);
    QVERIFY(endpoint.requests(QStringLiteral("login")).isEmpty());
}

void ColumnBindingTest::identityIsTheBatchsLastResult()
{
    // A trigger on the table returns rows of its own before the batch's identity.
    const auto result = [](const char *column, int value) {
        return QJsonObject{
            {QStringLiteral("columns"), QJsonArray{QJsonObject{{QStringLiteral("name"), QString::fromUtf8(column)},
                                                               {QStringLiteral("type"), "bigint"}}}},
            {QStringLiteral("rows"), QJsonArray{QJsonArray{value}}}};
    };
    const QJsonObject inserted{{QStringLiteral("match"), QStringLiteral("INSERT INTO 投诉类别")},
                               {QStringLiteral("results"), QJsonArray{result("ID", 901), result("ID", 42)}}};
    TdsEndpoint endpoint({inserted});
    TDS_START(endpoint);
    Database db;
    db.open(endpoint.settings());
    QCOMPARE(db.insert(QStringLiteral("投诉类别"), {{QStringLiteral("编号"), QStringLiteral("09")}}), 42);
}

TAVIMOR_TEST(ColumnBindingTest)
#include "ColumnBindingTest.moc"

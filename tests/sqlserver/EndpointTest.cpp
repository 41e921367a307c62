#include <QJsonArray>
#include <QJsonObject>
#include <QTest>

#include "TdsEndpoint.h"
#include "TestRegistry.h"
#include "data/Database.h"
#include "data/FailureText.h"

// The test server itself, through the real unixODBC + FreeTDS stack: the login it decodes, the
// rows and errors it answers with, and a connection it drops.
class EndpointTest : public QObject {
    Q_OBJECT
private slots:
    void loginIsDecoded();
    void scriptedRowsComeBackWhole();
    void scriptedErrorsCarryTheirNumber();
    void droppedConnectionFailsTheStatement();
    void parametersArriveWithTheirTypesAndExactUtf16();
};

void EndpointTest::loginIsDecoded()
{
    TdsEndpoint endpoint;
    TDS_START(endpoint);
    Database db;
    db.open(endpoint.settings(QStringLiteral("投诉员"), QStringLiteral("pw-1"), QStringLiteral("物业")));
    QVERIFY(db.isOpen());
    const QList<QJsonObject> prelogins = endpoint.requests(QStringLiteral("prelogin"));
    QVERIFY(!prelogins.isEmpty());
    const QList<QJsonObject> logins = endpoint.requests(QStringLiteral("login"));
    QCOMPARE(logins.size(), 1);
    QCOMPARE(logins[0][QStringLiteral("user")].toString(), QStringLiteral("投诉员"));
    QCOMPARE(logins[0][QStringLiteral("password")].toString(), QStringLiteral("pw-1"));
    QCOMPARE(logins[0][QStringLiteral("database")].toString(), QStringLiteral("物业"));
    QCOMPARE(logins[0][QStringLiteral("tds_version")].toString(), QStringLiteral("7.4"));
}

void EndpointTest::scriptedRowsComeBackWhole()
{
    TdsEndpoint endpoint({TdsEndpoint::rows(
        QStringLiteral("FROM 投诉类别"),
        {{"ID", "int"}, {"类别", "nvarchar(50)"}, {"编号", "char(6)"}, {"时间", "datetime"}, {"大数", "bigint"}},
        {{7, QStringLiteral("噪音 𠮷😀"), QStringLiteral("01"), QStringLiteral("2026-12-08 17:05:09"),
          Q_INT64_C(5000000000)},
         {QVariant(), QVariant(), QVariant(), QVariant(), QVariant()}})});
    TDS_START(endpoint);
    Database db;
    db.open(endpoint.settings());
    const Rows rows = db.select(QStringLiteral("SELECT ID, 类别, 编号, 时间, 大数 FROM 投诉类别 WHERE ID > ?"), {0});
    QCOMPARE(rows.size(), 2);
    QCOMPARE(rows.first().value(0).toInt(), 7);
    QCOMPARE(rows.first().text(1), QStringLiteral("噪音 𠮷😀"));
    QCOMPARE(rows.first().text(2).trimmed(), QStringLiteral("01"));
    QCOMPARE(rows.first().value(3).toDateTime(), QDateTime(QDate(2026, 12, 8), QTime(17, 5, 9)));
    QCOMPARE(rows.first().value(4).toLongLong(), Q_INT64_C(5000000000));
    QVERIFY(rows.value(1, 0).isNull());
    QVERIFY(rows.value(1, 1).isNull());
    QVERIFY(endpoint.sqlTexts().join(QLatin1Char('\n')).contains(QStringLiteral("FROM 投诉类别 WHERE ID >")));
    QVERIFY(endpoint.requests(QStringLiteral("endpoint-fault")).isEmpty());
}

void EndpointTest::scriptedErrorsCarryTheirNumber()
{
    TdsEndpoint endpoint({TdsEndpoint::failure(QStringLiteral("UPDATE 投诉信息"), 1222,
                                               QStringLiteral("Lock request time out period exceeded."))});
    TDS_START(endpoint);
    Database db;
    db.open(endpoint.settings());
    try {
        db.execute(QStringLiteral("UPDATE 投诉信息 SET 状态 = ? WHERE ID = ?"), {QStringLiteral("作废"), 1});
        QFAIL("the error did not arrive");
    } catch (const DbError &e) {
        QCOMPARE(e.number(), 1222);
    }
    // The connection stays usable.
    endpoint.setScript({TdsEndpoint::rows(QStringLiteral("SELECT"), {{"n", "int"}}, {{3}})});
    QCOMPARE(db.scalar(QStringLiteral("SELECT count(*) FROM 投诉信息")).toInt(), 3);
}

void EndpointTest::droppedConnectionFailsTheStatement()
{
    TdsEndpoint endpoint({TdsEndpoint::times(TdsEndpoint::closing(QStringLiteral("FROM 投诉信息")), 1)});
    TDS_START(endpoint);
    Database db;
    db.open(endpoint.settings());
    try {
        db.select(QStringLiteral("SELECT ID FROM 投诉信息"));
        QFAIL("the statement did not fail");
    } catch (const DbError &e) {
        QVERIFY2(e.description().startsWith(FailureText::plain(FailureText::Kind::ConnectionLost)),
                 qPrintable(e.description()));
    }
    // The next statement connects anew, as the server answers again.
    db.select(QStringLiteral("SELECT ID FROM 投诉信息"));
    QCOMPARE(endpoint.requests(QStringLiteral("login")).size(), 2);
}

// What the endpoint decodes of a call is what the tests over it rely on: the declared type, the
// wire type and, for text, the UTF-16 code units as sent.
void EndpointTest::parametersArriveWithTheirTypesAndExactUtf16()
{
    TdsEndpoint endpoint({TdsEndpoint::rowCount(QStringLiteral("^UPDATE"), 1)});
    TDS_START(endpoint);
    Database db;
    db.open(endpoint.settings());
    const QString name = QStringLiteral("王䶮01 𠮷😀");
    const QDateTime when(QDate(2026, 12, 8), QTime(17, 5, 9));
    QCOMPARE(
        db.execute(
            QStringLiteral("UPDATE 投诉信息 SET 投诉人 = ?, 流水号 = ?, S_ID = ?, 投诉时间 = ?, 地址 = ? WHERE ID = ?"),
            {name, 7, Q_INT64_C(5000000000), when, nullText(), 3}),
        1);
    const QList<QJsonObject> calls = endpoint.requests(QStringLiteral("rpc"));
    QJsonArray arguments;
    for (const QJsonObject &call : calls)
        if (call[QStringLiteral("sql")].toString().startsWith(QStringLiteral("UPDATE")))
            arguments = call[QStringLiteral("arguments")].toArray();
    QCOMPARE(arguments.size(), 6);
    const auto type = [&](int i) { return arguments[i][QStringLiteral("type")].toString(); };
    QCOMPARE(type(0), QStringLiteral("nvarchar"));
    const QByteArray utf16(reinterpret_cast<const char *>(name.utf16()), name.size() * 2);
    QCOMPARE(arguments[0][QStringLiteral("utf16_hex")].toString(), QString::fromLatin1(utf16.toHex()));
    QCOMPARE(arguments[0][QStringLiteral("value")].toString(), name);
    QVERIFY(arguments[0][QStringLiteral("declared_type")].toString().startsWith(QStringLiteral("NVARCHAR"),
                                                                                Qt::CaseInsensitive));
    QCOMPARE(arguments[1][QStringLiteral("value")].toInt(), 7);
    QCOMPARE(arguments[2][QStringLiteral("value")].toDouble(), 5000000000.0);
    QCOMPARE(type(2), QStringLiteral("bigint"));
    QVERIFY(arguments[3][QStringLiteral("value")].toString().startsWith(QStringLiteral("2026-12-08 17:05:09")));
    QVERIFY(arguments[4][QStringLiteral("value")].isNull());
    QCOMPARE(type(4), QStringLiteral("nvarchar"));
}

TAVIMOR_TEST(EndpointTest)
#include "EndpointTest.moc"

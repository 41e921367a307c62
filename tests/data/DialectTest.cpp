#include <QMap>
#include <QTest>

#include "TestRegistry.h"
#include "data/ConnectionString.h"
#include "data/Database.h"
#include "data/Dialect.h"
#include "data/Scripts.h"

namespace {

// Reads an ODBC connection string the way a driver manager does: key=value pairs separated by
// ";", a value in braces running to the next single "}" with "}}" standing for "}".
QMap<QString, QString> parseOdbc(const QString &s, bool *ok)
{
    QMap<QString, QString> pairs;
    *ok = true;
    int i = 0;
    while (i < s.size()) {
        const int eq = s.indexOf(QLatin1Char('='), i);
        if (eq < 0) break;
        const QString key = s.mid(i, eq - i).trimmed().toUpper();
        i = eq + 1;
        QString value;
        if (i < s.size() && s.at(i) == QLatin1Char('{')) {
            ++i;
            bool closed = false;
            while (i < s.size()) {
                if (s.at(i) == QLatin1Char('}')) {
                    if (i + 1 < s.size() && s.at(i + 1) == QLatin1Char('}')) {
                        value += QLatin1Char('}');
                        i += 2;
                        continue;
                    }
                    ++i;
                    closed = true;
                    break;
                }
                value += s.at(i++);
            }
            if (!closed || (i < s.size() && s.at(i) != QLatin1Char(';'))) *ok = false;
        } else {
            const int semi = s.indexOf(QLatin1Char(';'), i);
            value = s.mid(i, semi < 0 ? -1 : semi - i);
            i = semi < 0 ? s.size() : semi;
        }
        if (pairs.contains(key)) *ok = false;  // a value must never add or repeat a keyword
        pairs.insert(key, value);
        if (i < s.size() && s.at(i) == QLatin1Char(';')) ++i;
    }
    return pairs;
}

}  // namespace

class DialectTest : public QObject {
    Q_OBJECT
private slots:
    void likePatternsMatchLiterally();
    void dateTimesBindAsTheDialectStoresThem();
    void connectionStringCannotBeAlteredByAValue_data();
    void connectionStringCannotBeAlteredByAValue();
    void scriptsSplitIntoStatements();
};

void DialectTest::likePatternsMatchLiterally()
{
    QCOMPARE(Dialect::containsPattern(QStringLiteral("5%_[!")), QStringLiteral("%5!%!_![!!%"));
}

void DialectTest::dateTimesBindAsTheDialectStoresThem()
{
    const QDateTime when(QDate(2026, 12, 8), QTime(17, 5, 9));
    QCOMPARE(Dialect(Dialect::Sqlite).bindValue(when).toString(), QStringLiteral("2026-12-08 17:05:09"));
    QCOMPARE(Dialect(Dialect::Sqlite).bindValue(QDate(2026, 1, 2)).toString(), QStringLiteral("2026-01-02 00:00:00"));
    QCOMPARE(Dialect(Dialect::SqlServer).bindValue(when).toDateTime(), when);
    QCOMPARE(Dialect(Dialect::SqlServer).bindValue(when).metaType().id(), int(QMetaType::QDateTime));
    QVERIFY(Dialect(Dialect::Sqlite).bindValue(QVariant()).isNull());
}

void DialectTest::connectionStringCannotBeAlteredByAValue_data()
{
    QTest::addColumn<QString>("server");
    QTest::addColumn<QString>("login");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("database");
    QTest::newRow("plain") << "db.example"
                           << "sa"
                           << "secret"
                           << "物业";
    QTest::newRow("semicolon") << "srv"
                               << "sa"
                               << "a;DATABASE=master"
                               << "物业";
    QTest::newRow("brace") << "srv"
                           << "sa}"
                           << "p}w"
                           << "db}";
    QTest::newRow("quote") << "srv'"
                           << "o'neil"
                           << "'; DROP"
                           << "物业'库";
    QTest::newRow("equals and spaces") << " srv "
                                       << "a = b"
                                       << " pw "
                                       << "";
}

void DialectTest::connectionStringCannotBeAlteredByAValue()
{
    QFETCH(QString, server);
    QFETCH(QString, login);
    QFETCH(QString, password);
    QFETCH(QString, database);
    const QString s = ConnectionString::build({server, login, password, database}, QStringLiteral("FreeTDS"));
    bool ok = false;
    const QMap<QString, QString> pairs = parseOdbc(s, &ok);
    QVERIFY2(ok, qPrintable(s));
    QCOMPARE(pairs.value(QStringLiteral("SERVER")), server);
    QCOMPARE(pairs.value(QStringLiteral("UID")), login);
    QCOMPARE(pairs.value(QStringLiteral("PWD")), password);
    QCOMPARE(pairs.value(QStringLiteral("DATABASE")), database);
    QCOMPARE(pairs.value(QStringLiteral("CLIENTCHARSET")), QStringLiteral("UTF-8"));
    QCOMPARE(pairs.value(QStringLiteral("TDS_VERSION")), QStringLiteral("7.4"));
    QCOMPARE(pairs.keys(), (QStringList{"CLIENTCHARSET", "DATABASE", "DRIVER", "PWD", "SERVER", "TDS_VERSION", "UID"}));
}

void DialectTest::scriptsSplitIntoStatements()
{
    QCOMPARE(Scripts::statements(QStringLiteral("INSERT INTO t VALUES ('a;b'); -- c; d\nSELECT 'it''s;';")),
             (QStringList{QStringLiteral("INSERT INTO t VALUES ('a;b')"), QStringLiteral("SELECT 'it''s;'")}));
    QCOMPARE(Scripts::statements(QStringLiteral("CREATE TABLE a (x INT);\nGO\nCREATE TABLE b (y INT);\ngo\n")).size(),
             2);
    QVERIFY(Scripts::statements(Scripts::text(QStringLiteral("sqlserver.sql"))).size() >= 5);
}

TAVIMOR_TEST(DialectTest)
#include "DialectTest.moc"

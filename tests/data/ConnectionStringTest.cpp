#include <QMap>
#include <QTest>

#include "TestRegistry.h"
#include "data/ConnectionString.h"
#include "data/Database.h"

namespace {

// Reads a connection string back as FreeTDS 1.3 does (and as a login through unixODBC shows it
// does): "key=value" pairs ended by ";"; a value that begins with "{" runs to the first "}" that
// is followed by ";" or ends the string, and a "}}" inside it stays doubled.
QMap<QString, QString> parse(const QString &s, bool *ok)
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
            int end = s.indexOf(QStringLiteral("};"), i);
            if (end < 0) end = s.endsWith(QLatin1Char('}')) ? s.size() - 1 : -1;
            if (end < 0) {
                *ok = false;
                break;
            }
            value = s.mid(i, end - i);
            i = end + 1;
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

// The connection string: every value reaches FreeTDS exactly, or is refused before connecting.
class ConnectionStringTest : public QObject {
    Q_OBJECT
private slots:
    void valuesReadBackExactly_data();
    void valuesReadBackExactly();
    void valuesThatCannotPassAreRefusedByName_data();
    void valuesThatCannotPassAreRefusedByName();
    void refusedSettingsNeverConnect();
};

void ConnectionStringTest::valuesReadBackExactly_data()
{
    QTest::addColumn<QString>("server");
    QTest::addColumn<QString>("login");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("database");
    QTest::newRow("named instance") << "dbserver\\SQLEXPRESS"
                                    << "sa"
                                    << "secret"
                                    << "物业管理";
    QTest::newRow("comma, semicolon, equals") << "srv"
                                              << "sa"
                                              << "p,w;x=1"
                                              << "物业";
    QTest::newRow("keyword in a value") << "srv"
                                        << "sa"
                                        << "a;DATABASE=master"
                                        << "物业";
    QTest::newRow("closing brace, bare") << "srv"
                                         << "sa}"
                                         << "a}b"
                                         << "db}";
    QTest::newRow("closing brace, braced") << "srv"
                                           << "sa"
                                           << "p}w;x}"
                                           << "{db}";
    QTest::newRow("opening brace") << "srv"
                                   << "sa"
                                   << "{pw"
                                   << "物业";
    QTest::newRow("quote") << "srv'"
                           << "o'neil"
                           << "'; DROP"
                           << "物业'库";
    // Not a port: the whole of it is the server's name, and nothing after the comma becomes a keyword.
    QTest::newRow("port with more after it") << "dbserver,1433;UID=sa"
                                             << "sa"
                                             << "pw"
                                             << "物业";
    QTest::newRow("blanks kept") << "srv"
                                 << "a = b"
                                 << " pw "
                                 << "";
}

void ConnectionStringTest::valuesReadBackExactly()
{
    QFETCH(QString, server);
    QFETCH(QString, login);
    QFETCH(QString, password);
    QFETCH(QString, database);
    const QString s = ConnectionString::build({server, login, password, database}, QStringLiteral("FreeTDS"));
    {
        bool ok = false;
        const QMap<QString, QString> pairs = parse(s, &ok);
        QVERIFY2(ok, qPrintable(s));
        QCOMPARE(pairs.value(QStringLiteral("SERVER")), server);
        QCOMPARE(pairs.value(QStringLiteral("UID")), login);
        QCOMPARE(pairs.value(QStringLiteral("PWD")), password);
        QCOMPARE(pairs.value(QStringLiteral("DATABASE")), database);
        QCOMPARE(pairs.value(QStringLiteral("TDS_VERSION")), QStringLiteral("7.4"));
        QCOMPARE(pairs.value(QStringLiteral("CLIENTCHARSET")), QStringLiteral("UTF-8"));
        QCOMPARE(pairs.keys(),
                 (QStringList{"CLIENTCHARSET", "DATABASE", "DRIVER", "PWD", "SERVER", "TDS_VERSION", "UID"}));
    }
    // "host,port" names the port apart, as FreeTDS wants it.
    bool ok = false;
    const QMap<QString, QString> pairs =
        parse(ConnectionString::build({QStringLiteral("dbserver,1433"), login, password, database},
                                      QStringLiteral("FreeTDS")),
              &ok);
    QVERIFY(ok);
    QCOMPARE(pairs.value(QStringLiteral("SERVER")), QStringLiteral("dbserver"));
    QCOMPARE(pairs.value(QStringLiteral("PORT")), QStringLiteral("1433"));

    // A NUL after the digits does not make a port of them (a number parser would stop there).
    const QString nul = QStringLiteral("dbserver,14") + QChar(0) + QStringLiteral("x;UID=evil");
    QVERIFY_THROWS_EXCEPTION(DbError,
                             ConnectionString::build({nul, login, password, database}, QStringLiteral("FreeTDS")));
}

void ConnectionStringTest::valuesThatCannotPassAreRefusedByName_data()
{
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("database");
    QTest::addColumn<QString>("setting");
    QTest::newRow("brace and semicolon") << "a};UID=x"
                                         << "物业"
                                         << "PWD";
    QTest::newRow("brace, semicolon at the end") << "b};"
                                                 << "物业"
                                                 << "PWD";
    QTest::newRow("database") << "pw"
                              << "{db};x"
                              << "DBname";
}

void ConnectionStringTest::valuesThatCannotPassAreRefusedByName()
{
    QFETCH(QString, password);
    QFETCH(QString, database);
    QFETCH(QString, setting);
    try {
        ConnectionString::build({QStringLiteral("srv"), QStringLiteral("sa"), password, database},
                                QStringLiteral("FreeTDS"));
        QFAIL("the value was passed on");
    } catch (const DbError &e) {
        QVERIFY2(e.description().contains(setting), qPrintable(e.description()));
        QVERIFY(e.description().contains(QStringLiteral("设置")));
    }
}

void ConnectionStringTest::refusedSettingsNeverConnect()
{
    Database db;
    QVERIFY_THROWS_EXCEPTION(DbError, db.open({QStringLiteral("127.0.0.1,1"), QStringLiteral("sa"),
                                               QStringLiteral("x};y"), QStringLiteral("物业")}));
    QVERIFY(!db.isOpen());
}

TAVIMOR_TEST(ConnectionStringTest)
#include "ConnectionStringTest.moc"

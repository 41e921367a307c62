#include <QMap>
#include <QRegularExpression>
#include <QTest>

#include "TestRegistry.h"
#include "data/Scripts.h"

// The SQLite schema and the SQL Server script create the same indexes: a list that is fast on
// one database must not read a whole table on the other.
class SchemaIndexTest : public QObject {
    Q_OBJECT
private slots:
    void bothSchemasHaveTheSameIndexes();
    void laterSqlServerIndexesAreCheckedOneByOne();
};

namespace {

// Name, table, key columns and (SQL Server) the columns an index includes beside its key; SQLite
// has no INCLUDE and lists them after the key.
const QRegularExpression kIndex(QStringLiteral(
    R"(CREATE\s+(UNIQUE\s+)?INDEX\s+(\S+)\s+ON\s+(?:dbo\.)?(\S+)\s*\(([^)]*)\)(?:\s*INCLUDE\s*\(([^)]*)\))?)"));

// Index name -> "UNIQUE table (columns)".
QMap<QString, QString> indexesOf(const QString &script)
{
    QMap<QString, QString> indexes;
    auto it = kIndex.globalMatch(script);
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        QStringList columns = m.captured(4).split(QLatin1Char(','));
        if (m.capturedLength(5) > 0) columns += m.captured(5).split(QLatin1Char(','));
        for (QString &c : columns) c = c.trimmed();
        indexes.insert(m.captured(2), (m.capturedLength(1) > 0 ? QStringLiteral("UNIQUE ") : QString()) +
                                          m.captured(3) + QStringLiteral(" (") + columns.join(QStringLiteral(", ")) +
                                          QLatin1Char(')'));
    }
    return indexes;
}

}  // namespace

void SchemaIndexTest::bothSchemasHaveTheSameIndexes()
{
    const QMap<QString, QString> sqlite = indexesOf(Scripts::text(QStringLiteral("schema.sqlite.sql")));
    const QMap<QString, QString> sqlServer = indexesOf(Scripts::text(QStringLiteral("sqlserver.sql")));
    QVERIFY(sqlite.contains(QStringLiteral("ix_投诉信息_部门处理")));
    QVERIFY(sqlite.contains(QStringLiteral("ix_投诉信息_投诉人")));
    QVERIFY(sqlite.contains(QStringLiteral("ix_投诉信息_电话号码")));
    for (auto it = sqlite.cbegin(); it != sqlite.cend(); ++it) {
        if (!it.value().contains(QStringLiteral("投诉"))) continue;  // the complaint tables
        QVERIFY2(sqlServer.contains(it.key()), qPrintable(it.key()));
        QCOMPARE(sqlServer.value(it.key()), it.value());
    }
}

void SchemaIndexTest::laterSqlServerIndexesAreCheckedOneByOne()
{
    // An index made outside its table's CREATE TABLE batch reaches databases that exist already,
    // so its batch comes after that table's and checks for that very index first.
    static const QRegularExpression table(QStringLiteral(R"(CREATE\s+TABLE\s+dbo\.(\S+)\s*\()"));
    QStringList made;
    for (const QString &batch : Scripts::statements(Scripts::text(QStringLiteral("sqlserver.sql")))) {
        const QRegularExpressionMatch created = table.match(batch);
        if (created.hasMatch()) {
            made << created.captured(1);
            continue;
        }
        QStringList names;
        auto it = kIndex.globalMatch(batch);
        QRegularExpressionMatch last;
        while (it.hasNext()) {
            last = it.next();
            names << last.captured(2);
        }
        if (names.isEmpty()) continue;
        QCOMPARE(names.size(), 1);
        QVERIFY2(batch.contains(QStringLiteral("name = N'%1'").arg(names.first())), qPrintable(batch));
        QVERIFY2(made.contains(last.captured(3)), qPrintable(names.first()));
    }
}

TAVIMOR_TEST(SchemaIndexTest)
#include "SchemaIndexTest.moc"

#include <QRegularExpression>
#include <QTest>

#include "TestDatabase.h"
#include "TestRegistry.h"
#include "data/ColumnLengths.h"
#include "data/Database.h"
#include "data/Scripts.h"

// The one table of column lengths: it agrees with the server script, and no value longer than
// its column is ever written.
class ColumnLengthsTest : public QObject {
    Q_OBJECT
private slots:
    void tableAgreesWithTheServerScript();
    void overlongTextIsRefusedByNameAndNothingIsWritten();
};

void ColumnLengthsTest::tableAgreesWithTheServerScript()
{
    const QString script = Scripts::text(QStringLiteral("sqlserver.sql"));
    QHash<QString, int> declared;
    static const QRegularExpression table(QStringLiteral("CREATE TABLE dbo\\.(\\S+)\\s*\\(([^;]*?)\\n\\s*\\)'?;"));
    static const QRegularExpression column(QStringLiteral("^\\s*(\\S+)\\s+NVARCHAR\\((\\d+|MAX)\\)"),
                                           QRegularExpression::MultilineOption);
    for (auto t = table.globalMatch(script); t.hasNext();) {
        const auto tm = t.next();
        for (auto c = column.globalMatch(tm.captured(2)); c.hasNext();) {
            const auto cm = c.next();
            declared.insert(tm.captured(1) + QLatin1Char('.') + cm.captured(1),
                            cm.captured(2) == QLatin1String("MAX") ? 0 : cm.captured(2).toInt());
        }
    }
    QVERIFY2(declared.size() > 20, "the script's columns were not found");
    for (auto it = declared.cbegin(); it != declared.cend(); ++it) {
        const QStringList parts = it.key().split(QLatin1Char('.'));
        QCOMPARE(QStringLiteral("%1 %2").arg(it.key()).arg(ColumnLengths::of(parts[0], parts[1])),
                 QStringLiteral("%1 %2").arg(it.key()).arg(it.value()));
    }
    for (const ColumnLengths::Entry &e : ColumnLengths::all()) {
        const QString key = QString::fromUtf8(e.table) + QLatin1Char('.') + QString::fromUtf8(e.column);
        QVERIFY2(declared.contains(key), qPrintable(key));
    }
    // Names are matched without regard to case, as the server matches them.
    QCOMPARE(ColumnLengths::of(QStringLiteral("投诉处理人设置"), QStringLiteral("备注")), 200);
    QCOMPARE(ColumnLengths::of(QStringLiteral("投诉类别"), QStringLiteral("ID")), 0);
}

void ColumnLengthsTest::overlongTextIsRefusedByNameAndNothingIsWritten()
{
    TestDatabase database;
    Database &db = database.db();
    const QString table = QStringLiteral("投诉类别");
    // A character outside the BMP takes two of the server's units: ten of them fill NVARCHAR(20).
    const QString full = QStringLiteral("𠮷").repeated(10);
    const qint64 id =
        db.insert(table, {{QStringLiteral("编号"), full}, {QStringLiteral("类别"), QStringLiteral("噪音")}});
    QCOMPARE(database.value(QStringLiteral("SELECT 编号 FROM 投诉类别 WHERE id = ?"), {id}).toString(), full);

    const auto refused = [&](const std::function<void()> &write, const QString &column) {
        try {
            write();
            QFAIL("the value was written");
        } catch (const DbError &e) {
            QCOMPARE(e.number(), ColumnLengths::kTooLongError);
            QVERIFY2(e.description().contains(column), qPrintable(e.description()));
        }
    };
    refused([&] { db.insert(table, {{QStringLiteral("编号"), full + QLatin1Char('1')}}); }, QStringLiteral("编号"));
    refused(
        [&] {
            db.update(table, {{QStringLiteral("类别"), QString(101, QLatin1Char('x'))}}, QStringLiteral("id = ?"),
                      {id});
        },
        QStringLiteral("类别"));
    // Inside a transaction nothing of it stays.
    refused(
        [&] {
            db.transaction([&] {
                db.insert(table, {{QStringLiteral("编号"), QStringLiteral("99")}});
                db.insert(QStringLiteral("投诉信息处理"),
                          {{QStringLiteral("投诉编号"), QString(21, QLatin1Char('0'))}});
            });
        },
        QStringLiteral("投诉编号"));
    QCOMPARE(database.count(table), 1);
    QCOMPARE(database.count(QStringLiteral("投诉信息处理")), 0);
    // Unlimited columns take any length.
    db.insert(QStringLiteral("投诉信息处理"), {{QStringLiteral("投诉编号"), QStringLiteral("1")},
                                               {QStringLiteral("处理结果"), QString(9000, QLatin1Char('z'))}});
}

TAVIMOR_TEST(ColumnLengthsTest)
#include "ColumnLengthsTest.moc"

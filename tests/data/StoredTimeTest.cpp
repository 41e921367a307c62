#include <QTest>
#include <ctime>

#include "TestRegistry.h"
#include "data/Rows.h"

// Stored date-times are read as the local wall clock, with the offset from UTC looked up once per
// day; the days on which the offset changes must still give every hour its own.
class StoredTimeTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void readingsAroundOffsetChanges();

private:
    QByteArray m_zone;
};

void StoredTimeTest::initTestCase()
{
    m_zone = qgetenv("TZ");
    // Central European time (needs no zone files): summer time from the last Sunday of March
    // at 02:00 to the last Sunday of October at 03:00.
    qputenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3");
    tzset();
}

void StoredTimeTest::cleanupTestCase()
{
    if (m_zone.isNull()) qunsetenv("TZ");
    else qputenv("TZ", m_zone);
    tzset();
}

void StoredTimeTest::readingsAroundOffsetChanges()
{
    // The days before, of and after both changes of 2026 (29 March, 25 October), read in an
    // order that caches a neighbouring day first.
    const QDate days[] = {QDate(2026, 3, 30),  QDate(2026, 3, 29),  QDate(2026, 3, 28),
                          QDate(2026, 10, 24), QDate(2026, 10, 25), QDate(2026, 10, 26)};
    for (const QDate &day : days) {
        for (int hour = 0; hour < 24; ++hour) {
            if (day == QDate(2026, 3, 29) && hour == 2) continue;  // 02:00-02:59 does not exist that day
            for (const QTime time : {QTime(hour, 0), QTime(hour, 30, 15), QTime(hour, 59, 59)}) {
                const QDateTime local(day, time);
                const QString stored = local.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
                const QDateTime read = Value::dateTime(QVariant(stored));
                QVERIFY2(read.toMSecsSinceEpoch() == local.toMSecsSinceEpoch(), qPrintable(stored));
                QCOMPARE(read.offsetFromUtc(), local.offsetFromUtc());
                QCOMPARE(read.date(), day);
                QCOMPARE(read.time(), time);
            }
        }
    }
    QCOMPARE(Value::dateTime(QVariant(QStringLiteral("2026-03-28 12:00:00"))).offsetFromUtc(), 3600);
    QCOMPARE(Value::dateTime(QVariant(QStringLiteral("2026-03-30 12:00:00"))).offsetFromUtc(), 7200);
}

TAVIMOR_TEST(StoredTimeTest)
#include "StoredTimeTest.moc"

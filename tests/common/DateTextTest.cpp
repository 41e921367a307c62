#include <QTest>

#include "TestRegistry.h"
#include "common/DateText.h"

// The list texts are written digit by digit; they must read exactly as Qt's formats would.
class DateTextTest : public QObject {
    Q_OBJECT
private slots:
    void textsReadAsQtFormatsThem();
};

void DateTextTest::textsReadAsQtFormatsThem()
{
    QList<QDateTime> moments;
    for (const QDate &day : {QDate(2026, 1, 1), QDate(2026, 12, 31), QDate(2024, 2, 29), QDate(1000, 1, 1),
                             QDate(9999, 12, 31), QDate(999, 5, 6), QDate(1, 1, 1)}) {
        for (const QTime &time : {QTime(0, 0), QTime(0, 0, 1), QTime(9, 5, 7), QTime(12, 0), QTime(23, 59, 59)})
            moments << QDateTime(day, time);
    }
    for (const QDateTime &m : std::as_const(moments)) {
        const QString name = m.toString(Qt::ISODate);
        const bool midnight = m.time() == QTime(0, 0);
        QCOMPARE(DateText::general(m),
                 m.toString(midnight ? QStringLiteral("yyyy-MM-dd") : QStringLiteral("yyyy-MM-dd HH:mm:ss")));
        QCOMPARE(DateText::minutes(m), m.toString(QStringLiteral("yyyy-MM-dd HH:mm")));
        QCOMPARE(DateText::list(m), m.toString(QStringLiteral("yyyy-MM-dd HH:mm")));
        QCOMPARE(DateText::day(m.date()), m.date().toString(QStringLiteral("yyyy-MM-dd")));
        // The stored form read back from a column gives the same texts.
        if (m.date().year() >= 1000) {
            const QVariant stored(m.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
            QVERIFY2(DateText::general(stored) == DateText::general(m), qPrintable(name));
            QVERIFY2(DateText::list(stored) == DateText::list(m), qPrintable(name));
        }
    }
    QCOMPARE(DateText::general(QDateTime()), QString());
    QCOMPARE(DateText::list(QDateTime()), QString());
    QCOMPARE(DateText::day(QDate()), QString());
}

TAVIMOR_TEST(DateTextTest)
#include "DateTextTest.moc"

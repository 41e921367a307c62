#include <QTest>

#include "TestDatabase.h"
#include "TestRegistry.h"
#include "routing/AssignmentStore.h"

namespace {

AssignmentInput input(const QString &office, const QString &post, const QString &date, const QString &end = QString(),
                      const QString &dept = QStringLiteral("5"))
{
    return {office, dept, post, date, end, QString()};
}

QStringList codes(const QVector<AssignmentOffice> &offices)
{
    QStringList list;
    for (const auto &office : offices) list << office.code;
    return list;
}

}  // namespace

// The rules of the handler assignments, straight against the database.
class AssignmentStoreTest : public QObject {
    Q_OBJECT
private slots:
    void officesInNaturalOrderAndAssignmentsWithTheirNames();
    void onePostPerOfficeAndDay();
    void changesTheAssignmentByItsId();
    void datesAreCheckedBeforeAnythingIsStored_data();
    void datesAreCheckedBeforeAnythingIsStored();
};

void AssignmentStoreTest::officesInNaturalOrderAndAssignmentsWithTheirNames()
{
    TestDatabase t(true);
    AssignmentStore store(t.db());
    QCOMPARE(codes(store.offices()), (QStringList{"1", "2", "10", "11"}));

    // Current ones only, or all of them by setting date, the ended ones marked.
    QCOMPARE(store.list(QStringLiteral("10"), false).size(), 1);
    const QVector<Assignment> all = store.list(QStringLiteral("10"), true);
    QCOMPARE(all.size(), 2);
    QCOMPARE(all.at(0).settingDate, QStringLiteral("2023-01-01"));
    QCOMPARE(all.at(0).endDate, QStringLiteral("2023-12-31"));
    QVERIFY(all.at(0).ended);
    QCOMPARE(all.at(0).postName, QStringLiteral("客户管家"));
    QCOMPARE(all.at(0).departmentName, QStringLiteral("翠苑物业服务中心"));
    QCOMPARE(all.at(1).postCode, QStringLiteral("501"));
    QCOMPARE(all.at(1).departmentCode, QStringLiteral("5"));
    QVERIFY(!all.at(1).ended);
    QVERIFY(all.at(1).endDate.isEmpty());
    QVERIFY(all.at(1).id > 0);

    // An assignment whose post no longer exists is not listed.
    t.exec(QStringLiteral("DELETE FROM 岗位信息new WHERE 岗位代号 = '503'"));
    QCOMPARE(store.list(QStringLiteral("10"), true).size(), 1);
}

void AssignmentStoreTest::onePostPerOfficeAndDay()
{
    TestDatabase t(true);
    AssignmentStore store(t.db());
    // Office 1 has post 501 from 2024-01-01; a time of day stored by another program is the same day.
    t.exec(
        QStringLiteral("INSERT INTO 投诉处理人设置 (管理处代号, 职能部门代号, 岗位代号, 设置日期)"
                       " VALUES ('2', '5', '503', '2025-06-01 08:30:00')"));

    QCOMPARE(store.add(input("1", "501", "2024-01-01")), AssignmentStore::Result::Duplicate);
    QCOMPARE(store.add(input("2", "503", "2025-6-1")), AssignmentStore::Result::Duplicate);
    QCOMPARE(t.count(QStringLiteral("投诉处理人设置")), 6);
    QCOMPARE(AssignmentStore::duplicateMessage(QDate(2024, 1, 1)),
             QStringLiteral("2024-01-01已设置过该岗位，同一天不能重复设置多次！"));

    qint64 id = 0;
    QCOMPARE(store.add(input("1", "501", "2024-01-02"), &id), AssignmentStore::Result::Saved);  // another day
    QCOMPARE(store.add(input("1", "502", "2024-01-01")), AssignmentStore::Result::Saved);       // another post
    QCOMPARE(store.add(input("11", "501", "2024-01-01")), AssignmentStore::Result::Saved);      // another office
    AssignmentInput full{QStringLiteral("1"),          QStringLiteral("5"),
                         QStringLiteral("503"),        QStringLiteral("2024-01-01"),
                         QStringLiteral("2024-12-31"), QStringLiteral("  O'Brien 代班  ")};
    QCOMPARE(store.add(full), AssignmentStore::Result::Saved);

    const Row row = t.db().select(QStringLiteral("SELECT * FROM 投诉处理人设置 WHERE ID = ?"), {id}).first();
    QCOMPARE(row.text(QStringLiteral("设置日期")), QStringLiteral("2024-01-02 00:00:00"));
    QVERIFY(row.isNull(QStringLiteral("终止日期")));
    QVERIFY(row.isNull(QStringLiteral("备注")));
    QCOMPARE(t.value(QStringLiteral("SELECT 备注 FROM 投诉处理人设置 WHERE 岗位代号 = '503' AND 管理处代号 = '1'"))
                 .toString(),
             QStringLiteral("O'Brien 代班"));
    QCOMPARE(t.value(QStringLiteral("SELECT 终止日期 FROM 投诉处理人设置 WHERE 岗位代号 = '503' AND 管理处代号 = '1'"))
                 .toString(),
             QStringLiteral("2024-12-31 00:00:00"));

    QVERIFY(store.remove(id));
    QVERIFY(!store.remove(id));
    QCOMPARE(t.count(QStringLiteral("投诉处理人设置"), QStringLiteral("ID = ?"), {id}), 0);
}

void AssignmentStoreTest::changesTheAssignmentByItsId()
{
    TestDatabase t(true);
    AssignmentStore store(t.db());
    const qint64 id = t.value(QStringLiteral("SELECT ID FROM 投诉处理人设置 WHERE 管理处代号 = '1'")).toLongLong();
    qint64 other = 0;
    store.add(input("1", "502", "2024-03-01"), &other);

    // Unchanged date and post: the assignment is no duplicate of itself.
    QCOMPARE(store.change(id, input("1", "501", "2024-01-01", "2025-01-01")), AssignmentStore::Result::Saved);
    // A new date and post change the same row; no second row appears.
    QCOMPARE(store.change(id, input("1", "503", "2024-02-01")), AssignmentStore::Result::Saved);
    QCOMPARE(t.count(QStringLiteral("投诉处理人设置"), QStringLiteral("管理处代号 = '1'")), 2);
    const Row row = t.db().select(QStringLiteral("SELECT * FROM 投诉处理人设置 WHERE ID = ?"), {id}).first();
    QCOMPARE(row.text(QStringLiteral("岗位代号")), QStringLiteral("503"));
    QCOMPARE(row.text(QStringLiteral("设置日期")), QStringLiteral("2024-02-01 00:00:00"));
    QVERIFY(row.isNull(QStringLiteral("终止日期")));

    // Onto another assignment's post and day: refused, nothing changed.
    QCOMPARE(store.change(id, input("1", "502", "2024-03-01")), AssignmentStore::Result::Duplicate);
    QCOMPARE(t.value(QStringLiteral("SELECT 岗位代号 FROM 投诉处理人设置 WHERE ID = ?"), {id}).toString(),
             QStringLiteral("503"));

    // Deleted meanwhile: nothing is written, and the caller is told.
    t.exec(QStringLiteral("DELETE FROM 投诉处理人设置 WHERE ID = ?"), {other});
    QCOMPARE(store.change(other, input("1", "502", "2024-03-05")), AssignmentStore::Result::Missing);
    QCOMPARE(t.count(QStringLiteral("投诉处理人设置"), QStringLiteral("管理处代号 = '1'")), 1);
}

void AssignmentStoreTest::datesAreCheckedBeforeAnythingIsStored_data()
{
    QTest::addColumn<QString>("setting");
    QTest::addColumn<QString>("end");
    QTest::addColumn<int>("field");  // -1: accepted
    QTest::newRow("plain") << QStringLiteral("2024-01-01") << QStringLiteral("") << -1;
    QTest::newRow("short month and day, blanks") << QStringLiteral(" 2024-1-5 ") << QStringLiteral("2024-01-05") << -1;
    QTest::newRow("leap day") << QStringLiteral("2024-02-29") << QStringLiteral("2025-02-28") << -1;
    QTest::newRow("no leap day") << QStringLiteral("2023-02-29") << QStringLiteral("")
                                 << int(AssignmentProblem::SettingDate);
    QTest::newRow("words") << QStringLiteral("明天") << QStringLiteral("") << int(AssignmentProblem::SettingDate);
    QTest::newRow("month 13") << QStringLiteral("2024-13-01") << QStringLiteral("")
                              << int(AssignmentProblem::SettingDate);
    QTest::newRow("slashes") << QStringLiteral("2024/01/01") << QStringLiteral("")
                             << int(AssignmentProblem::SettingDate);
    QTest::newRow("with a quote") << QStringLiteral("2024-01-01'") << QStringLiteral("")
                                  << int(AssignmentProblem::SettingDate);
    QTest::newRow("bad end") << QStringLiteral("2024-01-01") << QStringLiteral("2024-01-32")
                             << int(AssignmentProblem::EndDate);
    // The server's date-times hold 1753-01-01 to 9999-12-31.
    QTest::newRow("before 1753") << QStringLiteral("1752-12-31") << QStringLiteral("")
                                 << int(AssignmentProblem::SettingDate);
    QTest::newRow("first and last day") << QStringLiteral("1753-01-01") << QStringLiteral("9999-12-31") << -1;
    QTest::newRow("end before setting") << QStringLiteral("2024-01-02") << QStringLiteral("2024-01-01")
                                        << int(AssignmentProblem::EndDate);
}

void AssignmentStoreTest::datesAreCheckedBeforeAnythingIsStored()
{
    QFETCH(QString, setting);
    QFETCH(QString, end);
    QFETCH(int, field);
    const auto problem = AssignmentStore::check(input("1", "501", setting, end));
    QCOMPARE(problem ? int(problem->field) : -1, field);
    if (problem) {
        // The message names the field to correct.
        QVERIFY(problem->message.startsWith(field == AssignmentProblem::SettingDate ? QStringLiteral("设置日期")
                                                                                    : QStringLiteral("终止日期")));
    }
}

TAVIMOR_TEST(AssignmentStoreTest)
#include "AssignmentStoreTest.moc"

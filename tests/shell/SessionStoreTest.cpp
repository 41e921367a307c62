#include <QTest>

#include "TestDatabase.h"
#include "TestRegistry.h"
#include "shell/SessionStore.h"

// The login's and the main window's reads, straight on the demo database.
class SessionStoreTest : public QObject {
    Q_OBJECT
private slots:
    // The number as typed, letters in any case; the password trimmed; quotes are only text.
    void authenticate()
    {
        TestDatabase db(true);
        db.exec(QStringLiteral("INSERT INTO 员工档案 (工号, 姓名, 帐号密码) VALUES ('a7', '试用', 'x''y')"));
        const SessionStore store(db.db());
        QVERIFY(store.authenticate(QStringLiteral("1001"), QStringLiteral(" 1234  ")));
        QVERIFY(!store.authenticate(QStringLiteral(" 1001"), QStringLiteral("1234")));
        QVERIFY(!store.authenticate(QStringLiteral("1001"), QStringLiteral("12345")));
        QVERIFY(store.authenticate(QStringLiteral("a7"), QStringLiteral("x'y")));
        QVERIFY(!store.authenticate(QStringLiteral("1001' OR '1'='1"), QStringLiteral("' OR '1'='1")));
    }

    // Character for character, whatever the database's collation: case, width and blanks inside
    // count; only the blanks around the typed password and the padding after the stored one go.
    void passwordIsComparedExactly()
    {
        TestDatabase db(true);
        db.exec(QStringLiteral("UPDATE 员工档案 SET 帐号密码 = 'abc' WHERE 工号 = '1001'"));
        const SessionStore store(db.db());
        QVERIFY(store.authenticate(QStringLiteral("1001"), QStringLiteral("abc")));
        for (const QString &other : {QStringLiteral("ABC"), QStringLiteral("Abc"), QStringLiteral("ａｂｃ"),
                                     QStringLiteral("ab c"), QStringLiteral("abc d")})
            QVERIFY2(!store.authenticate(QStringLiteral("1001"), other), qPrintable(other));
        db.exec(QStringLiteral("UPDATE 员工档案 SET 帐号密码 = 'abc    ' WHERE 工号 = '1001'"));
        QVERIFY(store.authenticate(QStringLiteral("1001"), QStringLiteral("abc")));
        db.exec(QStringLiteral("UPDATE 员工档案 SET 帐号密码 = NULL WHERE 工号 = '1001'"));
        QVERIFY(!store.authenticate(QStringLiteral("1001"), QStringLiteral("abc")));
    }

    // Current posts only, with every field the session takes; a part-time post is marked.
    void postsOfAnEmployee()
    {
        TestDatabase db(true);
        const SessionStore store(db.db());
        const QVector<EmployeePost> posts = store.posts(QStringLiteral("1002"));
        QCOMPARE(posts.size(), 2);
        QStringList texts;
        for (const EmployeePost &p : posts) {
            texts << QStringList{p.employeeName, p.departmentCode, p.departmentName, p.postCode, p.postName}.join(
                QLatin1Char('|'));
            QVERIFY(!p.departmentTypeCode.isEmpty() && !p.postTypeCode.isEmpty() && !p.postTypeName.isEmpty());
        }
        QVERIFY(texts.contains(QStringLiteral("李建国|5|翠苑物业服务中心|501|服务中心主任")));
        QCOMPARE(posts.at(texts.indexOf(QStringLiteral("李建国|5|翠苑物业服务中心|501|服务中心主任"))).main, true);
        // 1015 left post 301 and holds no other.
        QVERIFY(store.posts(QStringLiteral("1015")).isEmpty());
    }

    // Granted rows of the post only; a disabling row comes before an enabling one of the same
    // item, whatever number the enabling row uses.
    void grantsEnablingRowsLast()
    {
        TestDatabase db(true);
        db.exec(QStringLiteral("UPDATE GroupPrivilege SET Popedom = -1 WHERE GroupID = 'JD'"));
        const SessionStore store(db.db());
        const QVector<QPair<QString, bool>> grants = store.grants(QStringLiteral("202"));
        int disabled = -1;
        int enabled = -1;
        for (int i = 0; i < grants.size(); ++i) {
            if (grants.at(i).first != QStringLiteral("投诉接待")) continue;
            (grants.at(i).second ? enabled : disabled) = i;
        }
        QVERIFY(disabled >= 0 && enabled > disabled);
        for (int i = 1; i < grants.size(); ++i) QVERIFY(grants.at(i - 1).second <= grants.at(i).second);
        QVERIFY(store.grants(QStringLiteral("503")).isEmpty());  // 授权 = 0
    }
};

TAVIMOR_TEST(SessionStoreTest)
#include "SessionStoreTest.moc"

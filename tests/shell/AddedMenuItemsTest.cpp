#include <QMdiArea>
#include <QMenu>

#include "ShellFixture.h"
#include "TestRegistry.h"

// The menu items added after the statistics: where they sit, who may use them, how they open.
class AddedMenuItemsTest : public QObject {
    Q_OBJECT
private slots:
    void placedAfterStatisticsAndGrantedLikeEveryItem()
    {
        ShellFixture f;
        f.logIn(QStringLiteral("1001"), QStringLiteral("1234"));
        QVERIFY(f.main());
        auto *menu = f.main()->findChild<QMenu *>(QStringLiteral("投诉管理"));
        QStringList names;
        for (QAction *action : menu->actions()) names << action->objectName();
        QCOMPARE(names.mid(names.indexOf(QStringLiteral("投诉信息统计"))),
                 (QStringList{"投诉信息统计", "投诉回访", "投诉分析"}));
        QVERIFY(f.enabled("投诉回访"));
        QVERIFY(!f.enabled("投诉分析"));
        QWidget *window = f.main()->openItem(QStringLiteral("投诉回访"));
        QCOMPARE(window->objectName(), QStringLiteral("frm投诉回访"));
        QCOMPARE(window->windowTitle(), QStringLiteral("投诉回访"));
        f.main()->item(QStringLiteral("投诉回访"))->trigger();
        QCOMPARE(f.main()->mdiArea()->subWindowList().size(), 1);

        // A post whose groups do not name the item, and the same post once a group does.
        f.database.exec(QStringLiteral("UPDATE 岗位权限设置 SET 授权 = 0 WHERE 组代号 = 'JD' AND 岗位代号 = '502'"));
        f.database.exec(QStringLiteral("INSERT INTO 岗位权限设置 (组代号, 岗位代号, 授权) VALUES ('CX', '502', 1)"));
        f.main()->权限设置();
        QVERIFY(!f.enabled("投诉回访"));
        QVERIFY(f.enabled("投诉信息统计"));
        f.database.exec(
            QStringLiteral("INSERT INTO GroupPrivilege (GroupID, FormName, Popedom) VALUES ('CX', '投诉回访', 1)"));
        f.main()->权限设置();
        QVERIFY(f.enabled("投诉回访"));
    }

    void accepterAnalysesAndTheSuperUserHasBoth()
    {
        ShellFixture f;
        f.logIn(QStringLiteral("1006"), QStringLiteral("1234"));
        QVERIFY(!f.enabled("投诉回访"));
        QVERIFY(f.enabled("投诉分析"));
        QWidget *window = f.main()->openItem(QStringLiteral("投诉分析"));
        QCOMPARE(window->objectName(), QStringLiteral("frm投诉分析"));
        QVERIFY(window->parentWidget()->isMaximized());
        ShellFixture g;
        g.logIn(QStringLiteral("pelOr"), QStringLiteral("brivet"));
        QVERIFY(g.enabled("投诉回访"));
        QVERIFY(g.enabled("投诉分析"));
    }
};

TAVIMOR_TEST(AddedMenuItemsTest)
#include "AddedMenuItemsTest.moc"

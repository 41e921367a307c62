#include <QTest>

#include "RoutingTestKit.h"
#include "TestDatabase.h"
#include "TestRegistry.h"
#include "data/DbError.h"
#include "handling/HandlingStore.h"
#include "handling/ReviewCommentsStore.h"

using namespace routing_test;

class HandlingStoreTest : public QObject {
    Q_OBJECT
private slots:
    // Only open steps of exactly the department and post are listed, one line per step.
    void listsOpenStepsOfDepartmentAndPost()
    {
        TestDatabase db(true);
        // Post 301 in another department, and department 3 with another post: not listed.
        insertStep(db, QStringLiteral("00000001"), QStringLiteral("5"), QStringLiteral("301"), 1, pinned());
        insertStep(db, QStringLiteral("00000002"), QStringLiteral("3"), QStringLiteral("302"), 1, pinned());
        // A second open step for the same complaint and post: listed again.
        insertStep(db, QStringLiteral("00000013"), QStringLiteral("3"), QStringLiteral("301"), 3, pinned());
        Clock::Pinned clock(pinned());
        HandlingStore store(db.db());
        QStringList codes;
        const QVector<HandlingLine> lines = store.openSteps(QStringLiteral("3"), QStringLiteral("301"));
        for (const HandlingLine &line : lines) codes << line.complaintCode;
        QCOMPARE(codes, (QStringList{"00000013", "00000021", "00000013"}));
        QCOMPARE(lines.last().accepted, pinned());
    }

    // Of two clients acting on one step only the first is stored; forwarding is all or nothing.
    void actsOnAStepOnce()
    {
        TestDatabase db(true);
        Database other;
        other.openSqlite(db.file());
        Clock::Pinned clock(pinned());
        HandlingStore mine(db.db());
        HandlingStore theirs(other);
        const qint64 step =
            db.value(QStringLiteral("SELECT ID FROM 投诉信息处理 WHERE 投诉编号 = '00000015' AND 顺序号 = 3"))
                .toLongLong();

        const qint64 next =
            theirs.forward(step, QStringLiteral("请品质部复核"), QStringLiteral("4"), QStringLiteral("401"));
        QVERIFY_THROWS_EXCEPTION(ConcurrentChange, mine.finish(step, QStringLiteral("我的意见")));
        QVERIFY_THROWS_EXCEPTION(ConcurrentChange, mine.forward(step, QStringLiteral("我的意见"), QStringLiteral("2"),
                                                                QStringLiteral("201")));
        QCOMPARE(db.value(QStringLiteral("SELECT 处理结果 FROM 投诉信息处理 WHERE ID = ?"), {step}).toString(),
                 QStringLiteral("请品质部复核"));
        QCOMPARE(db.count(QStringLiteral("投诉信息处理"), QStringLiteral("投诉编号 = '00000015'")), 4);
        const Rows added = db.db().select(
            QStringLiteral("SELECT 投诉编号, 处理部门, 处理岗位, 顺序号, 接受时间, 处理结束时间, 处理结果, 处理意见"
                           " FROM 投诉信息处理 WHERE ID = ?"),
            {next});
        QCOMPARE(added.first().text(0), QStringLiteral("00000015"));
        QCOMPARE(added.first().text(1) + added.first().text(2), QStringLiteral("4401"));
        QCOMPARE(added.first().number(QStringLiteral("顺序号")), 4);
        QCOMPARE(added.first().dateTime(4), pinned());
        QVERIFY(added.first().isNull(QStringLiteral("处理结束时间")) &&
                added.first().isNull(QStringLiteral("处理结果")) && added.first().isNull(QStringLiteral("处理意见")));

        // A failing insert of the new step leaves the old one open.
        const qint64 open =
            db.value(QStringLiteral("SELECT ID FROM 投诉信息处理 WHERE 投诉编号 = '00000021' AND 顺序号 = 2"))
                .toLongLong();
        db.exec(QStringLiteral(
            "CREATE TRIGGER no_step BEFORE INSERT ON 投诉信息处理 BEGIN SELECT RAISE(ABORT, 'full'); END"));
        QVERIFY_THROWS_EXCEPTION(
            DbError, mine.forward(open, QStringLiteral("意见"), QStringLiteral("4"), QStringLiteral("401")));
        QVERIFY(db.value(QStringLiteral("SELECT 处理结束时间 FROM 投诉信息处理 WHERE ID = ?"), {open}).isNull());
    }

    // Every step once in order, with names and today's holders; comments stay readable.
    void reviewCommentsShowEveryStepOnce()
    {
        TestDatabase db(true);
        const QString code = QStringLiteral("00000015");
        // A step of a post nobody holds, and one of a department that no longer exists.
        insertStep(db, code, QStringLiteral("5"), QStringLiteral("504"), 4, pinned());
        insertStep(db, code, QStringLiteral("99"), QStringLiteral("9901"), 5, pinned());
        // The post of step 3 changes hands: its comment is still there.
        db.exec(QStringLiteral("UPDATE 投诉信息处理 SET 处理结果 = '已派维修班' WHERE 投诉编号 = ? AND 顺序号 = 3"),
                {code});
        db.exec(QStringLiteral("UPDATE 岗位员工new SET 离岗日期 = '2026-01-01 00:00:00' WHERE 岗位代号 = '302'"));
        // Post 502 has two holders today, and one whose holding has not begun yet.
        insertStep(db, code, QStringLiteral("5"), QStringLiteral("502"), 6, pinned());
        db.exec(QStringLiteral(
            "INSERT INTO 岗位员工new (员工代号, 岗位代号, 入岗日期) VALUES ('1007', '502', '2027-01-01')"));
        db.exec(QStringLiteral("UPDATE 岗位员工new SET 离岗日期 = '2020-01-01' WHERE 员工代号 = '1005'"));

        Clock::Pinned clock(pinned());
        ReviewCommentsStore store(db.db());
        const QVector<ReviewStep> steps = store.steps(code);
        QStringList texts;
        for (const ReviewStep &step : steps) texts << step.text();
        QCOMPARE(texts, (QStringList{"翠苑物业服务中心 服务中心主任(李建国)", "工程维修部 工程部经理(王志强)",
                                     "工程维修部 维修主管", "翠苑物业服务中心 服务中心副主任", "99 9901",
                                     "翠苑物业服务中心 前台接待员(张晓燕、林芳)"}));
        QCOMPARE(store.comment(steps.at(1).stepId).result, QStringLiteral("已安排人员查看，转相关负责人落实。"));
        QCOMPARE(store.comment(steps.at(2).stepId).result, QStringLiteral("已派维修班"));
        QVERIFY(store.comment(steps.at(3).stepId).result.isEmpty());
        // The accepting post's instruction is kept beside its (still empty) result.
        QCOMPARE(store.comment(steps.at(0).stepId).opinion, QStringLiteral("请相关部门尽快处理并反馈。"));
        QVERIFY(store.steps(QStringLiteral("00000001")).isEmpty());
    }
};

TAVIMOR_TEST(HandlingStoreTest)
#include "HandlingStoreTest.moc"

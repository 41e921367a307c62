#include <QTest>

#include "../handling/RoutingTestKit.h"
#include "TestDatabase.h"
#include "TestRegistry.h"
#include "data/DbError.h"
#include "routing/AcceptanceStore.h"

using namespace routing_test;

namespace {

QStringList codes(const QVector<PendingComplaint> &list)
{
    QStringList result;
    for (const PendingComplaint &c : list) result << c.code;
    return result;
}

QStringList lines(const QVector<ComplaintInProgress> &list)
{
    QStringList result;
    for (const ComplaintInProgress &c : list) result << c.code + QLatin1Char(':') + c.holderName;
    return result;
}

const QString kDept = QStringLiteral("5");
const QString kPost = QStringLiteral("501");

}  // namespace

class AcceptanceStoreTest : public QObject {
    Q_OBJECT
private slots:
    // Which complaints the post sees: live, untouched, of offices assigned to it now; each once.
    void pendingComplaints()
    {
        TestDatabase db(true);
        Clock::Pinned clock(pinned());
        AcceptanceStore store(db.db());
        // Demo: offices 1, 2 and 10 are assigned to 5/501; 00000012 was voided, 00000008 has no office.
        QCOMPARE(codes(store.pending(kDept, kPost)),
                 (QStringList{"00000001", "00000002", "00000003", "00000004", "00000005", "00000006", "00000007",
                              "00000009", "00000010"}));
        // A second current assignment of office 1 lists its complaints once; office 2 ended, office
        // 10 starts tomorrow.
        db.exec(
            QStringLiteral("INSERT INTO 投诉处理人设置 (管理处代号, 职能部门代号, 岗位代号, 设置日期)"
                           " VALUES ('1', '5', '501', '2025-06-01')"));
        db.exec(QStringLiteral("UPDATE 投诉处理人设置 SET 终止日期 = '2026-03-10' WHERE 管理处代号 = '2'"));
        db.exec(
            QStringLiteral("UPDATE 投诉处理人设置 SET 设置日期 = '2026-03-11' WHERE 管理处代号 = '10' AND "
                           "岗位代号 = '501'"));
        QCOMPARE(codes(store.pending(kDept, kPost)),
                 (QStringList{"00000001", "00000002", "00000004", "00000007", "00000009"}));
        // The ended trial assignment of office 10 to post 503 routes nothing.
        QVERIFY(store.pending(kDept, QStringLiteral("503")).isEmpty());
    }

    // One line per holder of the current step; a step nobody holds still lists its complaint.
    void complaintsInProgress()
    {
        TestDatabase db(true);
        Clock::Pinned clock(pinned());
        AcceptanceStore store(db.db());
        db.exec(QStringLiteral("DELETE FROM 投诉信息 WHERE 投诉编号 > '00000015' AND 处理状态 = '处理中'"));
        // 13: step 2 of post 301 open; 14: step 2 of post 1001 closed, so step 1 (own post) is
        // current; 15: step 3 of post 302 open, now held by two.
        db.exec(
            QStringLiteral("UPDATE 投诉信息处理 SET 处理结束时间 = '2026-03-09 00:00:00'"
                           " WHERE 投诉编号 = '00000014' AND 顺序号 = 2"));
        db.exec(QStringLiteral(
            "INSERT INTO 岗位员工new (员工代号, 岗位代号, 入岗日期) VALUES ('1011', '302', '2020-01-01')"));
        QCOMPARE(lines(store.inProgress(kDept, kPost)),
                 (QStringList{"00000013:王志强", "00000014:李建国", "00000015:郑伟", "00000015:钱晓东"}));
        db.exec(QStringLiteral("UPDATE 岗位员工new SET 离岗日期 = '2026-01-01' WHERE 岗位代号 = '301'"));
        db.exec(QStringLiteral("UPDATE 投诉信息 SET 处理时间 = '2026-03-09 00:00:00' WHERE 投诉编号 = '00000015'"));
        QCOMPARE(lines(store.inProgress(kDept, kPost)), (QStringList{"00000013:", "00000014:李建国"}));
    }

    // The rows each action writes.
    void finishAndForward()
    {
        TestDatabase db(true);
        Clock::Pinned clock(pinned());
        AcceptanceStore store(db.db());
        store.finishPending(QStringLiteral("00000001"), QStringLiteral("查实"), QString(), QStringLiteral("已答复"),
                            kDept, kPost);
        Rows rows = db.db().select(
            QStringLiteral("SELECT 处理状态, 处理结果, 处理时间, 调查情况 FROM 投诉信息 WHERE 投诉编号 = '00000001'"));
        QCOMPARE(rows.first().text(0) + rows.first().text(1) + rows.first().text(3),
                 QStringLiteral("处理完成已答复查实"));
        QCOMPARE(rows.first().dateTime(2), pinned());
        rows = db.db().select(
            QStringLiteral("SELECT 处理部门, 处理岗位, 处理意见, 处理结果, 顺序号, 接受时间, 处理结束时间"
                           " FROM 投诉信息处理 WHERE 投诉编号 = '00000001'"));
        QCOMPARE(rows.size(), 1);
        QVERIFY(rows.first().isNull(QStringLiteral("处理意见")));
        QCOMPARE(rows.first().text(0) + rows.first().text(1) + rows.first().text(3) + rows.first().text(4),
                 QStringLiteral("5501已答复1"));
        QCOMPARE(rows.first().dateTime(5), pinned());
        QCOMPARE(rows.first().dateTime(6), pinned());

        store.forward(QStringLiteral("00000002"), QStringLiteral("查实"), QStringLiteral("请工程部处理"), kDept, kPost,
                      QStringLiteral("3"), QStringLiteral("301"));
        QCOMPARE(db.value(QStringLiteral("SELECT 处理状态 || 调查情况 FROM 投诉信息 WHERE 投诉编号 = '00000002'"))
                     .toString(),
                 QStringLiteral("处理中查实"));
        QVERIFY(db.value(QStringLiteral("SELECT 处理时间 FROM 投诉信息 WHERE 投诉编号 = '00000002'")).isNull());
        rows =
            db.db().select(QStringLiteral("SELECT 处理部门, 处理岗位, 处理意见, 顺序号, 处理结束时间 FROM 投诉信息处理"
                                          " WHERE 投诉编号 = '00000002' ORDER BY 顺序号"));
        QCOMPARE(rows.size(), 2);
        QCOMPARE(rows.at(0).text(0) + rows.at(0).text(1) + rows.at(0).text(2) + rows.at(0).text(3),
                 QStringLiteral("5501请工程部处理1"));
        QCOMPARE(rows.at(1).text(0) + rows.at(1).text(1) + rows.at(1).text(2) + rows.at(1).text(3),
                 QStringLiteral("33012"));
        QVERIFY(rows.at(0).isNull(QStringLiteral("处理结束时间")) && rows.at(1).isNull(QStringLiteral("处理结束时间")));

        // Finishing in progress closes the user's own open step and leaves the forwarded one open.
        store.finishInProgress(QStringLiteral("00000002"), QStringLiteral("复查"), QStringLiteral("已修好"), kDept,
                               kPost);
        rows =
            db.db().select(QStringLiteral("SELECT 处理结果, 处理结束时间 FROM 投诉信息处理"
                                          " WHERE 投诉编号 = '00000002' ORDER BY 顺序号"));
        QCOMPARE(rows.at(0).text(0), QStringLiteral("已修好"));
        QCOMPARE(rows.at(0).dateTime(1), pinned());
        QVERIFY(rows.at(1).isNull(QStringLiteral("处理结束时间")));
        QCOMPARE(db.value(QStringLiteral(
                              "SELECT 处理状态 || 调查情况 || 处理结果 FROM 投诉信息 WHERE 投诉编号 = '00000002'"))
                     .toString(),
                 QStringLiteral("处理完成复查已修好"));
    }

    // Two clients on one complaint: the second is refused and writes nothing; a failed step insert
    // leaves the complaint untouched; a complaint voided meanwhile is refused.
    void nothingHappensTwice()
    {
        TestDatabase db(true);
        Database other;
        other.openSqlite(db.file());
        Clock::Pinned clock(pinned());
        AcceptanceStore mine(db.db());
        AcceptanceStore theirs(other);
        const QString code = QStringLiteral("00000001");
        theirs.forward(code, QStringLiteral("他们查实"), QStringLiteral("意见"), kDept, kPost, QStringLiteral("3"),
                       QStringLiteral("301"));
        QVERIFY_THROWS_EXCEPTION(ConcurrentChange, mine.finishPending(code, QStringLiteral("我查实"), QString(),
                                                                      QStringLiteral("答复"), kDept, kPost));
        QVERIFY_THROWS_EXCEPTION(ConcurrentChange,
                                 mine.forward(code, QStringLiteral("我查实"), QStringLiteral("意见"), kDept, kPost,
                                              QStringLiteral("4"), QStringLiteral("401")));
        QCOMPARE(db.count(QStringLiteral("投诉信息处理"), QStringLiteral("投诉编号 = ?"), {code}), 2);
        QCOMPARE(
            db.value(QStringLiteral("SELECT 处理状态 || 调查情况 FROM 投诉信息 WHERE 投诉编号 = ?"), {code}).toString(),
            QStringLiteral("处理中他们查实"));

        theirs.finishInProgress(code, QStringLiteral("他们复查"), QStringLiteral("他们答复"), kDept, kPost);
        QVERIFY_THROWS_EXCEPTION(ConcurrentChange, mine.finishInProgress(code, QStringLiteral("我复查"),
                                                                         QStringLiteral("我答复"), kDept, kPost));
        QCOMPARE(db.value(QStringLiteral("SELECT 处理结果 FROM 投诉信息 WHERE 投诉编号 = ?"), {code}).toString(),
                 QStringLiteral("他们答复"));

        other.execute(QStringLiteral("UPDATE 投诉信息 SET 撤销时间 = '2026-03-10' WHERE 投诉编号 = '00000002'"));
        QVERIFY_THROWS_EXCEPTION(ConcurrentChange,
                                 mine.finishPending(QStringLiteral("00000002"), QStringLiteral("查实"), QString(),
                                                    QStringLiteral("答复"), kDept, kPost));

        db.exec(
            QStringLiteral("CREATE TRIGGER no_step BEFORE INSERT ON 投诉信息处理 WHEN NEW.顺序号 = 2"
                           " BEGIN SELECT RAISE(ABORT, 'full'); END"));
        QVERIFY_THROWS_EXCEPTION(
            DbError, mine.forward(QStringLiteral("00000003"), QStringLiteral("查实"), QStringLiteral("意见"), kDept,
                                  kPost, QStringLiteral("3"), QStringLiteral("301")));
        QCOMPARE(db.value(QStringLiteral("SELECT 处理状态 FROM 投诉信息 WHERE 投诉编号 = '00000003'")).toString(),
                 QStringLiteral("尚未受理"));
        QCOMPARE(db.count(QStringLiteral("投诉信息处理"), QStringLiteral("投诉编号 = '00000003'")), 0);
    }
};

TAVIMOR_TEST(AcceptanceStoreTest)
#include "AcceptanceStoreTest.moc"

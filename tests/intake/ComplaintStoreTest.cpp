#include <QSet>
#include <QTest>

#include "IntakeFixture.h"
#include "TestRegistry.h"
#include "common/Session.h"
#include "data/Status.h"
#include "intake/ComplaintStore.h"

namespace {

ComplaintInput complaint(const QString &complainant = QStringLiteral("王海涛"))
{
    ComplaintInput c;
    c.complainant = complainant;
    c.content = QStringLiteral("楼上漏水");
    c.category = QStringLiteral("噪音 扰民");
    c.channel = QStringLiteral("电话");
    c.time = QDateTime(QDate(2026, 3, 5), QTime(10, 30));
    c.receiver = QStringLiteral("张晓燕");
    c.officeCode = QStringLiteral("1");
    c.deptCode = QStringLiteral("5");
    c.deptName = QStringLiteral("翠苑物业服务中心");
    return c;
}

// A complaint row written directly, as another station or an earlier version may have left it.
void addRow(TestDatabase &db, const QString &code, qint64 serial, const QString &time, const QVariant &finished,
            const QString &complainant = QStringLiteral("某人"), const QString &dept = QStringLiteral("5"),
            const QVariant &voided = QVariant())
{
    db.exec(
        QStringLiteral("INSERT INTO 投诉信息 (投诉编号, 流水号, 部门编号, 投诉人, 投诉时间, 处理时间, "
                       "处理状态, 撤销时间)"
                       " VALUES (?, ?, ?, ?, ?, ?, ?, ?)"),
        {code, serial, dept, complainant, time, finished.isNull() ? QVariant(QMetaType::fromType<QString>()) : finished,
         finished.isNull() ? Status::notAccepted() : Status::finished(),
         voided.isNull() ? QVariant(QMetaType::fromType<QString>()) : voided});
}

QStringList codes(ComplaintStore &store, const RegisterQuery &query, const QString &dept = QStringLiteral("5"))
{
    QStringList list;
    store.scanRegister(dept, query, [&](QString *cells, bool) { list << cells[RegisterColumn::Code]; });
    return list;
}

RegisterQuery range(const QDate &from, const QDate &to)
{
    RegisterQuery q;
    q.kind = RegisterQuery::Range;
    q.from = from;
    q.to = to;
    return q;
}

RegisterQuery byComplainant(const QString &text)
{
    RegisterQuery q;
    q.kind = RegisterQuery::Complainant;
    q.complainant = text;
    return q;
}

}  // namespace

class ComplaintStoreTest : public QObject {
    Q_OBJECT
private slots:
    void codesFollowTheHighestSerial()
    {
        TestDatabase db;
        ComplaintStore store(gConn);
        const SavedComplaint first = store.insert(complaint());
        QCOMPARE(first.serial, 1);
        QCOMPARE(first.code, QStringLiteral("00000001"));

        // Highest serial 41 while a row already holds code 00000042: the code is skipped.
        addRow(db, QStringLiteral("00000041"), 41, QStringLiteral("2026-03-01 10:00:00"), {});
        addRow(db, QStringLiteral("00000042"), 7, QStringLiteral("2026-03-01 10:00:00"), {});
        const SavedComplaint next = store.insert(complaint());
        QCOMPARE(next.serial, 43);
        QCOMPARE(next.code, QStringLiteral("00000043"));

        // Voided complaints and other departments count too; past 99999999 the code grows.
        addRow(db, QStringLiteral("123456788"), 123456788, QStringLiteral("2026-03-01 10:00:00"), {},
               QStringLiteral("某人"), QStringLiteral("6"), QStringLiteral("2026-03-02 00:00:00"));
        const SavedComplaint big = store.insert(complaint());
        QCOMPARE(big.code, QStringLiteral("123456789"));
        QCOMPARE(db.value(QStringLiteral("SELECT 流水号 FROM 投诉信息 WHERE ID = ?"), {big.id}).toLongLong(),
                 123456789LL);
    }

    void insertStoresTheFieldsAndNulls()
    {
        TestDatabase db;
        ComplaintStore store(gConn);
        ComplaintInput c = complaint(QStringLiteral("   "));  // blanks are a complainant
        c.officeCode.clear();
        c.roomId = 107;
        const SavedComplaint saved = store.insert(c);
        const Rows rows = gConn.select(QStringLiteral("SELECT * FROM 投诉信息 WHERE ID = ?"), {saved.id});
        QCOMPARE(rows.size(), 1);
        const Row row = rows.first();
        QCOMPARE(row.text(QStringLiteral("投诉人")), QStringLiteral("   "));
        QCOMPARE(row.text(QStringLiteral("投诉类别")), QStringLiteral("噪音 扰民"));
        QCOMPARE(row.text(QStringLiteral("处理状态")), Status::notAccepted());
        QCOMPARE(row.text(QStringLiteral("部门编号")), QStringLiteral("5"));
        QCOMPARE(row.text(QStringLiteral("部门名称")), QStringLiteral("翠苑物业服务中心"));
        QCOMPARE(row.dateTime(QStringLiteral("投诉时间")), QDateTime(QDate(2026, 3, 5), QTime(10, 30)));
        QCOMPARE(row.number(QStringLiteral("S_ID")), 107);
        for (const char *column : {"地址", "联系电话", "管理处代号", "处理结果", "处理时间", "调查情况", "撤销时间"})
            QVERIFY2(row.isNull(QString::fromUtf8(column)), column);

        // Without a time the column stays NULL, and the register shows an empty cell.
        c.time = QDateTime();
        const SavedComplaint untimed = store.insert(c);
        QVERIFY(gConn.select(QStringLiteral("SELECT 投诉时间 FROM 投诉信息 WHERE ID = ?"), {untimed.id})
                    .first()
                    .isNull(QStringLiteral("投诉时间")));
        QString cells[RegisterColumn::Count];
        bool open = false;
        QVERIFY(store.registerRow(saved.id, cells, &open));
        QVERIFY(open);
        QCOMPARE(cells[RegisterColumn::Address], QString());
        QCOMPARE(cells[RegisterColumn::Time], QStringLiteral("2026-03-05 10:30:00"));
        QCOMPARE(cells[RegisterColumn::Room], QStringLiteral("107"));
        QCOMPARE(cells[RegisterColumn::Id], QString::number(saved.id));
    }

    void updateKeepsSerialStatusAndHandling()
    {
        TestDatabase db;
        ComplaintStore store(gConn);
        const SavedComplaint saved = store.insert(complaint());
        db.exec(QStringLiteral("UPDATE 投诉信息 SET 处理状态 = ?, 调查情况 = ? WHERE ID = ?"),
                {Status::inProgress(), QStringLiteral("已核实"), saved.id});

        ComplaintInput edit = complaint(QStringLiteral("李秀英"));
        edit.deptCode = QStringLiteral("2");
        edit.deptName = QStringLiteral("客户服务部");
        edit.address = QStringLiteral("翠苑小区8幢1单元102室");
        edit.officeCode = QStringLiteral("2");
        QCOMPARE(store.update(saved.code, edit), std::optional<qint64>(saved.id));
        const Row row = gConn.select(QStringLiteral("SELECT * FROM 投诉信息 WHERE ID = ?"), {saved.id}).first();
        QCOMPARE(row.text(QStringLiteral("投诉编号")), saved.code);
        QCOMPARE(row.number(QStringLiteral("流水号")), saved.serial);
        QCOMPARE(row.text(QStringLiteral("处理状态")), Status::inProgress());
        QCOMPARE(row.text(QStringLiteral("调查情况")), QStringLiteral("已核实"));
        QCOMPARE(row.text(QStringLiteral("部门编号")), QStringLiteral("2"));
        QCOMPARE(row.text(QStringLiteral("部门名称")), QStringLiteral("客户服务部"));
        QCOMPARE(row.text(QStringLiteral("投诉人")), QStringLiteral("李秀英"));
        QCOMPARE(row.text(QStringLiteral("管理处代号")), QStringLiteral("2"));

        QVERIFY(!store.update(QStringLiteral("99999999"), edit).has_value());
    }

    void voidOnlyWhileNotAccepted()
    {
        TestDatabase db;
        PinnedClock clock(QDateTime(QDate(2026, 3, 15), QTime(9, 0)));
        ComplaintStore store(gConn);
        const qint64 pending = store.insert(complaint()).id;
        const qint64 forwarded = store.insert(complaint()).id;
        const qint64 finishedOpenStatus = store.insert(complaint()).id;
        db.exec(QStringLiteral("UPDATE 投诉信息 SET 处理状态 = ? WHERE ID = ?"), {Status::inProgress(), forwarded});
        db.exec(QStringLiteral("UPDATE 投诉信息 SET 处理时间 = ? WHERE ID = ?"),
                {QStringLiteral("2026-03-14 10:00:00"), finishedOpenStatus});

        QCOMPARE(store.voidComplaint(pending), ComplaintStore::VoidResult::Voided);
        QCOMPARE(db.value(QStringLiteral("SELECT 撤销时间 FROM 投诉信息 WHERE ID = ?"), {pending}).toString(),
                 QStringLiteral("2026-03-15 00:00:00"));
        // Voiding again changes nothing: the first void date stays.
        PinnedClock later(QDateTime(QDate(2026, 3, 20), QTime(9, 0)));
        QCOMPARE(store.voidComplaint(pending), ComplaintStore::VoidResult::Missing);
        QCOMPARE(db.value(QStringLiteral("SELECT 撤销时间 FROM 投诉信息 WHERE ID = ?"), {pending}).toString(),
                 QStringLiteral("2026-03-15 00:00:00"));

        QCOMPARE(store.voidComplaint(forwarded), ComplaintStore::VoidResult::NotVoidable);
        QCOMPARE(store.voidComplaint(finishedOpenStatus), ComplaintStore::VoidResult::NotVoidable);
        QCOMPARE(store.voidComplaint(987654), ComplaintStore::VoidResult::Missing);
        QCOMPARE(db.count(QStringLiteral("投诉信息"), QStringLiteral("撤销时间 IS NOT NULL")), 1);
    }

    void registerPeriods()
    {
        TestDatabase db;
        ComplaintStore store(gConn);
        const QString done = QStringLiteral("2027-02-01 10:00:00");
        addRow(db, QStringLiteral("A1"), 1, QStringLiteral("2026-02-28 23:59:00"), done);
        addRow(db, QStringLiteral("A2"), 2, QStringLiteral("2026-03-01 00:00:00"), done);
        addRow(db, QStringLiteral("A3"), 3, QStringLiteral("2026-03-31 23:59:00"), done);
        addRow(db, QStringLiteral("A4"), 4, QStringLiteral("2026-04-01 00:00:00"), done);
        addRow(db, QStringLiteral("A5"), 5, QStringLiteral("2026-04-01 00:01:00"), done);
        addRow(db, QStringLiteral("B1"), 6, QStringLiteral("2025-06-01 08:00:00"), {});  // open, long ago
        addRow(db, QStringLiteral("C1"), 7, QStringLiteral("2026-03-10 08:00:00"), {}, QStringLiteral("某人"),
               QStringLiteral("5"), QStringLiteral("2026-03-11 00:00:00"));  // voided
        addRow(db, QStringLiteral("C2"), 8, QStringLiteral("2026-03-10 08:00:00"), {}, QStringLiteral("某人"),
               QStringLiteral("6"));  // another department
        addRow(db, QStringLiteral("D1"), 9, QStringLiteral("2026-11-30 23:59:00"), done);
        addRow(db, QStringLiteral("D2"), 10, QStringLiteral("2026-12-01 00:00:00"), done);
        addRow(db, QStringLiteral("D3"), 11, QStringLiteral("2027-01-01 00:00:00"), done);
        addRow(db, QStringLiteral("D4"), 12, QStringLiteral("2027-01-01 00:00:01"), done);

        RegisterQuery month;
        {
            PinnedClock clock(QDateTime(QDate(2026, 3, 15), QTime(12, 0)));
            QCOMPARE(codes(store, month), QStringList({"A2", "A3", "A4", "B1"}));
        }
        {
            PinnedClock clock(QDateTime(QDate(2026, 3, 31), QTime(23, 59)));
            QCOMPARE(codes(store, month), QStringList({"A2", "A3", "A4", "B1"}));
        }
        {
            PinnedClock clock(QDateTime(QDate(2026, 12, 31), QTime(8, 0)));
            QCOMPARE(codes(store, month), QStringList({"B1", "D2", "D3"}));
        }
        // The whole last day, up to and including the midnight after it.
        QCOMPARE(codes(store, range(QDate(2026, 3, 1), QDate(2026, 3, 31))), QStringList({"A2", "A3", "A4"}));
        QCOMPARE(codes(store, range(QDate(2026, 2, 28), QDate(2026, 2, 28))), QStringList({"A1", "A2"}));
        QCOMPARE(codes(store, range(QDate(2026, 12, 1), QDate(2026, 12, 31))), QStringList({"D2", "D3"}));
        RegisterQuery all;
        all.kind = RegisterQuery::All;
        QCOMPARE(codes(store, all).size(), 10);
        QCOMPARE(codes(store, all, QStringLiteral("6")), QStringList({"C2"}));
    }

    void registerCells()
    {
        TestDatabase db;
        ComplaintStore store(gConn);
        addRow(db, QStringLiteral("00000001"), 1, QStringLiteral("2026-03-01 00:00:00"),
               QStringLiteral("2026-03-02 14:05:00"));
        db.exec(QStringLiteral("UPDATE 投诉信息 SET 管理处代号 = '10', 处理结果 = '已处理'"));
        RegisterQuery all;
        all.kind = RegisterQuery::All;
        int rows = 0;
        store.scanRegister(QStringLiteral("5"), all, [&](QString *cells, bool open) {
            ++rows;
            QVERIFY(!open);
            QCOMPARE(cells[RegisterColumn::Time], QStringLiteral("2026-03-01"));  // midnight shows the date
            QCOMPARE(cells[RegisterColumn::Finished], QStringLiteral("2026-03-02 14:05"));
            QCOMPARE(cells[RegisterColumn::Result], QStringLiteral("已处理"));
            QCOMPARE(cells[RegisterColumn::Office], QStringLiteral("10"));
            QCOMPARE(cells[RegisterColumn::Room], QString());
            QCOMPARE(cells[RegisterColumn::Status], Status::finished());
        });
        QCOMPARE(rows, 1);
    }

    void complainantSearchIsLiteral()
    {
        TestDatabase db;
        ComplaintStore store(gConn);
        addRow(db, QStringLiteral("1"), 1, QStringLiteral("2019-01-01 08:00:00"), QStringLiteral("2019-01-02 08:00:00"),
               QStringLiteral("王海涛"));
        addRow(db, QStringLiteral("2"), 2, QStringLiteral("2026-03-01 08:00:00"), {}, QStringLiteral("老王"));
        addRow(db, QStringLiteral("3"), 3, QStringLiteral("2026-03-01 08:00:00"), {}, QStringLiteral("100%满意"));
        addRow(db, QStringLiteral("4"), 4, QStringLiteral("2026-03-01 08:00:00"), {}, QStringLiteral("A_B公司"));
        addRow(db, QStringLiteral("5"), 5, QStringLiteral("2026-03-01 08:00:00"), {}, QStringLiteral("O'Brien"));
        addRow(db, QStringLiteral("6"), 6, QStringLiteral("2026-03-01 08:00:00"), {}, QStringLiteral("AxB!"));

        QCOMPARE(codes(store, byComplainant(QStringLiteral("王"))), QStringList({"1", "2"}));
        QCOMPARE(codes(store, byComplainant(QStringLiteral("%"))), QStringList({"3"}));
        QCOMPARE(codes(store, byComplainant(QStringLiteral("_"))), QStringList({"4"}));
        QCOMPARE(codes(store, byComplainant(QStringLiteral("'"))), QStringList({"5"}));
        QCOMPARE(codes(store, byComplainant(QStringLiteral("B!"))), QStringList({"6"}));
    }

    void codeListsAndReceivers()
    {
        TestDatabase db(true);
        ComplaintStore store(gConn);
        const QStringList categories = store.categories();
        QCOMPARE(categories.size(), 7);
        QCOMPARE(categories.at(2), QStringLiteral("03 噪音 扰民"));
        QCOMPARE(store.channels().first(), QStringLiteral("01 电话"));
        // One entry per post of the department, by post code, ended posts included.
        QCOMPARE(store.receivers(QStringLiteral("5")), QStringList({"李建国", "张晓燕", "钱晓东", "黄磊"}));
    }
};

TAVIMOR_TEST(ComplaintStoreTest)
#include "ComplaintStoreTest.moc"

#include <QTest>

#include "IntakeFixture.h"
#include "TestRegistry.h"
#include "common/Session.h"
#include "intake/PropertyRegister.h"

namespace {

void exec(TestDatabase &db, const char *sql) { db.exec(QString::fromUtf8(sql)); }

// One residential office with three buildings and one commercial office with let units.
void fillRegister(TestDatabase &db)
{
    exec(db,
         "INSERT INTO 设置管理处 (GYD_DH, Gyd_name, GYD_DZ, GYD_TEL, 商用物业, 对应部门代号) VALUES"
         " ('2', '二期', NULL, NULL, 0, '5'), ('10', '商业街', '路66号', '0571-1', 1, '5'),"
         " ('1', '一期', '路88号', '0571-2', 0, '5'), ('3', '停车场', NULL, NULL, 2, '5'),"
         " ('4', '广场', NULL, NULL, 1, '6')");
    exec(db,
         "INSERT INTO 楼表 (L_ID, 管理处, 地址1, 字1, 地址2, 字2, 地址3, 字3, 地址4, 字4) VALUES"
         " (1, '1', '翠苑路', NULL, '12号', NULL, NULL, NULL, NULL, NULL),"
         " (2, '1', '翠苑路', NULL, '8号', NULL, NULL, NULL, NULL, NULL),"
         " (3, '1', '翠苑路', NULL, '9', NULL, '1', '单元', NULL, NULL),"
         " (4, '10', '商业街', NULL, 'A', '座', NULL, NULL, NULL, NULL)");
    exec(db, "INSERT INTO FWXZK (FWXZ_dh, FWXZ_xz) VALUES ('01', '住宅'), ('02', '商铺')");
    exec(db,
         "INSERT INTO 室表 (S_ID, L_ID, 室, 字, 房屋性质) VALUES"
         " (11, 2, '1101', '室', '01'), (12, 2, '201', '室', '01'), (13, 2, '101', '室', '01'),"
         " (14, 2, '102', '室', '01'), (15, 2, NULL, '室', '01'), (16, 2, '301', '室', '99'),"
         " (41, 4, 'A101', NULL, '02'), (42, 4, 'A102', NULL, '02'), (43, 4, 'A103', NULL, '02'),"
         " (44, 4, 'A104', NULL, '02'), (45, 4, 'A105', NULL, '02')");
    exec(db,
         "INSERT INTO 业主表 (ZH_ID, S_ID, 姓名, 联系方式, 说明) VALUES"
         " (1, 11, '刘强', '138', '新进户'), (2, 12, '李秀英', NULL, '新进户'), (3, 13, '陈建华', '139', "
         "'新进户'),"
         " (4, 13, '吴晓峰', '137', '已迁出'), (5, 14, '王五', '136', '已迁出'), (6, 15, '无号', '135', "
         "'新进户'),"
         " (7, 16, '马丽', '134', '新进户')");
    exec(db,
         "INSERT INTO 合同信息 (ID, 合同编号, 座落, 对方单位, 区域代号, 合同生效日期, 合同中止日期) VALUES"
         " (1, 'HT1', '', '便利店', '10', '2023-01-01 00:00:00', NULL),"
         " (2, 'HT2', '', '便利店二店', '10', '2024-01-01 00:00:00', NULL),"
         " (3, 'HT3', '', '茶餐厅', '10', '2021-01-01 00:00:00', '2024-04-30 00:00:00'),"
         " (4, 'HT4', '', '文具', '10', NULL, NULL),"
         " (5, 'HT5', '', '别处', '4', '2022-01-01 00:00:00', NULL),"
         " (6, 'HT6', '', '花店', '10', '2023-03-01 00:00:00', NULL)");
    exec(db,
         "INSERT INTO 合同单元信息 (合同ID, 单元ID) VALUES"
         " (1, 41), (2, 41), (3, 42), (4, 43), (5, 44), (6, 45)");
}

}  // namespace

class PropertyRegisterTest : public QObject {
    Q_OBJECT
private slots:
    void officesOfTheDepartmentInNaturalOrder()
    {
        TestDatabase db;
        fillRegister(db);
        PropertyRegister reg(gConn);
        const QVector<Office> offices = reg.offices(QStringLiteral("5"));
        QStringList codes;
        for (const Office &o : offices) codes << o.code;
        QCOMPARE(codes, QStringList({"1", "2", "10"}));
        QCOMPARE(offices.at(1).address, QString());
        QCOMPARE(offices.at(2).commercial, 1);
        QVERIFY(reg.offices(QStringLiteral("9")).isEmpty());
    }

    void buildingsSortPartByPart()
    {
        TestDatabase db;
        fillRegister(db);
        PropertyRegister reg(gConn);
        QStringList texts;
        for (const Building &b : reg.buildings(QStringLiteral("1"))) texts << b.address;
        // Missing words contribute nothing; numbers sort by length first.
        QCOMPARE(texts, QStringList({"翠苑路91单元", "翠苑路8号", "翠苑路12号"}));
    }

    void paddedPartsLeaveNoBlanksInTheAddress()
    {
        // The suite may keep the parts in CHAR columns, which come back padded with blanks.
        TestDatabase db;
        fillRegister(db);
        exec(db,
             "INSERT INTO 楼表 (L_ID, 管理处, 地址1, 字1, 地址2, 字2) VALUES (5, '2', '翠苑路    ', '  ', '7    ', '幢 "
             "')");
        exec(db, "INSERT INTO 室表 (S_ID, L_ID, 室, 字, 房屋性质) VALUES (51, 5, '502   ', '室  ', '01')");
        exec(db, "INSERT INTO 业主表 (ZH_ID, S_ID, 姓名, 说明) VALUES (51, 51, '赵', '新进户')");
        PropertyRegister reg(gConn);
        QCOMPARE(reg.buildings(QStringLiteral("2")).value(0).address, QStringLiteral("翠苑路7幢"));
        QCOMPARE(reg.householder(51)->address, QStringLiteral("翠苑路7幢502室"));
    }

    void roomsWithTheirCurrentHouseholder()
    {
        TestDatabase db;
        fillRegister(db);
        PropertyRegister reg(gConn);
        QStringList texts;
        for (const RoomEntry &r : reg.rooms(2)) texts << r.text;
        QCOMPARE(texts, QStringList({" 无号", "101室 陈建华", "201室 李秀英", "301室 马丽", "1101室 刘强"}));

        const std::optional<Householder> h = reg.householder(2);
        QVERIFY(h.has_value());
        QCOMPARE(h->name, QStringLiteral("李秀英"));
        QCOMPARE(h->address, QStringLiteral("翠苑路8号201室"));
        QCOMPARE(h->telephone, QString());  // NULL telephone
        QCOMPARE(h->roomId, 12);
        // A room whose property nature is not registered gives nothing.
        QVERIFY(!reg.householder(7).has_value());
        QVERIFY(!reg.householder(999).has_value());
    }

    void letUnitsOfRunningContractsOnce()
    {
        TestDatabase db;
        fillRegister(db);
        PropertyRegister reg(gConn);
        const QVector<LetUnit> units = reg.letUnits(QStringLiteral("10"), 4);
        QStringList texts;
        for (const LetUnit &u : units) texts << u.room + QLatin1Char(' ') + u.tenant;
        // A101 is let under two running contracts; A102 terminated, A103 not in effect, A104 another office.
        QCOMPARE(texts, QStringList({"A101 便利店", "A105 花店"}));
        QCOMPARE(units.first().unitId, 41);
    }
};

TAVIMOR_TEST(PropertyRegisterTest)
#include "PropertyRegisterTest.moc"

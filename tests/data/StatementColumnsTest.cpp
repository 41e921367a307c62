#include <QSet>
#include <QTest>

#include "TestRegistry.h"
#include "data/StatementColumns.h"

namespace {

// "table.column" of each mark, "" for a mark that meets no known column.
QStringList met(const QString &sql)
{
    static const QSet<QString> catalogue = {
        QStringLiteral("岗位员工new.员工代号"), QStringLiteral("岗位员工new.岗位代号"),
        QStringLiteral("岗位员工new.离岗日期"), QStringLiteral("岗位信息new.岗位代号"),
        QStringLiteral("合同信息.区域代号"),    QStringLiteral("室表.l_id"),
        QStringLiteral("投诉信息.投诉编号"),    QStringLiteral("投诉信息处理.投诉编号"),
        QStringLiteral("投诉信息.回访人"),      QStringLiteral("投诉信息.联系电话"),
        QStringLiteral("投诉信息.处理状态"),
    };
    QStringList out;
    const auto has = [](const QString &table, const QString &column) {
        return catalogue.contains(table + QLatin1Char('.') + column.toLower()) ||
               catalogue.contains(table + QLatin1Char('.') + column);
    };
    for (const StatementColumns::Met &m : StatementColumns::columnsMet(sql, has))
        out << (m.table.isEmpty() ? QString() : m.table + QLatin1Char('.') + m.column);
    return out;
}

}  // namespace

class StatementColumnsTest : public QObject {
    Q_OBJECT
private slots:
    void marksMeetTheColumnsTheyAreComparedWith();
    void marksOfNoSingleColumnMeetNone();
};

void StatementColumnsTest::marksMeetTheColumnsTheyAreComparedWith()
{
    // Qualified by name and by alias, bare in a statement of one table that has the column, in a
    // list, in a SET.
    QCOMPARE(met(QStringLiteral("SELECT 1 FROM 岗位员工new INNER JOIN 岗位信息new ON 岗位员工new.岗位代号 ="
                                " 岗位信息new.岗位代号 WHERE 岗位员工new.员工代号 = ? AND (离岗日期 IS NULL OR"
                                " 离岗日期 >= ?)")),
             QStringList({QStringLiteral("岗位员工new.员工代号"), QStringLiteral("岗位员工new.离岗日期")}));
    QCOMPARE(
        met(QStringLiteral("SELECT HT.合同编号 FROM 合同信息 HT INNER JOIN 合同单元信息 AS HD ON HT.ID ="
                           " HD.合同ID INNER JOIN 室表 S ON HD.单元ID = S.S_ID WHERE HT.区域代号=? AND S.L_ID = ?")),
        QStringList({QStringLiteral("合同信息.区域代号"), QStringLiteral("室表.L_ID")}));
    QCOMPARE(met(QStringLiteral("SELECT 1 FROM 岗位员工new WHERE 岗位代号 IN (?, ?,?)")),
             QStringList(3, QStringLiteral("岗位员工new.岗位代号")));
    QCOMPARE(met(QStringLiteral("UPDATE 投诉信息 SET 回访人 = ?, 备注 = ? WHERE 投诉编号 = ?")),
             QStringList({QStringLiteral("投诉信息.回访人"), QString(), QStringLiteral("投诉信息.投诉编号")}));
}

void StatementColumnsTest::marksOfNoSingleColumnMeetNone()
{
    // A "?" in quoted text or a comment is no mark; an expression, LIKE, a column that two of the
    // statement's tables have, and an alias of a derived table meet no known column.
    QCOMPARE(met(QStringLiteral("SELECT '?' AS a, [x?] FROM 投诉信息 -- ?\n WHERE 投诉编号 = ? /* ? */")),
             QStringList({QStringLiteral("投诉信息.投诉编号")}));
    QCOMPARE(met(QStringLiteral("SELECT 1 FROM 投诉信息 WHERE REPLACE(联系电话, '-', '') = ? AND 联系电话 LIKE ?")),
             QStringList({QString(), QString()}));
    QCOMPARE(met(QStringLiteral("SELECT 1 FROM 投诉信息 INNER JOIN 投诉信息处理 ON 投诉信息.投诉编号 ="
                                " 投诉信息处理.投诉编号 WHERE 投诉编号 = ?")),
             QStringList({QString()}));
    QCOMPARE(met(QStringLiteral("SELECT 1 FROM (SELECT 处理状态 FROM 投诉信息) w WHERE w.处理状态 = ?")),
             QStringList({QString()}));
    QCOMPARE(met(QStringLiteral("SELECT SUM(CASE WHEN 处理状态 = ? THEN 1 ELSE 0 END) FROM 投诉信息")),
             QStringList({QStringLiteral("投诉信息.处理状态")}));
}

TAVIMOR_TEST(StatementColumnsTest)
#include "StatementColumnsTest.moc"

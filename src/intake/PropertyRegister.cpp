#include "PropertyRegister.h"

#include <QSet>

#include "data/Database.h"

QVector<Office> PropertyRegister::offices(const QString &deptCode)
{
    const Rows rows = m_db.select(QStringLiteral("SELECT GYD_DH, Gyd_name, GYD_DZ, GYD_TEL, 商用物业 FROM 设置管理处"
                                                 " WHERE (商用物业 = 0 OR 商用物业 = 1) AND 对应部门代号 = ?"
                                                 " ORDER BY ") +
                                      m_db.dialect().naturalOrder(QStringLiteral("GYD_DH")),
                                  {deptCode});
    QVector<Office> list;
    list.reserve(rows.size());
    for (const Row row : rows)
        list.append(Office{row.text(QStringLiteral("GYD_DH")), row.text(QStringLiteral("Gyd_name")),
                           row.text(QStringLiteral("GYD_DZ")), row.text(QStringLiteral("GYD_TEL")),
                           int(row.number(QStringLiteral("商用物业")))});
    return list;
}

QString PropertyRegister::buildingAddressSql() const
{
    // The suite may keep the parts in fixed-width columns: their padding stays out of the address.
    QStringList parts;
    for (int i = 1; i <= 4; ++i) {
        parts << QStringLiteral("RTRIM(COALESCE(楼表.地址%1, ''))").arg(i);
        parts << QStringLiteral("RTRIM(COALESCE(楼表.字%1, ''))").arg(i);
    }
    return m_db.dialect().concat(parts);
}

QVector<Building> PropertyRegister::buildings(const QString &officeCode)
{
    const Dialect &d = m_db.dialect();
    QStringList order;
    for (int i = 1; i <= 4; ++i) order << d.naturalOrder(QStringLiteral("地址%1").arg(i));
    const Rows rows = m_db.select(QStringLiteral("SELECT ") + buildingAddressSql() +
                                      QStringLiteral(" AS DZ, L_ID FROM 楼表 WHERE 管理处 = ? ORDER BY ") +
                                      order.join(QStringLiteral(", ")),
                                  {officeCode});
    QVector<Building> list;
    list.reserve(rows.size());
    for (const Row row : rows)
        list.append(Building{row.number(QStringLiteral("L_ID")), row.text(QStringLiteral("DZ"))});
    return list;
}

QVector<RoomEntry> PropertyRegister::rooms(qint64 buildingId)
{
    const Rows rows = m_db.select(QStringLiteral("SELECT 室表.S_ID, 室表.室, 室表.字, 业主表.姓名, 业主表.ZH_ID"
                                                 " FROM 室表 LEFT JOIN 业主表 ON 室表.S_ID = 业主表.S_ID"
                                                 " WHERE 业主表.说明 = ? AND 室表.L_ID = ? ORDER BY ") +
                                      m_db.dialect().naturalOrder(QStringLiteral("室表.室")),
                                  {QStringLiteral("新进户"), buildingId});
    QVector<RoomEntry> list;
    list.reserve(rows.size());
    for (const Row row : rows) {
        // A room without a number shows no room word either.
        const QString room = row.isNull(QStringLiteral("室")) ? QString()
                                                              : Value::unpadded(row.value(QStringLiteral("室"))) +
                                                                    Value::unpadded(row.value(QStringLiteral("字")));
        list.append(RoomEntry{row.number(QStringLiteral("S_ID")), row.number(QStringLiteral("ZH_ID")),
                              room + QLatin1Char(' ') + row.text(QStringLiteral("姓名"))});
    }
    return list;
}

QString PropertyRegister::householderAddressSql() const
{
    return m_db.dialect().concat({buildingAddressSql(), QStringLiteral("RTRIM(COALESCE(室表.室, ''))"),
                                  QStringLiteral("RTRIM(COALESCE(室表.字, ''))")});
}

std::optional<Householder> PropertyRegister::householder(qint64 householderId)
{
    const Rows rows = m_db.select(QStringLiteral("SELECT ") + householderAddressSql() +
                                      QStringLiteral(" AS 业户地址, 楼表.L_ID, 室表.S_ID, 业主表.ZH_ID,"
                                                     " 业主表.姓名 AS 业户名称, FWXZK.FWXZ_xz AS 房屋性质,"
                                                     " 业主表.联系方式 AS 联系电话"
                                                     " FROM 楼表 INNER JOIN 室表 ON 楼表.L_ID = 室表.L_ID"
                                                     " INNER JOIN 业主表 ON 业主表.S_ID = 室表.S_ID"
                                                     " INNER JOIN FWXZK ON 室表.房屋性质 = FWXZK.FWXZ_dh"
                                                     " WHERE 业主表.ZH_ID = ?"),
                                  {householderId});
    if (rows.isEmpty()) return std::nullopt;
    const Row row = rows.first();
    return Householder{row.number(QStringLiteral("ZH_ID")), row.number(QStringLiteral("S_ID")),
                       row.text(QStringLiteral("业户名称")), row.text(QStringLiteral("业户地址")),
                       row.text(QStringLiteral("联系电话"))};
}

QVector<LetUnit> PropertyRegister::letUnits(const QString &officeCode, qint64 buildingId)
{
    const Rows rows =
        m_db.select(QStringLiteral("SELECT HT.合同编号, HT.座落, HT.对方单位, HT.合同中止日期, HD.单元ID, S.室"
                                   " FROM 合同信息 HT INNER JOIN 合同单元信息 HD ON HT.ID = HD.合同ID"
                                   " INNER JOIN 室表 S ON HD.单元ID = S.S_ID"
                                   " WHERE HT.区域代号 = ? AND S.L_ID = ?"
                                   " AND HT.合同中止日期 IS NULL AND HT.合同生效日期 IS NOT NULL"
                                   " ORDER BY ") +
                        m_db.dialect().naturalOrder(QStringLiteral("S.室")) + QStringLiteral(", HT.合同编号"),
                    {officeCode, buildingId});
    // Each unit once, whichever of its running contracts comes first (the rows are made unique
    // here rather than with DISTINCT, which SQL Server refuses beside an ORDER BY on len()).
    QVector<LetUnit> list;
    QSet<qint64> seen;
    for (const Row row : rows) {
        const qint64 unit = row.number(QStringLiteral("单元ID"));
        if (seen.contains(unit)) continue;
        seen.insert(unit);
        list.append(
            LetUnit{unit, Value::unpadded(row.value(QStringLiteral("室"))), row.text(QStringLiteral("对方单位"))});
    }
    return list;
}

QString PropertyRegister::telephoneLookupSql() const
{
    // The householders whose telephone holds the digits are found first, in one pass over the
    // householders (a plain LIKE: stripping separators from every stored number would cost
    // several times as much), and only they are joined to their rooms, buildings and offices.
    // The same rows as the address panel picks from (a registered property nature), so that
    // choosing an entry always fills the fields as picking the room does.
    return QStringLiteral("SELECT ") + householderAddressSql() +
           QStringLiteral(
               " AS 业户地址, 楼表.管理处, 室表.S_ID, 业主表.ZH_ID, 业主表.姓名, 业主表.联系方式"
               " FROM 业主表 INNER JOIN 室表 ON 业主表.S_ID = 室表.S_ID"
               " INNER JOIN 楼表 ON 楼表.L_ID = 室表.L_ID"
               " INNER JOIN 设置管理处 ON 设置管理处.GYD_DH = 楼表.管理处"
               " INNER JOIN FWXZK ON 室表.房屋性质 = FWXZK.FWXZ_dh"
               " WHERE 业主表.ZH_ID IN (SELECT h.ZH_ID FROM 业主表 h WHERE h.说明 = ? AND h.联系方式 LIKE ?") +
           Dialect::likeEscape() +
           QStringLiteral(
               ") AND 设置管理处.对应部门代号 = ? AND (设置管理处.商用物业 = 0 OR 设置管理处.商用物业 = 1)"
               " ORDER BY ") +
           m_db.dialect().naturalOrder(QStringLiteral("楼表.管理处")) + QStringLiteral(", 楼表.L_ID, ") +
           m_db.dialect().naturalOrder(QStringLiteral("室表.室")) + QStringLiteral(", 业主表.ZH_ID");
}

QVariantList PropertyRegister::telephoneLookupParams(const QString &deptCode, const QString &digits)
{
    return {QStringLiteral("新进户"), Dialect::containsPattern(digits), deptCode};
}

QVector<TelephoneMatch> PropertyRegister::householdersByTelephone(const QString &deptCode, const QString &digits,
                                                                  int limit, bool *more)
{
    QVector<TelephoneMatch> list;
    int matched = 0;
    m_db.scan(telephoneLookupSql(), telephoneLookupParams(deptCode, digits), [&](const ScanRow &q) {
        if (++matched > limit) return;
        list.append(
            TelephoneMatch{Householder{q.value(3).toLongLong(), q.value(2).toLongLong(), Value::text(q.value(4)),
                                       Value::text(q.value(0)), Value::text(q.value(5))},
                           Value::text(q.value(1))});
    });
    if (more) *more = matched > limit;
    return list;
}

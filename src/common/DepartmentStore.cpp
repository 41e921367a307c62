#include "DepartmentStore.h"

#include "CodeName.h"
#include "data/Database.h"

namespace {

QString departmentQuery(PickerVariant variant)
{
    // The parent of a department is the one of its row with the latest 起始日期.
    return QStringLiteral(
               "SELECT 职能部门new.职能部门编号, 职能部门new.职能部门名称, table2.上级部门编号 FROM "
               "职能部门new"
               " LEFT JOIN (SELECT 上级部门new.职能部门编号, 上级部门new.上级部门编号 FROM 上级部门new,"
               " (SELECT p.职能部门编号, max(p.起始日期) AS 设置日期 FROM 上级部门new p GROUP BY p.职能部门编号) AS "
               "table1"
               " WHERE 上级部门new.职能部门编号 = table1.职能部门编号 AND 上级部门new.起始日期 = "
               "table1.设置日期) AS table2"
               " ON 职能部门new.职能部门编号 = table2.职能部门编号 WHERE 职能部门new.终止日期 IS NULL ORDER "
               "BY ") +
           (variant == PickerVariant::Plain ? QStringLiteral("职能部门new.职能部门编号")
                                            : QStringLiteral("职能部门new.显示协调位置"));
}

}  // namespace

QVector<DepartmentEntry> DepartmentStore::departments(PickerVariant variant) const
{
    QVector<DepartmentEntry> entries;
    const Rows rows = m_db.select(departmentQuery(variant));
    entries.reserve(rows.size());
    for (const Row row : rows) entries.append({row.text(0), row.text(1), row.text(2)});
    return entries;
}

QStringList DepartmentStore::postItems(const QString &departmentCode, PickerVariant variant, const QDateTime &now) const
{
    QStringList result;
    if (variant == PickerVariant::Plain) {
        const Rows rows =
            m_db.select(QStringLiteral("SELECT 岗位代号, 岗位名称, 职能部门代号, 起始日期, 终止日期, 部门主管"
                                       " FROM 岗位信息new WHERE (起始日期 <= ?)"
                                       " AND (终止日期 IS NULL OR 终止日期 > ?) AND (职能部门代号 = ?)"
                                       " ORDER BY 部门主管 DESC"),
                        {now, now, departmentCode});
        for (const Row row : rows) result << CodeName::join(row.text(0), row.text(1));
    } else {
        const Rows rows =
            m_db.select(QStringLiteral("SELECT 岗位信息new.岗位代号, 岗位信息new.岗位名称, 岗位信息new.职能部门代号, "
                                       "岗位信息new.起始日期,"
                                       " 岗位信息new.终止日期, 岗位信息new.部门主管, 员工档案.姓名"
                                       " FROM 岗位信息new INNER JOIN 员工档案 ON 岗位信息new.工号 = 员工档案.工号"
                                       " WHERE (岗位信息new.起始日期 <= ?) AND (岗位信息new.终止日期 IS NULL OR "
                                       "岗位信息new.终止日期 > ?)"
                                       " AND (岗位信息new.职能部门代号 = ?) ORDER BY 岗位信息new.部门主管 DESC"),
                        {now, now, departmentCode});
        for (const Row row : rows)
            result << CodeName::join(row.text(0), row.text(1)) + QLatin1Char('(') + row.text(6) + QLatin1Char(')');
    }
    return result;
}

#include "SessionStore.h"

#include <algorithm>

#include "data/Database.h"

bool SessionStore::authenticate(const QString &employee, const QString &password) const
{
    // The stored password is read by the employee number and compared here, character for
    // character: the server's "=" would let other case, full-width letters and blanks after it
    // pass under the suite's case-insensitive collation. The typed password loses the blanks
    // around it; the stored one loses those after it, which a fixed-width column adds (and which
    // no typed password can carry).
    const Rows employees =
        m_db.select(QStringLiteral("SELECT 工号, 帐号密码 FROM 员工档案 WHERE 工号 = ?"), {employee});
    const QString typed = password.trimmed();
    // The number is compared as typed (blanks before it count), but the suite may keep it in a
    // fixed-width column, whose blanks after it the server's "=" ignores as well.
    for (const Row row : employees) {
        if (Value::unpadded(row.value(0)).compare(employee, Qt::CaseInsensitive) != 0) continue;
        if (!row.value(1).isNull() && Value::unpadded(row.value(1)) == typed) return true;
    }
    return false;
}

QVector<EmployeePost> SessionStore::posts(const QString &employee) const
{
    const Rows rows = m_db.select(
        QStringLiteral(
            "SELECT 员工档案.姓名, 职能部门类别.部门类别代号, 职能部门类别.部门类别名称, 岗位类别.岗位类别编号, "
            "岗位类别.岗位类别名称,"
            " 职能部门new.职能部门编号, 职能部门new.职能部门名称, 岗位信息new.岗位代号, 岗位信息new.岗位名称,"
            " 岗位员工new.主要岗位 FROM 岗位员工new"
            " INNER JOIN 岗位信息new ON 岗位员工new.岗位代号 = 岗位信息new.岗位代号"
            " INNER JOIN 职能部门new ON 岗位信息new.职能部门代号 = 职能部门new.职能部门编号"
            " INNER JOIN 岗位类别 ON 岗位信息new.岗位类别代号 = 岗位类别.岗位类别编号"
            " INNER JOIN 职能部门类别 ON 职能部门new.职能部门类别代号 = 职能部门类别.部门类别代号"
            " INNER JOIN 员工档案 ON 岗位员工new.员工代号 = 员工档案.工号"
            " WHERE 岗位员工new.员工代号 = ? AND 员工档案.离职日期 IS NULL AND (岗位员工new.离岗日期 IS NULL)"),
        {employee});
    QVector<EmployeePost> posts;
    posts.reserve(rows.size());
    for (const Row row : rows) {
        EmployeePost post;
        post.employeeName = row.text(QStringLiteral("姓名"));
        post.departmentCode = row.text(QStringLiteral("职能部门编号"));
        post.departmentName = row.text(QStringLiteral("职能部门名称"));
        post.postCode = row.text(QStringLiteral("岗位代号"));
        post.postName = row.text(QStringLiteral("岗位名称"));
        post.departmentTypeCode = row.text(QStringLiteral("部门类别代号"));
        post.departmentTypeName = row.text(QStringLiteral("部门类别名称"));
        post.postTypeCode = row.text(QStringLiteral("岗位类别编号"));
        post.postTypeName = row.text(QStringLiteral("岗位类别名称"));
        post.main = row.value(QStringLiteral("主要岗位")).toBool();
        posts.append(post);
    }
    return posts;
}

QVector<QPair<QString, bool>> SessionStore::grants(const QString &postCode) const
{
    const Rows rows = m_db.select(
        QStringLiteral("SELECT DISTINCT 岗位权限设置.ID, 岗位权限设置.组代号, 岗位权限设置.岗位代号, 岗位权限设置.授权,"
                       " GroupPrivilege.FormName, GroupPrivilege.Popedom"
                       " FROM 岗位权限设置 INNER JOIN GroupPrivilege ON 岗位权限设置.组代号 = GroupPrivilege.GroupID"
                       " WHERE 岗位权限设置.授权 = 1 AND 岗位权限设置.岗位代号 = ? ORDER BY GroupPrivilege.Popedom"),
        {postCode});
    QVector<QPair<QString, bool>> grants;
    grants.reserve(rows.size());
    for (const Row row : rows)
        grants.append({row.text(QStringLiteral("FormName")), row.value(QStringLiteral("Popedom")).toBool()});
    // Whatever number stands for "true" in the suite's data, the enabling rows come last.
    std::stable_sort(grants.begin(), grants.end(),
                     [](const auto &a, const auto &b) { return int(a.second) < int(b.second); });
    return grants;
}

#include "ReviewCommentsStore.h"

#include <QHash>
#include <QSet>

#include "common/Clock.h"
#include "data/Database.h"

QString ReviewStep::text() const
{
    QString text = (departmentName.isEmpty() ? departmentCode : departmentName) + QLatin1Char(' ') +
                   (postName.isEmpty() ? postCode : postName);
    if (!holders.isEmpty()) text += QLatin1Char('(') + holders.join(QStringLiteral("、")) + QLatin1Char(')');
    return text;
}

QString ReviewComment::text() const
{
    if (opinion.isEmpty()) return result;
    return QStringLiteral("处理意见：\n") + opinion + QStringLiteral("\n\n处理结果：\n") + result;
}

QVector<ReviewStep> ReviewCommentsStore::steps(const QString &complaintCode)
{
    // Names are looked up, not required: a step whose department or post has gone stays listed.
    const Rows rows = m_db.select(
        QStringLiteral("SELECT 投诉信息处理.ID, 投诉信息处理.顺序号, 投诉信息处理.处理部门, 投诉信息处理.处理岗位,"
                       " 职能部门new.职能部门名称, 岗位信息new.岗位名称, 投诉信息处理.处理结束时间"
                       " FROM 投诉信息处理"
                       " LEFT JOIN 职能部门new ON 职能部门new.职能部门编号 = 投诉信息处理.处理部门"
                       " LEFT JOIN 岗位信息new ON 岗位信息new.岗位代号 = 投诉信息处理.处理岗位"
                       " WHERE 投诉信息处理.投诉编号 = ?"
                       " ORDER BY 投诉信息处理.顺序号, 投诉信息处理.ID"),
        {complaintCode});
    const QDateTime now = Clock::now();
    const Rows holders = m_db.select(
        QStringLiteral("SELECT 岗位员工new.岗位代号, 员工档案.姓名 FROM 岗位员工new"
                       " INNER JOIN 员工档案 ON 员工档案.工号 = 岗位员工new.员工代号"
                       " WHERE 岗位员工new.岗位代号 IN (SELECT 投诉信息处理.处理岗位 FROM 投诉信息处理"
                       " WHERE 投诉信息处理.投诉编号 = ?)"
                       " AND 岗位员工new.入岗日期 <= ? AND (岗位员工new.离岗日期 IS NULL OR 岗位员工new.离岗日期 >= ?)"
                       " ORDER BY 岗位员工new.岗位代号, 员工档案.工号"),
        {complaintCode, now, now});
    QHash<QString, QStringList> holdersOf;
    for (const Row row : holders) {
        QStringList &names = holdersOf[row.text(0)];
        if (!names.contains(row.text(1))) names.append(row.text(1));
    }

    QVector<ReviewStep> steps;
    steps.reserve(rows.size());
    QSet<qint64> seen;  // a department or post listed twice in the organisation must not repeat a step
    for (const Row row : rows) {
        const qint64 id = row.value(0).toLongLong();
        if (seen.contains(id)) continue;
        seen.insert(id);
        ReviewStep step;
        step.stepId = id;
        step.order = row.value(1).toInt();
        step.departmentCode = row.text(2);
        step.postCode = row.text(3);
        step.departmentName = row.text(4);
        step.postName = row.text(5);
        step.holders = holdersOf.value(step.postCode);
        step.open = row.isNull(QStringLiteral("处理结束时间"));
        steps.append(step);
    }
    return steps;
}

ReviewComment ReviewCommentsStore::comment(qint64 stepId)
{
    const Rows rows = m_db.select(QStringLiteral("SELECT 处理意见, 处理结果 FROM 投诉信息处理 WHERE ID = ?"), {stepId});
    if (rows.isEmpty()) return {};
    return {rows.first().text(0), rows.first().text(1)};
}

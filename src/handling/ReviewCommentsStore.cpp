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
    const Dialect &d = m_db.dialect();
    const Rows rows = m_db.select(
        QStringLiteral("SELECT 投诉信息处理.ID, 投诉信息处理.顺序号, 投诉信息处理.处理部门, 投诉信息处理.处理岗位,"
                       " 职能部门new.职能部门名称, 岗位信息new.岗位名称, 投诉信息处理.处理结束时间"
                       " FROM 投诉信息处理"
                       " LEFT JOIN 职能部门new ON ") +
            d.collated(QStringLiteral("职能部门new.职能部门编号")) + QStringLiteral(" = ") +
            d.collated(QStringLiteral("投诉信息处理.处理部门")) + QStringLiteral(" LEFT JOIN 岗位信息new ON ") +
            d.collated(QStringLiteral("岗位信息new.岗位代号")) + QStringLiteral(" = ") +
            d.collated(QStringLiteral("投诉信息处理.处理岗位")) +
            QStringLiteral(" WHERE 投诉信息处理.投诉编号 = ?"
                           " ORDER BY 投诉信息处理.顺序号, 投诉信息处理.ID"),
        {complaintCode});
    const QDateTime now = Clock::now();
    // A fixed-width post code comes back with its padding: the holders are keyed without it.
    const Rows holders =
        m_db.select(QStringLiteral("SELECT 岗位员工new.岗位代号, 员工档案.姓名 FROM 岗位员工new"
                                   " INNER JOIN 员工档案 ON 员工档案.工号 = 岗位员工new.员工代号 WHERE ") +
                        d.collated(QStringLiteral("岗位员工new.岗位代号")) + QStringLiteral(" IN (SELECT ") +
                        d.collated(QStringLiteral("s.处理岗位")) +
                        QStringLiteral(" FROM 投诉信息处理 s WHERE s.投诉编号 = ?) AND ") +
                        d.storedDate(QStringLiteral("岗位员工new.入岗日期")) +
                        QStringLiteral(" <= ? AND (岗位员工new.离岗日期 IS NULL OR ") +
                        d.storedDate(QStringLiteral("岗位员工new.离岗日期")) +
                        QStringLiteral(" >= ?) ORDER BY 岗位员工new.岗位代号, 员工档案.工号"),
                    {complaintCode, now, now});
    QHash<QString, QStringList> holdersOf;
    for (const Row row : holders) {
        QStringList &names = holdersOf[Value::unpadded(row.value(0))];
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
        step.holders = holdersOf.value(Value::unpadded(step.postCode));
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

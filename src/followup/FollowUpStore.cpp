#include "FollowUpStore.h"

#include "common/DateText.h"
#include "data/Database.h"
#include "data/Status.h"

QStringList FollowUpStore::satisfactionLevels()
{
    return {Satisfaction::satisfied(), Satisfaction::fairlySatisfied(), Satisfaction::dissatisfied()};
}

bool FollowUpStore::isSatisfied(const QString &satisfaction)
{
    return satisfaction == Satisfaction::satisfied() || satisfaction == Satisfaction::fairlySatisfied();
}

// Both lists are served by the index on (部门编号, 回访时间, 处理时间): the waiting list is its
// NULL-visit range in finishing order, the visited list its range of recent visits.
QString FollowUpStore::awaitingSql(const Dialect &dialect)
{
    return QStringLiteral(
               "SELECT 投诉编号, 投诉人, 联系电话, 投诉内容, 处理结果, 处理时间 FROM 投诉信息"
               " WHERE 部门编号 = ? AND 回访时间 IS NULL AND 处理时间 IS NOT NULL AND 撤销时间 IS NULL"
               " ORDER BY 处理时间, ID") +
           dialect.planPerRun();
}

QVariantList FollowUpStore::awaitingParams(const QString &department) { return {department}; }

QString FollowUpStore::visitedSql(const Dialect &dialect)
{
    return QStringLiteral(
               "SELECT 投诉编号, 投诉人, 处理结果, 回访人, 回访时间, 结果满意度 FROM 投诉信息"
               " WHERE 部门编号 = ? AND 回访时间 >= ? ORDER BY 回访时间 DESC, ID DESC") +
           dialect.planPerRun();
}

QVariantList FollowUpStore::visitedParams(const QString &department, const QDateTime &now)
{
    return {department, now.addDays(-kRecentDays)};
}

QVector<AwaitingVisit> FollowUpStore::awaiting(const QString &department)
{
    QVector<AwaitingVisit> list;
    m_db.scan(awaitingSql(m_db.dialect()), awaitingParams(department), [&](const ScanRow &row) {
        const QVariant finished = row.value(5);
        list.append({Value::text(row.value(0)), Value::text(row.value(1)), Value::text(row.value(2)),
                     Value::text(row.value(3)), Value::text(row.value(4)), Value::dateTime(finished),
                     DateText::list(finished)});
    });
    return list;
}

QVector<VisitedComplaint> FollowUpStore::visitedRecently(const QString &department, const QDateTime &now)
{
    QVector<VisitedComplaint> list;
    m_db.scan(visitedSql(m_db.dialect()), visitedParams(department, now), [&](const ScanRow &row) {
        list.append({Value::text(row.value(0)), Value::text(row.value(1)), Value::text(row.value(2)),
                     Value::text(row.value(3)), DateText::list(row.value(4)), Value::text(row.value(5))});
    });
    return list;
}

std::optional<VisitCase> FollowUpStore::details(const QString &code)
{
    const Rows rows = m_db.select(
        QStringLiteral("SELECT 地址, 投诉人, 投诉内容, 调查情况, 处理结果 FROM 投诉信息 WHERE 投诉编号 = ?"), {code});
    if (rows.isEmpty()) return std::nullopt;
    const Row row = rows.first();
    return VisitCase{row.text(0), row.text(1), row.text(2), row.text(3), row.text(4)};
}

void FollowUpStore::visit(const QString &code, const QString &visitor, const QString &satisfaction,
                          const QDateTime &when)
{
    // One conditional statement: of two stations visiting the same complaint, the second changes
    // no row and is told.
    const int changed =
        m_db.execute(QStringLiteral("UPDATE 投诉信息 SET 回访人 = ?, 回访时间 = ?, 结果满意度 = ? WHERE 投诉编号 = ?"
                                    " AND 回访时间 IS NULL AND 处理时间 IS NOT NULL AND 撤销时间 IS NULL"),
                     {textOrNull(visitor), when, satisfaction, code});
    if (changed == 0) throw ConcurrentChange(QStringLiteral("该投诉已由其他用户回访"));
}

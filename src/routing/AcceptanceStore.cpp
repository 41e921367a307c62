#include "AcceptanceStore.h"

#include "common/Clock.h"
#include "data/Database.h"
#include "data/Status.h"
#include "handling/RoutingSteps.h"

namespace {

// The offices whose complaints the department and post accept. The pending list asks for the
// assignments in force now (parameters: department, post, now, now): they decide who receives
// new complaints. The in-progress list takes every assignment whatever its dates (parameters:
// department, post): a complaint once accepted stays with its post until it is finished, and
// only this list can finish it.
QString assignedOffices(bool inForceNow)
{
    QString sql = QStringLiteral(
        "(SELECT 投诉处理人设置.管理处代号 FROM 投诉处理人设置"
        " WHERE 投诉处理人设置.职能部门代号 = ? AND 投诉处理人设置.岗位代号 = ?");
    if (inForceNow)
        sql += QStringLiteral(
            " AND (投诉处理人设置.设置日期 IS NULL OR 投诉处理人设置.设置日期 <= ?)"
            " AND (投诉处理人设置.终止日期 IS NULL OR 投诉处理人设置.终止日期 > ?)");
    return sql + QLatin1Char(')');
}

}  // namespace

QString AcceptanceStore::pendingSql()
{
    return QStringLiteral(
               "SELECT 投诉信息.投诉编号, 投诉信息.投诉类别, 投诉信息.地址, 投诉信息.投诉人, "
               "投诉信息.投诉时间,"
               " 投诉信息.投诉内容"
               " FROM 投诉信息"
               " WHERE 投诉信息.处理时间 IS NULL AND 投诉信息.撤销时间 IS NULL AND 投诉信息.管理处代号 IN ") +
           assignedOffices(true) +
           QStringLiteral(
               " AND NOT EXISTS (SELECT 1 FROM 投诉信息处理 WHERE 投诉信息处理.投诉编号 = 投诉信息.投诉编号)"
               " ORDER BY 投诉信息.部门编号, 投诉信息.投诉编号");
}

QString AcceptanceStore::inProgressSql(const Dialect &dialect)
{
    // The current step is the open step with the highest 顺序号; its post's holders of today are
    // joined as a whole, so that a step nobody holds keeps its complaint listed.
    const QString since = dialect.storedDate(QStringLiteral("岗位员工new.入岗日期"));
    const QString until = dialect.storedDate(QStringLiteral("岗位员工new.离岗日期"));
    return QStringLiteral(
               "SELECT 投诉信息.投诉编号, 投诉信息.投诉类别, 投诉信息.地址, 投诉信息.投诉人, "
               "投诉信息.投诉时间,"
               " 投诉信息.投诉内容, 员工档案.工号, 员工档案.姓名, 投诉信息处理.接受时间"
               " FROM 投诉信息"
               " INNER JOIN 投诉信息处理 ON 投诉信息处理.投诉编号 = 投诉信息.投诉编号"
               " AND 投诉信息处理.处理结束时间 IS NULL"
               " AND 投诉信息处理.顺序号 = (SELECT max(s.顺序号) FROM 投诉信息处理 s"
               " WHERE s.投诉编号 = 投诉信息.投诉编号 AND s.处理结束时间 IS NULL)"
               " LEFT JOIN (岗位员工new INNER JOIN 员工档案 ON 员工档案.工号 = 岗位员工new.员工代号)"
               " ON ") +
           dialect.collated(QStringLiteral("岗位员工new.岗位代号")) + QStringLiteral(" = ") +
           dialect.collated(QStringLiteral("投诉信息处理.处理岗位")) + QStringLiteral(" AND ") + since +
           QStringLiteral(" <= ? AND (岗位员工new.离岗日期 IS NULL OR ") + until +
           QStringLiteral(
               " >= ?)"
               " WHERE 投诉信息.处理时间 IS NULL AND 投诉信息.管理处代号 IN ") +
           assignedOffices(false) +
           QStringLiteral(" ORDER BY 投诉信息.部门编号, 投诉信息.投诉编号, 投诉信息处理.ID, 员工档案.工号");
}

QVariantList AcceptanceStore::pendingParams(const QString &department, const QString &post, const QDateTime &now)
{
    return {department, post, now, now};
}

QVariantList AcceptanceStore::inProgressParams(const QString &department, const QString &post, const QDateTime &now)
{
    return {now, now, department, post};
}

QVector<PendingComplaint> AcceptanceStore::pending(const QString &department, const QString &post)
{
    // Read straight into the list: a busy post's rows are not kept twice.
    QVector<PendingComplaint> list;
    m_db.scan(pendingSql(), pendingParams(department, post, Clock::now()), [&](const ScanRow &q) {
        list.append({Value::text(q.value(0)), Value::text(q.value(1)), Value::text(q.value(2)), Value::text(q.value(3)),
                     Value::dateTime(q.value(4)), Value::text(q.value(5))});
    });
    return list;
}

QVector<ComplaintInProgress> AcceptanceStore::inProgress(const QString &department, const QString &post)
{
    const QDateTime now = Clock::now();
    QVector<ComplaintInProgress> list;
    m_db.scan(inProgressSql(m_db.dialect()), inProgressParams(department, post, now), [&](const ScanRow &q) {
        list.append({{Value::text(q.value(0)), Value::text(q.value(1)), Value::text(q.value(2)),
                      Value::text(q.value(3)), Value::dateTime(q.value(4)), Value::text(q.value(5))},
                     Value::text(q.value(6)),
                     Value::text(q.value(7)),
                     Value::dateTime(q.value(8))});
    });
    return list;
}

ComplaintDetail AcceptanceStore::detail(const QString &code)
{
    const Rows rows = m_db.select(QStringLiteral("SELECT 地址, 投诉人, 投诉内容, 联系电话, 调查情况, 处理结果"
                                                 " FROM 投诉信息 WHERE 投诉编号 = ?"),
                                  {code});
    ComplaintDetail detail;
    if (rows.isEmpty()) return detail;
    const Row row = rows.first();
    detail.found = true;
    detail.address = row.text(0);
    detail.complainant = row.text(1);
    detail.content = row.text(2);
    detail.phone = row.text(3);
    detail.findings = row.text(4);
    detail.reply = row.text(5);
    return detail;
}

void AcceptanceStore::claim(const QString &code, const QString &status, const QString &findings, const QString *reply,
                            const QDateTime &finishedAt, bool pending)
{
    Fields fields{{QStringLiteral("处理状态"), status}};
    if (reply) fields.append({QStringLiteral("处理结果"), *reply});
    if (finishedAt.isValid()) fields.append({QStringLiteral("处理时间"), finishedAt});
    fields.append({QStringLiteral("调查情况"), findings});
    // The conditional update takes the complaint's row lock first; whoever comes second finds
    // the complaint changed, or (below) the steps of the first.
    QString where = QStringLiteral("投诉编号 = ? AND 处理时间 IS NULL");
    if (pending) where += QStringLiteral(" AND 撤销时间 IS NULL");
    if (m_db.update(QStringLiteral("投诉信息"), fields, where, {code}) == 0) {
        throw ConcurrentChange(pending
                                   ? QStringLiteral("投诉 %1 已被其他用户处理或已撤销，您的操作没有保存。").arg(code)
                                   : QStringLiteral("投诉 %1 已被其他用户处理完成，您的操作没有保存。").arg(code));
    }
    if (pending && RoutingSteps::count(m_db, code) > 0)
        throw ConcurrentChange(QStringLiteral("投诉 %1 已被其他用户受理，您的操作没有保存。").arg(code));
}

void AcceptanceStore::finishPending(const QString &code, const QString &findings, const QString &opinion,
                                    const QString &reply, const QString &department, const QString &post)
{
    const QDateTime now = Clock::now();
    m_db.transaction([&] {
        claim(code, Status::finished(), findings, &reply, now, true);
        NewStep step = openStep(code, department, post, 1, now);
        step.opinion = opinion;
        step.result = reply;
        step.finished = now;
        RoutingSteps::add(m_db, step);
    });
}

void AcceptanceStore::finishInProgress(const QString &code, const QString &findings, const QString &reply,
                                       const QString &department, const QString &post)
{
    const QDateTime now = Clock::now();
    m_db.transaction([&] {
        claim(code, Status::finished(), findings, &reply, now, false);
        // The user's own step: the earliest that is still open.
        const QVariant own = m_db.scalar(QStringLiteral("SELECT ID FROM 投诉信息处理"
                                                        " WHERE 投诉编号 = ? AND 处理部门 = ? AND 处理岗位 = ?"
                                                        " AND 处理结束时间 IS NULL ORDER BY 顺序号, ID"),
                                         {code, department, post});
        if (!own.isNull()) RoutingSteps::close(m_db, own.toLongLong(), reply, now);
    });
}

void AcceptanceStore::forward(const QString &code, const QString &findings, const QString &opinion,
                              const QString &department, const QString &post, const QString &targetDepartment,
                              const QString &targetPost)
{
    const QDateTime now = Clock::now();
    m_db.transaction([&] {
        claim(code, Status::inProgress(), findings, nullptr, QDateTime(), true);
        NewStep own = openStep(code, department, post, 1, now);
        own.opinion = opinion;
        RoutingSteps::add(m_db, own);
        RoutingSteps::add(m_db, openStep(code, targetDepartment, targetPost, 2, now));
    });
}

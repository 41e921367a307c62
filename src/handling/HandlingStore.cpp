#include "HandlingStore.h"

#include "RoutingSteps.h"
#include "common/Clock.h"
#include "data/Database.h"

namespace {

QString stepTaken() { return QStringLiteral("这条投诉已经由其他用户阅处（或已不存在），您的意见没有保存。"); }

}  // namespace

QString HandlingStore::openStepsSql()
{
    return QStringLiteral(
        "SELECT 投诉信息处理.ID, 投诉信息处理.投诉编号, 投诉信息.投诉时间, 投诉信息.联系电话, 投诉信息.地址,"
        " 投诉信息.投诉人, 投诉信息处理.接受时间, 投诉信息.投诉内容, 投诉信息.调查情况"
        " FROM 投诉信息处理 INNER JOIN 投诉信息 ON 投诉信息处理.投诉编号 = 投诉信息.投诉编号"
        " WHERE 投诉信息处理.处理结束时间 IS NULL AND 投诉信息处理.处理岗位 = ? AND 投诉信息处理.处理部门 = ?"
        " ORDER BY 投诉信息处理.ID");
}

QVariantList HandlingStore::openStepsParams(const QString &department, const QString &post)
{
    return {post, department};
}

QVector<HandlingLine> HandlingStore::openSteps(const QString &department, const QString &post)
{
    // Read straight into the lines: a busy post's rows are not kept twice.
    QVector<HandlingLine> lines;
    m_db.scan(openStepsSql(), openStepsParams(department, post), [&](const ScanRow &q) {
        HandlingLine line;
        line.stepId = q.value(0).toLongLong();
        line.complaintCode = Value::text(q.value(1));
        line.complaintTime = Value::dateTime(q.value(2));
        line.phone = Value::text(q.value(3));
        line.address = Value::text(q.value(4));
        line.complainant = Value::text(q.value(5));
        line.accepted = Value::dateTime(q.value(6));
        line.content = Value::text(q.value(7));
        line.findings = Value::text(q.value(8));
        lines.append(std::move(line));
    });
    return lines;
}

void HandlingStore::finish(qint64 stepId, const QString &opinion)
{
    const QDateTime now = Clock::now();
    m_db.transaction([&] {
        if (!RoutingSteps::close(m_db, stepId, opinion, now)) throw ConcurrentChange(stepTaken());
    });
}

qint64 HandlingStore::forward(qint64 stepId, const QString &opinion, const QString &department, const QString &post)
{
    const QDateTime now = Clock::now();
    return m_db.transaction([&] {
        // Closing first takes the step's row lock, so that of two clients only one goes on.
        if (!RoutingSteps::close(m_db, stepId, opinion, now)) throw ConcurrentChange(stepTaken());
        const Rows rows =
            m_db.select(QStringLiteral("SELECT 投诉编号, 顺序号 FROM 投诉信息处理 WHERE ID = ?"), {stepId});
        if (rows.isEmpty()) throw ConcurrentChange(stepTaken());
        const int order = int(rows.first().number(QStringLiteral("顺序号"))) + 1;
        return RoutingSteps::add(m_db, openStep(rows.first().text(0), department, post, order, now));
    });
}

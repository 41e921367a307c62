#include "RoutingSteps.h"

#include "data/Database.h"

namespace RoutingSteps {

qint64 add(Database &db, const NewStep &step)
{
    return db.insert(QStringLiteral("投诉信息处理"), {{QStringLiteral("投诉编号"), step.complaintCode},
                                                      {QStringLiteral("处理部门"), step.department},
                                                      {QStringLiteral("处理岗位"), step.post},
                                                      {QStringLiteral("处理意见"), textOrNull(step.opinion)},
                                                      {QStringLiteral("处理结果"), textOrNull(step.result)},
                                                      {QStringLiteral("顺序号"), step.order},
                                                      {QStringLiteral("接受时间"), step.accepted},
                                                      {QStringLiteral("处理结束时间"), step.finished}});
}

bool close(Database &db, qint64 stepId, const QString &result, const QDateTime &now)
{
    return db.update(QStringLiteral("投诉信息处理"),
                     {{QStringLiteral("处理结果"), textOrNull(result)}, {QStringLiteral("处理结束时间"), now}},
                     QStringLiteral("ID = ? AND 处理结束时间 IS NULL"), {stepId}) > 0;
}

int count(Database &db, const QString &complaintCode)
{
    return db.scalar(QStringLiteral("SELECT count(*) FROM 投诉信息处理 WHERE 投诉编号 = ?"), {complaintCode}).toInt();
}

}  // namespace RoutingSteps

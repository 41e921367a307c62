#pragma once

#include <QDateTime>
#include <QString>

class Database;

// One row of 投诉信息处理 to add: a complaint reaching a department and post.
struct NewStep {
    QString complaintCode;
    QString department;
    QString post;
    QString opinion;  // 处理意见; NULL when empty
    QString result;   // 处理结果; NULL when empty
    int order = 1;    // 顺序号
    QDateTime accepted;
    QDateTime finished;  // invalid: the step stays open
};

// The open step `order` of a complaint for a department and post, accepted at `accepted`.
inline NewStep openStep(const QString &complaintCode, const QString &department, const QString &post, int order,
                        const QDateTime &accepted)
{
    NewStep step;
    step.complaintCode = complaintCode;
    step.department = department;
    step.post = post;
    step.order = order;
    step.accepted = accepted;
    return step;
}

// The writes on routing steps that the acceptance and handling windows share. They run inside the
// caller's transaction.
namespace RoutingSteps {

// Adds a step and returns its ID.
qint64 add(Database &db, const NewStep &step);

// Closes a step that is still open: its result and end time. False when the step was already
// closed or no longer exists; nothing is written then.
bool close(Database &db, qint64 stepId, const QString &result, const QDateTime &now);

// How many steps a complaint has.
int count(Database &db, const QString &complaintCode);

}  // namespace RoutingSteps

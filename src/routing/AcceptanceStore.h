#pragma once

#include <QDateTime>
#include <QString>
#include <QVariantList>
#include <QVector>

class Database;
class Dialect;

// A complaint of the user's offices that nobody has touched yet.
struct PendingComplaint {
    QString code;
    QString category;
    QString address;
    QString complainant;
    QDateTime time;
    QString content;
};

// A complaint of the user's offices in progress, once for each employee who holds the post of its
// current step today (once with no holder when nobody does).
struct ComplaintInProgress : PendingComplaint {
    QString holderId;
    QString holderName;
    QDateTime accepted;  // when the current step reached its post
};

// What the detail boxes show of one complaint.
struct ComplaintDetail {
    bool found = false;
    QString address;
    QString complainant;
    QString content;
    QString phone;
    QString findings;  // 调查情况
    QString reply;     // 处理结果
};

// The acceptance work of a department and post: the complaints of the management offices assigned
// to it, finishing them and forwarding them to another department and post.
//
// New complaints reach the posts whose assignment (投诉处理人设置) is in force, from its 设置日期
// until its 终止日期; voided complaints are not offered. A complaint in progress stays listed for
// every post assigned to its office, whatever the assignment's dates. Every action checks, in its own transaction, that
// the complaint is still in the state the list showed, and throws ConcurrentChange (nothing written) when another
// client got there first.
class AcceptanceStore {
public:
    explicit AcceptanceStore(Database &db) : m_db(db) {}

    // The list queries with their parameters (also what the benchmark times on their own).
    static QString pendingSql();
    static QString inProgressSql(const Dialect &dialect);
    static QVariantList pendingParams(const QString &department, const QString &post, const QDateTime &now);
    static QVariantList inProgressParams(const QString &department, const QString &post, const QDateTime &now);

    QVector<PendingComplaint> pending(const QString &department, const QString &post);
    QVector<ComplaintInProgress> inProgress(const QString &department, const QString &post);
    ComplaintDetail detail(const QString &code);

    // Finishes a complaint that has no step yet: findings, reply, 处理时间, status "处理完成", and one
    // closed step 1 of the user's post holding the internal opinion and the reply.
    void finishPending(const QString &code, const QString &findings, const QString &opinion, const QString &reply,
                       const QString &department, const QString &post);
    // Finishes a complaint in progress, and closes the user's own open step with the reply.
    void finishInProgress(const QString &code, const QString &findings, const QString &reply, const QString &department,
                          const QString &post);
    // Forwards a complaint that has no step yet: status "处理中", the findings, an open step 1 of the
    // user's post with the internal opinion and an open step 2 of the target department and post.
    void forward(const QString &code, const QString &findings, const QString &opinion, const QString &department,
                 const QString &post, const QString &targetDepartment, const QString &targetPost);

private:
    // Sets the complaint's columns provided it is still unfinished (and, for a pending complaint,
    // live and without any step). Throws ConcurrentChange.
    void claim(const QString &code, const QString &status, const QString &findings, const QString *reply,
               const QDateTime &finishedAt, bool pending);

    Database &m_db;
};

#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVariantList>
#include <QVector>
#include <optional>

class Database;
class Dialect;

// A finished complaint whose complainant has not been called back yet.
struct AwaitingVisit {
    QString code;
    QString complainant;
    QString phone;
    QString content;
    QString reply;  // 处理结果
    QDateTime finished;
    QString finishedText;  // as the lists show times
};

// A complaint with its follow-up visit.
struct VisitedComplaint {
    QString code;
    QString complainant;
    QString reply;
    QString visitor;
    QString visitedText;  // as the lists show times
    QString satisfaction;
};

// What the "投诉情况" boxes show of one complaint.
struct VisitCase {
    QString address;
    QString complainant;
    QString content;
    QString findings;
    QString reply;
};

// Follow-up visits of finished complaints (回访人, 回访时间, 结果满意度 of 投诉信息). A visit changes
// nothing of the complaint's road: status, steps and times stay as handling left them.
class FollowUpStore {
public:
    explicit FollowUpStore(Database &db) : m_db(db) {}

    // The answers a complainant may give, in the order the window offers them.
    static QStringList satisfactionLevels();
    // Whether an answer counts as satisfied ("满意" and "基本满意").
    static bool isSatisfied(const QString &satisfaction);
    // How far back the list of visited complaints reaches.
    static constexpr int kRecentDays = 30;

    // The list queries and their parameters (also what the benchmark times on its own).
    static QString awaitingSql(const Dialect &dialect);
    static QVariantList awaitingParams(const QString &department);
    static QString visitedSql(const Dialect &dialect);
    static QVariantList visitedParams(const QString &department, const QDateTime &now);

    // Finished, live complaints of the department without a visit, finished longest ago first.
    QVector<AwaitingVisit> awaiting(const QString &department);
    // The department's complaints visited in the last 30 days before `now`, newest visit first.
    QVector<VisitedComplaint> visitedRecently(const QString &department, const QDateTime &now);
    // The complaint's texts, or nothing when there is no such complaint.
    std::optional<VisitCase> details(const QString &code);

    // Records the visit at `when`. Throws ConcurrentChange when the complaint has been visited
    // meanwhile (or is no longer waiting for a visit); nothing is written then.
    void visit(const QString &code, const QString &visitor, const QString &satisfaction, const QDateTime &when);

private:
    Database &m_db;
};

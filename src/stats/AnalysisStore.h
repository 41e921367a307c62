#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QVariantList>
#include <QVector>

class Database;

// How the analysis groups the complaints, in the order of the window's list.
enum class AnalysisGrouping { Category = 0, Channel, Office, Month };

// Which complaints the analysis counts: those received on the days from `from` to `to` (both
// whole), of one department or, with an empty department, of all.
struct AnalysisScope {
    QString deptCode;  // empty: every department
    QDate from;
    QDate to;
    QDateTime now;  // what "overdue" is measured against
};

// The counts of one group (or of all of them).
struct GroupCounts {
    QString label;
    int total = 0;
    int notAccepted = 0;
    int inProgress = 0;
    int finished = 0;
    int voided = 0;
    int finishedTimed = 0;     // live finished complaints, over which the hours are averaged
    double finishedHours = 0;  // their handling hours, summed
    int overdue = 0;           // open, live, received more than 24 hours before now

    // The mean handling hours; negative when nothing was finished.
    double averageHours() const { return finishedTimed > 0 ? finishedHours / finishedTimed : -1; }
    void add(const GroupCounts &other);
};

// The open work of one department and post.
struct PostBacklog {
    QString deptCode, deptName, postCode, postName;
    int open = 0;
    int over24 = 0;
    int over72 = 0;
    QDateTime oldest;  // since when the longest of it waits
};

// Visits of the period's complaints by answer.
struct SatisfactionCounts {
    int visited = 0;
    int satisfied = 0;
    int fairlySatisfied = 0;
    int dissatisfied = 0;
};

// Complaint analysis: counts, handling times, overdue work and satisfaction. Every number is an
// aggregate the database computes over the scope; no complaint is read row by row.
class AnalysisStore {
public:
    explicit AnalysisStore(Database &db) : m_db(db) {}

    // Open work counts as overdue beyond these many hours.
    static constexpr int kOverdueHours = 24;
    static constexpr int kLongOverdueHours = 72;

    // The counts per group in the group's natural order: categories and channels by their code,
    // offices by length and code, months ascending; groups without a code at the end.
    QVector<GroupCounts> groups(const AnalysisScope &scope, AnalysisGrouping grouping);
    // Complaints received per day ("yyyy-MM-dd"), days without any left out, ascending.
    QVector<QPair<QDate, int>> perDay(const AnalysisScope &scope);
    // The open work per department and post: open routing steps, and for the posts assigned to
    // an office its complaints not yet accepted. Most over 72 hours first, then most open.
    QVector<PostBacklog> backlog(const AnalysisScope &scope);
    SatisfactionCounts satisfaction(const AnalysisScope &scope);

    // The statements the window runs, for the benchmark to time them bare.
    static QString groupsSql(const Database &db, AnalysisGrouping grouping, bool allDepartments);
    static QVariantList groupsParams(const AnalysisScope &scope);
    static QString perDaySql(const Database &db, bool allDepartments);
    static QString backlogSql(const Database &db, bool allDepartments);
    static QVariantList backlogParams(const AnalysisScope &scope);
    static QString satisfactionSql(const Database &db, bool allDepartments);
    static QVariantList periodParams(const AnalysisScope &scope);

private:
    Database &m_db;
};

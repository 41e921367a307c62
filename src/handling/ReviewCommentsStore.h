#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVector>

class Database;

// One routing step of a complaint as the review comments show it.
struct ReviewStep {
    qint64 stepId = 0;
    int order = 0;
    QString departmentCode;
    QString departmentName;  // empty when the department is not in the organisation any more
    QString postCode;
    QString postName;
    QStringList holders;  // who holds the post today, in employee-number order
    bool open = false;

    // "department post(holder、holder)", codes standing in for missing names.
    QString text() const;
};

// What a step's post wrote: the instruction given when it forwarded the complaint (处理意见) and
// its result (处理结果); either may be empty.
struct ReviewComment {
    QString opinion;
    QString result;

    // The result alone, or, when there is an instruction, both under their captions.
    QString text() const;
};

// The routing steps of a complaint and what each post wrote.
class ReviewCommentsStore {
public:
    explicit ReviewCommentsStore(Database &db) : m_db(db) {}

    // Every step of the complaint once, in 顺序号 order, whether or not anybody holds its post today.
    QVector<ReviewStep> steps(const QString &complaintCode);
    // What the step's post wrote (the result is empty while the step is open).
    ReviewComment comment(qint64 stepId);

private:
    Database &m_db;
};

#pragma once

#include <QDate>
#include <QString>
#include <QVector>
#include <optional>

class Database;

// A management office as the office tree shows it.
struct AssignmentOffice {
    QString code;
    QString name;
};

// One handler assignment with the names of its department and post, as the grid shows it.
struct Assignment {
    qint64 id = 0;
    QString settingDate;  // "YYYY-MM-DD", or the stored text when it is no date
    QString departmentName;
    QString postName;
    QString endDate;
    QString remark;
    QString postCode;
    QString departmentCode;
    bool ended = false;
};

// What the user entered for an assignment, as typed.
struct AssignmentInput {
    QString officeCode;
    QString departmentCode;
    QString postCode;
    QString settingDate;
    QString endDate;
    QString remark;
};

// A reason to refuse an input, naming the field to correct.
struct AssignmentProblem {
    enum Field { SettingDate, EndDate } field;
    QString message;
};

// The handler assignments of the management offices (table 投诉处理人设置): which department and
// post accept an office's complaints, from which day and until which day. One office has at most
// one assignment of a post per day.
class AssignmentStore {
public:
    explicit AssignmentStore(Database &db) : m_db(db) {}

    // Every office, codes of unequal length ordered as numbers ("2" before "10").
    QVector<AssignmentOffice> offices() const;
    // The assignments of an office by setting date: only the current ones, or all of them. An
    // assignment whose department or post is gone is not listed.
    QVector<Assignment> list(const QString &officeCode, bool withEnded) const;

    // Checks the dates: the setting date must be a day ("YYYY-MM-DD"), the end date empty or a day
    // not before it.
    static std::optional<AssignmentProblem> check(const AssignmentInput &input);
    // A typed day, or an invalid date.
    static QDate parseDay(const QString &text);

    enum class Result { Saved, Duplicate, Missing };
    // Adds an assignment unless the office already has the post on that day. `id` receives the
    // new row's identity. The input must have passed check().
    Result add(const AssignmentInput &input, qint64 *id = nullptr);
    // Changes the assignment `id` to the input, unless another assignment of the office has the
    // post on that day; Missing when the assignment is gone.
    Result change(qint64 id, const AssignmentInput &input);
    // Deletes the assignment `id`; false when it was already gone.
    bool remove(qint64 id);

    // The message for a refused duplicate: the day directly followed by the reason.
    static QString duplicateMessage(const QDate &day);

private:
    bool hasDuplicate(const AssignmentInput &input, const QDate &day, qint64 exceptId) const;

    Database &m_db;
};

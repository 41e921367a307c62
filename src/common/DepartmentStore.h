#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVector>

class Database;

// The current organisation as the department tree and the post picker read it. Two variants: the
// plain one (forwarding in the acceptance and handling windows) orders departments by code and
// shows posts as "code name"; the assignment one (handler assignments) orders departments by
// their display position and shows posts as "code name(holder)".
enum class PickerVariant { Plain, Assignment };

struct DepartmentEntry {
    QString code;
    QString name;
    QString parentCode;  // empty for a department without a current parent
};

class DepartmentStore {
public:
    explicit DepartmentStore(Database &db) : m_db(db) {}

    // The departments that have not ended, each with the parent of its latest parent row, in the
    // variant's order. Throws DbError.
    QVector<DepartmentEntry> departments(PickerVariant variant) const;

    // The item texts of the posts of `departmentCode` valid at `now` (start <= now, end NULL or
    // after now), the department head's post first. Throws DbError.
    QStringList postItems(const QString &departmentCode, PickerVariant variant, const QDateTime &now) const;

private:
    Database &m_db;
};

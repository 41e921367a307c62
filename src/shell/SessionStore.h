#pragma once

#include <QPair>
#include <QString>
#include <QVector>

class Database;

// One current post of an employee, as the login offers it.
struct EmployeePost {
    QString employeeName;
    QString departmentCode;
    QString departmentName;
    QString postCode;
    QString postName;
    QString departmentTypeCode;
    QString departmentTypeName;
    QString postTypeCode;
    QString postTypeName;
    bool main = false;  // 主要岗位: the employee's main post rather than a part-time one
};

// What the login and the main window read about a user: the password check, the posts held,
// and which menu items the post's privilege groups grant.
class SessionStore {
public:
    explicit SessionStore(Database &db) : m_db(db) {}

    // Whether an employee has this number and password. The number is compared as typed
    // (surrounding blanks are part of it, letters in any case); the password without the blanks
    // around it. Throws DbError.
    bool authenticate(const QString &employee, const QString &password) const;

    // The posts the employee holds now (not left, not resigned). Throws DbError.
    QVector<EmployeePost> posts(const QString &employee) const;

    // The menu items the granted rows of the post name, each with whether it is enabled: the
    // disabling rows first and the enabling ones last, so that applying them in order leaves an
    // item enabled when any of its groups enables it. Throws DbError.
    QVector<QPair<QString, bool>> grants(const QString &postCode) const;

private:
    Database &m_db;
};

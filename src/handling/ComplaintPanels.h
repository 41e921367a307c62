#pragma once

#include <QString>

#include "common/Controls.h"
#include "common/DepartmentTree.h"
#include "common/ReportList.h"

class Database;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QToolButton;
class QTreeWidget;
class QWidget;

// Parts that the acceptance and the handling windows share.

// Frame1 "投诉情况": the selected complaint, shown and never read back.
class ComplaintDetails {
public:
    explicit ComplaintDetails(QWidget *parent);

    void clear();
    // Text1(0) address and complainant, Text1(1) content, Text1(2) contact person, Text1(3) "电话：" phone.
    void show(const QString &addressAndComplainant, const QString &content, const QString &contact,
              const QString &phone);

    QGroupBox *frame;
    QLineEdit *complainant;   // Text1(0)
    QPlainTextEdit *content;  // Text1(1)
    QLineEdit *contact;       // Text1(2)
    QLineEdit *phone;         // Text1(3)
};

// Frame3 "转呈处理": the department tree and the post picker of the forwarding target.
class ForwardTarget {
public:
    ForwardTarget(QWidget *parent, Database &db);
    ForwardTarget(const ForwardTarget &) = delete;
    ForwardTarget &operator=(const ForwardTarget &) = delete;

    // Reads the organisation into the tree. Throws DbError.
    void build(Database &db);
    // Whether a department node is selected, and its code.
    bool hasDepartment() const;
    QString departmentCode() const;
    // The post chosen in Text5: the text before its first blank.
    QString postCode() const;

    QGroupBox *frame;
    QTreeWidget *tree;   // TreeView1
    QLineEdit *post;     // Text5
    QToolButton *drop;   // Command3
    QListWidget *posts;  // List1
    DepartmentTree departments;
};

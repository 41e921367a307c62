#pragma once

#include <QDateTime>
#include <QHash>
#include <QIcon>
#include <QSet>
#include <QString>
#include <QVector>

#include "common/Clock.h"
#include "common/DepartmentStore.h"

class Database;
class QLineEdit;
class QListWidget;
class QAbstractButton;
class QTreeWidget;
class QTreeWidgetItem;

// The current organisation as a tree, and the valid posts of a department (read through
// DepartmentStore).
class DepartmentTree {
public:
    // The key of a department node: "$" + code (never starts with a digit).
    static QString keyFor(const QString &code) { return QStringLiteral("$") + code; }
    static QString keyOf(const QTreeWidgetItem *item);
    // The department code of a node: its key without the "$".
    static QString codeOf(const QTreeWidgetItem *item) { return keyOf(item).mid(1); }

    // The departments that have not ended, each with the parent of its latest parent row, in
    // the variant's order.
    static QVector<DepartmentEntry> load(Database &db, PickerVariant variant);

    // Reads the departments and fills `tree` (emptied first). Every department hangs under its
    // current parent, siblings in query order. A department whose parent is not a current
    // department is left out with its subtree; a department listed twice is shown once; parent
    // links that form a cycle never reach a root and are left out. Throws DbError.
    void build(QTreeWidget *tree, PickerVariant variant, Database &db);
    // Same, from entries already read.
    void build(QTreeWidget *tree, const QVector<DepartmentEntry> &entries);

    const QVector<DepartmentEntry> &entries() const { return m_entries; }

    // The picture of the nodes (the window's image); the style's folder icon when none is set.
    void setIcon(const QIcon &icon) { m_icon = icon; }

private:
    // Adds under the node of `parentCode` every entry whose parent it is, each followed by its own children.
    void addChildren(QTreeWidgetItem *parentNode, const QString &parentCode);
    QTreeWidgetItem *makeNode(const DepartmentEntry &entry) const;

    QVector<DepartmentEntry> m_entries;
    QHash<QString, QVector<int>> m_children;
    QSet<QString> m_shown;
    QIcon m_icon;
};

class PostPicker {
public:
    // Empties `list` and adds the posts of `departmentCode` valid at `now` (start <= now, end
    // NULL or after now), the department head's post first. Throws DbError.
    static void fill(QListWidget *list, const QString &departmentCode, PickerVariant variant, Database &db,
                     const QDateTime &now = Clock::now());
    static QStringList items(const QString &departmentCode, PickerVariant variant, Database &db,
                             const QDateTime &now = Clock::now());
};

// The picking behaviour of the plain variant, wired to a window's own controls: a click on a
// department fills and shows the post list and empties the post box; the drop button toggles the
// list; a click on a post puts "code name" into the post box and hides the list. An error while
// filling the list is shown as the numbered report and leaves the list empty.
void wirePlainPicking(QTreeWidget *tree, QListWidget *posts, QLineEdit *postBox, QAbstractButton *dropButton,
                      Database &db);

// The picking behaviour of the assignment variant: the department tree is itself a drop-down
// (its button toggles it); a click on a department puts its name into `departmentBox` and its
// code into that box's "tag" property, fills the post list (not shown) and hides the tree. A
// department other than the one in the box also empties `postBox` and its tag, so that a post
// of the previous department cannot be stored with the new one. A click on a post puts
// "name(holder)" into `postBox`, its code into the box's tag, and hides the list.
void wireAssignmentPicking(QTreeWidget *tree, QAbstractButton *treeButton, QLineEdit *departmentBox, QListWidget *posts,
                           QAbstractButton *postButton, QLineEdit *postBox, Database &db);

#pragma once

// Helpers of the acceptance and handling tests (included by tests/routing too).

#include <QDateTime>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStringList>
#include <QTest>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

#include "TestDatabase.h"
#include "common/Clock.h"
#include "common/FlexGrid.h"
#include "common/Session.h"

namespace routing_test {

// A moment the tests pin the clock to (Clock::Pinned clock(pinned())).
inline QDateTime pinned() { return QDateTime(QDate(2026, 3, 10), QTime(10, 30, 0)); }

inline void loginAcceptor()
{
    TestDatabase::login(QStringLiteral("1002"), QStringLiteral("李建国"), QStringLiteral("5"),
                        QStringLiteral("翠苑物业服务中心"), QStringLiteral("501"), QStringLiteral("服务中心主任"));
}

inline void loginHandler()
{
    TestDatabase::login(QStringLiteral("1003"), QStringLiteral("王志强"), QStringLiteral("3"),
                        QStringLiteral("工程维修部"), QStringLiteral("301"), QStringLiteral("工程部经理"));
}

// A complaint as reception stores it: status "尚未受理", no step.
inline void insertComplaint(TestDatabase &db, const QString &code, const QString &office, const QDateTime &time,
                            const QString &complainant = QStringLiteral("测试人"))
{
    db.exec(QStringLiteral("INSERT INTO 投诉信息 (投诉编号, 流水号, 部门编号, 部门名称, 管理处代号, 投诉人, 地址,"
                           " 联系电话, 投诉类别, 投诉方式, 投诉时间, 投诉内容, 接待人, 处理状态)"
                           " VALUES (?, ?, '5', '翠苑物业服务中心', ?, ?, '翠苑小区1幢', '13800000000', '维修质量',"
                           " '电话', ?, '内容', '张晓燕', '尚未受理')"),
            {code, code.toInt(), office, complainant, time});
}

inline void insertStep(TestDatabase &db, const QString &code, const QString &dept, const QString &post, int order,
                       const QDateTime &accepted, const QVariant &finished = QVariant())
{
    db.exec(QStringLiteral("INSERT INTO 投诉信息处理 (投诉编号, 处理部门, 处理岗位, 顺序号, 接受时间, 处理结束时间)"
                           " VALUES (?, ?, ?, ?, ?, ?)"),
            {code, dept, post, order, accepted, finished});
}

template <typename T>
T *find(QWidget *window, const char *name)
{
    T *widget = window->findChild<T *>(QString::fromUtf8(name));
    if (!widget) qFatal("no control %s", name);
    return widget;
}

inline void click(FlexGrid *grid, int row)
{
    grid->setCurrentRow(row);
    emit grid->cellClicked(row, 1);
}

inline int rowOf(FlexGrid *grid, int column, const QString &text)
{
    for (int row = 0; row < grid->grid()->rowCount(); ++row)
        if (grid->grid()->text(row, column) == text) return row;
    return -1;
}

inline QStringList column(FlexGrid *grid, int column)
{
    QStringList texts;
    for (int row = 0; row < grid->grid()->rowCount(); ++row) texts << grid->grid()->text(row, column);
    return texts;
}

inline void type(QWidget *window, const char *name, const QString &text)
{
    find<QPlainTextEdit>(window, name)->setPlainText(text);
}

inline void press(QWidget *window, const char *name) { find<QPushButton>(window, name)->click(); }

// Clicks the department node and the post item of the window's forwarding target, as a user would.
inline void pickTarget(QWidget *window, const QString &dept, const QString &post)
{
    auto *tree = find<QTreeWidget>(window, "TreeView1");
    QTreeWidgetItem *node = nullptr;
    for (QTreeWidgetItemIterator it(tree); *it; ++it)
        if ((*it)->data(0, Qt::UserRole).toString() == QLatin1Char('$') + dept) node = *it;
    QVERIFY2(node, "department node");
    tree->setCurrentItem(node);
    emit tree->itemClicked(node, 0);
    auto *posts = find<QListWidget>(window, "List1");
    for (int i = 0; i < posts->count(); ++i)
        if (posts->item(i)->text().startsWith(post + QLatin1Char(' '))) emit posts->itemClicked(posts->item(i));
}

}  // namespace routing_test

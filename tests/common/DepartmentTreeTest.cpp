#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include "TestDatabase.h"
#include "TestRegistry.h"
#include "common/DepartmentTree.h"
#include "common/Tag.h"
#include "data/Database.h"

namespace {

const QDateTime kNow(QDate(2026, 5, 10), QTime(12, 0));

void department(TestDatabase &t, const QString &code, const QString &name, int position = 0,
                const QVariant &ended = QVariant())
{
    t.exec(QStringLiteral("INSERT INTO 职能部门new (职能部门编号, 职能部门名称, 终止日期, 显示协调位置) "
                          "VALUES (?, ?, ?, ?)"),
           {code, name, ended, position});
}

void parentRow(TestDatabase &t, const QString &code, const QVariant &parentCode, const QDate &since)
{
    t.exec(QStringLiteral("INSERT INTO 上级部门new (职能部门编号, 上级部门编号, 起始日期) VALUES (?, ?, ?)"),
           {code, parentCode, since});
}

void post(TestDatabase &t, const QString &code, const QString &name, const QString &dept, const QString &holder,
          const QVariant &start, const QVariant &end, int head = 0)
{
    t.exec(
        QStringLiteral("INSERT INTO 岗位信息new (岗位代号, 岗位名称, 职能部门代号, 工号, 起始日期, 终止日期, 部门主管)"
                       " VALUES (?, ?, ?, ?, ?, ?, ?)"),
        {code, name, dept, holder, start, end, head});
}

// The tree as text: one line per node, two blanks of indent per level.
QString dump(QTreeWidgetItem *node, int level)
{
    QString text = QString(level * 2, QLatin1Char(' ')) + node->text(0) + QLatin1Char('\n');
    for (int i = 0; i < node->childCount(); ++i) text += dump(node->child(i), level + 1);
    return text;
}

QString dump(const QTreeWidget &tree)
{
    QString text;
    for (int i = 0; i < tree.topLevelItemCount(); ++i) text += dump(tree.topLevelItem(i), 0);
    return text;
}

QTreeWidgetItem *find(const QTreeWidget &tree, const QString &code)
{
    const auto found = tree.findItems(code + QLatin1Char(' '), Qt::MatchStartsWith | Qt::MatchRecursive);
    return found.isEmpty() ? nullptr : found.first();
}

// The head's post first, the others in any order (the server's).
QStringList headFirst(QStringList items)
{
    if (!items.isEmpty()) std::sort(items.begin() + 1, items.end());
    return items;
}

}  // namespace

// The organisation tree and the post lists built from the organisation tables, and the two ways
// a window's controls pick a department and a post.
class DepartmentTreeTest : public QObject {
    Q_OBJECT
private slots:
    void departmentsHangUnderTheirLatestCurrentParent();
    void brokenParentLinksNeitherRepeatNorHang();
    void orderFollowsTheVariant();
    void postsValidNowWithTheHeadFirst();
    void plainPicking();
    void assignmentPicking();
};

void DepartmentTreeTest::departmentsHangUnderTheirLatestCurrentParent()
{
    TestDatabase t;
    department(t, QStringLiteral("1"), QStringLiteral("总部"));
    parentRow(t, QStringLiteral("1"), QVariant(), QDate(2008, 1, 1));  // NULL parent: a root
    department(t, QStringLiteral("2"), QStringLiteral("分公司"));      // no parent row: a root
    department(t, QStringLiteral("3"), QStringLiteral("工程部"));
    parentRow(t, QStringLiteral("3"), QStringLiteral("2"), QDate(2008, 1, 1));  // an older parent
    parentRow(t, QStringLiteral("3"), QStringLiteral("1"), QDate(2012, 3, 1));  // the latest one counts
    parentRow(t, QStringLiteral("3"), QStringLiteral("2"), QDate(2010, 1, 1));
    department(t, QStringLiteral("4"), QStringLiteral("维修班"));
    parentRow(t, QStringLiteral("4"), QStringLiteral("3"), QDate(2012, 3, 1));
    // An ended department takes its whole subtree out of the tree.
    department(t, QStringLiteral("5"), QStringLiteral("行政部"), 0, QDate(2020, 6, 30));
    parentRow(t, QStringLiteral("5"), QStringLiteral("1"), QDate(2008, 1, 1));
    department(t, QStringLiteral("6"), QStringLiteral("档案室"));
    parentRow(t, QStringLiteral("6"), QStringLiteral("5"), QDate(2008, 1, 1));
    department(t, QStringLiteral("7"), QStringLiteral("档案柜"));
    parentRow(t, QStringLiteral("7"), QStringLiteral("6"), QDate(2008, 1, 1));
    // A parent that is not a department at all.
    department(t, QStringLiteral("8"), QStringLiteral("孤儿"));
    parentRow(t, QStringLiteral("8"), QStringLiteral("99"), QDate(2008, 1, 1));

    QTreeWidget tree;
    DepartmentTree departments;
    departments.build(&tree, PickerVariant::Plain, t.db());
    QCOMPARE(dump(tree), QStringLiteral("1 总部\n  3 工程部\n    4 维修班\n2 分公司\n"));
    QCOMPARE(departments.entries().size(), 7);  // every current department is read, shown or not
    QTreeWidgetItem *node = find(tree, QStringLiteral("4"));
    QVERIFY(node);
    QCOMPARE(DepartmentTree::keyOf(node), QStringLiteral("$4"));
    QCOMPARE(DepartmentTree::codeOf(node), QStringLiteral("4"));

    // Building again replaces the tree.
    departments.build(&tree, PickerVariant::Plain, t.db());
    QCOMPARE(tree.topLevelItemCount(), 2);

    // No current department at all: an empty tree.
    t.exec(QStringLiteral("UPDATE 职能部门new SET 终止日期 = ?"), {QDate(2020, 1, 1)});
    departments.build(&tree, PickerVariant::Plain, t.db());
    QCOMPARE(tree.topLevelItemCount(), 0);
}

void DepartmentTreeTest::brokenParentLinksNeitherRepeatNorHang()
{
    TestDatabase t;
    department(t, QStringLiteral("1"), QStringLiteral("总部"));
    // Two parent rows with the same latest date: the department is read twice, shown once, and
    // its children once.
    department(t, QStringLiteral("2"), QStringLiteral("客服部"));
    parentRow(t, QStringLiteral("2"), QStringLiteral("1"), QDate(2010, 1, 1));
    parentRow(t, QStringLiteral("2"), QStringLiteral("1"), QDate(2010, 1, 1));
    department(t, QStringLiteral("21"), QStringLiteral("客服一组"));
    parentRow(t, QStringLiteral("21"), QStringLiteral("2"), QDate(2010, 1, 1));
    // The same, naming two different parents: shown under the first one reached.
    department(t, QStringLiteral("3"), QStringLiteral("工程部"));
    parentRow(t, QStringLiteral("3"), QStringLiteral("1"), QDate(2011, 1, 1));
    parentRow(t, QStringLiteral("3"), QStringLiteral("2"), QDate(2011, 1, 1));
    // A cycle 4 -> 5 -> 6 -> 4 never reaches a root and is left out, with what hangs under it.
    department(t, QStringLiteral("4"), QStringLiteral("甲"));
    department(t, QStringLiteral("5"), QStringLiteral("乙"));
    department(t, QStringLiteral("6"), QStringLiteral("丙"));
    department(t, QStringLiteral("7"), QStringLiteral("丁"));
    parentRow(t, QStringLiteral("4"), QStringLiteral("6"), QDate(2010, 1, 1));
    parentRow(t, QStringLiteral("5"), QStringLiteral("4"), QDate(2010, 1, 1));
    parentRow(t, QStringLiteral("6"), QStringLiteral("5"), QDate(2010, 1, 1));
    parentRow(t, QStringLiteral("7"), QStringLiteral("5"), QDate(2010, 1, 1));
    // A department that is its own parent.
    department(t, QStringLiteral("8"), QStringLiteral("戊"));
    parentRow(t, QStringLiteral("8"), QStringLiteral("8"), QDate(2010, 1, 1));
    // A cycle reachable from a root through a duplicate row: 9 is under 1 and also under 91,
    // which is under 9.
    department(t, QStringLiteral("9"), QStringLiteral("己"));
    department(t, QStringLiteral("91"), QStringLiteral("庚"));
    parentRow(t, QStringLiteral("9"), QStringLiteral("1"), QDate(2010, 1, 1));
    parentRow(t, QStringLiteral("9"), QStringLiteral("91"), QDate(2010, 1, 1));
    parentRow(t, QStringLiteral("91"), QStringLiteral("9"), QDate(2010, 1, 1));

    QTreeWidget tree;
    DepartmentTree departments;
    departments.build(&tree, PickerVariant::Plain, t.db());
    QCOMPARE(dump(tree), QStringLiteral("1 总部\n  2 客服部\n    21 客服一组\n    3 工程部\n  9 己\n    91 庚\n"));
}

void DepartmentTreeTest::orderFollowsTheVariant()
{
    TestDatabase t;
    department(t, QStringLiteral("2"), QStringLiteral("二部"), 3);
    department(t, QStringLiteral("10"), QStringLiteral("十部"), 2);
    department(t, QStringLiteral("1"), QStringLiteral("一部"), 1);
    department(t, QStringLiteral("22"), QStringLiteral("二部一组"), 2);
    department(t, QStringLiteral("21"), QStringLiteral("二部二组"), 1);
    parentRow(t, QStringLiteral("22"), QStringLiteral("2"), QDate(2010, 1, 1));
    parentRow(t, QStringLiteral("21"), QStringLiteral("2"), QDate(2010, 1, 1));

    QTreeWidget tree;
    DepartmentTree departments;
    // Plain: by code as text, "10" before "2"; siblings likewise.
    departments.build(&tree, PickerVariant::Plain, t.db());
    QCOMPARE(dump(tree), QStringLiteral("1 一部\n10 十部\n2 二部\n  21 二部二组\n  22 二部一组\n"));
    // Assignment: by display position.
    departments.build(&tree, PickerVariant::Assignment, t.db());
    QCOMPARE(dump(tree), QStringLiteral("1 一部\n10 十部\n2 二部\n  21 二部二组\n  22 二部一组\n"));
    t.exec(QStringLiteral("UPDATE 职能部门new SET 显示协调位置 = 10 - 显示协调位置"));
    departments.build(&tree, PickerVariant::Assignment, t.db());
    QCOMPARE(dump(tree), QStringLiteral("2 二部\n  22 二部一组\n  21 二部二组\n10 十部\n1 一部\n"));
}

void DepartmentTreeTest::postsValidNowWithTheHeadFirst()
{
    TestDatabase t;
    t.exec(QStringLiteral("INSERT INTO 员工档案 (工号, 姓名) VALUES ('e1', '王一'), ('e2', '李二'), ('e3', '张三')"));
    const QDateTime earlier = kNow.addSecs(-1), later = kNow.addSecs(1);
    post(t, QStringLiteral("P1"), QStringLiteral("维修 主管 A"), QStringLiteral("3"), QStringLiteral("e1"), earlier,
         QVariant());
    post(t, QStringLiteral("P2"), QStringLiteral("经理"), QStringLiteral("3"), QStringLiteral("e2"), kNow, later, 1);
    post(t, QStringLiteral("P3"), QStringLiteral("将来"), QStringLiteral("3"), QStringLiteral("e1"), later, QVariant());
    post(t, QStringLiteral("P4"), QStringLiteral("刚结束"), QStringLiteral("3"), QStringLiteral("e1"), earlier, kNow);
    post(t, QStringLiteral("P5"), QStringLiteral("已结束"), QStringLiteral("3"), QStringLiteral("e1"), earlier,
         earlier);
    post(t, QStringLiteral("P6"), QStringLiteral("无人"), QStringLiteral("3"), QStringLiteral("nobody"), earlier,
         QVariant());
    post(t, QStringLiteral("P7"), QStringLiteral("别的部门"), QStringLiteral("4"), QStringLiteral("e3"), earlier,
         QVariant());

    QCOMPARE(headFirst(PostPicker::items(QStringLiteral("3"), PickerVariant::Plain, t.db(), kNow)),
             (QStringList{QStringLiteral("P2 经理"), QStringLiteral("P1 维修 主管 A"), QStringLiteral("P6 无人")}));
    // The assignment variant names the holder and offers only posts whose holder is an employee.
    QCOMPARE(PostPicker::items(QStringLiteral("3"), PickerVariant::Assignment, t.db(), kNow),
             (QStringList{QStringLiteral("P2 经理(李二)"), QStringLiteral("P1 维修 主管 A(王一)")}));
    // At a later moment the post that started then is offered and the one that ended is not.
    QCOMPARE(headFirst(PostPicker::items(QStringLiteral("3"), PickerVariant::Plain, t.db(), later)),
             (QStringList{QStringLiteral("P1 维修 主管 A"), QStringLiteral("P3 将来"), QStringLiteral("P6 无人")}));

    QListWidget list;
    list.addItem(QStringLiteral("old"));
    PostPicker::fill(&list, QStringLiteral("4"), PickerVariant::Plain, t.db(), kNow);
    QCOMPARE(list.count(), 1);
    QCOMPARE(list.item(0)->text(), QStringLiteral("P7 别的部门"));
}

void DepartmentTreeTest::plainPicking()
{
    TestDatabase t(true);
    QWidget window;
    auto *tree = new QTreeWidget(&window);
    auto *posts = new QListWidget(&window);
    auto *postBox = new QLineEdit(&window);
    auto *drop = new QPushButton(&window);
    posts->hide();
    DepartmentTree departments;
    departments.build(tree, PickerVariant::Plain, t.db());
    wirePlainPicking(tree, posts, postBox, drop, t.db());

    // The drop button toggles the list, even while the window is not on the screen.
    drop->click();
    QVERIFY(!posts->isHidden());
    drop->click();
    QVERIFY(posts->isHidden());

    postBox->setText(QStringLiteral("202 客服专员"));
    emit tree->itemClicked(find(*tree, QStringLiteral("5")), 0);
    QVERIFY(!posts->isHidden());
    QVERIFY(postBox->text().isEmpty());
    QCOMPARE(posts->count(), 3);  // the ended 服务中心副主任 is not offered
    QCOMPARE(posts->item(0)->text(), QStringLiteral("501 服务中心主任"));

    emit posts->itemClicked(posts->item(1));
    QCOMPARE(postBox->text(), posts->item(1)->text());
    QVERIFY(posts->isHidden());

    // A department without posts leaves an empty list and an empty box.
    emit tree->itemClicked(find(*tree, QStringLiteral("4")), 0);
    emit tree->itemClicked(find(*tree, QStringLiteral("10")), 0);
    QCOMPARE(posts->count(), 1);
    QVERIFY(postBox->text().isEmpty());
}

void DepartmentTreeTest::assignmentPicking()
{
    TestDatabase t(true);
    QWidget window;
    auto *tree = new QTreeWidget(&window);
    auto *treeButton = new QPushButton(&window);
    auto *departmentBox = new QLineEdit(&window);
    auto *posts = new QListWidget(&window);
    auto *postButton = new QPushButton(&window);
    auto *postBox = new QLineEdit(&window);
    tree->hide();
    posts->hide();
    DepartmentTree departments;
    departments.build(tree, PickerVariant::Assignment, t.db());
    wireAssignmentPicking(tree, treeButton, departmentBox, posts, postButton, postBox, t.db());
    // The tree follows the display position: 总经理室 (1), then 安全保卫部 (10) under it first.
    QCOMPARE(tree->topLevelItem(0)->child(0)->text(0), QStringLiteral("10 安全保卫部"));

    treeButton->click();
    QVERIFY(!tree->isHidden());
    emit tree->itemClicked(find(*tree, QStringLiteral("5")), 0);
    QCOMPARE(departmentBox->text(), QStringLiteral("翠苑物业服务中心"));
    QCOMPARE(tag(departmentBox), QStringLiteral("5"));
    QVERIFY(tree->isHidden());
    QVERIFY(posts->isHidden());  // filled, not shown
    QCOMPARE(posts->item(0)->text(), QStringLiteral("501 服务中心主任(李建国)"));

    postButton->click();
    QVERIFY(!posts->isHidden());
    emit posts->itemClicked(posts->item(0));
    QCOMPARE(postBox->text(), QStringLiteral("服务中心主任(李建国)"));
    QCOMPARE(tag(postBox), QStringLiteral("501"));
    QVERIFY(posts->isHidden());

    // The same department again keeps the post; another one empties it, so that a post of one
    // department is never saved with another.
    emit tree->itemClicked(find(*tree, QStringLiteral("5")), 0);
    QCOMPARE(tag(postBox), QStringLiteral("501"));
    emit tree->itemClicked(find(*tree, QStringLiteral("3")), 0);
    QCOMPARE(tag(departmentBox), QStringLiteral("3"));
    QVERIFY(postBox->text().isEmpty());
    QVERIFY(tag(postBox).isEmpty());
    QCOMPARE(posts->count(), 2);
}

TAVIMOR_TEST(DepartmentTreeTest)
#include "DepartmentTreeTest.moc"

#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>
#include <memory>

#include "MessageRecorder.h"
#include "TestDatabase.h"
#include "TestRegistry.h"
#include "common/DateText.h"
#include "common/FlexGrid.h"
#include "common/Tag.h"
#include "routing/RoutingWindows.h"

namespace {

// The assignment window on the demo data, its controls found by their names.
struct Window {
    Window() : widget(createAssignmentWindow())
    {
        widget->show();
        offices = find<QTreeWidget>("TreeView1");
        grid = find<FlexGrid>("MSFlexGrid1");
        withEnded = find<QCheckBox>("Check1");
        settingDate = find<QLineEdit>("Text1");
        department = find<QLineEdit>("Text2");
        post = find<QLineEdit>("Text5");
        endDate = find<QLineEdit>("Text3");
        remark = find<QLineEdit>("Text4");
        departmentTree = find<QTreeWidget>("TreeView2");
        posts = find<QListWidget>("List1");
        addCancel = find<QPushButton>("Command1");
        save = find<QPushButton>("Command2");
        remove = find<QPushButton>("Command3");
    }

    template <typename T>
    T *find(const char *objectName) const
    {
        T *child = widget->findChild<T *>(QString::fromUtf8(objectName));
        if (!child) qFatal("no control %s", objectName);
        return child;
    }

    QTreeWidgetItem *office(const QString &code) const
    {
        QTreeWidgetItem *root = offices->topLevelItem(0);
        for (int i = 0; i < root->childCount(); ++i)
            if (root->child(i)->data(0, Qt::UserRole).toString() == code + QLatin1Char('G')) return root->child(i);
        return nullptr;
    }

    void clickOffice(QTreeWidgetItem *node)
    {
        offices->setCurrentItem(node);
        emit offices->itemClicked(node, 0);
    }

    void clickRow(int row)
    {
        grid->setCurrentRow(row);
        emit grid->cellClicked(row, 1);
    }

    // Picks a department in the drop-down tree and a post from the drop-down list.
    void pick(const QString &departmentCode, const QString &postCode)
    {
        const auto nodes =
            departmentTree->findItems(departmentCode + QLatin1Char(' '), Qt::MatchStartsWith | Qt::MatchRecursive);
        QVERIFY(!nodes.isEmpty());
        emit departmentTree->itemClicked(nodes.first(), 0);
        const auto items = posts->findItems(postCode + QLatin1Char(' '), Qt::MatchStartsWith);
        QVERIFY(!items.isEmpty());
        emit posts->itemClicked(items.first());
    }

    QStringList column(int c) const
    {
        QStringList texts;
        for (int row = 0; row < grid->grid()->rowCount(); ++row) texts << grid->grid()->text(row, c);
        return texts;
    }

    std::unique_ptr<QWidget> widget;
    QTreeWidget *offices;
    FlexGrid *grid;
    QCheckBox *withEnded;
    QLineEdit *settingDate, *department, *post, *endDate, *remark;
    QTreeWidget *departmentTree;
    QListWidget *posts;
    QPushButton *addCancel, *save, *remove;
};

int assignments(TestDatabase &t, const QString &office)
{
    return t.count(QStringLiteral("投诉处理人设置"), QStringLiteral("管理处代号 = ?"), {office});
}

}  // namespace

// The handler assignment window driven through its controls, checked against the table.
class AssignmentWindowTest : public QObject {
    Q_OBJECT
private slots:
    void init() { TestDatabase::login("1004", "刘德明", "1", "总经理室", "101", "总经理"); }
    void opensOnTheFirstOfficeInNaturalOrder();
    void endedAssignmentsAndTheRootNode();
    void addingRefusesTheSamePostOnTheSameDay();
    void cancellingAndEditingTheDate();
    void badInputWritesNothing();
    void deletingTheCurrentRow();
    void databaseFailuresAreReported();
};

void AssignmentWindowTest::opensOnTheFirstOfficeInNaturalOrder()
{
    TestDatabase t(true);
    MessageRecorder messages;
    Window w;
    QTreeWidgetItem *root = w.offices->topLevelItem(0);
    QCOMPARE(root->text(0), QStringLiteral("管理项目列表"));
    QCOMPARE(root->data(0, Qt::UserRole).toString(), QStringLiteral("Z"));
    QStringList texts;
    for (int i = 0; i < root->childCount(); ++i) texts << root->child(i)->text(0);
    QCOMPARE(texts, (QStringList{QStringLiteral("1 翠苑小区"), QStringLiteral("2 翠苑二期"),
                                 QStringLiteral("10 翠苑商业街"), QStringLiteral("11 国贸商业广场")}));
    QCOMPARE(w.offices->currentItem(), root->child(0));

    // The first office's assignment is shown in the grid and in the fields; codes hidden.
    QCOMPARE(w.grid->grid()->rowCount(), 1);
    QCOMPARE(w.grid->grid()->rowTexts(0).mid(0, 8),
             (QStringList{QStringLiteral("1"), QStringLiteral("2024-01-01"), QStringLiteral("翠苑物业服务中心"),
                          QStringLiteral("服务中心主任"), QString(), QStringLiteral("服务中心主任受理"),
                          QStringLiteral("501"), QStringLiteral("5")}));
    for (int c : {6, 7, 8}) QVERIFY(w.grid->isColumnHidden(c));
    QCOMPARE(w.settingDate->text(), QStringLiteral("2024-01-01"));
    QCOMPARE(w.department->text(), QStringLiteral("翠苑物业服务中心"));
    QCOMPARE(tag(w.department), QStringLiteral("5"));
    QCOMPARE(tag(w.post), QStringLiteral("501"));
    QCOMPARE(w.remark->text(), QStringLiteral("服务中心主任受理"));
    QVERIFY(w.departmentTree->isHidden());
    QVERIFY(w.posts->isHidden());
    QVERIFY(w.departmentTree->topLevelItemCount() > 0);
    QCOMPARE(messages.count(), 0);
}

void AssignmentWindowTest::endedAssignmentsAndTheRootNode()
{
    TestDatabase t(true);
    MessageRecorder messages;
    Window w;
    w.clickOffice(w.office(QStringLiteral("10")));
    QCOMPARE(w.column(3), QStringList{QStringLiteral("服务中心主任")});
    QVERIFY(w.grid->grid()->index(0, 2).data(Qt::ForegroundRole).value<QColor>() != QColor(255, 0, 0));

    w.withEnded->click();
    QCOMPARE(w.column(3), (QStringList{QStringLiteral("客户管家"), QStringLiteral("服务中心主任")}));
    const QModelIndex ended = w.grid->grid()->index(0, 2);
    QCOMPARE(ended.data(Qt::ForegroundRole).value<QColor>(), QColor(255, 0, 0));
    QVERIFY(w.grid->grid()->index(1, 2).data(Qt::ForegroundRole).value<QColor>() != QColor(255, 0, 0));
    QCOMPARE(w.endDate->text(), QStringLiteral("2023-12-31"));  // the first row is shown

    // The root empties the fields and leaves the grid; saving then asks for an office.
    w.clickOffice(w.offices->topLevelItem(0));
    QVERIFY(w.settingDate->text().isEmpty() && w.department->text().isEmpty() && w.remark->text().isEmpty());
    QCOMPARE(w.grid->grid()->rowCount(), 2);
    w.addCancel->click();
    w.pick(QStringLiteral("5"), QStringLiteral("502"));
    w.save->click();
    QCOMPARE(messages.last(), QStringLiteral("请选择管理项目！"));
    QCOMPARE(t.count(QStringLiteral("投诉处理人设置")), 5);
}

void AssignmentWindowTest::addingRefusesTheSamePostOnTheSameDay()
{
    TestDatabase t(true);
    MessageRecorder messages;
    Window w;
    w.clickOffice(w.office(QStringLiteral("2")));

    w.addCancel->click();
    QCOMPARE(w.addCancel->text(), QStringLiteral("取消"));
    QCOMPARE(w.settingDate->text(), DateText::day(QDate::currentDate()));
    QVERIFY(w.department->text().isEmpty());
    w.settingDate->setText(QStringLiteral("2024-01-01"));
    w.pick(QStringLiteral("5"), QStringLiteral("501"));
    QCOMPARE(w.post->text(), QStringLiteral("服务中心主任(李建国)"));
    w.save->click();
    QCOMPARE(messages.count(), 1);
    QCOMPARE(messages.last(), QStringLiteral("2024-01-01已设置过该岗位，同一天不能重复设置多次！"));
    QCOMPARE(messages.messages.last().title, QStringLiteral("提示"));
    QCOMPARE(messages.messages.last().icon, Messages::Icon::Information);
    QCOMPARE(w.addCancel->text(), QStringLiteral("取消"));
    QCOMPARE(assignments(t, QStringLiteral("2")), 1);

    // Another day is accepted; the new row is shown and the window is back to editing.
    w.settingDate->setText(QStringLiteral("2024-1-2"));
    w.remark->setText(QStringLiteral("  节假日值班  "));
    w.save->click();
    QCOMPARE(messages.count(), 1);
    QCOMPARE(assignments(t, QStringLiteral("2")), 2);
    QCOMPARE(w.addCancel->text(), QStringLiteral("新增"));
    QCOMPARE(w.column(1), (QStringList{QStringLiteral("2024-01-01"), QStringLiteral("2024-01-02")}));
    QCOMPARE(w.grid->currentRow(), 1);
    QCOMPARE(w.remark->text(), QStringLiteral("节假日值班"));

    // Another post on the same day is accepted too.
    w.addCancel->click();
    w.settingDate->setText(QStringLiteral("2024-01-01"));
    w.pick(QStringLiteral("5"), QStringLiteral("503"));
    w.save->click();
    QCOMPARE(messages.count(), 1);
    QCOMPARE(t.count(QStringLiteral("投诉处理人设置"),
                     QStringLiteral("管理处代号 = '2' AND 职能部门代号 = '5' AND 岗位代号 = '503' AND 设置日期 = "
                                    "'2024-01-01 00:00:00' AND 终止日期 IS NULL AND 备注 IS NULL")),
             1);
}

void AssignmentWindowTest::cancellingAndEditingTheDate()
{
    TestDatabase t(true);
    t.exec(
        QStringLiteral("INSERT INTO 投诉处理人设置 (管理处代号, 职能部门代号, 岗位代号, 设置日期, 备注)"
                       " VALUES ('1', '3', '301', '2024-06-01 00:00:00', '工程')"));
    MessageRecorder messages;
    Window w;
    w.clickRow(1);
    QCOMPARE(w.remark->text(), QStringLiteral("工程"));

    // Cancelling an addition shows the first row again.
    w.addCancel->click();
    w.remark->setText(QStringLiteral("new"));
    w.addCancel->click();
    QCOMPARE(w.addCancel->text(), QStringLiteral("新增"));
    QCOMPARE(w.grid->currentRow(), 0);
    QCOMPARE(w.settingDate->text(), QStringLiteral("2024-01-01"));
    QCOMPARE(w.remark->text(), QStringLiteral("服务中心主任受理"));

    // Editing the date and the post changes that very assignment.
    const qint64 id =
        t.value(QStringLiteral("SELECT ID FROM 投诉处理人设置 WHERE 管理处代号 = '1' AND 岗位代号 = '501'"))
            .toLongLong();
    w.settingDate->setText(QStringLiteral("2024-02-15"));
    w.pick(QStringLiteral("5"), QStringLiteral("503"));
    w.endDate->setText(QStringLiteral("2024-12-31"));
    w.save->click();
    QCOMPARE(messages.count(), 0);
    QCOMPARE(assignments(t, QStringLiteral("1")), 2);
    const Row row = t.db().select(QStringLiteral("SELECT * FROM 投诉处理人设置 WHERE ID = ?"), {id}).first();
    QCOMPARE(row.text(QStringLiteral("设置日期")), QStringLiteral("2024-02-15 00:00:00"));
    QCOMPARE(row.text(QStringLiteral("岗位代号")), QStringLiteral("503"));
    QCOMPARE(row.text(QStringLiteral("终止日期")), QStringLiteral("2024-12-31 00:00:00"));
    // Ended, it leaves the grid of current assignments.
    QCOMPARE(w.column(3), QStringList{QStringLiteral("工程部经理")});

    // Moving the other assignment onto a day and post already taken is refused.
    w.withEnded->click();
    w.clickRow(1);
    QCOMPARE(w.remark->text(), QStringLiteral("工程"));
    w.settingDate->setText(QStringLiteral("2024-02-15"));
    w.pick(QStringLiteral("5"), QStringLiteral("503"));
    w.save->click();
    QCOMPARE(messages.last(), QStringLiteral("2024-02-15已设置过该岗位，同一天不能重复设置多次！"));
    QCOMPARE(t.count(QStringLiteral("投诉处理人设置"), QStringLiteral("岗位代号 = '301'")), 1);
}

void AssignmentWindowTest::badInputWritesNothing()
{
    TestDatabase t(true);
    MessageRecorder messages;
    Window w;
    const int before = t.count(QStringLiteral("投诉处理人设置"));
    w.addCancel->click();

    w.settingDate->setText(QStringLiteral("   "));
    w.save->click();
    QCOMPARE(messages.last(), QStringLiteral("设置日期不能为空，请输入设置日期！"));
    w.settingDate->setText(QStringLiteral("2024-06-01"));
    w.save->click();
    QCOMPARE(messages.last(), QStringLiteral("部门不能为空，请选择部门！"));
    w.pick(QStringLiteral("3"), QStringLiteral("301"));
    w.post->clear();
    w.save->click();
    QCOMPARE(messages.last(), QStringLiteral("岗位不能为空，请选择岗位！"));
    w.pick(QStringLiteral("3"), QStringLiteral("301"));

    for (const QString &date : {QStringLiteral("2024-06-31"), QStringLiteral("6/1/2024"), QStringLiteral("x')--")}) {
        w.settingDate->setText(date);
        w.save->click();
        QVERIFY2(messages.last().startsWith(QStringLiteral("设置日期")), qPrintable(messages.last()));
    }
    w.settingDate->setText(QStringLiteral("2024-06-01"));
    w.endDate->setText(QStringLiteral("2024-05-31"));
    w.save->click();
    QCOMPARE(messages.last(), QStringLiteral("终止日期不能早于设置日期！"));
    QCOMPARE(t.count(QStringLiteral("投诉处理人设置")), before);
    QCOMPARE(w.addCancel->text(), QStringLiteral("取消"));  // still adding, nothing lost
    QCOMPARE(w.endDate->text(), QStringLiteral("2024-05-31"));

    w.endDate->setText(QStringLiteral("2024-06-01"));
    w.save->click();
    QCOMPARE(t.count(QStringLiteral("投诉处理人设置")), before + 1);
}

void AssignmentWindowTest::deletingTheCurrentRow()
{
    TestDatabase t(true);
    MessageRecorder messages;
    Window w;
    w.clickOffice(w.office(QStringLiteral("10")));
    w.withEnded->click();
    w.grid->setCurrentIndex(w.grid->grid()->index(1, 5));  // a cell of the remark column

    messages.answers = {Messages::Answer::No};
    w.remove->click();
    QCOMPARE(messages.last(), QStringLiteral("确定要删除序号为 ［2］ 的记录吗？"));
    QCOMPARE(messages.messages.last().title, QStringLiteral("提示"));
    QCOMPARE(assignments(t, QStringLiteral("10")), 2);

    w.grid->setCurrentRow(1);
    w.remove->click();
    QCOMPARE(assignments(t, QStringLiteral("10")), 1);
    QCOMPARE(t.count(QStringLiteral("投诉处理人设置"), QStringLiteral("岗位代号 = '503'")),
             1);  // the ended one stays
    QCOMPARE(w.column(3), QStringList{QStringLiteral("客户管家")});

    w.remove->click();
    QCOMPARE(assignments(t, QStringLiteral("10")), 0);
    QCOMPARE(w.grid->grid()->rowCount(), 0);
    // An empty grid: nothing to delete, nothing asked.
    const int asked = messages.count();
    w.remove->click();
    QCOMPARE(messages.count(), asked);
}

void AssignmentWindowTest::databaseFailuresAreReported()
{
    TestDatabase t(true);
    MessageRecorder messages;
    Window w;
    w.addCancel->click();
    w.pick(QStringLiteral("3"), QStringLiteral("301"));
    t.exec(QStringLiteral("ALTER TABLE 投诉处理人设置 RENAME TO gone"));

    // The short report; the window keeps what was typed and stays usable.
    w.save->click();
    QCOMPARE(messages.count(), 1);
    QCOMPARE(messages.messages.last().title, Messages::executableName());
    QVERIFY(messages.last().contains(QStringLiteral("投诉处理人设置")));
    QCOMPARE(w.addCancel->text(), QStringLiteral("取消"));
    QCOMPARE(tag(w.post), QStringLiteral("301"));
    w.addCancel->click();
    w.remove->click();
    QCOMPARE(messages.count(), 3);  // the question, then the report
    QCOMPARE(messages.messages.last().title, Messages::executableName());

    t.exec(QStringLiteral("ALTER TABLE gone RENAME TO 投诉处理人设置"));
    w.addCancel->click();
    w.pick(QStringLiteral("3"), QStringLiteral("301"));
    w.save->click();
    QCOMPARE(messages.count(), 3);
    QCOMPARE(assignments(t, QStringLiteral("1")), 2);
}

TAVIMOR_TEST(AssignmentWindowTest)
#include "AssignmentWindowTest.moc"

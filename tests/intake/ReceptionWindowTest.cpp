#include <QApplication>
#include <QCalendarWidget>
#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTest>
#include <QTreeWidget>

#include "IntakeFixture.h"
#include "MessageRecorder.h"
#include "TestRegistry.h"
#include "common/FlexGrid.h"
#include "common/MainArea.h"
#include "common/Session.h"
#include "common/Tag.h"
#include "common/Twips.h"
#include "data/Status.h"
#include "intake/IntakeWindows.h"
#include "intake/ReceptionWindow.h"
#include "intake/TimePanel.h"

namespace {

// The reception window on the demo data, shown offscreen, logged in as the demo receptionist.
struct Reception : ReceptionFixture {
    Reception() { open(1280, 800); }

    QLineEdit *text(int index) const
    {
        return get<QLineEdit>(QStringLiteral("Text1(%1)").arg(index).toUtf8().constData());
    }
    QPlainTextEdit *content() const { return get<QPlainTextEdit>("Text1(4)"); }
    FlexGrid *grid() const { return get<FlexGrid>("MSFlexGrid1"); }
    GridModel *model() const { return grid()->grid(); }
    QTreeWidget *tree() const { return get<QTreeWidget>("TreeView1"); }

    int rowOf(const QString &code) const
    {
        for (int r = 0; r < model()->rowCount(); ++r)
            if (model()->text(r, RegisterColumn::Code) == code) return r;
        return -1;
    }
    QStringList codes() const
    {
        QStringList list;
        for (int r = 0; r < model()->rowCount(); ++r) list << model()->text(r, RegisterColumn::Code);
        return list;
    }
    // Clicks a register row as the user would.
    void pressRow(const QString &code) const
    {
        const int row = rowOf(code);
        QVERIFY2(row >= 0, qPrintable(code));
        const QModelIndex index = model()->index(row, RegisterColumn::Code);
        grid()->scrollTo(index);
        QTest::mouseClick(grid()->viewport(), Qt::LeftButton, {}, grid()->visualRect(index).center());
    }
    // The same, and the fields show the row's complaint.
    void clickRow(const QString &code) const
    {
        pressRow(code);
        QCOMPARE(text(5)->text(), code);
    }
    // A complaint of the register received by `receiver`.
    QString receivedBy(const QString &receiver) const
    {
        for (int r = 0; r < model()->rowCount(); ++r)
            if (model()->text(r, RegisterColumn::Receiver) == receiver) return model()->text(r, RegisterColumn::Code);
        qFatal("no complaint received by %s", qPrintable(receiver));
        return QString();
    }
    QTreeWidgetItem *node(const QString &text, QTreeWidgetItem *parent = nullptr) const
    {
        const int count = parent ? parent->childCount() : tree()->topLevelItemCount();
        for (int i = 0; i < count; ++i) {
            QTreeWidgetItem *item = parent ? parent->child(i) : tree()->topLevelItem(i);
            if (item->text(0) == text) return item;
        }
        return nullptr;
    }
    void clickNode(QTreeWidgetItem *item) const
    {
        QVERIFY(item);
        tree()->scrollToItem(item);
        QTest::mouseClick(tree()->viewport(), Qt::LeftButton, {}, tree()->visualItemRect(item).center());
    }
    // Fills what a new complaint needs besides the complainant.
    void fillNew(const QString &complainant) const
    {
        text(1)->setText(complainant);
        content()->setPlainText(QStringLiteral("电梯故障"));
        get<QComboBox>("Combo4")->setCurrentIndex(1);
        get<QComboBox>("Combo5")->setCurrentIndex(0);
    }
    Row stored(const QString &code) const
    {
        const Rows rows = gConn.select(QStringLiteral("SELECT * FROM 投诉信息 WHERE 投诉编号 = ?"), {code});
        if (rows.isEmpty()) qFatal("no complaint %s", qPrintable(code));
        return rows.first();
    }
};

QColor background(QWidget *w) { return w->palette().color(QPalette::Window); }

}  // namespace

class ReceptionWindowTest : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { TestDatabase::clearSession(); }

    void loadShowsRegisterListsAndOffices()
    {
        Reception r;
        QCOMPARE(r.window->objectName(), QStringLiteral("frm投诉接待"));
        QCOMPARE(r.window->windowTitle(), QStringLiteral("投诉接待"));
        QVERIFY(MainArea::opensMaximized(r.window.get()));
        auto *status = r.get<QStatusBar>("StatusBar2");
        QCOMPARE(status->findChild<QLabel *>(QStringLiteral("Panel2"))->text(), QStringLiteral(" 翠苑物业服务中心"));
        QCOMPARE(status->findChild<QLabel *>(QStringLiteral("Panel4"))->text(), QStringLiteral(" 前台接待员"));
        QCOMPARE(status->findChild<QLabel *>(QStringLiteral("Panel5"))->text(), QString());

        QCOMPARE(r.get<QComboBox>("Combo4")->count(), 7);
        QCOMPARE(r.get<QComboBox>("Combo4")->currentIndex(), -1);
        QCOMPARE(r.get<QComboBox>("Combo5")->count(), 5);
        QCOMPARE(r.get<QComboBox>("Combo5")->currentIndex(), -1);
        QCOMPARE(r.get<QComboBox>("Combo2")->count(), 4);
        QCOMPARE(r.get<QComboBox>("Combo2")->currentText(), QStringLiteral("张晓燕"));

        auto *offices = r.get<QComboBox>("Combo3");
        QCOMPARE(offices->count(), 3);
        QCOMPARE(offices->itemText(0), QStringLiteral("1 翠苑小区"));
        QCOMPARE(offices->itemText(2), QStringLiteral("10 翠苑商业街"));
        QCOMPARE(offices->currentIndex(), 0);
        QStringList buildings;
        for (int i = 0; i < r.tree()->topLevelItemCount(); ++i) buildings << r.tree()->topLevelItem(i)->text(0);
        QCOMPARE(buildings, QStringList({"翠苑小区8幢1单元", "翠苑小区8幢2单元", "翠苑小区12幢1单元"}));
        QVERIFY(!r.get("Picture3")->isVisible());
        QVERIFY(!r.get("Picture4")->isVisible());

        // Every open complaint of the department, never a voided one or another department's.
        GridModel *m = r.model();
        QCOMPARE(m->columns(), 16);
        QCOMPARE(m->headerText(0), QStringLiteral("序"));
        QCOMPARE(m->headerText(4), QStringLiteral("投诉时间"));
        QCOMPARE(m->headerText(12), QStringLiteral("处理时间"));
        for (int c = 13; c < 16; ++c) QVERIFY(r.grid()->isColumnHidden(c));
        const QStringList codes = r.codes();
        for (int n : {1, 2, 3, 8, 10, 13, 24}) QVERIFY(codes.contains(ComplaintStore::codeFor(n)));
        QVERIFY(!codes.contains(QStringLiteral("00000011")));
        QVERIFY(!codes.contains(QStringLiteral("00000012")));
        QCOMPARE(m->text(0, RegisterColumn::Row), QStringLiteral("1"));
        const int third = r.rowOf(QStringLiteral("00000003"));
        QCOMPARE(m->text(third, RegisterColumn::Office), QStringLiteral("2"));
        QCOMPARE(m->text(third, RegisterColumn::Telephone), QString());
        for (int row = 0; row < m->rowCount(); ++row)
            QCOMPARE(m->rowBackground(row) == ReceptionWindow::openColor(),
                     m->text(row, RegisterColumn::Finished).isEmpty());
        QCOMPARE(r.text(5)->text(), QStringLiteral("<保存时自动生成编号"));
        QCOMPARE(r.text(1)->text(), QString());
    }

    // Maximized in the main area; the frame's close box asks before typed input is dropped.
    void opensMaximizedInTheMainArea()
    {
        TestDatabase db(true);
        loginReceptionist();
        MessageRecorder messages;
        QMdiArea area;
        area.resize(1200, 800);
        area.show();
        MainArea::set(&area);
        QMdiSubWindow *frame = MainArea::open(createReceptionWindow());
        MainArea::set(nullptr);
        QVERIFY(frame);
        QVERIFY(frame->isMaximized());
        QCOMPARE(frame->widget()->objectName(), QStringLiteral("frm投诉接待"));

        QTest::mouseClick(frame->widget()->findChild<QPushButton *>(QStringLiteral("Command3")), Qt::LeftButton);
        QTest::keyClicks(frame->widget()->findChild<QLineEdit *>(QStringLiteral("Text1(1)")), QStringLiteral("Zhou"));
        messages.answers = {Messages::Answer::No};
        QVERIFY(!frame->close());
        QCOMPARE(area.subWindowList().size(), 1);
        QVERIFY(frame->close());
        QCOMPARE(messages.count(), 2);
    }

    void saveChecksInOrderAndStoresTheComplaint()
    {
        PinnedClock clock(QDateTime(QDate::currentDate(), QTime(10, 20)));
        Reception r;
        MessageRecorder messages;
        const int before = r.db.count(QStringLiteral("投诉信息"));
        r.click("Command3");
        QCOMPARE(r.get<QPushButton>("Command3")->text(), QStringLiteral("取消"));
        QCOMPARE(r.text(5)->text(), QStringLiteral("<保存时自动生成>"));
        QCOMPARE(r.text(0)->text(), QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")) + " 10:20");
        QVERIFY(!r.get<QPushButton>("Command13")->isEnabled());

        r.click("Command4");
        r.text(1)->setText(QStringLiteral("  "));  // blanks are content
        r.click("Command4");
        r.content()->setPlainText(QStringLiteral("楼上装修噪音"));
        r.click("Command4");
        r.get<QComboBox>("Combo4")->setCurrentIndex(2);  // "03 噪音 扰民"
        r.click("Command4");
        QCOMPARE(messages.texts(),
                 QStringList({"请输入投诉人", "请输入投诉内容", "请选择投诉类别！", "请选择投诉方式！"}));
        for (const auto &m : messages.messages) QCOMPARE(m.icon, Messages::Icon::None);
        QCOMPARE(r.db.count(QStringLiteral("投诉信息")), before);
        QCOMPARE(r.get<QPushButton>("Command3")->text(), QStringLiteral("取消"));

        r.get<QComboBox>("Combo5")->setCurrentIndex(0);
        r.click("Command4");
        QCOMPARE(messages.count(), 4);
        QCOMPARE(r.db.count(QStringLiteral("投诉信息")), before + 1);
        const Row row = r.stored(QStringLiteral("00000037"));
        QCOMPARE(row.text(QStringLiteral("投诉人")), QStringLiteral("  "));
        QCOMPARE(row.text(QStringLiteral("投诉类别")), QStringLiteral("噪音 扰民"));
        QCOMPARE(row.text(QStringLiteral("投诉方式")), QStringLiteral("电话"));
        QVERIFY(row.isNull(QStringLiteral("地址")));
        QVERIFY(row.isNull(QStringLiteral("联系电话")));
        QVERIFY(row.isNull(QStringLiteral("S_ID")));
        QCOMPARE(row.text(QStringLiteral("管理处代号")), QStringLiteral("1"));
        QCOMPARE(row.text(QStringLiteral("接待人")), QStringLiteral("张晓燕"));
        QCOMPARE(row.dateTime(QStringLiteral("投诉时间")), QDateTime(QDate::currentDate(), QTime(10, 20)));

        // Back in "show" mode on the new last row.
        QCOMPARE(r.get<QPushButton>("Command3")->text(), QStringLiteral("新投诉"));
        QCOMPARE(r.text(5)->text(), QStringLiteral("00000037"));
        const int last = r.model()->rowCount() - 1;
        QCOMPARE(r.grid()->currentRow(), last);
        QCOMPARE(r.model()->text(last, RegisterColumn::Code), QStringLiteral("00000037"));
        QCOMPARE(r.model()->text(last, RegisterColumn::Row), QString::number(last + 1));
        QCOMPARE(r.model()->text(last, RegisterColumn::Address), QString());
        QCOMPARE(r.model()->text(last, RegisterColumn::Office), QStringLiteral("1"));
        QCOMPARE(r.model()->rowBackground(last), ReceptionWindow::openColor());
        QVERIFY(r.get<QPushButton>("Command13")->isEnabled());

        // Long content wraps onto more lines.
        r.click("Command3");
        r.fillNew(QStringLiteral("李秀英"));
        r.content()->setPlainText(QStringLiteral("电梯按钮失灵，十一楼按键按了没有反应。").repeated(12));
        r.click("Command4");
        QCOMPARE(r.text(5)->text(), QStringLiteral("00000038"));
        QVERIFY(r.grid()->rowHeight(r.model()->rowCount() - 1) > r.grid()->rowHeight(0));

        // Cancel returns to the current row.
        r.click("Command3");
        r.click("Command3");
        QCOMPARE(r.text(5)->text(), QStringLiteral("00000038"));
        QCOMPARE(r.text(1)->text(), QStringLiteral("李秀英"));
    }

    // Endless texts neither widen a column beyond its cap nor make a row taller than the grid.
    void longTextsStayWithinTheGrid()
    {
        Reception r;
        MessageRecorder messages;
        const QString endless = QStringLiteral("漏水").repeated(5000);
        r.db.exec(QStringLiteral("UPDATE 投诉信息 SET 地址 = ? WHERE 投诉编号 = '00000001'"), {endless});
        r.click("Command2");
        const int cap = Twips::toPixels(GridModel::kMaxGrownTwips) + 2;
        QVERIFY(r.grid()->columnWidth(RegisterColumn::Address) <= cap);
        QVERIFY(r.grid()->columnWidth(RegisterColumn::Address) > 300);
        const QModelIndex cell = r.model()->index(r.rowOf(QStringLiteral("00000001")), RegisterColumn::Address);
        QCOMPARE(cell.data(Qt::ToolTipRole).toString(), endless.left(GridModel::kMaxToolTipChars) + "…");

        r.click("Command3");
        r.fillNew(QStringLiteral("李秀英"));
        r.content()->setPlainText(endless);
        r.click("Command4");
        QCOMPARE(messages.count(), 0);
        QVERIFY(r.grid()->columnWidth(RegisterColumn::Content) <= cap);
        const int last = r.model()->rowCount() - 1;
        QVERIFY(r.grid()->rowHeight(last) > r.grid()->rowHeight(0));
        QVERIFY(r.grid()->rowHeight(last) <= r.grid()->viewport()->height());
    }

    void boxesHoldNoMoreThanTheirColumns()
    {
        Reception r;
        r.click("Command3");
        // The columns as the database has them (NVARCHAR(100), NVARCHAR(200), ... of the script
        // here; on a server, what it holds).
        const auto length = [](const char *column) {
            return gConn.columnType(QStringLiteral("投诉信息"), QString::fromUtf8(column)).length;
        };
        if (gConn.dialect().isSqlite()) QCOMPARE(length("投诉人"), 100);
        QTest::keyClicks(r.text(1), QString(length("投诉人") + 5, QLatin1Char('x')));
        QCOMPARE(r.text(1)->text().size(), length("投诉人"));
        QCOMPARE(r.text(2)->maxLength(), length("地址"));
        QCOMPARE(r.text(3)->maxLength(), length("联系电话"));
        QCOMPARE(r.get<QComboBox>("Combo2")->lineEdit()->maxLength(), length("接待人"));
        // The content has no limit of its own.
        r.content()->setPlainText(QString(5000, QLatin1Char('y')));
        QCOMPARE(r.content()->toPlainText().size(), 5000);
    }

    void invalidComplaintTimeStoresNothing()
    {
        Reception r;
        MessageRecorder messages;
        const int before = r.db.count(QStringLiteral("投诉信息"));
        r.click("Command3");
        r.fillNew(QStringLiteral("刘强"));
        r.text(0)->setText(QStringLiteral("2026-13-40 10:00"));
        r.click("Command4");
        QCOMPARE(messages.texts(), QStringList({"日期时间非法"}));
        QCOMPARE(r.db.count(QStringLiteral("投诉信息")), before);
        QCOMPARE(r.get<QPushButton>("Command3")->text(), QStringLiteral("取消"));

        // The same when a shown complaint is rewritten.
        r.click("Command3");
        r.clickRow(QStringLiteral("00000001"));
        const QString stored = r.stored(QStringLiteral("00000001")).text(QStringLiteral("投诉时间"));
        r.text(0)->setText(QStringLiteral("明天上午"));
        r.click("Command4");
        QCOMPARE(messages.last(), QStringLiteral("日期时间非法"));
        QCOMPARE(r.stored(QStringLiteral("00000001")).text(QStringLiteral("投诉时间")), stored);

        // A real date that the server's date-times cannot hold is refused by the input check.
        r.text(0)->setText(QStringLiteral("1752-12-31 10:00"));
        r.click("Command4");
        QCOMPARE(messages.last(), QStringLiteral("投诉时间超出范围，只能是1753-01-01至9999-12-31之间的日期！"));
        QCOMPARE(r.stored(QStringLiteral("00000001")).text(QStringLiteral("投诉时间")), stored);
    }

    void editKeepsSerialStatusAndOffice()
    {
        Reception r;
        MessageRecorder messages;
        r.clickRow(QStringLiteral("00000013"));
        QVERIFY(!r.get<QPushButton>("Command13")->isEnabled());  // 处理中 cannot be voided
        QCOMPARE(r.get<QComboBox>("Combo3")->currentText(), QStringLiteral("1 翠苑小区"));
        QCOMPARE(r.get<QComboBox>("Combo4")->currentText(), QStringLiteral("02 维修质量"));
        r.content()->setPlainText(QStringLiteral("外墙渗水，卧室墙面发霉，已复查。"));
        // A user of another department edits it.
        gDeptCode = QStringLiteral("2");
        gDeptName = QStringLiteral("客户服务部");
        r.click("Command4");
        QCOMPARE(messages.count(), 0);
        Row row = r.stored(QStringLiteral("00000013"));
        QCOMPARE(row.number(QStringLiteral("流水号")), 13);
        QCOMPARE(row.text(QStringLiteral("处理状态")), Status::inProgress());
        QCOMPARE(row.text(QStringLiteral("调查情况")), QStringLiteral("已电话联系业主，现场查看属实。"));
        QCOMPARE(row.text(QStringLiteral("部门编号")), QStringLiteral("2"));
        QCOMPARE(row.text(QStringLiteral("部门名称")), QStringLiteral("客户服务部"));
        QCOMPARE(row.text(QStringLiteral("投诉内容")), QStringLiteral("外墙渗水，卧室墙面发霉，已复查。"));
        QCOMPARE(row.text(QStringLiteral("管理处代号")), QStringLiteral("1"));
        const int shown = r.rowOf(QStringLiteral("00000013"));
        QCOMPARE(r.model()->text(shown, RegisterColumn::Content), QStringLiteral("外墙渗水，卧室墙面发霉，已复查。"));
        QCOMPARE(r.model()->text(shown, RegisterColumn::Status), Status::inProgress());
        gDeptCode = QStringLiteral("5");
        gDeptName = QStringLiteral("翠苑物业服务中心");

        // The complaint's own office is selected and kept, not the first one.
        r.clickRow(QStringLiteral("00000003"));
        QCOMPARE(r.get<QComboBox>("Combo3")->currentText(), QStringLiteral("2 翠苑二期"));
        QCOMPARE(r.tree()->topLevelItem(0)->text(0), QStringLiteral("翠苑二期3幢"));
        r.click("Command4");
        QCOMPARE(r.stored(QStringLiteral("00000003")).text(QStringLiteral("管理处代号")), QStringLiteral("2"));
        QCOMPARE(r.stored(QStringLiteral("00000003")).number(QStringLiteral("流水号")), 3);

        // A complaint without office keeps none.
        r.clickRow(QStringLiteral("00000008"));
        QCOMPARE(r.get<QComboBox>("Combo3")->currentIndex(), -1);
        r.click("Command4");
        QVERIFY(r.stored(QStringLiteral("00000008")).isNull(QStringLiteral("管理处代号")));

        // A category the list no longer has is kept, not replaced by the previous selection.
        r.db.exec(QStringLiteral("UPDATE 投诉信息 SET 投诉类别 = '旧类别' WHERE 投诉编号 = '00000009'"));
        r.click("Command2");
        r.clickRow(QStringLiteral("00000003"));
        r.clickRow(QStringLiteral("00000009"));
        QCOMPARE(r.get<QComboBox>("Combo4")->currentIndex(), -1);
        r.click("Command4");
        QCOMPARE(r.stored(QStringLiteral("00000009")).text(QStringLiteral("投诉类别")), QStringLiteral("旧类别"));
        QCOMPARE(messages.count(), 0);
    }

    void voidOnlyWhatIsStillPending()
    {
        Reception r;
        MessageRecorder messages;
        r.clickRow(QStringLiteral("00000001"));
        QVERIFY(r.get<QPushButton>("Command13")->isEnabled());
        r.click("Command13");
        QVERIFY(!r.stored(QStringLiteral("00000001")).isNull(QStringLiteral("撤销时间")));
        QVERIFY(!r.codes().contains(QStringLiteral("00000001")));
        QCOMPARE(messages.count(), 0);

        // Accepted by another station after the register was read: not voided, told, reloaded.
        r.clickRow(QStringLiteral("00000002"));
        r.db.exec(QStringLiteral("UPDATE 投诉信息 SET 处理状态 = ? WHERE 投诉编号 = '00000002'"),
                  {Status::inProgress()});
        r.click("Command13");
        QCOMPARE(messages.texts(), QStringList({"已经处理完成的投诉不能作废！"}));
        QCOMPARE(messages.messages.first().icon, Messages::Icon::Information);
        QCOMPARE(messages.messages.first().title, Messages::executableName());
        QVERIFY(r.stored(QStringLiteral("00000002")).isNull(QStringLiteral("撤销时间")));
        QVERIFY(r.codes().contains(QStringLiteral("00000002")));

        // Finished complaints: the button is off on their rows.
        r.get<QRadioButton>("Option1(3)")->setChecked(true);
        r.get<QLineEdit>("Text2")->setText(QStringLiteral("谢芳"));
        r.click("Command2");
        QCOMPARE(r.codes(), QStringList({"00000025"}));
        r.clickRow(QStringLiteral("00000025"));
        QVERIFY(!r.get<QPushButton>("Command13")->isEnabled());
    }

    // Voiding and editing act on the complaint the fields show, never on a row the program made
    // current; a key move shows its row like a click.
    void actionsLandOnTheShownComplaint()
    {
        Reception r;
        MessageRecorder messages;
        auto *voidButton = r.get<QPushButton>("Command13");
        QVERIFY(!voidButton->isEnabled());  // nothing shown yet
        const auto voided = [&] {
            return r.db.count(QStringLiteral("投诉信息"), QStringLiteral("撤销时间 IS NOT NULL"));
        };
        const int before = voided();

        r.clickRow(QStringLiteral("00000001"));
        r.click("Command13");
        QCOMPARE(voided(), before + 1);
        QCOMPARE(r.text(5)->text(), QStringLiteral("<保存时自动生成编号"));
        QVERIFY(r.text(1)->text().isEmpty());
        QVERIFY(!voidButton->isEnabled());
        r.click("Command13");  // a second press voids nothing
        QCOMPARE(voided(), before + 1);

        // Arrow keys show the row they move to.
        r.clickRow(QStringLiteral("00000002"));
        const int row = r.rowOf(QStringLiteral("00000002"));
        QTest::keyClick(r.grid(), Qt::Key_Down);
        QCOMPARE(r.grid()->currentRow(), row + 1);
        QCOMPARE(r.text(5)->text(), r.model()->text(row + 1, RegisterColumn::Code));
        QCOMPARE(r.text(1)->text(), r.model()->text(row + 1, RegisterColumn::Complainant));

        // An edit after a reload has no complaint to land on.
        const QString last = r.model()->text(r.model()->rowCount() - 1, RegisterColumn::Code);
        const QString lastComplainant = r.stored(last).text(QStringLiteral("投诉人"));
        r.click("Command2");
        QCOMPARE(r.text(5)->text(), QStringLiteral("<保存时自动生成编号"));
        r.text(1)->setText(QStringLiteral("改错人"));
        r.content()->setPlainText(QStringLiteral("改错内容"));
        r.click("Command4");
        QCOMPARE(messages.texts(), QStringList{QStringLiteral("请先在列表中选择一条投诉")});
        QCOMPARE(r.stored(last).text(QStringLiteral("投诉人")), lastComplainant);
        QCOMPARE(r.db.count(QStringLiteral("投诉信息"), QStringLiteral("投诉人 = '改错人'")), 0);
    }

    // A new complaint always reaches an office, also after showing one that has none.
    void newComplaintHasAnOffice()
    {
        Reception r;
        MessageRecorder messages;
        auto *offices = r.get<QComboBox>("Combo3");
        r.clickRow(QStringLiteral("00000008"));  // stored without an office
        QCOMPARE(offices->currentIndex(), -1);
        r.click("Command3");
        QCOMPARE(offices->currentIndex(), 0);
        offices->setCurrentIndex(-1);
        r.fillNew(QStringLiteral("周敏"));
        r.click("Command4");
        QCOMPARE(messages.texts(), QStringList{QStringLiteral("请选择管理项目！")});
        QCOMPARE(r.db.count(QStringLiteral("投诉信息"), QStringLiteral("投诉人 = '周敏'")), 0);
        offices->setCurrentIndex(2);
        r.click("Command4");
        QCOMPARE(messages.count(), 1);
        const QString code = r.text(5)->text();
        QCOMPARE(r.stored(code).text(QStringLiteral("管理处代号")), QStringLiteral("10"));
    }

    // A new complaint is received by the one who takes the call, not by whoever received the
    // complaint viewed before; a user the department's list does not hold keeps the selection.
    void newComplaintIsReceivedByTheUser()
    {
        Reception r;
        MessageRecorder messages;
        auto *receiver = r.get<QComboBox>("Combo2");
        const QString theirs = r.receivedBy(QStringLiteral("林芳"));
        r.clickRow(theirs);
        QCOMPARE(receiver->currentText(), QStringLiteral("林芳"));
        r.click("Command3");
        QCOMPARE(receiver->currentText(), QStringLiteral("张晓燕"));
        r.fillNew(QStringLiteral("周敏"));
        r.click("Command4");
        QCOMPARE(r.stored(r.text(5)->text()).text(QStringLiteral("接待人")), QStringLiteral("张晓燕"));

        gUserName = QStringLiteral("超级用户");
        r.clickRow(theirs);
        r.click("Command3");
        QCOMPARE(receiver->currentText(), QStringLiteral("林芳"));
        QCOMPARE(messages.count(), 0);
    }

    // Typed input is not dropped unasked: a row click, a key move, 新投诉, 确定 of the query and
    // 退出 first ask; 否 keeps the fields, the mode and the current row as they were.
    void unsavedInputIsKeptUnlessDropped()
    {
        Reception r;
        MessageRecorder messages;
        const QString first = r.model()->text(0, RegisterColumn::Code);
        const QString second = r.model()->text(1, RegisterColumn::Code);
        const QString question = QStringLiteral("投诉信息尚未保存，是否放弃修改？");
        // Nothing changed: nothing to ask.
        r.clickRow(first);
        r.clickRow(second);
        r.click("Command3");
        r.click("Command3");
        r.click("Command2");
        QCOMPARE(messages.count(), 0);

        // A new complaint being typed, over the highlighted second row.
        r.clickRow(second);
        r.click("Command3");
        QTest::keyClicks(r.text(1), QStringLiteral("Zhou Min"));
        messages.answers = {Messages::Answer::No, Messages::Answer::No};
        r.pressRow(first);
        QCOMPARE(messages.texts(), QStringList{question});
        QCOMPARE(messages.messages.last().buttons, Messages::Buttons::YesNo);
        QCOMPARE(messages.messages.last().title, Messages::programTitle());
        QCOMPARE(r.text(1)->text(), QStringLiteral("Zhou Min"));
        QCOMPARE(r.get<QPushButton>("Command3")->text(), QStringLiteral("取消"));
        QCOMPARE(r.grid()->currentRow(), r.rowOf(second));
        r.click("Command5");
        QVERIFY(r.window->isVisible());
        QCOMPARE(r.text(1)->text(), QStringLiteral("Zhou Min"));
        r.pressRow(first);  // 是
        QCOMPARE(r.text(5)->text(), first);
        QCOMPARE(messages.count(), 3);

        // An edit of the shown complaint.
        QTest::keyClicks(r.content(), QStringLiteral(" 2F"));
        messages.answers = {Messages::Answer::No, Messages::Answer::No, Messages::Answer::No};
        const QString edited = r.content()->toPlainText();
        r.click("Command3");
        QCOMPARE(r.get<QPushButton>("Command3")->text(), QStringLiteral("新投诉"));
        r.click("Command2");
        QTest::keyClick(r.grid(), Qt::Key_Down);
        QCOMPARE(messages.count(), 6);
        QCOMPARE(r.content()->toPlainText(), edited);
        QCOMPARE(r.text(5)->text(), first);
        QCOMPARE(r.grid()->currentRow(), r.rowOf(first));
        // Saved, it is the new state: leaving asks nothing.
        r.click("Command4");
        r.clickRow(second);
        QCOMPARE(messages.count(), 6);
        QTest::keyClicks(r.text(1), QStringLiteral("B"));
        r.click("Command5");  // 是
        QCOMPARE(messages.count(), 7);
        QVERIFY(!r.window->isVisible());
    }

    // In a main window of 1024 x 720 the code box shows its whole text, the time box a time with
    // seconds and the telephone box a number with area code: moving the cursor from the start to
    // the end scrolls nothing.
    void boxesShowTheirWholeTextAtTheSmallestSize()
    {
        ReceptionFixture r;
        r.open(1000, 560);
        auto *code = r.get<QLineEdit>("Text1(5)");
        QCOMPARE(code->text(), QStringLiteral("<保存时自动生成编号"));
        auto *telephone = r.get<QLineEdit>("Text1(3)");
        telephone->setText(QStringLiteral("0571-8622 3103"));
        auto *time = r.get<QLineEdit>("Text1(0)");
        time->setText(QStringLiteral("2026-12-05 17:16:00"));
        for (QLineEdit *box : {code, telephone, time}) {
            box->setCursorPosition(0);
            const int start = box->inputMethodQuery(Qt::ImCursorRectangle).toRect().center().x();
            box->end(false);
            const int end = box->inputMethodQuery(Qt::ImCursorRectangle).toRect().center().x();
            QCOMPARE(end - start, box->fontMetrics().horizontalAdvance(box->text()));
        }
    }

    void queryOptions()
    {
        Reception r;
        MessageRecorder messages;
        const QStringList shown = r.codes();
        r.get<QRadioButton>("Option1(3)")->setChecked(true);
        r.click("Command2");
        QCOMPARE(messages.texts(), QStringList({"请输入投诉人"}));
        QCOMPARE(r.codes(), shown);

        r.get<QLineEdit>("Text2")->setText(QStringLiteral("王"));
        r.click("Command2");
        QCOMPARE(r.codes(), QStringList({"00000001", "00000030"}));  // any date, finished too

        // A day range: the whole of the chosen day.
        const QDate day = r.stored(QStringLiteral("00000030")).dateTime(QStringLiteral("投诉时间")).date();
        QStringList expected;
        for (const Row row :
             gConn.select(QStringLiteral("SELECT 投诉编号 FROM 投诉信息 WHERE 部门编号 = '5' AND 撤销时间 IS NULL"
                                         " AND 投诉时间 >= ? AND 投诉时间 < ? ORDER BY 投诉编号"),
                          {QDateTime(day, QTime(0, 0)), QDateTime(day.addDays(1), QTime(0, 0))}))
            expected << row.text(0);
        QVERIFY(expected.contains(QStringLiteral("00000030")));
        r.get<QRadioButton>("Option1(1)")->setChecked(true);
        r.get<QDateEdit>("DTPicker1(0)")->setDate(day);
        r.get<QDateEdit>("DTPicker1(1)")->setDate(day);
        r.click("Command2");
        QCOMPARE(r.codes(), expected);
        QCOMPARE(r.grid()->currentRow(), r.model()->rowCount() - 1);  // the last row is current
    }

    void addressPanelResidential()
    {
        Reception r;
        MessageRecorder messages;
        r.click("Command3");
        r.click("Command1");
        QWidget *panel = r.get("Picture3");
        QVERIFY(panel->isVisible());
        QWidget *button = r.get("Command1");
        const QPoint corner = button->mapTo(r.window.get(), QPoint(button->width(), 0));
        QCOMPARE(panel->geometry().bottom() + 1, corner.y());
        QCOMPARE(panel->geometry().right() + 1, corner.x());

        QTreeWidgetItem *building = r.node(QStringLiteral("翠苑小区8幢1单元"));
        r.clickNode(building);
        QCOMPARE(building->childCount(), 6);
        emit r.tree()->itemClicked(building, 0);  // a second click adds nothing
        QCOMPARE(building->childCount(), 6);
        QCOMPARE(building->child(0)->text(0), QStringLiteral("101室 黄小梅"));

        r.text(3)->setText(QStringLiteral("999"));
        r.clickNode(r.node(QStringLiteral("102室 周国平"), building));
        QCOMPARE(r.text(1)->text(), QStringLiteral("周国平"));
        QCOMPARE(r.text(2)->text(), QStringLiteral("翠苑小区8幢1单元102室"));
        QCOMPARE(r.text(3)->text(), QString());  // no telephone on record
        QCOMPARE(tag(r.text(1)), QStringLiteral("510"));
        QVERIFY(!panel->isVisible());
        QCOMPARE(r.get<QStatusBar>("StatusBar2")->findChild<QLabel *>(QStringLiteral("Panel5"))->text(), QString());

        r.content()->setPlainText(QStringLiteral("楼道灯不亮"));
        r.get<QComboBox>("Combo4")->setCurrentIndex(0);
        r.get<QComboBox>("Combo5")->setCurrentIndex(0);
        r.click("Command4");
        const Row picked = r.stored(r.text(5)->text());
        QCOMPARE(picked.number(QStringLiteral("S_ID")), 108);
        QCOMPARE(picked.text(QStringLiteral("地址")), QStringLiteral("翠苑小区8幢1单元102室"));

        // Editing the address by hand drops the room.
        r.click("Command3");
        r.click("Command1");
        r.clickNode(r.node(QStringLiteral("101室 黄小梅"), r.node(QStringLiteral("翠苑小区8幢1单元"))));
        QTest::keyClicks(r.text(2), QStringLiteral("B"));
        r.content()->setPlainText(QStringLiteral("门口堆物"));
        r.click("Command4");
        QVERIFY(r.stored(r.text(5)->text()).isNull(QStringLiteral("S_ID")));

        // A room whose property nature is not registered fills nothing and keeps the panel open.
        r.click("Command3");
        r.click("Command1");
        r.get<QComboBox>("Combo3")->setCurrentIndex(1);
        QTreeWidgetItem *tower = r.node(QStringLiteral("翠苑二期15幢"));
        r.clickNode(tower);
        r.clickNode(r.node(QStringLiteral("102室 陈建华"), tower));
        QCOMPARE(r.text(1)->text(), QString());
        QVERIFY(panel->isVisible());
        QCOMPARE(messages.count(), 0);
    }

    void addressPanelCommercial()
    {
        Reception r;
        MessageRecorder messages;
        // The let units of the demo contracts, one of them under a second running contract.
        r.db.exec(
            QStringLiteral("INSERT INTO 合同信息 (ID, 合同编号, 座落, 对方单位, 区域代号, 合同生效日期)"
                           " VALUES (7, 'HT2025-009', 'A101', '杭州翠苑便利店有限公司', '10', '2025-01-01 00:00:00')"));
        r.db.exec(QStringLiteral("INSERT INTO 合同单元信息 (合同ID, 单元ID) VALUES (7, 131)"));
        r.click("Command3");
        r.click("Command1");
        r.get<QComboBox>("Combo3")->setCurrentIndex(2);
        QTreeWidgetItem *building = r.node(QStringLiteral("翠苑商业街A座"));
        r.clickNode(building);
        QStringList units;
        for (int i = 0; i < building->childCount(); ++i) units << building->child(i)->text(0);
        QCOMPARE(units, QStringList({"A101 杭州翠苑便利店有限公司", "A102 杭州翠苑便利店有限公司", "A103 绿叶花店"}));

        r.text(3)->setText(QStringLiteral("0571-12345"));
        r.clickNode(building->child(0));
        QCOMPARE(r.text(1)->text(), QStringLiteral("杭州翠苑便利店有限公司"));
        QCOMPARE(r.text(2)->text(), QStringLiteral("翠苑商业街A座A101室"));
        QCOMPARE(r.text(3)->text(), QString());
        QVERIFY(!r.get("Picture3")->isVisible());
        r.content()->setPlainText(QStringLiteral("卷帘门故障"));
        r.get<QComboBox>("Combo4")->setCurrentIndex(1);
        r.get<QComboBox>("Combo5")->setCurrentIndex(1);
        const ColumnType complainant = gConn.columnType(QStringLiteral("投诉信息"), QStringLiteral("投诉人"));
        const int nameUnits = complainant.unitsOf(r.text(1)->text());
        const int stored = r.db.count(QStringLiteral("投诉信息"));
        r.click("Command4");
        if (complainant.length > 0 && nameUnits > complainant.length) {
            // A suite's older complaint table may be too narrow for the company's name: the save
            // says so, stores nothing, and the fields stay for the user to shorten the name.
            QCOMPARE(messages.count(), 1);
            QVERIFY2(messages.last().contains(
                         QStringLiteral("“投诉人”最多只能有 20 个字节（一个汉字占两个字节），现在有 22 个")),
                     qPrintable(messages.last()));
            QCOMPARE(r.text(1)->text(), QStringLiteral("杭州翠苑便利店有限公司"));
            QCOMPARE(r.db.count(QStringLiteral("投诉信息")), stored);
            return;
        }
        const Row row = r.stored(r.text(5)->text());
        QCOMPARE(row.number(QStringLiteral("S_ID")), 131);
        QCOMPARE(row.text(QStringLiteral("管理处代号")), QStringLiteral("10"));
        QCOMPARE(messages.count(), 0);
    }

    void timePanel()
    {
        PinnedClock clock(QDateTime(QDate(2026, 3, 15), QTime(8, 0)));
        Reception r;
        MessageRecorder messages;
        QWidget *panel = r.get("Picture4");
        auto *calendar = r.get<QCalendarWidget>("MonthView1");
        auto *composed = r.get<QLineEdit>("Text3");
        const auto cell = [&](const char *kind, int i) {
            return r.get<QLabel>(QStringLiteral("%1(%2)").arg(QLatin1String(kind)).arg(i).toUtf8().constData());
        };

        r.text(0)->setText(QStringLiteral("2026-13-40 10:00"));
        r.click("Command9");
        QCOMPARE(messages.texts(), QStringList({"日期时间非法"}));
        QVERIFY(panel->isVisible());
        QCOMPARE(calendar->selectedDate(), QDate(2026, 3, 15));
        QCOMPARE(tag(panel), QStringLiteral("0"));

        r.text(0)->setText(QStringLiteral("2026-03-05 09:45"));
        r.click("Command9");
        QCOMPARE(messages.count(), 1);
        QCOMPARE(calendar->selectedDate(), QDate(2026, 3, 5));
        QCOMPARE(composed->text(), QStringLiteral("2026-03-05 09:45"));
        QCOMPARE(background(cell("Label2", 9)), TimePanel::selectedColor());
        QCOMPARE(cell("Label2", 9)->palette().color(QPalette::WindowText), QColor(Qt::white));
        QCOMPARE(background(cell("Label2", 8)), TimePanel::hourColor());
        QCOMPARE(cell("Label3", 15)->text(), QStringLiteral("45"));
        QCOMPARE(background(cell("Label3", 15)), TimePanel::selectedColor());
        QCOMPARE(cell("Label3", 0)->text(), QStringLiteral("30"));
        QCOMPARE(background(cell("Label3", 0)), TimePanel::fiveMinuteColor());
        QCOMPARE(background(cell("Label3", 1)), TimePanel::minuteColor());
        QVERIFY(cell("Label4", 0)->isEnabled());
        QVERIFY(!cell("Label4", 1)->isEnabled());

        // Another day alone changes nothing until an hour or minute is chosen.
        calendar->setSelectedDate(QDate(2026, 3, 7));
        QCOMPARE(composed->text(), QStringLiteral("2026-03-05 09:45"));
        QTest::mouseDClick(cell("Label4", 0), Qt::LeftButton);
        QCOMPARE(cell("Label3", 15)->text(), QStringLiteral("15"));
        QCOMPARE(background(cell("Label3", 15)), TimePanel::fiveMinuteColor());
        QVERIFY(!cell("Label4", 0)->isEnabled());
        QTest::mouseDClick(cell("Label2", 10), Qt::LeftButton);
        QCOMPARE(composed->text(), QStringLiteral("2026-03-07 10:45"));  // the chosen minute stays
        QCOMPARE(background(cell("Label2", 9)), TimePanel::hourColor());

        QTest::mouseDClick(cell("Label4", 1), Qt::LeftButton);
        QCOMPARE(background(cell("Label3", 15)), TimePanel::selectedColor());
        QTest::mouseDClick(cell("Label3", 20), Qt::LeftButton);
        QVERIFY(composed->text().endsWith(QStringLiteral(":50")));
        QCOMPARE(background(cell("Label3", 15)), TimePanel::fiveMinuteColor());
        QTest::mouseDClick(cell("Label3", 0), Qt::LeftButton);  // "30"
        QCOMPARE(composed->text(), QStringLiteral("2026-03-07 10:30"));
        r.click("Command7");
        QCOMPARE(r.text(0)->text(), QStringLiteral("2026-03-07 10:30"));
        QVERIFY(!panel->isVisible());

        // An empty time opens on today without a message; 取消 closes without taking the value.
        r.text(0)->clear();
        r.click("Command9");
        QCOMPARE(messages.count(), 1);
        QCOMPARE(calendar->selectedDate(), QDate(2026, 3, 15));
        QTest::mouseDClick(cell("Label2", 11), Qt::LeftButton);
        r.click("Command8");
        QVERIFY(!panel->isVisible());
        QCOMPARE(r.text(0)->text(), QString());
    }

    void databaseFailuresAreReportedAndNothingIsLost()
    {
        Reception r;
        MessageRecorder messages;
        r.click("Command1");
        QTreeWidgetItem *building = r.node(QStringLiteral("翠苑小区12幢1单元"));
        r.db.exec(QStringLiteral("ALTER TABLE 室表 RENAME TO 室表_old"));
        r.clickNode(building);
        QCOMPARE(messages.count(), 1);
        QVERIFY(messages.last().startsWith(QStringLiteral("错误号：")));
        QCOMPARE(messages.messages.last().title, Messages::programTitle());
        QVERIFY(r.tree()->isEnabled());
        QVERIFY(QApplication::overrideCursor() == nullptr);

        r.clickRow(QStringLiteral("00000004"));
        r.db.exec(QStringLiteral("ALTER TABLE 投诉信息 RENAME TO 投诉信息_old"));
        r.content()->setPlainText(QStringLiteral("改过的内容"));
        r.click("Command4");
        QVERIFY(messages.last().startsWith(QStringLiteral("出现错误\r\n")));
        QCOMPARE(r.content()->toPlainText(), QStringLiteral("改过的内容"));

        r.click("Command3");
        r.fillNew(QStringLiteral("陈建华"));
        r.click("Command4");
        QVERIFY(messages.last().startsWith(QStringLiteral("错误号：")));
        QCOMPARE(r.get<QPushButton>("Command3")->text(), QStringLiteral("取消"));
        QCOMPARE(r.text(1)->text(), QStringLiteral("陈建华"));
        QVERIFY(QApplication::overrideCursor() == nullptr);

        // Once the table is back, the same entry saves.
        r.db.exec(QStringLiteral("ALTER TABLE 投诉信息_old RENAME TO 投诉信息"));
        const int shown = messages.count();
        r.click("Command4");
        QCOMPARE(messages.count(), shown);
        QCOMPARE(r.stored(r.text(5)->text()).text(QStringLiteral("投诉人")), QStringLiteral("陈建华"));
    }

    // The last second of a month and the midnight after it: the date pickers and a new
    // complaint's time follow the pinned clock to the minute.
    void timesAtMidnightAfterAMonthEnd()
    {
        for (const QDateTime &moment :
             {QDateTime(QDate(2026, 3, 31), QTime(23, 59, 59)), QDateTime(QDate(2026, 4, 1), QTime(0, 0, 0))}) {
            PinnedClock clock(moment);
            Reception r;
            QCOMPARE(r.get<QDateEdit>("DTPicker1(0)")->date(), moment.date());
            QCOMPARE(r.get<QDateEdit>("DTPicker1(1)")->date(), moment.date());
            r.click("Command3");
            QCOMPARE(r.text(0)->text(), moment.toString(QStringLiteral("yyyy-MM-dd HH:mm")));
        }
    }
};

TAVIMOR_TEST(ReceptionWindowTest)
#include "ReceptionWindowTest.moc"

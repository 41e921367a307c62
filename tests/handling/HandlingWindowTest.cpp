#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QStatusBar>
#include <QTest>

#include "MessageRecorder.h"
#include "RoutingTestKit.h"
#include "TestDatabase.h"
#include "TestRegistry.h"
#include "common/MainArea.h"
#include "handling/HandlingWindow.h"
#include "handling/ReviewCommentsDialog.h"

using namespace routing_test;

class HandlingWindowTest : public QObject {
    Q_OBJECT
private slots:
    // The list with its waiting times, the control states and the input messages in order.
    void listSelectionAndInputChecks()
    {
        TestDatabase db(true);
        loginHandler();
        db.exec(QStringLiteral("DELETE FROM 投诉信息处理 WHERE 处理岗位 = '301'"));
        insertStep(db, QStringLiteral("00000001"), QStringLiteral("3"), QStringLiteral("301"), 2,
                   pinned().addSecs(-59 * 60));
        insertStep(db, QStringLiteral("00000002"), QStringLiteral("3"), QStringLiteral("301"), 2,
                   pinned().addSecs(-60 * 60));
        insertStep(db, QStringLiteral("00000003"), QStringLiteral("3"), QStringLiteral("301"), 2, pinned().addDays(-1));
        MessageRecorder messages;
        Clock::Pinned clock(pinned());
        HandlingWindow window(nullptr);
        window.show();
        auto *list = find<FlexGrid>(&window, "ListView1");
        QCOMPARE(column(list, HandlingWindow::Waiting), (QStringList{"59分钟", "1小时0分钟", "24小时0分钟"}));
        QCOMPARE(column(list, HandlingWindow::Code), (QStringList{"00000001", "00000002", "00000003"}));
        for (const char *name : {"Command1", "Command2", "Command4", "Frame3"})
            QVERIFY2(!find<QWidget>(&window, name)->isEnabled(), name);

        // Buttons enabled by a selection that a refresh took away: a message, nothing written.
        click(list, 0);
        db.exec(
            QStringLiteral("UPDATE 投诉信息处理 SET 处理结束时间 = '2026-03-10 10:00:00' WHERE 投诉编号 = '00000001'"));
        press(&window, "Command5");
        type(&window, "Text3", QStringLiteral("意见"));
        press(&window, "Command1");
        QCOMPARE(messages.last(), QStringLiteral("请先在列表中选择一条投诉"));

        click(list, 0);
        QCOMPARE(find<QLineEdit>(&window, "Text1(0)")->text(), QStringLiteral("翠苑小区12幢1单元201室 张丽娟"));
        QCOMPARE(find<QLineEdit>(&window, "Text1(3)")->text(), QStringLiteral("电话：13805710508"));
        for (const char *name : {"Command1", "Command2", "Command4", "Frame3"})
            QVERIFY2(find<QWidget>(&window, name)->isEnabled(), name);
        messages.clear();
        press(&window, "Command1");
        press(&window, "Command2");
        type(&window, "Text3", QStringLiteral("请维修班处理"));
        press(&window, "Command2");
        pickTarget(&window, QStringLiteral("31"), QString());
        press(&window, "Command2");
        QCOMPARE(messages.texts(),
                 (QStringList{"必须输入您的意见", "必须输入您的意见", "必须选择转呈部门", "必须选择岗位"}));
        QCOMPARE(db.count(QStringLiteral("投诉信息处理"), QStringLiteral("处理岗位 = '301' AND 处理结束时间 IS NULL")),
                 2);

        // An opinion of blanks is an opinion; the count follows the list.
        auto *status = find<QStatusBar>(&window, "StatusBar1");
        QCOMPARE(status->currentMessage(), QStringLiteral("共 2 条"));
        click(list, 0);
        type(&window, "Text3", QStringLiteral("  "));
        press(&window, "Command1");
        QCOMPARE(messages.count(), 4);
        QCOMPARE(list->grid()->rowCount(), 1);
        QCOMPARE(status->currentMessage(), QStringLiteral("共 1 条"));
    }

    // A forwarding to the user's own post shows up after the refresh; the review comments open for
    // the selected complaint.
    void forwardToOwnPostAndReadComments()
    {
        TestDatabase db(true);
        loginHandler();
        MessageRecorder messages;
        HandlingWindow window;
        window.show();
        auto *list = find<FlexGrid>(&window, "ListView1");
        QCOMPARE(column(list, HandlingWindow::Code), (QStringList{"00000013", "00000021"}));
        click(list, 0);
        type(&window, "Text3", QStringLiteral("转给自己再看"));
        pickTarget(&window, QStringLiteral("3"), QStringLiteral("301"));
        QCOMPARE(find<QLineEdit>(&window, "Text5")->text(), QStringLiteral("301 工程部经理"));
        press(&window, "Command2");
        QCOMPARE(messages.count(), 0);
        QCOMPARE(column(list, HandlingWindow::Code), (QStringList{"00000021"}));
        QVERIFY(!find<QWidget>(&window, "Command1")->isEnabled());
        press(&window, "Command5");
        QCOMPARE(column(list, HandlingWindow::Code), (QStringList{"00000021", "00000013"}));

        QStringList shown;
        ModalDriver driver([&](QDialog *dialog) {
            auto *items = find<QListWidget>(dialog, "List1");
            for (int i = 0; i < items->count(); ++i) shown << items->item(i)->text();
            items->setCurrentRow(1);
            shown << find<QPlainTextEdit>(dialog, "Text1")->toPlainText();
            // The acceptor's instruction to the forwarded post, under its caption.
            items->setCurrentRow(0);
            shown << find<QPlainTextEdit>(dialog, "Text1")->toPlainText();
            return 0;
        });
        click(list, 1);
        press(&window, "Command4");
        QCOMPARE(shown, (QStringList{"翠苑物业服务中心 服务中心主任(李建国)", "工程维修部 工程部经理(王志强)",
                                     "工程维修部 工程部经理(王志强)", "转给自己再看",
                                     "处理意见：\n请相关部门尽快处理并反馈。\n\n处理结果：\n"}));
    }

    // Command7 prints the sheet of the selected line's complaint, and asks for a line without one.
    void sheetOfTheSelectedLine()
    {
        TestDatabase db(true);
        loginHandler();
        MessageRecorder messages;
        QStringList opened;
        ModalDriver driver([&](QDialog *dialog) {
            opened << dialog->windowTitle();
            return 0;
        });
        HandlingWindow window;
        window.show();
        press(&window, "Command7");
        QCOMPARE(messages.last(), QStringLiteral("请先在列表中选择一条投诉"));
        click(find<FlexGrid>(&window, "ListView1"), 1);
        press(&window, "Command7");
        QCOMPARE(opened, QStringList{QStringLiteral("投诉处理单 00000021")});
        QCOMPARE(find<QPushButton>(&window, "Command7")->text(), QStringLiteral("打印处理单"));
    }

    // Opened maximized in the main window's client area, the list is read at the first activation and again
    // whenever the window is activated later.
    void refreshesOnEveryActivation()
    {
        TestDatabase db(true);
        loginHandler();
        QMdiArea area;
        area.resize(1000, 700);
        area.show();
        MainArea::set(&area);
        auto *window = new HandlingWindow;
        MainArea::open(window);
        QVERIFY(window->parentWidget()->isMaximized());
        auto *list = find<FlexGrid>(window, "ListView1");
        QCOMPARE(list->grid()->rowCount(), 2);
        QMdiSubWindow *other = area.addSubWindow(new QWidget);
        other->show();
        area.setActiveSubWindow(other);
        db.exec(
            QStringLiteral("UPDATE 投诉信息处理 SET 处理结束时间 = '2026-03-10 10:00:00' WHERE 投诉编号 = '00000013'"));
        QCOMPARE(list->grid()->rowCount(), 2);
        area.setActiveSubWindow(qobject_cast<QMdiSubWindow *>(window->parentWidget()));
        QCOMPARE(list->grid()->rowCount(), 1);
        MainArea::set(nullptr);
    }

    // Another client closed the step first: the user is told, the list refreshed, nothing written.
    void stepClosedByAnotherClient()
    {
        TestDatabase db(true);
        loginHandler();
        MessageRecorder messages;
        HandlingWindow window;
        window.show();
        auto *list = find<FlexGrid>(&window, "ListView1");
        click(list, 0);
        Database other;
        other.openSqlite(db.file());
        other.execute(
            QStringLiteral("UPDATE 投诉信息处理 SET 处理结果 = '他人意见', 处理结束时间 = '2026-03-10 10:00:00'"
                           " WHERE 投诉编号 = '00000013' AND 处理岗位 = '301'"));
        type(&window, "Text3", QStringLiteral("我的意见"));
        press(&window, "Command1");
        QCOMPARE(messages.count(), 1);
        QVERIFY(messages.last().contains(QStringLiteral("其他用户")));
        QCOMPARE(column(list, HandlingWindow::Code), (QStringList{"00000021"}));
        QCOMPARE(db.value(QStringLiteral(
                              "SELECT 处理结果 FROM 投诉信息处理 WHERE 投诉编号 = '00000013' AND 处理岗位 = '301'"))
                     .toString(),
                 QStringLiteral("他人意见"));
        QCOMPARE(find<QPlainTextEdit>(&window, "Text3")->toPlainText(), QStringLiteral("我的意见"));
    }
};

TAVIMOR_TEST(HandlingWindowTest)
#include "HandlingWindowTest.moc"

#include <QLineEdit>
#include <QStatusBar>
#include <QTest>

#include "../handling/RoutingTestKit.h"
#include "MessageRecorder.h"
#include "TestDatabase.h"
#include "TestRegistry.h"
#include "common/Tag.h"
#include "routing/AcceptanceWindow.h"

using namespace routing_test;

namespace {

bool boldRed(FlexGrid *grid, int row, int column)
{
    const QModelIndex index = grid->model()->index(row, column);
    return index.data(Qt::FontRole).value<QFont>().bold() &&
           index.data(Qt::ForegroundRole).value<QColor>() == QColor(255, 0, 0);
}

QStringList enabled(QWidget *window)
{
    QStringList names;
    for (const char *name : {"Command1", "Command2", "Command4", "Frame3"})
        if (find<QWidget>(window, name)->isEnabled()) names << QString::fromLatin1(name);
    return names;
}

}  // namespace

class AcceptanceWindowTest : public QObject {
    Q_OBJECT
private slots:
    // Both lists with their waiting times, the control states and the messages, in order.
    void listsStatesAndMessages()
    {
        TestDatabase db(true);
        loginAcceptor();
        db.exec(QStringLiteral("DELETE FROM 投诉信息"));
        db.exec(QStringLiteral("DELETE FROM 投诉信息处理"));
        const QDateTime now = pinned();
        insertComplaint(db, QStringLiteral("00000101"), QStringLiteral("1"), now.addSecs(-59 * 60));
        insertComplaint(db, QStringLiteral("00000102"), QStringLiteral("2"), now.addSecs(-60 * 60));
        insertComplaint(db, QStringLiteral("00000103"), QStringLiteral("10"), now.addDays(-1));
        insertComplaint(db, QStringLiteral("00000104"), QStringLiteral("1"), now.addSecs(-25 * 3600));
        insertComplaint(db, QStringLiteral("00000105"), QStringLiteral("1"), now.addDays(-2),
                        QStringLiteral("处理中人"));
        db.exec(QStringLiteral("UPDATE 投诉信息 SET 调查情况 = '已查看' WHERE 投诉编号 = '00000105'"));
        insertStep(db, QStringLiteral("00000105"), QStringLiteral("5"), QStringLiteral("501"), 1,
                   now.addSecs(-25 * 3600));
        insertStep(db, QStringLiteral("00000105"), QStringLiteral("3"), QStringLiteral("301"), 2,
                   now.addSecs(-125 * 60));

        MessageRecorder messages;
        Clock::Pinned clock(pinned());
        AcceptanceWindow window(nullptr);
        window.show();
        auto *pending = find<FlexGrid>(&window, "ListView1");
        auto *inProgress = find<FlexGrid>(&window, "ListView2");
        QCOMPARE(column(pending, AcceptanceWindow::PWaiting),
                 (QStringList{"59分钟", "1小时0分钟", "24小时0分钟", "25小时0分钟"}));
        QVERIFY(!boldRed(pending, 2, AcceptanceWindow::PWaiting) && boldRed(pending, 3, AcceptanceWindow::PWaiting));
        QCOMPARE(pending->grid()->rowTexts(0), (QStringList{"1", "00000101", "维修质量", "翠苑小区1幢 测试人",
                                                            "2026-03-10 09:31", "内容", "59分钟"}));
        QCOMPARE(inProgress->grid()->rowTexts(0).mid(6), (QStringList{"1003 王志强", "2小时5分钟"}));
        QVERIFY(!boldRed(inProgress, 0, AcceptanceWindow::IWaiting));
        QCOMPARE(enabled(&window), (QStringList{"Command1", "Command2"}));

        // Nothing selected: a message for each button, nothing written.
        press(&window, "Command1");
        press(&window, "Command2");
        window.showReviewComments();
        QCOMPARE(messages.texts(), QStringList(3, QStringLiteral("请先在列表中选择一条投诉")));

        messages.clear();
        click(pending, 0);
        QCOMPARE(tag(find<QWidget>(&window, "Command1")), QStringLiteral("L1"));
        QCOMPARE(enabled(&window), (QStringList{"Command1", "Command2", "Frame3"}));
        QCOMPARE(find<QLineEdit>(&window, "Text1(0)")->text(), QStringLiteral("翠苑小区1幢 测试人"));
        QCOMPARE(find<QLineEdit>(&window, "Text1(3)")->text(), QStringLiteral("电话：13800000000"));
        press(&window, "Command1");
        type(&window, "Text2", QStringLiteral("查实"));
        press(&window, "Command1");
        press(&window, "Command2");
        type(&window, "Text3", QStringLiteral("请处理"));
        press(&window, "Command2");
        pickTarget(&window, QStringLiteral("3"), QString());
        press(&window, "Command2");
        QCOMPARE(messages.texts(), (QStringList{"必须输入调查情况", "必须输入答复", "必须输入您的意见",
                                                "必须选择转呈部门", "必须选择岗位"}));
        QCOMPARE(db.count(QStringLiteral("投诉信息处理")), 2);
        QCOMPARE(db.count(QStringLiteral("投诉信息"), QStringLiteral("处理状态 = '尚未受理'")), 5);
        QCOMPARE(find<QPlainTextEdit>(&window, "Text2")->toPlainText(), QStringLiteral("查实"));

        click(inProgress, 0);
        QCOMPARE(tag(find<QWidget>(&window, "Command1")), QStringLiteral("L2"));
        QCOMPARE(enabled(&window), (QStringList{"Command1", "Command4"}));
        QCOMPARE(find<QPlainTextEdit>(&window, "Text2")->toPlainText(), QStringLiteral("已查看"));
    }

    // Finishing at once leaves one closed step 1; a complaint another client accepted meanwhile is
    // Command7 prints the sheet of the complaint selected in either list, and asks for one first.
    void sheetOfTheSelectedComplaint()
    {
        TestDatabase db(true);
        loginAcceptor();
        MessageRecorder messages;
        QStringList opened;
        ModalDriver driver([&](QDialog *dialog) {
            opened << dialog->windowTitle();
            return 0;
        });
        AcceptanceWindow window(nullptr);
        window.show();
        press(&window, "Command7");
        QCOMPARE(messages.last(), QStringLiteral("请先在列表中选择一条投诉"));
        auto *pending = find<FlexGrid>(&window, "ListView1");
        auto *inProgress = find<FlexGrid>(&window, "ListView2");
        click(pending, 0);
        press(&window, "Command7");
        click(inProgress, 0);
        press(&window, "Command7");
        QCOMPARE(opened,
                 (QStringList{QStringLiteral("投诉处理单 ") + pending->grid()->text(0, AcceptanceWindow::PCode),
                              QStringLiteral("投诉处理单 ") + inProgress->grid()->text(0, AcceptanceWindow::ICode)}));
        QCOMPARE(messages.count(), 1);
    }

    // refused with a message, and the lists show where it went.
    void finishAtOnceAndConcurrentAcceptance()
    {
        TestDatabase db(true);
        loginAcceptor();
        MessageRecorder messages;
        AcceptanceWindow window;
        window.show();
        auto *pending = find<FlexGrid>(&window, "ListView1");
        auto *inProgress = find<FlexGrid>(&window, "ListView2");
        click(pending, rowOf(pending, AcceptanceWindow::PCode, QStringLiteral("00000001")));
        type(&window, "Text2", QStringLiteral("现场查看属实"));
        type(&window, "Text4", QStringLiteral("已约谈装修户"));
        press(&window, "Command1");
        QCOMPARE(messages.count(), 0);
        QCOMPARE(rowOf(pending, AcceptanceWindow::PCode, QStringLiteral("00000001")), -1);
        QCOMPARE(enabled(&window), QStringList());
        QCOMPARE(db.count(QStringLiteral("投诉信息处理"),
                          QStringLiteral("投诉编号 = '00000001' AND 顺序号 = 1 AND 处理结束时间 IS NOT NULL"
                                         " AND 处理结果 = '已约谈装修户' AND 处理意见 IS NULL")),
                 1);
        QCOMPARE(db.count(QStringLiteral("投诉信息处理"), QStringLiteral("投诉编号 = '00000001'")), 1);

        click(pending, rowOf(pending, AcceptanceWindow::PCode, QStringLiteral("00000002")));
        Database other;
        other.openSqlite(db.file());
        AcceptanceStore(other).forward(QStringLiteral("00000002"), QStringLiteral("他人查实"),
                                       QStringLiteral("他人意见"), QStringLiteral("5"), QStringLiteral("501"),
                                       QStringLiteral("4"), QStringLiteral("401"));
        type(&window, "Text2", QStringLiteral("我查实"));
        type(&window, "Text4", QStringLiteral("我答复"));
        press(&window, "Command1");
        QCOMPARE(messages.count(), 1);
        QVERIFY(messages.last().contains(QStringLiteral("00000002")));
        QCOMPARE(rowOf(pending, AcceptanceWindow::PCode, QStringLiteral("00000002")), -1);
        QVERIFY(rowOf(inProgress, AcceptanceWindow::ICode, QStringLiteral("00000002")) >= 0);
        QCOMPARE(db.value(QStringLiteral("SELECT 处理状态 || 调查情况 FROM 投诉信息 WHERE 投诉编号 = '00000002'"))
                     .toString(),
                 QStringLiteral("处理中他人查实"));
        QCOMPARE(db.count(QStringLiteral("投诉信息处理"), QStringLiteral("投诉编号 = '00000002'")), 2);
    }

    // Blanks are content, as everywhere else; the status bar counts what the lists hold now.
    void blanksAreContentAndCountsStayTrue()
    {
        TestDatabase db(true);
        loginAcceptor();
        MessageRecorder messages;
        Clock::Pinned clock(pinned());
        AcceptanceWindow window(nullptr);
        window.show();
        auto *pending = find<FlexGrid>(&window, "ListView1");
        auto *inProgress = find<FlexGrid>(&window, "ListView2");
        auto *status = find<QStatusBar>(&window, "StatusBar1");
        const int waiting = pending->grid()->rowCount();
        const int going = inProgress->grid()->rowCount();
        const auto counts = [](int p, int i) { return QStringLiteral("待处理 %1 条，处理中 %2 条").arg(p).arg(i); };
        QCOMPARE(status->currentMessage(), counts(waiting, going));

        click(pending, rowOf(pending, AcceptanceWindow::PCode, QStringLiteral("00000001")));
        type(&window, "Text2", QStringLiteral(" "));
        type(&window, "Text4", QStringLiteral("  "));
        press(&window, "Command1");
        QCOMPARE(messages.count(), 0);
        QCOMPARE(db.value(QStringLiteral("SELECT 处理状态 || '|' || 调查情况 || '|' || 处理结果 FROM 投诉信息"
                                         " WHERE 投诉编号 = '00000001'"))
                     .toString(),
                 QStringLiteral("处理完成| |  "));
        QCOMPARE(status->currentMessage(), counts(waiting - 1, going));

        click(pending, rowOf(pending, AcceptanceWindow::PCode, QStringLiteral("00000002")));
        type(&window, "Text2", QStringLiteral("查实"));
        type(&window, "Text3", QStringLiteral(" "));
        pickTarget(&window, QStringLiteral("3"), QStringLiteral("301"));
        press(&window, "Command2");
        QCOMPARE(messages.count(), 0);
        QCOMPARE(status->currentMessage(), counts(waiting - 2, going + 1));
        press(&window, "Command5");
        QCOMPARE(status->currentMessage(), counts(pending->grid()->rowCount(), inProgress->grid()->rowCount()));
    }

    // An assignment that ends after its complaints were forwarded no longer receives new ones, but
    // the complaints already accepted stay in progress and can still be finished.
    void endedAssignmentKeepsComplaintsInProgress()
    {
        TestDatabase db(true);
        loginAcceptor();
        db.exec(QStringLiteral("UPDATE 投诉处理人设置 SET 终止日期 = '2026-03-01' WHERE 职能部门代号 = '5'"));
        MessageRecorder messages;
        Clock::Pinned clock(pinned());
        AcceptanceWindow window(nullptr);
        window.show();
        auto *pending = find<FlexGrid>(&window, "ListView1");
        auto *inProgress = find<FlexGrid>(&window, "ListView2");
        QCOMPARE(pending->grid()->rowCount(), 0);
        const int row = rowOf(inProgress, AcceptanceWindow::ICode, QStringLiteral("00000013"));
        QVERIFY(row >= 0);
        click(inProgress, row);
        type(&window, "Text4", QStringLiteral("已修复"));
        press(&window, "Command1");
        QCOMPARE(messages.count(), 0);
        QCOMPARE(db.value(QStringLiteral("SELECT 处理状态 FROM 投诉信息 WHERE 投诉编号 = '00000013'")).toString(),
                 QStringLiteral("处理完成"));
        QCOMPARE(rowOf(inProgress, AcceptanceWindow::ICode, QStringLiteral("00000013")), -1);
    }

    // At midnight after a month end: exactly 24 hours is not overdue, a minute more is; a step
    // accepted on the previous day shows its waiting time across the date change.
    void waitingAcrossMidnightAndMonthEnd()
    {
        TestDatabase db(true);
        loginAcceptor();
        db.exec(QStringLiteral("DELETE FROM 投诉信息"));
        db.exec(QStringLiteral("DELETE FROM 投诉信息处理"));
        const QDateTime midnight(QDate(2026, 4, 1), QTime(0, 0, 0));
        insertComplaint(db, QStringLiteral("00000201"), QStringLiteral("1"), midnight.addSecs(-1));
        insertComplaint(db, QStringLiteral("00000202"), QStringLiteral("1"), midnight.addDays(-1));
        insertComplaint(db, QStringLiteral("00000203"), QStringLiteral("1"), midnight.addSecs(-24 * 3600 - 60));
        Clock::Pinned clock(midnight);
        AcceptanceWindow window(nullptr);
        window.show();
        auto *pending = find<FlexGrid>(&window, "ListView1");
        QCOMPARE(column(pending, AcceptanceWindow::PWaiting), (QStringList{"1分钟", "24小时0分钟", "24小时1分钟"}));
        QVERIFY(!boldRed(pending, 0, AcceptanceWindow::PWaiting));
        QVERIFY(!boldRed(pending, 1, AcceptanceWindow::PWaiting));
        QVERIFY(boldRed(pending, 2, AcceptanceWindow::PWaiting));
    }
};

TAVIMOR_TEST(AcceptanceWindowTest)
#include "AcceptanceWindowTest.moc"

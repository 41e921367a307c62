#include <QLineEdit>
#include <QTest>

#include "MessageRecorder.h"
#include "RoutingTestKit.h"
#include "TestDatabase.h"
#include "TestRegistry.h"
#include "handling/HandlingWindow.h"
#include "intake/ComplaintStore.h"
#include "routing/AcceptanceWindow.h"

using namespace routing_test;

// The road of one complaint through the real windows: received for an office, forwarded by the
// accepting post, forwarded once more, closed, its comments read and the complaint finished.
class ComplaintRoadTest : public QObject {
    Q_OBJECT
private slots:
    void wholeRoad()
    {
        TestDatabase db(true);
        MessageRecorder messages;
        // Reception records a complaint for office 2.
        ComplaintInput input;
        input.complainant = QStringLiteral("韩冰");
        input.address = QStringLiteral("翠苑二期15幢101室");
        input.telephone = QStringLiteral("13805710528");
        input.content = QStringLiteral("卫生间水管漏水");
        input.category = QStringLiteral("维修质量");
        input.channel = QStringLiteral("电话");
        input.time = QDateTime::currentDateTime().addSecs(-3600);
        input.receiver = QStringLiteral("张晓燕");
        input.officeCode = QStringLiteral("2");
        input.deptCode = QStringLiteral("5");
        input.deptName = QStringLiteral("翠苑物业服务中心");
        const SavedComplaint saved = ComplaintStore(db.db()).insert(input);
        const QString code = saved.code;

        // The post assigned to office 2 sees it pending and forwards it to the engineering manager.
        loginAcceptor();
        auto acceptance = std::make_unique<AcceptanceWindow>();
        acceptance->show();
        auto *pending = find<FlexGrid>(acceptance.get(), "ListView1");
        auto *inProgress = find<FlexGrid>(acceptance.get(), "ListView2");
        click(pending, rowOf(pending, AcceptanceWindow::PCode, code));
        type(acceptance.get(), "Text2", QStringLiteral("业主反映属实"));
        type(acceptance.get(), "Text3", QStringLiteral("请工程部安排维修"));
        pickTarget(acceptance.get(), QStringLiteral("3"), QStringLiteral("301"));
        press(acceptance.get(), "Command2");
        const int moved = rowOf(inProgress, AcceptanceWindow::ICode, code);
        QVERIFY(moved >= 0);
        QCOMPARE(inProgress->grid()->text(moved, AcceptanceWindow::IHolder), QStringLiteral("李建国"));
        QString cells[RegisterColumn::Count];
        bool open = true;
        QVERIFY(ComplaintStore(db.db()).registerRow(saved.id, cells, &open));
        QCOMPARE(cells[RegisterColumn::Status], QStringLiteral("处理中"));

        // The engineering manager forwards it to the maintenance supervisor, who closes the step.
        loginHandler();
        {
            HandlingWindow handling;
            handling.show();
            auto *list = find<FlexGrid>(&handling, "ListView1");
            click(list, rowOf(list, HandlingWindow::Code, code));
            QCOMPARE(find<QPlainTextEdit>(&handling, "Text2")->toPlainText(), QStringLiteral("业主反映属实"));
            type(&handling, "Text3", QStringLiteral("已派人查看，请维修主管落实"));
            pickTarget(&handling, QStringLiteral("3"), QStringLiteral("302"));
            press(&handling, "Command2");
        }
        TestDatabase::login(QStringLiteral("1009"), QStringLiteral("郑伟"), QStringLiteral("3"),
                            QStringLiteral("工程维修部"), QStringLiteral("302"), QStringLiteral("维修主管"));
        {
            HandlingWindow handling;
            handling.show();
            auto *list = find<FlexGrid>(&handling, "ListView1");
            click(list, rowOf(list, HandlingWindow::Code, code));
            type(&handling, "Text3", QStringLiteral("水管已更换"));
            press(&handling, "Command1");
        }

        // Back at the accepting post: the comments of three steps, then the complaint finished.
        loginAcceptor();
        press(acceptance.get(), "Command5");
        const int row = rowOf(inProgress, AcceptanceWindow::ICode, code);
        QCOMPARE(inProgress->grid()->text(row, AcceptanceWindow::IHolder), QStringLiteral("1002 李建国"));
        click(inProgress, row);
        QStringList comments;
        ModalDriver driver([&](QDialog *dialog) {
            auto *steps = find<QListWidget>(dialog, "List1");
            for (int i = 0; i < steps->count(); ++i) {
                steps->setCurrentRow(i);
                comments << steps->item(i)->text() + QLatin1Char('|') +
                                find<QPlainTextEdit>(dialog, "Text1")->toPlainText();
            }
            return 0;
        });
        press(acceptance.get(), "Command4");
        QCOMPARE(comments,
                 (QStringList{"翠苑物业服务中心 服务中心主任(李建国)|处理意见：\n请工程部安排维修\n\n处理结果：\n",
                              "工程维修部 工程部经理(王志强)|已派人查看，请维修主管落实",
                              "工程维修部 维修主管(郑伟)|水管已更换"}));
        type(acceptance.get(), "Text4", QStringLiteral("水管已更换，已回访业主"));
        press(acceptance.get(), "Command1");
        QCOMPARE(messages.texts(), QStringList());
        QCOMPARE(rowOf(inProgress, AcceptanceWindow::ICode, code), -1);

        QVERIFY(ComplaintStore(db.db()).registerRow(saved.id, cells, &open));
        QVERIFY(!open);
        QCOMPARE(cells[RegisterColumn::Status], QStringLiteral("处理完成"));
        QCOMPARE(cells[RegisterColumn::Result], QStringLiteral("水管已更换，已回访业主"));
        const Rows complaint = db.db().select(
            QStringLiteral("SELECT 处理状态, 处理时间, 调查情况, 处理结果 FROM 投诉信息 WHERE 投诉编号 = ?"), {code});
        QCOMPARE(complaint.first().text(0), QStringLiteral("处理完成"));
        QVERIFY(qAbs(complaint.first().dateTime(1).secsTo(QDateTime::currentDateTime())) < 60);
        QCOMPARE(complaint.first().text(2), QStringLiteral("业主反映属实"));
        QCOMPARE(complaint.first().text(3), QStringLiteral("水管已更换，已回访业主"));
        QCOMPARE(
            db.count(QStringLiteral("投诉信息处理"), QStringLiteral("投诉编号 = ? AND 处理结束时间 IS NULL"), {code}),
            0);
        QCOMPARE(db.value(QStringLiteral("SELECT group_concat(处理岗位 || ':' || 顺序号, ',') FROM"
                                         " (SELECT * FROM 投诉信息处理 WHERE 投诉编号 = ? ORDER BY 顺序号)"),
                          {code})
                     .toString(),
                 QStringLiteral("501:1,301:2,302:3"));
    }
};

TAVIMOR_TEST(ComplaintRoadTest)
#include "ComplaintRoadTest.moc"

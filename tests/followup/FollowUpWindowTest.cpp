#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>

#include "MessageRecorder.h"
#include "TestDatabase.h"
#include "TestRegistry.h"
#include "common/Clock.h"
#include "common/FlexGrid.h"
#include "data/Status.h"
#include "followup/FollowUpWindow.h"

namespace {

const QDateTime kNow(QDate(2026, 3, 10), QTime(10, 30, 0));

void login()
{
    TestDatabase::login(QStringLiteral("1001"), QStringLiteral("张晓燕"), QStringLiteral("5"),
                        QStringLiteral("翠苑物业服务中心"), QStringLiteral("502"), QStringLiteral("前台接待员"));
}

struct Complaint {
    QString code;
    QVariant finished;  // 处理时间
    QString dept = QStringLiteral("5");
    QVariant visited = QVariant();  // 回访时间
    QVariant voided = QVariant();   // 撤销时间
};

void insert(TestDatabase &db, const Complaint &c)
{
    const bool done = !c.finished.isNull();
    db.exec(
        QStringLiteral("INSERT INTO 投诉信息 (投诉编号, 流水号, 部门编号, 部门名称, 管理处代号, 投诉人, 地址, 联系电话,"
                       " 投诉类别, 投诉方式, 投诉时间, 投诉内容, 接待人, 处理状态, 处理结果, 处理时间, 调查情况,"
                       " 回访人, 回访时间, 结果满意度, 撤销时间)"
                       " VALUES (?, ?, ?, '部门', '1', ?, '翠苑小区1幢', '138' || ?, '维修质量', '电话', ?,"
                       " '内容' || ?, '张晓燕', ?, ?, ?, ?, ?, ?, ?, ?)"),
        {c.code, c.code.toInt(), c.dept, QStringLiteral("投诉人") + c.code, c.code, kNow.addDays(-20), c.code,
         done ? Status::finished() : Status::notAccepted(),
         done ? QVariant(QStringLiteral("答复") + c.code) : QVariant(), c.finished,
         done ? QVariant(QStringLiteral("调查") + c.code) : QVariant(),
         c.visited.isNull() ? QVariant() : QVariant(QStringLiteral("林芳")), c.visited,
         c.visited.isNull() ? QVariant() : QVariant(QStringLiteral("满意")), c.voided});
}

template <typename T>
T *find(QWidget *window, const char *name)
{
    T *widget = window->findChild<T *>(QString::fromUtf8(name));
    if (!widget) qFatal("no control %s", name);
    return widget;
}

QStringList column(FlexGrid *grid, int column)
{
    QStringList texts;
    for (int row = 0; row < grid->grid()->rowCount(); ++row) texts << grid->grid()->text(row, column);
    return texts;
}

bool boldRed(FlexGrid *grid, int row, int column)
{
    const QModelIndex index = grid->model()->index(row, column);
    return index.data(Qt::FontRole).value<QFont>().bold() &&
           index.data(Qt::ForegroundRole).value<QColor>() == QColor(255, 0, 0);
}

void choose(FlexGrid *grid, int row)
{
    grid->setCurrentRow(row);
    emit grid->rowChosen(row);
}

QString status(QWidget *window) { return find<QStatusBar>(window, "StatusBar1")->currentMessage(); }

}  // namespace

class FollowUpWindowTest : public QObject {
    Q_OBJECT
private slots:
    // Which complaints each list holds, in which order, with the waiting texts and the 48-hour mark.
    void listsOrderAndWaiting()
    {
        TestDatabase db;
        login();
        Clock::Pinned pinned(kNow);
        insert(db, {"00000001", kNow.addSecs(-30 * 3600)});
        insert(db, {"00000002", kNow.addSecs(-48 * 3600)});
        insert(db, {"00000003", kNow.addSecs(-48 * 3600 - 60)});
        insert(db, {"00000004", QVariant()});                                           // open
        insert(db, {"00000005", kNow.addDays(-5), "5", QVariant(), kNow.addDays(-6)});  // voided
        insert(db, {"00000006", kNow.addDays(-5), "6"});                                // other department
        insert(db, {"00000007", kNow.addDays(-9), "5", kNow.addDays(-3)});              // visited
        insert(db, {"00000008", kNow.addDays(-9), "5", kNow.addSecs(-3600)});           // visited later
        insert(db, {"00000009", kNow.addDays(-40), "5", kNow.addDays(-31)});            // visited too long ago
        insert(db, {"00000010", kNow.addDays(-9), "6", kNow.addDays(-2)});              // other department
        db.exec(QStringLiteral("UPDATE 投诉信息 SET 结果满意度 = '不满意' WHERE 投诉编号 = '00000008'"));

        FollowUpWindow window;
        window.show();
        auto *awaiting = find<FlexGrid>(&window, "ListView1");
        auto *visited = find<FlexGrid>(&window, "ListView2");
        QCOMPARE(column(awaiting, FollowUpWindow::ACode), (QStringList{"00000003", "00000002", "00000001"}));
        QCOMPARE(column(awaiting, FollowUpWindow::AWaiting),
                 (QStringList{"48小时1分钟", "48小时0分钟", "30小时0分钟"}));
        QVERIFY(boldRed(awaiting, 0, FollowUpWindow::AWaiting));
        QVERIFY(!boldRed(awaiting, 1, FollowUpWindow::AWaiting));
        QCOMPARE(awaiting->grid()->rowTexts(2),
                 (QStringList{"3", "00000001", "投诉人00000001", "13800000001", "内容00000001", "答复00000001",
                              "2026-03-09 04:30", "30小时0分钟"}));
        QCOMPARE(column(visited, FollowUpWindow::VCode), (QStringList{"00000008", "00000007"}));
        QCOMPARE(visited->grid()->rowTexts(1).mid(4), (QStringList{"林芳", "2026-03-07 10:30", "满意"}));
        QCOMPARE(status(&window), QStringLiteral("待回访 3 条，近30天已回访 2 条，满意率 50%"));

        // Nothing visited in 30 days: no rate to give.
        db.exec(QStringLiteral(
            "UPDATE 投诉信息 SET 回访时间 = NULL, 回访人 = NULL WHERE 投诉编号 IN ('00000007', '00000008')"));
        window.refresh();
        QCOMPARE(status(&window), QStringLiteral("待回访 5 条，近30天已回访 0 条，满意率 -%"));

        // Waits of days read in days and hours from 72 hours on; the list stays in finishing order.
        insert(db, {"00000011", kNow.addSecs(-(9910 * 3600 + 59 * 60))});
        insert(db, {"00000012", kNow.addSecs(-(72 * 3600 - 60))});
        insert(db, {"00000013", kNow.addSecs(-72 * 3600)});
        window.refresh();
        QCOMPARE(column(awaiting, FollowUpWindow::ACode),
                 (QStringList{"00000011", "00000007", "00000008", "00000013", "00000012", "00000003", "00000002",
                              "00000001"}));
        QCOMPARE(column(awaiting, FollowUpWindow::AWaiting),
                 (QStringList{"412天22小时", "9天0小时", "9天0小时", "3天0小时", "71小时59分钟", "48小时1分钟",
                              "48小时0分钟", "30小时0分钟"}));
    }

    // The two messages, then a visit stored with user, time and answer; the complaint's road is untouched.
    void messagesAndVisit()
    {
        TestDatabase db;
        login();
        Clock::Pinned pinned(kNow);
        insert(db, {"00000001", kNow.addDays(-2)});
        insert(db, {"00000002", kNow.addDays(-1)});
        MessageRecorder messages;
        FollowUpWindow window;
        window.show();
        auto *awaiting = find<FlexGrid>(&window, "ListView1");
        auto *visited = find<FlexGrid>(&window, "ListView2");
        auto *combo = find<QComboBox>(&window, "Combo1");
        QCOMPARE(combo->currentIndex(), -1);
        QCOMPARE(combo->count(), 3);

        find<QPushButton>(&window, "Command1")->click();
        QCOMPARE(messages.texts(), QStringList{"请先在列表中选择一条投诉"});
        choose(awaiting, 1);
        QCOMPARE(find<QLineEdit>(&window, "Text1(0)")->text(), QStringLiteral("翠苑小区1幢 投诉人00000002"));
        QCOMPARE(find<QPlainTextEdit>(&window, "Text1(2)")->toPlainText(), QStringLiteral("调查00000002"));
        QCOMPARE(find<QPlainTextEdit>(&window, "Text1(3)")->toPlainText(), QStringLiteral("答复00000002"));
        find<QPushButton>(&window, "Command1")->click();
        QCOMPARE(messages.last(), QStringLiteral("请选择满意度"));
        QCOMPARE(db.count(QStringLiteral("投诉信息"), QStringLiteral("回访时间 IS NOT NULL")), 0);

        combo->setCurrentText(QStringLiteral("基本满意"));
        find<QPushButton>(&window, "Command1")->click();
        QCOMPARE(messages.count(), 2);
        QCOMPARE(db.value(QStringLiteral("SELECT 回访人 || '|' || 回访时间 || '|' || 结果满意度 || '|' || 处理状态"
                                         " FROM 投诉信息 WHERE 投诉编号 = '00000002'"))
                     .toString(),
                 QStringLiteral("张晓燕|2026-03-10 10:30:00|基本满意|处理完成"));
        QCOMPARE(column(awaiting, FollowUpWindow::ACode), QStringList{"00000001"});
        QCOMPARE(column(visited, FollowUpWindow::VCode), QStringList{"00000002"});
        QCOMPARE(combo->currentIndex(), -1);
        QVERIFY(find<QLineEdit>(&window, "Text1(0)")->text().isEmpty());
        QCOMPARE(status(&window), QStringLiteral("待回访 1 条，近30天已回访 1 条，满意率 100%"));

        // A line of the visited list is shown but cannot be visited again.
        choose(visited, 0);
        combo->setCurrentIndex(0);
        find<QPushButton>(&window, "Command1")->click();
        QCOMPARE(messages.last(), QStringLiteral("请先在列表中选择一条投诉"));
        QCOMPARE(db.count(QStringLiteral("投诉信息"), QStringLiteral("回访时间 IS NOT NULL")), 1);
    }

    // Two stations visit the same complaint: the first is stored, the second is told and sees where it went.
    void twoStationsVisitOneComplaint()
    {
        TestDatabase db;
        login();
        Clock::Pinned pinned(kNow);
        insert(db, {"00000001", kNow.addDays(-2)});
        MessageRecorder messages;
        FollowUpWindow window;
        window.show();
        auto *awaiting = find<FlexGrid>(&window, "ListView1");
        choose(awaiting, 0);
        find<QComboBox>(&window, "Combo1")->setCurrentIndex(2);

        Database other;
        other.openSqlite(db.file());
        FollowUpStore(other).visit(QStringLiteral("00000001"), QStringLiteral("林芳"), QStringLiteral("满意"),
                                   kNow.addSecs(-60));
        find<QPushButton>(&window, "Command1")->click();
        QCOMPARE(messages.texts(), QStringList{"该投诉已由其他用户回访"});
        QCOMPARE(db.value(QStringLiteral("SELECT 回访人 || 结果满意度 FROM 投诉信息")).toString(),
                 QStringLiteral("林芳满意"));
        QCOMPARE(awaiting->grid()->rowCount(), 0);
        QCOMPARE(column(find<FlexGrid>(&window, "ListView2"), FollowUpWindow::VCode), QStringList{"00000001"});

        // The store refuses a second visit outright, and never visits an open or voided complaint.
        insert(db, {"00000002", QVariant()});
        insert(db, {"00000003", kNow.addDays(-1), "5", QVariant(), kNow.addDays(-3)});
        FollowUpStore store(other);
        for (const char *code : {"00000001", "00000002", "00000003"})
            QVERIFY_THROWS_EXCEPTION(ConcurrentChange, store.visit(QString::fromLatin1(code), QStringLiteral("某人"),
                                                                   QStringLiteral("不满意"), kNow));
        QCOMPARE(db.count(QStringLiteral("投诉信息"), QStringLiteral("回访时间 IS NOT NULL")), 1);
    }
};

TAVIMOR_TEST(FollowUpWindowTest)
#include "FollowUpWindowTest.moc"

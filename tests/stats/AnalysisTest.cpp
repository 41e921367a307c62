#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QtCharts/QBarSet>
#include <QtCharts/QChartView>
#include <QtCharts/QLineSeries>
#include <QtCharts/QStackedBarSeries>

#include "ExportProbe.h"
#include "MessageRecorder.h"
#include "Readers.h"
#include "TestDatabase.h"
#include "TestRegistry.h"
#include "common/Clock.h"
#include "common/FlexGrid.h"
#include "common/Session.h"
#include "stats/AnalysisWindow.h"

namespace {

const QDateTime kNow(QDate(2026, 3, 10), QTime(10, 30, 0));

struct Complaint {
    const char *code, *dept, *category, *channel, *office;
    QDateTime time;
    const char *status;
    QDateTime finished;
    bool voided;
    const char *satisfaction;
};

// Eight complaints of department 5 in March (C1..C7, C10), one of February (C9), one of
// department 6 (C8). Times are counted back from 2026-03-10 10:30.
void fixture(TestDatabase &db)
{
    for (const char *table : {"投诉信息", "投诉信息处理", "投诉处理人设置"})
        db.exec(QStringLiteral("DELETE FROM ") + QString::fromUtf8(table));
    // A one-digit code sorts before the two-digit ones.
    db.exec(QStringLiteral("INSERT INTO 投诉类别 (编号, 类别) VALUES ('5', '漏水')"));
    const auto h = [](int hours, int seconds = 0) { return kNow.addSecs(-3600LL * hours - seconds); };
    const auto at = [](int day, int hour, int minute = 0) {
        return QDateTime(QDate(2026, 3, day), QTime(hour, minute));
    };
    const Complaint rows[] = {
        {"C1", "5", "维修质量", "电话", "1", h(2), "尚未受理", {}, false, nullptr},
        {"C2", "5", "维修质量", "来访", "2", h(24), "尚未受理", {}, false, nullptr},
        {"C3", "5", "维修质量", "电话", "1", h(24, 1), "尚未受理", {}, false, nullptr},
        {"C4", "5", "服务态度", "电话", "10", h(73), "处理中", {}, false, nullptr},
        {"C5", "5", "服务态度", "电话", "1", at(2, 9), "处理完成", at(2, 15), false, "满意"},
        {"C6", "5", "漏水", "来访", "2", at(5, 8), "处理完成", at(6, 8), false, "不满意"},
        {"C7", "5", "维修质量", "电话", "1", at(3, 10), "尚未受理", {}, true, nullptr},
        {"C8", "6", "维修质量", "电话", "10", at(4, 10), "尚未受理", {}, false, nullptr},
        {"C9",
         "5",
         "维修质量",
         "电话",
         "1",
         QDateTime(QDate(2026, 2, 28), QTime(23, 0)),
         "尚未受理",
         {},
         false,
         nullptr},
        {"C10", "5", "噪音 扰民", "电话", nullptr, at(10, 0), "处理完成", at(10, 1, 30), false, "基本满意"},
    };
    for (const Complaint &c : rows)
        db.exec(
            QStringLiteral("INSERT INTO 投诉信息 (投诉编号, 流水号, 部门编号, 管理处代号, 投诉人, 投诉类别, 投诉方式,"
                           " 投诉时间, 处理状态, 处理时间, 撤销时间, 回访时间, 结果满意度)"
                           " VALUES (?, 1, ?, ?, '投诉人', ?, ?, ?, ?, ?, ?, ?, ?)"),
            {QString::fromUtf8(c.code), QString::fromUtf8(c.dept),
             c.office ? QVariant(QString::fromUtf8(c.office)) : QVariant(), QString::fromUtf8(c.category),
             QString::fromUtf8(c.channel), c.time, QString::fromUtf8(c.status),
             c.finished.isValid() ? QVariant(c.finished) : QVariant(), c.voided ? QVariant(c.time.date()) : QVariant(),
             c.satisfaction ? QVariant(c.finished.addDays(1)) : QVariant(),
             c.satisfaction ? QVariant(QString::fromUtf8(c.satisfaction)) : QVariant()});
    // C4 is forwarded: its own post's step waits exactly 72 hours, the next one a second longer;
    // C5 is finished, with a step someone never closed.
    const QString steps = QStringLiteral(
        "INSERT INTO 投诉信息处理 (投诉编号, 处理部门, 处理岗位, 顺序号, 接受时间, 处理结束时间) VALUES (?, ?, ?, ?, "
        "?, ?)");
    db.exec(steps, {"C4", "5", "501", 1, h(72), QVariant()});
    db.exec(steps, {"C4", "3", "301", 2, h(72, 1), QVariant()});
    db.exec(steps, {"C5", "3", "302", 2, at(2, 10), QVariant()});
    db.exec(steps, {"C10", "5", "501", 1, at(10, 1), at(10, 1, 30)});
    // Office 1 assigned twice to the same post (two periods): its complaints count once there.
    const QString assign =
        QStringLiteral("INSERT INTO 投诉处理人设置 (管理处代号, 职能部门代号, 岗位代号, 设置日期) VALUES (?, ?, ?, ?)");
    db.exec(assign, {"1", "5", "501", QDate(2024, 1, 1)});
    db.exec(assign, {"1", "5", "501", QDate(2025, 1, 1)});
    db.exec(assign, {"2", "5", "501", QDate(2024, 1, 1)});
    db.exec(assign, {"2", "5", "503", QDate(2024, 1, 1)});
    db.exec(assign, {"10", "6", "601", QDate(2024, 1, 1)});
}

template <typename T>
T *find(QWidget *window, const char *name)
{
    T *widget = window->findChild<T *>(QString::fromUtf8(name));
    if (!widget) qFatal("no control %s", name);
    return widget;
}

QList<QStringList> rows(QWidget *window, const char *grid)
{
    const GridModel *model = find<FlexGrid>(window, grid)->grid();
    QList<QStringList> list;
    for (int row = 0; row < model->rowCount(); ++row) list << model->rowTexts(row);
    return list;
}

void analyse(AnalysisWindow &window, QDate from, QDate to, int grouping)
{
    find<QDateEdit>(&window, "DTPicker1")->setDate(from);
    find<QDateEdit>(&window, "DTPicker2")->setDate(to);
    find<QComboBox>(&window, "Combo1")->setCurrentIndex(grouping);
    find<QPushButton>(&window, "Command1")->click();
}

const QDate kMarch1(2026, 3, 1);
const QDate kMarch10(2026, 3, 10);

void loginDepartment5()
{
    TestDatabase::login(QStringLiteral("1004"), QStringLiteral("刘德明"), QStringLiteral("5"),
                        QStringLiteral("翠苑物业服务中心"), QStringLiteral("501"), QStringLiteral("服务中心主任"));
}

}  // namespace

class AnalysisTest : public QObject {
    Q_OBJECT
private slots:
    // Every column of every grouping, counted by hand: voided, other departments, the edges of
    // the period and of 24 hours, the mean handling hours, the natural order of codes.
    void everyGrouping()
    {
        TestDatabase db(true);
        fixture(db);
        loginDepartment5();
        Clock::Pinned pinned(kNow);
        AnalysisWindow window;
        QCOMPARE(find<QDateEdit>(&window, "DTPicker1")->date(), kMarch1);
        QCOMPARE(find<QDateEdit>(&window, "DTPicker2")->date(), kMarch10);

        using L = QList<QStringList>;
        analyse(window, kMarch1, kMarch10, 0);
        QCOMPARE(rows(&window, "MSFlexGrid1"), (L{{"漏水", "1", "0", "0", "1", "0", "24.0", "0"},
                                                  {"服务态度", "2", "0", "1", "1", "0", "6.0", "1"},
                                                  {"维修质量", "4", "3", "0", "0", "1", "", "1"},
                                                  {"噪音 扰民", "1", "0", "0", "1", "0", "1.5", "0"},
                                                  {"合计", "8", "3", "1", "3", "1", "10.5", "2"}}));
        QCOMPARE(find<QLabel>(&window, "Label5")->text(), QStringLiteral("回访3件：满意33%，基本满意33%，不满意33%"));
        QVERIFY(find<QStatusBar>(&window, "StatusBar1")->currentMessage().contains(QStringLiteral("共 8 件投诉")));

        analyse(window, kMarch1, kMarch10, 1);
        QCOMPARE(rows(&window, "MSFlexGrid1"), (L{{"电话", "6", "2", "1", "2", "1", "3.8", "2"},
                                                  {"来访", "2", "1", "0", "1", "0", "24.0", "0"},
                                                  {"合计", "8", "3", "1", "3", "1", "10.5", "2"}}));
        analyse(window, kMarch1, kMarch10, 2);
        QCOMPARE(rows(&window, "MSFlexGrid1"), (L{{"1 翠苑小区", "4", "2", "0", "1", "1", "6.0", "1"},
                                                  {"2 翠苑二期", "2", "1", "0", "1", "0", "24.0", "0"},
                                                  {"10 翠苑商业街", "1", "0", "1", "0", "0", "", "1"},
                                                  {"（无管理处）", "1", "0", "0", "1", "0", "1.5", "0"},
                                                  {"合计", "8", "3", "1", "3", "1", "10.5", "2"}}));
        analyse(window, QDate(2026, 2, 1), kMarch10, 3);
        QCOMPARE(rows(&window, "MSFlexGrid1"), (L{{"2026-02", "1", "1", "0", "0", "0", "", "1"},
                                                  {"2026-03", "8", "3", "1", "3", "1", "10.5", "2"},
                                                  {"合计", "9", "4", "1", "3", "1", "10.5", "3"}}));

        // The bar chart stacks the grid's status columns; the line has a point for every day.
        auto *bars =
            qobject_cast<QStackedBarSeries *>(find<QChartView>(&window, "ChartView1")->chart()->series().value(0));
        QVERIFY(bars);
        QCOMPARE(bars->barSets().size(), 4);
        QCOMPARE(bars->barSets().at(0)->label(), QStringLiteral("尚未受理"));
        QCOMPARE(bars->barSets().at(0)->at(0), 1.0);
        QCOMPARE(bars->barSets().at(2)->at(1), 3.0);
        auto *line = qobject_cast<QLineSeries *>(find<QChartView>(&window, "ChartView2")->chart()->series().value(0));
        QVERIFY(line);
        QCOMPARE(line->count(), 38);
        QCOMPARE(line->at(27).y(), 1.0);  // 2 月 28 日: C9
        QCOMPARE(line->at(28).y(), 0.0);  // 3 月 1 日
        QCOMPARE(line->at(37).y(), 2.0);  // 3 月 10 日: C1 and C10
    }

    // Open work by post: open steps of open complaints and each office's pending complaints at
    // every post assigned to it, whenever received; the 24- and 72-hour edges; the super user's scope.
    void backlogAndScope()
    {
        TestDatabase db(true);
        fixture(db);
        loginDepartment5();
        Clock::Pinned pinned(kNow);
        AnalysisWindow window;
        analyse(window, kMarch1, kMarch10, 0);
        using L = QList<QStringList>;
        QCOMPARE(rows(&window, "MSFlexGrid2"),
                 (L{{"5 翠苑物业服务中心", "501 服务中心主任", "5", "3", "1", "227小时30分钟"},
                    {"3 工程维修部", "301 工程部经理", "1", "1", "1", "72小时1分钟"},
                    {"5 翠苑物业服务中心", "503 客户管家", "1", "0", "0", "24小时0分钟"}}));

        TestDatabase::login(QStringLiteral("超级用户"), QStringLiteral("超级用户"), QString(), QString(), QString(),
                            QString());
        analyse(window, kMarch1, kMarch10, 0);
        QCOMPARE(rows(&window, "MSFlexGrid1").last(), (QStringList{"合计", "9", "4", "1", "3", "1", "10.5", "3"}));
        QCOMPARE(rows(&window, "MSFlexGrid2").at(2),
                 (QStringList{"6 商业物业服务中心", "601 商业中心经理", "1", "1", "1", "144小时30分钟"}));
        QVERIFY(
            find<QStatusBar>(&window, "StatusBar1")->currentMessage().startsWith(QStringLiteral("超级用户：全部部门")));
    }

    // A complaint dated with an old placeholder (1900) and finished now: its 126 years count in the
    // mean, the period may reach the last day the server holds, and nothing overflows.
    void decadesBetweenReceivingAndFinishing()
    {
        TestDatabase db(true);
        fixture(db);
        const QDateTime received(QDate(1900, 1, 1), QTime(0, 0));
        const QDateTime finished(QDate(2026, 3, 6), QTime(8, 0));
        db.exec(QStringLiteral("INSERT INTO 投诉信息 (投诉编号, 流水号, 部门编号, 投诉人, 投诉类别, 投诉时间, 处理状态,"
                               " 处理时间) VALUES ('C11', 1, '5', '投诉人', '漏水', ?, '处理完成', ?)"),
                {received, finished});
        loginDepartment5();
        Clock::Pinned pinned(kNow);
        MessageRecorder messages;
        AnalysisWindow window;
        analyse(window, QDate(1753, 1, 1), QDate(9999, 12, 31), 0);
        QCOMPARE(messages.texts(), QStringList());
        QStringList leak;
        for (const QStringList &row : rows(&window, "MSFlexGrid1"))
            if (row.first().endsWith(QStringLiteral("漏水"))) leak = row;
        // C6 took 24 hours.
        const double hours = received.secsTo(finished) / 3600.0;
        QCOMPARE(leak.value(6), QString::number((24 + hours) / 2, 'f', 1));
    }

    // An empty period, and a start after the end.
    void emptyPeriodAndDateCheck()
    {
        TestDatabase db(true);
        fixture(db);
        loginDepartment5();
        Clock::Pinned pinned(kNow);
        MessageRecorder messages;
        AnalysisWindow window;
        analyse(window, QDate(2026, 1, 1), QDate(2026, 1, 31), 1);
        QCOMPARE(rows(&window, "MSFlexGrid1"), (QList<QStringList>{{"合计", "0", "0", "0", "0", "0", "", "0"}}));
        QCOMPARE(find<QLabel>(&window, "Label5")->text(), QStringLiteral("本期无回访"));
        QCOMPARE(messages.count(), 0);
        analyse(window, kMarch10, kMarch1, 1);
        QCOMPARE(messages.texts(), QStringList{"起始日期不能大于结束日期,请重新选择日期!"});
        QCOMPARE(rows(&window, "MSFlexGrid1").size(), 1);
    }

    // The export window gets the summary with its title and sheet; the sheet holds numbers as numbers.
    void exportedSheet()
    {
        TestDatabase db(true);
        fixture(db);
        loginDepartment5();
        Clock::Pinned pinned(kNow);
        AnalysisWindow window;
        analyse(window, kMarch1, kMarch10, 1);
        find<QPushButton>(&window, "Command4")->click();
        ExportWindow *exporter = window.exportWindow();
        QVERIFY(exporter);
        const QString sheet = QStringLiteral("(2026-03-01至2026-03-10)投诉分析");
        QCOMPARE(find<QLineEdit>(exporter, "Text1(1)")->text(), QStringLiteral("投诉分析"));
        QCOMPARE(find<QLineEdit>(exporter, "Text1(2)")->text(), sheet);

        REQUIRE_READER(readers::missingOpenpyxl());
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("analysis.xlsx"));
        find<QLineEdit>(exporter, "Text1(0)")->setText(path);
        QVERIFY2(exporter->To_Execl(QStringLiteral("投诉分析"), sheet), qPrintable(exporter->lastError()));
        const export_probe::Seen seen = export_probe::dump(PROBE_SCRIPT, path);
        QCOMPARE(seen.value(sheet, "A1").toString(), QStringLiteral("投诉分析"));
        QCOMPARE(seen.value(sheet, "A4").toString(), QStringLiteral("分组"));
        QCOMPARE(seen.value(sheet, "H4").toString(), QStringLiteral("超时未完成"));
        QCOMPARE(seen.value(sheet, "A5").toString(), QStringLiteral("电话"));
        QCOMPARE(seen.cell(sheet, "B5")["type"].toString(), QStringLiteral("n"));
        QCOMPARE(seen.value(sheet, "B5").toDouble(), 6.0);
        QCOMPARE(seen.value(sheet, "G5").toDouble(), 3.8);
        QCOMPARE(seen.value(sheet, "B7").toDouble(), 8.0);
    }
};

TAVIMOR_TEST(AnalysisTest)
#include "AnalysisTest.moc"

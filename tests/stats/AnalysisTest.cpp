#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QtCharts/QBarCategoryAxis>
#include <QtCharts/QBarSet>
#include <QtCharts/QCategoryAxis>
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
        // Counts are whole numbers, the mean hours have one decimal; the second title row says
        // what the numbers cover.
        for (const char *count : {"B5", "C6", "H7"})
            QCOMPARE(seen.cell(sheet, count)["format"].toString(), QStringLiteral("0"));
        QCOMPARE(seen.cell(sheet, "G5")["format"].toString(), QStringLiteral("0.0"));
        QCOMPARE(seen.value(sheet, "A2").toString(),
                 QStringLiteral("期间：2026-03-01 至 2026-03-10　部门：翠苑物业服务中心　按投诉方式"));

        // As a spreadsheet program shows them.
        REQUIRE_READER(readers::missingLibreOffice());
        // The report is the workbook's second sheet, after the one a new workbook starts with.
        const QString csv = readers::convertWithLibreOffice(
            path, QStringLiteral("csv:Text - txt - csv (StarCalc):44,34,76,1,,0,false,true,true,false,false,2"),
            dir.path());
        QFile shown(csv);
        QVERIFY2(shown.open(QIODevice::ReadOnly), qPrintable(csv));
        const QStringList lines =
            QString::fromUtf8(shown.readAll()).split(QRegularExpression(QStringLiteral("\\r?\\n")));
        QCOMPARE(lines.value(4), QStringLiteral("电话,6,2,1,2,1,3.8,2"));
        QCOMPARE(lines.value(6), QStringLiteral("合计,8,3,1,3,1,10.5,2"));
    }

    // The groups' names under the bars are never cut to "…": side by side where they fit, upright
    // where the window is too narrow for them.
    void groupLabelsAreWhole()
    {
        TestDatabase db(true);
        fixture(db);
        db.exec(QStringLiteral("UPDATE 设置管理处 SET Gyd_name = Gyd_name || '东区北苑'"));
        loginDepartment5();
        Clock::Pinned pinned(kNow);
        AnalysisWindow window;
        auto *view = find<QChartView>(&window, "ChartView1");
        const auto axis = [&] {
            return qobject_cast<QBarCategoryAxis *>(view->chart()->axes(Qt::Horizontal).value(0));
        };
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        for (const QSize size : {QSize(1600, 1000), QSize(1024, 720)}) {
            window.resize(size);
            analyse(window, kMarch1, kMarch10, 2);
            QVERIFY(axis());
            QCOMPARE(axis()->categories().last(), QStringLiteral("（无管理处）"));
            QCoreApplication::processEvents();
            view->grab();
            QVERIFY2(!axis()->labelsTruncated(), qPrintable(QString::number(size.width())));
            QCOMPARE(axis()->labelsAngle(), size.width() < 1600 ? -90 : 0);
        }
    }

    // The daily chart: every day labelled up to a month, exactly at its point; Mondays, then
    // months, beyond; a single day shows its point.
    void dailyChartAxis()
    {
        TestDatabase db(true);
        fixture(db);
        loginDepartment5();
        Clock::Pinned pinned(kNow);
        AnalysisWindow window;
        const auto chart = [&] { return find<QChartView>(&window, "ChartView2")->chart(); };
        const auto axis = [&] { return qobject_cast<QCategoryAxis *>(chart()->axes(Qt::Horizontal).value(0)); };
        const auto line = [&] { return qobject_cast<QLineSeries *>(chart()->series().value(0)); };

        window.resize(1024, 720);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        analyse(window, kMarch1, QDate(2026, 3, 31), 0);
        QVERIFY(axis() && line());
        QCOMPARE(axis()->count(), 31);
        find<QChartView>(&window, "ChartView2")->grab();  // drawn: no label is cut to "…"
        QVERIFY(!axis()->labelsTruncated());
        for (int d = 0; d < 31; ++d) {
            const QString label = axis()->categoriesLabels().at(d);
            QCOMPARE(label, kMarch1.addDays(d).toString(QStringLiteral("MM-dd")));
            QCOMPARE(axis()->endValue(label), line()->at(d).x());
        }
        QCOMPARE(line()->at(4).y(), 1.0);  // 03-05: C6
        QVERIFY(axis()->min() < line()->at(0).x() && line()->at(30).x() < axis()->max());

        analyse(window, kMarch10, kMarch10, 0);
        QCOMPARE(line()->count(), 1);
        QCOMPARE(line()->at(0).y(), 2.0);
        QVERIFY(line()->pointsVisible());
        QCOMPARE(axis()->categoriesLabels(), QStringList{"03-10"});
        QVERIFY(axis()->min() < line()->at(0).x() && line()->at(0).x() < axis()->max());

        // 2026-01-01 is a Thursday: the labels are the ten Mondays from 01-05.
        const QDate newYear(2026, 1, 1);
        analyse(window, newYear, kMarch10, 0);
        QCOMPARE(axis()->count(), 10);
        for (const QString &label : axis()->categoriesLabels()) {
            const QDate day = newYear.addDays(qRound(axis()->endValue(label)));
            QCOMPARE(day.dayOfWeek(), 1);
            QCOMPARE(label, day.toString(QStringLiteral("MM-dd")));
        }
        analyse(window, QDate(2025, 3, 11), kMarch10, 0);
        QCOMPARE(axis()->categoriesLabels().first(), QStringLiteral("2025-04"));
        QCOMPARE(axis()->categoriesLabels().last(), QStringLiteral("2026-03"));
        QCOMPARE(axis()->endValue(QStringLiteral("2026-03")), double(QDate(2025, 3, 11).daysTo(kMarch1)));
    }
};

TAVIMOR_TEST(AnalysisTest)
#include "AnalysisTest.moc"

// Every list of the program, through its real window and against its bare queries in the same
// process, on both large generated databases; one table:
//   bench_lists [runs] [base|years|both] [part of a list's name]
// base: 100,000 complaints of department "2"; years: ten years, 1,000,000 complaints, of which
// department "2" holds 100,000. For every list: the rows shown, the window's time (query, cells,
// widths, colours, drawing), the bare queries' time (the same statements read to the end, every
// value fetched), the ratio, the process's growth when the list is first filled, and the limit.
// Bare and window runs alternate, so that the load of the machine falls on both alike; ratios and
// limits are judged on the process's processor time (on a shared machine the wall clock measures
// the neighbours), the wall clock is printed beside it.
// Build it without sanitizers (RelWithDebInfo).
#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "BenchDatabase.h"
#include "BenchSupport.h"
#include "common/Clock.h"
#include "common/FlexGrid.h"
#include "common/Session.h"
#include "followup/FollowUpStore.h"
#include "followup/FollowUpWindow.h"
#include "handling/HandlingStore.h"
#include "handling/HandlingWindow.h"
#include "intake/ComplaintStore.h"
#include "intake/HouseholdHistory.h"
#include "intake/HouseholdPanel.h"
#include "intake/PropertyRegister.h"
#include "intake/ReceptionWindow.h"
#include "routing/AcceptanceStore.h"
#include "routing/AcceptanceWindow.h"
#include "stats/AnalysisStore.h"
#include "stats/AnalysisWindow.h"
#include "stats/StatisticsStore.h"
#include "stats/StatisticsWindow.h"

using namespace BenchSupport;

namespace {

// A statement read to the end with every value fetched, as a window reads it.
void readAll(const QString &sql, const QVariantList &params)
{
    qint64 cells = 0;
    gConn.scan(sql, params, [&](const ScanRow &q) {
        const int columns = q.columnCount();
        for (int c = 0; c < columns; ++c)
            if (!q.value(c).isNull()) ++cells;
    });
    if (cells < 0) std::printf("?\n");
}

struct Case {
    const char *name;
    double limitMs;                // on this profile; 0: none
    std::function<void()> bare;    // the bare queries
    std::function<void()> window;  // the window filling its list(s)
    std::function<int()> rows;     // the rows the window shows
};

struct Line {
    QString name;
    int rows = 0;
    Times window, bare;
    double growth = 0, limit = 0;
};

std::vector<Line> gLines;
QString gOnly;  // when set, only the lists whose name contains it

void run(int runs, const Case &c)
{
    if (!gOnly.isEmpty() && !QString::fromUtf8(c.name).contains(gOnly)) return;
    Line line;
    line.name = QString::fromUtf8(c.name);
    line.limit = c.limitMs;
    const double before = processMb("VmRSS:");
    c.window();
    QApplication::processEvents();
    line.growth = processMb("VmRSS:") - before;
    // Short lists run more often (up to a third of a second each way), so that the machine's
    // other work cannot decide their median.
    std::vector<double> bare, window, bareCpu, windowCpu;
    double spent = 0;
    for (int i = 0; i < runs || (spent < 300 && i < 300); ++i) {
        const Times b = timeOf(c.bare);
        const Times w = timeOf(c.window);
        bare.push_back(b.wall);
        bareCpu.push_back(b.cpu);
        window.push_back(w.wall);
        windowCpu.push_back(w.cpu);
        spent += w.wall;
        // Drawing the window is Qt's and the same for any list: it is left out of the time.
        QApplication::processEvents();
    }
    line.bare = {median(bare), median(bareCpu)};
    line.window = {median(window), median(windowCpu)};
    line.rows = c.rows();
    gLines.push_back(line);
    std::fprintf(stderr, "  %s: %.1f ms\n", c.name, line.window.wall);
}

int rowsOf(QWidget *window, const char *grid) { return control<FlexGrid>(window, grid)->grid()->rowCount(); }

template <typename W>
std::unique_ptr<W> shown(int width, int height)
{
    auto window = std::make_unique<W>();
    window->resize(width, height);
    window->show();
    QApplication::processEvents();
    return window;
}

void registerCases(int runs, bool years)
{
    auto window = shown<ReceptionWindow>(1280, 800);
    ComplaintStore store(gConn);
    auto *month = control<QRadioButton>(window.get(), "Option1(0)");
    auto *range = control<QRadioButton>(window.get(), "Option1(1)");
    auto *byName = control<QRadioButton>(window.get(), "Option1(3)");
    auto *name = control<QLineEdit>(window.get(), "Text2");
    const auto load = [&] { window->LoadComplaintList(); };
    const auto bareOf = [&](const RegisterQuery &query) {
        return [&store, query] {
            QVariantList params;
            const QString sql = store.registerSql(gDeptCode, query, &params);
            readAll(sql, params);
        };
    };
    const auto rows = [&] { return rowsOf(window.get(), "MSFlexGrid1"); };
    // Every run starts from an empty register, so that the growth is the list's own.
    const auto empty = [&] {
        byName->setChecked(true);
        name->setText(QStringLiteral("无此投诉人"));
        load();
    };

    RegisterQuery monthQuery;
    monthQuery.kind = RegisterQuery::CurrentMonth;
    empty();
    month->setChecked(true);
    run(runs, {"register: this month and open", years ? 150.0 : 0.0, bareOf(monthQuery), load, rows});

    RegisterQuery nameQuery;
    nameQuery.kind = RegisterQuery::Complainant;
    nameQuery.complainant = QStringLiteral("业主123");
    empty();
    name->setText(nameQuery.complainant);
    run(runs, {"register: complainant 业主123", years ? 300.0 : 0.0, bareOf(nameQuery), load, rows});

    RegisterQuery allQuery;
    allQuery.kind = RegisterQuery::Range;
    allQuery.from = QDate(2000, 1, 1);
    allQuery.to = Clock::today();
    empty();
    range->setChecked(true);
    control<QDateEdit>(window.get(), "DTPicker1(0)")->setDate(allQuery.from);
    control<QDateEdit>(window.get(), "DTPicker1(1)")->setDate(allQuery.to);
    run(runs, {"register: the whole department", 0, bareOf(allQuery), load, rows});
}

// The household at reception: a household's history in the frame 本户投诉记录, by room and by the
// telephone of a typed address, and the lookup of householders by telephone (Command10, List2).
void householdCases(int runs)
{
    BenchDatabase::login(BenchDatabase::receptionist());
    auto window = shown<ReceptionWindow>(1280, 800);
    auto *panel = window->findChild<HouseholdPanel *>();
    const QString dept = gDeptCode;
    // A household of the department that complained lately; the telephone of the latest typed
    // address (of any department: the history is the household's, wherever it complained); and a
    // householder of the department (not a round number) whose telephone is stored as it is typed.
    const qint64 room = gConn
                            .scalar(QStringLiteral("SELECT S_ID FROM 投诉信息 WHERE 部门编号 = ? AND S_ID > 0"
                                                   " ORDER BY 投诉时间 DESC LIMIT 1"),
                                    {dept})
                            .toLongLong();
    const QString typedPhone =
        gConn.scalar(QStringLiteral("SELECT 联系电话 FROM 投诉信息 WHERE S_ID IS NULL ORDER BY 投诉时间 DESC LIMIT 1"))
            .toString();
    const QString ownerPhone =
        gConn
            .scalar(QStringLiteral("SELECT 业主表.联系方式 FROM 业主表 INNER JOIN 室表 ON 业主表.S_ID = 室表.S_ID"
                                   " INNER JOIN 楼表 ON 楼表.L_ID = 室表.L_ID"
                                   " INNER JOIN 设置管理处 ON 设置管理处.GYD_DH = 楼表.管理处"
                                   " WHERE 设置管理处.对应部门代号 = ? AND 业主表.说明 = '新进户'"
                                   " AND 业主表.联系方式 NOT LIKE '% %' AND 业主表.联系方式 NOT LIKE '%-%'"
                                   " ORDER BY 业主表.ZH_ID DESC LIMIT 1 OFFSET 1234"),
                    {dept})
            .toString();
    const auto historyCase = [&](const char *name, const Household &household) {
        run(runs, {name, 50.0,
                   [household] {
                       QVariantList params;
                       readAll(HouseholdHistory::listSql(household, QString(), &params), params);
                   },
                   [panel, household] { panel->showHousehold(household, QString()); },
                   [&] { return rowsOf(window.get(), "MSFlexGrid2"); }});
    };
    historyCase("history: a room's complaints", Household{room, QString()});
    historyCase("history: a typed address's telephone", Household{0, typedPhone});

    auto *telephone = control<QLineEdit>(window.get(), "Text1(3)");
    auto *lookup = control<QPushButton>(window.get(), "Command10");
    auto *list = control<QListWidget>(window.get(), "List2");
    const PropertyRegister property(gConn);
    const auto lookupCase = [&](const char *name, const QString &digits) {
        run(runs, {name, 50.0,
                   [&property, dept, digits] {
                       readAll(property.telephoneLookupSql(), PropertyRegister::telephoneLookupParams(dept, digits));
                   },
                   [telephone, lookup, digits] {
                       telephone->setText(digits);
                       lookup->click();
                   },
                   [list] { return list->count(); }});
    };
    lookupCase("lookup: a whole telephone number", ownerPhone);
    lookupCase("lookup: its last four digits", ownerPhone.right(4));
}

void routingCases(int runs, bool years)
{
    BenchDatabase::login(BenchDatabase::acceptor());
    {
        auto window = shown<AcceptanceWindow>(1100, 760);
        const QString dept = gDeptCode, post = gPostCode;
        run(runs, {"acceptance: both lists", years ? 150.0 : 0.0,
                   [&] {
                       const QDateTime now = Clock::now();
                       readAll(AcceptanceStore::pendingSql(), AcceptanceStore::pendingParams(dept, post, now));
                       readAll(AcceptanceStore::inProgressSql(gConn.dialect()),
                               AcceptanceStore::inProgressParams(dept, post, now));
                   },
                   [&] { window->refresh(); },
                   [&] { return rowsOf(window.get(), "ListView1") + rowsOf(window.get(), "ListView2"); }});
    }
    BenchDatabase::login(BenchDatabase::handler());
    {
        auto window = shown<HandlingWindow>(1100, 760);
        const QString dept = gDeptCode, post = gPostCode;
        run(runs, {"handling", years ? 150.0 : 0.0,
                   [&] { readAll(HandlingStore::openStepsSql(), HandlingStore::openStepsParams(dept, post)); },
                   [&] { window->refresh(); }, [&] { return rowsOf(window.get(), "ListView1"); }});
    }
}

void statisticsCases(int runs, bool years)
{
    BenchDatabase::login(BenchDatabase::receptionist());
    const QDate today = Clock::today();
    {
        auto window = shown<StatisticsWindow>(1200, 800);
        const StatisticsQuery query{gDeptCode, years ? today.addYears(-1).addDays(1) : QDate(2000, 1, 1), today,
                                    StatusFilter::All};
        control<QDateEdit>(window.get(), "DTPicker1")->setDate(query.from);
        control<QDateEdit>(window.get(), "DTPicker2")->setDate(query.to);
        auto *button = control<QPushButton>(window.get(), "Command1");
        run(runs, {years ? "statistics: one year" : "statistics: the whole department", years ? 1000.0 : 0.0,
                   [&] {
                       QVariantList params;
                       const QString sql = StatisticsStore::listSql(gConn.dialect(), query, &params);
                       readAll(sql, params);
                   },
                   [&] { button->click(); }, [&] { return rowsOf(window.get(), "MSFlexGrid1"); }});
    }
    {
        auto window = shown<FollowUpWindow>(1100, 760);
        const QString dept = gDeptCode;
        run(runs, {"follow-up: both lists", 0,
                   [&] {
                       readAll(FollowUpStore::awaitingSql(gConn.dialect()), FollowUpStore::awaitingParams(dept));
                       readAll(FollowUpStore::visitedSql(gConn.dialect()),
                               FollowUpStore::visitedParams(dept, Clock::now()));
                   },
                   [&] { window->refresh(); },
                   [&] { return rowsOf(window.get(), "ListView1") + rowsOf(window.get(), "ListView2"); }});
    }
    {
        auto window = shown<AnalysisWindow>(1280, 800);
        const AnalysisScope scope{gDeptCode, today.addYears(-1).addDays(1), today, Clock::now()};
        control<QDateEdit>(window.get(), "DTPicker1")->setDate(scope.from);
        control<QDateEdit>(window.get(), "DTPicker2")->setDate(scope.to);
        control<QComboBox>(window.get(), "Combo1")->setCurrentIndex(int(AnalysisGrouping::Category));
        auto *button = control<QPushButton>(window.get(), "Command1");
        run(runs, {"analysis: one year by category", 0,
                   [&] {
                       readAll(AnalysisStore::groupsSql(gConn, AnalysisGrouping::Category, false),
                               AnalysisStore::groupsParams(scope));
                       readAll(AnalysisStore::perDaySql(gConn, false), AnalysisStore::periodParams(scope));
                       readAll(AnalysisStore::backlogSql(gConn, false), AnalysisStore::backlogParams(scope));
                       readAll(AnalysisStore::satisfactionSql(gConn, false), AnalysisStore::periodParams(scope));
                   },
                   [&] { button->click(); }, [&] { return rowsOf(window.get(), "MSFlexGrid1"); }});
    }
}

void profile(int runs, const char *name, const BenchDatabase::Sizes &sizes)
{
    const QString file = openDatabase(sizes);
    BenchDatabase::login(BenchDatabase::receptionist());
    const bool years = std::strcmp(name, "years") == 0;
    gLines.clear();
    registerCases(runs, years);
    householdCases(runs);
    routingCases(runs, years);
    statisticsCases(runs, years);
    gConn.close();

    std::printf("\n%s profile: %s\n", name, qPrintable(file));
    std::printf("%-38s %7s %9s %9s %6s %9s %9s %6s %7s  %s\n", "list", "rows", "window ms", "bare ms", "ratio",
                "window cpu", "bare cpu", "ratio", "memory", "judged on the processor time");
    for (const Line &l : gLines) {
        const auto ratioOf = [](double window, double bare) { return bare > 0 ? window / bare : 0; };
        const double ratio = ratioOf(l.window.cpu, l.bare.cpu);
        const bool fast = l.limit <= 0 || l.window.cpu <= l.limit;
        const QByteArray padded = l.name.leftJustified(38 - (l.name.toUtf8().size() - l.name.size()) / 2).toUtf8();
        std::printf("%s %7d %9.1f %9.1f %6.2f %10.1f %9.1f %6.2f %4.1f MB  %s%s%s\n", padded.constData(), l.rows,
                    l.window.wall, l.bare.wall, ratioOf(l.window.wall, l.bare.wall), l.window.cpu, l.bare.cpu, ratio,
                    l.growth, l.limit > 0 ? qPrintable(QStringLiteral("%1 ms, ").arg(l.limit)) : "",
                    ratio <= 1.5 ? "ratio ok" : "RATIO TOO HIGH", fast ? "" : ", TOO SLOW");
    }
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char **argv)
{
    Bench bench(argc, argv);
    const int runs = Bench::runs(argc, argv, 7, 3);
    const char *which = argc > 2 ? argv[2] : "both";
    if (argc > 3) gOnly = QString::fromUtf8(argv[3]);
    if (std::strcmp(which, "years") != 0) profile(runs, "base", BenchDatabase::Sizes());
    if (std::strcmp(which, "base") != 0) profile(runs, "years", BenchDatabase::years());
    std::printf(
        "median of %d runs each at least (short lists until a third of a second); memory: the growth of the "
        "process when the list is first filled\n",
        runs);
    return 0;
}

// Times "分析" of the analysis window against its bare aggregate queries:
//   bench_analysis [runs] [base|years]
// Times are wall clock and processor time; the ratio and the limit are judged on the latter, which
// a busy machine does not inflate.
// base: 100,000 complaints of department "2" (this month, and every one of them); years: ten
// years of 1,000,000 complaints with department "2"'s 100,000 (one year, and all ten).
#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QPushButton>
#include <cstdio>
#include <cstring>

#include "BenchDatabase.h"
#include "BenchSupport.h"
#include "common/Clock.h"
#include "common/FlexGrid.h"
#include "common/Session.h"
#include "stats/AnalysisStore.h"
#include "stats/AnalysisWindow.h"

using namespace BenchSupport;

namespace {

// The four statements of one analysis, read to the end.
void bareQueries(const AnalysisScope &scope, AnalysisGrouping grouping)
{
    const bool all = scope.deptCode.isEmpty();
    gConn.select(AnalysisStore::groupsSql(gConn, grouping, all), AnalysisStore::groupsParams(scope));
    gConn.select(AnalysisStore::perDaySql(gConn, all), AnalysisStore::periodParams(scope));
    gConn.select(AnalysisStore::backlogSql(gConn, all), AnalysisStore::backlogParams(scope));
    gConn.select(AnalysisStore::satisfactionSql(gConn, all), AnalysisStore::periodParams(scope));
}

void measure(int runs, const char *what, const QDate &from, const QDate &to, int grouping, double limit)
{
    AnalysisWindow window;
    window.resize(1280, 800);
    window.show();
    control<QDateEdit>(&window, "DTPicker1")->setDate(from);
    control<QDateEdit>(&window, "DTPicker2")->setDate(to);
    control<QComboBox>(&window, "Combo1")->setCurrentIndex(grouping);
    auto *button = control<QPushButton>(&window, "Command1");
    const AnalysisScope scope{gDeptCode, from, to, Clock::now()};
    const Times bare = medianTimes(runs, [&](int) { bareQueries(scope, AnalysisGrouping(grouping)); });
    const Times full = medianTimes(runs, [&](int) {
        button->click();
        QApplication::processEvents();  // the charts draw
    });
    const QString total = control<FlexGrid>(&window, "MSFlexGrid1")
                              ->grid()
                              ->rowTexts(control<FlexGrid>(&window, "MSFlexGrid1")->grid()->rowCount() - 1)
                              .value(1);
    std::printf(
        "%-34s %7s complaints  分析 %7.1f ms (cpu %7.1f)  bare %7.1f ms (cpu %7.1f)  %.2f x  (limit %.0f ms) %s\n",
        what, qPrintable(total), full.wall, full.cpu, bare.wall, bare.cpu, bare.cpu > 0 ? full.cpu / bare.cpu : 0,
        limit, full.cpu <= limit ? "ok" : "TOO SLOW");
}

}  // namespace

int main(int argc, char **argv)
{
    Bench bench(argc, argv);
    const int runs = Bench::runs(argc, argv, 7, 3);
    const char *which = argc > 2 ? argv[2] : "both";
    const QDate today = Clock::today();
    const QDate monthStart(today.year(), today.month(), 1);

    if (std::strcmp(which, "years") != 0) {
        openDatabase();
        BenchDatabase::login(BenchDatabase::receptionist());
        measure(runs, "base: this month, by category", monthStart, today, 0, 300);
        measure(runs, "base: every complaint, by category", today.addYears(-4), today, 0, 300);
        measure(runs, "base: every complaint, by month", today.addYears(-4), today, 3, 300);
        gConn.close();
    }
    if (std::strcmp(which, "base") != 0) {
        openDatabase(BenchDatabase::years());
        BenchDatabase::login(BenchDatabase::receptionist());
        measure(runs, "years: this month, by category", monthStart, today, 0, 1500);
        measure(runs, "years: last year, by office", today.addYears(-1), today, 2, 1500);
        measure(runs, "years: all ten years, by category", today.addYears(-11), today, 0, 1500);
    }
    return 0;
}

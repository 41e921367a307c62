// Times the follow-up window on a large generated database:
//   bench_followup [runs] [years]
// By default 100,000 complaints of one department, a third of them finished and half of those
// visited; with "years" the ten-year database (department "2" holds 100,000 of 1,000,000).
// Refreshing both lists against their bare queries read to the end, and recording visits, in the
// store alone and through the window. Visits go to a copy of the database. Times are wall clock
// and processor time; limits and the ratio are judged on the latter, which a busy machine does not
// inflate.
#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <cstdio>
#include <cstring>

#include "BenchDatabase.h"
#include "BenchSupport.h"
#include "common/Clock.h"
#include "common/FlexGrid.h"
#include "common/Session.h"
#include "followup/FollowUpStore.h"
#include "followup/FollowUpWindow.h"

using namespace BenchSupport;

namespace {

void report(const char *what, const Times &t, double limit)
{
    std::printf("%-40s median %8.2f ms (cpu %8.2f)  (limit %.0f ms) %s\n", what, t.wall, t.cpu, limit,
                t.cpu <= limit ? "ok" : "TOO SLOW");
}

}  // namespace

int main(int argc, char **argv)
{
    Bench bench(argc, argv);
    const int runs = Bench::runs(argc, argv, 9, 3);
    const bool years = argc > 2 && std::strcmp(argv[2], "years") == 0;

    QTemporaryDir dir;
    openDatabase(years ? BenchDatabase::years() : BenchDatabase::followUp(), dir.path());
    BenchDatabase::login(BenchDatabase::receptionist());

    FollowUpWindow window;
    window.resize(1100, 760);
    const QDateTime now = Clock::now();
    const Times bare = medianTimes(runs, [&](int) {
        gConn.select(FollowUpStore::awaitingSql(gConn.dialect()), FollowUpStore::awaitingParams(gDeptCode));
        gConn.select(FollowUpStore::visitedSql(gConn.dialect()), FollowUpStore::visitedParams(gDeptCode, now));
    });
    const Times refresh = medianTimes(runs, [&](int) { window.refresh(); });
    auto *awaiting = control<FlexGrid>(&window, "ListView1");
    auto *visited = control<FlexGrid>(&window, "ListView2");
    std::printf("lists: %d waiting for a visit, %d visited in 30 days\n", awaiting->grid()->rowCount(),
                visited->grid()->rowCount());
    report("bare queries of both lists", bare, 150);
    report("refresh (Command5)", refresh, 150);
    const double r = bare.cpu > 0 ? refresh.cpu / bare.cpu : 0;
    std::printf("%-44s %.2f x the bare queries (limit 2 x) %s\n", "refresh", r, r <= 2 ? "ok" : "TOO SLOW");

    // Visits of the complaints waiting longest: first the statement alone, then through the window.
    FollowUpStore store(gConn);
    const Times stored = medianTimes(runs, [&](int i) {
        store.visit(awaiting->grid()->text(i, FollowUpWindow::ACode), gUserName, QStringLiteral("满意"), Clock::now());
    });
    report("a visit (the store's UPDATE)", stored, 20);
    auto *combo = control<QComboBox>(&window, "Combo1");
    auto *done = control<QPushButton>(&window, "Command1");
    window.refresh();
    const Times clicked = medianTimes(runs, [&](int) {
        awaiting->setCurrentRow(0);
        emit awaiting->rowChosen(0);
        combo->setCurrentIndex(1);
        done->click();
    });
    report("a visit through the window (Command1)", clicked, 150);
    return 0;
}

// Times the acceptance and the handling window on the large generated database:
//   bench_routing [runs]
// Refreshing each window (both lists and their texts) against its bare queries read to the end,
// and finishing and forwarding through the windows. Writes go to a copy of the database.
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

#include "BenchDatabase.h"
#include "BenchSupport.h"
#include "common/FlexGrid.h"
#include "common/Messages.h"
#include "common/Session.h"
#include "handling/HandlingStore.h"
#include "handling/HandlingWindow.h"
#include "routing/AcceptanceStore.h"
#include "routing/AcceptanceWindow.h"

using namespace BenchSupport;

namespace {

struct Figures {
    double median = 0;
    double worst = 0;
};

Figures measure(int runs, const std::function<void(int)> &work)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        work(i);
        times.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::sort(times.begin(), times.end());
    return {times[times.size() / 2], times.back()};
}

void report(const char *what, const Figures &f, double limit)
{
    std::printf("%-46s median %8.2f ms  worst %8.2f ms  (limit %.0f ms) %s\n", what, f.median, f.worst, limit,
                f.median <= limit ? "ok" : "TOO SLOW");
}

void ratio(const char *what, const Figures &window, const Figures &bare)
{
    const double r = bare.median > 0 ? window.median / bare.median : 0;
    std::printf("%-46s %.2f x the bare queries (limit 3 x) %s\n", what, r, r <= 3 ? "ok" : "TOO SLOW");
}

void click(FlexGrid *grid, int row)
{
    grid->setCurrentRow(row);
    emit grid->cellClicked(row, 1);
}

// Picks department 3 and its first post as the forwarding target.
void pickTarget(QWidget *window)
{
    auto *tree = control<QTreeWidget>(window, "TreeView1");
    QTreeWidgetItem *node = nullptr;
    for (QTreeWidgetItemIterator it(tree); *it; ++it)
        if ((*it)->data(0, Qt::UserRole).toString() == QStringLiteral("$3")) node = *it;
    tree->setCurrentItem(node);
    emit tree->itemClicked(node, 0);
    auto *posts = control<QListWidget>(window, "List1");
    emit posts->itemClicked(posts->item(0));
}

}  // namespace

int main(int argc, char **argv)
{
    Bench bench(argc, argv);
    const int runs = Bench::runs(argc, argv, 9, 3);

    QTemporaryDir dir;
    openDatabase(BenchDatabase::Sizes(), dir.path());

    // Acceptance ---------------------------------------------------------------------------------
    BenchDatabase::login(BenchDatabase::acceptor());
    {
        AcceptanceWindow window;
        window.resize(1100, 760);
        const QDateTime now = QDateTime::currentDateTime();
        const Figures bare = measure(runs, [&](int) {
            gConn.select(AcceptanceStore::pendingSql(), AcceptanceStore::pendingParams(gDeptCode, gPostCode, now));
            gConn.select(AcceptanceStore::inProgressSql(gConn.dialect()),
                         AcceptanceStore::inProgressParams(gDeptCode, gPostCode, now));
        });
        const Figures refresh = measure(runs, [&](int) { window.refresh(); });
        auto *pending = control<FlexGrid>(&window, "ListView1");
        auto *inProgress = control<FlexGrid>(&window, "ListView2");
        std::printf("acceptance lists: %d pending, %d in progress\n", pending->grid()->rowCount(),
                    inProgress->grid()->rowCount());
        report("acceptance bare queries", bare, 300);
        report("acceptance refresh (Command5)", refresh, 300);
        ratio("acceptance refresh", refresh, bare);

        auto *findings = control<QPlainTextEdit>(&window, "Text2");
        auto *opinion = control<QPlainTextEdit>(&window, "Text3");
        auto *reply = control<QPlainTextEdit>(&window, "Text4");
        report("acceptance finish pending (Command1)",
               measure(runs,
                       [&](int i) {
                           click(pending, i);
                           findings->setPlainText(QStringLiteral("已核实"));
                           reply->setPlainText(QStringLiteral("已处理完毕"));
                           window.finishComplaint();
                       }),
               50);
        report("acceptance forward pending (Command2)",
               measure(runs,
                       [&](int i) {
                           click(pending, i);
                           findings->setPlainText(QStringLiteral("已核实"));
                           opinion->setPlainText(QStringLiteral("请工程部处理"));
                           pickTarget(&window);
                           window.forwardComplaint();
                       }),
               50);
        report("acceptance finish in progress (Command1)",
               measure(runs,
                       [&](int i) {
                           click(inProgress, i);
                           findings->setPlainText(QStringLiteral("已核实"));
                           reply->setPlainText(QStringLiteral("已处理完毕"));
                           window.finishComplaint();
                       }),
               50);
    }

    // Handling -------------------------------------------------------------------------------------
    BenchDatabase::login(BenchDatabase::handler());
    {
        HandlingWindow window;
        window.resize(1100, 760);
        const Figures bare = measure(runs, [&](int) {
            gConn.select(HandlingStore::openStepsSql(), HandlingStore::openStepsParams(gDeptCode, gPostCode));
        });
        const Figures refresh = measure(runs, [&](int) { window.refresh(); });
        auto *list = control<FlexGrid>(&window, "ListView1");
        std::printf("handling list: %d open steps\n", list->grid()->rowCount());
        report("handling bare query", bare, 300);
        report("handling refresh (Command5)", refresh, 300);
        ratio("handling refresh", refresh, bare);

        auto *opinion = control<QPlainTextEdit>(&window, "Text3");
        report("handling finish step (Command1)",
               measure(runs,
                       [&](int i) {
                           click(list, i);
                           opinion->setPlainText(QStringLiteral("已安排维修"));
                           window.finishStep();
                       }),
               50);
        report("handling forward step (Command2)",
               measure(runs,
                       [&](int i) {
                           click(list, i);
                           opinion->setPlainText(QStringLiteral("请维修班处理"));
                           pickTarget(&window);
                           window.forwardStep();
                       }),
               50);
    }
    std::printf("messages shown: %d\n", bench.messages.count);
    gConn.close();
    return 0;
}

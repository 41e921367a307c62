// The household at reception on the generated database (100,000 complaints, 100,000 rooms with
// their current householders):
//   - the history and the repeat count of a household, by room and by telephone (the store);
//   - the telephone lookup among the householders, for a whole number and for four digits;
//   - both through the reception window: a lookup chosen from List2 fills the fields and the
//     history, and a register row shown fills the history.
// Each figure is the median of `runs` households picked at random, wall-clock and processor time.
// Judged by: at most 50 ms.
// Usage: bench_household [runs]   (build it without sanitizers: RelWithDebInfo)
#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <cstdio>
#include <ctime>
#include <random>
#include <vector>

#include "BenchDatabase.h"
#include "BenchSupport.h"
#include "common/Clock.h"
#include "common/FlexGrid.h"
#include "common/Session.h"
#include "intake/HouseholdHistory.h"
#include "intake/PropertyRegister.h"
#include "intake/ReceptionWindow.h"

using namespace BenchSupport;

namespace {

// Wall-clock and processor time of one step, in ms. On a shared machine the wall-clock time
// includes the waits for a processor; the processor time is what the step itself costs.
struct Timing {
    std::vector<double> wall, cpu;
};

double threadCpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

template <typename Work>
void timed(Timing &timing, Work &&work)
{
    QElapsedTimer timer;
    const double cpu = threadCpuMs();
    timer.start();
    work();
    timing.wall.push_back(timer.nsecsElapsed() / 1e6);
    timing.cpu.push_back(threadCpuMs() - cpu);
}

void report(const char *what, const Timing &timing)
{
    const double wall = median(timing.wall);
    const double cpu = median(timing.cpu);
    std::printf("%-62s wall %7.2f ms  cpu %7.2f ms  %s\n", what, wall, cpu, cpu <= 50.0 ? "ok" : "SLOWER THAN 50 ms");
}

}  // namespace

int main(int argc, char **argv)
{
    Bench bench(argc, argv);
    const int runs = Bench::runs(argc, argv, 50);

    openDatabase();
    BenchDatabase::login(BenchDatabase::receptionist());
    const int rooms = int(gConn.scalar(QStringLiteral("SELECT COUNT(*) FROM 室表")).toLongLong());
    const int owners =
        int(gConn.scalar(QStringLiteral("SELECT COUNT(*) FROM 业主表 WHERE 说明 = '新进户'")).toLongLong());
    const int complaints = int(gConn.scalar(QStringLiteral("SELECT COUNT(*) FROM 投诉信息")).toLongLong());
    std::printf("%d complaints, %d rooms, %d current householders, %d runs each\n", complaints, rooms, owners, runs);

    std::mt19937 random(16);
    const auto anyRoom = [&] { return qint64(1 + random() % unsigned(rooms)); };
    const auto phoneOf = [](qint64 n) { return QStringLiteral("138-%1").arg(n, 8, 10, QLatin1Char('0')); };
    HouseholdHistory history(gConn);
    PropertyRegister property(gConn);
    const QDateTime now = Clock::now();

    // Numbers stored without separators (four householders in five); four digits from their middle
    // match about one householder in a thousand.
    const auto plainOwner = [&] {
        qint64 n = anyRoom();
        while (n % 5 >= 3) n = anyRoom();
        return n;
    };
    const auto plainPhone = [](qint64 n) { return QStringLiteral("138%1").arg(n, 8, 10, QLatin1Char('0')); };
    Timing byRoom, byPhone, lookupWhole, lookupFour;
    int seen = 0, matched = 0, listed = 0;
    for (int i = 0; i < runs; ++i) {
        const qint64 room = anyRoom();
        timed(byRoom, [&] {
            const HouseholdComplaints found = history.read(Household{room, QString()}, now);
            seen += found.entries.size() + found.recent;
        });
        const qint64 other = anyRoom();
        timed(byPhone, [&] {
            const HouseholdComplaints found = history.read(Household{0, phoneOf(other)}, now);
            seen += found.entries.size() + found.recent;
        });
        const QString whole = plainPhone(plainOwner());
        timed(lookupWhole, [&] { matched += property.householdersByTelephone(gDeptCode, whole, 100).size(); });
        const QString four = plainPhone(plainOwner()).mid(6, 4);
        timed(lookupFour, [&] { listed += property.householdersByTelephone(gDeptCode, four, 100).size(); });
    }
    std::printf("(%d history rows and counts, %d whole-number matches, %d four-digit matches)\n", seen, matched,
                listed);
    report("store: history + repeat count of a room", byRoom);
    report("store: history + repeat count of a telephone (typed address)", byPhone);
    report("store: lookup of a whole telephone number", lookupWhole);
    report("store: lookup of four digits", lookupFour);

    ReceptionWindow window;
    window.resize(1280, 800);
    window.show();
    QApplication::processEvents();
    auto *telephone = control<QLineEdit>(&window, "Text1(3)");
    auto *lookup = control<QPushButton>(&window, "Command10");
    auto *list = control<QListWidget>(&window, "List2");
    auto *historyGrid = control<FlexGrid>(&window, "MSFlexGrid2");
    auto *registerGrid = control<FlexGrid>(&window, "MSFlexGrid1");
    Timing lookupClick, chooseEntry, showRow;
    int historyRows = 0;
    for (int i = 0; i < runs; ++i) {
        telephone->setText(plainPhone(plainOwner()));
        timed(lookupClick, [&] {
            lookup->click();
            QApplication::processEvents();
        });
        if (list->count() == 0) continue;
        timed(chooseEntry, [&] {
            emit list->itemClicked(list->item(0));
            QApplication::processEvents();
        });
        historyRows += historyGrid->grid()->rowCount();
        const int rows = registerGrid->grid()->rowCount();
        if (rows == 0) continue;
        const int row = int(random() % unsigned(rows));
        timed(showRow, [&] {
            registerGrid->setCurrentRow(row);
            emit registerGrid->cellClicked(row, 1);
            QApplication::processEvents();
        });
    }
    std::printf("(%d history rows shown after the picks)\n", historyRows);
    report("window: Command10 lookup, List2 filled", lookupClick);
    report("window: entry chosen (fields, office, tree, history)", chooseEntry);
    report("window: register row shown (fields and history)", showRow);
    return 0;
}

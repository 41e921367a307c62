// The household at reception on the generated database (100,000 complaints, 100,000 rooms with
// their current householders):
//   - the history and the repeat count of a household, by room and by telephone (the store);
//   - the telephone lookup among the householders, for a whole number and for four digits;
//   - both through the reception window: a lookup chosen from List2 fills the fields and the
//     history, and a register row shown fills the history.
// Each figure is the median of `runs` households picked at random. Judged by: at most 50 ms.
// Usage: bench_household [runs]   (build it without sanitizers: RelWithDebInfo)
#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <cstdio>
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

template <typename Work>
double timed(Work &&work)
{
    QElapsedTimer timer;
    timer.start();
    work();
    return timer.nsecsElapsed() / 1e6;
}

void report(const char *what, std::vector<double> ms, const char *extra = "")
{
    const double m = median(ms);
    std::printf("%-58s %7.2f ms %s%s\n", what, m, m <= 50.0 ? "ok" : "SLOWER THAN 50 ms", extra);
}

}  // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int runs = argc > 1 ? qMax(1, atoi(argv[1])) : 50;
    PrintedMessages messages;

    QElapsedTimer timer;
    timer.start();
    const QString file = BenchDatabase::ensure();
    std::printf("database %s (%.1f s to make or find)\n", qPrintable(file), timer.elapsed() / 1000.0);
    gConn.openSqlite(file);
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

    std::vector<double> byRoom, byPhone, lookupWhole, lookupFour;
    int seen = 0, matched = 0, listed = 0;
    for (int i = 0; i < runs; ++i) {
        const qint64 room = anyRoom();
        byRoom.push_back(timed([&] {
            seen += history.list(Household{room, QString()}).size();
            seen += history.recentCount(Household{room, QString()}, now);
        }));
        const qint64 other = anyRoom();
        byPhone.push_back(timed([&] {
            seen += history.list(Household{0, phoneOf(other)}).size();
            seen += history.recentCount(Household{0, phoneOf(other)}, now);
        }));
        const qint64 owner = anyRoom();
        lookupWhole.push_back(timed([&] {
            matched += property.householdersByTelephone(gDeptCode, Household::digits(phoneOf(owner)), 100).size();
        }));
        // Four digits from the middle of a number match about one householder in a thousand.
        const QString four = Household::digits(phoneOf(anyRoom())).mid(6, 4);
        lookupFour.push_back(timed([&] { listed += property.householdersByTelephone(gDeptCode, four, 100).size(); }));
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
    app.processEvents();
    auto *telephone = control<QLineEdit>(&window, "Text1(3)");
    auto *lookup = control<QPushButton>(&window, "Command10");
    auto *list = control<QListWidget>(&window, "List2");
    auto *historyGrid = control<FlexGrid>(&window, "MSFlexGrid2");
    auto *registerGrid = control<FlexGrid>(&window, "MSFlexGrid1");
    std::vector<double> lookupClick, chooseEntry, showRow;
    int historyRows = 0;
    for (int i = 0; i < runs; ++i) {
        telephone->setText(phoneOf(anyRoom()));
        lookupClick.push_back(timed([&] {
            lookup->click();
            app.processEvents();
        }));
        if (list->count() == 0) continue;
        chooseEntry.push_back(timed([&] {
            emit list->itemClicked(list->item(0));
            app.processEvents();
        }));
        historyRows += historyGrid->grid()->rowCount();
        const int rows = registerGrid->grid()->rowCount();
        if (rows == 0) continue;
        const int row = int(random() % unsigned(rows));
        showRow.push_back(timed([&] {
            registerGrid->setCurrentRow(row);
            emit registerGrid->cellClicked(row, 1);
            app.processEvents();
        }));
    }
    std::printf("(%d history rows shown after the picks)\n", historyRows);
    report("window: Command10 lookup, List2 filled", lookupClick);
    report("window: entry chosen (fields, office, tree, history)", chooseEntry);
    report("window: register row shown (fields and history)", showRow);
    return messages.count == 0 ? 0 : 1;
}

// Reception on the generated database with 100,000 complaints of the receptionist's department:
//   - opening the register (query, fill, colours, column widths) against the bare query loop
//     that reads the same columns, both timed in this run;
//   - saving a complaint through the window (median of 100);
//   - the memory the filled register takes.
// Usage: bench_reception [runs]   (build it without sanitizers: RelWithDebInfo)
#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "BenchDatabase.h"
#include "BenchSupport.h"
#include "common/FlexGrid.h"
#include "common/Messages.h"
#include "common/Session.h"
#include "intake/ComplaintStore.h"
#include "intake/ReceptionWindow.h"

using namespace BenchSupport;

int main(int argc, char **argv)
{
    Bench bench(argc, argv);
    const int runs = Bench::runs(argc, argv, 5);

    // The saves write: they go to a copy, so other benchmarks keep the database they expect.
    QTemporaryDir dir;
    openDatabase(BenchDatabase::Sizes(), dir.path());
    BenchDatabase::login(BenchDatabase::receptionist());

    QElapsedTimer timer;
    timer.start();
    ReceptionWindow window;
    window.resize(1280, 800);
    window.show();
    QApplication::processEvents();
    const double openMs = timer.nsecsElapsed() / 1e6;
    FlexGrid *grid = control<FlexGrid>(&window, "MSFlexGrid1");
    std::printf("window opened with the current month: %.1f ms, %d rows\n", openMs, grid->grid()->rowCount());

    // The whole register: every complaint since long before the first one.
    control<QRadioButton>(&window, "Option1(3)")->setChecked(true);
    control<QLineEdit>(&window, "Text2")->setText(QStringLiteral("无此投诉人"));
    window.LoadComplaintList();
    QApplication::processEvents();
    control<QRadioButton>(&window, "Option1(1)")->setChecked(true);
    control<QDateEdit>(&window, "DTPicker1(0)")->setDate(QDate(2000, 1, 1));
    control<QDateEdit>(&window, "DTPicker1(1)")->setDate(QDate::currentDate());

    const double before = processMb("VmRSS:");
    window.LoadComplaintList();
    QApplication::processEvents();
    const double after = processMb("VmRSS:");
    const int rows = grid->grid()->rowCount();

    RegisterQuery query;
    query.kind = RegisterQuery::Range;
    query.from = QDate(2000, 1, 1);
    query.to = QDate::currentDate();
    ComplaintStore store(gConn);
    QVariantList params;
    const QString sql = store.registerSql(gDeptCode, query, &params);

    std::vector<double> bare, fill;
    for (int run = 0; run < runs; ++run) {
        timer.restart();
        qint64 cells = 0;
        gConn.scan(sql, params, [&](const ScanRow &q) {
            for (int c = 0; c < 15; ++c)
                if (!q.value(c).isNull()) ++cells;
        });
        bare.push_back(timer.nsecsElapsed() / 1e6);
        if (cells == 0) std::printf("no cells read\n");

        timer.restart();
        window.LoadComplaintList();
        fill.push_back(timer.nsecsElapsed() / 1e6);
        QApplication::processEvents();
    }
    const double bareMs = median(bare);
    const double fillMs = median(fill);
    std::printf("register rows:          %d\n", rows);
    std::printf("bare query loop:        %.1f ms (median of %d)\n", bareMs, runs);
    std::printf("open the register:      %.1f ms (median of %d; limit 1000 ms)\n", fillMs, runs);
    std::printf("ratio register / bare:  %.2f (limit 3)\n", fillMs / bareMs);
    std::printf("memory of the register: %.1f MB (limit 150 MB)\n", after - before);

    // Saving through the window, with the full register shown.
    std::vector<double> saves, inserts;
    auto *newButton = control<QPushButton>(&window, "Command3");
    for (int i = 0; i < 100; ++i) {
        newButton->click();
        control<QLineEdit>(&window, "Text1(1)")->setText(QStringLiteral("业主%1").arg(i));
        control<QLineEdit>(&window, "Text1(2)")->setText(QStringLiteral("管理处1 %1幢101室").arg(i));
        control<QPlainTextEdit>(&window, "Text1(4)")->setPlainText(QStringLiteral("楼上漏水，已多次联系未果。"));
        control<QComboBox>(&window, "Combo4")->setCurrentIndex(0);
        control<QComboBox>(&window, "Combo5")->setCurrentIndex(0);
        timer.restart();
        window.SaveData();
        saves.push_back(timer.nsecsElapsed() / 1e6);
        QApplication::processEvents();
    }
    for (int i = 0; i < 100; ++i) {
        ComplaintInput input;
        input.complainant = QStringLiteral("业主");
        input.content = QStringLiteral("楼上漏水");
        input.deptCode = gDeptCode;
        input.deptName = gDeptName;
        timer.restart();
        store.insert(input);
        inserts.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::printf("save through the window: %.2f ms (median of 100; limit 20 ms), rows now %d\n", median(saves),
                grid->grid()->rowCount());
    std::printf("store insert alone:      %.2f ms (median of 100)\n", median(inserts));

    gConn.close();
    std::printf("messages shown: %d\n", bench.messages.count);
    return 0;
}

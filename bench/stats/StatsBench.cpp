// The statistics window on the generated database with 100,000 complaints of the receptionist's
// department, the range covering all of them:
//   - the statistics query: the store filling a grid, and "统计" through the window (fill and
//     column widths), median of the runs;
//   - exporting the listed grid (100,000 rows x 9 columns) through To_Execl to a new workbook,
//     and again into the same sheet of that workbook: time, and the process's memory before an
//     export (VmRSS) and at its peak during the exports (VmHWM).
// Usage: bench_stats [runs] [folder]   (build it without sanitizers: RelWithDebInfo)
// With a folder, the last workbook is kept there as statistics.xlsx.
#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "BenchDatabase.h"
#include "BenchSupport.h"
#include "common/FlexGrid.h"
#include "common/Messages.h"
#include "common/Session.h"
#include "stats/ExportWindow.h"
#include "stats/StatisticsStore.h"
#include "stats/StatisticsWindow.h"

using namespace BenchSupport;

int main(int argc, char **argv)
{
    Bench bench(argc, argv);
    const int runs = Bench::runs(argc, argv, 5);

    openDatabase();
    BenchDatabase::login(BenchDatabase::receptionist());
    QElapsedTimer timer;
    const QDate from(2000, 1, 1);
    const QDate to = QDate::currentDate();

    StatisticsStore store(gConn);
    std::vector<double> bare;
    int lines = 0;
    for (int i = 0; i < runs; ++i) {
        GridModel grid;
        grid.setFormatString(StatisticsStore::formatString(), QFont());
        timer.restart();
        lines = store.fill(grid, StatisticsQuery{gDeptCode, from, to, StatusFilter::All});
        bare.push_back(timer.nsecsElapsed() / 1e9);
    }
    std::printf("statistics query, store into a grid   %8.3f s  (%d lines, median of %d)\n", median(bare), lines, runs);

    StatisticsWindow window;
    window.resize(1200, 800);
    window.show();
    QApplication::processEvents();
    window.findChild<QDateEdit *>(QStringLiteral("DTPicker1"))->setDate(from);
    window.findChild<QDateEdit *>(QStringLiteral("DTPicker2"))->setDate(to);
    auto *query = window.findChild<QPushButton *>(QStringLiteral("Command1"));
    auto *grid = window.findChild<FlexGrid *>(QStringLiteral("MSFlexGrid1"));
    std::vector<double> shown;
    for (int i = 0; i < runs; ++i) {
        timer.restart();
        query->click();
        QApplication::processEvents();
        shown.push_back(timer.nsecsElapsed() / 1e9);
    }
    std::printf("statistics query, \"统计\" in the window %8.3f s  (%d lines, median of %d; limit 1 s)\n",
                median(shown), grid->grid()->rowCount(), runs);

    window.findChild<QPushButton *>(QStringLiteral("Command4"))->click();
    ExportWindow *exporter = window.exportWindow();
    QTemporaryDir dir;
    auto *pathBox = exporter->findChild<QLineEdit *>(QStringLiteral("Text1(0)"));
    const QString sheet =
        QStringLiteral("(2000-01-01至%1)投诉情况统计表").arg(to.toString(QStringLiteral("yyyy-MM-dd")));
    double residentBefore = 0, peakDuring = 0;
    // One export into `path`: its time; the memory is followed across all of them.
    auto exportTo = [&](const QString &path) {
        pathBox->setText(path);
        resetPeak();
        residentBefore = std::max(residentBefore, processMb("VmRSS:"));
        timer.restart();
        const bool ok = exporter->To_Execl(QStringLiteral("投诉情况统计表"), sheet);
        const double seconds = timer.nsecsElapsed() / 1e9;
        peakDuring = std::max(peakDuring, processMb("VmHWM:"));
        if (!ok) std::printf("export failed: %s\n", qPrintable(exporter->lastError()));
        return seconds;
    };
    const QString path = dir.filePath(QStringLiteral("statistics.xlsx"));
    std::vector<double> created, reused;
    for (int i = 0; i < runs; ++i) {
        QFile::remove(path);
        created.push_back(exportTo(path));
    }
    const double size = QFileInfo(path).size() / 1e6;
    for (int i = 0; i < runs; ++i) reused.push_back(exportTo(path));  // the sheet is cleared and written again
    std::printf(
        "export %d rows x %d columns, To_Execl, new workbook %8.3f s  (median of %d; limit 3 s; file %.1f MB)\n",
        grid->grid()->gridRowCount(), int(exporter->chosenColumns().size()), median(created), runs, size);
    std::printf("export into the same sheet of that workbook again  %8.3f s  (median of %d; limit 3 s)\n",
                median(reused), runs);
    std::printf("memory: resident before an export %.0f MB, peak during the exports %.0f MB (limit 300 MB)\n",
                residentBefore, peakDuring);
    if (argc > 2) {
        const QString kept = QDir(QString::fromLocal8Bit(argv[2])).filePath(QStringLiteral("statistics.xlsx"));
        QFile::remove(kept);
        QFile::copy(path, kept);
    }
    return 0;
}

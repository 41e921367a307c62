// Opens the statistics window on a fresh demo database, lists the last two months, clicks a line,
// opens the export window from it and writes what both look like to PNG files:
//   stats_shots [folder]   (default /tmp/shots-stats)
#include <QApplication>
#include <QDateEdit>
#include <QDir>
#include <QPushButton>
#include <QTemporaryDir>
#include <cstdio>

#include "common/FlexGrid.h"
#include "common/Session.h"
#include "data/Scripts.h"
#include "stats/ExportWindow.h"
#include "stats/StatisticsWindow.h"

namespace {

QString folder;

void save(QWidget *widget, const QString &name)
{
    const QString file = folder + QLatin1Char('/') + name;
    widget->grab().save(file);
    std::printf("%s\n", qPrintable(file));
}

}  // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("/tmp/shots-stats");
    QDir().mkpath(folder);
    QTemporaryDir dir;
    const QString file = dir.path() + QStringLiteral("/demo.sqlite");
    Scripts::createSqliteDatabase(file, true);
    gConn.openSqlite(file);

    Session::clearForLogin();
    gUserID = QStringLiteral("1001");
    gUserName = QStringLiteral("张晓燕");
    gDeptCode = QStringLiteral("5");
    gDeptName = QStringLiteral("翠苑物业服务中心");
    gPostCode = QStringLiteral("502");
    gPostName = QStringLiteral("前台接待员");

    StatisticsWindow window;
    window.resize(1180, 760);
    window.show();
    QApplication::processEvents();
    save(&window, QStringLiteral("statistics-loaded.png"));

    window.findChild<QDateEdit *>(QStringLiteral("DTPicker1"))->setDate(QDate::currentDate().addMonths(-2));
    window.findChild<QPushButton *>(QStringLiteral("Command1"))->click();
    auto *grid = window.findChild<FlexGrid *>(QStringLiteral("MSFlexGrid1"));
    grid->setCurrentRow(2);
    emit grid->cellClicked(2, 1);
    QApplication::processEvents();
    save(&window, QStringLiteral("statistics-listed.png"));

    window.findChild<QPushButton *>(QStringLiteral("Command4"))->click();
    QApplication::processEvents();
    ExportWindow *exporter = window.exportWindow();
    if (!exporter) qFatal("the export window did not open");
    exporter->dropColumn(5);
    QApplication::processEvents();
    save(exporter, QStringLiteral("export-window.png"));
    return 0;
}

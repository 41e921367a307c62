// Opens the category, channel and handler-assignment windows on a fresh demo database and writes
// what they look like to PNG files, the assignment window also with its drop-downs open:
//   setup_shots [folder]   (default /tmp/shots-setup)
#include <QApplication>
#include <QDir>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <cstdio>
#include <memory>

#include "common/FlexGrid.h"
#include "common/Session.h"
#include "data/Scripts.h"
#include "routing/RoutingWindows.h"
#include "setup/SetupWindows.h"

namespace {

QString folder;

void save(QWidget *widget, const QString &name) {
    QApplication::processEvents();
    const QString file = folder + QLatin1Char('/') + name;
    widget->grab().save(file);
    std::printf("%s\n", qPrintable(file));
}

template <typename T>
T *child(QWidget *window, const char *name) {
    return window->findChild<T *>(QString::fromUtf8(name));
}

}  // namespace

int main(int argc, char **argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("/tmp/shots-setup");
    QDir().mkpath(folder);
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("demo.sqlite"));
    Scripts::createSqliteDatabase(file, true);
    gConn.openSqlite(file);
    gUserID = QStringLiteral("1004");
    gUserName = QStringLiteral("刘德明");
    gDeptCode = QStringLiteral("1");
    gDeptName = QStringLiteral("总经理室");
    gPostCode = QStringLiteral("101");
    gPostName = QStringLiteral("总经理");

    {
        std::unique_ptr<QWidget> categories(createCategoryWindow());
        categories->show();
        child<QListWidget>(categories.get(), "List9")->setCurrentRow(2);
        save(categories.get(), QStringLiteral("categories.png"));
        std::unique_ptr<QWidget> channels(createChannelWindow());
        channels->show();
        save(channels.get(), QStringLiteral("channels.png"));
    }

    std::unique_ptr<QWidget> assignments(createAssignmentWindow());
    assignments->show();
    auto *offices = child<QTreeWidget>(assignments.get(), "TreeView1");
    QTreeWidgetItem *office = offices->topLevelItem(0)->child(2);  // 10 翠苑商业街, with an ended assignment
    offices->setCurrentItem(office);
    emit offices->itemClicked(office, 0);
    child<QAbstractButton>(assignments.get(), "Check1")->click();
    auto *grid = child<FlexGrid>(assignments.get(), "MSFlexGrid1");
    grid->setCurrentRow(1);  // the ended assignment of row 0 shows red
    emit grid->cellClicked(1, 1);
    save(assignments.get(), QStringLiteral("assignments.png"));

    child<QPushButton>(assignments.get(), "Command5")->click();
    auto *tree = child<QTreeWidget>(assignments.get(), "TreeView2");
    save(assignments.get(), QStringLiteral("assignments-departments.png"));
    const auto nodes = tree->findItems(QStringLiteral("5 "), Qt::MatchStartsWith | Qt::MatchRecursive);
    if (!nodes.isEmpty()) emit tree->itemClicked(nodes.first(), 0);
    child<QPushButton>(assignments.get(), "Command6")->click();
    save(assignments.get(), QStringLiteral("assignments-posts.png"));
    assignments.reset();
    gConn.close();
    return 0;
}

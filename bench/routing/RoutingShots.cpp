// Opens the acceptance window, the handling window and the review comments on a fresh demo
// database, selects a complaint in each and writes what they look like to PNG files:
//   routing_shots [folder]   (default /tmp/shots-route)
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <cstdio>

#include "common/FlexGrid.h"
#include "common/MainArea.h"
#include "common/Session.h"
#include "common/Twips.h"
#include "data/Scripts.h"
#include "handling/HandlingWindow.h"
#include "routing/AcceptanceWindow.h"

namespace {

QString folder;
QString dialogShot;

void login(const QString &id, const QString &name, const QString &dept, const QString &deptName, const QString &post,
           const QString &postName)
{
    Session::clearForLogin();
    gUserID = id;
    gUserName = name;
    gDeptCode = dept;
    gDeptName = deptName;
    gPostCode = post;
    gPostName = postName;
}

void save(QWidget *widget, const QString &name)
{
    const QString file = folder + QLatin1Char('/') + name;
    widget->grab().save(file);
    std::printf("%s\n", qPrintable(file));
}

int shootDialog(QDialog *dialog)
{
    dialog->show();
    auto *list = dialog->findChild<QListWidget *>(QStringLiteral("List1"));
    if (list && list->count() > 1) list->setCurrentRow(1);
    QApplication::processEvents();
    save(dialog, dialogShot);
    return QDialog::Accepted;
}

void clickRow(FlexGrid *grid, int row)
{
    grid->setCurrentRow(row);
    emit grid->cellClicked(row, 1);
}

}  // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("/tmp/shots-route");
    QDir().mkpath(folder);
    QTemporaryDir dir;
    const QString file = dir.path() + QStringLiteral("/demo.sqlite");
    Scripts::createSqliteDatabase(file, true);
    gConn.openSqlite(file);
    MainArea::setModalRunner(&shootDialog);

    login(QStringLiteral("1002"), QStringLiteral("李建国"), QStringLiteral("5"), QStringLiteral("翠苑物业服务中心"),
          QStringLiteral("501"), QStringLiteral("服务中心主任"));
    {
        AcceptanceWindow window;
        window.resize(1100, 760);
        window.show();
        QApplication::processEvents();
        clickRow(window.findChild<FlexGrid *>(QStringLiteral("ListView1")), 0);
        auto *tree = window.findChild<QTreeWidget *>(QStringLiteral("TreeView1"));
        tree->expandAll();
        QApplication::processEvents();
        save(&window, QStringLiteral("acceptance-pending.png"));
        clickRow(window.findChild<FlexGrid *>(QStringLiteral("ListView2")), 2);
        QApplication::processEvents();
        save(&window, QStringLiteral("acceptance-in-progress.png"));
        dialogShot = QStringLiteral("review-comments.png");
        window.showReviewComments();
        window.resize(Twips::toPixels(11295), Twips::toPixels(8475));
        QApplication::processEvents();
        save(&window, QStringLiteral("acceptance-design-size.png"));
    }
    login(QStringLiteral("1003"), QStringLiteral("王志强"), QStringLiteral("3"), QStringLiteral("工程维修部"),
          QStringLiteral("301"), QStringLiteral("工程部经理"));
    {
        HandlingWindow window;
        window.resize(1100, 760);
        window.show();
        QApplication::processEvents();
        clickRow(window.findChild<FlexGrid *>(QStringLiteral("ListView1")), 0);
        auto *tree = window.findChild<QTreeWidget *>(QStringLiteral("TreeView1"));
        tree->expandAll();
        QTreeWidgetItem *node =
            tree->findItems(QStringLiteral("3 工程维修部"), Qt::MatchExactly | Qt::MatchRecursive).value(0);
        if (node) {
            tree->setCurrentItem(node);
            emit tree->itemClicked(node, 0);
            auto *posts = window.findChild<QListWidget *>(QStringLiteral("List1"));
            if (posts->count() > 1) emit posts->itemClicked(posts->item(1));
        }
        window.findChild<QPlainTextEdit *>(QStringLiteral("Text3"))
            ->setPlainText(QStringLiteral("请维修主管安排人员上门查看。"));
        QApplication::processEvents();
        save(&window, QStringLiteral("handling.png"));
    }
    gConn.close();
    return 0;
}

// screenshots [folder]: logs in to the real program on a new demo database, offscreen, opens every
// window from the menu as its users would, and saves what the windows look like as PNG files
// (default folder: docs/screenshots), and the statistics export as LibreOffice shows it (soffice and
// pdftoppm). Run it again after any change to a window.
#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPlainTextEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QUrl>
#include <cstdio>

#include "common/DesktopHabits.h"
#include "common/FlexGrid.h"
#include "common/MainArea.h"
#include "common/Session.h"
#include "common/Settings.h"
#include "data/Scripts.h"
#include "sheet/ComplaintSheet.h"
#include "sheet/SheetStore.h"
#include "shell/LoginWindow.h"
#include "shell/MainWindow.h"
#include "stats/ExportWindow.h"
#include "stats/StatisticsWindow.h"

namespace {

QString folder;
QString workFolder;  // the demo database and the exported workbook
QString dialogPicture;

void save(QWidget *widget, const QString &name)
{
    QApplication::processEvents();
    const QString file = folder + QLatin1Char('/') + name + QStringLiteral(".png");
    if (widget->grab().save(file)) std::printf("%s\n", qPrintable(file));
    else std::fprintf(stderr, "could not write %s\n", qPrintable(file));
}

template <typename T>
T *child(QWidget *window, const char *name)
{
    T *found = window->findChild<T *>(QString::fromUtf8(name));
    if (!found) qFatal("no control %s in %s", name, qPrintable(window->objectName()));
    return found;
}

// Logs in through the login window's own controls, choosing the first post when there are several.
void logIn(LoginWindow *login, const QString &user)
{
    child<QLineEdit>(login, "TxtUser")->setText(user);
    child<QLineEdit>(login, "txtPassword")->setText(QStringLiteral("1234"));
    login->logIn();
    auto *list = child<QListWidget>(login, "List1");
    if (list->isVisible()) {
        list->setCurrentRow(0);
        login->chooseListedPost();
    }
}

// Switches the running main window to another user, as 注销 does.
void switchUser(MainWindow *main, const QString &user)
{
    static QString next;
    next = user;
    MainArea::setModalRunner([](QDialog *dialog) {
        logIn(qobject_cast<LoginWindow *>(dialog), next);
        return int(QDialog::Accepted);
    });
    main->logout();
    MainArea::setModalRunner(nullptr);
}

// Modal windows are photographed instead of waiting for a user.
int photographDialog(QDialog *dialog)
{
    dialog->show();
    auto *list = dialog->findChild<QListWidget *>(QStringLiteral("List1"));
    if (list && list->count() > 1) {
        list->setCurrentRow(1);
        emit list->itemClicked(list->item(1));
    }
    save(dialog, dialogPicture);
    return int(QDialog::Accepted);
}

// Runs a program to its end; false, with a note, when it is missing or fails.
bool runTool(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (process.waitForFinished(240000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0)
        return true;
    process.kill();
    std::fprintf(stderr, "%s failed: %s\n", qPrintable(program), qPrintable(process.errorString()));
    return false;
}

// What a user sees who opens an exported workbook in LibreOffice: its first printed page, through
// a PDF of LibreOffice's own (with a profile of its own) and pdftoppm.
void photographInLibreOffice(const QString &workbook, const QString &name)
{
    QTemporaryDir profile;
    const QString pdf = workFolder + QLatin1Char('/') + QFileInfo(workbook).completeBaseName() + QStringLiteral(".pdf");
    if (!runTool(QStringLiteral("soffice"),
                 {"--headless", "--norestore",
                  "-env:UserInstallation=" + QUrl::fromLocalFile(profile.path()).toString(QUrl::FullyEncoded),
                  "--convert-to", "pdf", "--outdir", workFolder, workbook}) ||
        !runTool(QStringLiteral("pdftoppm"),
                 {"-png", "-r", "110", "-f", "1", "-l", "1", "-singlefile", pdf, folder + QLatin1Char('/') + name}))
        return;
    std::printf("%s/%s.png\n", qPrintable(folder), qPrintable(name));
}

void clickRow(FlexGrid *grid, int row)
{
    grid->setCurrentRow(row);
    emit grid->cellClicked(row, 1);
}

void clickNode(QTreeWidget *tree, const QString &text)
{
    const auto found = tree->findItems(text, Qt::MatchStartsWith | Qt::MatchRecursive);
    if (found.isEmpty()) return;
    tree->setCurrentItem(found.first());
    emit tree->itemClicked(found.first(), 0);
}

// The household: a shown complaint with the unit's earlier ones, and the lookup by telephone.
void household(MainWindow *main, QWidget *window)
{
    auto *grid = child<FlexGrid>(window, "MSFlexGrid1");
    for (int row = 0; row < grid->grid()->rowCount(); ++row)
        if (grid->grid()->text(row, 1) == QStringLiteral("00000017")) clickRow(grid, row);
    save(main, QStringLiteral("reception-history"));
    child<QAbstractButton>(window, "Command3")->click();
    child<QLineEdit>(window, "Text1(3)")->setText(QStringLiteral("1380571050"));
    child<QAbstractButton>(window, "Command10")->click();
    auto *list = child<QListWidget>(window, "List2");
    list->setCurrentRow(0);
    save(main, QStringLiteral("reception-lookup"));
    emit list->itemClicked(list->item(0));
    child<QAbstractButton>(window, "Command3")->click();
}

// The complaint sheet as printed: its PDF, the first page rendered by poppler's pdftoppm.
void sheet()
{
    const QString pdf = QDir::temp().filePath(QStringLiteral("tavimor-sheet-00000015.pdf"));
    const std::optional<SheetData> data = SheetStore(gConn).load(QStringLiteral("00000015"));
    QString error;
    if (!data || !ComplaintSheet::writePdf(*data, pdf, &error)) {
        std::fprintf(stderr, "could not write the sheet: %s\n", qPrintable(error));
        return;
    }
    const QString png = folder + QStringLiteral("/sheet");
    if (runTool(QStringLiteral("pdftoppm"), {"-png", "-r", "72", "-singlefile", pdf, png}))
        std::printf("%s.png\n", qPrintable(png));
    QFile::remove(pdf);
}

void reception(MainWindow *main)
{
    QWidget *window = main->openItem(QStringLiteral("投诉接待"));
    clickRow(child<FlexGrid>(window, "MSFlexGrid1"), 8);
    save(main, QStringLiteral("reception"));
    child<QAbstractButton>(window, "Command1")->click();
    auto *tree = child<QTreeWidget>(window, "TreeView1");
    clickNode(tree, QStringLiteral("翠苑小区8幢1单元"));
    tree->expandAll();
    save(main, QStringLiteral("reception-address"));
    child<QAbstractButton>(window, "Command1")->click();
    child<QAbstractButton>(window, "Command9")->click();
    save(main, QStringLiteral("reception-time"));
    for (QWidget *panel : window->findChildren<QWidget *>())
        if (panel->inherits("TimePanel")) panel->hide();
    // Every field and button at the main window's first size.
    const QSize size = main->size();
    main->resize(1024, 720);
    save(main, QStringLiteral("reception-1024"));
    main->resize(size);
    child<QAbstractButton>(window, "Command8")->click();
    household(main, window);
}

void statistics(MainWindow *main)
{
    auto *window = qobject_cast<StatisticsWindow *>(main->openItem(QStringLiteral("投诉信息统计")));
    child<QDateEdit>(window, "DTPicker1")->setDate(QDate::currentDate().addMonths(-2));
    window->runQuery();
    clickRow(child<FlexGrid>(window, "MSFlexGrid1"), 2);
    save(main, QStringLiteral("statistics"));
    window->exportList();
    ExportWindow *exporter = window->exportWindow();
    if (!exporter) return;
    save(exporter, QStringLiteral("export"));
    const QString workbook = workFolder + QStringLiteral("/统计.xlsx");
    child<QLineEdit>(exporter, "Text1(0)")->setText(workbook);
    child<QAbstractButton>(exporter, "Command2")->click();
    photographInLibreOffice(workbook, QStringLiteral("export-libreoffice"));
}

void followUp(MainWindow *main)
{
    QWidget *window = main->openItem(QStringLiteral("投诉回访"));
    auto *grid = child<FlexGrid>(window, "ListView1");
    grid->setCurrentRow(1);
    emit grid->rowChosen(1);
    child<QComboBox>(window, "Combo1")->setCurrentIndex(1);
    save(main, QStringLiteral("followup"));
}

void analysis(MainWindow *main)
{
    QWidget *window = main->openItem(QStringLiteral("投诉分析"));
    child<QDateEdit>(window, "DTPicker1")->setDate(QDate::currentDate().addMonths(-1));
    child<QAbstractButton>(window, "Command1")->click();
    save(main, QStringLiteral("analysis"));
}

void acceptance(MainWindow *main)
{
    QWidget *window = main->openItem(QStringLiteral("投诉受理"));
    clickRow(child<FlexGrid>(window, "ListView1"), 0);
    child<QTreeWidget>(window, "TreeView1")->expandAll();
    save(main, QStringLiteral("acceptance"));
    clickRow(child<FlexGrid>(window, "ListView2"), 2);
    save(main, QStringLiteral("acceptance-in-progress"));
    dialogPicture = QStringLiteral("review-comments");
    child<QAbstractButton>(window, "Command4")->click();
}

void handling(MainWindow *main)
{
    QWidget *window = main->openItem(QStringLiteral("投诉处理C"));
    clickRow(child<FlexGrid>(window, "ListView1"), 0);
    auto *tree = child<QTreeWidget>(window, "TreeView1");
    tree->expandAll();
    clickNode(tree, QStringLiteral("3 工程维修部"));
    auto *posts = child<QListWidget>(window, "List1");
    if (posts->count() > 1) emit posts->itemClicked(posts->item(1));
    child<QPlainTextEdit>(window, "Text3")->setPlainText(QStringLiteral("请维修主管安排人员上门查看。"));
    save(main, QStringLiteral("handling"));
}

void setup(MainWindow *main)
{
    QWidget *categories = main->openItem(QStringLiteral("投诉类别设置"));
    child<QListWidget>(categories, "List9")->setCurrentRow(2);
    save(main, QStringLiteral("categories"));
    main->mdiArea()->closeAllSubWindows();

    QWidget *window = main->openItem(QStringLiteral("投诉处理人设置"));
    clickNode(child<QTreeWidget>(window, "TreeView1"), QStringLiteral("10 "));
    child<QAbstractButton>(window, "Check1")->click();
    clickRow(child<FlexGrid>(window, "MSFlexGrid1"), 1);
    save(main, QStringLiteral("assignments"));
    child<QAbstractButton>(window, "Command5")->click();
    save(main, QStringLiteral("assignments-departments"));
    clickNode(child<QTreeWidget>(window, "TreeView2"), QStringLiteral("5 "));
    child<QAbstractButton>(window, "Command6")->click();
    save(main, QStringLiteral("assignments-posts"));
}

}  // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    DesktopHabits::install(app);
    // Usage: screenshots [folder] [--size WIDTHxHEIGHT] (the main window's size for the work windows)
    QSize size(1280, 800);
    folder = QStringLiteral("docs/screenshots");
    const QStringList args = QCoreApplication::arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args.at(i) == QLatin1String("--size") && i + 1 < args.size()) {
            const QStringList parts = args.at(++i).split(QLatin1Char('x'));
            if (parts.size() == 2) size = QSize(parts.at(0).toInt(), parts.at(1).toInt());
        } else {
            folder = args.at(i);
        }
    }
    QDir().mkpath(folder);
    QTemporaryDir temp;
    workFolder = temp.path();
    const QString demo = temp.path() + QStringLiteral("/demo.sqlite");
    Scripts::createSqliteDatabase(demo, true);
    Settings::overrideForThisRun(ConnectionSettings{QStringLiteral("sqlite:") + demo, {}, {}, {}});

    // 李建国 holds two posts: the login window offers both.
    auto *login = new LoginWindow;
    login->load(QString());
    login->show();
    child<QLineEdit>(login, "TxtUser")->setText(QStringLiteral("1002"));
    child<QLineEdit>(login, "txtPassword")->setText(QStringLiteral("1234"));
    login->logIn();
    save(login, QStringLiteral("login"));
    child<QListWidget>(login, "List1")->setCurrentRow(0);
    login->chooseListedPost();

    MainWindow *main = MainWindow::instance();
    main->resize(800, 560);
    main->show();
    save(main, QStringLiteral("main-small"));
    main->resize(size);
    save(main, QStringLiteral("main"));

    MainArea::setModalRunner(&photographDialog);
    acceptance(main);
    MainArea::setModalRunner(nullptr);
    main->mdiArea()->closeAllSubWindows();
    analysis(main);
    switchUser(main, QStringLiteral("1003"));
    handling(main);
    switchUser(main, QStringLiteral("1001"));
    reception(main);
    sheet();
    statistics(main);  // opened over the maximized reception window
    main->mdiArea()->closeAllSubWindows();
    followUp(main);
    switchUser(main, QStringLiteral("1004"));
    setup(main);
    main->mdiArea()->closeAllSubWindows();
    main->openItem(QStringLiteral("关于软件"));
    save(main, QStringLiteral("about"));
    delete main;
    return 0;
}

#include "MainWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QPainter>
#include <QStringEncoder>
#include <QVBoxLayout>
#include <algorithm>

#include "AboutBox.h"
#include "LoginWindow.h"
#include "SessionStore.h"
#include "ShellResources.h"
#include "common/ErrorReports.h"
#include "common/MainArea.h"
#include "common/Messages.h"
#include "common/Platform.h"
#include "common/Program.h"
#include "common/Session.h"
#include "common/Twips.h"
#include "followup/FollowUpWindows.h"
#include "handling/HandlingWindows.h"
#include "intake/IntakeWindows.h"
#include "routing/RoutingWindows.h"
#include "setup/SetupWindows.h"
#include "stats/StatsWindows.h"

namespace {

QPointer<MainWindow> theMainWindow;

// Items that the permissions never disable.
bool isAlwaysAvailable(const QAction *action)
{
    static const QStringList names = {QStringLiteral("注销"),     QStringLiteral("关于"), QStringLiteral("关于软件"),
                                      QStringLiteral("联系我们"), QStringLiteral("退出"), QStringLiteral("退出系统"),
                                      QStringLiteral("其它模块")};
    return action->isSeparator() || action->text() == QLatin1String("-") || names.contains(action->objectName());
}

}  // namespace

// --- Banner --------------------------------------------------------------------------------------

BannerStrip::BannerStrip(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("Picture1"));
    setFixedHeight(54);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void BannerStrip::setPicture(const QImage &picture)
{
    m_picture = picture;
    if (!picture.isNull()) setFixedHeight(picture.height());
    update();
}

QImage BannerStrip::render(int width, int height) const
{
    QImage image(qMax(1, width), qMax(1, height), QImage::Format_RGB32);
    image.fill(palette().window().color());
    if (m_picture.isNull()) return image;
    QPainter p(&image);
    p.drawImage(0, 0, m_picture);
    const auto px = [](int twips) { return Twips::toPixels(twips); };
    const int stripTwips = Twips::fromPixels(width);
    const QRect slice(px(8850), 0, px(300), m_picture.height());
    for (int i = 1; i <= 10000; ++i) {
        if (!(stripTwips - 4000 > 8850 + 300 * i)) break;
        p.drawImage(QRect(px(8850 + 300 * i), 0, px(300), height), m_picture, slice);
    }
    const QRect end(px(8850), 0, m_picture.width() - px(8850), m_picture.height());
    if (end.width() > 0) p.drawImage(QRect(px(stripTwips - 4000), 0, px(4000), height), m_picture, end);
    return image;
}

void BannerStrip::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.drawImage(0, 0, render(width(), height()));
}

// --- Main window ---------------------------------------------------------------------------------

MainWindow::MainWindow(QWidget *parent) : QMainWindow(parent)
{
    initShellResources();
    setObjectName(QStringLiteral("MDIForm1"));
    setWindowTitle(Messages::programTitle());
    setAttribute(Qt::WA_DeleteOnClose);
    theMainWindow = this;

    auto *central = new QWidget(this);
    auto *layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_banner = new BannerStrip(central);
    m_banner->setPicture(QImage(Platform::programFolder() + QStringLiteral("/banner.bmp")));
    m_area = new QMdiArea(central);
    m_area->setObjectName(QStringLiteral("mdiArea"));
    m_area->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_area->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    layout->addWidget(m_banner);
    layout->addWidget(m_area, 1);
    setCentralWidget(central);
    MainArea::set(m_area);

    m_background = QImage(Platform::programFolder() + QStringLiteral("/MDI.BMP"));
    m_area->viewport()->installEventFilter(this);

    buildMenu();
    resize(1024, 720);
}

MainWindow::~MainWindow()
{
    if (MainArea::get() == m_area) MainArea::set(nullptr);
}

MainWindow *MainWindow::instance() { return theMainWindow.data(); }

MainWindow *MainWindow::openForSession(LoginWindow *login)
{
    auto *window = new MainWindow;
    // The load step: the super user keeps every item enabled at first opening.
    if (!Session::isSuperUser()) window->权限设置();
    window->show();
    window->raise();
    window->activateWindow();
    if (login) login->close();
    return window;
}

QAction *MainWindow::addItem(QMenu *menu, const QString &name, const QString &caption)
{
    QAction *action = menu->addAction(caption);
    action->setObjectName(name);
    m_items.insert(name, action);
    m_order.append(action);
    return action;
}

void MainWindow::buildMenu()
{
    QMenuBar *bar = menuBar();
    const auto topMenu = [&](const QString &name, const QString &caption) {
        QMenu *menu = bar->addMenu(caption);
        menu->setObjectName(name);
        menu->menuAction()->setObjectName(name);
        m_items.insert(name, menu->menuAction());
        m_order.append(menu->menuAction());
        return menu;
    };
    const auto windowItem = [&](QMenu *menu, const QString &name, const QString &caption,
                                std::function<QWidget *()> factory) {
        QAction *action = addItem(menu, name, caption);
        m_factories.insert(name, std::move(factory));
        connect(action, &QAction::triggered, this, [this, name] { openItem(name); });
    };

    QMenu *complaints = topMenu(QStringLiteral("投诉管理"), QStringLiteral("投诉管理"));
    windowItem(complaints, QStringLiteral("投诉接待"), QStringLiteral("投诉接待"), createReceptionWindow);
    windowItem(complaints, QStringLiteral("投诉受理"), QStringLiteral("投诉受理"), createAcceptanceWindow);
    windowItem(complaints, QStringLiteral("投诉处理C"), QStringLiteral("投诉处理"), createHandlingWindow);
    QAction *separator = complaints->addSeparator();
    separator->setObjectName(QStringLiteral("H11"));
    m_items.insert(QStringLiteral("H11"), separator);
    m_order.append(separator);
    windowItem(complaints, QStringLiteral("投诉信息统计"), QStringLiteral("投诉信息统计"), createStatisticsWindow);
    windowItem(complaints, QStringLiteral("投诉回访"), QStringLiteral("投诉回访"), createFollowUpWindow);
    windowItem(complaints, QStringLiteral("投诉分析"), QStringLiteral("投诉分析"), createAnalysisWindow);

    QMenu *setup = topMenu(QStringLiteral("基础设置TS"), QStringLiteral("基础设置"));
    windowItem(setup, QStringLiteral("投诉类别设置"), QStringLiteral("投诉类别设置"), createCategoryWindow);
    windowItem(setup, QStringLiteral("投诉方式设置"), QStringLiteral("投诉方式设置"), createChannelWindow);
    windowItem(setup, QStringLiteral("投诉处理人设置"), QStringLiteral("投诉处理人设置"), createAssignmentWindow);

    QAction *other = bar->addAction(QStringLiteral("其它模块"));
    other->setObjectName(QStringLiteral("其它模块"));
    m_items.insert(other->objectName(), other);
    m_order.append(other);
    connect(other, &QAction::triggered, this, &MainWindow::otherModules);

    QMenu *exitMenu = topMenu(QStringLiteral("退出系统"), QStringLiteral("退出系统"));
    connect(addItem(exitMenu, QStringLiteral("退出"), QStringLiteral("退出")), &QAction::triggered, this,
            [] { Program::end(0); });
    connect(addItem(exitMenu, QStringLiteral("注销"), QStringLiteral("注销")), &QAction::triggered, this,
            &MainWindow::logout);

    QMenu *about = topMenu(QStringLiteral("关于"), QStringLiteral("关于"));
    windowItem(about, QStringLiteral("关于软件"), QStringLiteral("关于软件"), [] { return new AboutBox; });
    connect(addItem(about, QStringLiteral("联系我们"), QStringLiteral("联系我们")), &QAction::triggered, this,
            &MainWindow::contactUs);
}

void MainWindow::enableAllItems()
{
    for (QAction *action : std::as_const(m_order)) action->setEnabled(true);
}

void MainWindow::权限设置()
{
    for (QAction *action : std::as_const(m_order))
        if (!isAlwaysAvailable(action)) action->setEnabled(false);
    ErrorReports::guard(ErrorReports::Kind::Numbered, [&] {
        const QVector<QPair<QString, bool>> grants = SessionStore(gConn).grants(gPostCode);
        for (const auto &grant : std::as_const(grants)) {
            auto it = std::find_if(m_order.cbegin(), m_order.cend(),
                                   [&](const QAction *action) { return action->objectName() == grant.first; });
            if (it != m_order.cend()) (*it)->setEnabled(grant.second);
        }
    });
}

QWidget *MainWindow::openItem(const QString &itemName)
{
    if (QMdiSubWindow *open = m_open.value(itemName)) {
        open->showNormal();
        if (MainArea::opensMaximized(open->widget())) open->showMaximized();
        m_area->setActiveSubWindow(open);
        open->raise();
        return open->widget();
    }
    const auto factory = m_factories.value(itemName);
    if (!factory) return nullptr;
    QWidget *window = factory();
    QMdiSubWindow *frame = MainArea::open(window);
    m_open.insert(itemName, frame);
    return window;
}

void MainWindow::logout()
{
    m_area->closeAllSubWindows();
    // A window whose user chose to keep unsaved input stays open, and the session with it.
    for (QMdiSubWindow *frame : m_area->subWindowList())
        if (frame->isVisible()) return;
    for (QMdiSubWindow *frame : m_area->subWindowList()) delete frame;
    if (!gCommandLine.isEmpty()) {
        QString error;
        if (!writeLogoutMessage(error)) Messages::information(error);
        if (!Platform::activateWindowByTitle(suiteWindowTitle()))
            Messages::information(QStringLiteral("找不到主程序窗口“%1”。").arg(suiteWindowTitle()));
        return;
    }
    auto *login = new LoginWindow(this);
    login->setWindowModality(Qt::ApplicationModal);
    login->load(QString());
    login->prepareSwitch();
    MainArea::runModal(login);
    if (Program::isEnding()) return;
    if (Session::isSuperUser()) enableAllItems();
    else 权限设置();
}

bool MainWindow::writeLogoutMessage(QString &error) const
{
    const QString path = Platform::programFolder() + QStringLiteral("/Command.Dll");
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        error = QStringLiteral("无法写入注销消息文件 %1：%2").arg(path, file.errorString());
        return false;
    }
    // The suite's main program reads it in the system's code page.
    QStringEncoder encoder(QStringConverter::System);
    const QByteArray bytes = encoder.encode(QStringLiteral("注销\r\n"));
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        error = QStringLiteral("无法写入注销消息文件 %1：%2").arg(path, file.errorString());
        return false;
    }
    return true;
}

void MainWindow::otherModules()
{
    if (gCommandLine.isEmpty()) {
        Messages::show(QStringLiteral("对不起，您不属于多模块系统。"), Messages::programTitle());
        return;
    }
    if (!Platform::activateWindowByTitle(suiteWindowTitle()))
        Messages::information(QStringLiteral("找不到主程序窗口“%1”。").arg(suiteWindowTitle()));
}

void MainWindow::contactUs()
{
    if (!Platform::openWebPage(webPage()))
        Messages::information(QStringLiteral("无法启动浏览器打开 %1").arg(webPage()));
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    event->accept();
    Program::end(0);
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_area->viewport() && event->type() == QEvent::Resize) paintBackground();
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::paintBackground()
{
    const QSize size = m_area->viewport()->size();
    if (m_background.isNull() || size.isEmpty()) {
        m_area->setBackground(palette().dark());
        return;
    }
    m_area->setBackground(
        QPixmap::fromImage(m_background.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)));
}

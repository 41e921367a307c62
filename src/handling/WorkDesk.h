#pragma once

#include <QString>
#include <functional>

#include "ComplaintPanels.h"

class QPushButton;
class QStatusBar;

// What the acceptance and the handling windows have in common around their lists: the complaint
// panel (Frame1), the work frame (Frame2 "处理") with the forwarding target (Frame3) and the three
// action buttons, 刷新 and 退出 at the top right, and the status bar.
//
// Made in two steps so that the tab order stays the windows' own: the constructor makes the
// panels (after the window's lists), addButtons() the buttons (after the window's text boxes).
class WorkDesk {
public:
    WorkDesk(QWidget *window, Database &db);
    WorkDesk(const WorkDesk &) = delete;
    WorkDesk &operator=(const WorkDesk &) = delete;

    // Command1 "处理完成", Command2 "转呈其他领导阅处" and Command4 "阅处情况查阅" in Frame2;
    // Command5 "刷新" and Command6 "退出" (which closes the window); Command7 "打印处理单";
    // StatusBar1.
    void addButtons();
    // Command7 opens the complaint sheet of the complaint `selectedCode` gives (empty: none
    // selected, and the user is asked to choose one).
    void offerSheet(std::function<QString()> selectedCode);
    // Reads the organisation into the target's tree (the numbered report on failure), refreshes
    // the window on every activation and gives it its first size.
    void start(std::function<void()> refresh);

    // Where the window's own controls go, in twips, after layout().
    struct Geometry {
        int width;      // of the window
        int frameTop;   // top of Frame1 and Frame2: the lists end 60 above it
        int textWidth;  // of the text boxes at the left of Frame2, which start at 90
    };
    // Places the shared controls for the window's present size.
    Geometry layout();

    // The input check of a forward: a department and a post are chosen (a message otherwise).
    bool requireTarget() const;
    // Runs a write under the numbered report; when another client got there first, tells the
    // user and refreshes the window. True when it was stored.
    bool store(const std::function<void()> &write);
    // Enables the forwarding target and the three action buttons.
    void setActionsEnabled(bool target, bool review, bool forward, bool finish);

    QWidget *window;
    ComplaintDetails details;
    QGroupBox *frame2;
    ForwardTarget target;
    QPushButton *finish = nullptr;   // Command1
    QPushButton *forward = nullptr;  // Command2
    QPushButton *review = nullptr;   // Command4
    QPushButton *refresh = nullptr;  // Command5
    QPushButton *close = nullptr;    // Command6
    QPushButton *sheet = nullptr;    // Command7
    QStatusBar *status = nullptr;    // StatusBar1

private:
    Database &m_db;
    std::function<void()> m_refresh;  // the window's, given to start()
};

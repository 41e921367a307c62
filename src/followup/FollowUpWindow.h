#pragma once

#include <QWidget>

#include "FollowUpStore.h"

class FlexGrid;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QStatusBar;

// frm投诉回访: the department's finished complaints waiting for a follow-up call, and those called
// back in the last 30 days. The user picks a waiting complaint, asks the complainant and records
// the answer; the complaint moves to the second list.
class FollowUpWindow : public QWidget {
    Q_OBJECT
public:
    explicit FollowUpWindow(QWidget *parent = nullptr);

    // Command5 "刷新", also run on every activation.
    void refresh();
    // Command1 "回访完成".
    void recordVisit();

    // Columns of the two lists.
    enum AwaitingColumn { ARow, ACode, AComplainant, APhone, AContent, AReply, AFinished, AWaiting, AColumns };
    enum VisitedColumn { VRow, VCode, VComplainant, VReply, VVisitor, VVisited, VSatisfaction, VColumns };

    // Beyond this many hours since it was finished, a waiting complaint's time is drawn bold in red.
    static constexpr int kLateHours = 48;

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void layoutControls();
    void fillAwaiting(const QVector<AwaitingVisit> &list, const QDateTime &now);
    void fillVisited(const QVector<VisitedComplaint> &list);
    void showStatus();
    // A line chosen in one of the lists: its complaint in Frame1.
    void choose(FlexGrid *list, int row, int codeColumn);
    void showCase(const QString &code);

    FollowUpStore m_store;
    FlexGrid *m_awaiting;        // ListView1
    FlexGrid *m_visited;         // ListView2
    QLabel *m_visitedCaption;    // Label1(1)
    QGroupBox *m_caseFrame;      // Frame1
    QLineEdit *m_complainant;    // Text1(0)
    QPlainTextEdit *m_content;   // Text1(1)
    QPlainTextEdit *m_findings;  // Text1(2)
    QPlainTextEdit *m_reply;     // Text1(3)
    QGroupBox *m_visitFrame;     // Frame2
    QComboBox *m_satisfaction;   // Combo1
    QPushButton *m_done;         // Command1
    QPushButton *m_refresh;      // Command5
    QPushButton *m_close;        // Command6
    QStatusBar *m_status;        // StatusBar1
    QString m_awaitingCode;      // the waiting complaint chosen in ListView1
    int m_satisfied = 0;         // of the visits in ListView2
};

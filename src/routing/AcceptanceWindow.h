#pragma once

#include <QWidget>

#include "AcceptanceStore.h"
#include "handling/WorkDesk.h"

class FlexGrid;
class QPlainTextEdit;

// frm投诉受理: the work list of whoever accepts the complaints of the management offices assigned
// to the user's department and post (gDeptCode, gPostCode). Pending complaints are finished at
// once or forwarded to another department and post; complaints in progress are finished, and
// their review comments read.
class AcceptanceWindow : public QWidget {
    Q_OBJECT
public:
    explicit AcceptanceWindow(QWidget *parent = nullptr);

    // Command5 "刷新", also run on every activation.
    void refresh();
    // Clicks on a line of ListView1 (pending) and ListView2 (in progress).
    void selectPending(int row);
    void selectInProgress(int row);
    // Command1 "处理完成".
    void finishComplaint();
    // Command2 "转呈其他领导阅处".
    void forwardComplaint();
    // Command4 "阅处情况查阅".
    void showReviewComments();

    // Columns of the two lists.
    enum PendingColumn { PRow, PCode, PCategory, PComplainant, PTime, PContent, PWaiting, PColumns };
    enum InProgressColumn { IRow, ICode, ICategory, IComplainant, ITime, IContent, IHolder, IWaiting, IColumns };

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void layoutControls();
    void fillPending(const QVector<PendingComplaint> &list, const QDateTime &now);
    void fillInProgress(const QVector<ComplaintInProgress> &list, const QDateTime &now);
    // The complaint the buttons act on: the selected line of the list named by Command1's tag.
    QString selectedCode() const;
    bool requireSelection(const QString &list);
    void clearInputs();
    void afterAction();
    void showCounts();
    // Enables the frame of the forwarding target and the buttons.

    AcceptanceStore m_store;
    FlexGrid *m_pending;         // ListView1
    FlexGrid *m_inProgress;      // ListView2
    WorkDesk m_desk;             // Command1's tag says where the selection came from
    QPlainTextEdit *m_findings;  // Text2
    QPlainTextEdit *m_opinion;   // Text3
    QPlainTextEdit *m_reply;     // Text4
    QString m_shownCode;         // the complaint whose details the window shows
};

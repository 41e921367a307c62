#pragma once

#include <QWidget>

#include "HandlingStore.h"
#include "WorkDesk.h"

class FlexGrid;
class QPlainTextEdit;

// frm投诉处理: the open routing steps of the user's department and post (gDeptCode, gPostCode).
// The user closes a step with an opinion, or closes it and forwards the complaint to a further
// department and post.
class HandlingWindow : public QWidget {
    Q_OBJECT
public:
    explicit HandlingWindow(QWidget *parent = nullptr);

    // Command5 "刷新", also run on every activation.
    void refresh();
    // A click on a line of ListView1.
    void selectLine(int row);
    // Command1 "处理完成".
    void finishStep();
    // Command2 "转呈其他领导阅处".
    void forwardStep();
    // Command4 "阅处情况查阅".
    void showReviewComments();

    // Columns of ListView1.
    enum Column {
        RowNumber,
        Complainant,
        ComplaintTime,
        Content,
        ForwardedAt,
        Waiting,
        Code,
        Contact,
        Phone,
        Findings,
        StepId,
        ColumnCount
    };

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void layoutControls();
    // The step of the selected line, 0 when no line is selected.
    qint64 selectedStep() const;
    // Takes the line of a step out of the list and leaves the window without a selection.
    void afterAction(qint64 stepId);
    void showCount();
    // Input checks with their messages; false after a message.
    bool requireSelection();

    HandlingStore m_store;
    FlexGrid *m_list;  // ListView1
    WorkDesk m_desk;
    QPlainTextEdit *m_findings;  // Text2
    QPlainTextEdit *m_opinion;   // Text3
    qint64 m_shownStep = 0;      // the step whose details the window shows
};

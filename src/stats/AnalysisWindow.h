#pragma once

#include <QPointer>
#include <QWidget>

#include "AnalysisStore.h"
#include "ExportWindow.h"

class FlexGrid;
class QChart;
class QChartView;
class QComboBox;
class QDateEdit;
class QLabel;
class QPushButton;
class QStatusBar;

// frm投诉分析: what is coming in, what is overdue and where, how satisfied people are. Counts of
// the period's complaints by group and status with the mean handling hours, a bar chart of them,
// the complaints per day, the open work by post and the satisfaction of the visits. The user's
// department (gDeptCode); the super user sees every department.
class AnalysisWindow : public QWidget {
    Q_OBJECT
public:
    explicit AnalysisWindow(QWidget *parent = nullptr);

    // Command1 "分析".
    void analyse();
    // Command4 "输出EXCEL": the summary grid through the export window.
    void exportSummary();
    ExportWindow *exportWindow() const { return m_exportWindow; }

    // Columns of the two grids.
    enum SummaryColumn { SGroup, STotal, SNotAccepted, SInProgress, SFinished, SVoided, SHours, SOverdue, SColumns };
    enum BacklogColumn { BDept, BPost, BOpen, BOver24, BOver72, BLongest, BColumns };

private:
    // Fills the summary grid and gives the number of complaints it counts.
    int fillSummary(const QVector<GroupCounts> &groups);
    void fillBacklog(const QVector<PostBacklog> &backlog, const QDateTime &now);
    void drawGroups(const QVector<GroupCounts> &groups);
    void drawDays(const QVector<QPair<QDate, int>> &days, const QDate &from, const QDate &to);
    void showSatisfaction(const SatisfactionCounts &counts);

    AnalysisStore m_store;
    QDateEdit *m_from;            // DTPicker1
    QDateEdit *m_to;              // DTPicker2
    QComboBox *m_grouping;        // Combo1
    QPushButton *m_analyse;       // Command1
    QPushButton *m_exportButton;  // Command4
    QPushButton *m_close;         // Command5
    FlexGrid *m_summary;          // MSFlexGrid1
    QChartView *m_groupsChart;    // ChartView1
    QChartView *m_daysChart;      // ChartView2
    FlexGrid *m_backlog;          // MSFlexGrid2
    QLabel *m_satisfaction;       // Label5
    QStatusBar *m_status;         // StatusBar1
    QPointer<ExportWindow> m_exportWindow;
    // The days of the analysis on show: the export names its sheet after them.
    QDate m_shownFrom;
    QDate m_shownTo;
    // Period, department and grouping of the analysis on show, for the exported sheet's second row.
    QString m_shownScope;
};

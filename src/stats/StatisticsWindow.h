#pragma once

#include <QDate>
#include <QPointer>
#include <QVector>
#include <QWidget>

#include "ExportWindow.h"
#include "StatisticsStore.h"

class FlexGrid;
class QComboBox;
class QDateEdit;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QStatusBar;

// frm投诉信息统计: the complaints of the user's department (gDeptCode) made within a date range,
// optionally with one status; the record of a clicked line; the list handed to the export window.
class StatisticsWindow : public QWidget {
    Q_OBJECT
public:
    explicit StatisticsWindow(QWidget *parent = nullptr);

    // Command1 "统计".
    void runQuery();
    // A click on a line of MSFlexGrid1: its complaint in the detail boxes.
    void showRecord(int row);
    // Command4 "输出EXCEL": configures and shows the export window.
    void exportList();

    // The export window while it is open.
    ExportWindow *exportWindow() const { return m_exportWindow; }

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void buildControls();
    void layoutControls();
    // Widens the columns whose texts have one length (codes, times, telephone, status) to them.
    void fitFixedLengthColumns();

    StatisticsStore m_store;
    QGroupBox *m_filters;          // Frame3
    QDateEdit *m_from;             // DTPicker1
    QDateEdit *m_to;               // DTPicker2
    QComboBox *m_status;           // Combo1
    QPushButton *m_query;          // Command1
    QPushButton *m_exportButton;   // Command4
    QPushButton *m_close;          // Command5
    QGroupBox *m_listFrame;        // Frame4
    FlexGrid *m_grid;              // MSFlexGrid1
    QGroupBox *m_detailFrame;      // Frame2
    QWidget *m_detail;             // Picture1
    QVector<QLineEdit *> m_boxes;  // Text1(0) to Text1(10)
    QStatusBar *m_statusBar;       // StatusBar1
    QPointer<ExportWindow> m_exportWindow;
    // The days of the list on show: the export names its sheet after them.
    QDate m_listFrom;
    QDate m_listTo;
};

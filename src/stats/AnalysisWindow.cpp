#include "AnalysisWindow.h"

#include <QComboBox>
#include <QDateEdit>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStatusBar>
#include <QtCharts/QBarCategoryAxis>
#include <QtCharts/QBarSet>
#include <QtCharts/QCategoryAxis>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QLineSeries>
#include <QtCharts/QStackedBarSeries>
#include <QtCharts/QValueAxis>

#include "common/Clock.h"
#include "common/CodeName.h"
#include "common/Controls.h"
#include "common/DateText.h"
#include "common/ErrorReports.h"
#include "common/FlexGrid.h"
#include "common/MainArea.h"
#include "common/Messages.h"
#include "common/ReportList.h"
#include "common/Session.h"
#include "common/Tag.h"
#include "common/Twips.h"
#include "common/WaitCursor.h"
#include "data/Status.h"

namespace {

const QString kTitle = QStringLiteral("投诉分析");
// Right-aligned cells: the export writes them as numbers.
constexpr int kNumberAlignment = 7;

// The daily chart labels every day up to a month, and every week up to a quarter.
constexpr int kDailyLabelDays = 31;
constexpr int kWeeklyLabelDays = 92;

QString countText(int n) { return QString::number(n); }

QString hoursText(double hours) { return hours < 0 ? QString() : QString::number(hours, 'f', 1); }

QString percent(int part, int whole) { return QString::number(qRound(100.0 * part / whole)) + QLatin1Char('%'); }

QChartView *makeChartView(QWidget *parent, const QString &name)
{
    auto *view = named(new QChartView(parent), name);
    view->setRenderHint(QPainter::Antialiasing);
    view->setMinimumHeight(Twips::toPixels(3000));
    auto *chart = new QChart;
    chart->legend()->setAlignment(Qt::AlignBottom);
    view->setChart(chart);
    return view;
}

// A count axis from 0 with whole-number ticks of 1, 2 or 5 times a power of ten.
QValueAxis *countAxis(int highest)
{
    int step = 1;
    for (int power = 1; step * 5 < highest; power *= 10) {
        for (int factor : {1, 2, 5}) {
            step = factor * power;
            if (step * 5 >= highest) break;
        }
    }
    const int top = qMax(1, (highest + step - 1) / step) * step;
    auto *axis = new QValueAxis;
    axis->setRange(0, top);
    axis->setTickCount(top / step + 1);
    axis->setLabelFormat(QStringLiteral("%d"));
    return axis;
}

// The date axis of a period whose days are numbered from 0: every day labelled up to a month,
// then every Monday up to a quarter, then the first of every month (of every second, third, ...
// month beyond 13 months, so that at most 13 labels remain). Each label sits exactly on its day's point; half a
// day is left at either end, so that a period of one day has room for its point.
QCategoryAxis *dayAxis(const QDate &from, const QDate &to)
{
    const int dayCount = int(from.daysTo(to)) + 1;
    auto *axis = new QCategoryAxis;
    axis->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    axis->setRange(-0.5, dayCount - 0.5);
    const auto label = [&](const QDate &day, const QString &format) {
        axis->append(day.toString(format), from.daysTo(day));
    };
    if (dayCount <= kDailyLabelDays) {
        for (QDate day = from; day <= to; day = day.addDays(1)) label(day, QStringLiteral("MM-dd"));
    } else if (dayCount <= kWeeklyLabelDays) {
        for (QDate day = from.addDays((8 - from.dayOfWeek()) % 7); day <= to; day = day.addDays(7))
            label(day, QStringLiteral("MM-dd"));
    } else {
        const int months = (to.year() - from.year()) * 12 + to.month() - from.month() + 1;
        const int step = qMax(1, (months + 12) / 13);
        QDate first(from.year(), from.month(), 1);
        if (first < from) first = first.addMonths(1);
        for (QDate day = first; day <= to; day = day.addMonths(step)) label(day, QStringLiteral("yyyy-MM"));
    }
    // Labels are never cut to "…"; standLabels turns them upright where they do not fit side by side.
    axis->setTruncateLabels(false);
    axis->setGridLineVisible(true);
    return axis;
}

// The labels of a chart's horizontal axis (days or groups) stand upright when they do not fit
// side by side across the plot.
void standLabels(QChart *chart)
{
    QAbstractAxis *axis = chart->axes(Qt::Horizontal).value(0);
    QStringList labels;
    if (auto *days = qobject_cast<QCategoryAxis *>(axis)) labels = days->categoriesLabels();
    else if (auto *groups = qobject_cast<QBarCategoryAxis *>(axis)) labels = groups->categories();
    if (labels.isEmpty()) return;
    const QFontMetrics metrics(axis->labelsFont());
    int widest = 0;
    for (const QString &label : labels) widest = qMax(widest, metrics.horizontalAdvance(label));
    const qreal needed = labels.size() * (widest + metrics.averageCharWidth());
    const int angle = needed > chart->plotArea().width() ? -90 : 0;
    if (axis->labelsAngle() != angle) axis->setLabelsAngle(angle);
}

// Empties a chart for new series and axes.
QChart *clearedChart(QChartView *view, const QString &title)
{
    QChart *chart = view->chart();
    chart->removeAllSeries();
    for (QAbstractAxis *axis : chart->axes()) {
        chart->removeAxis(axis);
        delete axis;
    }
    chart->setTitle(title);
    return chart;
}

}  // namespace

AnalysisWindow::AnalysisWindow(QWidget *parent) : QWidget(parent), m_store(gConn)
{
    setObjectName(QStringLiteral("frm投诉分析"));
    setWindowTitle(kTitle);
    MainArea::setOpensMaximized(this);

    m_from = makeDatePicker(this, QStringLiteral("DTPicker1"));
    m_to = makeDatePicker(this, QStringLiteral("DTPicker2"));
    m_grouping = named(new QComboBox(this), QStringLiteral("Combo1"));
    m_grouping->addItems({QStringLiteral("按投诉类别"), QStringLiteral("按投诉方式"), QStringLiteral("按管理处"),
                          QStringLiteral("按月份")});
    m_analyse = makeButton(this, QStringLiteral("Command1"), QStringLiteral("分析"));
    m_exportButton = makeButton(this, QStringLiteral("Command4"), QStringLiteral("输出EXCEL"));
    m_close = makeButton(this, QStringLiteral("Command5"), QStringLiteral("退出"));

    auto *filters = new QHBoxLayout;
    filters->addWidget(named(new QLabel(QStringLiteral("投诉日期"), this), QStringLiteral("Label1")));
    filters->addWidget(m_from);
    filters->addWidget(named(new QLabel(QStringLiteral("至"), this), QStringLiteral("Label2")));
    filters->addWidget(m_to);
    filters->addSpacing(12);
    filters->addWidget(named(new QLabel(QStringLiteral("汇总方式"), this), QStringLiteral("Label3")));
    filters->addWidget(m_grouping);
    filters->addSpacing(12);
    for (QPushButton *button : {m_analyse, m_exportButton, m_close}) {
        button->setMinimumWidth(Twips::toPixels(1200));
        filters->addWidget(button);
    }
    filters->addStretch(1);

    m_summary = named(new FlexGrid(this), QStringLiteral("MSFlexGrid1"));
    setUpReportList(m_summary,
                    {QStringLiteral("分组"), QStringLiteral("投诉数"), QStringLiteral("尚未受理"),
                     QStringLiteral("处理中"), QStringLiteral("处理完成"), QStringLiteral("已作废"),
                     QStringLiteral("平均处理小时"), QStringLiteral("超时未完成")},
                    {2200, 800, 1000, 800, 1000, 800, 1300, 1100});
    // In a workbook the counts are whole numbers and the hours have one decimal.
    for (int c = STotal; c < SColumns; ++c) {
        m_summary->grid()->setAlignment(c, kNumberAlignment);
        m_summary->grid()->setNumberFormat(c, c == SHours ? QStringLiteral("0.0") : QStringLiteral("0"));
    }
    m_satisfaction = named(new QLabel(this), QStringLiteral("Label5"));
    m_backlog = named(new FlexGrid(this), QStringLiteral("MSFlexGrid2"));
    setUpReportList(m_backlog,
                    {QStringLiteral("部门"), QStringLiteral("岗位"), QStringLiteral("待办数"),
                     QStringLiteral("超过24小时"), QStringLiteral("超过72小时"), QStringLiteral("最长等待")},
                    {2200, 2200, 800, 1100, 1100, 1500});
    for (int c = BOpen; c <= BOver72; ++c) m_backlog->grid()->setAlignment(c, kNumberAlignment);
    m_groupsChart = makeChartView(this, QStringLiteral("ChartView1"));
    m_daysChart = makeChartView(this, QStringLiteral("ChartView2"));
    m_daysChart->chart()->legend()->hide();
    for (QChartView *view : {m_groupsChart, m_daysChart})
        connect(view->chart(), &QChart::plotAreaChanged, this, [view] { standLabels(view->chart()); });
    m_status = named(new QStatusBar(this), QStringLiteral("StatusBar1"));
    m_status->setSizeGripEnabled(false);

    auto *layout = new QGridLayout(this);
    layout->setContentsMargins(6, 6, 6, 0);
    layout->addLayout(filters, 0, 0, 1, 2);
    layout->addWidget(m_summary, 1, 0);
    layout->addWidget(m_groupsChart, 1, 1);
    layout->addWidget(m_satisfaction, 2, 0);
    layout->addWidget(named(new QLabel(QStringLiteral("超时待办（按岗位）"), this), QStringLiteral("Label6")), 3, 0);
    layout->addWidget(m_backlog, 4, 0);
    layout->addWidget(m_daysChart, 3, 1, 2, 1);
    layout->addWidget(m_status, 5, 0, 1, 2);
    layout->setColumnStretch(0, 1);
    layout->setColumnStretch(1, 1);
    layout->setRowStretch(1, 1);
    layout->setRowStretch(4, 1);

    connect(m_analyse, &QPushButton::clicked, this, &AnalysisWindow::analyse);
    connect(m_exportButton, &QPushButton::clicked, this, &AnalysisWindow::exportSummary);
    connect(m_close, &QPushButton::clicked, this, [this] { MainArea::closeWindow(this); });

    // The first day of this month to today.
    const QDate today = Clock::today();
    m_from->setDate(QDate(today.year(), today.month(), 1));
    m_to->setDate(today);
    m_grouping->setCurrentIndex(0);
    resize(Twips::toPixels(15000), Twips::toPixels(10500));
}

void AnalysisWindow::analyse()
{
    const QDate from = m_from->date();
    const QDate to = m_to->date();
    if (from > to) {
        Messages::plain(QStringLiteral("起始日期不能大于结束日期,请重新选择日期!"));
        return;
    }
    const bool everyDepartment = Session::isSuperUser();
    const AnalysisScope scope{everyDepartment ? QString() : gDeptCode, from, to, Clock::now()};
    const auto grouping = AnalysisGrouping(qMax(0, m_grouping->currentIndex()));
    ErrorReports::guard(ErrorReports::Kind::Short, [&] {
        WaitCursor wait;
        m_status->clearMessage();
        const QVector<GroupCounts> groups = m_store.groups(scope, grouping);
        const QVector<QPair<QDate, int>> days = m_store.perDay(scope);
        const QVector<PostBacklog> backlog = m_store.backlog(scope);
        const SatisfactionCounts satisfaction = m_store.satisfaction(scope);
        m_shownFrom = from;
        m_shownTo = to;
        m_shownScope = QStringLiteral("期间：%1 至 %2　部门：%3　%4")
                           .arg(DateText::day(from), DateText::day(to),
                                everyDepartment ? QStringLiteral("全部部门") : gDeptName, m_grouping->currentText());
        const int total = fillSummary(groups);
        drawGroups(groups);
        drawDays(days, from, to);
        fillBacklog(backlog, scope.now);
        showSatisfaction(satisfaction);
        const QString who =
            everyDepartment ? QStringLiteral("超级用户：全部部门") : QStringLiteral("部门：") + gDeptName;
        m_status->showMessage(
            QStringLiteral("%1，%2至%3共 %4 件投诉").arg(who, DateText::day(from), DateText::day(to)).arg(total));
    });
}

int AnalysisWindow::fillSummary(const QVector<GroupCounts> &groups)
{
    GridModel *model = m_summary->grid();
    GridModel::Bulk bulk(*model, GridModel::ReplaceRows);
    GroupCounts all;
    all.label = QStringLiteral("合计");
    QString cells[SColumns];
    const auto append = [&](const GroupCounts &g) {
        cells[SGroup] = g.label;
        cells[STotal] = countText(g.total);
        cells[SNotAccepted] = countText(g.notAccepted);
        cells[SInProgress] = countText(g.inProgress);
        cells[SFinished] = countText(g.finished);
        cells[SVoided] = countText(g.voided);
        cells[SHours] = hoursText(g.averageHours());
        cells[SOverdue] = countText(g.overdue);
        return bulk.append(cells, SColumns);
    };
    for (const GroupCounts &g : groups) {
        append(g);
        all.add(g);
    }
    const int last = append(all);
    for (int c = 0; c < SColumns; ++c) model->setCellStyle(last, c, QColor(0, 0, 0), true);
    return all.total;
}

void AnalysisWindow::fillBacklog(const QVector<PostBacklog> &backlog, const QDateTime &now)
{
    GridModel *model = m_backlog->grid();
    GridModel::Bulk bulk(*model, GridModel::ReplaceRows);
    QString cells[BColumns];
    for (const PostBacklog &b : backlog) {
        cells[BDept] = CodeName::join(b.deptCode, b.deptName);
        cells[BPost] = CodeName::join(b.postCode, b.postName);
        cells[BOpen] = countText(b.open);
        cells[BOver24] = countText(b.over24);
        cells[BOver72] = countText(b.over72);
        cells[BLongest] = DateText::waiting(b.oldest, now);
        const int row = bulk.append(cells, BColumns);
        if (b.over72 > 0) model->setCellStyle(row, BOver72, QColor(255, 0, 0), true);
    }
}

void AnalysisWindow::drawGroups(const QVector<GroupCounts> &groups)
{
    QChart *chart = clearedChart(m_groupsChart, QStringLiteral("投诉数（按状态）"));
    const struct {
        QString name;
        QColor color;
        int GroupCounts::*count;
    } stacks[] = {{Status::notAccepted(), QColor(230, 126, 34), &GroupCounts::notAccepted},
                  {Status::inProgress(), QColor(52, 152, 219), &GroupCounts::inProgress},
                  {Status::finished(), QColor(39, 174, 96), &GroupCounts::finished},
                  {QStringLiteral("已作废"), QColor(149, 165, 166), &GroupCounts::voided}};
    auto *series = new QStackedBarSeries;
    int highest = 0;
    for (const auto &stack : stacks) {
        auto *set = new QBarSet(stack.name);
        set->setColor(stack.color);
        for (const GroupCounts &g : groups) *set << g.*stack.count;
        series->append(set);
    }
    QStringList labels;
    for (const GroupCounts &g : groups) {
        labels << g.label;
        highest = qMax(highest, g.total);
    }
    chart->addSeries(series);
    auto *x = new QBarCategoryAxis;
    x->append(labels);
    x->setTruncateLabels(false);  // upright instead, where they do not fit side by side
    QValueAxis *y = countAxis(highest);
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);
    series->attachAxis(x);
    series->attachAxis(y);
    standLabels(chart);
}

void AnalysisWindow::drawDays(const QVector<QPair<QDate, int>> &days, const QDate &from, const QDate &to)
{
    QChart *chart = clearedChart(m_daysChart, QStringLiteral("每日投诉数"));
    auto *series = new QLineSeries;
    series->setName(QStringLiteral("投诉数"));
    // Every day of the period has its point, at its day's number from the first; days without
    // complaints are zero.
    const int dayCount = int(from.daysTo(to)) + 1;
    int next = 0, highest = 0;
    for (int d = 0; d < dayCount; ++d) {
        const QDate day = from.addDays(d);
        int count = 0;
        while (next < days.size() && days.at(next).first < day) ++next;
        if (next < days.size() && days.at(next).first == day) count = days.at(next).second;
        series->append(d, count);
        highest = qMax(highest, count);
    }
    // Up to a month the points are marked, so that a single day shows as a dot.
    series->setPointsVisible(dayCount <= kDailyLabelDays);
    chart->addSeries(series);
    QCategoryAxis *x = dayAxis(from, to);
    QValueAxis *y = countAxis(highest);
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);
    series->attachAxis(x);
    series->attachAxis(y);
    standLabels(chart);
}

void AnalysisWindow::showSatisfaction(const SatisfactionCounts &c)
{
    if (c.visited == 0) {
        m_satisfaction->setText(QStringLiteral("本期无回访"));
        return;
    }
    m_satisfaction->setText(QStringLiteral("回访%1件：满意%2，基本满意%3，不满意%4")
                                .arg(c.visited)
                                .arg(percent(c.satisfied, c.visited), percent(c.fairlySatisfied, c.visited),
                                     percent(c.dissatisfied, c.visited)));
}

void AnalysisWindow::exportSummary()
{
    ErrorReports::guard(ErrorReports::Kind::Short, [&] {
        // The sheet is named after the days of the analysis on show; before any, after the pickers.
        const QDate from = m_shownFrom.isValid() ? m_shownFrom : m_from->date();
        const QDate to = m_shownTo.isValid() ? m_shownTo : m_to->date();
        ExportWindow::showFor(m_exportWindow, this, m_summary->grid(), ExportWindow::periodSheetName(from, to, kTitle),
                              kTitle);
        // The second title row of the sheet says what the numbers cover.
        setTag(m_exportWindow, m_shownScope);
    });
}

#include "StatisticsWindow.h"

#include <QComboBox>
#include <QDateEdit>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QResizeEvent>
#include <QStatusBar>

#include "ExportWindow.h"
#include "common/Clock.h"
#include "common/Controls.h"
#include "common/ErrorReports.h"
#include "common/FlexGrid.h"
#include "common/MainArea.h"
#include "common/Messages.h"
#include "common/Session.h"
#include "common/Twips.h"
#include "common/WaitCursor.h"

namespace {

// Heights in twips of the parts that do not stretch.
constexpr int kFiltersHeight = 780;
constexpr int kDetailHeight = 3150;
// The grid sits this much lower and narrower than its frame.
constexpr int kGridHeightLess = 300;
constexpr int kGridWidthLess = 50;
// Room beside a cell's text: the grid's 90 twips and the view's cell padding.
constexpr int kCellMargin = 90 + Twips::fromPixels(3);

const QString kSheetTitle = QStringLiteral("投诉情况统计表");

}  // namespace

StatisticsWindow::StatisticsWindow(QWidget *parent) : QWidget(parent), m_store(gConn)
{
    setObjectName(QStringLiteral("frm投诉信息统计"));
    setWindowTitle(QStringLiteral("投诉信息统计"));
    buildControls();

    // The first day of this month to today; every status.
    const QDate today = Clock::today();
    m_from->setDate(QDate(today.year(), today.month(), 1));
    m_to->setDate(today);
    m_status->setCurrentIndex(0);

    MainArea::setOpensMaximized(this);
    resize(Twips::toPixels(15000), Twips::toPixels(10500));
}

void StatisticsWindow::buildControls()
{
    // The filters and buttons ---------------------------------------------------------------
    m_filters = named(new QGroupBox(this), QStringLiteral("Frame3"));
    QWidget *f = m_filters;
    struct Place {
        QWidget *widget;
        int x, width;
    };
    QLabel *label2 = named(new QLabel(QStringLiteral("投诉日期范围"), f), QStringLiteral("Label2"));
    m_from = makeDatePicker(f, QStringLiteral("DTPicker1"));
    QLabel *label3 = named(new QLabel(QStringLiteral("至"), f), QStringLiteral("Label3"));
    m_to = makeDatePicker(f, QStringLiteral("DTPicker2"));
    QLabel *label4 = named(new QLabel(QStringLiteral("处理状态"), f), QStringLiteral("Label4"));
    m_status = named(new QComboBox(f), QStringLiteral("Combo1"));
    m_status->addItems(
        {QStringLiteral("全  部"), QStringLiteral("处理中"), QStringLiteral("处理完成"), QStringLiteral("尚未受理")});
    m_query = makeButton(f, QStringLiteral("Command1"), QStringLiteral("统计"));
    m_exportButton = makeButton(f, QStringLiteral("Command4"), QStringLiteral("输出EXCEL"));
    m_close = makeButton(f, QStringLiteral("Command5"), QStringLiteral("退出"));
    const Place places[] = {{label2, 10, 84},   {m_from, 96, 120},         {label3, 222, 18},
                            {m_to, 242, 120},   {label4, 380, 58},         {m_status, 440, 110},
                            {m_query, 570, 84}, {m_exportButton, 662, 96}, {m_close, 766, 84}};
    for (const Place &p : places) p.widget->setGeometry(p.x, 13, p.width, 26);

    // The list -------------------------------------------------------------------------------
    m_listFrame = named(new QGroupBox(QStringLiteral("投诉信息列表"), this), QStringLiteral("Frame4"));
    m_grid = named(new FlexGrid(m_listFrame), QStringLiteral("MSFlexGrid1"));
    m_grid->grid()->setFormatString(StatisticsStore::formatString(), m_grid->font());
    m_grid->setFixedFirstColumn(true);

    // The record of one complaint ---------------------------------------------------------------
    m_detailFrame = named(new QGroupBox(QStringLiteral("投诉详细信息"), this), QStringLiteral("Frame2"));
    m_detail = named(new QWidget(m_detailFrame), QStringLiteral("Picture1"));
    auto *frameLayout = new QVBoxLayout(m_detailFrame);
    frameLayout->setContentsMargins(6, 4, 6, 6);
    frameLayout->addWidget(m_detail);
    auto *grid = new QGridLayout(m_detail);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(4);
    for (int i = 0; i <= 10; ++i) {
        auto *box = named(new QLineEdit(m_detail), QStringLiteral("Text1(%1)").arg(i));
        box->setReadOnly(true);  // shown from the complaint, never stored from here
        m_boxes << box;
    }
    struct Cell {
        int box;
        const char *label;
        int row, column, span;
    };
    const Cell cells[] = {
        {0, "投诉单编号", 0, 0, 1},  {2, "投诉时间", 0, 2, 1}, {3, "受理时间", 0, 4, 1}, {1, "投诉人", 1, 0, 3},
        {10, "投诉单状态", 1, 4, 1}, {8, "联系人", 2, 0, 1},   {9, "联系电话", 2, 2, 1}, {7, "处理时间", 2, 4, 1},
        {4, "投诉内容", 3, 0, 5},    {5, "调查情况", 4, 0, 5}, {6, "处理结果", 5, 0, 5},
    };
    for (const Cell &c : cells) {
        auto *label = new QLabel(QString::fromUtf8(c.label), m_detail);
        label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        grid->addWidget(label, c.row, c.column);
        grid->addWidget(m_boxes[c.box], c.row, c.column + 1, 1, c.span);
    }
    for (int column : {1, 3, 5}) grid->setColumnStretch(column, 1);

    m_statusBar = named(new QStatusBar(this), QStringLiteral("StatusBar1"));
    m_statusBar->setSizeGripEnabled(false);

    connect(m_query, &QPushButton::clicked, this, &StatisticsWindow::runQuery);
    connect(m_exportButton, &QPushButton::clicked, this, &StatisticsWindow::exportList);
    connect(m_close, &QPushButton::clicked, this, [this] { MainArea::closeWindow(this); });
    connect(m_grid, &FlexGrid::cellClicked, this, [this](int row) { showRecord(row); });
}

void StatisticsWindow::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    layoutControls();
}

void StatisticsWindow::layoutControls()
{
    const int width = this->width();
    const int filters = Twips::toPixels(kFiltersHeight);
    const int detail = Twips::toPixels(kDetailHeight);
    const int bar = m_statusBar->sizeHint().height();
    const int list = qMax(Twips::toPixels(1200), height() - filters - detail - bar);
    m_filters->setGeometry(0, 0, width, filters);
    m_listFrame->setGeometry(0, filters, width, list);
    m_grid->setGeometry(Twips::toPixels(kGridWidthLess) / 2 + 1, Twips::toPixels(kGridHeightLess) - 2,
                        width - Twips::toPixels(kGridWidthLess), list - Twips::toPixels(kGridHeightLess));
    m_detailFrame->setGeometry(0, filters + list, width, detail);
    m_statusBar->setGeometry(0, height() - bar, width, bar);
}

void StatisticsWindow::fitFixedLengthColumns()
{
    m_grid->grid()->growWidthsToFit(
        m_grid->font(), kCellMargin,
        {StatisticsColumn::Row, StatisticsColumn::Code, StatisticsColumn::Time, StatisticsColumn::Finished,
         StatisticsColumn::Telephone, StatisticsColumn::Status});
}

void StatisticsWindow::runQuery()
{
    const QDate from = m_from->date();
    const QDate to = m_to->date();
    if (from > to) {
        Messages::plain(QStringLiteral("起始日期不能大于结束日期,请重新选择日期!"));
        return;
    }
    const StatisticsQuery query{gDeptCode, from, to, StatusFilter(qMax(0, m_status->currentIndex()))};
    m_listFrom = from;
    m_listTo = to;
    ErrorReports::guard(ErrorReports::Kind::Short, [&] {
        WaitCursor wait;
        m_statusBar->clearMessage();
        const int lines = m_store.fill(*m_grid->grid(), query);
        fitFixedLengthColumns();
        m_statusBar->showMessage(QStringLiteral("共 %1 条投诉").arg(lines));
    });
}

void StatisticsWindow::showRecord(int row)
{
    GridModel *model = m_grid->grid();
    if (row < 0 || row >= model->rowCount()) return;
    ErrorReports::guard(ErrorReports::Kind::Short, [&] {
        // The status box keeps its text until a record is found.
        for (int i = 0; i < 10; ++i) m_boxes[i]->clear();
        const QString code = model->text(row, StatisticsColumn::Code);
        const QString status = model->text(row, StatisticsColumn::Status);
        WaitCursor wait;
        const std::optional<QStringList> texts = m_store.record(code);
        if (!texts) return;
        for (int i = 0; i < 10; ++i) m_boxes[i]->setText(texts->at(i));
        m_boxes[10]->setText(status);
        for (QLineEdit *box : m_boxes) {
            QPalette blue = box->palette();
            blue.setColor(QPalette::Text, QColor(0, 0, 255));
            box->setPalette(blue);
            box->setCursorPosition(0);
        }
    });
}

void StatisticsWindow::exportList()
{
    ErrorReports::guard(ErrorReports::Kind::Short, [&] {
        // The sheet is named after the days of the list on show; before any list, after the pickers.
        const QDate from = m_listFrom.isValid() ? m_listFrom : m_from->date();
        const QDate to = m_listTo.isValid() ? m_listTo : m_to->date();
        ExportWindow::showFor(m_exportWindow, this, m_grid->grid(),
                              ExportWindow::periodSheetName(from, to, kSheetTitle), kSheetTitle);
    });
}

#include "FollowUpWindow.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QResizeEvent>
#include <QStatusBar>

#include "common/Clock.h"
#include "common/Controls.h"
#include "common/DateText.h"
#include "common/ErrorReports.h"
#include "common/FlexGrid.h"
#include "common/MainArea.h"
#include "common/Messages.h"
#include "common/ReportList.h"
#include "common/Session.h"
#include "common/Twips.h"
#include "common/WaitCursor.h"
#include "data/DbError.h"

namespace {

// The bottom part (the complaint and the visit) and the room above each list, in twips.
constexpr int kBottomHeight = 3300;
constexpr int kCaptionHeight = 330;
constexpr int kVisitWidth = 3300;

QPlainTextEdit *readOnlyText(QWidget *parent, const QString &name)
{
    QPlainTextEdit *edit = makeMultiLine(parent, name);
    edit->setReadOnly(true);
    return edit;
}

}  // namespace

FollowUpWindow::FollowUpWindow(QWidget *parent)
    : QWidget(parent)
    , m_store(gConn)
    , m_awaiting(named(new FlexGrid(this), QStringLiteral("ListView1")))
    , m_visited(named(new FlexGrid(this), QStringLiteral("ListView2")))
    , m_caseFrame(makeFrame(this, QStringLiteral("Frame1"), QStringLiteral("投诉情况")))
    , m_visitFrame(makeFrame(this, QStringLiteral("Frame2"), QStringLiteral("回访")))
{
    setObjectName(QStringLiteral("frm投诉回访"));
    setWindowTitle(QStringLiteral("投诉回访"));

    makeLabel(this, QStringLiteral("Label1(0)"), QStringLiteral("待回访投诉"), 150, 120);
    setUpReportList(m_awaiting,
                    {QStringLiteral("序"), QStringLiteral("编号"), QStringLiteral("投诉人"), QStringLiteral("联系电话"),
                     QStringLiteral("投诉内容"), QStringLiteral("处理结果"), QStringLiteral("处理时间"),
                     QStringLiteral("等待回访")},
                    {450, 1000, 1700, 1500, 3000, 2700, 1700, 1500});
    m_visitedCaption = makeLabel(this, QStringLiteral("Label1(1)"), QStringLiteral("已回访投诉（近30天）"), 150, 0);
    setUpReportList(m_visited,
                    {QStringLiteral("序"), QStringLiteral("编号"), QStringLiteral("投诉人"), QStringLiteral("处理结果"),
                     QStringLiteral("回访人"), QStringLiteral("回访时间"), QStringLiteral("结果满意度")},
                    {450, 1000, 1700, 5200, 1300, 1700, 1300});

    auto *caseLayout = new QGridLayout(m_caseFrame);
    caseLayout->setContentsMargins(6, 18, 6, 6);
    caseLayout->setHorizontalSpacing(6);
    caseLayout->setVerticalSpacing(2);
    m_complainant = named(new QLineEdit(m_caseFrame), QStringLiteral("Text1(0)"));
    m_complainant->setReadOnly(true);
    m_content = readOnlyText(m_caseFrame, QStringLiteral("Text1(1)"));
    m_findings = readOnlyText(m_caseFrame, QStringLiteral("Text1(2)"));
    m_reply = readOnlyText(m_caseFrame, QStringLiteral("Text1(3)"));
    auto *complainantRow = new QHBoxLayout;
    complainantRow->addWidget(named(new QLabel(QStringLiteral("投诉人"), m_caseFrame), QStringLiteral("Label2(0)")));
    complainantRow->addWidget(m_complainant, 1);
    caseLayout->addLayout(complainantRow, 0, 0, 1, 3);
    const struct {
        const char *name, *caption;
        QPlainTextEdit *box;
    } columns[] = {{"Label2(1)", "投诉内容", m_content},
                   {"Label2(2)", "调查情况", m_findings},
                   {"Label2(3)", "处理结果", m_reply}};
    for (int c = 0; c < 3; ++c) {
        auto *label =
            named(new QLabel(QString::fromUtf8(columns[c].caption), m_caseFrame), QString::fromUtf8(columns[c].name));
        caseLayout->addWidget(label, 1, c);
        caseLayout->addWidget(columns[c].box, 2, c);
        caseLayout->setColumnStretch(c, 1);
    }
    caseLayout->setRowStretch(2, 1);

    auto *visitLayout = new QGridLayout(m_visitFrame);
    visitLayout->setContentsMargins(9, 18, 9, 9);
    visitLayout->addWidget(named(new QLabel(QStringLiteral("结果满意度"), m_visitFrame), QStringLiteral("Label3")), 0,
                           0);
    m_satisfaction = named(new QComboBox(m_visitFrame), QStringLiteral("Combo1"));
    m_satisfaction->addItems(FollowUpStore::satisfactionLevels());
    m_satisfaction->setCurrentIndex(-1);
    visitLayout->addWidget(m_satisfaction, 1, 0);
    m_done = makeButton(m_visitFrame, QStringLiteral("Command1"), QStringLiteral("回访完成"));
    m_done->setMinimumHeight(Twips::toPixels(495));
    visitLayout->addWidget(m_done, 2, 0);
    visitLayout->setRowStretch(3, 1);

    m_refresh = makeButton(this, QStringLiteral("Command5"), QStringLiteral("刷新"));
    m_close = makeButton(this, QStringLiteral("Command6"), QStringLiteral("退出"));
    m_status = named(new QStatusBar(this), QStringLiteral("StatusBar1"));
    m_status->setSizeGripEnabled(false);

    connect(m_awaiting, &FlexGrid::rowChosen, this, [this](int row) { choose(m_awaiting, row, ACode); });
    connect(m_visited, &FlexGrid::rowChosen, this, [this](int row) { choose(m_visited, row, VCode); });
    connect(m_done, &QPushButton::clicked, this, &FollowUpWindow::recordVisit);
    connect(m_refresh, &QPushButton::clicked, this, &FollowUpWindow::refresh);
    connect(m_close, &QPushButton::clicked, this, [this] { MainArea::closeWindow(this); });

    refreshOnEveryActivation(this, [this] { refresh(); });
    resize(Twips::toPixels(14400), Twips::toPixels(9900));
}

void FollowUpWindow::refresh()
{
    ErrorReports::guard(ErrorReports::Kind::Numbered, [&] {
        WaitCursor wait;
        const QDateTime now = Clock::now();
        const QVector<AwaitingVisit> awaiting = m_store.awaiting(gDeptCode);
        const QVector<VisitedComplaint> visited = m_store.visitedRecently(gDeptCode, now);
        fillAwaiting(awaiting, now);
        fillVisited(visited);
        // The complaint the user was about to record stays chosen while it still waits.
        const int row = m_awaitingCode.isEmpty() ? -1 : rowOfCode(m_awaiting, ACode, m_awaitingCode);
        m_awaiting->setCurrentRow(row);
        if (row < 0 && !m_awaitingCode.isEmpty()) {
            m_awaitingCode.clear();
            showCase(QString());
        }
        showStatus();
    });
}

void FollowUpWindow::fillAwaiting(const QVector<AwaitingVisit> &list, const QDateTime &now)
{
    GridModel *model = m_awaiting->grid();
    GridModel::Bulk bulk(*model, GridModel::ReplaceRows);
    QString cells[AColumns];
    // "Now" in UTC once: a local time's offset would be looked up again for every row.
    const qint64 nowMs = now.toMSecsSinceEpoch();
    for (int i = 0; i < list.size(); ++i) {
        const AwaitingVisit &c = list.at(i);
        cells[ARow] = QString::number(i + 1);
        cells[ACode] = c.code;
        cells[AComplainant] = c.complainant;
        cells[APhone] = c.phone;
        cells[AContent] = c.content;
        cells[AReply] = c.reply;
        cells[AFinished] = c.finishedText;
        cells[AWaiting] = DateText::waitingInDays(c.finished, now);
        const int row = bulk.append(cells, AColumns);
        if (c.finished.isValid() && (nowMs - c.finished.toMSecsSinceEpoch()) / 1000 > kLateHours * 3600LL)
            model->setCellStyle(row, AWaiting, QColor(255, 0, 0), true);
    }
}

void FollowUpWindow::fillVisited(const QVector<VisitedComplaint> &list)
{
    GridModel *model = m_visited->grid();
    GridModel::Bulk bulk(*model, GridModel::ReplaceRows);
    QString cells[VColumns];
    m_satisfied = 0;
    for (int i = 0; i < list.size(); ++i) {
        const VisitedComplaint &c = list.at(i);
        cells[VRow] = QString::number(i + 1);
        cells[VCode] = c.code;
        cells[VComplainant] = c.complainant;
        cells[VReply] = c.reply;
        cells[VVisitor] = c.visitor;
        cells[VVisited] = c.visitedText;
        cells[VSatisfaction] = c.satisfaction;
        bulk.append(cells, VColumns);
        if (FollowUpStore::isSatisfied(c.satisfaction)) ++m_satisfied;
    }
}

void FollowUpWindow::showStatus()
{
    const int visited = m_visited->grid()->rowCount();
    // No visit yet: no rate either.
    const QString rate = visited == 0 ? QStringLiteral("-") : QString::number(qRound(100.0 * m_satisfied / visited));
    m_status->showMessage(QStringLiteral("待回访 %1 条，近30天已回访 %2 条，满意率 %3%")
                              .arg(m_awaiting->grid()->rowCount())
                              .arg(visited)
                              .arg(rate));
}

void FollowUpWindow::choose(FlexGrid *list, int row, int codeColumn)
{
    const QString code = list->grid()->text(row, codeColumn);
    if (code.isEmpty()) return;
    if (list == m_awaiting) {
        m_visited->setCurrentRow(-1);
        // Another complaint: its answer is asked afresh.
        if (code != m_awaitingCode) m_satisfaction->setCurrentIndex(-1);
        m_awaitingCode = code;
    } else {
        m_awaiting->setCurrentRow(-1);
        m_awaitingCode.clear();
        m_satisfaction->setCurrentIndex(-1);
    }
    ErrorReports::guard(ErrorReports::Kind::Numbered, [&] { showCase(code); });
}

void FollowUpWindow::showCase(const QString &code)
{
    const std::optional<VisitCase> c = code.isEmpty() ? std::nullopt : m_store.details(code);
    m_complainant->setText(c ? c->address + QLatin1Char(' ') + c->complainant : QString());
    m_complainant->setCursorPosition(0);
    m_content->setPlainText(c ? c->content : QString());
    m_findings->setPlainText(c ? c->findings : QString());
    m_reply->setPlainText(c ? c->reply : QString());
}

void FollowUpWindow::recordVisit()
{
    if (m_awaitingCode.isEmpty() || selectedRow(m_awaiting) < 0) {
        Messages::plain(QStringLiteral("请先在列表中选择一条投诉"));
        return;
    }
    if (m_satisfaction->currentIndex() < 0) {
        Messages::plain(QStringLiteral("请选择满意度"));
        return;
    }
    const QString code = m_awaitingCode;
    ErrorReports::guard(ErrorReports::Kind::Numbered, [&] {
        WaitCursor wait;
        try {
            m_store.visit(code, gUserName, m_satisfaction->currentText(), Clock::now());
        } catch (const ConcurrentChange &e) {
            Messages::information(e.description());
            refresh();
            return;
        }
        // The complaint leaves the waiting list and heads the visited one.
        m_awaiting->grid()->removeDataRow(rowOfCode(m_awaiting, ACode, code));
        m_awaiting->setCurrentRow(-1);
        m_awaitingCode.clear();
        m_satisfaction->setCurrentIndex(-1);
        showCase(QString());
        fillVisited(m_store.visitedRecently(gDeptCode, Clock::now()));
        showStatus();
    });
}

void FollowUpWindow::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    layoutControls();
}

void FollowUpWindow::layoutControls()
{
    const int width = Twips::fromPixels(this->width());
    const int barHeight = m_status->sizeHint().height();
    m_status->setGeometry(0, this->height() - barHeight, this->width(), barHeight);
    const int bottomTop = Twips::fromPixels(this->height() - barHeight) - 60 - kBottomHeight;
    const int closeLeft = width - 300 - 1095;
    placeTwips(m_close, closeLeft, 60, 1095, 315);
    placeTwips(m_refresh, closeLeft - 1200, 60, 1095, 315);
    // The waiting list gets three fifths of the room above the bottom part.
    const int listsTop = 60 + kCaptionHeight;
    const int room = bottomTop - listsTop - 60 - kCaptionHeight;
    const int first = qMax(600, room * 3 / 5);
    placeTwips(m_awaiting, 60, listsTop, width - 120, first);
    const int secondCaption = listsTop + first + 60;
    m_visitedCaption->move(Twips::toPixels(150), Twips::toPixels(secondCaption + 60));
    placeTwips(m_visited, 60, secondCaption + kCaptionHeight, width - 120, qMax(600, room - first));
    placeTwips(m_caseFrame, 60, bottomTop, width - 120 - kVisitWidth - 60, kBottomHeight);
    placeTwips(m_visitFrame, width - 60 - kVisitWidth, bottomTop, kVisitWidth, kBottomHeight);
}

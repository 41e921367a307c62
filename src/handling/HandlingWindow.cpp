#include "HandlingWindow.h"

#include <QGroupBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QResizeEvent>
#include <QStatusBar>

#include "HandlingWindows.h"
#include "common/Clock.h"
#include "common/DateText.h"
#include "common/ErrorReports.h"
#include "common/FlexGrid.h"
#include "common/MainArea.h"
#include "common/Messages.h"
#include "common/Session.h"
#include "common/WaitCursor.h"

HandlingWindow::HandlingWindow(QWidget *parent)
    : QWidget(parent), m_store(gConn), m_list(new FlexGrid(this)), m_desk(this, gConn)
{
    setObjectName(QStringLiteral("frm投诉处理"));
    setWindowTitle(QStringLiteral("投诉处理"));
    MainArea::setOpensMaximized(this);

    makeLabel(this, QStringLiteral("Label1"), QStringLiteral("等待您阅处的投诉"), 150, 240);
    m_list->setObjectName(QStringLiteral("ListView1"));
    setUpReportList(
        m_list,
        {QStringLiteral("序"), QStringLiteral("投诉人"), QStringLiteral("投诉时间"), QStringLiteral("投诉内容"),
         QStringLiteral("转呈时间"), QStringLiteral("您处等待时间"), QStringLiteral("投诉编号"),
         QStringLiteral("联系人"), QStringLiteral("联系电话"), QStringLiteral("调查情况"), QStringLiteral("ID")},
        {400, 3500, 1700, 3500, 1700, 1700, 1440, 1440, 1440, 2000, 1440});

    makeLabel(m_desk.frame2, QStringLiteral("Label3(0)"), QStringLiteral("调查情况"), 90, 210);
    m_findings = makeMultiLine(m_desk.frame2, QStringLiteral("Text2"));
    m_findings->setReadOnly(true);  // shown from the complaint, never stored from here
    makeLabel(m_desk.frame2, QStringLiteral("Label3(1)"), QStringLiteral("我的处理意见（内部意见）"), 90, 2370);
    m_opinion = makeMultiLine(m_desk.frame2, QStringLiteral("Text3"));
    m_desk.addButtons();

    m_desk.setActionsEnabled(false, false, false, false);

    connect(m_list, &FlexGrid::rowChosen, this, &HandlingWindow::selectLine);
    connect(m_desk.finish, &QPushButton::clicked, this, &HandlingWindow::finishStep);
    connect(m_desk.forward, &QPushButton::clicked, this, &HandlingWindow::forwardStep);
    connect(m_desk.review, &QPushButton::clicked, this, &HandlingWindow::showReviewComments);
    connect(m_desk.refresh, &QPushButton::clicked, this, &HandlingWindow::refresh);
    m_desk.offerSheet([this] {
        const int row = selectedRow(m_list);
        return row < 0 ? QString() : m_list->grid()->text(row, Code);
    });
    m_desk.start([this] { refresh(); });
}

void HandlingWindow::refresh()
{
    ErrorReports::guard(ErrorReports::Kind::Numbered, [&] {
        WaitCursor wait;
        const QVector<HandlingLine> lines = m_store.openSteps(gDeptCode, gPostCode);
        const QDateTime now = Clock::now();
        const qint64 keep = selectedStep();
        int keepRow = -1;
        GridModel *model = m_list->grid();
        {
            GridModel::Bulk bulk(*model, GridModel::ReplaceRows);
            QString cells[ColumnCount];
            for (int i = 0; i < lines.size(); ++i) {
                const HandlingLine &line = lines.at(i);
                cells[RowNumber] = QString::number(i + 1);
                cells[Complainant] = line.address + QLatin1Char(' ') + line.complainant;
                cells[ComplaintTime] = DateText::list(line.complaintTime);
                cells[Content] = line.content;
                cells[ForwardedAt] = DateText::list(line.accepted);
                cells[Waiting] = DateText::waiting(line.accepted, now);
                cells[Code] = line.complaintCode;
                cells[Contact] = line.complainant;
                cells[Phone] = line.phone;
                cells[Findings] = line.findings;
                cells[StepId] = QString::number(line.stepId);
                bulk.append(cells, ColumnCount);
                if (line.stepId == keep) keepRow = i;
            }
        }
        // The line the user was working on stays selected when it is still there.
        m_list->setCurrentRow(keepRow);
        showCount();
    });
}

// What the list holds now: after a refresh, and after a step left it.
void HandlingWindow::showCount()
{
    m_desk.status->showMessage(QStringLiteral("共 %1 条").arg(m_list->grid()->rowCount()));
}

qint64 HandlingWindow::selectedStep() const
{
    const int row = selectedRow(m_list);
    return row < 0 ? 0 : m_list->grid()->text(row, StepId).toLongLong();
}

void HandlingWindow::selectLine(int row)
{
    GridModel *model = m_list->grid();
    if (row < 0 || row >= model->rowCount()) return;
    const qint64 step = model->text(row, StepId).toLongLong();
    // Clicking the line already shown again keeps the opinion typed for it.
    if (step == m_shownStep && m_desk.finish->isEnabled()) return;
    m_shownStep = step;
    m_desk.details.show(model->text(row, Complainant), model->text(row, Content), model->text(row, Contact),
                        model->text(row, Phone));
    m_findings->setPlainText(model->text(row, Findings));
    m_opinion->clear();
    m_desk.setActionsEnabled(true, true, true, true);
    m_opinion->setFocus();
    m_opinion->moveCursor(QTextCursor::Start);
}

bool HandlingWindow::requireSelection()
{
    if (selectedStep() > 0) return true;
    Messages::plain(QStringLiteral("请先在列表中选择一条投诉"));
    return false;
}

void HandlingWindow::afterAction(qint64 stepId)
{
    GridModel *model = m_list->grid();
    for (int row = model->rowCount() - 1; row >= 0; --row)
        if (model->text(row, StepId).toLongLong() == stepId) model->removeDataRow(row);
    m_list->setCurrentRow(-1);
    m_desk.setActionsEnabled(false, false, false, false);
    m_shownStep = 0;
    m_desk.details.clear();
    m_findings->clear();
    m_opinion->clear();
    showCount();
}

void HandlingWindow::finishStep()
{
    if (!requireSelection()) return;
    if (m_opinion->toPlainText().isEmpty()) {
        Messages::plain(QStringLiteral("必须输入您的意见"));
        return;
    }
    const qint64 step = selectedStep();
    if (m_desk.store([&] { m_store.finish(step, m_opinion->toPlainText()); })) afterAction(step);
}

void HandlingWindow::forwardStep()
{
    if (!requireSelection()) return;
    if (m_opinion->toPlainText().isEmpty()) {
        Messages::plain(QStringLiteral("必须输入您的意见"));
        return;
    }
    if (!m_desk.requireTarget()) return;
    const qint64 step = selectedStep();
    const bool stored = m_desk.store([&] {
        m_store.forward(step, m_opinion->toPlainText(), m_desk.target.departmentCode(), m_desk.target.postCode());
    });
    if (stored) afterAction(step);
}

void HandlingWindow::showReviewComments()
{
    if (!requireSelection()) return;
    const QString code = m_list->grid()->text(selectedRow(m_list), Code);
    showReviewCommentsOf(this, code);
}

void HandlingWindow::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    layoutControls();
}

void HandlingWindow::layoutControls()
{
    const WorkDesk::Geometry g = m_desk.layout();
    placeTwips(m_list, 60, 510, g.width - 120, g.frameTop - 60 - 510);
    placeTwips(m_findings, 90, 450, g.textWidth, 1800);
    placeTwips(m_opinion, 90, 2610, g.textWidth, 2160);
}

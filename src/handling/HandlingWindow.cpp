#include "HandlingWindow.h"

#include <QGroupBox>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QResizeEvent>
#include <QStatusBar>

#include "HandlingWindows.h"
#include "common/DateText.h"
#include "common/ErrorReports.h"
#include "common/FlexGrid.h"
#include "common/MainArea.h"
#include "common/Messages.h"
#include "common/Session.h"
#include "common/Twips.h"
#include "common/WaitCursor.h"

HandlingWindow::HandlingWindow(QWidget *parent, NowSource now)
    : QWidget(parent)
    , m_store(gConn, std::move(now))
    , m_list(new FlexGrid(this))
    , m_details(this)
    , m_frame2(makeFrame(this, QStringLiteral("Frame2"), QStringLiteral("处理")))
    , m_target(m_frame2, gConn)
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

    makeLabel(m_frame2, QStringLiteral("Label3(0)"), QStringLiteral("调查情况"), 90, 210);
    m_findings = makeMultiLine(m_frame2, QStringLiteral("Text2"));
    m_findings->setReadOnly(true);  // shown from the complaint, never stored from here
    makeLabel(m_frame2, QStringLiteral("Label3(1)"), QStringLiteral("我的处理意见（内部意见）"), 90, 2370);
    m_opinion = makeMultiLine(m_frame2, QStringLiteral("Text3"));
    m_finish = makeButton(m_frame2, QStringLiteral("Command1"), QStringLiteral("处理完成"));
    m_forward = makeButton(m_frame2, QStringLiteral("Command2"), QStringLiteral("转呈其他领导阅处"));
    m_review = makeButton(m_frame2, QStringLiteral("Command4"), QStringLiteral("阅处情况查阅"));
    m_refresh = makeButton(this, QStringLiteral("Command5"), QStringLiteral("刷新"));
    m_close = makeButton(this, QStringLiteral("Command6"), QStringLiteral("退出"));
    m_status = new QStatusBar(this);
    m_status->setObjectName(QStringLiteral("StatusBar1"));
    m_status->setSizeGripEnabled(false);

    setActionsEnabled(false);

    connect(m_list, &FlexGrid::rowChosen, this, &HandlingWindow::selectLine);
    connect(m_finish, &QPushButton::clicked, this, &HandlingWindow::finishStep);
    connect(m_forward, &QPushButton::clicked, this, &HandlingWindow::forwardStep);
    connect(m_review, &QPushButton::clicked, this, &HandlingWindow::showReviewComments);
    connect(m_refresh, &QPushButton::clicked, this, &HandlingWindow::refresh);
    connect(m_close, &QPushButton::clicked, this, [this] { MainArea::closeWindow(this); });

    ErrorReports::guard(ErrorReports::Kind::Numbered, [&] {
        WaitCursor wait;
        m_target.build(gConn);
    });
    refreshOnEveryActivation(this, [this] { refresh(); });
    resize(Twips::toPixels(14100), Twips::toPixels(11100));
}

void HandlingWindow::setActionsEnabled(bool enabled)
{
    m_target.frame->setEnabled(enabled);
    m_review->setEnabled(enabled);
    m_finish->setEnabled(enabled);
    m_forward->setEnabled(enabled);
}

void HandlingWindow::refresh()
{
    ErrorReports::guard(ErrorReports::Kind::Numbered, [&] {
        WaitCursor wait;
        const QVector<HandlingLine> lines = m_store.openSteps(gDeptCode, gPostCode);
        const QDateTime now = m_store.now();
        const qint64 keep = selectedStep();
        int keepRow = -1;
        GridModel *model = m_list->grid();
        model->clearRows();
        {
            GridModel::Bulk bulk(*model);
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
void HandlingWindow::showCount() { m_status->showMessage(QStringLiteral("共 %1 条").arg(m_list->grid()->rowCount())); }

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
    if (step == m_shownStep && m_finish->isEnabled()) return;
    m_shownStep = step;
    m_details.show(model->text(row, Complainant), model->text(row, Content), model->text(row, Contact),
                   model->text(row, Phone));
    m_findings->setPlainText(model->text(row, Findings));
    m_opinion->clear();
    setActionsEnabled(true);
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
    setActionsEnabled(false);
    m_shownStep = 0;
    m_details.clear();
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
    ErrorReports::guard(ErrorReports::Kind::Numbered, [&] {
        try {
            WaitCursor wait;
            m_store.finish(step, m_opinion->toPlainText());
        } catch (const ConcurrentChange &e) {
            Messages::information(e.description());
            refresh();
            return;
        }
        afterAction(step);
    });
}

void HandlingWindow::forwardStep()
{
    if (!requireSelection()) return;
    if (m_opinion->toPlainText().isEmpty()) {
        Messages::plain(QStringLiteral("必须输入您的意见"));
        return;
    }
    if (!m_target.hasDepartment()) {
        Messages::plain(QStringLiteral("必须选择转呈部门"));
        return;
    }
    if (m_target.post->text().trimmed().isEmpty()) {
        Messages::plain(QStringLiteral("必须选择岗位"));
        return;
    }
    const qint64 step = selectedStep();
    ErrorReports::guard(ErrorReports::Kind::Numbered, [&] {
        try {
            WaitCursor wait;
            m_store.forward(step, m_opinion->toPlainText(), m_target.departmentCode(), m_target.postCode());
        } catch (const ConcurrentChange &e) {
            Messages::information(e.description());
            refresh();
            return;
        }
        afterAction(step);
    });
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
    const int width = Twips::fromPixels(this->width());
    const int height = Twips::fromPixels(this->height());
    const int barHeight = m_status->sizeHint().height();
    m_status->setGeometry(0, this->height() - barHeight, this->width(), barHeight);
    const int frameTop = height - Twips::fromPixels(barHeight) - 60 - 4905;
    placeTwips(m_details.frame, 60, frameTop, 4095, 4905);
    const int frame2Width = width - 60 - 4200;
    placeTwips(m_frame2, 4200, frameTop, frame2Width, 4905);
    placeTwips(m_list, 60, 510, width - 120, frameTop - 60 - 510);
    const int targetLeft = frame2Width - 45 - 4305;
    placeTwips(m_target.frame, targetLeft, 1140, 4305, 3675);
    placeTwips(m_finish, targetLeft, 480, 1305, 495);
    placeTwips(m_forward, targetLeft + 1305 + 15, 480, 1665, 495);
    placeTwips(m_review, targetLeft + 1305 + 15 + 1665 + 15, 480, 1275, 495);
    placeTwips(m_findings, 90, 450, targetLeft - 60 - 90, 1800);
    placeTwips(m_opinion, 90, 2610, targetLeft - 60 - 90, 2160);
    const int closeLeft = width - 300 - 1095;
    placeTwips(m_close, closeLeft, 120, 1095, 315);
    placeTwips(m_refresh, closeLeft - 1500, 120, 1095, 315);
}

#include "AcceptanceWindow.h"

#include <QGroupBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QResizeEvent>
#include <QStatusBar>

#include "common/Clock.h"
#include "common/DateText.h"
#include "common/ErrorReports.h"
#include "common/FlexGrid.h"
#include "common/MainArea.h"
#include "common/Messages.h"
#include "common/Session.h"
#include "common/Tag.h"
#include "common/WaitCursor.h"
#include "handling/HandlingWindows.h"

namespace {

const QString kPendingTag = QStringLiteral("L1");
const QString kInProgressTag = QStringLiteral("L2");

// A waiting time beyond 24 hour boundaries is drawn bold in red.
bool waitedTooLong(const QDateTime &since, const QDateTime &now)
{
    return since.isValid() && DateText::hourBoundaries(since, now) > 24;
}

}  // namespace

AcceptanceWindow::AcceptanceWindow(QWidget *parent)
    : QWidget(parent)
    , m_store(gConn)
    , m_pending(new FlexGrid(this))
    , m_inProgress(new FlexGrid(this))
    , m_desk(this, gConn)
{
    setObjectName(QStringLiteral("frm投诉受理"));
    setWindowTitle(QStringLiteral("投诉受理"));
    MainArea::setOpensMaximized(this);

    makeLabel(this, QStringLiteral("Label1(0)"), QStringLiteral("待处理投诉"), 150, 240);
    m_pending->setObjectName(QStringLiteral("ListView1"));
    setUpReportList(m_pending,
                    {QStringLiteral("序"), QStringLiteral("编号"), QStringLiteral("投诉类别"), QStringLiteral("投诉人"),
                     QStringLiteral("投诉时间"), QStringLiteral("投诉内容"), QStringLiteral("等待时间")},
                    {400, 1440, 1440, 3940, 2500, 5000, 1600});
    makeLabel(this, QStringLiteral("Label1(1)"), QStringLiteral("正在处理中的投诉"), 150, 2340);
    m_inProgress->setObjectName(QStringLiteral("ListView2"));
    setUpReportList(m_inProgress,
                    {QStringLiteral("序"), QStringLiteral("编号"), QStringLiteral("投诉类别"), QStringLiteral("投诉人"),
                     QStringLiteral("投诉时间"), QStringLiteral("投诉内容"), QStringLiteral("目前处理人"),
                     QStringLiteral("等待时间")},
                    {400, 1440, 1440, 3500, 1700, 3500, 3000, 1700});

    makeLabel(m_desk.frame2, QStringLiteral("Label3(0)"), QStringLiteral("调查情况"), 90, 210);
    m_findings = makeMultiLine(m_desk.frame2, QStringLiteral("Text2"));
    makeLabel(m_desk.frame2, QStringLiteral("Label3(1)"), QStringLiteral("我的处理意见（内部意见）"), 90, 1590);
    m_opinion = makeMultiLine(m_desk.frame2, QStringLiteral("Text3"));
    makeLabel(m_desk.frame2, QStringLiteral("Label3(2)"), QStringLiteral("答复"), 90, 2970);
    m_reply = makeMultiLine(m_desk.frame2, QStringLiteral("Text4"));
    m_desk.addButtons();

    setTag(m_desk.finish, QString());
    m_desk.review->setEnabled(false);
    m_desk.target.frame->setEnabled(false);

    connect(m_pending, &FlexGrid::rowChosen, this, &AcceptanceWindow::selectPending);
    connect(m_inProgress, &FlexGrid::rowChosen, this, &AcceptanceWindow::selectInProgress);
    connect(m_desk.finish, &QPushButton::clicked, this, &AcceptanceWindow::finishComplaint);
    connect(m_desk.forward, &QPushButton::clicked, this, &AcceptanceWindow::forwardComplaint);
    connect(m_desk.review, &QPushButton::clicked, this, &AcceptanceWindow::showReviewComments);
    connect(m_desk.refresh, &QPushButton::clicked, this, &AcceptanceWindow::refresh);
    m_desk.offerSheet([this] { return selectedCode(); });
    m_desk.start([this] { refresh(); });
}

void AcceptanceWindow::refresh()
{
    ErrorReports::guard(ErrorReports::Kind::Numbered, [&] {
        WaitCursor wait;
        const QDateTime now = Clock::now();
        const QVector<PendingComplaint> pending = m_store.pending(gDeptCode, gPostCode);
        const QVector<ComplaintInProgress> inProgress = m_store.inProgress(gDeptCode, gPostCode);
        const QString keep = selectedCode();
        const QString from = tag(m_desk.finish);
        fillPending(pending, now);
        fillInProgress(inProgress, now);
        // The complaint the user was working on stays selected when it is still listed.
        if (!keep.isEmpty()) {
            if (from == kPendingTag) m_pending->setCurrentRow(rowOfCode(m_pending, PCode, keep));
            else m_inProgress->setCurrentRow(rowOfCode(m_inProgress, ICode, keep));
        }
        showCounts();
    });
}

// What the lists hold now: after a refresh, and after a complaint left a list.
void AcceptanceWindow::showCounts()
{
    m_desk.status->showMessage(QStringLiteral("待处理 %1 条，处理中 %2 条")
                                   .arg(m_pending->grid()->rowCount())
                                   .arg(m_inProgress->grid()->rowCount()));
}

void AcceptanceWindow::fillPending(const QVector<PendingComplaint> &list, const QDateTime &now)
{
    GridModel *model = m_pending->grid();
    GridModel::Bulk bulk(*model, GridModel::ReplaceRows);
    QString cells[PColumns];
    for (int i = 0; i < list.size(); ++i) {
        const PendingComplaint &c = list.at(i);
        cells[PRow] = QString::number(i + 1);
        cells[PCode] = c.code;
        cells[PCategory] = c.category;
        cells[PComplainant] = c.address + QLatin1Char(' ') + c.complainant;
        cells[PTime] = DateText::list(c.time);
        cells[PContent] = c.content;
        cells[PWaiting] = DateText::waiting(c.time, now);
        const int row = bulk.append(cells, PColumns);
        if (waitedTooLong(c.time, now)) model->setCellStyle(row, PWaiting, QColor(255, 0, 0), true);
    }
}

void AcceptanceWindow::fillInProgress(const QVector<ComplaintInProgress> &list, const QDateTime &now)
{
    GridModel *model = m_inProgress->grid();
    GridModel::Bulk bulk(*model, GridModel::ReplaceRows);
    QString cells[IColumns];
    for (int i = 0; i < list.size(); ++i) {
        const ComplaintInProgress &c = list.at(i);
        cells[IRow] = QString::number(i + 1);
        cells[ICode] = c.code;
        cells[ICategory] = c.category;
        cells[IComplainant] = c.address + QLatin1Char(' ') + c.complainant;
        cells[ITime] = DateText::list(c.time);
        cells[IContent] = c.content;
        cells[IHolder] = c.holderId.isEmpty() ? QString() : c.holderId + QLatin1Char(' ') + c.holderName;
        cells[IWaiting] = DateText::waiting(c.accepted, now);
        const int row = bulk.append(cells, IColumns);
        if (waitedTooLong(c.accepted, now)) model->setCellStyle(row, IWaiting, QColor(255, 0, 0), true);
    }
}

QString AcceptanceWindow::selectedCode() const
{
    const QString from = tag(m_desk.finish);
    if (from == kPendingTag) {
        const int row = selectedRow(m_pending);
        return row < 0 ? QString() : m_pending->grid()->text(row, PCode);
    }
    if (from == kInProgressTag) {
        const int row = selectedRow(m_inProgress);
        return row < 0 ? QString() : m_inProgress->grid()->text(row, ICode);
    }
    return QString();
}

void AcceptanceWindow::clearInputs()
{
    m_desk.details.clear();
    m_findings->clear();
    m_opinion->clear();
    m_reply->clear();
}

void AcceptanceWindow::selectPending(int row)
{
    const QString code = m_pending->grid()->text(row, PCode);
    if (code.isEmpty()) return;
    // Clicking the complaint already shown again keeps what the user typed for it.
    if (code == m_shownCode && tag(m_desk.finish) == kPendingTag && m_desk.finish->isEnabled()) return;
    clearInputs();
    m_shownCode = code;
    setTag(m_desk.finish, kPendingTag);
    m_inProgress->setCurrentRow(-1);
    ErrorReports::guard(ErrorReports::Kind::Numbered, [&] {
        const ComplaintDetail d = m_store.detail(code);
        m_desk.details.show(d.address + QLatin1Char(' ') + d.complainant, d.content, d.complainant, d.phone);
    });
    m_desk.setActionsEnabled(true, false, true, true);
    m_findings->setFocus();
    m_findings->moveCursor(QTextCursor::Start);
}

void AcceptanceWindow::selectInProgress(int row)
{
    const QString code = m_inProgress->grid()->text(row, ICode);
    if (code.isEmpty()) return;
    if (code == m_shownCode && tag(m_desk.finish) == kInProgressTag && m_desk.finish->isEnabled()) return;
    clearInputs();
    m_shownCode = code;
    setTag(m_desk.finish, kInProgressTag);
    m_pending->setCurrentRow(-1);
    ErrorReports::guard(ErrorReports::Kind::Numbered, [&] {
        const ComplaintDetail d = m_store.detail(code);
        m_desk.details.show(d.address + QLatin1Char(' ') + d.complainant, d.content, d.complainant, d.phone);
        m_findings->setPlainText(d.findings);
        m_opinion->setPlainText(d.reply);
    });
    m_desk.setActionsEnabled(false, true, false, true);
}

bool AcceptanceWindow::requireSelection(const QString &list)
{
    if (!selectedCode().isEmpty() && (list.isEmpty() || tag(m_desk.finish) == list)) return true;
    Messages::plain(QStringLiteral("请先在列表中选择一条投诉"));
    return false;
}

void AcceptanceWindow::afterAction()
{
    m_desk.setActionsEnabled(false, false, false, false);
    m_shownCode.clear();
    clearInputs();
    showCounts();
}

void AcceptanceWindow::finishComplaint()
{
    if (!requireSelection(QString())) return;
    if (m_findings->toPlainText().isEmpty()) {
        Messages::plain(QStringLiteral("必须输入调查情况"));
        return;
    }
    if (m_reply->toPlainText().isEmpty()) {
        Messages::plain(QStringLiteral("必须输入答复"));
        return;
    }
    const QString code = selectedCode();
    if (tag(m_desk.finish) == kPendingTag) {
        const bool stored = m_desk.store([&] {
            m_store.finishPending(code, m_findings->toPlainText(), m_opinion->toPlainText(), m_reply->toPlainText(),
                                  gDeptCode, gPostCode);
        });
        if (!stored) return;
        m_pending->grid()->removeDataRow(rowOfCode(m_pending, PCode, code));
        m_pending->setCurrentRow(-1);
    } else {
        const bool stored = m_desk.store([&] {
            m_store.finishInProgress(code, m_findings->toPlainText(), m_reply->toPlainText(), gDeptCode, gPostCode);
        });
        if (!stored) return;
        // Every line of the complaint goes (one per holder of its current step).
        for (int row = rowOfCode(m_inProgress, ICode, code); row >= 0; row = rowOfCode(m_inProgress, ICode, code))
            m_inProgress->grid()->removeDataRow(row);
        m_inProgress->setCurrentRow(-1);
    }
    afterAction();
}

void AcceptanceWindow::forwardComplaint()
{
    if (!requireSelection(kPendingTag)) return;
    if (m_findings->toPlainText().isEmpty()) {
        Messages::plain(QStringLiteral("必须输入调查情况"));
        return;
    }
    if (m_opinion->toPlainText().isEmpty()) {
        Messages::plain(QStringLiteral("必须输入您的意见"));
        return;
    }
    if (!m_desk.requireTarget()) return;
    const QString code = selectedCode();
    const bool stored = m_desk.store([&] {
        m_store.forward(code, m_findings->toPlainText(), m_opinion->toPlainText(), gDeptCode, gPostCode,
                        m_desk.target.departmentCode(), m_desk.target.postCode());
    });
    if (!stored) return;
    // The complaint moves to the in-progress list under the user's name until the next refresh.
    const int row = rowOfCode(m_pending, PCode, code);
    GridModel *pending = m_pending->grid();
    GridModel *inProgress = m_inProgress->grid();
    QStringList cells{QString::number(inProgress->rowCount() + 1)};
    for (int c = PCode; c <= PContent; ++c) cells << pending->text(row, c);
    cells << gUserName << QString();
    inProgress->appendRow(cells);
    pending->removeDataRow(row);
    m_pending->setCurrentRow(-1);
    afterAction();
}

void AcceptanceWindow::showReviewComments()
{
    if (!requireSelection(kInProgressTag)) return;
    showReviewCommentsOf(this, selectedCode());
}

void AcceptanceWindow::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    layoutControls();
}

void AcceptanceWindow::layoutControls()
{
    const WorkDesk::Geometry g = m_desk.layout();
    placeTwips(m_pending, 60, 510, g.width - 120, 1755);
    placeTwips(m_inProgress, 60, 2610, g.width - 120, g.frameTop - 60 - 2610);
    placeTwips(m_findings, 90, 450, g.textWidth, 1065);
    placeTwips(m_opinion, 90, 1830, g.textWidth, 1065);
    placeTwips(m_reply, 90, 3210, g.textWidth, 1575);
}

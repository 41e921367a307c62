#include "ReviewCommentsDialog.h"

#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>

#include "ComplaintPanels.h"
#include "common/ErrorReports.h"
#include "common/MainArea.h"
#include "common/Session.h"
#include "common/Tag.h"
#include "common/Twips.h"

ReviewCommentsDialog::ReviewCommentsDialog(QWidget *parent) : QDialog(parent), m_store(gConn)
{
    setObjectName(QStringLiteral("frm投诉阅处意见浏览"));
    setWindowTitle(QStringLiteral("投诉阅处意见浏览"));
    setFixedSize(Twips::toPixels(6300), Twips::toPixels(6240));

    makeLabel(this, QStringLiteral("Label1(0)"), QStringLiteral("阅处人列表"), 120, 120);
    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("List1"));
    placeTwips(m_list, 120, 390, 6060, 2520);
    makeLabel(this, QStringLiteral("Label1(1)"), QStringLiteral("阅处意见"), 120, 3030);
    m_text = new QPlainTextEdit(this);
    m_text->setObjectName(QStringLiteral("Text1"));
    m_text->setReadOnly(true);
    m_text->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    placeTwips(m_text, 120, 3300, 6060, 2250);
    m_close = new QPushButton(QStringLiteral("退出"), this);
    m_close->setObjectName(QStringLiteral("Command1"));
    m_close->setAutoDefault(false);
    placeTwips(m_close, 5100, 5700, 1080, 375);

    connect(m_list, &QListWidget::itemSelectionChanged, this, &ReviewCommentsDialog::showResult);
    connect(m_close, &QPushButton::clicked, this, &QDialog::accept);
}

void ReviewCommentsDialog::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    CenterInMain(this);
    fillList();
}

void ReviewCommentsDialog::fillList()
{
    m_list->clear();
    m_text->clear();
    ErrorReports::guard(ErrorReports::Kind::Numbered, [&] {
        const QVector<ReviewStep> steps = m_store.steps(tag(this));
        for (const ReviewStep &step : steps) {
            auto *item = new QListWidgetItem(step.text(), m_list);
            item->setData(Qt::UserRole, step.stepId);
        }
    });
}

void ReviewCommentsDialog::showResult()
{
    m_text->clear();
    const QList<QListWidgetItem *> selected = m_list->selectedItems();
    if (selected.isEmpty()) return;
    const qint64 stepId = selected.first()->data(Qt::UserRole).toLongLong();
    ErrorReports::guard(ErrorReports::Kind::Numbered, [&] { m_text->setPlainText(m_store.comment(stepId).text()); });
}

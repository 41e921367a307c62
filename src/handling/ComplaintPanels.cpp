#include "ComplaintPanels.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QToolButton>
#include <QTreeWidget>

#include "common/CodeName.h"

namespace {

QLineEdit *readOnlyLine(QWidget *parent, const QString &name)
{
    auto *edit = new QLineEdit(parent);
    edit->setObjectName(name);
    edit->setReadOnly(true);
    return edit;
}

}  // namespace

ComplaintDetails::ComplaintDetails(QWidget *parent)
{
    frame = makeFrame(parent, QStringLiteral("Frame1"), QStringLiteral("投诉情况"));
    makeLabel(frame, QStringLiteral("Label2(0)"), QStringLiteral("投诉人"), 90, 330);
    complainant = readOnlyLine(frame, QStringLiteral("Text1(0)"));
    placeTwips(complainant, 720, 270, 3255, 315);
    makeLabel(frame, QStringLiteral("Label2(1)"), QStringLiteral("投诉内容"), 90, 720);
    content = new QPlainTextEdit(frame);
    content->setObjectName(QStringLiteral("Text1(1)"));
    content->setReadOnly(true);
    content->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    placeTwips(content, 90, 990, 3885, 3045);
    makeLabel(frame, QStringLiteral("Label2(2)"), QStringLiteral("联系人"), 90, 4170);
    contact = readOnlyLine(frame, QStringLiteral("Text1(2)"));
    placeTwips(contact, 720, 4110, 3255, 315);
    makeLabel(frame, QStringLiteral("Label2(3)"), QStringLiteral("联系方式"), 90, 4530);
    phone = readOnlyLine(frame, QStringLiteral("Text1(3)"));
    placeTwips(phone, 930, 4470, 3045, 315);
}

void ComplaintDetails::clear()
{
    complainant->clear();
    content->clear();
    contact->clear();
    phone->clear();
}

void ComplaintDetails::show(const QString &addressAndComplainant, const QString &contentText,
                            const QString &contactText, const QString &phoneNumber)
{
    complainant->setText(addressAndComplainant);
    complainant->setCursorPosition(0);
    content->setPlainText(contentText);
    contact->setText(contactText);
    contact->setCursorPosition(0);
    phone->setText(QStringLiteral("电话：") + phoneNumber);
    phone->setCursorPosition(0);
}

ForwardTarget::ForwardTarget(QWidget *parent, Database &db)
{
    frame = makeFrame(parent, QStringLiteral("Frame3"), QStringLiteral("转呈处理"));
    tree = new QTreeWidget(frame);
    tree->setObjectName(QStringLiteral("TreeView1"));
    tree->setHeaderHidden(true);
    tree->setColumnCount(1);
    placeTwips(tree, 90, 300, 4125, 2775);
    post = new QLineEdit(frame);
    post->setObjectName(QStringLiteral("Text5"));
    // Only the post list fills the box, so that it always holds "code name" of a listed post.
    post->setReadOnly(true);
    placeTwips(post, 90, 3150, 4125, 300);
    drop = new QToolButton(frame);
    drop->setObjectName(QStringLiteral("Command3"));
    drop->setArrowType(Qt::DownArrow);
    drop->setAutoRaise(true);
    placeTwips(drop, 3900, 3165, 285, 270);
    drop->raise();
    posts = new QListWidget(frame);
    posts->setObjectName(QStringLiteral("List1"));
    placeTwips(posts, 90, 330, 4125, 2910);
    posts->hide();
    wirePlainPicking(tree, posts, post, drop, db);
    // A department reached by the keyboard has not filled the list: forget a post picked before,
    // so that a post is never forwarded together with another department.
    QObject::connect(tree, &QTreeWidget::itemSelectionChanged, post, [this] {
        post->clear();
        posts->hide();
    });
}

void ForwardTarget::build(Database &db) { departments.build(tree, PickerVariant::Plain, db); }

bool ForwardTarget::hasDepartment() const { return !tree->selectedItems().isEmpty(); }

QString ForwardTarget::departmentCode() const
{
    const QList<QTreeWidgetItem *> selected = tree->selectedItems();
    return selected.isEmpty() ? QString() : DepartmentTree::codeOf(selected.first());
}

QString ForwardTarget::postCode() const { return CodeName::code(post->text().trimmed()); }

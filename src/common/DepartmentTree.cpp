#include "DepartmentTree.h"

#include <QAbstractButton>
#include <QLineEdit>
#include <QListWidget>
#include <QStyle>
#include <QTreeWidget>

#include "CodeName.h"
#include "DepartmentStore.h"
#include "ErrorReports.h"
#include "Tag.h"

QString DepartmentTree::keyOf(const QTreeWidgetItem *item)
{
    return item ? item->data(0, Qt::UserRole).toString() : QString();
}

QVector<DepartmentEntry> DepartmentTree::load(Database &db, PickerVariant variant)
{
    return DepartmentStore(db).departments(variant);
}

void DepartmentTree::build(QTreeWidget *tree, PickerVariant variant, Database &db) { build(tree, load(db, variant)); }

QTreeWidgetItem *DepartmentTree::makeNode(const DepartmentEntry &entry) const
{
    auto *node = new QTreeWidgetItem(QStringList{CodeName::join(entry.code, entry.name)});
    node->setData(0, Qt::UserRole, keyFor(entry.code));
    node->setIcon(0, m_icon);
    return node;
}

void DepartmentTree::build(QTreeWidget *tree, const QVector<DepartmentEntry> &entries)
{
    m_entries = entries;
    if (m_icon.isNull()) m_icon = tree->style()->standardIcon(QStyle::SP_DirIcon);
    m_children.clear();
    m_shown.clear();
    m_children.reserve(m_entries.size());
    m_shown.reserve(m_entries.size());
    QVector<int> roots;
    for (int i = 0; i < m_entries.size(); ++i) {
        if (m_entries.at(i).parentCode.isEmpty()) roots.append(i);
        else m_children[m_entries.at(i).parentCode].append(i);
    }
    tree->setUpdatesEnabled(false);
    tree->clear();
    QList<QTreeWidgetItem *> rootNodes;
    for (int i : roots) {
        const DepartmentEntry &entry = m_entries.at(i);
        if (m_shown.contains(entry.code)) continue;
        m_shown.insert(entry.code);
        QTreeWidgetItem *node = makeNode(entry);
        rootNodes.append(node);
        addChildren(node, entry.code);
    }
    tree->addTopLevelItems(rootNodes);
    tree->setUpdatesEnabled(true);
}

void DepartmentTree::addChildren(QTreeWidgetItem *parentNode, const QString &parentCode)
{
    // Depth first without recursion, so that a deep organisation cannot exhaust the stack.
    struct Frame {
        QTreeWidgetItem *node;
        const QVector<int> *children;
        int next;
    };
    QVector<Frame> stack;
    auto push = [&](QTreeWidgetItem *node, const QString &code) {
        auto it = m_children.constFind(code);
        if (it != m_children.cend()) stack.append({node, &it.value(), 0});
    };
    push(parentNode, parentCode);
    while (!stack.isEmpty()) {
        Frame &frame = stack.last();
        if (frame.next >= frame.children->size()) {
            stack.removeLast();
            continue;
        }
        const DepartmentEntry &entry = m_entries.at(frame.children->at(frame.next++));
        if (m_shown.contains(entry.code)) continue;  // listed twice
        m_shown.insert(entry.code);
        QTreeWidgetItem *node = makeNode(entry);
        QTreeWidgetItem *parent = frame.node;
        parent->addChild(node);
        push(node, entry.code);
    }
}

QStringList PostPicker::items(const QString &departmentCode, PickerVariant variant, Database &db, const QDateTime &now)
{
    return DepartmentStore(db).postItems(departmentCode, variant, now);
}

void PostPicker::fill(QListWidget *list, const QString &departmentCode, PickerVariant variant, Database &db,
                      const QDateTime &now)
{
    list->clear();
    list->addItems(items(departmentCode, variant, db, now));
}

namespace {

// Shows a hidden drop-down over its neighbours, or hides a shown one. Asks whether the control
// itself is hidden, so that it also toggles while its window is not on the screen.
void toggleDropDown(QWidget *dropDown)
{
    dropDown->setVisible(dropDown->isHidden());
    if (!dropDown->isHidden()) dropDown->raise();
}

}  // namespace

void wirePlainPicking(QTreeWidget *tree, QListWidget *posts, QLineEdit *postBox, QAbstractButton *dropButton,
                      Database &db)
{
    QObject::connect(tree, &QTreeWidget::itemClicked, tree, [posts, postBox, &db](QTreeWidgetItem *item) {
        if (item && !item->text(0).isEmpty()) {
            posts->clear();
            ErrorReports::guard(ErrorReports::Kind::Numbered, [&] {
                PostPicker::fill(posts, CodeName::code(item->text(0)), PickerVariant::Plain, db);
            });
            posts->show();
            posts->raise();
        }
        postBox->clear();
    });
    QObject::connect(dropButton, &QAbstractButton::clicked, posts, [posts] { toggleDropDown(posts); });
    QObject::connect(posts, &QListWidget::itemClicked, posts, [posts, postBox](QListWidgetItem *item) {
        if (!item) return;
        postBox->setText(item->text());
        posts->hide();
    });
}

void wireAssignmentPicking(QTreeWidget *tree, QAbstractButton *treeButton, QLineEdit *departmentBox, QListWidget *posts,
                           QAbstractButton *postButton, QLineEdit *postBox, Database &db)
{
    QObject::connect(treeButton, &QAbstractButton::clicked, tree, [tree] { toggleDropDown(tree); });
    QObject::connect(postButton, &QAbstractButton::clicked, posts, [posts] { toggleDropDown(posts); });
    QObject::connect(tree, &QTreeWidget::itemClicked, tree,
                     [tree, departmentBox, posts, postBox, &db](QTreeWidgetItem *item) {
                         if (!item || !DepartmentTree::keyOf(item).startsWith(QLatin1Char('$'))) return;
                         const QString code = CodeName::code(item->text(0));
                         if (code != tag(departmentBox)) {
                             postBox->clear();
                             setTag(postBox, QString());
                         }
                         departmentBox->setText(CodeName::name(item->text(0)));
                         setTag(departmentBox, code);
                         ErrorReports::guard(ErrorReports::Kind::Numbered, [&] {
                             PostPicker::fill(posts, DepartmentTree::codeOf(item), PickerVariant::Assignment, db);
                         });
                         tree->hide();
                     });
    QObject::connect(posts, &QListWidget::itemClicked, posts, [posts, postBox](QListWidgetItem *item) {
        if (!item) return;
        postBox->setText(CodeName::name(item->text()));
        setTag(postBox, CodeName::code(item->text()));
        posts->hide();
    });
}

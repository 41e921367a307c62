#include "AssignmentWindow.h"

#include <QCheckBox>
#include <QEvent>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStyle>
#include <QTimer>
#include <QTreeWidget>

#include "common/Clock.h"
#include "common/Controls.h"
#include "common/DateText.h"
#include "common/ErrorReports.h"
#include "common/FlexGrid.h"
#include "common/InputLimits.h"
#include "common/MainArea.h"
#include "common/Messages.h"
#include "common/Session.h"
#include "common/Tag.h"
#include "common/Twips.h"

namespace {

const QString kAdd = QStringLiteral("新增");
const QString kCancel = QStringLiteral("取消");
const QString kTitle = QStringLiteral("提示");
const QString kRootKey = QStringLiteral("Z");
const QChar kOfficeMark = QLatin1Char('G');

enum Column { Number, SettingDate, Department, Post, EndDate, Remark, PostCode, DepartmentCode, Id, ColumnCount };

void tell(const QString &text) { Messages::information(text, kTitle); }

}  // namespace

AssignmentWindow::AssignmentWindow(QWidget *parent) : QWidget(parent), m_store(gConn)
{
    setObjectName(QStringLiteral("frm投诉处理人设置"));
    setWindowTitle(QStringLiteral("投诉处理人设置"));
    setFixedSize(Twips::toPixels(11955), Twips::toPixels(8355));

    auto *frame = new QGroupBox(QStringLiteral("管理项目"), this);
    frame->setObjectName(QStringLiteral("Frame1"));
    placeTwips(frame, 0, 0, 3615, 8265);
    m_offices = new QTreeWidget(frame);
    m_offices->setObjectName(QStringLiteral("TreeView1"));
    placeTwips(m_offices, 60, 210, 3510, 7995);
    m_offices->setHeaderHidden(true);

    makeLabel(this, QStringLiteral("Label2"), QStringLiteral("对应处理人列表"), 3720, 0, 210);
    m_withEnded = new QCheckBox(QStringLiteral("显示已终止设置"), this);
    m_withEnded->setObjectName(QStringLiteral("Check1"));
    m_withEnded->adjustSize();
    // Right-aligned with the grid, wide enough for its caption.
    m_withEnded->move(Twips::toPixels(3690 + 8265) - m_withEnded->width(), 0);

    m_grid = new FlexGrid(this);
    m_grid->setObjectName(QStringLiteral("MSFlexGrid1"));
    // Below the caption and the check box, which are taller in this font than in twips.
    const int gridTop = qMax(Twips::toPixels(210), m_withEnded->height() + 1);
    m_grid->setGeometry(Twips::toPixels(3690), gridTop, Twips::toPixels(8265), Twips::toPixels(210 + 5625) - gridTop);
    m_grid->grid()->setFormatString(QStringLiteral("序|<设置日期    |<处理部门                |<处理岗位     "
                                                   "          |<终止日期  |<备注      |gwdh|bmdh|ID"),
                                    m_grid->font());
    m_grid->setFixedFirstColumn(true);

    makeLabel(this, QStringLiteral("Label3"), QStringLiteral("设置日期"), 3750, 6240, 315);
    m_settingDate = placeTwips(named(new QLineEdit(this), QStringLiteral("Text1")), 4560, 6240, 2535, 315);
    makeLabel(this, QStringLiteral("Label4"), QStringLiteral("处理部门"), 7200, 6240, 315);
    m_department = placeTwips(named(new QLineEdit(this), QStringLiteral("Text2")), 7950, 6240, 3975, 315);
    makeLabel(this, QStringLiteral("Label1"), QStringLiteral("处理岗位"), 3780, 6630, 315);
    m_post = placeTwips(named(new QLineEdit(this), QStringLiteral("Text5")), 4560, 6630, 2565, 315);
    makeLabel(this, QStringLiteral("Label5"), QStringLiteral("终止日期"), 7200, 6630, 315);
    m_endDate = placeTwips(named(new QLineEdit(this), QStringLiteral("Text3")), 7950, 6630, 1875, 315);
    makeLabel(this, QStringLiteral("Label6"), QStringLiteral("备    注"), 3810, 7020, 315);
    m_remark = placeTwips(named(new QLineEdit(this), QStringLiteral("Text4")), 4560, 7020, 7365, 315);
    limitToColumn(m_remark, QStringLiteral("投诉处理人设置"), QStringLiteral("备注"));
    // Department and post are picked, never typed: the code behind a name is the box's tag.
    m_department->setReadOnly(true);
    m_post->setReadOnly(true);
    m_departmentDrop =
        placeTwips(makeButton(this, QStringLiteral("Command5"), QStringLiteral("…")), 11580, 6270, 315, 255);
    m_postDrop = placeTwips(makeButton(this, QStringLiteral("Command6"), QStringLiteral("…")), 6780, 6660, 315, 255);

    m_addCancel = placeTwips(makeButton(this, QStringLiteral("Command1"), kAdd), 5910, 7710, 1065, 345);
    m_save = placeTwips(makeButton(this, QStringLiteral("Command2"), QStringLiteral("保存")), 6990, 7710, 1065, 345);
    m_delete = placeTwips(makeButton(this, QStringLiteral("Command3"), QStringLiteral("删除")), 8070, 7710, 1065, 345);
    m_close = placeTwips(makeButton(this, QStringLiteral("Command4"), QStringLiteral("退出")), 9150, 7710, 1065, 345);

    // The drop-downs open above their boxes, over the grid.
    m_departmentTree = new QTreeWidget(this);
    m_departmentTree->setObjectName(QStringLiteral("TreeView2"));
    placeTwips(m_departmentTree, 7950, 3150, 3975, 3105);
    m_departmentTree->setHeaderHidden(true);
    m_departmentTree->hide();
    m_posts = new QListWidget(this);
    m_posts->setObjectName(QStringLiteral("List1"));
    placeTwips(m_posts, 4560, 3330, 2565, 2910);
    m_posts->hide();
    wireAssignmentPicking(m_departmentTree, m_departmentDrop, m_department, m_posts, m_postDrop, m_post, gConn);

    m_settingDate->installEventFilter(this);
    m_department->installEventFilter(this);

    connect(m_offices, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem *node) { showOffice(node); });
    connect(m_grid, &FlexGrid::cellClicked, this, [this] { showChosenAssignment(); });
    connect(m_withEnded, &QCheckBox::clicked, this, [this] { refresh(); });
    connect(m_addCancel, &QPushButton::clicked, this, [this] { toggleAdding(); });
    connect(m_save, &QPushButton::clicked, this, [this] { saveAssignment(); });
    connect(m_delete, &QPushButton::clicked, this, [this] { deleteAssignment(); });
    connect(m_close, &QPushButton::clicked, this, [this] { MainArea::closeWindow(this); });
}

void AssignmentWindow::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (m_loaded) return;
    m_loaded = true;
    CenterInMain(this);
    loadTrees();
}

bool AssignmentWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::FocusIn && (watched == m_settingDate || watched == m_department)) {
        auto *box = static_cast<QLineEdit *>(watched);
        // After the click that gave the focus has placed the cursor.
        QTimer::singleShot(0, box, [box] { box->selectAll(); });
    }
    return QWidget::eventFilter(watched, event);
}

void AssignmentWindow::loadTrees()
{
    ErrorReports::guard(ErrorReports::Kind::Short, [&] {
        const QIcon icon = style()->standardIcon(QStyle::SP_DirIcon);
        m_offices->clear();
        auto *root = new QTreeWidgetItem(m_offices, QStringList{QStringLiteral("管理项目列表")});
        root->setData(0, Qt::UserRole, kRootKey);
        root->setIcon(0, icon);
        for (const AssignmentOffice &office : m_store.offices()) {
            auto *node = new QTreeWidgetItem(root, QStringList{office.code + QLatin1Char(' ') + office.name});
            node->setData(0, Qt::UserRole, office.code + kOfficeMark);
            node->setIcon(0, icon);
        }
        root->setExpanded(true);
        m_departments.setIcon(icon);
        m_departments.build(m_departmentTree, PickerVariant::Assignment, gConn);
        for (int i = 0; i < m_departmentTree->topLevelItemCount(); ++i)
            m_departmentTree->topLevelItem(i)->setExpanded(true);
        for (int column : {PostCode, DepartmentCode, Id}) m_grid->grid()->setWidthTwips(column, 0);
        if (root->childCount() > 0) {
            m_offices->setCurrentItem(root->child(0));
            showOffice(root->child(0));
        }
    });
}

QString AssignmentWindow::selectedOffice() const
{
    const QString key = DepartmentTree::keyOf(m_offices->currentItem());
    return key.endsWith(kOfficeMark) ? key.chopped(1) : QString();
}

bool AssignmentWindow::isAdding() const { return m_addCancel->text() == kCancel; }

void AssignmentWindow::clearFields()
{
    for (QLineEdit *box : {m_settingDate, m_department, m_post, m_endDate, m_remark}) box->clear();
}

void AssignmentWindow::showOffice(QTreeWidgetItem *node)
{
    ErrorReports::guard(ErrorReports::Kind::Short, [&] {
        m_addCancel->setText(kAdd);
        clearFields();
        m_editingId = 0;
        const QString key = DepartmentTree::keyOf(node);
        if (!key.endsWith(kOfficeMark)) return;
        const QVector<Assignment> assignments = m_store.list(key.chopped(1), m_withEnded->isChecked());
        GridModel *model = m_grid->grid();
        {
            GridModel::Bulk bulk(*model, GridModel::ReplaceRows);
            int number = 0;
            for (const Assignment &a : assignments) {
                const QString cells[ColumnCount] = {QString::number(++number),
                                                    a.settingDate,
                                                    a.departmentName,
                                                    a.postName,
                                                    a.endDate,
                                                    a.remark,
                                                    a.postCode,
                                                    a.departmentCode,
                                                    QString::number(a.id)};
                bulk.append(cells, ColumnCount);
            }
        }
        for (int row = 0; row < assignments.size(); ++row)
            if (assignments.at(row).ended) model->setRowForeground(row, QColor(255, 0, 0));
        model->growWidthsToFit(m_grid->font());
        for (int column : {PostCode, DepartmentCode, Id}) model->setWidthTwips(column, 0);
        m_grid->setCurrentRow(assignments.isEmpty() ? -1 : 0);
        showChosenAssignment();
    });
}

void AssignmentWindow::showChosenAssignment()
{
    ErrorReports::guard(ErrorReports::Kind::Short, [&] {
        const GridModel *model = m_grid->grid();
        const int row = m_grid->currentRow();
        if (model->rowCount() == 0 || row < 0) return;
        clearFields();
        m_settingDate->setText(model->text(row, SettingDate));
        m_department->setText(model->text(row, Department));
        m_post->setText(model->text(row, Post));
        m_endDate->setText(model->text(row, EndDate));
        m_remark->setText(model->text(row, Remark));
        setTag(m_post, model->text(row, PostCode));
        setTag(m_department, model->text(row, DepartmentCode));
        m_editingId = model->text(row, Id).toLongLong();
    });
}

void AssignmentWindow::refresh(qint64 id)
{
    QTreeWidgetItem *node = m_offices->currentItem();
    showOffice(node);
    m_offices->setCurrentItem(node);
    if (id <= 0) return;
    const GridModel *model = m_grid->grid();
    for (int row = 0; row < model->rowCount(); ++row) {
        if (model->text(row, Id).toLongLong() == id) {
            m_grid->setCurrentRow(row);
            showChosenAssignment();
            return;
        }
    }
}

void AssignmentWindow::toggleAdding()
{
    if (!isAdding()) {
        clearFields();
        m_addCancel->setText(kCancel);
        m_settingDate->setText(DateText::day(Clock::today()));
        m_settingDate->setFocus();
        return;
    }
    m_addCancel->setText(kAdd);
    if (m_grid->grid()->rowCount() > 0) {
        m_grid->setCurrentRow(0);
        showChosenAssignment();
    } else {
        clearFields();  // the new assignment is dropped
    }
}

void AssignmentWindow::saveAssignment()
{
    ErrorReports::guard(ErrorReports::Kind::Short, [&] {
        const QString office = selectedOffice();
        if (office.isEmpty()) {
            tell(QStringLiteral("请选择管理项目！"));
            return;
        }
        if (m_settingDate->text().trimmed().isEmpty()) {
            tell(QStringLiteral("设置日期不能为空，请输入设置日期！"));
            m_settingDate->setFocus();
            return;
        }
        if (m_department->text().trimmed().isEmpty()) {
            tell(QStringLiteral("部门不能为空，请选择部门！"));
            m_endDate->setFocus();
            return;
        }
        if (m_post->text().trimmed().isEmpty()) {
            tell(QStringLiteral("岗位不能为空，请选择岗位！"));
            m_endDate->setFocus();
            return;
        }
        const AssignmentInput input{office,
                                    tag(m_department),
                                    tag(m_post),
                                    m_settingDate->text().trimmed(),
                                    m_endDate->text().trimmed(),
                                    m_remark->text().trimmed()};
        if (const auto problem = AssignmentStore::check(input)) {
            tell(problem->message);
            (problem->field == AssignmentProblem::SettingDate ? m_settingDate : m_endDate)->setFocus();
            return;
        }
        qint64 id = m_editingId;
        AssignmentStore::Result result;
        if (isAdding()) {
            result = m_store.add(input, &id);
        } else {
            if (m_editingId <= 0) {
                tell(QStringLiteral("没有选中要修改的设置；要添加新的设置，请先点击“新增”。"));
                return;
            }
            result = m_store.change(m_editingId, input);
        }
        switch (result) {
            case AssignmentStore::Result::Duplicate:
                tell(AssignmentStore::duplicateMessage(AssignmentStore::parseDay(input.settingDate)));
                m_settingDate->setFocus();
                return;
            case AssignmentStore::Result::Missing:
                tell(QStringLiteral("该设置已被其他用户删除，没有保存。"));
                refresh();
                return;
            case AssignmentStore::Result::Saved: break;
        }
        refresh(id);
    });
}

void AssignmentWindow::deleteAssignment()
{
    ErrorReports::guard(ErrorReports::Kind::Short, [&] {
        const GridModel *model = m_grid->grid();
        if (model->rowCount() == 0) return;
        const int row = m_grid->currentRow();
        if (row < 0) return;
        if (Messages::ask(
                QStringLiteral("确定要删除序号为 ［") + model->text(row, Number) + QStringLiteral("］ 的记录吗？"),
                kTitle, Messages::Icon::Information))
            m_store.remove(model->text(row, Id).toLongLong());
        refresh();
    });
}

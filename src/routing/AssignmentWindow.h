#pragma once

#include <QWidget>

#include "AssignmentStore.h"
#include "common/DepartmentTree.h"

class FlexGrid;
class QCheckBox;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

// Who accepts the complaints of each management office: the offices on the left, the
// assignments of the selected office in the grid, one assignment at a time in the fields below.
// The caption of Command1 is the mode: "新增" while the fields show the assignment of a grid row
// ("保存" changes that assignment), "取消" while they hold a new one ("保存" adds it).
class AssignmentWindow : public QWidget {
    Q_OBJECT
public:
    explicit AssignmentWindow(QWidget *parent = nullptr);

    // Fills the office and department trees and shows the first office.
    void loadTrees();

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // A click on an office of TreeView1: its assignments in the grid.
    void showOffice(QTreeWidgetItem *node);
    // A click on a row of MSFlexGrid1: that assignment in the fields.
    void showChosenAssignment();
    // Command1 "新增"/"取消".
    void toggleAdding();
    // Command2 "保存".
    void saveAssignment();
    // Command3 "删除".
    void deleteAssignment();
    // The office click for the selected node, then the row of `id` (when listed) made current.
    void refresh(qint64 id = 0);
    void clearFields();
    QString selectedOffice() const;
    bool isAdding() const;

    AssignmentStore m_store;
    DepartmentTree m_departments;
    bool m_loaded = false;
    qint64 m_editingId = 0;  // the assignment the fields show while editing; 0 for none

    QTreeWidget *m_offices;
    FlexGrid *m_grid;
    QCheckBox *m_withEnded;
    QLineEdit *m_settingDate;
    QLineEdit *m_department;
    QLineEdit *m_post;
    QLineEdit *m_endDate;
    QLineEdit *m_remark;
    QPushButton *m_departmentDrop;
    QPushButton *m_postDrop;
    QTreeWidget *m_departmentTree;
    QListWidget *m_posts;
    QPushButton *m_addCancel;
    QPushButton *m_save;
    QPushButton *m_delete;
    QPushButton *m_close;
};

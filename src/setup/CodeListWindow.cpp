#include "CodeListWindow.h"

#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "common/CodeName.h"
#include "common/Controls.h"
#include "common/ErrorReports.h"
#include "common/MainArea.h"
#include "common/Messages.h"
#include "common/Session.h"
#include "common/Tag.h"

namespace {

const QString kAdd = QStringLiteral("新增");
const QString kCancel = QStringLiteral("取消");
const QString kWarning = QStringLiteral("警告");

}  // namespace

CodeListSettings CodeListSettings::categories()
{
    return {QStringLiteral("frm投诉类别设置"), QStringLiteral("投诉类别设置"),
            QStringLiteral("投诉类别"),        QStringLiteral("类别"),
            QStringLiteral("投诉类别"),        QStringLiteral("编号和投诉类别不能重复")};
}

CodeListSettings CodeListSettings::channels()
{
    return {QStringLiteral("frm投诉方式设置"), QStringLiteral("投诉方式设置"),
            QStringLiteral("投诉方式"),        QStringLiteral("方式"),
            QStringLiteral("投诉方式"),        QStringLiteral("编号和投诉方式不能重复")};
}

CodeListWindow::CodeListWindow(const CodeListSettings &settings, QWidget *parent)
    : QWidget(parent), m_settings(settings), m_store(gConn, settings.table, settings.nameColumn)
{
    setObjectName(settings.windowName);
    setWindowTitle(settings.caption);

    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("List9"));
    m_list->setMinimumWidth(210);
    m_list->viewport()->installEventFilter(this);

    const auto label = [this](int index, const QString &text) {
        auto *l = new QLabel(text, this);
        l->setObjectName(QStringLiteral("Label5(%1)").arg(index));
        return l;
    };
    m_code = new QLineEdit(this);
    m_code->setObjectName(QStringLiteral("Text7(0)"));
    setTag(m_code, QStringLiteral("编号"));
    m_name = new QLineEdit(this);
    m_name->setObjectName(QStringLiteral("Text7(1)"));
    setTag(m_name, settings.nameColumn);
    QLabel *hint = label(2, settings.hint);
    hint->setWordWrap(true);

    const auto button = [this](const QString &name, const QString &caption) { return makeButton(this, name, caption); };
    m_addCancel = button(QStringLiteral("Command3D16"), kAdd);
    m_save = button(QStringLiteral("SSCommand2"), QStringLiteral("确定"));
    m_delete = button(QStringLiteral("Command3D18"), QStringLiteral("删除"));
    m_close = button(QStringLiteral("Command1"), QStringLiteral("退出"));

    auto *fields = new QGridLayout;
    fields->addWidget(label(0, QStringLiteral("编号")), 0, 0);
    fields->addWidget(m_code, 0, 1);
    fields->addWidget(label(1, settings.nameLabel), 1, 0);
    fields->addWidget(m_name, 1, 1);
    fields->addWidget(hint, 2, 0, 1, 2);
    auto *buttons = new QGridLayout;
    buttons->addWidget(m_addCancel, 0, 0);
    buttons->addWidget(m_save, 0, 1);
    buttons->addWidget(m_delete, 1, 0);
    buttons->addWidget(m_close, 1, 1);
    auto *right = new QVBoxLayout;
    right->addLayout(fields);
    right->addStretch(1);
    right->addLayout(buttons);
    auto *layout = new QHBoxLayout(this);
    layout->addWidget(m_list, 1);
    layout->addLayout(right);
    resize(520, 320);

    connect(m_list, &QListWidget::currentRowChanged, this, [this] { showChosenEntry(); });
    // A click on the entry that is already selected shows it again as well.
    connect(m_list, &QListWidget::itemClicked, this, [this](QListWidgetItem *item) {
        if (m_list->row(item) == m_rowBeforePress) showChosenEntry();
    });
    connect(m_addCancel, &QPushButton::clicked, this, [this] { toggleAdding(); });
    connect(m_save, &QPushButton::clicked, this, [this] { saveEntry(); });
    connect(m_delete, &QPushButton::clicked, this, [this] { deleteEntry(); });
    connect(m_close, &QPushButton::clicked, this, [this] { MainArea::closeWindow(this); });
}

void CodeListWindow::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (m_loaded) return;
    m_loaded = true;
    CenterInMain(this);
    loadEntries();
}

bool CodeListWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_list->viewport() && event->type() == QEvent::MouseButtonPress)
        m_rowBeforePress = m_list->currentRow();
    return QWidget::eventFilter(watched, event);
}

bool CodeListWindow::isAdding() const { return m_addCancel->text() == kCancel; }

void CodeListWindow::setAdding(bool adding) { m_addCancel->setText(adding ? kCancel : kAdd); }

void CodeListWindow::loadEntries()
{
    ErrorReports::guard(ErrorReports::Kind::Short, [&] {
        const QVector<CodeEntry> entries = m_store.list();
        {
            const QSignalBlocker blocker(m_list);
            m_list->clear();
            for (const CodeEntry &entry : entries) {
                auto *item = new QListWidgetItem(CodeName::join(entry.code, entry.name), m_list);
                item->setData(Qt::UserRole, entry.id);
            }
            if (m_list->count() > 0) m_list->setCurrentRow(0);
        }
        // Shown once, here: the selection above made no signal.
        if (m_list->count() > 0) showChosenEntry();
    });
}

void CodeListWindow::showChosenEntry()
{
    ErrorReports::guard(ErrorReports::Kind::Short, [&] {
        QListWidgetItem *item = m_list->currentItem();
        if (!item) return;
        const std::optional<CodeEntry> entry = m_store.find(item->data(Qt::UserRole).toLongLong());
        if (!entry) return;
        m_code->setText(entry->code);
        m_name->setText(entry->name);
        setAdding(false);
    });
}

void CodeListWindow::toggleAdding()
{
    if (!isAdding()) {
        m_code->clear();
        m_name->clear();
        m_code->setFocus();
        setAdding(true);
        return;
    }
    setAdding(false);
    if (m_list->currentItem()) {
        showChosenEntry();
    } else {
        // Nothing to show again: the new entry is dropped.
        m_code->clear();
        m_name->clear();
    }
}

void CodeListWindow::saveEntry()
{
    ErrorReports::guard(
        ErrorReports::Kind::Handler,
        [&] {
            const QString code = m_code->text();
            const QString name = m_name->text();
            if (code.isEmpty() || name.isEmpty()) {
                Messages::show(QStringLiteral("请输入代号及性质！"), kWarning);
                return;
            }
            if (!CodeListStore::isUsableCode(code) && !keepsStoredCode(code)) {
                Messages::show(QStringLiteral("编号中不能含有空格，请重新输入！"), kWarning);
                m_code->setFocus();
                return;
            }
            if (isAdding()) saveNew(code, name);
            else saveChange(code, name);
        },
        QStringLiteral("SSCommand2_Click"));
}

bool CodeListWindow::keepsStoredCode(const QString &code) const
{
    if (isAdding() || !m_list->currentItem()) return false;
    const std::optional<CodeEntry> entry = m_store.find(m_list->currentItem()->data(Qt::UserRole).toLongLong());
    return entry && entry->code == code;
}

void CodeListWindow::saveNew(const QString &code, const QString &name)
{
    CodeEntry entry;
    if (m_store.add(code, name, &entry) == CodeListStore::Result::Duplicate) {
        Messages::show(QStringLiteral("代号重复，请重新输入！"), kWarning);
        return;
    }
    auto *item = new QListWidgetItem(CodeName::join(entry.code, entry.name), m_list);
    item->setData(Qt::UserRole, entry.id);
    m_list->setCurrentItem(item);  // shows it and returns to editing
    setAdding(false);
}

void CodeListWindow::saveChange(const QString &code, const QString &name)
{
    QListWidgetItem *item = m_list->currentItem();
    if (!item) {
        Messages::show(QStringLiteral("没有选中要修改的条目；要添加新的条目，请先点击“新增”。"), kWarning);
        return;
    }
    switch (m_store.change(item->data(Qt::UserRole).toLongLong(), code, name)) {
        case CodeListStore::Result::Duplicate:
            Messages::show(QStringLiteral("代号重复，请重新输入！"), kWarning);
            return;
        case CodeListStore::Result::Missing:
            Messages::show(QStringLiteral("该条目已被其他用户删除，没有保存。"), kWarning);
            return;
        case CodeListStore::Result::Saved: item->setText(CodeName::join(code, name)); break;
    }
    setAdding(false);
}

void CodeListWindow::deleteEntry()
{
    ErrorReports::guard(
        ErrorReports::Kind::Handler,
        [&] {
            QListWidgetItem *item = m_list->currentItem();
            if (!item) return;
            if (!Messages::ask(QStringLiteral("确信要删除") + item->text(), Messages::executableName(),
                               Messages::Icon::Warning))
                return;
            m_store.remove(item->data(Qt::UserRole).toLongLong());
            {
                const QSignalBlocker blocker(m_list);
                delete m_list->takeItem(m_list->row(item));
                m_list->setCurrentRow(-1);
                m_list->clearSelection();
            }
            m_code->clear();
            m_name->clear();
        },
        QStringLiteral("Command3d13_Click"));
}

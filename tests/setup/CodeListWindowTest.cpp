#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <memory>

#include "MessageRecorder.h"
#include "TestDatabase.h"
#include "TestRegistry.h"
#include "common/Messages.h"
#include "common/Tag.h"
#include "setup/SetupWindows.h"

namespace {

// One code-list window on the screen, with its controls found by their names.
struct Window {
    explicit Window(QWidget *(*factory)()) : widget(factory())
    {
        widget->show();
        list = find<QListWidget>("List9");
        code = find<QLineEdit>("Text7(0)");
        name = find<QLineEdit>("Text7(1)");
        addCancel = find<QPushButton>("Command3D16");
        save = find<QPushButton>("SSCommand2");
        remove = find<QPushButton>("Command3D18");
    }

    template <typename T>
    T *find(const char *objectName) const
    {
        T *child = widget->findChild<T *>(QString::fromUtf8(objectName));
        if (!child) qFatal("no control %s", objectName);
        return child;
    }

    QStringList entries() const
    {
        QStringList texts;
        for (int i = 0; i < list->count(); ++i) texts << list->item(i)->text();
        return texts;
    }

    void select(const QString &text) { list->setCurrentItem(list->findItems(text, Qt::MatchExactly).value(0)); }

    void type(const QString &codeText, const QString &nameText)
    {
        code->setText(codeText);
        name->setText(nameText);
    }

    std::unique_ptr<QWidget> widget;
    QListWidget *list;
    QLineEdit *code;
    QLineEdit *name;
    QPushButton *addCancel;
    QPushButton *save;
    QPushButton *remove;
};

QString nameOf(TestDatabase &t, const QString &code)
{
    return t.value(QStringLiteral("SELECT 类别 FROM 投诉类别 WHERE 编号 = ?"), {code}).toString();
}

}  // namespace

// The category and channel windows driven through their controls, checked against the table.
class CodeListWindowTest : public QObject {
    Q_OBJECT
private slots:
    void emptyChannelListThenFirstEntry();
    void editingTheSelectedEntry();
    void addingAndCancelling();
    void refusedCodesWriteNothing();
    void deletingEntries();
    void legacyCodeWithBlankIsItself();
    void enterPressesOnlyTheFocusedButton();
    void databaseFailuresAreReported();
};

void CodeListWindowTest::emptyChannelListThenFirstEntry()
{
    TestDatabase t;
    MessageRecorder messages;
    Window w(createChannelWindow);
    QCOMPARE(w.widget->objectName(), QStringLiteral("frm投诉方式设置"));
    QCOMPARE(w.widget->windowTitle(), QStringLiteral("投诉方式设置"));
    QCOMPARE(tag(w.name), QStringLiteral("方式"));
    QCOMPARE(w.find<QWidget>("Label5(2)")->property("text").toString(), QStringLiteral("编号和投诉方式不能重复"));
    QCOMPARE(w.list->count(), 0);
    QVERIFY(w.code->text().isEmpty() && w.name->text().isEmpty());
    QCOMPARE(w.addCancel->text(), QStringLiteral("新增"));

    // Saving empty boxes asks for both.
    w.save->click();
    QCOMPARE(messages.count(), 1);
    QCOMPARE(messages.last(), QStringLiteral("请输入代号及性质！"));
    QCOMPARE(messages.messages.last().title, QStringLiteral("警告"));
    QCOMPARE(messages.messages.last().icon, Messages::Icon::None);

    // Typing without "新增" has nothing to change: the user is told, nothing is written.
    w.type(QStringLiteral("01"), QStringLiteral("电话"));
    w.save->click();
    QCOMPARE(messages.count(), 2);
    QCOMPARE(t.count(QStringLiteral("投诉方式")), 0);
    QCOMPARE(w.code->text(), QStringLiteral("01"));

    w.addCancel->click();
    QCOMPARE(w.addCancel->text(), QStringLiteral("取消"));
    w.type(QStringLiteral("01"), QStringLiteral("电话"));
    w.save->click();
    QCOMPARE(messages.count(), 2);
    QCOMPARE(t.value(QStringLiteral("SELECT 方式 FROM 投诉方式 WHERE 编号 = '01'")).toString(), QStringLiteral("电话"));
    QCOMPARE(w.entries(), QStringList{QStringLiteral("01 电话")});
    QCOMPARE(w.list->currentRow(), 0);
    QCOMPARE(w.list->item(0)->data(Qt::UserRole).toLongLong(),
             t.value(QStringLiteral("SELECT id FROM 投诉方式")).toLongLong());
    QCOMPARE(w.addCancel->text(), QStringLiteral("新增"));
}

void CodeListWindowTest::editingTheSelectedEntry()
{
    TestDatabase t(true);
    MessageRecorder messages;
    Window w(createCategoryWindow);
    QCOMPARE(w.list->count(), 7);
    QCOMPARE(w.list->currentRow(), 0);
    QCOMPARE(w.code->text(), QStringLiteral("01"));

    // A name with blanks is shown whole.
    w.select(QStringLiteral("03 噪音 扰民"));
    QCOMPARE(w.code->text(), QStringLiteral("03"));
    QCOMPARE(w.name->text(), QStringLiteral("噪音 扰民"));

    // The code unchanged: the entry itself is no duplicate.
    w.name->setText(QStringLiteral("噪音扰民 (夜间)"));
    w.save->click();
    QCOMPARE(messages.count(), 0);
    QCOMPARE(nameOf(t, QStringLiteral("03")), QStringLiteral("噪音扰民 (夜间)"));
    QCOMPARE(w.list->currentItem()->text(), QStringLiteral("03 噪音扰民 (夜间)"));

    // Another entry's code is refused and nothing changes.
    w.code->setText(QStringLiteral("01"));
    w.save->click();
    QCOMPARE(messages.last(), QStringLiteral("代号重复，请重新输入！"));
    QCOMPARE(nameOf(t, QStringLiteral("01")), QStringLiteral("服务态度"));
    QCOMPARE(t.count(QStringLiteral("投诉类别"), QStringLiteral("编号 = '03'")), 1);

    // A new code with a quote is stored as typed, in the same row.
    const qint64 id = w.list->currentItem()->data(Qt::UserRole).toLongLong();
    w.type(QStringLiteral("O'3"), QStringLiteral("噪音"));
    w.save->click();
    QCOMPARE(t.value(QStringLiteral("SELECT 编号 FROM 投诉类别 WHERE id = ?"), {id}).toString(), QStringLiteral("O'3"));
    QCOMPARE(w.list->currentItem()->text(), QStringLiteral("O'3 噪音"));

    // Deleted by another station meanwhile: the user is told and nothing is written.
    t.exec(QStringLiteral("DELETE FROM 投诉类别 WHERE id = ?"), {id});
    w.name->setText(QStringLiteral("还在吗"));
    w.save->click();
    QCOMPARE(t.count(QStringLiteral("投诉类别")), 6);
    QCOMPARE(messages.count(), 2);
    QCOMPARE(w.list->currentItem()->text(), QStringLiteral("O'3 噪音"));
}

void CodeListWindowTest::addingAndCancelling()
{
    TestDatabase t(true);
    MessageRecorder messages;
    Window w(createCategoryWindow);
    w.select(QStringLiteral("05 收费争议"));

    w.addCancel->click();
    QCOMPARE(w.addCancel->text(), QStringLiteral("取消"));
    QVERIFY(w.code->text().isEmpty() && w.name->text().isEmpty());
    w.type(QStringLiteral("08"), QStringLiteral("绿化"));
    // Cancelling shows the selected entry again and writes nothing.
    w.addCancel->click();
    QCOMPARE(w.addCancel->text(), QStringLiteral("新增"));
    QCOMPARE(w.code->text(), QStringLiteral("05"));
    QCOMPARE(w.name->text(), QStringLiteral("收费争议"));
    QCOMPARE(t.count(QStringLiteral("投诉类别")), 7);

    // A duplicate keeps the window adding, with the typed text.
    w.addCancel->click();
    w.type(QStringLiteral("02"), QStringLiteral("绿化"));
    w.save->click();
    QCOMPARE(messages.last(), QStringLiteral("代号重复，请重新输入！"));
    QCOMPARE(w.addCancel->text(), QStringLiteral("取消"));
    QCOMPARE(w.name->text(), QStringLiteral("绿化"));

    w.code->setText(QStringLiteral("08"));
    w.save->click();
    QCOMPARE(nameOf(t, QStringLiteral("08")), QStringLiteral("绿化"));
    QCOMPARE(w.list->currentItem()->text(), QStringLiteral("08 绿化"));
    QCOMPARE(w.addCancel->text(), QStringLiteral("新增"));

    // Clicking the selected entry again shows what is stored, whatever was typed.
    w.name->setText(QStringLiteral("typed"));
    const QRect rect = w.list->visualItemRect(w.list->currentItem());
    QTest::mouseClick(w.list->viewport(), Qt::LeftButton, {}, rect.center());
    QCOMPARE(w.name->text(), QStringLiteral("绿化"));
}

void CodeListWindowTest::refusedCodesWriteNothing()
{
    TestDatabase t(true);
    MessageRecorder messages;
    Window w(createCategoryWindow);
    const QStringList before = w.entries();

    // A code with a blank could never be selected again (the code ends at the first blank).
    for (const QString &code : {QStringLiteral("0 8"), QStringLiteral(" 08"), QStringLiteral("08\t")}) {
        w.addCancel->click();
        w.type(code, QStringLiteral("绿化"));
        w.save->click();
        QCOMPARE(messages.last(), QStringLiteral("编号中不能含有空格，请重新输入！"));
        QCOMPARE(w.addCancel->text(), QStringLiteral("取消"));
        QCOMPARE(w.code->text(), code);
        w.addCancel->click();
    }
    // Nor may an edit give an entry such a code.
    w.select(QStringLiteral("02 维修质量"));
    w.code->setText(QStringLiteral("0 2"));
    w.save->click();
    QCOMPARE(messages.last(), QStringLiteral("编号中不能含有空格，请重新输入！"));
    QCOMPARE(w.entries(), before);
    QCOMPARE(t.count(QStringLiteral("投诉类别"), QStringLiteral("编号 LIKE '% %' OR 编号 LIKE '%\t%'")), 0);
    QCOMPARE(t.count(QStringLiteral("投诉类别")), 7);
}

void CodeListWindowTest::deletingEntries()
{
    TestDatabase t;
    t.exec(QStringLiteral("INSERT INTO 投诉类别 (编号, 类别) VALUES ('01', '服务态度'), ('02', '维修质量')"));
    MessageRecorder messages;
    Window w(createCategoryWindow);

    w.select(QStringLiteral("02 维修质量"));
    messages.answers = {Messages::Answer::No};
    w.remove->click();
    QCOMPARE(messages.last(), QStringLiteral("确信要删除02 维修质量"));
    QCOMPARE(messages.messages.last().title, Messages::executableName());
    QCOMPARE(messages.messages.last().icon, Messages::Icon::Warning);
    QCOMPARE(t.count(QStringLiteral("投诉类别")), 2);

    w.remove->click();  // Yes
    QCOMPARE(w.entries(), QStringList{QStringLiteral("01 服务态度")});
    QCOMPARE(w.list->currentRow(), -1);
    QVERIFY(w.code->text().isEmpty() && w.name->text().isEmpty());
    QCOMPARE(t.count(QStringLiteral("投诉类别")), 1);
    // Nothing selected: delete does nothing.
    w.remove->click();
    QCOMPARE(messages.count(), 2);

    w.select(QStringLiteral("01 服务态度"));
    w.remove->click();
    QCOMPARE(w.list->count(), 0);
    QVERIFY(w.code->text().isEmpty() && w.name->text().isEmpty());
    QCOMPARE(t.count(QStringLiteral("投诉类别")), 0);
}

void CodeListWindowTest::legacyCodeWithBlankIsItself()
{
    // Older data holds a code with a blank; its text before the blank is another entry's code.
    TestDatabase t;
    t.exec(QStringLiteral("INSERT INTO 投诉类别 (编号, 类别) VALUES ('0', '服务态度'), ('0 1', '维修质量')"));
    MessageRecorder messages;
    Window w(createCategoryWindow);

    w.select(QStringLiteral("0 1 维修质量"));
    QCOMPARE(w.code->text(), QStringLiteral("0 1"));
    QCOMPARE(w.name->text(), QStringLiteral("维修质量"));

    // Its name changes, its own code is kept; the other entry is untouched.
    w.name->setText(QStringLiteral("维修"));
    w.save->click();
    QCOMPARE(messages.count(), 0);
    QCOMPARE(nameOf(t, QStringLiteral("0 1")), QStringLiteral("维修"));
    QCOMPARE(nameOf(t, QStringLiteral("0")), QStringLiteral("服务态度"));
    QCOMPARE(w.entries(), (QStringList{QStringLiteral("0 服务态度"), QStringLiteral("0 1 维修")}));
    // The duplicate test still goes by code.
    w.code->setText(QStringLiteral("0"));
    w.save->click();
    QCOMPARE(messages.last(), QStringLiteral("代号重复，请重新输入！"));
    QCOMPARE(nameOf(t, QStringLiteral("0 1")), QStringLiteral("维修"));

    w.select(QStringLiteral("0 1 维修"));
    w.remove->click();  // Yes
    QCOMPARE(t.count(QStringLiteral("投诉类别")), 1);
    QCOMPARE(nameOf(t, QStringLiteral("0")), QStringLiteral("服务态度"));
    QCOMPARE(w.entries(), QStringList{QStringLiteral("0 服务态度")});
}

void CodeListWindowTest::enterPressesOnlyTheFocusedButton()
{
    TestDatabase t(true);
    MessageRecorder messages;
    Window w(createCategoryWindow);
    QApplication::setActiveWindow(w.widget.get());
    QVERIFY(QTest::qWaitForWindowActive(w.widget.get()));
    w.addCancel->setFocus();
    QTest::keyClick(w.addCancel, Qt::Key_Return);
    QCOMPARE(w.addCancel->text(), QStringLiteral("取消"));
    QCOMPARE(QApplication::focusWidget(), w.code);
    w.type(QStringLiteral("08"), QStringLiteral("绿化"));
    QTest::keyClick(w.code, Qt::Key_Return);
    QTest::keyClick(w.name, Qt::Key_Enter);
    QCOMPARE(t.count(QStringLiteral("投诉类别")), 7);  // Enter in a box saves nothing
    w.save->setFocus();
    QTest::keyClick(w.save, Qt::Key_Enter);
    QCOMPARE(nameOf(t, QStringLiteral("08")), QStringLiteral("绿化"));
    QCOMPARE(messages.count(), 0);
}

void CodeListWindowTest::databaseFailuresAreReported()
{
    TestDatabase t(true);
    MessageRecorder messages;
    Window w(createCategoryWindow);
    w.addCancel->click();
    w.type(QStringLiteral("08"), QStringLiteral("绿化"));
    t.exec(QStringLiteral("ALTER TABLE 投诉类别 RENAME TO gone"));

    // The handler report names the handler; the window keeps the typed entry and its mode.
    w.save->click();
    QVERIFY(messages.last().endsWith(QStringLiteral(" SSCommand2_Click")));
    QCOMPARE(w.addCancel->text(), QStringLiteral("取消"));
    QCOMPARE(w.code->text(), QStringLiteral("08"));
    w.addCancel->click();
    w.select(QStringLiteral("02 维修质量"));
    QCOMPARE(messages.messages.last().title, Messages::executableName());  // showing: the short report
    w.remove->click();
    QVERIFY(messages.last().endsWith(QStringLiteral(" Command3d13_Click")));
    QCOMPARE(w.list->count(), 7);

    t.exec(QStringLiteral("ALTER TABLE gone RENAME TO 投诉类别"));
    w.remove->click();
    QCOMPARE(w.list->count(), 6);
}

TAVIMOR_TEST(CodeListWindowTest)
#include "CodeListWindowTest.moc"

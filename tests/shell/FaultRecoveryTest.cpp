#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTest>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <functional>
#include <memory>

#include "MessageRecorder.h"
#include "ReadOnlyFile.h"
#include "ShellFixture.h"
#include "TdsEndpoint.h"
#include "TestDatabase.h"
#include "TestRegistry.h"
#include "common/Connection.h"
#include "common/FlexGrid.h"
#include "common/Session.h"
#include "data/FailureText.h"
#include "handling/HandlingWindows.h"
#include "intake/IntakeWindows.h"
#include "routing/RoutingWindows.h"
#include "setup/SetupWindows.h"

using FailureText::Kind;

namespace {

template <typename T = QWidget>
T *control(QWidget *window, const QString &name)
{
    T *widget = window->findChild<T *>(name);
    if (!widget) qFatal("no control %s", qPrintable(name));
    return widget;
}

void press(QWidget *window, const char *button)
{
    QTest::mouseClick(control<QPushButton>(window, QString::fromUtf8(button)), Qt::LeftButton);
}

void type(QWidget *window, const char *name, const QString &text)
{
    QWidget *box = control(window, QString::fromUtf8(name));
    if (auto *line = qobject_cast<QLineEdit *>(box)) line->setText(text);
    else qobject_cast<QPlainTextEdit *>(box)->setPlainText(text);
}

QString typed(QWidget *window, const char *name)
{
    QWidget *box = control(window, QString::fromUtf8(name));
    if (auto *line = qobject_cast<QLineEdit *>(box)) return line->text();
    return qobject_cast<QPlainTextEdit *>(box)->toPlainText();
}

// Clicks the grid row that shows `text` in some column, as the user does.
void clickRow(QWidget *window, const char *gridName, const QString &text)
{
    auto *grid = control<FlexGrid>(window, QString::fromUtf8(gridName));
    GridModel *model = grid->grid();
    for (int row = 0; row < model->rowCount(); ++row)
        for (int column = 0; column < model->columnCount(); ++column)
            if (model->text(row, column) == text) {
                const QModelIndex index = model->index(row, column);
                grid->scrollTo(index);
                QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(index).center());
                return;
            }
    QFAIL(qPrintable(QStringLiteral("no row %1 in %2").arg(text, QString::fromUtf8(gridName))));
}

// Picks a department node and a post in the window's tree and post list.
void pickPost(QWidget *window, const char *treeName, const QString &department, const QString &post)
{
    auto *tree = control<QTreeWidget>(window, QString::fromUtf8(treeName));
    for (QTreeWidgetItemIterator it(tree); *it; ++it) {
        const QString data = (*it)->data(0, Qt::UserRole).toString();
        if (data == QLatin1Char('$') + department || (*it)->text(0).startsWith(department + QLatin1Char(' '))) {
            tree->setCurrentItem(*it);
            emit tree->itemClicked(*it, 0);
            break;
        }
    }
    auto *posts = control<QListWidget>(window, QStringLiteral("List1"));
    for (int i = 0; i < posts->count(); ++i)
        if (posts->item(i)->text().startsWith(post + QLatin1Char(' '))) emit posts->itemClicked(posts->item(i));
}

// What the database holds, read beside the program's own connection.
QString state(TestDatabase &db, const QString &sql) { return db.value(sql).toString(); }

// One user action of a work window: how to open the window and fill in the user's input, the
// button that stores it, what it changes in the database, and the input that must survive a
// failure.
struct Action {
    std::function<void()> login;
    QWidget *(*open)();
    std::function<void(QWidget *)> fill;
    const char *button;
    QString lastTable;  // the table of the action's last write
    QString stateSql;   // one text that changes when the action is stored
    const char *keptBox;
    QString keptText;
    bool reportsDescription;  // the handler report shows only the number and the handler
};

void loginAs(const char *user, const char *name, const char *dept, const char *deptName, const char *post,
             const char *postName)
{
    TestDatabase::login(QString::fromUtf8(user), QString::fromUtf8(name), QString::fromUtf8(dept),
                        QString::fromUtf8(deptName), QString::fromUtf8(post), QString::fromUtf8(postName));
}

Action action(const QString &name)
{
    const auto receptionist = [] { loginAs("1001", "张晓燕", "5", "翠苑物业服务中心", "502", "前台接待员"); };
    const auto acceptor = [] { loginAs("1002", "李建国", "5", "翠苑物业服务中心", "501", "服务中心主任"); };
    const auto manager = [] { loginAs("1004", "刘德明", "1", "总经理室", "101", "总经理"); };
    const QString pendingState = QStringLiteral(
        "SELECT 处理状态 || '/' || COALESCE(调查情况, '') || '/' || (SELECT count(*) FROM 投诉信息处理"
        " WHERE 投诉编号 = '00000001') FROM 投诉信息 WHERE 投诉编号 = '00000001'");
    if (name == QLatin1String("reception save"))
        return {receptionist,
                createReceptionWindow,
                [](QWidget *w) {
                    press(w, "Command3");
                    type(w, "Text1(1)", QStringLiteral("故障测试人"));
                    type(w, "Text1(4)", QStringLiteral("楼道灯不亮"));
                    control<QComboBox>(w, QStringLiteral("Combo4"))->setCurrentIndex(1);
                    control<QComboBox>(w, QStringLiteral("Combo5"))->setCurrentIndex(0);
                },
                "Command4",
                QStringLiteral("投诉信息"),
                QStringLiteral("SELECT count(*) || '/' || max(投诉编号) FROM 投诉信息"),
                "Text1(1)",
                QStringLiteral("故障测试人"),
                true};
    if (name == QLatin1String("reception void"))
        return {receptionist,
                createReceptionWindow,
                [](QWidget *w) { clickRow(w, "MSFlexGrid1", QStringLiteral("00000001")); },
                "Command13",
                QStringLiteral("投诉信息"),
                QStringLiteral("SELECT COALESCE(撤销时间, 'none') FROM 投诉信息 WHERE 投诉编号 = '00000001'"),
                "Text1(5)",
                QStringLiteral("00000001"),
                true};
    if (name == QLatin1String("acceptance finish"))
        return {acceptor,
                createAcceptanceWindow,
                [](QWidget *w) {
                    clickRow(w, "ListView1", QStringLiteral("00000001"));
                    type(w, "Text2", QStringLiteral("现场查看属实"));
                    type(w, "Text4", QStringLiteral("已约谈装修户"));
                },
                "Command1",
                QStringLiteral("投诉信息处理"),
                pendingState,
                "Text4",
                QStringLiteral("已约谈装修户"),
                true};
    if (name == QLatin1String("acceptance forward"))
        return {acceptor,
                createAcceptanceWindow,
                [](QWidget *w) {
                    clickRow(w, "ListView1", QStringLiteral("00000001"));
                    type(w, "Text2", QStringLiteral("现场查看属实"));
                    type(w, "Text3", QStringLiteral("请工程部维修"));
                    pickPost(w, "TreeView1", QStringLiteral("3"), QStringLiteral("301"));
                },
                "Command2",
                QStringLiteral("投诉信息处理"),
                pendingState,
                "Text3",
                QStringLiteral("请工程部维修"),
                true};
    if (name == QLatin1String("handling close"))
        return {[] { loginAs("1003", "王志强", "3", "工程维修部", "301", "工程部经理"); },
                createHandlingWindow,
                [](QWidget *w) {
                    clickRow(w, "ListView1", QStringLiteral("00000013"));
                    type(w, "Text3", QStringLiteral("已派维修班"));
                },
                "Command1",
                QStringLiteral("投诉信息处理"),
                QStringLiteral("SELECT COALESCE(处理结束时间, 'open') FROM 投诉信息处理"
                               " WHERE 投诉编号 = '00000013' AND 处理岗位 = '301'"),
                "Text3",
                QStringLiteral("已派维修班"),
                true};
    if (name == QLatin1String("code-list save"))
        return {manager,
                createCategoryWindow,
                [](QWidget *w) {
                    press(w, "Command3D16");
                    type(w, "Text7(0)", QStringLiteral("08"));
                    type(w, "Text7(1)", QStringLiteral("绿化养护"));
                },
                "SSCommand2",
                QStringLiteral("投诉类别"),
                QStringLiteral("SELECT count(*) FROM 投诉类别"),
                "Text7(1)",
                QStringLiteral("绿化养护"),
                false};
    // assignment save
    return {manager,
            createAssignmentWindow,
            [](QWidget *w) {
                auto *offices = control<QTreeWidget>(w, QStringLiteral("TreeView1"));
                QTreeWidgetItem *root = offices->topLevelItem(0);
                for (int i = 0; i < root->childCount(); ++i)
                    if (root->child(i)->data(0, Qt::UserRole).toString() == QLatin1String("2G")) {
                        offices->setCurrentItem(root->child(i));
                        emit offices->itemClicked(root->child(i), 0);
                    }
                press(w, "Command1");
                type(w, "Text1", QStringLiteral("2024-01-02"));
                pickPost(w, "TreeView2", QStringLiteral("3"), QStringLiteral("301"));
            },
            "Command2",
            QStringLiteral("投诉处理人设置"),
            QStringLiteral("SELECT count(*) FROM 投诉处理人设置"),
            "Text1",
            QStringLiteral("2024-01-02"),
            true};
}

const char *const kActions[] = {"reception save", "reception void", "acceptance finish", "acceptance forward",
                                "handling close", "code-list save", "assignment save"};

// Opens the action's window on the test database, logged in as its user, and fills in the input.
struct OpenAction {
    Action a;
    MessageRecorder messages;
    std::unique_ptr<QWidget> window;
    explicit OpenAction(const QString &name) : a(action(name))
    {
        a.login();
        window.reset(a.open());
        window->resize(1280, 800);
        window->show();
        if (!QTest::qWaitForWindowExposed(window.get())) qFatal("the window did not show");
        a.fill(window.get());
    }
    void press() { ::press(window.get(), a.button); }
    QString kept() const { return typed(window.get(), a.keptBox); }
};

// A database failure brought about for real on the test database, and taken away again.
class Fault {
public:
    Fault(Kind kind, TestDatabase &db, const QString &lastTable) : m_kind(kind), m_db(db)
    {
        switch (kind) {
            case Kind::Locked:
                m_other.openSqlite(db.file());
                m_other.begin();  // another station in the middle of a write
                break;
            case Kind::ReadOnly: db.exec(QStringLiteral("PRAGMA query_only = ON")); break;
            case Kind::DiskFull: {
                // The action's last write needs room the disk does not have.
                db.exec(QStringLiteral("CREATE TABLE filler (b BLOB)"));
                for (const char *event : {"INSERT", "UPDATE"})
                    db.exec(QStringLiteral("CREATE TEMP TRIGGER fill_%1 AFTER %1 ON %2 BEGIN"
                                           " INSERT INTO filler VALUES (zeroblob(200000)); END")
                                .arg(QLatin1String(event), lastTable));
                const int pages = db.value(QStringLiteral("PRAGMA page_count")).toInt();
                db.db().select(QStringLiteral("PRAGMA max_page_count = %1").arg(pages + 4));
                break;
            }
            case Kind::FileRemoved: QFile::remove(db.file()); break;
            default: qFatal("no such fault");
        }
    }
    bool remove()
    {
        switch (m_kind) {
            case Kind::Locked: m_other.rollback(); return true;
            case Kind::ReadOnly: m_db.exec(QStringLiteral("PRAGMA query_only = OFF")); return true;
            case Kind::DiskFull: m_db.db().select(QStringLiteral("PRAGMA max_page_count = 1073741823")); return true;
            default: return false;  // a deleted file stays deleted
        }
    }
    int number() const
    {
        switch (m_kind) {
            case Kind::Locked: return 5;
            case Kind::ReadOnly: return 8;
            case Kind::DiskFull: return 13;
            default: return FailureText::kFileRemovedNumber;
        }
    }

private:
    Kind m_kind;
    TestDatabase &m_db;
    Database m_other;
};

}  // namespace

// The one message of a failed action: its number, the plain text of what happened (or the short
// handler report), the input kept, and no busy pointer left behind.
static void checkTold(const OpenAction &w, int number, Kind kind)
{
    QVERIFY2(w.messages.count() == 1, qPrintable(w.messages.texts().join(QLatin1Char('|'))));
    const QString told = w.messages.last();
    QVERIFY2(told.contains(QString::number(number)), qPrintable(told));
    if (w.a.reportsDescription) QVERIFY2(told.contains(FailureText::plain(kind)), qPrintable(told));
    else QVERIFY2(QRegularExpression(QStringLiteral("^-?\\d+ \\w+_Click$")).match(told).hasMatch(), qPrintable(told));
    QCOMPARE(w.kept(), w.a.keptText);
    QVERIFY(!QApplication::overrideCursor());
}

// Every storing action of the work windows under every common database failure: the database
// holds the whole action or none of it, the user is told, the input stays, and the window goes on.
class FaultRecoveryTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        // These faults are done to the SQLite file itself (locks, read-only, deleted); over the
        // TDS test endpoint, which only replays statements, they have no meaning and would hang it.
        if (!qEnvironmentVariableIsEmpty("TAVIMOR_TEST_TDS_PORT")) QSKIP("faults of the SQLite file itself");
    }
    void init() { SqliteFile::setWriteWaitMilliseconds(200); }
    void cleanup()
    {
        SqliteFile::setWriteWaitMilliseconds(5000);
        TestDatabase::clearSession();
    }

    void actionIsWholeOrNone_data()
    {
        QTest::addColumn<QString>("actionName");
        QTest::addColumn<int>("kind");
        const QList<QPair<const char *, Kind>> faults{{"locked", Kind::Locked},
                                                      {"read-only", Kind::ReadOnly},
                                                      {"disk full", Kind::DiskFull},
                                                      {"file removed", Kind::FileRemoved}};
        for (const char *name : kActions)
            for (const auto &fault : faults)
                QTest::newRow(qPrintable(QStringLiteral("%1, %2").arg(QLatin1String(name), QLatin1String(fault.first))))
                    << QString::fromLatin1(name) << int(fault.second);
    }

    void actionIsWholeOrNone()
    {
        QFETCH(QString, actionName);
        QFETCH(int, kind);
        TestDatabase db(true);
        OpenAction w(actionName);
        QCOMPARE(w.messages.count(), 0);
        const QString before = state(db, w.a.stateSql);

        Fault fault(Kind(kind), db, w.a.lastTable);
        w.press();
        checkTold(w, fault.number(), Kind(kind));
        if (QTest::currentTestFailed()) return;

        if (!fault.remove()) {
            // Nothing can be stored any more; asking again is refused the same way.
            w.press();
            QCOMPARE(w.messages.count(), 2);
            QCOMPARE(w.kept(), w.a.keptText);
            return;
        }
        QCOMPARE(state(db, w.a.stateSql), before);  // none of it
        w.press();
        QVERIFY2(w.messages.count() == 1, qPrintable(w.messages.texts().join(QLatin1Char('|'))));
        QVERIFY(state(db, w.a.stateSql) != before);  // now the whole of it
    }

    // On the suite's SQL Server the connection breaks off at the action's last write: the server
    // rolls back what the action had written before it, the user is told, the input stays, and
    // once the server answers again the same button connects anew and stores the whole action.
    void actionIsWholeOrNoneWhenTheServerConnectionBreaks_data()
    {
        QTest::addColumn<QString>("actionName");
        for (const char *name : kActions) QTest::newRow(name) << QString::fromLatin1(name);
    }

    void actionIsWholeOrNoneWhenTheServerConnectionBreaks()
    {
        QFETCH(QString, actionName);
        TdsEndpoint endpoint;
        endpoint.answerFromSqlite();
        TDS_START(endpoint);
        qputenv("TAVIMOR_TEST_TDS_PORT", QByteArray::number(endpoint.port()));
        const auto overTheWire = qScopeGuard([] { qunsetenv("TAVIMOR_TEST_TDS_PORT"); });
        TestDatabase db(true);
        // The endpoint lets go of the file before the file's folder is removed.
        const auto letGo = qScopeGuard([&] {
            gConn.close();
            endpoint.stop();
        });
        OpenAction w(actionName);
        QCOMPARE(w.messages.count(), 0);
        const QString before = state(db, w.a.stateSql);

        endpoint.setScript(
            {TdsEndpoint::closing(QStringLiteral("(INSERT INTO|UPDATE|DELETE FROM) %1\\b").arg(w.a.lastTable))});
        w.press();
        checkTold(w, 20017, Kind::ConnectionLost);  // FreeTDS: "Unexpected EOF from the server"
        if (QTest::currentTestFailed()) return;
        QVERIFY(!endpoint.requests(QStringLiteral("closed-by-script")).isEmpty());
        QCOMPARE(state(db, w.a.stateSql), before);  // none of it

        endpoint.setScript({});
        w.press();
        QVERIFY2(w.messages.count() == 1, qPrintable(w.messages.texts().join(QLatin1Char('|'))));
        QVERIFY(state(db, w.a.stateSql) != before);  // now the whole of it
        QCOMPARE(endpoint.requests(QStringLiteral("login")).size(), 2);
    }

    // With the real limit: the busy pointer while the save waits, then the message after at most 5 s.
    void saveWaitsAtMostFiveSecondsWithTheBusyPointer()
    {
        SqliteFile::setWriteWaitMilliseconds(5000);
        TestDatabase db(true);
        const Action a = action(QStringLiteral("reception save"));
        a.login();
        MessageRecorder messages;
        std::unique_ptr<QWidget> window(a.open());
        window->show();
        a.fill(window.get());
        QList<int> shapes;
        std::function<void(bool)> shown;
        shown = SqliteFile::setWaitIndicator([&](bool waiting) {
            shown(waiting);
            if (waiting) shapes << (QApplication::overrideCursor() ? int(QApplication::overrideCursor()->shape()) : -1);
        });
        const int before = db.count(QStringLiteral("投诉信息"));
        Fault fault(Kind::Locked, db, QString());
        QElapsedTimer clock;
        clock.start();
        press(window.get(), a.button);
        const qint64 waited = clock.elapsed();
        SqliteFile::setWaitIndicator(shown);
        QVERIFY2(waited >= 4500 && waited < 6500, qPrintable(QString::number(waited)));
        QCOMPARE(shapes, QList<int>({int(Qt::WaitCursor)}));
        QVERIFY(!QApplication::overrideCursor());
        QVERIFY(messages.last().contains(QStringLiteral("数据库正被其他用户使用，请稍后再试")));
        QCOMPARE(db.count(QStringLiteral("投诉信息")), before);
        QCOMPARE(typed(window.get(), "Text1(1)"), QStringLiteral("故障测试人"));
    }

    // A read-only database, or one in a read-only folder, opens with a warning; a damaged one does
    // not open at all.
    void loginTellsOfReadOnlyAndDamagedFiles()
    {
        {
            ShellFixture f;
            gConn.close();
            ReadOnlyFile readOnly(f.database.file());
            if (!readOnly.holds()) QFAIL("cannot make a read-only file here (as root this needs chattr)");
            f.logIn(QStringLiteral("1001"), QStringLiteral("1234"));
            QCOMPARE(f.messages.texts(), QStringList{readOnlyWarning()});
            QCOMPARE(f.messages.messages.first().icon, Messages::Icon::Warning);
            QVERIFY(f.main());
        }
        {
            // A folder nobody may write takes no journal files: the database opens for reading.
            ShellFixture f;
            gConn.close();
            ReadOnlyFile folder(f.database.folder());
            if (!folder.holds()) QFAIL("cannot make a read-only folder here (as root this needs chattr)");
            f.logIn(QStringLiteral("1001"), QStringLiteral("1234"));
            QCOMPARE(f.messages.texts(), QStringList{readOnlyWarning()});
            QVERIFY(f.main());
            QVERIFY(gConn.isReadOnly());
            QVERIFY(f.database.count(QStringLiteral("投诉信息")) > 0);
        }
        ShellFixture f;
        gConn.close();
        {
            QFile file(f.database.file());
            QVERIFY(file.open(QIODevice::ReadWrite));
            file.seek(4096);
            file.write(QByteArray(3 * 4096, '\x5a'));
        }
        f.logIn(QStringLiteral("1001"), QStringLiteral("1234"));
        QCOMPARE(f.messages.count(), 2);
        QVERIFY2(
            f.messages.texts().first().startsWith(QStringLiteral("错误信息：") + FailureText::plain(Kind::Damaged)),
            qPrintable(f.messages.texts().first()));
        QCOMPARE(f.messages.texts().last(), QStringLiteral("数据库连接失败!"));
        QVERIFY(!f.main());
    }
};

TAVIMOR_TEST(FaultRecoveryTest)
#include "FaultRecoveryTest.moc"

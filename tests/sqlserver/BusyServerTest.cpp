#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <memory>

#include "MessageRecorder.h"
#include "TdsEndpoint.h"
#include "TestDatabase.h"
#include "TestRegistry.h"
#include "data/OdbcConnection.h"
#include "setup/SetupWindows.h"

namespace {

// A demo database reached over the wire: the endpoint answers from the test's SQLite file, except
// where the test's rules say otherwise.
struct WireDatabase {
    TdsEndpoint endpoint;
    std::unique_ptr<TestDatabase> t;

    void open()
    {
        qputenv("TAVIMOR_TEST_TDS_PORT", QByteArray::number(endpoint.port()));
        t = std::make_unique<TestDatabase>(true);
        qunsetenv("TAVIMOR_TEST_TDS_PORT");
    }
    int inserts() const
    {
        int count = 0;
        for (const QString &sql : endpoint.sqlTexts())
            if (sql.startsWith(QStringLiteral("INSERT INTO 投诉类别"))) ++count;
        return count;
    }
};

// The category window, with its controls found by their names.
struct CategoryWindow {
    CategoryWindow() : widget(createCategoryWindow())
    {
        widget->show();
        list = widget->findChild<QListWidget *>(QStringLiteral("List9"));
        code = widget->findChild<QLineEdit *>(QStringLiteral("Text7(0)"));
        name = widget->findChild<QLineEdit *>(QStringLiteral("Text7(1)"));
        addCancel = widget->findChild<QPushButton *>(QStringLiteral("Command3D16"));
        save = widget->findChild<QPushButton *>(QStringLiteral("SSCommand2"));
    }
    void add(const QString &codeText, const QString &nameText)
    {
        addCancel->click();
        code->setText(codeText);
        name->setText(nameText);
        save->click();
    }
    std::unique_ptr<QWidget> widget;
    QListWidget *list = nullptr;
    QLineEdit *code = nullptr;
    QLineEdit *name = nullptr;
    QPushButton *addCancel = nullptr;
    QPushButton *save = nullptr;
};

QJsonObject refusedInsert(int number, const QString &message)
{
    return TdsEndpoint::failure(QStringLiteral("^INSERT INTO 投诉类别"), number, message);
}

}  // namespace

// A server that is busy with other stations: a row locked past the lock time-out, a deadlock.
class BusyServerTest : public QObject {
    Q_OBJECT
private slots:
    void lockTimeOutIsReportedAndTheWindowStaysUsable();
    void deadlockVictimRunsOnceMoreThenSaysSo();
};

void BusyServerTest::lockTimeOutIsReportedAndTheWindowStaysUsable()
{
    WireDatabase wire;
    wire.endpoint.answerFromSqlite();
    TDS_START(wire.endpoint);
    wire.open();
    MessageRecorder messages;
    CategoryWindow w;
    QVERIFY(w.list && w.save);
    const int before = w.list->count();

    // The save waits for a row another station holds: the handler's report, the entry kept.
    wire.endpoint.setScript({refusedInsert(1222, QStringLiteral("Lock request time out period exceeded."))});
    w.add(QStringLiteral("08"), QStringLiteral("绿化"));
    QCOMPARE(messages.last(), QStringLiteral("1222 SSCommand2_Click"));
    QCOMPARE(w.code->text(), QStringLiteral("08"));
    QCOMPARE(w.list->count(), before);
    QCOMPARE(wire.t->count(QStringLiteral("投诉类别"), QStringLiteral("编号 = ?"), {QStringLiteral("08")}), 0);

    // A read that waits as long says why, in the words of the lock time-out.
    wire.endpoint.setScript({TdsEndpoint::failure(QStringLiteral("FROM 投诉类别.* WHERE 编号 = @P1$"), 1222,
                                                  QStringLiteral("Lock request time out period exceeded."))});
    w.list->setCurrentRow(1);
    QVERIFY2(messages.last().contains(SqlServerError::lockTimeoutMessage()), qPrintable(messages.last()));

    // Once the other station lets go, the same window saves.
    wire.endpoint.setScript({});
    w.addCancel->click();
    w.add(QStringLiteral("08"), QStringLiteral("绿化"));
    QCOMPARE(w.list->count(), before + 1);
    QCOMPARE(wire.t->count(QStringLiteral("投诉类别"), QStringLiteral("编号 = ?"), {QStringLiteral("08")}), 1);
}

void BusyServerTest::deadlockVictimRunsOnceMoreThenSaysSo()
{
    const QString deadlocked = QStringLiteral(
        "Transaction (Process ID 52) was deadlocked on lock resources with another process and has been "
        "chosen as the deadlock victim. Rerun the transaction.");
    WireDatabase wire;
    wire.endpoint.answerFromSqlite();
    wire.endpoint.setScript({TdsEndpoint::times(refusedInsert(1205, deadlocked), 1)});
    TDS_START(wire.endpoint);
    wire.open();
    MessageRecorder messages;
    CategoryWindow w;

    // Chosen once: the transaction runs again and the entry is saved, once.
    w.add(QStringLiteral("08"), QStringLiteral("绿化"));
    QCOMPARE(wire.inserts(), 2);
    QCOMPARE(wire.t->count(QStringLiteral("投诉类别"), QStringLiteral("编号 = ?"), {QStringLiteral("08")}), 1);
    QVERIFY(messages.messages.isEmpty());

    // Chosen twice: no third try; the user is told and nothing is saved.
    wire.endpoint.setScript({TdsEndpoint::times(refusedInsert(1205, deadlocked), 2)});
    wire.endpoint.clearRecord();
    w.add(QStringLiteral("09"), QStringLiteral("停车"));
    QCOMPARE(wire.inserts(), 2);
    QCOMPARE(messages.last(), QStringLiteral("1205 SSCommand2_Click"));
    QCOMPARE(wire.t->count(QStringLiteral("投诉类别"), QStringLiteral("编号 = ?"), {QStringLiteral("09")}), 0);
}

TAVIMOR_TEST(BusyServerTest)
#include "BusyServerTest.moc"

#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <memory>

#include "MessageRecorder.h"
#include "ReplayDatabase.h"
#include "TestRegistry.h"
#include "intake/IntakeWindows.h"

namespace {

// The reception window over the endpoint, logged in as the demo receptionist, with a new
// complaint typed in and not yet saved.
struct NewComplaint {
    ReplayDatabase replay;
    MessageRecorder messages;
    std::unique_ptr<QWidget> window;
    int stored = 0;

    explicit NewComplaint(const QString &profile = QString()) : replay(profile) {}

    void open(const QString &complainant)
    {
        replay.open();
        TestDatabase::login(QStringLiteral("1001"), QStringLiteral("张晓燕"), QStringLiteral("5"),
                            QStringLiteral("翠苑物业服务中心"), QStringLiteral("502"), QStringLiteral("前台接待员"));
        window.reset(createReceptionWindow());
        window->show();
        stored = count();
        button("Command3")->click();
        get<QLineEdit>("Text1(1)")->setText(complainant);
        get<QPlainTextEdit>("Text1(4)")->setPlainText(QStringLiteral("电梯故障"));
        get<QComboBox>("Combo4")->setCurrentIndex(1);
        get<QComboBox>("Combo5")->setCurrentIndex(0);
    }
    template <typename T>
    T *get(const char *name) const
    {
        T *widget = window->findChild<T *>(QString::fromUtf8(name));
        if (!widget) qFatal("no control %s", name);
        return widget;
    }
    QPushButton *button(const char *name) const { return get<QPushButton>(name); }
    int count() { return replay.db().count(QStringLiteral("投诉信息")); }
    void save() const { QTest::mouseClick(button("Command4"), Qt::LeftButton); }

    // The user was told `text` by one more message, nothing was stored, and the window still
    // holds the new complaint as typed, ready for the same button.
    void told(const QString &text, int messagesBefore, const QString &complainant)
    {
        QVERIFY2(messages.count() == messagesBefore + 1, qPrintable(messages.texts().join(QLatin1Char('|'))));
        QVERIFY2(messages.last().contains(text), qPrintable(messages.last()));
        QCOMPARE(count(), stored);
        QCOMPARE(get<QLineEdit>("Text1(1)")->text(), complainant);
        QCOMPARE(button("Command3")->text(), QStringLiteral("取消"));
        QVERIFY(button("Command4")->isEnabled() && window->isEnabled());
    }
    // Pressed again once the cause is gone, the same button stores the complaint.
    void savesOnceTheCauseIsGone()
    {
        const int before = messages.count();
        save();
        QVERIFY2(messages.count() == before, qPrintable(messages.last()));
        QCOMPARE(count(), stored + 1);
        QCOMPARE(button("Command3")->text(), QStringLiteral("新投诉"));
    }
};

}  // namespace

// The server's failures as a user meets them, over the wire: saving a new complaint at reception
// while the server refuses it. Each is told in plain Chinese, nothing is stored, what was typed
// stays, and the window goes on.
class ServerErrorsTest : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { TestDatabase::clearSession(); }

    void refusedSaveIsToldAndNothingIsLost_data()
    {
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("serverText");
        QTest::addColumn<QString>("told");
        QTest::newRow("1222 lock time-out")
            << 1222 << "Lock request time out period exceeded."
            << "数据正被其他工作站使用，等待 5 秒后仍未释放，本次操作没有完成，也没有保存任何内容。请稍后再试。";
        // The server ends a deadlock victim's transaction itself: the rollback that follows meets 3903.
        QTest::newRow("1205 deadlock, then 3903")
            << 1205 << "Transaction was deadlocked on lock resources with another process."
            << "与其他工作站的操作相互等待（死锁），已自动重试一次仍未成功，本次操作没有保存。请稍后再试。";
        QTest::newRow("1105 no room") << 1105
                                      << "Could not allocate space for object 'dbo.投诉信息' in database '物业' "
                                         "because the 'PRIMARY' filegroup is full."
                                      << "磁盘已满，修改没有保存。请清理磁盘空间后再试";
        QTest::newRow("8152 too long") << 8152 << "String or binary data would be truncated."
                                       << "输入的内容超过了数据库中该栏的长度，没有保存。请缩短后再试";
        QTest::newRow("242 date out of range")
            << 242
            << "The conversion of a datetime2 data type to a datetime data type resulted in an out-of-range value."
            << "日期超出了数据库能保存的范围（1753年至9999年），没有保存。请检查输入的日期";
    }
    void refusedSaveIsToldAndNothingIsLost()
    {
        QFETCH(int, number);
        QFETCH(QString, serverText);
        QFETCH(QString, told);
        NewComplaint w;
        TDS_START(w.replay.endpoint);
        w.open(QStringLiteral("陈建华"));
        QJsonArray rules{TdsEndpoint::failure(QStringLiteral("INSERT INTO 投诉信息 \\("), number, serverText)};
        if (number == 1205)
            rules.append(TdsEndpoint::failure(QStringLiteral("ROLLBACK"), 3903,
                                              QStringLiteral("The ROLLBACK TRANSACTION request has no "
                                                             "corresponding BEGIN TRANSACTION.")));
        w.replay.endpoint.setScript(rules);
        const int before = w.messages.count();
        w.save();
        w.told(told, before, QStringLiteral("陈建华"));
        QVERIFY(w.messages.last().contains(QString::number(number)));
        w.replay.endpoint.setScript({});
        w.savesOnceTheCauseIsGone();
    }

    // The server itself refuses a complainant longer than a legacy VARCHAR(20) column holds.
    void overlongValueOfALegacyColumnIsTold()
    {
        NewComplaint w(QStringLiteral("legacy"));
        TDS_START(w.replay.endpoint);
        const QString name = QStringLiteral("欧阳").repeated(5) + QStringLiteral("明");  // 22 bytes in GBK
        w.open(name);
        const int before = w.messages.count();
        w.save();
        w.told(QStringLiteral("输入的内容超过了数据库中该栏的长度，没有保存。请缩短后再试"), before, name);
        QVERIFY(w.messages.last().contains(QLatin1String("8152")));
    }

    // The link breaks off under the save; the next try connects anew and the server refuses the
    // login; the next finds no server at all. Each is told, and once the server is back the same
    // button stores the complaint.
    void linkAndLoginTroubleIsToldAndTheWindowGoesOn()
    {
        NewComplaint w;
        TdsEndpoint &endpoint = w.replay.endpoint;
        TDS_START(endpoint);
        w.open(QStringLiteral("陈建华"));
        const QJsonArray breaking{TdsEndpoint::closing(QStringLiteral("INSERT INTO 投诉信息 \\("))};
        endpoint.setScript(breaking);
        int before = w.messages.count();
        w.save();
        w.told(QStringLiteral("与数据库服务器的连接已断开，本次操作没有完成。请检查网络后再试，程序会重新连接"), before,
               QStringLiteral("陈建华"));

        const QJsonObject refused{
            {QStringLiteral("error"),
             QJsonObject{{QStringLiteral("number"), 18456},
                         {QStringLiteral("message"), QStringLiteral("Login failed for user 'sa'.")}}}};
        endpoint.setScript(breaking, {{QStringLiteral("login"), refused}});
        before = w.messages.count();
        w.save();
        w.told(QStringLiteral("数据库服务器拒绝了登录：登录名或密码不对。请检查数据库设置中的登录名和密码"), before,
               QStringLiteral("陈建华"));

        endpoint.stop();
        before = w.messages.count();
        w.save();
        w.told(QStringLiteral("无法连接数据库服务器。请检查数据库设置和网络，以及服务器是否在运行"), before,
               QStringLiteral("陈建华"));

        endpoint.setScript({});
        QVERIFY2(endpoint.start(), qPrintable(endpoint.error()));  // on the port it had
        w.savesOnceTheCauseIsGone();
    }
};

TAVIMOR_TEST(ServerErrorsTest)
#include "ServerErrorsTest.moc"

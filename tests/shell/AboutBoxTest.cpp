#include <QLabel>
#include <QPushButton>
#include <QStandardPaths>

#include "ShellFixture.h"
#include "TestRegistry.h"
#include "common/Platform.h"
#include "shell/AboutBox.h"

// The About box: its texts, and the system-information tool when there is none.
class AboutBoxTest : public QObject {
    Q_OBJECT
private slots:
    void showsTitleAndVersion();
    void missingSystemInformationToolIsReported();
};

void AboutBoxTest::showsTitleAndVersion()
{
    AboutBox box;
    QCOMPARE(box.objectName(), QStringLiteral("frmAbout"));
    QCOMPARE(box.windowTitle(), QStringLiteral("关于Tavimor系统2011版"));
    QCOMPARE(ShellFixture::child<QLabel>(&box, "Label7")->text(), Messages::programTitle() + QStringLiteral("1.0.0"));
    QCOMPARE(ShellFixture::child<QLabel>(&box, "lblTitle")->text(), QStringLiteral("Tavimor系统2011版的一部分"));
    QCOMPARE(ShellFixture::child<QLabel>(&box, "lblVersion")->text(), QStringLiteral("版本"));
    QCOMPARE(ShellFixture::child<QPushButton>(&box, "cmdOK")->text(), QStringLiteral("确定"));
    QCOMPARE(ShellFixture::child<QPushButton>(&box, "cmdSysInfo")->text(), QStringLiteral("系统信息"));
}

void AboutBoxTest::missingSystemInformationToolIsReported()
{
    // With a search path that holds no program, no tool can be found.
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", "/nonexistent");
    MessageRecorder messages;
    AboutBox box;
    QVERIFY(Platform::systemInformationTool().isEmpty());
    ShellFixture::child<QPushButton>(&box, "cmdSysInfo")->click();
    qputenv("PATH", path);
    QCOMPARE(messages.texts(), QStringList{QStringLiteral("此时系统信息不可用")});
    QCOMPARE(messages.messages.first().icon, Messages::Icon::None);
    QCOMPARE(messages.messages.first().title, Messages::programTitle());
}

TAVIMOR_TEST(AboutBoxTest)
#include "AboutBoxTest.moc"

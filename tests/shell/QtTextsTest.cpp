#include <QApplication>
#include <QCalendarWidget>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <memory>

#include "ShellFixture.h"
#include "TestRegistry.h"
#include "common/DesktopHabits.h"

// Qt's own texts (context menus, standard buttons) are Chinese, whatever the user's locale.
class QtTextsTest : public QObject {
    Q_OBJECT
private slots:
    void chineseForEveryLocale()
    {
        QCOMPARE(DesktopHabits::translationLocale(QLocale(QLocale::English, QLocale::UnitedStates)).name(),
                 QStringLiteral("zh_CN"));
        QCOMPARE(DesktopHabits::translationLocale(QLocale(QLocale::German, QLocale::Germany)).name(),
                 QStringLiteral("zh_CN"));
        QCOMPARE(DesktopHabits::translationLocale(QLocale(QLocale::Chinese, QLocale::Taiwan)).name(),
                 QStringLiteral("zh_TW"));
    }

    void textBoxMenuAndStandardButtons()
    {
        ShellFixture f;
        auto *user = ShellFixture::child<QLineEdit>(f.login, "TxtUser");
        user->setText(QStringLiteral("1001"));
        std::unique_ptr<QMenu> menu(user->createStandardContextMenu());
        QStringList items;
        for (QAction *action : menu->actions()) items << action->text();
        QVERIFY2(items.join(QLatin1Char(' ')).contains(QStringLiteral("粘贴")), qPrintable(items.join(' ')));
        QVERIFY(items.join(QLatin1Char(' ')).contains(QStringLiteral("复制")));

        QDialogButtonBox buttons(QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Yes |
                                 QDialogButtonBox::No);
        QCOMPARE(buttons.button(QDialogButtonBox::Cancel)->text(), QStringLiteral("取消"));
        QVERIFY(buttons.button(QDialogButtonBox::Yes)->text().startsWith(QStringLiteral("是")));
    }

    void calendarsNameChineseMonths()
    {
        ShellFixture f;
        f.logIn(QStringLiteral("pelOr"), QStringLiteral("brivet"));
        QWidget *statistics = f.main()->openItem(QStringLiteral("投诉信息统计"));
        auto *picker = ShellFixture::child<QDateEdit>(statistics, "DTPicker1");
        QVERIFY(picker->calendarPopup());
        QCalendarWidget *calendar = picker->calendarWidget();
        QCOMPARE(calendar->locale().language(), QLocale::Chinese);
        QCOMPARE(calendar->locale().monthName(3), QStringLiteral("三月"));
    }
};

TAVIMOR_TEST(QtTextsTest)
#include "QtTextsTest.moc"

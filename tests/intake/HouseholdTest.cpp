#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include "IntakeFixture.h"
#include "MessageRecorder.h"
#include "TestRegistry.h"
#include "common/Clock.h"
#include "common/FlexGrid.h"
#include "common/Session.h"
#include "common/Tag.h"
#include "data/Telephone.h"
#include "intake/HouseholdHistory.h"
#include "intake/IntakeWindows.h"

namespace {

const QDateTime kNow(QDate(2026, 6, 15), QTime(10, 0));

// The reception window on the demo data, the clock pinned, logged in as the demo receptionist.
struct Reception : ReceptionFixture {
    Clock::Pinned pinned{kNow};
    MessageRecorder messages;
    int serial = 1000;

    Reception() { open(1280, 900); }
    QLineEdit *telephone() const { return get<QLineEdit>("Text1(3)"); }
    GridModel *history() const { return get<FlexGrid>("MSFlexGrid2")->grid(); }
    QString warning() const { return get<QLabel>("Label8")->text(); }
    QListWidget *list() const { return get<QListWidget>("List2"); }

    // A complaint of any department, `minutesAgo` before the pinned now, stored as reception
    // stores it (the telephone with its digits).
    QString add(const QVariant &room, const QString &phone, qint64 minutesAgo, bool voided = false,
                const QString &dept = QStringLiteral("5"))
    {
        const QString code = QStringLiteral("H%1").arg(++serial);
        db.exec(QStringLiteral(
                    "INSERT INTO 投诉信息 (投诉编号, 流水号, 部门编号, S_ID, 投诉人, 联系电话, 联系电话号码, 投诉类别,"
                    " 投诉时间, 投诉内容, 处理状态, 撤销时间)"
                    " VALUES (?, ?, ?, ?, '住户', ?, ?, '维修质量', ?, ?, '尚未受理', ?)"),
                {code, serial, dept, room, phone, textOrNull(Telephone::digits(phone)), kNow.addSecs(-60 * minutesAgo),
                 QStringLiteral("内容") + code, voided ? QVariant(kNow.date()) : nullText()});
        return code;
    }
    QStringList codes() const
    {
        QStringList list;
        for (int r = 0; r < history()->rowCount(); ++r) list << history()->text(r, 0);
        return list;
    }
    // Picks a room in the address panel as the user does.
    void pickRoom(const QString &building, const QString &room) const
    {
        click("Command1");
        auto *tree = get<QTreeWidget>("TreeView1");
        QTreeWidgetItem *parent = nullptr;
        for (int i = 0; i < tree->topLevelItemCount() && !parent; ++i)
            if (tree->topLevelItem(i)->text(0) == building) parent = tree->topLevelItem(i);
        QVERIFY(parent);
        emit tree->itemClicked(parent, 0);
        for (int i = 0; i < parent->childCount(); ++i)
            if (parent->child(i)->text(0) == room) {
                emit tree->itemClicked(parent->child(i), 0);
                return;
            }
        QFAIL(qPrintable(room));
    }
    // Types a number into the telephone box and leaves it.
    void typeTelephone(const QString &number) const
    {
        telephone()->setFocus();
        telephone()->clear();
        QTest::keyClicks(telephone(), number);
        QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
        QApplication::sendEvent(telephone(), &out);
    }
    void showRow(const QString &code) const
    {
        auto *grid = get<FlexGrid>("MSFlexGrid1");
        for (int r = 0; r < grid->grid()->rowCount(); ++r)
            if (grid->grid()->text(r, RegisterColumn::Code) == code) {
                grid->setCurrentRow(r);
                emit grid->cellClicked(r, 1);
                return;
            }
        QFAIL(qPrintable(code));
    }
    void refreshRegister() const { click("Command2"); }
};

}  // namespace

class HouseholdTest : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { TestDatabase::clearSession(); }

    // Room 103 (翠苑小区12幢1单元201室, 王海涛): its live complaints of every department, newest
    // first; the voided one and the neighbour's are left out.
    void historyOfAPickedRoom()
    {
        Reception r;
        const QString old = r.add(103, QString(), 60 * 24 * 45);
        const QString recent = r.add(103, QString(), 60 * 24 * 2);
        const QString otherDept = r.add(103, QString(), 60 * 24 * 5, false, QStringLiteral("6"));
        r.add(103, QString(), 60, true);                // voided
        r.add(104, QStringLiteral("13805710504"), 30);  // the neighbour, with this household's phone
        r.pickRoom(QStringLiteral("翠苑小区12幢1单元"), QStringLiteral("201室 王海涛"));
        QCOMPARE(r.codes(), (QStringList{recent, otherDept, old}));
        QCOMPARE(r.history()->headerText(4), QStringLiteral("投诉内容"));
        QCOMPARE(r.history()->text(0, 1), QStringLiteral("2026-06-13 10:00"));
        QCOMPARE(r.warning(), QStringLiteral("该户近30天内已投诉2次"));
        QCOMPARE(r.get<QLabel>("Label8")->palette().color(QPalette::WindowText), QColor(255, 0, 0));
        QCOMPARE(r.messages.count(), 0);
    }

    // A typed address: the household is its telephone, however the digits were written; fewer
    // than seven digits name no household.
    void historyByTelephoneWithoutRoom()
    {
        Reception r;
        const QString a = r.add(QVariant(), QStringLiteral("0571-8888 7777"), 10);
        const QString b = r.add(QVariant(), QStringLiteral("(0571)88887777"), 20);
        const QString c = r.add(107, QStringLiteral("057188887777"), 30);
        r.add(QVariant(), QStringLiteral("0571-8888 7778"), 40);
        r.click("Command3");  // a new complaint
        r.typeTelephone(QStringLiteral("0571 88887777"));
        QCOMPARE(r.codes(), (QStringList{a, b, c}));
        QCOMPARE(r.warning(), QStringLiteral("该户近30天内已投诉3次"));
        r.typeTelephone(QStringLiteral("887777"));
        QCOMPARE(r.codes(), QStringList());
        QCOMPARE(r.warning(), QString());
    }

    // The shown complaint leaves itself out of its history and of the count; the count takes
    // the 30 days up to now, the first minute included.
    void repeatWarningOfAShownComplaint()
    {
        Reception r;
        const QString shown = r.add(105, QString(), 5);
        r.refreshRegister();
        r.showRow(shown);
        QCOMPARE(r.codes(), QStringList());
        QCOMPARE(r.warning(), QString());  // 0

        const QString edge = r.add(105, QString(), 60 * 24 * 30);
        r.add(105, QString(), 60 * 24 * 30 + 1);  // a minute too early
        r.showRow(shown);
        QCOMPARE(r.codes().size(), 2);
        QVERIFY(!r.codes().contains(shown));
        QCOMPARE(r.warning(), QStringLiteral("该户近30天内已投诉1次"));

        r.add(105, QString(), 60 * 24);
        r.add(105, QString(), -60);  // booked for later today: not in the days before now
        r.add(105, QString(), 120, true);
        r.showRow(shown);
        QCOMPARE(r.warning(), QStringLiteral("该户近30天内已投诉2次"));
        Q_UNUSED(edge);
    }

    void lookupByTelephone()
    {
        Reception r;
        r.click("Command3");
        r.telephone()->setText(QStringLiteral("12a3"));
        r.click("Command10");
        QCOMPARE(r.messages.last(), QStringLiteral("请输入至少4位电话号码"));
        r.telephone()->setText(QStringLiteral("9999 0000"));
        r.click("Command10");
        QCOMPARE(r.messages.last(), QStringLiteral("没有找到该电话的住户"));
        QVERIFY(!r.list()->isVisible());

        // One current householder; the one who moved out (13905710509) is not offered.
        r.telephone()->setText(QStringLiteral("1380571-0504"));
        r.click("Command10");
        QCOMPARE(r.list()->count(), 1);
        QCOMPARE(r.list()->item(0)->text(), QStringLiteral("王海涛 翠苑小区12幢1单元201室 13805710504"));

        // Several, in two offices: choosing one fills the fields as picking its room does.
        const QString earlier = r.add(119, QString(), 60 * 24 * 3);
        r.telephone()->setText(QStringLiteral("1380571052"));
        r.click("Command10");
        QVERIFY(r.list()->isVisible());
        QStringList entries;
        for (int i = 0; i < r.list()->count(); ++i) entries << r.list()->item(i)->text();
        QCOMPARE(entries, (QStringList{QStringLiteral("马丽 翠苑小区8幢2单元1102室 13805710521"),
                                       QStringLiteral("罗斌 翠苑二期3幢101室 13805710522"),
                                       QStringLiteral("梁晓东 翠苑二期3幢102室 13805710524"),
                                       QStringLiteral("郑凯 翠苑二期3幢1101室 13805710526"),
                                       QStringLiteral("谢芳 翠苑二期3幢1102室 13805710527"),
                                       QStringLiteral("韩冰 翠苑二期15幢101室 13805710528")}));
        emit r.list()->itemClicked(r.list()->item(1));
        QVERIFY(!r.list()->isVisible());
        QCOMPARE(r.get<QLineEdit>("Text1(1)")->text(), QStringLiteral("罗斌"));
        QCOMPARE(r.get<QLineEdit>("Text1(2)")->text(), QStringLiteral("翠苑二期3幢101室"));
        QCOMPARE(r.telephone()->text(), QStringLiteral("13805710522"));
        QCOMPARE(tag(r.get<QLineEdit>("Text1(1)")), QStringLiteral("522"));
        QCOMPARE(r.get<QComboBox>("Combo3")->currentText(), QStringLiteral("2 翠苑二期"));
        QCOMPARE(r.codes(), QStringList{earlier});
        QCOMPARE(r.warning(), QStringLiteral("该户近30天内已投诉1次"));

        // The room is stored with the complaint.
        r.get<QPlainTextEdit>("Text1(4)")->setPlainText(QStringLiteral("门禁坏了"));
        r.get<QComboBox>("Combo4")->setCurrentIndex(0);
        r.get<QComboBox>("Combo5")->setCurrentIndex(0);
        r.click("Command4");
        QCOMPARE(r.db.value(QStringLiteral("SELECT S_ID FROM 投诉信息 WHERE 投诉内容 = '门禁坏了'")).toInt(), 119);
    }

    // A few digits may match a great many householders: the list offers the first hundred and
    // says that there are more.
    void lookupListsAtMostAHundred()
    {
        Reception r;
        for (int n = 0; n < 105; ++n) {
            r.db.exec(QStringLiteral("INSERT INTO 室表 (S_ID, L_ID, 室, 字, 房屋性质) VALUES (?, 1, ?, '室', '01')"),
                      {9000 + n, QString::number(3000 + n)});
            r.db.exec(QStringLiteral(
                          "INSERT INTO 业主表 (ZH_ID, S_ID, 姓名, 联系方式, 说明) VALUES (?, ?, '住户', ?, '新进户')"),
                      {9000 + n, 9000 + n, QStringLiteral("1390000%1").arg(n, 4, 10, QLatin1Char('0'))});
        }
        r.telephone()->setText(QStringLiteral("1390000"));
        r.click("Command10");
        QCOMPARE(r.list()->count(), 101);
        QCOMPARE(r.list()->item(100)->text(), QStringLiteral("……只列出前100户，请输入更多号码"));
        QCOMPARE(r.list()->item(100)->flags(), Qt::NoItemFlags);
        QVERIFY(r.list()->item(99)->text().endsWith(QStringLiteral("13900000099")));
        emit r.list()->itemClicked(r.list()->item(100));  // not a householder: nothing happens
        QVERIFY(r.list()->isVisible());
    }

    // Quotes, percent signs and underscores typed as a telephone are neither SQL nor wildcards.
    void typedQuotesChangeNoStatement()
    {
        Reception r;
        r.add(QVariant(), QStringLiteral("'%"), 10);
        const int complaints = r.db.count(QStringLiteral("投诉信息"));
        const int owners = r.db.count(QStringLiteral("业主表"));
        r.click("Command3");
        r.typeTelephone(QStringLiteral("'%"));
        QCOMPARE(r.codes(), QStringList());
        r.telephone()->setText(QStringLiteral("'; DELETE FROM 业主表; --"));
        r.click("Command10");
        QCOMPARE(r.messages.last(), QStringLiteral("请输入至少4位电话号码"));
        r.telephone()->setText(QStringLiteral("%_%0504'"));
        r.click("Command10");
        QCOMPARE(r.list()->count(), 1);  // the digits 0504 alone, found literally
        QCOMPARE(r.db.count(QStringLiteral("投诉信息")), complaints);
        QCOMPARE(r.db.count(QStringLiteral("业主表")), owners);
    }

    // The sheet opens from a history row and from Command11 for the shown complaint only.
    void sheetFromHistoryAndButton()
    {
        Reception r;
        const QString earlier = r.add(103, QString(), 60 * 24);
        QStringList opened;
        ModalDriver driver([&](QDialog *dialog) {
            opened << dialog->objectName() + QLatin1Char(' ') + dialog->windowTitle();
            return 0;
        });
        auto *sheet = r.get<QPushButton>("Command11");
        QVERIFY(!sheet->isEnabled());  // no complaint shown yet
        r.click("Command3");
        QVERIFY(!sheet->isEnabled());
        r.pickRoom(QStringLiteral("翠苑小区12幢1单元"), QStringLiteral("201室 王海涛"));
        auto *grid = r.get<FlexGrid>("MSFlexGrid2");
        emit grid->cellDoubleClicked(0, 2);
        QCOMPARE(opened, QStringList{QStringLiteral("frm投诉处理单 投诉处理单 ") + earlier});
        r.click("Command3");
        r.refreshRegister();
        r.showRow(earlier);
        QVERIFY(sheet->isEnabled());
        // A new complaint entered while the row stays highlighted has no sheet of its own yet.
        r.click("Command3");
        QVERIFY(!sheet->isEnabled());
        r.click("Command11");
        r.click("Command3");
        r.click("Command11");
        QCOMPARE(opened, (QStringList{QStringLiteral("frm投诉处理单 投诉处理单 ") + earlier,
                                      QStringLiteral("frm投诉处理单 投诉处理单 ") + earlier}));
        QCOMPARE(driver.runs, 2);
        QCOMPARE(r.messages.count(), 0);
    }

    // A leading country code is no part of the number: the history and the lookup find the
    // household however it was dialled, and whichever way it was stored. A local number that
    // starts with 86 keeps its digits.
    void countryCodeIsDropped()
    {
        Reception r;
        const QString a = r.add(QVariant(), QStringLiteral("13905719999"), 10);
        const QString b = r.add(QVariant(), QStringLiteral("+86 139-0571-9999"), 20);
        const QString c = r.add(QVariant(), QStringLiteral("0086 13905719999"), 30);
        const QString local = r.add(QVariant(), QStringLiteral("8600 1001"), 40);
        const QString landline = r.add(QVariant(), QStringLiteral("0571-8600 1001"), 50);
        const QString abroad = r.add(QVariant(), QStringLiteral("+86 571 8600 1001"), 60);
        r.click("Command3");
        for (const char *typed :
             {"+86 13905719999", "0086-139 0571 9999", "86-13905719999", "(+86)13905719999", "13905719999"}) {
            r.typeTelephone(QString::fromUtf8(typed));
            QVERIFY2(r.codes() == (QStringList{a, b, c}), typed);
        }
        r.typeTelephone(QStringLiteral("8600 1001"));
        QCOMPARE(r.codes(), QStringList{local});
        for (const char *typed : {"0571 8600 1001", "+86 571 8600 1001", "86 571 86001001"}) {
            r.typeTelephone(QString::fromUtf8(typed));
            QVERIFY2(r.codes() == (QStringList{landline, abroad}), typed);
        }
        for (const char *typed : {"+86 138 0571 0504", "0086 13805710504", "86-13805710504"}) {
            r.telephone()->setText(QString::fromUtf8(typed));
            r.click("Command10");
            QCOMPARE(r.list()->count(), 1);
            QVERIFY2(r.list()->item(0)->text().startsWith(QStringLiteral("王海涛 ")), typed);
        }
        QCOMPARE(r.messages.count(), 0);

        // Where the 86 in front is part of the number.
        const QStringList kept = {"8600 1001", "8613 9057", "86 0010 0112", "86 1234 5678 9", "861065529"};
        for (const QString &number : kept) QCOMPARE(Telephone::digits(number), Telephone::allDigits(number));
        QCOMPARE(Telephone::digits(QStringLiteral("86 10 6552 9988")), QStringLiteral("01065529988"));
        QCOMPARE(Telephone::digits(QStringLiteral("+86 (0)571 8600 1001")), QStringLiteral("057186001001"));
    }

    // The earlier complaints' contents take the width the short columns leave, and a long one's
    // tooltip stays readable.
    void historyContentFillsThePanel()
    {
        Reception r;
        const QString code = r.add(103, QString(), 60);
        const QString endless = QStringLiteral("楼上漏水").repeated(800);
        r.db.exec(QStringLiteral("UPDATE 投诉信息 SET 投诉内容 = ? WHERE 投诉编号 = ?"), {endless, code});
        r.add(103, QString(), 120);
        r.pickRoom(QStringLiteral("翠苑小区12幢1单元"), QStringLiteral("201室 王海涛"));
        auto *grid = r.get<FlexGrid>("MSFlexGrid2");
        QCOMPARE(r.codes().first(), code);
        int shortColumns = 0;
        for (int c = 0; c < 4; ++c) shortColumns += grid->columnWidth(c);
        QCOMPARE(shortColumns + grid->columnWidth(4), grid->viewport()->width());
        QVERIFY(grid->columnWidth(4) > grid->viewport()->width() / 2);
        const QString tip = grid->model()->index(0, 4).data(Qt::ToolTipRole).toString();
        QCOMPARE(tip, endless.left(GridModel::kMaxToolTipChars) + QStringLiteral("…"));
        QCOMPARE(grid->model()->index(1, 4).data(Qt::ToolTipRole).toString(), r.history()->text(1, 4));
    }
};

TAVIMOR_TEST(HouseholdTest)
#include "HouseholdTest.moc"

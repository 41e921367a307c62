#include <QComboBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>

#include "ExportProbe.h"
#include "MessageRecorder.h"
#include "Readers.h"
#include "TestDatabase.h"
#include "TestRegistry.h"
#include "common/Clock.h"
#include "common/FlexGrid.h"
#include "common/Session.h"
#include "common/Twips.h"
#include "stats/ExportWindow.h"
#include "stats/StatisticsStore.h"
#include "stats/StatisticsWindow.h"

namespace {

struct Complaint {
    const char *code;
    const char *dept;
    const char *time;
    const char *status;
    const char *finished = nullptr;
    const char *voided = nullptr;
    const char *address = nullptr;
};

// Complaints around the first of May 2024, of department 5 unless said otherwise.
void addComplaints(TestDatabase &db)
{
    const Complaint complaints[] = {
        {"00000001", "5", "2024-05-01 00:00:00", "尚未受理"},
        {"00000002", "5", "2024-05-01 23:59:59", "处理中", nullptr, nullptr, "翠苑小区8幢"},
        {"00000003", "5", "2024-05-02 00:00:00", "处理完成", "2024-05-03 10:00:00", nullptr, "翠苑二期3幢"},
        {"00000004", "5", "2024-04-30 23:59:59", "尚未受理", nullptr, "2024-05-01 00:00:00"},
        {"00000005", "6", "2024-05-01 12:00:00", "尚未受理"},
        {"00000006", "5", "2024-05-01 08:30:00", "尚未受理", nullptr, "2024-05-01 00:00:00"},
    };
    int serial = 0;
    for (const Complaint &c : complaints) {
        const auto text = [](const char *s) { return s ? QVariant(QString::fromUtf8(s)) : QVariant(); };
        db.exec(QStringLiteral("INSERT INTO 投诉信息 (投诉编号, 流水号, 部门编号, 地址, 投诉人, 联系电话, 投诉时间, "
                               "投诉内容, 处理状态, 处理时间, 调查情况, 处理结果, 撤销时间)"
                               " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"),
                {text(c.code), ++serial, text(c.dept), text(c.address), QStringLiteral("投诉人%1").arg(serial),
                 QStringLiteral("1380000000%1").arg(serial), text(c.time), QStringLiteral("内容%1").arg(serial),
                 text(c.status), text(c.finished), c.finished ? QVariant(QStringLiteral("已核实")) : QVariant(),
                 c.finished ? QVariant(QStringLiteral("已处理")) : QVariant(), text(c.voided)});
    }
}

void login() { TestDatabase::login("1001", "张晓燕", "5", "翠苑物业服务中心", "502", "前台接待员"); }

QStringList column(const GridModel &grid, int column)
{
    QStringList texts;
    for (int row = 0; row < grid.rowCount(); ++row) texts << grid.text(row, column);
    return texts;
}

QStringList listed(const QDate &from, const QDate &to, StatusFilter status = StatusFilter::All, const char *dept = "5")
{
    GridModel grid;
    grid.setFormatString(StatisticsStore::formatString(), QFont());
    StatisticsStore(gConn).fill(grid, StatisticsQuery{QString::fromLatin1(dept), from, to, status});
    return column(grid, StatisticsColumn::Code);
}

template <typename T>
T *find(QWidget *window, const char *name)
{
    T *widget = window->findChild<T *>(QString::fromUtf8(name));
    if (!widget) qFatal("no control %s", name);
    return widget;
}

void setRange(QWidget *window, const QDate &from, const QDate &to)
{
    find<QDateEdit>(window, "DTPicker1")->setDate(from);
    find<QDateEdit>(window, "DTPicker2")->setDate(to);
}

void clickLine(FlexGrid *grid, int row)
{
    const QPoint at = grid->visualRect(grid->grid()->index(row, 1)).center();
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, at);
}

QString pickedPath;
QString answerPickedPath(QWidget *, const QString &) { return pickedPath; }

const QDate may1(2024, 5, 1);

}  // namespace

class StatisticsTest : public QObject {
    Q_OBJECT
private slots:
    // Both days count whole; only the department's complaints; "全  部" includes voided ones and
    // each status item lists only its status.
    void periodDepartmentAndStatus()
    {
        TestDatabase db;
        addComplaints(db);
        QCOMPARE(listed(may1, may1), (QStringList{"00000001", "00000006", "00000002"}));
        QCOMPARE(listed(may1.addDays(-1), may1.addDays(1)),
                 (QStringList{"00000004", "00000001", "00000006", "00000002", "00000003"}));
        QCOMPARE(listed(may1.addDays(-1), may1.addDays(1), StatusFilter::NotAccepted),
                 (QStringList{"00000004", "00000001", "00000006"}));
        QCOMPARE(listed(may1.addDays(-1), may1.addDays(1), StatusFilter::InProgress), QStringList{"00000002"});
        QCOMPARE(listed(may1.addDays(-1), may1.addDays(1), StatusFilter::Finished), QStringList{"00000003"});
        QCOMPARE(listed(may1, may1, StatusFilter::All, "6"), QStringList{"00000005"});
        QVERIFY(listed(may1.addDays(2), may1.addDays(30)).isEmpty());

        GridModel grid;
        grid.setFormatString(StatisticsStore::formatString(), QFont());
        QCOMPARE(StatisticsStore(gConn).fill(grid, StatisticsQuery{"5", may1, may1.addDays(1), StatusFilter::All}), 4);
        QCOMPARE(grid.columns(), 10);
        QCOMPARE(column(grid, StatisticsColumn::Row), (QStringList{"1", "2", "3", "4"}));
        QCOMPARE(grid.rowTexts(3), (QStringList{"4", "00000003", "翠苑二期3幢", "投诉人3", "2024-05-02", "内容3",
                                                "2024-05-03 10:00:00", "13800000003", "处理完成", ""}));
        QCOMPARE(grid.text(0, StatisticsColumn::Address), QString());
    }

    // Loading, the date check, the status list, and the record of a clicked line in blue; a line
    // whose complaint is gone empties the boxes but the status.
    void windowListAndRecord()
    {
        TestDatabase db;
        addComplaints(db);
        login();
        MessageRecorder messages;
        StatisticsWindow window;
        window.show();
        const QDate today = QDate::currentDate();
        QCOMPARE(find<QDateEdit>(&window, "DTPicker1")->date(), QDate(today.year(), today.month(), 1));
        QCOMPARE(find<QDateEdit>(&window, "DTPicker2")->date(), today);
        auto *status = find<QComboBox>(&window, "Combo1");
        QCOMPARE(status->currentText(), QStringLiteral("全  部"));
        QCOMPARE(status->count(), 4);

        auto *grid = find<FlexGrid>(&window, "MSFlexGrid1");
        setRange(&window, may1, may1.addDays(1));
        find<QPushButton>(&window, "Command1")->click();
        QCOMPARE(grid->grid()->rowCount(), 4);
        setRange(&window, may1.addDays(1), may1);
        find<QPushButton>(&window, "Command1")->click();
        QCOMPARE(messages.count(), 1);
        QCOMPARE(messages.last(), QStringLiteral("起始日期不能大于结束日期,请重新选择日期!"));
        QCOMPARE(messages.messages[0].icon, Messages::Icon::None);
        QCOMPARE(grid->grid()->rowCount(), 4);

        setRange(&window, may1.addDays(-1), may1.addDays(1));
        status->setCurrentIndex(3);
        find<QPushButton>(&window, "Command1")->click();
        QCOMPARE(column(*grid->grid(), StatisticsColumn::Code), (QStringList{"00000004", "00000001", "00000006"}));
        status->setCurrentIndex(1);
        find<QPushButton>(&window, "Command1")->click();
        QCOMPARE(column(*grid->grid(), StatisticsColumn::Code), QStringList{"00000002"});

        clickLine(grid, 0);
        QStringList boxes;
        for (int i = 0; i <= 10; ++i)
            boxes << find<QLineEdit>(&window, qPrintable(QStringLiteral("Text1(%1)").arg(i)))->text();
        QCOMPARE(boxes, (QStringList{"00000002", "翠苑小区8幢投诉人2", "2024-05-01 23:59:59", "2024-05-01 23:59:59",
                                     "内容2", "", "", "", "投诉人2", "13800000002", "处理中"}));
        QCOMPARE(find<QLineEdit>(&window, "Text1(4)")->palette().color(QPalette::Text), QColor(0, 0, 255));

        // Without an address the complainant still shows.
        status->setCurrentIndex(0);
        find<QPushButton>(&window, "Command1")->click();
        clickLine(grid, 1);
        QCOMPARE(find<QLineEdit>(&window, "Text1(1)")->text(), QStringLiteral("投诉人1"));

        db.exec(QStringLiteral("DELETE FROM 投诉信息 WHERE 投诉编号 = '00000003'"));
        clickLine(grid, 4);
        for (int i = 0; i < 10; ++i)
            QVERIFY(find<QLineEdit>(&window, qPrintable(QStringLiteral("Text1(%1)").arg(i)))->text().isEmpty());
        QCOMPARE(find<QLineEdit>(&window, "Text1(10)")->text(), QStringLiteral("尚未受理"));
        QCOMPARE(messages.count(), 1);
    }

    // A failing query or record read: the short report, and the window goes on working.
    // A telephone text of thousands of characters does not widen its column past the cap.
    void grownColumnsHaveACeiling()
    {
        TestDatabase db;
        addComplaints(db);
        db.exec(QStringLiteral("UPDATE 投诉信息 SET 联系电话 = ? WHERE 投诉编号 = '00000001'"),
                {QStringLiteral("0571-8888 ").repeated(1000)});
        login();
        MessageRecorder messages;
        StatisticsWindow window;
        window.show();
        setRange(&window, may1, may1.addDays(1));
        find<QPushButton>(&window, "Command1")->click();
        auto *grid = find<FlexGrid>(&window, "MSFlexGrid1");
        QCOMPARE(grid->grid()->rowCount(), 4);
        QVERIFY(grid->columnWidth(StatisticsColumn::Telephone) <= Twips::toPixels(GridModel::kMaxGrownTwips) + 2);
        QVERIFY(grid->columnWidth(StatisticsColumn::Telephone) > 400);
    }

    void databaseErrorsAreReported()
    {
        TestDatabase db;
        addComplaints(db);
        login();
        MessageRecorder messages;
        StatisticsWindow window;
        window.show();
        setRange(&window, may1, may1);
        find<QPushButton>(&window, "Command1")->click();
        db.exec(QStringLiteral("ALTER TABLE 投诉信息 RENAME TO 投诉信息_old"));
        clickLine(find<FlexGrid>(&window, "MSFlexGrid1"), 0);
        find<QPushButton>(&window, "Command1")->click();
        QCOMPARE(messages.count(), 2);
        for (const Messages::Message &m : messages.messages) {
            QCOMPARE(m.title, Messages::executableName());
            QCOMPARE(m.icon, Messages::Icon::Information);
            QVERIFY2(QRegularExpression(QStringLiteral("^-?\\d+ .+")).match(m.text).hasMatch(), qPrintable(m.text));
        }
        db.exec(QStringLiteral("ALTER TABLE 投诉信息_old RENAME TO 投诉信息"));
        find<QPushButton>(&window, "Command1")->click();
        QCOMPARE(find<FlexGrid>(&window, "MSFlexGrid1")->grid()->rowCount(), 3);
    }

    // "输出EXCEL" hands the list, its sheet name and title to the export window; the workbook holds
    // the nine captioned columns; an empty list exports its header only.
    void exportTheList()
    {
        REQUIRE_READER(readers::missingOpenpyxl());
        TestDatabase db;
        addComplaints(db);
        login();
        MessageRecorder messages;
        QTemporaryDir dir;
        pickedPath = dir.filePath(QStringLiteral("统计.xlsx"));
        ExportWindow::setFileChooser(&answerPickedPath);
        StatisticsWindow window;
        window.show();
        setRange(&window, may1, QDate(2024, 5, 31));
        find<QPushButton>(&window, "Command1")->click();
        find<QDateEdit>(&window, "DTPicker1")->setDate(QDate(2024, 1, 1));  // after the list: not its period
        find<QPushButton>(&window, "Command4")->click();
        ExportWindow *exporter = window.exportWindow();
        QVERIFY(exporter && exporter->isVisible());
        const QString sheet = QStringLiteral("(2024-05-01至2024-05-31)投诉情况统计表");
        QCOMPARE(find<QLineEdit>(exporter, "Text1(2)")->text(), sheet);
        QCOMPARE(find<QLineEdit>(exporter, "Text1(1)")->text(), QStringLiteral("投诉情况统计表"));
        QCOMPARE(exporter->chosenColumns(), (QVector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8}));
        find<QPushButton>(exporter, "Command1")->click();
        find<QPushButton>(exporter, "Command2")->click();
        QCOMPARE(messages.count(), 0);

        export_probe::Seen seen = export_probe::dump(PROBE_SCRIPT, pickedPath);
        QCOMPARE(seen.sheets, (QStringList{"Sheet1", sheet}));
        QCOMPARE(seen.value(sheet, "A1").toString(), QStringLiteral("投诉情况统计表"));
        QCOMPARE(seen.value(sheet, "I4").toString(), QStringLiteral("处理状态"));
        QVERIFY(!seen.sheet(sheet)["cells"].toObject().contains("J4"));
        QCOMPARE(seen.value(sheet, "A5").toInt(), 1);
        QCOMPARE(seen.cell(sheet, "A5")["format"].toString(), QStringLiteral("0.00_ "));
        QCOMPARE(seen.value(sheet, "B5").toString(), QStringLiteral("00000001"));
        QCOMPARE(seen.cell(sheet, "B5")["format"].toString(), QStringLiteral("@"));
        QCOMPARE(seen.value(sheet, "E7").toString(), QStringLiteral("2024-05-01 23:59:59"));
        QCOMPARE(seen.value(sheet, "B8").toString(), QStringLiteral("00000003"));
        QVERIFY(!seen.sheet(sheet)["cells"].toObject().contains("A9"));

        // An empty list, exported into the same sheet: the header alone, the old rows gone.
        setRange(&window, QDate(2024, 5, 1), QDate(2024, 5, 31));
        find<QComboBox>(&window, "Combo1")->setCurrentIndex(1);
        db.exec(QStringLiteral("UPDATE 投诉信息 SET 处理状态 = '处理完成'"));
        find<QPushButton>(&window, "Command1")->click();
        QCOMPARE(find<FlexGrid>(&window, "MSFlexGrid1")->grid()->rowCount(), 0);
        find<QPushButton>(&window, "Command4")->click();
        exporter = window.exportWindow();
        find<QPushButton>(exporter, "Command1")->click();
        find<QPushButton>(exporter, "Command2")->click();
        QCOMPARE(messages.count(), 0);
        seen = export_probe::dump(PROBE_SCRIPT, pickedPath);
        QStringList rows;
        for (const QString &address : seen.sheet(sheet)["cells"].toObject().keys())
            if (!rows.contains(address.mid(1))) rows << address.mid(1);
        rows.sort();
        QCOMPARE(rows, (QStringList{"1", "2", "3", "4"}));
        QCOMPARE(seen.value(sheet, "B4").toString(), QStringLiteral("投诉编号"));
        ExportWindow::setFileChooser(nullptr);
    }

    // The default period is the first of the month to today, read once when the window opens:
    // on the last second of a month, on the first second of the next and on 29 February.
    void defaultPeriodAtMonthEdges()
    {
        TestDatabase db;
        login();
        const QVector<QPair<QDateTime, QDate>> cases = {
            {QDateTime(QDate(2026, 1, 31), QTime(23, 59, 59)), QDate(2026, 1, 1)},
            {QDateTime(QDate(2026, 2, 1), QTime(0, 0, 0)), QDate(2026, 2, 1)},
            {QDateTime(QDate(2028, 2, 29), QTime(12, 0, 0)), QDate(2028, 2, 1)},
            {QDateTime(QDate(2026, 12, 31), QTime(23, 59, 59)), QDate(2026, 12, 1)},
        };
        for (const auto &c : cases) {
            Clock::Pinned clock(c.first);
            StatisticsWindow window;
            QCOMPARE(find<QDateEdit>(&window, "DTPicker1")->date(), c.second);
            QCOMPARE(find<QDateEdit>(&window, "DTPicker2")->date(), c.first.date());
        }
    }
};

TAVIMOR_TEST(StatisticsTest)
#include "StatisticsTest.moc"

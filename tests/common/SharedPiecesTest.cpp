#include <QDialog>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QSignalSpy>
#include <QTest>

#include "TestRegistry.h"
#include "common/CodeName.h"
#include "common/DateText.h"
#include "common/FlexGrid.h"
#include "common/GridModel.h"
#include "common/MainArea.h"

// The small shared pieces: code-and-name texts, date texts and waiting times, the grid model,
// centring in the main window.
class SharedPiecesTest : public QObject {
    Q_OBJECT
private slots:
    void codeAndName();
    void waitingTimes_data();
    void waitingTimes();
    void hourBoundaries();
    void parsingWhatUsersType_data();
    void parsingWhatUsersType();
    void gridFormatStringAndRows();
    void gridWidthsOnlyGrow();
    void gridRemovingARowMovesCellStyles();
    void gridRefillReplacesRowsInOneReset();
    void centringCanGoNegative();
    void gridReportsRowsTheUserChoosesOnly();
};

void SharedPiecesTest::codeAndName()
{
    QCOMPARE(CodeName::code(QStringLiteral("03 噪音 扰民")), QStringLiteral("03"));
    QCOMPARE(CodeName::name(QStringLiteral("03 噪音 扰民")), QStringLiteral("噪音 扰民"));
    QCOMPARE(CodeName::code(QStringLiteral("abc")), QStringLiteral("abc"));
    QCOMPARE(CodeName::name(QStringLiteral("abc")), QString());
}

void SharedPiecesTest::waitingTimes_data()
{
    QTest::addColumn<int>("minutes");
    QTest::addColumn<QString>("text");
    QTest::newRow("59") << 59 << QStringLiteral("59分钟");
    QTest::newRow("60") << 60 << QStringLiteral("1小时0分钟");
    QTest::newRow("125") << 125 << QStringLiteral("2小时5分钟");
    QTest::newRow("1440") << 1440 << QStringLiteral("24小时0分钟");
    QTest::newRow("100000") << 100000 << QStringLiteral("1666小时40分钟");
    QTest::newRow("0") << 0 << QStringLiteral("0分钟");
    QTest::newRow("future") << -5 << QStringLiteral("0分钟");
}

void SharedPiecesTest::waitingTimes()
{
    QFETCH(int, minutes);
    QFETCH(QString, text);
    const QDateTime now(QDate(2026, 12, 8), QTime(10, 30, 20));
    QCOMPARE(DateText::waiting(now.addSecs(-60 * minutes), now), text);
}

void SharedPiecesTest::hourBoundaries()
{
    // Boundaries are clock ticks, not elapsed time.
    const QDateTime a(QDate(2026, 12, 8), QTime(10, 59, 59));
    QCOMPARE(DateText::hourBoundaries(a, a.addSecs(1)), 1);
    QCOMPARE(DateText::minuteBoundaries(a, a.addSecs(1)), 1);
    QCOMPARE(DateText::hourBoundaries(QDateTime(QDate(2026, 12, 7), QTime(9, 0)),
                                      QDateTime(QDate(2026, 12, 8), QTime(9, 59))),
             24);
    QCOMPARE(DateText::hourBoundaries(QDateTime(QDate(2026, 12, 7), QTime(8, 59)),
                                      QDateTime(QDate(2026, 12, 8), QTime(9, 0))),
             25);
}

void SharedPiecesTest::parsingWhatUsersType_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QDateTime>("expected");
    QTest::newRow("minutes") << "2026-03-05 09:05" << QDateTime(QDate(2026, 3, 5), QTime(9, 5));
    QTest::newRow("short") << "2026-3-5 9:05" << QDateTime(QDate(2026, 3, 5), QTime(9, 5));
    QTest::newRow("slashes") << "2026/12/31 23:59:58" << QDateTime(QDate(2026, 12, 31), QTime(23, 59, 58));
    QTest::newRow("date only") << "2026.02.28" << QDateTime(QDate(2026, 2, 28), QTime(0, 0));
    QTest::newRow("month 13") << "2026-13-40 10:00" << QDateTime();
    QTest::newRow("29 Feb") << "2025-02-29" << QDateTime();
    QTest::newRow("hour 24") << "2026-01-01 24:00" << QDateTime();
    QTest::newRow("text") << "明天" << QDateTime();
    QTest::newRow("empty") << "" << QDateTime();
}

void SharedPiecesTest::parsingWhatUsersType()
{
    QFETCH(QString, text);
    QFETCH(QDateTime, expected);
    QCOMPARE(DateText::parse(text), expected);
}

void SharedPiecesTest::gridFormatStringAndRows()
{
    GridModel grid;
    grid.setFormatString(QStringLiteral("<序|^编号      |>金额|"), QFont());
    QCOMPARE(grid.columns(), 4);
    QCOMPARE(grid.headerText(0), QStringLiteral("序"));
    QCOMPARE(grid.headerText(1), QStringLiteral("编号"));
    QCOMPARE(grid.headerText(3), QString());
    QCOMPARE(grid.alignment(0), 1);
    QCOMPARE(grid.alignment(1), 4);
    QCOMPARE(grid.alignment(2), 7);
    QVERIFY(grid.widthTwips(1) > grid.widthTwips(2));  // the blanks widen the column
    {
        GridModel::Bulk bulk(grid);
        const QString cells[] = {QStringLiteral("1"), QStringLiteral("00000001"), QString(), QStringLiteral("x")};
        bulk.append(cells, 4);
        bulk.append(cells, 2);  // missing cells read as empty
    }
    QCOMPARE(grid.rowCount(), 2);
    QCOMPARE(grid.gridRowCount(), 3);
    QCOMPARE(grid.gridText(0, 1), QStringLiteral("编号"));
    QCOMPARE(grid.gridText(1, 1), QStringLiteral("00000001"));
    QCOMPARE(grid.text(1, 3), QString());
    grid.setText(0, 2, QStringLiteral("12.50"));
    QCOMPARE(grid.rowTexts(0), (QStringList{"1", "00000001", "12.50", "x"}));
    grid.setRowBackground(1, QColor(255, 238, 228));
    QCOMPARE(grid.data(grid.index(1, 3), Qt::BackgroundRole).value<QColor>(), QColor(255, 238, 228));
    QVERIFY(!grid.data(grid.index(0, 3), Qt::BackgroundRole).isValid());
}

void SharedPiecesTest::gridWidthsOnlyGrow()
{
    GridModel grid;
    grid.setFormatString(QStringLiteral("<a|<b"), QFont());
    grid.setWidthTwips(0, 3000);
    const int narrow = grid.widthTwips(1);
    grid.appendRow({QStringLiteral("x"), QStringLiteral("一段很长很长的投诉内容，需要更宽的列")});
    grid.growWidthsToFit(QFont());
    QCOMPARE(grid.widthTwips(0), 3000);
    QVERIFY(grid.widthTwips(1) > narrow);
    const QFontMetrics metrics{QFont()};
    QCOMPARE(grid.widthTwips(1), metrics.horizontalAdvance(grid.text(0, 1)) * 15 + 90);
}

void SharedPiecesTest::gridRemovingARowMovesCellStyles()
{
    GridModel grid;
    grid.setColumnCount(2);
    for (int i = 0; i < 3; ++i) grid.appendRow({QString::number(i), QString()});
    grid.setCellStyle(2, 1, Qt::red, true);
    grid.removeDataRow(0);
    QCOMPARE(grid.text(0, 0), QStringLiteral("1"));
    QCOMPARE(grid.data(grid.index(1, 1), Qt::ForegroundRole).value<QColor>(), QColor(Qt::red));
    QVERIFY(!grid.data(grid.index(0, 1), Qt::ForegroundRole).isValid());
}

void SharedPiecesTest::gridRefillReplacesRowsInOneReset()
{
    GridModel model;
    model.setColumnCount(2);
    for (int r = 0; r < 3; ++r) model.appendRow({QString::number(r), QStringLiteral("old")});
    model.setRowBackground(2, Qt::yellow);
    model.setCellStyle(1, 1, Qt::red, true);
    QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
    {
        GridModel::Bulk bulk(model, GridModel::ReplaceRows);
        const QString cells[] = {QStringLiteral("a"), QStringLiteral("new")};
        QCOMPARE(bulk.append(cells, 2), 0);
        QCOMPARE(bulk.append(cells, 2), 1);
    }
    QCOMPARE(resets.count(), 1);
    QCOMPARE(model.rowCount(), 2);
    QCOMPARE(model.rowTexts(1), (QStringList{"a", "new"}));
    // Nothing of the old rows' colours and styles stays on the new ones.
    QCOMPARE(model.rowBackground(1), QColor());
    QVERIFY(!model.data(model.index(1, 1), Qt::FontRole).isValid());
}

void SharedPiecesTest::centringCanGoNegative()
{
    QMdiArea area;
    area.resize(400, 300);
    area.show();
    MainArea::set(&area);
    auto *window = new QWidget;
    window->resize(600, 100);
    QMdiSubWindow *frame = MainArea::open(window);
    frame->resize(600, 100);
    CenterInMain(window);
    QCOMPARE(frame->pos().x(), (area.viewport()->width() - 600) / 2);
    QVERIFY(frame->pos().x() < 0);
    QCOMPARE(frame->pos().y(), (area.viewport()->height() - 100) / 2);
    MainArea::set(nullptr);
}

void SharedPiecesTest::gridReportsRowsTheUserChoosesOnly()
{
    FlexGrid grid;
    grid.grid()->setFormatString(QStringLiteral("<a|<b"), QFont());
    for (int i = 0; i < 3; ++i) grid.grid()->appendRow({QString::number(i), QString()});
    grid.show();
    QSignalSpy chosen(&grid, &FlexGrid::rowChosen);
    grid.setCurrentRow(0);  // the program's own choice
    grid.grid()->removeDataRow(2);
    QCOMPARE(chosen.count(), 0);
    QTest::keyClick(&grid, Qt::Key_Down);
    QCOMPARE(chosen.count(), 1);
    QCOMPARE(chosen.at(0).at(0).toInt(), 1);
    QTest::keyClick(&grid, Qt::Key_Down);  // already on the last row
    QCOMPARE(chosen.count(), 1);
    emit grid.cellClicked(0, 1);
    QCOMPARE(chosen.count(), 2);
}

TAVIMOR_TEST(SharedPiecesTest)
#include "SharedPiecesTest.moc"

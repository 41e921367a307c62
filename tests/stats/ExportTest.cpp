#include <QCryptographicHash>
#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include "ExportProbe.h"
#include "TestRegistry.h"
#include "stats/GridExport.h"
#include "xlsx/Workbook.h"

using export_probe::fillGrid;

// The sheet the grid export writes, read back with openpyxl.
class ExportTest : public QObject {
    Q_OBJECT

    QString m_noProbe;
    std::unique_ptr<QTemporaryDir> m_dir;

    QString file(const QString &name) const { return m_dir->filePath(name); }
    static GridExport::Job job(const QString &path, const QString &sheet, const QVector<int> &columns)
    {
        GridExport::Job j;
        j.path = path;
        j.title = QStringLiteral("投诉情况统计表");
        j.sheetName = sheet;
        j.printDate = QDate(2024, 5, 6);
        j.columns = columns;
        return j;
    }
    static QByteArray hashOf(const QString &path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256)
                                           : QByteArray();
    }
    QString fixture(const QString &name)
    {
        const QString path = file(name);
        export_probe::run(PROBE_SCRIPT, {"fixture", path});
        return path;
    }

private slots:
    void initTestCase() { m_noProbe = export_probe::unavailable(); }
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        if (!m_noProbe.isEmpty() && QByteArray(QTest::currentTestFunction()) != "addresses")
            QSKIP(qPrintable(m_noProbe));
    }

    void addresses()
    {
        QCOMPARE(RangeNom(0, 4), QStringLiteral("A4"));
        QCOMPARE(RangeNom(27, 10), QStringLiteral("AB10"));
        for (int c = 0; c < GridExport::kMaxColumns; ++c) QCOMPARE(RangeNom(c, 1), xlsx::cellName(1, c + 1));
        QVERIFY(RangeNom(156, 1).isEmpty());
        QVERIFY(RangeNom(-1, 1).isEmpty());
    }

    // Title block, formats by alignment, values, widths, fonts, borders; an unchosen column
    // leaves no gap and a column without a chosen mark is not written.
    void sheetLayout()
    {
        GridModel grid;
        fillGrid(grid, QStringLiteral("序|<编号|>金额|<备注|<地址"),
                 {{"1", "0012", "12.5", "不写", "西湖区1号"}, {"2", "0013", "", "", "0571"}});
        for (int c = 0; c < grid.columns(); ++c) grid.setWidthTwips(c, 1440);
        grid.setWidthTwips(4, 2880);
        const QString path = file("layout.xlsx");
        GridExport::write(grid, job(path, QStringLiteral("统计"), {0, 1, 2, 4}));

        const export_probe::Seen seen = export_probe::dump(PROBE_SCRIPT, path);
        QCOMPARE(seen.sheets, (QStringList{"Sheet1", "统计"}));  // a new workbook: added after its first sheet
        const QString s = QStringLiteral("统计");
        auto cell = [&](const char *a) { return seen.cell(s, QString::fromLatin1(a)); };
        auto value = [&](const char *a) { return seen.value(s, QString::fromLatin1(a)); };
        QCOMPARE(value("A1").toString(), QStringLiteral("投诉情况统计表"));
        QCOMPARE(cell("A1")["size"].toDouble(), 18.0);
        QCOMPARE(cell("A1")["h"].toString(), QStringLiteral("center"));
        QCOMPARE(cell("A1")["v"].toString(), QStringLiteral("distributed"));
        QVERIFY(value("A2").isNull());
        QCOMPARE(cell("A2")["size"].toDouble(), 12.0);
        QCOMPARE(value("A3").toString(), QStringLiteral("打印日期：2024年05月06日"));
        QCOMPARE(cell("A3")["h"].toString(), QStringLiteral("right"));
        QCOMPARE(cell("A3")["size"].toDouble(), 10.0);
        QCOMPARE(seen.merges(s), (QStringList{"A1:D1", "A2:D2", "A3:D3"}));

        // Header in row 4, centred; data from row 5.
        QCOMPARE(value("A4").toString(), QStringLiteral("序"));
        QCOMPARE(value("D4").toString(), QStringLiteral("地址"));
        QCOMPARE(cell("B4")["h"].toString(), QStringLiteral("center"));
        QVERIFY(cell("B5")["h"].isNull());
        // General and right-aligned columns: "0.00_ ", numbers become numbers.
        QCOMPARE(cell("A5")["format"].toString(), QStringLiteral("0.00_ "));
        QCOMPARE(cell("A5")["type"].toString(), QStringLiteral("n"));
        QCOMPARE(value("A6").toInt(), 2);
        QCOMPARE(value("C5").toDouble(), 12.5);
        QCOMPARE(cell("C4")["format"].toString(), QStringLiteral("0.00_ "));
        QCOMPARE(value("C4").toString(), QStringLiteral("金额"));
        QVERIFY(value("C6").isNull());
        // Left-aligned columns: text, so a code keeps its zeros and a telephone stays text.
        QCOMPARE(value("B5").toString(), QStringLiteral("0012"));
        QCOMPARE(cell("B5")["type"].toString(), QStringLiteral("s"));
        QCOMPARE(cell("B5")["format"].toString(), QStringLiteral("@"));
        QCOMPARE(value("D6").toString(), QStringLiteral("0571"));
        // The unchosen column is skipped: the fifth source column lands in D, nothing in E.
        QCOMPARE(value("D5").toString(), QStringLiteral("西湖区1号"));
        QVERIFY(!seen.sheet(s)["cells"].toObject().contains("E5"));
        for (const char *a : {"A4", "D4", "C6", "D6"}) {
            QCOMPARE(cell(a)["border"].toString(), QStringLiteral("thin,thin,thin,thin"));
            QCOMPARE(cell(a)["size"].toDouble(), 10.5);
        }
        QCOMPARE(cell("A3")["border"].toString(), QStringLiteral("None,None,None,None"));
        QVERIFY(!seen.sheet(s)["cells"].toObject().contains("A7"));
        // Widths: twips / 100 characters (1440 twips: 14.4, stored with the cell padding).
        const QJsonObject widths = seen.sheet(s)["widths"].toObject();
        for (const char *c : {"A", "B", "C"}) QCOMPARE(widths[c].toDouble(), 3876 / 256.0);
        QVERIFY(widths["D"].toDouble() > 28.8);
    }

    // One header row: no merging in the header. Two: runs of equal top texts merge across, equal
    // texts merge down, and the last column of a run never gets a second, overlapping merge.
    void headerRows()
    {
        GridModel one;
        fillGrid(one, QStringLiteral("<投诉|<投诉|<状态"), {});
        GridExport::write(one, job(file("one.xlsx"), QStringLiteral("表"), {0, 1, 2}));
        const export_probe::Seen empty = export_probe::dump(PROBE_SCRIPT, file("one.xlsx"));
        QCOMPARE(empty.merges("表"), (QStringList{"A1:C1", "A2:C2", "A3:C3"}));
        QCOMPARE(empty.value("表", "B4").toString(), QStringLiteral("投诉"));
        QCOMPARE(empty.cell("表", "C4")["border"].toString(), QStringLiteral("thin,thin,thin,thin"));
        for (const QString &key : empty.sheet("表")["cells"].toObject().keys())
            QVERIFY2(key.endsWith('1') || key.endsWith('2') || key.endsWith('3') || key.endsWith('4'), qPrintable(key));

        GridModel two;
        fillGrid(two, QStringLiteral("<投诉|<投诉|<投诉|<处理|<合计|<合计|<状态"),
                 {{"1", "2", "3", "4", "5", "6", "7"}});
        const QStringList below{"编号", "时间", "人", "时间", "数量", "", "状态"};
        for (int c = 0; c < below.size(); ++c) two.setHeaderText(c, below[c], 1);
        GridExport::write(two, job(file("two.xlsx"), QStringLiteral("表"), {0, 1, 2, 3, 4, 5, 6}));
        const export_probe::Seen seen = export_probe::dump(PROBE_SCRIPT, file("two.xlsx"));
        QCOMPARE(seen.merges("表"), (QStringList{"A1:G1", "A2:G2", "A3:G3", "A4:C4", "E4:F4", "G4:G5"}));
        QCOMPARE(seen.value("表", "A4").toString(), QStringLiteral("投诉"));
        QVERIFY(seen.value("表", "B4").isNull());
        QVERIFY(seen.value("表", "C4").isNull());
        QCOMPARE(seen.value("表", "A5").toString(), QStringLiteral("编号"));
        QCOMPARE(seen.value("表", "E5").toString(), QStringLiteral("数量"));
        QVERIFY(seen.value("表", "G5").isNull());
        QCOMPARE(seen.value("表", "G6").toString(), QStringLiteral("7"));
        QCOMPARE(seen.cell("表", "G6")["border"].toString(), QStringLiteral("thin,thin,thin,thin"));
    }

    // An existing sheet (found whatever the case of its name) is cleared and written again; the
    // other sheet, the shared strings and unknown parts stay as they were.
    void existingSheetReused()
    {
        const QString path = fixture("kept.xlsx");
        const QVariantMap before = export_probe::parts(PROBE_SCRIPT, path);
        GridModel grid;
        fillGrid(grid, QStringLiteral("<编号|<投诉人"), {{"0001", "王"}});
        GridExport::write(grid, job(path, QStringLiteral("report"), {0, 1}));

        const QVariantMap after = export_probe::parts(PROBE_SCRIPT, path);
        for (const char *same : {"xl/worksheets/sheet2.xml", "xl/sharedStrings.xml", "customXml/item1.xml"})
            QVERIFY2(after.value(same) == before.value(same), same);
        const export_probe::Seen seen = export_probe::dump(PROBE_SCRIPT, path);
        QCOMPARE(seen.sheets, (QStringList{"Report", "Other"}));
        QCOMPARE(seen.merges("Report"), (QStringList{"A1:B1", "A2:B2", "A3:B3"}));
        QStringList addresses = seen.sheet("Report")["cells"].toObject().keys();
        addresses.sort();
        QCOMPARE(addresses, (QStringList{"A1", "A2", "A3", "A4", "A5", "B4", "B5"}));  // B1:B3 lie under merges
        QVERIFY(seen.cell("Report", "B2")["size"].toDouble() != 20.0);                 // the old format is gone
        QCOMPARE(seen.value("Other", "A1").toString(), QStringLiteral("共享文本"));

        // A name the workbook does not have: a sheet after the last.
        GridExport::write(grid, job(path, QStringLiteral("统计"), {1}));
        const export_probe::Seen added = export_probe::dump(PROBE_SCRIPT, path);
        QCOMPARE(added.sheets, (QStringList{"Report", "Other", "统计"}));
        QCOMPARE(added.value("统计", "A5").toString(), QStringLiteral("王"));
        QCOMPARE(added.value("Report", "A5").toString(), QStringLiteral("0001"));
    }

    // Refused exports leave the workbook as it was and create no file.
    void refusedExports()
    {
        GridModel wide;
        wide.setColumnCount(157);
        QVector<int> all;
        for (int c = 0; c < 157; ++c) all << c;
        try {
            GridExport::write(wide, job(file("wide.xlsx"), QStringLiteral("表"), all));
            QFAIL("157 columns were written");
        } catch (const xlsx::WorkbookError &e) {
            QVERIFY2(e.message().contains("156"), qPrintable(e.message()));
        }
        all.removeLast();
        GridExport::write(wide, job(file("wide.xlsx"), QStringLiteral("表"), all));
        QCOMPARE(xlsx::Workbook::open(file("wide.xlsx")).sheet(1).usedRange(), xlsx::CellRange(1, 1, 4, 156));
        QVERIFY_THROWS_EXCEPTION(xlsx::WorkbookError,
                                 GridExport::write(wide, job(file("none.xlsx"), QStringLiteral("表"), {})));

        const QString path = fixture("kept.xlsx");
        const QByteArray before = hashOf(path);
        GridModel grid;
        fillGrid(grid, QStringLiteral("<编号"), {});
        for (int r = 0; r < 5000; ++r) grid.appendRow({QString::number(r)});
        try {
            GridExport::write(grid, job(path, QStringLiteral("a/b"), {0}));
            QFAIL("a sheet named a/b was written");
        } catch (const xlsx::WorkbookError &e) {
            // The user reads why, in Chinese, about the name that was given.
            const QString message = e.message();
            QVERIFY2(message.contains(QStringLiteral("“a/b”")) &&
                         !QString(message).remove(QStringLiteral("“a/b”")).contains(QRegularExpression("[A-Za-z]")),
                     qPrintable(message));
        }
        for (double stop : {0.3, 0.9}) {  // while filling the sheet, and while saving
            try {
                GridExport::write(grid, job(path, QStringLiteral("表"), {0}), [&](double done) { return done < stop; });
                QFAIL("not cancelled");
            } catch (const xlsx::WorkbookError &e) {
                QVERIFY(e.isCancelled());
            }
        }
        QCOMPARE(hashOf(path), before);
        QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files), (QStringList{"kept.xlsx", "wide.xlsx"}));
    }
};

TAVIMOR_TEST(ExportTest)
#include "ExportTest.moc"

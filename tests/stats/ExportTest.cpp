#include <QCryptographicHash>
#include <QDir>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include "ExportProbe.h"
#include "Readers.h"
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
    void initTestCase() { m_noProbe = readers::missingOpenpyxl(); }
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        if (QByteArray(QTest::currentTestFunction()) != "addresses") REQUIRE_READER(m_noProbe);
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

    // The workbook opens on the report, the only selected tab; the title block and the header
    // rows are high enough for their fonts; every column is wide enough for what it shows, up to
    // the widest a column can be.
    void reportOpensReadable()
    {
        GridModel grid;
        fillGrid(grid, QStringLiteral("序|<投诉编号|<投诉内容|>金额"), {});
        for (int r = 1; r <= 12; ++r)
            grid.appendRow({QString::number(r), QStringLiteral("%1").arg(r, 8, 10, QLatin1Char('0')),
                            QStringLiteral("漏水"), QStringLiteral("1234567.5")});
        grid.appendRow({"13", "00000013", QString(12001, u'长'), ""});
        grid.setWidthTwips(0, 400);  // 4 characters: too narrow for "10.00"
        grid.setWidthTwips(1, 1440);
        grid.setWidthTwips(2, 1440);
        grid.setWidthTwips(3, 600);
        const QString path = file("readable.xlsx");
        GridExport::write(grid, job(path, QStringLiteral("统计"), {0, 1, 2, 3}));

        const export_probe::Seen seen = export_probe::dump(PROBE_SCRIPT, path);
        const QJsonObject all = QJsonDocument::fromJson(export_probe::run(PROBE_SCRIPT, {"dump", path})).object();
        QCOMPARE(all["active"].toString(), QStringLiteral("统计"));
        QCOMPARE(all["selected"].toArray().toVariantList(), QVariantList{"统计"});
        QCOMPARE(seen.sheet("统计")["heights"].toObject().toVariantMap(),
                 (QVariantMap{{"1", 25.2}, {"2", 16.8}, {"3", 14.0}, {"4", 14.7}}));
        const QJsonObject widths = seen.sheet("统计")["widths"].toObject();
        // "13.00 " in 10.5-point digits, and a little room.
        QVERIFY2(widths["A"].toDouble() >= 7, qPrintable(QString::number(widths["A"].toDouble())));
        QCOMPARE(widths["B"].toDouble(), 3876 / 256.0);  // wide enough already: the grid's width
        QVERIFY(widths["C"].toDouble() > 255 && widths["C"].toDouble() < 256);
        QVERIFY2(widths["D"].toDouble() >= 12, qPrintable(QString::number(widths["D"].toDouble())));
        QCOMPARE(seen.cell("统计", "A14")["format"].toString(), QStringLiteral("0.00_ "));

        // An existing workbook opens on the report too, and no other sheet stays grouped with it.
        const QString kept = fixture("kept.xlsx");
        GridExport::write(grid, job(kept, QStringLiteral("统计"), {0, 1}));
        const QJsonObject again = QJsonDocument::fromJson(export_probe::run(PROBE_SCRIPT, {"dump", kept})).object();
        QCOMPARE(again["active"].toString(), QStringLiteral("统计"));
        QCOMPARE(again["selected"].toArray().toVariantList(), QVariantList{"统计"});
        QCOMPARE(again["states"]["Other"].toString(), QStringLiteral("hidden"));
    }

    // A reused sheet loses its old merges (over cells that hold nothing, too) and the custom heights
    // of its rows, so the new title block never meets an old merge.
    void reusedSheetLosesOldMergesAndHeights()
    {
        const QString path = file("old.xlsx");
        {
            xlsx::Workbook book = xlsx::Workbook::create(path);
            xlsx::Worksheet &sheet = book.addSheet(QStringLiteral("统计"));
            sheet.setText(6, 1, QStringLiteral("旧"));
            sheet.setText(8, 3, QStringLiteral("旧"));
            sheet.merge(xlsx::CellRange(1, 1, 2, 4));  // no cell there
            sheet.setRowHeight(2, 40);
            sheet.setRowHeight(7, 60);
            book.save();
        }
        GridModel grid;
        fillGrid(grid, QStringLiteral("<编号|<投诉人"), {{"0001", "王"}});
        GridExport::write(grid, job(path, QStringLiteral("统计"), {0, 1}));
        const export_probe::Seen seen = export_probe::dump(PROBE_SCRIPT, path);
        QCOMPARE(seen.merges("统计"), (QStringList{"A1:B1", "A2:B2", "A3:B3"}));
        QCOMPARE(seen.sheet("统计")["heights"].toObject().toVariantMap(),
                 (QVariantMap{{"1", 25.2}, {"2", 16.8}, {"3", 14.0}, {"4", 14.7}}));
        QVERIFY(seen.value("统计", "A6").isNull());
    }

    // A macro-enabled workbook keeps its macros byte for byte and stays macro-enabled; a new .xlsm
    // is macro-enabled from the start, as the extension requires.
    void macroWorkbookKeepsItsMacros()
    {
        const QString path = file("macros.xlsm");
        export_probe::run(PROBE_SCRIPT, {"macros", path});
        const QVariantMap before = export_probe::parts(PROBE_SCRIPT, path);
        QVERIFY(before.contains("xl/vbaProject.bin"));
        GridModel grid;
        fillGrid(grid, QStringLiteral("<编号|<投诉人"), {{"0001", "王"}});
        GridExport::write(grid, job(path, QStringLiteral("统计"), {0, 1}));

        const QVariantMap after = export_probe::parts(PROBE_SCRIPT, path);
        QCOMPARE(after.value("xl/vbaProject.bin"), before.value("xl/vbaProject.bin"));
        const QString macroType = QStringLiteral("application/vnd.ms-excel.sheet.macroEnabled.main+xml");
        const QJsonObject seen = QJsonDocument::fromJson(export_probe::run(PROBE_SCRIPT, {"dump", path})).object();
        QCOMPARE(seen["workbookType"].toString(), macroType);
        QCOMPARE(seen["active"].toString(), QStringLiteral("统计"));
        // Both old sheets were selected (grouped); now only the report is, and they keep their cells.
        QCOMPARE(seen["selected"].toArray().toVariantList(), QVariantList{"统计"});
        QCOMPARE(seen["data"]["Other"]["cells"]["A1"]["value"].toString(), QStringLiteral("共享文本"));
        QCOMPARE(seen["data"]["Report"]["cells"]["D6"]["value"].toString(), QStringLiteral("old 6-4"));

        GridExport::write(grid, job(file("new.xlsm"), QStringLiteral("统计"), {0, 1}));
        const QJsonObject created =
            QJsonDocument::fromJson(export_probe::run(PROBE_SCRIPT, {"dump", file("new.xlsm")})).object();
        QCOMPARE(created["workbookType"].toString(), macroType);
    }

    // LibreOffice, as a new user opens the export: it opens on the report (the workbook it saves
    // again says so), the report's CSV holds the title, the header and the codes as text, and the
    // first page of its PDF holds the title, the date and whole row numbers, no "###".
    void libreOfficeShowsTheReport()
    {
        REQUIRE_READER(readers::missingLibreOffice());
        REQUIRE_READER(readers::missingPdfText());
        // As wide as the statistics list: wider than a page.
        GridModel grid;
        fillGrid(grid, QStringLiteral("序|<投诉编号|<投诉人|<投诉内容|<状态"), {});
        for (int r = 1; r <= 12; ++r)
            grid.appendRow({QString::number(r), QStringLiteral("%1").arg(r, 8, 10, QLatin1Char('0')),
                            QStringLiteral("王"), QStringLiteral("楼上漏水"), QStringLiteral("尚未受理")});
        grid.setWidthTwips(0, 400);
        for (int c = 1; c < 5; ++c) grid.setWidthTwips(c, 1200);
        grid.setWidthTwips(3, 9000);
        const QString path = file("report.xlsx");
        GridExport::write(grid, job(path, QStringLiteral("统计"), {0, 1, 2, 3, 4}));

        QDir().mkpath(file("resaved"));
        const QString resaved = readers::convertWithLibreOffice(path, "xlsx:Calc MS Excel 2007 XML", file("resaved"));
        QVERIFY(!resaved.isEmpty());
        const QJsonObject seen = QJsonDocument::fromJson(export_probe::run(PROBE_SCRIPT, {"dump", resaved})).object();
        QCOMPARE(seen["active"].toString(), QStringLiteral("统计"));
        QCOMPARE(seen["selected"].toArray().toVariantList(), QVariantList{"统计"});

        // Headless, LibreOffice's CSV export takes the first sheet unless it is told which: the second.
        const QString csvFile = readers::convertWithLibreOffice(
            path, "csv:Text - txt - csv (StarCalc):44,34,76,1,,0,false,true,true,false,false,2", m_dir->path());
        QFile csv(csvFile);
        QCOMPARE(QFileInfo(csvFile).fileName(), QStringLiteral("report-统计.csv"));
        QVERIFY2(csv.open(QIODevice::ReadOnly), qPrintable(csv.fileName()));
        const QStringList lines = QString::fromUtf8(csv.readAll()).split(QRegularExpression("\\r?\\n"));
        QCOMPARE(lines.value(0).section(',', 0, 0), QStringLiteral("投诉情况统计表"));
        QCOMPARE(lines.value(3), QStringLiteral("序,投诉编号,投诉人,投诉内容,状态"));
        QCOMPARE(lines.value(13).section(',', 1, 1), QStringLiteral("00000010"));

        const QString pdf = readers::convertWithLibreOffice(path, "pdf", m_dir->path());
        QVERIFY(!pdf.isEmpty());
        const QString page = readers::pdfPageText(pdf, 1);
        QVERIFY2(page.contains(QStringLiteral("投诉情况统计表")) &&
                     page.contains(QStringLiteral("打印日期：2024年05月06日")),
                 qPrintable(page));
        QVERIFY2(page.contains(QStringLiteral("10.00")) && page.contains(QStringLiteral("12.00")), qPrintable(page));
        QVERIFY2(!page.contains(QStringLiteral("###")), qPrintable(page));
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

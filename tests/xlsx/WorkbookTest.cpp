#include <unistd.h>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include "Readers.h"
#include "TestFiles.h"
#include "TestRegistry.h"
#include "xlsx/Workbook.h"

using xlsx::CellRange;
using xlsx::Workbook;
using xlsx::WorkbookError;
using xlsx::Worksheet;

// The workbooks written here are read back with openpyxl (a reader we did not write) through
// xlsx_probe.py, and with LibreOffice (tests/support/Readers.h).
class WorkbookTest : public QObject {
    Q_OBJECT

    QString m_noProbe;  // why the Python probe cannot run, or empty
    std::unique_ptr<QTemporaryDir> m_dir;

    QString file(const QString &name) const { return m_dir->filePath(name); }

    QByteArray runProbe(const QStringList &arguments)
    {
        QProcess process;
        process.start(QStringLiteral("/usr/bin/python3"), QStringList{QFINDTESTDATA("xlsx_probe.py")} + arguments);
        if (!process.waitForFinished(120000) || process.exitCode() != 0) {
            qWarning().noquote() << process.readAllStandardError();
            return QByteArray();
        }
        return process.readAllStandardOutput();
    }
    // What openpyxl sees in the workbook: {"sheets": [...], "data": {sheet: {cells, merges, widths}}}.
    const QJsonObject dump(const QString &path) { return QJsonDocument::fromJson(runProbe({"dump", path})).object(); }
    // SHA-256 of the content of every zip entry.
    QVariantMap parts(const QString &path)
    {
        return QJsonDocument::fromJson(runProbe({"parts", path})).object().toVariantMap();
    }
    QString makeFixture(const QString &name)
    {
        const QString path = file(name);
        runProbe({"fixture", path});
        return path;
    }
    static QByteArray hashOf(const QString &path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256)
                                           : QByteArray();
    }
    static QString native(const QString &path) { return QDir::toNativeSeparators(path); }

    // What is wrong with a message that reaches the user, or an empty string. It must be Chinese,
    // name each of `quoted` as it is, and hold no English words (neither ours nor those of libzip
    // or Qt) beyond the names it quotes and a few terms the user knows from the spreadsheet
    // application.
    static QString messageFault(const QString &message, const QStringList &quoted)
    {
        static const QRegularExpression han(QStringLiteral("\\p{Han}"));
        if (!message.contains(han)) return "not Chinese: " + message;
        QString rest = message;
        for (const QString &name : quoted) {
            if (!rest.contains(name)) return QStringLiteral("does not name %1: %2").arg(name, message);
            rest.remove(name);
        }
        static const QStringList terms{"xlsx", "zip", "XML", "Excel", "Strict", "Open", "XFD", "CRC", "sheetData"};
        static const QRegularExpression word(QStringLiteral("[A-Za-z]{2,}"));
        for (auto words = word.globalMatch(rest); words.hasNext();) {
            const QString w = words.next().captured();
            if (!terms.contains(w)) return QStringLiteral("English \"%1\" in: %2").arg(w, message);
        }
        return QString();
    }
    // Runs a call that must be refused with a WorkbookError; what is wrong, or an empty string.
    template <typename Call>
    static QString refusal(const char *what, Call call, const QStringList &quoted = {})
    {
        QString fault;
        try {
            call();
            fault = QStringLiteral("not refused");
        } catch (const WorkbookError &e) {
            fault = e.isCancelled() ? "cancelled: " + e.message() : messageFault(e.message(), quoted);
        }
        return fault.isEmpty() ? fault : QLatin1String(what) + QStringLiteral(": ") + fault;
    }
    static QString joined(QStringList faults)
    {
        faults.removeAll(QString());
        return faults.join(QLatin1Char('\n'));
    }

private slots:
    void initTestCase() { m_noProbe = readers::missingOpenpyxl(); }
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        static const QByteArrayList withoutProbe{"addresses", "refusedCallsSayWhy", "damagedZipDataIsReported"};
        if (!withoutProbe.contains(QTest::currentTestFunction())) REQUIRE_READER(m_noProbe);
    }

    void addresses()
    {
        QCOMPARE(xlsx::columnName(1), QStringLiteral("A"));
        QCOMPARE(xlsx::columnName(26), QStringLiteral("Z"));
        QCOMPARE(xlsx::columnName(27), QStringLiteral("AA"));
        QCOMPARE(xlsx::columnName(156), QStringLiteral("EZ"));
        QCOMPARE(xlsx::columnName(157), QStringLiteral("FA"));  // the grid export stops at EZ; we do not
        QCOMPARE(xlsx::columnName(16384), QStringLiteral("XFD"));
        QVERIFY(xlsx::columnName(0).isEmpty());
        QVERIFY(xlsx::columnName(16385).isEmpty());
        for (int c : {1, 26, 27, 52, 53, 702, 703, 16384}) QCOMPARE(xlsx::columnNumber(xlsx::columnName(c)), c);
        QCOMPARE(xlsx::columnNumber(u"XFE"), 0);
        QCOMPARE(xlsx::cellName(10, 28), QStringLiteral("AB10"));
        QCOMPARE(xlsx::cellName(4, 1), QStringLiteral("A4"));

        int row = 0, column = 0;
        QVERIFY(xlsx::parseCellName(u"$AB$10", &row, &column));
        QCOMPARE(row, 10);
        QCOMPARE(column, 28);
        for (const char *bad : {"", "A", "10", "A0", "A1048577", "1A", "A1B", "XFE1"})
            QVERIFY2(!xlsx::parseCellName(QString::fromLatin1(bad), &row, &column), bad);

        bool ok = false;
        QCOMPARE(CellRange::fromString(u"C3:A1", &ok), CellRange(1, 1, 3, 3));
        QVERIFY(ok);
        QCOMPARE(CellRange(2, 2, 2, 2).toString(), QStringLiteral("B2"));
        QVERIFY(CellRange(1, 1, 2, 2).intersects(CellRange(2, 2, 5, 5)));
        QVERIFY(!CellRange(1, 1, 2, 2).intersects(CellRange(3, 1, 5, 5)));
        QVERIFY(!CellRange().isValid());

        QCOMPARE(xlsx::horizontalAlignment(3), xlsx::HAlign::Center);
        QCOMPARE(xlsx::horizontalAlignment(-4152), xlsx::HAlign::Right);
        QCOMPARE(xlsx::verticalAlignment(5), xlsx::VAlign::Distributed);
        QVERIFY_THROWS_EXCEPTION(WorkbookError, xlsx::horizontalAlignment(9));
        QVERIFY_THROWS_EXCEPTION(WorkbookError, xlsx::verticalAlignment(0));
    }

    // Every refusal tells the user, in Chinese, what was asked for.
    void refusedCallsSayWhy()
    {
        Workbook book = Workbook::create(file("refused.xlsx"));
        Worksheet &sheet = book.sheet(0);
        sheet.merge(CellRange(1, 1, 1, 2));
        const QString faults = joined({
            refusal("horizontal alignment", [] { xlsx::horizontalAlignment(9); }, {"9"}),
            refusal("vertical alignment", [] { xlsx::verticalAlignment(0); }, {"0"}),
            refusal("range", [&] { sheet.setThinBorders(CellRange(3, 1, 2, 1)); }),
            refusal("overlap", [&] { sheet.merge(CellRange(1, 2, 2, 3)); }, {"B1:C2", "A1:B1", "Sheet1"}),
            refusal("width", [&] { sheet.setColumnWidth(1, -1); }, {"-1"}),
            refusal("height", [&] { sheet.setRowHeight(1, qQNaN()); }, {"nan"}),
            refusal("font size", [&] { sheet.setFontSize(CellRange(1, 1), 0.5); }, {"0.5"}),
            refusal("number format", [&] { sheet.setNumberFormat(CellRange(1, 1), QString()); }),
            refusal("sheet", [&] { book.sheet(1); }, {"2"}),
            refusal("shown sheet", [&] { book.showSheet(-1); }, {"0"}),
            refusal("same name", [&] { book.addSheet(QStringLiteral("SHEET1")); }, {"Sheet1"}),
        });
        QVERIFY2(faults.isEmpty(), qPrintable(faults));
    }

    // A new workbook laid out the way the grid export lays out its sheet.
    void newWorkbookWithExportLayout()
    {
        const QString path = file("new.xlsx");
        Workbook book = Workbook::create(path);
        QCOMPARE(book.sheetNames(), QStringList{"Sheet1"});
        Worksheet &sheet = book.sheet(0);
        sheet.setText(1, 1, QStringLiteral("投诉统计"));
        sheet.setText(3, 1, QStringLiteral("打印日期：2024年05月06日"));
        for (int row = 1; row <= 3; ++row) sheet.merge(CellRange(row, 1, row, 3));
        sheet.setHorizontalAlignment(CellRange(1, 1, 2, 3), xlsx::horizontalAlignment(3));
        sheet.setHorizontalAlignment(CellRange(3, 1, 3, 3), xlsx::horizontalAlignment(4));
        sheet.setVerticalAlignment(CellRange(1, 1, 4, 3), xlsx::verticalAlignment(5));
        const QStringList header{"编号", "姓名", "金额"};
        const QList<QStringList> rows{{"0012", "张三", "12.5"}, {"0013", "李<四>&", "7"}};
        for (int c = 0; c < 3; ++c) {
            sheet.setColumnWidth(c + 1, 1440 / 100.0);
            const QString format = c == 2 ? QStringLiteral("0.00_ ") : QStringLiteral("@");
            sheet.setNumberFormat(CellRange(4, c + 1), format);
            sheet.enterValue(4, c + 1, header[c]);
            for (int r = 0; r < rows.size(); ++r) {
                sheet.setNumberFormat(CellRange(5 + r, c + 1), format);
                sheet.enterValue(5 + r, c + 1, rows[r][c]);
            }
        }
        sheet.setThinBorders(CellRange(4, 1, 6, 3));
        sheet.setFontSize(CellRange(1, 1, 1, 3), 18);
        sheet.setFontSize(CellRange(3, 1, 3, 3), 10);
        sheet.setFontSize(CellRange(4, 1, 6, 3), 10.5);
        QCOMPARE(sheet.usedRange(), CellRange(1, 1, 6, 3));
        book.save();

        const QJsonObject seen = dump(path);
        QCOMPARE(seen["sheets"].toArray().toVariantList(), QVariantList{"Sheet1"});
        const QJsonObject data = seen["data"]["Sheet1"].toObject();
        const QJsonObject cells = data["cells"].toObject();
        auto cell = [&](const char *name) { return cells[QLatin1String(name)].toObject(); };
        QCOMPARE(cell("A1")["value"].toString(), QStringLiteral("投诉统计"));
        QCOMPARE(cell("A1")["size"].toDouble(), 18.0);
        QCOMPARE(cell("A1")["h"].toString(), QStringLiteral("center"));
        QCOMPARE(cell("A1")["v"].toString(), QStringLiteral("distributed"));
        QCOMPARE(cell("A3")["h"].toString(), QStringLiteral("right"));
        QCOMPARE(cell("A3")["size"].toDouble(), 10.0);
        QCOMPARE(cell("A5")["value"].toString(), QStringLiteral("0012"));  // text format keeps the zeros
        QCOMPARE(cell("A5")["type"].toString(), QStringLiteral("s"));
        QCOMPARE(cell("A5")["format"].toString(), QStringLiteral("@"));
        QCOMPARE(cell("B6")["value"].toString(), QStringLiteral("李<四>&"));
        QCOMPARE(cell("C5")["value"].toDouble(), 12.5);  // a number where the format is numeric
        QCOMPARE(cell("C5")["type"].toString(), QStringLiteral("n"));
        QCOMPARE(cell("C5")["format"].toString(), QStringLiteral("0.00_ "));
        QCOMPARE(cell("C4")["value"].toString(), QStringLiteral("金额"));
        QCOMPARE(cell("C6")["size"].toDouble(), 10.5);
        QCOMPARE(cell("C6")["border"].toString(), QStringLiteral("thin,thin,thin,thin"));
        QCOMPARE(cell("A4")["v"].toString(), QStringLiteral("distributed"));  // alignment and size both kept
        QCOMPARE(cell("A4")["size"].toDouble(), 10.5);
        QCOMPARE(cell("A2")["border"].toString(), QStringLiteral("None,None,None,None"));
        QCOMPARE(data["merges"].toArray().toVariantList(), (QVariantList{"A1:C1", "A2:C2", "A3:C3"}));
        // 14.4 characters as the application shows them: 101 pixels + 5 of padding, in 1/256ths.
        QCOMPARE(data["widths"]["A"].toDouble(), 3876 / 256.0);

        Workbook again = Workbook::open(path);
        QCOMPARE(again.sheetNames(), QStringList{"Sheet1"});
        QCOMPARE(again.sheet(0).usedRange(), CellRange(1, 1, 6, 3));
        QCOMPARE(again.sheet(0).mergedRanges().size(), 3);
    }

    void valuesAsTheApplicationStoresThem()
    {
        const QString path = file("values.xlsx");
        Workbook book = Workbook::create(path);
        Worksheet &sheet = book.sheet(0);
        sheet.setNumberFormat(CellRange(1, 2, 10, 2), QStringLiteral("@"));
        const QStringList entries{"0012", " 7 ", "1e3", "-3.50", "110101199001011234", "12abc", "1.2.3", ""};
        for (int i = 0; i < entries.size(); ++i) {
            sheet.enterValue(i + 1, 1, entries[i]);
            sheet.enterValue(i + 1, 2, entries[i]);
        }
        const QStringList texts{"<&>\"", "a\x01z", "_x0041_", " lead", "a\r\nb", "𠀀"};
        for (int i = 0; i < texts.size(); ++i) sheet.setText(i + 1, 3, texts[i]);
        sheet.setNumber(1, 4, 0.1);
        const QString faults = joined({
            refusal("not a number", [&] { sheet.setNumber(2, 4, qQNaN()); }, {"D2", "nan"}),
            refusal("long text", [&] { sheet.setText(2, 4, QString(xlsx::kMaxCellTextLength + 1, 'x')); },
                    {"D2", "32768", "32767"}),
            refusal("row 0", [&] { sheet.setText(0, 1, "x"); }, {"1048576", "0"}),
            refusal("column XFE", [&] { sheet.setText(1, xlsx::kMaxColumns + 1, "x"); }, {"16385"}),
            // Too long a text for a place outside the sheet: the place is what is wrong, and it is said.
            refusal("long text outside", [&] { sheet.setText(0, 4, QString(xlsx::kMaxCellTextLength + 1, 'x')); },
                    {"1048576", "0"}),
        });
        QVERIFY2(faults.isEmpty(), qPrintable(faults));
        book.save();

        const QJsonObject cells = dump(path)["data"]["Sheet1"]["cells"].toObject();
        auto value = [&](const QString &name) {
            const QJsonValue v = cells[name].toObject()["value"];
            return v.isNull() || v.isUndefined() ? QVariant() : v.toVariant();
        };
        const QVariantList general{12, 7, 1000, -3.5, "110101199001011234", "12abc", "1.2.3", QVariant()};
        for (int i = 0; i < entries.size(); ++i) {
            QCOMPARE(value(QStringLiteral("A%1").arg(i + 1)), general[i]);
            QCOMPARE(value(QStringLiteral("B%1").arg(i + 1)), entries[i].isEmpty() ? QVariant() : QVariant(entries[i]));
        }
        // openpyxl shows the _xHHHH_ escapes as they are stored; the spreadsheet application decodes them.
        const QVariantList stored{"<&>\"", "a_x0001_z", "_x005F_x0041_", " lead", "a_x000D_\nb", "𠀀"};
        for (int i = 0; i < texts.size(); ++i) QCOMPARE(value(QStringLiteral("C%1").arg(i + 1)), stored[i]);
        QCOMPARE(value("D1").toDouble(), 0.1);
    }

    // Clearing a reused sheet: every old cell, format and merge goes, whatever corner the block had;
    // the other sheet, the shared strings and parts we do not know stay byte for byte.
    void reusedSheetIsClearedAndTheRestIsKept()
    {
        const QString path = makeFixture("kept.xlsx");
        const QVariantMap before = parts(path);
        QVERIFY(before.contains("xl/sharedStrings.xml"));
        Workbook book = Workbook::open(path);
        QCOMPARE(book.sheetNames(), (QStringList{"Report", "Other"}));
        const int index = book.findSheet(QStringLiteral("REPORT"));
        QCOMPARE(index, 0);
        Worksheet &sheet = book.sheet(index);
        QCOMPARE(sheet.usedRange(), CellRange(1, 1, 7, 5));
        QCOMPARE(sheet.mergedRanges(), QList<CellRange>{CellRange(2, 2, 2, 3)});
        sheet.clear(sheet.usedRange());
        QVERIFY(sheet.usedRange().isEmpty());
        QVERIFY(sheet.mergedRanges().isEmpty());
        sheet.setText(2, 2, QStringLiteral("新"));
        sheet.setFontSize(CellRange(2, 2), 12);
        book.showSheet(1);
        book.save();

        const QVariantMap after = parts(path);
        for (const char *same : {"xl/worksheets/sheet2.xml", "xl/sharedStrings.xml", "customXml/item1.xml",
                                 "xl/theme/theme1.xml", "docProps/app.xml", "_rels/.rels"})
            QVERIFY2(after.value(same) == before.value(same), same);
        // The cleared formula takes the calculation chain with it.
        QVERIFY(!after.contains("xl/calcChain.xml"));

        const QJsonObject seen = dump(path);
        const QJsonObject report = seen["data"]["Report"].toObject();
        QCOMPARE(report["cells"].toObject().keys(), QStringList{"B2"});
        QCOMPARE(report["cells"]["B2"]["value"].toString(), QStringLiteral("新"));
        QCOMPARE(report["cells"]["B2"]["size"].toDouble(), 12.0);
        QVERIFY(report["cells"]["B2"]["h"].isNull());  // the old format went with the clear
        QVERIFY(report["merges"].toArray().isEmpty());
        QCOMPARE(report["widths"]["B"].toDouble(), 30.0);                         // column widths are not cells
        QCOMPARE(report["orientation"].toString(), QStringLiteral("landscape"));  // page setup kept
        QCOMPARE(seen["states"]["Other"].toString(), QStringLiteral("visible"));
        const QJsonObject other = seen["data"]["Other"]["cells"].toObject();
        QCOMPARE(other["A1"]["value"].toString(), QStringLiteral("共享文本"));
        QCOMPARE(other["A1"]["size"].toDouble(), 14.0);  // its style index still means what it meant
        QCOMPARE(other["B1"]["value"].toInt(), 42);
    }

    // Changing one cell of a sheet keeps every other cell as it was, formulas included.
    void untouchedCellsOfAChangedSheetStay()
    {
        const QString path = makeFixture("partial.xlsx");
        Workbook book = Workbook::open(path);
        book.sheet(0).setText(1, 1, QStringLiteral("changed"));
        book.save();
        const QJsonObject cells = dump(path)["data"]["Report"]["cells"].toObject();
        QCOMPARE(cells["A1"]["value"].toString(), QStringLiteral("changed"));
        QCOMPARE(cells["D6"]["value"].toString(), QStringLiteral("old 6-4"));
        QCOMPARE(cells["B2"]["size"].toDouble(), 20.0);
        QCOMPARE(cells["E7"]["value"].toString(), QStringLiteral("=SUM(1,2)"));
        QVERIFY(parts(path).contains("xl/calcChain.xml"));
    }

    // Some generators write every element with a prefix; what we add must use it too.
    void prefixedSheetStaysReadable()
    {
        const QString path = file("prefixed.xlsx");
        runProbe({"prefixed", path});
        Workbook book = Workbook::open(path);
        Worksheet &sheet = book.sheet(0);
        QCOMPARE(sheet.usedRange(), CellRange(1, 1, 7, 5));
        sheet.setText(1, 1, QStringLiteral("首"));
        sheet.merge(CellRange(8, 1, 8, 2));
        sheet.setColumnWidth(1, 20);
        book.save();
        const QJsonObject report = dump(path)["data"]["Report"].toObject();
        QCOMPARE(report["cells"]["A1"]["value"].toString(), QStringLiteral("首"));
        QCOMPARE(report["cells"]["D6"]["value"].toString(), QStringLiteral("old 6-4"));
        QCOMPARE(report["merges"].toArray().toVariantList(), (QVariantList{"A8:B8", "B2:C2"}));
        QVERIFY(report["widths"]["A"].toDouble() > 20);
    }

    // Part names do not depend on case; a changed part must not be stored a second time.
    void partNameInAnotherCase()
    {
        const QString path = makeFixture("case.xlsx");
        runProbe({"rename", path, "xl/worksheets/sheet1.xml", "xl/Worksheets/Sheet1.XML"});
        Workbook book = Workbook::open(path);
        book.sheet(0).setText(1, 1, QStringLiteral("changed"));
        book.save();
        QStringList sheets;
        for (const QString &name : parts(path).keys())
            if (name.startsWith("xl/worksheets/", Qt::CaseInsensitive)) sheets << name;
        QCOMPARE(sheets, (QStringList{"xl/Worksheets/Sheet1.XML", "xl/worksheets/sheet2.xml"}));
    }

    // A width set inside a run of columns that share one entry changes that column only.
    void columnWidthInsideARun()
    {
        const QString path = makeFixture("widths.xlsx");
        Workbook book = Workbook::open(path);
        book.sheet(0).setColumnWidth(4, 10);
        book.sheet(0).setColumnWidth(7, 0.5);
        book.save();
        const QJsonObject widths = dump(path)["data"]["Report"]["widths"].toObject();
        QCOMPARE(widths.keys(), (QStringList{"B", "C", "D", "E", "F", "G"}));
        for (const char *kept : {"B", "C", "E", "F"}) QCOMPARE(widths[kept].toDouble(), 30.0);
        QCOMPARE(widths["D"].toDouble(), 2742 / 256.0);  // (70 + 5 pixels) / 7, in 1/256ths
        QCOMPARE(widths["G"].toDouble(), 219 / 256.0);   // under one character: 6 pixels / 7
    }

    void damagedPartsAreReported()
    {
        const QString path = makeFixture("damaged.xlsx");
        runProbe({"replace", path, "xl/worksheets/sheet1.xml", "<worksheet xmlns=\"x\"><sheetData><row r=\"1\"><c"});
        Workbook book = Workbook::open(path);  // sheets are read when first used
        try {
            book.sheet(0);
            QFAIL("a damaged sheet was read");
        } catch (const WorkbookError &e) {
            const QString fault = messageFault(e.message(), {"xl/worksheets/sheet1.xml"});
            QVERIFY2(fault.isEmpty(), qPrintable(fault));
        }
        QCOMPARE(book.sheet(1).usedRange(), CellRange(1, 1, 2, 2));

        runProbe({"replace", path, "xl/workbook.xml", "<workbook><sheets>"});
        try {
            Workbook::open(path);
            QFAIL("a damaged workbook was opened");
        } catch (const WorkbookError &e) {
            const QString fault = messageFault(e.message(), {"xl/workbook.xml"});
            QVERIFY2(fault.isEmpty(), qPrintable(fault));
        }
    }

    // Compressed data that went bad on the disk: the part is named, and libzip's English reason is
    // said in Chinese.
    void damagedZipDataIsReported()
    {
        const QString path = file("bits.xlsx");
        {
            Workbook book = Workbook::create(path);
            for (int row = 1; row <= 200; ++row) book.sheet(0).setText(row, 1, QStringLiteral("第 %1 行").arg(row));
            book.save();
        }
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadWrite));
        QByteArray bytes = f.readAll();
        // The local header of the sheet: its data follows the name and the extra field.
        const QByteArray name("xl/worksheets/sheet1.xml");
        const qsizetype at = bytes.indexOf(name);
        QVERIFY(at >= 30);
        auto le = [&](qsizetype i, int n) {
            quint32 v = 0;
            for (int k = n - 1; k >= 0; --k) v = v << 8 | quint8(bytes[i + k]);
            return v;
        };
        const qsizetype header = at - 30;
        QCOMPARE(le(header, 4), quint32(0x04034b50));
        const qsizetype data = at + name.size() + qsizetype(le(header + 28, 2));
        const qsizetype size = qsizetype(le(header + 18, 4));
        QVERIFY(size > 64);
        for (qsizetype i = data + size / 3; i < data + size / 3 + 8; ++i) bytes[i] = char(~bytes[i]);
        QVERIFY(f.seek(0));
        QCOMPARE(f.write(bytes), bytes.size());
        f.close();

        Workbook book = Workbook::open(path);
        const QString fault = refusal("damaged sheet", [&] { book.sheet(0); }, {native(path), QString(name)});
        QVERIFY2(fault.isEmpty(), qPrintable(fault));
    }

    void addedSheetLeavesExistingPartsAlone()
    {
        const QString path = makeFixture("added.xlsx");
        const QVariantMap before = parts(path);
        Workbook book = Workbook::open(path);
        QCOMPARE(book.findSheet(QStringLiteral("统计结果")), -1);
        Worksheet &sheet = book.addSheet(QStringLiteral("统计结果"));
        sheet.setText(1, 1, QStringLiteral("合计"));
        sheet.setNumber(1, 2, 3);
        book.save();

        const QVariantMap after = parts(path);
        QStringList changed;
        for (auto it = before.begin(); it != before.end(); ++it)
            if (after.value(it.key()) != it.value()) changed << it.key();
        changed.sort();
        QCOMPARE(changed, (QStringList{"[Content_Types].xml", "xl/_rels/workbook.xml.rels", "xl/workbook.xml"}));
        const QJsonObject seen = dump(path);
        QCOMPARE(seen["sheets"].toArray().toVariantList(), (QVariantList{"Report", "Other", "统计结果"}));
        QCOMPARE(seen["data"]["统计结果"]["cells"]["A1"]["value"].toString(), QStringLiteral("合计"));
        QCOMPARE(seen["data"]["Other"]["cells"]["A2"]["value"].toString(), QStringLiteral("old 1-1"));
        QCOMPARE(Workbook::open(path).findSheet(QStringLiteral("统计结果")), 2);
    }

    void sheetNamesTheApplicationRefuses()
    {
        const QString path = makeFixture("names.xlsx");
        const QByteArray before = hashOf(path);
        Workbook book = Workbook::open(path);
        const QStringList refused{"",    QString(32, 'x'), "a[b",     "a]b",     "a:b",    "a*b",      "a?b",
                                  "a/b", "a\\b",           "'quoted", "History", "report", "tab\tname"};
        for (const QString &name : refused) {
            QStringList quoted{name == "report" ? QStringLiteral("Report") : name};
            if (name.size() > xlsx::kMaxSheetNameLength)
                quoted << "31"
                       << "32";
            const QString fault = refusal(
                "sheet name", [&] { book.addSheet(name); }, quoted);
            QVERIFY2(fault.isEmpty(), qPrintable(fault));
        }
        QCOMPARE(book.sheetCount(), 2);
        QCOMPARE(hashOf(path), before);
        QVERIFY(Workbook::sheetNameError(QString(31, u'表')).isEmpty());
        book.addSheet(QString(31, u'表'));
        QCOMPARE(book.sheetCount(), 3);
    }

    // The used block is where the cells are, not a block of the same size from A1.
    void usedBlockAwayFromA1IsClearedWhole()
    {
        Workbook book = Workbook::create(file("used.xlsx"));
        Worksheet &sheet = book.sheet(0);
        sheet.setText(3, 2, "top left");
        sheet.setNumber(5, 4, 1);
        sheet.setThinBorders(CellRange(6, 3));
        sheet.merge(CellRange(3, 2, 3, 3));
        QCOMPARE(sheet.usedRange(), CellRange(3, 2, 6, 4));
        sheet.clear(sheet.usedRange());
        QVERIFY(sheet.usedRange().isEmpty());
        QVERIFY(sheet.mergedRanges().isEmpty());
        sheet.setText(1, 1, "new");
        book.save();
        QCOMPARE(dump(file("used.xlsx"))["data"]["Sheet1"]["cells"].toObject().keys(), QStringList{"A1"});
    }

    void mergesMayNotOverlap()
    {
        Workbook book = Workbook::create(file("merge.xlsx"));
        Worksheet &sheet = book.sheet(0);
        sheet.merge(CellRange(1, 1, 1, 3));
        sheet.merge(CellRange(2, 2));  // a single cell is nothing to merge
        try {
            sheet.merge(CellRange(1, 3, 2, 3));
            QFAIL("overlapping merge accepted");
        } catch (const WorkbookError &e) {
            const QString fault = messageFault(e.message(), {"A1:C1", "C1:C2", "Sheet1"});
            QVERIFY2(fault.isEmpty(), qPrintable(fault));
        }
        sheet.merge(CellRange(2, 1, 3, 1));
        QCOMPARE(sheet.mergedRanges(), (QList<CellRange>{CellRange(1, 1, 1, 3), CellRange(2, 1, 3, 1)}));
        sheet.clear(CellRange(3, 1));  // clearing part of a merged range unmerges it
        QCOMPARE(sheet.mergedRanges(), QList<CellRange>{CellRange(1, 1, 1, 3)});
    }

    void failedSaveLeavesTheOldFile()
    {
        // A new workbook in a folder that does not exist.
        const QString missing = file("no/such/folder/out.xlsx");
        Workbook created = Workbook::create(missing);
        QString fault = refusal("missing folder", [&] { created.save(); },
                                {native(missing), native(QFileInfo(missing).absolutePath())});
        QVERIFY2(fault.isEmpty(), qPrintable(fault));
        QVERIFY(!QFile::exists(missing));

        // A new workbook never replaces a file that is already there.
        const QString taken = file("taken.xlsx");
        QFile(taken).open(QIODevice::WriteOnly);
        fault = refusal("file taken", [&] { Workbook::create(taken).save(); }, {native(taken)});
        QVERIFY2(fault.isEmpty(), qPrintable(fault));
        QCOMPARE(QFileInfo(taken).size(), 0);

        // A workbook that another program rewrote after we opened it.
        const QString path = makeFixture("stale.xlsx");
        Workbook book = Workbook::open(path);
        book.sheet(0).setText(1, 1, "ours");
        QTest::qWait(20);
        runProbe({"fixture", path});
        const QByteArray theirs = hashOf(path);
        fault = refusal("changed by another program", [&] { book.save(); }, {native(path)});
        QVERIFY2(fault.isEmpty(), qPrintable(fault));
        QCOMPARE(hashOf(path), theirs);
    }

    void saveIntoReadOnlyFolderFails()
    {
        if (::geteuid() == 0) QSKIP("running as root: a read-only folder does not stop root");
        const QString path = makeFixture("readonly.xlsx");
        const QByteArray before = hashOf(path);
        Workbook book = Workbook::open(path);
        book.sheet(0).setText(1, 1, "ours");
        QFile::setPermissions(m_dir->path(), QFile::ReadOwner | QFile::ExeOwner);
        // libzip's reason and the system's (no permission) reach the user in Chinese.
        const QString fault = refusal("read-only folder", [&] { book.save(); }, {native(path)});
        QFile::setPermissions(m_dir->path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QVERIFY2(fault.isEmpty(), qPrintable(fault));
        QCOMPARE(hashOf(path), before);
        QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files), QStringList{"readonly.xlsx"});
    }

    void cancelledSaveLeavesNoTrace()
    {
        const QString path = makeFixture("cancel.xlsx");
        const QByteArray before = hashOf(path);
        Workbook book = Workbook::open(path);
        Worksheet &sheet = book.addSheet(QStringLiteral("Big"));
        for (int row = 1; row <= 20000; ++row)
            for (int column = 1; column <= 9; ++column) sheet.setText(row, column, QStringLiteral("cell %1").arg(row));
        QList<double> seen;
        auto cancelHalfway = [&](double done) {
            seen << done;
            return done < 0.5;
        };
        try {
            book.save(cancelHalfway);
            QFAIL("the save was not cancelled");
        } catch (const WorkbookError &e) {
            QVERIFY(e.isCancelled());
        }
        QVERIFY(seen.size() > 3);
        QVERIFY(std::is_sorted(seen.begin(), seen.end()));
        QCOMPARE(hashOf(path), before);
        QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files), QStringList{"cancel.xlsx"});

        // The workbook is still whole and can be saved afterwards.
        double last = 0;
        book.save([&](double done) { return last = done, true; });
        QCOMPARE(last, 1.0);
        QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files), QStringList{"cancel.xlsx"});
        QCOMPARE(Workbook::open(path).sheetNames(), (QStringList{"Report", "Other", "Big"}));
    }

    // The sheet a workbook opens on, row heights, and widths and heights beyond what a sheet holds.
    void activeSheetRowHeightsAndLimits()
    {
        const QString path = makeFixture("views.xlsx");
        Workbook book = Workbook::open(path);
        QCOMPARE(book.activeSheet(), 0);
        book.activateSheet(1);  // the hidden sheet: shown as well
        Worksheet &other = book.sheet(1);
        other.setRowHeight(1, 25.2);
        other.setRowHeight(3, 1000);
        other.setColumnWidth(3, 12001);
        QCOMPARE(other.rowHeight(1), 25.2);
        QCOMPARE(other.rowHeight(2), 0.0);
        book.save();
        QCOMPARE(Workbook::open(path).activeSheet(), 1);

        const QJsonObject seen = dump(path);
        QCOMPARE(seen["active"].toString(), QStringLiteral("Other"));
        QCOMPARE(seen["selected"].toArray().toVariantList(), QVariantList{"Other"});
        QCOMPARE(seen["states"]["Other"].toString(), QStringLiteral("visible"));
        const QJsonObject data = seen["data"]["Other"].toObject();
        QCOMPARE(data["heights"].toObject().toVariantMap(), (QVariantMap{{"1", 25.2}, {"3", xlsx::kMaxRowHeight}}));
        QVERIFY(data["widths"]["C"].toDouble() > 255 && data["widths"]["C"].toDouble() < 256);
        QCOMPARE(data["cells"]["A1"]["value"].toString(), QStringLiteral("共享文本"));
        QCOMPARE(data["cells"]["A1"]["size"].toDouble(), 14.0);

        // Clearing the used block takes the custom heights of its rows and a merge over empty cells.
        Workbook again = Workbook::open(path);
        Worksheet &sheet = again.sheet(1);
        sheet.merge(CellRange(5, 4, 6, 5));
        QCOMPARE(sheet.usedRange(), CellRange(1, 1, 6, 5));
        sheet.clear(sheet.usedRange());
        QCOMPARE(sheet.rowHeight(1), 0.0);
        QVERIFY(sheet.mergedRanges().isEmpty());
        QVERIFY(sheet.usedRange().isEmpty());
    }

    void notAWorkbook()
    {
        const QString path = file("old.xls");
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + QByteArray(504, '\0'));
        f.close();
        try {
            Workbook::open(path);
            QFAIL("opened");
        } catch (const WorkbookError &e) {
            const QString fault = messageFault(e.message(), {native(path)});
            QVERIFY2(fault.isEmpty(), qPrintable(fault));
        }
        const QString fault =
            refusal("missing", [&] { Workbook::open(file("missing.xlsx")); }, {native(file("missing.xlsx"))});
        QVERIFY2(fault.isEmpty(), qPrintable(fault));

        // A workbook with a password to open: an OLE compound file holding the encrypted package.
        const QString locked = file("locked.xlsx");
        QVERIFY(test_files::writePasswordProtectedWorkbook(locked));
        try {
            Workbook::open(locked);
            QFAIL("opened");
        } catch (const WorkbookError &e) {
            QVERIFY2(e.message().contains(QStringLiteral("设有打开密码")), qPrintable(e.message()));
            const QString problem = messageFault(e.message(), {native(locked)});
            QVERIFY2(problem.isEmpty(), qPrintable(problem));
        }
    }

    void libreOfficeReadsTheValues()
    {
        REQUIRE_READER(readers::missingLibreOffice());
        const QString path = file("lo.xlsx");
        Workbook book = Workbook::create(path);
        book.sheet(0).setText(1, 1, QStringLiteral("标题"));
        book.sheet(0).setNumberFormat(CellRange(2, 1), QStringLiteral("@"));
        book.sheet(0).enterValue(2, 1, QStringLiteral("0012"));
        book.sheet(0).setNumber(2, 2, 2.5);
        book.save();
        QFile csv(readers::convertWithLibreOffice(path, "csv:Text - txt - csv (StarCalc):44,34,76", m_dir->path()));
        QVERIFY(csv.open(QIODevice::ReadOnly));
        const QStringList lines = QString::fromUtf8(csv.readAll()).split(QRegularExpression("\r?\n"));
        QCOMPARE(lines.value(0), QStringLiteral("标题,"));
        QCOMPARE(lines.value(1), QStringLiteral("0012,2.5"));
    }
};

TAVIMOR_TEST(WorkbookTest)
#include "WorkbookTest.moc"

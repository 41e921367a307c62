#include "GridExport.h"

#include <QFileInfo>
#include <QFont>
#include <QStringList>

#include "common/GridModel.h"
#include "common/Twips.h"
#include "xlsx/Workbook.h"

using xlsx::CellRange;

namespace {

// Share of the progress that filling the sheet takes; saving takes the rest.
constexpr double kFillShare = 0.5;
// How many grid rows are written between two progress reports.
constexpr int kRowsPerReport = 2048;
// The font of the grid's cells, in points.
constexpr double kGridFontSize = 10.5;
// Row heights that fit a font: 1.4 times its size.
constexpr double kRowHeightPerPoint = 1.4;
// What fits across a portrait A4 page inside the default margins, in characters.
constexpr double kPortraitPageWidth = 94;
// What a fitted column has beside its widest value, in characters.
constexpr double kWidthMargin = 1.5;

// The width, in characters, of a grid text as its cell shows it: a number in a "0.00_ " column with
// two decimals and the blank the "_ " leaves; any other text as it is.
double shownWidth(const QString &text, bool numberFormat)
{
    double number = 0;
    if (numberFormat && xlsx::plainNumber(text, &number))
        return xlsx::textWidth(QString::number(number, 'f', 2) + QLatin1Char(' '), kGridFontSize);
    return xlsx::textWidth(text, kGridFontSize);
}

// A grid with two header rows: a run of equal texts in the top row becomes one merged cell, and a
// column whose two texts are equal becomes one cell over both rows. After a run, the run's last
// column is inside the merged cell, so it gets no cell over both rows (the two merges would
// overlap).
void mergeHeader(xlsx::Worksheet &sheet, const QStringList &top, const QStringList &bottom)
{
    const int upper = GridExport::kFirstGridRow;
    const int lower = upper + 1;
    const int n = int(top.size());
    for (int i = 0; i < n; ++i) {
        int last = i;
        while (last + 1 < n && top.at(last + 1) == top.at(i)) ++last;
        if (last > i) {
            for (int c = last; c > i; --c) sheet.setText(upper, c + 1, QString());
            sheet.merge(CellRange(upper, i + 1, upper, last + 1));
            i = last;
            continue;
        }
        if (bottom.at(i) == top.at(i)) {
            sheet.setText(lower, i + 1, QString());
            sheet.merge(CellRange(upper, i + 1, lower, i + 1));
        }
    }
}

}  // namespace

QString RangeNom(int column, int row)
{
    QString letters;
    if (column >= 0 && column <= 25) {
        letters = QChar(u'A' + column);
    } else if (column >= 26 && column <= 155) {
        const int block = (column - 26) / 26;  // "A" for 26 to 51, ... "E" for 130 to 155
        letters = QString(QChar(u'A' + block)) + QChar(u'A' + (column - 26 - block * 26));
    } else {
        return QString();
    }
    return letters + QString::number(row);
}

void AutoFitColumns(GridModel &grid, const QFont &font)
{
    const TextWidth width(font);
    for (int c = 0; c < grid.columns(); ++c) {
        if (grid.fixedAlignment(c) == 9) continue;
        int widest = 0;
        for (int r = 0; r < grid.gridRowCount(); ++r) widest = qMax(widest, width.of(grid.gridText(r, c)));
        grid.setWidthTwips(c, Twips::fromPixels(widest) + 90);
    }
}

QString GridExport::numberFormat(int alignmentCode)
{
    return alignmentCode > 5 ? QStringLiteral("0.00_ ") : QStringLiteral("@");
}

void GridExport::write(const GridModel &grid, const Job &job, const Progress &progress)
{
    const int n = int(job.columns.size());
    if (n == 0) throw xlsx::WorkbookError(QStringLiteral("没有选择要输出的列"));
    if (RangeNom(n - 1, kFirstGridRow).isEmpty())
        throw xlsx::WorkbookError(QStringLiteral("选择了 %1 列，最多只能输出 %2 列").arg(n).arg(kMaxColumns));
    for (int column : job.columns)
        if (column < 0 || column >= grid.columns())
            throw xlsx::WorkbookError(QStringLiteral("表格没有第 %1 列").arg(column + 1));
    const int rows = grid.gridRowCount();
    const int lastRow = kFirstGridRow + rows - 1;
    if (lastRow > xlsx::kMaxRows)
        throw xlsx::WorkbookError(QStringLiteral("表格有 %1 行，工作表从第 %2 行起最多还能容纳 %3 行")
                                      .arg(rows)
                                      .arg(kFirstGridRow)
                                      .arg(xlsx::kMaxRows - kFirstGridRow + 1));

    // Nothing is written to the file before save(): a failure up to there leaves it as it was.
    xlsx::Workbook book =
        QFileInfo::exists(job.path) ? xlsx::Workbook::open(job.path) : xlsx::Workbook::create(job.path);
    const int index = book.findSheet(job.sheetName);
    if (index >= 0) book.showSheet(index);
    xlsx::Worksheet &sheet = index >= 0 ? book.sheet(index) : book.addSheet(job.sheetName);
    sheet.clear(sheet.usedRange());

    sheet.setText(1, 1, job.title);
    sheet.setText(2, 1, job.tagText);
    sheet.setText(3, 1, QStringLiteral("打印日期：") + job.printDate.toString(QStringLiteral("yyyy年MM月dd日")));

    QStringList formats;
    QVector<bool> numeric;
    for (int k = 0; k < n; ++k) {
        const QString own = grid.numberFormat(job.columns.at(k));
        formats << (own.isEmpty() ? numberFormat(grid.alignment(job.columns.at(k))) : own);
        numeric << (formats.last() != QLatin1String("@"));
    }

    // Each cell gets its format before its value, so that a text column keeps a code such as 0012
    // as text and a number column turns "12.5" into a number. The widest text each column shows is
    // measured on the way.
    QVector<double> widest(n, 0.0);
    for (int r = 0; r < rows; ++r) {
        const int sheetRow = kFirstGridRow + r;
        for (int k = 0; k < n; ++k) {
            const QString text = grid.gridText(r, job.columns.at(k));
            sheet.setNumberFormat(CellRange(sheetRow, k + 1), formats.at(k));
            sheet.enterValue(sheetRow, k + 1, text);
            if (!text.isEmpty()) widest[k] = qMax(widest[k], shownWidth(text, numeric[k]));
        }
        if (progress && (r + 1) % kRowsPerReport == 0 && !progress(kFillShare * (r + 1) / rows))
            throw xlsx::WorkbookError(QStringLiteral("输出已取消"), true);
    }

    // The grid's width (twips / 100), widened where a value would not fit: a number that does not
    // fit shows as "###". A column the grid hides stays hidden.
    double total = 0;
    for (int k = 0; k < n; ++k) {
        double width = grid.widthTwips(job.columns.at(k)) / 100.0;
        if (width > 0 && widest[k] > 0) width = qMax(width, widest[k] + kWidthMargin);
        sheet.setColumnWidth(k + 1, width);
        total += qMin(width, xlsx::kMaxColumnWidth);
    }
    // Printed one page wide, so that the first page holds the title and the date whole; a report
    // wider than a portrait page is printed across.
    sheet.fitToPageWidth(total > kPortraitPageWidth);

    for (int row = 1; row <= 3; ++row) sheet.merge(CellRange(row, 1, row, n));
    sheet.setHorizontalAlignment(CellRange(1, 1, 2, n), xlsx::horizontalAlignment(3));
    sheet.setHorizontalAlignment(CellRange(3, 1, 3, n), xlsx::horizontalAlignment(4));
    sheet.setHorizontalAlignment(CellRange(kFirstGridRow, 1, kFirstGridRow, n), xlsx::horizontalAlignment(3));
    sheet.setVerticalAlignment(CellRange(1, 1, kFirstGridRow, n), xlsx::verticalAlignment(5));
    sheet.setThinBorders(CellRange(kFirstGridRow, 1, lastRow, n));
    // Spreadsheet programs do not fit the height of a row to a merged cell: the title would be cut.
    const double titleFonts[] = {18, 12, 10};  // rows 1 to 3
    for (int row = 1; row <= 3; ++row) {
        sheet.setFontSize(CellRange(row, 1, row, n), titleFonts[row - 1]);
        sheet.setRowHeight(row, kRowHeightPerPoint * titleFonts[row - 1]);
    }
    sheet.setFontSize(CellRange(kFirstGridRow, 1, lastRow, n), kGridFontSize);
    const int headerRows = qMin(grid.fixedRows(), rows);
    for (int row = kFirstGridRow; row < kFirstGridRow + headerRows; ++row)
        sheet.setRowHeight(row, kRowHeightPerPoint * kGridFontSize);

    if (grid.fixedRows() == 2) {
        QStringList top, bottom;
        for (int column : job.columns) {
            top << grid.gridText(0, column);
            bottom << grid.gridText(1, column);
        }
        mergeHeader(sheet, top, bottom);
    }

    // The workbook opens on the report, the only selected tab.
    book.activateSheet(book.findSheet(job.sheetName));

    if (progress) {
        book.save([&](double done) { return progress(kFillShare + (1 - kFillShare) * done); });
    } else {
        book.save();
    }
}

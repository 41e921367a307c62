#pragma once

#include <QDate>
#include <QString>
#include <QVector>
#include <functional>

class GridModel;
class QFont;

// The address of a 0-based column and a 1-based row as the export writes it: (0, 4) is "A4",
// (27, 10) is "AB10". Columns go from A to EZ (0 to 155); beyond them the address is empty.
QString RangeNom(int column, int row);

// Fits the columns of a grid to their texts: each column whose fixed-cell alignment code is not 9
// (general) gets the width of its widest text, header rows included, in `font`, plus 90 twips.
// Columns with code 9 keep their width.
void AutoFitColumns(GridModel &grid, const QFont &font);

// The grid export: the rows of a grid (header rows included) written into one worksheet of an
// .xlsx workbook under a title block.
//
// Sheet layout:
//   A1  the title (18 pt), A2 the tag text (12 pt), A3 "打印日期：" + the print date (10 pt),
//       each merged over the exported columns;
//   row 4 on: the grid, chosen columns side by side from column A, 10.5 pt with thin borders;
//       a column whose data alignment code is above 5 (right or general) is formatted "0.00_ ",
//       every other column "@" (text), so codes such as 0012 keep their zeros; a column that
//       names its own number format (GridModel::numberFormat) gets that one;
//   column widths: the grid's twips / 100, widened where the widest value as its cell shows it
//       would not fit (at most 255 characters); a column the grid hides stays hidden;
//   row heights: rows 1 to 3 and the header rows fit their fonts (1.4 x the size in points);
//   printed one page wide (across the page when wider than a portrait page);
//   the report's sheet is the active and only selected tab when the workbook opens.
// A grid with two header rows has its header merged: a run of equal top texts becomes one cell,
// and a column whose two header texts are equal becomes one cell over both rows.
class GridExport {
public:
    static constexpr int kMaxColumns = 156;  // A to EZ
    static constexpr int kFirstGridRow = 4;

    struct Job {
        QString path;          // the workbook file; created when it does not exist
        QString title;         // A1
        QString tagText;       // A2
        QString sheetName;     // the worksheet, reused (and cleared) when the workbook has it
        QDate printDate;       // A3
        QVector<int> columns;  // the grid columns to write, in order
    };

    // Share of the work done (0 to 1); returning false cancels.
    using Progress = std::function<bool(double done)>;

    // Writes the grid and saves the workbook. Throws xlsx::WorkbookError with the reason when the
    // export cannot be done (isCancelled() when `progress` cancelled it); the workbook file is then
    // left as it was, and no file is created.
    static void write(const GridModel &grid, const Job &job, const Progress &progress = {});

    // "0.00_ " for a column whose data alignment code is above 5, "@" for the others.
    static QString numberFormat(int alignmentCode);
};

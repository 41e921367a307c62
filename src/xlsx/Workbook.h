#pragma once

// Reading and writing .xlsx workbooks (Office Open XML spreadsheets) without an office suite.
//
// A workbook is opened from a file (or created for a path where no file exists yet), its worksheets
// are changed in memory, and save() writes everything back to the same path:
//
//   xlsx::Workbook book = QFile::exists(path) ? xlsx::Workbook::open(path) : xlsx::Workbook::create(path);
//   int index = book.findSheet(name);
//   xlsx::Worksheet &sheet = index >= 0 ? book.sheet(index) : book.addSheet(name);
//   sheet.clear(sheet.usedRange());
//   sheet.setText(1, 1, title);
//   book.save();
//
// Every failure is reported by throwing xlsx::WorkbookError with a description fit for the user.
//
// What is kept: only the parts that change are rewritten (the changed worksheets, the workbook and
// its relationships and content types when a sheet is added, styles.xml when new formats are
// needed). Every other part of the package - other sheets, sharedStrings.xml, drawings, images,
// parts this module does not know - is copied byte for byte. Within a rewritten worksheet the
// elements this module does not model (sheet views, page setup, conditional formats, extensions...)
// are kept with their content. Text is written as inline strings, so the shared string table and
// the sheets that use it never change; new formats are appended to styles.xml, so the style indices
// that other sheets use stay valid.
//
// Saving writes a temporary file in the same folder and renames it over the workbook, so a failed or
// cancelled save leaves the previous file as it was and no temporary file behind.
//
// Rows and columns are numbered from 1, as in the spreadsheet application (row 1, column 1 is A1).

#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <exception>
#include <functional>
#include <memory>

namespace xlsx {

constexpr int kMaxRows = 1048576;
constexpr int kMaxColumns = 16384;  // A to XFD
constexpr int kMaxSheetNameLength = 31;
constexpr int kMaxCellTextLength = 32767;

class WorkbookError : public std::exception {
public:
    explicit WorkbookError(QString message, bool cancelled = false);
    const QString &message() const { return m_message; }
    bool isCancelled() const { return m_cancelled; }
    const char *what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_message;
    QByteArray m_utf8;
    bool m_cancelled;
};

// Cell addresses.
QString columnName(int column);         // 1 -> "A", 28 -> "AB", 16384 -> "XFD"; empty when out of range
int columnNumber(QStringView letters);  // "AB" -> 28; 0 when not a column name
QString cellName(int row, int column);  // (4, 1) -> "A4"; empty when out of range
bool parseCellName(QStringView name, int *row, int *column);  // "AB10" -> 10, 28 ("$A$1" too)

// A rectangular block of cells. A default-constructed range is empty.
struct CellRange {
    int firstRow = 1;
    int firstColumn = 1;
    int lastRow = 0;
    int lastColumn = 0;

    CellRange() = default;
    CellRange(int row, int column) : CellRange(row, column, row, column) {}
    CellRange(int row1, int column1, int row2, int column2)
        : firstRow(row1), firstColumn(column1), lastRow(row2), lastColumn(column2)
    {
    }
    static CellRange fromString(QStringView text, bool *ok = nullptr);  // "A1:C3" or "B2"

    bool isEmpty() const { return lastRow < firstRow || lastColumn < firstColumn; }
    bool isValid() const;  // not empty and within the sheet
    int rowCount() const { return isEmpty() ? 0 : lastRow - firstRow + 1; }
    int columnCount() const { return isEmpty() ? 0 : lastColumn - firstColumn + 1; }
    bool contains(int row, int column) const
    {
        return row >= firstRow && row <= lastRow && column >= firstColumn && column <= lastColumn;
    }
    bool intersects(const CellRange &other) const;
    QString toString() const;  // "A1:C3", or "B2" for a single cell
    bool operator==(const CellRange &o) const
    {
        return firstRow == o.firstRow && firstColumn == o.firstColumn && lastRow == o.lastRow &&
               lastColumn == o.lastColumn;
    }
};

// Alignment codes. The values are the spreadsheet application's small alignment codes, which callers
// may pass as they stand; horizontalAlignment()/verticalAlignment() also accept the automation
// constants of the same meaning (xlHAlignCenter = -4108, xlHAlignLeft = -4131, xlHAlignRight = -4152,
// xlHAlignJustify = -4130, xlHAlignDistributed = -4117, xlVAlignTop = -4160, xlVAlignCenter = -4108,
// xlVAlignBottom = -4107, xlVAlignJustify = -4130, xlVAlignDistributed = -4117).
enum class HAlign {
    General = 1,  // text left, numbers right
    Left = 2,
    Center = 3,
    Right = 4,
    Fill = 5,
    Justify = 6,
    CenterAcross = 7,  // centred across the selection
    Distributed = 8,
};
enum class VAlign {
    Top = 1,
    Center = 2,
    Bottom = 3,
    Justify = 4,
    Distributed = 5,
};
HAlign horizontalAlignment(int code);  // throws WorkbookError for an unknown code
VAlign verticalAlignment(int code);

// The number that Worksheet::enterValue stores for a text, when it stores one: a plain decimal
// number with at most 15 significant digits ("12", "-3.5", "1e3", " 7 ").
bool plainNumber(QStringView text, double *value);

// The width of a text, in characters of the default font (the width of a digit of the 11-point
// default font), in a cell font of `points`: East Asian wide characters take about two digits, capitals
// and other wide Latin letters a little more than one. Meant for fitting columns to what they show.
double textWidth(QStringView text, double points);

// Column widths and row heights a sheet may have.
constexpr double kMaxColumnWidth = 255;  // characters
constexpr double kMaxRowHeight = 409;    // points

// Whether LibreOffice has the workbook open: it keeps a lock file beside it (".~lock.NAME#") while it
// does. holder receives the user the lock file names (empty when it names nobody).
bool lockedByLibreOffice(const QString &path, QString *holder = nullptr);

namespace detail {
class SheetModel;
struct WorkbookData;
}  // namespace detail

class Worksheet {
public:
    ~Worksheet();
    Worksheet(const Worksheet &) = delete;
    Worksheet &operator=(const Worksheet &) = delete;

    QString name() const;

    // The smallest block holding every cell that has a value or a format, and every merged range;
    // empty for an empty sheet.
    CellRange usedRange() const;
    // Removes values and formats of the block, every merged range that touches it, and the custom
    // heights of its rows.
    void clear(const CellRange &range);

    // Text is stored as an inline string; an empty text leaves the cell without a value (its format
    // stays). At most kMaxCellTextLength characters.
    void setText(int row, int column, const QString &text);
    void setNumber(int row, int column, double value);  // finite numbers only
    // Stores text the way the spreadsheet application stores what is typed or assigned into a cell:
    // a plain decimal number ("12", "-3.5", "1e3", " 7 ") becomes a number unless the cell's number
    // format is text ("@"); anything else stays text. A number with more than 15 significant digits
    // (an identity card number, a long code) stays text, because a number cell would lose its digits.
    void enterValue(int row, int column, const QString &text);

    // Formats apply to every cell of the block, creating empty formatted cells where needed. Each
    // changes only its own property of the cells' existing formats.
    void setNumberFormat(const CellRange &range, const QString &formatCode);  // "@", "0.00_ ", ...
    void setHorizontalAlignment(const CellRange &range, HAlign align);
    void setVerticalAlignment(const CellRange &range, VAlign align);
    void setThinBorders(const CellRange &range);  // thin continuous line on all four edges of each cell
    void setFontSize(const CellRange &range, double points);

    // Merges the block. A single cell is left as it is; a block that overlaps a merged range is refused.
    // The values of the cells other than the top-left one are kept (hidden under the merged cell).
    void merge(const CellRange &range);
    QList<CellRange> mergedRanges() const;

    // Column width in characters of the default font, as the spreadsheet application shows it and as
    // its ColumnWidth property takes it (14.4 for a column of 1440 twips). The file stores the width
    // with the cell padding added (for the 7-pixel digit of the default 11-point font: 14.4 -> 15.14).
    // Wider than kMaxColumnWidth is stored as kMaxColumnWidth.
    void setColumnWidth(int column, double characters);

    // Row height in points, marked as a custom height (the application does not fit it to the
    // row's fonts again). Higher than kMaxRowHeight is stored as kMaxRowHeight.
    void setRowHeight(int row, double points);
    // The custom height of a row in points, or 0 when the row has the default height.
    double rowHeight(int row) const;

    // Prints the sheet one page wide, as many pages tall as it takes. landscape turns the page,
    // unless the sheet has an orientation of its own.
    void fitToPageWidth(bool landscape);

private:
    friend class Workbook;
    explicit Worksheet(std::unique_ptr<detail::SheetModel> model);
    std::unique_ptr<detail::SheetModel> d;
};

class Workbook {
public:
    // Opens an existing .xlsx or .xlsm file; throws when it cannot be read or is not a workbook (an
    // encrypted workbook and an Excel 97-2003 file are said to be so).
    static Workbook open(const QString &path);
    // A new workbook with one empty sheet "Sheet1", to be saved at path (where no file may exist yet).
    // A path ending in .xlsm gets the content type of a macro-enabled workbook, which that extension
    // requires.
    static Workbook create(const QString &path);

    Workbook(Workbook &&) noexcept;
    Workbook &operator=(Workbook &&) noexcept;
    ~Workbook();

    QString path() const;
    int sheetCount() const;
    QStringList sheetNames() const;  // in workbook order
    // Index of the sheet with that name, compared without regard to case as the spreadsheet
    // application compares sheet names; -1 when there is none.
    int findSheet(const QString &name) const;
    // Makes a hidden sheet visible again.
    void showSheet(int index);
    // Makes a sheet the one the workbook opens on: the active tab of every workbook view, shown,
    // and the only selected tab (no other sheet stays grouped with it).
    void activateSheet(int index);
    // The sheet the workbook opens on (the active tab of its first view).
    int activeSheet() const;
    // The worksheet at index (read on first use). Throws for a chart sheet or an unreadable sheet.
    Worksheet &sheet(int index);
    // Adds an empty worksheet after the last sheet. Throws, changing nothing, when the name is not
    // allowed (see sheetNameError) or is already used by another sheet.
    Worksheet &addSheet(const QString &name);

    // Why a sheet name is not allowed, or an empty string when it is: a name must have 1 to 31
    // characters, none of : \ / ? * [ ] or a control character, must not begin or end with an
    // apostrophe, and must not be "History" (reserved by the spreadsheet application).
    static QString sheetNameError(const QString &name);

    // progress receives the share of the save done so far (0 to 1); returning false cancels the save,
    // which then throws a WorkbookError whose isCancelled() is true.
    using Progress = std::function<bool(double done)>;
    // Writes the workbook to path(). For a new workbook the file must not exist yet; an opened one
    // must not have been changed by another program since it was opened.
    void save(const Progress &progress = {});

private:
    Workbook();
    // sheet(index), from the part's bytes when the caller has read them already.
    Worksheet &sheet(int index, const QByteArray *partBytes);
    std::unique_ptr<detail::WorkbookData> d;
};

}  // namespace xlsx

// Writes a grid export of 100,000 rows x 9 columns (header rows, "@" and "0.00_ " columns, thin
// borders, 10.5-point text) through the workbook module and, when it is available, through
// libxlsxwriter, each in a child process of its own so that each peak memory is its own.
//
//   export_bench [rows] [folder]
//
// Prints the time of each writer, the ratio of the two, peak memory (VmHWM) and the file sizes, then
// the time the module takes to reopen its file, clear the sheet and write it again.

#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "xlsx/Workbook.h"

#ifdef TAVIMOR_HAVE_XLSXWRITER
#include <xlsxwriter.h>
#endif

namespace {

constexpr int kColumns = 9;
constexpr int kHeaderRow = 4;  // rows 1 to 3 hold the title, the tag line and the print date

bool isNumericColumn(int column) { return column == 6 || column == 7; }

// The grid text of a row (row 0 is the header).
std::vector<std::string> gridRow(int row)
{
    static const char *header[kColumns] = {"投诉编号", "投诉日期", "投诉人",   "联系电话", "地址",
                                           "投诉类别", "处理天数", "赔付金额", "状态"};
    static const char *names[] = {"张三", "李四", "王五", "赵六", "钱七", "孙八"};
    static const char *kinds[] = {"维修", "卫生", "安保", "停车", "噪音"};
    static const char *states[] = {"已登记", "已受理", "处理中", "已办结"};
    std::vector<std::string> cells(kColumns);
    if (row == 0) {
        for (int c = 0; c < kColumns; ++c) cells[size_t(c)] = header[c];
        return cells;
    }
    char buf[64];
    std::snprintf(buf, sizeof buf, "TS%08d", row);
    cells[0] = buf;
    std::snprintf(buf, sizeof buf, "2024-%02d-%02d %02d:%02d", row % 12 + 1, row % 28 + 1, row % 24, row % 60);
    cells[1] = buf;
    cells[2] = names[row % 6];
    std::snprintf(buf, sizeof buf, "1390000%04d", row % 10000);
    cells[3] = buf;
    std::snprintf(buf, sizeof buf, "%d号楼%d单元%d室", row % 40 + 1, row % 6 + 1, row % 2000 + 101);
    cells[4] = buf;
    cells[5] = kinds[row % 5];
    std::snprintf(buf, sizeof buf, "%d", row % 30);
    cells[6] = buf;
    std::snprintf(buf, sizeof buf, "%d.%02d", row % 1000, row % 100);
    cells[7] = buf;
    cells[8] = states[row % 4];
    return cells;
}

long peakKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:")) return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}

struct Result {
    double seconds = -1;
    long peakKiB = -1;
};

// Runs work in a child process; the child reports its time and peak memory through a pipe.
Result inChild(const std::function<double()> &work)
{
    int fds[2];
    if (pipe(fds) != 0) return {};
    std::fflush(stdout);
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        Result r;
        r.seconds = work();
        r.peakKiB = peakKiB();
        if (write(fds[1], &r, sizeof r) != sizeof r) _exit(2);
        _exit(0);
    }
    close(fds[1]);
    Result r;
    if (read(fds[0], &r, sizeof r) != sizeof r) r = Result();
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    return r;
}

// The export's sheet through the workbook module: format then value for every cell, as the export does.
double writeWithModule(xlsx::Workbook &book, xlsx::Worksheet &sheet, const std::vector<QString> &cells, int rows)
{
    QElapsedTimer timer;
    timer.start();
    using xlsx::CellRange;
    const int lastRow = kHeaderRow + rows;
    sheet.setText(1, 1, QStringLiteral("投诉统计表"));
    sheet.setText(3, 1, QStringLiteral("打印日期：2024年05月06日"));
    const QString text = QStringLiteral("@"), number = QStringLiteral("0.00_ ");
    std::vector<double> widest(kColumns, 0.0);
    for (int r = 0; r <= rows; ++r) {
        for (int c = 0; c < kColumns; ++c) {
            const QString &value = cells[size_t(r) * kColumns + size_t(c)];
            sheet.setNumberFormat(CellRange(kHeaderRow + r, c + 1), isNumericColumn(c) ? number : text);
            sheet.setText(kHeaderRow + r, c + 1, value);
            widest[size_t(c)] = std::max(widest[size_t(c)], xlsx::textWidth(value, 10.5));  // as the export fits
        }
    }
    for (int c = 1; c <= kColumns; ++c) sheet.setColumnWidth(c, std::max(14.4, widest[size_t(c - 1)] + 1.5));
    const double fonts[] = {18, 12, 10, 10.5};
    for (int row = 1; row <= kHeaderRow; ++row) sheet.setRowHeight(row, 1.4 * fonts[row - 1]);
    book.activateSheet(book.sheetCount() - 1);
    for (int row = 1; row <= 3; ++row) sheet.merge(CellRange(row, 1, row, kColumns));
    sheet.setHorizontalAlignment(CellRange(1, 1, 2, kColumns), xlsx::HAlign::Center);
    sheet.setHorizontalAlignment(CellRange(3, 1, 3, kColumns), xlsx::HAlign::Right);
    sheet.setHorizontalAlignment(CellRange(4, 1, 4, kColumns), xlsx::HAlign::Center);
    sheet.setVerticalAlignment(CellRange(1, 1, 4, kColumns), xlsx::VAlign::Distributed);
    sheet.setThinBorders(CellRange(kHeaderRow, 1, lastRow, kColumns));
    sheet.setFontSize(CellRange(1, 1, 1, kColumns), 18);
    sheet.setFontSize(CellRange(2, 1, 2, kColumns), 12);
    sheet.setFontSize(CellRange(3, 1, 3, kColumns), 10);
    sheet.setFontSize(CellRange(kHeaderRow, 1, lastRow, kColumns), 10.5);
    book.save();
    return double(timer.nsecsElapsed()) / 1e9;
}

std::vector<QString> moduleCells(int rows)
{
    std::vector<QString> cells;
    cells.reserve(size_t(rows + 1) * kColumns);
    for (int r = 0; r <= rows; ++r)
        for (const std::string &text : gridRow(r)) cells.push_back(QString::fromStdString(text));
    return cells;
}

#ifdef TAVIMOR_HAVE_XLSXWRITER
double writeWithLibxlsxwriter(const QString &path, const std::vector<std::string> &cells, int rows)
{
    QElapsedTimer timer;
    timer.start();
    lxw_workbook *book = workbook_new(QFile::encodeName(path).constData());
    lxw_worksheet *sheet = workbook_add_worksheet(book, "Sheet1");
    auto format = [&](const char *numFormat, double size, uint8_t align, uint8_t valign, bool border) {
        lxw_format *f = workbook_add_format(book);
        if (numFormat) format_set_num_format(f, numFormat);
        if (size > 0) format_set_font_size(f, size);
        if (align) format_set_align(f, align);
        if (valign) format_set_align(f, valign);
        if (border) format_set_border(f, LXW_BORDER_THIN);
        return f;
    };
    lxw_format *title = format(nullptr, 18, LXW_ALIGN_CENTER, LXW_ALIGN_VERTICAL_DISTRIBUTED, false);
    lxw_format *tag = format(nullptr, 12, LXW_ALIGN_CENTER, LXW_ALIGN_VERTICAL_DISTRIBUTED, false);
    lxw_format *date = format(nullptr, 10, LXW_ALIGN_RIGHT, LXW_ALIGN_VERTICAL_DISTRIBUTED, false);
    lxw_format *headText = format("@", 10.5, LXW_ALIGN_CENTER, LXW_ALIGN_VERTICAL_DISTRIBUTED, true);
    lxw_format *headNumber = format("0.00_ ", 10.5, LXW_ALIGN_CENTER, LXW_ALIGN_VERTICAL_DISTRIBUTED, true);
    lxw_format *bodyText = format("@", 10.5, 0, 0, true);
    lxw_format *bodyNumber = format("0.00_ ", 10.5, 0, 0, true);
    worksheet_set_column(sheet, 0, kColumns - 1, 14.4, nullptr);
    const double fonts[] = {18, 12, 10, 10.5};
    for (int row = 0; row < kHeaderRow; ++row) worksheet_set_row(sheet, lxw_row_t(row), 1.4 * fonts[row], nullptr);
    worksheet_activate(sheet);
    worksheet_merge_range(sheet, 0, 0, 0, kColumns - 1, "投诉统计表", title);
    worksheet_merge_range(sheet, 1, 0, 1, kColumns - 1, "", tag);
    worksheet_merge_range(sheet, 2, 0, 2, kColumns - 1, "打印日期：2024年05月06日", date);
    for (int r = 0; r <= rows; ++r) {
        for (int c = 0; c < kColumns; ++c) {
            lxw_format *f =
                r == 0 ? (isNumericColumn(c) ? headNumber : headText) : (isNumericColumn(c) ? bodyNumber : bodyText);
            worksheet_write_string(sheet, lxw_row_t(kHeaderRow - 1 + r), lxw_col_t(c),
                                   cells[size_t(r) * kColumns + size_t(c)].c_str(), f);
        }
    }
    const lxw_error error = workbook_close(book);
    if (error != LXW_NO_ERROR) std::fprintf(stderr, "libxlsxwriter: %s\n", lxw_strerror(error));
    return double(timer.nsecsElapsed()) / 1e9;
}
#endif

void print(const char *name, const Result &r, const QString &path)
{
    std::printf("%-34s %7.2f s   peak %6.0f MB   file %6.1f MB\n", name, r.seconds, double(r.peakKiB) / 1024.0,
                double(QFileInfo(path).size()) / 1e6);
}

}  // namespace

int main(int argc, char **argv)
{
    const int rows = argc > 1 ? std::atoi(argv[1]) : 100000;
    QTemporaryDir temporary;
    const QString folder = argc > 2 ? QString::fromLocal8Bit(argv[2]) : temporary.path();
    const QString ours = QDir(folder).filePath(QStringLiteral("module.xlsx"));
    const QString theirs = QDir(folder).filePath(QStringLiteral("libxlsxwriter.xlsx"));
    QFile::remove(ours);
    QFile::remove(theirs);
    std::printf("grid export: %d rows x %d columns of text, %d rows of titles\n", rows + 1, kColumns, kHeaderRow - 1);

    const Result data = inChild([&] {
        moduleCells(rows);
        return 0.0;
    });
    std::printf("%-34s            peak %6.0f MB\n", "(the grid text alone)", double(data.peakKiB) / 1024.0);

    const Result module = inChild([&] {
        const std::vector<QString> cells = moduleCells(rows);
        try {
            xlsx::Workbook book = xlsx::Workbook::create(ours);
            return writeWithModule(book, book.sheet(0), cells, rows);
        } catch (const xlsx::WorkbookError &e) {
            std::fprintf(stderr, "workbook module: %s\n", e.what());
            return -1.0;
        }
    });
    print("workbook module (new workbook)", module, ours);

    const Result again = inChild([&] {
        const std::vector<QString> cells = moduleCells(rows);
        try {
            QElapsedTimer timer;
            timer.start();
            xlsx::Workbook book = xlsx::Workbook::open(ours);
            xlsx::Worksheet &sheet = book.sheet(book.findSheet(QStringLiteral("Sheet1")));
            sheet.clear(sheet.usedRange());
            const double opened = double(timer.nsecsElapsed()) / 1e9;
            return opened + writeWithModule(book, sheet, cells, rows);
        } catch (const xlsx::WorkbookError &e) {
            std::fprintf(stderr, "workbook module: %s\n", e.what());
            return -1.0;
        }
    });
    print("workbook module (reuse that sheet)", again, ours);

#ifdef TAVIMOR_HAVE_XLSXWRITER
    const Result reference = inChild([&] {
        std::vector<std::string> cells;
        cells.reserve(size_t(rows + 1) * kColumns);
        for (int r = 0; r <= rows; ++r)
            for (std::string &text : gridRow(r)) cells.push_back(std::move(text));
        return writeWithLibxlsxwriter(theirs, cells, rows);
    });
    print("libxlsxwriter", reference, theirs);
    if (module.seconds > 0 && reference.seconds > 0)
        std::printf("ratio module / libxlsxwriter: %.2f (new workbook)\n", module.seconds / reference.seconds);
#else
    std::printf("libxlsxwriter was not found when building: no comparison\n");
#endif
    return module.seconds > 0 ? 0 : 1;
}

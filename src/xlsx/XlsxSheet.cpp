#include <algorithm>
#include <cmath>

#include "xlsx/XlsxSheet.h"

namespace xlsx::detail {

void checkCell(int row, int column)
{
    if (row < 1 || row > kMaxRows)
        throw WorkbookError(
            QStringLiteral("第 %1 行超出了工作表的范围（工作表只有第 1 至 %2 行）").arg(row).arg(kMaxRows));
    if (column < 1 || column > kMaxColumns)
        throw WorkbookError(QStringLiteral("第 %1 列超出了工作表的范围（工作表只有第 1 至 %2 列，即 A 至 XFD 列）")
                                .arg(column)
                                .arg(kMaxColumns));
}

void checkRange(const CellRange &range)
{
    if (!range.isValid())
        throw WorkbookError(QStringLiteral("单元格区域（第 %1 至 %2 行，第 %3 至 %4 列）不是工作表中有效的区域")
                                .arg(range.firstRow)
                                .arg(range.lastRow)
                                .arg(range.firstColumn)
                                .arg(range.lastColumn));
}

namespace {

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

}  // namespace

}  // namespace xlsx::detail

namespace xlsx {

bool plainNumber(QStringView text, double *value)
{
    text = text.trimmed();
    qsizetype i = 0;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) ++i;
    int digits = 0, significant = 0, trailingZeros = 0;
    bool point = false;
    for (; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c >= u'0' && c <= u'9') {
            ++digits;
            if (significant == 0 && c == u'0') continue;  // leading zero
            ++significant;
            trailingZeros = c == u'0' ? trailingZeros + 1 : 0;
        } else if (c == u'.' && !point) {
            point = true;
        } else {
            break;
        }
    }
    if (digits == 0) return false;
    if (i < text.size() && (text[i] == u'e' || text[i] == u'E')) {
        ++i;
        if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) ++i;
        const qsizetype exponentStart = i;
        while (i < text.size() && text[i] >= u'0' && text[i] <= u'9') ++i;
        if (i == exponentStart) return false;
    }
    if (i != text.size()) return false;
    if (significant - trailingZeros > 15) return false;
    bool ok = false;
    const double number = text.toDouble(&ok);
    if (!ok || !std::isfinite(number)) return false;
    *value = number;
    return true;
}

}  // namespace xlsx

namespace xlsx::detail {

SheetModel::SheetModel(QString name, Styles &styles, bool &formulasRemoved)
    : m_name(std::move(name)), m_styles(styles), m_formulasRemoved(formulasRemoved)
{
}

// ---------------------------------------------------------------------------------------------- cells

uint32_t SheetModel::store(const char *bytes, size_t size)
{
    if (m_arena.size() + size > UINT32_MAX) {
        compactArena();
        if (m_arena.size() + size > UINT32_MAX)
            throw WorkbookError(QStringLiteral("工作表“%1”中的文字太多，本程序无法写出").arg(m_name));
    }
    const uint32_t offset = uint32_t(m_arena.size());
    m_arena.append(bytes, size);
    return offset;
}

void SheetModel::compactArena()
{
    std::string arena;
    arena.reserve(m_arena.size() - m_garbage);
    for (Row &row : m_rows) {
        for (Cell &cell : row.cells) {
            if (cell.kind != Cell::Text && cell.kind != Cell::Raw && cell.kind != Cell::RawFormula) continue;
            const uint32_t offset = uint32_t(arena.size());
            arena.append(m_arena, cell.offset, cell.length);
            cell.offset = offset;
        }
    }
    m_arena.swap(arena);
    m_garbage = 0;
}

void SheetModel::releaseValue(Cell &cell)
{
    if (cell.kind == Cell::RawFormula) m_formulasRemoved = true;
    if (cell.kind == Cell::Text || cell.kind == Cell::Raw || cell.kind == Cell::RawFormula) m_garbage += cell.length;
    cell.kind = Cell::Blank;
    cell.length = 0;
    if (m_garbage > (size_t(64) << 20) && m_garbage > m_arena.size() / 2) compactArena();
}

uint32_t SheetModel::columnStyle(int column) const
{
    for (const ColumnSpan &span : m_columns) {
        if (span.first > column) break;
        if (span.last >= column) {
            for (const XmlAttribute &a : span.attributes)
                if (a.name == u"style") return a.value.toUInt();
            return 0;
        }
    }
    return 0;
}

Row &SheetModel::row(uint32_t number)
{
    m_changed = true;
    if (m_rows.empty() || m_rows.back().number < number) {
        const size_t guess = m_rows.empty() ? 0 : m_rows.back().cells.size();
        m_rows.push_back(Row{number, 0, -1, {}});
        m_rows.back().cells.reserve(guess);
        return m_rows.back();
    }
    if (m_rows.back().number == number) return m_rows.back();
    auto it =
        std::lower_bound(m_rows.begin(), m_rows.end(), number, [](const Row &r, uint32_t n) { return r.number < n; });
    if (it != m_rows.end() && it->number == number) return *it;
    return *m_rows.insert(it, Row{number, 0, -1, {}});
}

Cell &SheetModel::cell(Row &row, int column)
{
    auto &cells = row.cells;
    if (cells.empty() || cells.back().column < column) {
        const uint32_t base = row.style >= 0 ? uint32_t(row.style) : columnStyle(column);
        cells.push_back(Cell{uint16_t(column), Cell::Blank, 0, base, 0, 0});
        ++m_cellCount;
        return cells.back();
    }
    auto it = std::lower_bound(cells.begin(), cells.end(), column, [](const Cell &c, int n) { return c.column < n; });
    if (it != cells.end() && it->column == column) return *it;
    const uint32_t base = row.style >= 0 ? uint32_t(row.style) : columnStyle(column);
    ++m_cellCount;
    return *cells.insert(it, Cell{uint16_t(column), Cell::Blank, 0, base, 0, 0});
}

Cell &SheetModel::cell(int row, int column)
{
    checkCell(row, column);
    return cell(this->row(uint32_t(row)), column);
}

void SheetModel::setText(int row, int column, const QString &text)
{
    checkCell(row, column);  // first: the message below names the cell
    if (text.size() > kMaxCellTextLength)
        throw WorkbookError(QStringLiteral("单元格 %1 的文字有 %2 个字符，一个单元格最多只能容纳 %3 个字符")
                                .arg(cellName(row, column))
                                .arg(text.size())
                                .arg(kMaxCellTextLength));
    Cell &c = cell(row, column);
    releaseValue(c);
    if (text.isEmpty()) return;
    const size_t start = m_arena.size();
    appendUtf8(m_arena, text);
    if (m_arena.size() > UINT32_MAX) {
        m_arena.resize(start);
        throw WorkbookError(QStringLiteral("工作表“%1”中的文字太多，本程序无法写出").arg(m_name));
    }
    c.kind = Cell::Text;
    c.offset = uint32_t(start);
    c.length = uint32_t(m_arena.size() - start);
    c.preserveSpace = isSpace(m_arena[start]) || isSpace(m_arena.back()) ? 1 : 0;
}

void SheetModel::setNumber(int row, int column, double value)
{
    checkCell(row, column);  // first: the message below names the cell
    if (!std::isfinite(value))
        throw WorkbookError(
            QStringLiteral("单元格 %1 不能存放 %2，它不是有限的数值").arg(cellName(row, column)).arg(value));
    Cell &c = cell(row, column);
    releaseValue(c);
    c.kind = Cell::Number;
    c.offset = uint32_t(m_numbers.size());
    m_numbers.push_back(value);
}

void SheetModel::enterValue(int row, int column, const QString &text)
{
    double number = 0;
    if (!m_styles.isTextFormat(cell(row, column).style) && plainNumber(text, &number)) {
        setNumber(row, column, number);
    } else {
        setText(row, column, text);
    }
}

void SheetModel::change(const CellRange &range, StyleChange change)
{
    checkRange(range);
    uint32_t lastIn = UINT32_MAX, lastOut = 0;
    for (int r = range.firstRow; r <= range.lastRow; ++r) {
        Row &target = row(uint32_t(r));
        for (int c = range.firstColumn; c <= range.lastColumn; ++c) {
            Cell &x = cell(target, c);
            if (x.style != lastIn) {
                lastIn = x.style;
                lastOut = m_styles.apply(change, x.style);
            }
            x.style = lastOut;
        }
    }
}

CellRange SheetModel::usedRange() const
{
    CellRange used(kMaxRows + 1, kMaxColumns + 1, 0, 0);
    for (const Row &row : m_rows) {
        if (row.cells.empty()) continue;
        used.firstRow = std::min(used.firstRow, int(row.number));
        used.lastRow = int(row.number);
        used.firstColumn = std::min(used.firstColumn, int(row.cells.front().column));
        used.lastColumn = std::max(used.lastColumn, int(row.cells.back().column));
    }
    // A merged range counts whole: clearing the used block must take every merge with it.
    for (const CellRange &m : m_merges) {
        used.firstRow = std::min(used.firstRow, m.firstRow);
        used.lastRow = std::max(used.lastRow, m.lastRow);
        used.firstColumn = std::min(used.firstColumn, m.firstColumn);
        used.lastColumn = std::max(used.lastColumn, m.lastColumn);
    }
    return used.isEmpty() ? CellRange() : used;
}

void SheetModel::clear(const CellRange &range)
{
    if (range.isEmpty()) return;
    checkRange(range);
    m_changed = true;
    auto first = std::lower_bound(m_rows.begin(), m_rows.end(), uint32_t(range.firstRow),
                                  [](const Row &r, uint32_t n) { return r.number < n; });
    auto last = first;
    for (; last != m_rows.end() && last->number <= uint32_t(range.lastRow); ++last) {
        auto &cells = last->cells;
        auto from = std::lower_bound(cells.begin(), cells.end(), range.firstColumn,
                                     [](const Cell &c, int n) { return c.column < n; });
        auto to =
            std::upper_bound(from, cells.end(), range.lastColumn, [](int n, const Cell &c) { return n < c.column; });
        for (auto it = from; it != to; ++it) releaseValue(*it);
        m_cellCount -= size_t(to - from);
        cells.erase(from, to);
        dropRowHeight(*last);
    }
    m_rows.erase(std::remove_if(first, last, [](const Row &r) { return r.cells.empty() && r.attributes == 0; }), last);
    if (m_cellCount == 0) {
        // The usual case of a sheet written again: drop the old text at once.
        std::string().swap(m_arena);
        std::vector<double>().swap(m_numbers);
        m_garbage = 0;
    }
    m_merges.erase(
        std::remove_if(m_merges.begin(), m_merges.end(), [&](const CellRange &m) { return m.intersects(range); }),
        m_merges.end());
}

}  // namespace xlsx::detail

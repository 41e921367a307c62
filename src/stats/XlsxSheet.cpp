#include "stats/XlsxSheet.h"

#include <QXmlStreamReader>
#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>

namespace xlsx::detail {

namespace {

const char kEmptySheet[] =
    R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
    R"(<worksheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" )"
    R"(xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships">)"
    R"(<sheetData/><pageMargins left="0.7" right="0.7" top="0.75" bottom="0.75" header="0.3" footer="0.3"/>)"
    R"(</worksheet>)";

// Order of the children of worksheet, for placing the elements this module writes.
// clang-format off
const std::array<const char *, 39> kWorksheetOrder = {
    "sheetPr", "dimension", "sheetViews", "sheetFormatPr", "cols", "sheetData", "sheetCalcPr",
    "sheetProtection", "protectedRanges", "scenarios", "autoFilter", "sortState", "dataConsolidate",
    "customSheetViews", "mergeCells", "phoneticPr", "conditionalFormatting", "dataValidations",
    "hyperlinks", "printOptions", "pageMargins", "pageSetup", "headerFooter", "rowBreaks", "colBreaks",
    "customProperties", "cellWatches", "ignoredErrors", "smartTags", "drawing", "legacyDrawing",
    "legacyDrawingHF", "drawingHF", "picture", "oleObjects", "controls", "webPublishItems", "tableParts",
    "extLst"};
// clang-format on

int rankOf(const XmlNode &node, const QString &ns)
{
    if (node.type != XmlNode::Element || node.ns != ns) return -1;
    for (size_t i = 0; i < kWorksheetOrder.size(); ++i)
        if (node.localName == QLatin1String(kWorksheetOrder[i])) return int(i);
    return -1;
}

// Column letters of every column, built once.
struct ColumnLetters {
    std::array<std::array<char, 4>, kMaxColumns + 1> text{};
    ColumnLetters()
    {
        for (int column = 1; column <= kMaxColumns; ++column) {
            char buf[4];
            int n = 0;
            for (int c = column; c > 0; c = (c - 1) / 26) buf[n++] = char('A' + (c - 1) % 26);
            text[column][3] = char(n);
            for (int i = 0; i < n; ++i) text[column][i] = buf[n - 1 - i];
        }
    }
};
const ColumnLetters &columnLetters()
{
    static const ColumnLetters letters;
    return letters;
}

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

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// A plain decimal number that a double holds without losing digits (at most 15 significant ones).
bool parsePlainNumber(QStringView text, double *value)
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

// The column of a cell reference such as "AB12"; 0 when it is not one.
int columnOfReference(std::string_view ref)
{
    int column = 0;
    size_t i = 0;
    for (; i < ref.size() && ref[i] >= 'A' && ref[i] <= 'Z' && column <= kMaxColumns; ++i)
        column = column * 26 + (ref[i] - 'A' + 1);
    if (i == 0 || i == ref.size() || column > kMaxColumns) return 0;
    for (; i < ref.size(); ++i)
        if (ref[i] < '0' || ref[i] > '9') return 0;
    return column;
}

}  // namespace

SheetModel::SheetModel(QString name, Styles &styles, bool &formulasRemoved)
    : m_name(std::move(name)), m_styles(styles), m_formulasRemoved(formulasRemoved)
{
}

// ---------------------------------------------------------------------------------------------- reading

// The rows of a sheet are read with a byte scanner rather than an XML reader: a sheet of a previous
// export holds about a million cells, and every cell that is not changed is kept exactly as it was
// written, so only the tags need finding. The rest of the part goes through QXmlStreamReader.
struct Tag {
    enum Kind { Start, End, Empty };
    Kind kind = Start;
    size_t begin = 0, end = 0;    // '<' and one past '>'
    std::string_view name;        // qualified name
    std::string_view attributes;  // between the name and '>' or '/>'
    std::string_view local() const
    {
        const size_t colon = name.find(':');
        return colon == std::string_view::npos ? name : name.substr(colon + 1);
    }
};

class TagScanner {
public:
    TagScanner(std::string_view xml, const QString &partName) : m_xml(xml), m_part(partName) {}

    // The next tag; false at the end of the data. Text, comments, CDATA sections and processing
    // instructions between tags are passed over.
    bool next(Tag &tag)
    {
        for (;;) {
            const size_t lt = m_xml.find('<', m_pos);
            if (lt == std::string_view::npos) return false;
            const std::string_view rest = m_xml.substr(lt);
            if (rest.substr(0, 4) == "<!--") {
                skipPast(lt + 4, "-->");
            } else if (rest.substr(0, 9) == "<![CDATA[") {
                skipPast(lt + 9, "]]>");
            } else if (rest.substr(0, 2) == "<?") {
                skipPast(lt + 2, "?>");
            } else if (rest.substr(0, 2) == "<!") {
                damaged("文档类型声明");
            } else {
                readTag(lt, tag);
                return true;
            }
        }
    }
    // Passes over the content and end tag of an element whose start tag was just read.
    void skipElement(const Tag &start)
    {
        if (start.kind != Tag::Start) return;
        Tag tag;
        for (int depth = 0; next(tag);) {
            if (tag.kind == Tag::Start) ++depth;
            if (tag.kind == Tag::End && depth-- == 0) return;
        }
        damaged("没有结束的元素");
    }
    // what: the fault found, as a noun phrase ("没有结束的行").
    [[noreturn]] void damaged(const char *what) const
    {
        throw WorkbookError(QStringLiteral("工作簿的部件 %1 已损坏：第 %2 个字节附近有%3")
                                .arg(m_part, QString::number(m_pos), QString::fromUtf8(what)));
    }
    std::string_view xml() const { return m_xml; }
    size_t position() const { return m_pos; }

private:
    void skipPast(size_t from, std::string_view end)
    {
        const size_t at = m_xml.find(end, from);
        if (at == std::string_view::npos) damaged("没有结束的注释或数据段");
        m_pos = at + end.size();
    }
    void readTag(size_t lt, Tag &tag)
    {
        size_t p = lt + 1;
        const bool closing = p < m_xml.size() && m_xml[p] == '/';
        if (closing) ++p;
        const size_t nameStart = p;
        while (p < m_xml.size() && !std::strchr(" \t\r\n/>", m_xml[p])) ++p;
        tag.name = m_xml.substr(nameStart, p - nameStart);
        const size_t attributesStart = p;
        while (p < m_xml.size() && m_xml[p] != '>') {
            if (m_xml[p] == '"' || m_xml[p] == '\'') {
                const size_t close = m_xml.find(m_xml[p], p + 1);
                if (close == std::string_view::npos) break;
                p = close;
            }
            ++p;
        }
        if (p >= m_xml.size() || tag.name.empty()) damaged("不完整的标记");
        const bool empty = !closing && m_xml[p - 1] == '/';
        tag.kind = closing ? Tag::End : empty ? Tag::Empty : Tag::Start;
        tag.attributes = m_xml.substr(attributesStart, p - attributesStart - (empty ? 1 : 0));
        tag.begin = lt;
        tag.end = m_pos = p + 1;
    }

    std::string_view m_xml;
    QString m_part;
    size_t m_pos = 0;
};

namespace {

// Calls f(name, value, text) for each attribute; text is the attribute as written, with a leading blank.
template <typename F>
void forEachAttribute(const TagScanner &scan, std::string_view attributes, F f)
{
    size_t p = 0;
    for (;;) {
        while (p < attributes.size() && std::strchr(" \t\r\n", attributes[p])) ++p;
        if (p >= attributes.size()) return;
        const size_t nameStart = p;
        while (p < attributes.size() && !std::strchr(" \t\r\n=", attributes[p])) ++p;
        const std::string_view name = attributes.substr(nameStart, p - nameStart);
        while (p < attributes.size() && attributes[p] != '"' && attributes[p] != '\'') ++p;
        if (p >= attributes.size()) scan.damaged("没有值的属性");
        const size_t close = attributes.find(attributes[p], p + 1);
        if (close == std::string_view::npos) scan.damaged("不完整的属性");
        f(name, attributes.substr(p + 1, close - p - 1), attributes.substr(nameStart, close + 1 - nameStart));
        p = close + 1;
    }
}

uint32_t toNumber(std::string_view text, bool *ok)
{
    uint32_t value = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    *ok = result.ec == std::errc() && result.ptr == text.data() + text.size();
    return value;
}

}  // namespace

void SheetModel::load(const QByteArray &data, const QString &partName)
{
    m_changed = data.isEmpty();
    QByteArray xml = data.isEmpty() ? QByteArray(kEmptySheet) : data;
    {
        // The rows go into the model; the rest, with an empty sheetData, is read as XML below.
        TagScanner scan(std::string_view(xml.constData(), size_t(xml.size())), partName);
        Tag tag;
        for (int depth = -1; scan.next(tag);) {
            const int level = tag.kind == Tag::End ? depth : depth + 1;
            if (tag.kind != Tag::End && level == 1 && tag.local() == "sheetData") {
                size_t end = tag.end;
                if (tag.kind == Tag::Start) {
                    loadSheetData(scan);
                    end = scan.position();
                }
                std::string skeleton(xml.constData(), tag.begin);
                skeleton.append("<").append(tag.name).append(tag.attributes).append("/>");
                skeleton.append(xml.constData() + end, size_t(xml.size()) - end);
                xml = QByteArray::fromStdString(skeleton);
                break;
            }
            if (tag.kind == Tag::Start) ++depth;
            if (tag.kind == Tag::End) --depth;
        }
    }
    QXmlStreamReader reader(xml);
    bool haveRoot = false;
    while (!reader.atEnd() && !haveRoot) {
        switch (reader.readNext()) {
            case QXmlStreamReader::StartDocument: m_standalone = reader.isStandaloneDocument(); break;
            case QXmlStreamReader::DTD:
                throw WorkbookError(
                    QStringLiteral("工作簿的部件 %1 含有文档类型声明，正常的工作簿不会有这种声明").arg(partName));
            case QXmlStreamReader::Comment: {
                XmlNode comment;
                comment.type = XmlNode::Comment;
                comment.text = reader.text().toString();
                m_prolog.push_back(std::move(comment));
                break;
            }
            case QXmlStreamReader::StartElement: haveRoot = true; break;
            default: break;
        }
    }
    if (!haveRoot || reader.name() != u"worksheet" || reader.namespaceUri() != kMainNs) {
        if (reader.hasError()) throwXmlError(reader, partName);
        throw WorkbookError(QStringLiteral("工作簿的部件 %1 不是工作表").arg(partName));
    }
    m_root = readStartTag(reader);

    while (!reader.atEnd()) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        if (token == QXmlStreamReader::EndElement) break;  // of worksheet
        if (token == QXmlStreamReader::Comment) {
            XmlNode comment;
            comment.type = XmlNode::Comment;
            comment.text = reader.text().toString();
            m_root.children.push_back(std::move(comment));
            continue;
        }
        if (token != QXmlStreamReader::StartElement) continue;
        const bool main = reader.namespaceUri() == kMainNs;
        const QStringView local = reader.name();
        if (main && local == u"sheetData") {
            m_root.children.push_back(readStartTag(reader));
            reader.skipCurrentElement();
        } else if (main && local == u"dimension") {
            reader.skipCurrentElement();  // written anew from the cells
        } else if (main && local == u"cols") {
            const XmlNode cols = readElement(reader);
            for (const XmlNode &col : cols.children) {
                if (!col.is(kMainNs, u"col")) continue;
                ColumnSpan span{col.value(u"min").toInt(), col.value(u"max").toInt(), {}};
                if (span.first < 1 || span.last < span.first || span.last > kMaxColumns) continue;
                for (const XmlAttribute &a : col.attributes)
                    if (a.name != u"min" && a.name != u"max") span.attributes.push_back(a);
                m_columns.push_back(std::move(span));
            }
        } else if (main && local == u"mergeCells") {
            const XmlNode merges = readElement(reader);
            for (const XmlNode &merge : merges.children) {
                bool ok = false;
                const CellRange range = CellRange::fromString(merge.value(u"ref"), &ok);
                if (merge.is(kMainNs, u"mergeCell") && ok) m_merges.push_back(range);
            }
        } else {
            m_root.children.push_back(readElement(reader));
        }
    }
    if (reader.hasError()) throwXmlError(reader, partName);
    std::sort(m_columns.begin(), m_columns.end(),
              [](const ColumnSpan &a, const ColumnSpan &b) { return a.first < b.first; });
    if (std::none_of(m_root.children.begin(), m_root.children.end(),
                     [](const XmlNode &n) { return n.is(kMainNs, u"sheetData"); })) {
        const int rank = 5;  // sheetData
        auto pos = std::find_if(m_root.children.begin(), m_root.children.end(),
                                [&](const XmlNode &n) { return rankOf(n, kMainNs) > rank; });
        m_root.children.insert(pos, m_root.makeSibling(QStringLiteral("sheetData")));
    }
}

// Reads the rows of a sheetData element whose start tag the scanner has just passed.
void SheetModel::loadSheetData(TagScanner &scan)
{
    const std::string_view xml = scan.xml();
    bool sorted = true;
    uint32_t previousRow = 0;
    std::string raw;
    Tag tag;
    for (;;) {
        if (!scan.next(tag)) scan.damaged("没有结束的 sheetData 元素");
        if (tag.kind == Tag::End) break;  // of sheetData
        if (tag.local() != "row") {
            scan.skipElement(tag);
            continue;
        }
        Row row{previousRow + 1, 0, -1, {}};
        std::string attributes;
        bool customFormat = false;
        uint32_t rowStyle = 0;
        forEachAttribute(scan, tag.attributes,
                         [&](std::string_view name, std::string_view value, std::string_view text) {
                             bool ok = true;
                             if (name == "r") {
                                 row.number = toNumber(value, &ok);
                             } else if (name != "spans") {  // spans is a hint that a change would make stale
                                 if (name == "s") rowStyle = toNumber(value, &ok);
                                 if (name == "customFormat") customFormat = value == "1" || value == "true";
                                 attributes.append(" ").append(text);
                             }
                             if (!ok) scan.damaged("不是数字的行属性");
                         });
        if (row.number < 1 || row.number > uint32_t(kMaxRows)) scan.damaged("超出工作表范围的行号");
        if (customFormat) row.style = int32_t(rowStyle);
        if (!attributes.empty()) {
            const QByteArray key = QByteArray::fromStdString(attributes);
            auto it = m_rowAttributeIndex.constFind(key);
            if (it == m_rowAttributeIndex.constEnd()) {
                it = m_rowAttributeIndex.insert(key, uint32_t(m_rowAttributes.size()));
                m_rowAttributes.push_back(key);
            }
            row.attributes = it.value();
        }
        sorted = sorted && row.number > previousRow;
        previousRow = row.number;

        int previousColumn = 0;
        bool cellsSorted = true;
        Tag c;
        while (tag.kind == Tag::Start) {
            if (!scan.next(c)) scan.damaged("没有结束的行");
            if (c.kind == Tag::End) break;  // of row
            if (c.local() != "c") {
                scan.skipElement(c);
                continue;
            }
            Cell cell{uint16_t(previousColumn + 1), Cell::Blank, 0, 0, 0, 0};
            raw.clear();
            forEachAttribute(scan, c.attributes,
                             [&](std::string_view name, std::string_view value, std::string_view text) {
                                 if (name == "r") {
                                     cell.column = uint16_t(columnOfReference(value));
                                     if (cell.column == 0) scan.damaged("无效的单元格地址");
                                 } else if (name == "s") {
                                     bool ok = true;
                                     cell.style = toNumber(value, &ok);
                                     if (!ok) scan.damaged("不是数字的单元格格式编号");
                                 } else {
                                     raw.append(" ").append(text);
                                 }
                             });
            const size_t head = raw.size();
            raw.push_back('>');
            bool formula = false;
            if (c.kind == Tag::Start) {
                Tag inner;
                for (int depth = 0;;) {
                    if (!scan.next(inner)) scan.damaged("没有结束的单元格");
                    if (inner.kind != Tag::End && depth == 0 && inner.local() == "f") formula = true;
                    if (inner.kind == Tag::Start) ++depth;
                    if (inner.kind == Tag::End && depth-- == 0) break;
                }
                raw.append(xml.substr(c.end, inner.begin - c.end));
            }
            if (raw.size() > head + 1 || head > 0) {
                cell.kind = formula ? Cell::RawFormula : Cell::Raw;
                cell.offset = store(raw.data(), raw.size());
                cell.length = uint32_t(raw.size());
            }
            cellsSorted = cellsSorted && cell.column > previousColumn;
            previousColumn = cell.column;
            row.cells.push_back(cell);
        }
        if (!cellsSorted) {
            std::stable_sort(row.cells.begin(), row.cells.end(),
                             [](const Cell &a, const Cell &b) { return a.column < b.column; });
            auto end = std::unique(row.cells.rbegin(), row.cells.rend(),
                                   [](const Cell &a, const Cell &b) { return a.column == b.column; });
            row.cells.erase(row.cells.begin(), end.base());  // a repeated cell: the last one counts
        }
        m_cellCount += row.cells.size();
        m_rows.push_back(std::move(row));
    }
    if (!sorted) {
        std::stable_sort(m_rows.begin(), m_rows.end(), [](const Row &a, const Row &b) { return a.number < b.number; });
    }
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
    if (!m_styles.isTextFormat(cell(row, column).style) && parsePlainNumber(text, &number)) {
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

void SheetModel::merge(const CellRange &range)
{
    checkRange(range);
    if (range.rowCount() == 1 && range.columnCount() == 1) return;
    for (const CellRange &existing : m_merges) {
        if (existing.intersects(range))
            throw WorkbookError(QStringLiteral("无法合并工作表“%2”中的 %1：它与已合并的单元格 %3 重叠")
                                    .arg(range.toString(), m_name, existing.toString()));
    }
    m_merges.push_back(range);
    m_changed = true;
}

void SheetModel::setColumnWidth(int column, double characters)
{
    checkCell(1, column);
    if (!(characters >= 0 && characters <= 255))
        throw WorkbookError(QStringLiteral("列宽不能是 %1 个字符，列宽只能在 0 到 255 之间").arg(characters));
    // The file stores the width with the cell padding: 5 pixels over a digit of 7 pixels, the digit of
    // the default 11-point font, rounded down to 1/256 of a character.
    const double digit = 7, padding = 5;
    double stored;
    if (characters < 1) {
        stored = std::floor(std::floor(characters * (digit + padding) + 0.5) / digit * 256.0) / 256.0;
    } else {
        stored = std::floor((std::floor(characters * digit + 0.5) + padding) / digit * 256.0) / 256.0;
    }
    auto it = std::find_if(m_columns.begin(), m_columns.end(), [&](const ColumnSpan &s) { return s.last >= column; });
    if (it == m_columns.end() || it->first > column) {
        it = m_columns.insert(it, ColumnSpan{column, column, {}});
    } else {
        if (it->first < column) {
            ColumnSpan before = *it;
            before.last = column - 1;
            it->first = column;
            it = m_columns.insert(it, std::move(before)) + 1;
        }
        if (it->last > column) {
            ColumnSpan after = *it;
            after.first = column + 1;
            it->last = column;
            it = m_columns.insert(it + 1, std::move(after)) - 1;
        }
    }
    auto set = [&](const char *name, const QString &value) {
        for (XmlAttribute &a : it->attributes) {
            if (a.name == QLatin1String(name)) {
                a.value = value;
                return;
            }
        }
        it->attributes.push_back({QLatin1String(name), QString(), value});
    };
    set("width", QString::number(stored, 'g', 12));
    set("customWidth", QStringLiteral("1"));
    if (characters == 0) {
        set("hidden", QStringLiteral("1"));
    } else {
        it->attributes.erase(std::remove_if(it->attributes.begin(), it->attributes.end(),
                                            [](const XmlAttribute &a) { return a.name == u"hidden"; }),
                             it->attributes.end());
    }
    m_changed = true;
}

// ---------------------------------------------------------------------------------------------- writing

std::string SheetModel::write(const std::function<bool(double)> &progress) const
{
    const QString prefix = m_root.prefix();
    std::vector<XmlNode> generated;
    auto element = [&](const char *local) { return m_root.makeSibling(QLatin1String(local)); };

    XmlNode dimension = element("dimension");
    const CellRange used = usedRange();
    dimension.setAttribute(QStringLiteral("ref"), used.isEmpty() ? QStringLiteral("A1") : used.toString());
    generated.push_back(std::move(dimension));
    if (!m_columns.empty()) {
        XmlNode cols = element("cols");
        for (const ColumnSpan &span : m_columns) {
            XmlNode col = element("col");
            col.setAttribute(QStringLiteral("min"), QString::number(span.first));
            col.setAttribute(QStringLiteral("max"), QString::number(span.last));
            col.attributes.insert(col.attributes.end(), span.attributes.begin(), span.attributes.end());
            cols.children.push_back(std::move(col));
        }
        generated.push_back(std::move(cols));
    }
    if (!m_merges.empty()) {
        XmlNode merges = element("mergeCells");
        merges.setAttribute(QStringLiteral("count"), QString::number(m_merges.size()));
        for (const CellRange &range : m_merges) {
            XmlNode merge = element("mergeCell");
            merge.setAttribute(QStringLiteral("ref"), range.toString());
            merges.children.push_back(std::move(merge));
        }
        generated.push_back(std::move(merges));
    }

    // The elements in schema order: the kept ones as they were, the generated ones in their places.
    std::vector<const XmlNode *> order;
    for (const XmlNode &node : m_root.children) order.push_back(&node);
    for (const XmlNode &node : generated) {
        const int rank = rankOf(node, kMainNs);
        auto pos =
            std::find_if(order.begin(), order.end(), [&](const XmlNode *n) { return rankOf(*n, kMainNs) > rank; });
        order.insert(pos, &node);
    }

    ByteWriter out;
    out.reserve(m_arena.size() + m_cellCount * 40 + m_rows.size() * 24 + 4096);
    writeXmlDeclaration(out, m_standalone);
    for (const XmlNode &node : m_prolog) writeNode(out, node);
    writeStartTag(out, m_root, false);
    for (const XmlNode *node : order) {
        if (!node->is(kMainNs, u"sheetData")) {
            writeNode(out, *node);
            continue;
        }
        writeStartTag(out, *node, m_rows.empty());
        if (m_rows.empty()) continue;
        writeRows(out, progress);
        out.append("</");
        out.appendUtf8(node->name);
        out.append('>');
    }
    out.append("</");
    out.appendUtf8(m_root.name);
    out.append('>');
    return out.take();
}

void SheetModel::writeRows(ByteWriter &out, const std::function<bool(double)> &progress) const
{
    std::string p;
    appendUtf8(p, m_root.prefix());
    const std::string rowOpen = "<" + p + "row r=\"";
    const std::string rowClose = "</" + p + "row>";
    const std::string cellOpen = "<" + p + "c r=\"";
    const std::string cellClose = "</" + p + "c>";
    const std::string textOpen = " t=\"inlineStr\"><" + p + "is><" + p + "t>";
    const std::string textOpenPreserve = " t=\"inlineStr\"><" + p + "is><" + p + "t xml:space=\"preserve\">";
    const std::string textClose = "</" + p + "t></" + p + "is></" + p + "c>";
    const std::string valueOpen = "><" + p + "v>";
    const std::string valueClose = "</" + p + "v></" + p + "c>";
    const auto &letters = columnLetters().text;

    size_t rowsDone = 0;
    for (const Row &row : m_rows) {
        if (progress && (++rowsDone & 1023) == 0 && !progress(double(rowsDone) / double(m_rows.size())))
            throw WorkbookError(QStringLiteral("保存已取消"), true);
        char digits[12];
        const size_t digitCount = size_t(std::to_chars(digits, digits + sizeof digits, row.number).ptr - digits);
        out.append(rowOpen.data(), rowOpen.size());
        out.append(digits, digitCount);
        out.append('"');
        if (row.attributes) out.append(m_rowAttributes[row.attributes]);
        if (row.cells.empty()) {
            out.append("/>");
            continue;
        }
        out.append('>');
        for (const Cell &cell : row.cells) {
            out.append(cellOpen.data(), cellOpen.size());
            const auto &name = letters[cell.column];
            out.append(name.data(), size_t(name[3]));
            out.append(digits, digitCount);
            out.append('"');
            if (cell.style) {
                out.append(" s=\"");
                out.appendNumber(cell.style);
                out.append('"');
            }
            switch (cell.kind) {
                case Cell::Blank: out.append("/>"); break;
                case Cell::Text: {
                    const std::string &open = cell.preserveSpace ? textOpenPreserve : textOpen;
                    out.append(open.data(), open.size());
                    out.appendCellText(m_arena.data() + cell.offset, cell.length);
                    out.append(textClose.data(), textClose.size());
                    break;
                }
                case Cell::Number: {
                    char number[32];
                    const auto end = std::to_chars(number, number + sizeof number, m_numbers[cell.offset]).ptr;
                    out.append(valueOpen.data(), valueOpen.size());
                    out.append(number, size_t(end - number));
                    out.append(valueClose.data(), valueClose.size());
                    break;
                }
                case Cell::Raw:
                case Cell::RawFormula:
                    out.append(m_arena.data() + cell.offset, cell.length);
                    out.append(cellClose.data(), cellClose.size());
                    break;
            }
        }
        out.append(rowClose.data(), rowClose.size());
    }
}

}  // namespace xlsx::detail

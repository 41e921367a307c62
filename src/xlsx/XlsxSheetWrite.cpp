#include <algorithm>
#include <array>
#include <charconv>

#include "xlsx/XlsxSheet.h"

namespace xlsx::detail {

namespace {

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

}  // namespace

int worksheetChildRank(const XmlNode &node, const QString &ns)
{
    if (node.type != XmlNode::Element || node.ns != ns) return -1;
    for (size_t i = 0; i < kWorksheetOrder.size(); ++i)
        if (node.localName == QLatin1String(kWorksheetOrder[i])) return int(i);
    return -1;
}

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
        const int rank = worksheetChildRank(node, kMainNs);
        auto pos = std::find_if(order.begin(), order.end(),
                                [&](const XmlNode *n) { return worksheetChildRank(*n, kMainNs) > rank; });
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

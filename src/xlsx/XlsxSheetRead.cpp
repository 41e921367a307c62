#include <QXmlStreamReader>
#include <algorithm>
#include <charconv>
#include <cstring>

#include "xlsx/XlsxSheet.h"

namespace xlsx::detail {

namespace {

const char kEmptySheet[] =
    R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
    R"(<worksheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" )"
    R"(xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships">)"
    R"(<sheetData/><pageMargins left="0.7" right="0.7" top="0.75" bottom="0.75" header="0.3" footer="0.3"/>)"
    R"(</worksheet>)";

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
    rootChild("sheetData");  // a sheet without rows still gets its (empty) sheetData
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
        row.attributes = rowAttributesIndex(QByteArray::fromStdString(attributes));
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

}  // namespace xlsx::detail

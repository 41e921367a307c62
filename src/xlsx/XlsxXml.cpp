#include "xlsx/XlsxXml.h"

#include <QXmlStreamReader>
#include <charconv>

#include "xlsx/Workbook.h"

namespace xlsx {

void ByteWriter::appendNumber(uint32_t value)
{
    char digits[16];
    const auto result = std::to_chars(digits, digits + sizeof digits, value);
    m_data.append(digits, size_t(result.ptr - digits));
}

void appendUtf8(std::string &out, QStringView text)
{
    const char16_t *p = text.utf16();
    const char16_t *end = p + text.size();
    while (p < end) {
        // Runs of ASCII are the common case.
        const char16_t *run = p;
        while (p < end && *p < 0x80) ++p;
        if (p > run) {
            const size_t n = size_t(p - run);
            const size_t old = out.size();
            out.resize(old + n);
            char *dst = &out[old];
            for (size_t i = 0; i < n; ++i) dst[i] = char(run[i]);
        }
        if (p == end) break;
        uint32_t cp = *p++;
        if (cp >= 0xD800 && cp <= 0xDBFF && p < end && *p >= 0xDC00 && *p <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (*p++ - 0xDC00);
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;
        }
        char buf[4];
        size_t n;
        if (cp < 0x800) {
            buf[0] = char(0xC0 | (cp >> 6));
            buf[1] = char(0x80 | (cp & 0x3F));
            n = 2;
        } else if (cp < 0x10000) {
            buf[0] = char(0xE0 | (cp >> 12));
            buf[1] = char(0x80 | ((cp >> 6) & 0x3F));
            buf[2] = char(0x80 | (cp & 0x3F));
            n = 3;
        } else {
            buf[0] = char(0xF0 | (cp >> 18));
            buf[1] = char(0x80 | ((cp >> 12) & 0x3F));
            buf[2] = char(0x80 | ((cp >> 6) & 0x3F));
            buf[3] = char(0x80 | (cp & 0x3F));
            n = 4;
        }
        out.append(buf, n);
    }
}

void ByteWriter::appendUtf8(QStringView text) { xlsx::appendUtf8(m_data, text); }

namespace {

template <bool Attribute>
void appendEscaped(std::string &out, QStringView text)
{
    qsizetype start = 0;
    auto flush = [&](qsizetype end) {
        if (end > start) appendUtf8(out, text.mid(start, end - start));
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        const char *replacement = nullptr;
        switch (c) {
            case u'&': replacement = "&amp;"; break;
            case u'<': replacement = "&lt;"; break;
            case u'>': replacement = "&gt;"; break;
            case u'"': replacement = Attribute ? "&quot;" : nullptr; break;
            case u'\t': replacement = Attribute ? "&#9;" : nullptr; break;
            case u'\n': replacement = Attribute ? "&#10;" : nullptr; break;
            case u'\r': replacement = "&#13;"; break;
            default: break;
        }
        if (!replacement) continue;
        flush(i);
        out.append(replacement);
        start = i + 1;
    }
    flush(text.size());
}

// Bytes that need a look in cell text: markup characters, '_' (start of a _xHHHH_ escape), control
// characters other than tab and line feed, and 0xEF (first byte of U+FFFE and U+FFFF).
struct CellTextTable {
    bool special[256] = {};
    constexpr CellTextTable()
    {
        for (int c = 0; c < 0x20; ++c) special[c] = c != '\t' && c != '\n';
        special[int('&')] = special[int('<')] = special[int('>')] = special[int('_')] = true;
        special[0xEF] = true;
    }
};
constexpr CellTextTable kCellText;

bool isHex(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'); }

void appendHexEscape(std::string &out, unsigned value)
{
    static const char hex[] = "0123456789ABCDEF";
    const char buf[7] = {
        '_', 'x', hex[(value >> 12) & 15], hex[(value >> 8) & 15], hex[(value >> 4) & 15], hex[value & 15], '_'};
    out.append(buf, 7);
}

}  // namespace

void ByteWriter::appendText(QStringView text) { appendEscaped<false>(m_data, text); }
void ByteWriter::appendAttribute(QStringView text) { appendEscaped<true>(m_data, text); }

void ByteWriter::appendCellText(const char *s, size_t n)
{
    size_t start = 0;
    size_t i = 0;
    while (i < n) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        if (!kCellText.special[c]) {
            ++i;
            continue;
        }
        m_data.append(s + start, i - start);
        size_t used = 1;
        switch (c) {
            case '&': m_data.append("&amp;", 5); break;
            case '<': m_data.append("&lt;", 4); break;
            case '>': m_data.append("&gt;", 4); break;
            case '_':
                // A literal "_xHHHH_" would be read back as an escape: escape its underscore.
                if (i + 6 < n && s[i + 1] == 'x' && isHex(s[i + 2]) && isHex(s[i + 3]) && isHex(s[i + 4]) &&
                    isHex(s[i + 5]) && s[i + 6] == '_') {
                    appendHexEscape(m_data, '_');
                } else {
                    m_data.push_back('_');
                }
                break;
            case 0xEF:
                if (i + 2 < n && static_cast<unsigned char>(s[i + 1]) == 0xBF &&
                    (static_cast<unsigned char>(s[i + 2]) & 0xFE) == 0xBE) {
                    appendHexEscape(m_data, 0xFFFE | (static_cast<unsigned char>(s[i + 2]) & 1));
                    used = 3;
                } else {
                    m_data.push_back(char(c));
                }
                break;
            default: appendHexEscape(m_data, c); break;  // control character, carriage return included
        }
        i += used;
        start = i;
    }
    m_data.append(s + start, n - start);
}

const QString *XmlNode::attribute(QStringView qualifiedName) const
{
    for (const XmlAttribute &a : attributes)
        if (a.name == qualifiedName) return &a.value;
    return nullptr;
}

const QString *XmlNode::attribute(const QString &namespaceUri, QStringView local) const
{
    for (const XmlAttribute &a : attributes) {
        if (a.ns != namespaceUri) continue;
        const qsizetype colon = a.name.indexOf(u':');
        if (QStringView(a.name).mid(colon + 1) == local) return &a.value;
    }
    return nullptr;
}

void XmlNode::setAttribute(const QString &qualifiedName, const QString &value)
{
    for (XmlAttribute &a : attributes) {
        if (a.name == qualifiedName) {
            a.value = value;
            return;
        }
    }
    attributes.push_back({qualifiedName, QString(), value});
}

void XmlNode::removeAttribute(QStringView qualifiedName)
{
    for (auto it = attributes.begin(); it != attributes.end(); ++it) {
        if (it->name == qualifiedName) {
            attributes.erase(it);
            return;
        }
    }
}

XmlNode *XmlNode::child(const QString &namespaceUri, QStringView local)
{
    for (XmlNode &c : children)
        if (c.is(namespaceUri, local)) return &c;
    return nullptr;
}

const XmlNode *XmlNode::child(const QString &namespaceUri, QStringView local) const
{
    return const_cast<XmlNode *>(this)->child(namespaceUri, local);
}

int XmlNode::elementCount() const
{
    int n = 0;
    for (const XmlNode &c : children) n += c.type == Element ? 1 : 0;
    return n;
}

XmlNode XmlNode::makeSibling(const QString &local) const
{
    XmlNode node;
    node.localName = local;
    node.ns = ns;
    node.name = prefix() + local;
    return node;
}

void throwXmlError(const QXmlStreamReader &reader, const QString &partName)
{
    // The reader's own error texts are English; the kind of fault and its line are what a user needs.
    QString fault;
    switch (reader.error()) {
        case QXmlStreamReader::PrematureEndOfDocumentError: fault = QStringLiteral("内容不完整"); break;
        case QXmlStreamReader::UnexpectedElementError: fault = QStringLiteral("出现了不应有的元素"); break;
        default: fault = QStringLiteral("不是格式正确的 XML"); break;
    }
    throw WorkbookError(QStringLiteral("工作簿的部件 %1 已损坏：%2（第 %3 行）")
                            .arg(partName, fault, QString::number(reader.lineNumber())));
}

XmlNode readStartTag(const QXmlStreamReader &reader)
{
    XmlNode node;
    node.name = reader.qualifiedName().toString();
    node.localName = reader.name().toString();
    node.ns = reader.namespaceUri().toString();
    for (const QXmlStreamNamespaceDeclaration &decl : reader.namespaceDeclarations())
        node.namespaces.emplace_back(decl.prefix().toString(), decl.namespaceUri().toString());
    const QXmlStreamAttributes attributes = reader.attributes();
    node.attributes.reserve(size_t(attributes.size()));
    for (const QXmlStreamAttribute &a : attributes)
        node.attributes.push_back({a.qualifiedName().toString(), a.namespaceUri().toString(), a.value().toString()});
    return node;
}

XmlNode readElement(QXmlStreamReader &reader)
{
    XmlNode node = readStartTag(reader);
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
            case QXmlStreamReader::StartElement: node.children.push_back(readElement(reader)); break;
            case QXmlStreamReader::EndElement: return node;
            case QXmlStreamReader::Characters: {
                XmlNode text;
                text.type = XmlNode::Text;
                text.text = reader.text().toString();
                node.children.push_back(std::move(text));
                break;
            }
            case QXmlStreamReader::Comment: {
                XmlNode comment;
                comment.type = XmlNode::Comment;
                comment.text = reader.text().toString();
                node.children.push_back(std::move(comment));
                break;
            }
            case QXmlStreamReader::ProcessingInstruction: {
                XmlNode pi;
                pi.type = XmlNode::Instruction;
                pi.name = reader.processingInstructionTarget().toString();
                pi.text = reader.processingInstructionData().toString();
                node.children.push_back(std::move(pi));
                break;
            }
            default: break;
        }
    }
    return node;  // the caller reports the reader's error
}

XmlDocument parseXml(const QByteArray &data, const QString &partName)
{
    XmlDocument document;
    QXmlStreamReader reader(data);
    bool haveRoot = false;
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
            case QXmlStreamReader::StartDocument: document.standalone = reader.isStandaloneDocument(); break;
            case QXmlStreamReader::DTD:
                // Office parts never carry a document type; one here may declare entities.
                throw WorkbookError(
                    QStringLiteral("工作簿的部件 %1 含有文档类型声明，正常的工作簿不会有这种声明").arg(partName));
            case QXmlStreamReader::StartElement:
                document.root = readElement(reader);
                haveRoot = true;
                break;
            case QXmlStreamReader::Comment:
            case QXmlStreamReader::ProcessingInstruction:
                if (!haveRoot) {
                    XmlNode node;
                    node.type = reader.isComment() ? XmlNode::Comment : XmlNode::Instruction;
                    node.name = reader.processingInstructionTarget().toString();
                    node.text =
                        reader.isComment() ? reader.text().toString() : reader.processingInstructionData().toString();
                    document.prolog.push_back(std::move(node));
                }
                break;
            default: break;
        }
    }
    if (reader.hasError()) throwXmlError(reader, partName);
    if (!haveRoot) throw WorkbookError(QStringLiteral("工作簿的部件 %1 是空的").arg(partName));
    return document;
}

void writeStartTag(ByteWriter &out, const XmlNode &element, bool selfClosing)
{
    out.append('<');
    out.appendUtf8(element.name);
    for (const auto &[prefix, uri] : element.namespaces) {
        out.append(" xmlns");
        if (!prefix.isEmpty()) {
            out.append(':');
            out.appendUtf8(prefix);
        }
        out.append("=\"");
        out.appendAttribute(uri);
        out.append('"');
    }
    for (const XmlAttribute &a : element.attributes) {
        out.append(' ');
        out.appendUtf8(a.name);
        out.append("=\"");
        out.appendAttribute(a.value);
        out.append('"');
    }
    if (selfClosing) out.append('/');
    out.append('>');
}

void writeNode(ByteWriter &out, const XmlNode &node)
{
    switch (node.type) {
        case XmlNode::Text: out.appendText(node.text); return;
        case XmlNode::Comment:
            out.append("<!--");
            out.appendUtf8(node.text);
            out.append("-->");
            return;
        case XmlNode::Instruction:
            out.append("<?");
            out.appendUtf8(node.name);
            if (!node.text.isEmpty()) {
                out.append(' ');
                out.appendUtf8(node.text);
            }
            out.append("?>");
            return;
        case XmlNode::Element: break;
    }
    writeStartTag(out, node, node.children.empty());
    if (node.children.empty()) return;
    for (const XmlNode &child : node.children) writeNode(out, child);
    out.append("</");
    out.appendUtf8(node.name);
    out.append('>');
}

void writeXmlDeclaration(ByteWriter &out, bool standalone)
{
    out.append("<?xml version=\"1.0\" encoding=\"UTF-8\"");
    if (standalone) out.append(" standalone=\"yes\"");
    out.append("?>\r\n");
}

QByteArray writeXml(const XmlDocument &document)
{
    ByteWriter out;
    writeXmlDeclaration(out, document.standalone);
    for (const XmlNode &node : document.prolog) writeNode(out, node);
    writeNode(out, document.root);
    return QByteArray(out.data().data(), qsizetype(out.size()));
}

}  // namespace xlsx

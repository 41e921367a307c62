#pragma once

// XML plumbing of the workbook module: a byte buffer that the parts are written into, the escaping
// rules of SpreadsheetML text, and a small element tree for the parts that are read, changed and
// written back whole (content types, relationships, workbook, styles, the head and tail of a sheet).

#include <QByteArray>
#include <QString>
#include <QStringView>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

class QXmlStreamReader;

namespace xlsx {

inline const QString kMainNs = QStringLiteral("http://schemas.openxmlformats.org/spreadsheetml/2006/main");
inline const QString kRelNs = QStringLiteral("http://schemas.openxmlformats.org/officeDocument/2006/relationships");
inline const QString kPackageRelNs = QStringLiteral("http://schemas.openxmlformats.org/package/2006/relationships");

// Growable output buffer. Appends are plain memcpy; the sheet writer is built on it.
class ByteWriter {
public:
    void reserve(size_t bytes) { m_data.reserve(bytes); }
    void append(const char *data, size_t size) { m_data.append(data, size); }
    template <size_t N>
    void append(const char (&literal)[N])
    {
        m_data.append(literal, N - 1);
    }
    void append(const QByteArray &bytes) { m_data.append(bytes.constData(), size_t(bytes.size())); }
    void append(char c) { m_data.push_back(c); }
    void appendNumber(uint32_t value);
    void appendUtf8(QStringView text);
    // Element content: & < > escaped.
    void appendText(QStringView text);
    // Attribute value (without the quotes): & < > " and white space other than blanks escaped.
    void appendAttribute(QStringView text);
    // UTF-8 cell text: XML escaping plus the _xHHHH_ escapes SpreadsheetML uses for characters that
    // XML 1.0 cannot carry (control characters, U+FFFE/U+FFFF) and for a literal "_xHHHH_".
    void appendCellText(const char *utf8, size_t size);

    size_t size() const { return m_data.size(); }
    const std::string &data() const { return m_data; }
    std::string take() { return std::move(m_data); }

private:
    std::string m_data;
};

// Appends the UTF-8 form of text to out (lone surrogates become U+FFFD).
void appendUtf8(std::string &out, QStringView text);

// A node of a parsed part. Element names and attribute names are kept as written (prefix included),
// so a part comes back with the prefixes and namespace declarations it had.
struct XmlAttribute {
    QString name;  // qualified name as written
    QString ns;    // namespace URI of the attribute (empty for unprefixed attributes)
    QString value;
};

struct XmlNode {
    enum Type : uint8_t { Element, Text, Comment, Instruction };
    Type type = Element;
    QString name;                                         // element: qualified name; instruction: target
    QString ns;                                           // element: namespace URI
    QString localName;                                    // element: name without prefix
    QString text;                                         // text, comment or instruction data
    std::vector<std::pair<QString, QString>> namespaces;  // declarations made here: prefix, URI
    std::vector<XmlAttribute> attributes;
    std::vector<XmlNode> children;

    bool is(const QString &namespaceUri, QStringView local) const
    {
        return type == Element && localName == local && ns == namespaceUri;
    }
    const QString *attribute(QStringView qualifiedName) const;
    const QString *attribute(const QString &namespaceUri, QStringView local) const;
    QString value(QStringView qualifiedName) const
    {
        const QString *v = attribute(qualifiedName);
        return v ? *v : QString();
    }
    void setAttribute(const QString &qualifiedName, const QString &value);
    void removeAttribute(QStringView qualifiedName);
    XmlNode *child(const QString &namespaceUri, QStringView local);
    const XmlNode *child(const QString &namespaceUri, QStringView local) const;
    int elementCount() const;
    // The prefix of this element's name including the colon ("" or "x:").
    QString prefix() const { return name.left(name.size() - localName.size()); }
    // A new element in this element's namespace, written with the same prefix.
    XmlNode makeSibling(const QString &local) const;
};

struct XmlDocument {
    bool standalone = false;
    std::vector<XmlNode> prolog;  // comments and instructions before the root
    XmlNode root;
};

// Parses a whole part; throws WorkbookError naming the part when it is not well-formed XML.
XmlDocument parseXml(const QByteArray &data, const QString &partName);
QByteArray writeXml(const XmlDocument &document);

// Reader helpers shared with the sheet loader. The reader is on a StartElement.
XmlNode readStartTag(const QXmlStreamReader &reader);  // name, namespaces and attributes only
XmlNode readElement(QXmlStreamReader &reader);         // the whole element; returns after its end
void writeNode(ByteWriter &out, const XmlNode &node);
void writeStartTag(ByteWriter &out, const XmlNode &element, bool selfClosing);
void writeXmlDeclaration(ByteWriter &out, bool standalone);
[[noreturn]] void throwXmlError(const QXmlStreamReader &reader, const QString &partName);

}  // namespace xlsx

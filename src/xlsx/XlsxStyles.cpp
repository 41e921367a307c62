#include "xlsx/XlsxStyles.h"

#include <array>

namespace xlsx::detail {

namespace {

const char kDefaultStyles[] =
    R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
    R"(<styleSheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main">)"
    R"(<fonts count="1"><font><sz val="11"/><name val="Calibri"/><family val="2"/>)"
    R"(</font></fonts>)"
    R"(<fills count="2"><fill><patternFill patternType="none"/></fill>)"
    R"(<fill><patternFill patternType="gray125"/></fill></fills>)"
    R"(<borders count="1"><border><left/><right/><top/><bottom/><diagonal/></border></borders>)"
    R"(<cellStyleXfs count="1"><xf numFmtId="0" fontId="0" fillId="0" borderId="0"/></cellStyleXfs>)"
    R"(<cellXfs count="1"><xf numFmtId="0" fontId="0" fillId="0" borderId="0" xfId="0"/></cellXfs>)"
    R"(<cellStyles count="1"><cellStyle name="Normal" xfId="0" builtinId="0"/></cellStyles>)"
    R"(</styleSheet>)";

// Order of the children of styleSheet, for placing a collection that the part does not have yet.
const std::array<const char *, 11> kStyleSheetOrder = {"numFmts",      "fonts",   "fills",      "borders",
                                                       "cellStyleXfs", "cellXfs", "cellStyles", "dxfs",
                                                       "tableStyles",  "colors",  "extLst"};

int rankOf(const QString &localName)
{
    for (size_t i = 0; i < kStyleSheetOrder.size(); ++i)
        if (localName == QLatin1String(kStyleSheetOrder[i])) return int(i);
    return -1;
}

// Built-in number formats that do not depend on the locale.
uint32_t builtinFormat(const QString &code)
{
    static const QHash<QString, uint32_t> builtins = {
        {QStringLiteral("General"), 0}, {QStringLiteral("0"), 1},         {QStringLiteral("0.00"), 2},
        {QStringLiteral("#,##0"), 3},   {QStringLiteral("#,##0.00"), 4},  {QStringLiteral("0%"), 9},
        {QStringLiteral("0.00%"), 10},  {QStringLiteral("0.00E+00"), 11}, {QStringLiteral("@"), 49},
    };
    return builtins.value(code, UINT32_MAX);
}

QByteArray keyOf(const XmlNode &node)
{
    ByteWriter out;
    writeNode(out, node);
    return QByteArray(out.data().data(), qsizetype(out.size()));
}

uint32_t indexAttribute(const XmlNode &node, QStringView name)
{
    bool ok = false;
    const uint32_t value = node.value(name).toUInt(&ok);
    return ok ? value : 0;
}

XmlNode &collection(XmlNode &sheet, const QString &local)
{
    if (XmlNode *existing = sheet.child(sheet.ns, local)) return *existing;
    const int rank = rankOf(local);
    auto pos = sheet.children.begin();
    for (; pos != sheet.children.end(); ++pos) {
        if (pos->type == XmlNode::Element && pos->ns == sheet.ns && rankOf(pos->localName) > rank) break;
    }
    return *sheet.children.insert(pos, sheet.makeSibling(local));
}

void setChildAttribute(XmlNode &parent, const QString &local, const QString &attribute, const QString &value,
                       bool first)
{
    XmlNode *child = parent.child(parent.ns, local);
    if (!child) {
        child = &*parent.children.insert(first ? parent.children.begin() : parent.children.end(),
                                         parent.makeSibling(local));
    }
    child->setAttribute(attribute, value);
}

QString horizontalName(uint32_t code)
{
    static const char *names[] = {"general", "left",    "center",           "right",
                                  "fill",    "justify", "centerContinuous", "distributed"};
    return QLatin1String(names[code - 1]);
}

QString verticalName(uint32_t code)
{
    static const char *names[] = {"top", "center", "bottom", "justify", "distributed"};
    return QLatin1String(names[code - 1]);
}

}  // namespace

Styles::Styles(const QByteArray &xml, const QString &partName)
    : m_doc(parseXml(xml.isEmpty() ? QByteArray(kDefaultStyles) : xml, partName))
{
    m_changed = xml.isEmpty();
    const XmlNode &root = m_doc.root;
    if (!root.is(kMainNs, u"styleSheet"))
        throw WorkbookError(QStringLiteral("工作簿的部件 %1 不是样式表").arg(partName));
    auto collect = [&](QStringView listName, std::vector<const XmlNode *> &entries,
                       QHash<QByteArray, uint32_t> &index) {
        if (const XmlNode *list = root.child(kMainNs, listName)) {
            for (const XmlNode &entry : list->children) {
                if (entry.type != XmlNode::Element) continue;
                index.insert(keyOf(entry), uint32_t(entries.size()));  // later duplicates keep the first
                entries.push_back(&entry);
            }
        }
    };
    collect(u"fonts", m_fonts, m_fontIndex);
    collect(u"borders", m_borders, m_borderIndex);
    collect(u"cellXfs", m_xfs, m_xfIndex);
    if (const XmlNode *formats = root.child(kMainNs, u"numFmts")) {
        for (const XmlNode &f : formats->children) {
            if (!f.is(kMainNs, u"numFmt")) continue;
            const uint32_t id = indexAttribute(f, u"numFmtId");
            const QString code = f.value(u"formatCode");
            if (!m_formatIds.contains(code)) m_formatIds.insert(code, id);
            m_formatCodes.insert(id, code);
            m_nextFormatId = std::max(m_nextFormatId, id + 1);
        }
    }
}

const XmlNode &Styles::xf(uint32_t index) const
{
    if (index < m_xfs.size()) return *m_xfs[index];
    if (index - m_xfs.size() < m_newXfs.size()) return m_newXfs[index - m_xfs.size()];
    return m_xfs.empty() ? m_empty : *m_xfs[0];  // an index beyond the list counts as the default format
}

const XmlNode &Styles::font(uint32_t index) const
{
    if (index < m_fonts.size()) return *m_fonts[index];
    if (index - m_fonts.size() < m_newFonts.size()) return m_newFonts[index - m_fonts.size()];
    return m_empty;
}

const XmlNode &Styles::border(uint32_t index) const
{
    if (index < m_borders.size()) return *m_borders[index];
    if (index - m_borders.size() < m_newBorders.size()) return m_newBorders[index - m_borders.size()];
    return m_empty;
}

uint32_t Styles::numberFormatId(const QString &formatCode)
{
    const uint32_t builtin = builtinFormat(formatCode);
    if (builtin != UINT32_MAX) return builtin;
    auto it = m_formatIds.constFind(formatCode);
    if (it != m_formatIds.constEnd()) return it.value();
    if (formatCode.isEmpty() || formatCode.size() > 255)
        throw WorkbookError(QStringLiteral("“%1”不是有效的数字格式").arg(formatCode.left(40)));
    const uint32_t id = m_nextFormatId++;
    m_formatIds.insert(formatCode, id);
    m_formatCodes.insert(id, formatCode);
    m_newFormats.emplace_back(id, formatCode);
    m_changed = true;
    return id;
}

uint32_t Styles::fontSizeValue(double points)
{
    if (!(points >= 1 && points <= 409))
        throw WorkbookError(QStringLiteral("字号不能是 %1 磅，字号只能在 1 到 409 磅之间").arg(points));
    for (size_t i = 0; i < m_fontSizes.size(); ++i)
        if (m_fontSizes[i] == points) return uint32_t(i);
    m_fontSizes.push_back(points);
    return uint32_t(m_fontSizes.size() - 1);
}

uint32_t Styles::intern(const XmlNode &node, std::vector<const XmlNode *> &existing, std::vector<XmlNode> &added,
                        QHash<QByteArray, uint32_t> &index)
{
    const QByteArray key = keyOf(node);
    auto it = index.constFind(key);
    if (it != index.constEnd()) return it.value();
    const uint32_t position = uint32_t(existing.size() + added.size());
    added.push_back(node);
    index.insert(key, position);
    m_changed = true;
    return position;
}

XmlNode Styles::derive(StyleChange change, const XmlNode &base)
{
    XmlNode result = base;
    if (result.name.isEmpty()) result = m_doc.root.makeSibling(QStringLiteral("xf"));
    switch (change.kind) {
        case StyleChange::NumberFormat:
            result.setAttribute(QStringLiteral("numFmtId"), QString::number(change.value));
            result.setAttribute(QStringLiteral("applyNumberFormat"), QStringLiteral("1"));
            break;
        case StyleChange::Horizontal:
        case StyleChange::Vertical: {
            const bool horizontal = change.kind == StyleChange::Horizontal;
            setChildAttribute(result, QStringLiteral("alignment"),
                              horizontal ? QStringLiteral("horizontal") : QStringLiteral("vertical"),
                              horizontal ? horizontalName(change.value) : verticalName(change.value), true);
            result.setAttribute(QStringLiteral("applyAlignment"), QStringLiteral("1"));
            break;
        }
        case StyleChange::ThinBorders: {
            const XmlNode &old = border(indexAttribute(base, u"borderId"));
            XmlNode lines = old.name.isEmpty() ? m_doc.root.makeSibling(QStringLiteral("border")) : old;
            lines.children.clear();
            // Sequence of CT_Border: left, right, top, bottom, diagonal, vertical, horizontal.
            for (const char *edge : {"left", "right", "top", "bottom"}) {
                XmlNode line = lines.makeSibling(QLatin1String(edge));
                line.setAttribute(QStringLiteral("style"), QStringLiteral("thin"));
                XmlNode color = lines.makeSibling(QStringLiteral("color"));
                color.setAttribute(QStringLiteral("indexed"), QStringLiteral("64"));  // automatic
                line.children.push_back(std::move(color));
                lines.children.push_back(std::move(line));
            }
            bool haveDiagonal = false;
            for (const XmlNode &c : old.children) {
                if (c.ns == old.ns &&
                    (c.localName == u"diagonal" || c.localName == u"vertical" || c.localName == u"horizontal")) {
                    haveDiagonal = haveDiagonal || c.localName == u"diagonal";
                    lines.children.push_back(c);
                }
            }
            if (!haveDiagonal) lines.children.insert(lines.children.begin() + 4, lines.makeSibling("diagonal"));
            const uint32_t id = intern(lines, m_borders, m_newBorders, m_borderIndex);
            result.setAttribute(QStringLiteral("borderId"), QString::number(id));
            result.setAttribute(QStringLiteral("applyBorder"), QStringLiteral("1"));
            break;
        }
        case StyleChange::FontSize: {
            const XmlNode &old = font(indexAttribute(base, u"fontId"));
            XmlNode changed = old.name.isEmpty() ? m_doc.root.makeSibling(QStringLiteral("font")) : old;
            const QString size = QString::number(m_fontSizes[change.value], 'g', 6);
            XmlNode *sz = changed.child(changed.ns, u"sz");
            if (!sz) {
                // Keep the usual place of sz: before color, name and the rest.
                auto pos = changed.children.begin();
                while (pos != changed.children.end() && pos->type == XmlNode::Element &&
                       (pos->localName == u"b" || pos->localName == u"i" || pos->localName == u"strike" ||
                        pos->localName == u"condense" || pos->localName == u"extend" || pos->localName == u"outline" ||
                        pos->localName == u"shadow" || pos->localName == u"u" || pos->localName == u"vertAlign"))
                    ++pos;
                sz = &*changed.children.insert(pos, changed.makeSibling(QStringLiteral("sz")));
            }
            sz->setAttribute(QStringLiteral("val"), size);
            const uint32_t id = intern(changed, m_fonts, m_newFonts, m_fontIndex);
            result.setAttribute(QStringLiteral("fontId"), QString::number(id));
            result.setAttribute(QStringLiteral("applyFont"), QStringLiteral("1"));
            break;
        }
    }
    return result;
}

uint32_t Styles::apply(StyleChange change, uint32_t style)
{
    const uint64_t key = (uint64_t(change.kind) << 56) | (uint64_t(change.value) << 32) | style;
    auto it = m_applied.find(key);
    if (it != m_applied.end()) return it->second;
    const uint32_t result = intern(derive(change, xf(style)), m_xfs, m_newXfs, m_xfIndex);
    m_applied.emplace(key, result);
    return result;
}

bool Styles::isTextFormat(uint32_t style)
{
    if (style >= m_textFormat.size()) m_textFormat.resize(style + 1, -1);
    int8_t &known = m_textFormat[style];
    if (known < 0) {
        const uint32_t id = indexAttribute(xf(style), u"numFmtId");
        known = id == 49 || m_formatCodes.value(id) == QLatin1String("@") ? 1 : 0;
    }
    return known == 1;
}

QByteArray Styles::write() const
{
    XmlDocument doc = m_doc;
    XmlNode &root = doc.root;
    auto append = [&](const QString &listName, const std::vector<XmlNode> &added) {
        if (added.empty()) return;
        XmlNode &list = collection(root, listName);
        list.children.insert(list.children.end(), added.begin(), added.end());
        list.setAttribute(QStringLiteral("count"), QString::number(list.elementCount()));
    };
    if (!m_newFormats.empty()) {
        std::vector<XmlNode> formats;
        for (const auto &[id, code] : m_newFormats) {
            XmlNode f = root.makeSibling(QStringLiteral("numFmt"));
            f.setAttribute(QStringLiteral("numFmtId"), QString::number(id));
            f.setAttribute(QStringLiteral("formatCode"), code);
            formats.push_back(std::move(f));
        }
        append(QStringLiteral("numFmts"), formats);
    }
    append(QStringLiteral("fonts"), m_newFonts);
    append(QStringLiteral("borders"), m_newBorders);
    append(QStringLiteral("cellXfs"), m_newXfs);
    return writeXml(doc);
}

}  // namespace xlsx::detail

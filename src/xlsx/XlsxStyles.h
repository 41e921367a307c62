#pragma once

#include <QHash>
#include <QString>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "xlsx/Workbook.h"
#include "xlsx/XlsxXml.h"

namespace xlsx::detail {

// One change of a cell format: the property and its value (number format id, alignment code,
// font size index). Applying it to a format index gives the index of the changed format.
struct StyleChange {
    enum Kind : uint8_t { NumberFormat, Horizontal, Vertical, ThinBorders, FontSize };
    Kind kind;
    uint32_t value;
};

// styles.xml. The existing fonts, borders, number formats and cell formats (cellXfs) are never
// changed or renumbered: a new combination is appended after them, so every style index in the
// workbook keeps its meaning. Identical entries are shared.
class Styles {
public:
    // An empty data array gives the minimal styles of a new workbook.
    Styles(const QByteArray &xml, const QString &partName);

    uint32_t numberFormatId(const QString &formatCode);
    uint32_t fontSizeValue(double points);
    uint32_t apply(StyleChange change, uint32_t style);
    bool isTextFormat(uint32_t style);

    bool isChanged() const { return m_changed; }
    QByteArray write() const;
    void markSaved() { m_changed = false; }

private:
    const XmlNode &xf(uint32_t index) const;
    const XmlNode &font(uint32_t index) const;
    const XmlNode &border(uint32_t index) const;
    uint32_t intern(const XmlNode &node, std::vector<const XmlNode *> &existing, std::vector<XmlNode> &added,
                    QHash<QByteArray, uint32_t> &index);
    XmlNode derive(StyleChange change, const XmlNode &base);

    XmlDocument m_doc;
    std::vector<const XmlNode *> m_fonts, m_borders, m_xfs;  // entries of m_doc, in order
    std::vector<XmlNode> m_newFonts, m_newBorders, m_newXfs;
    QHash<QByteArray, uint32_t> m_fontIndex, m_borderIndex, m_xfIndex;
    QHash<QString, uint32_t> m_formatIds;    // custom formats, existing and new
    QHash<uint32_t, QString> m_formatCodes;  // the reverse, for isTextFormat
    std::vector<std::pair<uint32_t, QString>> m_newFormats;
    uint32_t m_nextFormatId = 164;
    std::vector<double> m_fontSizes;
    std::unordered_map<uint64_t, uint32_t> m_applied;  // (change, style) -> style
    std::vector<int8_t> m_textFormat;                  // per style: -1 unknown, 0 no, 1 yes
    XmlNode m_empty;
    bool m_changed = false;
};

}  // namespace xlsx::detail

#include <algorithm>
#include <cmath>

#include "xlsx/XlsxSheet.h"

// The layout of a sheet: merges, column widths, row heights, printing and the selected tab; and the
// measure that callers fit widths with.

namespace xlsx {

namespace {

bool isWide(char32_t c)
{
    return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) || (c >= 0xAC00 && c <= 0xD7A3) ||
           (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
           (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x20000 && c <= 0x3FFFD);
}

}  // namespace

double textWidth(QStringView text, double points)
{
    // A digit of the 11-point default font is 7 pixels wide; an East Asian character is one em, which
    // is 4/3 pixels per point. Capitals and m, w, @, % are wider than a digit; counting them as 1.3
    // digits errs on the wide side, as a fitted column should.
    const double digit = points / 11.0, wide = points * 4.0 / 3.0 / 7.0;
    double width = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        char32_t c = text[i].unicode();
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            c = QChar::surrogateToUcs4(text[i], text[i + 1]);
            ++i;
        }
        if (isWide(c)) {
            width += wide;
        } else if ((c >= 'A' && c <= 'Z') || c == 'm' || c == 'w' || c == '@' || c == '%') {
            width += 1.3 * digit;
        } else if (c >= 0x80) {
            width += 1.2 * digit;
        } else {
            width += digit;
        }
    }
    return width;
}

}  // namespace xlsx

namespace xlsx::detail {

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
    if (!(characters >= 0))
        throw WorkbookError(
            QStringLiteral("列宽不能是 %1 个字符，列宽只能在 0 到 %2 之间").arg(characters).arg(kMaxColumnWidth));
    // A column cannot be wider; a longer text is cut off at the edge rather than refused.
    characters = std::min(characters, kMaxColumnWidth);
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

// ---------------------------------------------------------------------------------------------- rows

namespace {

// The attributes of a row as written (" ht=\"30\" customHeight=\"1\" ..."), without the named ones.
QByteArray withoutAttributes(const QByteArray &attributes, std::initializer_list<const char *> names)
{
    QByteArray kept;
    qsizetype p = 0;
    while (p < attributes.size()) {
        while (p < attributes.size() && attributes[p] == ' ') ++p;
        if (p >= attributes.size()) break;
        const qsizetype start = p;
        while (p < attributes.size() && attributes[p] != '=' && attributes[p] != ' ') ++p;
        const QByteArray name = attributes.mid(start, p - start);
        while (p < attributes.size() && attributes[p] != '"' && attributes[p] != '\'') ++p;
        if (p >= attributes.size()) break;
        const qsizetype close = attributes.indexOf(attributes[p], p + 1);
        p = close < 0 ? attributes.size() : close + 1;
        if (std::none_of(names.begin(), names.end(), [&](const char *n) { return name == n; }))
            kept.append(' ').append(attributes.mid(start, p - start));
    }
    return kept;
}

// The value of a named attribute in a row's attribute text, or an empty array.
QByteArray attributeValue(const QByteArray &attributes, const char *name)
{
    const QByteArray key = QByteArray(" ") + name + "=\"";
    const qsizetype at = attributes.indexOf(key);
    if (at < 0) return QByteArray();
    const qsizetype start = at + key.size();
    return attributes.mid(start, attributes.indexOf('"', start) - start);
}

}  // namespace

uint32_t SheetModel::rowAttributesIndex(const QByteArray &attributes)
{
    if (attributes.isEmpty()) return 0;
    auto it = m_rowAttributeIndex.constFind(attributes);
    if (it == m_rowAttributeIndex.constEnd()) {
        it = m_rowAttributeIndex.insert(attributes, uint32_t(m_rowAttributes.size()));
        m_rowAttributes.push_back(attributes);
    }
    return it.value();
}

void SheetModel::dropRowHeight(Row &row)
{
    if (!row.attributes) return;
    const QByteArray &attributes = m_rowAttributes[row.attributes];
    if (attributes.contains(" customHeight=") || attributes.contains(" ht="))
        row.attributes = rowAttributesIndex(withoutAttributes(attributes, {"ht", "customHeight"}));
}

void SheetModel::setRowHeight(int number, double points)
{
    checkCell(number, 1);
    if (!(points >= 0))
        throw WorkbookError(
            QStringLiteral("行高不能是 %1 磅，行高只能在 0 到 %2 磅之间").arg(points).arg(kMaxRowHeight));
    points = std::min(points, kMaxRowHeight);
    Row &r = row(uint32_t(number));
    const QByteArray kept = withoutAttributes(m_rowAttributes[r.attributes], {"ht", "customHeight"});
    r.attributes = rowAttributesIndex(" ht=\"" + QByteArray::number(points, 'g', 12) + "\" customHeight=\"1\"" + kept);
}

double SheetModel::rowHeight(int number) const
{
    auto it = std::lower_bound(m_rows.begin(), m_rows.end(), uint32_t(number),
                               [](const Row &r, uint32_t n) { return r.number < n; });
    if (it == m_rows.end() || it->number != uint32_t(number) || !it->attributes) return 0;
    const QByteArray &attributes = m_rowAttributes[it->attributes];
    const QByteArray custom = attributeValue(attributes, "customHeight");
    if (custom != "1" && custom != "true") return 0;
    return attributeValue(attributes, "ht").toDouble();
}

// ---------------------------------------------------------------------------------------------- printing

XmlNode &SheetModel::rootChild(const char *local)
{
    XmlNode *found = m_root.child(kMainNs, QString::fromLatin1(local));
    if (found) return *found;
    XmlNode created = m_root.makeSibling(QLatin1String(local));
    const int rank = worksheetChildRank(created, kMainNs);
    auto pos = std::find_if(m_root.children.begin(), m_root.children.end(),
                            [&](const XmlNode &n) { return worksheetChildRank(n, kMainNs) > rank; });
    return *m_root.children.insert(pos, std::move(created));
}

void SheetModel::fitToPageWidth(bool landscape)
{
    XmlNode &properties = rootChild("sheetPr");
    XmlNode *fit = properties.child(kMainNs, u"pageSetUpPr");
    if (!fit) {  // the last child of sheetPr
        properties.children.push_back(properties.makeSibling(QStringLiteral("pageSetUpPr")));
        fit = &properties.children.back();
    }
    fit->setAttribute(QStringLiteral("fitToPage"), QStringLiteral("1"));
    XmlNode &setup = rootChild("pageSetup");
    setup.setAttribute(QStringLiteral("fitToWidth"), QStringLiteral("1"));
    setup.setAttribute(QStringLiteral("fitToHeight"), QStringLiteral("0"));  // as many pages as it takes
    if (landscape && !setup.attribute(u"orientation"))
        setup.setAttribute(QStringLiteral("orientation"), QStringLiteral("landscape"));
    m_changed = true;
}

// ---------------------------------------------------------------------------------------------- tabs

void SheetModel::setTabSelected(bool selected)
{
    XmlNode *views = m_root.child(kMainNs, u"sheetViews");
    if (!views) {
        if (!selected) return;
        views = &rootChild("sheetViews");
        XmlNode view = m_root.makeSibling(QStringLiteral("sheetView"));
        view.setAttribute(QStringLiteral("workbookViewId"), QStringLiteral("0"));
        views->children.push_back(std::move(view));
    }
    bool first = true;
    for (XmlNode &view : views->children) {
        if (!view.is(kMainNs, u"sheetView")) continue;
        const bool wanted = selected && first;
        first = false;
        const QString *now = view.attribute(u"tabSelected");
        const bool is = now && (*now == u"1" || *now == u"true");
        if (is == wanted) continue;
        if (wanted) {
            view.setAttribute(QStringLiteral("tabSelected"), QStringLiteral("1"));
        } else {
            view.removeAttribute(u"tabSelected");
        }
        m_changed = true;
    }
}

}  // namespace xlsx::detail

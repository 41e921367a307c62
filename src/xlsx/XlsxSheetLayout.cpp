#include <algorithm>
#include <cmath>

#include "xlsx/XlsxSheet.h"

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

}  // namespace xlsx::detail

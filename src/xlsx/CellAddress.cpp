#include <algorithm>

#include "xlsx/Workbook.h"

namespace xlsx {

WorkbookError::WorkbookError(QString message, bool cancelled)
    : m_message(std::move(message)), m_utf8(m_message.toUtf8()), m_cancelled(cancelled)
{
}

QString columnName(int column)
{
    if (column < 1 || column > kMaxColumns) return QString();
    QString name;
    for (int c = column; c > 0; c = (c - 1) / 26) name.prepend(QChar(u'A' + (c - 1) % 26));
    return name;
}

int columnNumber(QStringView letters)
{
    if (letters.isEmpty() || letters.size() > 3) return 0;
    int number = 0;
    for (QChar ch : letters) {
        const char16_t c = ch.toUpper().unicode();
        if (c < u'A' || c > u'Z') return 0;
        number = number * 26 + (c - u'A' + 1);
    }
    return number <= kMaxColumns ? number : 0;
}

QString cellName(int row, int column)
{
    if (row < 1 || row > kMaxRows) return QString();
    const QString letters = columnName(column);
    return letters.isEmpty() ? QString() : letters + QString::number(row);
}

bool parseCellName(QStringView name, int *row, int *column)
{
    qsizetype i = 0;
    if (i < name.size() && name[i] == u'$') ++i;
    const qsizetype lettersStart = i;
    while (i < name.size() && name[i].isLetter()) ++i;
    const int c = columnNumber(name.mid(lettersStart, i - lettersStart));
    if (i < name.size() && name[i] == u'$') ++i;
    const qsizetype digitsStart = i;
    qint64 r = 0;
    for (; i < name.size() && name[i] >= u'0' && name[i] <= u'9' && r <= kMaxRows; ++i)
        r = r * 10 + (name[i].unicode() - u'0');
    if (c == 0 || i == digitsStart || i != name.size() || r < 1 || r > kMaxRows) return false;
    *row = int(r);
    *column = c;
    return true;
}

CellRange CellRange::fromString(QStringView text, bool *ok)
{
    const qsizetype colon = text.indexOf(u':');
    int r1 = 0, c1 = 0, r2 = 0, c2 = 0;
    bool good = parseCellName(colon < 0 ? text : text.left(colon), &r1, &c1);
    if (good && colon >= 0) {
        good = parseCellName(text.mid(colon + 1), &r2, &c2);
    } else {
        r2 = r1;
        c2 = c1;
    }
    if (ok) *ok = good;
    if (!good) return CellRange();
    return CellRange(std::min(r1, r2), std::min(c1, c2), std::max(r1, r2), std::max(c1, c2));
}

bool CellRange::isValid() const
{
    return !isEmpty() && firstRow >= 1 && lastRow <= kMaxRows && firstColumn >= 1 && lastColumn <= kMaxColumns;
}

bool CellRange::intersects(const CellRange &o) const
{
    return !isEmpty() && !o.isEmpty() && o.firstRow <= lastRow && o.lastRow >= firstRow &&
           o.firstColumn <= lastColumn && o.lastColumn >= firstColumn;
}

QString CellRange::toString() const
{
    if (isEmpty()) return QString();
    const QString first = cellName(firstRow, firstColumn);
    if (rowCount() == 1 && columnCount() == 1) return first;
    return first + QLatin1Char(':') + cellName(lastRow, lastColumn);
}

HAlign horizontalAlignment(int code)
{
    switch (code) {
        case -4131: return HAlign::Left;
        case -4108: return HAlign::Center;
        case -4152: return HAlign::Right;
        case -4130: return HAlign::Justify;
        case -4117: return HAlign::Distributed;
        default:
            if (code >= 1 && code <= 8) return HAlign(code);
            throw WorkbookError(QStringLiteral("%1 不是有效的水平对齐方式代码").arg(code));
    }
}

VAlign verticalAlignment(int code)
{
    switch (code) {
        case -4160: return VAlign::Top;
        case -4108: return VAlign::Center;
        case -4107: return VAlign::Bottom;
        case -4130: return VAlign::Justify;
        case -4117: return VAlign::Distributed;
        default:
            if (code >= 1 && code <= 5) return VAlign(code);
            throw WorkbookError(QStringLiteral("%1 不是有效的垂直对齐方式代码").arg(code));
    }
}

}  // namespace xlsx

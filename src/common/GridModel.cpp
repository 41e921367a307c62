#include "GridModel.h"

#include <QFontMetrics>

#include "Twips.h"

TextWidth::TextWidth(const QFont &font) : m_font(font), m_advance(65536, -1) {}

int TextWidth::of(QStringView text) const
{
    int width = 0;
    QFontMetrics metrics(m_font);
    for (QChar c : text) {
        int &advance = m_advance[c.unicode()];
        if (advance < 0) advance = metrics.horizontalAdvance(c);
        width += advance;
    }
    return width;
}

GridModel::GridModel(QObject *parent) : QAbstractTableModel(parent) {}

void GridModel::setColumnCount(int columns)
{
    beginResetModel();
    m_columns = columns;
    for (QStringList &row : m_header) {
        while (row.size() < columns) row << QString();
        while (row.size() > columns) row.removeLast();
    }
    m_widths.resize(columns);
    m_alignments.resize(columns);
    m_fixedAlignments.resize(columns);
    m_numberFormats.resize(columns);
    dropRows();
    endResetModel();
    emit columnsChanged();
}

void GridModel::setFormatString(const QString &format, const QFont &font)
{
    const QStringList pieces = format.split(QLatin1Char('|'));
    m_header = {QStringList()};
    m_widths.clear();
    m_alignments.clear();
    m_fixedAlignments.clear();
    m_numberFormats.clear();
    m_columns = 0;
    setColumnCount(pieces.size());
    const TextWidth width(font);
    for (int c = 0; c < pieces.size(); ++c) {
        QString piece = pieces.at(c);
        int code = 9;
        if (!piece.isEmpty()) {
            const QChar mark = piece.at(0);
            if (mark == QLatin1Char('<')) code = 1;
            else if (mark == QLatin1Char('^')) code = 4;
            else if (mark == QLatin1Char('>')) code = 7;
            if (code != 9) piece.remove(0, 1);
        }
        m_alignments[c] = code;
        m_fixedAlignments[c] = code == 9 ? 4 : code;
        m_header[0][c] = piece.trimmed();
        m_widths[c] = Twips::fromPixels(width.of(piece)) + 90;
    }
    emit headerDataChanged(Qt::Horizontal, 0, qMax(0, m_columns - 1));
    for (int c = 0; c < m_columns; ++c) emit widthChanged(c);
}

void GridModel::setFixedRows(int rows)
{
    rows = qMax(1, rows);
    while (m_header.size() < rows) m_header.append(QStringList(QVector<QString>(m_columns)));
    while (m_header.size() > rows) m_header.removeLast();
}

QString GridModel::headerText(int column, int headerRow) const
{
    if (headerRow < 0 || headerRow >= m_header.size()) return QString();
    return m_header.at(headerRow).value(column);
}

void GridModel::setHeaderText(int column, const QString &text, int headerRow)
{
    if (column < 0 || column >= m_columns || headerRow < 0) return;
    setFixedRows(qMax(fixedRows(), headerRow + 1));
    m_header[headerRow][column] = text;
    if (headerRow == 0) emit headerDataChanged(Qt::Horizontal, column, column);
}

void GridModel::setWidthTwips(int column, int twips)
{
    if (column < 0 || column >= m_columns || m_widths[column] == twips) return;
    m_widths[column] = twips;
    emit widthChanged(column);
}

void GridModel::setAlignment(int column, int code)
{
    if (column < 0 || column >= m_columns) return;
    m_alignments[column] = code;
    if (m_rowCount > 0) emit dataChanged(index(0, column), index(m_rowCount - 1, column), {Qt::TextAlignmentRole});
}

void GridModel::setFixedAlignment(int column, int code)
{
    if (column < 0 || column >= m_columns) return;
    m_fixedAlignments[column] = code;
}

void GridModel::setNumberFormat(int column, const QString &format)
{
    if (column < 0 || column >= m_columns) return;
    m_numberFormats[column] = format;
}

void GridModel::clearRows()
{
    beginResetModel();
    dropRows();
    endResetModel();
}

void GridModel::dropRows()
{
    m_rowCount = 0;
    m_rowText.clear();
    m_cellEnds.clear();
    m_rowBack.clear();
    m_rowFore.clear();
    m_cellStyles.clear();
}

void GridModel::appendUnchecked(const QString *cells, int count)
{
    count = qMin(count, m_columns);
    qsizetype length = 0;
    for (int c = 0; c < count; ++c) length += cells[c].size();
    QString joined;
    joined.reserve(length);
    for (int c = 0; c < count; ++c) {
        joined += cells[c];
        m_cellEnds.append(int(joined.size()));
    }
    for (int c = count; c < m_columns; ++c) m_cellEnds.append(int(joined.size()));
    m_rowText.append(std::move(joined));
    m_rowBack.append(0);
    m_rowFore.append(0);
    ++m_rowCount;
}

int GridModel::appendRow(const QStringList &cells)
{
    beginInsertRows(QModelIndex(), m_rowCount, m_rowCount);
    appendUnchecked(cells.constData(), int(cells.size()));
    endInsertRows();
    return m_rowCount - 1;
}

GridModel::Bulk::Bulk(GridModel &model, BulkMode mode) : m_model(model)
{
    m_model.beginResetModel();
    if (mode == ReplaceRows) m_model.dropRows();
    m_first = m_model.m_rowCount;
    m_model.m_bulk = true;
}

GridModel::Bulk::~Bulk()
{
    m_model.m_bulk = false;
    m_model.endResetModel();
}

int GridModel::Bulk::append(const QString *cells, int count)
{
    m_model.appendUnchecked(cells, count);
    return m_model.m_rowCount - 1;
}

void GridModel::removeDataRow(int row)
{
    if (row < 0 || row >= m_rowCount) return;
    beginRemoveRows(QModelIndex(), row, row);
    m_rowText.remove(row);
    m_cellEnds.remove(row * m_columns, m_columns);
    m_rowBack.remove(row);
    m_rowFore.remove(row);
    --m_rowCount;
    if (!m_cellStyles.isEmpty()) {
        QHash<qint64, CellStyle> moved;
        for (auto it = m_cellStyles.cbegin(); it != m_cellStyles.cend(); ++it) {
            const int r = int(it.key() >> 20);
            const int c = int(it.key() & 0xFFFFF);
            if (r < row) moved.insert(it.key(), it.value());
            else if (r > row) moved.insert(key(r - 1, c), it.value());
        }
        m_cellStyles = moved;
    }
    endRemoveRows();
}

int GridModel::cellStart(int row, int column) const
{
    return column == 0 ? 0 : m_cellEnds.at(row * m_columns + column - 1);
}

QString GridModel::text(int row, int column) const
{
    if (row < 0 || row >= m_rowCount || column < 0 || column >= m_columns) return QString();
    const int start = cellStart(row, column);
    return m_rowText.at(row).mid(start, m_cellEnds.at(row * m_columns + column) - start);
}

QStringList GridModel::rowTexts(int row) const
{
    QStringList cells;
    for (int c = 0; c < m_columns; ++c) cells << text(row, c);
    return cells;
}

void GridModel::setText(int row, int column, const QString &value)
{
    if (row < 0 || row >= m_rowCount || column < 0 || column >= m_columns) return;
    QStringList cells = rowTexts(row);
    cells[column] = value;
    QString joined;
    for (int c = 0; c < m_columns; ++c) {
        joined += cells.at(c);
        m_cellEnds[row * m_columns + c] = int(joined.size());
    }
    m_rowText[row] = joined;
    if (!m_bulk) emit dataChanged(index(row, column), index(row, column), {Qt::DisplayRole});
}

void GridModel::setRowBackground(int row, const QColor &color)
{
    if (row < 0 || row >= m_rowCount) return;
    m_rowBack[row] = color.isValid() ? color.rgba() : 0;
    if (!m_bulk && m_columns > 0) emit dataChanged(index(row, 0), index(row, m_columns - 1), {Qt::BackgroundRole});
}

QColor GridModel::rowBackground(int row) const
{
    if (row < 0 || row >= m_rowCount || qAlpha(m_rowBack.at(row)) == 0) return QColor();
    return QColor::fromRgba(m_rowBack.at(row));
}

void GridModel::setRowForeground(int row, const QColor &color)
{
    if (row < 0 || row >= m_rowCount) return;
    m_rowFore[row] = color.isValid() ? color.rgba() : 0;
    if (!m_bulk && m_columns > 0) emit dataChanged(index(row, 0), index(row, m_columns - 1), {Qt::ForegroundRole});
}

void GridModel::setCellStyle(int row, int column, const QColor &foreground, bool bold)
{
    if (row < 0 || row >= m_rowCount || column < 0 || column >= m_columns) return;
    m_cellStyles.insert(key(row, column), CellStyle{foreground.rgba(), bold});
    if (!m_bulk) emit dataChanged(index(row, column), index(row, column), {Qt::ForegroundRole, Qt::FontRole});
}

QString GridModel::gridText(int gridRow, int column) const
{
    if (gridRow < fixedRows()) return headerText(column, gridRow);
    return text(gridRow - fixedRows(), column);
}

void GridModel::growWidthsToFit(const QFont &font, int marginTwips, int fromRow)
{
    const TextWidth width(font);
    QVector<int> widest(m_columns, 0);
    for (int r = qMax(0, fromRow); r < m_rowCount; ++r) {
        const QString &row = m_rowText.at(r);
        int start = 0;
        for (int c = 0; c < m_columns; ++c) {
            const int end = m_cellEnds.at(r * m_columns + c);
            if (end > start) widest[c] = qMax(widest[c], width.of(QStringView(row).mid(start, end - start)));
            start = end;
        }
    }
    for (int c = 0; c < m_columns; ++c) growWidth(c, widest[c], marginTwips);
}

void GridModel::growWidthsToFit(const QFont &font, int marginTwips, const QVector<int> &columns)
{
    const TextWidth width(font);
    for (int c : columns) {
        if (c < 0 || c >= m_columns) continue;
        int widest = 0;
        for (int r = 0; r < m_rowCount; ++r) {
            const int start = cellStart(r, c);
            const int end = m_cellEnds.at(r * m_columns + c);
            if (end > start) widest = qMax(widest, width.of(QStringView(m_rowText.at(r)).mid(start, end - start)));
        }
        growWidth(c, widest, marginTwips);
    }
}

void GridModel::growWidth(int column, int widestPixels, int marginTwips)
{
    if (widestPixels <= 0) return;
    const int needed = qMin(Twips::fromPixels(widestPixels) + marginTwips, kMaxGrownTwips);
    if (needed > m_widths[column]) setWidthTwips(column, needed);
}

int GridModel::rowCount(const QModelIndex &parent) const { return parent.isValid() ? 0 : m_rowCount; }

int GridModel::columnCount(const QModelIndex &parent) const { return parent.isValid() ? 0 : m_columns; }

Qt::Alignment GridModel::qtAlignment(int code)
{
    Qt::Alignment horizontal = Qt::AlignLeft;
    if (code >= 3 && code <= 5) horizontal = Qt::AlignHCenter;
    else if (code >= 6 && code <= 8) horizontal = Qt::AlignRight;
    Qt::Alignment vertical = Qt::AlignVCenter;
    if (code >= 0 && code <= 8) {
        if (code % 3 == 0) vertical = Qt::AlignTop;
        else if (code % 3 == 2) vertical = Qt::AlignBottom;
    }
    return horizontal | vertical;
}

QVariant GridModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_rowCount || index.column() >= m_columns) return QVariant();
    const int row = index.row();
    const int column = index.column();
    switch (role) {
        case Qt::DisplayRole: return text(row, column);
        case Qt::ToolTipRole: return toolTipText(text(row, column));
        case Qt::BackgroundRole:
            if (qAlpha(m_rowBack.at(row)) != 0) return QColor::fromRgba(m_rowBack.at(row));
            return QVariant();
        case Qt::ForegroundRole: {
            if (!m_cellStyles.isEmpty()) {
                auto it = m_cellStyles.constFind(key(row, column));
                if (it != m_cellStyles.cend()) return QColor::fromRgba(it->foreground);
            }
            if (qAlpha(m_rowFore.at(row)) != 0) return QColor::fromRgba(m_rowFore.at(row));
            return QVariant();
        }
        case Qt::FontRole: {
            if (m_cellStyles.isEmpty()) return QVariant();
            auto it = m_cellStyles.constFind(key(row, column));
            if (it == m_cellStyles.cend() || !it->bold) return QVariant();
            QFont font;
            font.setBold(true);
            return font;
        }
        case Qt::TextAlignmentRole: return QVariant::fromValue(qtAlignment(alignment(column)));
        default: return QVariant();
    }
}

QString GridModel::toolTipText(const QString &text)
{
    if (text.size() <= kMaxToolTipChars) return text;
    // Never half of a character written as a surrogate pair.
    int cut = kMaxToolTipChars;
    if (text.at(cut - 1).isHighSurrogate()) --cut;
    return text.left(cut) + QStringLiteral("…");
}

QVariant GridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= m_columns) return QVariant();
    if (role == Qt::DisplayRole) return headerText(section, 0);
    if (role == Qt::TextAlignmentRole) return QVariant::fromValue(qtAlignment(fixedAlignment(section)));
    return QVariant();
}

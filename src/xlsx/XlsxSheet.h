#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "xlsx/Workbook.h"
#include "xlsx/XlsxStyles.h"
#include "xlsx/XlsxXml.h"

namespace xlsx::detail {

// One cell in 16 bytes: text and preserved XML live in the sheet's byte arena, numbers in a vector.
struct Cell {
    enum Kind : uint8_t {
        Blank,       // format only
        Text,        // our text, written as an inline string
        Number,      // our number
        Raw,         // read from the file: attributes after r and s, '>', content, kept as they were
        RawFormula,  // the same, with a formula
    };
    uint16_t column;
    Kind kind;
    uint8_t preserveSpace;  // Text: leading or trailing white space
    uint32_t style;
    uint32_t offset;  // Text, Raw: position in the arena; Number: index into the numbers
    uint32_t length;
};

struct Row {
    uint32_t number;
    uint32_t attributes;      // index into the row attribute texts; 0 = none
    int32_t style;            // the row's own format (customFormat), or -1
    std::vector<Cell> cells;  // ordered by column
};

// A run of columns sharing one <col> entry.
struct ColumnSpan {
    int first;
    int last;
    std::vector<XmlAttribute> attributes;  // everything but min and max
};

class TagScanner;

// Refuse, with a message naming them, a cell or a block outside the sheet.
void checkCell(int row, int column);
void checkRange(const CellRange &range);
// The place of an element among the children of worksheet, which the schema orders; -1 for an
// element of another namespace or one this module does not know.
int worksheetChildRank(const XmlNode &node, const QString &ns);

// The cells, merges and columns of one worksheet, plus the rest of its XML kept as elements.
class SheetModel {
public:
    SheetModel(QString name, Styles &styles, bool &formulasRemoved);

    // Reads a worksheet part (an empty array makes an empty sheet).
    void load(const QByteArray &xml, const QString &partName);
    // The worksheet part. progress gets the share of rows written; false cancels (WorkbookError).
    std::string write(const std::function<bool(double)> &progress) const;

    const QString &name() const { return m_name; }
    bool isChanged() const { return m_changed; }
    void markSaved() { m_changed = false; }
    size_t cellCount() const { return m_cellCount; }

    CellRange usedRange() const;
    void clear(const CellRange &range);
    void setText(int row, int column, const QString &text);
    void setNumber(int row, int column, double value);
    void enterValue(int row, int column, const QString &text);
    void change(const CellRange &range, StyleChange change);
    uint32_t numberFormatId(const QString &code) { return m_styles.numberFormatId(code); }
    uint32_t fontSizeValue(double points) { return m_styles.fontSizeValue(points); }
    void merge(const CellRange &range);
    const std::vector<CellRange> &merges() const { return m_merges; }
    void setColumnWidth(int column, double characters);
    void setRowHeight(int row, double points);
    double rowHeight(int row) const;
    void setTabSelected(bool selected);
    void fitToPageWidth(bool landscape);

private:
    Row &row(uint32_t number);
    Cell &cell(Row &row, int column);
    Cell &cell(int row, int column);
    void releaseValue(Cell &cell);
    uint32_t columnStyle(int column) const;
    uint32_t rowAttributesIndex(const QByteArray &attributes);
    void dropRowHeight(Row &row);
    // The child of worksheet with that name, added in its place when the sheet has none.
    XmlNode &rootChild(const char *local);
    uint32_t store(const char *bytes, size_t size);
    void compactArena();
    void loadSheetData(TagScanner &scan);
    void writeRows(ByteWriter &out, const std::function<bool(double)> &progress) const;

    QString m_name;
    Styles &m_styles;
    bool &m_formulasRemoved;
    bool m_changed = false;
    size_t m_cellCount = 0;

    std::vector<Row> m_rows;  // ordered by number
    std::string m_arena;
    size_t m_garbage = 0;  // arena bytes no cell refers to any more
    std::vector<double> m_numbers;
    std::vector<QByteArray> m_rowAttributes{QByteArray()};
    QHash<QByteArray, uint32_t> m_rowAttributeIndex;
    std::vector<ColumnSpan> m_columns;
    std::vector<CellRange> m_merges;

    bool m_standalone = true;
    std::vector<XmlNode> m_prolog;
    XmlNode m_root;  // worksheet element; its children hold a childless sheetData where the rows go
};

}  // namespace xlsx::detail

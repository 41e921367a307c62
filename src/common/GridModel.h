#pragma once

#include <QAbstractTableModel>
#include <QColor>
#include <QFont>
#include <QHash>
#include <QStringList>
#include <QVector>
#include <array>

// Text widths in pixels for one font, summed from cached per-character advances: measuring a
// hundred thousand rows stays cheap.
class TextWidth {
public:
    explicit TextWidth(const QFont &font);
    int of(const QString &text) const { return of(QStringView(text)); }
    int of(QStringView text) const;

private:
    QFont m_font;
    mutable std::vector<int> m_advance;  // per UTF-16 unit, -1 = not measured yet
};

// The rows, columns, header texts, widths, alignments and colours of a grid (the flex grids and
// report lists of the windows), and what the spreadsheet export reads from a grid.
//
// Rows are addressed in two ways: data rows 0..rowCount()-1 (what Qt views show), and grid rows
// counting the fixed header rows first (gridRowCount(), gridText()), as the export sees them.
// Widths are kept in twips; alignment codes are those of the flex grid: 0-2 left, 3-5 centre,
// 6-8 right (top, centre, bottom), 9 general.
class GridModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit GridModel(QObject *parent = nullptr);

    // Columns ---------------------------------------------------------------------------------
    // Sets up the columns from a flex-grid format string such as "<序|<编号      |>金额": one
    // column per "|"-separated piece; "<", "^" or ">" in front sets left, centre or right
    // alignment; the header text is the trimmed rest; the piece's own width (blanks included)
    // in `font`, plus a margin, is the column's initial width.
    void setFormatString(const QString &format, const QFont &font);
    void setColumnCount(int columns);
    int columns() const { return m_columns; }
    // Fixed rows: the header rows above the data (one by default).
    void setFixedRows(int rows);
    int fixedRows() const { return m_header.size(); }
    QString headerText(int column, int headerRow = 0) const;
    void setHeaderText(int column, const QString &text, int headerRow = 0);
    int widthTwips(int column) const { return m_widths.value(column); }
    void setWidthTwips(int column, int twips);
    int alignment(int column) const { return m_alignments.value(column, 9); }
    void setAlignment(int column, int code);
    int fixedAlignment(int column) const { return m_fixedAlignments.value(column, 9); }
    void setFixedAlignment(int column, int code);
    // The number format a spreadsheet gives the column's cells ("0" for counts); empty, the
    // export's own rule by the alignment code.
    QString numberFormat(int column) const { return m_numberFormats.value(column); }
    void setNumberFormat(int column, const QString &format);

    // Data rows -------------------------------------------------------------------------------
    void clearRows();
    int appendRow(const QStringList &cells);
    void removeDataRow(int row);
    QString text(int row, int column) const;
    void setText(int row, int column, const QString &text);
    QStringList rowTexts(int row) const;
    void setRowBackground(int row, const QColor &color);
    QColor rowBackground(int row) const;
    void setRowForeground(int row, const QColor &color);
    // A cell drawn in its own colour and weight (bold red waiting times).
    void setCellStyle(int row, int column, const QColor &foreground, bool bold);

    // What a Bulk does with the rows there are: keeps them, or replaces them (in the same model
    // reset, so that the views lay themselves out once).
    enum BulkMode { AppendRows, ReplaceRows };

    // Fills many rows without a signal per row; widths and colours may be set afterwards.
    class Bulk {
    public:
        explicit Bulk(GridModel &model, BulkMode mode = AppendRows);
        ~Bulk();
        Bulk(const Bulk &) = delete;
        Bulk &operator=(const Bulk &) = delete;
        // Appends a row of `cells` (at most columns()); returns its index.
        int append(const QString *cells, int count);

    private:
        GridModel &m_model;
        int m_first;
    };

    // Grid rows (fixed rows first) ----------------------------------------------------------
    int gridRowCount() const { return fixedRows() + m_rowCount; }
    QString gridText(int gridRow, int column) const;

    // Columns only grow: every column becomes at least as wide as its widest text in `font`
    // plus `marginTwips`, but grows no wider than kMaxGrownTwips (longer texts end in an
    // ellipsis; the tooltip shows them, up to kMaxToolTipChars). With `fromRow`, only the rows from there on are
    // measured.
    void growWidthsToFit(const QFont &font, int marginTwips = 90, int fromRow = 0);
    // The same for some columns only.
    void growWidthsToFit(const QFont &font, int marginTwips, const QVector<int> &columns);
    static constexpr int kMaxGrownTwips = 480 * 15;

    // A cell's tooltip shows its whole text up to this many characters; a longer one is cut
    // there and ends in "…", so that the tip never covers the screen.
    static constexpr int kMaxToolTipChars = 500;
    static QString toolTipText(const QString &text);

    // QAbstractTableModel
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

signals:
    void widthChanged(int column);
    void columnsChanged();

private:
    struct CellStyle {
        QRgb foreground;
        bool bold;
    };
    static Qt::Alignment qtAlignment(int code);
    void growWidth(int column, int widestPixels, int marginTwips);
    void appendUnchecked(const QString *cells, int count);
    // Forgets every data row; the caller resets the model around it.
    void dropRows();
    int cellStart(int row, int column) const;
    static qint64 key(int row, int column) { return (qint64(row) << 20) | column; }

    int m_columns = 0;
    QVector<QStringList> m_header{QStringList()};
    QVector<int> m_widths;
    QVector<int> m_alignments;
    QVector<int> m_fixedAlignments;
    QVector<QString> m_numberFormats;

    // Each row is one string holding its cells one after the other, with the end of every cell.
    int m_rowCount = 0;
    QVector<QString> m_rowText;
    QVector<int> m_cellEnds;  // m_columns per row
    QVector<QRgb> m_rowBack;  // alpha 0: the view's own colour
    QVector<QRgb> m_rowFore;
    QHash<qint64, CellStyle> m_cellStyles;
    bool m_bulk = false;
};

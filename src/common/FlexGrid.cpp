#include "FlexGrid.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QStyledItemDelegate>

#include "Twips.h"

namespace {

// Draws the first column in the header's colours.
class FixedColumnDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        option->backgroundBrush = option->palette.button();
        option->palette.setColor(QPalette::Text, option->palette.color(QPalette::ButtonText));
    }
};

}  // namespace

FlexGrid::FlexGrid(QWidget *parent) : QTableView(parent), m_model(new GridModel(this))
{
    setModel(m_model);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setWordWrap(true);
    setAlternatingRowColors(false);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setMinimumSectionSize(0);
    connect(m_model, &GridModel::widthChanged, this, &FlexGrid::applyWidth);
    connect(m_model, &GridModel::columnsChanged, this, &FlexGrid::applyAllWidths);
    connect(m_model, &QAbstractItemModel::modelReset, this, &FlexGrid::applyAllWidths);
    connect(this, &QAbstractItemView::clicked, this, [this](const QModelIndex &index) {
        if (index.isValid()) emit cellClicked(index.row(), index.column());
    });
    connect(this, &FlexGrid::cellClicked, this, [this](int row) { emit rowChosen(row); });
    connect(this, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex &index) {
        if (index.isValid()) emit cellDoubleClicked(index.row(), index.column());
    });
}

void FlexGrid::keyPressEvent(QKeyEvent *event)
{
    const int before = currentRow();
    QTableView::keyPressEvent(event);
    const int after = currentRow();
    if (after >= 0 && after != before) {
        m_rowBeforeChoice = before;
        emit rowChosen(after);
    }
}

void FlexGrid::mousePressEvent(QMouseEvent *event)
{
    // The press makes the row current; the click that chooses it comes with the release.
    m_rowBeforeChoice = currentRow();
    QTableView::mousePressEvent(event);
}

int FlexGrid::currentRow() const
{
    const QModelIndex index = currentIndex();
    return index.isValid() ? index.row() : -1;
}

void FlexGrid::setCurrentRow(int row)
{
    if (row < 0 || row >= m_model->rowCount()) {
        clearSelection();
        setCurrentIndex(QModelIndex());
        return;
    }
    int column = 0;
    while (column < m_model->columns() - 1 && isColumnHidden(column)) ++column;
    setCurrentIndex(m_model->index(row, column));
    selectRow(row);
}

void FlexGrid::setRowLines(int row, int lines)
{
    // Never taller than the grid shows: a row of endless text stays reachable, its cell ends in
    // an ellipsis and its tooltip holds the text (up to GridModel::kMaxToolTipChars).
    const int line = verticalHeader()->defaultSectionSize();
    const int fitting = qMax(1, viewport()->height() / line);
    setRowHeight(row, line * qBound(1, lines, fitting));
}

void FlexGrid::setFixedFirstColumn(bool fixed)
{
    if (fixed) setItemDelegateForColumn(0, new FixedColumnDelegate(this));
    else setItemDelegateForColumn(0, nullptr);
}

void FlexGrid::applyWidth(int column)
{
    const int twips = m_model->widthTwips(column);
    if (twips <= 0) {
        setColumnHidden(column, true);
        return;
    }
    setColumnHidden(column, false);
    // The cell's own text margins and the grid line come on top of the width the grid asks for.
    setColumnWidth(column, Twips::toPixels(twips) + 2);
}

void FlexGrid::applyAllWidths()
{
    for (int c = 0; c < m_model->columns(); ++c) applyWidth(c);
}

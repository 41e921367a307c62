#pragma once

#include <QTableView>

#include "GridModel.h"

// A grid of rows and columns over a GridModel: whole-row selection, column widths taken from the
// model (in twips; width 0 hides a column), a header row, and optionally a row-number column
// drawn like a header. Clicking a cell makes its row current and emits `cellClicked`.
class FlexGrid : public QTableView {
    Q_OBJECT
public:
    explicit FlexGrid(QWidget *parent = nullptr);

    GridModel *grid() const { return m_model; }

    // The current data row, -1 when there is none.
    int currentRow() const;
    // Makes a data row current and selects it whole (without emitting cellClicked).
    void setCurrentRow(int row);
    // Sets a row's height in multiples of the normal row height, at most as many as the grid
    // shows at once.
    void setRowLines(int row, int lines);
    // The first column looks like a fixed (header) column.
    void setFixedFirstColumn(bool fixed);
    // The row that was current before the user's latest click or key move (-1: none), so that a
    // window that does not let the user leave a row can put the grid back.
    int rowBeforeChoice() const { return m_rowBeforeChoice; }

signals:
    void cellClicked(int row, int column);
    void cellDoubleClicked(int row, int column);
    // The user chose a row: a click on one of its cells, or a move to it with the keyboard.
    // Rows made current by the program (setCurrentRow, refills, removals) do not count.
    void rowChosen(int row);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;

private:
    void applyWidth(int column);
    void applyAllWidths();

    GridModel *m_model;
    int m_rowBeforeChoice = -1;
};

#pragma once

#include <QStringList>
#include <QVector>
#include <functional>

class FlexGrid;
class QWidget;

// What the work lists of the acceptance, handling and follow-up windows share.

// Sets a grid up as a report list: one header row, the columns with their captions and widths in
// twips, left-aligned text, rows selected whole.
void setUpReportList(FlexGrid *grid, const QStringList &captions, const QVector<int> &widthsTwips);
// The selected row of a grid, -1 when no row is selected.
int selectedRow(const FlexGrid *grid);
// The first row whose cell in `column` is `code`, -1 when there is none.
int rowOfCode(const FlexGrid *grid, int column, const QString &code);

// Runs `refresh` when a work window is first shown and every time it is activated again: as a
// child of the main window's client area (its frame activated) or as a window of its own.
void refreshOnEveryActivation(QWidget *window, std::function<void()> refresh);

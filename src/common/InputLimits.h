#pragma once

#include <QString>

class QWidget;

// Limits a text box (a line edit or an editable combo box) to the length of the column its text is
// saved into, in the column's own unit (gConn.columnType: characters, or bytes of the code page of
// a VARCHAR/CHAR column), so that typing or pasting can never give a value the server would refuse. Boxes of several
// lines are saved into unlimited columns; the stores check the length of every value anyway.
void limitToColumn(QWidget *box, const QString &table, const QString &column);

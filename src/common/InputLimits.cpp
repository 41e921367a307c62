#include "InputLimits.h"

#include <QComboBox>
#include <QLineEdit>

#include "data/ColumnLengths.h"

void limitToColumn(QWidget *box, const QString &table, const QString &column)
{
    const int length = ColumnLengths::of(table, column);
    if (length <= 0) return;
    QLineEdit *edit = qobject_cast<QLineEdit *>(box);
    if (auto *combo = qobject_cast<QComboBox *>(box)) edit = combo->lineEdit();
    if (edit) edit->setMaxLength(length);
}

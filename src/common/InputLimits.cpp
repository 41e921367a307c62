#include "InputLimits.h"

#include <QComboBox>
#include <QLineEdit>
#include <QValidator>

#include "Session.h"

namespace {

// Refuses an edit that would make the text longer than its column in the column's own unit: the
// bytes of its code page for a VARCHAR/CHAR column (ten Chinese characters fill a VARCHAR(20)
// under code page 936).
class ColumnUnitsValidator : public QValidator {
public:
    ColumnUnitsValidator(const ColumnType &type, QObject *parent) : QValidator(parent), m_type(type) {}

    State validate(QString &input, int &) const override
    {
        return m_type.unitsOf(input) <= m_type.length ? Acceptable : Invalid;
    }

private:
    ColumnType m_type;
};

}  // namespace

void limitToColumn(QWidget *box, const QString &table, const QString &column)
{
    const ColumnType type = gConn.columnType(table, column);
    if (!type.isText() || type.length <= 0) return;
    QLineEdit *edit = qobject_cast<QLineEdit *>(box);
    if (auto *combo = qobject_cast<QComboBox *>(box)) edit = combo->lineEdit();
    if (!edit) return;
    // No unit is smaller than a character: the column's length is an upper bound in characters too.
    edit->setMaxLength(type.length);
    if (type.isNarrow()) edit->setValidator(new ColumnUnitsValidator(type, edit));
}

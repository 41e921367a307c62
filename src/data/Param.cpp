#include "Param.h"

namespace Param {

QVariant column(const QString &table, const QString &column, const QVariant &value)
{
    return QVariant::fromValue(ColumnParam{table, column, value});
}

const ColumnParam *columnOf(const QVariant &param)
{
    if (param.metaType() != QMetaType::fromType<ColumnParam>()) return nullptr;
    return static_cast<const ColumnParam *>(param.constData());
}

QVariant valueOf(const QVariant &param)
{
    const ColumnParam *named = columnOf(param);
    return named ? named->value : param;
}

}  // namespace Param

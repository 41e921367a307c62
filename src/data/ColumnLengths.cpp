#include "ColumnLengths.h"

#include <QHash>

namespace ColumnLengths {

namespace {

QString key(const QString &table, const QString &column) { return table + QLatin1Char('.') + column.toLower(); }

const QHash<QString, int> &index()
{
    static const QHash<QString, int> lengths = [] {
        QHash<QString, int> h;
        for (const Entry &e : all()) h.insert(key(QString::fromUtf8(e.table), QString::fromUtf8(e.column)), e.length);
        return h;
    }();
    return lengths;
}

}  // namespace

const QList<Entry> &all()
{
    static const QList<Entry> entries = {
        {"投诉信息", "投诉编号", 20},
        {"投诉信息", "部门编号", 20},
        {"投诉信息", "部门名称", 100},
        {"投诉信息", "管理处代号", 20},
        {"投诉信息", "投诉人", 100},
        {"投诉信息", "地址", 200},
        {"投诉信息", "联系电话", 100},
        {"投诉信息", "联系电话号码", 100},
        {"投诉信息", "投诉类别", 100},
        {"投诉信息", "投诉方式", 100},
        {"投诉信息", "接待人", 50},
        {"投诉信息", "处理状态", 20},
        {"投诉信息", "回访人", 50},
        {"投诉信息", "结果满意度", 50},
        {"投诉信息处理", "投诉编号", 20},
        {"投诉信息处理", "处理部门", 20},
        {"投诉信息处理", "处理岗位", 20},
        {"投诉处理人设置", "管理处代号", 20},
        {"投诉处理人设置", "职能部门代号", 20},
        {"投诉处理人设置", "岗位代号", 20},
        {"投诉处理人设置", "备注", 200},
        {"投诉类别", "编号", 20},
        {"投诉类别", "类别", 100},
        {"投诉方式", "编号", 20},
        {"投诉方式", "方式", 100},
    };
    return entries;
}

int of(const QString &table, const QString &column) { return index().value(key(table, column), 0); }

ColumnType typeOf(const QString &table, const QString &column)
{
    ColumnType type;
    type.kind = ColumnType::NationalText;
    type.length = of(table, column);
    return type;
}

}  // namespace ColumnLengths

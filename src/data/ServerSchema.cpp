#include "ServerSchema.h"

#include <QStringList>

#include "ColumnLengths.h"

namespace {

QString key(const QString &table, const QString &column) { return (table + QLatin1Char('.') + column).toLower(); }

}  // namespace

const QStringList &ServerSchema::columns()
{
    // The complaint tables (written, filtered and joined) and the suite's tables (filtered and
    // joined, read only), column by column as the stores' statements use them.
    static const QStringList list = [] {
        const QList<QPair<const char *, const char *>> tables = {
            {"投诉信息",
             "ID 投诉编号 流水号 部门编号 部门名称 管理处代号 S_ID 投诉人 地址 联系电话 联系电话号码 投诉类别 投诉方式 "
             "投诉时间 投诉内容 接待人 处理状态 处理结果 处理时间 调查情况 回访人 回访时间 结果满意度 撤销时间"},
            {"投诉信息处理", "ID 投诉编号 处理部门 处理岗位 处理意见 处理结果 顺序号 接受时间 处理结束时间"},
            {"投诉处理人设置", "ID 管理处代号 职能部门代号 岗位代号 设置日期 终止日期 备注"},
            {"投诉类别", "ID 编号 类别"},
            {"投诉方式", "ID 编号 方式"},
            {"员工档案", "工号 姓名 帐号密码 离职日期"},
            {"岗位员工new", "员工代号 岗位代号 主要岗位 入岗日期 离岗日期"},
            {"岗位信息new", "岗位代号 岗位名称 职能部门代号 岗位类别代号 工号 起始日期 终止日期 部门主管"},
            {"职能部门new", "职能部门编号 职能部门名称 职能部门类别代号 终止日期 显示协调位置"},
            {"上级部门new", "职能部门编号 上级部门编号 起始日期"},
            {"职能部门类别", "部门类别代号 部门类别名称"},
            {"岗位类别", "岗位类别编号 岗位类别名称"},
            {"岗位权限设置", "ID 组代号 岗位代号 授权"},
            {"GroupPrivilege", "GroupID FormName Popedom"},
            {"设置管理处", "GYD_DH Gyd_name GYD_DZ GYD_TEL 商用物业 对应部门代号"},
            {"楼表", "L_ID 管理处 地址1 地址2 地址3 地址4 字1 字2 字3 字4"},
            {"室表", "S_ID L_ID 室 字 房屋性质"},
            {"业主表", "ZH_ID S_ID 姓名 联系方式 说明"},
            {"FWXZK", "FWXZ_dh FWXZ_xz"},
            {"合同信息", "ID 合同编号 座落 对方单位 区域代号 合同生效日期 合同中止日期"},
            {"合同单元信息", "合同ID 单元ID"},
        };
        QStringList names;
        for (const auto &[table, columns] : tables)
            for (const QString &column : QString::fromUtf8(columns).split(QLatin1Char(' ')))
                names << QString::fromUtf8(table) + QLatin1Char('.') + column;
        return names;
    }();
    return list;
}

QString ServerSchema::statement()
{
    // The names are the program's own constants, written as literals: the statement is the same
    // text on every connect. The base type (system_type_id) counts, not an alias type over it.
    QStringList wanted;
    for (const QString &name : columns()) wanted << QStringLiteral("N'") + name + QLatin1Char('\'');
    return QStringLiteral(
               "SELECT o.name AS table_name, c.name AS column_name, t.name AS type_name, c.max_length AS max_length,"
               " c.collation_name AS collation_name,"
               " CAST(COLLATIONPROPERTY(c.collation_name, 'CodePage') AS INT) AS code_page"
               " FROM sys.columns AS c"
               " INNER JOIN sys.objects AS o ON o.object_id = c.object_id"
               " INNER JOIN sys.types AS t ON t.user_type_id = c.system_type_id"
               " WHERE o.type IN ('U', 'V') AND o.name + N'.' + c.name IN (%1)"
               " ORDER BY CASE WHEN o.schema_id = SCHEMA_ID(N'dbo') THEN 0 ELSE 1 END")
        .arg(wanted.join(QStringLiteral(", ")));
}

ColumnType ServerSchema::typeFrom(const QString &typeName, int maxLength, const QString &collation, int codePage)
{
    const QString name = typeName.toLower();
    ColumnType type;
    type.collation = collation;
    if (name == QLatin1String("varchar") || name == QLatin1String("char") || name == QLatin1String("text")) {
        type.kind = ColumnType::NarrowText;
        type.codePage = codePage;
        type.length = name == QLatin1String("text") || maxLength < 0 ? 0 : maxLength;
    } else if (name == QLatin1String("nvarchar") || name == QLatin1String("nchar") || name == QLatin1String("ntext") ||
               name == QLatin1String("sysname")) {
        type.kind = ColumnType::NationalText;
        type.length = name == QLatin1String("ntext") || maxLength < 0 ? 0 : maxLength / 2;
    } else if (name == QLatin1String("datetime") || name == QLatin1String("smalldatetime")) {
        type.kind = ColumnType::DateTime;
    } else if (name == QLatin1String("date") || name == QLatin1String("datetime2") ||
               name == QLatin1String("datetimeoffset")) {
        type.kind = ColumnType::OtherDate;
    } else {
        type.kind = ColumnType::Other;
    }
    type.fixedWidth = name == QLatin1String("char") || name == QLatin1String("nchar");
    return type;
}

void ServerSchema::load(const Rows &rows)
{
    m_columns.clear();
    for (const Row row : rows) {
        const QString k = key(row.text(QStringLiteral("table_name")), row.text(QStringLiteral("column_name")));
        if (m_columns.contains(k)) continue;  // a table of the dbo schema before one of another
        m_columns.insert(
            k, typeFrom(row.text(QStringLiteral("type_name")), int(row.number(QStringLiteral("max_length"))),
                        row.text(QStringLiteral("collation_name")), int(row.number(QStringLiteral("code_page")))));
    }
}

bool ServerSchema::contains(const QString &table, const QString &column) const
{
    return m_columns.contains(key(table, column));
}

ColumnType ServerSchema::columnType(const QString &table, const QString &column) const
{
    const auto found = m_columns.constFind(key(table, column));
    if (found != m_columns.constEnd()) return *found;
    return ColumnLengths::typeOf(table, column);
}

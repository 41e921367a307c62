// The collation part of DatabaseCheck: the code columns of the complaint tables that statements
// compare with the suite's, and whether both sides carry the same collation.

#include <QHash>

#include "Database.h"
#include "DatabaseCheck.h"

QList<DatabaseCheck::JoinedPair> DatabaseCheck::joinedPairs()
{
    return {
        {QStringLiteral("投诉信息处理"), QStringLiteral("处理部门"), QStringLiteral("职能部门new"),
         QStringLiteral("职能部门编号"), QStringLiteral("意见浏览、处理单、投诉分析")},
        {QStringLiteral("投诉信息处理"), QStringLiteral("处理岗位"), QStringLiteral("岗位信息new"),
         QStringLiteral("岗位代号"), QStringLiteral("意见浏览、处理单、投诉分析")},
        {QStringLiteral("投诉信息处理"), QStringLiteral("处理岗位"), QStringLiteral("岗位员工new"),
         QStringLiteral("岗位代号"), QStringLiteral("投诉受理、意见浏览")},
        {QStringLiteral("投诉处理人设置"), QStringLiteral("职能部门代号"), QStringLiteral("职能部门new"),
         QStringLiteral("职能部门编号"), QStringLiteral("处理人设置、投诉分析")},
        {QStringLiteral("投诉处理人设置"), QStringLiteral("岗位代号"), QStringLiteral("岗位信息new"),
         QStringLiteral("岗位代号"), QStringLiteral("处理人设置、投诉分析")},
    };
}

void DatabaseCheck::checkJoinedCollations(Result &result)
{
    result.lines << QString() << QStringLiteral("== 与套件表比较的代码列");
    if (m_db.dialect().isSqlite()) {
        result.lines << QStringLiteral("嵌入式 SQLite 数据库：文字逐字节比较，没有排序规则的区别");
        return;
    }
    QHash<QString, QString> collations;  // "table.column" (lower case) -> collation
    try {
        QStringList tables;
        QVariantList params;
        for (const JoinedPair &pair : joinedPairs())
            for (const QString &table : {pair.table, pair.suiteTable})
                if (!tables.contains(table)) {
                    tables << table;
                    params << table;
                }
        QStringList marks;
        for (int i = 0; i < tables.size(); ++i) marks << QStringLiteral("?");
        const Rows rows =
            m_db.select(QStringLiteral("SELECT TABLE_NAME, COLUMN_NAME, COLLATION_NAME FROM INFORMATION_SCHEMA.COLUMNS"
                                       " WHERE TABLE_NAME IN (%1)")
                            .arg(marks.join(QStringLiteral(", "))),
                        params);
        for (const Row row : rows)
            collations.insert((row.text(0).trimmed() + QLatin1Char('.') + row.text(1).trimmed()).toLower(),
                              row.text(2).trimmed());
    } catch (const DbError &e) {
        result.lines << QStringLiteral("无法读取排序规则：%1").arg(e.description().section(QLatin1Char('\n'), 0, 0));
        return;
    }
    int differing = 0;
    for (const JoinedPair &pair : joinedPairs()) {
        const QString own = pair.table + QLatin1Char('.') + pair.column;
        const QString suite = pair.suiteTable + QLatin1Char('.') + pair.suiteColumn;
        const auto ownCollation = collations.constFind(own.toLower());
        const auto suiteCollation = collations.constFind(suite.toLower());
        if (ownCollation == collations.constEnd() || suiteCollation == collations.constEnd()) {
            result.lines << QStringLiteral("  %1 = %2  （列缺少，见下）").arg(own, suite);
            continue;
        }
        const bool same = ownCollation->compare(*suiteCollation, Qt::CaseInsensitive) == 0;
        if (!same) ++differing;
        result.lines << QStringLiteral("  %1（%2）= %3（%4）  %5  用于：%6")
                            .arg(own, ownCollation->isEmpty() ? QStringLiteral("无") : *ownCollation, suite,
                                 suiteCollation->isEmpty() ? QStringLiteral("无") : *suiteCollation,
                                 same ? QStringLiteral("相同") : QStringLiteral("不同"), pair.usedBy);
    }
    if (differing > 0)
        result.lines << QStringLiteral(
                            "有 %1 对排序规则不同：本程序比较它们时两边都按数据库的排序规则"
                            "（COLLATE DATABASE_DEFAULT），结果正确；新建的投诉表由 db/sqlserver.sql "
                            "按套件列的排序规则建立。")
                            .arg(differing);
}

#include "HouseholdHistory.h"

#include "data/Database.h"

QString Household::digits(const QString &telephone)
{
    QString out;
    out.reserve(telephone.size());
    for (const QChar c : telephone)
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9')) out.append(c);
    return out;
}

QString HouseholdHistory::telephoneDigitsSql(const QString &column)
{
    return QStringLiteral("REPLACE(REPLACE(REPLACE(REPLACE(%1, ' ', ''), '-', ''), '(', ''), ')', '')").arg(column);
}

QString HouseholdHistory::householdWhere(const Household &household, const QString &exceptCode, QVariantList *params)
{
    QString where = QStringLiteral("撤销时间 IS NULL AND ");
    if (household.roomId > 0) {
        where += QStringLiteral("S_ID = ?");
        params->append(household.roomId);
    } else {
        // A typed address has no room: the same number, however it was written.
        where += telephoneDigitsSql(QStringLiteral("联系电话")) + QStringLiteral(" = ?");
        params->append(Household::digits(household.telephone));
    }
    if (!exceptCode.isEmpty()) {
        where += QStringLiteral(" AND 投诉编号 <> ?");
        params->append(exceptCode);
    }
    return where;
}

QString HouseholdHistory::listSql(const Household &household, const QString &exceptCode, QVariantList *params)
{
    // A household has a handful of complaints, so reading them all and keeping the newest is
    // cheap on both servers and needs no dialect for the row limit.
    return QStringLiteral("SELECT 投诉编号, 投诉时间, 投诉类别, 处理状态, 投诉内容 FROM 投诉信息 WHERE ") +
           householdWhere(household, exceptCode, params) + QStringLiteral(" ORDER BY 投诉时间 DESC, 投诉编号 DESC");
}

QString HouseholdHistory::recentCountSql(const Household &household, const QDateTime &now, const QString &exceptCode,
                                         QVariantList *params)
{
    const QString where = householdWhere(household, exceptCode, params);
    *params << now.addDays(-kRecentDays) << now;
    return QStringLiteral("SELECT COUNT(*) FROM 投诉信息 WHERE ") + where +
           QStringLiteral(" AND 投诉时间 >= ? AND 投诉时间 <= ?");
}

QVector<HistoryEntry> HouseholdHistory::list(const Household &household, const QString &exceptCode)
{
    QVector<HistoryEntry> entries;
    if (!household.isKnown()) return entries;
    QVariantList params;
    const QString sql = listSql(household, exceptCode, &params);
    const Rows rows = m_db.select(sql, params);
    const int count = qMin(rows.size(), kLimit);
    entries.reserve(count);
    for (int i = 0; i < count; ++i) {
        const Row row = rows.at(i);
        entries.append(HistoryEntry{row.text(0), row.dateTime(1), row.text(2), row.text(3), row.text(4)});
    }
    return entries;
}

int HouseholdHistory::recentCount(const Household &household, const QDateTime &now, const QString &exceptCode)
{
    if (!household.isKnown()) return 0;
    QVariantList params;
    const QString sql = recentCountSql(household, now, exceptCode, &params);
    return int(m_db.scalar(sql, params).toLongLong());
}

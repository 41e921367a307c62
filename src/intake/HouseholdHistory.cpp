#include "HouseholdHistory.h"

#include "data/Database.h"
#include "data/Telephone.h"

QString HouseholdHistory::householdWhere(const Household &household, const QString &exceptCode, QVariantList *params)
{
    QString where = QStringLiteral("撤销时间 IS NULL AND ");
    if (household.roomId > 0) {
        where += QStringLiteral("S_ID = ?");
        params->append(household.roomId);
    } else {
        // A typed address has no room: the same number, however it was written (the register
        // keeps every telephone's digits beside it, indexed).
        where += QStringLiteral("联系电话号码 = ?");
        params->append(Telephone::digits(household.telephone));
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

HouseholdComplaints HouseholdHistory::read(const Household &household, const QDateTime &now, const QString &exceptCode)
{
    HouseholdComplaints found;
    if (!household.isKnown()) return found;
    QVariantList params;
    const QString sql = listSql(household, exceptCode, &params);
    const Rows rows = m_db.select(sql, params);
    const QDateTime since = now.addDays(-kRecentDays);
    found.entries.reserve(qMin(rows.size(), kLimit));
    for (int i = 0; i < rows.size(); ++i) {
        const Row row = rows.at(i);
        const QDateTime time = row.dateTime(1);
        if (time.isValid() && time >= since && time <= now) ++found.recent;
        if (i < kLimit) found.entries.append(HistoryEntry{row.text(0), time, row.text(2), row.text(3), row.text(4)});
    }
    return found;
}

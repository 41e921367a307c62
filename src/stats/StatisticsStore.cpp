#include "StatisticsStore.h"

#include "common/DateText.h"
#include "common/GridModel.h"
#include "data/Database.h"
#include "data/Status.h"

namespace {

QString statusValue(StatusFilter filter)
{
    switch (filter) {
        case StatusFilter::InProgress: return Status::inProgress();
        case StatusFilter::Finished: return Status::finished();
        case StatusFilter::NotAccepted: return Status::notAccepted();
        case StatusFilter::All: break;
    }
    return QString();
}

}  // namespace

QString StatisticsStore::formatString()
{
    return QStringLiteral(
        "序|<投诉编号 |<地址                       |<投诉人          |<投诉时间         |<投诉内容        "
        "                    |<处理时间           |<联系电话      |<处理状态|");
}

QString StatisticsStore::listSql(const Dialect &dialect, const StatisticsQuery &query, QVariantList *params)
{
    // Both days count whole: from the first day's midnight up to, not including, the midnight
    // after the last day. The order is served by the index on department and time.
    QString sql = QStringLiteral(
        "SELECT 投诉编号, 地址, 投诉人, 投诉时间, 投诉内容, 处理时间, 联系电话, 处理状态 FROM 投诉信息"
        " WHERE 部门编号 = ? AND 投诉时间 >= ? AND 投诉时间 < ?");
    *params = {query.deptCode, query.from, DateText::endOfDay(query.to)};
    if (query.status != StatusFilter::All) {
        sql += QStringLiteral(" AND 处理状态 = ?");
        *params << statusValue(query.status);
    }
    return sql + QStringLiteral(" ORDER BY 投诉时间, ID") + dialect.planPerRun();
}

int StatisticsStore::fill(GridModel &grid, const StatisticsQuery &query)
{
    QVariantList params;
    const QString sql = listSql(m_db.dialect(), query, &params);
    GridModel::Bulk bulk(grid, GridModel::ReplaceRows);
    QString cells[StatisticsColumn::Count];
    int lines = 0;
    m_db.scan(sql, params, [&](const ScanRow &row) {
        cells[StatisticsColumn::Row] = QString::number(++lines);
        cells[StatisticsColumn::Code] = Value::text(row.value(0));
        cells[StatisticsColumn::Address] = Value::text(row.value(1));
        cells[StatisticsColumn::Complainant] = Value::text(row.value(2));
        cells[StatisticsColumn::Time] = DateText::general(row.value(3));
        cells[StatisticsColumn::Content] = Value::text(row.value(4));
        cells[StatisticsColumn::Finished] = DateText::general(row.value(5));
        cells[StatisticsColumn::Telephone] = Value::text(row.value(6));
        cells[StatisticsColumn::Status] = Value::text(row.value(7));
        bulk.append(cells, StatisticsColumn::Count);
    });
    return lines;
}

std::optional<QStringList> StatisticsStore::record(const QString &code)
{
    // Address and complainant are shown joined; a missing address leaves the complainant.
    const QString joined =
        m_db.dialect().concat({QStringLiteral("COALESCE(地址, '')"), QStringLiteral("COALESCE(投诉人, '')")});
    const Rows rows = m_db.select(QStringLiteral("SELECT 投诉编号, ") + joined +
                                      QStringLiteral(", 投诉时间, 投诉时间, 投诉内容, 调查情况, 处理结果, 处理时间,"
                                                     " 投诉人, 联系电话 FROM 投诉信息 WHERE 投诉编号 = ?"),
                                  {code});
    if (rows.isEmpty()) return std::nullopt;
    const Row row = rows.first();
    QStringList texts;
    for (int column = 0; column < 10; ++column) {
        const bool isTime = column == 2 || column == 3 || column == 7;
        texts << (isTime ? DateText::general(row.value(column)) : row.text(column));
    }
    return texts;
}

#include "AnalysisStore.h"

#include <QHash>
#include <algorithm>

#include "common/CodeName.h"
#include "common/DateText.h"
#include "data/Database.h"
#include "data/Status.h"

namespace {

QString keyOf(const Database &db, AnalysisGrouping grouping)
{
    switch (grouping) {
        case AnalysisGrouping::Category: return QStringLiteral("投诉类别");
        case AnalysisGrouping::Channel: return QStringLiteral("投诉方式");
        case AnalysisGrouping::Office: return QStringLiteral("管理处代号");
        case AnalysisGrouping::Month: return db.dialect().dateTimePrefix(QStringLiteral("投诉时间"), 7);
    }
    return QString();
}

// " AND 部门编号 = ?" unless every department is counted.
QString departmentCondition(bool allDepartments, const QString &column = QStringLiteral("部门编号"))
{
    return allDepartments ? QString() : QStringLiteral(" AND ") + column + QStringLiteral(" = ?");
}

QString periodCondition(bool allDepartments)
{
    return QStringLiteral(" WHERE 投诉时间 >= ? AND 投诉时间 < ?") + departmentCondition(allDepartments);
}

// Codes of unequal length sort as numbers, as the code lists do; a group without a code goes last.
bool codeBefore(const QString &a, const QString &b)
{
    if (a.isEmpty() != b.isEmpty()) return b.isEmpty();
    if (a.size() != b.size()) return a.size() < b.size();
    return a < b;
}

// The code of every name in a code list (the first by code when a name appears twice).
QHash<QString, QString> codesOfNames(Database &db, const QString &table, const QString &nameColumn)
{
    QHash<QString, QString> codes;
    for (const Row row : db.select(QStringLiteral("SELECT 编号, %1 FROM %2").arg(nameColumn, table))) {
        const QString code = row.text(0);
        const QString name = row.text(1);
        if (!codes.contains(name) || codeBefore(code, codes.value(name))) codes.insert(name, code);
    }
    return codes;
}

}  // namespace

void GroupCounts::add(const GroupCounts &other)
{
    total += other.total;
    notAccepted += other.notAccepted;
    inProgress += other.inProgress;
    finished += other.finished;
    voided += other.voided;
    finishedTimed += other.finishedTimed;
    finishedHours += other.finishedHours;
    overdue += other.overdue;
}

QVariantList AnalysisStore::periodParams(const AnalysisScope &scope)
{
    QVariantList params{scope.from.startOfDay(), DateText::endOfDay(scope.to)};
    if (!scope.deptCode.isEmpty()) params << scope.deptCode;
    return params;
}

QString AnalysisStore::groupsSql(const Database &db, AnalysisGrouping grouping, bool allDepartments)
{
    const QString key = keyOf(db, grouping);
    const QString hours = db.dialect().hoursBetween(QStringLiteral("投诉时间"), QStringLiteral("处理时间"));
    return QStringLiteral(
               "SELECT %1 AS 分组, COUNT(*) AS 投诉数,"
               " SUM(CASE WHEN 撤销时间 IS NULL AND 处理状态 = ? THEN 1 ELSE 0 END) AS 尚未受理,"
               " SUM(CASE WHEN 撤销时间 IS NULL AND 处理状态 = ? THEN 1 ELSE 0 END) AS 处理中,"
               " SUM(CASE WHEN 撤销时间 IS NULL AND 处理状态 = ? THEN 1 ELSE 0 END) AS 处理完成,"
               " SUM(CASE WHEN 撤销时间 IS NOT NULL THEN 1 ELSE 0 END) AS 已作废,"
               " SUM(CASE WHEN 撤销时间 IS NULL AND 处理时间 IS NOT NULL THEN 1 ELSE 0 END) AS 完成数,"
               " SUM(CASE WHEN 撤销时间 IS NULL AND 处理时间 IS NOT NULL THEN %2 ELSE 0.0 END) AS 处理小时,"
               " SUM(CASE WHEN 撤销时间 IS NULL AND 处理时间 IS NULL AND 投诉时间 < ? THEN 1 ELSE 0 END)"
               " AS 超时未完成 FROM 投诉信息")
               .arg(key, hours) +
           periodCondition(allDepartments) + QStringLiteral(" GROUP BY ") + key + db.dialect().planPerRun();
}

QVariantList AnalysisStore::groupsParams(const AnalysisScope &scope)
{
    return QVariantList{Status::notAccepted(), Status::inProgress(), Status::finished(),
                        scope.now.addSecs(-3600LL * kOverdueHours)} +
           periodParams(scope);
}

QVector<GroupCounts> AnalysisStore::groups(const AnalysisScope &scope, AnalysisGrouping grouping)
{
    QVector<QPair<QString, GroupCounts>> keyed;
    for (const Row row : m_db.select(groupsSql(m_db, grouping, scope.deptCode.isEmpty()), groupsParams(scope))) {
        GroupCounts g;
        g.label = row.text(0);
        g.total = int(row.number(1));
        g.notAccepted = int(row.number(2));
        g.inProgress = int(row.number(3));
        g.finished = int(row.number(4));
        g.voided = int(row.number(5));
        g.finishedTimed = int(row.number(6));
        g.finishedHours = row.value(7).toDouble();
        g.overdue = int(row.number(8));
        keyed.append({g.label, g});
    }

    // The order and, for offices, the names come from the code lists.
    QHash<QString, QString> sortCodes;
    if (grouping == AnalysisGrouping::Category)
        sortCodes = codesOfNames(m_db, QStringLiteral("投诉类别"), QStringLiteral("类别"));
    else if (grouping == AnalysisGrouping::Channel)
        sortCodes = codesOfNames(m_db, QStringLiteral("投诉方式"), QStringLiteral("方式"));
    else if (grouping == AnalysisGrouping::Office) {
        QHash<QString, QString> names;
        for (const Row row : m_db.select(QStringLiteral("SELECT GYD_DH, Gyd_name FROM 设置管理处")))
            names.insert(row.text(0), row.text(1));
        for (auto &[key, g] : keyed) {
            sortCodes.insert(key, key);
            g.label = key.isEmpty() ? QStringLiteral("（无管理处）") : CodeName::join(key, names.value(key));
        }
    }
    // By the code list's order; months (no codes) and equal codes by their key.
    std::stable_sort(keyed.begin(), keyed.end(), [&](const auto &a, const auto &b) {
        const QString ca = sortCodes.value(a.first), cb = sortCodes.value(b.first);
        if (ca != cb) return codeBefore(ca, cb);
        return a.first < b.first;
    });
    QVector<GroupCounts> result;
    for (auto &[key, g] : keyed) {
        if (g.label.isEmpty()) g.label = QStringLiteral("（未填）");
        result.append(g);
    }
    return result;
}

QString AnalysisStore::perDaySql(const Database &db, bool allDepartments)
{
    const QString day = db.dialect().dateTimePrefix(QStringLiteral("投诉时间"), 10);
    return QStringLiteral("SELECT %1 AS 日期, COUNT(*) AS 投诉数 FROM 投诉信息").arg(day) +
           periodCondition(allDepartments) + QStringLiteral(" GROUP BY ") + day + QStringLiteral(" ORDER BY 日期") +
           db.dialect().planPerRun();
}

QVector<QPair<QDate, int>> AnalysisStore::perDay(const AnalysisScope &scope)
{
    QVector<QPair<QDate, int>> days;
    for (const Row row : m_db.select(perDaySql(m_db, scope.deptCode.isEmpty()), periodParams(scope)))
        days.append({QDate::fromString(row.text(0), Qt::ISODate), int(row.number(1))});
    return days;
}

QString AnalysisStore::backlogSql(const Database &db, bool allDepartments)
{
    const Dialect &d = db.dialect();
    // Open steps of open complaints wait since they reached the post; complaints not yet accepted
    // wait at every post assigned to their office (each assignment once, whatever its dates) since
    // they were received.
    const QString dept = departmentCondition(allDepartments, QStringLiteral("c.部门编号"));
    return QStringLiteral(
               "SELECT g.部门, g.岗位, g.待办数, g.超过24小时, g.超过72小时, g.最早, d.职能部门名称, p.岗位名称 FROM"
               " (SELECT w.部门, w.岗位, COUNT(*) AS 待办数,"
               " SUM(CASE WHEN w.起始 < ? THEN 1 ELSE 0 END) AS 超过24小时,"
               " SUM(CASE WHEN w.起始 < ? THEN 1 ELSE 0 END) AS 超过72小时, MIN(w.起始) AS 最早 FROM"
               " (SELECT s.处理部门 AS 部门, s.处理岗位 AS 岗位, s.接受时间 AS 起始 FROM 投诉信息处理 s"
               " INNER JOIN 投诉信息 c ON c.投诉编号 = s.投诉编号"
               " WHERE s.处理结束时间 IS NULL AND c.处理时间 IS NULL AND c.撤销时间 IS NULL") +
           dept +
           QStringLiteral(
               " UNION ALL SELECT a.职能部门代号, a.岗位代号, c.投诉时间 FROM"
               " (SELECT DISTINCT h.管理处代号, h.职能部门代号, h.岗位代号 FROM 投诉处理人设置 h) a"
               " INNER JOIN 投诉信息 c ON c.管理处代号 = a.管理处代号"
               " WHERE c.处理时间 IS NULL AND c.撤销时间 IS NULL AND c.处理状态 = ?") +
           dept + QStringLiteral(") w GROUP BY w.部门, w.岗位) g LEFT JOIN 职能部门new d ON ") +
           d.collated(QStringLiteral("d.职能部门编号")) + QStringLiteral(" = ") + d.collated(QStringLiteral("g.部门")) +
           QStringLiteral(" LEFT JOIN 岗位信息new p ON ") + d.collated(QStringLiteral("p.岗位代号")) +
           QStringLiteral(" = ") + d.collated(QStringLiteral("g.岗位")) +
           QStringLiteral(" ORDER BY g.超过72小时 DESC, g.待办数 DESC, g.部门, g.岗位") + d.planPerRun();
}

QVariantList AnalysisStore::backlogParams(const AnalysisScope &scope)
{
    QVariantList params{scope.now.addSecs(-3600LL * kOverdueHours), scope.now.addSecs(-3600LL * kLongOverdueHours)};
    if (!scope.deptCode.isEmpty()) params << scope.deptCode;
    params << Status::notAccepted();
    if (!scope.deptCode.isEmpty()) params << scope.deptCode;
    return params;
}

QVector<PostBacklog> AnalysisStore::backlog(const AnalysisScope &scope)
{
    QVector<PostBacklog> list;
    for (const Row row : m_db.select(backlogSql(m_db, scope.deptCode.isEmpty()), backlogParams(scope))) {
        PostBacklog b;
        b.deptCode = row.text(0);
        b.postCode = row.text(1);
        b.open = int(row.number(2));
        b.over24 = int(row.number(3));
        b.over72 = int(row.number(4));
        b.oldest = row.dateTime(5);
        b.deptName = row.text(6);
        b.postName = row.text(7);
        list.append(b);
    }
    return list;
}

QString AnalysisStore::satisfactionSql(const Database &db, bool allDepartments)
{
    return QStringLiteral("SELECT 结果满意度, COUNT(*) FROM 投诉信息") + periodCondition(allDepartments) +
           QStringLiteral(" AND 回访时间 IS NOT NULL GROUP BY 结果满意度") + db.dialect().planPerRun();
}

SatisfactionCounts AnalysisStore::satisfaction(const AnalysisScope &scope)
{
    SatisfactionCounts counts;
    for (const Row row : m_db.select(satisfactionSql(m_db, scope.deptCode.isEmpty()), periodParams(scope))) {
        const QString answer = row.text(0);
        const int n = int(row.number(1));
        counts.visited += n;
        if (answer == Satisfaction::satisfied()) counts.satisfied += n;
        else if (answer == Satisfaction::fairlySatisfied()) counts.fairlySatisfied += n;
        else if (answer == Satisfaction::dissatisfied()) counts.dissatisfied += n;
    }
    return counts;
}

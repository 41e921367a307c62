#include "AssignmentStore.h"

#include <QRegularExpression>

#include "common/Clock.h"
#include "common/DateText.h"
#include "data/Database.h"

namespace {

const QString kTable = QStringLiteral("投诉处理人设置");

// A stored date-time as the grid shows it: the day, or the text itself when it is no date.
QString dayText(const Row &row, const QString &column)
{
    const QDateTime value = row.dateTime(column);
    return value.isValid() ? DateText::day(value.date()) : row.text(column);
}

}  // namespace

QVector<AssignmentOffice> AssignmentStore::offices() const
{
    const Rows rows = m_db.select(QStringLiteral("SELECT GYD_DH, Gyd_name FROM 设置管理处 ORDER BY ") +
                                  m_db.dialect().naturalOrder(QStringLiteral("GYD_DH")));
    QVector<AssignmentOffice> offices;
    offices.reserve(rows.size());
    for (const Row row : rows) offices.append({row.text(0), row.text(1)});
    return offices;
}

QVector<Assignment> AssignmentStore::list(const QString &officeCode, bool withEnded) const
{
    const Dialect &d = m_db.dialect();
    QString sql =
        QStringLiteral(
            "SELECT A.ID, A.设置日期, A.终止日期, A.备注, A.岗位代号, A.职能部门代号, B.职能部门名称, C.岗位名称"
            " FROM 投诉处理人设置 A INNER JOIN 职能部门new B ON ") +
        d.collated(QStringLiteral("A.职能部门代号")) + QStringLiteral(" = ") +
        d.collated(QStringLiteral("B.职能部门编号")) + QStringLiteral(" INNER JOIN 岗位信息new C ON ") +
        d.collated(QStringLiteral("A.岗位代号")) + QStringLiteral(" = ") + d.collated(QStringLiteral("C.岗位代号")) +
        QStringLiteral(" WHERE A.管理处代号 = ?");
    if (!withEnded) sql += QStringLiteral(" AND A.终止日期 IS NULL");
    sql += QStringLiteral(" ORDER BY A.设置日期, A.ID");
    const Rows rows = m_db.select(sql, {officeCode});
    QVector<Assignment> result;
    result.reserve(rows.size());
    for (const Row row : rows) {
        Assignment a;
        a.id = row.value(QStringLiteral("ID")).toLongLong();
        a.settingDate = dayText(row, QStringLiteral("设置日期"));
        a.endDate = dayText(row, QStringLiteral("终止日期"));
        a.ended = !row.isNull(QStringLiteral("终止日期"));
        a.remark = row.text(QStringLiteral("备注"));
        a.postCode = row.text(QStringLiteral("岗位代号"));
        a.departmentCode = row.text(QStringLiteral("职能部门代号"));
        a.departmentName = row.text(QStringLiteral("职能部门名称"));
        a.postName = row.text(QStringLiteral("岗位名称"));
        result.append(a);
    }
    return result;
}

QDate AssignmentStore::parseDay(const QString &text)
{
    // Year, month and day joined by hyphens; one-digit months and days are read as well.
    static const QRegularExpression pattern(QStringLiteral("^(\\d{4})-(\\d{1,2})-(\\d{1,2})$"));
    const QRegularExpressionMatch m = pattern.match(text.trimmed());
    if (!m.hasMatch()) return QDate();
    return QDate(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
}

std::optional<AssignmentProblem> AssignmentStore::check(const AssignmentInput &input)
{
    const QDate setting = parseDay(input.settingDate);
    if (!setting.isValid())
        return AssignmentProblem{
            AssignmentProblem::SettingDate,
            QStringLiteral("设置日期不是有效的日期，请按“年-月-日”（如 %1）输入！").arg(DateText::day(Clock::today()))};
    if (!DateText::storable(setting))
        return AssignmentProblem{AssignmentProblem::SettingDate,
                                 DateText::outOfRangeMessage(QStringLiteral("设置日期"))};
    if (input.endDate.trimmed().isEmpty()) return std::nullopt;
    const QDate end = parseDay(input.endDate);
    if (!end.isValid())
        return AssignmentProblem{AssignmentProblem::EndDate,
                                 QStringLiteral("终止日期不是有效的日期，请按“年-月-日”（如 %1）输入，或者不填！")
                                     .arg(DateText::day(Clock::today()))};
    if (!DateText::storable(end))
        return AssignmentProblem{AssignmentProblem::EndDate, DateText::outOfRangeMessage(QStringLiteral("终止日期"))};
    if (end < setting)
        return AssignmentProblem{AssignmentProblem::EndDate, QStringLiteral("终止日期不能早于设置日期！")};
    return std::nullopt;
}

QString AssignmentStore::duplicateMessage(const QDate &day)
{
    return DateText::day(day) + QStringLiteral("已设置过该岗位，同一天不能重复设置多次！");
}

bool AssignmentStore::hasDuplicate(const AssignmentInput &input, const QDate &day, qint64 exceptId) const
{
    // The whole day, so that a stored time of day cannot hide a duplicate.
    const QVariant found =
        m_db.scalar(QStringLiteral("SELECT count(*) FROM 投诉处理人设置") + m_db.dialect().lockingRead() +
                        QStringLiteral(" WHERE 设置日期 >= ? AND 设置日期 < ?"
                                       " AND 管理处代号 = ? AND 岗位代号 = ? AND ID <> ?"),
                    {day, day.addDays(1), input.officeCode, input.postCode, exceptId});
    return found.toInt() > 0;
}

namespace {

Fields fieldsOf(const AssignmentInput &input)
{
    const QDate end = AssignmentStore::parseDay(input.endDate);
    return {{QStringLiteral("管理处代号"), input.officeCode},
            {QStringLiteral("职能部门代号"), textOrNull(input.departmentCode)},
            {QStringLiteral("岗位代号"), textOrNull(input.postCode)},
            {QStringLiteral("设置日期"), AssignmentStore::parseDay(input.settingDate)},
            {QStringLiteral("终止日期"), end.isValid() ? QVariant(end) : QVariant()},
            {QStringLiteral("备注"), textOrNull(input.remark.trimmed())}};
}

}  // namespace

AssignmentStore::Result AssignmentStore::add(const AssignmentInput &input, qint64 *id)
{
    const QDate day = parseDay(input.settingDate);
    // The test and the insert in one write transaction: two stations cannot both add the post.
    return m_db.transaction([&] {
        if (hasDuplicate(input, day, -1)) return Result::Duplicate;
        const qint64 newId = m_db.insert(kTable, fieldsOf(input));
        if (id) *id = newId;
        return Result::Saved;
    });
}

AssignmentStore::Result AssignmentStore::change(qint64 id, const AssignmentInput &input)
{
    const QDate day = parseDay(input.settingDate);
    return m_db.transaction([&] {
        if (hasDuplicate(input, day, id)) return Result::Duplicate;
        return m_db.update(kTable, fieldsOf(input), QStringLiteral("ID = ?"), {id}) > 0 ? Result::Saved
                                                                                        : Result::Missing;
    });
}

bool AssignmentStore::remove(qint64 id)
{
    return m_db.execute(QStringLiteral("DELETE FROM 投诉处理人设置 WHERE ID = ?"), {id}) > 0;
}

#include "SheetStore.h"

#include "data/Database.h"

std::optional<SheetData> SheetStore::load(const QString &code)
{
    const Rows rows =
        m_db.select(QStringLiteral("SELECT 投诉编号, 部门名称, 投诉时间, 投诉人, 地址, 联系电话, 投诉类别,"
                                   " 投诉方式, 接待人, 投诉内容, 处理状态, 调查情况, 处理结果, 处理时间,"
                                   " 回访人, 回访时间, 结果满意度, 撤销时间"
                                   " FROM 投诉信息 WHERE 投诉编号 = ?"),
                    {code});
    if (rows.isEmpty()) return std::nullopt;
    const Row r = rows.first();
    SheetData sheet;
    sheet.code = r.text(0);
    sheet.department = r.text(1);
    sheet.time = r.dateTime(2);
    sheet.complainant = r.text(3);
    sheet.address = r.text(4);
    sheet.telephone = r.text(5);
    sheet.category = r.text(6);
    sheet.channel = r.text(7);
    sheet.receiver = r.text(8);
    sheet.content = r.text(9);
    sheet.status = r.text(10);
    sheet.findings = r.text(11);
    sheet.result = r.text(12);
    sheet.finishedAt = r.dateTime(13);
    sheet.visitor = r.text(14);
    sheet.visitedAt = r.dateTime(15);
    sheet.satisfaction = r.text(16);
    sheet.voidedAt = r.dateTime(17);

    // A department or post that has left the register prints by its code.
    const Dialect &d = m_db.dialect();
    const Rows steps = m_db.select(
        QStringLiteral(
            "SELECT P.顺序号, P.处理部门, D.职能部门名称, P.处理岗位, G.岗位名称, P.接受时间, P.处理结束时间,"
            " P.处理意见, P.处理结果"
            " FROM 投诉信息处理 P LEFT JOIN 职能部门new D ON ") +
            d.collated(QStringLiteral("D.职能部门编号")) + QStringLiteral(" = ") +
            d.collated(QStringLiteral("P.处理部门")) + QStringLiteral(" LEFT JOIN 岗位信息new G ON ") +
            d.collated(QStringLiteral("G.岗位代号")) + QStringLiteral(" = ") +
            d.collated(QStringLiteral("P.处理岗位")) + QStringLiteral(" WHERE P.投诉编号 = ? ORDER BY P.顺序号, P.ID"),
        {code});
    sheet.steps.reserve(steps.size());
    for (const Row s : steps) {
        const QString department = s.text(2).isEmpty() ? s.text(1) : s.text(2);
        const QString post = s.text(4).isEmpty() ? s.text(3) : s.text(4);
        sheet.steps.append(
            SheetStep{int(s.number(0)), department, post, s.dateTime(5), s.dateTime(6), s.text(7), s.text(8)});
    }
    return sheet;
}

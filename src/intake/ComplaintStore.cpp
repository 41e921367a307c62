#include "ComplaintStore.h"

#include "common/Clock.h"
#include "common/DateText.h"
#include "data/Database.h"
#include "data/Status.h"
#include "data/Telephone.h"

namespace {

// How often a save is tried again when another station stored the same code first.
constexpr int kSaveAttempts = 5;

const QString kTable = QStringLiteral("投诉信息");

// The register's columns, in the order the cells are filled from them.
const QString kRegisterColumns = QStringLiteral(
    "SELECT ID, 投诉编号, 投诉类别, 投诉方式, 投诉时间, 投诉人, 地址, 联系电话, 投诉内容, 接待人, 处理状态, "
    "处理结果,"
    " 处理时间, S_ID, 管理处代号 FROM 投诉信息");

QString numberText(const QVariant &value) { return value.isNull() ? QString() : QString::number(value.toLongLong()); }

// Cells of a register row from a result of kRegisterColumns.
bool fillCells(const ScanRow &query, QString *cells)
{
    cells[RegisterColumn::Row].clear();
    for (int c = RegisterColumn::Code; c <= RegisterColumn::Result; ++c) {
        if (c == RegisterColumn::Time) continue;
        cells[c] = Value::text(query.value(c));
    }
    cells[RegisterColumn::Time] = DateText::general(query.value(RegisterColumn::Time));
    const QVariant finished = query.value(RegisterColumn::Finished);
    cells[RegisterColumn::Finished] = DateText::list(finished);
    cells[RegisterColumn::Room] = numberText(query.value(13));
    cells[RegisterColumn::Office] = Value::text(query.value(14));
    cells[RegisterColumn::Id] = numberText(query.value(0));
    return finished.isNull();
}

QStringList codeList(Database &db, const QString &table, const QString &nameColumn)
{
    QStringList entries;
    const Rows rows = db.select(QStringLiteral("SELECT * FROM %1 ORDER BY 编号").arg(table));
    for (const Row row : rows) entries << row.text(QStringLiteral("编号")) + QLatin1Char(' ') + row.text(nameColumn);
    return entries;
}

Fields complaintFields(const ComplaintInput &c)
{
    return {
        {QStringLiteral("投诉类别"), c.category},
        {QStringLiteral("投诉方式"), c.channel},
        {QStringLiteral("部门编号"), c.deptCode},
        {QStringLiteral("部门名称"), c.deptName},
        {QStringLiteral("管理处代号"), textOrNull(c.officeCode)},
        {QStringLiteral("S_ID"), c.roomId > 0 ? QVariant(c.roomId) : QVariant(QMetaType::fromType<qlonglong>())},
        {QStringLiteral("投诉人"), c.complainant},
        {QStringLiteral("地址"), textOrNull(c.address)},
        {QStringLiteral("联系电话"), textOrNull(c.telephone)},
        // The household history looks telephones up by their digits, kept with every write.
        {QStringLiteral("联系电话号码"), textOrNull(Telephone::digits(c.telephone))},
        {QStringLiteral("投诉内容"), textOrNull(c.content)},
        {QStringLiteral("投诉时间"), c.time.isValid() ? QVariant(c.time) : nullText()},
        {QStringLiteral("接待人"), c.receiver},
    };
}

}  // namespace

QString ComplaintStore::codeFor(qint64 serial) { return QString::number(serial).rightJustified(8, QLatin1Char('0')); }

QStringList ComplaintStore::categories() { return codeList(m_db, QStringLiteral("投诉类别"), QStringLiteral("类别")); }

QStringList ComplaintStore::channels() { return codeList(m_db, QStringLiteral("投诉方式"), QStringLiteral("方式")); }

QStringList ComplaintStore::receivers(const QString &deptCode)
{
    QStringList names;
    const Rows rows =
        m_db.select(QStringLiteral("SELECT 岗位信息new.职能部门代号, 员工档案.姓名, 岗位信息new.岗位代号"
                                   " FROM 岗位信息new INNER JOIN 员工档案 ON 岗位信息new.工号 = 员工档案.工号"
                                   " WHERE 岗位信息new.职能部门代号 = ? ORDER BY 岗位信息new.岗位代号"),
                    {deptCode});
    for (const Row row : rows) names << row.text(QStringLiteral("姓名"));
    return names;
}

SavedComplaint ComplaintStore::insert(const ComplaintInput &complaint)
{
    for (int attempt = 1;; ++attempt) {
        QString code;
        try {
            return m_db.transaction([&] {
                const QVariant highest = m_db.scalar(m_db.dialect().maxForUpdate(kTable, QStringLiteral("流水号")));
                qint64 serial = highest.isNull() ? 1 : highest.toLongLong() + 1;
                // A code already present (written out of step with its serial) is skipped, so that
                // serial and code of the new row always denote the same number.
                while (!m_db.scalar(QStringLiteral("SELECT ID FROM 投诉信息 WHERE 投诉编号 = ?"), {codeFor(serial)})
                            .isNull())
                    ++serial;
                code = codeFor(serial);
                Fields fields = complaintFields(complaint);
                fields.prepend({QStringLiteral("流水号"), serial});
                fields.prepend({QStringLiteral("投诉编号"), code});
                fields.append({QStringLiteral("处理状态"), Status::notAccepted()});
                const qint64 id = m_db.insert(kTable, fields);
                return SavedComplaint{id, serial, code};
            });
        } catch (const DbError &) {
            // Another station stored the same code between our read and our write (the unique
            // index refused ours): take the next one. Any other failure is the caller's.
            const bool clash =
                !code.isEmpty() &&
                !m_db.scalar(QStringLiteral("SELECT ID FROM 投诉信息 WHERE 投诉编号 = ?"), {code}).isNull();
            if (!clash || attempt >= kSaveAttempts) throw;
        }
    }
}

std::optional<qint64> ComplaintStore::update(const QString &code, const ComplaintInput &complaint)
{
    return m_db.transaction([&]() -> std::optional<qint64> {
        const QVariant id = m_db.scalar(QStringLiteral("SELECT ID FROM 投诉信息 WHERE 投诉编号 = ?"), {code});
        if (id.isNull()) return std::nullopt;
        m_db.update(kTable, complaintFields(complaint), QStringLiteral("ID = ?"), {id});
        return id.toLongLong();
    });
}

ComplaintStore::VoidResult ComplaintStore::voidComplaint(qint64 id)
{
    // The state is checked in the write itself: another station may have accepted the complaint
    // since the register was read.
    const int changed = m_db.execute(QStringLiteral("UPDATE 投诉信息 SET 撤销时间 = ? WHERE ID = ? AND 处理状态 = ?"
                                                    " AND 处理时间 IS NULL AND 撤销时间 IS NULL"),
                                     {Clock::today(), id, Status::notAccepted()});
    if (changed > 0) return VoidResult::Voided;
    const Rows rows = m_db.select(QStringLiteral("SELECT 撤销时间 FROM 投诉信息 WHERE ID = ?"), {id});
    if (rows.isEmpty() || !rows.first().isNull(QStringLiteral("撤销时间"))) return VoidResult::Missing;
    return VoidResult::NotVoidable;
}

QString ComplaintStore::registerSql(const QString &deptCode, const RegisterQuery &query, QVariantList *params) const
{
    QString sql = kRegisterColumns + QStringLiteral(" WHERE 部门编号 = ? AND 撤销时间 IS NULL");
    *params = {deptCode};
    switch (query.kind) {
        case RegisterQuery::All: break;
        case RegisterQuery::CurrentMonth: {
            const QDate today = Clock::today();
            const QDate first(today.year(), today.month(), 1);
            sql += QStringLiteral(" AND ((投诉时间 BETWEEN ? AND ?) OR 处理时间 IS NULL)");
            *params << first << first.addMonths(1);
            break;
        }
        case RegisterQuery::Range:
            // Up to and including midnight after the last day, so that the whole last day counts.
            // The plan is made for the bounds of each run: a range usually holds most of the
            // department's complaints, which are read fastest in code order (the list's order),
            // but a short range of a large department is found by time.
            sql += QStringLiteral(" AND 投诉时间 BETWEEN ? AND ?");
            *params << query.from << DateText::endOfDay(query.to);
            break;
        case RegisterQuery::Complainant:
            sql += QStringLiteral(" AND 投诉人 LIKE ?") + Dialect::likeEscape();
            *params << Dialect::containsPattern(query.complainant);
            break;
    }
    return sql + QStringLiteral(" ORDER BY 投诉编号") + m_db.dialect().planPerRun();
}

void ComplaintStore::scanRegister(const QString &deptCode, const RegisterQuery &query,
                                  const std::function<void(QString *cells, bool open)> &visit)
{
    QVariantList params;
    const QString sql = registerSql(deptCode, query, &params);
    QString cells[RegisterColumn::Count];
    m_db.scan(sql, params, [&](const ScanRow &row) {
        const bool open = fillCells(row, cells);
        visit(cells, open);
    });
}

bool ComplaintStore::registerRow(qint64 id, QString *cells, bool *open)
{
    bool found = false;
    m_db.scan(kRegisterColumns + QStringLiteral(" WHERE ID = ?"), {id}, [&](const ScanRow &row) {
        *open = fillCells(row, cells);
        found = true;
    });
    return found;
}

#include "CodeListStore.h"

#include "data/Database.h"

namespace {
const QString kCode = QStringLiteral("编号");
}

CodeListStore::CodeListStore(Database &db, const QString &table, const QString &nameColumn)
    : m_db(db), m_table(table), m_nameColumn(nameColumn)
{
}

QVector<CodeEntry> CodeListStore::list() const
{
    const Rows rows =
        m_db.select(QStringLiteral("SELECT id, 编号, %2 FROM %1 ORDER BY 编号").arg(m_table, m_nameColumn));
    QVector<CodeEntry> entries;
    entries.reserve(rows.size());
    for (const Row row : rows) entries.append({row.value(0).toLongLong(), row.text(1), row.text(2)});
    return entries;
}

std::optional<CodeEntry> CodeListStore::find(qint64 id) const
{
    const Rows rows =
        m_db.select(QStringLiteral("SELECT id, 编号, %2 FROM %1 WHERE id = ?").arg(m_table, m_nameColumn), {id});
    if (rows.isEmpty()) return std::nullopt;
    const Row row = rows.first();
    return CodeEntry{row.value(0).toLongLong(), row.text(1), row.text(2)};
}

CodeListStore::Result CodeListStore::add(const QString &code, const QString &name, CodeEntry *entry)
{
    // The test and the insert in one write transaction: two stations cannot both add a code.
    return m_db.transaction([&] {
        const QVariant same = m_db.scalar(
            QStringLiteral("SELECT count(*) FROM %1%2 WHERE 编号 = ?").arg(m_table, m_db.dialect().lockingRead()),
            {code});
        if (same.toInt() > 0) return Result::Duplicate;
        const qint64 id = m_db.insert(m_table, {{kCode, code}, {m_nameColumn, name}});
        if (entry) *entry = CodeEntry{id, code, name};
        return Result::Saved;
    });
}

CodeListStore::Result CodeListStore::change(qint64 id, const QString &code, const QString &name)
{
    return m_db.transaction([&] {
        const QVariant other = m_db.scalar(QStringLiteral("SELECT count(*) FROM %1%2 WHERE 编号 = ? AND id <> ?")
                                               .arg(m_table, m_db.dialect().lockingRead()),
                                           {code, id});
        if (other.toInt() > 0) return Result::Duplicate;
        const int changed = m_db.update(m_table, {{kCode, code}, {m_nameColumn, name}}, QStringLiteral("id = ?"), {id});
        return changed > 0 ? Result::Saved : Result::Missing;
    });
}

int CodeListStore::remove(qint64 id)
{
    return m_db.execute(QStringLiteral("DELETE FROM %1 WHERE id = ?").arg(m_table), {id});
}

bool CodeListStore::isUsableCode(const QString &code)
{
    for (const QChar c : code)
        if (c.isSpace()) return false;
    return true;
}

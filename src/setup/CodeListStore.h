#pragma once

#include <QString>
#include <QVector>
#include <optional>

class Database;

// One entry of a code list: its row identity, its code and its name.
struct CodeEntry {
    qint64 id = 0;
    QString code;
    QString name;
};

// A code list table (complaint categories or complaint channels): rows of `id`, `编号` and a
// name column. Codes are unique within the table.
class CodeListStore {
public:
    CodeListStore(Database &db, const QString &table, const QString &nameColumn);

    const QString &table() const { return m_table; }
    const QString &nameColumn() const { return m_nameColumn; }

    enum class Result { Saved, Duplicate, Missing };

    // Every entry, ordered by code.
    QVector<CodeEntry> list() const;
    // The entry with this row identity.
    std::optional<CodeEntry> find(qint64 id) const;
    // Adds an entry unless another one has the code; `entry` receives the stored row.
    Result add(const QString &code, const QString &name, CodeEntry *entry = nullptr);
    // Changes the entry `id` to `code` and `name`, unless another entry has `code`; Missing when
    // the entry is gone.
    Result change(qint64 id, const QString &code, const QString &name);
    // Deletes the entry `id`; returns the number of rows deleted.
    int remove(qint64 id);

    // Other lists read a code back from a "code name" text up to the first blank, so new codes
    // carry no white space. Entries are addressed by `id`: an old code with a blank still works.
    static bool isUsableCode(const QString &code);

private:
    Database &m_db;
    QString m_table;
    QString m_nameColumn;
};

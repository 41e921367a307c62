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
    // The entry with this code.
    std::optional<CodeEntry> find(const QString &code) const;
    // Adds an entry unless another one has the code; `entry` receives the stored row.
    Result add(const QString &code, const QString &name, CodeEntry *entry = nullptr);
    // Changes the entry that has `oldCode` to `code` and `name`, unless another entry has `code`;
    // Missing when no entry has `oldCode` any more.
    Result change(const QString &oldCode, const QString &code, const QString &name);
    // Deletes the entry with this code; returns the number of rows deleted.
    int remove(const QString &code);

    // The list shows "code name" and reads the code back up to the first blank: a code with a
    // blank (or any other white space) could never be found again.
    static bool isUsableCode(const QString &code);

private:
    Database &m_db;
    QString m_table;
    QString m_nameColumn;
};

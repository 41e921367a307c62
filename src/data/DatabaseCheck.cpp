#include "DatabaseCheck.h"

#include <QHash>
#include <QRegularExpression>
#include <QSet>

#include "ColumnLengths.h"
#include "Database.h"
#include "Scripts.h"

namespace {

// "NVARCHAR(20)" -> ("nvarchar", 20); "NVARCHAR(MAX)" -> ("nvarchar", -1); "INTEGER" -> ("integer", 0).
QPair<QString, int> splitType(const QString &declared)
{
    static const QRegularExpression form(QStringLiteral("^\\s*([A-Za-z ]+?)\\s*(?:\\(\\s*(\\w+)[^)]*\\))?\\s*$"));
    const QRegularExpressionMatch m = form.match(declared);
    if (!m.hasMatch()) return {declared.trimmed().toLower(), 0};
    const QString size = m.captured(2);
    if (size.compare(QLatin1String("max"), Qt::CaseInsensitive) == 0) return {m.captured(1).toLower(), -1};
    return {m.captured(1).toLower(), size.toInt()};
}

QString describe(const QString &type, int length)
{
    if (length < 0) return type + QStringLiteral("(max)");
    if (length > 0) return QStringLiteral("%1(%2)").arg(type).arg(length);
    return type.isEmpty() ? QStringLiteral("（无类型）") : type;
}

QString firstLine(const QString &text) { return text.section(QLatin1Char('\n'), 0, 0).trimmed(); }

// Identifiers come from the client's own scripts, never from a user; brackets keep them whole.
QString quoted(const QString &name, const Dialect &dialect)
{
    if (dialect.isSqlite()) return QLatin1Char('"') + name + QLatin1Char('"');
    return QLatin1Char('[') + name + QLatin1Char(']');
}

}  // namespace

QList<DatabaseCheck::Table> DatabaseCheck::requiredTables()
{
    static const QRegularExpression complaintTable(
        QStringLiteral("CREATE\\s+TABLE\\s+dbo\\.(\\w+)"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::UseUnicodePropertiesOption);
    QSet<QString> complaintTables;
    for (auto it = complaintTable.globalMatch(Scripts::text(QStringLiteral("sqlserver.sql"))); it.hasNext();)
        complaintTables.insert(it.next().captured(1));

    static const QRegularExpression create(QStringLiteral("^CREATE\\s+TABLE\\s+(\\w+)\\s*\\((.*)\\)\\s*$"),
                                           QRegularExpression::CaseInsensitiveOption |
                                               QRegularExpression::DotMatchesEverythingOption |
                                               QRegularExpression::UseUnicodePropertiesOption);
    static const QRegularExpression constraint(
        QStringLiteral("^(PRIMARY|UNIQUE|FOREIGN|CHECK|CONSTRAINT)\\b"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::UseUnicodePropertiesOption);
    QList<Table> tables;
    for (const QString &statement : Scripts::statements(Scripts::text(QStringLiteral("schema.sqlite.sql")))) {
        const QRegularExpressionMatch m = create.match(statement.trimmed());
        if (!m.hasMatch()) continue;
        Table table{m.captured(1), {}, complaintTables.contains(m.captured(1))};
        for (const QString &line : m.captured(2).split(QLatin1Char('\n'))) {
            const QString definition = line.trimmed();
            if (definition.isEmpty() || definition.startsWith(QLatin1String("--")) ||
                constraint.match(definition).hasMatch())
                continue;
            table.columns << definition.section(QLatin1Char(' '), 0, 0).remove(QLatin1Char(','));
        }
        tables << table;
    }
    return tables;
}

QList<DatabaseCheck::Index> DatabaseCheck::requiredIndexes(Dialect::Kind kind)
{
    QList<Index> indexes;
    const auto add = [&](const QRegularExpressionMatch &m) {
        if (m.hasMatch())
            indexes << Index{m.captured(2), m.captured(3), m.captured(4).simplified(), !m.captured(1).isEmpty()};
    };
    if (kind == Dialect::Sqlite) {
        // The embedded database is the client's own: every index its schema makes, the
        // expression indexes among them.
        static const QRegularExpression create(
            QStringLiteral("^CREATE\\s+(UNIQUE\\s+)?INDEX\\s+(\\w+)\\s+ON\\s+(\\w+)\\s*\\((.*)\\)$"),
            QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption |
                QRegularExpression::UseUnicodePropertiesOption);
        for (const QString &statement : Scripts::statements(Scripts::text(QStringLiteral("schema.sqlite.sql"))))
            add(create.match(statement));
        return indexes;
    }
    static const QRegularExpression create(
        QStringLiteral("CREATE\\s+(UNIQUE\\s+)?INDEX\\s+(\\w+)\\s+ON\\s+dbo\\.(\\w+)\\s*\\(([^)]*)\\)"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::UseUnicodePropertiesOption);
    for (auto it = create.globalMatch(Scripts::text(QStringLiteral("sqlserver.sql"))); it.hasNext();) add(it.next());
    return indexes;
}

int DatabaseCheck::report(const ConnectionSettings &settings, QString *text)
{
    QStringList head{QStringLiteral("数据库检查")};
    if (settings.isSqlite()) head << QStringLiteral("数据库文件：%1").arg(settings.sqliteFile());
    else
        head << QStringLiteral("服务器：%1  数据库：%2  登录名：%3")
                    .arg(settings.server, settings.database, settings.login);
    Database db;
    try {
        db.open(settings);
    } catch (const DbError &e) {
        head << QStringLiteral("无法连接数据库：%1").arg(e.description());
        *text = head.join(QLatin1Char('\n')) + QLatin1Char('\n');
        return 2;
    }
    const Result result = DatabaseCheck(db).run();
    *text = head.join(QLatin1Char('\n')) + QStringLiteral("\n\n") + result.text();
    return result.ok() ? 0 : 1;
}

DatabaseCheck::Result DatabaseCheck::run()
{
    Result result;
    const QList<Table> tables = requiredTables();
    checkCollation(result);
    checkJoinedCollations(result);
    checkColumns(result, tables);
    checkIndexes(result);
    checkAccess(result, tables);
    result.lines << QString();
    if (result.ok()) {
        result.lines << QStringLiteral("检查结果：本程序需要的表、列、索引和权限都已具备。");
    } else {
        result.lines << QStringLiteral("检查结果：缺少 %1 项：").arg(result.missing.size());
        for (const QString &item : result.missing) result.lines << QStringLiteral("  ") + item;
        result.lines << QStringLiteral("缺少的表、列和索引由 db/sqlserver.sql 建立；权限请数据库管理员授予。");
    }
    return result;
}

void DatabaseCheck::checkCollation(Result &result)
{
    result.lines << QStringLiteral("== 排序规则和代码页");
    try {
        if (m_db.dialect().isSqlite()) {
            result.lines << QStringLiteral("嵌入式 SQLite 数据库，文字编码 %1")
                                .arg(m_db.scalar(QStringLiteral("PRAGMA encoding")).toString());
            return;
        }
        const Rows rows = m_db.select(QStringLiteral(
            "SELECT CONVERT(nvarchar(128), DATABASEPROPERTYEX(DB_NAME(), 'Collation')) AS 排序规则, "
            "CONVERT(int, COLLATIONPROPERTY(CONVERT(nvarchar(128), DATABASEPROPERTYEX(DB_NAME(), 'Collation')), "
            "'CodePage')) AS 代码页"));
        if (rows.isEmpty()) throw DbError(-1, QStringLiteral("没有返回结果"));
        const QString collation = rows.first().text(0);
        const QString codePage = rows.first().text(1);
        result.lines << QStringLiteral("排序规则 %1，代码页 %2").arg(collation, codePage);
        if (codePage != QLatin1String("936"))
            result.lines << QStringLiteral("（不是简体中文代码页：VARCHAR 列存不下中文，本程序的文字列应为 NVARCHAR）");
    } catch (const DbError &e) {
        result.lines << QStringLiteral("无法读取排序规则：%1").arg(firstLine(e.description()));
    }
}

void DatabaseCheck::checkColumns(Result &result, const QList<Table> &tables)
{
    m_found.clear();
    try {
        if (m_db.dialect().isSqlite()) {
            for (const Table &table : tables) {
                const Rows rows =
                    m_db.select(QStringLiteral("SELECT name, type FROM pragma_table_info(?)"), {table.name});
                for (int i = 0; i < rows.size(); ++i) {
                    const auto type = splitType(rows.at(i).text(1));
                    m_found[table.name.toLower()][rows.at(i).text(0).toLower()] = Found{type.first, type.second};
                }
            }
        } else {
            const Rows rows = m_db.select(QStringLiteral(
                "SELECT TABLE_NAME, COLUMN_NAME, DATA_TYPE, CHARACTER_MAXIMUM_LENGTH FROM INFORMATION_SCHEMA.COLUMNS "
                "WHERE TABLE_SCHEMA = SCHEMA_NAME() OR TABLE_SCHEMA = 'dbo'"));
            for (int i = 0; i < rows.size(); ++i) {
                const Row row = rows.at(i);
                auto &columns = m_found[row.text(0).trimmed().toLower()];
                const QString column = row.text(1).trimmed().toLower();
                if (columns.contains(column)) continue;  // the login's own schema came first
                columns[column] =
                    Found{row.text(2).trimmed().toLower(), row.value(3).isNull() ? 0 : static_cast<int>(row.number(3))};
            }
        }
    } catch (const DbError &e) {
        result.lines << QStringLiteral("无法读取表结构：%1").arg(firstLine(e.description()));
        result.missing << QStringLiteral("表结构不可读");
        return;
    }

    for (const Table &table : tables) {
        const QString role = table.complaintTable ? QStringLiteral("投诉表，读写") : QStringLiteral("套件表，只读");
        result.lines << QString() << QStringLiteral("== 表 %1（%2）").arg(table.name, role);
        const auto found = m_found.constFind(table.name.toLower());
        if (found == m_found.constEnd()) {
            // SQL Server lists only the tables the login has some right on.
            result.lines << (m_db.dialect().isSqlite() ? QStringLiteral("缺少这个表")
                                                       : QStringLiteral("缺少这个表（或登录名对它没有任何权限）"));
            result.missing << QStringLiteral("表 %1").arg(table.name);
            continue;
        }
        for (const QString &column : table.columns) {
            const auto it = found->constFind(column.toLower());
            if (it == found->constEnd()) {
                result.lines << QStringLiteral("  %1  缺少").arg(column);
                result.missing << QStringLiteral("列 %1.%2").arg(table.name, column);
            } else {
                QString line = QStringLiteral("  %1  %2").arg(column, describe(it->type, it->length));
                // The client limits what a user types to the column as it finds it, in the column's
                // own unit; a column shorter than the script's only takes shorter values.
                const int limit = table.complaintTable ? ColumnLengths::of(table.name, column) : 0;
                const bool narrow = it->type == QLatin1String("varchar") || it->type == QLatin1String("char");
                if (limit > 0 && it->length > 0 && (narrow || it->length != limit))
                    line += QStringLiteral("  输入限制为 %1 个%2")
                                .arg(it->length)
                                .arg(narrow ? QStringLiteral("字节") : QStringLiteral("字符"));
                if (table.complaintTable && (it->type == QLatin1String("varchar") || it->type == QLatin1String("char")))
                    line += QStringLiteral("  （非 Unicode 列：数据库代码页以外的字符存不进去）");
                result.lines << line;
            }
        }
    }
}

void DatabaseCheck::checkIndexes(Result &result)
{
    result.lines << QString() << QStringLiteral("== 索引");
    QHash<QString, QPair<QString, QString>> present;  // index name (lower case) -> table, columns
    try {
        const bool sqlite = m_db.dialect().isSqlite();
        const Rows rows =
            sqlite ? m_db.select(QStringLiteral("SELECT name, tbl_name, sql FROM sqlite_master WHERE type = 'index'"))
                   : m_db.select(
                         QStringLiteral("SELECT i.name, OBJECT_NAME(i.object_id) FROM sys.indexes i "
                                        "WHERE i.name IS NOT NULL AND OBJECTPROPERTY(i.object_id, 'IsUserTable') = 1"));
        // SQLite keeps each index's statement: an index of the right name over other columns or
        // another expression is of no use to the statements that rely on it.
        static const QRegularExpression columns(QStringLiteral("\\((.*)\\)\\s*$"),
                                                QRegularExpression::DotMatchesEverythingOption);
        for (int i = 0; i < rows.size(); ++i) {
            const Row row = rows.at(i);
            const QString definition = sqlite ? columns.match(row.text(2)).captured(1).simplified() : QString();
            present.insert(row.text(0).trimmed().toLower(), {row.text(1).trimmed(), definition});
        }
    } catch (const DbError &e) {
        result.lines << QStringLiteral("无法读取索引：%1").arg(firstLine(e.description()));
        result.missing << QStringLiteral("索引不可读");
        return;
    }
    for (const Index &index : requiredIndexes(m_db.dialect().kind())) {
        const QString what = QStringLiteral("%1%2 ON %3 (%4)")
                                 .arg(index.unique ? QStringLiteral("唯一索引 ") : QStringLiteral("索引 "), index.name,
                                      index.table, index.columns);
        const auto it = present.constFind(index.name.toLower());
        const bool found = it != present.constEnd() && it->first.compare(index.table, Qt::CaseInsensitive) == 0;
        const bool same = !found || it->second.isEmpty() || it->second == index.columns;
        QString state = found ? QStringLiteral("有") : QStringLiteral("缺少");
        if (!same) state = QStringLiteral("不同：建在 (%1) 上").arg(it->second);
        result.lines << QStringLiteral("  %1  %2").arg(what, state);
        if (!found || !same) result.missing << what;
    }
}

void DatabaseCheck::checkAccess(Result &result, const QList<Table> &tables)
{
    result.lines << QString() << QStringLiteral("== 权限");
    const Dialect &dialect = m_db.dialect();
    // A read-only file or folder: reading is all there is to check.
    const bool readOnly = m_db.isReadOnly();
    if (readOnly) {
        result.lines << QStringLiteral("  数据库是只读的：可以查看，不能保存修改（文件或文件夹不可写）");
        result.missing << QStringLiteral("写入数据库的权限（数据库是只读的）");
    }
    for (const Table &table : tables) {
        const auto found = m_found.constFind(table.name.toLower());
        if (found == m_found.constEnd()) continue;  // already reported missing
        const QString name = quoted(table.name, dialect);
        QString failure;
        try {
            m_db.select(QStringLiteral("SELECT COUNT(*) FROM %1 WHERE 1 = 0").arg(name));
        } catch (const DbError &e) {
            failure = firstLine(e.description());
        }
        result.lines << QStringLiteral("  读 %1  %2")
                            .arg(table.name,
                                 failure.isEmpty() ? QStringLiteral("可以") : QStringLiteral("不可以：") + failure);
        if (!failure.isEmpty()) result.missing << QStringLiteral("读 %1 的权限").arg(table.name);
        if (!table.complaintTable || readOnly) continue;

        // The writes the client makes, on no row, inside a transaction that is rolled back.
        QStringList columns;
        for (const QString &column : table.columns)
            if (found->contains(column.toLower()) && column.compare(QLatin1String("id"), Qt::CaseInsensitive) != 0)
                columns << quoted(column, dialect);
        if (columns.isEmpty()) continue;
        const QString list = columns.join(QStringLiteral(", "));
        const QStringList writes{QStringLiteral("INSERT INTO %1 (%2) SELECT %2 FROM %1 WHERE 1 = 0").arg(name, list),
                                 QStringLiteral("UPDATE %1 SET %2 = %2 WHERE 1 = 0").arg(name, columns.first()),
                                 QStringLiteral("DELETE FROM %1 WHERE 1 = 0").arg(name)};
        static const char *const verbs[] = {"新增", "修改", "删除"};
        QStringList refused;
        try {
            m_db.begin();
            for (int i = 0; i < writes.size(); ++i) {
                try {
                    m_db.execute(writes.at(i));
                } catch (const DbError &e) {
                    refused << QStringLiteral("%1（%2）").arg(QString::fromUtf8(verbs[i]), firstLine(e.description()));
                }
            }
            m_db.rollback();
        } catch (const DbError &e) {
            m_db.rollback();
            refused << QStringLiteral("写入（%1）").arg(firstLine(e.description()));
        }
        result.lines << QStringLiteral("  写 %1  %2")
                            .arg(table.name, refused.isEmpty()
                                                 ? QStringLiteral("可以（试写已回滚）")
                                                 : QStringLiteral("不可以：") + refused.join(QStringLiteral("；")));
        if (!refused.isEmpty()) result.missing << QStringLiteral("写 %1 的权限").arg(table.name);
    }
}

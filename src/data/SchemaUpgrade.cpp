#include "SchemaUpgrade.h"

#include <sqlite3.h>

#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QStringList>
#include <vector>

#include "Database.h"
#include "Scripts.h"
#include "Telephone.h"

namespace {

struct Step {
    int version;                   // the file's version once the step is done
    QStringList statements;        // run in order, inside the upgrade's transaction
    QStringList readOnlyStandIns;  // temporary objects standing in for the step on a read-only file
};

// Every change of the embedded schema since files began to carry a version, oldest first.
const std::vector<Step> &steps()
{
    static const std::vector<Step> list{
        // The telephone's digits beside the text as typed, so that a household's history is a
        // seek of an index (ix_投诉信息_电话号码) instead of an expression over every complaint.
        {1,
         {QStringLiteral("ALTER TABLE 投诉信息 ADD COLUMN 联系电话号码 TEXT"),
          QStringLiteral("UPDATE 投诉信息 SET 联系电话号码 = tavimor_telephone_digits(联系电话)"
                         " WHERE 联系电话 IS NOT NULL"),
          QStringLiteral("DROP INDEX IF EXISTS ix_投诉信息_电话")},
         {QStringLiteral("CREATE TEMP VIEW 投诉信息 AS SELECT *, tavimor_telephone_digits(联系电话) AS 联系电话号码"
                         " FROM main.投诉信息")}},
    };
    return list;
}

void telephoneDigits(sqlite3_context *context, int, sqlite3_value **arguments)
{
    if (sqlite3_value_type(arguments[0]) == SQLITE_NULL) {
        sqlite3_result_null(context);
        return;
    }
    const auto *text = static_cast<const char16_t *>(sqlite3_value_text16(arguments[0]));
    const int bytes = sqlite3_value_bytes16(arguments[0]);
    const QString digits = Telephone::digits(QString::fromUtf16(text, bytes / 2));
    sqlite3_result_text16(context, digits.utf16(), int(digits.size() * 2), SQLITE_TRANSIENT);
}

void registerFunctions(Database &db)
{
    const QVariant handle = QSqlDatabase::database(db.connectionName(), false).driver()->handle();
    sqlite3 *connection = handle.isValid() ? *static_cast<sqlite3 *const *>(handle.constData()) : nullptr;
    if (!connection) throw DbError(-1, QStringLiteral("无法取得数据库连接的句柄"));
    if (sqlite3_create_function_v2(connection, "tavimor_telephone_digits", 1,
                                   SQLITE_UTF16 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS, nullptr, telephoneDigits,
                                   nullptr, nullptr, nullptr) != SQLITE_OK)
        throw DbError(-1, QStringLiteral("无法登记数据库函数：%1").arg(QString::fromUtf8(sqlite3_errmsg(connection))));
}

// The CREATE TABLE and CREATE INDEX statements of the current schema, each made only when missing.
QStringList missingObjects()
{
    static const QRegularExpression create(QStringLiteral("^CREATE\\s+(UNIQUE\\s+)?(TABLE|INDEX)\\s+"),
                                           QRegularExpression::CaseInsensitiveOption);
    QStringList result;
    for (const QString &statement : Scripts::statements(Scripts::text(QStringLiteral("schema.sqlite.sql")))) {
        const QRegularExpressionMatch m = create.match(statement);
        if (m.hasMatch()) result << m.captured(0) + QStringLiteral("IF NOT EXISTS ") + statement.mid(m.capturedEnd());
    }
    return result;
}

int versionOf(Database &db) { return db.scalar(QStringLiteral("PRAGMA user_version")).toInt(); }

void upgrade(Database &db)
{
    db.transaction([&] {
        // Read again under the write lock: another station may have done it meanwhile.
        const int version = versionOf(db);
        if (version >= SchemaUpgrade::currentVersion()) return;
        for (const Step &step : steps()) {
            if (step.version <= version) continue;
            for (const QString &statement : step.statements) db.execute(statement);
        }
        for (const QString &statement : missingObjects()) {
            try {
                db.execute(statement);
            } catch (const DbError &) {
                // A unique index that the stored rows break (two complaints with one code) is
                // left out; --check-database names it as missing.
                if (!statement.contains(QLatin1String("UNIQUE"), Qt::CaseInsensitive)) throw;
            }
        }
        db.execute(QStringLiteral("PRAGMA user_version = %1").arg(SchemaUpgrade::currentVersion()));
    });
}

}  // namespace

namespace SchemaUpgrade {

int currentVersion() { return steps().back().version; }

void bringUpToDate(Database &db)
{
    registerFunctions(db);
    const int version = versionOf(db);
    if (version > currentVersion())
        throw DbError(-1, QStringLiteral("这个数据库文件由较新版本的程序建立（数据库版本 %1，本程序只认识到版本 %2），"
                                         "请使用新版本的程序打开它。")
                              .arg(version)
                              .arg(currentVersion()));
    if (version == currentVersion()) return;
    const bool made = db.scalar(QStringLiteral("SELECT count(*) FROM sqlite_master"
                                               " WHERE type = 'table' AND name = '投诉信息'"))
                          .toInt() > 0;
    if (!made) return;
    if (!db.isReadOnly()) {
        upgrade(db);
        return;
    }
    for (const Step &step : steps()) {
        if (step.version <= version) continue;
        for (const QString &statement : step.readOnlyStandIns) db.execute(statement);
    }
}

}  // namespace SchemaUpgrade

#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVariant>

// The few places where the SQL of the suite's SQL Server database and of the embedded SQLite file
// differ. Everything else is written once, in portable SQL, with bound parameters.
class Dialect {
public:
    enum Kind { SqlServer, Sqlite };

    explicit Dialect(Kind kind = Sqlite) : m_kind(kind) {}
    Kind kind() const { return m_kind; }
    bool isSqlite() const { return m_kind == Sqlite; }

    // String concatenation of SQL expressions: a + b (SQL Server) or a || b (SQLite).
    QString concat(const QStringList &expressions) const;
    // Length of a text expression: len(x) or length(x).
    QString length(const QString &expression) const;
    // The first `length` characters of a date-time's text "yyyy-MM-dd HH:mm:ss": 7 give the
    // month "yyyy-MM", 10 the day "yyyy-MM-dd" (for grouping).
    QString dateTimePrefix(const QString &expression, int length) const;
    // The hours from one date-time expression to another, with fractions, counted in whole minutes
    // (SQL Server's DATEDIFF in seconds overflows for times 68 years apart).
    QString hoursBetween(const QString &from, const QString &to) const;
    // A text column compared with a text column of another table: this module's tables may carry
    // another collation than the suite's (SQL Server refuses such a comparison, Msg 468), so both
    // sides of the comparison take the database's: "x COLLATE DATABASE_DEFAULT". SQLite compares
    // the bytes either way.
    QString collated(const QString &expression) const;
    // A suite date column that an older suite keeps as text, as a date-time: a text that is no
    // date gives NULL instead of ending the statement (SQL Server: CASE WHEN ISDATE(...) = 1).
    QString storedDate(const QString &expression) const;
    // The hint that makes SQL Server plan a statement for the values it runs with: the lists
    // scoped by department are asked by departments of fifty complaints and of a hundred
    // thousand. Appended at the very end of the statement; nothing in SQLite.
    QString planPerRun() const;
    // "ORDER BY" terms that sort codes of unequal length as numbers: len(c), c.
    QString naturalOrder(const QString &column) const;
    // Text matched literally by LIKE: the pattern "%" + escaped text + "%" pairs with likeEscape().
    static QString containsPattern(const QString &text);
    // " ESCAPE '!'": the escape clause that goes with containsPattern().
    static QString likeEscape() { return QStringLiteral(" ESCAPE '!'"); }

    // SELECT MAX(column) FROM table, holding the lock that serialises the writers that allocate
    // the next number (SQL Server: update and hold locks; SQLite: the immediate transaction does).
    QString maxForUpdate(const QString &table, const QString &column) const;
    // The table hint that makes a read inside a write transaction hold its locks until the end,
    // so that a check ("is this code still free?") and the write that follows cannot be split by
    // another client: " WITH (UPDLOCK, HOLDLOCK)" after the table name on SQL Server; nothing in
    // SQLite, where the immediate transaction already serialises writers.
    QString lockingRead() const;
    // The statement that opens a write transaction.
    QString beginTransaction() const;

    // How a value is bound: date-times as date-times on SQL Server, as "yyyy-MM-dd HH:mm:ss" text
    // in SQLite (so that text comparison is time comparison); dates are midnight date-times.
    QVariant bindValue(const QVariant &value) const;

    static QString sqliteDateTimeFormat() { return QStringLiteral("yyyy-MM-dd HH:mm:ss"); }

private:
    Kind m_kind;
};

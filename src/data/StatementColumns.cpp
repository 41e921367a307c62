#include "StatementColumns.h"

#include <QHash>
#include <QRegularExpression>
#include <QSet>

namespace StatementColumns {

namespace {

#define NAME "[\\p{L}\\p{N}_]+"

// Words that may follow a table's name in place of an alias.
bool isKeyword(const QString &word)
{
    static const QSet<QString> words = {
        QStringLiteral("where"), QStringLiteral("inner"),  QStringLiteral("left"),   QStringLiteral("right"),
        QStringLiteral("full"),  QStringLiteral("outer"),  QStringLiteral("cross"),  QStringLiteral("join"),
        QStringLiteral("on"),    QStringLiteral("set"),    QStringLiteral("with"),   QStringLiteral("order"),
        QStringLiteral("group"), QStringLiteral("having"), QStringLiteral("values"), QStringLiteral("union"),
        QStringLiteral("as"),    QStringLiteral("select"), QStringLiteral("output"), QStringLiteral("default"),
    };
    return words.contains(word.toLower());
}

// The statement's tables, by their names and by their aliases (all lower case), each to its name.
QHash<QString, QString> tablesOf(const QString &sql, QStringList *names)
{
    static const QRegularExpression pattern(
        QStringLiteral("\\b(?:FROM|JOIN|UPDATE|INTO)\\s+(?:dbo\\.)?(" NAME ")(?:\\s+(?:AS\\s+)?(" NAME "))?"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::UseUnicodePropertiesOption);
    QHash<QString, QString> tables;
    for (auto it = pattern.globalMatch(sql); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        const QString table = m.captured(1);
        if (isKeyword(table)) continue;
        if (!names->contains(table, Qt::CaseInsensitive)) names->append(table);
        tables.insert(table.toLower(), table);
        const QString alias = m.captured(2);
        if (!alias.isEmpty() && !isKeyword(alias)) tables.insert(alias.toLower(), table);
    }
    return tables;
}

}  // namespace

QVector<qsizetype> marks(const QString &sql)
{
    QVector<qsizetype> found;
    const qsizetype n = sql.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = sql.at(i);
        if (c == QLatin1Char('\'') || c == QLatin1Char('"') || c == QLatin1Char('[')) {
            const QChar close = c == QLatin1Char('[') ? QLatin1Char(']') : c;
            for (++i; i < n; ++i) {
                if (sql.at(i) != close) continue;
                if (i + 1 < n && sql.at(i + 1) == close) ++i;  // a doubled quote stands for itself
                else break;
            }
        } else if (c == QLatin1Char('-') && i + 1 < n && sql.at(i + 1) == QLatin1Char('-')) {
            while (i < n && sql.at(i) != QLatin1Char('\n')) ++i;
        } else if (c == QLatin1Char('/') && i + 1 < n && sql.at(i + 1) == QLatin1Char('*')) {
            i = sql.indexOf(QStringLiteral("*/"), i + 2);
            if (i < 0) break;
            ++i;
        } else if (c == QLatin1Char('?')) {
            found << i;
        }
    }
    return found;
}

QVector<Met> columnsMet(const QString &sql, const std::function<bool(const QString &, const QString &)> &has)
{
    static const QRegularExpression compared(
        QStringLiteral("(?:(" NAME ")\\.)?(" NAME ")\\s*(?:=|<>|!=|<=|>=|<|>)\\s*$"),
        QRegularExpression::UseUnicodePropertiesOption);
    static const QRegularExpression listed(
        QStringLiteral("(?:(" NAME ")\\.)?(" NAME ")\\s+IN\\s*\\((?:\\s*\\?\\s*,)*\\s*$"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::UseUnicodePropertiesOption);
    QStringList names;
    const QHash<QString, QString> tables = tablesOf(sql, &names);
    const QVector<qsizetype> positions = marks(sql);
    QVector<Met> met(positions.size());
    for (int i = 0; i < positions.size(); ++i) {
        // Only the text just before the mark counts.
        const qsizetype from = qMax<qsizetype>(0, positions.at(i) - 200);
        const QString before = sql.mid(from, positions.at(i) - from);
        QRegularExpressionMatch m = compared.match(before);
        if (!m.hasMatch()) m = listed.match(before);
        if (!m.hasMatch()) continue;
        const QString qualifier = m.captured(1);
        const QString column = m.captured(2);
        if (!qualifier.isEmpty()) {
            const QString table = tables.value(qualifier.toLower());
            if (!table.isEmpty()) met[i] = Met{table, column};
            continue;
        }
        QString owner;
        int owners = 0;
        for (const QString &table : names) {
            if (!has(table, column)) continue;
            owner = table;
            ++owners;
        }
        if (owners == 1) met[i] = Met{owner, column};
    }
    return met;
}

#undef NAME

}  // namespace StatementColumns

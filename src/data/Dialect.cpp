#include "Dialect.h"

QString Dialect::concat(const QStringList &expressions) const
{
    return expressions.join(m_kind == SqlServer ? QStringLiteral(" + ") : QStringLiteral(" || "));
}

QString Dialect::length(const QString &expression) const
{
    return (m_kind == SqlServer ? QStringLiteral("len(%1)") : QStringLiteral("length(%1)")).arg(expression);
}

QString Dialect::dateTimePrefix(const QString &expression, int length) const
{
    return (m_kind == SqlServer ? QStringLiteral("CONVERT(char(%2), %1, 120)") : QStringLiteral("substr(%1, 1, %2)"))
        .arg(expression)
        .arg(length);
}

QString Dialect::hoursBetween(const QString &from, const QString &to) const
{
    return (m_kind == SqlServer ? QStringLiteral("(DATEDIFF(minute, %1, %2) / 60.0)")
                                : QStringLiteral("((julianday(%2) - julianday(%1)) * 24.0)"))
        .arg(from, to);
}

QString Dialect::collated(const QString &expression) const
{
    return m_kind == SqlServer ? expression + QStringLiteral(" COLLATE DATABASE_DEFAULT") : expression;
}

QString Dialect::storedDate(const QString &expression) const
{
    // A date-time column is written as "yyyy-mm-dd hh:mi:ss" (style 120) and read back as it was;
    // a text column is taken as it is.
    if (m_kind == SqlServer)
        return QStringLiteral(
                   "(CASE WHEN ISDATE(CONVERT(varchar(30), %1, 120)) = 1"
                   " THEN CONVERT(datetime, CONVERT(varchar(30), %1, 120)) END)")
            .arg(expression);
    return expression;
}

QString Dialect::planPerRun() const { return m_kind == SqlServer ? QStringLiteral(" OPTION (RECOMPILE)") : QString(); }

QString Dialect::naturalOrder(const QString &column) const { return length(column) + QStringLiteral(", ") + column; }

QString Dialect::containsPattern(const QString &text)
{
    QString escaped;
    escaped.reserve(text.size() + 2);
    escaped += QLatin1Char('%');
    for (QChar c : text) {
        if (c == QLatin1Char('!') || c == QLatin1Char('%') || c == QLatin1Char('_') || c == QLatin1Char('['))
            escaped += QLatin1Char('!');
        escaped += c;
    }
    escaped += QLatin1Char('%');
    return escaped;
}

QString Dialect::maxForUpdate(const QString &table, const QString &column) const
{
    if (m_kind == SqlServer)
        return QStringLiteral("SELECT MAX(%2) FROM %1 WITH (UPDLOCK, HOLDLOCK)").arg(table, column);
    return QStringLiteral("SELECT MAX(%2) FROM %1").arg(table, column);
}

QString Dialect::lockingRead() const
{
    return m_kind == SqlServer ? QStringLiteral(" WITH (UPDLOCK, HOLDLOCK)") : QString();
}

QString Dialect::beginTransaction() const
{
    return m_kind == SqlServer ? QStringLiteral("BEGIN TRANSACTION") : QStringLiteral("BEGIN IMMEDIATE");
}

QVariant Dialect::bindValue(const QVariant &value) const
{
    const int type = value.metaType().id();
    if (type == QMetaType::QDate) {
        const QDate date = value.toDate();
        if (!date.isValid()) return QVariant(QMetaType::fromType<QString>());
        const QDateTime midnight(date, QTime(0, 0));
        return m_kind == SqlServer ? QVariant(midnight) : QVariant(midnight.toString(sqliteDateTimeFormat()));
    }
    if (type == QMetaType::QDateTime) {
        const QDateTime dt = value.toDateTime();
        if (!dt.isValid()) return QVariant(QMetaType::fromType<QString>());
        if (m_kind == SqlServer) return QVariant(dt);
        return QVariant(dt.toString(sqliteDateTimeFormat()));
    }
    if (!value.isValid()) return QVariant(QMetaType::fromType<QString>());  // typed NULL
    return value;
}

#include "DateText.h"

#include <QRegularExpression>

#include "data/Rows.h"

namespace DateText {

QString general(const QDateTime &value)
{
    if (!value.isValid()) return QString();
    if (value.time() == QTime(0, 0)) return value.date().toString(QStringLiteral("yyyy-MM-dd"));
    return value.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QString minutes(const QDateTime &value)
{
    return value.isValid() ? value.toString(QStringLiteral("yyyy-MM-dd HH:mm")) : QString();
}

QString list(const QDateTime &value)
{
    return value.isValid() ? value.toString(QStringLiteral("yyyy/MM/dd HH:mm")) : QString();
}

QString general(const QVariant &value)
{
    if (value.isNull()) return QString();
    if (value.typeId() == QMetaType::QString) {
        const QString s = value.toString();
        if (Value::isStoredDateTime(s)) return s.endsWith(QLatin1String(" 00:00:00")) ? s.left(10) : s;
    }
    return general(Value::dateTime(value));
}

QString list(const QVariant &value)
{
    if (value.isNull()) return QString();
    if (value.typeId() == QMetaType::QString) {
        const QString s = value.toString();
        if (Value::isStoredDateTime(s)) {
            QString text = s.left(16);
            text[4] = QLatin1Char('/');
            text[7] = QLatin1Char('/');
            return text;
        }
    }
    return list(Value::dateTime(value));
}

QString day(const QDate &value) { return value.isValid() ? value.toString(QStringLiteral("yyyy-MM-dd")) : QString(); }

QDateTime parse(const QString &text)
{
    static const QRegularExpression pattern(QStringLiteral(
        "^\\s*(\\d{4})[-/.](\\d{1,2})[-/.](\\d{1,2})(?:[ T]+(\\d{1,2}):(\\d{1,2})(?::(\\d{1,2})(?:\\.\\d+)?)?)?\\s*$"));
    const QRegularExpressionMatch m = pattern.match(text);
    if (!m.hasMatch()) return QDateTime();
    const QDate date(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    if (!date.isValid()) return QDateTime();
    QTime time(0, 0);
    if (m.capturedLength(4) > 0) {
        time = QTime(m.captured(4).toInt(), m.captured(5).toInt(), m.capturedLength(6) > 0 ? m.captured(6).toInt() : 0);
        if (!time.isValid()) return QDateTime();
    }
    return QDateTime(date, time);
}

static qint64 boundaries(const QDateTime &from, const QDateTime &to, qint64 unitSeconds)
{
    const auto floorDiv = [](qint64 a, qint64 b) { return a >= 0 ? a / b : -((-a + b - 1) / b); };
    // Counted on the local wall clock, as the user sees the times.
    const qint64 a = QDateTime(from.date(), from.time(), Qt::UTC).toSecsSinceEpoch();
    const qint64 b = QDateTime(to.date(), to.time(), Qt::UTC).toSecsSinceEpoch();
    return floorDiv(b, unitSeconds) - floorDiv(a, unitSeconds);
}

qint64 minuteBoundaries(const QDateTime &from, const QDateTime &to) { return boundaries(from, to, 60); }

qint64 hourBoundaries(const QDateTime &from, const QDateTime &to) { return boundaries(from, to, 3600); }

QString waiting(const QDateTime &from, const QDateTime &now)
{
    if (!from.isValid() || !now.isValid()) return QString();
    const qint64 n = qMax<qint64>(0, minuteBoundaries(from, now));  // a time in the future waits 0
    QString text;
    if (n >= 60) text = QString::number(n / 60) + QStringLiteral("小时");
    return text + QString::number(n % 60) + QStringLiteral("分钟");
}

}  // namespace DateText

#include "DateText.h"

#include <QRegularExpression>

#include "data/Rows.h"

namespace DateText {

namespace {

// "yyyy?MM?dd HH:mm:ss" cut after `length` characters, with `dash` between the parts of the
// date, written digit by digit: lists format thousands of times, and a format string is read
// anew on every call. Years outside 1000..9999 take Qt's own formatting.
QString digits(const QDate &date, const QTime &time, char dash, int length)
{
    if (date.year() < 1000 || date.year() > 9999) {
        const QString format =
            QStringLiteral("yyyy-MM-dd HH:mm:ss").left(length).replace(QLatin1Char('-'), QLatin1Char(dash));
        return QDateTime(date, time).toString(format);
    }
    char text[20];
    const auto two = [&](int at, int n) {
        text[at] = char('0' + n / 10);
        text[at + 1] = char('0' + n % 10);
    };
    two(0, date.year() / 100);
    two(2, date.year() % 100);
    text[4] = dash;
    two(5, date.month());
    text[7] = dash;
    two(8, date.day());
    text[10] = ' ';
    two(11, time.hour());
    text[13] = ':';
    two(14, time.minute());
    text[16] = ':';
    two(17, time.second());
    return QString::fromLatin1(text, length);
}

}  // namespace

QString general(const QDateTime &value)
{
    if (!value.isValid()) return QString();
    return digits(value.date(), value.time(), '-', value.time() == QTime(0, 0) ? 10 : 19);
}

QString minutes(const QDateTime &value)
{
    return value.isValid() ? digits(value.date(), value.time(), '-', 16) : QString();
}

QString list(const QDateTime &value) { return minutes(value); }

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
        if (Value::isStoredDateTime(s)) return s.left(16);
    }
    return list(Value::dateTime(value));
}

QString day(const QDate &value) { return value.isValid() ? digits(value, QTime(0, 0), '-', 10) : QString(); }

QDate earliestDay() { return QDate(1753, 1, 1); }

QDate latestDay() { return QDate(9999, 12, 31); }

bool storable(const QDate &day) { return day.isValid() && day >= earliestDay() && day <= latestDay(); }

QString outOfRangeMessage(const QString &field)
{
    return field + QStringLiteral("超出范围，只能是1753-01-01至9999-12-31之间的日期！");
}

QDateTime endOfDay(const QDate &day)
{
    if (day >= latestDay()) return QDateTime(latestDay(), QTime(23, 59, 59));
    return day.addDays(1).startOfDay();
}

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
    // Counted on the local wall clock, as the user sees the times: seconds since the start of
    // the Julian calendar (whole days of it are whole hours and minutes).
    const auto wallSeconds = [](const QDateTime &t) {
        return t.date().toJulianDay() * 86400 + t.time().msecsSinceStartOfDay() / 1000;
    };
    const qint64 a = wallSeconds(from);
    const qint64 b = wallSeconds(to);
    return floorDiv(b, unitSeconds) - floorDiv(a, unitSeconds);
}

qint64 minuteBoundaries(const QDateTime &from, const QDateTime &to) { return boundaries(from, to, 60); }

qint64 hourBoundaries(const QDateTime &from, const QDateTime &to) { return boundaries(from, to, 3600); }

namespace {

// Written into one string: the lists show one of these per row.
void appendNumber(QString &text, qint64 value)
{
    char16_t digits[20];
    int count = 0;
    do {
        digits[count++] = char16_t(u'0' + value % 10);
        value /= 10;
    } while (value > 0);
    while (count > 0) text += QChar(digits[--count]);
}

QString waitingText(const QDateTime &from, const QDateTime &now, bool inDays)
{
    if (!from.isValid() || !now.isValid()) return QString();
    const qint64 n = qMax<qint64>(0, minuteBoundaries(from, now));  // a time in the future waits 0
    QString text;
    text.reserve(24);
    const qint64 hours = n / 60;
    if (inDays && hours >= kDaysFromHours) {
        appendNumber(text, hours / 24);
        text += u"天";
        appendNumber(text, hours % 24);
        text += u"小时";
        return text;
    }
    if (n >= 60) {
        appendNumber(text, hours);
        text += u"小时";
    }
    appendNumber(text, n % 60);
    text += u"分钟";
    return text;
}

}  // namespace

QString waiting(const QDateTime &from, const QDateTime &now) { return waitingText(from, now, false); }

QString waitingInDays(const QDateTime &from, const QDateTime &now) { return waitingText(from, now, true); }

}  // namespace DateText

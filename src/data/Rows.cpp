#include "Rows.h"

#include <QHash>
#include <climits>

#include "DbError.h"

Columns::Columns(const QStringList &names) : m_names(names)
{
    m_index.reserve(names.size());
    for (int i = 0; i < names.size(); ++i) {
        const QString key = names.at(i).toLower();
        if (!m_index.contains(key)) m_index.insert(key, i);  // the first of two equal names wins
    }
}

int Columns::require(const QString &name) const
{
    const int index = indexOf(name);
    if (index < 0) throw DbError(-1, QStringLiteral("结果中没有列 %1").arg(name));
    return index;
}

namespace Value {

QString unpadded(const QVariant &value)
{
    QString result = text(value);
    while (result.endsWith(QLatin1Char(' '))) result.chop(1);
    return result;
}

QString text(const QVariant &value)
{
    if (value.isNull()) return QString();
    switch (value.metaType().id()) {
        case QMetaType::QDateTime: return value.toDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        case QMetaType::QDate: return value.toDate().toString(QStringLiteral("yyyy-MM-dd"));
        case QMetaType::Bool: return value.toBool() ? QStringLiteral("1") : QStringLiteral("0");
        default: return value.toString();
    }
}

bool isStoredDateTime(const QString &s)
{
    if (s.size() != 19) return false;
    static const char pattern[] = "dddd-dd-dd dd:dd:dd";
    for (int i = 0; i < 19; ++i) {
        const QChar c = s.at(i);
        if (pattern[i] == 'd' ? !c.isDigit() : c != QLatin1Char(pattern[i])) return false;
    }
    return true;
}

namespace {

int digits(const QString &s, int from, int length)
{
    int n = 0;
    for (int i = from; i < from + length; ++i) n = n * 10 + (s.at(i).unicode() - '0');
    return n;
}

// The local time of a wall-clock reading. Building a local QDateTime asks the C library for the
// time zone every time (a file check per value); lists read thousands of times, so the offset
// from UTC is looked up once per day of the calendar instead (once per hour on a day whose
// offset changes), and the value carries it. The result compares equal to the same local
// QDateTime.
QDateTime localWallClock(const QDate &date, const QTime &time)
{
    constexpr int kChanges = INT_MIN;           // the day's offset changes: looked up by the hour
    thread_local QHash<qint64, int> midnights;  // the offset at a day's midnight
    thread_local QHash<qint64, int> days;
    thread_local QHash<qint64, int> hours;
    const auto midnight = [](const QDate &of) {
        auto it = midnights.constFind(of.toJulianDay());
        if (it == midnights.cend()) it = midnights.insert(of.toJulianDay(), QDateTime(of, QTime(0, 0)).offsetFromUtc());
        return *it;
    };
    const qint64 day = date.toJulianDay();
    auto d = days.constFind(day);
    if (d == days.cend()) {
        const int start = midnight(date);
        d = days.insert(day, start == midnight(date.addDays(1)) ? start : kChanges);
    }
    if (*d != kChanges) return QDateTime(date, time, Qt::OffsetFromUTC, *d);
    const qint64 hour = day * 24 + time.hour();
    auto h = hours.constFind(hour);
    if (h == hours.cend()) h = hours.insert(hour, QDateTime(date, QTime(time.hour(), 0)).offsetFromUtc());
    return QDateTime(date, time, Qt::OffsetFromUTC, *h);
}

}  // namespace

QDateTime dateTime(const QVariant &value)
{
    if (value.isNull()) return QDateTime();
    const int type = value.metaType().id();
    if (type == QMetaType::QDateTime) return value.toDateTime();
    if (type == QMetaType::QDate) return QDateTime(value.toDate(), QTime(0, 0));
    const QString s = value.toString().trimmed();
    if (isStoredDateTime(s)) {
        const QDate date(digits(s, 0, 4), digits(s, 5, 2), digits(s, 8, 2));
        const QTime time(digits(s, 11, 2), digits(s, 14, 2), digits(s, 17, 2));
        if (date.isValid() && time.isValid()) return localWallClock(date, time);
    }
    static const char *const formats[] = {"yyyy-MM-dd HH:mm:ss.zzz", "yyyy-MM-dd HH:mm", "yyyy-MM-dd",
                                          "yyyy-MM-ddTHH:mm:ss", "yyyy-MM-ddTHH:mm:ss.zzz"};
    for (const char *format : formats) {
        const QDateTime dt = QDateTime::fromString(s, QLatin1String(format));
        if (dt.isValid()) return dt;
    }
    return QDateTime();
}

}  // namespace Value

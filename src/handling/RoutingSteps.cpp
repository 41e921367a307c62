#include "RoutingSteps.h"

#include <QHash>

#include "StoreClock.h"
#include "data/Database.h"

namespace {

// The local time of a wall-clock reading. Building a local QDateTime asks the C library for the
// time zone every time (a file check per value); the offset from UTC is looked up once per hour
// of the calendar instead, and the value carries it.
QDateTime localWallClock(const QDate &date, const QTime &time)
{
    thread_local QHash<qint64, int> offsets;
    const qint64 hour = date.toJulianDay() * 24 + time.hour();
    auto it = offsets.constFind(hour);
    if (it == offsets.cend()) it = offsets.insert(hour, QDateTime(date, QTime(time.hour(), 0)).offsetFromUtc());
    return QDateTime(date, time, Qt::OffsetFromUTC, *it);
}

}  // namespace

QDateTime readDateTime(const QVariant &value)
{
    if (value.metaType().id() == QMetaType::QString) {
        const QString s = value.toString();
        if (s.size() == 19 && s.at(4) == QLatin1Char('-') && s.at(7) == QLatin1Char('-') &&
            s.at(10) == QLatin1Char(' ') && s.at(13) == QLatin1Char(':') && s.at(16) == QLatin1Char(':')) {
            const auto number = [&s](int from, int length) {
                int n = 0;
                for (int i = from; i < from + length; ++i) {
                    const int digit = s.at(i).unicode() - '0';
                    if (digit < 0 || digit > 9) return -1;
                    n = n * 10 + digit;
                }
                return n;
            };
            const QDate date(number(0, 4), number(5, 2), number(8, 2));
            const QTime time(number(11, 2), number(14, 2), number(17, 2));
            if (date.isValid() && time.isValid()) return localWallClock(date, time);
        }
    }
    return Value::dateTime(value);
}

namespace RoutingSteps {

qint64 add(Database &db, const NewStep &step)
{
    return db.insert(QStringLiteral("投诉信息处理"), {{QStringLiteral("投诉编号"), step.complaintCode},
                                                      {QStringLiteral("处理部门"), step.department},
                                                      {QStringLiteral("处理岗位"), step.post},
                                                      {QStringLiteral("处理意见"), textOrNull(step.opinion)},
                                                      {QStringLiteral("处理结果"), textOrNull(step.result)},
                                                      {QStringLiteral("顺序号"), step.order},
                                                      {QStringLiteral("接受时间"), step.accepted},
                                                      {QStringLiteral("处理结束时间"), step.finished}});
}

bool close(Database &db, qint64 stepId, const QString &result, const QDateTime &now)
{
    return db.update(QStringLiteral("投诉信息处理"),
                     {{QStringLiteral("处理结果"), textOrNull(result)}, {QStringLiteral("处理结束时间"), now}},
                     QStringLiteral("ID = ? AND 处理结束时间 IS NULL"), {stepId}) > 0;
}

int count(Database &db, const QString &complaintCode)
{
    return db.scalar(QStringLiteral("SELECT count(*) FROM 投诉信息处理 WHERE 投诉编号 = ?"), {complaintCode}).toInt();
}

}  // namespace RoutingSteps

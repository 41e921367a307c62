#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QVariant>

// The date and time texts of the program.
namespace DateText {

// The general date-and-time text: "yyyy-MM-dd HH:mm:ss", or only the date at midnight.
QString general(const QDateTime &value);
// The same texts of a column value (NULL gives the empty text). The form SQLite keeps is cut
// into the text directly: lists show a hundred thousand of them.
QString general(const QVariant &value);
QString list(const QVariant &value);
// "yyyy-MM-dd HH:mm": the complaint time as it is typed at reception.
QString minutes(const QDateTime &value);
// Times shown in the lists: the same "yyyy-MM-dd HH:mm", so that a date reads alike everywhere.
QString list(const QDateTime &value);
// "yyyy-MM-dd".
QString day(const QDate &value);

// Reads a date with or without a time, in the forms a user types: "2026-3-5", "2026-03-05 9:05",
// "2026/03/05 09:05:00", "2026.03.05". An invalid or empty text gives an invalid QDateTime.
QDateTime parse(const QString &text);

// The days a date can have in the database: SQL Server's DATETIME holds 1753-01-01 to 9999-12-31.
// A date the user types outside them is refused with outOfRangeMessage(the field's name); the
// pickers offer no other days.
QDate earliestDay();
QDate latestDay();
bool storable(const QDate &day);
QString outOfRangeMessage(const QString &field);
// The end of a range of whole days that ends with `day`: the midnight after it, or, after the
// latest day, its last second (the midnight after it cannot be stored).
QDateTime endOfDay(const QDate &day);

// Minute and hour boundaries crossed between two moments (like counting clock ticks, so
// 10:59:59 to 11:00:00 is one minute and one hour).
qint64 minuteBoundaries(const QDateTime &from, const QDateTime &to);
qint64 hourBoundaries(const QDateTime &from, const QDateTime &to);

// The waiting time: whole hours + "小时" (only from 60 minutes on), then minutes + "分钟":
// 125 minutes give "2小时5分钟", 60 give "1小时0分钟", 59 give "59分钟".
QString waiting(const QDateTime &from, const QDateTime &now);
// The same below kDaysFromHours hours; from there on whole days + "天" and the remaining whole
// hours + "小时" (9910 hours give "412天22小时"): a wait of weeks is read in days.
QString waitingInDays(const QDateTime &from, const QDateTime &now);
constexpr qint64 kDaysFromHours = 72;

}  // namespace DateText

#pragma once

#include <QDateTime>
#include <functional>

// Where the routing stores take "now" from. It is the client's clock, to the second (the database
// keeps no fractions); tests pin it to a fixed moment.
using NowSource = std::function<QDateTime()>;

inline QDateTime clientNow()
{
    const QDateTime now = QDateTime::currentDateTime();
    return now.addMSecs(-now.time().msec());
}

// Reads a date-time column as local time, quickly: the stored text "yyyy-MM-dd HH:mm:ss" without
// a format parser or a time-zone lookup per value (lists of thousands of rows read two per row),
// anything else through Value::dateTime. The result compares equal to the same local QDateTime.
QDateTime readDateTime(const QVariant &value);

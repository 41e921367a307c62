#pragma once

#include <QDateTime>
#include <functional>

// Where the routing stores take "now" from. It is the client's clock, to the second (the database
// keeps no fractions); tests pin it to a fixed moment.
using NowSource = std::function<QDateTime()>;

inline QDateTime clientNow() {
    const QDateTime now = QDateTime::currentDateTime();
    return now.addMSecs(-now.time().msec());
}

// Reads a date-time column quickly: the stored text "yyyy-MM-dd HH:mm:ss" without a format parser
// (lists of thousands of rows read two times per row), anything else through Value::dateTime.
QDateTime readDateTime(const QVariant &value);

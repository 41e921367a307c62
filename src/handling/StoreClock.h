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

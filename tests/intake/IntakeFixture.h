#pragma once

#include <QDateTime>

#include "TestDatabase.h"
#include "intake/ComplaintStore.h"

// Pins the clock the reception reads "now" from, for the lifetime of the object.
class PinnedClock {
public:
    explicit PinnedClock(const QDateTime &now)
    {
        ComplaintStore::setClock([now] { return now; });
    }
    ~PinnedClock() { ComplaintStore::setClock(nullptr); }
    PinnedClock(const PinnedClock &) = delete;
    PinnedClock &operator=(const PinnedClock &) = delete;
};

// The demo receptionist: 1001 张晓燕, 翠苑物业服务中心 (5), 前台接待员 (502).
inline void loginReceptionist()
{
    TestDatabase::login(QStringLiteral("1001"), QStringLiteral("张晓燕"), QStringLiteral("5"),
                        QStringLiteral("翠苑物业服务中心"), QStringLiteral("502"), QStringLiteral("前台接待员"));
}

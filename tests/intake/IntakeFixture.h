#pragma once

#include <QDateTime>

#include "TestDatabase.h"
#include "common/Clock.h"
#include "intake/ComplaintStore.h"

// Pins the program's clock for the lifetime of the object.
using PinnedClock = Clock::Pinned;

// The demo receptionist: 1001 张晓燕, 翠苑物业服务中心 (5), 前台接待员 (502).
inline void loginReceptionist()
{
    TestDatabase::login(QStringLiteral("1001"), QStringLiteral("张晓燕"), QStringLiteral("5"),
                        QStringLiteral("翠苑物业服务中心"), QStringLiteral("502"), QStringLiteral("前台接待员"));
}

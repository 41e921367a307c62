#pragma once

#include <QDateTime>
#include <QPushButton>
#include <QTest>
#include <memory>

#include "TestDatabase.h"
#include "common/Clock.h"
#include "intake/ComplaintStore.h"
#include "intake/IntakeWindows.h"

// Pins the program's clock for the lifetime of the object.
using PinnedClock = Clock::Pinned;

// The demo receptionist: 1001 张晓燕, 翠苑物业服务中心 (5), 前台接待员 (502).
inline void loginReceptionist()
{
    TestDatabase::login(QStringLiteral("1001"), QStringLiteral("张晓燕"), QStringLiteral("5"),
                        QStringLiteral("翠苑物业服务中心"), QStringLiteral("502"), QStringLiteral("前台接待员"));
}

// The reception window on the demo data, logged in as the demo receptionist. A fixture opens it
// once what must come first (a pinned clock) is in place.
struct ReceptionFixture {
    TestDatabase db{true};
    std::unique_ptr<QWidget> window;

    void open(int width, int height)
    {
        loginReceptionist();
        window.reset(createReceptionWindow());
        window->resize(width, height);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    }
    template <typename T = QWidget>
    T *get(const char *name) const
    {
        T *widget = window->findChild<T *>(QString::fromUtf8(name));
        if (!widget) qFatal("no control %s", name);
        return widget;
    }
    void click(const char *button) const { QTest::mouseClick(get<QPushButton>(button), Qt::LeftButton); }
};

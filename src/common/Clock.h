#pragma once

#include <QDate>
#include <QDateTime>

// The one place the program reads "now" and "today" from: the client's clock, to the second (the
// database keeps no fractions). Tests pin it to a fixed moment, and every store and window then
// sees that moment, so month ends, midnight and the 24-hour edges can be tested anywhere.
namespace Clock {

QDateTime now();
QDate today();

// Every later now() and today() return this moment (its milliseconds dropped) until unpin().
void pin(const QDateTime &moment);
void unpin();

// Pins the clock for one scope and restores what was there before.
class Pinned {
public:
    explicit Pinned(const QDateTime &moment);
    ~Pinned();
    Pinned(const Pinned &) = delete;
    Pinned &operator=(const Pinned &) = delete;

private:
    QDateTime m_previous;
};

}  // namespace Clock

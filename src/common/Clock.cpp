#include "common/Clock.h"

namespace {

QDateTime &pinned()
{
    static QDateTime moment;  // invalid: not pinned
    return moment;
}

QDateTime toSecond(const QDateTime &moment) { return moment.addMSecs(-moment.time().msec()); }

}  // namespace

namespace Clock {

QDateTime now() { return pinned().isValid() ? pinned() : toSecond(QDateTime::currentDateTime()); }

QDate today() { return now().date(); }

void pin(const QDateTime &moment) { pinned() = moment.isValid() ? toSecond(moment) : QDateTime(); }

void unpin() { pinned() = QDateTime(); }

Pinned::Pinned(const QDateTime &moment) : m_previous(pinned()) { pin(moment); }

Pinned::~Pinned() { pinned() = m_previous; }

}  // namespace Clock

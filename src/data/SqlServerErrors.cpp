#include "SqlServerErrors.h"

#include <QStringList>

namespace SqlServerErrors {

using FailureText::Kind;

namespace {

Kind fromServerNumber(int number)
{
    switch (number) {
        case 1222:  // lock request time-out
        case 1205:  // chosen as deadlock victim
            return Kind::Locked;
        case 3906:  // database is read-only
        case 3910: return Kind::ReadOnly;
        case 1105:  // could not allocate space
        case 9002:  // transaction log full
            return Kind::DiskFull;
        case 20002:  // FreeTDS: the server connection failed
        case 20009:  // FreeTDS: the server is unavailable or does not exist
            return Kind::CannotConnect;
        // FreeTDS's own numbers (with the warning state 01000) for a link that broke off under a
        // request: time-out, failed read, failed write, end of stream.
        case 20003:
        case 20004:
        case 20006:
        case 20017: return Kind::ConnectionLost;
        case 18456: return Kind::LoginRefused;  // login failed for the user
        case 8152:                              // string or binary data would be truncated
        case 2628: return Kind::TooLong;        // the same, naming the column (2019 and later)
        case 242: return Kind::DateOutOfRange;  // a date outside DATETIME's range
        case 823:                               // operating-system I/O error on a data page
        case 824:                               // logical consistency error on a page
            return Kind::Damaged;
        default: return Kind::Other;
    }
}

}  // namespace

Kind classify(const QString &codes)
{
    Kind first = Kind::Other;
    bool cannotConnect = false;
    for (const QString &part : codes.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QString code = part.trimmed();
        bool numeric = false;
        const int number = code.toInt(&numeric);
        Kind kind = Kind::Other;
        if (code == QLatin1String("08001") || code == QLatin1String("08004")) {
            kind = Kind::CannotConnect;  // unable to establish, or the server refused it
        } else if (code.startsWith(QLatin1String("08"))) {
            kind = Kind::ConnectionLost;
        } else if (code == QLatin1String("HYT00") || code == QLatin1String("HYT01")) {
            kind = Kind::TooSlow;  // the statement time-out cancelled it
        } else if (numeric) {
            kind = fromServerNumber(number);
        }
        // A refused login comes with the state of a connection that could not be made.
        if (kind == Kind::LoginRefused) return kind;
        if (kind == Kind::CannotConnect) cannotConnect = true;
        if (first == Kind::Other) first = kind;
    }
    return cannotConnect ? Kind::CannotConnect : first;
}

}  // namespace SqlServerErrors

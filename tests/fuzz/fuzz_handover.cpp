// Any argument string as the suite's session hand-over: ten comma-separated fields are taken as
// they are, fewer change nothing.
#include <QStringList>

#include "FuzzSupport.h"
#include "common/Session.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString line = fuzzText(data, size);
    const QString marker = QStringLiteral("\x01unchanged");
    gUserID = gPostCode = gPostTypeName = marker;
    const QStringList fields = line.split(QLatin1Char(','));
    const bool taken = Session::takeHandOver(line);
    FUZZ_CHECK(taken == (fields.size() >= Session::handOverFieldCount()));
    if (taken) {
        FUZZ_CHECK(gUserID == fields.at(0));
        FUZZ_CHECK(gPostCode == fields.at(4));
        FUZZ_CHECK(gPostTypeName == fields.at(9));
        FUZZ_CHECK(Session::isSuperUser() == (fields.at(0) == Session::superUserId()));
    } else {
        FUZZ_CHECK(gUserID == marker && gPostCode == marker && gPostTypeName == marker);
    }
    return 0;
}

// Any text typed as a complaint time (reception, time panel) or as an assignment date. What is
// accepted is a valid moment that reads back the same from its own text.
#include "FuzzSupport.h"
#include "common/DateText.h"
#include "routing/AssignmentStore.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = fuzzText(data, size);
    const QDateTime moment = DateText::parse(text);
    if (moment.isValid()) {
        FUZZ_CHECK(DateText::parse(DateText::general(moment)) == moment);
        FUZZ_CHECK(DateText::parse(DateText::minutes(moment)).isValid());
        FUZZ_CHECK(DateText::parse(DateText::day(moment.date())) == QDateTime(moment.date(), QTime(0, 0)));
    }
    const QDate day = AssignmentStore::parseDay(text);
    if (day.isValid()) FUZZ_CHECK(AssignmentStore::parseDay(DateText::day(day)) == day);
    return 0;
}

// The command line's date and zone texts: whatever is typed gives a value that means what it says
// or none, and a value reads back the same from its own text. A TZ rule text (the end of every zone
// file) that reads gives spans that hold the times asked about.

#include <string>

#include "FuzzInput.h"
#include "cli/CliCommon.h"
#include "track/Calendar.h"
#include "track/TimeZone.h"
#include "track/ZoneRules.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    const std::string_view text(reinterpret_cast<const char*>(pData), nSize);

    if (const std::optional<LogDateTime> dt = ParseLogDateTime(text)) {
        FUZZ_CHECK(dt->wYear >= kFirstCalendarYear && dt->wYear <= kLastCalendarYear);
        FUZZ_CHECK(dt->bMonth >= 1 && dt->bMonth <= 12 && dt->bDay >= 1 && dt->bDay <= 31);
        FUZZ_CHECK(dt->bHour < 24 && dt->bMinute < 60 && dt->bSecond < 60);
        uint32_t dwSeconds = 0;
        FUZZ_CHECK(DateTimeToSeconds(*dt, dwSeconds));
        FUZZ_CHECK(SecondsToDateTime(dwSeconds, 0) == *dt);
        FUZZ_CHECK(text.size() == 16 || text.size() == 19);
    }

    if (const std::optional<int32_t> offset = ParseTimeZoneText(text)) {
        FUZZ_CHECK(*offset >= -(14 * 3600 + 59 * 60) && *offset <= 14 * 3600 + 59 * 60);
        FUZZ_CHECK(*offset % 60 == 0);
        FUZZ_CHECK(ParseTimeZoneText(TimeZoneText(*offset)) == offset);
        // What the command line accepts is what the zone option resolves to.
        const std::optional<TimeZone> zone = ResolveTimeZone(std::string(text));
        FUZZ_CHECK(zone && zone->OffsetAt(0) == *offset);
    }
    if (const std::optional<AnnualZoneRule> rule = ParsePosixZoneRule(text)) {
        for (ZoneSeconds t : {ZoneSeconds{-86400}, ZoneSeconds{0}, ZoneSeconds{800000000},
                              ZoneSeconds{0xFFFFFFFF}}) {
            const ZoneSpan span = SpanFromAnnualRules(t, [&](int64_t) { return *rule; });
            FUZZ_CHECK(span.nBegin <= t && t < span.nEnd);
            FUZZ_CHECK(span.nOffset == rule->nStdOffset || span.nOffset == rule->nDstOffset);
        }
    }
    return 0;
}

#pragma once

// What a named time zone is made of, below TimeZone: stretches of constant offset on a wide UTC
// scale, the yearly daylight-saving rules that POSIX TZ strings and Windows zone records share, and
// the platform's loader of a zone's rules (TimeZonePosix.cpp, TimeZoneWin32.cpp).

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "TimeZone.h"

// A stretch of time with one offset: [nBegin, nEnd).
struct ZoneSpan {
    ZoneSeconds nBegin;
    ZoneSeconds nEnd;
    int32_t nOffset;  // seconds east of UTC
};

// A zone's offsets over time. Immutable once loaded, so one object serves any number of threads.
class ZoneRules {
  public:
    virtual ~ZoneRules() = default;
    // The span that holds t. Cannot fail: a loader checks everything it needs up front.
    virtual ZoneSpan SpanAt(ZoneSeconds t) const = 0;
};

// The day of a yearly change, in one of the forms POSIX ("Mm.w.d", "Jn", "n") and Windows (a
// weekday in a month, or a fixed date) use; nSeconds is the local time of day of the change, which
// may be negative or beyond 24 hours.
struct ZoneDayRule {
    enum Kind : uint8_t {
        kWeekdayInMonth,  // nWeek-th (1..4, 5 = last) nWeekday (0 = Sunday) of nMonth
        kJulianNoLeap,    // "Jn": day nDay of 1..365, February 29 never counted
        kJulianZero,      // "n": day nDay of 0..365, February 29 counted
        kFixedDate,       // nMonth / nDay
    };
    Kind eKind = kWeekdayInMonth;
    uint8_t nMonth = 1;
    uint8_t nWeek = 1;
    uint8_t nWeekday = 0;
    uint16_t nDay = 0;
    int32_t nSeconds = 7200;
};

// Standard time with an optional daylight-saving period each year. The start is given in local
// standard time, the end in local daylight time, as both sources define them.
struct AnnualZoneRule {
    int32_t nStdOffset = 0;
    int32_t nDstOffset = 0;
    bool bDst = false;
    ZoneDayRule start;
    ZoneDayRule end;
};

// Days from 2000-01-01 to a date of the proleptic Gregorian calendar, any year; and back to a year.
int64_t ZoneDaysFromCivil(int64_t nYear, unsigned nMonth, unsigned nDay);
int64_t ZoneYearOfDay(int64_t nDay);

// The offset and span at t under yearly rules, which may differ from year to year (a UTC year
// takes the rule of its number).
ZoneSpan SpanFromAnnualRules(ZoneSeconds t, const std::function<AnnualZoneRule(int64_t)>& ruleOf);

// Reads a POSIX TZ rule such as "CET-1CEST,M3.5.0,M10.5.0/3" (the form zone files end with).
std::optional<AnnualZoneRule> ParsePosixZoneRule(std::string_view text);

// Zone rules that are one yearly rule for all time (a POSIX TZ string in the environment).
std::shared_ptr<const ZoneRules> MakeAnnualZoneRules(const AnnualZoneRule& rule);

// The platform's zone data: a named zone ("Europe/Berlin") and the system's own zone. strName
// receives the name as the zone database spells it; for the system's zone, the name it goes by.
[[nodiscard]] TimeZoneStatus LoadNamedZoneRules(std::string_view name,
                                                std::shared_ptr<const ZoneRules>& pRules,
                                                std::string& strName);
// Every zone name the platform's data holds, in any order.
std::vector<std::string> ListZoneNames();
[[nodiscard]] TimeZoneStatus LoadLocalZoneRules(std::shared_ptr<const ZoneRules>& pRules,
                                                std::string& strName);
// The rules of a compiled zone file such as /etc/localtime, named after the database zone it links
// to or is a copy of, else after its path. NoLocalZone when the file cannot be read as one. Only
// where the zone data is a zoneinfo folder (not Windows).
[[nodiscard]] TimeZoneStatus LoadZoneFileRules(const std::string& strPath,
                                               std::shared_ptr<const ZoneRules>& pRules,
                                               std::string& strName);

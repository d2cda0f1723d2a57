#pragma once

#include <cstdint>
#include <vector>

#include "RawLog.h"
#include "RecordFilter.h"
#include "TimeZone.h"

// What a raw log holds, local day by local day.
struct DayStats {
    int64_t nLocalDay = 0;     // days since 2000-01-01, local time; -1 is 1999-12-31
    uint32_t dwFirstTime = 0;  // earliest record time of the day
    uint32_t dwLastTime = 0;   // latest
    uint32_t nRecords = 0;     // every record of the day
    uint32_t nNoFix = 0;       // records without a position fix
    uint32_t nGaps = 0;        // consecutive records (file order) more than the gap apart
    double dDistanceKm = 0.0;  // legs between the day's consecutive kept fixes
    uint16_t wMaxSpeed = 0;    // highest speed a kept fix recorded, hundredths of km/h
};

inline constexpr uint32_t kDayGapSeconds = 300;

// One entry per local day that has records, in ascending order. Fixes the filter refuses count as
// records of their day but add no distance or speed; dropped receives how many it refused.
std::vector<DayStats> ComputeDayStats(const RawLogImage& image, const TimeZone& zone,
                                      const RecordFilter& filter, FilterCounts& dropped);

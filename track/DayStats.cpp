#include "DayStats.h"

#include <algorithm>
#include <unordered_map>

#include "TrackParts.h"

namespace {

// A day being summed up, with what its next record is measured against.
struct DayWalk {
    DayStats stats;
    uint32_t dwPrevTime = 0;
    bool bHaveFix = false;
    LegEnd lastFix;
};

}  // namespace

std::vector<DayStats> ComputeDayStats(const RawLogImage& image, const TimeZone& zone,
                                      const RecordFilter& filter, FilterCounts& dropped) {
    std::vector<DayWalk> days;
    std::unordered_map<int64_t, size_t> dayIndex;
    QualityFilter quality(filter);
    ZoneOffsetCache offsets(zone);
    const uint32_t nCount = image.IsLoaded() ? image.RecordCount() : 0;
    size_t nCurrent = SIZE_MAX;
    for (uint32_t i = 0; i < nCount; ++i) {
        const FixRecord r = image.Record(i);
        const int64_t nDay = LocalDayOf(r.dwTime, offsets.OffsetAt(r.dwTime));
        if (nCurrent == SIZE_MAX || days[nCurrent].stats.nLocalDay != nDay) {
            const auto [it, bNew] = dayIndex.emplace(nDay, days.size());
            if (bNew) {
                DayWalk day;
                day.stats.nLocalDay = nDay;
                day.stats.dwFirstTime = day.stats.dwLastTime = day.dwPrevTime = r.dwTime;
                days.push_back(day);
            }
            nCurrent = it->second;
        }
        DayWalk& day = days[nCurrent];
        DayStats& s = day.stats;
        ++s.nRecords;
        s.dwFirstTime = std::min(s.dwFirstTime, r.dwTime);
        s.dwLastTime = std::max(s.dwLastTime, r.dwTime);
        const uint32_t dwStep =
            r.dwTime >= day.dwPrevTime ? r.dwTime - day.dwPrevTime : day.dwPrevTime - r.dwTime;
        if (dwStep > kDayGapSeconds) ++s.nGaps;
        day.dwPrevTime = r.dwTime;
        if (IsNoFixRecord(r)) {
            ++s.nNoFix;
            continue;
        }
        if (!quality.Keep(image, i, r)) continue;
        // A day's first fix starts its walk afresh, so that rounding never builds up for long.
        const LegEnd here = day.bHaveFix ? NextLegEnd(day.lastFix, r.lLatitude, r.lLongitude)
                                         : MakeLegEnd(r.lLatitude, r.lLongitude);
        if (day.bHaveFix) s.dDistanceKm += LegKm(day.lastFix, here);
        s.wMaxSpeed = std::max(s.wMaxSpeed, r.wSpeed);
        day.bHaveFix = true;
        day.lastFix = here;
    }
    dropped = quality.Dropped();
    std::vector<DayStats> result;
    result.reserve(days.size());
    for (const DayWalk& day : days) result.push_back(day.stats);
    std::sort(result.begin(), result.end(),
              [](const DayStats& a, const DayStats& b) { return a.nLocalDay < b.nLocalDay; });
    return result;
}

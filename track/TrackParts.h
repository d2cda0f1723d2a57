#pragma once

#include <cstdint>
#include <vector>

#include "RawLog.h"
#include "RecordSelection.h"
#include "TimeZone.h"

// The records an output holds, decided once over the whole image in file order (selection, then
// filters), and how they are cut into several files: by local calendar day, or where time leaves
// a gap.

// The local day of a record time: days since 2000-01-01 in local time, -1 for 1999-12-31 (a zone
// west of GMT at the scale's start).
inline int64_t LocalDayOf(uint32_t dwTime, int32_t nOffset) {
    const int64_t nLocal = int64_t{dwTime} + nOffset;
    return (nLocal >= 0 ? nLocal : nLocal - 86399) / 86400;
}

// One bit per record of the image: kept or not.
class RecordPicks {
  public:
    RecordPicks(const RawLogImage& image, const RecordSelection& selection);

    bool Has(uint32_t nIndex) const { return (m_bits[nIndex >> 6] >> (nIndex & 63)) & 1u; }
    uint32_t Count() const { return m_nCount; }
    uint32_t Size() const { return m_nSize; }
    const FilterCounts& Dropped() const { return m_dropped; }

  private:
    std::vector<uint64_t> m_bits;
    uint32_t m_nSize = 0;
    uint32_t m_nCount = 0;
    FilterCounts m_dropped;
};

struct SplitRule {
    enum class Kind { None, Day, Gap };
    Kind kind = Kind::None;
    uint32_t nGapSeconds = 0;  // Gap: a new part after consecutive kept records further apart
};

// One output file's share: the kept records in [nBegin, nEnd) and, for a day, only those whose
// local day is nLocalDay (a file whose times jump back and forth may interleave days).
struct TrackPart {
    uint32_t nBegin = 0;
    uint32_t nEnd = 0;
    uint32_t nRecords = 0;     // kept records in the part
    uint32_t dwFirstTime = 0;  // record time of its first record in file order
    bool bOneDay = false;
    int64_t nLocalDay = 0;
};

// The whole image as one part (also when nothing is kept).
TrackPart WholePart(const RecordPicks& picks);

// Cuts the kept records into parts: by day in ascending order, by gap in file order. Nothing kept
// gives no part; the rule None gives the whole part.
std::vector<TrackPart> SplitPicks(const RawLogImage& image, const RecordPicks& picks,
                                  const SplitRule& rule, const TimeZone& zone);

// Visits the part's records in file order as visit(index, record).
template <typename Visit>
void ForEachInPart(const RawLogImage& image, const RecordPicks& picks, const TrackPart& part,
                   const TimeZone& zone, Visit visit) {
    ZoneOffsetCache offsets(zone);
    for (uint32_t i = part.nBegin; i < part.nEnd; ++i) {
        if (!picks.Has(i)) continue;
        const FixRecord r = image.Record(i);
        if (part.bOneDay && LocalDayOf(r.dwTime, offsets.OffsetAt(r.dwTime)) != part.nLocalDay) {
            continue;
        }
        visit(i, r);
    }
}

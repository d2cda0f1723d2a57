#include "TrackParts.h"

#include <algorithm>
#include <map>

RecordPicks::RecordPicks(const RawLogImage& image, const RecordSelection& selection)
    : m_nSize(image.IsLoaded() ? image.RecordCount() : 0) {
    m_bits.assign((size_t{m_nSize} + 63) / 64, 0);
    RecordSelector selector(selection);
    for (uint32_t i = 0; i < m_nSize; ++i) {
        if (selector.Select(image, i)) m_bits[i >> 6] |= uint64_t{1} << (i & 63);
    }
    m_nCount = selector.Written();
    m_dropped = selector.Dropped();
}

TrackPart WholePart(const RecordPicks& picks) {
    TrackPart part;
    part.nEnd = picks.Size();
    part.nRecords = picks.Count();
    return part;
}

std::vector<TrackPart> SplitPicks(const RawLogImage& image, const RecordPicks& picks,
                                  const SplitRule& rule, const TimeZone& zone) {
    std::vector<TrackPart> parts;
    if (picks.Count() == 0) return parts;
    if (rule.kind == SplitRule::Kind::None) {
        parts.push_back(WholePart(picks));
        for (uint32_t i = 0; i < picks.Size(); ++i) {
            if (picks.Has(i)) {
                parts.back().dwFirstTime = image.Record(i).dwTime;
                break;
            }
        }
        return parts;
    }
    if (rule.kind == SplitRule::Kind::Gap) {
        uint32_t dwPrev = 0;
        for (uint32_t i = 0; i < picks.Size(); ++i) {
            if (!picks.Has(i)) continue;
            const uint32_t dwTime = image.Record(i).dwTime;
            const uint32_t dwGap = dwTime >= dwPrev ? dwTime - dwPrev : dwPrev - dwTime;
            if (parts.empty() || dwGap > rule.nGapSeconds) {
                if (!parts.empty()) parts.back().nEnd = i;
                parts.push_back({i, i, 0, dwTime, false, 0});
            }
            ++parts.back().nRecords;
            dwPrev = dwTime;
        }
        parts.back().nEnd = picks.Size();
        return parts;
    }
    // By day: one part per local day, spanning the day's first to last kept record. The day of
    // the record before is kept, so a file in time order looks a day up only when it changes.
    std::map<int64_t, size_t> dayParts;
    ZoneOffsetCache offsets(zone);
    TrackPart* pCurrent = nullptr;
    for (uint32_t i = 0; i < picks.Size(); ++i) {
        if (!picks.Has(i)) continue;
        const uint32_t dwTime = image.Record(i).dwTime;
        const int64_t nDay = LocalDayOf(dwTime, offsets.OffsetAt(dwTime));
        if (pCurrent == nullptr || pCurrent->nLocalDay != nDay) {
            const auto [it, bNew] = dayParts.emplace(nDay, parts.size());
            if (bNew) parts.push_back({i, i, 0, dwTime, true, nDay});
            pCurrent = &parts[it->second];
        }
        ++pCurrent->nRecords;
        pCurrent->nEnd = i + 1;
    }
    std::sort(parts.begin(), parts.end(),
              [](const TrackPart& a, const TrackPart& b) { return a.nLocalDay < b.nLocalDay; });
    return parts;
}

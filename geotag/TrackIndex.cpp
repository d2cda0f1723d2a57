#include "TrackIndex.h"

#include <algorithm>
#include <cmath>

#include "track/RecordFilter.h"

void TrackIndex::Add(const FixRecord& r) {
    if (IsNoFixRecord(r) || !HasPossibleCoordinates(r)) return;
    m_fixes.push_back(
        {int64_t{r.dwTime} * 1000, r.lLatitude, r.lLongitude, static_cast<double>(r.wAltitude)});
}

void TrackIndex::Add(UtcMillis nTime, double dLatitude, double dLongitude, double dAltitude) {
    if (!(std::fabs(dLatitude) <= 90.0 && std::fabs(dLongitude) <= 180.0) ||
        !std::isfinite(dAltitude)) {
        return;
    }
    m_fixes.push_back({nTime, static_cast<int32_t>(std::lround(dLatitude * 1e6)),
                       static_cast<int32_t>(std::lround(dLongitude * 1e6)), dAltitude});
}

void TrackIndex::Add(const RawLogImage& image) {
    m_fixes.reserve(m_fixes.size() + image.RecordCount());
    for (uint32_t i = 0; i < image.RecordCount(); ++i) Add(image.Record(i));
}

void TrackIndex::Finish() {
    std::stable_sort(m_fixes.begin(), m_fixes.end(),
                     [](const Fix& a, const Fix& b) { return a.nTime < b.nTime; });
    const auto sameTime = [](const Fix& a, const Fix& b) { return a.nTime == b.nTime; };
    m_fixes.erase(std::unique(m_fixes.begin(), m_fixes.end(), sameTime), m_fixes.end());
}

TrackLookup TrackIndex::Lookup(UtcMillis nInstant, uint32_t nMaxGapSeconds) const {
    TrackLookup result;
    if (m_fixes.empty()) return result;
    // The first fix at or after the instant.
    const auto after = std::lower_bound(m_fixes.begin(), m_fixes.end(), nInstant,
                                        [](const Fix& f, UtcMillis t) { return f.nTime < t; });
    const auto millisTo = [nInstant](const Fix& f) { return std::abs(f.nTime - nInstant); };
    const auto take = [&result](const Fix& f) {
        result.bFound = true;
        result.position = {f.lLatitude / 1e6, f.lLongitude / 1e6, f.dAltitude};
    };
    const int64_t nMaxGapMillis = int64_t{nMaxGapSeconds} * 1000;
    if (after == m_fixes.begin() || after == m_fixes.end()) {
        const Fix& edge = after == m_fixes.begin() ? m_fixes.front() : m_fixes.back();
        result.dSecondsToFix = static_cast<double>(millisTo(edge)) / 1000.0;
        if (millisTo(edge) <= nMaxGapMillis) take(edge);
        return result;
    }
    const Fix& a = *(after - 1);
    const Fix& b = *after;
    result.dSecondsToFix = static_cast<double>(std::min(millisTo(a), millisTo(b))) / 1000.0;
    if (millisTo(b) == 0) {
        take(b);
        return result;
    }
    if (b.nTime - a.nTime > nMaxGapMillis) return result;
    const double f =
        static_cast<double>(nInstant - a.nTime) / static_cast<double>(b.nTime - a.nTime);
    double dLonStep = static_cast<double>(b.lLongitude) - a.lLongitude;
    if (dLonStep > 180e6) dLonStep -= 360e6;
    if (dLonStep < -180e6) dLonStep += 360e6;
    double dLon = a.lLongitude + dLonStep * f;
    if (dLon > 180e6) dLon -= 360e6;
    if (dLon < -180e6) dLon += 360e6;
    result.bFound = true;
    result.position.dLatitude =
        (a.lLatitude + (static_cast<double>(b.lLatitude) - a.lLatitude) * f) / 1e6;
    result.position.dLongitude = dLon / 1e6;
    result.position.dAltitude = a.dAltitude + (b.dAltitude - a.dAltitude) * f;
    return result;
}

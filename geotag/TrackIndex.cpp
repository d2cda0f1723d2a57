#include "TrackIndex.h"

#include <algorithm>
#include <cmath>

#include "track/RecordFilter.h"

void TrackIndex::Add(const FixRecord& r) {
    if (IsNoFixRecord(r) || !HasPossibleCoordinates(r)) return;
    m_fixes.push_back({r.dwTime, r.lLatitude, r.lLongitude, r.wAltitude});
}

void TrackIndex::Add(const RawLogImage& image) {
    m_fixes.reserve(m_fixes.size() + image.RecordCount());
    for (uint32_t i = 0; i < image.RecordCount(); ++i) Add(image.Record(i));
}

void TrackIndex::Finish() {
    std::stable_sort(m_fixes.begin(), m_fixes.end(),
                     [](const Fix& a, const Fix& b) { return a.dwTime < b.dwTime; });
    const auto sameTime = [](const Fix& a, const Fix& b) { return a.dwTime == b.dwTime; };
    m_fixes.erase(std::unique(m_fixes.begin(), m_fixes.end(), sameTime), m_fixes.end());
}

TrackLookup TrackIndex::Lookup(UtcMillis nInstant, uint32_t nMaxGapSeconds) const {
    TrackLookup result;
    if (m_fixes.empty()) return result;
    // The first fix at or after the instant.
    const auto after =
        std::lower_bound(m_fixes.begin(), m_fixes.end(), nInstant,
                         [](const Fix& f, UtcMillis t) { return int64_t{f.dwTime} * 1000 < t; });
    const auto millisTo = [nInstant](const Fix& f) {
        return std::abs(int64_t{f.dwTime} * 1000 - nInstant);
    };
    const auto take = [&result](const Fix& f) {
        result.bFound = true;
        result.position = {f.lLatitude / 1e6, f.lLongitude / 1e6, static_cast<double>(f.wAltitude)};
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
    if (b.dwTime - a.dwTime > nMaxGapSeconds) return result;
    const double f = static_cast<double>(nInstant - int64_t{a.dwTime} * 1000) /
                     (static_cast<double>(b.dwTime - a.dwTime) * 1000.0);
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
    result.position.dAltitude = a.wAltitude + (static_cast<double>(b.wAltitude) - a.wAltitude) * f;
    return result;
}

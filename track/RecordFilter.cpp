#include "RecordFilter.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

constexpr double kEarthRadiusKm = 6371.0;
constexpr double kRadiansPerMicroDegree = 3.14159265358979323846 / 180.0 / 1e6;

}  // namespace

std::string FilterCountsText(const FilterCounts& dropped, const RecordFilter& filter) {
    std::string strText;
    const auto add = [&strText](uint32_t n, const std::string& strWhy) {
        if (n == 0) return;
        if (!strText.empty()) strText += ", ";
        strText += std::to_string(n) + " " + strWhy;
    };
    char hdop[32];
    std::snprintf(hdop, sizeof hdop, "%d.%d", filter.nMaxHdopTenths / 10,
                  filter.nMaxHdopTenths % 10);
    char speed[32];
    std::snprintf(speed, sizeof speed, "%g", filter.dMaxSpeedKmh);
    add(dropped.n[kDroppedCoordinates], "with impossible coordinates");
    add(dropped.n[kDroppedSatellites],
        "with fewer than " + std::to_string(filter.nMinSatellites) + " satellites");
    add(dropped.n[kDroppedHdop], std::string("with HDOP above ") + hdop);
    add(dropped.n[kDroppedSpeed],
        std::string("reached faster than ") + speed + " km/h from the fix before");
    return strText;
}

double GreatCircleKm(int32_t lLat1, int32_t lLon1, int32_t lLat2, int32_t lLon2) {
    // Haversine: well-conditioned for the short legs between fixes.
    const double dLat1 = lLat1 * kRadiansPerMicroDegree;
    const double dLat2 = lLat2 * kRadiansPerMicroDegree;
    const double dHalfLat = (dLat2 - dLat1) / 2;
    const double dHalfLon = (static_cast<double>(lLon2) - lLon1) * kRadiansPerMicroDegree / 2;
    const double a = std::sin(dHalfLat) * std::sin(dHalfLat) +
                     std::cos(dLat1) * std::cos(dLat2) * std::sin(dHalfLon) * std::sin(dHalfLon);
    return 2 * kEarthRadiusKm * std::asin(std::sqrt(std::min(1.0, a)));
}

bool QualityFilter::TooFast(const FixRecord& from, const FixRecord& to) const {
    const double dKm = GreatCircleKm(from.lLatitude, from.lLongitude, to.lLatitude, to.lLongitude);
    // Either way in time; a different place at the same second is infinitely fast.
    const uint32_t dwSeconds =
        to.dwTime >= from.dwTime ? to.dwTime - from.dwTime : from.dwTime - to.dwTime;
    return dKm * 3600.0 > m_filter.dMaxSpeedKmh * dwSeconds;
}

bool QualityFilter::StartsStretch(const RawLogImage& image, uint32_t nIndex,
                                  const FixRecord& r) const {
    // A chain from r through the fixes after it, each reachable from the one before; a fix that
    // is not (a wild one among them) is passed over.
    FixRecord previous = r;
    int nAgreeing = 1;
    int nExamined = 0;
    for (uint32_t i = nIndex + 1; i < image.RecordCount(); ++i) {
        const FixRecord next = image.Record(i);
        if (IsNoFixRecord(next) || !HasPossibleCoordinates(next) ||
            SatellitesUsed(next) < m_filter.nMinSatellites || !HdopPasses(next)) {
            continue;
        }
        // The track goes on beyond what is looked at: only a whole chain counts.
        if (nExamined == kLookAhead) return false;
        ++nExamined;
        if (TooFast(previous, next)) continue;
        previous = next;
        if (++nAgreeing >= kAgreeingFixes) return true;
    }
    // Near the end of the track fewer fixes are left to agree: enough of them for its very first
    // stretch, never for a jump away from the track already kept.
    return !m_bHaveLastFix && nAgreeing >= 1 + (nExamined + 1) / 2;
}

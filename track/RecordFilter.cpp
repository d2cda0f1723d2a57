#include "RecordFilter.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {}  // namespace

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
    return LegKm(MakeLegEnd(lLat1, lLon1), MakeLegEnd(lLat2, lLon2));
}

LegEnd MakeLegEnd(int32_t lLatitude, int32_t lLongitude) {
    const double dLatitude = lLatitude * kRadiansPerMicroDegree;
    return {lLatitude, lLongitude, std::cos(dLatitude), std::sin(dLatitude)};
}

double LongLegKm(double dHalfLat, double dHalfLon, double dCosCos) {
    const double dSinLat = std::sin(dHalfLat);
    const double dSinLon = std::sin(dHalfLon);
    const double a = dSinLat * dSinLat + dCosCos * dSinLon * dSinLon;
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

#pragma once

#include <cmath>
#include <cstdint>
#include <string>

#include "FixRecord.h"
#include "RawLog.h"

// Tests that keep bad fixes out of every output. A position outside the ranges of latitude and
// longitude is always refused (a logger without a fix may hold anything there); the others are
// the user's choice. Every refused record is counted under the first test it failed, so that no
// record goes missing without a word.
struct RecordFilter {
    uint32_t nMinSatellites = 0;  // fewer satellites used are refused; 0: no test
    int32_t nMaxHdopTenths = -1;  // a larger HDOP (in tenths) is refused; below 0: no test
    double dMaxSpeedKmh = 0.0;    // a fix reached faster than this is refused; 0: no test
    // A table of what the logger holds keeps impossible positions (never a place to measure from);
    // maps, the track view and distances refuse them.
    bool bKeepImpossiblePositions = false;
};

enum FilterReason : unsigned {
    kDroppedCoordinates,  // latitude beyond ±90° or longitude beyond ±180°
    kDroppedSatellites,
    kDroppedHdop,
    kDroppedSpeed,
    kFilterReasonCount,
};

struct FilterCounts {
    uint32_t n[kFilterReasonCount] = {};

    FilterCounts& operator+=(const FilterCounts& other) {
        for (unsigned i = 0; i < kFilterReasonCount; ++i) n[i] += other.n[i];
        return *this;
    }
};

// "3 with impossible coordinates, 1 with fewer than 4 satellites"; empty when nothing was refused.
std::string FilterCountsText(const FilterCounts& dropped, const RecordFilter& filter);

inline bool HasPossibleCoordinates(const FixRecord& r) {
    return r.lLatitude >= -90000000 && r.lLatitude <= 90000000 && r.lLongitude >= -180000000 &&
           r.lLongitude <= 180000000;
}

// Great-circle distance in km between two positions in millionths of a degree, on a sphere of
// radius 6371 km.
double GreatCircleKm(int32_t lLat1, int32_t lLon1, int32_t lLat2, int32_t lLon2);

// One end of a leg, with the cosine of its latitude worked out once: a walk along a track measures
// each fix against the one before and the one after, and the cosine is most of the cost.
struct LegEnd {
    int32_t lLatitude = 0;
    int32_t lLongitude = 0;
    double dCosLatitude = 1;
    double dSinLatitude = 0;
};
inline constexpr double kEarthRadiusKm = 6371.0;
inline constexpr double kRadiansPerMicroDegree = 3.14159265358979323846 / 180.0 / 1e6;

LegEnd MakeLegEnd(int32_t lLatitude, int32_t lLongitude);

// The same from the fix before: a small step in latitude turns its cosine and sine by a rotation
// whose own cosine and sine are their series' first terms (within 1e-22 below 1e-4 rad).
inline LegEnd NextLegEnd(const LegEnd& previous, int32_t lLatitude, int32_t lLongitude) {
    const double d = (static_cast<double>(lLatitude) - previous.lLatitude) * kRadiansPerMicroDegree;
    if (d >= 1e-4 || d <= -1e-4) return MakeLegEnd(lLatitude, lLongitude);
    const double d2 = d * d;
    const double dCos = 1 - d2 * (0.5 - d2 * (1.0 / 24));
    const double dSin = d * (1 - d2 * (1.0 / 6));
    return {lLatitude, lLongitude, previous.dCosLatitude * dCos - previous.dSinLatitude * dSin,
            previous.dSinLatitude * dCos + previous.dCosLatitude * dSin};
}

// Haversine with sin, asin and a square root, for the legs LegKm does not take itself.
double LongLegKm(double dHalfLat, double dHalfLon, double dCosCos);

// GreatCircleKm between the two ends. Below 1e-4 rad (637 m) of half-leg, sin x = x (1 - x^2/6)
// and asin y = y (1 + y^2/6) within 1e-17: the series' first terms give haversine's value with no
// other function than a square root. A walk calls this for every fix, so it is inline.
inline double LegKm(const LegEnd& from, const LegEnd& to) {
    const double dHalfLat =
        (static_cast<double>(to.lLatitude) - from.lLatitude) * (kRadiansPerMicroDegree / 2);
    const double dHalfLon =
        (static_cast<double>(to.lLongitude) - from.lLongitude) * (kRadiansPerMicroDegree / 2);
    const double dCosCos = from.dCosLatitude * to.dCosLatitude;
    if (dHalfLat >= 1e-4 || dHalfLat <= -1e-4 || dHalfLon >= 1e-4 || dHalfLon <= -1e-4) {
        return LongLegKm(dHalfLat, dHalfLon, dCosCos);
    }
    const double dSinLat = dHalfLat * (1 - dHalfLat * dHalfLat * (1.0 / 6));
    const double dSinLon = dHalfLon * (1 - dHalfLon * dHalfLon * (1.0 / 6));
    const double y2 = dSinLat * dSinLat + dCosCos * dSinLon * dSinLon;
    return 2 * kEarthRadiusKm * std::sqrt(y2) * (1 + y2 * (1.0 / 6));
}

// Applies a RecordFilter to the records of an image in file order. The speed test measures from
// the last fix that was kept; records without a fix are neither tested for speed nor a place to
// measure from. A fix too fast from the last kept one (or the first fix of all) starts a new
// stretch of track only when the fixes after it agree with it: a wild fix at the start, the end
// or in the middle goes, alone or a few in a row, and the track stays.
class QualityFilter {
  public:
    // Fixes that must agree, the one tested included, before a jump is believed.
    static constexpr int kAgreeingFixes = 3;
    // Fixes after it looked at for them.
    static constexpr int kLookAhead = 8;

    explicit QualityFilter(const RecordFilter& filter) : m_filter(filter) {}

    // Whether r, record nIndex of the image, stays; a refused one is counted. Records come in
    // file order.
    bool Keep(const RawLogImage& image, uint32_t nIndex, const FixRecord& r) {
        const bool bPossible = HasPossibleCoordinates(r);
        if (!bPossible && !m_filter.bKeepImpossiblePositions) return Drop(kDroppedCoordinates);
        if (SatellitesUsed(r) < m_filter.nMinSatellites) return Drop(kDroppedSatellites);
        if (!HdopPasses(r)) return Drop(kDroppedHdop);
        if (m_filter.dMaxSpeedKmh > 0.0 && bPossible && !IsNoFixRecord(r)) {
            if (!(m_bHaveLastFix && !TooFast(m_lastFix, r)) && !StartsStretch(image, nIndex, r)) {
                return Drop(kDroppedSpeed);
            }
            m_bHaveLastFix = true;
            m_lastFix = r;
        }
        return true;
    }
    const FilterCounts& Dropped() const { return m_dropped; }

  private:
    bool Drop(FilterReason reason) {
        ++m_dropped.n[reason];
        return false;
    }
    bool HdopPasses(const FixRecord& r) const {
        return m_filter.nMaxHdopTenths < 0 || r.bHdop <= m_filter.nMaxHdopTenths;
    }
    bool TooFast(const FixRecord& from, const FixRecord& to) const;
    // Whether the fixes after r that pass the other tests make a chain of kAgreeingFixes with it
    // (each reachable from the one before), or near the end of a track not yet begun, most of
    // what is left.
    bool StartsStretch(const RawLogImage& image, uint32_t nIndex, const FixRecord& r) const;

    RecordFilter m_filter;
    FilterCounts m_dropped;
    bool m_bHaveLastFix = false;
    FixRecord m_lastFix{};
};

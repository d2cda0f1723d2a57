#pragma once

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

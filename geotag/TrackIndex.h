#pragma once

#include <cstdint>
#include <vector>

#include "PhotoTime.h"
#include "track/FixRecord.h"
#include "track/RawLog.h"

// The fixes of raw logs and GPX tracks in time order, and the position on the track at any
// instant. Pure: it works on decoded records and points.

struct TrackPosition {
    double dLatitude = 0.0;   // degrees, north positive
    double dLongitude = 0.0;  // degrees, east positive
    double dAltitude = 0.0;   // metres
};

struct TrackLookup {
    bool bFound = false;  // whether the instant lies on the track (position then holds it)
    TrackPosition position;
    double dSecondsToFix = -1.0;  // to the nearest fix; below 0 when the track has none
};

class TrackIndex {
  public:
    // Records without a fix, and positions no place on earth has, are never used.
    void Add(const FixRecord& r);
    void Add(const RawLogImage& image);
    // A point from elsewhere (a GPX track): degrees and metres.
    void Add(UtcMillis nTime, double dLatitude, double dLongitude, double dAltitude);
    // Puts the fixes in time order; of fixes with the same time (the same download stored twice)
    // the first added stays. Call after the last Add and before Lookup.
    void Finish();

    size_t Size() const { return m_fixes.size(); }

    // The position at an instant: between two fixes at most nMaxGapSeconds apart, interpolated
    // linearly in time (the short way round across the date line); within nMaxGapSeconds before
    // the first fix or after the last, that fix. Anywhere else nothing is found.
    TrackLookup Lookup(UtcMillis nInstant, uint32_t nMaxGapSeconds) const;

  private:
    struct Fix {
        UtcMillis nTime;
        int32_t lLatitude;   // millionths of a degree
        int32_t lLongitude;  // millionths of a degree
        double dAltitude;    // metres
    };
    std::vector<Fix> m_fixes;
};

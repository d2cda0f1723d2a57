#pragma once

// Pieces the writers share; not for callers outside export/.

#include <cstdint>

#include "TextFormat.h"
#include "track/RawLog.h"
#include "track/RecordSelection.h"

// Whether a record's position lies within the ranges of latitude and longitude, so that it can be
// drawn as a point. Records without a fix may hold anything there.
inline bool HasPlottablePosition(const FixRecord& r) {
    return r.lLatitude >= -90000000 && r.lLatitude <= 90000000 && r.lLongitude >= -180000000 &&
           r.lLongitude <= 180000000;
}

// Visits every selected record with a plottable position, in file order, as visit(index, record).
// An unplottable record is passed over before the selection sees it, so it does not count towards
// a record limit. Returns the number visited.
template <typename Visit>
uint32_t ForEachSelectedPoint(const RawLogImage& image, const RecordSelection& selection,
                              Visit visit) {
    RecordSelector selector(selection);
    const uint32_t nCount = image.IsLoaded() ? image.RecordCount() : 0;
    for (uint32_t i = 0; i < nCount; ++i) {
        const FixRecord r = image.Record(i);
        if (!HasPlottablePosition(r) || !selector.Select(r)) continue;
        visit(i, r);
    }
    return selector.Written();
}

// "YYYY-MM-DDThh:mm:ssZ".
inline char* PutUtcTimeStamp(char* p, const LogDateTime& utc) {
    p = textformat::PutDateTime(p, utc, '-', 'T');
    *p++ = 'Z';
    return p;
}

// The ten HTML items that describe a fix in a KML balloon, from "<b>Local time:</b>" to the last
// "<br>"; at most 400 bytes.
char* PutKmlDescriptionItems(char* p, const FixRecord& r, const LogDateTime& local,
                             const LogDateTime& gps);

#pragma once

#include <cstdint>

#include "OutputBuffer.h"
#include "TrackWriters.h"

// GeoJSON (RFC 7946): a FeatureCollection with a Feature per track segment (split as GPX splits
// them), its geometry a LineString (a Point for a lone fix) of [longitude, latitude, altitude]
// and its UTC times as properties. Records without a fix are left out.
struct GeoJsonOptions {
    uint32_t nMaxGapSeconds = 300;
    bool bPoints = false;  // after each segment, a Point feature per fix with its time, speed, ...
};

uint32_t WriteGeoJson(OutputBuffer& out, const TrackDocument& doc,
                      const GeoJsonOptions& options = {});

#pragma once

#include <cstdint>
#include <string_view>

#include "OutputBuffer.h"
#include "track/RawLog.h"
#include "track/RecordSelection.h"
#include "track/TimeZone.h"

// The icon image every placemark points at.
inline constexpr char kKmlIconAddress[] =
    "http://maps.google.com/mapfiles/kml/pushpin/wht-pushpin.png";

// Icon colour (alpha, blue, green, red) of a raw fix mode 0..3.
const char* KmlFixModeColor(unsigned nRawFixMode);

// Write the selected records of the image, in file order, as a KML document or a CSV table, with
// local times in the zone. Return the number of records written; write failures are left in
// out.Failed().
uint32_t WriteKml(OutputBuffer& out, const RawLogImage& image, const RecordSelection& selection,
                  const TimeZone& zone);
uint32_t WriteCsv(OutputBuffer& out, const RawLogImage& image, const RecordSelection& selection,
                  const TimeZone& zone);

// GPX 1.1 with Garmin's TrackPointExtension v2: one track, a new segment wherever consecutive
// written fixes lie more than nMaxGapSeconds apart (either way in time). Times are UTC.
struct GpxOptions {
    uint32_t nMaxGapSeconds = 300;
};

// Writes the selected records with a plottable position (see WriteKmlTrack) as track points.
// The metadata's time is the first written fix's time, so the same input always gives the same
// bytes; its bounds enclose every written fix. With nothing to write, the document is empty.
uint32_t WriteGpx(OutputBuffer& out, const RawLogImage& image, const RecordSelection& selection,
                  const GpxOptions& options = {});

// A KML document for viewers with Google's gx extension and without it: one folder per local day
// in the zone, holding the day's fixes as a gx:Track (times in UTC, with speed, satellites and
// HDOP per fix) and as a LineString, and optionally pushpins.
struct KmlTrackOptions {
    // Pushpins beside the track: 0 none, 1 every fix, N the 1st, N+1-th, 2N+1-th... written fix.
    uint32_t nPointEvery = 0;
};

// Writes the selected records whose latitude and longitude lie within their ranges; others (what
// a logger without a fix may hold) are passed over before the selection counts them.
uint32_t WriteKmlTrack(OutputBuffer& out, const RawLogImage& image,
                       const RecordSelection& selection, const TimeZone& zone,
                       const KmlTrackOptions& options = {});

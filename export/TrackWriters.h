#pragma once

#include <cstdint>
#include <string_view>

#include "OutputBuffer.h"
#include "track/Calendar.h"
#include "track/RawLog.h"
#include "track/RecordSelection.h"
#include "track/TimeZone.h"
#include "track/TrackParts.h"

// The icon image every placemark points at.
inline constexpr char kKmlIconAddress[] =
    "http://maps.google.com/mapfiles/kml/pushpin/wht-pushpin.png";

// Icon colour (alpha, blue, green, red) of a raw fix mode 0..3.
const char* KmlFixModeColor(unsigned nRawFixMode);

// What one document holds: the kept records of one part of an image, with local times (and the
// part's day) in the zone.
struct TrackDocument {
    const RawLogImage& image;
    const RecordPicks& picks;
    const TrackPart& part;
    const TimeZone& zone;
};

// Every writer writes the document's records in file order and returns how many it wrote; write
// failures are left in out.Failed(). The forms with a selection write the whole image as that
// selection (and its filter) keeps it.

// A KML document of placemarks, or a CSV table.
uint32_t WriteKml(OutputBuffer& out, const TrackDocument& doc);
uint32_t WriteCsv(OutputBuffer& out, const TrackDocument& doc);
uint32_t WriteKml(OutputBuffer& out, const RawLogImage& image, const RecordSelection& selection,
                  const TimeZone& zone);
uint32_t WriteCsv(OutputBuffer& out, const RawLogImage& image, const RecordSelection& selection,
                  const TimeZone& zone);

// GPX 1.1 with Garmin's TrackPointExtension v2: one track, a new segment wherever consecutive
// written fixes lie more than nMaxGapSeconds apart (either way in time). Times are UTC.
struct GpxOptions {
    uint32_t nMaxGapSeconds = 300;
};

// The metadata's time is the first written fix's time, so the same input always gives the same
// bytes; its bounds enclose every written fix. With nothing to write, the document is empty.
uint32_t WriteGpx(OutputBuffer& out, const TrackDocument& doc, const GpxOptions& options = {});
uint32_t WriteGpx(OutputBuffer& out, const RawLogImage& image, const RecordSelection& selection,
                  const GpxOptions& options = {});

// A KML document for viewers with Google's gx extension and without it: one folder per local day
// in the zone, holding the day's fixes as a gx:Track (times in UTC, with speed, satellites and
// HDOP per fix) and as a LineString, and optionally pushpins.
struct KmlTrackOptions {
    // Pushpins beside the track: 0 none, 1 every fix, N the 1st, N+1-th, 2N+1-th... written fix.
    uint32_t nPointEvery = 0;
};

uint32_t WriteKmlTrack(OutputBuffer& out, const TrackDocument& doc,
                       const KmlTrackOptions& options = {});
uint32_t WriteKmlTrack(OutputBuffer& out, const RawLogImage& image,
                       const RecordSelection& selection, const TimeZone& zone,
                       const KmlTrackOptions& options = {});

// Pieces of the writers above that the other writers in export/ share.

// "Z" at GMT, else "+hh:mm" or "-hh:mm" (nOffset in whole minutes).
char* PutUtcOffset(char* p, int32_t nOffset);

// A fix's local time as an ISO 8601 timestamp with the offset in force
// ("2009-05-01T23:30:00+08:00", "Z" at GMT), which readers place at its instant; the UTC time where
// the offset has seconds.
char* PutLocalTimeStamp(char* p, const LogDateTime& local, const LogDateTime& utc, int32_t nOffset);

// The CSV table's values of a record: fix mode 1..4, speed in km/h with two decimals, course in
// whole degrees, HDOP with one decimal.
char* PutCsvFixMode(char* p, const FixRecord& r);
char* PutCsvSpeed(char* p, const FixRecord& r);
char* PutCsvCourse(char* p, const FixRecord& r);
char* PutCsvHdop(char* p, const FixRecord& r);

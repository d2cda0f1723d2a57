#include <algorithm>

#include "QuorvelVersion.h"
#include "TrackWriters.h"
#include "WriterParts.h"
#include "track/Calendar.h"

using namespace textformat;

namespace {

constexpr size_t kMaxTrackPointBytes = 512;

// Longitude 180 is the same meridian as -180, and GPX admits only the latter.
int32_t GpxLongitude(int32_t lLongitude) {
    return lLongitude == 180000000 ? -180000000 : lLongitude;
}

char* PutTrackPoint(char* p, const FixRecord& r, const LogDateTime& utc) {
    // The fix element's words for raw fix modes 0..2; mode 3 has no meaning we know of.
    static constexpr const char* kFixWords[4] = {"<fix>none</fix>", "<fix>2d</fix>",
                                                 "<fix>3d</fix>", ""};
    static constexpr size_t kFixLengths[4] = {15, 13, 13, 0};
    p = PutText(p, "<trkpt lat=\"");
    p = PutMicroDegrees(p, r.lLatitude);
    p = PutText(p, "\" lon=\"");
    p = PutMicroDegrees(p, GpxLongitude(r.lLongitude));
    p = PutText(p, "\"><ele>");
    p = PutUInt(p, r.wAltitude);
    p = PutText(p, "</ele><time>");
    p = PutUtcTimeStamp(p, utc);
    p = PutText(p, "</time>");
    const unsigned nMode = RawFixMode(r);
    std::memcpy(p, kFixWords[nMode], kFixLengths[nMode]);
    p += kFixLengths[nMode];
    p = PutText(p, "<sat>");
    p = PutUInt(p, SatellitesUsed(r));
    p = PutText(p, "</sat><hdop>");
    p = PutUInt(p, r.bHdop / 10u);
    *p++ = '.';
    *p++ = static_cast<char>('0' + r.bHdop % 10);
    // Hundredths of km/h to m/s (1/360), rounded to millimetres per second, which keeps every
    // step of the logger's resolution (2.8 mm/s) apart.
    p = PutText(p, "</hdop><extensions><gpxtpx:TrackPointExtension><gpxtpx:speed>");
    p = PutScaled(p, (r.wSpeed * 25u + 4u) / 9u, 3);
    p = PutText(p, "</gpxtpx:speed>");
    if (r.bCourse < 180) {
        p = PutText(p, "<gpxtpx:course>");
        p = PutUInt(p, r.bCourse * 2u);
        p = PutText(p, "</gpxtpx:course>");
    }
    return PutText(p, "</gpxtpx:TrackPointExtension></extensions></trkpt>\r\n");
}

}  // namespace

uint32_t WriteGpx(OutputBuffer& out, const TrackDocument& doc, const GpxOptions& options) {
    static constexpr char kHeader[] =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
        "<gpx version=\"1.1\" creator=\"Quorvel " QUORVEL_VERSION_STRING
        "\" xmlns=\"http://www.topografix.com/GPX/1/1\""
        " xmlns:gpxtpx=\"http://www.garmin.com/xmlschemas/TrackPointExtension/v2\""
        " xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\""
        " xsi:schemaLocation=\"http://www.topografix.com/GPX/1/1"
        " http://www.topografix.com/GPX/1/1/gpx.xsd"
        " http://www.garmin.com/xmlschemas/TrackPointExtension/v2"
        " http://www.garmin.com/xmlschemas/TrackPointExtensionv2.xsd\">\r\n";
    out.Write(kHeader, sizeof kHeader - 1);

    // The metadata and the track's name come first but describe every point: a first walk finds
    // them, and the second walk visits the same records.
    uint32_t dwFirstTime = 0;
    uint32_t dwMinTime = UINT32_MAX, dwMaxTime = 0;
    int32_t lMinLat = INT32_MAX, lMaxLat = INT32_MIN, lMinLon = INT32_MAX, lMaxLon = INT32_MIN;
    const uint32_t nPoints = ForEachMapPosition(doc, [&](uint32_t, const FixRecord& r) {
        if (lMinLat == INT32_MAX) dwFirstTime = r.dwTime;
        dwMinTime = std::min(dwMinTime, r.dwTime);
        dwMaxTime = std::max(dwMaxTime, r.dwTime);
        lMinLat = std::min(lMinLat, r.lLatitude);
        lMaxLat = std::max(lMaxLat, r.lLatitude);
        lMinLon = std::min(lMinLon, GpxLongitude(r.lLongitude));
        lMaxLon = std::max(lMaxLon, GpxLongitude(r.lLongitude));
    });
    if (nPoints > 0) {
        char* p = out.Reserve(kMaxTrackPointBytes);
        p = PutText(p, "<metadata><time>");
        p = PutUtcTimeStamp(p, SecondsToDateTime(dwFirstTime, 0));
        p = PutText(p, "</time><bounds minlat=\"");
        p = PutMicroDegrees(p, lMinLat);
        p = PutText(p, "\" minlon=\"");
        p = PutMicroDegrees(p, lMinLon);
        p = PutText(p, "\" maxlat=\"");
        p = PutMicroDegrees(p, lMaxLat);
        p = PutText(p, "\" maxlon=\"");
        p = PutMicroDegrees(p, lMaxLon);
        // Named after the local days it spans, as the KML track names its days.
        p = PutText(p, "\"/></metadata>\r\n<trk><name>Track ");
        const LogDateTime first = SecondsToDateTime(dwMinTime, doc.zone.OffsetAt(dwMinTime));
        const LogDateTime last = SecondsToDateTime(dwMaxTime, doc.zone.OffsetAt(dwMaxTime));
        p = PutDate(p, first);
        if (first.wYear != last.wYear || first.bMonth != last.bMonth || first.bDay != last.bDay) {
            p = PutDate(PutText(p, " to "), last);
        }
        out.Commit(PutText(p, "</name>\r\n"));

        DateTimeConverter utcDates;
        bool bFirst = true;
        uint32_t dwPrevTime = 0;
        ForEachMapPosition(doc, [&](uint32_t, const FixRecord& r) {
            p = out.Reserve(kMaxTrackPointBytes);
            const uint32_t dwGap = TimeGap(dwPrevTime, r.dwTime);
            if (bFirst) {
                p = PutText(p, "<trkseg>\r\n");
            } else if (dwGap > options.nMaxGapSeconds) {
                p = PutText(p, "</trkseg>\r\n<trkseg>\r\n");
            }
            bFirst = false;
            dwPrevTime = r.dwTime;
            out.Commit(PutTrackPoint(p, r, utcDates.Convert(r.dwTime, 0)));
        });
        static constexpr char kTrackEnd[] = "</trkseg>\r\n</trk>\r\n";
        out.Write(kTrackEnd, sizeof kTrackEnd - 1);
    }
    static constexpr char kTrailer[] = "</gpx>\r\n";
    out.Write(kTrailer, sizeof kTrailer - 1);
    out.Flush();
    return nPoints;
}

uint32_t WriteGpx(OutputBuffer& out, const RawLogImage& image, const RecordSelection& selection,
                  const GpxOptions& options) {
    const RecordPicks picks(image, selection);
    const TrackPart part = WholePart(picks);
    const TimeZone utc;
    return WriteGpx(out, {image, picks, part, utc}, options);
}

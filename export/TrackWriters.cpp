#include "TrackWriters.h"

#include "TextFormat.h"
#include "WriterParts.h"
#include "track/Calendar.h"

using namespace textformat;

const char* KmlFixModeColor(unsigned nRawFixMode) {
    // near-white, dark blue, dark green; mode 3 gets dark red.
    static constexpr const char* kColors[4] = {"ffeeeeee", "ff7f0000", "ff007f00", "ff00007f"};
    return kColors[nRawFixMode & 3u];
}

char* PutKmlDescriptionItems(char* p, const FixRecord& r, const LogDateTime& local,
                             const LogDateTime& gps) {
    p = PutText(p, "<b>Local time:</b> ");
    p = PutDateTime(p, local, '-', ' ');
    p = PutText(p, "<br><b>GPS time:</b> ");
    p = PutDateTime(p, gps, '-', ' ');
    p = PutText(p, "<br><b>Fix mode:</b> ");
    *p++ = static_cast<char>('1' + RawFixMode(r));
    p = PutText(p, "<br><b>SV used:</b> ");
    p = PutUInt(p, SatellitesUsed(r));
    p = PutText(p, "<br><b>Latitude:</b> ");
    p = PutMicroDegrees(p, r.lLatitude);
    p = PutText(p, "<br><b>Longitude:</b> ");
    p = PutMicroDegrees(p, r.lLongitude);
    p = PutText(p, "<br><b>Altitude:</b> ");
    p = PutUInt(p, r.wAltitude);
    p = PutText(p, " m<br><b>Speed:</b> ");
    p = PutScaled(p, r.wSpeed, 2);
    p = PutText(p, " Km/h<br><b>Course:</b> ");
    p = PutUInt(p, r.bCourse * 2u);
    p = PutText(p, "<br><b>HDOP:</b> ");
    p = PutUInt(p, r.bHdop / 10u);
    *p++ = '.';
    *p++ = static_cast<char>('0' + r.bHdop % 10);
    return PutText(p, "<br>");
}

// "Z" at GMT, else "+hh:mm" or "-hh:mm" (nOffset in whole minutes).
char* PutUtcOffset(char* p, int32_t nOffset) {
    if (nOffset == 0) {
        *p++ = 'Z';
        return p;
    }
    *p++ = nOffset < 0 ? '-' : '+';
    const uint32_t nMinutes =
        (nOffset < 0 ? 0u - static_cast<uint32_t>(nOffset) : static_cast<uint32_t>(nOffset)) / 60;
    p = Put2(p, nMinutes / 60);
    *p++ = ':';
    return Put2(p, nMinutes % 60);
}

char* PutLocalTimeStamp(char* p, const LogDateTime& local, const LogDateTime& utc,
                        int32_t nOffset) {
    // An offset with seconds has no timestamp form: such a zone gets the UTC time.
    return nOffset % 60 == 0 ? PutUtcOffset(PutDateTime(p, local, '-', 'T'), nOffset)
                             : PutUtcTimeStamp(p, utc);
}

char* PutCsvFixMode(char* p, const FixRecord& r) {
    *p++ = static_cast<char>('1' + RawFixMode(r));
    return p;
}

char* PutCsvSpeed(char* p, const FixRecord& r) {
    return PutScaled(p, r.wSpeed, 2);
}

char* PutCsvCourse(char* p, const FixRecord& r) {
    return PutUInt(p, r.bCourse * 2u);
}

char* PutCsvHdop(char* p, const FixRecord& r) {
    p = PutUInt(p, r.bHdop / 10u);
    *p++ = '.';
    *p++ = static_cast<char>('0' + r.bHdop % 10);
    return p;
}

namespace {

// Longest placemark: two dates, ten description items at their widest values, the icon address and
// the coordinates come to well under this.
constexpr size_t kMaxPlacemarkBytes = 1536;
constexpr size_t kMaxCsvLineBytes = 512;

char* PutKmlPlacemark(char* p, const FixRecord& r, uint32_t nPlace, const LogDateTime& local,
                      const LogDateTime& gps, int32_t nOffset) {
    p = PutText(p, " <Placemark>\r\n  <TimeStamp> <when>");
    // The local digits with the offset in force, so that readers place the fix at its instant.
    p = PutLocalTimeStamp(p, local, gps, nOffset);
    p = PutText(p, "</when> </TimeStamp> \r\n  <Style> <IconStyle><Icon><href>");
    p = PutText(p, kKmlIconAddress);
    p = PutText(p, "</href></Icon><colorMode>normal</colorMode><color>");
    std::memcpy(p, KmlFixModeColor(RawFixMode(r)), 8);
    p += 8;
    p = PutText(p, "</color></IconStyle></Style>\r\n  <name>");
    p = PutUInt(p, nPlace);
    p = PutText(p, "</name>\r\n  <description>  <![CDATA[");
    p = PutKmlDescriptionItems(p, r, local, gps);
    p = PutText(p, "]]></description>  <Point><coordinates>");
    // "%.07f": the six exact decimals and a trailing zero.
    p = PutMicroDegrees(p, r.lLongitude);
    *p++ = '0';
    *p++ = ',';
    p = PutMicroDegrees(p, r.lLatitude);
    *p++ = '0';
    return PutText(p, ",0</coordinates></Point>\r\n </Placemark>\r\n");
}

char* PutCsvLine(char* p, const FixRecord& r, const LogDateTime& local, const LogDateTime& gps) {
    p = PutText(p, "=\"");
    p = PutDateTime(p, local, '-', ' ');
    p = PutText(p, "\",=\"");
    p = PutDateTime(p, gps, '-', ' ');
    p = PutText(p, "\",=\"");
    p = PutCsvFixMode(p, r);
    p = PutText(p, "\",=\"");
    p = PutUInt(p, SatellitesUsed(r));
    p = PutText(p, "\",=\"");
    p = PutMicroDegrees(p, r.lLatitude);
    p = PutText(p, "\",=\"");
    p = PutMicroDegrees(p, r.lLongitude);
    p = PutText(p, "\",=\"");
    p = PutUInt(p, r.wAltitude);
    p = PutText(p, " m\",=\"");
    p = PutCsvSpeed(p, r);
    p = PutText(p, " Km/h\",=\"");
    p = PutCsvCourse(p, r);
    p = PutText(p, "\",=\"");
    p = PutCsvHdop(p, r);
    return PutText(p, "\",\r\n");
}

// The walk both formats share: every record of the document, in file order, formatted straight
// into the output buffer by put(p, record, place, local, gps, offset), which returns the end of
// what it wrote.
template <typename PutRecord>
uint32_t WriteDocumentRecords(OutputBuffer& out, const TrackDocument& doc, size_t nMaxRecordBytes,
                              PutRecord put) {
    ZoneOffsetCache offsets(doc.zone);
    DateTimeConverter localDates;
    DateTimeConverter gpsDates;
    return ForEachDocumentRecord(doc, [&](uint32_t i, const FixRecord& r) {
        char* p = out.Reserve(nMaxRecordBytes);
        const int32_t nOffset = offsets.OffsetAt(r.dwTime);
        out.Commit(put(p, r, i + 1, localDates.Convert(r.dwTime, nOffset),
                       gpsDates.Convert(r.dwTime, 0), nOffset));
    });
}

}  // namespace

uint32_t WriteKml(OutputBuffer& out, const TrackDocument& doc) {
    static constexpr char kHeader[] =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
        "<kml xmlns=\"http://www.opengis.net/kml/2.2\">\r\n"
        "<Document>\r\n";
    static constexpr char kTrailer[] = "</Document>\r\n</kml>";
    out.Write(kHeader, sizeof kHeader - 1);
    const uint32_t nWritten =
        WriteDocumentRecords(out, doc, kMaxPlacemarkBytes,
                             [](char* p, const FixRecord& r, uint32_t nPlace,
                                const LogDateTime& local, const LogDateTime& gps, int32_t nOffset) {
                                 return PutKmlPlacemark(p, r, nPlace, local, gps, nOffset);
                             });
    out.Write(kTrailer, sizeof kTrailer - 1);
    out.Flush();
    return nWritten;
}

uint32_t WriteCsv(OutputBuffer& out, const TrackDocument& doc) {
    static constexpr char kHeader[] =
        "Local time,GPS time,Fix mode,SV used,Latitude,Longitude,Altitude,Speed,Course,HDOP\r\n";
    out.Write(kHeader, sizeof kHeader - 1);
    const uint32_t nWritten = WriteDocumentRecords(
        out, doc, kMaxCsvLineBytes,
        [](char* p, const FixRecord& r, uint32_t, const LogDateTime& local, const LogDateTime& gps,
           int32_t) { return PutCsvLine(p, r, local, gps); });
    out.Flush();
    return nWritten;
}

uint32_t WriteKml(OutputBuffer& out, const RawLogImage& image, const RecordSelection& selection,
                  const TimeZone& zone) {
    const RecordPicks picks(image, selection);
    const TrackPart part = WholePart(picks);
    return WriteKml(out, {image, picks, part, zone});
}

uint32_t WriteCsv(OutputBuffer& out, const RawLogImage& image, const RecordSelection& selection,
                  const TimeZone& zone) {
    const RecordPicks picks(image, selection);
    const TrackPart part = WholePart(picks);
    return WriteCsv(out, {image, picks, part, zone});
}

#include "PlainCsvWriter.h"

#include "TextFormat.h"
#include "WriterParts.h"
#include "track/Calendar.h"
#include "track/TimeZone.h"

using namespace textformat;

namespace {

// Two timestamps, eight numbers at their widest and the commas come to well under this.
constexpr size_t kMaxPlainCsvLineBytes = 256;

char* PutPlainCsvLine(char* p, const FixRecord& r, const LogDateTime& local, const LogDateTime& utc,
                      int32_t nOffset) {
    p = PutLocalTimeStamp(p, local, utc, nOffset);
    *p++ = ',';
    p = PutUtcTimeStamp(p, utc);
    *p++ = ',';
    p = PutMicroDegrees(p, r.lLatitude);
    *p++ = ',';
    p = PutMicroDegrees(p, r.lLongitude);
    *p++ = ',';
    p = PutUInt(p, r.wAltitude);
    *p++ = ',';
    p = PutCsvSpeed(p, r);
    *p++ = ',';
    p = PutCsvCourse(p, r);
    *p++ = ',';
    p = PutCsvFixMode(p, r);
    *p++ = ',';
    p = PutUInt(p, SatellitesUsed(r));
    *p++ = ',';
    p = PutCsvHdop(p, r);
    return PutText(p, "\r\n");
}

}  // namespace

uint32_t WritePlainCsv(OutputBuffer& out, const TrackDocument& doc) {
    static constexpr char kHeader[] =
        "local_time,utc_time,latitude,longitude,altitude_m,speed_kmh,course_deg,fix_mode,"
        "satellites,hdop\r\n";
    out.Write(kHeader, sizeof kHeader - 1);
    ZoneOffsetCache offsets(doc.zone);
    DateTimeConverter localDates;
    DateTimeConverter utcDates;
    const uint32_t nWritten = ForEachDocumentRecord(doc, [&](uint32_t, const FixRecord& r) {
        char* p = out.Reserve(kMaxPlainCsvLineBytes);
        const int32_t nOffset = offsets.OffsetAt(r.dwTime);
        out.Commit(PutPlainCsvLine(p, r, localDates.Convert(r.dwTime, nOffset),
                                   utcDates.Convert(r.dwTime, 0), nOffset));
    });
    out.Flush();
    return nWritten;
}

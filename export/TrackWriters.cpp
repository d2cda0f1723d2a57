#include "TrackWriters.h"

#include <cstring>
#include <iterator>
#include <string>
#include <string_view>
#include <utility>

#include "TextFormat.h"
#include "WriterParts.h"
#include "track/Calendar.h"

using namespace textformat;

const char* KmlFixModeColor(unsigned nRawFixMode) {
    // near-white, dark blue, dark green; mode 3 gets dark red.
    static constexpr const char* kColors[4] = {"ffeeeeee", "ff7f0000", "ff007f00", "ff00007f"};
    return kColors[nRawFixMode & 3u];
}

namespace {

// The ten values that describe a fix, in the order the KML balloon and the CSV row both give them:
// the label (the balloon's and the CSV header's), the value, and the unit written after it.
using FieldPut = char* (*)(char*, const FixRecord&, const LogDateTime&, const LogDateTime&);
struct FixField {
    std::string_view label;
    std::string_view unit;
    FieldPut put;
};

inline char* PutView(char* p, std::string_view text) {
    std::memcpy(p, text.data(), text.size());
    return p + text.size();
}

constexpr FixField kFixFields[] = {
    {"Local time", "",
     [](char* p, const FixRecord&, const LogDateTime& local, const LogDateTime&) {
         return PutDateTime(p, local, '-', ' ');
     }},
    {"GPS time", "",
     [](char* p, const FixRecord&, const LogDateTime&, const LogDateTime& gps) {
         return PutDateTime(p, gps, '-', ' ');
     }},
    {"Fix mode", "",
     [](char* p, const FixRecord& r, const LogDateTime&, const LogDateTime&) {
         return PutCsvFixMode(p, r);
     }},
    {"SV used", "",
     [](char* p, const FixRecord& r, const LogDateTime&, const LogDateTime&) {
         return PutUInt(p, SatellitesUsed(r));
     }},
    {"Latitude", "",
     [](char* p, const FixRecord& r, const LogDateTime&, const LogDateTime&) {
         return PutMicroDegrees(p, r.lLatitude);
     }},
    {"Longitude", "",
     [](char* p, const FixRecord& r, const LogDateTime&, const LogDateTime&) {
         return PutMicroDegrees(p, r.lLongitude);
     }},
    {"Altitude", " m",
     [](char* p, const FixRecord& r, const LogDateTime&, const LogDateTime&) {
         return PutUInt(p, r.wAltitude);
     }},
    {"Speed", " Km/h",
     [](char* p, const FixRecord& r, const LogDateTime&, const LogDateTime&) {
         return PutCsvSpeed(p, r);
     }},
    {"Course", "",
     [](char* p, const FixRecord& r, const LogDateTime&, const LogDateTime&) {
         return PutCsvCourse(p, r);
     }},
    {"HDOP", "",
     [](char* p, const FixRecord& r, const LogDateTime&, const LogDateTime&) {
         return PutCsvHdop(p, r);
     }},
};

// One field as the balloon ("<br><b>Speed:</b> 12.34 Km/h") or the CSV row (",=\"12.34 Km/h\"")
// writes it; unrolled at compile time, so the writers' speed stays that of straight code.
template <bool bKml, size_t I>
char* PutFixField(char* p, const FixRecord& r, const LogDateTime& local, const LogDateTime& gps) {
    constexpr FixField field = kFixFields[I];
    if constexpr (bKml) {
        p = I == 0 ? PutText(p, "<b>") : PutText(p, "<br><b>");
        p = PutView(p, field.label);
        p = PutText(p, ":</b> ");
    } else {
        p = I == 0 ? PutText(p, "=\"") : PutText(p, "\",=\"");
    }
    p = field.put(p, r, local, gps);
    return PutView(p, field.unit);
}

template <bool bKml>
char* PutFixFields(char* p, const FixRecord& r, const LogDateTime& local, const LogDateTime& gps) {
    [&]<size_t... I>(std::index_sequence<I...>) {
        ((p = PutFixField<bKml, I>(p, r, local, gps)), ...);
    }
    (std::make_index_sequence<std::size(kFixFields)>());
    return p;
}

}  // namespace

char* PutKmlDescriptionItems(char* p, const FixRecord& r, const LogDateTime& local,
                             const LogDateTime& gps) {
    return PutText(PutFixFields<true>(p, r, local, gps), "<br>");
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
    return PutText(PutFixFields<false>(p, r, local, gps), "\",\r\n");
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
    std::string strHeader;
    for (const FixField& field : kFixFields) {
        strHeader += (strHeader.empty() ? "" : ",") + std::string(field.label);
    }
    strHeader += "\r\n";
    out.Write(strHeader.data(), strHeader.size());
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

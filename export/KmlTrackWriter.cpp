#include <vector>

#include "TrackWriters.h"
#include "WriterParts.h"
#include "track/Calendar.h"

using namespace textformat;

namespace {

// The widest piece any single put below writes (a pushpin with its description) is under this.
constexpr size_t kMaxPieceBytes = 1024;

char* PutKmlCoordinates(char* p, const FixRecord& r, char cSep) {
    p = PutMicroDegrees(p, r.lLongitude);
    *p++ = cSep;
    p = PutMicroDegrees(p, r.lLatitude);
    *p++ = cSep;
    return PutUInt(p, r.wAltitude);
}

// Collects the written fixes of one local day and writes them as the day's folder, whose gx:Track
// lists every time before every coordinate and then each value array. The gx:Track is the day's
// one geometry: a second one (a LineString for viewers without gx) would show every point twice.
class KmlTrackWriter {
  public:
    KmlTrackWriter(OutputBuffer& out, const RawLogImage& image, const TimeZone& zone,
                   const KmlTrackOptions& options)
        : m_out(out), m_image(image), m_offsets(zone), m_options(options) {}

    void Add(uint32_t nIndex, const FixRecord& r) {
        const int32_t nOffset = m_offsets.OffsetAt(r.dwTime);
        const int64_t nDay = LocalDayOf(r.dwTime, nOffset);
        if (m_day.empty() || nDay != m_nDay) {
            WriteDay();
            m_nDay = nDay;
            m_dayDate = SecondsToDateTime(nDay * 86400, 0);
        }
        m_day.push_back(nIndex);
    }

    void WriteDay() {
        if (m_day.empty()) return;
        char* p = m_out.Reserve(kMaxPieceBytes);
        p = PutText(p, "<Folder><name>");
        p = PutDate(p, m_dayDate);
        p = PutText(p, "</name>\r\n<Placemark><name>Track ");
        p = PutDate(p, m_dayDate);
        m_out.Commit(PutText(p, "</name><styleUrl>#track</styleUrl><gx:Track>\r\n"));
        ForDay([this](char* q, const FixRecord& r) {
            q = PutText(q, "<when>");
            q = PutUtcTimeStamp(q, m_utcDates.Convert(r.dwTime, 0));
            return PutText(q, "</when>\r\n");
        });
        ForDay([](char* q, const FixRecord& r) {
            q = PutText(q, "<gx:coord>");
            q = PutKmlCoordinates(q, r, ' ');
            return PutText(q, "</gx:coord>\r\n");
        });
        Write(
            "<ExtendedData><SchemaData schemaUrl=\"#fix\">\r\n"
            "<gx:SimpleArrayData name=\"speed\">\r\n");
        ForDay([](char* q, const FixRecord& r) {
            q = PutText(q, "<gx:value>");
            q = PutScaled(q, r.wSpeed, 2);
            return PutText(q, "</gx:value>\r\n");
        });
        Write("</gx:SimpleArrayData>\r\n<gx:SimpleArrayData name=\"sat\">\r\n");
        ForDay([](char* q, const FixRecord& r) {
            q = PutText(q, "<gx:value>");
            q = PutUInt(q, SatellitesUsed(r));
            return PutText(q, "</gx:value>\r\n");
        });
        Write("</gx:SimpleArrayData>\r\n<gx:SimpleArrayData name=\"hdop\">\r\n");
        ForDay([](char* q, const FixRecord& r) {
            q = PutText(q, "<gx:value>");
            q = PutUInt(q, r.bHdop / 10u);
            *q++ = '.';
            *q++ = static_cast<char>('0' + r.bHdop % 10);
            return PutText(q, "</gx:value>\r\n");
        });
        Write(
            "</gx:SimpleArrayData>\r\n</SchemaData></ExtendedData>\r\n</gx:Track></Placemark>\r\n");
        if (m_options.nPointEvery > 0) WritePushpins();
        Write("</Folder>\r\n");
        m_day.clear();
    }

  private:
    template <size_t N>
    void Write(const char (&text)[N]) {
        m_out.Write(text, N - 1);
    }

    // One piece per fix of the day, formatted straight into the output.
    template <typename Put>
    void ForDay(Put put) {
        for (uint32_t nIndex : m_day) {
            const FixRecord r = m_image.Record(nIndex);
            char* p = m_out.Reserve(kMaxPieceBytes);
            m_out.Commit(put(p, r));
        }
    }

    void WritePushpins() {
        for (uint32_t nIndex : m_day) {
            const uint32_t nOrdinal = m_nPinCounter++;
            if (nOrdinal % m_options.nPointEvery != 0) continue;
            const FixRecord r = m_image.Record(nIndex);
            const LogDateTime utc = m_utcDates.Convert(r.dwTime, 0);
            char* p = m_out.Reserve(kMaxPieceBytes);
            p = PutText(p, "<Placemark><name>");
            p = PutUInt(p, nIndex + 1);
            p = PutText(p, "</name><description><![CDATA[");
            p = PutKmlDescriptionItems(
                p, r, m_localDates.Convert(r.dwTime, m_offsets.OffsetAt(r.dwTime)), utc);
            p = PutText(p, "]]></description><TimeStamp><when>");
            p = PutUtcTimeStamp(p, utc);
            p = PutText(p, "</when></TimeStamp><styleUrl>#fix");
            *p++ = static_cast<char>('0' + RawFixMode(r));
            p = PutText(p, "</styleUrl><Point><coordinates>");
            p = PutKmlCoordinates(p, r, ',');
            m_out.Commit(PutText(p, "</coordinates></Point></Placemark>\r\n"));
        }
    }

    OutputBuffer& m_out;
    const RawLogImage& m_image;
    ZoneOffsetCache m_offsets;
    KmlTrackOptions m_options;
    DateTimeConverter m_utcDates;
    DateTimeConverter m_localDates;
    std::vector<uint32_t> m_day;  // places of the current day's fixes in the image
    int64_t m_nDay = 0;
    LogDateTime m_dayDate{};
    uint32_t m_nPinCounter = 0;  // written fixes before the current one, for every N-th pin
};

}  // namespace

uint32_t WriteKmlTrack(OutputBuffer& out, const TrackDocument& doc,
                       const KmlTrackOptions& options) {
    static constexpr char kHeader[] =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
        "<kml xmlns=\"http://www.opengis.net/kml/2.2\" "
        "xmlns:gx=\"http://www.google.com/kml/ext/2.2\">"
        "\r\n<Document>\r\n"
        "<Style id=\"track\"><IconStyle><Icon><href>"
        "http://maps.google.com/mapfiles/kml/shapes/track.png</href></Icon></IconStyle>"
        "<LineStyle><color>ff0000ff</color><width>3</width></LineStyle></Style>\r\n";
    static constexpr char kSchema[] =
        "<Schema id=\"fix\" name=\"fix\">"
        "<gx:SimpleArrayField name=\"speed\" type=\"float\"><displayName>Speed (km/h)</displayName>"
        "</gx:SimpleArrayField>"
        "<gx:SimpleArrayField name=\"sat\" type=\"int\"><displayName>Satellites used</displayName>"
        "</gx:SimpleArrayField>"
        "<gx:SimpleArrayField name=\"hdop\" type=\"float\"><displayName>HDOP</displayName>"
        "</gx:SimpleArrayField></Schema>\r\n";
    out.Write(kHeader, sizeof kHeader - 1);
    if (options.nPointEvery > 0) {
        for (unsigned nMode = 0; nMode < 4; ++nMode) {
            char* p = out.Reserve(kMaxPieceBytes);
            p = PutText(p, "<Style id=\"fix");
            *p++ = static_cast<char>('0' + nMode);
            p = PutText(p, "\"><IconStyle><color>");
            std::memcpy(p, KmlFixModeColor(nMode), 8);
            p = PutText(p + 8, "</color><Icon><href>");
            p = PutText(p, kKmlIconAddress);
            out.Commit(PutText(p, "</href></Icon></IconStyle></Style>\r\n"));
        }
    }
    out.Write(kSchema, sizeof kSchema - 1);
    KmlTrackWriter writer(out, doc.image, doc.zone, options);
    const uint32_t nWritten = ForEachMapPosition(
        doc, [&](uint32_t nIndex, const FixRecord& r) { writer.Add(nIndex, r); });
    writer.WriteDay();
    static constexpr char kTrailer[] = "</Document>\r\n</kml>\r\n";
    out.Write(kTrailer, sizeof kTrailer - 1);
    out.Flush();
    return nWritten;
}

uint32_t WriteKmlTrack(OutputBuffer& out, const RawLogImage& image,
                       const RecordSelection& selection, const TimeZone& zone,
                       const KmlTrackOptions& options) {
    const RecordPicks picks(image, selection);
    const TrackPart part = WholePart(picks);
    return WriteKmlTrack(out, {image, picks, part, zone}, options);
}

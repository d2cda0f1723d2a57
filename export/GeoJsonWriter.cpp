#include "GeoJsonWriter.h"

#include <vector>

#include "WriterParts.h"
#include "track/Calendar.h"

using namespace textformat;

namespace {

// The widest piece written at once (a point feature) is under this.
constexpr size_t kMaxPieceBytes = 512;

char* PutPosition(char* p, const FixRecord& r) {
    *p++ = '[';
    p = PutMicroDegrees(p, r.lLongitude);
    *p++ = ',';
    p = PutMicroDegrees(p, r.lLatitude);
    *p++ = ',';
    p = PutUInt(p, r.wAltitude);
    *p++ = ']';
    return p;
}

// Collects a segment's fixes and writes it as a feature once it ends.
class GeoJsonWriter {
  public:
    GeoJsonWriter(OutputBuffer& out, const RawLogImage& image, const GeoJsonOptions& options)
        : m_out(out), m_image(image), m_options(options) {}

    void Add(uint32_t nIndex, const FixRecord& r) {
        if (!m_segment.empty() && TimeGap(m_dwPrevTime, r.dwTime) > m_options.nMaxGapSeconds) {
            WriteSegment();
        }
        m_segment.push_back(nIndex);
        m_dwPrevTime = r.dwTime;
    }

    void WriteSegment() {
        if (m_segment.empty()) return;
        const bool bLine = m_segment.size() > 1;
        char* p = StartFeature();
        p = bLine ? PutText(p, "LineString\",\"coordinates\":[")
                  : PutText(p, "Point\",\"coordinates\":");
        m_out.Commit(p);
        ForSegment([](char* q, const FixRecord& r, bool bFirst) {
            if (!bFirst) *q++ = ',';
            return PutPosition(q, r);
        });
        p = m_out.Reserve(kMaxPieceBytes);
        if (bLine) *p++ = ']';
        p = PutText(p, "},\"properties\":{\"start\":\"");
        p = PutTime(p, m_image.Record(m_segment.front()).dwTime);
        p = PutText(p, "\",\"end\":\"");
        p = PutTime(p, m_image.Record(m_segment.back()).dwTime);
        m_out.Commit(PutText(p, "\",\"times\":["));
        ForSegment([this](char* q, const FixRecord& r, bool bFirst) {
            if (!bFirst) *q++ = ',';
            *q++ = '"';
            q = PutTime(q, r.dwTime);
            *q++ = '"';
            return q;
        });
        m_out.Write("]}}", 3);
        if (m_options.bPoints) {
            for (const uint32_t nIndex : m_segment) WritePoint(m_image.Record(nIndex));
        }
        m_segment.clear();
    }

    void Finish() {
        WriteSegment();
        static constexpr char kTrailer[] = "\r\n]}\r\n";
        m_out.Write(kTrailer, sizeof kTrailer - 1);
    }

  private:
    // Up to the geometry's type name.
    char* StartFeature() {
        char* p = m_out.Reserve(kMaxPieceBytes);
        if (m_bAnyFeature) *p++ = ',';
        m_bAnyFeature = true;
        return PutText(p, "\r\n{\"type\":\"Feature\",\"geometry\":{\"type\":\"");
    }

    char* PutTime(char* p, uint32_t dwTime) {
        return PutUtcTimeStamp(p, m_utcDates.Convert(dwTime, 0));
    }

    template <typename Put>
    void ForSegment(Put put) {
        bool bFirst = true;
        for (const uint32_t nIndex : m_segment) {
            char* p = m_out.Reserve(kMaxPieceBytes);
            m_out.Commit(put(p, m_image.Record(nIndex), bFirst));
            bFirst = false;
        }
    }

    void WritePoint(const FixRecord& r) {
        char* p = StartFeature();
        p = PutText(p, "Point\",\"coordinates\":");
        p = PutPosition(p, r);
        p = PutText(p, "},\"properties\":{\"time\":\"");
        p = PutTime(p, r.dwTime);
        p = PutText(p, "\",\"speed_kmh\":");
        p = PutScaled(p, r.wSpeed, 2);
        if (r.bCourse < 180) {
            p = PutText(p, ",\"course\":");
            p = PutUInt(p, r.bCourse * 2u);
        }
        p = PutText(p, ",\"satellites\":");
        p = PutUInt(p, SatellitesUsed(r));
        p = PutText(p, ",\"hdop\":");
        p = PutScaled(p, r.bHdop, 1);
        m_out.Commit(PutText(p, "}}"));
    }

    OutputBuffer& m_out;
    const RawLogImage& m_image;
    GeoJsonOptions m_options;
    DateTimeConverter m_utcDates;
    std::vector<uint32_t> m_segment;  // places of the current segment's fixes in the image
    uint32_t m_dwPrevTime = 0;
    bool m_bAnyFeature = false;
};

}  // namespace

uint32_t WriteGeoJson(OutputBuffer& out, const TrackDocument& doc, const GeoJsonOptions& options) {
    static constexpr char kHeader[] = "{\"type\":\"FeatureCollection\",\"features\":[";
    out.Write(kHeader, sizeof kHeader - 1);
    GeoJsonWriter writer(out, doc.image, options);
    uint32_t nWritten = 0;
    ForEachDocumentRecord(doc, [&](uint32_t nIndex, const FixRecord& r) {
        // A record without a fix may hold any position: it is no coordinate of the track.
        if (IsNoFixRecord(r) || !HasPossibleCoordinates(r)) return;
        writer.Add(nIndex, r);
        ++nWritten;
    });
    writer.Finish();
    out.Flush();
    return nWritten;
}

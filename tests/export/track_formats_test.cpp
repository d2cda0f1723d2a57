#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#ifndef _WIN32
#include <unistd.h>
#endif

#include "TrackGenerator.h"
#include "export/TrackWriters.h"

namespace {

// 2009-05-01 00:30:00 UTC.
constexpr uint32_t kT = 3408u * 86400u + 1800u;

FixRecord Fix(uint32_t t, int32_t lat, int32_t lon, uint16_t alt, uint16_t speed, uint8_t fixSv,
              uint8_t course, uint8_t hdop) {
    return {t, lat, lon, alt, speed, fixSv, course, hdop, 0};
}

const FixRecord kExample = Fix(kT, 47123456, 8654321, 435, 1234, 2 << 6 | 8, 179, 9);

RawLogImage MakeImage(const std::vector<FixRecord>& recs) {
    auto bytes = std::make_unique<uint8_t[]>(recs.size() * kFixRecordSize);
    for (size_t i = 0; i < recs.size(); ++i) EncodeFixRecord(recs[i], bytes.get() + i * 20);
    return RawLogImage(std::move(bytes), static_cast<uint32_t>(recs.size()));
}

RecordSelection All(bool bDropNoFix) {
    RecordSelection sel;
    sel.nSelectMode = kSelectAll;
    sel.bDropNoFix = bDropNoFix;
    return sel;
}

TimeZone Zone(const char* text) {
    TimeZone zone;
    EXPECT_EQ(ParseTimeZone(text, zone), TimeZoneStatus::Ok);
    return zone;
}

const std::string kExt = "<extensions><gpxtpx:TrackPointExtension><gpxtpx:speed>";
const std::string kExtEnd = "</gpxtpx:TrackPointExtension></extensions></trkpt>\r\n";

TEST(GpxWriter, HandComputedDocument) {
    const RawLogImage image = MakeImage({
        kExample,
        Fix(kT + 300, -33900000, 180000000, 0, 0, 1 << 6 | 63, 180, 125),  // gap of 300: same run
        Fix(kT + 601, 0, -5, 65535, 65535, 3 << 6, 0, 0),                  // 301: a new segment
        Fix(kT + 610, INT32_MAX, 0, 0, 0, 0, 0, 0),                        // no position at all
        Fix(kT + 650, 1000000, 2000000, 10, 100, 3, 45, 20),               // no fix
    });
    StringOutput out;
    EXPECT_EQ(WriteGpx(out, image, All(false)), 4u);
    EXPECT_EQ(out.Str(),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
              "<gpx version=\"1.1\" creator=\"Quorvel " QUORVEL_VERSION
              "\" xmlns=\"http://www.topografix.com/GPX/1/1\" "
              "xmlns:gpxtpx=\"http://www.garmin.com/xmlschemas/TrackPointExtension/v2\" "
              "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
              "xsi:schemaLocation=\"http://www.topografix.com/GPX/1/1 "
              "http://www.topografix.com/GPX/1/1/gpx.xsd "
              "http://www.garmin.com/xmlschemas/TrackPointExtension/v2 "
              "http://www.garmin.com/xmlschemas/TrackPointExtensionv2.xsd\">\r\n"
              "<metadata><time>2009-05-01T00:30:00Z</time><bounds minlat=\"-33.900000\" "
              "minlon=\"-180.000000\" maxlat=\"47.123456\" maxlon=\"8.654321\"/></metadata>\r\n"
              "<trk>\r\n<trkseg>\r\n"
              "<trkpt lat=\"47.123456\" lon=\"8.654321\"><ele>435</ele>"
              "<time>2009-05-01T00:30:00Z</time><fix>3d</fix><sat>8</sat><hdop>0.9</hdop>" +
                  kExt + "3.428</gpxtpx:speed><gpxtpx:course>358</gpxtpx:course>" + kExtEnd +
                  "<trkpt lat=\"-33.900000\" lon=\"-180.000000\"><ele>0</ele>"
                  "<time>2009-05-01T00:35:00Z</time><fix>2d</fix><sat>63</sat><hdop>12.5</hdop>" +
                  kExt + "0.000</gpxtpx:speed>" + kExtEnd + "</trkseg>\r\n<trkseg>\r\n" +
                  "<trkpt lat=\"0.000000\" lon=\"-0.000005\"><ele>65535</ele>"
                  "<time>2009-05-01T00:40:01Z</time><sat>0</sat><hdop>0.0</hdop>" +
                  kExt + "182.042</gpxtpx:speed><gpxtpx:course>0</gpxtpx:course>" + kExtEnd +
                  "<trkpt lat=\"1.000000\" lon=\"2.000000\"><ele>10</ele>"
                  "<time>2009-05-01T00:40:50Z</time><fix>none</fix><sat>3</sat><hdop>2.0</hdop>" +
                  kExt + "0.278</gpxtpx:speed><gpxtpx:course>90</gpxtpx:course>" + kExtEnd +
                  "</trkseg>\r\n</trk>\r\n</gpx>\r\n");

    // The record without a position does not use up a place of the limit.
    RecordSelection bySize = All(false);
    bySize.nSelectMode = kSelectBySize;
    bySize.nLimit = 4;
    StringOutput limited;
    EXPECT_EQ(WriteGpx(limited, image, bySize), 4u);
    EXPECT_NE(limited.Str().find("00:40:50Z"), std::string::npos);
}

TEST(KmlTrackWriter, HandComputedDocument) {
    StringOutput out;
    KmlTrackOptions options;
    options.nPointEvery = 1;
    EXPECT_EQ(WriteKmlTrack(out, MakeImage({kExample}), All(true), TimeZone::Fixed(28800), options),
              1u);
    std::string pinStyles;
    for (const char* c : {"0ffeeeeee", "1ff7f0000", "2ff007f00", "3ff00007f"}) {
        pinStyles += std::string("<Style id=\"fix") + c[0] + "\"><IconStyle><color>" + (c + 1) +
                     "</color><Icon><href>http://maps.google.com/mapfiles/kml/pushpin/"
                     "wht-pushpin.png</href></Icon></IconStyle></Style>\r\n";
    }
    EXPECT_EQ(
        out.Str(),
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
        "<kml xmlns=\"http://www.opengis.net/kml/2.2\" "
        "xmlns:gx=\"http://www.google.com/kml/ext/2.2\">\r\n<Document>\r\n"
        "<Style id=\"track\"><IconStyle><Icon><href>http://maps.google.com/mapfiles/kml/shapes/"
        "track.png</href></Icon></IconStyle><LineStyle><color>ff0000ff</color><width>3</width>"
        "</LineStyle></Style>\r\n" +
            pinStyles +
            "<Schema id=\"fix\" name=\"fix\"><gx:SimpleArrayField name=\"speed\" type=\"float\">"
            "<displayName>Speed (km/h)</displayName></gx:SimpleArrayField>"
            "<gx:SimpleArrayField name=\"sat\" type=\"int\"><displayName>Satellites used"
            "</displayName></gx:SimpleArrayField><gx:SimpleArrayField name=\"hdop\" "
            "type=\"float\"><displayName>HDOP</displayName></gx:SimpleArrayField></Schema>\r\n"
            "<Folder><name>2009-05-01</name>\r\n"
            "<Placemark><name>Track 2009-05-01</name><styleUrl>#track</styleUrl><gx:Track>\r\n"
            "<when>2009-05-01T00:30:00Z</when>\r\n<gx:coord>8.654321 47.123456 435</gx:coord>\r\n"
            "<ExtendedData><SchemaData schemaUrl=\"#fix\">\r\n"
            "<gx:SimpleArrayData name=\"speed\">\r\n<gx:value>12.34</gx:value>\r\n"
            "</gx:SimpleArrayData>\r\n<gx:SimpleArrayData name=\"sat\">\r\n"
            "<gx:value>8</gx:value>\r\n</gx:SimpleArrayData>\r\n"
            "<gx:SimpleArrayData name=\"hdop\">\r\n<gx:value>0.9</gx:value>\r\n"
            "</gx:SimpleArrayData>\r\n</SchemaData></ExtendedData>\r\n</gx:Track></Placemark>\r\n"
            "<Placemark><name>Line 2009-05-01</name><styleUrl>#track</styleUrl><LineString>"
            "<tessellate>1</tessellate><coordinates>\r\n8.654321,47.123456,435\r\n"
            "</coordinates></LineString></Placemark>\r\n"
            "<Placemark><name>1</name><description><![CDATA[<b>Local time:</b> 2009-05-01 "
            "08:30:00<br><b>GPS time:</b> 2009-05-01 00:30:00<br><b>Fix mode:</b> 3<br><b>SV "
            "used:</b> 8<br><b>Latitude:</b> 47.123456<br><b>Longitude:</b> 8.654321<br>"
            "<b>Altitude:</b> 435 m<br><b>Speed:</b> 12.34 Km/h<br><b>Course:</b> 358<br>"
            "<b>HDOP:</b> 0.9<br>]]></description><TimeStamp><when>2009-05-01T00:30:00Z</when>"
            "</TimeStamp><styleUrl>#fix2</styleUrl><Point><coordinates>8.654321,47.123456,435"
            "</coordinates></Point></Placemark>\r\n</Folder>\r\n</Document>\r\n</kml>\r\n");
}

// Folders as "name:fixes" with the pushpins' names, read back from the document; a folder whose
// time, coordinate and value counts differ shows as "name:?".
std::string FolderSummary(const std::string& kml) {
    std::string summary;
    for (size_t pos = kml.find("<Folder><name>"); pos != std::string::npos;
         pos = kml.find("<Folder><name>", pos + 1)) {
        const size_t end = kml.find("</Folder>", pos);
        const std::string folder = kml.substr(pos, end - pos);
        auto count = [&](const std::string& what) {
            size_t n = 0;
            for (size_t at = folder.find(what); at != std::string::npos;
                 at = folder.find(what, at + 1)) {
                ++n;
            }
            return n;
        };
        const size_t n = count("</when>\r\n");
        const bool bSame = count("<gx:coord>") == n && count("<gx:value>") == 3 * n &&
                           count(",0\r\n") + count(",1\r\n") == n;  // line points (altitude 0, 1)
        summary += (summary.empty() ? "" : " ") + folder.substr(14, 10) + ":" +
                   (bSame ? std::to_string(n) : "?");
        for (size_t at = folder.find("<Placemark><name>"); at != std::string::npos;
             at = folder.find("<Placemark><name>", at + 1)) {
            const size_t from = at + 17;
            const std::string name = folder.substr(from, folder.find('<', from) - from);
            if (name.find(' ') == std::string::npos) summary += " #" + name;
        }
    }
    return summary;
}

TEST(KmlTrackWriter, DayFoldersFollowTheZonesLocalDays) {
    struct Row {
        const char* zone;
        std::vector<uint32_t> times;  // UTC record times
        uint32_t nPointEvery;
        const char* folders;
    };
    // Days since 2000-01-01 of 2024-03-10 / 03-11 and 2024-10-26 / 10-27.
    constexpr uint32_t kMar10 = 8835u * 86400u;
    constexpr uint32_t kOct26 = 9065u * 86400u;
    const Row rows[] = {
        // 15:59:59Z is 23:59:59 at GMT+8, 16:00:00Z the next midnight.
        {"GMT+8:00", {kT + 55799, kT + 55800}, 1, "2009-05-01:1 #1 2009-05-02:1 #2"},
        // Berlin on summer time until 01:00Z on 10-27, then one hour ahead instead of two.
        {"Europe/Berlin",
         {kOct26 + 21 * 3600 + 3599, kOct26 + 22 * 3600, kOct26 + 86400 + 22 * 3600 + 3599,
          kOct26 + 86400 + 23 * 3600},
         2,
         "2024-10-26:1 #1 2024-10-27:2 #3 2024-10-28:1"},
        // The same fixes one hour ahead all year keep the first two in one day.
        {"GMT+1:00",
         {kOct26 + 21 * 3600 + 3599, kOct26 + 22 * 3600, kOct26 + 86400 + 22 * 3600 + 3599,
          kOct26 + 86400 + 23 * 3600},
         0,
         "2024-10-26:2 2024-10-27:1 2024-10-28:1"},
        // New York five hours behind until 07:00Z on 03-10, then four.
        {"America/New_York",
         {kMar10 + 4 * 3600 + 3599, kMar10 + 5 * 3600, kMar10 + 86400 + 3 * 3600 + 3599,
          kMar10 + 86400 + 4 * 3600},
         3,
         "2024-03-09:1 #1 2024-03-10:2 2024-03-11:1 #4"},
    };
    for (const Row& r : rows) {
        std::vector<FixRecord> recs;
        for (size_t i = 0; i < r.times.size(); ++i) {
            recs.push_back(Fix(r.times[i], 0, 0, static_cast<uint16_t>(i % 2), 0, 2 << 6, 0, 0));
        }
        StringOutput out;
        KmlTrackOptions options;
        options.nPointEvery = r.nPointEvery;
        WriteKmlTrack(out, MakeImage(recs), All(true), Zone(r.zone), options);
        EXPECT_EQ(FolderSummary(out.Str()), r.folders) << r.zone;
    }
}

#ifndef _WIN32
std::string RunTool(const std::string& command, int& status) {
    std::string text;
    FILE* pipe = popen(command.c_str(), "r");
    char buf[4096];
    for (size_t n; pipe && (n = std::fread(buf, 1, sizeof buf, pipe)) > 0;) text.append(buf, n);
    status = pipe ? pclose(pipe) : -1;
    return text;
}

// A scratch file of this process, which other test processes running at the same time do not share.
std::string WriteFile(const std::string& name, const std::string& bytes) {
    const std::string path = testing::TempDir() + std::to_string(getpid()) + "-" + name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}

void ExpectSchemaValid(const std::string& path, const char* schema) {
    int status = 0;
    const std::string text =
        RunTool("xmllint --noout --nonet --schema " QUORVEL_SOURCE_DIR "/tests/data/schemas/" +
                    std::string(schema) + " " + path + " 2>&1",
                status);
    EXPECT_EQ(status, 0) << text;
    std::remove(path.c_str());
}

// A generated drive with stretches without a fix, over more than one day, with an hour's pause.
RawLogImage GeneratedTrack() {
    TrackGeneratorOptions opt;
    opt.nRecords = 3000;
    opt.dwStartTime = 9065u * 86400u;  // 2024-10-26, across Berlin's autumn change
    opt.nIntervalSeconds = 60;
    opt.nNoFixPerMille = 30;
    std::vector<uint8_t> bytes = GenerateTrack(opt);
    for (size_t i = 1500; i < 3000; ++i) WriteLe32(&bytes[i * 20], ReadLe32(&bytes[i * 20]) + 3600);
    auto data = std::make_unique<uint8_t[]>(bytes.size());
    std::copy(bytes.begin(), bytes.end(), data.get());
    return RawLogImage(std::move(data), 3000);
}

TEST(TrackFormats, ValidAgainstTheirSchemas) {
    const RawLogImage image = GeneratedTrack();
    RecordSelection none;  // By Time over an empty window
    none.dwFromTime = 1;
    for (const RecordSelection& sel : {All(false), none}) {
        StringOutput gpx;
        WriteGpx(gpx, image, sel);
        ExpectSchemaValid(WriteFile("t.gpx", gpx.Str()), "gpx11-with-gpxtpx.xsd");
        for (uint32_t nEvery : {0u, 7u}) {
            StringOutput kml;
            WriteKmlTrack(kml, image, sel, Zone("Europe/Berlin"), {nEvery});
            ExpectSchemaValid(WriteFile("t.kml", kml.Str()), "kml22gx.xsd");
        }
    }
}

TEST(GpxWriter, GdalReadsThePointsWithTheirUtcTimesAndSegments) {
    const RawLogImage image = GeneratedTrack();
    GpxOptions options;
    options.nMaxGapSeconds = 1800;
    StringOutput gpx;
    const uint32_t nWritten = WriteGpx(gpx, image, All(true), options);
    const std::string path = WriteFile("g.gpx", gpx.Str());
    int status = 0;
    const std::string text =
        RunTool("ogrinfo -ro -al -q " + path + " track_points 2>/dev/null", status);
    std::remove(path.c_str());
    ASSERT_EQ(status, 0) << text;
    // What GDAL should list, from the records and gmtime alone.
    std::string expected;
    int nSegment = 0;
    uint32_t dwPrev = 0;
    for (uint32_t i = 0; i < image.RecordCount(); ++i) {
        const FixRecord r = image.Record(i);
        if (IsNoFixRecord(r)) continue;
        if (!expected.empty() && r.dwTime - dwPrev > 1800) ++nSegment;
        dwPrev = r.dwTime;
        const std::time_t t = static_cast<std::time_t>(r.dwTime) + 946684800;
        char line[80];
        std::strftime(line, sizeof line, "%Y/%m/%d %H:%M:%S+00", std::gmtime(&t));
        expected += std::to_string(nSegment) + " " + line + "\n";
    }
    std::string actual;
    size_t nPoints = 0;
    for (size_t pos = text.find("track_seg_id (Integer) = "); pos != std::string::npos;
         pos = text.find("track_seg_id (Integer) = ", pos + 1)) {
        const size_t time = text.find("time (DateTime) = ", pos) + 18;
        actual += text.substr(pos + 25, text.find('\n', pos) - pos - 25) + " " +
                  text.substr(time, text.find('\n', time) - time) + "\n";
        ++nPoints;
    }
    EXPECT_EQ(nPoints, nWritten);
    EXPECT_EQ(actual, expected);
}
#endif

}  // namespace

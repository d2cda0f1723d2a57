#include <gtest/gtest.h>

#include "QuorvelVersion.h"

#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "export/TrackWriters.h"
#include "tests/common/Testing.h"

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

const RecordSelection kAll = {kSelectAll, 0, 0, 0, false};

const std::string kExt = "<extensions><gpxtpx:TrackPointExtension><gpxtpx:speed>";
const std::string kExtEnd = "</gpxtpx:TrackPointExtension></extensions></trkpt>\r\n";

TEST(GpxWriter, HandComputedDocument) {
    const RawLogImage image = MakeImage({
        kExample,
        Fix(kT + 300, -33900000, 180000000, 0, 0, 1 << 6 | 63, 180, 125),  // gap of 300: same run
        Fix(kT + 601, 0, -5, 65535, 65535, 3 << 6, 0, 0),                  // 301: a new segment
        Fix(kT + 610, INT32_MAX, 0, 0, 0, 0, 0, 0),                        // no position at all
        Fix(kT + 650, 89000000, 2000000, 10, 100, 3, 45, 20),              // no fix: no point
    });
    StringOutput out;
    EXPECT_EQ(WriteGpx(out, image, kAll), 3u);
    const std::string gpx = out.Str();
    EXPECT_TRUE(Has(gpx, "<gpx version=\"1.1\" creator=\"Quorvel " QUORVEL_VERSION_STRING "\""));
    EXPECT_EQ(gpx.substr(gpx.find("<metadata>")),
              "<metadata><time>2009-05-01T00:30:00Z</time><bounds minlat=\"-33.900000\" "
              "minlon=\"-180.000000\" maxlat=\"47.123456\" maxlon=\"8.654321\"/></metadata>\r\n"
              "<trk><name>Track 2009-05-01</name>\r\n<trkseg>\r\n"
              "<trkpt lat=\"47.123456\" lon=\"8.654321\"><ele>435</ele>"
              "<time>2009-05-01T00:30:00Z</time><fix>3d</fix><sat>8</sat><hdop>0.9</hdop>" +
                  kExt + "3.428</gpxtpx:speed><gpxtpx:course>358</gpxtpx:course>" + kExtEnd +
                  "<trkpt lat=\"-33.900000\" lon=\"-180.000000\"><ele>0</ele>"
                  "<time>2009-05-01T00:35:00Z</time><fix>2d</fix><sat>63</sat><hdop>12.5</hdop>" +
                  kExt + "0.000</gpxtpx:speed>" + kExtEnd + "</trkseg>\r\n<trkseg>\r\n" +
                  "<trkpt lat=\"0.000000\" lon=\"-0.000005\"><ele>65535</ele>"
                  "<time>2009-05-01T00:40:01Z</time><sat>0</sat><hdop>0.0</hdop>" +
                  kExt + "182.042</gpxtpx:speed><gpxtpx:course>0</gpxtpx:course>" + kExtEnd +
                  "</trkseg>\r\n</trk>\r\n</gpx>\r\n");

    StringOutput wide;
    WriteGpx(wide, image, kAll, {301});
    EXPECT_EQ(CountOf(wide.Str(), "<trkseg>"), 1u);
    // The record without a position does not use up a place of the limit; the one without a fix
    // does, but has no place on a map.
    const RecordSelection bySize = {kSelectBySize, 0, 0, 4, false};
    EXPECT_EQ(WriteGpx(wide, image, bySize), 3u);
}

TEST(KmlTrackWriter, HandComputedTrack) {
    StringOutput out;
    const FixRecord noFix = Fix(kT + 5, 0, 0, 0, 0, 0, 0, 0);
    EXPECT_EQ(WriteKmlTrack(out, MakeImage({kExample, noFix}), kAll, TimeZone::Fixed(28800)), 1u);
    const std::string kml = out.Str();
    EXPECT_TRUE(Has(kml,
                    "<gx:Track>\r\n<when>2009-05-01T00:30:00Z</when>\r\n"
                    "<gx:coord>8.654321 47.123456 435</gx:coord>\r\n"
                    "<ExtendedData><SchemaData schemaUrl=\"#fix\">\r\n"
                    "<gx:SimpleArrayData name=\"speed\">\r\n<gx:value>12.34</gx:value>\r\n"
                    "</gx:SimpleArrayData>\r\n<gx:SimpleArrayData name=\"sat\">\r\n"
                    "<gx:value>8</gx:value>\r\n</gx:SimpleArrayData>\r\n"
                    "<gx:SimpleArrayData name=\"hdop\">\r\n<gx:value>0.9</gx:value>\r\n"
                    "</gx:SimpleArrayData>\r\n</SchemaData></ExtendedData>\r\n</gx:Track>"));
    EXPECT_EQ(CountOf(kml, "<Placemark>"), 1u);
}

// Folders as "name:fixes", each followed by its pushpins' names; a folder whose counts of times,
// coordinates and values differ, or that holds a second geometry, shows as "name:?".
std::string FolderSummary(const std::string& kml) {
    std::string summary;
    for (size_t pos = kml.find("<Folder><name>"); pos != std::string::npos;
         pos = kml.find("<Folder><name>", pos + 1)) {
        const std::string folder = kml.substr(pos, kml.find("</Folder>", pos) - pos);
        const size_t n = CountOf(folder, "</when>\r\n");
        const bool bSame = CountOf(folder, "<gx:coord>") == n &&
                           CountOf(folder, "<gx:value>") == 3 * n &&
                           CountOf(folder, "<LineString>") == 0;
        summary += " " + folder.substr(14, 10) + ":" + (bSame ? std::to_string(n) : "?");
        static const std::regex pin("<Placemark><name>([0-9]+)</name>");
        for (std::sregex_iterator it(folder.begin(), folder.end(), pin), end; it != end; ++it)
            summary += " #" + (*it)[1].str();
    }
    return summary;
}

TEST(KmlTrackWriter, DayFoldersFollowTheZonesLocalDays) {
    // 2024-10-26 21:59:59Z and 22:00Z, 10-27 22:59:59Z and 23:00Z: Berlin's midnights while on
    // summer time until 01:00Z on 10-27, then on winter time.
    const uint32_t kOct26 = 9065u * 86400u;
    const std::vector<uint32_t> autumn = {kOct26 + 79199, kOct26 + 79200, kOct26 + 169199,
                                          kOct26 + 169200};
    // 2024-03-10 04:59:59Z and 05:00Z, 03-11 03:59:59Z and 04:00Z: New York's midnights before
    // and after its change at 07:00Z on 03-10.
    const uint32_t kMar10 = 8835u * 86400u;
    const std::vector<uint32_t> spring = {kMar10 + 17999, kMar10 + 18000, kMar10 + 100799,
                                          kMar10 + 100800};
    struct Row {
        const char* zone;
        std::vector<uint32_t> times;  // UTC record times
        uint32_t nPointEvery;
        const char* folders;
    };
    const Row rows[] = {
        {"Europe/Berlin", autumn, 2, " 2024-10-26:1 #1 2024-10-27:2 #3 2024-10-28:1"},
        {"Europe/Berlin", {autumn[3], autumn[1]}, 0, " 2024-10-28:1 2024-10-27:1"},  // back
        {"GMT+1:00", autumn, 1, " 2024-10-26:2 #1 #2 2024-10-27:1 #3 2024-10-28:1 #4"},
        {"America/New_York", spring, 3, " 2024-03-09:1 #1 2024-03-10:2 2024-03-11:1 #4"},
    };
    for (const Row& r : rows) {
        std::vector<FixRecord> recs(r.times.size(), Fix(0, 0, 0, 0, 0, 2 << 6, 0, 0));
        for (size_t i = 0; i < recs.size(); ++i) recs[i].dwTime = r.times[i];
        StringOutput out;
        TimeZone zone;
        ASSERT_EQ(ParseTimeZone(r.zone, zone), TimeZoneStatus::Ok);
        WriteKmlTrack(out, MakeImage(recs), {kSelectAll, 0, 0, 0, true}, zone, {r.nPointEvery});
        EXPECT_EQ(FolderSummary(out.Str()), r.folders) << r.zone;
    }
}

}  // namespace

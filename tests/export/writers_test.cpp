#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "export/Translate.h"

namespace {

// 2009-05-01 00:30:00 GPS time.
constexpr uint32_t kExampleTime = 3408u * 86400u + 1800u;

FixRecord ExampleRecord() {
    FixRecord r{};
    r.dwTime = kExampleTime;
    r.lLatitude = 47123456;
    r.lLongitude = 8654321;
    r.wAltitude = 435;
    r.wSpeed = 1234;
    r.bFixSv = 2 << 6 | 8;
    r.bCourse = 179;
    r.bHdop = 9;
    return r;
}

RawLogImage MakeImage(const std::vector<FixRecord>& recs) {
    auto bytes = std::make_unique<uint8_t[]>(recs.size() * kFixRecordSize);
    for (size_t i = 0; i < recs.size(); ++i) EncodeFixRecord(recs[i], bytes.get() + i * 20);
    return RawLogImage(std::move(bytes), static_cast<uint32_t>(recs.size()));
}

RecordSelection All(bool bDropNoFix = true) {
    RecordSelection sel;
    sel.nSelectMode = kSelectAll;
    sel.bDropNoFix = bDropNoFix;
    return sel;
}

std::string Kml(const RawLogImage& image, const RecordSelection& sel, int32_t offset = 28800) {
    StringOutput out;
    WriteKml(out, image, sel, TimeZone::Fixed(offset));
    return out.Str();
}

std::string Csv(const RawLogImage& image, const RecordSelection& sel,
                const TimeZone& zone = TimeZone::Fixed(28800)) {
    StringOutput out;
    WriteCsv(out, image, sel, zone);
    return out.Str();
}

const std::string kKmlHeader =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
    "<kml xmlns=\"http://www.opengis.net/kml/2.2\">\r\n"
    "<Document>\r\n";
const std::string kKmlTrailer = "</Document>\r\n</kml>";
const std::string kCsvHeader =
    "Local time,GPS time,Fix mode,SV used,Latitude,Longitude,Altitude,Speed,Course,HDOP\r\n";

TEST(CsvWriter, WorkedExample) {
    const RawLogImage image = MakeImage({ExampleRecord()});
    EXPECT_EQ(Csv(image, All()),
              kCsvHeader +
                  "=\"2009-05-01 08:30:00\",=\"2009-05-01 00:30:00\",=\"3\",=\"8\",=\"47.123456\","
                  "=\"8.654321\",=\"435 m\",=\"12.34 Km/h\",=\"358\",=\"0.9\",\r\n");
}

TEST(CsvWriter, NegativeCoordinatesLeadingZerosAndExtremes) {
    FixRecord r{};
    r.dwTime = 3408u * 86400u + 3 * 60 + 9;  // 2009-05-01 00:03:09
    r.lLatitude = -33900000;
    r.lLongitude = -5;
    r.wAltitude = 65535;
    r.wSpeed = 65535;
    r.bFixSv = 3 << 6 | 63;
    r.bCourse = 255;
    r.bHdop = 255;
    EXPECT_EQ(
        Csv(MakeImage({r}), All(), TimeZone::Fixed(8 * 3600)),
        kCsvHeader +
            "=\"2009-05-01 08:03:09\",=\"2009-05-01 00:03:09\",=\"4\",=\"63\",=\"-33.900000\","
            "=\"-0.000005\",=\"65535 m\",=\"655.35 Km/h\",=\"510\",=\"25.5\",\r\n");
}

TEST(CsvWriter, LocalTimesFollowANamedZoneAcrossItsChange) {
    // Berlin moves from UTC+1 to UTC+2 at 01:00 UTC on 2024-03-31.
    std::vector<FixRecord> recs(2, ExampleRecord());
    recs[0].dwTime = 8856u * 86400u + 3599u;
    recs[1].dwTime = recs[0].dwTime + 1;
    TimeZone berlin;
    ASSERT_EQ(ParseTimeZone("Europe/Berlin", berlin), TimeZoneStatus::Ok);
    const std::string csv = Csv(MakeImage(recs), All(), berlin);
    EXPECT_NE(csv.find("\n=\"2024-03-31 01:59:59\",=\"2024-03-31 00:59:59\""), std::string::npos);
    EXPECT_NE(csv.find("\n=\"2024-03-31 03:00:00\",=\"2024-03-31 01:00:00\""), std::string::npos);
}

TEST(CsvWriter, NoRecordSelectedLeavesTheHeaderOnly) {
    RecordSelection sel;
    sel.nSelectMode = kSelectByTime;
    sel.dwFromTime = 1;
    sel.dwToTime = 2;
    EXPECT_EQ(Csv(MakeImage({ExampleRecord()}), sel), kCsvHeader);
    EXPECT_EQ(Csv(RawLogImage(), All()), kCsvHeader);
}

TEST(KmlWriter, WorkedExampleAsRecordTwelve) {
    std::vector<FixRecord> recs(12, ExampleRecord());
    for (int i = 0; i < 11; ++i) recs[i].dwTime = 0;  // outside the window below
    RecordSelection sel;
    sel.nSelectMode = kSelectByTime;
    sel.dwFromTime = kExampleTime;
    sel.dwToTime = kExampleTime;
    const std::string expected =
        kKmlHeader +
        " <Placemark>\r\n"
        "  <TimeStamp> <when>2009-05-01T08:30:00Z</when> </TimeStamp> \r\n"
        "  <Style> <IconStyle><Icon><href>"
        "http://maps.google.com/mapfiles/kml/pushpin/wht-pushpin.png"
        "</href></Icon><colorMode>normal</colorMode><color>ff007f00</color></IconStyle></Style>\r\n"
        "  <name>12</name>\r\n"
        "  <description>  <![CDATA[<b>Local time:</b> 2009-05-01 08:30:00<br>"
        "<b>GPS time:</b> 2009-05-01 00:30:00<br><b>Fix mode:</b> 3<br><b>SV used:</b> 8<br>"
        "<b>Latitude:</b> 47.123456<br><b>Longitude:</b> 8.654321<br><b>Altitude:</b> 435 m<br>"
        "<b>Speed:</b> 12.34 Km/h<br><b>Course:</b> 358<br><b>HDOP:</b> 0.9<br>]]></description>"
        "  <Point><coordinates>8.6543210,47.1234560,0</coordinates></Point>\r\n"
        " </Placemark>\r\n" +
        kKmlTrailer;
    EXPECT_EQ(Kml(MakeImage(recs), sel), expected);
}

TEST(KmlWriter, StylesFollowTheRawFixMode) {
    std::vector<FixRecord> recs(4, ExampleRecord());
    for (unsigned mode = 0; mode < 4; ++mode)
        recs[mode].bFixSv = static_cast<uint8_t>(mode << 6 | 5);
    const std::string kml = Kml(MakeImage(recs), All(false));
    const char* colors[] = {"ffeeeeee", "ff7f0000", "ff007f00", "ff00007f"};
    size_t pos = 0;
    for (unsigned mode = 0; mode < 4; ++mode) {
        pos = kml.find("<color>", pos);
        ASSERT_NE(pos, std::string::npos);
        EXPECT_EQ(kml.substr(pos + 7, 8), colors[mode]) << mode;
        const size_t fix = kml.find("<b>Fix mode:</b> ", pos);
        EXPECT_EQ(kml[fix + 17], static_cast<char>('1' + mode));
        ++pos;
    }
    // The four colours are distinct.
    for (int a = 0; a < 4; ++a)
        for (int b = a + 1; b < 4; ++b) EXPECT_STRNE(KmlFixModeColor(a), KmlFixModeColor(b));
}

TEST(KmlWriter, NamesKeepFilePlacesAndNegativeCoordinates) {
    std::vector<FixRecord> recs(4, ExampleRecord());
    recs[0].bFixSv = 0;  // no fix: dropped
    recs[1].bFixSv = 0;
    recs[2].lLatitude = -33900000;
    recs[2].lLongitude = -151200000;
    const std::string kml = Kml(MakeImage(recs), All());
    EXPECT_EQ(kml.find("<name>1</name>"), std::string::npos);
    EXPECT_NE(kml.find("<name>3</name>"), std::string::npos);
    EXPECT_NE(kml.find("<name>4</name>"), std::string::npos);
    EXPECT_NE(kml.find("<coordinates>-151.2000000,-33.9000000,0</coordinates>"), std::string::npos);
    EXPECT_NE(kml.find("<b>Latitude:</b> -33.900000<br>"), std::string::npos);
}

TEST(KmlWriter, NoRecordSelectedLeavesTheFrame) {
    RecordSelection sel = All();
    const RawLogImage image = MakeImage({FixRecord{}});  // a no-fix record, dropped
    EXPECT_EQ(Kml(image, sel), kKmlHeader + kKmlTrailer);
}

TEST(Writers, ReturnTheWrittenCountAndBufferAcrossFlushes) {
    // Many records through a small buffer: the bytes are the same as through a large one.
    std::vector<FixRecord> recs(5000, ExampleRecord());
    for (size_t i = 0; i < recs.size(); ++i) recs[i].dwTime += static_cast<uint32_t>(i * 37);
    const RawLogImage image = MakeImage(recs);
    StringOutput small(2048);
    EXPECT_EQ(WriteKml(small, image, All(), TimeZone::Fixed(3600)), 5000u);
    EXPECT_EQ(small.Str(), Kml(image, All(), 3600));
    StringOutput smallCsv(1024);
    EXPECT_EQ(WriteCsv(smallCsv, image, All(), TimeZone::Fixed(-3600)), 5000u);
    EXPECT_EQ(smallCsv.Str(), Csv(image, All(), TimeZone::Fixed(-3600)));
}

TEST(OutputFormat, ChosenByTheLastDotOfTheWholePath) {
    struct Case {
        const char* path;
        TranslateStatus status;
        OutputFormat format;
    };
    const Case cases[] = {
        {"/tmp/a.kml", TranslateStatus::Ok, OutputFormat::Kml},
        {"/tmp/a.csv", TranslateStatus::Ok, OutputFormat::Csv},
        {"/tmp/a.txt", TranslateStatus::Ok, OutputFormat::Csv},
        {"/tmp/a.gpx", TranslateStatus::Ok, OutputFormat::Gpx},
        {"/tmp/a.KML", TranslateStatus::Unsupported, OutputFormat::Kml},
        {"/tmp/a.Csv", TranslateStatus::Unsupported, OutputFormat::Kml},
        {"/tmp/a.kml.bak", TranslateStatus::Unsupported, OutputFormat::Kml},
        {"/tmp/a", TranslateStatus::NoExtension, OutputFormat::Kml},
        {"/tmp/track.v2/out", TranslateStatus::Unsupported, OutputFormat::Kml},
        {"a.", TranslateStatus::Unsupported, OutputFormat::Kml},
    };
    for (const Case& c : cases) {
        OutputFormat format = OutputFormat::Kml;
        EXPECT_EQ(OutputFormatFromPath(c.path, {}, format), c.status) << c.path;
        if (c.status == TranslateStatus::Ok) {
            EXPECT_EQ(format, c.format) << c.path;
        }
    }
    TranslateOptions track;
    track.bKmlTrack = true;
    OutputFormat format = OutputFormat::Kml;
    EXPECT_EQ(OutputFormatFromPath("a.kml", track, format), TranslateStatus::Ok);
    EXPECT_EQ(format, OutputFormat::KmlTrack);
    EXPECT_EQ(TranslateResult{TranslateStatus::NoExtension}.FailureMessage("a"),
              "Unknown file format.");
    EXPECT_EQ(TranslateResult{TranslateStatus::Unsupported}.FailureMessage("a.x").rfind(
                  "File format not supported.\n\n", 0),
              0u);
}

}  // namespace

// The KML and CSV writers' bytes for hand-computed records, their numbers against printf, the
// choice of format, and the output file's finishing.

#include <gtest/gtest.h>

#include <random>

#include "export/OutputFile.h"
#include "export/TextFormat.h"
#include "export/Translate.h"
#include "tests/common/Testing.h"

namespace {

// 2009-05-01 00:30:00 GPS time: the worked example's record.
constexpr uint32_t kT = 3408u * 86400u + 1800u;
const Rec kExample{kT, 47123456, 8654321, 435, 1234, 2, 8, 179, 9};

RawLogImage Image(const std::vector<Rec>& recs) {
    const std::string bytes = Records(recs);
    auto data = std::make_unique<uint8_t[]>(bytes.size());
    std::memcpy(data.get(), bytes.data(), bytes.size());
    return RawLogImage(std::move(data), static_cast<uint32_t>(recs.size()));
}

RecordSelection All(bool bDropNoFix = true) {
    return {kSelectAll, 0, 0, 0, bDropNoFix};
}

template <typename Write>
std::string Out(Write write, size_t nCapacity = 64 * 1024) {
    StringOutput out(nCapacity);
    write(out);
    return out.Str();
}

const std::string kCsvHeader =
    "Local time,GPS time,Fix mode,SV used,Latitude,Longitude,Altitude,Speed,Course,HDOP\r\n";
const std::string kKmlHead =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<kml xmlns=\"http://www.opengis.net/kml/2.2\">"
    "\r\n<Document>\r\n";

TEST(CsvWriter, WorkedExampleAndExtremes) {
    const Rec extreme{3408u * 86400u + 189, -33900000, -5, 65535, 65535, 3, 63, 255, 255};
    const TimeZone gmt8 = TimeZone::Fixed(28800);
    EXPECT_EQ(
        Out([&](auto& o) {
            WriteCsv(o, Image({kExample, extreme}), All(), gmt8);
        }),
        kCsvHeader +
            "=\"2009-05-01 08:30:00\",=\"2009-05-01 00:30:00\",=\"3\",=\"8\",=\"47.123456\","
            "=\"8.654321\",=\"435 m\",=\"12.34 Km/h\",=\"358\",=\"0.9\",\r\n"
            "=\"2009-05-01 08:03:09\",=\"2009-05-01 00:03:09\",=\"4\",=\"63\",=\"-33.900000\","
            "=\"-0.000005\",=\"65535 m\",=\"655.35 Km/h\",=\"510\",=\"25.5\",\r\n");
    // Nothing selected: the header alone. A named zone: local times across its change (Berlin
    // goes from UTC+1 to UTC+2 at 01:00 UTC on 2024-03-31).
    EXPECT_EQ(Out([&](auto& o) {
                  WriteCsv(o, Image({kExample}), {kSelectByTime, 1, 2}, gmt8);
              }),
              kCsvHeader);
    TimeZone berlin;
    ASSERT_EQ(ParseTimeZone("Europe/Berlin", berlin), TimeZoneStatus::Ok);
    const uint32_t t = 8856u * 86400u + 3599u;
    const std::string csv = Out([&](auto& o) {
        WriteCsv(o, Image({{t}, {t + 1}}), All(), berlin);
    });
    EXPECT_NE(csv.find("\n=\"2024-03-31 01:59:59\",=\"2024-03-31 00:59:59\""), std::string::npos);
    EXPECT_NE(csv.find("\n=\"2024-03-31 03:00:00\",=\"2024-03-31 01:00:00\""), std::string::npos);
}

TEST(KmlWriter, WorkedExampleStylesAndPlaces) {
    // The worked example as the file's twelfth record, the eleven before it outside the window.
    std::vector<Rec> recs(12, kExample);
    for (int i = 0; i < 11; ++i) recs[i].dwTime = 0;
    EXPECT_EQ(
        Out([&](auto& o) {
            WriteKml(o, Image(recs), {kSelectByTime, kT, kT}, TimeZone::Fixed(28800));
        }),
        kKmlHead +
            " <Placemark>\r\n  <TimeStamp> <when>2009-05-01T08:30:00+08:00</when> </TimeStamp> \r\n"
            "  <Style> <IconStyle><Icon><href>http://maps.google.com/mapfiles/kml/pushpin/"
            "wht-pushpin.png</href></Icon><colorMode>normal</colorMode><color>ff007f00</color>"
            "</IconStyle></Style>\r\n  <name>12</name>\r\n  <description>  <![CDATA[<b>Local "
            "time:</b> 2009-05-01 08:30:00<br><b>GPS time:</b> 2009-05-01 00:30:00<br><b>Fix "
            "mode:</b> 3<br><b>SV used:</b> 8<br><b>Latitude:</b> 47.123456<br><b>Longitude:</b> "
            "8.654321<br><b>Altitude:</b> 435 m<br><b>Speed:</b> 12.34 Km/h<br><b>Course:</b> "
            "358<br><b>HDOP:</b> 0.9<br>]]></description>  <Point><coordinates>8.6543210,"
            "47.1234560,0</coordinates></Point>\r\n </Placemark>\r\n</Document>\r\n</kml>");
    // One colour per raw fix mode; places follow the file; negative coordinates keep their sign.
    std::vector<Rec> modes(4, kExample);
    for (uint8_t m = 0; m < 4; ++m) modes[m].bFix = m;
    modes[3].lLat = -33900000;
    modes[3].lLon = -151200000;
    const std::string kml =
        Out([&](auto& o) { WriteKml(o, Image(modes), All(false), TimeZone::Fixed(0)); });
    size_t at = 0;
    for (const char* color : {"ffeeeeee", "ff7f0000", "ff007f00", "ff00007f"}) {
        at = kml.find(std::string("<color>") + color, at);
        ASSERT_NE(at, std::string::npos) << color;
    }
    EXPECT_NE(kml.find("<coordinates>-151.2000000,-33.9000000,0</coordinates>"), std::string::npos);
    EXPECT_NE(kml.find("<name>4</name>"), std::string::npos);
    EXPECT_EQ(Out([&](auto& o) {
                  WriteKml(o, Image({{0, 0, 0, 0, 0, 0}}), All(), TimeZone());
              }),
              kKmlHead + "</Document>\r\n</kml>");
}

// Many records through a small buffer give the same bytes and count as through a large one.
TEST(Writers, BufferSizeChangesNothing) {
    std::vector<Rec> recs(5000, kExample);
    for (size_t i = 0; i < recs.size(); ++i) recs[i].dwTime += static_cast<uint32_t>(i * 37);
    const RawLogImage image = Image(recs);
    uint32_t nSmall = 0;
    const auto kml = [&](size_t n) {
        return Out([&](auto& o) { nSmall = WriteKml(o, image, All(), TimeZone::Fixed(3600)); }, n);
    };
    EXPECT_EQ(kml(2048), kml(1 << 20));
    EXPECT_EQ(nSmall, 5000u);
}

// The hand-placed decimal point prints exactly what printf prints for the scaled double.
TEST(TextFormat, NumbersMatchPrintf) {
    using namespace textformat;
    char buf[64];
    char expected[64];
    const auto check = [&](int32_t v) {
        std::snprintf(expected, sizeof expected, "%.07f", v / 1000000.0);
        ASSERT_EQ(std::string(buf, PutMicroDegrees(buf, v)) + "0", expected) << v;
    };
    for (const int32_t v : {0, 1, -1, 9, -9, 10, INT32_MAX, INT32_MIN, INT32_MIN + 1}) check(v);
    std::mt19937 rng(47);
    std::uniform_int_distribution<int32_t> any(INT32_MIN, INT32_MAX);
    for (int i = 0; i < 1000000; ++i) check(any(rng));
    // Every value on request: four billion printf calls take a while.
    for (uint64_t u = 0; std::getenv("QUORVEL_EXHAUSTIVE") != nullptr && u <= 0xffffffffULL; ++u) {
        check(static_cast<int32_t>(static_cast<uint32_t>(u)));
    }
    for (uint32_t v = 0; v <= 0xffff; ++v) {
        std::snprintf(expected, sizeof expected, "%.2f", v / 100.0);
        ASSERT_EQ(std::string(buf, PutScaled(buf, v, 2)), expected) << v;
    }
}

// The writer thread keeps the buffers in order; a file never finished leaves the target as it was
// and no temporary file behind, even when the name is taken by a folder.
TEST(OutputFile, OrderUnfinishedAndFailedRename) {
    TempDir dir;
    std::string expected;
    {
        OutputFile out;
        ASSERT_TRUE(out.Create(dir / "many.csv"));
        for (int i = 0; i < 20000; ++i) {
            const std::string piece =
                std::to_string(i) + std::string(static_cast<size_t>(i % 700), 'x');
            out.Write(piece);
            expected += piece;
        }
        ASSERT_TRUE(out.Finish());
    }
    EXPECT_EQ(ReadFile(dir / "many.csv"), expected);
    WriteFile(dir / "keep.kml", "precious");
    {
        OutputFile out;
        ASSERT_TRUE(out.Create(dir / "keep.kml"));
        out.Write("partial", 7);
    }
    EXPECT_EQ(ReadFile(dir / "keep.kml"), "precious");
    fs::create_directory(dir / "folder.kml");
    OutputFile out;
    ASSERT_TRUE(out.Create(dir / "folder.kml"));
    out.Write("x", 1);
    EXPECT_FALSE(out.Finish());
    EXPECT_NE(out.Error(), 0);
    size_t nFiles = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir.Path())) ++nFiles;
    EXPECT_EQ(nFiles, 3u);  // many.csv, keep.kml, folder.kml
}

}  // namespace

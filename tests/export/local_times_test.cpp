// Local times as quorvel-cli writes them: pushpin times that readers place at their instants, and
// times that fall before 2000-01-01 in the chosen zone.

#include <gtest/gtest.h>

#include <regex>

#include "tests/common/Programs.h"

namespace {

// Python reads each <when> and compares it with the raw log's record time (2000-01-01 UTC plus
// its seconds), in file order: "<count> <all equal>".
constexpr char kInstants[] = R"(
import datetime as d, re, struct, sys
raw, kml = open(sys.argv[1], 'rb').read(), open(sys.argv[2]).read()
want = [d.datetime(2000, 1, 1, tzinfo=d.timezone.utc) + d.timedelta(seconds=t)
        for (t,) in struct.iter_unpack('<I16x', raw)]
got = [d.datetime.fromisoformat(w) for w in re.findall('<when>([^<]*)</when>', kml)]
print(len(got), got == want)
)";

TEST(LocalTimes, PushpinTimesNameTheirInstant) {
    TempDir dir;
    // 2024-10-27 00:59:59 and 01:00:00 UTC: Berlin's 02:59:59 summer time, then 02:00:00 winter
    // time (zdump); 2024-03-31 00:59:59 UTC is 01:59:59 winter time.
    const uint32_t kAutumn = 9066u * 86400u + 3599u;
    const std::string dst =
        WriteFile(dir / "dst.dlg", Records({{8856u * 86400u + 3599u}, {kAutumn}, {kAutumn + 1}}));
    const std::string schema = std::string(QUORVEL_SOURCE_DIR) + "/tests/data/schemas/kml22gx.xsd";
    const std::string out = dir / "p.kml";
    for (const auto& [log, zone, count, when] :
         {std::tuple{kSample, "GMT+8", "600", "<when>2009-05-01T23:30:00\\+08:00</when>"},
          std::tuple{kSample, "UTC", "600", "<when>2009-05-01T15:30:00Z</when> </TimeStamp> "},
          std::tuple{dst, "Europe/Berlin", "3",
                     "01:59:59\\+01:00</when>[^]*02:59:59\\+02:00</when>[^]*02:00:00\\+01:00<"}}) {
        ASSERT_EQ(
            RunProgram({kCli, "translate", log, "--all", "--keep-nofix", "--tz", zone, "-o", out})
                .nStatus,
            0);
        EXPECT_TRUE(std::regex_search(ReadFile(out), std::regex(when))) << zone;
        const RunResult r = RunProgram({"python3", "-c", kInstants, log, out});
        EXPECT_EQ(r.strOut, std::string(count) + " True\n") << zone << r.strErr;
        // Each time is a KML dateTime (the placemark's element order is another matter).
        EXPECT_EQ(Shell("xmllint --noout --nonet --schema '" + schema + "' '" + out +
                        "' 2>&1 | grep -c 'element when'")
                      .strOut,
                  "0\n")
            << zone;
    }
}

// 2000-01-01 00:00 and 01:00 UTC are 1999-12-31 19:00 and 20:00 in New York, 05:00 UTC its
// midnight: every output shows them in 1999, in instant order.
TEST(LocalTimes, BeforeTwoThousandInTheChosenZone) {
    TempDir dir;
    const std::string log = WriteFile(dir / "y2k.dlg", Records({{0}, {3600}, {18000}}));
    const std::string csv = dir / "x.csv", kml = dir / "x.kml", track = dir / "t.kml";
    const struct {
        std::vector<std::string> args;
        std::string file;  // empty: the standard output
        const char* text;
    } rows[] = {
        {{"translate", "--all", "-o", csv},
         csv,
         "\n=\"1999-12-31 19:00:00\",=\"2000-01-01 00:00:00\""},
        {{"translate", "--all", "-o", kml}, kml, "<when>1999-12-31T20:00:00-05:00</when>"},
        {{"translate", "--all", "--kml-track", "-o", track}, track, "<Folder><name>1999-12-31<"},
        {{"info"}, "", "Time: 1999/12/31 19:00:00 ~ 2000/01/01 00:00:00\n"},
        {{"info", "--days"},
         "",
         "\n1999-12-31  19:00:00  20:00:00        2       0     1     0.0 km   12.3 km/h\n"
         "2000-01-01  00:00:00  00:00:00        1"},
        {{"translate", "--all", "--split", "day", "-o", dir / "d-%Y-%m-%d.csv"},
         dir / "d-1999-12-31.csv",
         "\n=\"1999-12-31 19:00:00\",=\"2000-01-01 00:00:00\",=\"3\",=\"7\",=\"25.033000\","
         "=\"121.565400\",=\"12 m\",=\"12.34 Km/h\",=\"90\",=\"0.9\",\r\n=\"1999-12-31 20:00:00\""},
        {{"translate", "--all", "--split", "day", "-o", dir / "d-%Y-%m-%d.csv"},
         dir / "d-2000-01-01.csv",
         "\n=\"2000-01-01 00:00:00\",=\"2000-01-01 05:00:00\""},
    };
    for (const auto& row : rows) {
        std::vector<std::string> args = {kCli, row.args[0], log, "--tz", "America/New_York"};
        args.insert(args.end(), row.args.begin() + 1, row.args.end());
        const RunResult r = RunProgram(args);
        ASSERT_EQ(r.nStatus, 0) << row.text << r.strErr;
        const std::string text = row.file.empty() ? r.strOut : ReadFile(row.file);
        EXPECT_NE(text.find(row.text), std::string::npos) << row.text << "\n" << text;
    }
}

}  // namespace

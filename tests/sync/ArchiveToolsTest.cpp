// quorvel-cli merge, translate --split, the filters and info --days, run as a program on small
// hand-built raw logs; expected values worked out by hand (0.01 degree of longitude on the equator
// is 6371 km x pi / 18000 = 1.11195 km).
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "track/FixRecord.h"

namespace {

namespace fs = std::filesystem;

const std::string kCli = std::string(QUORVEL_BINARY_DIR) + "/cli/quorvel-cli";
constexpr uint32_t kMay1 = 294451200;  // 2009-05-01 00:00:00 UTC

FixRecord Fix(uint32_t t, int32_t lat, int32_t lon, uint16_t speed = 0, unsigned sats = 8,
              uint8_t hdop = 10, unsigned mode = 2) {
    FixRecord r{};
    r.dwTime = t;
    r.lLatitude = lat;
    r.lLongitude = lon;
    r.wSpeed = speed;
    r.bFixSv = static_cast<uint8_t>(mode << 6 | sats);
    r.bHdop = hdop;
    return r;
}

std::string Bytes(const std::vector<FixRecord>& recs) {
    std::string bytes(recs.size() * kFixRecordSize, '\0');
    for (size_t i = 0; i < recs.size(); ++i) {
        EncodeFixRecord(recs[i], reinterpret_cast<uint8_t*>(bytes.data()) + i * kFixRecordSize);
    }
    return bytes;
}

size_t CountOf(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

class ArchiveToolsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_dir = fs::temp_directory_path() /
                ("quorvel_tools_" + std::to_string(::getpid()) + "_" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(m_dir);
    }
    void TearDown() override { fs::remove_all(m_dir); }
    std::string Path(const std::string& name) const { return (m_dir / name).string(); }
    std::string Read(const std::string& name) const {
        std::ifstream in(Path(name), std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }
    void Write(const std::string& name, const std::vector<FixRecord>& recs) const {
        std::ofstream(Path(name), std::ios::binary) << Bytes(recs);
    }
    // Runs a shell line in the test's folder: exit status, standard output and error together.
    std::pair<int, std::string> Run(const std::string& line) const {
        const int rc =
            std::system(("cd '" + m_dir.string() + "' && " + line + " >out.txt 2>&1").c_str());
        return {WIFEXITED(rc) ? WEXITSTATUS(rc) : -1, Read("out.txt")};
    }
    std::pair<int, std::string> Cli(const std::string& args) const {
        return Run("'" + kCli + "' " + args);
    }

    fs::path m_dir;
};

TEST_F(ArchiveToolsTest, MergeOrdersByTimeAndKeepsEachRecordOnce) {
    const FixRecord v = Fix(50, 1, 1), x = Fix(100, 2, 2), y = Fix(200, 3, 3), w = Fix(250, 4, 4),
                    z = Fix(300, 5, 5), z2 = Fix(300, 6, 6);
    Write("a.dlg", {x, y, z});
    Write("b.dlg", {y, w, z2, v});  // not in time order itself
    struct Case {
        std::string inputs;
        std::vector<FixRecord> expected;  // equal times keep the inputs' order
    };
    for (const Case& c :
         {Case{"a.dlg b.dlg", {v, x, y, w, z, z2}}, Case{"b.dlg a.dlg", {v, x, y, w, z2, z}}}) {
        const auto [nExit, out] = Cli("merge " + c.inputs + " -o all.dlg --force");
        EXPECT_EQ(nExit, 0) << out;
        EXPECT_EQ(Read("all.dlg"), Bytes(c.expected)) << c.inputs;
        EXPECT_EQ(out,
                  "6 records written to all.dlg from 7 in 2 files; 1 exact copies left out; 1 "
                  "records share their time with a different record (all kept).\n");
    }
    // An existing output is replaced only when it is an input, or with --force.
    auto [nExit, out] = Cli("merge a.dlg b.dlg -o all.dlg");
    EXPECT_EQ(nExit, 2) << out;
    std::tie(nExit, out) = Cli("merge a.dlg b.dlg -o ./a.dlg");
    EXPECT_EQ(nExit, 0) << out;
    EXPECT_EQ(Read("a.dlg"), Bytes({v, x, y, w, z, z2}));
    std::tie(nExit, out) = Cli("merge a.dlg missing.dlg -o c.dlg");
    EXPECT_NE(out.find("Can't open raw data file.\nquorvel-cli: missing.dlg"), std::string::npos);
    EXPECT_FALSE(fs::exists(Path("c.dlg")));
}

TEST_F(ArchiveToolsTest, SplitByLocalDayAndByGap) {
    // Europe/Berlin: 22:59:59 UTC on 30 March is 23:59:59 CET; 21:59:59 UTC on 31 March, after
    // the spring change, is 23:59:59 CEST.
    constexpr uint32_t kMar30 = 765154799, kMar31 = 765237599;
    Write("dst.dlg",
          {Fix(kMar30, 0, 0), Fix(kMar30 + 1, 0, 0), Fix(kMar31, 0, 0), Fix(kMar31 + 1, 0, 0)});
    auto [nExit, out] =
        Cli("translate dst.dlg --all --split day --tz Europe/Berlin -o 'trip-%Y-%m-%d.csv'");
    ASSERT_EQ(nExit, 0) << out;
    EXPECT_EQ(CountOf(Read("trip-2024-03-30.csv"), "\r\n"), 2u);
    EXPECT_EQ(CountOf(Read("trip-2024-03-31.csv"), "\r\n"), 3u);
    EXPECT_EQ(CountOf(Read("trip-2024-04-01.csv"), "\r\n"), 2u);
    EXPECT_NE(out.find("4 of 4 records written to 3 files."), std::string::npos) << out;
    // A gap of more than 30 minutes starts a new file; a name without a field gets -1, -2.
    Write("gap.dlg", {Fix(kMay1, 0, 0), Fix(kMay1 + 60, 0, 0), Fix(kMay1 + 1861, 0, 0),
                      Fix(kMay1 + 3661, 0, 0)});
    std::tie(nExit, out) = Cli("translate gap.dlg --all --split gap=30m -o out.gpx");
    ASSERT_EQ(nExit, 0) << out;
    EXPECT_EQ(CountOf(Read("out-1.gpx"), "<trkpt "), 2u);
    EXPECT_EQ(CountOf(Read("out-2.gpx"), "<trkpt "), 2u);
    std::tie(nExit, out) = Cli("translate gap.dlg --all --split gap=1m -o 'x-%Y.csv'");
    EXPECT_NE(out.find("Two parts would both be written to x-2009.csv"), std::string::npos) << out;
    std::tie(nExit, out) = Cli("translate gap.dlg --all --split day -o 'x-%H.csv'");
    EXPECT_NE(out.find("Unknown field in the output name"), std::string::npos) << out;
    EXPECT_EQ(nExit, 1);
}

TEST_F(ArchiveToolsTest, FiltersCountWhatTheyLeaveOut) {
    const uint32_t t = kMay1;
    // 0.001 degree east in 20 s from the first fix: 0.111195 km, 20.015 km/h.
    Write("f.dlg", {Fix(t, 0, 0), Fix(t + 5, 90000001, 0), Fix(t + 6, 0, 100, 0, 3),
                    Fix(t + 7, 0, 200, 0, 8, 26), Fix(t + 10, 0, 10000), Fix(t + 20, 0, 1000)});
    const std::string all = "--min-sats 4 --max-hdop 2.5 ";
    struct Case {
        std::string format, options;
        unsigned nWritten;
        std::string leftOut;
    };
    const Case cases[] = {
        {"csv", "", 5, "1 with impossible coordinates."},
        {"kml", "--max-speed 150", 4,
         "1 with impossible coordinates, 1 reached faster than 150 km/h from the fix before."},
        {"gpx", all + "--max-speed 20.03", 2,
         "1 with impossible coordinates, 1 with fewer than 4 satellites, 1 with HDOP above 2.5, "
         "1 reached faster than 20.03 km/h"},
        {"csv", all + "--max-speed 20", 1,
         "1 with impossible coordinates, 1 with fewer than 4 satellites, 1 with HDOP above 2.5, "
         "2 reached faster than 20 km/h"},
    };
    for (const Case& c : cases) {
        const auto [nExit, out] =
            Cli("translate f.dlg --all --tz UTC " + c.options + " -o f." + c.format);
        EXPECT_EQ(nExit, 0) << out;
        EXPECT_NE(out.find(std::to_string(c.nWritten) + " of 6 records written"), std::string::npos)
            << c.options << out;
        EXPECT_NE(out.find("\nLeft out: " + c.leftOut), std::string::npos) << c.options << out;
        if (c.format == "csv") {
            EXPECT_EQ(CountOf(Read("f.csv"), "\r\n"), c.nWritten + 1);
        }
    }
}

TEST_F(ArchiveToolsTest, InfoDaysSumsUpEachLocalDay) {
    const uint32_t t = kMay1 + 10 * 3600;
    Write("d.dlg", {Fix(t, 0, 0, 3600), Fix(t + 10, 0, 10000, 4000),
                    Fix(t + 600, 0, 0, 0, 0, 99, 0), Fix(t + 610, 0, 20000, 5000),
                    Fix(kMay1 + 86405, 0, 20000, 1234), Fix(kMay1 + 86406, 95000000, 0, 9999)});
    auto [nExit, out] = Cli("info --days d.dlg --tz UTC");
    EXPECT_EQ(nExit, 0) << out;
    EXPECT_EQ(out,
              "Day         First     Last      Records  No fix  Gaps  Distance    Max speed\n"
              "2009-05-01  10:00:00  10:10:10        4       1     1     2.2 km   50.0 km/h\n"
              "2009-05-02  00:00:05  00:00:06        2       0     0     0.0 km   12.3 km/h\n"
              "Left out of distance and speed: 1 with impossible coordinates.\n"
              "Times in GMT+0:00; gaps are more than 5 minutes without a record.\n");
    // The same as JSON, read by Python's parser.
    std::tie(nExit, out) = Run("'" + kCli + "' info --days --json d.dlg --tz UTC | python3 -c \"" +
                               "import json,sys; d=json.load(sys.stdin); print([(x['date'], "
                               "x['records'], x['gaps'], x['distanceKm'], x['maxSpeedKmh']) for x "
                               "in d['days']], d['leftOut']['coordinates'])\"");
    EXPECT_EQ(out, "[('2009-05-01', 4, 1, 2.2, 50.0), ('2009-05-02', 2, 0, 0.0, 12.34)] 1\n");
}

}  // namespace

// GeoJSON from quorvel-cli, read back by GDAL and checked against a model of the raw log of its
// own: its segments, coordinates and times.

#include <gtest/gtest.h>

#include "tests/common/Programs.h"

namespace {

// The fixes of a raw log (fix mode above 0, a possible position) cut where 300 s pass, as
// [[lon, lat, alt]...] and times; compared with the file's features, printed as
// "<segments> <fixes> <equal>".
constexpr char kModel[] = R"(
import datetime, json, struct, sys
raw = open(sys.argv[1], 'rb').read()
segs = []
for i in range(0, len(raw), 20):
    t, lat, lon, alt, _, fs = struct.unpack_from('<IiiHHB', raw, i)
    if fs >> 6 and abs(lat) <= 90000000 and abs(lon) <= 180000000:
        if not segs or abs(t - segs[-1][-1][0]) > 300: segs.append([])
        segs[-1].append((t, lat, lon, alt))
iso = lambda t: (datetime.datetime(2000, 1, 1) + datetime.timedelta(seconds=t)).isoformat() + 'Z'
want = [([[f[2] / 1e6, f[1] / 1e6, f[3]] for f in s], [iso(f[0]) for f in s]) for s in segs]
got = []
for f in json.load(open(sys.argv[2]))['features']:
    g, p = f['geometry'], f['properties']
    c = g['coordinates'] if g['type'] == 'LineString' else [g['coordinates']]
    got.append((c, p['times'] if (p['start'], p['end']) == (p['times'][0], p['times'][-1]) else []))
print(len(segs), sum(map(len, segs)), got == want)
)";

TEST(GeoJson, SegmentsAsGdalAndAModelReadThem) {
    TempDir dir;
    const std::string out = dir / "x.geojson";
    // The sample's records 0-199, 300, 336 (no fix) and 500-599: segments of 193 fixes, of fix
    // 300 alone (a Point) and of 100 fixes.
    const std::string sample = ReadFile(kSample);
    const std::string log =
        WriteFile(dir / "gaps.dlg", sample.substr(0, 200 * 20) + sample.substr(300 * 20, 20) +
                                        sample.substr(336 * 20, 20) + sample.substr(500 * 20));
    // Kept records without a fix are still no coordinates.
    RunResult r =
        RunProgram({kCli, "translate", log, "--all", "--keep-nofix", "--tz", "UTC", "-o", out});
    ASSERT_EQ(r.nStatus, 0) << r.strErr;
    WriteFile(dir / "model.py", kModel);
    r = Shell("python3 '" + (dir / "model.py") + "' '" + log + "' '" + out + "'");
    EXPECT_EQ(r.strOut, "3 294 True\n") << r.strErr;
    EXPECT_NE(Shell("ogrinfo -ro -al -so '" + out + "'").strOut.find("Feature Count: 3\n"),
              std::string::npos);
    // With a point per fix besides.
    r = RunProgram({kCli, "translate", log, "--all", "--geojson-points", "-o", out});
    ASSERT_EQ(r.nStatus, 0) << r.strErr;
    EXPECT_NE(Shell("ogrinfo -ro -al -so '" + out + "'").strOut.find("Feature Count: 297\n"),
              std::string::npos);
    // Other extensions are refused with the list of those taken.
    r = RunProgram({kCli, "translate", kSample, "-o", dir / "x.json"});
    EXPECT_NE(r.strErr.find("quorvel-cli: Supported: .kml (Google Earth), .gpx (GPS exchange "
                            "format), .csv and .txt (spreadsheet), .geojson (web maps and GIS).\n"),
              std::string::npos)
        << r.strErr;
}

}  // namespace

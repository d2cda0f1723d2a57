// quorvel-cli geotag as a user runs it: photos made by ImageMagick with their times set by
// exiftool, a raw log laid out by hand, and what was written read back by exiftool.

#include <gtest/gtest.h>

#include <map>

#include "tests/common/Programs.h"

namespace {

constexpr uint32_t kT0 = 294507000;  // 2009-05-01 15:30:00 UTC

RunResult Geotag(std::vector<std::string> args, const std::string& strPrefix = "") {
    args.insert(args.begin(), {kCli, "geotag"});
    if (strPrefix.empty()) return RunProgram(args, {"TZ=UTC"});
    args.insert(args.begin(), {"/bin/sh", "-c", strPrefix + "; exec \"$@\"", "sh"});
    return RunProgram(args, {"TZ=UTC"});
}

std::string Quoted(const fs::path& path) {
    return "'" + path.string() + "'";
}

// Photos in a folder, by ImageMagick: a name, then the exiftool assignments for it; all set by
// one exiftool.
void MakePhotos(const fs::path& folder, const std::vector<std::vector<std::string>>& photos) {
    fs::create_directories(folder);
    std::string strArgs;
    for (const std::vector<std::string>& photo : photos) {
        ASSERT_EQ(
            Shell("convert -size 64x64 gradient:red-blue " + Quoted(folder / photo[0])).nStatus, 0);
        for (size_t i = 1; i < photo.size(); ++i) strArgs += "-" + photo[i] + "\n";
        strArgs += "-overwrite_original\n" + (folder / photo[0]).string() + "\n-execute\n";
    }
    WriteFile(folder.parent_path() / "args", strArgs);
    ASSERT_EQ(Shell("exiftool -q -@ " + Quoted(folder.parent_path() / "args")).nStatus, 0);
}

// exiftool's numbers for each file of a folder: name -> latitude, longitude, altitude, date and
// time stamps ("-" where a tag is missing).
std::map<std::string, std::vector<std::string>> ReadPositions(const fs::path& folder) {
    const RunResult r = Shell(
        "exiftool -n -T -FileName -GPSLatitude -GPSLongitude -GPSAltitude "
        "-GPSDateStamp -GPSTimeStamp -ext '*' " +
        Quoted(folder));
    std::map<std::string, std::vector<std::string>> table;
    std::istringstream lines(r.strOut);
    for (std::string strLine; std::getline(lines, strLine);) {
        std::vector<std::string> fields;
        std::istringstream cells(strLine);
        for (std::string strCell; std::getline(cells, strCell, '\t');) fields.push_back(strCell);
        table[fields[0]] = {fields.begin() + 1, fields.end()};
    }
    return table;
}

void ExpectPosition(const std::vector<std::string>& fields, double dLat, double dLon, double dAlt) {
    ASSERT_GE(fields.size(), 3u);
    ASSERT_NE(fields[0], "-");
    EXPECT_NEAR(std::stod(fields[0]), dLat, 1e-6);
    EXPECT_NEAR(std::stod(fields[1]), dLon, 1e-6);
    EXPECT_NEAR(std::stod(fields[2]), dAlt, 0.01);
}

// The image data: everything from the start of the scan on.
std::string ScanBytes(const fs::path& photo) {
    const std::string bytes = ReadFile(photo);
    return bytes.substr(bytes.find("\xFF\xDA"));
}

// Fixes 20 s apart, one record without a fix between them (its position is nonsense), and a gap
// of 960 s before the last fix.
std::string Track() {
    return Records({{.dwTime = kT0, .lLat = 25000000, .lLon = 121000000, .wAlt = 10},
                    {.dwTime = kT0 + 20, .lLat = 25000200, .lLon = 121000400, .wAlt = 30},
                    {.dwTime = kT0 + 30, .lLat = 89000000, .lLon = 0, .wAlt = 999, .bFix = 0},
                    {.dwTime = kT0 + 40, .lLat = 25000400, .lLon = 121000400, .wAlt = 30},
                    {.dwTime = kT0 + 1000, .lLat = 25001000, .lLon = 121001000, .wAlt = 50}});
}

// A camera in Berlin in summer (UTC+2) whose clock is a minute fast; one photo says its own
// offset. Positions by hand from the fixes: 15:30:10.5 UTC is 0.525 of the way from the first
// fix to the second.
TEST(Geotag, PhotosAlongTheTrack) {
    TempDir dir;
    const fs::path photos = dir.Path() / "photos of May";
    const std::string strTrack = WriteFile(dir.Path() / "track.dlg", Track());
    const std::string kBetween = "DateTimeOriginal=2009:05:01 17:31:10";
    MakePhotos(photos, {{"between.jpg", kBetween, "SubSecTimeOriginal=5"},
                        {"own offset.jpg", "DateTimeOriginal=2009:05:01 23:31:30",
                         "OffsetTimeOriginal=+08:00"},
                        {"before.jpg", "DateTimeOriginal=2009:05:01 17:29:00"},
                        {"in gap.jpg", "DateTimeOriginal=2009:05:01 17:39:00"},
                        {"tagged.jpg", kBetween, "SubSecTimeOriginal=5", "GPSLatitude=10",
                         "GPSLatitudeRef=N", "GPSLongitude=20", "GPSLongitudeRef=E"},
                        {"no time.jpg"},
                        {"raw.tif", "DateTimeOriginal=2009:05:01 17:31:30"}});
    // A raw photo (a TIFF by its bytes) with a sidecar that holds a title already.
    fs::rename(photos / "raw.tif", photos / "IMG_1.dng");
    ASSERT_EQ(
        Shell("exiftool -q -XMP-dc:Title=Harbour " + Quoted(photos / "IMG_1.dng.xmp")).nStatus, 0);
    WriteFile(photos / "notes.txt", "not a photo");
    const fs::path between = photos / "between.jpg";
    const std::string strScan = ScanBytes(between);
    fs::permissions(between, fs::perms(0640));
    const auto modified = fs::last_write_time(between) - std::chrono::hours(30);
    fs::last_write_time(between, modified);

    RunResult r = Geotag({photos.string(), "-t", strTrack, "--camera-tz", "Europe/Berlin",
                          "--camera-offset", "+1:00"});
    EXPECT_EQ(r.nStatus, 0) << r.strErr;
    EXPECT_EQ(r.strOut,
              "Outside the track: " + (photos / "in gap.jpg").string() +
                  " (2009-05-01 15:38:00 UTC, 440.0 s from the nearest fix)\n"
                  "No time of taking: " +
                  (photos / "no time.jpg").string() +
                  " (DateTimeOriginal missing)\n"
                  "7 photos: 4 tagged, 1 outside the track (listed), 1 already had a position, 1 "
                  "without a time (listed)\nCamera times in Europe/Berlin where a photo names no "
                  "offset, less 60 s.\n");
    auto table = ReadPositions(photos);
    ExpectPosition(table["between.jpg"], 25.000105, 121.00021, 20.5);
    EXPECT_EQ(table["between.jpg"][3], "2009:05:01");
    EXPECT_EQ(table["between.jpg"][4], "15:30:10.5");
    ExpectPosition(table["own offset.jpg"], 25.0003, 121.0004, 30);
    ExpectPosition(table["before.jpg"], 25.0, 121.0, 10);
    ExpectPosition(table["IMG_1.dng.xmp"], 25.0003, 121.0004, 30);
    EXPECT_EQ(table["tagged.jpg"][0] + " " + table["tagged.jpg"][1], "10 20");
    for (const char* pszName : {"in gap.jpg", "no time.jpg", "IMG_1.dng"})
        EXPECT_EQ(table[pszName][0], "-") << pszName;
    EXPECT_EQ(Shell("exiftool -s3 -XMP-dc:Title " + Quoted(photos / "IMG_1.dng.xmp")).strOut,
              "Harbour\n");
    EXPECT_EQ(ScanBytes(between), strScan);
    EXPECT_EQ(fs::status(between).permissions(), fs::perms(0640));
    EXPECT_EQ(fs::last_write_time(between), modified);

    r = Geotag({(photos / "tagged.jpg").string(), "-t", strTrack, "--camera-tz", "Europe/Berlin",
                "--camera-offset", "+1:00", "--overwrite"});
    EXPECT_TRUE(Has(r.strOut, "1 photo: 1 tagged,")) << r.strErr;
    ExpectPosition(ReadPositions(photos)["tagged.jpg"], 25.000105, 121.00021, 20.5);
}

// A dry run changes nothing; a read-only photo and a full disk leave the photo as it was and
// nothing beside it, and say so.
TEST(Geotag, NothingLost) {
    TempDir dir;
    const fs::path photos = dir.Path() / "photos";
    const std::string strTrack = WriteFile(dir.Path() / "track.dlg", Track());
    const std::string kTime = "DateTimeOriginal=2009:05:01 15:30:10";
    MakePhotos(photos, {{"locked.jpg", kTime}, {"large.jpg", kTime}});
    fs::permissions(photos / "locked.jpg", fs::perms(0444));
    const std::string strLocked = ReadFile(photos / "locked.jpg");
    const std::string strLarge = ReadFile(photos / "large.jpg");

    RunResult r = Geotag({photos.string(), "-t", strTrack, "--camera-tz", "UTC", "--dry-run"});
    EXPECT_EQ(r.nStatus, 0) << r.strErr;
    EXPECT_TRUE(Has(r.strOut,
                    "2009:05:01 15:30:10           2009-05-01 15:30:10      10.0 s    "
                    "       25.0001000, 121.0002000, 20.0 m\n"));
    EXPECT_TRUE(Has(r.strOut, "2 photos: 2 to tag, 0 outside the track, 0 already"));
    EXPECT_EQ(ReadFile(photos / "large.jpg"), strLarge);

    // Files of at most 512 bytes: the copy of the photo cannot be written.
    r = Geotag({photos.string(), "-t", strTrack, "--camera-tz", "UTC"},
               "trap '' XFSZ; ulimit -f 1");
    EXPECT_EQ(r.nStatus, 1);
    EXPECT_TRUE(Has(r.strErr, "Not written: " + (photos / "large.jpg").string() +
                                  ": File too large\nquorvel-cli: Not written: " +
                                  (photos / "locked.jpg").string() + ": read-only file\n"));
    EXPECT_TRUE(Has(r.strOut,
                    "2 photos: 0 tagged, 0 outside the track, 0 already had a "
                    "position, 2 not written (listed)\n"));
    EXPECT_EQ(ReadFile(photos / "locked.jpg"), strLocked);
    EXPECT_EQ(ReadFile(photos / "large.jpg"), strLarge);
    EXPECT_EQ(std::distance(fs::directory_iterator(photos), {}), 2);
}

// A GPX track from another device (its times in other zones, a fraction, below sea level), laid
// out by hand: a point without a time and a waypoint are passed over; a broken file is named.
TEST(Geotag, GpxTracksFromOtherDevices) {
    TempDir dir;
    const fs::path photos = dir.Path() / "photos";
    MakePhotos(photos, {{"dead sea.jpg", "DateTimeOriginal=2009:05:01 15:30:05"}});
    const std::string strGpx = WriteFile(dir.Path() / "other device.gpx", R"(<?xml version="1.0"?>
<gpx version="1.1" creator="hand" xmlns="http://www.topografix.com/GPX/1/1">
 <wpt lat="10" lon="10"><time>2009-05-01T15:30:05Z</time></wpt>
 <trk><trkseg>
  <trkpt lat="31.5" lon="35.4"><ele>-430</ele><time>2009-05-01T17:29:59.5+02:00</time></trkpt>
  <trkpt lat="40" lon="40"><ele>5000</ele></trkpt>
  <trkpt lat="31.6" lon="35.6"><ele>-410</ele><time>2009-05-01T15:30:19.5Z</time></trkpt>
 </trkseg></trk>
</gpx>)");
    RunResult r = Geotag({photos.string(), "-t", strGpx, "--camera-tz", "UTC"});
    EXPECT_EQ(r.nStatus, 0) << r.strErr;
    // 15:30:05 is 5.5 s into the 20 s between the points: 0.275 of the way.
    ExpectPosition(ReadPositions(photos)["dead sea.jpg"], 31.5275, 35.455, -424.5);

    const std::string strBroken = WriteFile(dir.Path() / "broken.gpx", "<gpx>\n<trk>\n</gpx>");
    r = Geotag({photos.string(), "-t", strBroken, "--overwrite"});
    EXPECT_EQ(r.nStatus, 1);
    EXPECT_TRUE(Has(r.strErr, strBroken + " is no GPX track: mismatched tag on line 3."));
}

}  // namespace

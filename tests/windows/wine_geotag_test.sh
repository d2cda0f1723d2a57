#!/usr/bin/env bash
# quorvel-cli.exe geotag under Wine, on photos made on this side by ImageMagick and exiftool, in a
# folder whose name is outside the ANSI code page; exiftool reads back what the Windows build wrote.
# Then Geotag photos... in the Win32 window, driven by windows_geotag_window_tests on a virtual
# display, on a second folder; exiftool reads that too.
# Usage: wine_geotag_test.sh <wine runner> <quorvel-cli.exe> <geotag window tests.exe> <work dir>
set -euo pipefail
runner=$1 cli=$2 window_tests=$3 work=$4
here="$(cd "$(dirname "$0")" && pwd)"
export WINEPREFIX="${WINEPREFIX:-$here/../../build/wineprefix}"
export LANG=C.UTF-8
for tool in exiftool convert python3 xvfb-run; do
  command -v $tool >/dev/null || { echo "no $tool: skipped"; exit 77; }
done
"$runner" cmd /c exit  # makes the prefix on first use
rm -rf "$work" && mkdir -p "$work"
photos="$work/fotky-žluťoučký-€"
mkdir -p "$photos"

# Fixes 20 s apart from 2009-05-01 15:30:00 UTC, a record without a fix (its position is
# nonsense) and a gap of 960 s: time, latitude and longitude in 1e-6 degrees, altitude, speed,
# fix mode and satellites, course, HDOP, a spare byte; little-endian.
python3 - "$work/track.dlg" <<'EOF'
import struct, sys
t0 = 294507000
records = [(t0, 25000000, 121000000, 10, 2), (t0 + 20, 25000200, 121000400, 30, 2),
           (t0 + 30, 89000000, 0, 999, 0), (t0 + 40, 25000400, 121000400, 30, 2),
           (t0 + 1000, 25001000, 121001000, 50, 2)]
with open(sys.argv[1], "wb") as f:
    for t, lat, lon, alt, fix in records:
        f.write(struct.pack("<IiiHHBBBB", t, lat, lon, alt, 1234, fix << 6 | 7, 45, 9, 0))
EOF

# Berlin in summer is UTC+2 and the camera's clock is a minute fast: 17:31:10.5 on the camera is
# 15:30:10.5 UTC, 0.525 of the way from the first fix to the second.
make_photo() {
  local folder=$1 name=$2; shift 2
  convert -size 64x64 gradient:red-blue "$folder/$name"
  exiftool -q -overwrite_original "$@" "$folder/$name"
}
make_photo "$photos" "mezi.jpg" "-DateTimeOriginal=2009:05:01 17:31:10" "-SubSecTimeOriginal=5"
make_photo "$photos" "vlastní posun.jpg" "-DateTimeOriginal=2009:05:01 23:31:30" "-OffsetTimeOriginal=+08:00"
make_photo "$photos" "v mezeře.jpg" "-DateTimeOriginal=2009:05:01 17:39:00"
make_photo "$photos" "raw.tif" "-DateTimeOriginal=2009:05:01 17:31:30"
mv "$photos/raw.tif" "$photos/IMG_1.dng"
echo "not a photo" >"$photos/poznámky.txt"
scan_before=$(python3 -c 'import sys; b=open(sys.argv[1],"rb").read(); print(b[b.index(b"\xff\xda"):].hex())' "$photos/mezi.jpg" | sha256sum)
touch -d "2020-02-02 02:02:02" "$photos/mezi.jpg"

status=0
"$runner" "$cli" geotag "$photos" -t "$work/track.dlg" --camera-tz Europe/Berlin \
  --camera-offset +1:00 >"$work/out" 2>"$work/err" || status=$?
tr -d '\r' <"$work/out" >"$work/out.txt"
cat "$work/out.txt" "$work/err"
[ "$status" -eq 0 ] || { echo "geotag ended with status $status"; exit 1; }
grep -qF "4 photos: 3 tagged, 1 outside the track (listed)" "$work/out.txt" ||
  { echo "not the summary expected"; exit 1; }
grep -qF "v mezeře.jpg (2009-05-01 15:38:00 UTC, 440.0 s from the nearest fix)" "$work/out.txt" ||
  { echo "the photo in the gap is not listed by its name"; exit 1; }

# exiftool's numbers against positions worked out by hand from the fixes.
check() {
  local file=$1 lat=$2 lon=$3 alt=$4 got
  got=$(exiftool -n -T -GPSLatitude -GPSLongitude -GPSAltitude "$file")
  python3 - "$file" "$got" "$lat" "$lon" "$alt" <<'EOF'
import sys
name, got, want = sys.argv[1], sys.argv[2].split("\t"), [float(v) for v in sys.argv[3:6]]
if "-" in got or any(abs(float(g) - w) > t for g, w, t in zip(got, want, (1e-6, 1e-6, 0.01))):
    sys.exit(f"{name}: exiftool reads {got}, expected {want}")
EOF
}
check "$photos/mezi.jpg" 25.000105 121.00021 20.5
check "$photos/vlastní posun.jpg" 25.0003 121.0004 30
check "$photos/IMG_1.dng.xmp" 25.0003 121.0004 30
[ "$(exiftool -s3 -GPSDateStamp -GPSTimeStamp "$photos/mezi.jpg" | tr '\n' ' ')" = "2009:05:01 15:30:10.5 " ] ||
  { echo "not the UTC time of the photo"; exit 1; }
[ "$(exiftool -n -s3 -GPSLatitude "$photos/v mezeře.jpg")" = "" ] || { echo "the photo in the gap was tagged"; exit 1; }
scan_after=$(python3 -c 'import sys; b=open(sys.argv[1],"rb").read(); print(b[b.index(b"\xff\xda"):].hex())' "$photos/mezi.jpg" | sha256sum)
[ "$scan_before" = "$scan_after" ] || { echo "the image data changed"; exit 1; }
[ "$(stat -c %y "$photos/mezi.jpg" | cut -c1-19)" = "2020-02-02 02:02:02" ] ||
  { echo "the modification time was not kept"; exit 1; }
[ "$(find "$photos" -type f | wc -l)" -eq 6 ] || { ls -la "$photos"; echo "files left beside the photos"; exit 1; }
echo "photos tagged under Wine, read back by exiftool"

# A GPX track from another device, its times in another zone.
gpx="$work/gpx"
mkdir -p "$gpx"
make_photo "$gpx" "gpx.jpg" "-DateTimeOriginal=2009:05:01 15:30:05"
cat >"$work/jiné zařízení.gpx" <<'END'
<?xml version="1.0"?>
<gpx version="1.1" creator="hand" xmlns="http://www.topografix.com/GPX/1/1"><trk><trkseg>
<trkpt lat="31.5" lon="35.4"><ele>-430</ele><time>2009-05-01T17:30:00+02:00</time></trkpt>
<trkpt lat="31.6" lon="35.6"><ele>-410</ele><time>2009-05-01T15:30:20Z</time></trkpt>
</trkseg></trk></gpx>
END
"$runner" "$cli" geotag "$gpx" -t "$work/jiné zařízení.gpx" --camera-tz UTC >"$work/gpx.out" 2>&1 ||
  { cat "$work/gpx.out"; echo "geotag from a GPX track failed"; exit 1; }
check "$gpx/gpx.jpg" 31.525 35.45 -425
echo "photo tagged from a GPX track under Wine"

window="$work/okno"
mkdir -p "$window"
make_photo "$window" "mezi.jpg" "-DateTimeOriginal=2009:05:01 17:31:10" "-SubSecTimeOriginal=5"
make_photo "$window" "v mezeře.jpg" "-DateTimeOriginal=2009:05:01 17:39:00"
QUORVEL_GEOTAG_PHOTOS="$window" QUORVEL_GEOTAG_TRACK="$work/track.dlg" \
  "$here/wine_xvfb_run.sh" "$runner" "$window_tests" >"$work/window.out" 2>&1 ||
  { cat "$work/window.out"; echo "the window's test failed"; exit 1; }
grep -q "PASSED.*1 test" "$work/window.out" || { cat "$work/window.out"; echo "the window's test did not run"; exit 1; }
check "$window/mezi.jpg" 25.000105 121.00021 20.5
[ "$(exiftool -n -s3 -GPSLatitude "$window/v mezeře.jpg")" = "" ] || { echo "the window tagged the photo in the gap"; exit 1; }
echo "photos tagged from the Win32 window, read back by exiftool"

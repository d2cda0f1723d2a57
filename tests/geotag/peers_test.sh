#!/usr/bin/env bash
# Peers: the same photos, and the same track as GPX, tagged by quorvel-cli geotag, by
# exiftool -geotag and by gpscorrelate, each with the same largest gap; positions must agree
# within 1e-6 degrees. Where the peers' rules differ from ours, what differs is checked to be
# exactly that:
# - exiftool takes the nearest fix for a photo in a gap longer than the limit when that fix is
#   near enough (GeoMaxExtSecs); we leave such a photo out and list it with its distance.
# - gpscorrelate takes no photo before the first fix or after the last, and writes whole metres.
#   Usage: peers_test.sh QUORVEL_CLI SAMPLE.dlg
set -euo pipefail
cli=$1
sample=$2
for tool in exiftool gpscorrelate convert python3; do
  command -v $tool >/dev/null || { echo "$tool is missing"; exit 77; }
done
work=$(mktemp -d "${TMPDIR:-/tmp}/quorvel geotag peers.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"
export TZ=UTC
gap=10

# A GPX segment ends where a gap is longer than the limit: no peer interpolates across it.
"$cli" translate "$sample" --all --tz UTC --segment-gap ${gap}s -o track.gpx >/dev/null
# A photo every 37 s from two minutes before the track to four after it.
convert -size 32x32 xc:gray base.jpg
start=$(date -u -d "2009-05-01 15:28:00" +%s)
mkdir ours
for i in $(seq 0 90); do
  name=$(printf 'p%03d.jpg' "$i")
  cp base.jpg "ours/$name"
  printf -- '-DateTimeOriginal=%s\n-overwrite_original\nours/%s\n-execute\n' \
    "$(date -u -d @$((start + i * 37)) '+%Y:%m:%d %H:%M:%S')" "$name"
done >args
exiftool -q -@ args >/dev/null
cp -r ours exiftool
cp -r ours gpscorrelate

"$cli" geotag ours -t "$sample" --camera-tz UTC --max-gap $gap >ours.out
exiftool -q -overwrite_original -api GeoMaxIntSecs=$gap -api GeoMaxExtSecs=$gap \
  -geotag track.gpx '-geotime<${DateTimeOriginal}+00:00' exiftool 2>/dev/null || true
gpscorrelate -g track.gpx --max-dist $gap -z 0 gpscorrelate/*.jpg >/dev/null || true
for peer in ours exiftool gpscorrelate; do
  exiftool -n -T -FileName -GPSLatitude -GPSLongitude -GPSAltitude "$peer" >"$peer.tsv"
done

python3 - "$gap" <<'PY'
import re, sys
gap = float(sys.argv[1])
def table(name):
    rows = {}
    for line in open(name + ".tsv"):
        f = line.rstrip("\n").split("\t")
        rows[f[0]] = None if f[1] == "-" else tuple(float(v) for v in f[1:4])
    return rows
ours, exif, gpsc = table("ours"), table("exiftool"), table("gpscorrelate")
# Our photos in a gap: listed with their distance to the nearest fix.
in_gap = {m.group(1): float(m.group(2)) for m in re.finditer(
    r"Outside the track: ours/(\S+) \(.* UTC, ([0-9.]+) s from", open("ours.out").read())}
failures = []
def compare(peer, rows, alt_tolerance, may_tag, may_leave):
    for name, ours_pos in ours.items():
        pos = rows[name]
        if ours_pos and pos:
            if (abs(ours_pos[0] - pos[0]) > 1e-6 or abs(ours_pos[1] - pos[1]) > 1e-6
                    or abs(ours_pos[2] - pos[2]) > alt_tolerance):
                failures.append(f"{peer} {name}: {pos} against our {ours_pos}")
        elif ours_pos and not may_leave(name):
            failures.append(f"{peer} left {name} out, we did not")
        elif pos and not may_tag(name):
            failures.append(f"{peer} tagged {name}, we did not")
tagged = sorted(n for n in ours if ours[n])
edges = {tagged[0], tagged[-1]} if tagged else set()
compare("exiftool", exif, 0.1, lambda n: in_gap.get(n, gap + 1) <= gap, lambda n: False)
compare("gpscorrelate", gpsc, 0.5, lambda n: False, lambda n: n in edges)
print(f"{sum(1 for v in ours.values() if v)} of {len(ours)} photos tagged; "
      f"exiftool {sum(1 for v in exif.values() if v)}, gpscorrelate {sum(1 for v in gpsc.values() if v)}")
if failures:
    print("\n".join(failures))
    sys.exit(1)
PY

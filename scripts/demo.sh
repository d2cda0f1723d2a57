#!/usr/bin/env bash
# The main job end to end: a simulated logger holding the sample log on a pseudo-terminal, its
# memory synced over the serial link into an archive folder (downloaded, read back and checked,
# stored under its time span, written as GPX, KML and CSV), then erased, and found empty.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bin="${QUORVEL_BIN:-$root/build/default}"
out="$root/out/demo"
mkdir -p "$out"

sim_out="$(mktemp)"
"$bin/sim/quorvel-sim" --file "$root/samples/sample.dlg" --baud 115200 >"$sim_out" &
sim_pid=$!
stop_sim() {
  kill "$sim_pid" 2>/dev/null || true
  wait "$sim_pid" 2>/dev/null || true
  rm -f "$sim_out"
}
trap stop_sim EXIT

port=""
for _ in $(seq 50); do
  port="$(head -n 1 "$sim_out")"
  [ -n "$port" ] && break
  sleep 0.1
done
if [ -z "$port" ]; then
  echo "demo: the simulator did not start" >&2
  exit 1
fi

echo "Simulated logger on $port"
cli="$bin/cli/quorvel-cli"
archive="$out/archive"
"$cli" config get --port "$port"
"$cli" sync --port "$port" --archive "$archive" --tz UTC --gpx --kml --csv --erase
echo
echo "The logger afterwards:"
"$cli" sync --port "$port" --archive "$archive"
raw="$(ls "$archive"/*Z.dlg | head -n 1)"
"$cli" info --days "$raw" --tz UTC
echo
echo "Archive folder:          $archive"
echo "Raw log from the logger: $raw"
echo "GPX for any map program: ${raw%.dlg}.gpx"
echo "KML for Google Earth:    ${raw%.dlg}.kml"
echo "CSV for a spreadsheet:   ${raw%.dlg}.csv"
